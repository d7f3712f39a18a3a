#include "shell/tuner.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "eval/settings.h"
#include "search/search_state.h"
#include "shell/engine.h"
#include "shell/input.h"
#include "shell/output.h"
#include "tools/epd.h"

namespace {

constexpr int TUNER_PASSES = 100;
const char* const TunedNames[] = {"knight_value_op",    "knight_value_en",    "bishop_value_op",
                                  "bishop_value_en",    "rook_value_op",      "rook_value_en",
                                  "queen_value_op",     "queen_value_en",     "bishop_pair_op",
                                  "bishop_pair_en",     "knight_mobility_op", "knight_mobility_en",
                                  "bishop_mobility_op", "bishop_mobility_en", "rook_mobility_op",
                                  "rook_mobility_en",   "queen_mobility_op",  "queen_mobility_en"};

// Open while the batch tuner runs; the console search appends to it then.
FILE* tuneLog = nullptr;

// Tuner output is plain standard output, not the engine's logged lines.
void Out(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Out(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

// Standard output and tune.log.
void OutBoth(const char* format, ...) __attribute__((format(printf, 1, 2)));
void OutBoth(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fputs(text, stdout);
    fflush(stdout);
    if (tuneLog) fputs(text, tuneLog);
}

// Nearest integer, halves away from zero.
int Round(double x) { return int(std::lround(x)); }

int16_t Clamp16(int v) { return int16_t(std::clamp(v, -32768, 32767)); }

void TunerPass(int pass) {
    OutBoth("pass= %d, k0= %0.3e\n", pass, 2000.0);
    for (int i = 0; i < paramCount; i++) {
        ParamEntry& e = paramTable[i];
        if (!e.selected || !e.value) continue;
        *e.value = Clamp16(Round(e.start));
        OutBoth("** %s = %d\n", e.name, *e.value);
    }
    uint32_t seed = uint32_t(rand()) | 0x80000000u;
    double err = AnalyzeEpd(seed);
    OutBoth("\nerr= %0.5f\n\n", err);
    if (tuneLog) fflush(tuneLog);

    for (int i = 0; i < paramCount; i++) {
        ParamEntry& e = paramTable[i];
        if (!e.selected || !e.value) continue;
        double a = std::fabs(e.start);
        double limit = 0.03 * a + 0.5;
        int step = Round(limit);
        if (limit < 1) {
            limit = 1;
            step = 1;
        }
        int v = *e.value;
        *e.value = Clamp16(v - step);
        double e1 = AnalyzeEpd(seed);
        *e.value = Clamp16(v + step);
        double e2 = AnalyzeEpd(seed);
        *e.value = int16_t(v);
        double g = (e2 - e1) / (2.0 * step);
        double m = pass == 0 ? g : 0.35 * e.result + 0.65 * g;
        e.result = g;
        double d0 = -2000.0 * std::max(0.3, a) * m;
        double d = std::clamp(d0, -limit, limit);
        e.start += d;
        Out("p1=%4d, p2=%4d, g=%10.2e, dp=%6.1f, x=%6.1f, p= %6.1f\n", v - step, v + step, g, d0, d,
            e.start);
    }
    Out("\n");
}

} // namespace

int RunTuner(const char* file) { return RunTunerPasses(file, TUNER_PASSES); }

int RunTunerPasses(const char* file, int passes) {
    searchState.reportDelay = 1000;
    RegisterParameters();
    for (const char* name : TunedNames) SelectParameter(name);
    tuneLog = fopen("tune.log", "w");
    if (!tuneLog) return 0;
    searchState.reportDelay = 9999;
    searchState.maxDepth = 0;
    snprintf(epdFileName, sizeof epdFileName, "%s", file);
    for (int pass = 0; pass < passes && !quitFlag; pass++) {
        TunerPass(pass);
        PollCommand();
    }
    fclose(tuneLog);
    tuneLog = nullptr;
    RebuildTables();
    return 0;
}

void TuneCommand(const char* name) {
    if (!name || !*name) return;
    snprintf(epdFileName, sizeof epdFileName, "%s", "tune.epd");
    searchState.reportDelay = 9999;
    searchState.maxDepth = 0;
    RegisterParameters();
    int index = FindParameter(name);
    if (index >= 0 && paramTable[index].value) {
        int16_t* value = paramTable[index].value;
        Out("\ntuning %s\n", name);
        int orig = *value, best = *value;
        double bestErr = 1.0;
        int lo = -10000, hi = 10000;
        for (int i = 0; i < 30; i++) {
            double err = EpdErrorAllLines();
            Out("%s= %d, err= %0.6f\n", name, *value, err);
            int cur = *value;
            if (i > 0 && cur > best) {
                if (err < bestErr) {
                    lo = best;
                    bestErr = err;
                    best = cur;
                } else {
                    hi = cur;
                }
            } else if (i > 0) {
                if (err < bestErr) {
                    hi = best;
                    bestErr = err;
                    best = cur;
                } else {
                    lo = cur;
                }
            } else if (err < bestErr) {
                bestErr = err;
                best = cur;
            }
            Out("best= %d, err= %0.6f, min= %d, max= %d\n\n", best, bestErr, lo, hi);
            int step = Round(0.12 * std::abs(best)) + 1;
            int next;
            if (lo == -10000)
                next = best - step;
            else if (hi == 10000)
                next = best + step;
            else if (i & 1)
                next = Round(0.5 * best + 0.5 * lo);
            else
                next = Round(0.5 * best + 0.5 * hi);
            *value = Clamp16(next);
            if (next == lo || next == hi) break;
        }
        Out("best= %d, err= %0.6f, min= %d, max= %d\n\n", best, bestErr, lo, hi);
        *value = int16_t(orig);
        if (tuneLog) {
            fprintf(tuneLog, "%-24s  %4d  %0.5f\n", name, best, bestErr);
            fflush(tuneLog);
        }
        RebuildTables();
    }
    PrintLine("done!\n");
}
