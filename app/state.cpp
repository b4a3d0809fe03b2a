#include "app/state.h"

#include "log/log.h"

#include <string.h>

UninstallState g_state = {
    NULL,                   // hInstance
    NULL,                   // hWnd
    0,                      // silent
    0,                      // save
    0,                      // isMode
    SYSTEM,                 // installType
    "",                     // installDir
    0,                      // installDirFound
    0,                      // errorCount
    NULL,                   // logFile
    "",                     // caption
    "",                     // messageText
    "",                     // secondText
    -1,                     // installTypeCache
    0,                      // isVersionCache
    PLATFORM_FLAG_UNKNOWN,  // platformFlag
    {"", ""},               // programsBuffer
    {NULL, NULL},           // programsSlot
    1,                      // programsFirstCall
};

void ParseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        const char* argument = argv[i];
        if (strcmp(argument, "-silent") == 0)
            g_state.silent = 1;
        else if (strcmp(argument, "-nosilent") == 0)
            g_state.silent = 0;
        else if (strcmp(argument, "-save") == 0)
            g_state.save = 1;
        else if (strcmp(argument, "-nosave") == 0)
            g_state.save = 0;
        else if (strcmp(argument, "-IS") == 0)
            g_state.isMode = 1;
        else
            LogMessage("ignore unknown option(%s)\n", argument);
    }
}

int IsWin9x()
{
    if (g_state.platformFlag == PLATFORM_FLAG_UNKNOWN)
        g_state.platformFlag = (GetVersion() & 0x80000000) ? 0xC0 : 0;
    return g_state.platformFlag;
}
