// Start-menu folders ("groups") and shortcuts ("items").
#pragma once

const char* getAppFolderLocation(int scope);
int isExistGroup(int scope, const char* folder);
int CreateProgmanGroup(int scope, const char* folder);
int DeleteProgmanGroup(int scope, const char* folder);
int CreateProgmanItem(int scope, const char* folder, const char* name, const char* target,
                      const char* extraText, int extraNumber);
int RemoveProgmanItem(int scope, const char* folder, const char* name);
int CreateShellLink(const char* target, const char* linkPath, const char* description);
int RemoveShortcutById(const char* folder, unsigned int stringId);
void RemoveShortCut();
