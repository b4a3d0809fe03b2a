// Deleting a file now, or at the next start when it is in use.
#pragma once

#include <windows.h>

int DeleteFileNowOrAtBoot(const char* path);
int ScheduleDeleteNT(const char* path);
int ScheduleDeleteWin9x(const char* path);
// Replaces each component that has an 8.3 alternate name by it, in place; leaves the
// path unchanged if its short form would not fit the capacity.
void ToShortPathName(char* path, size_t capacity);
// Edits the content of "WININIT.INI" held in region (capacity bytes, the first oldSize of
// them the old content): the entry line becomes the first line of the "[rename]" section,
// which is appended when missing. Returns the new size, or 0 (nothing written) if the
// region is too small.
DWORD InsertRenameEntry(char* region, DWORD capacity, DWORD oldSize, const char* entry,
                        DWORD entryLength);
