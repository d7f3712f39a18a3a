// The playing-strength limit: a weaker player at a chosen Elo.
//
// A limited search looks at fewer nodes and at several principal lines; the
// move played is drawn among those lines, weighted by how much each gives up
// against the best and by the target Elo, so that a weaker setting misses
// more and bigger chances but never plays a random move. The draw comes from
// a generator of its own, seeded at start-up from the clock or set by the
// caller, so that a fixed seed repeats the same choices.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "search/search_thread.h"

constexpr int STRENGTH_ELO_MIN = 1000;
constexpr int STRENGTH_ELO_MAX = 2500; // the full strength on Stockfish's scale

struct StrengthPlan {
    int lines;          // principal lines searched
    uint64_t nodes;     // node budget of the search, 0 for none
    double temperature; // centipawns: a line this much worse is e times less likely
    int maxLoss;        // centipawns: worse lines are never played
};

// The search settings and the choice rule for a target Elo (clamped).
StrengthPlan PlanForElo(int elo);

void StrengthSetSeed(uint64_t seed);

// Called before a search is prepared (plan given) and after PrepareSearch
// (caps the threads' node budgets). The caller's MultiPV is kept aside.
void StrengthBeginSearch(const StrengthPlan& plan, bool capNodes);
void StrengthCapNodes();
// Called by the main search thread when every line of a depth is complete.
void StrengthNoteLines(const SearchThread* t, int depth, int count);
// Ends the limited search, with the caller's MultiPV back in place: the move
// to play instead of the search's own, with its score and depth, or 0 when
// the draw falls on the best line (or there was nothing to choose from).
Move StrengthEndSearch(int* score, int* depth);
// True between StrengthBeginSearch and StrengthEndSearch.
bool StrengthActive();
