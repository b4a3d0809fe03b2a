// Prints what a child sees: "NAME=value" for each name given ("NAME" alone when
// unset), then "cwd=<current directory>" and "acp=<code page>".
#include <windows.h>

#include <stdio.h>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        char value[4096];
        DWORD length = GetEnvironmentVariableA(argv[i], value, sizeof value);
        if (length > 0 && length < sizeof value)
            printf("%s=%s\n", argv[i], value);
        else
            printf("%s\n", argv[i]);
    }
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, current);
    printf("cwd=%s\nacp=%u\n", current, GetACP());
    return 0;
}
