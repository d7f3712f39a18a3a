// Shared pieces of the fuzz targets on top of the test helpers
// (tests/support/support.h): the per-input reset of the process-wide state, a
// scratch directory for the readers that work on files, and the checks that
// end a run with a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "board/position.h"
#include "support/support.h"

// The engine set up as for the tests with a 1 MB table; searches run on the
// calling thread. Safe to call on every input; only the first call works.
void FuzzStartEngine();

// Puts back what a previous input may have changed: options, limits, flags,
// clock, game position and history, table size and contents, search
// threads, tablebases and the parameter block. reportDelay: 9999 for no
// search reports, 0 to have them all printed.
void FuzzResetEngine(double reportDelay = 9999);

// The input as a NUL-terminated string (stops at the first NUL byte).
std::string FuzzText(const uint8_t* data, size_t size);

// A directory of this process under $TMPDIR (or /tmp), created on the first
// call and removed at normal exit.
const std::string& FuzzScratchDir();
// Path of a file in the scratch directory.
std::string FuzzScratchFile(const char* name);
// Writes bytes to path (replacing it); aborts when that fails.
void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size);

// Runs the current directory inside the scratch directory for its lifetime
// (for readers that use fixed file names).
struct FuzzInScratch {
    std::string previous;
    FuzzInScratch();
    ~FuzzInScratch();
};

// Ends the run with a finding: prints the reason and aborts.
[[noreturn]] void FuzzFail(const char* format, ...) __attribute__((format(printf, 1, 2)));
#define FUZZ_CHECK(cond, ...)                                                                      \
    do {                                                                                           \
        if (!(cond)) FuzzFail(__VA_ARGS__);                                                        \
    } while (0)

// Fails unless the board, bitboards, piece lists, material and keys of p agree.
void FuzzCheckConsistent(const Position& p, const char* where);
// Fails unless a and b hold the same position (piece lists compared as sets).
void FuzzCheckSamePosition(const Position& a, const Position& b, const char* where);
