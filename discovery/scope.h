// Which installer generation installed the product, and for whom.
#pragma once

#include "removal/registry.h"

#define GENERATION_3_GUID "{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}"
#define GENERATION_2_GUID "{8E41C0B7-26D3-4A95-B7E2-0F6D93A1C548}"
// The InstallShield-based installer's own Uninstall entry.
#define INSTALLSHIELD_UNINSTALL_KEY UNINSTALL_KEY "\\InstallShield_" GENERATION_3_GUID

enum InstallerGeneration {
    GENERATION_PRE_321 = 1,
    GENERATION_4PR = 2,
    GENERATION_AFTER_400 = 3,
    GENERATION_NONE = 99,
};

int GetISVersion();
int GetITYPE(const char* folderName);
