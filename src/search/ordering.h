// Move ordering: history and counter moves, the staged move picker of the node
// search, the scoring of complete lists, move classification and the
// late-move-reduction tables.
#pragma once

#include <cstdint>

#include "board/attacks.h"
#include "board/position.h"
#include "board/types.h"
#include "search/search_thread.h"

// MoveFlags bits.
constexpr int MF_CAPTURE = 1;
constexpr int MF_CHECK = 2;
constexpr int MF_DISCOVERED = 4;
constexpr int MF_SEVENTH = 8;
constexpr int MF_QUEEN_PROMO = 16;
constexpr int MF_PASSER = 32;

// Picker stages.
constexpr int STAGE_HASH = 0;
constexpr int STAGE_CAPTURES = 1;
constexpr int STAGE_GOOD_CAPTURES = 3;
constexpr int STAGE_QUIETS = 5;
constexpr int STAGE_REST = 6;
constexpr int STAGE_TAIL = 7;

constexpr int HISTORY_START = 2048;
constexpr int HISTORY_MAX = 8192;

extern uint8_t lmrPv[70][32];
extern uint8_t lmrNonPv[70][32];

extern const int VictimValue[8];
extern const int AttackerValue[8];

inline int MvvLva(const MoveEntry& e) {
    return VictimValue[e.captured & 7] - AttackerValue[e.piece & 7];
}

inline int16_t& HistoryOf(SearchThread* t, int piece, int to) {
    return t->historyTable[piece * 64 + to];
}
inline void HistoryReward(SearchThread* t, int piece, int to) {
    int16_t& h = HistoryOf(t, piece, to);
    h = int16_t(h + (HISTORY_MAX - h) / 64);
}
inline void HistoryPenalty(SearchThread* t, int piece, int to) {
    int16_t& h = HistoryOf(t, piece, to);
    h = int16_t(h - h / 128);
}

// The counter move of the previous move (0 without one).
Move CounterOf(SearchThread* t);

// Ordering memory back to its start values (every search start, and tools).
void ResetOrdering(SearchThread* t);

// Next entry of the current ply's list, or nullptr when it is exhausted.
// The caller sets the ply's stage to 0 before the first call.
MoveEntry* NextMove(Position& p, int inCheck);
// Ordering scores for a complete list (root, ProbCut).
void ScoreMoves(Position& p, MoveEntry* list);
// Swaps the highest-scored entry of the rest of the list into e (earliest wins ties).
void PickBest(MoveEntry* e);
// The node's CheckInfo serves every move of the node (see GivesCheck).
int MoveFlags(const Position& p, int side, const MoveEntry& e, CheckInfo& checks);
inline int MoveFlags(const Position& p, int side, const MoveEntry& e) {
    CheckInfo checks;
    return MoveFlags(p, side, e, checks);
}

void BuildReductionTables();
// Console display of both tables.
void PrintReductionTables();
