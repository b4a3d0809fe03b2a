// Deletes key trees under HKEY_CURRENT_USER with the product's tree deletion, tracing
// into the log in TMP: regtree_delete <key>...
#include "log/log.h"
#include "removal/registry.h"

int main(int argc, char** argv) {
    InitLog(LOG_FILE_NAME);
    for (int i = 1; i < argc; i++)
        MyRegDeleteKeySub(HKEY_CURRENT_USER, argv[i]);
    EndLog();
    return 0;
}
