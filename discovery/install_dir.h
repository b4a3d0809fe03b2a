// Where the product was installed, and the installer's own uninstall command.
#pragma once

#include <windows.h>

int GetInstallDirectory();
int ReadChainedUninstallString(char* buffer, DWORD* length);
void UninstallByIS();
