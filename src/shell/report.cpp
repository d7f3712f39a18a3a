#include "shell/report.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/notation.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/output.h"

namespace {

// Lines of different threads never interleave, and the totals are gathered
// consistently with the line that prints them.
std::atomic_flag reportLock = ATOMIC_FLAG_INIT;

double SearchSeconds() { return Now() - timeState.startTime; }

// PV text; in console mode the line breaks come before moves 9, 17 and 25.
void PvText(const Move* pv, int maxMoves, bool consoleBreaks, char* out, size_t size) {
    size_t n = 0;
    out[0] = 0;
    for (int i = 1; i <= maxMoves && pv[i] && i < MAX_PLY; i++) {
        char move[16];
        MoveToTextOrNull(pv[i], move);
        const char* sep = i == 1 ? "" : " ";
        if (consoleBreaks && (i == 9 || i == 17 || i == 25))
            sep = "\n                              ";
        n += snprintf(out + n, size - n, "%s%s", sep, move);
        if (n >= size) break;
    }
}

} // namespace

void LockReports() {
    while (reportLock.test_and_set(std::memory_order_acquire)) {}
}

void UnlockReports() { reportLock.clear(std::memory_order_release); }

int DisplayScore(int score) {
    switch (searchState.rootTb) {
    case 4: return score > 9898 ? score : 9800;
    case 0: return score < -9899 ? score : -9800;
    case 2: return 0;
    default: return score;
    }
}

void ScoreText(int score, char* buffer) {
    if (score > 9899)
        sprintf(buffer, "mate %d", (10000 - score) / 2);
    else if (score < -9900)
        sprintf(buffer, (score + 10000) / 2 ? "mate -%d" : "mate %d", (score + 10000) / 2);
    else
        sprintf(buffer, "cp %d", score);
}

void ReportLine(int threadNumber, int slot, int depth, int score, const Move* pv,
                ScoreBound bound) {
    LockReports();
    ShellSumCounters();
    double elapsed = SearchSeconds();
    int shown = DisplayScore(score);
    double nodes = double(searchState.totalNodes);
    double nps = elapsed > 0.001 ? nodes / elapsed : 0;
    char slotMark = slot >= 0 ? '.' : ' ';
    char pvText[1200];
    char line[1600];
    if (options.protocolMode == PROTOCOL_UCI) {
        char multi[32] = "", tag[32] = "", scoreText[32];
        if (searchState.multiPv > 1) snprintf(multi, sizeof multi, "multipv %d ", slot + 1);
        if (options.extraInfo) snprintf(tag, sizeof tag, "[%02d%c] ", threadNumber, slotMark);
        ScoreText(shown, scoreText);
        if (bound != SCORE_EXACT)
            strcat(scoreText, bound == SCORE_LOWER ? " lowerbound" : " upperbound");
        PvText(pv, 66, false, pvText, sizeof pvText);
        const SearchThread* main = ShellReportedThread();
        int seldepth = main ? main->seldepth - 1 : 0;
        snprintf(line, sizeof line,
                 "info %s%sdepth %d seldepth %d time %.0f score %s nodes %.0f nps %.0f tbhits %.0f "
                 "pv %s",
                 multi, tag, depth, seldepth, elapsed * 1000, scoreText, nodes, nps,
                 double(searchState.totalTbHits), pvText);
    } else {
        int maxMoves = StopFlag() == STOP_NONE ? 8 : 32;
        PvText(pv, maxMoves, true, pvText, sizeof pvText);
        snprintf(line, sizeof line, "%02d] %02d%c %5.1f %7.0fK %5d  %s", threadNumber, depth,
                 slotMark, elapsed, nodes / 1000, shown, pvText);
    }
    PrintLine(line);
    UnlockReports();
}

void ReportFinal(int depth, int score, const Move* pv) {
    if (StopFlag() == STOP_NONE && SearchSeconds() < searchState.reportDelay) return;
    if (searchState.reportDelay == 9999 || depth == 0 || !pv[1]) return;
    ReportLine(0, 0, depth, score, pv);
}

namespace {
void CopyLine(const Relaxed<Move>* from, Move* to) {
    for (int i = 0; i < MAX_PLY; i++) to[i] = from[i];
}
} // namespace

void ReportLine(int threadNumber, int slot, int depth, int score, const Relaxed<Move>* pv,
                ScoreBound bound) {
    Move line[MAX_PLY];
    CopyLine(pv, line);
    ReportLine(threadNumber, slot, depth, score, line, bound);
}

void ReportFinal(int depth, int score, const Relaxed<Move>* pv) {
    Move line[MAX_PLY];
    CopyLine(pv, line);
    ReportFinal(depth, score, line);
}

void ReportPosition() {
    char fen[128];
    SearchThread* game = searchState.threads[0];
    GetFen(game->pos, fen);
    char line[256];
    if (options.protocolMode == PROTOCOL_UCI) {
        snprintf(line, sizeof line, "info string fen %s", fen);
        LogOnly(line);
        snprintf(line, sizeof line, "info string ply= %d, trg_time= %0.3f sec", game->historyCount,
                 timeState.target);
        LogOnly(line);
    } else {
        PrintLineF("fen %s", fen);
        PrintLineF("Ply= %d, Clock= %0.2fs  Target time= %0.2fs", game->historyCount,
                   timeState.clock[game->pos.side], timeState.target);
    }
}

void ReportStatistics() {
    double fill = ShellHashFill();
    double ebf = 2.0;
    const SearchThread* main = ShellReportedThread();
    int d = searchState.lastDoneDepth;
    if (main && d > 5 && main->depthNodes[d] && main->depthNodes[d - 4])
        ebf = pow(double(main->depthNodes[d]) / double(main->depthNodes[d - 4]), 0.25);
    double elapsed = timeState.elapsed;
    char move[16];
    MoveToTextOrNull(searchState.best.pv[1], move);
    double nodes = double(searchState.totalNodes);
    PrintLineF("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", move,
               elapsed, int(searchState.best.score), nodes, nodes / (elapsed + 0.001) / 1000, ebf);
    PrintLineF("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, "
               "TB=%0.0fK",
               fill * 100,
               100.0 * double(searchState.totalTtHits) / double(searchState.totalTtProbes + 1),
               100.0 * double(searchState.totalPawnHits) / double(searchState.totalPawnProbes + 1),
               100.0 * double(searchState.totalEvalHits) / double(searchState.totalEvalProbes + 1),
               double(searchState.totalTbHits) / 1000);
    long long counters[4];
    ShellDebugCounters(counters);
    if (counters[0] || counters[1] || counters[2] || counters[3])
        PrintLineF("ncnt1= %lld, ncnt2= %lld, ncnt3= %lld, ncnt4= %lld", counters[0], counters[1],
                   counters[2], counters[3]);
    PrintLine("");
}

void ReportStackDump(SearchThread* t) {
    printf("ply depth alpha    beta    eval    move   pv\n");
    for (int ply = 1; ply <= t->ply && ply < MAX_PLY; ply++) {
        const StackEntry& e = t->stack[ply];
        char move[16];
        // The move made at this ply; the current node has made none yet.
        int index = t->historyCount - t->ply + ply;
        MoveToTextOrNull(ply < t->ply && index >= 0 ? t->history[index].move : 0, move);
        printf("%2d. %3d  %6d  %6d  %6d  %6s   %d\n", ply, e.depth, e.alpha, e.beta, e.staticEval,
               move, e.pvNode);
    }
    fflush(stdout);
    PrintBoard(t->pos);
    LogOnly("");
}
