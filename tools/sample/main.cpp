// vxsample: lays a sample VORTA-X installation, lists what of it is there, what it is made
// of, or what waits for the next start.
//   vxsample lay|inventory|manifest|pending [-generation 1|2|3] [-scope system|user]
//            [-dir PATH] [-chained COMMAND] [-uninstaller FILE] [-out FILE]
// What it lists goes to standard output, or to FILE. With -uninstaller, lay puts a copy of
// FILE where the product's Uninstall entry names the uninstaller, and the inventory
// reports it.
#include "app/state.h"
#include "removal/manifest.h"
#include "tools/sample/sample.h"

#include <stdio.h>
#include <string.h>

static int Usage() {
    fputs("usage: vxsample lay|inventory|manifest|pending [-generation 1|2|3] "
          "[-scope system|user] [-dir PATH] [-chained COMMAND] [-uninstaller FILE] "
          "[-out FILE]\n",
          stderr);
    return 2;
}

static void WriteInventory(FILE* out, const SampleOptions& options) {
    for (const InventoryItem& item : TakeInventory(options))
        fprintf(out, "%s\t%s\n", item.what.c_str(), item.state.c_str());
}

// One line per thing a full uninstall removes, tab-separated:
//   dir <install directory> | file <relative path> | subdir <relative path> |
//   folder <Start-menu folder> | shortcut <name without .lnk> | key <root> <path>
static void WriteManifest(FILE* out, const SampleOptions& options) {
    fprintf(out, "dir\t%s\n", options.installDir.c_str());
    for (const char* entry = InstalledFileTable; *entry != '\0'; entry = NextManifestEntry(entry))
        fprintf(out, "file\t%s\n", entry);
    for (const char* entry = InstalledDirTable; *entry != '\0'; entry = NextManifestEntry(entry))
        fprintf(out, "subdir\t%s\n", entry);
    fprintf(out, "folder\t%s\n", ProductFolderPath(options).c_str());
    for (const std::string& name : ShortcutNames())
        fprintf(out, "shortcut\t%s\n", name.c_str());
    for (const SampleKey& key : SampleKeys(options))
        if (!key.neighbour)
            fprintf(out, "key\t%s\t%s\n", key.rootName.c_str(), key.path.c_str());
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
        else if (strcmp(name, "-uninstaller") == 0)
            options.uninstaller = value;
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
    bool inventory = strcmp(argv[1], "inventory") == 0;
    bool manifest = strcmp(argv[1], "manifest") == 0;
    bool pending = strcmp(argv[1], "pending") == 0;
    if (!inventory && !manifest && !pending)
        return Usage();
    FILE* out = outPath == NULL ? stdout : fopen(outPath, "w");
    if (out == NULL) {
        fprintf(stderr, "vxsample: cannot write %s\n", outPath);
        return 1;
    }
    if (inventory)
        WriteInventory(out, options);
    else if (manifest)
        WriteManifest(out, options);
    else
        for (const std::string& line : PendingAtNextStart())
            fprintf(out, "%s\n", line.c_str());
    if (out != stdout)
        fclose(out);
    return 0;
}
