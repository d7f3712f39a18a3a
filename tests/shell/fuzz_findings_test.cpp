// Inputs the fuzz targets (fuzz/) found to break the shell, kept as tests.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "board/notation.h"
#include "search/search_fixture.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/entry.h"
#include "shell/input.h"

namespace {

// The engine as its main entry starts it (one search thread, a small table,
// no reports), its command input a pipe that stays empty: the lines come
// from QueueInput.
struct LoopEngine {
    int pipeFds[2] = {-1, -1};
    int savedStdin = -1;
    LoopEngine() {
        InitSearchForTests();
        EXPECT_EQ(StartThreads(1), 0);
        SetFromFen(searchState.threads[0]->pos,
                   "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        EXPECT_EQ(pipe(pipeFds), 0);
        savedStdin = dup(0);
        dup2(pipeFds[0], 0);
    }
    ~LoopEngine() {
        StopThreads();
        dup2(savedStdin, 0);
        close(savedStdin);
        close(pipeFds[0]);
        close(pipeFds[1]);
        searchMode = SEARCH_IDLE;
        searchRequest = 0;
        SetStop(STOP_NONE);
    }
};

// Main-loop passes until every queued line has run and no search is left,
// within a budget of passes. A pass that waits for a search thread does not
// sleep, so each one here is followed by a millisecond for the threads: the
// budget is a generous bound on passes, not a measure of speed.
bool RunLoopUntilIdle(int budget) {
    for (int pass = 0; pass < budget; pass++) {
        MainLoopPass();
        SleepMilliseconds(1);
        if (!CommandWaiting() && searchRequest == 0 && searchMode == SEARCH_IDLE &&
            BusyCount() == 0)
            return true;
    }
    return false;
}

int Count(const std::string& text, const std::string& word) {
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) n++;
    return n;
}

} // namespace

// fuzz_uci: "go" while a search was pondering left a search request that
// could start only after the pondering search had reported, which only
// "ponderhit" or "stop" allow; the main loop reads no input while a request
// waits, so the engine spun forever. The pondering search now ends like a
// stopped one: both searches report and later commands are answered.
TEST(ShellFuzzFindings, GoWhilePonderingStartsTheNewSearch) {
    LoopEngine engine;
    const char input[] = "position startpos moves e2e4\n"
                         "go ponder wtime 500 btime 500\n"
                         "go depth 1\n"
                         "isready\n";
    testing::internal::CaptureStdout();
    QueueInput(input, int(sizeof input - 1));
    bool idle = RunLoopUntilIdle(20000);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(idle) << out;
    EXPECT_EQ(Count(out, "bestmove "), 2) << out;
    EXPECT_EQ(Count(out, "readyok"), 1) << out;
}
