#include "wintest.h"

#include "helpers.h"
#include "product.h"

#include "app/state.h"

#include <sddl.h>
#include <shlobj.h>

namespace wintest {

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

// A key below each root that every prefix has: opening it asks the root's handle.
struct RootProbe {
    HKEY root;
    const char* name;
    const char* subkey;
};
const RootProbe ROOT_PROBES[] = {{HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Software"},
                                 {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Software"},
                                 {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "CLSID"}};

std::vector<std::string> broken_registry_roots() {
    std::vector<REGSAM> views = {0};
    if (std::string(run_kind()) == "wow64")
        views.push_back(KEY_WOW64_64KEY);
    std::vector<std::string> broken;
    for (const RootProbe& probe : ROOT_PROBES)
        for (REGSAM view : views) {
            HKEY key;
            LONG status = RegOpenKeyExA(probe.root, probe.subkey, 0, KEY_QUERY_VALUE | view, &key);
            if (status == ERROR_SUCCESS) {
                RegCloseKey(key);
                continue;
            }
            broken.push_back(std::string(probe.name) +
                             (view == KEY_WOW64_64KEY ? " (64-bit view)" : "") + ": " +
                             error_text((DWORD)status));
        }
    return broken;
}

// A link key goes with its handle's deletion, never through RegDeleteKey, which follows it.
// The caller has made sure that path is a link.
static void delete_link_itself(HKEY root, const std::string& path, REGSAM view) {
    typedef LONG(WINAPI * NtDeleteKeyFunction)(HANDLE);
    NtDeleteKeyFunction ntDeleteKey =
        (NtDeleteKeyFunction)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey");
    HKEY link = NULL;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE | view, &link) == 0) {
        ntDeleteKey(link);
        RegCloseKey(link);
    }
}

// Deletes the subkey name of parent with all it holds. Each key is opened by its name below
// its parent's handle: Wine's A functions refuse a path of more than MAX_PATH characters
// (ERROR_MORE_DATA), which a deep tree's keys pass a hundred levels down.
static void delete_subkey_tree(HKEY parent, const std::string& name, REGSAM view) {
    // A link in the tree goes as a link: deleting through it would empty what it points to,
    // and leave the link.
    if (is_link_key(parent, name, view)) {
        delete_link_itself(parent, name, view);
        return;
    }
    HKEY key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char child[256]; // a key's name has at most 255 characters
    for (DWORD index = 0;; index++) {
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, index, child, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        children.push_back(child);
    }
    for (const std::string& each : children)
        delete_subkey_tree(key, each, view);
    RegCloseKey(key);
    // Through the parent's handle, which is in the view: RegDeleteKeyA works in the caller's
    // own view only.
    RegDeleteKeyA(parent, name.c_str());
}

void delete_key_tree(HKEY root, const std::string& path, REGSAM view) {
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) {
        delete_subkey_tree(root, path, view);
        return;
    }
    HKEY parent;
    if (RegOpenKeyExA(root, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS)
        return;
    delete_subkey_tree(parent, path.substr(slash + 1), view);
    RegCloseKey(parent);
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

bool is_link_key(HKEY root, const std::string& path, REGSAM view) {
    HKEY link = NULL;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view, &link) != 0)
        return false;
    DWORD type = REG_NONE;
    LONG status = RegQueryValueExA(link, "SymbolicLinkValue", NULL, &type, NULL, NULL);
    RegCloseKey(link);
    return status == ERROR_SUCCESS && type == REG_LINK;
}

void delete_link_key(HKEY root, const std::string& path, REGSAM view) {
    if (is_link_key(root, path, view))
        delete_link_itself(root, path, view);
}

void set_windows_version_at(Where where, const std::string& program, const std::string& version) {
    std::string path = "Software\\Wine\\AppDefaults\\" + program;
    if (version.empty())
        delete_value(HKEY_CURRENT_USER, path, "Version");
    else
        set_string_at(where, HKEY_CURRENT_USER, path, "Version", version);
}

std::string programs_folder_at(Where where, int scope) {
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
    set_string_at(where, root, SHELL_FOLDERS, name, path);
    return path;
}

} // namespace wintest
