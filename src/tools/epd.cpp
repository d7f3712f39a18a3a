#include "tools/epd.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/notation.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/report.h"

char epdFileName[141] = "";

namespace {

struct EpdTotals {
    int positions = 0;
    int correct = 0;
    double nodes = 0;
    double time = 0;
    double depthSum = 0;
    double bfSum = 0;
    double errorSum = 0;
    int xcnt = 0;
};

// What one search of a position gave.
struct EpdSearch {
    int staticEval;
    int score;
    int depth;
    Move move;
    double nodes;
    double time;
    double bf;
};

// The expected move after "bm": the first word up to ';', 0 when it does not read.
Move ExpectedMove(const char* line) {
    const char* at = strstr(line, "bm ");
    if (!at) return 0;
    at += 3;
    while (*at == ' ') at++;
    char text[32];
    int n = 0;
    while (at[n] && at[n] != ';' && at[n] != ' ' && n < 31) {
        text[n] = at[n];
        n++;
    }
    text[n] = 0;
    Move m = 0;
    if (n == 0 || !ParseMove(text, &m)) return 0;
    return m;
}

EpdSearch SearchPosition() {
    EpdSearch r = {};
    uint8_t savedMode = searchMode.load();
    searchMode = SEARCH_NORMAL;
    StartClock();
    PrepareSearch();
    SearchThread* primary;
    if (searchState.maxDepth < 6 || PoolSize() == 0) {
        primary = searchState.threads[0];
        SearchOnCallingThread();
        if (searchState.maxDepth < 1) {
            r.staticEval = primary->rootEval;
            r.score = RootQuiescence(primary);
        }
    } else {
        SearchOnPoolPolling();
        primary = searchState.threads[1];
    }
    UpdateElapsed();
    r.time = Now() - timeState.startTime;
    SumCounters();
    r.nodes = double(searchState.totalNodes);
    if (searchState.maxDepth >= 1) {
        r.staticEval = primary->rootEval;
        r.score = searchState.best.score;
        r.depth = searchState.best.depth;
        r.move = searchState.best.pv[1];
    }
    r.bf = 2.0;
    int d = r.depth;
    if (d >= 6 && d < MAX_PLY && primary->depthNodes[d] && primary->depthNodes[d - 4])
        r.bf = std::pow(double(primary->depthNodes[d]) / double(primary->depthNodes[d - 4]), 0.25);
    searchMode = savedMode;
    return r;
}

double Analyze(uint32_t seed, bool messages) {
    FILE* in = fopen(epdFileName, "r");
    if (!in) return 1.0;
    FILE* unsolved = nullptr;
    if (searchState.maxDepth >= 1) {
        unsolved = fopen("unsolved.epd", "w");
        if (!unsolved) {
            fclose(in);
            return 1.0;
        }
    }
    if (messages) PrintLineF("Analyzing %s...", epdFileName);
    if (searchState.maxDepth < 2) options.hashMode = 0;
    RebuildTables();
    ClearEvalCaches();
    SearchThread* game = searchState.threads[0];
    ResetOrdering(game);

    EpdTotals tot;
    uint32_t counter = seed & 0xFFFF;
    char line[256];
    while (fgets(line, sizeof line, in)) {
        if (line[0] == ' ' || line[0] == '#' || line[0] == ';' || strlen(line) < 10) continue;
        counter++;
        if (seed && counter % 16 != 0) continue;
        line[strcspn(line, "\r\n")] = 0;
        if (!SetFromFen(game->pos, line)) continue;
        tot.positions++;

        Move expected = 0;
        if (searchState.maxDepth > 0) expected = ExpectedMove(line);
        if (searchState.maxDepth > 1) TTClear();
        if (searchState.reportDelay != 9999) {
            PrintLineF("pos= %d", tot.positions);
            PrintBoard(game->pos);
        }
        int ce = EpdCeValue(line);
        double r = EpdResultValue(line);

        EpdSearch s = SearchPosition();
        tot.nodes += s.nodes;
        tot.time += s.time;
        tot.depthSum += s.depth;
        tot.bfSum += s.bf;
        if (expected && s.move == expected) tot.correct++;

        if (searchState.reportDelay != 9999) {
            ReportFinal(searchState.best.depth, searchState.best.score, searchState.best.pv);
            char text[16];
            MoveToTextOrNull(s.move, text);
            PrintLineF("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps\n", text, s.time,
                       s.score, s.nodes, s.nodes / (s.time + 0.001) / 1000);
        }

        if (r >= 0 && r <= 1 && ce >= -700 && ce <= 700 && s.score >= -700 && s.score <= 700 &&
            s.staticEval == s.score) {
            if (game->pos.side == BLACK) r = 1 - r;
            double q = WinProbability(ce);
            if (std::fabs(q - r) <= 0.5) {
                tot.xcnt++;
                tot.errorSum += std::fabs(WinProbability(s.score) - (0.1 * q + 0.9 * r));
            }
        }
        if (quitFlag) break;
    }

    double n = tot.positions;
    double avgBf = n > 0 ? tot.bfSum / n : 0;
    double avgDepth = n > 0 ? tot.depthSum / n : 0;
    double avgNodes = n > 0 ? tot.nodes / n : 0;
    double error = tot.xcnt ? tot.errorSum / tot.xcnt : 0;
    if (messages) {
        PrintLineF("%d / %d correct best moves", tot.correct, tot.positions);
        PrintLineF("total nodes= %0.0f", tot.nodes);
        PrintLineF("total time= %0.2f seconds", tot.time);
        PrintLineF("avg depth= %0.1f", avgDepth);
        PrintLineF("avg nodes= %0.1f", avgNodes);
        PrintLineF("node_rate= %0.0f", tot.nodes / (tot.time + 0.01));
        PrintLineF("avg bf= %0.2f", avgBf);
        PrintLineF("avg error= %0.5f", error);
        PrintLineF("xcnt= %d", tot.xcnt);
        PrintLine("");
    }
    fclose(in);
    if (unsolved) fclose(unsolved);
    return error;
}

} // namespace

double WinProbability(double score) { return 1.0 / (1.0 + std::pow(10.0, -1.25 * score / 400.0)); }

double EpdResultValue(const char* line) {
    const char* c9 = strstr(line, "c9 ");
    if (c9) {
        c9 += 3;
        if (strstr(c9, "1-0")) return 1.0;
        if (strstr(c9, "0-1")) return 0.0;
        if (strstr(c9, "1/2-1/2")) return 0.5;
        return -2.0;
    }
    const char* rest = strstr(line, " w ");
    if (!rest) rest = strstr(line, " b ");
    if (!rest) return -2.0;
    rest += 3;
    if (strstr(rest, "1-0")) return 1.0;
    if (strstr(rest, "0-1")) return 0.0;
    if (strstr(rest, "1/2")) return 0.5;
    return -2.0;
}

int EpdCeValue(const char* line) {
    const char* at = strstr(line, " ce ");
    if (!at) return 0;
    int v = atoi(at + 4);
    return v < -950 ? -950 : v > 950 ? 950 : v;
}

void ClearEvalCaches() {
    for (SearchThread* t : searchState.threads) {
        if (!t) continue;
        memset(t->eval.evalCache, 0, sizeof t->eval.evalCache);
        memset(t->eval.pawnHash, 0, sizeof t->eval.pawnHash);
    }
}

void SearchOnPoolPolling() {
    int n = PoolSize();
    for (int i = 1; i <= n; i++) {
        MarkThreadBusy(i);
        if (i == 1 && n > 1) SleepMilliseconds(5);
    }
    while (BusyCount() > 0) {
        TimeCheck();
        PollCommand();
        SleepMilliseconds(1);
    }
}

double AnalyzeEpd(uint32_t seed) { return Analyze(seed, seed == 0); }

double EpdErrorAllLines() { return Analyze(0, false); }

int RunEpdAnalysis(const char* file) {
    snprintf(epdFileName, sizeof epdFileName, "%s", file);
    AnalyzeEpd(0);
    return 0;
}
