// Logging layer over the registry, and removal of key trees.
#pragma once

#include <windows.h>

#define UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define PRODUCT_UNINSTALL_NAME "VORTA-X"
#define USER_SETTINGS_KEY "Software\\VORTA\\XSERVER"
#define MACHINE_SETTINGS_KEY "Software\\VORTA\\VORTA-X"

const int SUBKEY_NAME_CAPACITY = 260;
const int CLASS_NAME_CAPACITY = 260;

LONG MyRegOpenKeyEx(HKEY hKey, const char* subKey, DWORD options, REGSAM access, PHKEY result);
LONG MyRegCreateKeyEx(HKEY hKey, const char* subKey, DWORD reserved, char* className, DWORD options,
                      REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                      LPDWORD disposition);
LONG MyRegQueryValueEx(HKEY hKey, const char* valueName, LPDWORD reserved, LPDWORD type,
                       LPBYTE data, LPDWORD dataSize);
LONG MyRegSetValueEx(HKEY hKey, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                     DWORD dataSize);
LONG MyRegCloseKey(HKEY hKey);

const char* RegRootName(HKEY hKey);
DWORD CountSubKeys(HKEY hKey);
LONG MyRegDeleteKeySub(HKEY hKey, const char* subKey, int depth);
LONG MyRegDeleteKeySub(HKEY hKey, const char* subKey);

// Reads a string value into buffer (capacity bytes) through MyRegQueryValueEx.
// A value stored without its terminator gets one when there is room; one that
// fills the whole buffer without it fails with ERROR_MORE_DATA. On any failure
// the buffer holds the empty text.
LONG QueryStringValue(HKEY hKey, const char* valueName, char* buffer, DWORD capacity);
// The same, passing the caller's type variable (or NULL) on to the query.
LONG QueryStringValue(HKEY hKey, const char* valueName, LPDWORD type, char* buffer, DWORD capacity);

void RemoveRegistry();
LONG RemoveInstallInformation();
int RemoveRegistryValueByPrefix(HKEY hKey, const char* prefix, int* failures);
