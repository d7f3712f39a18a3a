#include "search/threads.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/tb_hooks.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/output.h"
#include "shell/report.h"

SearchThread* primaryThread = nullptr;

namespace {

int poolSize = 0;
std::atomic<uint8_t> threadReady[MAX_THREADS + 1];
std::atomic_flag resultLock = ATOMIC_FLAG_INIT;

void LockResult() {
    while (resultLock.test_and_set(std::memory_order_acquire)) {}
}
void UnlockResult() { resultLock.clear(std::memory_order_release); }

void* ThreadBody(void* arg) {
    int i = int(reinterpret_cast<intptr_t>(arg));
    if (searchState.threads[i]) FreeSearchThread(searchState.threads[i]);
    SearchThread* t = NewSearchThread();
    if (!t) exit(0);
    t->stack[1].listStart = t->moves;
    t->pos.owner = t;
    t->seed = uint32_t(i * 123);
    t->threadIndex = uint8_t(i);
    t->state = 0;
    searchState.threads[i] = t;
    threadReady[i].store(1);
    for (;;) {
        uint8_t s = t->state.load();
        if (s == 0) {
            SleepMilliseconds(1);
            continue;
        }
        if (s == 99) {
            t->state = 0;
            return nullptr;
        }
        ThreadSearch(t);
        t->state = 0;
    }
}

// Score of a root move for ordering; root scores may be negative.
inline int RootScore(const MoveEntry& e) { return int16_t(e.score); }

// Root list of the legal moves, scored for the first iteration; returns its length.
int BuildRootList(SearchThread* t) {
    Position& p = t->pos;
    MoveEntry* list = GenAllMoves(p);
    int n = 0;
    for (MoveEntry* e = list; e->move != END_OF_LIST; e++)
        if (e->move && IsLegal(p, p.side, e->move)) list[n++] = *e;
    list[n].move = END_OF_LIST;
    list[n].piece = list[n].captured = 0;
    t->stack[2].listStart = list + n + 1;
    ScoreMoves(p, list);
    return n;
}

void ReportMultiPv(SearchThread* t, int depth, int pvIndex) {
    double delay = searchState.reportDelay;
    if (delay == 9999 || StopFlag() || Now() - timeState.startTime < delay) return;
    if (!t->rootPv[1]) return;
    ReportLine(t->threadIndex, pvIndex, depth, t->score, t->rootPv);
}

// All principal lines of one depth.
void IterationAllLines(SearchThread* t, int depth, int rootCount, bool primary) {
    RootIteration(t, depth, 0);
    int lines = searchState.multiPv;
    bool report = primary && (depth == 1 || lines > 1);
    if (report) ReportMultiPv(t, depth, 0);
    for (int k = 1; k < lines && k < rootCount && !StopFlag(); k++) {
        RootIteration(t, depth, k);
        if (report) ReportMultiPv(t, depth, k);
    }
    if (primary && StrengthActive() && !StopFlag())
        StrengthNoteLines(t, depth, lines < rootCount ? lines : rootCount);
    if (primary && lines > 1 && options.protocolMode != PROTOCOL_UCI) PrintLine("");
}

// Secondary threads search one ply deeper when enough threads already
// search the current depth.
int SkippedDepth(int d) {
    if (searchState.multiPv != 1 || d <= 6 || d >= searchState.maxDepth) return d;
    int count = 0;
    for (int i = 1; i <= poolSize; i++) {
        SearchThread* o = searchState.threads[i];
        if (o && Peek(o->iterDepth) >= d) count++;
    }
    int needed = int(std::round(0.5 * poolSize + 1));
    return needed <= count ? d + 1 : d;
}

void RootNoise(SearchThread* t) {
    MoveEntry* list = t->stack[1].listStart;
    for (int i = 1; list[i].move != END_OF_LIST; i++) {
        t->seed = t->seed * 63 + 987654321u;
        list[i].score = uint16_t(int16_t(RootScore(list[i]) - int(t->seed % 24)));
    }
}

} // namespace

int StartThreads(int n) {
    StopThreads(); // a new pool replaces the old one
    if (n < 1) n = 1;
    if (n > MAX_THREADS) n = MAX_THREADS;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    for (int i = 1; i <= n; i++) threadReady[i] = 0;
    for (int i = 1; i <= n; i++) {
        pthread_t id;
        int err = pthread_create(&id, &attr, ThreadBody, reinterpret_cast<void*>(intptr_t(i)));
        if (err) {
            pthread_attr_destroy(&attr);
            poolSize = i - 1;
            return err;
        }
    }
    pthread_attr_destroy(&attr);
    for (int i = 1; i <= n; i++)
        while (!threadReady[i].load()) SleepMilliseconds(1);
    poolSize = n;
    primaryThread = searchState.threads[1];
    return 0;
}

void StopThreads() {
    if (poolSize == 0) return;
    SetStop(STOP_TERMINATE);
    while (BusyCount()) SleepMilliseconds(1);
    for (int i = 1; i <= poolSize; i++) searchState.threads[i]->state = 99;
    for (int i = 1; i <= poolSize; i++)
        while (searchState.threads[i]->state.load() != 0) SleepMilliseconds(1);
    poolSize = 0;
}

int PoolSize() { return poolSize; }

int BusyCount() {
    int sum = 0;
    for (int i = 1; i <= poolSize; i++) sum += searchState.threads[i]->state.load();
    return sum;
}

void MarkThreadBusy(int i) {
    if (i >= 1 && i <= poolSize) searchState.threads[i]->state = 1;
}

void PrepareSearch() {
    SearchThread* game = searchState.threads[0];
    if (searchRequest.load()) searchMode = searchRequest.load();
    SetStop(STOP_NONE);
    searchState.best.score = NO_SCORE;
    searchState.best.depth = 0;
    searchState.best.pv[1] = 0;
    searchState.best.pv[2] = 0;
    searchState.easy = 0;
    searchState.lastChangeDepth = 0;
    searchState.lastDoneDepth = 0;
    searchState.lastDoneTime = 0;
    searchState.iterDepth = 0;
    searchState.totalNodes = searchState.totalTbHits = 0;
    searchState.totalEvalProbes = searchState.totalEvalHits = 0;
    searchState.totalTtProbes = searchState.totalTtHits = 0;
    searchState.totalPawnProbes = searchState.totalPawnHits = 0;
    int rootSide = game->pos.side;
    searchState.rootSide = uint8_t(rootSide);
    searchState.drawScore[rootSide] = settings.draw_score;
    searchState.drawScore[rootSide ^ 1] = int16_t(-settings.draw_score);
    transTable.age = uint16_t(game->historyCount + 1);
    transTable.inUse = transTable.hashMegabytes >= 1 && options.hashMode != 0 && transTable.entries;
    for (int d = 0; d < MAX_PLY; d++) {
        searchState.scoreByDepth[d] = NO_SCORE;
        searchState.moveByDepth[d] = 0;
    }
    SetTarget();
    primaryThread = searchState.threads[1];
    for (int i = 0; i <= poolSize; i++) {
        SearchThread* t = searchState.threads[i];
        if (!t) continue;
        t->nodeLimit = searchState.nodeLimit ? searchState.nodeLimit : (uint64_t(1) << 62);
        t->iterDepth = t->rootState = t->completedDepth = t->seldepth = 0;
        t->score = 0;
        t->nodes = t->tbHits = t->evalProbes = t->evalHits = 0;
        t->ttProbes = t->ttHits = t->pawnProbes = t->pawnHits = 0;
        t->ply = 1;
        t->rootPv[1] = 0;
        if (i == 0) continue;
        t->pos = game->pos;
        t->pos.owner = t;
        t->historyCount = game->historyCount;
        t->lastMove = game->lastMove;
        memcpy(t->history, game->history, sizeof(UndoRecord) * (game->historyCount + 1));
        t->history[t->historyCount].move = 0;
    }
    StrengthCapNodes();
    if (searchState.reportDelay != 9999) ReportPosition();
}

void SumCounters() {
    SearchState& s = searchState;
    s.totalNodes = s.totalTbHits = s.totalEvalProbes = s.totalEvalHits = 0;
    s.totalTtProbes = s.totalTtHits = s.totalPawnProbes = s.totalPawnHits = 0;
    auto add = [&](const SearchThread* t) {
        s.totalNodes += Peek(t->nodes);
        s.totalTbHits += Peek(t->tbHits);
        s.totalEvalProbes += Peek(t->evalProbes);
        s.totalEvalHits += Peek(t->evalHits);
        s.totalTtProbes += Peek(t->ttProbes);
        s.totalTtHits += Peek(t->ttHits);
        s.totalPawnProbes += Peek(t->pawnProbes);
        s.totalPawnHits += Peek(t->pawnHits);
    };
    // The console's context counts only when a tool searched on it.
    if (s.threads[0] && primaryThread == s.threads[0]) add(s.threads[0]);
    for (int i = 1; i <= poolSize; i++)
        if (s.threads[i]) add(s.threads[i]);
}

void PublishResult(SearchThread* t) {
    SearchResult& best = searchState.best;
    LockResult();
    int score = t->score, depth = t->completedDepth;
    bool publish = (score > 9899 && score >= best.score) ||
                   (depth > best.depth && best.score <= 9898) ||
                   (depth == best.depth && score > best.score);
    if (!publish) {
        UnlockResult();
        return;
    }
    if (t->rootPv[1] != best.pv[1]) searchState.lastChangeDepth = uint8_t(depth);
    best.score = int16_t(score);
    best.depth = uint8_t(depth);
    for (int k = 0; k < MAX_PLY; k++) best.pv[k] = t->rootPv[k];
    searchState.scoreByDepth[depth] = best.score;
    searchState.moveByDepth[depth] = best.pv[1];
    UnlockResult();

    if (depth > 1 && searchState.multiPv == 1 && t->rootPv[1]) {
        double delay = searchState.reportDelay;
        bool due = delay != 9999 && (StopFlag() || Now() - timeState.startTime >= delay);
        if (due) ReportLine(t->threadIndex, 0, depth, score, t->rootPv);
    }
}

void ThreadSearch(SearchThread* t) {
    Position& p = t->pos;
    const bool primary = IsPrimary(t);
    t->searchRunning = 0;
    t->ply = 1;
    t->iterDepth = 0;
    t->completedDepth = 0;
    for (Relaxed<Move>& m : t->rootPv) m = 0;
    t->stack[1].listStart = t->moves;
    t->moves[0].move = END_OF_LIST;
    for (StackEntry& e : t->stack) {
        e.ttMove = e.nullKiller = e.killer1 = e.killer2 = e.evasionKiller = 0;
        e.reduction = e.extended = 0;
    }
    ResetOrdering(t);

    StackEntry& root = t->stack[1];
    root.alpha = NO_SCORE;
    root.beta = MATE_SCORE;
    root.pvNode = 1;
    root.tbResult = -1;
    root.inIID = root.moveFlags = root.drawMark = 0;
    root.threat[0] = root.threat[1] = 0;

    int side = p.side;
    int inCheck = InCheck(p, side);
    int staticEval = Evaluate(t, side, 1, inCheck);
    t->rootEval = int16_t(staticEval);
    t->score = int16_t(staticEval);
    root.staticEval = int16_t(staticEval);
    t->stack[0].staticEval = int16_t(-staticEval);
    t->searchRunning = 1;

    if (searchState.maxDepth < 1) {
        t->searchRunning = 0;
        return;
    }
    int rootCount = BuildRootList(t);
    if (rootCount == 0) {
        t->score = int16_t(inCheck ? -9999 : 0);
        t->iterDepth = t->seldepth = t->completedDepth = 1;
        if (primary) PublishResult(t);
        SetStop(STOP_NO_MOVES);
        t->searchRunning = 0;
        return;
    }

    if (!primary) {
        // The main thread settles the root tablebase verdict before its first
        // iteration begins; the acquiring read of its depth makes that verdict
        // (and the root moves that go with it) visible here.
        while (!primaryThread || primaryThread->iterDepth.LoadAcquire() == 0) {
            if (StopFlag()) {
                t->searchRunning = 0;
                return;
            }
            SleepMilliseconds(1);
        }
        if (searchState.rootTb != -1) {
            t->searchRunning = 0;
            return;
        }
    } else {
        TbSearchStart(p);
    }

    root.tbResult = searchState.rootTb;
    for (int d = 1; d < 69; d++) {
        if (primary) {
            searchState.iterDepth = uint8_t(d);
            t->iterDepth.StoreRelease(uint8_t(d));
            t->depthNodes[d] = 0;
            t->depthScore[d] = NO_SCORE;
            IterationAllLines(t, d, rootCount, true);
        } else {
            int next = SkippedDepth(d);
            RootNoise(t);
            t->iterDepth = uint8_t(next);
            t->depthNodes[next] = 0;
            t->depthScore[next] = NO_SCORE;
            IterationAllLines(t, next, rootCount, false);
            d = next;
        }
        t->depthNodes[d] = t->nodes;
        if (primary && searchState.multiPv == 1) EasyMoveUpdate(t, d);
        if (StopFlag()) break;
        if (t->rootState != 99) {
            if (primary) {
                searchState.lastDoneTime = Now() - timeState.startTime;
                searchState.lastDoneDepth = uint8_t(d);
            }
            int s = t->depthScore[d];
            if (s >= 9999 - d || s < d - 9999) break;
            if (primary && d >= searchState.maxDepth) break;
        }
    }
    if (primary && !StopFlag()) SetStop(STOP_NOW);
    t->searchRunning = 0;
}

int RootQuiescence(SearchThread* t) {
    Position& p = t->pos;
    Move pv[MAX_PLY] = {};
    t->ply = 1;
    t->stack[1].listStart = t->moves;
    // The root evaluation has been traced already; the search below must not
    // trace it a second time.
    uint8_t running = t->searchRunning;
    t->searchRunning = 1;
    int score = Search(p, p.side, 1, 0, NO_SCORE, MATE_SCORE, 1, pv);
    t->searchRunning = running;
    return score;
}

void RootEvalAndQuiescence(int* eval, int* qscore) {
    int savedDepth = searchState.maxDepth;
    double savedDelay = searchState.reportDelay;
    uint8_t savedMode = searchMode.load();
    searchState.maxDepth = 0;
    searchState.reportDelay = 9999; // no position line before the report
    searchMode = SEARCH_NORMAL;
    StartClock();
    PrepareSearch();
    // The first search thread's context, driven from here: it is idle.
    SearchThread* t = poolSize > 0 ? searchState.threads[1] : searchState.threads[0];
    if (t == searchState.threads[0]) {
        primaryThread = t;
        t->threadIndex = 0;
    }
    Position game = t->pos;
    ThreadSearch(t);
    *eval = t->rootEval;
    *qscore = RootQuiescence(t);
    t->pos = game;
    searchState.maxDepth = savedDepth;
    searchState.reportDelay = savedDelay;
    searchMode = savedMode;
}

void SearchOnCallingThread() {
    SearchThread* t = searchState.threads[0];
    primaryThread = t;
    t->threadIndex = 0;
    // Taking back captures reorders the piece lists; the game position keeps
    // its own order so that it searches like the copies the pool threads get.
    Position game = t->pos;
    ThreadSearch(t);
    t->pos = game;
}
