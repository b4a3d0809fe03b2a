// Stands in for the InstallShield installer's own uninstaller.
//
// IS_STANDIN_RECORD  file to write "cmdline=[...]" and "module=[...]" lines into
// IS_STANDIN_REMOVE  "HKCU" or "HKLM": delete "UninstallString.ORIG" from the
//                    installer's Uninstall key under that root before exiting
#include "discovery/scope.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char RECORD_VARIABLE[] = "IS_STANDIN_RECORD";
static const char REMOVE_VARIABLE[] = "IS_STANDIN_REMOVE";

static void Record() {
    char recordPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(RECORD_VARIABLE, recordPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    FILE* file = fopen(recordPath, "wb");
    if (file == NULL)
        return;
    fprintf(file, "cmdline=[%s]\r\nmodule=[%s]\r\n", GetCommandLineA(), module);
    fclose(file);
}

static void RemoveChainedValue() {
    char root[8];
    DWORD length = GetEnvironmentVariableA(REMOVE_VARIABLE, root, sizeof root);
    if (length == 0 || length >= sizeof root)
        return;
    HKEY rootKey = strcmp(root, "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key;
    if (RegOpenKeyExA(rootKey, INSTALLSHIELD_UNINSTALL_KEY, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "UninstallString.ORIG");
    RegCloseKey(key);
}

// A GUI program, so that no console window opens beside the uninstaller's boxes.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Record();
    RemoveChainedValue();
    return 0;
}
