// Another process that tries to swap a directory of the install while the uninstaller
// removes its entries: it waits until the watched entry is gone, then tries at once to
// rename the directory, as one would before putting a link in its place.
//
// rename_watch <watched entry> <directory> <new name> <ready file> <limit in ms>
// Makes the ready file once it has seen the entry; prints what the rename did. Exit code:
// 0 refused (the code is printed), 1 renamed, 2 the entry did not go within the limit,
// 3 the entry was not there at the start, 4 wrong arguments.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 6) {
        printf("usage: rename_watch entry directory new-name ready-file limit-ms\n");
        return 4;
    }
    const char* entry = argv[1];
    if (GetFileAttributesA(entry) == INVALID_FILE_ATTRIBUTES) {
        printf("%s is not there at the start\n", entry);
        return 3;
    }
    HANDLE ready = CreateFileA(argv[4], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(ready);
    DWORD limit = (DWORD)strtoul(argv[5], NULL, 10);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(entry) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > limit) {
            printf("%s did not go within %lu ms\n", entry, (unsigned long)limit);
            return 2;
        }
    }
    if (MoveFileA(argv[2], argv[3])) {
        printf("renamed %s to %s\n", argv[2], argv[3]);
        return 1;
    }
    printf("refused, code %lu\n", (unsigned long)GetLastError());
    return 0;
}
