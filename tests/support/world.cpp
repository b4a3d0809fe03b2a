#include "world.h"

#include "boxes.h"
#include "install.h"
#include "product.h"
#include "snapshot.h"
#include "strings.h"

#include "removal/manifest.h"

#include <shlobj.h>

#include <algorithm>
#include <set>
#include <stdio.h>
#include <string.h>

namespace wintest {

namespace {

// ---- the generator ----------------------------------------------------------

// splitmix64: the same worlds from the same seed on every machine.
struct Random {
    unsigned long long state;
    unsigned long long next() {
        state += 0x9E3779B97F4A7C15ULL;
        unsigned long long z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int count) {
        return (int)(next() % (unsigned long long)count);
    }
    bool chance(int percent) {
        return below(100) < percent;
    }
};

struct Version {
    const char* name;
    bool win9x;
    const char* run;
};

const Version VERSIONS[] = {
    {"win95", true, "win32"},  {"win98", true, "win32"},  {"winme", true, "win32"},
    {"nt40", false, "win32"},  {"win2k", false, "win32"}, {"winxp", false, "win32"},
    {"vista", false, "wow64"}, {"win7", false, "wow64"},  {"win10", false, "wow64"},
};
const int VERSION_COUNT = sizeof VERSIONS / sizeof VERSIONS[0];

const Version& version_of(const World& world) {
    for (const Version& version : VERSIONS)
        if (world.windows == version.name)
            return version;
    return VERSIONS[5];
}

// Unknown ones among them; "-silent" twice, so that most worlds run without boxes.
const char* const OPTIONS[] = {"-silent", "-silent", "-nosilent", "-save",   "-nosave", "-IS",
                               "-is",     "-x",      "/silent",   "-SILENT", ""};
const int OPTION_COUNT = sizeof OPTIONS / sizeof OPTIONS[0];

const DWORD VALUE_TYPES[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE};
const char* const VALUE_TYPE_NAMES[] = {"REG_SZ",     "REG_EXPAND_SZ", "REG_MULTI_SZ",
                                        "REG_BINARY", "REG_DWORD",     "REG_NONE"};
const int VALUE_TYPE_COUNT = 6;

// The install-directory values, by DIR_VALUE's a.
const char* const DIR_VALUE_NAMES[] = {"InstallLocation of the product's entry",
                                       "InstallLocation of the InstallShield entry",
                                       "InstallDirectory4", "InstallDirectory"};

// Forms of a directory text, by c; the laid directory is "D".
enum DirForm {
    FORM_EMPTY,
    FORM_RELATIVE,
    FORM_DRIVE_RELATIVE,
    FORM_UNC,
    FORM_LONG_PREFIX,
    FORM_DRIVE_ROOT,
    FORM_TRAILING_BACKSLASH,
    FORM_LENGTH_259,
    FORM_LENGTH_260,
    FORM_LENGTH_1023,
    FORM_LENGTH_1024,
    FORM_LENGTH_5000,
    FORM_NO_TERMINATOR,
    FORM_JAPANESE_TRAIL_BYTES,
    FORM_EXPANDABLE,
    FORM_VALUE_MISSING,
    FORM_DOT_DOT,
    DIR_FORM_COUNT
};
const char* const DIR_FORM_NAMES[] = {"empty",
                                      "relative",
                                      "drive-relative",
                                      "UNC",
                                      "\\\\?\\D",
                                      "drive root",
                                      "D\\",
                                      "259 characters",
                                      "260 characters",
                                      "1023 characters",
                                      "1024 characters",
                                      "5000 characters",
                                      "D without terminator",
                                      "code page 932 text with 0x5C trail bytes",
                                      "%ProgramFiles% form",
                                      "missing",
                                      "D\\..\\leaf"};

// Forms of the chained uninstall command, by c.
const char* const CHAINED_FORM_NAMES[] = {
    "the stand-in, completing",        "empty",           "\"/uninst\" alone",
    "a program that is not there",     "1023 characters", "5000 characters",
    "the stand-in without terminator", "relative program"};
const int CHAINED_FORM_COUNT = 8;

// Forms of a Shell Folders value, by c; "P" is the folder as Wine wrote it.
const char* const SHELL_FORM_NAMES[] = {"missing",
                                        "empty",
                                        "relative",
                                        "drive-relative",
                                        "UNC",
                                        "520 characters",
                                        "600 characters",
                                        "P without terminator",
                                        "\\\\?\\P",
                                        "P\\",
                                        "code page 932 text with 0x5C trail bytes"};
const int SHELL_FORM_COUNT = 11;

// Where LINK_KEY puts its link, by a: the key itself becomes a link, or a link below it.
struct LinkPlace {
    HKEY root; // 0: the InstallShield entry's root, by scope
    const char* path;
    bool replaces; // the product key itself is the link
};
const LinkPlace LINK_PLACES[] = {
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER\\Link", false},
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER", true},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X\\Service\\Link", false},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X", true},
    {HKEY_CLASSES_ROOT, "Vortax.Configuration.File\\shell\\Link", false},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORTA-X\\Link",
     false},
    {NULL,
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InstallShield_"
     "{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}\\Link",
     false},
    {HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, true},
    {HKEY_CLASSES_ROOT, FILE_TYPE, true},
    {HKEY_CLASSES_ROOT, FILE_EXTENSION, true},
    {HKEY_CLASSES_ROOT, ".vxp\\Link", false},
    {NULL, INSTALLSHIELD_ENTRY, true},
    {HKEY_LOCAL_MACHINE, GENERATION_2_ENTRY, true},
    {HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY, true},
};
const int LINK_PLACE_COUNT = sizeof LINK_PLACES / sizeof LINK_PLACES[0];
const char* const LINK_TARGET_NAMES[] = {"a decoy key", "its own parent", "a neighbour key"};

// The product keys that DEEP_TREE and WIDE_TREE grow, by a.
const wintest::Key TREE_PLACES[] = {
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER"},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X"},
    {HKEY_CLASSES_ROOT, "Vortax.Configuration.File"},
};
const int DEPTHS[] = {32, 128, 510};
const int WIDTHS[] = {100, 300, 1000};

const char* const KEY_MISSING_NAMES[] = {"the product's Uninstall entry", "the per-user settings",
                                         "the entry and the settings", "the machine-wide settings",
                                         "the file type"};

const char* const TEMP_NAMES[] = {"missing",
                                  "read-only",
                                  "holding a planted log",
                                  "holding a planted read-only log",
                                  "holding a folder named like the log",
                                  "too long for the log"};
const char* const USER_FILE_NAMES[] = {"in the install folder", "in a manifest subdirectory",
                                       "in the Start-menu folder",
                                       "in a user's subdirectory of the install folder"};

const char* const MUTATION_NAMES[] = {
    "DirValue",   "ChainedValue", "ShellFolder",    "LinkKey",   "DeepTree",
    "WideTree",   "FileMissing",  "FileAttributes", "FileAsDir", "FileAsLink",
    "DirAsFile",  "DirAsLink",    "FileHeldOpen",   "UserFile",  "ProgramsFolder",
    "TempFolder", "KeyMissing",   "InstallMissing"};
static_assert(sizeof MUTATION_NAMES / sizeof MUTATION_NAMES[0] == MUTATION_KINDS,
              "a name for every mutation");

bool has_arg(const World& world, const char* option) {
    return std::find(world.args.begin(), world.args.end(), option) != world.args.end();
}

// The options as the program reads them: a later one overrides an earlier one.
struct Effective {
    bool silent = false, save = false, is_mode = false;
};

Effective effective(const World& world) {
    Effective result;
    for (const std::string& arg : world.args) {
        if (arg == "-silent")
            result.silent = true;
        else if (arg == "-nosilent")
            result.silent = false;
        else if (arg == "-save")
            result.save = true;
        else if (arg == "-nosave")
            result.save = false;
        else if (arg == "-IS")
            result.is_mode = true;
    }
    return result;
}

Mutation draw_mutation(Random& random, const World& world) {
    for (;;) {
        Mutation m = {random.below(MUTATION_KINDS), 0, 0, 0};
        switch (m.kind) {
        case DIR_VALUE:
            m = {m.kind, random.below(4), random.below(VALUE_TYPE_COUNT),
                 random.below(DIR_FORM_COUNT)};
            break;
        case CHAINED_VALUE:
            if (!has_arg(world, "-IS"))
                continue;
            m = {m.kind, 0, random.below(VALUE_TYPE_COUNT), random.below(CHAINED_FORM_COUNT)};
            break;
        case SHELL_FOLDER:
            m = {m.kind, random.below(2), random.below(VALUE_TYPE_COUNT),
                 random.below(SHELL_FORM_COUNT)};
            break;
        case LINK_KEY:
            // Windows 9x has no link keys.
            if (version_of(world).win9x)
                continue;
            m = {m.kind, random.below(LINK_PLACE_COUNT), random.below(3), 0};
            break;
        case DEEP_TREE:
            m = {m.kind, random.below(3), random.below(3), 0};
            break;
        case WIDE_TREE:
            m = {m.kind, random.below(3), random.below(3), 0};
            break;
        case FILE_MISSING:
            m.a = random.below(INSTALLED_FILE_COUNT);
            break;
        case FILE_AS_LINK:
            m.a = random.below(INSTALLED_FILE_COUNT);
            break;
        case FILE_ATTRIBUTES:
            m = {m.kind, random.below(INSTALLED_FILE_COUNT), 1 + random.below(7), 0};
            break;
        case FILE_AS_DIR:
            m = {m.kind, random.below(INSTALLED_FILE_COUNT), random.below(2), 0};
            break;
        case DIR_AS_LINK:
            m.a = random.below(INSTALLED_DIR_COUNT);
            break;
        case DIR_AS_FILE:
            m.a = random.below(INSTALLED_DIR_COUNT);
            break;
        case FILE_HELD_OPEN:
            m = {m.kind, random.below(INSTALLED_FILE_COUNT), random.below(3), 0};
            break;
        case USER_FILE:
            m = {m.kind, random.below(4), random.below(INSTALLED_DIR_COUNT), 0};
            break;
        case PROGRAMS_FOLDER:
            m.a = random.below(2);
            break;
        case TEMP_FOLDER:
            m.a = random.below(6);
            break;
        case KEY_MISSING:
            m.a = random.below(5);
            break;
        default:
            break;
        }
        return m;
    }
}

// ---- laying a world ---------------------------------------------------------

// Times the phases of a world one after another.
struct PhaseClock {
    LARGE_INTEGER frequency, last;
    Verdict* verdict;
    explicit PhaseClock(Verdict* v) : verdict(v) {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&last);
    }
    // The time since the last mark goes to phase.
    void mark(int phase) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        verdict->seconds[phase] += (double)(now.QuadPart - last.QuadPart) / frequency.QuadPart;
        last = now;
    }
};

const char JAPANESE_FOLDER[] = "ソフト表"; // 0x83 0x5C, 0x95 0x5C in code page 932
const UINT JAPANESE_CODEPAGE = 932;
const char DECOY_DIR[] = "C:\\decoy\\VORTA-X"; // manifest names outside the product
const char DECOY_FILE[] = "C:\\decoy\\target.txt";
const char DECOY_KEY[] = "Software\\Decoy\\Target"; // HKCU
const char PLANTED_TRACE[] = "an earlier run's trace\r\n";
const char LOG_NAME[] = "vxwipe.log";

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

struct SavedValue {
    bool present = false;
    DWORD type = REG_SZ;
    std::string data;
};

struct Laid {
    UINT codepage = CP_ACP;
    std::string install_dir; // UTF-8
    std::string programs;    // the Programs folder of the product's shortcuts
    std::string folder;      // the product's Start-menu folder in it
    std::string temp_dir;    // UTF-8; the child's TMP
    std::string cwd;         // the child's current directory
    std::string log_path;    // UTF-8, where the trace must be; "" if it cannot be
    bool planted = false;    // the log held an earlier trace
    std::vector<HANDLE> held;
    std::vector<std::string> file_links; // Unix paths of the links made
    std::set<std::string> link_targets;  // the files that links to a file point to
    std::vector<std::string> linked;     // the links made, lower case
    std::vector<std::pair<HKEY, std::string>> link_keys;
    SavedValue shell[2];
    bool shell_changed[2] = {false, false};
    std::string own_file;              // UTF-8: the uninstaller laid in the install folder
    bool started_from_install = false; // from own_file, which the mutations left there
    std::string programs_moved;        // the Programs folder, moved aside to programs + ".away"
    std::vector<std::string> problems; // what could not be laid
};

std::wstring wide_path(const std::string& utf8) {
    return utf8_to_wide(utf8);
}

bool exists(const std::string& utf8) {
    return GetFileAttributesW(wide_path(utf8).c_str()) != INVALID_FILE_ATTRIBUTES;
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

HKEY installshield_root(const World& world) {
    return world.scope == 1 && !version_of(world).win9x ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
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

// Writes a value of any type: the strings as the program's code page sees them (through
// the wide call), the other types as the bytes of the text in the world's code page.
LONG write_value(HKEY root, const std::string& path, const char* name, DWORD type,
                 const std::string& utf8, bool terminated, UINT codepage) {
    HKEY key;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
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
        status = RegSetValueExW(key, wide_name.c_str(), 0, type, (const BYTE*)data.data(),
                                (DWORD)data.size());
    } else {
        data = from_utf8(utf8, codepage);
        if (terminated)
            data.push_back('\0');
        status = RegSetValueExW(key, wide_name.c_str(), 0, type, (const BYTE*)data.data(),
                                (DWORD)data.size());
    }
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
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
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

// Removes a manifest folder for a mutation. The links made in it go first, through the
// Unix side: Wine would delete what a link to a file points to, and keep the link.
void remove_manifest_dir(const Laid& laid, const std::string& path) {
    std::string lower = lower_case(path) + "\\";
    for (const std::string& link : laid.linked)
        if (link.compare(0, lower.size(), lower) == 0) {
            std::string unix_dir = unix_path(from_utf8(path, laid.codepage), laid.codepage);
            run_unix_quietly("find '" + unix_dir + "' -type l -delete");
            break;
        }
    remove_utf8_tree(path);
}

// Whether path is a link made before or lies behind one: what is there is the decoy's.
bool through_link(const Laid& laid, const std::string& path) {
    std::string lower = lower_case(path);
    for (const std::string& link : laid.linked)
        if (lower == link || lower.compare(0, link.size() + 1, link + "\\") == 0)
            return true;
    return false;
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
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    for (int level = 0; level < depth; level++) {
        HKEY child;
        if (RegCreateKeyExA(key, "d", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL) !=
            ERROR_SUCCESS)
            break;
        RegCloseKey(key);
        key = child;
    }
    RegSetValueExA(key, "Bottom", 0, REG_SZ, (const BYTE*)"yes", 4);
    RegCloseKey(key);
}

void make_wide_tree(HKEY root, const std::string& path, int width) {
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    for (int i = 0; i < width; i++) {
        char name[16];
        sprintf(name, "w%04d", i);
        HKEY child;
        if (RegCreateKeyExA(key, name, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL) ==
            ERROR_SUCCESS) {
            RegSetValueExA(child, "Value", 0, REG_DWORD, (const BYTE*)&i, sizeof i);
            RegCloseKey(child);
        }
    }
    RegCloseKey(key);
}

const char* const SHELL_VALUE_NAMES[] = {"Common Programs", "Programs"};
const HKEY SHELL_ROOTS[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

void apply(const Mutation& m, const World& world, Laid& laid) {
    switch (m.kind) {
    case DIR_VALUE: {
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
        break;
    }
    case CHAINED_VALUE: {
        std::string command;
        switch (m.c) {
        case 0:
            command = standin_command();
            break;
        case 1:
            command = "";
            break;
        case 2:
            command = "/uninst";
            break;
        case 3:
            command = "C:\\no\\such\\setup.exe";
            break;
        case 4:
            command = padded(binary_path("is_standin.exe") + " /uninst", 1023);
            break;
        case 5:
            command = padded(binary_path("is_standin.exe") + " /uninst", 5000);
            break;
        case 6:
            command = standin_command();
            break;
        default:
            command = "is_standin.exe /uninst /s";
            break;
        }
        write_value(installshield_root(world), INSTALLSHIELD_ENTRY, "UninstallString.ORIG",
                    VALUE_TYPES[m.b], command, m.c != 6, laid.codepage);
        break;
    }
    case SHELL_FOLDER: {
        std::string real = programs_folder(m.a == 0 ? 0 : 1);
        if (!laid.shell_changed[m.a]) {
            laid.shell[m.a] = read_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a]);
            laid.shell_changed[m.a] = true;
        }
        std::string text;
        switch (m.c) {
        case 0:
            delete_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a]);
            return;
        case 1:
            text = "";
            break;
        case 2:
            text = "Start Menu\\Programs";
            break;
        case 3:
            text = "C:Start Menu\\Programs";
            break;
        case 4:
            text = "\\\\server\\share\\Programs";
            break;
        case 5:
            text = padded(real, 520);
            break;
        case 6:
            text = padded(real, 600);
            break;
        case 7:
            text = real;
            break;
        case 8:
            text = "\\\\?\\" + real;
            break;
        case 9:
            text = real + "\\";
            break;
        default:
            text = std::string("C:\\") + JAPANESE_FOLDER + "\\Programs";
            break;
        }
        write_value(SHELL_ROOTS[m.a], SHELL_FOLDERS, SHELL_VALUE_NAMES[m.a], VALUE_TYPES[m.b], text,
                    m.c != 7, laid.codepage);
        break;
    }
    case LINK_KEY: {
        const LinkPlace& place = LINK_PLACES[m.a];
        HKEY root = place.root != NULL ? place.root : installshield_root(world);
        std::string path = place.path;
        std::string parent = path.substr(0, path.find_last_of('\\'));
        HKEY target_root = root;
        std::string target;
        if (m.b == 0) {
            target_root = HKEY_CURRENT_USER;
            target = DECOY_KEY;
        } else if (m.b == 1) {
            target = parent;
        } else {
            target_root = HKEY_CURRENT_USER;
            target = "Software\\VORTA\\XSERVER-Notes";
        }
        // A link names its target by the registry's own path, under any root.
        if (place.replaces) {
            // The links laid below it go first, as links: deleting the tree would follow
            // them and fail.
            std::string below = lower_case(path) + "\\";
            for (size_t i = laid.link_keys.size(); i-- > 0;)
                if (laid.link_keys[i].first == root &&
                    lower_case(laid.link_keys[i].second).compare(0, below.size(), below) == 0) {
                    delete_link_key(root, laid.link_keys[i].second);
                    laid.link_keys.erase(laid.link_keys.begin() + i);
                }
            delete_deep_tree(root, path);
            target = m.b == 1 ? "Software\\Decoy" : target;
            if (m.b == 1)
                target_root = HKEY_CURRENT_USER;
        }
        if (is_link_key(root, path))
            break; // the same mutation drawn twice
        HKEY link = NULL;
        if (RegCreateKeyExA(root, path.c_str(), 0, NULL,
                            REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, NULL,
                            &link, NULL) != ERROR_SUCCESS) {
            laid.problems.push_back("the link key " + path);
            break;
        }
        std::string full = registry_path(target_root, target);
        std::wstring wide(full.begin(), full.end());
        RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)wide.data(),
                       (DWORD)(wide.size() * sizeof(wchar_t)));
        RegCloseKey(link);
        laid.link_keys.push_back({root, path});
        break;
    }
    case DEEP_TREE:
        make_deep_tree(TREE_PLACES[m.a].root, std::string(TREE_PLACES[m.a].path) + "\\Deep",
                       DEPTHS[m.b]);
        break;
    case WIDE_TREE:
        make_wide_tree(TREE_PLACES[m.a].root, std::string(TREE_PLACES[m.a].path) + "\\Wide",
                       WIDTHS[m.b]);
        break;
    case FILE_MISSING: {
        std::string path = manifest_path(laid, manifest_files()[m.a]);
        SetFileAttributesW(wide_path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide_path(path).c_str());
        break;
    }
    case FILE_ATTRIBUTES: {
        DWORD attributes = ((m.b & 1) ? FILE_ATTRIBUTE_READONLY : 0) |
                           ((m.b & 2) ? FILE_ATTRIBUTE_HIDDEN : 0) |
                           ((m.b & 4) ? FILE_ATTRIBUTE_SYSTEM : 0);
        SetFileAttributesW(wide_path(manifest_path(laid, manifest_files()[m.a])).c_str(),
                           attributes);
        break;
    }
    case FILE_AS_DIR: {
        std::string path = manifest_path(laid, manifest_files()[m.a]);
        SetFileAttributesW(wide_path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide_path(path).c_str());
        make_dirs(path);
        if (m.b == 1)
            write_file(path + "\\mine.txt", "the user's");
        break;
    }
    case FILE_AS_LINK: {
        std::string path = manifest_path(laid, manifest_files()[m.a]);
        std::string decoy = std::string(DECOY_DIR) + "\\" + manifest_files()[m.a];
        if (!exists(decoy))
            decoy = DECOY_FILE;
        if (!exists(path) || through_link(laid, path))
            break;
        SetFileAttributesW(wide_path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide_path(path).c_str());
        if (!make_link(path, decoy, laid))
            laid.problems.push_back("the link " + path);
        laid.link_targets.insert(lower_case(decoy));
        break;
    }
    case DIR_AS_FILE: {
        std::string path = manifest_path(laid, manifest_dirs()[m.a]);
        if (!exists(path) || through_link(laid, path))
            break;
        remove_manifest_dir(laid, path);
        write_file(path, "a file where a folder was");
        break;
    }
    case DIR_AS_LINK: {
        std::string path = manifest_path(laid, manifest_dirs()[m.a]);
        if (!exists(path) || through_link(laid, path))
            break;
        remove_manifest_dir(laid, path);
        if (!make_link(path, std::string(DECOY_DIR) + "\\" + manifest_dirs()[m.a], laid))
            laid.problems.push_back("the link " + path);
        break;
    }
    case FILE_HELD_OPEN: {
        const DWORD sharing[] = {0, FILE_SHARE_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
        HANDLE file = CreateFileW(wide_path(manifest_path(laid, manifest_files()[m.a])).c_str(),
                                  GENERIC_READ, sharing[m.b], NULL, OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            laid.held.push_back(file);
        break;
    }
    case USER_FILE:
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
        break;
    case PROGRAMS_FOLDER:
        if (!laid.programs_moved.empty() || laid.programs.empty())
            break;
        if (MoveFileW(wide_path(laid.programs).c_str(), wide_path(laid.programs + ".away").c_str()))
            laid.programs_moved = laid.programs;
        if (m.a == 1)
            write_file(laid.programs, "a file where the Programs folder was");
        break;
    case KEY_MISSING: {
        if (m.a == 0 || m.a == 2)
            delete_key_tree(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
        if (m.a == 1 || m.a == 2)
            delete_key_tree(HKEY_CURRENT_USER, USER_SETTINGS);
        if (m.a == 3)
            delete_key_tree(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS);
        if (m.a == 4)
            delete_key_tree(HKEY_CLASSES_ROOT, FILE_TYPE);
        break;
    }
    case INSTALL_MISSING:
        remove_utf8_tree(laid.install_dir);
        break;
    default: // TEMP_FOLDER: laid with the temporary folder
        break;
    }
}

// The child's temporary folder and current directory, as TEMP_FOLDER leaves them.
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
        SetFileAttributesW(wide_path(laid.programs).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide_path(laid.programs).c_str());
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

// ---- the oracle ---------------------------------------------------------------

struct Product {
    std::set<std::string> files;      // the manifest's paths, the install folder
    std::set<std::string> start_menu; // the folder and its shortcuts
    std::vector<std::string> keys;
    std::set<std::string> logs;
};

Product product_items(const World& world, const Laid& laid) {
    Product product;
    std::string dir = lower_case(laid.install_dir);
    product.files.insert(dir);
    if (!laid.own_file.empty())
        product.files.insert(lower_case(laid.own_file));
    for (const std::string& file : manifest_files())
        product.files.insert(dir + "\\" + lower_case(file));
    for (const std::string& subdir : manifest_dirs())
        product.files.insert(dir + "\\" + lower_case(subdir));
    std::string folder = lower_case(laid.folder);
    product.start_menu.insert(folder);
    for (unsigned int id : SHORTCUT_IDS)
        product.start_menu.insert(folder + "\\" + lower_case(expected_text(id, world.japanese)) +
                                  ".lnk");
    for (const wintest::Key& key : PRODUCT_KEYS)
        for (const std::string& item : snapshot_key_items(key.root, key.path))
            product.keys.push_back(item);
    product.logs.insert(lower_case(laid.temp_dir + "\\" + LOG_NAME));
    product.logs.insert(lower_case(laid.cwd + "\\" + LOG_NAME));
    return product;
}

bool is_product_key(const Product& product, const std::string& item) {
    for (const std::string& key : product.keys)
        if (lies_within(item, key))
            return true;
    return false;
}

bool is_product_item(const Product& product, const std::string& item) {
    return product.files.count(item) != 0 || product.start_menu.count(item) != 0 ||
           is_product_key(product, item);
}

bool any_present(const Snapshot& shot, const std::set<std::string>& items) {
    for (const std::string& item : items)
        if (shot.items.count(item) != 0)
            return true;
    return false;
}

// Whether any item at or below one of the keys is in the picture.
bool keys_present(const Snapshot& shot, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        auto found = shot.items.lower_bound(key);
        if (found != shot.items.end() && lies_within(found->first, key))
            return true;
    }
    return false;
}

bool key_tree_unchanged(const std::vector<Change>& changes, const std::vector<std::string>& keys) {
    for (const Change& change : changes)
        for (const std::string& key : keys)
            if (lies_within(change.item, key))
                return false;
    return true;
}

// The keys that normal mode removes and -IS mode leaves: the product's Uninstall entry
// and the file type.
std::vector<std::string> normal_mode_keys() {
    std::vector<std::string> items;
    for (const wintest::Key& key : {wintest::Key{HKEY_LOCAL_MACHINE, PRODUCT_ENTRY},
                                    wintest::Key{HKEY_CLASSES_ROOT, FILE_EXTENSION},
                                    wintest::Key{HKEY_CLASSES_ROOT, FILE_TYPE}})
        for (const std::string& item : snapshot_key_items(key.root, key.path))
            items.push_back(item);
    return items;
}

bool is_box(const Box& box, const ExpectedBox& expected, bool japanese) {
    return box.caption == expected_text(expected.caption, japanese) &&
           box.text == expected_box_text(expected, japanese, "");
}

// The file of its own, "vxwipe-<number>.log" in the temporary folder, that a run writes its
// trace into where "vxwipe.log" is a link, no plain file or closed to it; "" if it made none.
std::string own_log_made(const std::vector<Change>& changes, const Laid& laid) {
    const std::string start = lower_case(laid.temp_dir) + "\\vxwipe-";
    const std::string end = ".log";
    for (const Change& change : changes) {
        const std::string& item = change.item;
        if (!change.before.empty() || !starts_with(item, start) ||
            item.size() <= start.size() + end.size() ||
            item.compare(item.size() - end.size(), end.size(), end) != 0)
            continue;
        std::string number = item.substr(start.size(), item.size() - start.size() - end.size());
        if (number.find_first_not_of("0123456789") == std::string::npos)
            return item;
    }
    return "";
}

bool log_has(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines)
        if (starts_with(line, start))
            return true;
    return false;
}

// A Shell Folders value made to name no folder at all: the forms but the real folder
// without terminator, behind "\\?\" or with a final backslash.
bool misnamed_programs(const World& world) {
    for (const Mutation& m : world.mutations)
        if (m.kind == SHELL_FOLDER && m.c != 7 && m.c != 8 && m.c != 9)
            return true;
    return false;
}

// Whether the installer's own uninstall command is still in its entry, in either view.
bool chained_command_left(const World& world, const Snapshot& after) {
    for (const std::string& key :
         snapshot_key_items(installshield_root(world), INSTALLSHIELD_ENTRY))
        if (after.items.count(snapshot_value_name(key, "uninstallstring.orig")) != 0)
            return true;
    return false;
}

void judge(const World& world, const Laid& laid, const RunResult& run, const Snapshot& before,
           const Snapshot& after, Verdict& verdict) {
    std::vector<std::string>& bad = verdict.violations;
    Effective options = effective(world);
    Product product = product_items(world, laid);

    // Every run ends, with 0 or 1.
    if (run.timed_out)
        bad.push_back("the run did not end within its limit");
    else if (run.exit_code != 0 && run.exit_code != 1)
        bad.push_back("exit code " + testing::PrintToString(run.exit_code));

    // It leaves its trace, behind any earlier one, or in a file of its own where the log's
    // name could not take it.
    std::vector<Change> changes = diff_snapshots(before, after);
    std::string own_log = own_log_made(changes, laid);
    std::string trace = own_log.empty() ? laid.log_path : own_log;
    std::vector<std::string> lines;
    if (!trace.empty()) {
        std::string content = read_file(trace, CP_UTF8);
        bool ended = false;
        lines = last_run(split_lines(content), &ended);
        if (!run.timed_out && !ended)
            bad.push_back("no END line in " + trace);
        if (own_log.empty() && laid.planted &&
            content.compare(0, strlen(PLANTED_TRACE), PLANTED_TRACE) != 0)
            bad.push_back("the earlier trace at the start of the log is gone");
    }

    // Started from the install folder on the NT line, the program's own file may wait in the
    // temporary folder for the next start, registered for deletion there, and nothing else.
    MovedImage moved = find_moved_image(changes, laid.temp_dir);
    if (!moved.registration.empty() && !moved.problem.empty())
        bad.push_back("the deletion at the next start: " + moved.problem);
    bool may_move = laid.started_from_install && !version_of(world).win9x;
    if (!moved.file.empty() && may_move && !moved.registration.empty() && moved.problem.empty())
        verdict.allowed.push_back("OWN_FILE_WAITS_FOR_NEXT_START");
    else
        moved = MovedImage();

    // Nothing changes but the product's items and the run's log.
    std::vector<std::string> product_changes;
    for (const Change& change : changes) {
        if (product.logs.count(change.item) != 0 || change.item == own_log ||
            change.item == moved.file || change.item == moved.registration ||
            wine_own_change(change.item))
            continue;
        if (is_product_item(product, change.item))
            product_changes.push_back(describe_change(change));
        else if (change.after.empty() && laid.link_targets.count(change.item) != 0)
            verdict.allowed.push_back("WINE_DELETES_LINK_TARGET");
        else
            bad.push_back("outside the product: " + describe_change(change));
    }

    // What the run must leave alone by its mode and the answers.
    bool fatal = run.exit_code == 1;
    // The chained uninstall left its command behind: the run ends there, which its trace
    // says where it could be written.
    bool chain_ended =
        log_has(lines, "UBIS: not installed by IS, exit") ||
        (options.is_mode && !fatal && !run.timed_out && chained_command_left(world, after));
    bool cancelled = !options.silent && !options.is_mode && !run.boxes.empty() &&
                     is_box(run.boxes[0], CONFIRM, world.japanese) && !world.picks.empty() &&
                     world.picks[0] % 2 == 1;
    if ((fatal || chain_ended || cancelled) && !product_changes.empty())
        bad.push_back(std::string(fatal         ? "a fatal error"
                                  : chain_ended ? "an unfinished chained "
                                                  "uninstall"
                                                : "a cancelled run") +
                      " changed the product: " + product_changes[0]);
    bool settings_kept = options.save || options.is_mode;
    for (size_t i = 0; i < run.boxes.size(); i++)
        if (is_box(run.boxes[i], ASK_SETTINGS, world.japanese))
            settings_kept = i < world.picks.size() && world.picks[i] % 2 == 1;
    std::vector<std::string> settings = snapshot_key_items(HKEY_CURRENT_USER, USER_SETTINGS);
    if (settings_kept && !key_tree_unchanged(changes, settings))
        bad.push_back("the per-user settings were to stay but changed");
    if (options.is_mode && !key_tree_unchanged(changes, normal_mode_keys()))
        bad.push_back("-IS mode changed a key that only normal mode removes");

    // The boxes tell the truth.
    if (options.silent || fatal || chain_ended || cancelled || run.timed_out)
        return;
    const Box* completion = nullptr;
    bool warned_dir = false, warned_shortcuts = false;
    for (const Box& box : run.boxes) {
        if (is_box(box, DONE_ALL, world.japanese) || is_box(box, DONE_REMAINS, world.japanese))
            completion = &box;
        if (box.caption == expected_text(1060, world.japanese)) {
            if (box.text == expected_box_text(WARN_SHORTCUTS, world.japanese, ""))
                warned_shortcuts = true;
            else
                warned_dir = true;
        }
    }
    bool done_all = completion != nullptr && is_box(*completion, DONE_ALL, world.japanese);
    bool files_remain = any_present(after, product.files);
    bool shortcuts_remain = any_present(after, product.start_menu);
    std::vector<std::string> mode_keys = snapshot_key_items(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS);
    if (!options.is_mode) {
        std::vector<std::string> normal = normal_mode_keys();
        mode_keys.insert(mode_keys.end(), normal.begin(), normal.end());
        if (!settings_kept)
            mode_keys.insert(mode_keys.end(), settings.begin(), settings.end());
    }
    bool keys_remain = keys_present(after, mode_keys);
    bool found_dir = log_has(lines, "  InstallDir is ");
    if (files_remain && !warned_dir) {
        // Without a trace nothing tells whether the folder was found; the completion must
        // still say that something remains.
        if (options.is_mode && (trace.empty() || !found_dir))
            verdict.allowed.push_back("IS_NO_DIR_NO_WARNING");
        else
            bad.push_back("the install folder or a manifest entry remains, without a warning");
    }
    // The Programs folders are where the Shell Folders values say: a value that names no
    // folder hides the real one, and with it the product's folder (and, for the older
    // installers, the per-user scope itself).
    if (shortcuts_remain && misnamed_programs(world)) {
        verdict.allowed.push_back("SHORTCUTS_WHERE_SHELL_FOLDERS_DO_NOT_LEAD");
        shortcuts_remain = false;
        warned_shortcuts = true;
    }
    if (shortcuts_remain && !warned_shortcuts)
        bad.push_back("the Start-menu folder or a shortcut remains, without a warning");
    if ((files_remain || shortcuts_remain) && (completion == nullptr || done_all))
        bad.push_back(
            std::string("something of the product remains, yet the completion ") +
            (completion == nullptr ? "was not shown" : "says all steps succeeded (1002)"));
    if (!options.is_mode && completion == nullptr)
        bad.push_back("normal mode ended without its completion message");
    if (done_all && keys_remain)
        verdict.allowed.push_back("KEY_FAILURE_LOGGED_ONLY");
}

Snapshot g_baseline;

} // namespace

// ---- the interface ------------------------------------------------------------

const char* mutation_name(int kind) {
    return kind >= 0 && kind < MUTATION_KINDS ? MUTATION_NAMES[kind] : "?";
}

World generate_world(unsigned long seed) {
    Random random = {seed * 0x2545F4914F6CDD1DULL + 1};
    World world;
    world.seed = seed;
    const Version& version = VERSIONS[random.below(VERSION_COUNT)];
    world.windows = version.name;
    world.generation = 1 + random.below(3);
    world.scope = version.win9x ? 0 : random.below(2);
    world.japanese = random.chance(15);
    world.chain = random.below(2);
    int count = random.below(4);
    for (int i = 0; i < count; i++)
        world.args.push_back(OPTIONS[random.below(OPTION_COUNT)]);
    for (int i = 0; i < 4; i++)
        world.picks.push_back(random.chance(75) ? 0 : 1);
    int mutations = 1 + random.below(4);
    for (int i = 0; i < mutations; i++)
        world.mutations.push_back(draw_mutation(random, world));
    // From a stream of its own, so that every seed draws the rest of its world as before.
    Random where = {seed * 0x9E3779B97F4A7C15ULL + 0xD1B54A32D192ED03ULL};
    world.from_install = where.chance(50);
    return world;
}

const char* world_run(const World& world) {
    return version_of(world).run;
}

bool world_fits_run(const World& world) {
    std::string run = run_kind();
    return run == "win64" || run == world_run(world);
}

std::string world_text(const World& world) {
    std::string text = "seed=" + std::to_string(world.seed) +
                       " gen=" + std::to_string(world.generation) +
                       " scope=" + (world.scope == 1 ? "user" : "system") +
                       " lang=" + (world.japanese ? "ja" : "en") + " windows=" + world.windows +
                       " chain=" + std::to_string(world.chain) +
                       " from=" + (world.from_install ? "install" : "elsewhere") + " args=";
    for (const std::string& arg : world.args)
        text += "[" + arg + "]";
    text += " picks=";
    for (size_t i = 0; i < world.picks.size(); i++)
        text += (i == 0 ? "" : ",") + std::to_string(world.picks[i]);
    text += " |";
    for (size_t i = 0; i < world.mutations.size(); i++) {
        const Mutation& m = world.mutations[i];
        text += std::string(i == 0 ? " " : "; ") + MUTATION_NAMES[m.kind] + " " +
                std::to_string(m.a) + " " + std::to_string(m.b) + " " + std::to_string(m.c);
    }
    return text;
}

bool parse_world(const std::string& text, World* world) {
    World parsed;
    char scope[16], lang[8], windows[16];
    int chain = 0;
    if (sscanf(text.c_str(), "seed=%lu gen=%d scope=%15s lang=%7s windows=%15s chain=%d",
               &parsed.seed, &parsed.generation, scope, lang, windows, &chain) != 6)
        return false;
    parsed.scope = strcmp(scope, "user") == 0;
    parsed.japanese = strcmp(lang, "ja") == 0;
    parsed.windows = windows;
    parsed.chain = chain;
    // Rows written before the worlds drew it ran from elsewhere.
    parsed.from_install = text.find(" from=install ") != std::string::npos;
    size_t args = text.find(" args=");
    size_t picks = text.find(" picks=");
    size_t bar = text.find(" |");
    if (args == std::string::npos || picks == std::string::npos || bar == std::string::npos)
        return false;
    for (size_t at = text.find('[', args); at != std::string::npos && at < picks;
         at = text.find('[', at + 1)) {
        size_t close = text.find(']', at);
        parsed.args.push_back(text.substr(at + 1, close - at - 1));
        at = close;
    }
    std::string pick_list = text.substr(picks + 7, bar - picks - 7);
    for (size_t at = 0; at < pick_list.size();) {
        parsed.picks.push_back((unsigned)atoi(pick_list.c_str() + at));
        size_t comma = pick_list.find(',', at);
        at = comma == std::string::npos ? pick_list.size() : comma + 1;
    }
    std::string rest = text.substr(bar + 2);
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find(';', at);
        std::string one = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? rest.size() : end + 1;
        char name[32];
        Mutation m = {0, 0, 0, 0};
        if (sscanf(one.c_str(), " %31s %d %d %d", name, &m.a, &m.b, &m.c) != 4)
            continue;
        m.kind = -1;
        for (int kind = 0; kind < MUTATION_KINDS; kind++)
            if (strcmp(name, MUTATION_NAMES[kind]) == 0)
                m.kind = kind;
        if (m.kind < 0)
            return false;
        parsed.mutations.push_back(m);
    }
    *world = parsed;
    return true;
}

std::string describe_mutation(const Mutation& m) {
    std::string what = MUTATION_NAMES[m.kind];
    switch (m.kind) {
    case DIR_VALUE:
        return what + ": " + DIR_VALUE_NAMES[m.a] + " as " + VALUE_TYPE_NAMES[m.b] + ", " +
               DIR_FORM_NAMES[m.c];
    case CHAINED_VALUE:
        return what + ": UninstallString.ORIG as " + VALUE_TYPE_NAMES[m.b] + ", " +
               CHAINED_FORM_NAMES[m.c];
    case SHELL_FOLDER:
        return what + ": " + SHELL_VALUE_NAMES[m.a] + " as " + VALUE_TYPE_NAMES[m.b] + ", " +
               SHELL_FORM_NAMES[m.c];
    case LINK_KEY:
        return what + ": " + LINK_PLACES[m.a].path + (LINK_PLACES[m.a].replaces ? " is" : "") +
               " a link to " + LINK_TARGET_NAMES[m.b];
    case DEEP_TREE:
        return what + ": " + std::to_string(DEPTHS[m.b]) + " levels below " + TREE_PLACES[m.a].path;
    case WIDE_TREE:
        return what + ": " + std::to_string(WIDTHS[m.b]) + " subkeys below " +
               TREE_PLACES[m.a].path;
    case FILE_MISSING:
    case FILE_AS_LINK:
        return what + ": " + manifest_files()[m.a];
    case FILE_ATTRIBUTES:
        return what + ": " + manifest_files()[m.a] + ((m.b & 1) ? " read-only" : "") +
               ((m.b & 2) ? " hidden" : "") + ((m.b & 4) ? " system" : "");
    case FILE_AS_DIR:
        return what + ": " + manifest_files()[m.a] + (m.b ? ", with a file inside" : ", empty");
    case DIR_AS_FILE:
    case DIR_AS_LINK:
        return what + ": " + manifest_dirs()[m.a];
    case FILE_HELD_OPEN:
        return what + ": " + manifest_files()[m.a] + ", sharing " +
               (m.b == 0   ? "nothing"
                : m.b == 1 ? "reading"
                           : "everything");
    case USER_FILE:
        return what + ": " + USER_FILE_NAMES[m.a] +
               (m.a == 1 ? std::string(" ") + manifest_dirs()[m.b] : std::string());
    case PROGRAMS_FOLDER:
        return what + ": " + (m.a == 0 ? "missing" : "a file in its place");
    case TEMP_FOLDER:
        return what + ": " + TEMP_NAMES[m.a];
    case KEY_MISSING:
        return what + ": " + KEY_MISSING_NAMES[m.a];
    default:
        return what;
    }
}

const char* const PHASE_NAMES[PHASES] = {"sample", "lay",     "pictures", "run",
                                         "judge",  "cleanup", "check"};

const char* phase_name(int phase) {
    return phase >= 0 && phase < PHASES ? PHASE_NAMES[phase] : "?";
}

std::string describe_times(const Verdict& verdict) {
    std::string text;
    for (int phase = 0; phase < PHASES; phase++) {
        if (phase == PHASE_CHECK && verdict.seconds[phase] == 0)
            continue;
        char part[64];
        sprintf(part, "%s%s %.2f s", text.empty() ? "" : ", ", PHASE_NAMES[phase],
                verdict.seconds[phase]);
        text += part;
        if (phase == PHASE_PICTURES)
            text += " (" + std::to_string(verdict.items) + " items)";
    }
    return text;
}

Verdict run_world(const World& world) {
    Verdict verdict;
    PhaseClock clock(&verdict);
    Laid laid = lay_world(world, clock);
    for (const std::string& problem : laid.problems)
        verdict.violations.push_back("could not lay " + problem);

    RunOptions options;
    options.args = world.args;
    options.windows_version = world.windows;
    options.japanese = world.japanese;
    options.any_boxes = true;
    options.picks = world.picks;
    lay_temp(world, laid, &options.temp_dir);
    options.current_dir = laid.cwd;
    // A mutation may have taken the install folder, and the copy in it, away.
    laid.started_from_install = !laid.own_file.empty() && exists(laid.own_file);
    if (laid.started_from_install)
        options.program_path = from_utf8(laid.own_file, laid.codepage);
    if (world.chain == 0)
        options.env.push_back({"IS_STANDIN_REMOVE",
                               installshield_root(world) == HKEY_CURRENT_USER ? "HKCU" : "HKLM"});
    set_windows_version("vxwipe.exe", world.windows);
    clock.mark(PHASE_LAY);

    Snapshot before = take_snapshot();
    clock.mark(PHASE_PICTURES);
    RunResult run = run_program(options);
    for (HANDLE file : laid.held)
        CloseHandle(file);
    laid.held.clear();
    clock.mark(PHASE_RUN);
    Snapshot after = take_snapshot();
    verdict.items = (int)after.items.size();
    clock.mark(PHASE_PICTURES);

    judge(world, laid, run, before, after, verdict);
    verdict.summary =
        "exit code " + testing::PrintToString(run.exit_code) + ", " + describe_boxes(run.boxes);
    clock.mark(PHASE_JUDGE);
    clean_up(laid);
    clock.mark(PHASE_CLEANUP);
    return verdict;
}

void prepare_machine() {
    CreateDirectoryA("C:\\wt", NULL);
    char path[MAX_PATH];
    SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, TRUE);
    SHGetSpecialFolderPathA(NULL, path, CSIDL_COMMON_PROGRAMS, TRUE);
    programs_folder(0);
    programs_folder(1);
    remove_product_keys();
    for (const char* program : {"vxwipe.exe", "vxsample.exe"}) {
        set_windows_version(program, "winxp");
        set_windows_version(program, "");
    }
    // Worlds put keys below it; Wine's fresh prefix has it only under HKLM.
    add_key(HKEY_CURRENT_USER, std::string(UNINSTALL_LIST).substr(0, strlen(UNINSTALL_LIST) - 1));
    g_baseline = take_snapshot();
}

std::vector<std::string> leftovers_of_world() {
    std::vector<std::string> left;
    Snapshot now = take_snapshot();
    for (const Change& change : diff_snapshots(g_baseline, now))
        if (!wine_own_change(change.item))
            left.push_back(describe_change(change));
    g_baseline = now;
    return left;
}

} // namespace wintest
