// Runs the installed-file removal on one install directory with the product's string
// tables, tracing into the log in TMP: installed_files_tool [-silent] <install directory>
// Exits with the error count.
#include "app/state.h"
#include "log/log.h"
#include "removal/installed_files.h"

#include "wintest.h"

#include <string.h>

int main(int argc, char** argv) {
    int next = 1;
    if (next < argc && strcmp(argv[next], "-silent") == 0) {
        g_state.silent = 1;
        next++;
    }
    if (next >= argc)
        return 255;
    g_state.hInstance =
        LoadLibraryExA(wintest::binary_path("vxwipe.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    InitLog(LOG_FILE_NAME);
    RemoveInstalledFiles(argv[next]);
    EndLog();
    return g_state.errorCount;
}
