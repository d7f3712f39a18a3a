// The PGN scan: engine games with scores in their comments become an
// annotated listing ("tmp.pgn", mode 1) or EPD positions labelled with the
// played move, the score and the result ("tmp.epd", modes 2..4).
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int PGN_MAX_MOVES = 700;
constexpr int16_t SCORE_NO_COMMENT = -30000;
constexpr int16_t SCORE_FIRST_MOVE = -10000;
constexpr int16_t SCORE_UNREADABLE = -29999;

struct PgnMove {
    char text[8];
    int16_t score; // white's view
};

// The whole tool: reads path, writes tmp.pgn or tmp.epd, prints the totals.
void ScanPgn(const char* path, int mode);
// Plays one game from the start position and writes what the mode wants;
// returns the number of positions written. result: 0 "1-0", 1 "0-1", 2 other.
int WriteGame(FILE* out, const PgnMove* moves, int count, int mode, int result);
// The score a closed comment gives to the move before it.
int CommentScore(const char* text, int afterBlackMove);
// "-scan_pgnN file": the tool; returns the exit code.
int RunPgnScan(int mode, const char* file);
