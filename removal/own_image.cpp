#include "removal/own_image.h"

#include "log/log.h"
#include "platform/platform.h"
#include "removal/boot_delete.h"
#include "removal/paths.h"

#include <stdio.h>
#include <string.h>

// "vxwipe-<pid>-<time>.tmp": the time of the run, in 100 ns steps, makes each run's names
// its own, so that no number of earlier runs whose files still wait for a restart can use
// them up; a name that exists, planted or not, is passed over, never replaced.
static const char MOVED_NAME_FORMAT[] = "vxwipe-%lu-%08lX%08lX.tmp";
const int MOVED_NAME_TRIES = 100;
const size_t MOVED_NAME_CAPACITY = sizeof "vxwipe--.tmp" + 10 + 16;
static const char STAYS[] = "it stays, and with it the install directory";

struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// A plain file of one name, reached through no link, with its identity; the same checks as
// the log's. Asked on a handle that shares everything: the running image allows no less.
static int ReadPlainFile(const char* path, FileIdentity* identity) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, OpenReparsePointFlag(), NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION information = {};
    int plain = GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1 &&
                (information.dwFileAttributes &
                 (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    CloseHandle(file);
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return plain;
}

static int SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// The temporary directory as the platform gives it (with its final backslash) into temp,
// and its full long form into tempLong; 0 if there is none that leaves room for a name.
static int GetMoveFolder(char* temp, char* tempLong) {
    DWORD length = GetTempPathA(PLATFORM_PATH_CAPACITY, temp);
    return length >= 1 && length + MOVED_NAME_CAPACITY <= (DWORD)PLATFORM_PATH_CAPACITY &&
           GetFullLongPath(temp, tempLong, PLATFORM_PATH_CAPACITY);
}

// Moves the file at path to a new name in folder, into moved; never copies, never replaces.
// 0 with the platform's error code in *error if it cannot.
static int MoveToNewName(const char* path, const char* folder, char* moved, DWORD* error) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (int i = 0; i < MOVED_NAME_TRIES; i++) {
        sprintf(moved, "%s", folder);
        sprintf(moved + strlen(moved), MOVED_NAME_FORMAT, (unsigned long)GetCurrentProcessId(),
                (unsigned long)now.dwHighDateTime, (unsigned long)(now.dwLowDateTime + i));
        if (MoveFileExA(path, moved, 0))
            return 1;
        *error = GetLastError();
        if (*error != ERROR_ALREADY_EXISTS && *error != ERROR_FILE_EXISTS)
            return 0;
    }
    return 0;
}

// A registration that failed leaves nothing behind in the temporary directory: the file
// goes back, and the install directory stays, as it would without the move.
static void MoveBack(const char* moved, const char* path) {
    if (MoveFileExA(moved, path, 0))
        LogMessage("MOIA: moved back to %s: %s\n", path, STAYS);
    else
        LogMessage("MOIA: cannot move it back to %s, code = %d: it stays in %s\n", path,
                   (int)GetLastError(), moved);
}

int MoveOwnImageAside(const char* installDir, int heldPlain) {
    char module[PLATFORM_PATH_CAPACITY];
    char path[PLATFORM_PATH_CAPACITY];
    char dir[PLATFORM_PATH_CAPACITY];
    DWORD length = GetModuleFileNameA(NULL, module, PLATFORM_PATH_CAPACITY);
    if (length == 0 || length >= (DWORD)PLATFORM_PATH_CAPACITY ||
        !GetFullLongPath(module, path, PLATFORM_PATH_CAPACITY) ||
        !GetFullLongPath(installDir, dir, PLATFORM_PATH_CAPACITY))
        return 0;
    const char* below = PartBelow(path, dir);
    if (below == NULL)
        return 0;
    LogMessage("  > MoveOwnImageAside(%s)\n", path);
    // Windows 9x cannot rename a running program. Nor is the file entered into WININIT.INI
    // where it lies: a new installation before the restart would lose its own file.
    if (IsWin9x()) {
        LogMessage("MOIA: Windows 9x cannot move a running program: %s\n", STAYS);
        return 0;
    }
    // A folder on the way that is a link would lead to some other file of that name.
    if (!heldPlain || LeadsThroughLink(path, (size_t)(below - path))) {
        LogMessage("MOIA: the way to it leads through a link or no directory: %s\n", STAYS);
        return 0;
    }
    char temp[PLATFORM_PATH_CAPACITY];
    char tempLong[PLATFORM_PATH_CAPACITY];
    if (!GetMoveFolder(temp, tempLong)) {
        LogMessage("MOIA: no temporary directory to move it to: %s\n", STAYS);
        return 0;
    }
    // A file waiting there for the restart would be deleted from a new installation too.
    if (LiesWithin(tempLong, dir)) {
        LogMessage("MOIA: the temporary directory %s lies in the install directory: %s\n", temp,
                   STAYS);
        return 0;
    }
    FileIdentity before, after;
    if (!ReadPlainFile(path, &before)) {
        LogMessage("MOIA: %s is a link or no plain file: %s\n", path, STAYS);
        return 0;
    }
    char moved[PLATFORM_PATH_CAPACITY];
    DWORD error = 0;
    if (!MoveToNewName(path, temp, moved, &error)) {
        LogMessage("MOIA: cannot move it to %s, code = %d: %s\n", temp, (int)error, STAYS);
        return 0;
    }
    LogMessage("MOIA: moved to %s\n", moved);
    // Only the file that was checked is left to the deletion at the next start.
    if (!ReadPlainFile(moved, &after) || !SameFile(before, after)) {
        LogMessage("MOIA: %s is not the file that was checked: not scheduled\n", moved);
        return 1;
    }
    // Only the NT line gets here: its deletion at the next start, never WININIT.INI's.
    if (ScheduleDeleteNT(moved))
        return 1;
    MoveBack(moved, path);
    return 0;
}
