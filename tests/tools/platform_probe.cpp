// Calls IsWin9x three times and prints what it answered and how often it asked the
// platform: "IsWin9x <first> <second> <third> GetVersion <calls>".
#include "platform/platform.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

typedef DWORD(WINAPI* GetVersionFunction)();
static GetVersionFunction realGetVersion;
static int getVersionCalls;

static DWORD WINAPI CountingGetVersion() {
    getVersionCalls++;
    return realGetVersion();
}

// Points this program's import of kernel32's GetVersion at the counter.
static bool HookGetVersion() {
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR* module =
             (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress);
         module->Name != 0; module++) {
        if (_stricmp((const char*)(base + module->Name), "kernel32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + module->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* name = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (strcmp((const char*)name->Name, "GetVersion") != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            realGetVersion = (GetVersionFunction)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)CountingGetVersion;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

int main() {
    if (!HookGetVersion()) {
        printf("GetVersion import not found\n");
        return 1;
    }
    int first = IsWin9x();
    int second = IsWin9x();
    int third = IsWin9x();
    printf("IsWin9x %d %d %d GetVersion %d\n", first, second, third, getVersionCalls);
    return 0;
}
