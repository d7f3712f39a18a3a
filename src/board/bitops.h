// Bit primitives over bitboards. The portable forms (lowest bit by a folded
// 32-bit multiply, highest bit by a byte table, population count by SWAR on
// the two halves) are kept as the reference; the engine uses the processor's
// bit instructions, which a test proves give the same results.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "board/types.h"

namespace bitops_detail {

constexpr uint32_t FOLD_MULTIPLIER = 0x783A9B23u;

// Index into the bit-scan table for a value whose lowest set bit is wanted.
constexpr int FoldIndex(Bitboard b) {
    Bitboard m = b ^ (b - 1); // every bit up to and including the lowest set one
    uint32_t fold = uint32_t(m) ^ uint32_t(m >> 32);
    return int(uint32_t(fold * FOLD_MULTIPLIER) >> 26);
}

constexpr std::array<uint8_t, 64> BuildBitScanTable() {
    std::array<uint8_t, 64> t{};
    for (int i = 0; i < 64; i++) t[FoldIndex(Bitboard(1) << i)] = uint8_t(i);
    return t;
}

constexpr std::array<uint32_t, 256> BuildMsbTable() {
    // floor(log2 n); 0 and 1 both map to 0, every power of two adds one.
    std::array<uint32_t, 256> t{};
    for (int n = 2; n < 256; n++) t[n] = (n & (n - 1)) == 0 ? t[n - 1] + 1 : t[n - 1];
    return t;
}

} // namespace bitops_detail

inline constexpr std::array<uint8_t, 64> BitScanTable = bitops_detail::BuildBitScanTable();
inline constexpr std::array<uint32_t, 256> MsbTable = bitops_detail::BuildMsbTable();

// Square of the lowest set bit; b must not be empty.
inline int BitScanFolded(Bitboard b) { return BitScanTable[bitops_detail::FoldIndex(b)]; }

// Square of the highest set bit; b must not be empty.
inline int HighestBitByTable(Bitboard b) {
    uint32_t v;
    int base;
    if (b >> 32) {
        v = uint32_t(b >> 32);
        base = 32;
    } else {
        v = uint32_t(b);
        base = 0;
    }
    if (v > 0xFFFF) {
        v >>= 16;
        base += 16;
    }
    if (v > 0xFF) {
        v >>= 8;
        base += 8;
    }
    return base + int(MsbTable[v]);
}

inline int PopCount32(uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return int((x * 0x01010101u) >> 24);
}

inline int PopCountSwar(Bitboard b) {
    return PopCount32(uint32_t(b)) + PopCount32(uint32_t(b >> 32));
}

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
