// Program entry: start-up, command-line switches, the main loop and the exit.
#pragma once

// BENCH_TESTERS ("bench" as the first argument) is BENCH_TEN with a last line
// "<nodes> nodes <nps> nps" for testing frameworks.
enum BenchKind { BENCH_NONE = 0, BENCH_TEN = 1, BENCH_ALL = 2, BENCH_PLAIN = 3, BENCH_TESTERS = 4 };

// Developer tools selected on the command line.
struct ToolRequest {
    char epdFile[141];
    int scanMode; // 1..4, 0 none
    char scanFile[141];
    char matchFile[141];
    int bench; // BenchKind
    char tuneFile[141];
};

// Applies the switches left to right over the current options.
void ApplySwitches(int argc, const char* const* argv, ToolRequest& tools);

int VeskMain(int argc, const char* const* argv);

// Reports the search that has just ended (no-op when none is running).
void FinishSearch();

// Stops a running search, waits for its threads and reports it, so that what
// the threads use (table, tablebases, positions) can change under nobody.
void StopSearchAndReport();

// One pass of the interactive loop (sleep, time check, one command or a search
// start or the final report).
void MainLoopPass();
