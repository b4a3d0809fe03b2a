// Deleting a file now, or at the next start when it is in use.
#pragma once

int DeleteFileNowOrAtBoot(const char* path);
int ScheduleDeleteNT(const char* path);
int ScheduleDeleteWin9x(const char* path);
void ToShortPathName(char* path);
