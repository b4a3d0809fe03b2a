// The install manifest: relative paths under the install directory. Each list holds its
// entries one after another, each ending with its terminator, and ends with an empty
// entry: no table of pointers, which would cost the program a relocation per entry.
#pragma once

#include <string.h>

extern const char InstalledFileTable[];
extern const char InstalledDirTable[];

const int INSTALLED_FILE_COUNT = 616;
const int INSTALLED_DIR_COUNT = 15;

// The entry after entry; empty at the end of its list.
inline const char* NextManifestEntry(const char* entry) {
    return entry + strlen(entry) + 1;
}
