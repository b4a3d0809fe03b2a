#include "log/log.h"

#include "platform/platform.h"

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static const char LOG_SEPARATOR[] = "\n----------------------------------------\n";
const int TIMESTAMP_CAPACITY = 32;

static FILE* s_logFile; // NULL while the log is closed

void AppendBackslash(char* buffer, size_t capacity) {
    if (buffer == NULL)
        return;
    size_t length = strlen(buffer);
    if (length > 0 && buffer[length - 1] != '\\' && length + 2 <= capacity) {
        buffer[length] = '\\';
        buffer[length + 1] = '\0';
    }
}

// Built field by field so that the C runtime's locale never changes the layout.
const char* LogTimestamp() {
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static char text[TIMESTAMP_CAPACITY];
    time_t now = time(NULL);
    const struct tm* local = localtime(&now);
    if (local == NULL) {
        strcpy(text, "??? ??? ?? ??:??:?? ????");
        return text;
    }
    sprintf(text, "%s %s %02d %02d:%02d:%02d %04d", weekdays[local->tm_wday % 7],
            months[local->tm_mon % 12], local->tm_mday, local->tm_hour, local->tm_min,
            local->tm_sec, (local->tm_year + 1900) % 10000);
    return text;
}

// The log is written with the run's rights, which may be more than those of whoever can
// put something at its name: a link planted there would make the run write to the file
// behind it. Only a plain file of one name, reached through no link, is appended to.
static const char OWN_LOG_FORMAT[] = "vxwipe-%lu.log";
const int OWN_LOG_TRIES = 100;
const DWORD LOG_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE; // its name stays put
const DWORD NOT_PLAIN = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
const int FINAL_PATH_CAPACITY = PLATFORM_PATH_CAPACITY + 8; // with its "\\?\" prefix

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE file, LPSTR path, DWORD capacity, DWORD flags);

// The path that a handle reached, links followed; 0 where the system cannot tell. Systems
// before Vista, which lack the function, have no links to files either.
static int FinalPath(FinalPathFunction finalPath, HANDLE handle, char* path) {
    DWORD length = finalPath(handle, path, FINAL_PATH_CAPACITY, 0);
    return length > 0 && length < (DWORD)FINAL_PATH_CAPACITY;
}

// True when the file is not the entry name in folder: a link on the way led elsewhere.
static int ReachedThroughLink(HANDLE file, const char* folder, const char* name) {
    FinalPathFunction finalPath = (FinalPathFunction)KernelFunction("GetFinalPathNameByHandleA");
    if (finalPath == NULL)
        return 0;
    HANDLE directory = CreateFileA(folder[0] != '\0' ? folder : ".", 0, LOG_SHARING, NULL,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (directory == INVALID_HANDLE_VALUE)
        return 1;
    char expected[FINAL_PATH_CAPACITY];
    char reached[FINAL_PATH_CAPACITY];
    int known = FinalPath(finalPath, directory, expected) && FinalPath(finalPath, file, reached);
    CloseHandle(directory);
    if (!known || strlen(expected) + 1 + strlen(name) >= (size_t)FINAL_PATH_CAPACITY)
        return 1;
    AppendBackslash(expected, FINAL_PATH_CAPACITY);
    strcat(expected, name);
    return lstrcmpiA(expected, reached) != 0;
}

static int IsPlainLogFile(HANDLE file, const char* folder, const char* name) {
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1 &&
           (information.dwFileAttributes & NOT_PLAIN) == 0 &&
           !ReachedThroughLink(file, folder, name);
}

static HANDLE CreateNewLog(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, LOG_SHARING, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       NULL);
}

// The log of the given name in folder, made if missing; INVALID_HANDLE_VALUE when it
// cannot be opened or is no plain file.
static HANDLE OpenSharedLog(const char* folder, const char* name, const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, LOG_SHARING, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | OpenReparsePointFlag(), NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? CreateNewLog(path) : file;
    if (IsPlainLogFile(file, folder, name))
        return file;
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

// A new file of this run's own in folder, "vxwipe-<number>.log", into path.
static HANDLE CreateOwnLog(const char* folder, char* path) {
    DWORD number = GetCurrentProcessId();
    for (int i = 0; i < OWN_LOG_TRIES; i++, number++) {
        if (strlen(folder) + sizeof OWN_LOG_FORMAT + 10 > (size_t)PLATFORM_PATH_CAPACITY)
            break;
        sprintf(path, "%s", folder);
        sprintf(path + strlen(path), OWN_LOG_FORMAT, (unsigned long)number);
        HANDLE file = CreateNewLog(path);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The stream of an open file, appending in text mode as fopen(path, "a") would.
static FILE* AppendStream(HANDLE file) {
    int descriptor = _open_osfhandle((intptr_t)file, _O_APPEND | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return NULL;
    }
    return _fdopen(descriptor, "a");
}

int InitLog(const char* name) {
    char folder[PLATFORM_PATH_CAPACITY];
    DWORD length = GetTempPathA(PLATFORM_PATH_CAPACITY, folder);
    if (length >= 1 && length < (DWORD)PLATFORM_PATH_CAPACITY &&
        strlen(folder) + strlen(name) + 1 < (size_t)PLATFORM_PATH_CAPACITY)
        AppendBackslash(folder, PLATFORM_PATH_CAPACITY);
    else
        folder[0] = '\0'; // the current directory
    char path[PLATFORM_PATH_CAPACITY];
    sprintf(path, "%s", folder);
    lstrcpynA(path + strlen(path), name, PLATFORM_PATH_CAPACITY - (int)strlen(path));
    HANDLE file = OpenSharedLog(folder, name, path);
    int ownLog = file == INVALID_HANDLE_VALUE;
    if (ownLog)
        file = CreateOwnLog(folder, path);
    if (file != INVALID_HANDLE_VALUE)
        s_logFile = AppendStream(file);
    if (s_logFile == NULL) {
        fputs("InitLog: fail to open log file\n", stderr);
        return 0;
    }
    LogMessage("%s", LOG_SEPARATOR);
    LogMessage(">>> START: %s\n", LogTimestamp());
    if (ownLog)
        LogMessage("InitLog: %s is a link, no plain file or not writable: this run's trace is "
                   "in %s\n",
                   name, path);
    return 1;
}

void LogMessage(const char* format, ...) {
    if (s_logFile == NULL)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(s_logFile, format, arguments);
    va_end(arguments);
}

void LogVerbose(const char* format, ...) {
    (void)format;
}

void FlushLog() {
    if (s_logFile != NULL)
        fflush(s_logFile);
}

void EndLog() {
    LogMessage("<<< END: %s\n", LogTimestamp());
    if (s_logFile != NULL) {
        fclose(s_logFile);
        s_logFile = NULL;
    }
}
