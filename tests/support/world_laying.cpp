// Laying a world: the sample installation, the decoys beside the product, each mutation and
// the temporary folder; and the cleanup that puts the machine back.
#include "world_parts.h"

#include "install.h"

#include <stdio.h>
#include <string.h>

namespace wintest {

namespace {

const char JAPANESE_FOLDER[] = "ソフト表"; // 0x83 0x5C, 0x95 0x5C in code page 932
const UINT JAPANESE_CODEPAGE = 932;
const char DECOY_DIR[] = "C:\\decoy\\VORTA-X"; // manifest names outside the product
const char DECOY_FILE[] = "C:\\decoy\\target.txt";
const char DECOY_KEY[] = "Software\\Decoy\\Target"; // HKCU

// Keys beside each product key, besides the neighbours that the sample lays.
const wintest::Key DECOY_KEYS[] = {
    {HKEY_CURRENT_USER, "Software\\Decoy"},
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER2"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORTA-X2"},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X2"},
    {HKEY_CLASSES_ROOT, ".vxp2"},
    {HKEY_CLASSES_ROOT, "Vortax.Configuration.File2"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                        "InstallShield_{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F14}"},
};

// The roots of the Shell Folders values, by SHELL_FOLDER's a.
const HKEY SHELL_ROOTS[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

std::wstring wide_path(const std::string& utf8) {
    return utf8_to_wide(utf8);
}

bool write_file(const std::string& utf8, const std::string& content) {
    HANDLE file = CreateFileW(wide_path(utf8).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    return written == content.size();
}

// Deletes a file, its attributes cleared first: a read-only one would stay.
void delete_file(const std::string& utf8) {
    SetFileAttributesW(wide_path(utf8).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(wide_path(utf8).c_str());
}

bool make_dirs(const std::string& utf8) {
    if (utf8.size() <= 3 || exists(utf8))
        return true;
    size_t slash = utf8.find_last_of('\\');
    if (slash != std::string::npos)
        make_dirs(utf8.substr(0, slash));
    return CreateDirectoryW(wide_path(utf8).c_str(), NULL) != 0;
}

// remove_tree takes a path in a code page: the Japanese one where the system's cannot
// hold it.
void remove_utf8_tree(const std::string& utf8) {
    UINT codepage = to_utf8(from_utf8(utf8, CP_ACP), CP_ACP) == utf8 ? CP_ACP : JAPANESE_CODEPAGE;
    remove_tree(from_utf8(utf8, codepage), codepage);
}

std::string program_files() {
    return std::string(run_kind()) == "wow64" ? "C:\\Program Files (x86)" : "C:\\Program Files";
}

std::string install_dir_of(const World& world) {
    return program_files() + "\\VORTA\\" + (world.japanese ? JAPANESE_FOLDER : "VORTA-X");
}

std::string standin_command() {
    return binary_path("is_standin.exe") + " /uninst /s";
}

// A text of the given length: the laid folder, then a tail of letters.
std::string padded(const std::string& start, size_t length) {
    std::string text = start + "\\";
    while (text.size() < length)
        text += (text.size() % 8 == 0) ? '\\' : 'x';
    return text.substr(0, length);
}

std::string dir_form(int form, const std::string& laid) {
    std::string leaf = laid.substr(laid.find_last_of('\\') + 1);
    switch (form) {
    case FORM_EMPTY:
        return "";
    case FORM_RELATIVE:
        return "VORTA\\" + leaf;
    case FORM_DRIVE_RELATIVE:
        return "C:VORTA\\" + leaf;
    case FORM_UNC:
        return "\\\\server\\share\\VORTA-X";
    case FORM_LONG_PREFIX:
        return "\\\\?\\" + laid;
    case FORM_DRIVE_ROOT:
        return "C:\\";
    case FORM_TRAILING_BACKSLASH:
        return laid + "\\";
    case FORM_LENGTH_259:
        return padded(laid, 259);
    case FORM_LENGTH_260:
        return padded(laid, 260);
    case FORM_LENGTH_1023:
        return padded(laid, 1023);
    case FORM_LENGTH_1024:
        return padded(laid, 1024);
    case FORM_LENGTH_5000:
        return padded(laid, 5000);
    case FORM_NO_TERMINATOR:
        return laid;
    case FORM_JAPANESE_TRAIL_BYTES:
        return std::string("C:\\") + JAPANESE_FOLDER + "\\VORTA-X";
    case FORM_EXPANDABLE:
        return "%ProgramFiles%\\VORTA\\" + leaf;
    case FORM_DOT_DOT:
        return laid + "\\..\\" + leaf;
    default:
        return laid;
    }
}

// Opens path below root for writing, made if missing.
LONG create_key(HKEY root, const std::string& path, HKEY* key) {
    return RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, key, NULL);
}

// Writes a value of any type: the strings as the program's code page sees them (through
// the wide call), the other types as the bytes of the text in the world's code page.
LONG write_value(HKEY root, const std::string& path, const char* name, DWORD type,
                 const std::string& utf8, bool terminated, UINT codepage) {
    HKEY key;
    LONG status = create_key(root, path, &key);
    if (status != ERROR_SUCCESS)
        return status;
    std::wstring wide_name = utf8_to_wide(name);
    std::string data;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring wide = utf8_to_wide(utf8);
        if (terminated)
            wide.push_back(L'\0');
        if (terminated && type == REG_MULTI_SZ)
            wide.push_back(L'\0');
        data.assign((const char*)wide.data(), wide.size() * sizeof(wchar_t));
    } else {
        data = from_utf8(utf8, codepage);
        if (terminated)
            data.push_back('\0');
    }
    status = RegSetValueExW(key, wide_name.c_str(), 0, type, (const BYTE*)data.data(),
                            (DWORD)data.size());
    RegCloseKey(key);
    return status;
}

SavedValue read_value(HKEY root, const std::string& path, const char* name) {
    SavedValue saved;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return saved;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, NULL, &saved.type, NULL, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, name, NULL, &saved.type, (BYTE*)&data[0], &size) ==
            ERROR_SUCCESS) {
            saved.present = true;
            saved.data = data.substr(0, size);
        }
    }
    RegCloseKey(key);
    return saved;
}

void restore_value(HKEY root, const std::string& path, const char* name, const SavedValue& saved) {
    if (!saved.present) {
        delete_value(root, path, name);
        return;
    }
    HKEY key;
    if (create_key(root, path, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, saved.type, (const BYTE*)saved.data.data(),
                   (DWORD)saved.data.size());
    RegCloseKey(key);
}

bool run_unix_quietly(const std::string& command) {
    return run_unix_at(Where{__FILE__, __LINE__}, command, command);
}

// A symbolic link made by the Unix side, as Wine shows it: a reparse point.
bool make_link(const std::string& link, const std::string& target, Laid& laid) {
    std::string unix_link = unix_path(from_utf8(link, laid.codepage), laid.codepage);
    std::string unix_target = unix_path(from_utf8(target, laid.codepage), laid.codepage);
    // Made only where nothing is: ln would put it into a folder of that name.
    if (unix_link.empty() || unix_target.empty() || exists(link))
        return false;
    laid.file_links.push_back(unix_link);
    laid.linked.push_back(lower_case(link));
    return run_unix_quietly("ln -s '" + unix_target + "' '" + unix_link + "'") && exists(link);
}

void lay_decoys(Laid& laid) {
    for (const std::string& dir : manifest_dirs())
        make_dirs(std::string(DECOY_DIR) + "\\" + dir);
    std::set<std::string> dirs_with_a_file;
    for (size_t i = 0; i < manifest_files().size(); i++) {
        const std::string& entry = manifest_files()[i];
        size_t slash = entry.find_last_of('\\');
        std::string dir = slash == std::string::npos ? "" : entry.substr(0, slash);
        if (i % 5 != 0 && dirs_with_a_file.count(dir) != 0)
            continue;
        dirs_with_a_file.insert(dir);
        if (!write_file(std::string(DECOY_DIR) + "\\" + entry, "decoy " + entry))
            laid.problems.push_back("the decoy file " + entry);
    }
    write_file(DECOY_FILE, "decoy target");
    for (const wintest::Key& key : DECOY_KEYS)
        write_value(key.root, key.path, "Owner", REG_SZ, "somebody else", true, CP_ACP);
    write_value(HKEY_CURRENT_USER, std::string(DECOY_KEY) + "\\Inner", "Owner", REG_SZ,
                "somebody else", true, CP_ACP);
}

std::string manifest_path(const Laid& laid, const std::string& entry) {
    return laid.install_dir + "\\" + entry;
}

// Whether path is a link made before or lies behind one: what is there is the decoy's.
bool through_link(const Laid& laid, const std::string& path) {
    std::string lower = lower_case(path);
    for (const std::string& link : laid.linked)
        if (lower == link || lower.compare(0, link.size() + 1, link + "\\") == 0)
            return true;
    return false;
}

// Removes a manifest folder for a mutation; false where it is not there or is the decoy's.
// The links made in it go first, through the Unix side: Wine would delete what a link to a
// file points to, and keep the link.
bool remove_manifest_dir(const Laid& laid, const std::string& path) {
    if (!exists(path) || through_link(laid, path))
        return false;
    std::string lower = lower_case(path) + "\\";
    for (const std::string& link : laid.linked)
        if (link.compare(0, lower.size(), lower) == 0) {
            std::string unix_dir = unix_path(from_utf8(path, laid.codepage), laid.codepage);
            run_unix_quietly("find '" + unix_dir + "' -type l -delete");
            break;
        }
    remove_utf8_tree(path);
    return true;
}

// Deletes a key with all it holds, however deep: through handles, never through paths,
// which the deepest trees would make too long.
void delete_deep_tree(HKEY root, const std::string& path) {
    typedef LONG(WINAPI * DeleteTree)(HKEY, LPCSTR);
    DeleteTree delete_tree = reinterpret_cast<DeleteTree>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteTreeA")));
    if (delete_tree != NULL)
        delete_tree(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

void make_deep_tree(HKEY root, const std::string& path, int depth) {
    HKEY key;
    if (create_key(root, path, &key) != ERROR_SUCCESS)
        return;
    for (int level = 0; level < depth; level++) {
        HKEY child;
        if (create_key(key, "d", &child) != ERROR_SUCCESS)
            break;
        RegCloseKey(key);
        key = child;
    }
    RegSetValueExA(key, "Bottom", 0, REG_SZ, (const BYTE*)"yes", 4);
    RegCloseKey(key);
}

void make_wide_tree(HKEY root, const std::string& path, int width) {
    HKEY key;
    if (create_key(root, path, &key) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < width; i++) {
        char name[16];
        sprintf(name, "w%04d", i);
        HKEY child;
        if (create_key(key, name, &child) == ERROR_SUCCESS) {
            RegSetValueExA(child, "Value", 0, REG_DWORD, (const BYTE*)&i, sizeof i);
            RegCloseKey(child);
        }
    }
    RegCloseKey(key);
}

// ---- the mutations, one function each ---------------------------------------------

void lay_dir_value(const Mutation& m, const World& world, Laid& laid) {
    HKEY roots[] = {HKEY_LOCAL_MACHINE, installshield_root(world), HKEY_CURRENT_USER,
                    HKEY_CURRENT_USER};
    const char* paths[] = {PRODUCT_ENTRY, INSTALLSHIELD_ENTRY, USER_SETTINGS, USER_SETTINGS};
    const char* names[] = {"InstallLocation", "InstallLocation", "InstallDirectory4",
                           "InstallDirectory"};
    if (m.c == FORM_VALUE_MISSING)
        delete_value(roots[m.a], paths[m.a], names[m.a]);
    else
        write_value(roots[m.a], paths[m.a], names[m.a], VALUE_TYPES[m.b],
                    dir_form(m.c, laid.install_dir), m.c != FORM_NO_TERMINATOR, laid.codepage);
}

// The chained uninstall command in its form, by CHAINED_VALUE's c.
std::string chained_command(int form) {
    switch (form) {
    case 0:
        return standin_command();
    case 1:
        return "";
    case 2:
        return "/uninst";
    case 3:
        return "C:\\no\\such\\setup.exe";
    case 4:
        return padded(binary_path("is_standin.exe") + " /uninst", 1023);
    case 5:
        return padded(binary_path("is_standin.exe") + " /uninst", 5000);
    case 6:
        return standin_command();
    default:
        return "is_standin.exe /uninst /s";
    }
}

void lay_chained_value(const Mutation& m, const World& world, Laid& laid) {
    write_value(installshield_root(world), INSTALLSHIELD_ENTRY, "UninstallString.ORIG",
                VALUE_TYPES[m.b], chained_command(m.c), m.c != 6, laid.codepage);
}

// A Shell Folders value's text in its form, by SHELL_FOLDER's c (1 and up: 0 is no value);
// real is the folder as Wine wrote it.
std::string shell_folder_text(int form, const std::string& real) {
    switch (form) {
    case 1:
        return "";
    case 2:
        return "Start Menu\\Programs";
    case 3:
        return "C:Start Menu\\Programs";
    case 4:
        return "\\\\server\\share\\Programs";
    case 5:
        return padded(real, 520);
    case 6:
        return padded(real, 600);
    case 7:
        return real;
    case 8:
        return "\\\\?\\" + real;
    case 9:
        return real + "\\";
    default:
        return std::string("C:\\") + JAPANESE_FOLDER + "\\Programs";
    }
}

void lay_shell_folder(const Mutation& m, const World&, Laid& laid) {
    std::string real = programs_folder(m.a == 0 ? 0 : 1);
    if (!laid.shell_changed[m.a]) {
        laid.shell[m.a] = read_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a]);
        laid.shell_changed[m.a] = true;
    }
    if (m.c == 0)
        delete_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a]);
    else
        write_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a], VALUE_TYPES[m.b],
                    shell_folder_text(m.c, real), m.c != 7, laid.codepage);
}

// The key a LINK_KEY link points to, by b. A product key that becomes a link itself points
// to a decoy rather than to its own parent, which would then hold a link to itself.
std::pair<HKEY, std::string> link_target(int b, HKEY root, const LinkPlace& place) {
    std::string path = place.path;
    if (b == 0)
        return {HKEY_CURRENT_USER, DECOY_KEY};
    if (b == 1 && place.replaces)
        return {HKEY_CURRENT_USER, "Software\\Decoy"};
    if (b == 1)
        return {root, path.substr(0, path.find_last_of('\\'))};
    return {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER-Notes"};
}

// The links laid below path go first, as links: deleting the tree would follow them and
// fail.
void remove_link_keys_below(HKEY root, const std::string& path, Laid& laid) {
    std::string below = lower_case(path) + "\\";
    for (size_t i = laid.link_keys.size(); i-- > 0;)
        if (laid.link_keys[i].first == root &&
            lower_case(laid.link_keys[i].second).compare(0, below.size(), below) == 0) {
            delete_link_key(root, laid.link_keys[i].second);
            laid.link_keys.erase(laid.link_keys.begin() + i);
        }
}

// Makes path below root a link to a key below any root; false if it could not.
bool make_link_key(HKEY root, const std::string& path, const std::pair<HKEY, std::string>& target) {
    HKEY link = NULL;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS, NULL, &link, NULL) != ERROR_SUCCESS)
        return false;
    // A link names its target by the registry's own path, under any root.
    std::string full = registry_path(target.first, target.second);
    std::wstring wide(full.begin(), full.end());
    RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)wide.data(),
                   (DWORD)(wide.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    return true;
}

void lay_link_key(const Mutation& m, const World& world, Laid& laid) {
    const LinkPlace& place = LINK_PLACES[m.a];
    HKEY root = place.root != NULL ? place.root : installshield_root(world);
    std::string path = place.path;
    if (place.replaces) {
        remove_link_keys_below(root, path, laid);
        delete_deep_tree(root, path);
    }
    if (is_link_key(root, path))
        return; // the same mutation drawn twice
    if (!make_link_key(root, path, link_target(m.b, root, place))) {
        laid.problems.push_back("the link key " + path);
        return;
    }
    laid.link_keys.push_back({root, path});
}

void lay_deep_tree(const Mutation& m, const World&, Laid&) {
    make_deep_tree(TREE_PLACES[m.a].root, std::string(TREE_PLACES[m.a].path) + "\\Deep",
                   DEPTHS[m.b]);
}

void lay_wide_tree(const Mutation& m, const World&, Laid&) {
    make_wide_tree(TREE_PLACES[m.a].root, std::string(TREE_PLACES[m.a].path) + "\\Wide",
                   WIDTHS[m.b]);
}

void lay_file_missing(const Mutation& m, const World&, Laid& laid) {
    delete_file(manifest_path(laid, manifest_files()[m.a]));
}

void lay_file_attributes(const Mutation& m, const World&, Laid& laid) {
    DWORD attributes = ((m.b & 1) ? FILE_ATTRIBUTE_READONLY : 0) |
                       ((m.b & 2) ? FILE_ATTRIBUTE_HIDDEN : 0) |
                       ((m.b & 4) ? FILE_ATTRIBUTE_SYSTEM : 0);
    SetFileAttributesW(wide_path(manifest_path(laid, manifest_files()[m.a])).c_str(), attributes);
}

void lay_file_as_dir(const Mutation& m, const World&, Laid& laid) {
    std::string path = manifest_path(laid, manifest_files()[m.a]);
    delete_file(path);
    make_dirs(path);
    if (m.b == 1)
        write_file(path + "\\mine.txt", "the user's");
}

void lay_file_as_link(const Mutation& m, const World&, Laid& laid) {
    std::string path = manifest_path(laid, manifest_files()[m.a]);
    std::string decoy = std::string(DECOY_DIR) + "\\" + manifest_files()[m.a];
    if (!exists(decoy))
        decoy = DECOY_FILE;
    if (!exists(path) || through_link(laid, path))
        return;
    delete_file(path);
    if (!make_link(path, decoy, laid))
        laid.problems.push_back("the link " + path);
    laid.link_targets.insert(lower_case(decoy));
}

void lay_dir_as_file(const Mutation& m, const World&, Laid& laid) {
    std::string path = manifest_path(laid, manifest_dirs()[m.a]);
    if (remove_manifest_dir(laid, path))
        write_file(path, "a file where a folder was");
}

void lay_dir_as_link(const Mutation& m, const World&, Laid& laid) {
    std::string path = manifest_path(laid, manifest_dirs()[m.a]);
    if (remove_manifest_dir(laid, path) &&
        !make_link(path, std::string(DECOY_DIR) + "\\" + manifest_dirs()[m.a], laid))
        laid.problems.push_back("the link " + path);
}

void lay_file_held_open(const Mutation& m, const World&, Laid& laid) {
    const DWORD sharing[] = {0, FILE_SHARE_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    HANDLE file = CreateFileW(wide_path(manifest_path(laid, manifest_files()[m.a])).c_str(),
                              GENERIC_READ, sharing[m.b], NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        laid.held.push_back(file);
}

void lay_user_file(const Mutation& m, const World&, Laid& laid) {
    switch (m.a) {
    case 0:
        write_file(laid.install_dir + "\\user notes.txt", "the user's");
        break;
    case 1:
        if (exists(manifest_path(laid, manifest_dirs()[m.b])))
            write_file(manifest_path(laid, manifest_dirs()[m.b]) + "\\mine.txt", "the user's");
        break;
    case 2:
        if (exists(laid.folder))
            write_file(laid.folder + "\\mine.txt", "the user's");
        break;
    default:
        make_dirs(laid.install_dir + "\\my work");
        write_file(laid.install_dir + "\\my work\\draft.txt", "the user's");
        break;
    }
}

void lay_programs_folder(const Mutation& m, const World&, Laid& laid) {
    if (!laid.programs_moved.empty() || laid.programs.empty())
        return;
    if (MoveFileW(wide_path(laid.programs).c_str(), wide_path(laid.programs + ".away").c_str()))
        laid.programs_moved = laid.programs;
    if (m.a == 1)
        write_file(laid.programs, "a file where the Programs folder was");
}

void lay_key_missing(const Mutation& m, const World&, Laid&) {
    if (m.a == 0 || m.a == 2)
        delete_key_tree(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
    if (m.a == 1 || m.a == 2)
        delete_key_tree(HKEY_CURRENT_USER, USER_SETTINGS);
    if (m.a == 3)
        delete_key_tree(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS);
    if (m.a == 4)
        delete_key_tree(HKEY_CLASSES_ROOT, FILE_TYPE);
}

void lay_install_missing(const Mutation&, const World&, Laid& laid) {
    remove_utf8_tree(laid.install_dir);
}

// Each kind of mutation and the function that lays it. TEMP_FOLDER has none: it is laid
// with the temporary folder (lay_temp).
struct Laying {
    MutationKind kind;
    void (*lay)(const Mutation& m, const World& world, Laid& laid);
};
const Laying LAYINGS[] = {
    {DIR_VALUE, lay_dir_value},
    {CHAINED_VALUE, lay_chained_value},
    {SHELL_FOLDER, lay_shell_folder},
    {LINK_KEY, lay_link_key},
    {DEEP_TREE, lay_deep_tree},
    {WIDE_TREE, lay_wide_tree},
    {FILE_MISSING, lay_file_missing},
    {FILE_ATTRIBUTES, lay_file_attributes},
    {FILE_AS_DIR, lay_file_as_dir},
    {FILE_AS_LINK, lay_file_as_link},
    {DIR_AS_FILE, lay_dir_as_file},
    {DIR_AS_LINK, lay_dir_as_link},
    {FILE_HELD_OPEN, lay_file_held_open},
    {USER_FILE, lay_user_file},
    {PROGRAMS_FOLDER, lay_programs_folder},
    {KEY_MISSING, lay_key_missing},
    {INSTALL_MISSING, lay_install_missing},
};

void apply(const Mutation& m, const World& world, Laid& laid) {
    for (const Laying& laying : LAYINGS)
        if (laying.kind == m.kind)
            laying.lay(m, world, laid);
}

} // namespace

// ---- the world laid, and the machine put back ----------------------------------------

bool exists(const std::string& utf8) {
    return GetFileAttributesW(wide_path(utf8).c_str()) != INVALID_FILE_ATTRIBUTES;
}

HKEY installshield_root(const World& world) {
    return world.scope == 1 && !version_of(world).win9x ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

void lay_temp(const World& world, Laid& laid, std::string* child_temp) {
    laid.cwd = to_utf8(make_temp_dir("cwd"), CP_ACP);
    std::string made =
        world.japanese ? make_temp_dir(JAPANESE_FOLDER, JAPANESE_CODEPAGE) : make_temp_dir("temp");
    laid.temp_dir = to_utf8(made, laid.codepage);
    laid.log_path = laid.temp_dir + "\\" + LOG_NAME;
    int state = -1;
    for (const Mutation& m : world.mutations)
        if (m.kind == TEMP_FOLDER)
            state = m.a;
    std::string log = laid.log_path;
    switch (state) {
    case 0:
        laid.temp_dir += "\\gone";
        laid.log_path = "";
        break;
    case 1:
        SetFileAttributesW(wide_path(laid.temp_dir).c_str(), FILE_ATTRIBUTE_READONLY);
        break;
    case 2:
    case 3:
        write_file(log, PLANTED_TRACE);
        laid.planted = true;
        if (state == 3) {
            SetFileAttributesW(wide_path(log).c_str(), FILE_ATTRIBUTE_READONLY);
            laid.log_path = ""; // it may stay closed to the run
        }
        break;
    case 4:
        CreateDirectoryW(wide_path(log).c_str(), NULL);
        laid.log_path = "";
        break;
    case 5:
        laid.temp_dir = padded(laid.temp_dir, 300);
        laid.log_path = laid.cwd + "\\" + LOG_NAME;
        break;
    default:
        break;
    }
    *child_temp = from_utf8(laid.temp_dir, laid.codepage);
}

Laid lay_world(const World& world, PhaseClock& clock) {
    Laid laid;
    laid.codepage = world.japanese ? JAPANESE_CODEPAGE : CP_ACP;
    laid.install_dir = install_dir_of(world);
    int shortcut_scope = version_of(world).win9x ? 1 : world.scope;
    laid.programs = programs_folder(shortcut_scope);
    laid.folder = laid.programs + "\\" + FOLDER_NAME;

    RunOptions sample;
    sample.program = "vxsample.exe";
    sample.args = {"lay",
                   "-generation",
                   std::to_string(world.generation),
                   "-scope",
                   world.scope == 1 ? "user" : "system",
                   "-dir",
                   from_utf8(laid.install_dir, laid.codepage)};
    if (world.generation == 3) {
        sample.args.push_back("-chained");
        sample.args.push_back(standin_command());
    }
    if (world.from_install) {
        laid.own_file = laid.install_dir + "\\vxwipe.exe";
        sample.args.push_back("-uninstaller");
        sample.args.push_back(binary_path("vxwipe.exe"));
    }
    sample.windows_version = world.windows;
    sample.japanese = world.japanese;
    // Once more after a failure: on a busy machine a run of the sample has been seen to end
    // with nothing to say, and to lay the same world the next time.
    RunResult result;
    for (int attempt = 0; attempt < 2; attempt++) {
        sample.temp_dir = make_temp_dir("sample");
        result = run_program(sample);
        remove_tree(sample.temp_dir);
        if (result.exit_code == 0)
            break;
    }
    clock.mark(PHASE_SAMPLE);
    if (result.exit_code != 0)
        laid.problems.push_back("the sample installation, twice: exit code " +
                                testing::PrintToString(result.exit_code) +
                                (result.timed_out ? ", timed out" : "") + ": " +
                                to_utf8(result.output, laid.codepage));
    lay_decoys(laid);
    // A file is held open last: deleting a file held with every sharing allowed only marks
    // it, and it would go when the holder lets go, after the run.
    for (const Mutation& m : world.mutations)
        if (m.kind != FILE_HELD_OPEN)
            apply(m, world, laid);
    for (const Mutation& m : world.mutations)
        if (m.kind == FILE_HELD_OPEN)
            apply(m, world, laid);
    return laid;
}

void clean_up(Laid& laid) {
    for (HANDLE file : laid.held)
        CloseHandle(file);
    laid.held.clear();
    // One Unix command for all the links: each costs a process start.
    std::string unlink;
    for (const std::string& link : laid.file_links)
        unlink += "if [ -L '" + link + "' ]; then rm -f '" + link + "'; fi\n";
    if (!unlink.empty())
        run_unix_quietly(unlink);
    for (const auto& link : laid.link_keys)
        delete_link_key(link.first, link.second);
    for (const wintest::Key& place : TREE_PLACES)
        delete_deep_tree(place.root, std::string(place.path) + "\\Deep");
    remove_product_keys();
    delete_value(HKEY_LOCAL_MACHINE, PENDING_RENAMES_KEY, PENDING_RENAMES_VALUE);
    for (const wintest::Key& key : DECOY_KEYS)
        delete_key_tree(key.root, key.path);
    for (int i = 0; i < 2; i++)
        if (laid.shell_changed[i])
            restore_value(SHELL_ROOTS[i], SHELL_FOLDERS, SHELL_VALUE_NAMES[i], laid.shell[i]);
    if (!laid.programs_moved.empty()) {
        delete_file(laid.programs);
        MoveFileW(wide_path(laid.programs + ".away").c_str(), wide_path(laid.programs).c_str());
    }
    remove_tree(program_files() + "\\VORTA");
    remove_tree("C:\\decoy");
    for (int scope = 0; scope < 2; scope++) {
        std::string programs = programs_folder(scope);
        remove_tree(programs + "\\" + FOLDER_NAME);
        remove_tree(programs + "\\" + NEIGHBOUR_FOLDER);
    }
    std::string temp = laid.temp_dir.substr(0, laid.temp_dir.find('\\', strlen("C:\\wt\\")));
    SetFileAttributesW(wide_path(temp).c_str(), FILE_ATTRIBUTE_NORMAL);
    remove_utf8_tree(temp);
    remove_tree(laid.cwd);
    set_windows_version("vxwipe.exe", "");
    set_windows_version("vxsample.exe", "");
}

} // namespace wintest
