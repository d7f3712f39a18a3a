#include "shell/output.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>

#include "shell/engine.h"

static FILE* logFile = nullptr;

FILE* LogFile() { return logFile; }

void OpenLogFile(const char* name) {
    // A log that exists but cannot be removed belongs to another instance.
    if (access(name, F_OK) == 0 && remove(name) != 0) {
        PrintRemark("log file in use\n");
        return;
    }
    logFile = fopen(name, "w");
}

void AppendLogFile(const char* name) {
    if (!logFile) logFile = fopen(name, "a");
}

void CloseLogFile() {
    if (logFile) fclose(logFile);
    logFile = nullptr;
}

void PrintLine(const char* text) {
    fputs(text, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    LogOnly(text);
}

void PrintLineF(const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    PrintLine(buffer);
}

void LogOnly(const char* text) {
    if (options.logEnabled && logFile) {
        fputs(text, logFile);
        fputc('\n', logFile);
        fflush(logFile);
    }
}

void PrintRemark(const char* text) {
    if (options.protocolMode == PROTOCOL_UCI)
        PrintLineF("info string %s", text);
    else
        PrintLine(text);
}

void PrintRemarkF(const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    PrintRemark(buffer);
}
