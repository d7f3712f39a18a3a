// What the search needs from the tablebase code: the node rules after the
// draw test (returns 1 with *score when the node ends there) and the root
// verdict at the start of a search (sets searchState.rootTb, rootTbScores,
// rootTbMove).
#pragma once

#include "tablebase/tbprobe.h"

// int TbNodeRules(SearchThread* t, int ply, int depth, int alpha, int beta, int* score);
// void TbSearchStart(const Position& p);
