// Process-wide state of one uninstall run.
#pragma once

#include <windows.h>

enum InstallType { SYSTEM = 0, USER = 1 };

// Buffer capacities, in characters including the terminator.
const int TEXT_CAPACITY = 1024;          // message and registry texts, composed key paths
const int STARTMENU_PATH_CAPACITY = 520; // Start-menu paths and Programs folders
const int FOLDER_NAME_CAPACITY = 80;     // the Start-menu folder name

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
    char caption[TEXT_CAPACITY];
    char messageText[TEXT_CAPACITY];
    char secondText[TEXT_CAPACITY];
    int installTypeCache;
    int isVersionCache;
    char programsBuffer[2][STARTMENU_PATH_CAPACITY];
    const char* programsSlot[2]; // indexed by InstallType; 0 while unresolved or not found
    int programsFirstCall;
};

extern UninstallState g_state;

// Reads the command-line options into the state.
void ParseOptions(int argc, char** argv);
