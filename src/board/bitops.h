// Bit primitives over bitboards, by the processor's bit instructions.
#pragma once

#include <bit>
#include <cstdint>

#include "board/types.h"

// Square of the lowest set bit; b must not be empty.
inline int BitScan(Bitboard b) { return std::countr_zero(b); }

// Square of the highest set bit; b must not be empty.
inline int HighestBit(Bitboard b) { return 63 - std::countl_zero(b); }

inline int PopCount(Bitboard b) { return std::popcount(b); }

// Square of the lowest set bit, which is cleared; b must not be empty.
inline int PopLowest(Bitboard& b) {
    int sq = BitScan(b);
    b &= b - 1;
    return sq;
}

inline Bitboard SquareBit(int sq) { return Bitboard(1) << sq; }
