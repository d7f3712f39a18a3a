#include "shell/play_options.h"

#include <cstring>

#include "shell/engine.h"
#include "shell/input.h"
#include "shell/output.h"

void PrintPlayOptions() {
    PrintLine("option name UCI_Chess960 type check default false");
}

int SetPlayOption(const char* name, const char* value) {
    if (strcmp(name, "UCI_Chess960") == 0) {
        options.chess960 = strcmp(value, "true") == 0;
        PrintLineF("info string UCI_Chess960 set to %d", options.chess960);
    } else {
        return 0;
    }
    return 1;
}

int PerftRequest(const char* args) {
    while (*args == ' ' || *args == '\t') args++;
    if (strncmp(args, "perft", 5) != 0 || (args[5] && args[5] != ' ' && args[5] != '\t')) return -1;
    int depth = ReadInteger(NextWord(args + 5));
    return depth < 0 ? 0 : depth > 20 ? 20 : depth;
}
