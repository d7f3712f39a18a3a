// UCI options for the kind of game and the strength of play: UCI_Chess960,
// UCI_LimitStrength and UCI_Elo, and the seed of the strength limit's choices.
#pragma once

// The option lines, printed by "uci" after the others.
void PrintPlayOptions();
// Handles "setoption" for these options; 0 when the name is none of them.
int SetPlayOption(const char* name, const char* value);
