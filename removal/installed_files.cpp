#include "removal/installed_files.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "log/log.h"
#include "removal/manifest.h"

#include <stdio.h>
#include <string.h>

enum RemoveOutcome { REMOVED, NOT_THERE, REMAINS };

// Joins installDir and entry with one backslash; 0 when the result would not fit.
static int JoinPath(char* path, int capacity, const char* installDir, const char* entry) {
    if (strlen(installDir) + 1 + strlen(entry) + 1 > (size_t)capacity)
        return 0;
    sprintf(path, "%s\\%s", installDir, entry);
    return 1;
}

static int IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static int IsLink(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when a directory between the install directory and the entry, or the entry
// itself when it is a directory, is a junction or symbolic link: what lies behind it
// is outside the install directory. path is the joined path; entry starts at its end.
static int LeadsThroughLink(char* path, size_t entryStart, int entryIsDir) {
    for (char* at = path + entryStart; *at != '\0'; at++) {
        if (*at != '\\')
            continue;
        *at = '\0';
        int link = IsLink(path);
        *at = '\\';
        if (link)
            return 1;
    }
    return entryIsDir && IsLink(path);
}

// Files and directories differ only in the word of their lines and the removal call.
struct EntryKind {
    const char* noun;
    BOOL(WINAPI* remove)(LPCSTR path);
    int isDir;
};

static const EntryKind FILE_KIND = {"file", DeleteFileA, 0};
static const EntryKind DIR_KIND = {"dir", RemoveDirectoryA, 1};

static RemoveOutcome RemoveEntry(const EntryKind& kind, const char* installDir, const char* entry) {
    char path[TEXT_CAPACITY];
    // Longer than any path the platform takes: reported as it reports one, and counted.
    if (!JoinPath(path, TEXT_CAPACITY, installDir, entry)) {
        LogMessage("  cannot get attribute of %s: %s\\%s, %d\n", kind.noun, installDir, entry,
                   (int)ERROR_FILENAME_EXCED_RANGE);
        return REMAINS;
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (IsMissing(error))
            return NOT_THERE;
        LogMessage("  cannot get attribute of %s: %s, %d\n", kind.noun, path, (int)error);
        return REMAINS;
    }
    // Never followed: the link stays, and with it the install directory.
    if (LeadsThroughLink(path, strlen(path) - strlen(entry), kind.isDir)) {
        LogMessage("  cannot remove %s: %s\n", kind.noun, path);
        return REMAINS;
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!kind.remove(path)) {
        LogMessage("  cannot remove %s: %s\n", kind.noun, path);
        return REMAINS;
    }
    return REMOVED;
}

void RemoveInstalledFiles(const char* installDir) {
    LogMessage("=== RemoveInstalledFiles ===\n");
    int remainFiles = 0;
    int remainDirs = 0;
    for (int i = 0; InstalledFileTable[i] != NULL; i++) {
        if (RemoveEntry(FILE_KIND, installDir, InstalledFileTable[i]) == REMAINS)
            remainFiles++;
    }
    LogMessage("  remain files: %d\n", remainFiles);
    for (int i = 0; InstalledDirTable[i] != NULL; i++) {
        if (RemoveEntry(DIR_KIND, installDir, InstalledDirTable[i]) == REMAINS)
            remainDirs++;
    }
    LogMessage("  remain dirs: %d\n", remainDirs);
    SetFileAttributesA(installDir, FILE_ATTRIBUTE_NORMAL);
    if (RemoveDirectoryA(installDir))
        return;
    ShowWarning(ComposeFromTemplate(IDS_DIR_NOT_REMOVED, installDir));
    g_state.errorCount++;
}
