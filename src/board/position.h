// The board state kept by every search thread, and the record pushed per move made.
#pragma once

#include "board/types.h"

struct SearchThread;

struct UndoRecord {
    Move move;        // 0 for a null move
    uint8_t captured; // captured piece type, 0 if none (also for en passant)
    uint8_t epSquare;
    uint8_t halfmoveClock;
    uint8_t castling;
    uint64_t key;
    uint64_t pawnKey;
};

struct Position {
    SearchThread* owner;       // holds the history and its counters
    uint8_t board[64];         // piece code per square
    Bitboard bb[16];           // per piece code; bb[0] and bb[8] are the colour sets
    uint8_t pieceList[16][10]; // squares per piece code, ended by 64
    uint8_t listSlot[64];      // index of an occupied square in its piece list
    uint64_t key;              // piece placement only
    uint64_t pawnKey;          // pawns of both colours
    uint32_t matSig[2];        // packed piece counts per colour
    int16_t pieceMat[2];       // non-pawn material in units
    uint8_t side;
    uint8_t halfmoveClock;
    uint8_t castling;
    uint8_t epSquare;
    // Castling set-up, fixed when the position is set up (board/castling.h).
    Move castleMove[4];      // per right: the king's castling move
    uint8_t castleRook[4];   // per right: the rook's square
    Bitboard castleEmpty[4]; // per right: squares that must be empty
    uint8_t castleMask[64];  // rights lost when a piece leaves or enters the square
};

inline Bitboard Occupancy(const Position& p) { return p.bb[0] | p.bb[8]; }
