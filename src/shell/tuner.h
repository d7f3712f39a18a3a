// Tuning of the named evaluation parameters against positions with known
// game results: the batch tuner of "-tune" and the console's one-parameter
// bracketing search.
#pragma once

// "-tune file": 100 damped gradient passes over eighteen material and
// mobility parameters; returns the exit code.
int RunTuner(const char* file);
// The same with another number of passes. Input is polled after every pass,
// so "quit" ends the run after the pass under way.
int RunTunerPasses(const char* file, int passes);
// Console "tune name": the best value of one parameter on "tune.epd" is
// searched and reported; the parameter keeps its value.
void TuneCommand(const char* name);
