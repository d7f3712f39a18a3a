// The benchmark: a fixed list of positions searched to a fixed depth, with the
// time of each search and the total node rate.
#pragma once

constexpr int BENCH_POSITIONS = 20;
extern const char* const BenchPositions[BENCH_POSITIONS];

// kind 1: first 10 positions on the search threads; 2: all 20 on the search
// threads; 3: first 10 on the calling thread at depth 17; 4: as 1, followed by
// the line "<nodes> nodes <nps> nps". Returns the exit
// code (0). Expects the engine's start-up to have run (table, threads,
// reduction tables).
int RunBenchmark(int kind);
// The same with the depth of the calling-thread kind given (17 for the switch).
int RunBenchmarkWith(int kind, int plainDepth);

// Node total of the last benchmark run.
double LastBenchNodes();
