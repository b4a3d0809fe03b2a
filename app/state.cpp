#include "app/state.h"

#include "log/log.h"

#include <string.h>

// Left all zero so that its 5 KB of buffers take no room in the executable; the few
// fields that start nonzero are set before any code runs.
UninstallState g_state;

static int SetStateDefaults() {
    g_state.installType = SYSTEM;
    g_state.installTypeCache = INSTALL_TYPE_UNKNOWN;
    g_state.programsFirstCall = 1;
    return 1;
}

static const int s_stateDefaultsSet = SetStateDefaults();

void ParseOptions(int argc, char** argv) {
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
