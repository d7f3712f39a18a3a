// The console's parameter report ("sp") and evaluation breakdown ("ev").
#pragma once

#include <string>

// Runs the root evaluation of the game position in trace mode and yields the
// static evaluation and the quiescence score. Installed by the search; when
// absent the report evaluates the root itself and shows the evaluation as
// the quiescence score.
extern void (*evalReportSearch)(int* eval, int* qscore);

void ParamReport();
std::string ParamReportText();
void PrintPst(int piece, int phase, const char* title);

void EvalReport();
// The breakdown text from the current trace record and the console's position.
std::string EvalReportText(int eval, int qscore);
