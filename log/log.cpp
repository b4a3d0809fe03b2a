#include "log/log.h"

#include "app/state.h"

#include <stdarg.h>
#include <string.h>
#include <time.h>

static const char LOG_SEPARATOR[] = "\n----------------------------------------\n";
const int TIMESTAMP_CAPACITY = 32;

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

int InitLog(const char* name) {
    char path[PLATFORM_PATH_CAPACITY];
    DWORD length = GetTempPathA(PLATFORM_PATH_CAPACITY, path);
    if (length >= 1 && length < (DWORD)PLATFORM_PATH_CAPACITY &&
        strlen(path) + strlen(name) + 1 < (size_t)PLATFORM_PATH_CAPACITY) {
        AppendBackslash(path, PLATFORM_PATH_CAPACITY);
        strcat(path, name);
    } else {
        lstrcpynA(path, name, PLATFORM_PATH_CAPACITY);
    }
    g_state.logFile = fopen(path, "a");
    if (g_state.logFile == NULL) {
        fputs("InitLog: fail to open log file\n", stderr);
        return 0;
    }
    LogMessage("%s", LOG_SEPARATOR);
    LogMessage(">>> START: %s\n", LogTimestamp());
    return 1;
}

void LogMessage(const char* format, ...) {
    if (g_state.logFile == NULL)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(g_state.logFile, format, arguments);
    va_end(arguments);
}

void LogVerbose(const char* format, ...) {
    (void)format;
}

void FlushLog() {
    if (g_state.logFile != NULL)
        fflush(g_state.logFile);
}

void EndLog() {
    LogMessage("<<< END: %s\n", LogTimestamp());
    if (g_state.logFile != NULL) {
        fclose(g_state.logFile);
        g_state.logFile = NULL;
    }
}
