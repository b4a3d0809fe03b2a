#include "removal/installed_files.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "log/log.h"
#include "removal/manifest.h"
#include "removal/paths.h"

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

static int IsLinkAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Whether each manifest directory is a junction or symbolic link, by its index in
// InstalledDirTable, as far as this run has asked. One answer per directory and run is
// enough: the run only deletes, so nothing it does can make a directory a link.
enum LinkAnswer { NOT_ASKED, PLAIN_DIR, LINK_DIR };

struct DirLinks {
    LinkAnswer answer[INSTALLED_DIR_COUNT];
};

// Index in InstalledDirTable of the directory entry[0, length), or -1.
static int ManifestDirIndex(const char* entry, size_t length) {
    for (int i = 0; InstalledDirTable[i] != NULL; i++) {
        if (strncmp(InstalledDirTable[i], entry, length) == 0 &&
            InstalledDirTable[i][length] == '\0')
            return i;
    }
    return -1;
}

// Asks the platform about dirPath only when the run has no answer for it yet. A directory
// whose attributes cannot be read counts as no link and is asked about again next time.
static int IsLinkDir(const char* dirPath, int dirIndex, DirLinks* links) {
    if (dirIndex >= 0 && links->answer[dirIndex] != NOT_ASKED)
        return links->answer[dirIndex] == LINK_DIR;
    DWORD attributes = GetFileAttributesA(dirPath);
    int link = IsLinkAttributes(attributes);
    if (dirIndex >= 0 && attributes != INVALID_FILE_ATTRIBUTES)
        links->answer[dirIndex] = link ? LINK_DIR : PLAIN_DIR;
    return link;
}

// True when a directory between the install directory and the entry is a junction or
// symbolic link: what lies behind it is outside the install directory. path is the
// joined path; entry starts at its end.
static int LeadsThroughLink(char* path, size_t entryStart, DirLinks* links) {
    const char* entry = path + entryStart;
    for (char* at = path + entryStart; *at != '\0'; at++) {
        if (*at != '\\')
            continue;
        *at = '\0';
        int link = IsLinkDir(path, ManifestDirIndex(entry, (size_t)(at - entry)), links);
        *at = '\\';
        if (link)
            return 1;
    }
    return 0;
}

// Attributes that the reset to FILE_ATTRIBUTE_NORMAL clears and that can stand in the way
// of a removal.
const DWORD BLOCKING_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Files and directories differ only in the word of their lines and the removal call.
struct EntryKind {
    const char* noun;
    BOOL(WINAPI* remove)(LPCSTR path);
    int isDir;
};

static const EntryKind FILE_KIND = {"file", DeleteFileA, 0};
static const EntryKind DIR_KIND = {"dir", RemoveDirectoryA, 1};

// Resets the attributes and removes the entry. The reset is a call of its own, so it is
// made first only when the attributes read could stand in the way; otherwise only after a
// refusal, before the one more try, so an entry that remains is left reset all the same.
static int ResetAndRemove(const EntryKind& kind, const char* path, DWORD attributes) {
    if (!(attributes & BLOCKING_ATTRIBUTES) && kind.remove(path))
        return 1;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return kind.remove(path);
}

static RemoveOutcome RemoveEntry(const EntryKind& kind, const char* installDir, const char* entry,
                                 DirLinks* links) {
    char path[TEXT_CAPACITY];
    // Longer than any path the platform takes: reported as it reports one, and counted.
    if (!JoinPath(path, TEXT_CAPACITY, installDir, entry)) {
        LogMessage("  cannot get attribute of %s: %s\\%s, %d\n", kind.noun, installDir, entry,
                   (int)ERROR_FILENAME_EXCED_RANGE);
        return REMAINS;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (IsMissing(error))
            return NOT_THERE;
        LogMessage("  cannot get attribute of %s: %s, %d\n", kind.noun, path, (int)error);
        return REMAINS;
    }
    // Never followed: the link stays, and with it the install directory.
    if (LeadsThroughLink(path, strlen(path) - strlen(entry), links) ||
        (kind.isDir && IsLinkAttributes(attributes))) {
        LogMessage("  cannot remove %s: %s\n", kind.noun, path);
        return REMAINS;
    }
    if (!ResetAndRemove(kind, path, attributes)) {
        LogMessage("  cannot remove %s: %s\n", kind.noun, path);
        return REMAINS;
    }
    return REMOVED;
}

void RemoveInstalledFiles(const char* installDir) {
    LogMessage("=== RemoveInstalledFiles ===\n");
    DirLinks links = {};
    int remainFiles = 0;
    int remainDirs = 0;
    for (int i = 0; InstalledFileTable[i] != NULL; i++) {
        if (RemoveEntry(FILE_KIND, installDir, InstalledFileTable[i], &links) == REMAINS)
            remainFiles++;
    }
    LogMessage("  remain files: %d\n", remainFiles);
    for (int i = 0; InstalledDirTable[i] != NULL; i++) {
        if (RemoveEntry(DIR_KIND, installDir, InstalledDirTable[i], &links) == REMAINS)
            remainDirs++;
    }
    LogMessage("  remain dirs: %d\n", remainDirs);
    SetFileAttributesA(installDir, FILE_ATTRIBUTE_NORMAL);
    if (RemoveDirectoryA(installDir))
        return;
    ShowWarning(ComposeFromTemplate(IDS_DIR_NOT_REMOVED, installDir));
    g_state.errorCount++;
}
