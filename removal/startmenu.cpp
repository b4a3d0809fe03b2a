#include "removal/startmenu.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "log/log.h"
#include "platform/platform.h"
#include "removal/paths.h"
#include "removal/registry.h"

// Ahead of the shell's headers: they bring in the C++ library, which switches stdio.h to
// MinGW's own printf family, some 28 KB more in the program.
#include <stdio.h>

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string.h>

static const char SHELL_FOLDERS_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char COMMON_PROGRAMS_VALUE[] = "Common Programs";
static const char USER_PROGRAMS_VALUE[] = "Programs";
static const char SHORTCUT_DESCRIPTION[] = "";

// Separators and extension that a path adds to its parts: "%s\%s" and "%s\%s\%s.lnk".
const size_t FOLDER_PATH_EXTRA = 1;
const size_t SHORTCUT_PATH_EXTRA = 6;

// Shortcut names removed by RemoveShortCut, in this order (second wordings first).
static const unsigned int SHORTCUT_IDS[] = {
    IDS_SHORTCUT_README_2,         IDS_SHORTCUT_UPDATE_2,    IDS_SHORTCUT_CONTROL_PANEL_2,
    IDS_SHORTCUT_PRODUCT,          IDS_SHORTCUT_README,      IDS_SHORTCUT_UPDATE,
    IDS_SHORTCUT_CONTROL_PANEL,    IDS_SHORTCUT_XSTARTER,    IDS_SHORTCUT_UNINSTALL,
    IDS_SHORTCUT_CONFIG_ASSISTANT, IDS_SHORTCUT_ONLINE_HELP,
};

// Reads one Shell Folders value into the cache buffer of slot; the slot refers to it
// only when the value was read whole and names an absolute path. An empty or relative
// folder would put the product's folder at the root of the current drive or in the
// current directory, where another one may be.
static void ResolveProgramsSlot(HKEY root, const char* valueName, int slot) {
    HKEY key = NULL;
    if (MyRegOpenKeyEx(root, SHELL_FOLDERS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    char* buffer = g_state.programsBuffer[slot];
    buffer[0] = '\0';
    DWORD type = REG_SZ;
    if (QueryStringValue(key, valueName, &type, buffer, STARTMENU_PATH_CAPACITY) == ERROR_SUCCESS &&
        IsAbsolutePath(buffer))
        g_state.programsSlot[slot] = buffer;
    MyRegCloseKey(key);
}

const char* getAppFolderLocation(int scope) {
    if (scope != SYSTEM && scope != USER) {
        LogMessage("gAFL: unknown parameter(%d) is specified.\n", scope);
        return NULL;
    }
    if (!g_state.programsFirstCall)
        return g_state.programsSlot[scope];
    g_state.programsFirstCall = 0;
    g_state.programsSlot[SYSTEM] = NULL;
    g_state.programsSlot[USER] = NULL;
    if (!IsWin9x())
        ResolveProgramsSlot(HKEY_LOCAL_MACHINE, COMMON_PROGRAMS_VALUE, SYSTEM);
    // Windows 9x has no common Programs folder: the user's one serves every user.
    ResolveProgramsSlot(HKEY_CURRENT_USER, USER_PROGRAMS_VALUE, IsWin9x() ? SYSTEM : USER);
    if (g_state.programsSlot[SYSTEM] != NULL)
        LogMessage("gAFL: SYSTEM, loc: %s\n", g_state.programsSlot[SYSTEM]);
    if (g_state.programsSlot[USER] != NULL)
        LogMessage("gAFL: USER,   loc: %s\n", g_state.programsSlot[USER]);
    return g_state.programsSlot[scope];
}

// Lines of the shared frame that differ between the operations.
struct FrameLines {
    const char* noProgramsFolder;
    const char* tooLong; // NULL: the operation writes no line for a path too long
};

// The shared frame after the announcement: finds the Programs folder of scope and
// composes the folder path (shortcut NULL) or the shortcut path into path. Returns 0,
// after the operation's line, when there is no Programs folder or the path won't fit.
static int ComposeStartMenuPath(int scope, const char* folder, const char* shortcut,
                                const FrameLines& lines, char* path, size_t capacity) {
    const char* programs = getAppFolderLocation(scope);
    if (programs == NULL) {
        LogMessage("%s", lines.noProgramsFolder);
        return 0;
    }
    size_t length = strlen(programs) + strlen(folder);
    length += shortcut == NULL ? FOLDER_PATH_EXTRA : strlen(shortcut) + SHORTCUT_PATH_EXTRA;
    if (length >= capacity) {
        if (lines.tooLong != NULL)
            LogMessage("%s", lines.tooLong);
        return 0;
    }
    if (shortcut == NULL)
        sprintf(path, "%s\\%s", programs, folder);
    else
        sprintf(path, "%s\\%s\\%s.lnk", programs, folder, shortcut);
    return 1;
}

static const FrameLines EXIST_GROUP_LINES = {"iEG: fail to get application folder path\n",
                                             "iEG: too long parameter\n"};
static const FrameLines CREATE_GROUP_LINES = {"CPG: fail to get application folder path\n",
                                              "CPG: too long parameter\n"};
static const FrameLines DELETE_GROUP_LINES = {"DPG: fail to get application folder path\n",
                                              "DPG: too long parameter\n"};
static const FrameLines CREATE_ITEM_LINES = {"CPI: fail to get application folder path\n", NULL};
static const FrameLines REMOVE_ITEM_LINES = {"RPI: fail to get application folder path\n", NULL};

int isExistGroup(int scope, const char* folder) {
    LogMessage("  > isExistGroup(%d, %s)\n", scope, folder);
    char path[STARTMENU_PATH_CAPACITY];
    if (!ComposeStartMenuPath(scope, folder, NULL, EXIST_GROUP_LINES, path,
                              STARTMENU_PATH_CAPACITY))
        return 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LogMessage("iEG: fail to find dir(%s), error code = 0x%x\n", path,
                   (unsigned)GetLastError());
        return 0;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LogMessage("iEG: fail to find dir(%s), attribute = 0x%x\n", path, (unsigned)attributes);
        return 0;
    }
    LogMessage("iEG: success to find dir(%s)\n", path);
    return 1;
}

int CreateProgmanGroup(int scope, const char* folder) {
    LogMessage("  > CreateProgmanGroup(%d, %s)\n", scope, folder);
    char path[STARTMENU_PATH_CAPACITY];
    if (!ComposeStartMenuPath(scope, folder, NULL, CREATE_GROUP_LINES, path,
                              STARTMENU_PATH_CAPACITY))
        return 0;
    SECURITY_ATTRIBUTES security = {sizeof security, NULL, TRUE};
    if (!CreateDirectoryA(path, &security)) {
        DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) {
            LogMessage("CPG: fail to create directory(%s), code = %d\n", path, (int)code);
            return 0;
        }
    }
    LogVerbose("CPG: success to create or already exist dir(%s)\n", path);
    return 1;
}

int DeleteProgmanGroup(int scope, const char* folder) {
    LogMessage("  > DeleteProgmanGroup(%d, %s)\n", scope, folder);
    char path[STARTMENU_PATH_CAPACITY];
    if (!ComposeStartMenuPath(scope, folder, NULL, DELETE_GROUP_LINES, path,
                              STARTMENU_PATH_CAPACITY))
        return 0;
    if (!RemoveDirectoryA(path)) {
        DWORD code = GetLastError();
        if (!IsMissing(code)) {
            LogMessage("DPG: fail to remove directory(%s), code = %d\n", path, (int)code);
            return 0;
        }
    }
    LogVerbose("DPG: success to remove or already not exist dir(%s)\n", path);
    return 1;
}

int CreateProgmanItem(int scope, const char* folder, const char* name, const char* target,
                      const char* extraText, int extraNumber) {
    LogMessage("  > CreateProgmanItem(%d, %s, %s, %s, %s, %d)\n", scope, folder, name, target,
               extraText, extraNumber);
    char path[STARTMENU_PATH_CAPACITY];
    if (!ComposeStartMenuPath(scope, folder, name, CREATE_ITEM_LINES, path,
                              STARTMENU_PATH_CAPACITY))
        return 0;
    if (!CreateShellLink(target, path, SHORTCUT_DESCRIPTION)) {
        LogMessage("CPI: fail to create shortcut(%s, %s)\n", path, target);
        return 0;
    }
    LogVerbose("CPI: success to create shortcut(%s, %s)\n", path, target);
    return 1;
}

int RemoveProgmanItem(int scope, const char* folder, const char* name) {
    static const char FATAL_LINE[] = "RPI: RemoveProgmanItem: fatal error.\n";
    LogMessage("  > RemoveProgmanItem(%d, %s, %s)\n", scope, folder, name);
    char path[STARTMENU_PATH_CAPACITY];
    if (!ComposeStartMenuPath(scope, folder, name, REMOVE_ITEM_LINES, path,
                              STARTMENU_PATH_CAPACITY)) {
        LogMessage("%s", FATAL_LINE);
        return 0;
    }
    if (!DeleteFileA(path)) {
        DWORD code = GetLastError();
        if (!IsMissing(code)) {
            LogMessage("RPI: fail to remove file(%s), code = %d\n", path, (int)code);
            LogMessage("%s", FATAL_LINE);
            return 0;
        }
    }
    LogVerbose("RPI: success to remove file(%s)\n", path);
    return 1;
}

// The last backslash of text, stepping over double-byte characters whose second
// byte has the backslash's value; NULL if there is none.
static char* LastBackslash(char* text) {
    char* last = NULL;
    for (char* p = text; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\')
            last = p;
    }
    return last;
}

// Only the creation of shortcuts needs COM, and only the sample installation and the tests
// create any: ole32 is loaded here, so that the uninstaller does not import it.
typedef HRESULT(WINAPI* CoInitializeFunction)(LPVOID reserved);
typedef HRESULT(WINAPI* CoCreateInstanceFunction)(REFCLSID classId, LPUNKNOWN outer, DWORD context,
                                                  REFIID interfaceId, LPVOID* object);
typedef void(WINAPI* CoUninitializeFunction)();

// Saves a shell link to target at linkPath through the interfaces of an existing link.
static HRESULT SaveShellLink(IShellLinkA* link, const char* target, const char* linkPath,
                             const char* description) {
    link->SetPath(target);
    char workingDirectory[STARTMENU_PATH_CAPACITY];
    lstrcpynA(workingDirectory, target, STARTMENU_PATH_CAPACITY);
    char* backslash = LastBackslash(workingDirectory);
    if (backslash != NULL)
        *backslash = '\0';
    link->SetWorkingDirectory(workingDirectory);
    link->SetDescription(description);

    IPersistFile* file = NULL;
    HRESULT result = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (SUCCEEDED(result)) {
        WCHAR widePath[STARTMENU_PATH_CAPACITY];
        // A path that does not convert whole is never handed to Save.
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, STARTMENU_PATH_CAPACITY) == 0)
            result = E_INVALIDARG;
        else
            result = file->Save(widePath, TRUE);
        file->Release();
    }
    return result;
}

static void* OleFunction(HMODULE ole, const char* name) {
    return (void*)GetProcAddress(ole, name);
}

int CreateShellLink(const char* target, const char* linkPath, const char* description) {
    HMODULE ole = LoadLibraryA("ole32.dll");
    if (ole == NULL)
        return 0;
    CoInitializeFunction initialize = (CoInitializeFunction)OleFunction(ole, "CoInitialize");
    CoCreateInstanceFunction createInstance =
        (CoCreateInstanceFunction)OleFunction(ole, "CoCreateInstance");
    CoUninitializeFunction uninitialize =
        (CoUninitializeFunction)OleFunction(ole, "CoUninitialize");
    HRESULT result = E_FAIL;
    if (initialize != NULL && createInstance != NULL && uninitialize != NULL) {
        initialize(NULL);
        IShellLinkA* link = NULL;
        result = createInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link);
        if (SUCCEEDED(result)) {
            result = SaveShellLink(link, target, linkPath, description);
            link->Release();
        }
        uninitialize();
    }
    FreeLibrary(ole);
    return SUCCEEDED(result) ? 1 : 0;
}

int RemoveShortcutById(const char* folder, unsigned int stringId) {
    char name[TEXT_CAPACITY];
    LoadText(stringId, name, TEXT_CAPACITY);
    return RemoveProgmanItem(g_state.installType, folder, name) ? 1 : 0;
}

void RemoveShortCut() {
    LogMessage("=== RemoveShortCut ===\n");
    char folder[FOLDER_NAME_CAPACITY];
    LoadText(IDS_FOLDER_NAME, folder, FOLDER_NAME_CAPACITY);
    LogMessage("  remove folder [%s]\n", folder);
    for (size_t i = 0; i < sizeof SHORTCUT_IDS / sizeof SHORTCUT_IDS[0]; i++)
        RemoveShortcutById(folder, SHORTCUT_IDS[i]);
    if (DeleteProgmanGroup(g_state.installType, folder))
        return;
    LogMessage("  fail remove Folder(%s)\n", folder);
    LoadText(IDS_SHORTCUTS_NOT_REMOVED, g_state.messageText, TEXT_CAPACITY);
    ShowWarning(g_state.messageText);
    g_state.errorCount++;
}
