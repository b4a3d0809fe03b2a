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

// Which name of each existing component BuildPathForm writes: its 8.3 alternate name
// where it has one, or its name as the file system keeps it.
enum PathForm { SHORT_FORM, LONG_FORM };

// Builds path with each component that exists replaced by that name of it, looked up
// under its already rebuilt parents; a component that is missing, or whose lookup could
// match another entry, stays as written. 0 if the result would not fit the capacity.
int BuildPathForm(const char* path, char* output, size_t capacity, PathForm form);

// The absolute, long form of path: "." and ".." resolved, every existing component by its
// full name. 0 if there is none that fits the capacity.
int GetFullLongPath(const char* path, char* output, size_t capacity);

// Where path names something below dir, both full long paths (dir's text in any letter
// case of the ASCII letters, a double-byte character compared as it is, any final
// backslashes of dir left out, then a backslash and more): the rest of path from that
// backslash on. NULL where it does not.
const char* PartBelow(const char* path, const char* dir);
// True when path lies below dir, or is dir itself.
int LiesWithin(const char* path, const char* dir);

inline int IsLinkAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when a directory on path after its first start bytes, up to its last component,
// shows itself as a link.
int LeadsThroughLink(char* path, size_t start);
