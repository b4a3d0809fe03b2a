#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"
#include "app/uninstall.h"
#include "discovery/scope.h"
#include "log/log.h"

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

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR commandLine,
                   int showCommand) {
    (void)commandLine;
    (void)showCommand;
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
