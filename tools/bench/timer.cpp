// bench_timer: runs one command line and prints how long its process lived, from just
// before it is created to its end, in milliseconds, then its exit code:
//   bench_timer [-cpu FILE] "COMMAND LINE"   prints "<milliseconds> <exit code> [<cpu ms>]"
// The command line is handed to the process as it is, so programs that read their
// command line raw (an NSIS uninstaller's "_?=" for one) get exactly what was given.
// With -cpu, FILE is a counter of CPU nanoseconds (a cgroup's cpuacct.usage) read just
// before the start and after the end: the CPU time spent meanwhile, in milliseconds.
#include "cpu_counter.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

const DWORD RUN_TIME_LIMIT_MS = 300000;
const int EXIT_USAGE = 2;
const int EXIT_NOT_STARTED = 3;
const int EXIT_OVERSTAYED = 4;

double Milliseconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
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
    unsigned long long cpuStart = counter != NULL ? ReadCpuCounter(counter) : 0;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "bench_timer: cannot start %s, code = %lu\n", argv[1],
                (unsigned long)GetLastError());
        return EXIT_NOT_STARTED;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, RUN_TIME_LIMIT_MS);
    QueryPerformanceCounter(&end);
    unsigned long long cpuEnd = counter != NULL ? ReadCpuCounter(counter) : 0;
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
    double cpu = CpuMilliseconds(cpuStart, cpuEnd);
    if (counter != NULL && cpu < 0)
        printf(" -");
    else if (counter != NULL)
        printf(" %.3f", cpu);
    printf("\n");
    return waited == WAIT_OBJECT_0 ? 0 : EXIT_OVERSTAYED;
}
