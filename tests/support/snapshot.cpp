#include "snapshot.h"

#include <cstdio>

namespace wintest {

namespace {

// What Wine itself writes again when a process starts its display and fonts: its own
// settings, which the test verbs change for every child, and the font tables. Nothing of
// the product's is among them.
const char* const WINE_OWN_KEYS[] = {
    "HKCU\\Software\\Wine",
    "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Fonts",
    "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Fonts",
};

bool wine_own_key(const std::string& name) {
    for (const char* key : WINE_OWN_KEYS)
        if (lstrcmpiA(name.c_str(), key) == 0)
            return true;
    return false;
}

void add_files(Snapshot* snapshot, const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "\\" + name;
        char state[96];
        bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (directory)
            std::snprintf(state, sizeof state, "dir %lx", (unsigned long)found.dwFileAttributes);
        else
            std::snprintf(state, sizeof state, "file %lx size %lu:%lu time %lu:%lu",
                          (unsigned long)found.dwFileAttributes, (unsigned long)found.nFileSizeHigh,
                          (unsigned long)found.nFileSizeLow,
                          (unsigned long)found.ftLastWriteTime.dwHighDateTime,
                          (unsigned long)found.ftLastWriteTime.dwLowDateTime);
        (*snapshot)[path] = state;
        if (directory && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            add_files(snapshot, path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void add_keys(Snapshot* snapshot, HKEY parent, const std::string& path, const std::string& name) {
    if (wine_own_key(name))
        return;
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    (*snapshot)[name] = "key";
    std::vector<char> data(1 << 16);
    for (DWORD i = 0;; i++) {
        char valueName[16384];
        DWORD nameLength = sizeof valueName;
        DWORD type = 0;
        DWORD size = (DWORD)data.size();
        if (RegEnumValueA(key, i, valueName, &nameLength, NULL, &type, (BYTE*)data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        (*snapshot)[name + " : " + valueName] =
            std::to_string(type) + " " + std::string(data.data(), size);
    }
    for (DWORD i = 0;; i++) {
        char subkey[256];
        DWORD length = sizeof subkey;
        if (RegEnumKeyExA(key, i, subkey, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        add_keys(snapshot, key, subkey, name + "\\" + subkey);
    }
    RegCloseKey(key);
}

bool within(const std::string& item, const std::string& place) {
    if (item.size() < place.size() ||
        lstrcmpiA(item.substr(0, place.size()).c_str(), place.c_str()) != 0)
        return false;
    return item.size() == place.size() || item[place.size()] == '\\' ||
           item.compare(place.size(), 3, " : ") == 0;
}

bool allowed_item(const std::string& item, const std::vector<std::string>& allowed) {
    for (const std::string& place : allowed)
        if (within(item, place))
            return true;
    return false;
}

} // namespace

Snapshot take_snapshot() {
    Snapshot snapshot;
    add_files(&snapshot, "C:");
    add_keys(&snapshot, HKEY_LOCAL_MACHINE, "Software", "HKLM\\Software");
    add_keys(&snapshot, HKEY_CURRENT_USER, "Software", "HKCU\\Software");
    return snapshot;
}

std::string snapshot_key_name(HKEY root, const std::string& path) {
    if (root == HKEY_CLASSES_ROOT)
        return "HKLM\\Software\\Classes\\" + path;
    return std::string(root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + path;
}

void verify_only_changed_at(Where where, const Snapshot& before, const Snapshot& after,
                            const std::vector<std::string>& allowed) {
    for (const auto& item : before) {
        if (allowed_item(item.first, allowed))
            continue;
        auto found = after.find(item.first);
        if (found == after.end())
            ADD_FAILURE_AT(where.file, where.line) << item.first << " should stay, but is gone";
        else if (found->second != item.second)
            ADD_FAILURE_AT(where.file, where.line)
                << item.first << " should stay as it was, but changed";
    }
    for (const auto& item : after) {
        if (!allowed_item(item.first, allowed) && before.find(item.first) == before.end())
            ADD_FAILURE_AT(where.file, where.line)
                << item.first << " should not be there, but appeared";
    }
}

} // namespace wintest
