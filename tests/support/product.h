// What the product's installers leave in the registry and the Start menu, named as they
// name it, and the neighbours that belong to nobody's uninstall: one list for the tests
// and the sample installation (tools/sample), written out rather than taken from the
// product's own constants, so that a misspelt constant shows.
#pragma once

#include <windows.h>

namespace wintest {

#define WT_UNINSTALL_LIST "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
#define WT_GENERATION_3_GUID "{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}"

// The list of installed programs, with the separator: an entry's path follows it.
inline const char UNINSTALL_LIST[] = WT_UNINSTALL_LIST;
inline const char PRODUCT_ENTRY[] = WT_UNINSTALL_LIST "VORTA-X";
inline const char GENERATION_2_ENTRY[] = WT_UNINSTALL_LIST "{8E41C0B7-26D3-4A95-B7E2-0F6D93A1C548}";
inline const char GENERATION_3_ENTRY[] = WT_UNINSTALL_LIST WT_GENERATION_3_GUID;
// The InstallShield-based installer's own entry, under HKLM or, per user, under HKCU.
inline const char INSTALLSHIELD_ENTRY[] = WT_UNINSTALL_LIST "InstallShield_" WT_GENERATION_3_GUID;
inline const char USER_SETTINGS[] = "Software\\VORTA\\XSERVER";    // HKCU
inline const char MACHINE_SETTINGS[] = "Software\\VORTA\\VORTA-X"; // HKLM
inline const char FILE_EXTENSION[] = ".vxp";                       // HKCR
inline const char FILE_TYPE[] = "Vortax.Configuration.File";       // HKCR
// The parent of both settings keys, under HKCU and HKLM.
inline const char VORTA_KEY[] = "Software\\VORTA";
inline const char SHELL_FOLDERS[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct Key {
    HKEY root;
    const char* path;
};

// Every key that some installer generation leaves, in either scope.
inline const Key PRODUCT_KEYS[] = {
    {HKEY_LOCAL_MACHINE, PRODUCT_ENTRY},      {HKEY_LOCAL_MACHINE, GENERATION_2_ENTRY},
    {HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY}, {HKEY_LOCAL_MACHINE, INSTALLSHIELD_ENTRY},
    {HKEY_CURRENT_USER, INSTALLSHIELD_ENTRY}, {HKEY_CURRENT_USER, USER_SETTINGS},
    {HKEY_CLASSES_ROOT, FILE_EXTENSION},      {HKEY_CLASSES_ROOT, FILE_TYPE},
    {HKEY_LOCAL_MACHINE, MACHINE_SETTINGS},
};
// A sibling of each kind of product key, whose name begins like the product's.
inline const Key NEIGHBOUR_KEYS[] = {
    {HKEY_LOCAL_MACHINE, WT_UNINSTALL_LIST "Other Program"},
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER-Notes"},
    {HKEY_CLASSES_ROOT, ".vxq"},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X Tools"},
};

#undef WT_UNINSTALL_LIST
#undef WT_GENERATION_3_GUID

// "HKLM", "HKCU", "HKCR" or "HKU": how the inventory and the messages name a root.
inline const char* root_name(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    return root == HKEY_USERS ? "HKU" : "?";
}

// The string ids of the product's shortcuts, in the order the uninstaller removes them;
// some name the same shortcut twice.
inline const unsigned int SHORTCUT_IDS[] = {160, 161, 162, 153, 151, 152, 154, 155, 156, 157, 159};
inline const unsigned int FOLDER_ID = 150; // the Start-menu folder's name
inline const char FOLDER_NAME[] = "VORTA-X";
// Another program's folder beside the product's in the Programs folder.
inline const char NEIGHBOUR_FOLDER[] = "Other Tools";

} // namespace wintest
