// What a path from the registry or the platform may be taken for.
#pragma once

#include <windows.h>

// Code 2 (the entry is not there) or 3 (a directory on its path is not there).
inline int IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// "X:\..." or "\\server\share...". Anything else would be taken relative to whatever the
// current directory or drive happens to be.
int IsAbsolutePath(const char* path);
