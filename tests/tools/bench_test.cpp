#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_fixture.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "tools/bench.h"

namespace {

void InitBenchEngine() {
    InitSearchForTests();
    ASSERT_EQ(AllocateTransTable(16), 0);
}

// Runs the benchmark with standard output captured into a string.
std::string RunCaptured(int kind, int depth, double* nodes, int plainDepth = 17) {
    searchState.maxDepth = depth;
    searchState.nodeLimit = 0;
    searchState.multiPv = 1;
    timeState.mode = 1;
    fflush(stdout);
    char path[] = "/tmp/vesk_bench_XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(1);
    dup2(fd, 1);
    int code = RunBenchmarkWith(kind, plainDepth);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    EXPECT_EQ(code, 0);
    std::string out;
    FILE* f = fopen(path, "r");
    char line[512];
    while (f && fgets(line, sizeof line, f)) out += line;
    if (f) fclose(f);
    close(fd);
    unlink(path);
    *nodes = LastBenchNodes();
    return out;
}

} // namespace

TEST(Benchmark, PositionListIsTheFixedOne) {
    InitBenchEngine();
    // Entry 10 repeats entry 4; entry 11 keeps its trailing blank.
    EXPECT_STREQ(BenchPositions[9], BenchPositions[3]);
    EXPECT_EQ(BenchPositions[10][strlen(BenchPositions[10]) - 1], ' ');
    for (const char* fen : BenchPositions)
        EXPECT_EQ(SetFromFen(searchState.threads[0]->pos, fen), 1) << fen;
}

TEST(Benchmark, OutputAndDeterministicNodeCounts) {
    InitBenchEngine();
    ASSERT_EQ(StartThreads(1), 0);
    double pooled = 0, again = 0;
    std::string out = RunCaptured(1, 6, &pooled);
    EXPECT_EQ(searchState.maxDepth, 6); // a depth of at most 40 is kept
    // "running benchmark", ten position lines numbered from 0, the total line.
    EXPECT_EQ(out.find("running benchmark\n"), 0u) << out;
    for (int k = 0; k < 10; k++) {
        char prefix[24];
        snprintf(prefix, sizeof prefix, "pos %2d: ", k);
        EXPECT_NE(out.find(prefix), std::string::npos) << prefix;
    }
    EXPECT_EQ(out.find("pos 10:"), std::string::npos);
    size_t total = out.find("total time= ");
    ASSERT_NE(total, std::string::npos);
    double seconds = 0, nodes = 0, nps = 0;
    ASSERT_EQ(sscanf(out.c_str() + total, "total time= %lf seconds, nodes= %lf, nps= %lf", &seconds,
                     &nodes, &nps),
              3);
    EXPECT_EQ(nodes, pooled);
    EXPECT_GE(seconds, 0.01);
    EXPECT_GT(pooled, 1000);

    // One search thread gives the same count every run, and the calling
    // thread's search the same as one pool thread.
    RunCaptured(1, 6, &again);
    EXPECT_EQ(pooled, again);
    searchState.maxDepth = 6;
    RunCaptured(2, 6, &again);
    EXPECT_GT(again, pooled); // twenty positions
    StopThreads();
}

TEST(Benchmark, CallingThreadMatchesOnePoolThread) {
    InitBenchEngine();
    ASSERT_EQ(StartThreads(1), 0);
    double pooled = 0, here = 0, hereAgain = 0;
    RunCaptured(1, 7, &pooled);
    std::string out = RunCaptured(3, 7, &here, 7);
    RunCaptured(3, 7, &hereAgain, 7);
    EXPECT_EQ(pooled, here);
    EXPECT_EQ(here, hereAgain);
    EXPECT_NE(out.find("pos  9: "), std::string::npos) << out;
    StopThreads();
}
