// The shell reaches the search, the table, the tablebases, the book and the
// tools through these calls only.
#include "shell/engine_hooks.h"

#include "book/book.h"
#include "eval/kpk.h"
#include "eval/report.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/entry.h"
#include "shell/tuner.h"
#include "tablebase/tbprobe.h"
#include "tools/bench.h"
#include "tools/epd.h"
#include "tools/match.h"
#include "tools/pgn_scan.h"

int ShellBusyCount() { return BusyCount(); }
void ShellPrepareSearch() { PrepareSearch(); }
void ShellMarkThreadBusy(int index) { MarkThreadBusy(index); }
void ShellSumCounters() { SumCounters(); }
const SearchThread* ShellReportedThread() { return primaryThread; }
void ShellTimeCheck() { TimeCheck(); }
int ShellResizeHash(int megabytes) { return AllocateTransTable(megabytes); }
void ShellClearHash() { ClearTransTable(); }
void ShellFreeHash() { FreeTransTable(); }
int ShellStartThreads(int count) { return StartThreads(count); }
void ShellStopThreads() { StopThreads(); }
void ShellTablebaseInit(const char* path) { TbInit(path); }
Move ShellBookMove() { return QuietBookMove(searchState.threads[0]); }
void ShellFreeBook() { FreeBook(); }
void ShellStrengthBegin(int elo, bool capNodes) { StrengthBeginSearch(PlanForElo(elo), capNodes); }
Move ShellStrengthEnd(int* score, int* depth) { return StrengthEndSearch(score, depth); }
void ShellStrengthSeed(uint64_t seed) { StrengthSetSeed(seed); }
double ShellHashFill() { return TTFill(); }
void ShellDebugCounters(long long out[4]) {
    for (int i = 0; i < 4; i++) out[i] = (long long)searchDebugCounters[i];
}

namespace {
// The evaluation report searches the game position with depth limit 0: a
// running analysis is stopped (and reported) first.
void EvalReportSearch(int* eval, int* qscore) {
    StopSearchAndReport();
    RootEvalAndQuiescence(eval, qscore);
}
} // namespace

void ShellInitEvaluation() {
    BuildKpk();
    SetDefaultSettings();
    evalReportSearch = EvalReportSearch;
}
void ShellReadSettings() {
    ReadSettingsFile("vesk.rc");
    SaveSettingsBackup();
}
void ShellRebuildTables() { RebuildTables(); }
void ShellBuildReductionTables() { BuildReductionTables(); }
void ShellOpenBook() { OpenBook(); }
int ShellRunEpdAnalysis(const char* file) { return RunEpdAnalysis(file); }
int ShellRunPgnScan(int mode, const char* file) { return RunPgnScan(mode, file); }
int ShellRunMatch(const char* file) { return RunMatch(file); }
int ShellRunBenchmark(int kind) { return RunBenchmark(kind); }
int ShellRunTuner(const char* file) { return RunTuner(file); }
