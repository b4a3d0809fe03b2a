#include "wintest.h"

#include "helpers.h"

namespace wintest {

// ---- files ----------------------------------------------------------------

static const char TEMP_ROOT[] = "C:\\wt";

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

std::string make_temp_dir_at(Where where, const std::string& stem, UINT codepage) {
    static int counter = 0;
    CreateDirectoryA(TEMP_ROOT, NULL);
    char name[64];
    sprintf(name, "-%d-%lu", ++counter, (unsigned long)GetCurrentProcessId());
    std::wstring path = utf8_to_wide(std::string(TEMP_ROOT) + "\\" + stem + name);
    remove_tree_wide(path);
    if (!CreateDirectoryW(path.c_str(), NULL))
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot create the temporary directory " << wide_to_utf8(path);
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

DWORD attributes_of(const std::string& path) {
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

std::vector<std::string> files_matching(const std::string& dir, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
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

} // namespace wintest
