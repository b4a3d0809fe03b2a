// Starts a program for the test bench from a process that runs under another Unix
// locale, and hands the suspended child's handles to the test.
//
// wintest_spawn <request file> <result file>
//   request: NUL-separated fields: test pid, program, command line, current directory
//            ("" = this one), output file, then the environment block (double NUL)
//   result:  "ok <process handle> <thread handle> <pid>" (handles valid in the test
//            process, hexadecimal), or "error <step> <code>"
//
// Wine takes a process's code page and UI language from the Unix locale of the Wine
// process that started it, never from the Windows environment block; the test starts
// this program as "env LANG=... wine wintest_spawn.exe" (a Unix command) so that the
// child inherits that locale.
#include "wintest.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static std::string ReadWhole(const char* path) {
    std::string content;
    FILE* file = fopen(path, "rb");
    if (file == NULL)
        return content;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    fclose(file);
    return content;
}

static int Answer(const char* resultPath, const char* text) {
    std::string part = std::string(resultPath) + ".part";
    FILE* file = fopen(part.c_str(), "wb");
    if (file == NULL)
        return 3;
    fputs(text, file);
    fclose(file);
    return MoveFileA(part.c_str(), resultPath) ? 0 : 3;
}

static int Fail(const char* resultPath, const char* step) {
    char text[128];
    sprintf(text, "error %s %lu", step, (unsigned long)GetLastError());
    Answer(resultPath, text);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const char* resultPath = argv[2];
    std::string request = ReadWhole(argv[1]);
    const char* fields[5];
    size_t offset = 0;
    for (int i = 0; i < 5; i++) {
        if (offset >= request.size())
            return Fail(resultPath, "request");
        fields[i] = request.c_str() + offset;
        offset += strlen(fields[i]) + 1;
    }
    if (offset >= request.size())
        return Fail(resultPath, "request");
    DWORD testPid = strtoul(fields[0], NULL, 10);
    char* environment = &request[offset];

    PROCESS_INFORMATION process = {};
    if (!wintest::start_suspended(fields[1], fields[2], environment, fields[3], fields[4],
                                  &process))
        return Fail(resultPath, "start");

    HANDLE test = OpenProcess(PROCESS_DUP_HANDLE, FALSE, testPid);
    HANDLE remoteProcess = NULL, remoteThread = NULL;
    if (test == NULL ||
        !DuplicateHandle(GetCurrentProcess(), process.hProcess, test, &remoteProcess, 0, FALSE,
                         DUPLICATE_SAME_ACCESS) ||
        !DuplicateHandle(GetCurrentProcess(), process.hThread, test, &remoteThread, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        TerminateProcess(process.hProcess, 1);
        return Fail(resultPath, "handles");
    }
    char text[128];
    sprintf(text, "ok %llx %llx %lu", (unsigned long long)(ULONG_PTR)remoteProcess,
            (unsigned long long)(ULONG_PTR)remoteThread, (unsigned long)process.dwProcessId);
    return Answer(resultPath, text);
}
