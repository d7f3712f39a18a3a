// Zobrist keys: generated once by a fixed 32-bit generator so that every run
// of the engine uses the same values.
#pragma once

#include <cstdint>

#include "board/position.h"

extern uint64_t PieceKeys[16][64];
extern uint64_t StateKeys[66]; // indexed by castling rights (0..15) and by en-passant square
extern const uint64_t SideKey[2];
// State of the key generator; it keeps its value after the keys are drawn.
extern uint32_t zobristSeed;

// Draws the keys on the first call; later calls do nothing.
void InitZobristKeys();
bool ZobristKeysReady();

// key plus side, castling and en-passant state.
inline uint64_t SearchKey(const Position& p) {
    return p.key ^ StateKeys[p.epSquare] ^ StateKeys[p.castling] ^ SideKey[p.side];
}

// key and pawnKey from scratch.
void ComputeKeys(Position& p);
