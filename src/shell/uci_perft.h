// "go perft N" in UCI mode: the move-path count per root move in the format
// that perft comparison tools read. Not a UCI command: it starts no search and
// prints no "bestmove".
#pragma once

// When args (the text after "go") asks for perft, counts synchronously on the
// game position, prints the result and returns 1; otherwise returns 0.
int GoPerft(const char* args);
