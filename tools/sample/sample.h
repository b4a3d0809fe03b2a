// Lays down a complete VORTA-X installation as the product's installers leave it,
// with a few neighbours that no uninstall may touch, and reports what is there.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SampleOptions {
    int generation = 3; // installer generation: 1, 2 or 3
    int scope = 0;      // InstallType: 0 all users, 1 the current user
    std::string installDir = "C:\\Program Files\\VORTA\\VORTA-X";
    std::string chainedCommand; // "UninstallString.ORIG" of generation 3; "" = none
    // The uninstaller to put where the product's Uninstall entry says it is, as the
    // installers do; "" = none there.
    std::string uninstaller;
};

struct SampleKey {
    HKEY root;
    std::string rootName;
    std::string path;
    bool neighbour; // belongs to nobody's uninstall
};

struct InventoryItem {
    std::string what;
    std::string state;
};

// Lays the installation; returns the number of things that could not be made.
int LaySample(const SampleOptions& options);

// The registry keys of the installation and their neighbours, for the options.
std::vector<SampleKey> SampleKeys(const SampleOptions& options);

// The Start-menu folder of the product, as the uninstaller will look for it.
std::string ProductFolderPath(const SampleOptions& options);

// The shortcut names of the product's folder, each once, without ".lnk".
std::vector<std::string> ShortcutNames();

// What waits for the next start: on the NT line each pair of the move-on-reboot list, as
// "delete PATH" or "rename PATH -> PATH", on Windows 9x each entry of WININIT.INI's
// "[rename]" section as it stands.
std::vector<std::string> PendingAtNextStart();

// What is there now: files, directories, shortcuts, keys, and the neighbours.
std::vector<InventoryItem> TakeInventory(const SampleOptions& options);

const char USER_NEIGHBOUR_FILE[] = "my notes.txt"; // in the install directory's parent
const char UNINSTALLER_NAME[] = "vxwipe.exe";      // in the install directory

// The uninstaller where the product's Uninstall entry names it.
std::string UninstallerPath(const SampleOptions& options);
