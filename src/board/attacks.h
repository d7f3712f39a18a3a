// Attack tables, sliding attacks looked up by occupancy, the square-attacked
// test, the legality test and the gives-check test.
#pragma once

#if VESK_PEXT
#include <immintrin.h>
#endif

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

// Sliding attacks of one square for every occupancy of its relevant squares
// (the lines from the square, their edge squares left out): the occupied ones
// index `attacks` by PEXT where the processor has a fast one, otherwise by a
// multiply-and-shift with a magic factor found at start-up.
struct SliderTable {
    Bitboard mask;
    Bitboard magic;
    const Bitboard* attacks;
    unsigned shift;
};
extern SliderTable RookTable[64];
extern SliderTable BishopTable[64];

inline Bitboard SliderLookup(const SliderTable& t, Bitboard occ) {
#if VESK_PEXT
    return t.attacks[_pext_u64(occ, t.mask)];
#else
    return t.attacks[((occ & t.mask) * t.magic) >> t.shift];
#endif
}

// Every square a rook (bishop) on sq reaches over occ, each nearest blocker included.
inline Bitboard RookAttacks(int sq, Bitboard occ) { return SliderLookup(RookTable[sq], occ); }
inline Bitboard BishopAttacks(int sq, Bitboard occ) { return SliderLookup(BishopTable[sq], occ); }
inline Bitboard QueenAttacks(int sq, Bitboard occ) {
    return RookAttacks(sq, occ) | BishopAttacks(sq, occ);
}

// 1 if a piece of byColour attacks sq.
int IsAttacked(const Position& p, int sq, int byColour);
// 1 if the pseudo-legal move m of colour (the side to move) keeps its king safe.
int IsLegal(Position& p, int colour, Move m);
// Pieces of colour that stand alone between their king and an enemy slider.
Bitboard PinnedToKing(const Position& p, int colour);

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

// IsLegal for the moves of one node, given whether the side is in check. Out
// of check a move of an unpinned piece other than the king that is not an
// en-passant capture cannot uncover the king, so only the other moves get the
// full test; the pinned pieces are found once, at the first move that asks.
struct NodePins {
    Bitboard pinned = 0;
    bool known = false;
};
inline int IsLegalInNode(Position& p, int colour, Move m, int inCheck, NodePins& pins) {
    int from = FromSquare(m);
    if (inCheck || from == KingSquare(p, colour) ||
        (ToSquare(m) == p.epSquare && TypeOf(p.board[from]) == PAWN))
        return IsLegal(p, colour, m);
    if (!pins.known) {
        pins.pinned = PinnedToKing(p, colour);
        pins.known = true;
    }
    return (pins.pinned & SquareBit(from)) ? IsLegal(p, colour, m) : 1;
}

// What the gives-check test needs to know about the enemy king, found once
// per node, at the first move that asks.
struct CheckInfo {
    bool known = false;
    int kingSq;
    // Squares from which a bishop (rook) of the mover would see the enemy
    // king over the current occupancy, the moving piece still on its square.
    Bitboard diagonal, straight;
    // Pieces that alone stand between the enemy king and a slider of the mover.
    Bitboard blockers;
};
void FindCheckInfo(const Position& p, int colour, CheckInfo& ci);

// GivesCheck with the node's CheckInfo (filled here when not yet known). In
// a position where the enemy king is not attacked, only a move of a blocker
// can uncover a check, so the full test is left to those.
inline int GivesCheck(const Position& p, int colour, const MoveEntry& e, CheckInfo& ci) {
    if (!ci.known) FindCheckInfo(p, colour, ci);
    int to = ToSquare(e.move);
    Bitboard toBit = SquareBit(to);
    int type = TypeOf(e.piece);
    if (e.move & PROMO_MASK)
        type = (e.move & PROMO_BISHOP)   ? BISHOP
               : (e.move & PROMO_KNIGHT) ? KNIGHT
               : (e.move & PROMO_QUEEN)  ? QUEEN
                                         : ROOK;
    switch (type) {
    case PAWN:
        if (PawnAttacks[colour ^ 1][ci.kingSq] & toBit) return 1;
        break;
    case KNIGHT:
        if (KnightAttacks[ci.kingSq] & toBit) return 1;
        break;
    case BISHOP:
        if (ci.diagonal & toBit) return 1;
        break;
    case ROOK:
        if (ci.straight & toBit) return 1;
        break;
    case QUEEN:
        if ((ci.diagonal | ci.straight) & toBit) return 1;
        break;
    default: break;
    }
    return (ci.blockers & SquareBit(FromSquare(e.move))) ? GivesCheck(p, colour, e) : 0;
}
