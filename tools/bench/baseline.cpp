// bench_baseline: removes the sample installation with nothing but the bare platform
// calls, no log and no lookups, as the yardstick for the uninstaller:
//   bench_baseline [-nowindow] [-dir DIR] [-folder FOLDER] [-shortcut NAME]...
//                  [-key ROOT PATH]...
// DIR gets the manifest files, the manifest subdirectories and then itself removed;
// FOLDER (a Start-menu folder) its NAME.lnk shortcuts and then itself; each key tree
// (ROOT is HKLM, HKCU or HKCR) goes depth-first. Without arguments it does nothing,
// which measures the start-up of a process. The exit code counts what could not be
// removed, or is EXIT_USAGE for arguments it does not take.
// It starts as the uninstaller does, so that the two differ only in their work: a GUI
// program that registers a window class and makes a hidden window before its work.
// -nowindow leaves the window out, to show what it costs.
#include "removal/manifest.h"

#include <windows.h>

#include <stdlib.h>
#include <stdio.h>
#include <string.h>

namespace {

const int PATH_CAPACITY = 1024;
const int SUBKEY_CAPACITY = 260;
const int MAX_SHORTCUTS = 32;
const int MAX_KEYS = 16;
const int EXIT_USAGE = 100;
const char WINDOW_CLASS[] = "bench_baseline";
const int WINDOW_SIZE = 300;

struct KeyTree {
    HKEY root;
    const char* path;
};

struct Request {
    bool noWindow;
    const char* dir;
    const char* folder;
    const char* shortcuts[MAX_SHORTCUTS];
    int shortcutCount;
    KeyTree keys[MAX_KEYS];
    int keyCount;
};

bool RootByName(const char* name, HKEY* root) {
    if (strcmp(name, "HKLM") == 0)
        *root = HKEY_LOCAL_MACHINE;
    else if (strcmp(name, "HKCU") == 0)
        *root = HKEY_CURRENT_USER;
    else if (strcmp(name, "HKCR") == 0)
        *root = HKEY_CLASSES_ROOT;
    else
        return false;
    return true;
}

bool ParseRequest(int argc, char** argv, Request* request) {
    ZeroMemory(request, sizeof *request);
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-nowindow") == 0) {
            request->noWindow = true;
        } else if (strcmp(argv[i], "-dir") == 0 && i + 1 < argc) {
            request->dir = argv[++i];
        } else if (strcmp(argv[i], "-folder") == 0 && i + 1 < argc) {
            request->folder = argv[++i];
        } else if (strcmp(argv[i], "-shortcut") == 0 && i + 1 < argc &&
                   request->shortcutCount < MAX_SHORTCUTS) {
            request->shortcuts[request->shortcutCount++] = argv[++i];
        } else if (strcmp(argv[i], "-key") == 0 && i + 2 < argc && request->keyCount < MAX_KEYS) {
            KeyTree* key = &request->keys[request->keyCount++];
            if (!RootByName(argv[i + 1], &key->root))
                return false;
            key->path = argv[i + 2];
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

int DeleteOneFile(const char* path) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path) ? 0 : 1;
}

int RemoveOneDirectory(const char* path) {
    return RemoveDirectoryA(path) ? 0 : 1;
}

int RemoveShortcuts(const Request& request) {
    char path[PATH_CAPACITY];
    int failures = 0;
    for (int i = 0; i < request.shortcutCount; i++) {
        snprintf(path, PATH_CAPACITY, "%s\\%s.lnk", request.folder, request.shortcuts[i]);
        failures += DeleteOneFile(path);
    }
    return failures + RemoveOneDirectory(request.folder);
}

int RemoveInstallDirectory(const char* dir) {
    char path[PATH_CAPACITY];
    int failures = 0;
    for (const char* entry = InstalledFileTable; *entry != '\0'; entry = NextManifestEntry(entry)) {
        snprintf(path, PATH_CAPACITY, "%s\\%s", dir, entry);
        failures += DeleteOneFile(path);
    }
    for (const char* entry = InstalledDirTable; *entry != '\0'; entry = NextManifestEntry(entry)) {
        snprintf(path, PATH_CAPACITY, "%s\\%s", dir, entry);
        failures += RemoveOneDirectory(path);
    }
    return failures + RemoveOneDirectory(dir);
}

// Always enumerates index 0: each subkey found is gone before the next is asked for.
int DeleteKeyTree(HKEY parent, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 1;
    int failures = 0;
    char name[SUBKEY_CAPACITY];
    for (;;) {
        DWORD length = SUBKEY_CAPACITY;
        if (RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (DeleteKeyTree(key, name) != 0) {
            failures++;
            break;
        }
    }
    RegCloseKey(key);
    return failures + (RegDeleteKeyA(parent, path) == ERROR_SUCCESS ? 0 : 1);
}

HWND MakeHiddenWindow(HINSTANCE instance) {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, WINDOW_CLASS, WINDOW_CLASS, WS_OVERLAPPEDWINDOW, 0, 0, WINDOW_SIZE,
                           WINDOW_SIZE, NULL, NULL, instance, NULL);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Request request;
    if (!ParseRequest(__argc, __argv, &request))
        return EXIT_USAGE;
    if (!request.noWindow)
        MakeHiddenWindow(instance);
    int failures = 0;
    if (request.folder != NULL)
        failures += RemoveShortcuts(request);
    if (request.dir != NULL)
        failures += RemoveInstallDirectory(request.dir);
    for (int i = 0; i < request.keyCount; i++)
        failures += DeleteKeyTree(request.keys[i].root, request.keys[i].path);
    return failures;
}
