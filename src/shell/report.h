// Search output: UCI info lines, console lines, the search start lines and the
// console statistics block.
#pragma once

#include "board/types.h"
#include "search/search_thread.h"

// slot: MultiPV line from 0, or -1 for a report that belongs to no line.
// Held by anyone printing search output, so lines never interleave.
void LockReports();
void UnlockReports();

// What a reported score is: exact, or a bound from a failed aspiration window.
enum ScoreBound { SCORE_EXACT = 0, SCORE_UPPER = 1, SCORE_LOWER = 2 };

void ReportLine(int threadNumber, int slot, int depth, int score, const Move* pv,
                ScoreBound bound = SCORE_EXACT);
void ReportFinal(int depth, int score, const Move* pv);
// The same for a line that search threads may still write: reported from a copy.
void ReportLine(int threadNumber, int slot, int depth, int score, const Relaxed<Move>* pv,
                ScoreBound bound = SCORE_EXACT);
void ReportFinal(int depth, int score, const Relaxed<Move>* pv);
void ReportPosition();
void ReportStatistics();
void ReportStackDump(SearchThread* t);

// Score as shown, after the root tablebase verdict.
int DisplayScore(int score);
// "cp N", "mate N" (mating in N moves) or "mate -N" (mated in N moves) text of
// a display score.
void ScoreText(int score, char* buffer);
