// Deletes each file named on the command line now or at the next start, logging into TMP.
// The exit code has bit i set when the i-th file's result was nonzero.
#include "log/log.h"
#include "removal/boot_delete.h"

int main(int argc, char** argv) {
    InitLog(LOG_FILE_NAME);
    int results = 0;
    for (int i = 1; i < argc; i++) {
        if (DeleteFileNowOrAtBoot(argv[i]))
            results |= 1 << (i - 1);
    }
    EndLog();
    return results;
}
