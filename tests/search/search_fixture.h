// Shared set-up for the search tests: engine tables, a small transposition
// table, the reduction tables and helpers that run fixed-depth searches.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/board_fixture.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"

inline void InitSearchForTests() {
    static bool done = false;
    if (done) return;
    done = true;
    InitBoardTables();
    InitZobristKeys();
    BuildKpk();
    InitEvalMasks();
    SetDefaultSettings();
    RebuildTables();
    if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
    options.logEnabled = 0;
    options.hashMode = 1;
    searchState.reportDelay = 9999;
    AllocateTransTable(8);
    BuildReductionTables();
}

inline std::string MoveText(Move m) {
    char buffer[16];
    MoveToTextOrNull(m, buffer);
    return buffer;
}

inline Position& SetGame(const char* fen) {
    InitSearchForTests();
    Position& p = searchState.threads[0]->pos;
    EXPECT_EQ(SetFromFen(p, fen), 1) << fen;
    searchState.threads[0]->ply = 1;
    searchState.threads[0]->stack[1].listStart = searchState.threads[0]->moves;
    return p;
}

// Limits of a fixed-depth search without output.
inline void FixedDepthLimits(int depth) {
    searchState.maxDepth = depth;
    searchState.nodeLimit = 0;
    searchState.multiPv = 1;
    searchState.reportDelay = 9999;
    timeState.mode = 1;
    timeState.fixedTime = 100000;
    searchMode = SEARCH_NORMAL;
    searchRequest = 0;
}

// Fixed-depth search of the game position on the calling thread, from an
// empty table; returns the node count.
inline uint64_t SearchHere(int depth) {
    FixedDepthLimits(depth);
    TTClear();
    StartClock();
    PrepareSearch();
    SearchOnCallingThread();
    SumCounters();
    return searchState.totalNodes;
}

// The same search on the thread pool, with the main thread polling the clock.
inline uint64_t SearchOnPool(int depth) {
    FixedDepthLimits(depth);
    TTClear();
    StartClock();
    PrepareSearch();
    int n = PoolSize();
    for (int i = 1; i <= n; i++) MarkThreadBusy(i);
    while (BusyCount() > 0) {
        TimeCheck();
        SleepMilliseconds(1);
    }
    SumCounters();
    return searchState.totalNodes;
}

// Context for calling the node search directly at a given ply.
inline SearchThread* DirectSearchContext(int ply) {
    SearchThread* t = searchState.threads[0];
    FixedDepthLimits(10);
    TTClear();
    StartClock();
    PrepareSearch();
    searchState.rootTb = -1;
    t->ply = uint16_t(ply);
    t->stack[ply].listStart = t->moves;
    for (int i = 0; i < MAX_PLY; i++) t->stack[i].tbResult = -1;
    ResetOrdering(t);
    t->searchRunning = 1;
    return t;
}
