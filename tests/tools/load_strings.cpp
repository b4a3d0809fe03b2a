// Loads string resources of a module through the product's loader and prints them.
//
// load_strings <module> <id>...   one line per id: "<id> <code page bytes in hex>"
// The first line is "acp <code page> ui <UI language id>".
#include "app/messages.h"
#include "app/state.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    g_state.hInstance = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (g_state.hInstance == NULL)
        return 3;
    printf("acp %u ui %04x\n", GetACP(), GetUserDefaultUILanguage());
    for (int i = 2; i < argc; i++) {
        char text[TEXT_CAPACITY];
        LoadText((unsigned)atoi(argv[i]), text, TEXT_CAPACITY);
        printf("%s ", argv[i]);
        for (const char* c = text; *c; c++)
            printf("%02x", (unsigned char)*c);
        printf("\n");
    }
    return 0;
}
