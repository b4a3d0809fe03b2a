#include "removal/boot_delete.h"

#include "app/state.h"
#include "log/log.h"
#include "platform/platform.h"
#include "removal/paths.h"

#include <stdio.h>
#include <string.h>

static const char LIST_FILE_NAME[] = "WININIT.INI";
static const char RENAME_HEADER[] = "[rename]\r\n";
const DWORD HEADER_LENGTH = sizeof RENAME_HEADER - 1;
static const char ENTRY_FORMAT[] = "NUL=%s\r\n";
const size_t ENTRY_CAPACITY = sizeof "NUL=\r\n" - 1 + PLATFORM_PATH_CAPACITY;
const size_t SHORT_PATH_CAPACITY = TEXT_CAPACITY;
const DWORD ERROR_PATH_TOO_LONG = ERROR_FILENAME_EXCED_RANGE;

static const char NOW_REMOVED_LINE[] = "    now remove file [%s]\n";
static const char WIN9X_SCHEDULED_LINE[] = "    next boot, remove file [%s]\n";
static const char WIN9X_FAILED_LINE[] = "    something error is happend about [%s]\n";
static const char NT_SCHEDULED_LINE[] = "    next boot, remove file (%s).\n";
static const char NT_FAILED_LINE[] = "    ERRO: cannot remove file (%s), code = %d\n";

int DeleteFileNowOrAtBoot(const char* path) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return ScheduleDeleteWin9x(path);
    return ScheduleDeleteNT(path);
}

static int FitsPlatformPath(const char* path) {
    return strlen(path) < (size_t)PLATFORM_PATH_CAPACITY;
}

// The first steps of both methods: deletes the file and tells whether it is gone.
// Asking for the attributes opens nothing, so a file held open without sharing, or
// with a path too long for an OFSTRUCT, still counts as present. Only "not found"
// means gone: a refused or invalid lookup may hide a file that is still there.
static int RemoveNow(const char* path) {
    DeleteFileA(path);
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES || !IsMissing(GetLastError()))
        return 0;
    LogMessage(NOW_REMOVED_LINE, path);
    return 1;
}

int ScheduleDeleteNT(const char* path) {
    if (!FitsPlatformPath(path)) {
        LogMessage(NT_FAILED_LINE, path, (int)ERROR_PATH_TOO_LONG);
        return 0;
    }
    if (RemoveNow(path))
        return 1;
    BOOL registered = MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!registered) {
        LogMessage(NT_FAILED_LINE, path, (int)GetLastError());
        return 0;
    }
    LogMessage(NT_SCHEDULED_LINE, path);
    return registered;
}

void ToShortPathName(char* path, size_t capacity) {
    char output[SHORT_PATH_CAPACITY];
    if (capacity > SHORT_PATH_CAPACITY)
        capacity = SHORT_PATH_CAPACITY;
    if (BuildPathForm(path, output, capacity, SHORT_FORM))
        strcpy(path, output);
}

// Offset of the first "[rename]\r\n" in the text of the first size bytes (up to the
// first NUL), or size if there is none.
static DWORD FindRenameHeader(const char* content, DWORD size) {
    const char* nul = (const char*)memchr(content, '\0', size);
    DWORD textLength = nul != NULL ? (DWORD)(nul - content) : size;
    for (DWORD offset = 0; offset + HEADER_LENGTH <= textLength; offset++) {
        if (memcmp(content + offset, RENAME_HEADER, HEADER_LENGTH) == 0)
            return offset;
    }
    return size;
}

DWORD InsertRenameEntry(char* region, DWORD capacity, DWORD oldSize, const char* entry,
                        DWORD entryLength) {
    if (oldSize > capacity || entryLength > capacity - oldSize)
        return 0;
    DWORD header = FindRenameHeader(region, oldSize);
    if (header < oldSize) {
        DWORD insertion = header + HEADER_LENGTH;
        memmove(region + insertion + entryLength, region + insertion, oldSize - insertion);
        memcpy(region + insertion, entry, entryLength);
        return oldSize + entryLength;
    }
    if (HEADER_LENGTH > capacity - oldSize - entryLength)
        return 0;
    memcpy(region + oldSize, RENAME_HEADER, HEADER_LENGTH);
    memcpy(region + oldSize + HEADER_LENGTH, entry, entryLength);
    return oldSize + HEADER_LENGTH + entryLength;
}

// "WININIT.INI" in the Windows directory; 0 if the name does not fit.
static int GetListFileName(char* name, size_t capacity) {
    UINT length = GetWindowsDirectoryA(name, (UINT)capacity);
    if (length == 0 || length >= capacity)
        return 0;
    AppendBackslash(name, capacity);
    if (strlen(name) + sizeof LIST_FILE_NAME > capacity)
        return 0;
    strcat(name, LIST_FILE_NAME);
    return 1;
}

// Adds the entry to the list file, edited in place through one mapping that has room for
// the header too. The file is cut to its new size, or back to its old size when the
// mapping fails. 1 if the entry was written.
static int AddEntryToListFile(const char* name, const char* entry, DWORD entryLength) {
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD sizeHigh = 0;
    DWORD oldSize = GetFileSize(file, &sizeHigh);
    if (sizeHigh != 0 || oldSize > MAXDWORD - entryLength - HEADER_LENGTH) {
        CloseHandle(file);
        return 0;
    }
    int result = 0;
    DWORD newSize = oldSize;
    DWORD mappedSize = oldSize + entryLength + HEADER_LENGTH;
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0, mappedSize, NULL);
    if (mapping != NULL) {
        char* view = (char*)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
        if (view != NULL) {
            DWORD editedSize = InsertRenameEntry(view, mappedSize, oldSize, entry, entryLength);
            UnmapViewOfFile(view);
            if (editedSize != 0) {
                newSize = editedSize;
                result = 1;
            }
        }
        CloseHandle(mapping);
    }
    SetFilePointer(file, (LONG)newSize, NULL, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return result;
}

int ScheduleDeleteWin9x(const char* path) {
    if (!FitsPlatformPath(path)) {
        LogMessage(WIN9X_FAILED_LINE, path);
        return 0;
    }
    if (RemoveNow(path))
        return 1;
    int result = 0;
    const char* shown = path;
    char shortPath[PLATFORM_PATH_CAPACITY];
    if (BuildPathForm(path, shortPath, sizeof shortPath, SHORT_FORM)) {
        shown = shortPath;
        char listName[PLATFORM_PATH_CAPACITY];
        if (GetListFileName(listName, sizeof listName)) {
            char entry[ENTRY_CAPACITY];
            int entryLength = sprintf(entry, ENTRY_FORMAT, shortPath);
            result = AddEntryToListFile(listName, entry, (DWORD)entryLength);
        }
    }
    LogMessage(result ? WIN9X_SCHEDULED_LINE : WIN9X_FAILED_LINE, shown);
    return result;
}
