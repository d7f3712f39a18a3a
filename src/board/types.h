// Basic vocabulary shared by the whole engine: squares, colours, piece codes,
// bitboards and the 16-bit move code.
#pragma once

#include <cstdint>

typedef uint64_t Bitboard;
typedef uint16_t Move;
typedef int16_t Score;

enum Colour : int { WHITE = 0, BLACK = 1 };

enum PieceType : int { EMPTY = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };

// Piece code = type | (colour << 3).
inline int PieceCode(int colour, int type) { return type | (colour << 3); }
inline int TypeOf(int code) { return code & 7; }
inline int ColourOf(int code) { return code >> 3; }

constexpr int NO_SQUARE = 64;
constexpr Move NO_MOVE = 0;
constexpr Move END_OF_LIST = 0xFFFF;

// Promotion flags inside a Move.
constexpr Move PROMO_QUEEN = 0x0040;
constexpr Move PROMO_KNIGHT = 0x0080;
constexpr Move PROMO_BISHOP = 0x4000;
constexpr Move PROMO_ROOK = 0x8000;
constexpr Move PROMO_MASK = 0xC0C0;

inline int ToSquare(Move m) { return m & 63; }
inline int FromSquare(Move m) { return (m >> 8) & 63; }
inline bool IsPromotion(Move m) { return (m & PROMO_MASK) != 0; }
inline Move MakeMoveCode(int from, int to) { return Move(from * 256 + to); }

inline int FileOf(int sq) { return sq & 7; }
inline int RankOf(int sq) { return sq >> 3; }

// One entry of a generated move list.
struct MoveEntry {
    Move move;
    uint16_t score;   // ordering score, written by move ordering only
    uint8_t piece;    // code of the moving piece
    uint8_t captured; // code of the captured piece (0 for quiet moves and en passant)
};

// Score landmarks.
constexpr int MATE_SCORE = 10000;
constexpr int NO_SCORE = -10000;
