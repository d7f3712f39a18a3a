// Attack tables, sliding attacks by rays with the nearest blocker, the
// square-attacked test, the legality test and the gives-check test.
#pragma once

#include "board/bitops.h"
#include "board/position.h"
#include "board/types.h"

// Ray directions, in the order of the Rays table.
enum Direction : int {
    DIR_NORTH = 0, // +8
    DIR_EAST = 1,  // +1
    DIR_SOUTH = 2, // -8
    DIR_WEST = 3,  // -1
    DIR_NW = 4,    // +7
    DIR_NE = 5,    // +9
    DIR_SW = 6,    // -9
    DIR_SE = 7     // -7
};

extern Bitboard KnightAttacks[64];
extern Bitboard KingAttacks[64];
extern Bitboard PawnAttacks[2][64];
extern Bitboard Rays[8][64];
extern Bitboard RookFull[64];
extern Bitboard BishopFull[64];
extern Bitboard Between[64][64];

// Fills the tables above; safe to call more than once.
void InitBoardTables();

Bitboard RookAttacks(int sq, Bitboard occ);
Bitboard BishopAttacks(int sq, Bitboard occ);
inline Bitboard QueenAttacks(int sq, Bitboard occ) {
    return RookAttacks(sq, occ) | BishopAttacks(sq, occ);
}

// 1 if a piece of byColour attacks sq.
int IsAttacked(const Position& p, int sq, int byColour);
// 1 if the pseudo-legal move m of colour (the side to move) keeps its king safe.
int IsLegal(Position& p, int colour, Move m);
// 0 no check, 1 direct check, 2 discovered check.
int GivesCheck(const Position& p, int colour, const MoveEntry& e);

// Square of colour's king (64 when it has none).
inline int KingSquare(const Position& p, int colour) {
    return p.pieceList[PieceCode(colour, KING)][0];
}
// 1 if colour's king is attacked.
inline int InCheck(const Position& p, int colour) {
    return IsAttacked(p, KingSquare(p, colour), colour ^ 1);
}
