// Shows one message box and exits with the answer: the bench's own check of its box
// driver, and a box for any test that needs one.
//
// show_box <type> <caption> <text>     type as MessageBoxA takes it, decimal
#include <windows.h>

#include <stdlib.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 4)
        return 255;
    return MessageBoxA(NULL, __argv[3], __argv[2], (UINT)strtoul(__argv[1], NULL, 10));
}
