// The install manifest: relative paths under the install directory, each list
// ending with a null entry.
#pragma once

extern const char* const InstalledFileTable[];
extern const char* const InstalledDirTable[];

const int INSTALLED_FILE_COUNT = 616;
const int INSTALLED_DIR_COUNT = 15;
