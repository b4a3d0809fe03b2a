// The uninstaller's own file, when it lies in the folder that it removes.
#pragma once

// Where the running program's file lies below installDir (as Programs and Features starts
// it), moves that file to a new name in the temporary directory and leaves it to the
// deletion at the next start, so that the install directory can go in this run. 1 if it
// was moved; 0, and every file where it was, otherwise. A run started from anywhere else
// writes nothing. heldPlain: the install directory is held open as a plain directory, so
// that no one can put a link in its place meanwhile.
int MoveOwnImageAside(const char* installDir, int heldPlain);
