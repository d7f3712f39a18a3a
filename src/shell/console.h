// The console command language (started with "-c"): setting up and stepping
// through games, limits and debug displays on thread 0's game position.
#pragma once

// Executes one console command line.
void ConsoleCommand(const char* line);

// After a command that changes the game: the evaluation breakdown when the
// debug flag is set, otherwise the board display.
void ShowPosition();

// Where the board editor takes its lines from before it reads standard input:
// when set, it is asked first and returns 1 with a line (without its line
// break) or 0 when it has none. The input layer uses it to hand over lines it
// has already read ahead; tests use it to feed the editor.
extern int (*consoleLineSource)(char* buffer, int size);

// Counts the move paths of the game position to depth (0..20), one line
// "<move>: <count>" per legal move, then "visited ..." with the total.
void PerftByMove(int depth);
