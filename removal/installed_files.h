// Removal of the installed files listed in the install manifest.
#pragma once

void RemoveInstalledFiles(const char* installDir);
