// Search output: UCI info lines, console lines, the search start lines and the
// console statistics block.
#pragma once

#include "board/types.h"
#include "search/search_thread.h"

// slot: MultiPV line from 0, or -1 for a report that belongs to no line.
// Held by anyone printing search output, so lines never interleave.
void LockReports();
void UnlockReports();

void ReportLine(int threadNumber, int slot, int depth, int score, const Move* pv);
void ReportFinal(int depth, int score, const Move* pv);
// The same for a line that search threads may still write: reported from a copy.
void ReportLine(int threadNumber, int slot, int depth, int score, const Relaxed<Move>* pv);
void ReportFinal(int depth, int score, const Relaxed<Move>* pv);
void ReportPosition();
void ReportStatistics();
void ReportStackDump(SearchThread* t);

// Score as shown, after the root tablebase verdict.
int DisplayScore(int score);
// "cp N" or "mate N" text of a display score.
void ScoreText(int score, char* buffer);
