// The platform's facts: which Windows this is, the kernel functions that only some
// versions have, and the capacity of the paths it hands out. Every room asks here; this
// room asks none of ours.
#pragma once

#include <windows.h>

const int PLATFORM_PATH_CAPACITY = MAX_PATH; // paths handed out by the platform

// Nonzero (0xC0) on Windows 95/98/Me, 0 on the NT line.
int IsWin9x();

// FILE_FLAG_OPEN_REPARSE_POINT from Windows 2000 on, which has reparse points: a link is
// then opened itself, not what it points at. 0 on older systems, which have no links.
DWORD OpenReparsePointFlag();

// A kernel32 function that older systems lack; NULL where it is missing. The caller casts
// it to the function's own type.
void* KernelFunction(const char* name);
