// Time allotment at the start of a search and the stop decision made by the
// main thread while the search runs.
#include <cstdlib>

#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "shell/engine.h"

namespace {

// Best ordering score behind the first root move, kept across iterations.
int secondMax = 0;

inline int RootScore(const MoveEntry& e) { return int16_t(e.score); }

void StopForTime() {
    if (searchState.best.depth > 1)
        SetStop(searchMode.load() == SEARCH_NORMAL ? STOP_NOW : STOP_ABANDON);
}

} // namespace

void SetTarget() {
    TimeState& ts = timeState;
    const SearchThread* game = searchState.threads[0];
    int side = game->pos.side;
    int n = game->historyCount;
    if (ts.mode == 1) {
        ts.target = ts.fixedTime;
        ts.clock[side] = ts.fixedTime;
        return;
    }
    int divisor;
    bool boost;
    if (ts.mode == 0) {
        if (n < 30) {
            ts.movesLeft = 38 - n / 2;
            divisor = ts.movesLeft + 1;
        } else {
            ts.movesLeft = 24;
            divisor = 25;
        }
        boost = true;
    } else {
        if (options.protocolMode != PROTOCOL_UCI) ts.movesLeft = ts.mode - ((n / 2) % ts.mode);
        divisor = ts.movesLeft + 1;
        boost = ts.movesLeft > 2;
    }
    double clock = ts.clock[side];
    double target = clock / divisor;
    if (ts.ponderOption && boost) target *= 1.3;
    if (ts.increment > 0 && clock > 4 * ts.overhead)
        target += ts.increment * clock / (2 * ts.increment + clock);
    double cap = 0.65 * clock - 4 * ts.overhead;
    if (target > cap) target = cap;
    if (target < 0.002) target = 0.002;
    ts.target = target;
}

void TimeCheck() {
    TimeState& ts = timeState;
    ts.elapsed = Now() - ts.startTime;
    const SearchResult& best = searchState.best;
    int bestDepth = Peek(best.depth);
    if (StopFlag() || searchMode.load() == SEARCH_PONDER || bestDepth < 2 || ts.elapsed < 0.02)
        return;
    const SearchThread* main = primaryThread;
    if (!main) return;

    int d = Peek(main->iterDepth);
    int prev = d >= 1 ? Peek(main->depthScore[d - 1]) : 0;
    int m = 65, M = 260;
    if (std::abs(prev) < 800) {
        m = std::abs(prev) / 16 + 15;
        M = 4 * m;
    }
    int published = Peek(best.score);
    Move bestMove = Peek(best.pv[1]);

    // Other threads that disagree or fail buy more time.
    int extra = 0;
    for (int i = 1; i <= PoolSize(); i++) {
        const SearchThread* t = searchState.threads[i];
        if (!t || Peek(t->iterDepth) < d) continue;
        int score = Peek(t->score);
        int state = Peek(t->rootState);
        if (Peek(t->rootPv[1]) == bestMove) {
            if (score < published && state == 1) extra = 20;
        } else if (score > published) {
            if (state == 2 && extra < 2) extra = 2;
            if (score > published + 20 && extra < 12) extra = 12;
        }
    }

    // A falling score buys more time.
    if (published < prev - M)
        extra = 20;
    else if (published < prev - 2 * m) {
        if (extra < 8) extra = 8;
    } else if (published < prev - m) {
        if (extra < 4) extra = 4;
    }

    double remaining = ts.clock[searchState.rootSide] - ts.elapsed;
    if (remaining < 0) remaining = 0;
    double factor = 1;
    if (d >= 7) {
        int changed = Peek(searchState.lastChangeDepth);
        if (extra == 0 && changed >= d - 1) extra = 1;
        if (extra == 0 && changed < d - 3) factor = 0.85;
    }
    double limit = factor * ts.target + extra * 0.01 * remaining;
    bool expired = ts.mode == 1 ? limit <= ts.elapsed : limit - ts.overhead <= ts.elapsed;
    if (expired) {
        StopForTime();
        return;
    }

    int easy = Peek(searchState.easy);
    if (easy > 0 && (easy == 1 || ts.elapsed >= 0.5 * ts.target)) SetStop(STOP_NOW);

    if (ts.mode == 1) return;
    if (remaining < 5 * ts.overhead) StopForTime();
}

void EasyMoveUpdate(SearchThread* t, int depth) {
    searchState.easy = 0;
    MoveEntry* list = t->stack[1].listStart;
    if (list[0].move == END_OF_LIST) return;
    if (list[1].move == END_OF_LIST) {
        if (depth > 6) searchState.easy = 1;
        return;
    }
    PickBestRoot(&list[1]);
    int second = RootScore(list[1]);
    if (depth < 2 || second > secondMax) secondMax = second;
    int first = RootScore(list[0]);
    if (secondMax + 200 < first && t->rootEval + 225 < first && depth > 11 &&
        searchState.lastChangeDepth < depth - 5)
        searchState.easy = 2;
}
