// The shell's view of the search, transposition table, tablebases and book.
#pragma once

#include "board/types.h"

int ShellBusyCount();
void ShellPrepareSearch();
void ShellMarkThreadBusy(int index);
void ShellSumCounters();
// The thread whose search is reported: search thread 1, or the console's
// context when a tool searched on the calling thread; nullptr before any.
const struct SearchThread* ShellReportedThread();
void ShellTimeCheck();
// 0 on success.
int ShellResizeHash(int megabytes);
void ShellClearHash();
void ShellFreeHash();
// 0 on success.
int ShellStartThreads(int count);
void ShellStopThreads();
void ShellTablebaseInit(const char* path);
// A book move for the game position, or 0.
Move ShellBookMove();
void ShellFreeBook();
// The strength limit around one search (search/strength.h).
void ShellStrengthBegin(int elo, bool capNodes);
Move ShellStrengthEnd(int* score, int* depth);
void ShellStrengthSeed(uint64_t seed);
// Transposition-table fill as a fraction 0..1.
double ShellHashFill();
// The four search debug counters (all 0 when the search keeps none).
void ShellDebugCounters(long long out[4]);
// Start-up pieces of the evaluation, the search and the book.
void ShellInitEvaluation(); // king-and-pawn table and parameter defaults
void ShellReadSettings();   // vesk.rc, then the backup copy of the parameters
void ShellRebuildTables();  // tables derived from the parameters
void ShellBuildReductionTables();
void ShellOpenBook();
// Runs a developer tool; returns its exit code.
int ShellRunEpdAnalysis(const char* file);
int ShellRunPgnScan(int mode, const char* file);
int ShellRunMatch(const char* file);
int ShellRunBenchmark(int kind);
int ShellRunTuner(const char* file);
