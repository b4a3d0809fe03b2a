// bench_regtree: times the product's key-tree deletion on trees of a given size.
//   bench_regtree [-runs N] KEYS...
// After one untimed warm-up, for each size KEYS (a multiple of 10) it builds, N times,
// a tree under HKCU\Software\VxwipeBench\Tree: KEYS/10 keys with 9 subkeys each. It
// then times one MyRegDeleteKeySub of the tree, with the log going to the program's log
// in TMP, and checks that the tree is gone. One line per size:
// "<keys> <median ms> <microseconds per key>".
#include "log/log.h"
#include "removal/registry.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char BENCH_KEY[] = "Software\\VxwipeBench";
const char TREE_KEY[] = "Software\\VxwipeBench\\Tree";
const int SUBKEYS_PER_GROUP = 9;
const int KEYS_PER_GROUP = SUBKEYS_PER_GROUP + 1;
const int MAX_RUNS = 15;
const int DEFAULT_RUNS = 3;
const int WARM_UP_KEYS = 100;
const int KEY_NAME_CAPACITY = 32;
const int EXIT_USAGE = 2;
const int EXIT_FAILED = 1;

bool CreateKey(HKEY parent, const char* name, HKEY* key) {
    return RegCreateKeyExA(parent, name, 0, NULL, 0, KEY_ALL_ACCESS, NULL, key, NULL) ==
           ERROR_SUCCESS;
}

bool BuildTree(int keys) {
    HKEY tree;
    if (!CreateKey(HKEY_CURRENT_USER, TREE_KEY, &tree))
        return false;
    bool built = true;
    char name[KEY_NAME_CAPACITY];
    for (int group = 0; built && group < keys / KEYS_PER_GROUP; group++) {
        HKEY groupKey;
        snprintf(name, KEY_NAME_CAPACITY, "Group%05d", group);
        if (!CreateKey(tree, name, &groupKey)) {
            built = false;
            break;
        }
        for (int leaf = 0; built && leaf < SUBKEYS_PER_GROUP; leaf++) {
            HKEY leafKey;
            snprintf(name, KEY_NAME_CAPACITY, "Leaf%d", leaf);
            built = CreateKey(groupKey, name, &leafKey);
            if (built)
                RegCloseKey(leafKey);
        }
        RegCloseKey(groupKey);
    }
    RegCloseKey(tree);
    return built;
}

bool TreeExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, TREE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

double TimeDeletion() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
    QueryPerformanceCounter(&end);
    return (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

int CompareTimes(const void* a, const void* b) {
    double left = *(const double*)a;
    double right = *(const double*)b;
    return left < right ? -1 : left > right ? 1 : 0;
}

// Median of the runs in milliseconds, or a negative value when a run failed.
double MedianDeletion(int keys, int runs) {
    double times[MAX_RUNS];
    for (int run = 0; run < runs; run++) {
        if (!BuildTree(keys)) {
            fprintf(stderr, "bench_regtree: cannot build a tree of %d keys\n", keys);
            MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
            return -1;
        }
        times[run] = TimeDeletion();
        if (TreeExists()) {
            fprintf(stderr, "bench_regtree: the tree of %d keys was not deleted\n", keys);
            return -1;
        }
    }
    qsort(times, runs, sizeof times[0], CompareTimes);
    return runs % 2 == 1 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    int runs = DEFAULT_RUNS;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "-runs") == 0) {
        runs = atoi(argv[2]);
        first = 3;
    }
    if (first >= argc || runs < 1 || runs > MAX_RUNS) {
        fputs("usage: bench_regtree [-runs N] KEYS...   (KEYS a multiple of 10)\n", stderr);
        return EXIT_USAGE;
    }
    InitLog(LOG_FILE_NAME);
    // An untimed first deletion, so that the first size does not pay for the warm-up.
    if (BuildTree(WARM_UP_KEYS))
        MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
    int status = 0;
    for (int i = first; i < argc; i++) {
        int keys = atoi(argv[i]);
        if (keys < KEYS_PER_GROUP || keys % KEYS_PER_GROUP != 0) {
            fprintf(stderr, "bench_regtree: %s is not a multiple of %d\n", argv[i], KEYS_PER_GROUP);
            status = EXIT_USAGE;
            continue;
        }
        double median = MedianDeletion(keys, runs);
        if (median < 0) {
            status = EXIT_FAILED;
            continue;
        }
        // The tree's own top key is deleted too; it is left out of the count.
        printf("%d %.3f %.3f\n", keys, median, median * 1000.0 / keys);
        fflush(stdout);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, BENCH_KEY);
    EndLog();
    return status;
}
