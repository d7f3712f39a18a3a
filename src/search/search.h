// The alpha-beta search below the root, the quiescence search and the root
// iteration with aspiration windows.
#pragma once

#include "board/position.h"
#include "board/types.h"
#include "search/search_thread.h"

// Scores at or beyond these are mate or table distances.
constexpr int WIN_BOUND = 9698;

// The node search; side is the side to move, pv receives the line from ply on.
int Search(Position& p, int side, int ply, int depth, int alpha, int beta, int pvNode, Move* pv);
// The move loop of a node (also run by internal iterative deepening).
int SearchMoves(Position& p, int side, int ply, int depth, int alpha, int beta, int inCheck,
                int pvNode, Move* pv);
// 1 when a good capture refutes the position above bound at the given depth.
int ProbCut(Position& p, int ply, int depth, int bound);
// Captures (and at depth 0 quiet checks) below the horizon.
int Quiesce(Position& p, int side, int ply, int depth, int alpha, int beta, int pvNode, Move* pv);
// The node search of the position after a root move.
int SearchRootChild(Position& p, int side, int depth, int alpha, int beta, int pvNode, Move* pv);

// One pass over the root list of a thread at one depth for one principal line.
void RootIteration(SearchThread* t, int depth, int pvIndex);
// Like PickBest, for root lists whose ordering scores may be negative.
void PickBestRoot(MoveEntry* e);

// Search debug counters, shown by the console statistics when not all zero.
extern long long searchDebugCounters[4];
