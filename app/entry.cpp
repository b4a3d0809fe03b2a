#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "app/uninstall.h"
#include "discovery/scope.h"
#include "log/log.h"
#include "platform/platform.h"

#include <stdlib.h>

static const char WINDOW_CLASS[] = "wipr";
const UINT WINDOW_CLASS_STYLE = CS_HREDRAW | CS_VREDRAW;
const int WINDOW_SIZE = 300;

static LRESULT CALLBACK HiddenWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

static void RegisterWindowClass(HINSTANCE hInstance) {
    WNDCLASSA windowClass;
    windowClass.style = WINDOW_CLASS_STYLE;
    windowClass.lpfnWndProc = HiddenWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = hInstance;
    windowClass.hIcon = NULL;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);
}

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR path);
const DWORD SEARCH_SYSTEM32_ONLY = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

// Any DLL loaded from now on comes from the system folder, never from the program's folder
// or the current one, which whoever started the run may have filled. Older systems lack
// both functions.
static void LimitDllSearch() {
    SetDefaultDllDirectoriesFunction setDefault =
        (SetDefaultDllDirectoriesFunction)KernelFunction("SetDefaultDllDirectories");
    if (setDefault != NULL && setDefault(SEARCH_SYSTEM32_ONLY))
        return;
    SetDllDirectoryFunction setDirectory =
        (SetDllDirectoryFunction)KernelFunction("SetDllDirectoryA");
    if (setDirectory != NULL)
        setDirectory("");
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR commandLine,
                   int showCommand) {
    (void)commandLine;
    (void)showCommand;
    LimitDllSearch();
    if (hPrevInstance == NULL)
        RegisterWindowClass(hInstance);
    g_state.hInstance = hInstance;
    InitLog(LOG_FILE_NAME);

    char folderName[FOLDER_NAME_CAPACITY];
    LoadText(IDS_FOLDER_NAME, folderName, FOLDER_NAME_CAPACITY);
    g_state.installType = GetITYPE(folderName);

    g_state.hWnd = CreateWindowExA(0, WINDOW_CLASS, WINDOW_CLASS, WS_OVERLAPPEDWINDOW, 0, 0,
                                   WINDOW_SIZE, WINDOW_SIZE, NULL, NULL, hInstance, NULL);
    RunUninstall(__argc, __argv);
    EndLog();
    ExitProcess(0);
}
