// Opens the log, reads the options and calls FatalError with a message of the given
// length, the strings coming from vxwipe.exe beside this program.
//
// fatal_error <message length> [options...]
#include "app/messages.h"
#include "app/state.h"
#include "log/log.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2)
        return 255;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    strcpy(strrchr(module, '\\') + 1, "vxwipe.exe");
    g_state.hInstance = LoadLibraryExA(module, NULL, LOAD_LIBRARY_AS_DATAFILE);
    InitLog(LOG_FILE_NAME);
    // The length stands where ParseOptions expects the program name.
    ParseOptions(__argc - 1, __argv + 1);
    std::string message(strtoul(__argv[1], NULL, 10), 'm');
    FatalError(message.c_str());
}
