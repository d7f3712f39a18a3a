// Non-blocking command input: standard input is polled, split into command
// lines, and one line per poll goes to the UCI or the console interpreter.
#pragma once

// Reads what is available without waiting and executes at most one queued line.
void PollCommand();

// Skips leading blanks and returns the next word (at most 128 characters) in a
// static buffer that the next call overwrites.
const char* NextWord(const char* text);

// Queues bytes as if they had been read from standard input (tests and tools).
void QueueInput(const char* bytes, int length);

// True when a complete command line is queued.
bool CommandWaiting();

// True once standard input has ended and every queued line has been executed.
bool InputExhausted();

// Routes one complete command line to the interpreter of the current protocol.
void ExecuteCommandLine(char* line);

// Lets the console's "edit" read its lines through the command input.
void InstallConsoleLineSource();

// A leading decimal number of a command argument (0 when there is none). Values
// beyond the int range saturate, so a huge value clamps instead of wrapping.
int ReadInteger(const char* text);

// A decimal number of a command argument; "nan", "inf" and overflowing values
// read as 0, since a time that no comparison can pass would never end a search.
double ReadDecimal(const char* text);
