// GoogleTest side of the shared helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "board/notation.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "support/support.h"

// The engine set up once, its game position (thread 0) set from fen.
inline Position& GamePosition(const char* fen) {
    EXPECT_TRUE(StartEngineForTests());
    SearchThread* t = searchState.threads[0];
    EXPECT_EQ(SetFromFen(t->pos, fen), 1) << fen;
    t->ply = 1;
    t->stack[1].listStart = t->moves;
    return t->pos;
}

// Standard output goes nowhere while the object lives (remarks such as
// "ambiguous move" of calls made by the thousand).
struct QuietStdout {
    int saved;
    QuietStdout() {
        fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout() {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

#define SKIP_WITHOUT_DATA()                                                                        \
    if (TestDataDir().empty()) GTEST_SKIP() << "shared test data not found (set VESK_DATA)"
