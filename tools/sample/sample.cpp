#include "tools/sample/sample.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "discovery/scope.h"
#include "platform/platform.h"
#include "removal/manifest.h"
#include "removal/startmenu.h"
#include "tests/support/product.h"

#include <shlobj.h>

#include <stdio.h>

namespace {

using wintest::FOLDER_NAME;
using wintest::SHORTCUT_IDS;
// The target of each shortcut, parallel to SHORTCUT_IDS.
const char* const SHORTCUT_FILES[] = {"readme.txt", "update.txt", "cfgwiz.exe", "vortax.exe",
                                      "readme.txt", "update.txt", "cfgwiz.exe", "xstarter.exe",
                                      "vxwipe.exe", "cfgwiz.exe", "help.chm"};
const int SHORTCUT_COUNT = sizeof SHORTCUT_IDS / sizeof SHORTCUT_IDS[0];
static_assert(sizeof SHORTCUT_FILES / sizeof SHORTCUT_FILES[0] == SHORTCUT_COUNT,
              "a target for every shortcut");

// Says on standard error what could not be made, with the error code that the failed
// call left; 1 if it could not, for the count of failures.
int Failed(bool made, const std::string& what) {
    DWORD error = GetLastError();
    if (made)
        return 0;
    fprintf(stderr, "vxsample: cannot make %s (error %lu)\n", what.c_str(), (unsigned long)error);
    return 1;
}

std::string Join(const std::string& directory, const std::string& name) {
    return directory + "\\" + name;
}

// Character by character: in code page 932 the second byte of a character such as
// "\x95\x5C" may be that of a backslash.
std::string ParentOf(const std::string& path) {
    const char* text = path.c_str();
    const char* slash = NULL;
    for (const char* p = text; *p != '\0'; p = CharNextA(p))
        if (*p == '\\')
            slash = p;
    return slash == NULL ? std::string() : path.substr(0, slash - text);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirectories(const std::string& path) {
    if (path.empty() || Exists(path))
        return true;
    std::string parent = ParentOf(path);
    if (!parent.empty() && parent.back() != ':' && !MakeDirectories(parent))
        return false;
    return CreateDirectoryA(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Sets the platform's last error on failure, as the file functions do.
bool WriteFile(const std::string& path, const std::string& content, bool readOnly) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    if (readOnly)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return written == content.size();
}

// Writes the value, making its key; 1 and a line on standard error if it cannot.
int SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const BYTE* data,
             DWORD size) {
    HKEY key;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (status == 0) {
        if (name != NULL || size > 1)
            status = RegSetValueExA(key, name, 0, type, data, size);
        RegCloseKey(key);
    }
    SetLastError((DWORD)status);
    return Failed(status == 0, std::string(wintest::root_name(root)) + "\\" + path + " [" +
                                   (name != NULL ? name : "") + "]");
}

int SetString(HKEY root, const std::string& path, const char* name, const std::string& value) {
    return SetValue(root, path, name, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
}

int SetDword(HKEY root, const std::string& path, const char* name, DWORD value) {
    return SetValue(root, path, name, REG_DWORD, (const BYTE*)&value, sizeof value);
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != 0)
        return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::string& path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != 0)
        return false;
    LONG status = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return status == 0;
}

// Wine writes the Shell Folders values only once something has asked for them.
void MakeProgramsFoldersKnown() {
    char path[MAX_PATH];
    SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, TRUE);
    SHGetSpecialFolderPathA(NULL, path, CSIDL_COMMON_PROGRAMS, TRUE);
}

// On Windows 9x the uninstaller finds the shortcuts in the user's folder under SYSTEM.
int EffectiveScope(const SampleOptions& options) {
    return IsWin9x() ? SYSTEM : options.scope;
}

std::string ProgramsFolder(const SampleOptions& options) {
    const char* folder = getAppFolderLocation(EffectiveScope(options));
    return folder == NULL ? std::string() : std::string(folder);
}

std::string ShortcutName(unsigned int id) {
    char name[TEXT_CAPACITY];
    LoadText(id, name, TEXT_CAPACITY);
    return name;
}

HKEY InstallShieldRoot(const SampleOptions& options) {
    return options.scope == USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

int LayFiles(const SampleOptions& options) {
    if (Failed(MakeDirectories(options.installDir), "the install directory " + options.installDir))
        return INSTALLED_FILE_COUNT;
    int failures = 0;
    int i = 0;
    for (const char* entry = InstalledFileTable; *entry != '\0';
         entry = NextManifestEntry(entry), i++) {
        std::string path = Join(options.installDir, entry);
        bool readOnly = i % 7 == 0;
        bool made = MakeDirectories(ParentOf(path)) &&
                    WriteFile(path, std::string("VORTA-X ") + entry + "\r\n", readOnly);
        failures += Failed(made, path);
    }
    return failures;
}

// Programs and Features starts the uninstaller from there, inside the folder it removes.
int LayUninstaller(const SampleOptions& options) {
    if (options.uninstaller.empty())
        return 0;
    std::string path = UninstallerPath(options);
    return Failed(CopyFileA(options.uninstaller.c_str(), path.c_str(), FALSE) != 0,
                  "the uninstaller " + path + " from " + options.uninstaller);
}

int LayShortcuts(const SampleOptions& options) {
    int scope = EffectiveScope(options);
    std::string folder = "the Start-menu folder " + ProductFolderPath(options);
    if (Failed(CreateProgmanGroup(scope, FOLDER_NAME) != 0, folder))
        return SHORTCUT_COUNT;
    int failures = 0;
    for (int i = 0; i < SHORTCUT_COUNT; i++) {
        std::string name = ShortcutName(SHORTCUT_IDS[i]);
        std::string target = Join(options.installDir, SHORTCUT_FILES[i]);
        failures +=
            Failed(CreateProgmanItem(scope, FOLDER_NAME, name.c_str(), target.c_str(), "", 0) != 0,
                   "the shortcut " + name);
    }
    return failures;
}

int LayRegistry(const SampleOptions& options) {
    using namespace wintest;
    int failures = 0;
    failures += SetString(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "DisplayName", "VORTA-X");
    failures += SetString(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", options.installDir);
    failures +=
        SetString(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "UninstallString", UninstallerPath(options));
    if (options.generation == GENERATION_4PR)
        failures += SetString(HKEY_LOCAL_MACHINE, GENERATION_2_ENTRY, "DisplayName", "VORTA-X");
    if (options.generation == GENERATION_AFTER_400) {
        failures += SetString(HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY, "DisplayName", "VORTA-X");
        HKEY root = InstallShieldRoot(options);
        failures += SetString(root, INSTALLSHIELD_ENTRY, "InstallLocation", options.installDir);
        if (!options.chainedCommand.empty())
            failures += SetString(root, INSTALLSHIELD_ENTRY, "UninstallString.ORIG",
                                  options.chainedCommand);
    }
    const std::string settings = USER_SETTINGS;
    failures += SetString(HKEY_CURRENT_USER, settings, "InstallDirectory4", options.installDir);
    failures += SetString(HKEY_CURRENT_USER, settings, "InstallDirectory", options.installDir);
    failures += SetDword(HKEY_CURRENT_USER, settings + "\\Display", "Depth", 24);
    failures += SetString(HKEY_CURRENT_USER, settings + "\\Display", "Mode", "multiwindow");
    failures += SetString(HKEY_CURRENT_USER, settings + "\\Fonts\\Path", "0", "misc");

    failures += SetString(HKEY_CLASSES_ROOT, FILE_EXTENSION, NULL, FILE_TYPE);
    failures += SetString(HKEY_CLASSES_ROOT, std::string(FILE_TYPE) + "\\shell\\open\\command",
                          NULL, "\"" + Join(options.installDir, "vortax.exe") + "\" \"%1\"");

    const std::string machine = MACHINE_SETTINGS;
    failures += SetString(HKEY_LOCAL_MACHINE, machine, "Version", "4.10");
    failures += SetString(HKEY_LOCAL_MACHINE, machine + "\\License", "Seats", "5");
    failures += SetDword(HKEY_LOCAL_MACHINE, machine + "\\Service\\Parameters", "Port", 6000);
    return failures;
}

int LayNeighbours(const SampleOptions& options) {
    int failures = 0;
    for (const SampleKey& key : SampleKeys(options))
        if (key.neighbour)
            failures += SetString(key.root, key.path, "Owner", "somebody else");
    std::string parent = ParentOf(options.installDir);
    std::string file = Join(parent, USER_NEIGHBOUR_FILE);
    failures += Failed(MakeDirectories(parent) && WriteFile(file, "keep me\r\n", false),
                       "the user's file " + file);
    std::string programs = ProgramsFolder(options);
    std::string other = Join(programs, wintest::NEIGHBOUR_FOLDER);
    failures += Failed(!programs.empty() && MakeDirectories(other) &&
                           WriteFile(Join(other, "other.txt"), "keep me\r\n", false),
                       "the other program's Start-menu folder " + other);
    return failures;
}

std::string Count(int present, int total) {
    char text[32];
    sprintf(text, "%d/%d", present, total);
    return text;
}

const char* Presence(bool present) {
    return present ? "present" : "absent";
}

} // namespace

std::vector<SampleKey> SampleKeys(const SampleOptions& options) {
    using namespace wintest;
    std::vector<Key> product = {{HKEY_LOCAL_MACHINE, PRODUCT_ENTRY},
                                {HKEY_CURRENT_USER, USER_SETTINGS},
                                {HKEY_CLASSES_ROOT, FILE_EXTENSION},
                                {HKEY_CLASSES_ROOT, FILE_TYPE},
                                {HKEY_LOCAL_MACHINE, MACHINE_SETTINGS}};
    if (options.generation == GENERATION_4PR)
        product.push_back({HKEY_LOCAL_MACHINE, GENERATION_2_ENTRY});
    if (options.generation == GENERATION_AFTER_400) {
        product.push_back({HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY});
        product.push_back({InstallShieldRoot(options), INSTALLSHIELD_ENTRY});
    }
    std::vector<SampleKey> keys;
    for (const Key& key : product)
        keys.push_back({key.root, root_name(key.root), key.path, false});
    for (const Key& key : NEIGHBOUR_KEYS)
        keys.push_back({key.root, root_name(key.root), key.path, true});
    return keys;
}

std::vector<std::string> ShortcutNames() {
    std::vector<std::string> names;
    for (int i = 0; i < SHORTCUT_COUNT; i++) {
        std::string name = ShortcutName(SHORTCUT_IDS[i]);
        bool seen = false;
        for (const std::string& other : names)
            seen = seen || other == name;
        if (!seen)
            names.push_back(name);
    }
    return names;
}

std::string UninstallerPath(const SampleOptions& options) {
    return Join(options.installDir, UNINSTALLER_NAME);
}

std::string ProductFolderPath(const SampleOptions& options) {
    std::string programs = ProgramsFolder(options);
    return programs.empty() ? std::string() : Join(programs, FOLDER_NAME);
}

int LaySample(const SampleOptions& options) {
    MakeProgramsFoldersKnown();
    return LayFiles(options) + LayUninstaller(options) + LayShortcuts(options) +
           LayRegistry(options) + LayNeighbours(options);
}

namespace {

const wchar_t PENDING_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PENDING_VALUE[] = L"PendingFileRenameOperations";
const char NT_PATH_PREFIX[] = "\\??\\";

std::string Narrow(const std::wstring& wide) {
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string text(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], size, NULL, NULL);
    return text.c_str();
}

std::string WithoutNtPrefix(const std::string& path) {
    size_t length = sizeof NT_PATH_PREFIX - 1;
    return path.compare(0, length, NT_PATH_PREFIX) == 0 ? path.substr(length) : path;
}

std::vector<std::string> PendingOnNt() {
    std::vector<std::string> pending;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PENDING_KEY, 0, KEY_QUERY_VALUE, &key) != 0)
        return pending;
    DWORD size = 0;
    std::wstring data;
    if (RegQueryValueExW(key, PENDING_VALUE, NULL, NULL, NULL, &size) == 0 && size > 0) {
        data.assign(size / sizeof(wchar_t) + 2, L'\0');
        RegQueryValueExW(key, PENDING_VALUE, NULL, NULL, (BYTE*)&data[0], &size);
    }
    RegCloseKey(key);
    // Pairs of a source and a target; an empty target is a deletion.
    for (size_t at = 0; at < data.size() && data[at] != L'\0';) {
        std::wstring source = data.c_str() + at;
        at += source.size() + 1;
        std::wstring target = at < data.size() ? data.c_str() + at : L"";
        at += target.size() + 1;
        pending.push_back(target.empty() ? "delete " + WithoutNtPrefix(Narrow(source))
                                         : "rename " + WithoutNtPrefix(Narrow(source)) + " -> " +
                                               WithoutNtPrefix(Narrow(target)));
    }
    return pending;
}

std::vector<std::string> PendingOn9x() {
    std::vector<std::string> pending;
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return pending;
    FILE* file = fopen(Join(windows, "WININIT.INI").c_str(), "r");
    if (file == NULL)
        return pending;
    char line[1024];
    bool inRename = false;
    while (fgets(line, sizeof line, file) != NULL) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (!text.empty() && text[0] == '[')
            inRename = text == "[rename]";
        else if (inRename && !text.empty())
            pending.push_back(text);
    }
    fclose(file);
    return pending;
}

} // namespace

std::vector<std::string> PendingAtNextStart() {
    return IsWin9x() ? PendingOn9x() : PendingOnNt();
}

std::vector<InventoryItem> TakeInventory(const SampleOptions& options) {
    std::vector<InventoryItem> items;
    int files = 0;
    for (const char* entry = InstalledFileTable; *entry != '\0'; entry = NextManifestEntry(entry))
        files += Exists(Join(options.installDir, entry));
    int directories = 0;
    for (const char* entry = InstalledDirTable; *entry != '\0'; entry = NextManifestEntry(entry))
        directories += Exists(Join(options.installDir, entry));
    items.push_back({"manifest files", Count(files, INSTALLED_FILE_COUNT)});
    items.push_back({"manifest directories", Count(directories, INSTALLED_DIR_COUNT)});
    items.push_back(
        {"install directory " + options.installDir, Presence(Exists(options.installDir))});
    if (!options.uninstaller.empty())
        items.push_back({"uninstaller " + UninstallerPath(options),
                         Presence(Exists(UninstallerPath(options)))});

    std::string folder = ProductFolderPath(options);
    std::vector<std::string> names = ShortcutNames();
    int shortcuts = 0;
    for (const std::string& name : names)
        shortcuts += Exists(Join(folder, name + ".lnk"));
    items.push_back({"Start-menu folder " + folder, Presence(Exists(folder))});
    items.push_back({"shortcuts in it", Count(shortcuts, (int)names.size())});
    for (const SampleKey& key : SampleKeys(options))
        if (!key.neighbour)
            items.push_back(
                {key.rootName + "\\" + key.path, Presence(KeyExists(key.root, key.path))});
    if (options.generation == GENERATION_AFTER_400 && !options.chainedCommand.empty())
        items.push_back(
            {"  value UninstallString.ORIG",
             Presence(ValueExists(InstallShieldRoot(options), wintest::INSTALLSHIELD_ENTRY,
                                  "UninstallString.ORIG"))});

    std::string neighbour = Join(ParentOf(options.installDir), USER_NEIGHBOUR_FILE);
    items.push_back({"neighbour: user's file " + neighbour, Presence(Exists(neighbour))});
    std::string other = Join(ProgramsFolder(options), wintest::NEIGHBOUR_FOLDER);
    items.push_back({"neighbour: Start-menu folder " + other, Presence(Exists(other))});
    for (const SampleKey& key : SampleKeys(options))
        if (key.neighbour)
            items.push_back({"neighbour: " + key.rootName + "\\" + key.path,
                             Presence(KeyExists(key.root, key.path))});
    return items;
}
