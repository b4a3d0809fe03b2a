// bench_timer: runs one command line and prints how long its process lived, from just
// before it is created to its end, in milliseconds, then its exit code:
//   bench_timer [-cpu FILE] "COMMAND LINE"   prints "<milliseconds> <exit code> [<cpu ms>]"
// The command line is handed to the process as it is, so programs that read their
// command line raw (an NSIS uninstaller's "_?=" for one) get exactly what was given.
// With -cpu, FILE is a counter of CPU nanoseconds (a cgroup's cpuacct.usage) read just
// before the start and after the end: the CPU time spent meanwhile, in milliseconds.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const DWORD RUN_TIME_LIMIT_MS = 300000;
const int EXIT_USAGE = 2;
const int EXIT_NOT_STARTED = 3;
const int EXIT_OVERSTAYED = 4;
const int COUNTER_CAPACITY = 32;
const double NANOSECONDS_PER_MILLISECOND = 1e6;

double Milliseconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

// The counter's value, or 0 when it cannot be read.
unsigned long long ReadCounter(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char text[COUNTER_CAPACITY];
    DWORD length = 0;
    if (!ReadFile(file, text, COUNTER_CAPACITY - 1, &length, NULL))
        length = 0;
    CloseHandle(file);
    text[length] = '\0';
    return strtoull(text, NULL, 10);
}

} // namespace

int main(int argc, char** argv) {
    const char* counter = NULL;
    if (argc == 4 && strcmp(argv[1], "-cpu") == 0) {
        counter = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 2) {
        fputs("usage: bench_timer [-cpu FILE] \"COMMAND LINE\"\n", stderr);
        return EXIT_USAGE;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    unsigned long long cpuStart = counter != NULL ? ReadCounter(counter) : 0;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "bench_timer: cannot start %s, code = %lu\n", argv[1],
                (unsigned long)GetLastError());
        return EXIT_NOT_STARTED;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, RUN_TIME_LIMIT_MS);
    QueryPerformanceCounter(&end);
    unsigned long long cpuEnd = counter != NULL ? ReadCounter(counter) : 0;
    DWORD exitCode = 0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, EXIT_OVERSTAYED);
        WaitForSingleObject(process.hProcess, RUN_TIME_LIMIT_MS);
        fprintf(stderr, "bench_timer: %s overstayed and was ended\n", argv[1]);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("%.3f %lu", Milliseconds(start, end), (unsigned long)exitCode);
    if (counter != NULL && (cpuStart == 0 || cpuEnd < cpuStart))
        printf(" -");
    else if (counter != NULL)
        printf(" %.3f", (double)(cpuEnd - cpuStart) / NANOSECONDS_PER_MILLISECOND);
    printf("\n");
    return waited == WAIT_OBJECT_0 ? 0 : EXIT_OVERSTAYED;
}
