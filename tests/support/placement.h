// Random placements of a material such as "KRvKP" (white pieces, 'v', black
// pieces), shared by the tablebase tests and the tablebase fuzz target.
#pragma once

#include <string>

// Puts the pieces of material on empty squares of board (64 characters, 0 for
// empty, a1 first) drawn by next(64); pawns never on the first or last rank.
// Whether the result is a position is left to the caller.
template <typename Next> void RandomPlacement(const char* material, char board[64], Next next) {
    int colour = 0;
    for (const char* c = material; *c; c++) {
        if (*c == 'v') {
            colour = 1;
            continue;
        }
        int sq;
        do { sq = next(64); } while (board[sq] || (*c == 'P' && (sq < 8 || sq >= 56)));
        board[sq] = colour ? char(*c - 'A' + 'a') : *c;
    }
}

// The board as a FEN with the side to move, no castling rights and no
// en-passant square.
inline std::string PlacementFen(const char board[64], bool whiteToMove) {
    std::string fen;
    for (int r = 7; r >= 0; r--) {
        int empty = 0;
        for (int f = 0; f < 8; f++) {
            char c = board[r * 8 + f];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (r) fen += '/';
    }
    return fen + (whiteToMove ? " w - -" : " b - -");
}
