// vxsample: lays a sample VORTA-X installation, or lists what of it is there.
//   vxsample lay|inventory [-generation 1|2|3] [-scope system|user] [-dir PATH]
//            [-chained COMMAND] [-out FILE]
// The inventory goes to standard output, or to FILE.
#include "app/state.h"
#include "tools/sample/sample.h"

#include <stdio.h>
#include <string.h>

static int Usage() {
    fputs("usage: vxsample lay|inventory [-generation 1|2|3] [-scope system|user] "
          "[-dir PATH] [-chained COMMAND] [-out FILE]\n",
          stderr);
    return 2;
}

int main(int argc, char** argv) {
    g_state.hInstance = GetModuleHandleA(NULL);
    if (argc < 2)
        return Usage();
    SampleOptions options;
    const char* outPath = NULL;
    for (int i = 2; i + 1 < argc; i += 2) {
        const char* name = argv[i];
        const char* value = argv[i + 1];
        if (strcmp(name, "-generation") == 0)
            options.generation = atoi(value);
        else if (strcmp(name, "-scope") == 0)
            options.scope = strcmp(value, "user") == 0 ? USER : SYSTEM;
        else if (strcmp(name, "-dir") == 0)
            options.installDir = value;
        else if (strcmp(name, "-chained") == 0)
            options.chainedCommand = value;
        else if (strcmp(name, "-out") == 0)
            outPath = value;
        else
            return Usage();
    }
    if (options.generation < 1 || options.generation > 3)
        return Usage();
    if (strcmp(argv[1], "lay") == 0) {
        int failures = LaySample(options);
        if (failures != 0)
            fprintf(stderr, "vxsample: %d things could not be made\n", failures);
        return failures == 0 ? 0 : 1;
    }
    if (strcmp(argv[1], "inventory") == 0) {
        FILE* out = outPath == NULL ? stdout : fopen(outPath, "w");
        if (out == NULL) {
            fprintf(stderr, "vxsample: cannot write %s\n", outPath);
            return 1;
        }
        for (const InventoryItem& item : TakeInventory(options))
            fprintf(out, "%s\t%s\n", item.what.c_str(), item.state.c_str());
        if (out != stdout)
            fclose(out);
        return 0;
    }
    return Usage();
}
