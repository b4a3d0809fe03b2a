#include "removal/paths.h"

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
