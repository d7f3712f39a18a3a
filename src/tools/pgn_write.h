// Games written as standard PGN (export format), so that other programs read
// what the console's "save" and the self-play match write.
#pragma once

#include <cstdio>

struct PgnTags {
    const char* event;
    const char* date; // "YYYY.MM.DD"
    int round;        // 0 writes "?"
    const char* white;
    const char* black;
    const char* result; // "1-0", "0-1", "1/2-1/2" or "*"
    const char* fen;    // the setup position, or nullptr for the standard start
};

// The seven-tag roster (with SetUp and FEN for another start), then the moves
// with their numbers counted from firstPly (0 = white's first move), each
// followed by its comment when comments is given and the entry is not empty,
// and the result. Lines stay within 79 characters.
void WritePgnGame(FILE* out, const PgnTags& tags, int firstPly, const char* const* sanMoves,
                  const char* const* comments, int count);

// Today's date as PGN writes it.
void PgnToday(char date[11]);
