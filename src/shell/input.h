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
