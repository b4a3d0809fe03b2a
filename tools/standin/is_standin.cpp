// Stands in for the InstallShield installer's own uninstaller.
//
// IS_STANDIN_RECORD     file to write "cmdline=[...]" and "module=[...]" lines into,
//                       and "broadcast=[returned]" after a broadcast
// IS_STANDIN_REMOVE     "HKCU" or "HKLM": delete "UninstallString.ORIG" from the
//                       installer's Uninstall key under that root before exiting
// IS_STANDIN_BROADCAST  set: first send WM_SETTINGCHANGE to every top-level window
//                       with plain SendMessage, as installers do after changing the
//                       environment; it returns only when every window has answered
// IS_STANDIN_COPY_LOG   file to copy the uninstaller's log into, as it is on disk
//                       while the uninstaller waits
#include "discovery/scope.h"
#include "log/log.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char RECORD_VARIABLE[] = "IS_STANDIN_RECORD";
static const char REMOVE_VARIABLE[] = "IS_STANDIN_REMOVE";
static const char BROADCAST_VARIABLE[] = "IS_STANDIN_BROADCAST";
static const char COPY_LOG_VARIABLE[] = "IS_STANDIN_COPY_LOG";

// The variable's value into buffer; 0 when it is not set or does not fit.
static int GetVariable(const char* name, char* buffer, DWORD capacity) {
    DWORD length = GetEnvironmentVariableA(name, buffer, capacity);
    return length != 0 && length < capacity;
}

static void Record(int broadcast) {
    char recordPath[MAX_PATH];
    if (!GetVariable(RECORD_VARIABLE, recordPath, MAX_PATH))
        return;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    FILE* file = fopen(recordPath, "wb");
    if (file == NULL)
        return;
    fprintf(file, "cmdline=[%s]\r\nmodule=[%s]\r\n", GetCommandLineA(), module);
    if (broadcast)
        fprintf(file, "broadcast=[returned]\r\n");
    fclose(file);
}

static int Broadcast() {
    char flag[8];
    if (!GetVariable(BROADCAST_VARIABLE, flag, sizeof flag))
        return 0;
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment");
    return 1;
}

// The uninstaller holds its log open for writing: read it with every sharing allowed.
static void CopyLog() {
    char target[MAX_PATH];
    char source[MAX_PATH];
    if (!GetVariable(COPY_LOG_VARIABLE, target, MAX_PATH))
        return;
    DWORD length = GetTempPathA(MAX_PATH, source);
    if (length == 0 || length + sizeof LOG_FILE_NAME > MAX_PATH)
        return;
    strcat(source, LOG_FILE_NAME);
    HANDLE in = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    char buffer[4096];
    DWORD read = 0;
    while (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE &&
           ReadFile(in, buffer, sizeof buffer, &read, NULL) && read > 0) {
        DWORD written = 0;
        WriteFile(out, buffer, read, &written, NULL);
    }
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
}

static void RemoveChainedValue() {
    char root[8];
    if (!GetVariable(REMOVE_VARIABLE, root, sizeof root))
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
    CopyLog();
    int broadcast = Broadcast();
    Record(broadcast);
    RemoveChainedValue();
    return 0;
}
