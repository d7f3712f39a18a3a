#include "shell/play_options.h"

#include <cstdlib>
#include <cstring>

#include "search/strength.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/input.h"
#include "shell/output.h"

void PrintPlayOptions() {
    PrintLine("option name UCI_Chess960 type check default false");
    PrintLine("option name UCI_LimitStrength type check default false");
    PrintLineF("option name UCI_Elo type spin default 1500 min %d max %d", STRENGTH_ELO_MIN,
               STRENGTH_ELO_MAX);
}

int SetPlayOption(const char* name, const char* value) {
    if (strcmp(name, "UCI_Chess960") == 0) {
        options.chess960 = strcmp(value, "true") == 0;
        PrintLineF("info string UCI_Chess960 set to %d", options.chess960);
    } else if (strcmp(name, "UCI_LimitStrength") == 0) {
        options.limitStrength = strcmp(value, "true") == 0;
        PrintLineF("info string UCI_LimitStrength set to %d", options.limitStrength);
    } else if (strcmp(name, "UCI_Elo") == 0) {
        int elo = ReadInteger(value);
        options.elo = elo < STRENGTH_ELO_MIN   ? STRENGTH_ELO_MIN
                      : elo > STRENGTH_ELO_MAX ? STRENGTH_ELO_MAX
                                               : elo;
        PrintLineF("info string UCI_Elo set to %d", options.elo);
    } else if (strcmp(name, "Seed") == 0) {
        // Not announced: lets tests and matches repeat the limited play's choices.
        unsigned long long seed = strtoull(value, nullptr, 10);
        ShellStrengthSeed(seed);
        PrintLineF("info string Seed set to %llu", seed);
    } else {
        return 0;
    }
    return 1;
}
