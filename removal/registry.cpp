#include "removal/registry.h"

#include "app/state.h"
#include "log/log.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

const REGSAM DELETE_ACCESS = KEY_ALL_ACCESS;
const LONG LINK_NOT_FOLLOWED = ERROR_ACCESS_DENIED;
const int VALUE_NAME_CAPACITY = 1024;
static const char ELLIPSIS[] = "...";

struct RootName {
    HKEY root;
    const char* text;
};

static const RootName ROOT_NAMES[] = {
    {HKEY_CLASSES_ROOT, "(HKCR)"}, {HKEY_CURRENT_USER, "(HKCU)"},   {HKEY_LOCAL_MACHINE, "(HKLM)"},
    {HKEY_USERS, "(HKU)"},         {HKEY_CURRENT_CONFIG, "(HKCC)"}, {HKEY_DYN_DATA, "(HKDD)"},
};

// Handles print as their low 32 bits so that both builds write the same lines.
static unsigned HandleValue(HKEY hKey) {
    return (unsigned)(ULONG_PTR)hKey;
}

static const char* NameText(const char* name) {
    return name != NULL ? name : "(null)";
}

// True when data holds a terminator within its first size bytes.
static int IsTerminatedWithin(const BYTE* data, DWORD size) {
    return data != NULL && memchr(data, '\0', size) != NULL;
}

const char* RegRootName(HKEY hKey) {
    for (size_t i = 0; i < sizeof ROOT_NAMES / sizeof ROOT_NAMES[0]; i++) {
        if (ROOT_NAMES[i].root == hKey)
            return ROOT_NAMES[i].text;
    }
    return "";
}

LONG MyRegOpenKeyEx(HKEY hKey, const char* subKey, DWORD options, REGSAM access, PHKEY result) {
    LONG status = RegOpenKeyExA(hKey, subKey, options, access, result);
    LogMessage("%d = MyRegOpenKeyEx(%x%s, %s, ..., result:%x)\n", (int)status, HandleValue(hKey),
               RegRootName(hKey), NameText(subKey), result != NULL ? HandleValue(*result) : 0);
    return status;
}

LONG MyRegCreateKeyEx(HKEY hKey, const char* subKey, DWORD reserved, char* className, DWORD options,
                      REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                      LPDWORD disposition) {
    LONG status = RegCreateKeyExA(hKey, subKey, reserved, className, options, access, security,
                                  result, disposition);
    LogMessage("%d = MyRegCreateKeyEx(%x%s, %s, ..., result:%x, ...)\n", (int)status,
               HandleValue(hKey), RegRootName(hKey), NameText(subKey),
               result != NULL ? HandleValue(*result) : 0);
    return status;
}

// The data is printed only when it is a string that ends inside what was read,
// so the line never reads past the caller's buffer.
LONG MyRegQueryValueEx(HKEY hKey, const char* valueName, LPDWORD reserved, LPDWORD type,
                       LPBYTE data, LPDWORD dataSize) {
    DWORD capacity = dataSize != NULL ? *dataSize : 0;
    LONG status = RegQueryValueExA(hKey, valueName, reserved, type, data, dataSize);
    const char* text = ELLIPSIS;
    if (status == ERROR_SUCCESS && type != NULL && *type == REG_SZ && dataSize != NULL &&
        IsTerminatedWithin(data, *dataSize < capacity ? *dataSize : capacity))
        text = (const char*)data;
    LogMessage("%d = MyRegQueryValueEx(%x%s, %s, ..., %s, ...)\n", (int)status, HandleValue(hKey),
               RegRootName(hKey), NameText(valueName), text);
    return status;
}

LONG MyRegSetValueEx(HKEY hKey, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                     DWORD dataSize) {
    LONG status = RegSetValueExA(hKey, valueName, reserved, type, data, dataSize);
    const char* text = ELLIPSIS;
    if (type == REG_SZ && IsTerminatedWithin(data, dataSize))
        text = (const char*)data;
    LogMessage("%d = MyRegSetValueEx(%x%s, %s, ..., %s, ...)\n", (int)status, HandleValue(hKey),
               RegRootName(hKey), NameText(valueName), text);
    return status;
}

LONG MyRegCloseKey(HKEY hKey) {
    LONG status = RegCloseKey(hKey);
    LogMessage("%d = MyRegCloseKey(%x%s)\n", (int)status, HandleValue(hKey), RegRootName(hKey));
    return status;
}

LONG QueryStringValue(HKEY hKey, const char* valueName, LPDWORD type, char* buffer,
                      DWORD capacity) {
    if (buffer == NULL || capacity == 0)
        return ERROR_INVALID_PARAMETER;
    DWORD size = capacity;
    LONG status = MyRegQueryValueEx(hKey, valueName, NULL, type, (LPBYTE)buffer, &size);
    if (status != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return status;
    }
    if (size > capacity)
        size = capacity;
    if (memchr(buffer, '\0', size) != NULL)
        return ERROR_SUCCESS;
    // Stored without its terminator: readable only when there is room to add it.
    if (size < capacity) {
        buffer[size] = '\0';
        return ERROR_SUCCESS;
    }
    buffer[0] = '\0';
    return ERROR_MORE_DATA;
}

LONG QueryStringValue(HKEY hKey, const char* valueName, char* buffer, DWORD capacity) {
    return QueryStringValue(hKey, valueName, NULL, buffer, capacity);
}

DWORD CountSubKeys(HKEY hKey) {
    char className[CLASS_NAME_CAPACITY];
    className[0] = '\0';
    DWORD classSize = CLASS_NAME_CAPACITY;
    DWORD subKeys = 0, maxSubKeyLength = 0, maxClassLength = 0, values = 0;
    DWORD maxValueNameLength = 0, maxValueLength = 0, securityLength = 0;
    FILETIME lastWrite;
    LONG status = RegQueryInfoKeyA(hKey, className, &classSize, NULL, &subKeys, &maxSubKeyLength,
                                   &maxClassLength, &values, &maxValueNameLength, &maxValueLength,
                                   &securityLength, &lastWrite);
    // A class name too long for the buffer still leaves the counts filled in.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return 0;
    return subKeys;
}

// A symbolic link key leads out of the tree, or back into it: it is never followed.
// A probe refused for any reason but "not found" may hide a link, so it counts as one.
// Windows 9x has no link keys and no REG_OPTION_OPEN_LINK.
static int IsLinkKey(HKEY parent, const char* name) {
    if (IsWin9x())
        return 0;
    HKEY link;
    LONG status = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &link);
    if (status == ERROR_FILE_NOT_FOUND)
        return 0;
    if (status != ERROR_SUCCESS)
        return 1;
    DWORD type = REG_NONE;
    status = RegQueryValueExA(link, "SymbolicLinkValue", NULL, &type, NULL, NULL);
    RegCloseKey(link);
    return status == ERROR_SUCCESS && type == REG_LINK;
}

static void LogIndent(int depth) {
    for (int i = 0; i < depth; i++)
        LogMessage("  ");
}

LONG MyRegDeleteKeySub(HKEY hKey, const char* subKey, int depth) {
    LogIndent(depth);
    if (IsLinkKey(hKey, subKey)) {
        LogMessage("  MyRegDeleteKeySub: link key(%s) is not followed\n", NameText(subKey));
        return LINK_NOT_FOLLOWED;
    }
    HKEY opened;
    LONG status = RegOpenKeyExA(hKey, subKey, 0, DELETE_ACCESS, &opened);
    if (status != ERROR_SUCCESS) {
        LogMessage("  MyRegDeleteKeySub: fail to open registry key(%x\\%s), rval:%x\n",
                   HandleValue(hKey), NameText(subKey), (unsigned)status);
        return status;
    }
    DWORD count = CountSubKeys(opened);
    LogMessage("[%s] - %d\n", NameText(subKey), (int)count);
    // From the highest index down, so that the indices still to visit stay valid.
    for (DWORD i = count; i > 0; i--) {
        char name[SUBKEY_NAME_CAPACITY];
        DWORD nameSize = SUBKEY_NAME_CAPACITY;
        FILETIME lastWrite;
        LONG enumStatus =
            RegEnumKeyExA(opened, i - 1, name, &nameSize, NULL, NULL, NULL, &lastWrite);
        if (enumStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (enumStatus != ERROR_SUCCESS) {
            LogMessage("  MyRegDeleteKeySub: fail RegEnumKeyEx(), rval is %x\n",
                       (unsigned)enumStatus);
            break;
        }
        MyRegDeleteKeySub(opened, name, depth + 1);
    }
    RegCloseKey(opened);
    status = RegDeleteKeyA(hKey, subKey);
    LogIndent(depth);
    LogMessage("%x = RegDeleteKey(%x, %s)\n", (unsigned)status, HandleValue(hKey),
               NameText(subKey));
    return status;
}

LONG MyRegDeleteKeySub(HKEY hKey, const char* subKey) {
    return MyRegDeleteKeySub(hKey, subKey, 0);
}

void RemoveRegistry() {
    LogMessage("=== RemoveRegistry ===\n");
    HKEY probe = NULL;
    LONG status = MyRegOpenKeyEx(HKEY_CURRENT_USER, USER_SETTINGS_KEY, 0, DELETE_ACCESS, &probe);
    if (status != ERROR_SUCCESS) {
        LogMessage("  fail open HKCU registry key(%s), rval:%x\n", USER_SETTINGS_KEY,
                   (unsigned)status);
        return;
    }
    MyRegCloseKey(probe);
    MyRegDeleteKeySub(HKEY_CURRENT_USER, USER_SETTINGS_KEY);
}

LONG RemoveInstallInformation() {
    LogMessage("=== RemoveInstallInformation ===\n");
    char path[TEXT_CAPACITY];
    sprintf(path, "%s\\%s", UNINSTALL_KEY, PRODUCT_UNINSTALL_NAME);
    LogMessage("remove myself registry key(%s)\n", path);
    return MyRegDeleteKeySub(HKEY_LOCAL_MACHINE, path);
}

int RemoveRegistryValueByPrefix(HKEY hKey, const char* prefix, int* failures) {
    *failures = 0;
    size_t prefixLength = strlen(prefix);
    for (DWORD index = 0;; index++) {
        char name[VALUE_NAME_CAPACITY];
        DWORD nameSize = VALUE_NAME_CAPACITY;
        DWORD type = REG_NONE;
        LONG status = RegEnumValueA(hKey, index, name, &nameSize, NULL, &type, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS) {
            LogMessage("  no more values in this key.\n");
            break;
        }
        if (status != ERROR_SUCCESS) {
            LogMessage("  error: fail RegEnumValue(), rval is %x\n", (unsigned)status);
            (*failures)++;
            break;
        }
        if (type != REG_SZ || strncmp(name, prefix, prefixLength) != 0)
            continue;
        status = RegDeleteValueA(hKey, name);
        if (status == ERROR_SUCCESS) {
            LogMessage("  -> ### found value(%s), and remove\n", name);
            return 1;
        }
        LogMessage("  -> ### found value(%s), but fail remove, rval is %x\n", name,
                   (unsigned)status);
        (*failures)++;
        return 0;
    }
    LogMessage("  -> not found value.\n");
    return 0;
}
