#include "removal/installed_files.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "log/log.h"
#include "platform/platform.h"
#include "removal/manifest.h"
#include "removal/own_image.h"
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

// While the run removes the entries of a directory, it holds that directory open without
// FILE_SHARE_DELETE, so that no one can rename it and put a link in its place, and every
// directory above it up to the install directory alike. Each is held from the first entry
// that needs it until its own removal, and asked once, on the handle held, whether it is a
// plain directory. Windows 9x has no links and opens no directories: nothing is held there.
// HELD_NOT_PLAIN: a link, or no directory at all.
enum HeldState { NOT_HELD, HELD_PLAIN, HELD_NOT_PLAIN };

struct HeldDir {
    HeldState state;
    HANDLE handle;
    DWORD attributes; // as read on the handle
};

struct HeldDirs {
    int active; // 0 on Windows 9x
    HeldDir installDir;
    HeldDir dir[INSTALLED_DIR_COUNT]; // by the index in InstalledDirTable
};

// Where the system opens what a link points at (Wine does), the name still shows the link:
// asked while the directory is held, the name cannot change between the two answers.
static void HoldDir(HeldDir* held, const char* path) {
    HANDLE handle =
        CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | OpenReparsePointFlag(), NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION information;
    int plain = GetFileInformationByHandle(handle, &information) &&
                (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !IsLinkAttributes(information.dwFileAttributes) &&
                !IsLinkAttributes(GetFileAttributesA(path));
    held->handle = handle;
    held->attributes = plain ? information.dwFileAttributes : FILE_ATTRIBUTE_REPARSE_POINT;
    held->state = plain ? HELD_PLAIN : HELD_NOT_PLAIN;
}

static void ReleaseDir(HeldDir* held) {
    if (held->state != NOT_HELD)
        CloseHandle(held->handle);
    held->state = NOT_HELD;
}

// Index in InstalledDirTable of the directory entry[0, length), or -1.
static int ManifestDirIndex(const char* entry, size_t length) {
    int i = 0;
    for (const char* dir = InstalledDirTable; *dir != '\0'; dir = NextManifestEntry(dir), i++) {
        if (strncmp(dir, entry, length) == 0 && dir[length] == '\0')
            return i;
    }
    return -1;
}

// True when the install directory and every directory between it and the entry are held
// as plain directories. path is the joined path; the entry starts at entryStart.
static int HoldPathTo(HeldDirs* held, char* path, size_t entryStart) {
    // Where no directory can be held (Windows 9x), one on the way may still show itself as
    // a link: a share or an emulation may have them.
    if (!held->active)
        return !LeadsThroughLink(path, entryStart);
    if (held->installDir.state != HELD_PLAIN)
        return 0;
    const char* entry = path + entryStart;
    for (char* at = path + entryStart; *at != '\0'; at++) {
        if (*at != '\\')
            continue;
        int index = ManifestDirIndex(entry, (size_t)(at - entry));
        if (index < 0)
            return 0;
        HeldDir* dir = &held->dir[index];
        if (dir->state == NOT_HELD) {
            *at = '\0';
            HoldDir(dir, path);
            *at = '\\';
        }
        if (dir->state != HELD_PLAIN)
            return 0;
    }
    return 1;
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
// A link is removed itself, never reset: the reset would reach what it points at.
static int ResetAndRemove(const EntryKind& kind, const char* path, DWORD attributes) {
    int link = IsLinkAttributes(attributes);
    if ((!(attributes & BLOCKING_ATTRIBUTES) || link) && kind.remove(path))
        return 1;
    if (link)
        return 0;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return kind.remove(path);
}

// A directory held since its files went is known to be there: it is let go and removed.
static DWORD ReadOrRelease(const EntryKind& kind, const char* path, HeldDir* held) {
    if (kind.isDir && held != NULL && held->state == HELD_PLAIN) {
        ReleaseDir(held);
        return held->attributes;
    }
    return GetFileAttributesA(path);
}

static RemoveOutcome RemoveEntry(const EntryKind& kind, const char* installDir, const char* entry,
                                 HeldDirs* held, HeldDir* heldSelf) {
    char path[TEXT_CAPACITY];
    // Longer than any path the platform takes: reported as it reports one, and counted.
    if (!JoinPath(path, TEXT_CAPACITY, installDir, entry)) {
        LogMessage("  cannot get attribute of %s: %s\\%s, %d\n", kind.noun, installDir, entry,
                   (int)ERROR_FILENAME_EXCED_RANGE);
        return REMAINS;
    }
    DWORD attributes = ReadOrRelease(kind, path, heldSelf);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (IsMissing(error))
            return NOT_THERE;
        LogMessage("  cannot get attribute of %s: %s, %d\n", kind.noun, path, (int)error);
        return REMAINS;
    }
    // Never followed: the link stays, and with it the install directory.
    if (!HoldPathTo(held, path, strlen(path) - strlen(entry)) ||
        (kind.isDir && (IsLinkAttributes(attributes) ||
                        (heldSelf != NULL && heldSelf->state == HELD_NOT_PLAIN))) ||
        !ResetAndRemove(kind, path, attributes)) {
        LogMessage("  cannot remove %s: %s\n", kind.noun, path);
        return REMAINS;
    }
    return REMOVED;
}

// The install directory goes last, once let go; a link in its place stays.
static int RemoveInstallDir(HeldDirs* held, const char* installDir) {
    DWORD attributes = FILE_ATTRIBUTE_READONLY; // unknown: reset first, as it may be
    if (held->installDir.state == HELD_NOT_PLAIN)
        return 0;
    if (held->installDir.state == HELD_PLAIN)
        attributes = held->installDir.attributes;
    ReleaseDir(&held->installDir);
    return ResetAndRemove(DIR_KIND, installDir, attributes);
}

static void ReleaseAll(HeldDirs* held) {
    ReleaseDir(&held->installDir);
    for (int i = 0; i < INSTALLED_DIR_COUNT; i++)
        ReleaseDir(&held->dir[i]);
}

void RemoveInstalledFiles(const char* installDir) {
    LogMessage("=== RemoveInstalledFiles ===\n");
    HeldDirs held = {};
    held.active = !IsWin9x();
    if (held.active)
        HoldDir(&held.installDir, installDir);
    // Started from the install directory, the program's own file would keep it in place.
    // Nothing is taken from below a link, there or anywhere.
    MoveOwnImageAside(installDir, held.installDir.state == HELD_PLAIN);
    int remainFiles = 0;
    int remainDirs = 0;
    for (const char* entry = InstalledFileTable; *entry != '\0'; entry = NextManifestEntry(entry)) {
        if (RemoveEntry(FILE_KIND, installDir, entry, &held, NULL) == REMAINS)
            remainFiles++;
    }
    LogMessage("  remain files: %d\n", remainFiles);
    int i = 0;
    for (const char* entry = InstalledDirTable; *entry != '\0';
         entry = NextManifestEntry(entry), i++) {
        if (RemoveEntry(DIR_KIND, installDir, entry, &held, &held.dir[i]) == REMAINS)
            remainDirs++;
    }
    LogMessage("  remain dirs: %d\n", remainDirs);
    int removed = RemoveInstallDir(&held, installDir);
    ReleaseAll(&held);
    if (removed)
        return;
    ShowWarning(ComposeFromTemplate(IDS_DIR_NOT_REMOVED, installDir));
    g_state.errorCount++;
}
