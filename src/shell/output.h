// The one output path: standard output (flushed) plus the log file while logging is on.
#pragma once

#include <cstdio>

void PrintLine(const char* text);
// printf-style convenience over PrintLine.
void PrintLineF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// An engine message: in UCI mode as an "info string" line, the only form a
// front end expects on standard output; on the console as it is.
void PrintRemark(const char* text);
void PrintRemarkF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes text to the log only (when logging is on and the log is open).
void LogOnly(const char* text);

// Log file lifecycle.
void OpenLogFile(const char* name);
// Opens the log for appending, keeping what it holds.
void AppendLogFile(const char* name);
void CloseLogFile();
FILE* LogFile();
