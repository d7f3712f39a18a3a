// What the program tells a person: the usage and version texts, the checking
// of the command line, the console's greeting, command list and hints.
#pragma once

// The program's name and version, as "id name" announces it.
#define VESK_NAME_VERSION "Vesk 3.50"

// Checks the command line before anything starts. "--help"/"-h" and
// "--version"/"-v" print their text; an unknown switch, a missing value or a
// stray word is reported on standard error. Returns the exit code when the
// program should end now, -1 when it should start.
int CheckCommandLine(int argc, const char* const* argv);

// Console mode: the greeting line, the command list of "help".
void PrintConsoleGreeting();
void PrintConsoleHelp();

// Console: what to say about a typed word that names no single legal move
// (matches: how many legal moves it names, as MoveTextMatches counts them).
void ReportUnplayableMove(const char* text, int matches);

// Console: after "mkbook", where the book went and how to play from it
// (built: whether the games could be read; nothing is added when not).
void ReportBuiltBook(bool built);
