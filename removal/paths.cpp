#include "removal/paths.h"

#include <string.h>

int IsAbsolutePath(const char* path) {
    char drive = (char)(path[0] | 0x20);
    if (drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\')
        return 1;
    if (path[0] != '\\' || path[1] != '\\' || path[2] == '\\' || path[2] == '\0')
        return 0;
    const char* at = path + 2;
    while (*at != '\0' && *at != '\\')
        at = CharNextA(at);
    return at[0] == '\\' && at[1] != '\0' && at[1] != '\\';
}

// The next backslash of text that is a character of its own, or the terminator. In code
// page 932 the second byte of a character may be 0x5C.
static const char* NextSeparator(const char* text) {
    while (*text != '\0' && *text != '\\')
        text = CharNextA(text);
    return text;
}

// Appends text to output at length; 0 (output unchanged) if it would not fit.
static int AppendText(char* output, size_t* length, size_t capacity, const char* text,
                      size_t textLength) {
    if (*length + textLength + 1 > capacity)
        return 0;
    memcpy(output + *length, text, textLength);
    *length += textLength;
    output[*length] = '\0';
    return 1;
}

static int IsRelativeStep(const char* component, size_t length) {
    return (length == 1 && component[0] == '.') ||
           (length == 2 && component[0] == '.' && component[1] == '.');
}

// The name in the chosen form of an existing path, or "" when it has none or does not exist.
// A wildcard would match some other entry, and "." or ".." would find the directory itself
// or its parent under another name: such a component is never looked up.
static void GetNameInForm(const char* path, const char* component, size_t componentLength,
                          PathForm form, char* name, size_t capacity) {
    name[0] = '\0';
    if (componentLength == 0 || IsRelativeStep(component, componentLength))
        return;
    for (size_t i = 0; i < componentLength; i++) {
        if (component[i] == '*' || component[i] == '?')
            return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    lstrcpynA(name, form == SHORT_FORM ? found.cAlternateFileName : found.cFileName, (int)capacity);
    FindClose(search);
}

int BuildPathForm(const char* path, char* output, size_t capacity, PathForm form) {
    const char* separator = NextSeparator(path);
    size_t length = 0;
    if (capacity == 0)
        return 0;
    output[0] = '\0';
    if (!AppendText(output, &length, capacity, path, (size_t)(separator - path)))
        return 0;
    while (*separator == '\\') {
        const char* component = separator + 1;
        const char* next = NextSeparator(component);
        size_t componentStart = length + 1;
        if (!AppendText(output, &length, capacity, separator, (size_t)(next - separator)))
            return 0;
        char name[sizeof(((WIN32_FIND_DATAA*)0)->cFileName)];
        GetNameInForm(output, component, (size_t)(next - component), form, name, sizeof name);
        if (name[0] != '\0') {
            length = componentStart;
            output[length] = '\0';
            if (!AppendText(output, &length, capacity, name, strlen(name)))
                return 0;
        }
        separator = next;
    }
    return 1;
}

int GetFullLongPath(const char* path, char* output, size_t capacity) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, NULL);
    if (length == 0 || length >= (DWORD)MAX_PATH || !IsAbsolutePath(full))
        return 0;
    return BuildPathForm(full, output, capacity, LONG_FORM);
}

static char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + ('a' - 'A')) : c;
}

// Where path begins with dir (any final backslashes of dir left out), the rest of path
// after it; NULL where it does not.
static const char* AfterDir(const char* path, const char* dir) {
    const char* dirEnd = dir;
    for (const char* at = dir; *at != '\0'; at = CharNextA(at))
        if (*at != '\\')
            dirEnd = CharNextA(at);
    if (dirEnd == dir)
        return NULL;
    const char* p = path;
    const char* d = dir;
    while (d < dirEnd) {
        const char* pNext = CharNextA(p);
        const char* dNext = CharNextA(d);
        size_t size = (size_t)(dNext - d);
        if ((size_t)(pNext - p) != size)
            return NULL;
        if (size == 1 ? AsciiLower(*p) != AsciiLower(*d) : memcmp(p, d, size) != 0)
            return NULL;
        p = pNext;
        d = dNext;
    }
    return p;
}

const char* PartBelow(const char* path, const char* dir) {
    const char* rest = AfterDir(path, dir);
    if (rest == NULL || *rest != '\\')
        return NULL;
    const char* name = rest;
    while (*name == '\\')
        name++;
    return *name != '\0' ? rest : NULL;
}

int LiesWithin(const char* path, const char* dir) {
    const char* rest = AfterDir(path, dir);
    return rest != NULL && (*rest == '\0' || *rest == '\\');
}

int LeadsThroughLink(char* path, size_t start) {
    for (char* at = (char*)NextSeparator(path + start); *at != '\0';
         at = (char*)NextSeparator(at + 1)) {
        *at = '\0';
        int link = IsLinkAttributes(GetFileAttributesA(path));
        *at = '\\';
        if (link)
            return 1;
    }
    return 0;
}
