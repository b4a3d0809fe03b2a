// Process-wide state of one uninstall run.
#pragma once

#include <windows.h>
#include <stdio.h>

enum InstallType { SYSTEM = 0, USER = 1 };

// Buffer capacities, in characters including the terminator.
const int TEXT_CAPACITY = 1024;              // message and registry texts, composed key paths
const int STARTMENU_PATH_CAPACITY = 520;     // Start-menu paths and Programs folders
const int PLATFORM_PATH_CAPACITY = MAX_PATH; // paths handed out by the platform
const int FOLDER_NAME_CAPACITY = 80;         // the Start-menu folder name

const int PLATFORM_FLAG_UNKNOWN = -1;
const int INSTALL_TYPE_UNKNOWN = -1; // installTypeCache before the scope is decided

struct UninstallState {
    HINSTANCE hInstance;
    HWND hWnd;
    int silent;
    int save;
    int isMode;
    int installType;
    char installDir[TEXT_CAPACITY];
    int installDirFound;
    int errorCount;
    FILE* logFile;
    char caption[TEXT_CAPACITY];
    char messageText[TEXT_CAPACITY];
    char secondText[TEXT_CAPACITY];
    int installTypeCache;
    int isVersionCache;
    int platformFlag;
    DWORD openReparseFlag; // FILE_FLAG_OPEN_REPARSE_POINT where the system knows it, else 0
    char programsBuffer[2][STARTMENU_PATH_CAPACITY];
    const char* programsSlot[2]; // indexed by InstallType; 0 while unresolved or not found
    int programsFirstCall;
};

extern UninstallState g_state;

// Reads the command-line options into the state.
void ParseOptions(int argc, char** argv);

// Nonzero (0xC0) on Windows 95/98/Me, 0 on the NT line.
int IsWin9x();

// FILE_FLAG_OPEN_REPARSE_POINT from Windows 2000 on, which has reparse points: a link is
// then opened itself, not what it points at. 0 on older systems, which have no links.
DWORD OpenReparsePointFlag();

// A kernel32 function that older systems lack; NULL where it is missing. The caller casts
// it to the function's own type.
void* KernelFunction(const char* name);
