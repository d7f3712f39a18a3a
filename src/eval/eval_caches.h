// Per-thread evaluation caches, accumulators and attack maps, embedded in
// every SearchThread.
#pragma once

#include "board/types.h"

constexpr int EVAL_CACHE_SIZE = 16384;
constexpr int PAWN_HASH_SIZE = 8192;

struct EvalCacheEntry {
    uint32_t keyLow, keyHigh;
    int16_t threat[2]; // the ply's threat values when the score was made
    int16_t score;     // side to move's view
};

struct PawnHashEntry {
    uint32_t keyLow, keyHigh;
    Bitboard whiteSpan; // squares white pawns could ever attack
    Bitboard blackSpan;
    Bitboard passed;     // both colours
    Bitboard candidates; // both colours
    int16_t scoreOp[2];
    int16_t scoreEn[2];
    uint8_t files[2]; // bit f: the colour has a pawn on file f
};

struct EvalCaches {
    EvalCacheEntry evalCache[EVAL_CACHE_SIZE];
    PawnHashEntry pawnHash[PAWN_HASH_SIZE];

    // Accumulators of the last call, per colour.
    int mtlOp[2], mtlEn[2], posOp[2], posEn[2];
    int phaseWeight[2]; // capped at 12
    int stage;          // 0 all pieces on the board .. 24 pawns and kings only
    int kingSq[2];
    const PawnHashEntry* pawns; // pawn entry of the last call

    // Attack maps of the last call, per colour.
    Bitboard allAttacks[2];
    Bitboard pawnAttacks[2];
    Bitboard knightAttacks[2];
    Bitboard bishopAttacks[2];
    Bitboard rookAttacks[2];
    Bitboard queenAttacks[2];
    Bitboard doubleAttacks[2];
    Bitboard kingZone[2];
    // Squares from which an enemy knight, bishop or rook would check this colour's king.
    Bitboard knightChecks[2];
    Bitboard bishopChecks[2];
    Bitboard rookChecks[2];
    Bitboard hungPieces;   // both colours
    Bitboard pinnedPieces; // both colours
    int kingAttack[2];     // weight of enemy pieces bearing on this colour's king
};
