#include "wintest.h"

#include "product.h"

#include "app/state.h"
#include "log/log.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <set>
#include <string.h>

namespace wintest {

namespace {

std::string key_name(HKEY root, const std::string& path) {
    return std::string(root_name(root)) + "\\" + path;
}

std::string error_text(DWORD code) {
    char text[32];
    sprintf(text, "error %lu", (unsigned long)code);
    return text;
}

std::string parent_of(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool make_dirs(const std::string& path) {
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string parent = parent_of(path);
    // "C:" is the root; stop there.
    if (!parent.empty() && parent.size() > 2)
        make_dirs(parent);
    return CreateDirectoryA(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string get_env(const char* name, bool* present) {
    char value[32768];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    *present = length > 0 && length < sizeof value;
    return *present ? std::string(value, length) : std::string();
}

} // namespace

// ---- text conversion ------------------------------------------------------

namespace {

std::wstring decode(const std::string& text, UINT codepage) {
    int length = MultiByteToWideChar(codepage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length, L'\0');
    if (length > 0)
        MultiByteToWideChar(codepage, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string encode(const std::wstring& wide, UINT codepage) {
    int length =
        WideCharToMultiByte(codepage, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, NULL);
    std::string text(length, '\0');
    if (length > 0)
        WideCharToMultiByte(codepage, 0, wide.data(), (int)wide.size(), &text[0], length, NULL,
                            NULL);
    return text;
}

} // namespace

std::string to_utf8(const std::string& text, UINT codepage) {
    return encode(decode(text, codepage), CP_UTF8);
}

std::string from_utf8(const std::string& utf8, UINT codepage) {
    return encode(decode(utf8, CP_UTF8), codepage);
}

std::string wide_to_utf8(const std::wstring& wide) {
    return encode(wide, CP_UTF8);
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring utf8_to_wide(const std::string& utf8) {
    return decode(utf8, CP_UTF8);
}

// ---- the run ----------------------------------------------------------------

const char* run_kind() {
    if (sizeof(void*) == 8)
        return "win64";
    // Windows 95 and NT 4.0 have no IsWow64Process: look it up.
    typedef BOOL(WINAPI * IsWow64Function)(HANDLE, BOOL*);
    IsWow64Function is_wow64 = reinterpret_cast<IsWow64Function>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (is_wow64 != NULL && is_wow64(GetCurrentProcess(), &wow64) && wow64)
        return "wow64";
    return "win32";
}

// ---- time limits ------------------------------------------------------------

DWORD time_limit_ms(DWORD base_ms) {
    bool set = false;
    std::string scale = get_env("VXWIPE_TEST_TIME_SCALE", &set);
    unsigned long factor = set ? strtoul(scale.c_str(), NULL, 10) : 1;
    return base_ms * (factor > 0 ? factor : 1);
}

// ---- registry -------------------------------------------------------------

void add_key_at(Where where, HKEY root, const std::string& path) {
    HKEY key;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create key " << key_name(root, path) << ": " << error_text(status);
        return;
    }
    RegCloseKey(key);
}

static void set_value_in_view(Where where, HKEY root, const std::string& path,
                              const std::string& name, DWORD type, const void* data, DWORD size,
                              REGSAM view) {
    HKEY key;
    LONG status =
        RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create key " << key_name(root, path) << ": " << error_text(status);
        return;
    }
    status = RegSetValueExA(key, name.empty() ? NULL : name.c_str(), 0, type,
                            static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        ADD_FAILURE_AT(where.file, where.line) << "cannot set value " << key_name(root, path)
                                               << " [" << name << "]: " << error_text(status);
}

void set_value_at(Where where, HKEY root, const std::string& path, const std::string& name,
                  DWORD type, const void* data, DWORD size) {
    set_value_in_view(where, root, path, name, type, data, size, 0);
}

void set_string_at(Where where, HKEY root, const std::string& path, const std::string& name,
                   const std::string& value, REGSAM view) {
    set_value_in_view(where, root, path, name, REG_SZ, value.c_str(), (DWORD)value.size() + 1,
                      view);
}

void set_dword_at(Where where, HKEY root, const std::string& path, const std::string& name,
                  DWORD value) {
    set_value_at(where, root, path, name, REG_DWORD, &value, sizeof value);
}

void delete_key_tree(HKEY root, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char name[1024];
    for (DWORD index = 0;; index++) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        delete_key_tree(root, path + "\\" + child, view);
    if (view == 0) {
        RegDeleteKeyA(root, path.c_str());
        return;
    }
    // RegDeleteKeyA works in the caller's own view only: delete through the parent.
    std::string parent = parent_of(path);
    if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(key, path.substr(parent.size() + 1).c_str());
        RegCloseKey(key);
    }
}

void delete_value(HKEY root, const std::string& path, const std::string& name, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name.empty() ? NULL : name.c_str());
    RegCloseKey(key);
}

static bool key_exists(HKEY root, const std::string& path, REGSAM view = 0) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

static bool value_exists(HKEY root, const std::string& path, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExA(key, name.empty() ? NULL : name.c_str(), NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

static const char* view_name(REGSAM view) {
    return view == KEY_WOW64_64KEY ? " (64-bit view)" : "";
}

// The failure texts of the verify verbs: what should be, then what is.
const char SHOULD_BE_THERE[] = " should be there, but is missing: ";
const char SHOULD_BE_GONE[] = " should be gone, but is there: ";

void verify_key_present_at(Where where, HKEY root, const std::string& path, REGSAM view) {
    if (!key_exists(root, path, view))
        ADD_FAILURE_AT(where.file, where.line)
            << "key" << SHOULD_BE_THERE << key_name(root, path) << view_name(view);
}

void verify_key_missing_at(Where where, HKEY root, const std::string& path, REGSAM view) {
    if (key_exists(root, path, view))
        ADD_FAILURE_AT(where.file, where.line)
            << "key" << SHOULD_BE_GONE << key_name(root, path) << view_name(view);
}

void verify_value_present_at(Where where, HKEY root, const std::string& path,
                             const std::string& name) {
    if (!value_exists(root, path, name))
        ADD_FAILURE_AT(where.file, where.line)
            << "value" << SHOULD_BE_THERE << key_name(root, path) << " [" << name << "]";
}

void verify_value_missing_at(Where where, HKEY root, const std::string& path,
                             const std::string& name) {
    if (value_exists(root, path, name))
        ADD_FAILURE_AT(where.file, where.line)
            << "value" << SHOULD_BE_GONE << key_name(root, path) << " [" << name << "]";
}

std::string read_string(HKEY root, const std::string& path, const std::string& name, bool* found,
                        REGSAM view) {
    bool dummy;
    bool& ok = found ? *found : dummy;
    ok = false;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return std::string();
    char data[4096];
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name.empty() ? NULL : name.c_str(), NULL, &type,
                                   reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    data[size] = '\0';
    ok = true;
    return data;
}

std::string registry_path(HKEY root, const std::string& path) {
    if (root == HKEY_LOCAL_MACHINE)
        return "\\Registry\\Machine\\" + path;
    if (root == HKEY_CLASSES_ROOT)
        return "\\Registry\\Machine\\Software\\Classes\\" + path;
    HANDLE token = NULL;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    char* sid = NULL;
    ConvertSidToStringSidA(((TOKEN_USER*)buffer)->User.Sid, &sid);
    std::string full = std::string("\\Registry\\User\\") + (sid != NULL ? sid : "") + "\\" + path;
    LocalFree(sid);
    return full;
}

void add_link_key_at(Where where, HKEY root, const std::string& path, const std::string& target) {
    HKEY link = NULL;
    LONG status =
        RegCreateKeyExA(root, path.c_str(), 0, NULL, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS, NULL, &link, NULL);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create the link key " << key_name(root, path) << ": " << error_text(status);
        return;
    }
    std::string full = registry_path(root, target);
    std::wstring wide(full.begin(), full.end());
    status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)wide.data(),
                            (DWORD)(wide.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    if (status != ERROR_SUCCESS)
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot point the link key " << key_name(root, path) << " at " << full << ": "
            << error_text(status);
}

bool is_link_key(HKEY root, const std::string& path) {
    HKEY link = NULL;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &link) != 0)
        return false;
    DWORD type = REG_NONE;
    LONG status = RegQueryValueExA(link, "SymbolicLinkValue", NULL, &type, NULL, NULL);
    RegCloseKey(link);
    return status == ERROR_SUCCESS && type == REG_LINK;
}

// A link key goes with its handle's deletion, never through RegDeleteKey, which follows it.
void delete_link_key(HKEY root, const std::string& path) {
    typedef LONG(WINAPI * NtDeleteKeyFunction)(HANDLE);
    NtDeleteKeyFunction ntDeleteKey =
        (NtDeleteKeyFunction)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey");
    HKEY link = NULL;
    if (!is_link_key(root, path))
        return;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &link) == 0) {
        ntDeleteKey(link);
        RegCloseKey(link);
    }
}

void set_windows_version(const std::string& program, const std::string& version) {
    std::string path = "Software\\Wine\\AppDefaults\\" + program;
    if (version.empty())
        delete_value(HKEY_CURRENT_USER, path, "Version");
    else
        set_string_at(Where{__FILE__, __LINE__}, HKEY_CURRENT_USER, path, "Version", version);
}

std::string programs_folder(int scope) {
    HKEY root = scope == SYSTEM ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const char* name = scope == SYSTEM ? "Common Programs" : "Programs";
    bool found = false;
    std::string folder = read_string(root, SHELL_FOLDERS, name, &found);
    if (found && !folder.empty())
        return folder;
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(NULL, path,
                                 scope == SYSTEM ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, TRUE))
        return std::string();
    set_string_at(Where{__FILE__, __LINE__}, root, SHELL_FOLDERS, name, path);
    return path;
}

// ---- files ----------------------------------------------------------------

static const char TEMP_ROOT[] = "C:\\wt";
static const char JAPANESE_LOCALE[] = "ja_JP.UTF-8";
static const UINT JAPANESE_CODEPAGE = 932;

namespace {

std::wstring widen(const std::string& path, UINT codepage) {
    return decode(path, codepage);
}

void remove_tree_wide(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                remove_tree_wide(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

} // namespace

std::string make_temp_dir(const std::string& stem, UINT codepage) {
    static int counter = 0;
    CreateDirectoryA(TEMP_ROOT, NULL);
    char name[64];
    sprintf(name, "-%d-%lu", ++counter, (unsigned long)GetCurrentProcessId());
    std::wstring path = utf8_to_wide(std::string(TEMP_ROOT) + "\\" + stem + name);
    remove_tree_wide(path);
    if (!CreateDirectoryW(path.c_str(), NULL))
        ADD_FAILURE() << "cannot create the temporary directory " << wide_to_utf8(path);
    return encode(path, codepage);
}

void make_file_at(Where where, const std::string& path, const std::string& content) {
    make_dirs(parent_of(path));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create file " << path << ": " << error_text(GetLastError());
        return;
    }
    DWORD written = 0;
    if (!content.empty())
        WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    if (written != content.size())
        ADD_FAILURE_AT(where.file, where.line) << "cannot write file " << path;
}

void make_dir_at(Where where, const std::string& path) {
    if (!make_dirs(path))
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create directory " << path << ": " << error_text(GetLastError());
}

static DWORD attributes_of(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

static void verify_present(Where where, const std::string& path, bool directory) {
    DWORD attributes = attributes_of(path);
    bool found = attributes != INVALID_FILE_ATTRIBUTES;
    if (!found || ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory)
        ADD_FAILURE_AT(where.file, where.line)
            << (directory ? "directory" : "file") << SHOULD_BE_THERE << path
            << (!found      ? ""
                : directory ? " (a file stands there)"
                            : " (a directory stands there)");
}

static void verify_missing(Where where, const std::string& path, bool directory) {
    if (attributes_of(path) != INVALID_FILE_ATTRIBUTES)
        ADD_FAILURE_AT(where.file, where.line)
            << (directory ? "directory" : "file") << SHOULD_BE_GONE << path;
}

void verify_file_present_at(Where where, const std::string& path) {
    verify_present(where, path, false);
}

void verify_file_missing_at(Where where, const std::string& path) {
    verify_missing(where, path, false);
}

void verify_dir_present_at(Where where, const std::string& path) {
    verify_present(where, path, true);
}

void verify_dir_missing_at(Where where, const std::string& path) {
    verify_missing(where, path, true);
}

std::string read_file(const std::string& path, UINT codepage) {
    HANDLE file = CreateFileW(widen(path, codepage).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

void remove_tree(const std::string& path, UINT codepage) {
    if (path.size() < 3)
        return; // never a drive root
    remove_tree_wide(widen(path, codepage));
}

std::vector<std::string> split_lines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// ---- the log, in this process ----------------------------------------------

namespace {
struct SavedVariable {
    bool present;
    std::string value;
};
SavedVariable saved_tmp, saved_temp;

void restore(const char* name, const SavedVariable& saved) {
    SetEnvironmentVariableA(name, saved.present ? saved.value.c_str() : NULL);
}
} // namespace

LogCapture::LogCapture() {
    saved_tmp.value = get_env("TMP", &saved_tmp.present);
    saved_temp.value = get_env("TEMP", &saved_temp.present);
    dir_ = make_temp_dir("log");
    SetEnvironmentVariableA("TMP", dir_.c_str());
    SetEnvironmentVariableA("TEMP", dir_.c_str());
    path_ = dir_ + "\\" + LOG_FILE_NAME;
    if (!InitLog(LOG_FILE_NAME))
        ADD_FAILURE() << "InitLog failed in " << dir_;
}

LogCapture::~LogCapture() {
    if (g_state.logFile != NULL)
        EndLog();
    restore("TMP", saved_tmp);
    restore("TEMP", saved_temp);
    remove_tree(dir_);
}

std::vector<std::string> LogCapture::lines() {
    if (g_state.logFile != NULL)
        EndLog();
    return last_run(split_lines(read_file(path_)));
}

std::vector<std::string> last_run(const std::vector<std::string>& log, bool* ended) {
    std::vector<std::string> inner;
    bool found_end = false;
    for (const std::string& line : log) {
        if (starts_with(line, RUN_START)) {
            inner.clear();
            found_end = false;
        } else if (starts_with(line, RUN_END)) {
            found_end = true;
        } else if (!found_end) {
            inner.push_back(line);
        }
    }
    if (ended != nullptr)
        *ended = found_end;
    return inner;
}

std::vector<std::string> ended_run_at(Where where, const std::vector<std::string>& log) {
    bool ended = false;
    std::vector<std::string> lines = last_run(log, &ended);
    if (!ended)
        ADD_FAILURE_AT(where.file, where.line)
            << "the log has no END line" << (log.empty() ? " (it is empty)" : "");
    return lines;
}

// ---- child processes and their message boxes -------------------------------

const char* icon_name(Icon icon) {
    switch (icon) {
    case Icon::None:
        return "none";
    case Icon::Exclamation:
        return "exclamation";
    case Icon::Stop:
        return "stop";
    case Icon::Question:
        return "question";
    case Icon::Information:
        return "information";
    case Icon::Unknown:
        break;
    }
    return "unknown";
}

std::string binary_path(const std::string& name) {
    bool set = false;
    std::string under_test = get_env("VXWIPE_UNDER_TEST", &set);
    if (set && name == "vxwipe.exe")
        return under_test;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string folder = parent_of(std::string(path, length));
    return folder + "\\" + name;
}

std::vector<std::string> banners(const std::vector<std::string>& log) {
    std::vector<std::string> result;
    for (const std::string& line : log)
        if (line.rfind("===", 0) == 0)
            result.push_back(line);
    return result;
}

namespace {

// The C runtime's rules for splitting a command line, inverted. The runtime splits the
// characters of the child's code page: the second byte of a code page 932 character
// ("\x95\x5C") is no backslash.
std::string quote_argument(const std::string& argument, UINT codepage = CP_ACP) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (size_t i = 0; i < argument.size(); i++) {
        char c = argument[i];
        if (IsDBCSLeadByteEx(codepage, (BYTE)c) && i + 1 < argument.size()) {
            quoted.append(backslashes, '\\');
            backslashes = 0;
            quoted += c;
            quoted += argument[++i];
            continue;
        }
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

bool same_name(const std::string& entry, const std::string& name) {
    return entry.size() > name.size() && entry[name.size()] == '=' &&
           _strnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
}

// The block of the child: this process's environment with the replaced names dropped
// and the new entries added.
std::string environment_block(const std::vector<std::pair<std::string, std::string>>& set) {
    std::vector<std::string> entries;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry; entry += strlen(entry) + 1) {
        bool replaced = false;
        for (const auto& variable : set)
            replaced = replaced || same_name(entry, variable.first);
        if (!replaced)
            entries.push_back(entry);
    }
    FreeEnvironmentStringsA(block);
    for (const auto& variable : set)
        entries.push_back(variable.first + "=" + variable.second);
    std::string result;
    for (const std::string& entry : entries)
        result += entry + '\0';
    return result + '\0';
}

std::string window_text(HWND window) {
    wchar_t text[4096];
    int length = GetWindowTextW(window, text, 4096);
    return wide_to_utf8(std::wstring(text, length > 0 ? length : 0));
}

std::string class_of(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

struct WindowSearch {
    DWORD pid;
    const char* class_name;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && class_of(window) == search->class_name)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> top_windows(DWORD pid, const char* class_name) {
    WindowSearch search{pid, class_name, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK collect_child(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, collect_child, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool is_icon_static(HWND control) {
    return class_of(control) == "Static" &&
           (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// ---- icon recognition by pixels ----

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> data; // 0x00RRGGBB, top-down
};

HBITMAP make_dib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, NULL, 0);
}

// Paints into a 32-bit bitmap of the screen's kind and returns its colours.
template <typename Paint> Pixels paint_pixels(int width, int height, Paint paint) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    if (width <= 0 || height <= 0)
        return pixels;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = NULL;
    HBITMAP bitmap = make_dib(screen, width, height, &bits);
    HGDIOBJ old = SelectObject(memory, bitmap);
    DWORD* target = static_cast<DWORD*>(bits);
    paint(screen, memory, target);
    GdiFlush();
    pixels.data.assign(target, target + width * height);
    for (DWORD& pixel : pixels.data)
        pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

Pixels capture_screen(const RECT& rect) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    return paint_pixels(width, height, [&](HDC screen, HDC memory, DWORD*) {
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    });
}

Pixels render_icon(LPCSTR id, int width, int height, DWORD background) {
    return paint_pixels(width, height, [&](HDC, HDC memory, DWORD* target) {
        std::fill(target, target + width * height, background);
        if (id != NULL)
            DrawIconEx(memory, 0, 0, LoadIconA(NULL, id), 0, 0, 0, NULL, DI_NORMAL);
    });
}

// Mean difference per colour channel, 0 for identical images.
double distance(const Pixels& a, const Pixels& b) {
    if (a.data.size() != b.data.size() || a.data.empty())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.data.size(); i++)
        for (int shift = 0; shift < 24; shift += 8)
            sum += abs((int)((a.data[i] >> shift) & 0xFF) - (int)((b.data[i] >> shift) & 0xFF));
    return sum / (a.data.size() * 3.0);
}

// Above this mean difference a capture matches none of the system icons.
const double ICON_MATCH_LIMIT = 12.0;

Icon classify(const Pixels& shot) {
    struct Candidate {
        Icon icon;
        LPCSTR id;
    };
    static const Candidate candidates[] = {
        {Icon::None, NULL},
        {Icon::Stop, (LPCSTR)IDI_HAND},
        {Icon::Exclamation, (LPCSTR)IDI_EXCLAMATION},
        {Icon::Question, (LPCSTR)IDI_QUESTION},
        {Icon::Information, (LPCSTR)IDI_ASTERISK},
    };
    // The corner of an icon is transparent: it shows the box's background.
    DWORD background = shot.data.empty() ? 0 : shot.data[0];
    Icon best = Icon::Unknown;
    double best_distance = ICON_MATCH_LIMIT;
    for (const Candidate& candidate : candidates) {
        double d = distance(shot, render_icon(candidate.id, shot.width, shot.height, background));
        if (d < best_distance) {
            best_distance = d;
            best = candidate.icon;
        }
    }
    return best;
}

const DWORD POLL_MS = 50;

bool on_screen(const RECT& rect) {
    return rect.left >= 0 && rect.top >= 0 && rect.right <= GetSystemMetrics(SM_CXSCREEN) &&
           rect.bottom <= GetSystemMetrics(SM_CYSCREEN);
}

// Once the box shows an icon, the first capture of its icon control that matches one of
// the system icons; a box may not have painted yet when it is read.
Icon read_icon(HWND box) {
    HWND icon_control = NULL;
    for (HWND child : children_of(box))
        if (is_icon_static(child))
            icon_control = child;
    // Wine keeps the icon control of a box without icon, empty and under the text.
    if (icon_control == NULL || !IsWindowVisible(icon_control) ||
        SendMessageA(icon_control, STM_GETICON, 0, 0) == 0)
        return Icon::None;
    DWORD limit = time_limit_ms(ICON_PROBE_MS);
    DWORD start = GetTickCount();
    for (;;) {
        RECT rect;
        GetWindowRect(icon_control, &rect);
        // A box wider than the screen may hold its icon where no pixel shows it.
        if (!on_screen(rect))
            return Icon::Unknown;
        Icon icon = classify(capture_screen(rect));
        if ((icon != Icon::None && icon != Icon::Unknown) || GetTickCount() - start > limit)
            return icon;
        Sleep(POLL_MS);
    }
}

std::string strip_ampersand(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '&' && i + 1 < text.size())
            i++;
        result += text[i];
    }
    return result;
}

struct BoxWindow {
    Box box;
    std::vector<int> button_ids; // parallel to box.buttons
};

bool same_controls(const BoxWindow& a, const BoxWindow& b) {
    return a.box.caption == b.box.caption && a.box.text == b.box.text &&
           a.box.buttons == b.box.buttons && a.button_ids == b.button_ids;
}

// Caption, text and buttons as they are now; true when the text control is there and
// every visible button has its label.
bool read_controls(HWND window, BoxWindow& result) {
    Box& box = result.box;
    box.caption = window_text(window);
    box.icon = Icon::None;
    box.wipr_window_hidden = false;
    std::vector<std::pair<int, HWND>> buttons; // by x position
    std::string fallback_text;
    bool text_found = false;
    for (HWND child : children_of(window)) {
        std::string name = class_of(child);
        int id = GetDlgCtrlID(child);
        if (name == "Button" && IsWindowVisible(child)) {
            RECT rect;
            GetWindowRect(child, &rect);
            buttons.push_back({rect.left, child});
        } else if (name == "Static" && !is_icon_static(child)) {
            // Windows and Wine 8 number the text 0xFFFF; older Wine said 100.
            if (id == 0xFFFF || id == 100) {
                box.text = window_text(child);
                text_found = true;
            } else if (fallback_text.empty()) {
                fallback_text = window_text(child);
            }
        }
    }
    if (!text_found)
        box.text = fallback_text;
    std::sort(buttons.begin(), buttons.end(),
              [](const std::pair<int, HWND>& a, const std::pair<int, HWND>& b) {
                  return a.first < b.first;
              });
    bool labelled = !buttons.empty();
    for (const auto& button : buttons) {
        box.buttons.push_back(strip_ampersand(window_text(button.second)));
        result.button_ids.push_back(GetDlgCtrlID(button.second));
        labelled = labelled && !box.buttons.back().empty();
    }
    return text_found && labelled;
}

// Reads a box once it is complete: its text and buttons present, the same in two reads
// in a row. False, with what was there, if it was not within the box limit.
bool read_complete_box(HWND window, BoxWindow& result) {
    DWORD limit = time_limit_ms(BOX_COMPLETE_MS);
    DWORD start = GetTickCount();
    BoxWindow previous;
    bool previous_complete = false;
    for (;;) {
        BoxWindow now;
        bool complete = read_controls(window, now);
        if (complete && previous_complete && same_controls(now, previous)) {
            result = now;
            return true;
        }
        if (!IsWindow(window) || GetTickCount() - start > limit) {
            result = now;
            return false;
        }
        previous = now;
        previous_complete = complete;
        Sleep(POLL_MS);
    }
}

// The label of the box's button with that id, for messages.
std::string label_of(const BoxWindow& box, int id) {
    for (size_t i = 0; i < box.button_ids.size(); i++)
        if (box.button_ids[i] == id)
            return box.box.buttons[i];
    return "id " + std::to_string(id);
}

int closing_answer(const BoxWindow& box) {
    static const int preferred[] = {IDCANCEL, IDNO, IDOK};
    for (int id : preferred)
        if (std::find(box.button_ids.begin(), box.button_ids.end(), id) != box.button_ids.end())
            return id;
    return box.button_ids.empty() ? IDOK : box.button_ids[0];
}

HWND find_new_box(DWORD pid, const std::set<HWND>& handled) {
    for (HWND window : top_windows(pid, "#32770"))
        if (IsWindowVisible(window) && handled.count(window) == 0)
            return window;
    return NULL;
}

struct Child {
    HANDLE process = NULL;
    HANDLE thread = NULL; // suspended
    DWORD pid = 0;
};

bool start_here(Where where, const std::string& program, const std::string& command_line,
                std::string& environment, const std::string& current_dir,
                const std::string& output_path, Child& child) {
    PROCESS_INFORMATION process = {};
    if (!start_suspended(program, command_line, &environment[0], current_dir, output_path,
                         &process)) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start " << program << ": " << error_text(GetLastError());
        return false;
    }
    child.process = process.hProcess;
    child.thread = process.hThread;
    child.pid = process.dwProcessId;
    return true;
}

// A word for the Unix shell: in single quotes, each quote of its own closed and escaped.
std::string shell_word(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

bool start_suspended(const std::string& program, const std::string& command_line, char* environment,
                     const std::string& current_dir, const std::string& output_path,
                     PROCESS_INFORMATION* process) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE output =
        CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE)
        return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::vector<char> writable(command_line.begin(), command_line.end());
    writable.push_back('\0');
    BOOL started = CreateProcessA(
        program.c_str(), writable.data(), NULL, NULL, TRUE, CREATE_SUSPENDED, environment,
        current_dir.empty() ? NULL : current_dir.c_str(), &startup, process);
    DWORD error = GetLastError();
    CloseHandle(output);
    SetLastError(error);
    return started != FALSE;
}

std::string unix_path(const std::string& path, UINT codepage) {
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName unix_file_name = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_file_name == NULL)
        return std::string();
    char* name = unix_file_name(widen(path, codepage).c_str());
    if (name == NULL)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool run_unix_at(Where where, const std::string& command, const std::string& what) {
    std::string marker_dir = make_temp_dir("unix");
    std::string marker = marker_dir + "\\done";
    std::string script = command + "; touch " + shell_word(unix_path(marker));
    std::string line = "sh -c " + quote_argument(script);
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // A Unix program: Wine runs it with this process's environment and gives no handle.
    if (!CreateProcessA("Z:\\bin\\sh", writable.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process)) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start the Unix shell for " << what << ": " << error_text(GetLastError());
        remove_tree(marker_dir);
        return false;
    }
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    DWORD limit = time_limit_ms(UNIX_COMMAND_MS);
    DWORD start = GetTickCount();
    bool done = false;
    while (!(done = attributes_of(marker) != INVALID_FILE_ATTRIBUTES) &&
           GetTickCount() - start <= limit)
        Sleep(POLL_MS);
    // The folder stays for a command that overstayed, so that its marker has a place.
    if (done)
        remove_tree(marker_dir);
    else
        ADD_FAILURE_AT(where.file, where.line) << "waited " << limit << " ms for " << what
                                               << " in vain; the Unix command: " << command;
    return done;
}

namespace {

// Wine gives a process the code page and UI language of the Unix locale of the Wine
// process that starts it; LANG in the Windows environment block has no effect. So a
// Japanese child is started by wintest_spawn.exe, itself started as the Unix command
// "env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine wintest_spawn.exe ...", which hands
// the suspended child's handles back to this process.
bool start_japanese(Where where, const std::string& program, const std::string& command_line,
                    const std::string& environment, const std::string& current_dir,
                    const std::string& output_path, const std::string& io_dir, Child& child) {
    std::string request_path = io_dir + "\\request";
    std::string result_path = io_dir + "\\result";
    char pid[16];
    sprintf(pid, "%lu", (unsigned long)GetCurrentProcessId());
    std::string request = std::string(pid) + '\0' + program + '\0' + command_line + '\0' +
                          current_dir + '\0' + output_path + '\0' + environment;
    make_file_at(where, request_path, request);

    // Wine does not hand its own variables on to a Unix program: the run's DLL overrides
    // (no menu builder writing into the home folder) go on the command line.
    bool present = false;
    std::string overrides = get_env("WINEDLLOVERRIDES", &present);
    std::string command =
        "env LANG=" + std::string(JAPANESE_LOCALE) + " LC_ALL=" + JAPANESE_LOCALE + " LANGUAGE= " +
        (overrides.empty() ? std::string() : "WINEDLLOVERRIDES=" + shell_word(overrides) + " ") +
        "wine " + shell_word(binary_path("wintest_spawn.exe")) + " " + shell_word(request_path) +
        " " + shell_word(result_path);
    if (!run_unix_at(where, command, "the Japanese spawner to start " + program))
        return false;
    std::string answer = read_file(result_path);
    unsigned long long process_handle = 0, thread_handle = 0;
    unsigned long child_pid = 0;
    if (sscanf(answer.c_str(), "ok %llx %llx %lu", &process_handle, &thread_handle, &child_pid) !=
        3) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start " << program << " in Japanese: " << answer;
        return false;
    }
    child.process = (HANDLE)(ULONG_PTR)process_handle;
    child.thread = (HANDLE)(ULONG_PTR)thread_handle;
    child.pid = child_pid;
    return true;
}

// What the driver waits for while a child runs, for the message of an overstay.
std::string awaited(const RunOptions& options, size_t answered, const std::vector<Box>& boxes) {
    if (answered < options.answers.size())
        return "box " + std::to_string(boxes.size() + 1) + " of the " +
               std::to_string(options.answers.size()) + " expected";
    if (boxes.empty())
        return "the end of the run, which should show no box";
    return "the end of the run after the last box (" + boxes.back().caption + ") was answered";
}

} // namespace

std::string describe_boxes(const std::vector<Box>& boxes) {
    if (boxes.empty())
        return "no box\n";
    std::string text =
        std::to_string(boxes.size()) + (boxes.size() == 1 ? " box" : " boxes") + ":\n";
    for (size_t i = 0; i < boxes.size(); i++) {
        std::string buttons;
        for (const std::string& button : boxes[i].buttons)
            buttons += (buttons.empty() ? "" : " | ") + button;
        text += "  " + std::to_string(i + 1) + ". \"" + boxes[i].caption + "\" / \"" +
                boxes[i].text + "\" / [" + buttons + "] / icon " + icon_name(boxes[i].icon) + "\n";
    }
    return text;
}

void PrintTo(const ExitCode& code, std::ostream* out) {
    static const struct {
        DWORD code;
        const char* name;
    } names[] = {{0xC0000005, "access violation"},
                 {0xC00000FD, "stack overflow"},
                 {0xC0000094, "integer division by zero"},
                 {0xC0000409, "stack buffer overrun"},
                 {0xC0000135, "DLL not found"},
                 {0xC0000139, "entry point not found"}};
    if (code.value < 0xC0000000 && code.value != KILLED_EXIT_CODE) {
        *out << code.value;
        return;
    }
    char text[16];
    sprintf(text, "0x%08lX", (unsigned long)code.value);
    *out << text;
    if (code.value == KILLED_EXIT_CODE)
        *out << " (killed by the test)";
    for (const auto& known : names)
        if (known.code == code.value)
            *out << " (" << known.name << ")";
}

RunResult run_program_at(Where where, const RunOptions& options) {
    RunResult result;
    set_windows_version(options.program, options.windows_version);
    result.temp_dir = options.temp_dir.empty() ? make_temp_dir("run") : options.temp_dir;
    std::string io_dir = make_temp_dir("io");
    std::string output_path = io_dir + "\\output";

    std::vector<std::pair<std::string, std::string>> variables = {{"TMP", result.temp_dir},
                                                                  {"TEMP", result.temp_dir}};
    for (const auto& variable : options.env)
        variables.push_back(variable);
    std::string environment = environment_block(variables);

    std::string program = binary_path(options.program);
    UINT codepage = options.japanese ? JAPANESE_CODEPAGE : CP_ACP;
    std::string command_line = quote_argument(program, codepage);
    std::string title = options.program;
    for (const std::string& argument : options.args) {
        command_line += " " + quote_argument(argument, codepage);
        title += " " + argument;
    }

    Child child;
    bool started = options.japanese
                       ? start_japanese(where, program, command_line, environment,
                                        options.current_dir, output_path, io_dir, child)
                       : start_here(where, program, command_line, environment, options.current_dir,
                                    output_path, child);
    if (!started) {
        remove_tree(io_dir);
        return result;
    }
    ResumeThread(child.thread);
    CloseHandle(child.thread);

    DWORD limit = time_limit_ms(CHILD_RUN_MS);
    DWORD start = GetTickCount();
    size_t next_answer = 0;
    std::set<HWND> handled;
    for (;;) {
        if (WaitForSingleObject(child.process, POLL_MS) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > limit) {
            TerminateProcess(child.process, KILLED_EXIT_CODE);
            WaitForSingleObject(child.process, 5000);
            result.timed_out = true;
            ADD_FAILURE_AT(where.file, where.line)
                << title << " was still running after " << limit << " ms, waiting for "
                << awaited(options, next_answer, result.boxes)
                << ": killed. The boxes that came: " << describe_boxes(result.boxes);
            break;
        }
        HWND window = find_new_box(child.pid, handled);
        if (window == NULL)
            continue;
        BoxWindow box;
        if (!read_complete_box(window, box))
            ADD_FAILURE_AT(where.file, where.line)
                << "box " << result.boxes.size() + 1 << " of " << title
                << " did not show its text and buttons within " << time_limit_ms(BOX_COMPLETE_MS)
                << " ms; it showed " << describe_boxes({box.box});
        box.box.icon = read_icon(window);
        if (result.boxes.empty()) {
            std::vector<HWND> wipr = top_windows(child.pid, "wipr");
            box.box.wipr_window_hidden = !wipr.empty() && !IsWindowVisible(wipr[0]);
        }
        handled.insert(window);
        result.boxes.push_back(box.box);
        int answer;
        if (options.any_boxes) {
            size_t index = result.boxes.size() - 1;
            size_t count = box.button_ids.size();
            unsigned pick = index < options.picks.size() ? options.picks[index] : 0;
            answer = count == 0 ? IDOK : box.button_ids[pick % count];
        } else if (next_answer < options.answers.size()) {
            answer = options.answers[next_answer++];
        } else {
            answer = closing_answer(box);
            ADD_FAILURE_AT(where.file, where.line)
                << "unexpected box: " << box.box.caption << "/" << box.box.text << "\nafter the "
                << options.answers.size() << " expected; closed with its " << label_of(box, answer)
                << " button. The boxes that came: " << describe_boxes(result.boxes);
        }
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, answer));
    }
    GetExitCodeProcess(child.process, &result.exit_code.value);
    CloseHandle(child.process);
    result.output = read_file(output_path);
    remove_tree(io_dir);

    if (!result.timed_out && !options.any_boxes && next_answer < options.answers.size())
        ADD_FAILURE_AT(where.file, where.line)
            << "missing box: " << title << " ended (exit code "
            << testing::PrintToString(result.exit_code) << ") with "
            << options.answers.size() - next_answer
            << " answer(s) not used. The boxes that came: " << describe_boxes(result.boxes);

    // A Japanese child's temporary directory is in code page 932.
    std::string log_path = result.temp_dir + "\\" + LOG_FILE_NAME;
    result.log_exists =
        GetFileAttributesW(widen(log_path, codepage).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (result.log_exists)
        result.log = split_lines(read_file(log_path, codepage));
    return result;
}

} // namespace wintest
