#include "discovery/install_dir.h"

#include "app/messages.h"
#include "app/state.h"
#include "discovery/scope.h"
#include "log/log.h"
#include "removal/paths.h"
#include "removal/registry.h"

#include <string.h>

static const char PRODUCT_UNINSTALL_KEY[] = UNINSTALL_KEY "\\" PRODUCT_UNINSTALL_NAME;
static const char INSTALL_LOCATION_VALUE[] = "InstallLocation";
static const char INSTALL_DIRECTORY_4_VALUE[] = "InstallDirectory4";
static const char INSTALL_DIRECTORY_VALUE[] = "InstallDirectory";
static const char CHAINED_UNINSTALL_VALUE[] = "UninstallString.ORIG";
const int EXIT_CHAIN_NOT_COMPLETED = 0;

// The InstallShield key lives under the root of the install scope.
static HKEY InstallShieldRoot() {
    return g_state.installType == USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Reads a directory value into installDir; 1 if it is a string (an expandable one
// expanded) that names an absolute path. Anything else counts as no value.
static int ReadInstallDir(HKEY key, const char* valueName, LONG* status) {
    char stored[TEXT_CAPACITY];
    DWORD type = REG_NONE;
    *status = QueryStringValue(key, valueName, &type, stored, TEXT_CAPACITY);
    g_state.installDir[0] = '\0';
    if (*status != ERROR_SUCCESS)
        return 0;
    if (type == REG_SZ) {
        strcpy(g_state.installDir, stored);
    } else if (type == REG_EXPAND_SZ) {
        DWORD needed = ExpandEnvironmentStringsA(stored, g_state.installDir, TEXT_CAPACITY);
        if (needed == 0 || needed > (DWORD)TEXT_CAPACITY)
            g_state.installDir[0] = '\0';
    }
    if (!IsAbsolutePath(g_state.installDir))
        g_state.installDir[0] = '\0';
    return g_state.installDir[0] != '\0';
}

static int FoundInstallDir() {
    LogMessage("  InstallDir is %s\n", g_state.installDir);
    g_state.installDirFound = 1;
    return 1;
}

static int NoInstallDir() {
    g_state.installDir[0] = '\0';
    g_state.installDirFound = 0;
    return 0;
}

int GetInstallDirectory() {
    LogMessage("=== GetInstallDirectory ===\n");
    HKEY root = g_state.isMode ? InstallShieldRoot() : HKEY_LOCAL_MACHINE;
    const char* rootName = root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
    const char* keyPath = g_state.isMode ? INSTALLSHIELD_UNINSTALL_KEY : PRODUCT_UNINSTALL_KEY;
    HKEY key = NULL;
    LONG status = MyRegOpenKeyEx(root, keyPath, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMessage("  fail open registry key(%s\\%s), rval:%x\n", rootName, keyPath,
                   (unsigned)status);
    } else {
        int found = ReadInstallDir(key, INSTALL_LOCATION_VALUE, &status);
        MyRegCloseKey(key);
        if (found)
            return FoundInstallDir();
        LogMessage("  fail get registry value(%s) or value is empty, rval:%x\n",
                   INSTALL_LOCATION_VALUE, (unsigned)status);
    }

    status = MyRegOpenKeyEx(HKEY_CURRENT_USER, USER_SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMessage("  fail open registry key(HKCU\\%s), rval:%x\n", USER_SETTINGS_KEY,
                   (unsigned)status);
        return NoInstallDir();
    }
    int found = ReadInstallDir(key, INSTALL_DIRECTORY_4_VALUE, &status);
    if (!found) {
        LogMessage("  fail get registry value(%s), rval:%x\n", INSTALL_DIRECTORY_4_VALUE,
                   (unsigned)status);
        found = ReadInstallDir(key, INSTALL_DIRECTORY_VALUE, &status);
        if (!found)
            LogMessage("  fail get registry value(%s), rval:%x\n", INSTALL_DIRECTORY_VALUE,
                       (unsigned)status);
    }
    MyRegCloseKey(key);
    return found ? FoundInstallDir() : NoInstallDir();
}

int ReadChainedUninstallString(char* buffer, DWORD* length) {
    HKEY key = NULL;
    LONG status =
        MyRegOpenKeyEx(InstallShieldRoot(), INSTALLSHIELD_UNINSTALL_KEY, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMessage("  fail open registry key(%s), rval:%x\n", INSTALLSHIELD_UNINSTALL_KEY,
                   (unsigned)status);
        return 0;
    }
    status = QueryStringValue(key, CHAINED_UNINSTALL_VALUE, buffer, *length);
    MyRegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        buffer[0] = '\0';
        *length = 0;
        LogMessage("  fail get registry value(%s), rval:%x\n", CHAINED_UNINSTALL_VALUE,
                   (unsigned)status);
        return 0;
    }
    *length = (DWORD)strlen(buffer) + 1;
    return 1;
}

// Splits "program /options" in place at the first "/": the character in front of it
// ends the program path. Returns the arguments, empty when there are none.
static char* SplitCommand(char* command) {
    char* slash = strchr(command, '/');
    if (slash == NULL || slash == command) {
        static char noArguments[] = "";
        return noArguments;
    }
    slash[-1] = '\0';
    return slash;
}

// The chained uninstaller may ask the user anything: wait as long as it takes. It may
// also send a message to every top-level window, the hidden one of this thread included,
// and wait for the answers: messages are dispatched while waiting.
static void WaitForProcess(HANDLE process) {
    while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

void UninstallByIS() {
    char command[TEXT_CAPACITY];
    DWORD length = TEXT_CAPACITY;
    if (!ReadChainedUninstallString(command, &length))
        FatalError("fail to uninstal inforamtion");
    char* arguments = SplitCommand(command);
    LogMessage("UBIS: call process:[%s], arg:[%s]\n", command, arguments);
    // A program without its folder would be looked for in the current one, which is
    // wherever the run was started.
    if (!IsAbsolutePath(command)) {
        LogMessage("UBIS: not an absolute path, not started\n");
        FatalError("cannot execute IS process.");
    }

    // A chained uninstaller may restart the machine or be ended: the trace so far stays.
    FlushLog();
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(command, arguments, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        FatalError("cannot execute IS process.");
    WaitForProcess(process.hProcess);

    // Its entry outlives it only when that uninstall did not complete.
    length = TEXT_CAPACITY;
    if (ReadChainedUninstallString(command, &length)) {
        LogMessage("UBIS: not installed by IS, exit\n");
        EndLog();
        ExitProcess(EXIT_CHAIN_NOT_COMPLETED);
    }
}
