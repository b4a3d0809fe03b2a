// A counter of CPU nanoseconds, such as a cgroup's cpuacct.usage, read through the file
// system: the CPU time that a group of processes spent between two readings.
#pragma once

#include <windows.h>

#include <stdlib.h>

const int CPU_COUNTER_CAPACITY = 32;
const double NANOSECONDS_PER_MILLISECOND = 1e6;

// The counter's value, or 0 when it cannot be read.
inline unsigned long long ReadCpuCounter(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char text[CPU_COUNTER_CAPACITY];
    DWORD length = 0;
    if (!ReadFile(file, text, CPU_COUNTER_CAPACITY - 1, &length, NULL))
        length = 0;
    CloseHandle(file);
    text[length] = '\0';
    return strtoull(text, NULL, 10);
}

// Milliseconds between two readings, or -1 when either could not be read.
inline double CpuMilliseconds(unsigned long long start, unsigned long long end) {
    if (start == 0 || end < start)
        return -1;
    return (double)(end - start) / NANOSECONDS_PER_MILLISECOND;
}
