// The append-only trace file of a run.
#pragma once

#include <stddef.h>

#define LOG_FILE_NAME "vxwipe.log"

// Opens the log in the temporary directory and writes the separator and START line.
int InitLog(const char* name);
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The verbose channel: takes the same arguments as LogMessage and writes nothing.
void LogVerbose(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Hands what is buffered to the file, so that it survives the process being ended.
void FlushLog();
// Writes the END line and closes the log; does nothing when the log is not open.
void EndLog();
// Local time as "Www Mmm dd hh:mm:ss yyyy"; valid until the next call.
const char* LogTimestamp();
// Makes a non-empty directory path end with a backslash, if it fits.
void AppendBackslash(char* buffer, size_t capacity);
