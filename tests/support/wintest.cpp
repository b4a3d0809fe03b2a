#include "wintest.h"

#include "helpers.h"
#include "product.h"

#include <string.h>

namespace wintest {

// ---- helpers of the verbs ------------------------------------------------

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

} // namespace wintest
