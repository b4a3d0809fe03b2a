/* Started by scripts/probe-wine32.sh in a pure 32-bit Wine prefix: if it gets to print
   this line, Wine can start the shipped program's kind of file (PE32, i686). */
#include <stdio.h>

int main(void) {
    printf("PE32 program started, %u-bit\n", (unsigned)(8 * sizeof(void*)));
    return 0;
}
