// The static evaluation: a score in centipawns from the side to move's view.
#pragma once

#include "board/types.h"

struct SearchThread;

// Static scores stay within this, below the mate and table-win scores (from
// 9697 up), which only material far beyond a normal game (nine queens) reaches.
constexpr int EVAL_LIMIT = 9000;

// -10000 at once when inCheck is set, else within +-EVAL_LIMIT. ply selects
// the search-stack entry that receives the draw mark and the threat values.
int Evaluate(SearchThread* t, int side, int ply, int inCheck);
// Asks the processor for the evaluation-cache and pawn-hash entries that
// Evaluate will look at for key (the search key of t's position) and side.
void PrefetchEvalEntries(const SearchThread* t, uint64_t key, int side);

// Breakdown of one root evaluation, written only in trace mode.
enum TraceTerm {
    TRACE_PAWNS,
    TRACE_PASSERS,
    TRACE_KNIGHTS,
    TRACE_BISHOPS,
    TRACE_ROOKS,
    TRACE_QUEENS,
    TRACE_KINGS,
    TRACE_TERMS
};

struct EvalTrace {
    int16_t square[64]; // tapered value of the piece standing there
    int stage;
    double drawAdj;
    int16_t mtl[2];
    int16_t pos[2];
    int16_t term[TRACE_TERMS][2];
    Bitboard hung;
    Bitboard pinned;
    // Untapered sums behind term[], filled while tracing.
    int termOp[TRACE_TERMS][2];
    int termEn[TRACE_TERMS][2];
};

extern EvalTrace evalTrace;

// All values 0, both bitboards empty, drawAdj 1.0.
void ClearEvalTrace();
// Sets up the evaluation's constant masks; safe to call more than once.
void InitEvalMasks();
