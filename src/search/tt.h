// The transposition table shared by all search threads without locks. White
// positions index upward from the start of the block and black positions
// downward from its end, so sizes that are not powers of two are used in full;
// every entry carries a check word that exposes torn concurrent writes.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/types.h"

constexpr int BOUND_UPPER = 1;
constexpr int BOUND_LOWER = 2;
constexpr int BOUND_EXACT = 3;

constexpr int TT_EMPTY_DEPTH = -50;
constexpr int TT_MISS = -99;
constexpr int TT_TORN = -98;
constexpr int TT_BAD_MOVE = -97;

// Scores of this magnitude or more are distances to a mate or a table result.
constexpr int MATE_BOUND = 9697;

struct TTEntry {
    uint32_t lock;  // high half of the search key
    uint32_t check; // low half of the key ^ ((score + 15000) ^ (move << 16))
    Move move;
    int16_t score;
    uint16_t age;
    uint8_t bound;
    int8_t depth;
};
static_assert(sizeof(TTEntry) == 16, "a bucket of four entries must fill one cache line");

struct TransTable {
    TTEntry* entries = nullptr; // N + 32 entries
    void* raw = nullptr;        // allocation behind entries (aligned inside it)
    uint32_t n = 0;             // addressable entries
    uint32_t mask = 0;
    TTEntry* lowBase = nullptr;
    TTEntry* highBase = nullptr;
    int hashMegabytes = 64;
    uint8_t inUse = 1;
    uint16_t age = 0;
    double fill = 0;
};

extern TransTable transTable;

// Reallocates for hashMegabytes: 0 on success, -1 when the memory is not
// available (then no table exists and inUse is 0). The first call also draws
// the Zobrist keys.
int TTAllocate();
// Sets the size in megabytes and reallocates; 0 on success.
int AllocateTransTable(int mb);
// Releases the block.
void FreeTransTable();
// Empties every entry; age and fill back to 0.
void TTClear();
inline void ClearTransTable() { TTClear(); }

// A copy of the entry for p; depth below -10 means a miss.
TTEntry TTProbe(const Position& p);
void TTStore(const Position& p, int ply, int depth, int alpha, int beta, int best, Move bestMove);
// Measures the share of entries written in the current search into fill.
double TTFill();
void TTPrefetch(const Position& p);

// Score of an entry as seen from a node at ply.
inline int TTScoreFromEntry(int score, int ply) {
    if (score < -MATE_BOUND) return score + ply;
    if (score >= MATE_BOUND) return score - ply;
    return score;
}
inline int TTScoreToEntry(int score, int ply) {
    if (score < -MATE_BOUND) return score - ply;
    if (score >= MATE_BOUND) return score + ply;
    return score;
}

// Extends pv from index ply with the table's moves (console display).
void TTCompletePv(Position& p, Move* pv, int ply);
