// The EPD tool: a test-suite runner over the "bm" moves of an EPD file, and
// the error function of the tuner over positions labelled with game results.
#pragma once

#include <cstdint>

// The EPD file the analysis reads ("-anepd", "-tune", or "tune.epd").
extern char epdFileName[141];

// Runs the file with the current limits. seed 0: every line, with messages
// and the statistics block. A non-zero seed: one line in sixteen (the phase
// taken from the seed), silently. Returns the average error, 1.0 when a file
// cannot be opened.
double AnalyzeEpd(uint32_t seed);
// The console tuner's twin: every line, no messages, returns the error.
double EpdErrorAllLines();
// "-anepd file": the whole tool; returns the exit code.
int RunEpdAnalysis(const char* file);

// Pieces of a line, exposed for checking.
// p(s) = 1 / (1 + 10^(-1.25 s / 400)).
double WinProbability(double score);
// The game result of a line: 1.0, 0.0, 0.5, or -2.0 when it has none.
double EpdResultValue(const char* line);
// The " ce " score clamped to [-950, 950], 0 when absent.
int EpdCeValue(const char* line);

// Empties the evaluation caches of every context: cached scores made with
// other parameter values must not be reused after a parameter change.
void ClearEvalCaches();

// Runs one prepared search on the search threads, polling the input between
// clock checks (so that "quit" is seen).
void SearchOnPoolPolling();
