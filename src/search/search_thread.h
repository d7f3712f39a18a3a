// The per-thread search context: history, search stack, move lists, ordering
// memory, evaluation caches, counters and the thread's own position.
#pragma once

#include <atomic>

#include "board/position.h"
#include "board/types.h"
#include "eval/eval_caches.h"
#include "search/relaxed.h"

constexpr int MAX_HISTORY = 800;
constexpr int MAX_PLY = 70;
// Game moves kept in the history: the rest leaves room for the deepest search line.
constexpr int MAX_GAME_PLIES = MAX_HISTORY - MAX_PLY - 10;
// The most moves one position can generate: nine pieces of each kind (all a
// piece list holds) each at its largest mobility (queen 27, rook 14, bishop
// 13, knight 8, a pawn promoting on three squares 12), the king's 8 and two
// castlings.
constexpr int MAX_POSITION_MOVES = 9 * (27 + 14 + 13 + 8 + 12) + 8 + 2;
// Each ply's list (a hash move, the generated moves, two terminators) sits
// behind the previous ply's, so the area holds the deepest possible line.
constexpr int MOVE_AREA = MAX_PLY * (MAX_POSITION_MOVES + 3);

struct StackEntry {
    uint16_t pvNode;
    uint16_t drawMark;
    int16_t depth;
    int16_t staticEval;
    int16_t alpha, beta;
    int16_t ttScore;
    uint16_t extended;
    uint16_t reduction;
    uint16_t inIID;
    uint16_t moveFlags;
    int16_t threat[2];
    uint16_t movesSearched;
    int16_t bestScore;
    int32_t tbResult;
    Move bestMove;
    Move ttMove;
    Move nullKiller;
    Move killer1, killer2;
    Move evasionKiller;
    uint16_t stage;
    MoveEntry* listStart;
    MoveEntry* listCurrent;
};

struct SearchThread {
    UndoRecord history[MAX_HISTORY];
    StackEntry stack[MAX_PLY];
    MoveEntry moves[MOVE_AREA];
    int16_t historyTable[2048];
    uint16_t counterMove[1024];
    EvalCaches eval;

    // control block
    uint8_t threadIndex;
    std::atomic<uint8_t> state; // 0 idle, 1 search requested, 99 quit
    uint32_t seed;
    Relaxed<uint8_t> iterDepth;
    Relaxed<uint8_t> rootState;
    uint8_t completedDepth;
    uint8_t seldepth;
    Relaxed<int16_t> score;
    int16_t rootEval;
    uint64_t nodeLimit;
    Relaxed<uint64_t> nodes;
    Relaxed<uint64_t> tbHits;
    Relaxed<uint64_t> evalProbes;
    Relaxed<uint64_t> evalHits;
    Relaxed<uint64_t> ttProbes;
    Relaxed<uint64_t> ttHits;
    Relaxed<uint64_t> pawnProbes;
    Relaxed<uint64_t> pawnHits;
    uint16_t historyCount;
    uint16_t startPly; // game ply of the position the history starts from (0 = white's first move)
    uint16_t ply;
    Move lastMove;
    uint8_t extensionBudget;
    uint8_t searchRunning; // set while a search of this thread is under way

    Position pos;
    Relaxed<Move> rootPv[MAX_PLY];
    uint64_t depthNodes[MAX_PLY];
    Relaxed<int16_t> depthScore[MAX_PLY];
};

// Allocates a zero-filled context with its position linked back to it; nullptr on failure.
SearchThread* NewSearchThread();
void FreeSearchThread(SearchThread* t);
