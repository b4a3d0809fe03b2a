#include "platform/platform.h"

const int PLATFORM_FLAG_UNKNOWN = -1;
const int FIRST_VERSION_WITH_REPARSE_POINTS = 5; // Windows 2000

// Read from the platform once, at the first question.
static int s_platformFlag = PLATFORM_FLAG_UNKNOWN;
static DWORD s_openReparseFlag; // FILE_FLAG_OPEN_REPARSE_POINT where the system knows it, else 0

static void ReadPlatformVersion() {
    DWORD version = GetVersion();
    s_platformFlag = (version & 0x80000000) ? 0xC0 : 0;
    int major = LOBYTE(LOWORD(version));
    s_openReparseFlag = s_platformFlag == 0 && major >= FIRST_VERSION_WITH_REPARSE_POINTS
                            ? FILE_FLAG_OPEN_REPARSE_POINT
                            : 0;
}

int IsWin9x() {
    if (s_platformFlag == PLATFORM_FLAG_UNKNOWN)
        ReadPlatformVersion();
    return s_platformFlag;
}

DWORD OpenReparsePointFlag() {
    IsWin9x();
    return s_openReparseFlag;
}

void* KernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != NULL ? (void*)GetProcAddress(kernel, name) : NULL;
}
