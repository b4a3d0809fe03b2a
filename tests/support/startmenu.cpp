#include "startmenu.h"

#include "product.h"
#include "strings.h"

#include "app/state.h"

#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

namespace wintest {

Shortcut read_shortcut(const std::string& lnk_path) {
    Shortcut result;
    CoInitialize(NULL);
    IShellLinkA* link = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void**)&link))) {
        IPersistFile* file = NULL;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
            std::wstring wide = utf8_to_wide(to_utf8(lnk_path, CP_ACP));
            if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
                char text[MAX_PATH] = "";
                // SLGP_RAWPATH: the path as stored, not resolved against the disk.
                link->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH);
                result.target = text;
                text[0] = '\0';
                link->GetWorkingDirectory(text, MAX_PATH);
                result.working_directory = text;
                result.loaded = true;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

void make_shortcut_at(Where where, const std::string& lnk_path_utf8, const std::string& target) {
    CoInitialize(NULL);
    IShellLinkW* link = NULL;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      (void**)&link);
    if (SUCCEEDED(result)) {
        link->SetPath(utf8_to_wide(target).c_str());
        IPersistFile* file = NULL;
        result = link->QueryInterface(IID_IPersistFile, (void**)&file);
        if (SUCCEEDED(result)) {
            result = file->Save(utf8_to_wide(lnk_path_utf8).c_str(), TRUE);
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    if (FAILED(result))
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot write shortcut " << lnk_path_utf8 << ", hr 0x" << std::hex << result;
}

std::string product_folder_name(bool japanese) {
    return expected_text(FOLDER_ID, japanese);
}

std::vector<std::string> product_shortcut_files(bool japanese) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (unsigned int id : SHORTCUT_IDS) {
        std::string name = expected_text(id, japanese) + ".lnk";
        if (seen.insert(name).second)
            names.push_back(name);
    }
    return names;
}

std::string lay_product_shortcuts_at(Where where, int scope, bool japanese) {
    std::string programs = programs_folder_at(where, scope);
    if (programs.empty()) {
        ADD_FAILURE_AT(where.file, where.line) << "no Programs folder for scope " << scope;
        return std::string();
    }
    std::string folder = to_utf8(programs, CP_ACP) + "\\" + product_folder_name(japanese);
    if (!CreateDirectoryW(utf8_to_wide(folder).c_str(), NULL) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        ADD_FAILURE_AT(where.file, where.line) << "cannot make folder " << folder;
    for (const std::string& name : product_shortcut_files(japanese))
        make_shortcut_at(where, folder + "\\" + name, "C:\\vortax\\vortax.exe");
    return folder;
}

void remove_product_folders(bool japanese) {
    for (int scope = 0; scope <= 1; scope++) {
        std::string programs = programs_folder(scope);
        if (programs.empty())
            continue;
        remove_tree(to_utf8(programs, CP_ACP) + "\\" + product_folder_name(japanese), CP_UTF8);
        remove_tree(programs + "\\" + NEIGHBOUR_FOLDER);
    }
}

std::vector<std::string> list_dir_utf8(const std::string& dir_utf8) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((utf8_to_wide(dir_utf8) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(wide_to_utf8(name));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void use_product_strings() {
    static HMODULE product = NULL;
    if (product == NULL)
        product = LoadLibraryExA(binary_path("vxwipe.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_TRUE(product != NULL) << "cannot load the strings of vxwipe.exe";
    g_state.hInstance = (HINSTANCE)product;
}

} // namespace wintest
