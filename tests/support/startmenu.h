// Start-menu verbs: the Programs folders, real shortcut files and the product's
// shortcut folder, as the product's installers lay them.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

// What a ".lnk" file holds, read back through the shell-link object.
struct Shortcut {
    bool loaded = false;
    std::string target;            // IShellLinkA::GetPath
    std::string working_directory; // IShellLinkA::GetWorkingDirectory
};
Shortcut read_shortcut(const std::string& lnk_path); // path in the ANSI code page

// Writes a real shortcut to target (UTF-8) at lnk_path (UTF-8).
void make_shortcut_at(Where, const std::string& lnk_path_utf8, const std::string& target);

// The product's Start-menu folder name (string 150) and its shortcut file names,
// ".lnk" included, each name once, in UTF-8.
std::string product_folder_name(bool japanese = false);
std::vector<std::string> product_shortcut_files(bool japanese = false);

// Makes the product's folder in the Programs folder of scope and lays a real
// shortcut for every product shortcut name in it. Returns the folder (UTF-8 path).
std::string lay_product_shortcuts_at(Where, int scope, bool japanese = false);

// Removes the product's folder and its neighbour with all they hold from both Programs
// folders.
void remove_product_folders(bool japanese = false);

// File names (UTF-8) in a directory given as a UTF-8 path, sorted; "." and ".." left out.
std::vector<std::string> list_dir_utf8(const std::string& dir_utf8);

// Lets in-process product code load its string resources: g_state.hInstance becomes
// vxwipe.exe, loaded as data once per process.
void use_product_strings();

} // namespace wintest

#define make_shortcut(...) wintest::make_shortcut_at(WT_HERE, __VA_ARGS__)
#define lay_product_shortcuts(...) wintest::lay_product_shortcuts_at(WT_HERE, __VA_ARGS__)
