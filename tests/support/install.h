// A complete installation of the product laid into the file system, and the cleanup of
// what the installers and the sample installation leave.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

// The install manifest's relative paths, in its order: the files, and the directories,
// each before its parent.
const std::vector<std::string>& manifest_files();
const std::vector<std::string>& manifest_dirs();

// Lays every directory and file of the install manifest under dir (made if missing).
// Each file holds its own relative path; every seventh file is read-only, and a few
// are hidden and system too, as a copy from a CD-ROM leaves them.
void make_install_at(Where, const std::string& dir);

// Deletes every product key and neighbour key (product.h), and Software\VORTA under
// HKCU and HKLM with all it holds, in the view given.
void remove_product_keys(REGSAM view = 0);

} // namespace wintest

#define make_install(...) wintest::make_install_at(WT_HERE, __VA_ARGS__)
