#include "discovery/scope.h"

#include "app/state.h"
#include "log/log.h"
#include "platform/platform.h"
#include "removal/registry.h"
#include "removal/startmenu.h"

const REGSAM READ_ACCESS = KEY_READ; // 0x20019

struct GenerationKey {
    const char* subKey;
    int generation;
    const char* logLine;
};

static const GenerationKey GENERATION_KEYS[] = {
    {UNINSTALL_KEY "\\" GENERATION_3_GUID, GENERATION_AFTER_400, "GIV: after 4.00\n"},
    {UNINSTALL_KEY "\\" GENERATION_2_GUID, GENERATION_4PR, "GIV: 4PR\n"},
    {UNINSTALL_KEY "\\" PRODUCT_UNINSTALL_NAME, GENERATION_PRE_321, "GIV: pre 3.21\n"},
};

int GetISVersion() {
    LogMessage("  > GetISVersion\n");
    if (g_state.isVersionCache != 0)
        return g_state.isVersionCache;
    int generation = GENERATION_NONE;
    for (size_t i = 0; i < sizeof GENERATION_KEYS / sizeof GENERATION_KEYS[0]; i++) {
        HKEY key = NULL; // the open's log line prints it, also when the open fails
        if (MyRegOpenKeyEx(HKEY_LOCAL_MACHINE, GENERATION_KEYS[i].subKey, 0, READ_ACCESS, &key) ==
            ERROR_SUCCESS) {
            generation = GENERATION_KEYS[i].generation;
            LogMessage("%s", GENERATION_KEYS[i].logLine);
            MyRegCloseKey(key);
            break;
        }
    }
    if (generation == GENERATION_NONE)
        LogMessage("GIV: not found\n");
    g_state.isVersionCache = generation;
    return generation;
}

int GetITYPE(const char* folderName) {
    LogMessage("  > GetITYPE\n");
    if (g_state.installTypeCache != INSTALL_TYPE_UNKNOWN)
        return g_state.installTypeCache;
    int scope;
    HKEY userKey = NULL;
    if (IsWin9x()) {
        scope = SYSTEM;
    } else if (GetISVersion() == GENERATION_AFTER_400) {
        if (MyRegOpenKeyEx(HKEY_CURRENT_USER, INSTALLSHIELD_UNINSTALL_KEY, 0, READ_ACCESS,
                           &userKey) == ERROR_SUCCESS) {
            scope = USER;
        } else {
            userKey = NULL;
            scope = SYSTEM;
        }
    } else {
        scope = isExistGroup(USER, folderName) ? USER : SYSTEM;
    }
    g_state.installTypeCache = scope;
    LogMessage("GIT: type is %s\n", scope == USER ? "USER" : "SYSTEM");
    if (userKey != NULL)
        MyRegCloseKey(userKey);
    return scope;
}
