// bench_regtree: times the product's key-tree deletion on trees of given sizes.
//   bench_regtree [-runs N] [-cpu FILE] KEYS...
// After one untimed warm-up, each of N runs builds and deletes, one after the other, a
// tree of every size KEYS (a multiple of 10) under HKCU\Software\VxwipeBench\Tree:
// KEYS/10 keys with 9 subkeys each. A deletion is one MyRegDeleteKeySub, with the log
// going to the program's log in TMP, and the tree must be gone after it. The sizes take
// turns within a run, so that the growth is taken per run, from deletions made close
// together. With -cpu, FILE is a counter of CPU nanoseconds (a cgroup's cpuacct.usage),
// and the CPU time of each deletion is taken too. Prints one line per size,
// "<keys> <median ms> <microseconds per key> [<median CPU ms>]", then
// "growth <median> <min> <max> [<CPU median> <CPU min> <CPU max>]": the per-run ratios of
// the per-key time of the last size to that of the first.
#include "cpu_counter.h"
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
const int MAX_SIZES = 4;
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

struct Deletion {
    double milliseconds;
    double cpuMilliseconds; // negative when not taken
};

// Builds a tree of keys and deletes it; false, after a line, when either fails.
bool TimeDeletion(int keys, const char* counter, Deletion* deletion) {
    if (!BuildTree(keys)) {
        fprintf(stderr, "bench_regtree: cannot build a tree of %d keys\n", keys);
        MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
        return false;
    }
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    unsigned long long cpuStart = counter != NULL ? ReadCpuCounter(counter) : 0;
    QueryPerformanceCounter(&start);
    MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
    QueryPerformanceCounter(&end);
    unsigned long long cpuEnd = counter != NULL ? ReadCpuCounter(counter) : 0;
    deletion->milliseconds =
        (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
    deletion->cpuMilliseconds = CpuMilliseconds(cpuStart, cpuEnd);
    if (TreeExists()) {
        fprintf(stderr, "bench_regtree: the tree of %d keys was not deleted\n", keys);
        return false;
    }
    return true;
}

int CompareTimes(const void* a, const void* b) {
    double left = *(const double*)a;
    double right = *(const double*)b;
    return left < right ? -1 : left > right ? 1 : 0;
}

// Sorts values and returns their median.
double Median(double* values, int count) {
    qsort(values, count, sizeof values[0], CompareTimes);
    return count % 2 == 1 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

// The per-run ratios of the per-key value of the last size to that of the first, sorted
// into ratios; returns their median.
double Growth(const Deletion (*deletions)[MAX_RUNS], const int* sizes, int sizeCount, int runs,
              bool cpu, double* ratios) {
    const Deletion* first = deletions[0];
    const Deletion* last = deletions[sizeCount - 1];
    for (int run = 0; run < runs; run++) {
        double a = cpu ? last[run].cpuMilliseconds : last[run].milliseconds;
        double b = cpu ? first[run].cpuMilliseconds : first[run].milliseconds;
        ratios[run] = (a / sizes[sizeCount - 1]) / (b / sizes[0]);
    }
    return Median(ratios, runs);
}

} // namespace

int main(int argc, char** argv) {
    int runs = DEFAULT_RUNS;
    const char* counter = NULL;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == '-'; first += 2) {
        if (strcmp(argv[first], "-runs") == 0)
            runs = atoi(argv[first + 1]);
        else if (strcmp(argv[first], "-cpu") == 0)
            counter = argv[first + 1];
        else
            break;
    }
    int sizes[MAX_SIZES];
    int sizeCount = argc - first;
    bool usable = sizeCount >= 1 && sizeCount <= MAX_SIZES && runs >= 1 && runs <= MAX_RUNS;
    for (int i = 0; usable && i < sizeCount; i++) {
        sizes[i] = atoi(argv[first + i]);
        usable = sizes[i] >= KEYS_PER_GROUP && sizes[i] % KEYS_PER_GROUP == 0;
    }
    if (!usable) {
        fputs("usage: bench_regtree [-runs N] [-cpu FILE] KEYS...   (up to 4 sizes, each a "
              "multiple of 10)\n",
              stderr);
        return EXIT_USAGE;
    }
    InitLog(LOG_FILE_NAME);
    // An untimed first deletion, so that the first size does not pay for the warm-up.
    if (BuildTree(WARM_UP_KEYS))
        MyRegDeleteKeySub(HKEY_CURRENT_USER, TREE_KEY);
    static Deletion deletions[MAX_SIZES][MAX_RUNS];
    bool done = true;
    bool cpu = counter != NULL;
    for (int run = 0; done && run < runs; run++) {
        for (int i = 0; done && i < sizeCount; i++) {
            done = TimeDeletion(sizes[i], counter, &deletions[i][run]);
            cpu = cpu && deletions[i][run].cpuMilliseconds >= 0;
        }
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, BENCH_KEY);
    EndLog();
    if (!done)
        return EXIT_FAILED;
    double values[MAX_RUNS];
    for (int i = 0; i < sizeCount; i++) {
        for (int run = 0; run < runs; run++)
            values[run] = deletions[i][run].milliseconds;
        double median = Median(values, runs);
        // The tree's own top key is deleted too; it is left out of the count.
        printf("%d %.3f %.3f", sizes[i], median, median * 1000.0 / sizes[i]);
        for (int run = 0; cpu && run < runs; run++)
            values[run] = deletions[i][run].cpuMilliseconds;
        if (cpu)
            printf(" %.3f", Median(values, runs));
        printf("\n");
    }
    double growth = Growth(deletions, sizes, sizeCount, runs, false, values);
    printf("growth %.3f %.3f %.3f", growth, values[0], values[runs - 1]);
    if (cpu) {
        growth = Growth(deletions, sizes, sizeCount, runs, true, values);
        printf(" %.3f %.3f %.3f", growth, values[0], values[runs - 1]);
    }
    printf("\n");
    return 0;
}
