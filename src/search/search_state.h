// State shared by the search threads and the shell: limits, the stop flag,
// the published result and the root tablebase verdict.
#pragma once

#include <atomic>

#include "board/types.h"
#include "search/search_thread.h"

constexpr int MAX_THREADS = 64;
constexpr int MAX_DEPTH = 66;

// Stop flag values.
constexpr uint8_t STOP_NONE = 0;
constexpr uint8_t STOP_NOW = 1;
constexpr uint8_t STOP_ABANDON = 2;
constexpr uint8_t STOP_NO_MOVES = 3;
constexpr uint8_t STOP_TERMINATE = 99;

// Written under the result lock; the clock polls it without the lock.
struct SearchResult {
    Relaxed<int16_t> score; // -10000 until a result exists
    Relaxed<uint8_t> depth;
    Relaxed<Move> pv[MAX_PLY]; // pv[1] best move, pv[2] ponder move
};

struct SearchState {
    SearchThread* threads[MAX_THREADS + 1]; // 0 = console game, 1..N search threads
    int threadCount = 1;
    std::atomic<uint8_t> stop{0};
    int multiPv = 1;
    int maxDepth = MAX_DEPTH;
    uint64_t nodeLimit = 0;
    SearchResult best;
    int16_t scoreByDepth[MAX_PLY];
    Move moveByDepth[MAX_PLY];
    Relaxed<uint8_t> lastChangeDepth;
    Relaxed<uint8_t> lastDoneDepth;
    double lastDoneTime;
    Relaxed<uint8_t> easy;
    Relaxed<int32_t> rootTb{-1};
    int16_t rootTbScores[2];
    Move rootTbMove;
    double reportDelay = 0;
    int16_t drawScore[2];
    Relaxed<uint8_t> iterDepth; // iteration depth of the main search thread
    uint8_t rootSide;           // side to move at the root of the current search
    // Totals gathered by SumCounters.
    uint64_t totalNodes, totalTbHits, totalEvalProbes, totalEvalHits, totalTtProbes, totalTtHits,
        totalPawnProbes, totalPawnHits;
};

extern SearchState searchState;

inline uint8_t StopFlag() { return searchState.stop.load(std::memory_order_relaxed); }
inline void SetStop(uint8_t v) { searchState.stop.store(v, std::memory_order_relaxed); }
