// Shared pieces of the evaluation steps: the per-call context, constant
// masks and the step functions, called in a fixed order by Evaluate.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "board/attacks.h"
#include "board/bitops.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/settings.h"
#include "search/search_thread.h"

struct EvalContext {
    SearchThread* t;
    Position& p;
    EvalCaches& c;
    StackEntry& st;
    int side;
    bool trace;
};

extern Bitboard FrontSpan[2][64];
extern Bitboard PassedMask[2][64];
extern Bitboard AdjacentFiles[8];
extern Bitboard PhalanxMask[64];
extern Bitboard FileMask[8];

constexpr Bitboard DARK_SQUARES = 0xAA55AA55AA55AA55ull; // a1 and its colour
constexpr Bitboard CENTRE_C3F6 = 0x00003C3C3C3C0000ull;
constexpr Bitboard BLOCK_B2G7 = 0x007E7E7E7E7E7E00ull;
constexpr Bitboard WHITE_HALF = 0x00000000FFFFFFFFull;
constexpr Bitboard BLACK_HALF = 0xFFFFFFFF00000000ull;

inline int Distance(int a, int b) {
    return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

inline int Taper(int op, int en, int stage) { return (op * (24 - stage) + en * stage) / 24; }

inline void AddPos(EvalContext& x, int colour, int op, int en) {
    x.c.posOp[colour] += op;
    x.c.posEn[colour] += en;
}

// Trace bookkeeping, used only in trace mode.
inline void TraceTermAdd(int term, int colour, int op, int en) {
    evalTrace.termOp[term][colour] += op;
    evalTrace.termEn[term][colour] += en;
}
inline void TraceSquareAdd(EvalContext& x, int sq, int op, int en) {
    evalTrace.square[sq] = int16_t(evalTrace.square[sq] + Taper(op, en, x.c.stage));
}

// Pawn structure: loads (or computes and stores) the pawn entry and adds the
// per-pawn values to the positional sums.
void PawnStructure(EvalContext& x);
void BlockedPawns(EvalContext& x);
void PassedPawns(EvalContext& x);
void Candidates(EvalContext& x);

void SetUpAttacks(EvalContext& x);
void Knights(EvalContext& x, int colour);
void Bishops(EvalContext& x, int colour);
void Rooks(EvalContext& x, int colour);
void Queens(EvalContext& x, int colour);
void KingSafety(EvalContext& x, int colour);
void HungPieces(EvalContext& x, int colour);
void PinnedPieces(EvalContext& x, int colour);
