// Temporary placeholders (delete each line once the real function exists) so the program links while modules are written.
#include "discovery/install_dir.h"
#include "removal/installed_files.h"
#include "removal/registry.h"
#include "removal/startmenu.h"
#define WEAK
WEAK int GetInstallDirectory() { return 0; }
WEAK int ReadChainedUninstallString(char*, DWORD*) { return 0; }
WEAK void UninstallByIS() {}
WEAK void RemoveInstalledFiles(const char*) {}
WEAK int isExistGroup(int, const char*) { return 0; }
WEAK void RemoveShortCut() {}
