// Constant tables shared by the board code: pawn directions, relative ranks,
// castling masks, square names and the per-type material values.
#pragma once

#include <cstdint>

#include "board/types.h"

inline constexpr int PawnPush[2] = {8, -8};
inline constexpr int RankFlip[2] = {0, 56};
inline constexpr Bitboard PromoRankMask[2] = {0x00FF000000000000ull, 0x000000000000FF00ull};

// Castling rights lost when a piece leaves or enters the square.
inline constexpr uint8_t CastleMask[64] = {2, 0, 0, 0, 3,  0, 0, 1, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           0, 0, 0, 0, 0,  0, 0, 0, //
                                           8, 0, 0, 0, 12, 0, 0, 4};

// Castling right bits.
constexpr int CASTLE_WK = 1;
constexpr int CASTLE_WQ = 2;
constexpr int CASTLE_BK = 4;
constexpr int CASTLE_BQ = 8;

// Packed piece counts and non-pawn material units by piece type.
inline constexpr uint32_t MatSigValue[7] = {0, 1, 16, 256, 4096, 65536, 0};
inline constexpr int16_t PieceMatValue[7] = {0, 0, 3, 3, 5, 10, 0};

inline constexpr const char* WhiteLetters = " PNBRQK";
inline constexpr const char* BlackLetters = " pnbrqk";

inline constexpr const char SquareNames[65][3] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2",
    "f2", "g2", "h2", "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4",
    "c4", "d4", "e4", "f4", "g4", "h4", "a5", "b5", "c5", "d5", "e5", "f5", "g5",
    "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6", "a7", "b7", "c7", "d7",
    "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8", "--"};

constexpr Bitboard FILE_A = 0x0101010101010101ull;
constexpr Bitboard FILE_H = 0x8080808080808080ull;
constexpr Bitboard RANK_1 = 0x00000000000000FFull;
constexpr Bitboard RANK_8 = 0xFF00000000000000ull;
