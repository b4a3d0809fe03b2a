// bench_timer: runs one command line and prints how long its process lived, from just
// before it is created to its end, in milliseconds, then its exit code:
//   bench_timer "COMMAND LINE"      prints "<milliseconds> <exit code>"
// The command line is handed to the process as it is, so programs that read their
// command line raw (an NSIS uninstaller's "_?=" for one) get exactly what was given.
#include <windows.h>

#include <stdio.h>

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
    if (argc != 2) {
        fputs("usage: bench_timer \"COMMAND LINE\"\n", stderr);
        return EXIT_USAGE;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "bench_timer: cannot start %s, code = %lu\n", argv[1],
                (unsigned long)GetLastError());
        return EXIT_NOT_STARTED;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, RUN_TIME_LIMIT_MS);
    QueryPerformanceCounter(&end);
    DWORD exitCode = 0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, EXIT_OVERSTAYED);
        WaitForSingleObject(process.hProcess, RUN_TIME_LIMIT_MS);
        fprintf(stderr, "bench_timer: %s overstayed and was ended\n", argv[1]);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("%.3f %lu\n", Milliseconds(start, end), (unsigned long)exitCode);
    return waited == WAIT_OBJECT_0 ? 0 : EXIT_OVERSTAYED;
}
