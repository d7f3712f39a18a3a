#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/tuner.h"
#include "support/test_support.h"
#include "tools/epd.h"
#include "tools/tools_fixture.h"

namespace {

const char* const Tuned[18] = {"knight_value_op",    "knight_value_en",    "bishop_value_op",
                               "bishop_value_en",    "rook_value_op",      "rook_value_en",
                               "queen_value_op",     "queen_value_en",     "bishop_pair_op",
                               "bishop_pair_en",     "knight_mobility_op", "knight_mobility_en",
                               "bishop_mobility_op", "bishop_mobility_en", "rook_mobility_op",
                               "rook_mobility_en",   "queen_mobility_op",  "queen_mobility_en"};

// The first n lines of the labelled positions, written as name.
bool WriteLabelled(const char* name, int n) {
    std::string path = TestDataDir() + "/labelled/quiet-labeled-excerpt.epd";
    WriteFile(name, FirstLines(path, n));
    return !ReadFile(name).empty();
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

} // namespace

TEST(Tuner, OnePassStepsEveryTunedParameter) {
    if (TestDataDir().empty()) GTEST_SKIP() << "shared test data not found";
    InitToolsEngine();
    ResetToolLimits(66);
    ScratchDir dir;
    ASSERT_TRUE(WriteLabelled("few.epd", 96));
    RegisterParameters();
    double before[18];
    for (int k = 0; k < 18; k++) {
        int i = FindParameter(Tuned[k]);
        ASSERT_GE(i, 0) << Tuned[k];
        before[k] = paramTable[i].start;
        EXPECT_EQ(*paramTable[i].value, int(std::lround(before[k])));
    }

    std::string out = CaptureStdout([] { RunTunerPasses("few.epd", 1); });
    EXPECT_EQ(searchState.maxDepth, 0);
    EXPECT_EQ(searchState.reportDelay, 9999);

    // The log: the pass line, the eighteen values in order, the error.
    std::string log = ReadFile("tune.log");
    std::string expected = "pass= 0, k0= 2.000e+03\n";
    for (int k = 0; k < 18; k++) {
        char line[64];
        snprintf(line, sizeof line, "** %s = %d\n", Tuned[k], int(std::lround(before[k])));
        expected += line;
    }
    ASSERT_EQ(log.substr(0, expected.size()), expected) << log;
    double err = -1;
    ASSERT_EQ(sscanf(log.c_str() + expected.size(), "\nerr= %lf\n\n", &err), 1);
    EXPECT_GT(err, 0.0);
    EXPECT_LT(err, 0.5);
    EXPECT_EQ(log.find("p1="), std::string::npos); // the steps go to standard output only
    EXPECT_EQ(out.find(expected), 0u);
    EXPECT_EQ(CountOf(out, "p1="), 18);

    // Each step is damped: at most L = 3% of the size plus a half (at least 1),
    // probes at the rounded L on both sides, and the value in force stays the
    // one set at the start of the pass.
    bool moved = false;
    size_t at = 0;
    for (int k = 0; k < 18; k++) {
        const ParamEntry& e = paramTable[FindParameter(Tuned[k])];
        double a = std::fabs(before[k]);
        double limit = std::max(1.0, 0.03 * a + 0.5);
        int step = 0.03 * a + 0.5 < 1 ? 1 : int(std::lround(0.03 * a + 0.5));
        EXPECT_LE(std::fabs(e.start - before[k]), limit + 1e-9) << e.name;
        EXPECT_EQ(*e.value, int(std::lround(before[k]))) << e.name;
        if (e.start != before[k]) moved = true;
        at = out.find("p1=", at);
        ASSERT_NE(at, std::string::npos);
        int p1 = 0, p2 = 0;
        ASSERT_EQ(sscanf(out.c_str() + at, "p1=%d, p2=%d", &p1, &p2), 2);
        EXPECT_EQ(p1, *e.value - step) << e.name;
        EXPECT_EQ(p2, *e.value + step) << e.name;
        at++;
    }
    EXPECT_TRUE(moved);
    // Put the table back for the other tests.
    for (int k = 0; k < 18; k++) {
        ParamEntry& e = paramTable[FindParameter(Tuned[k])];
        e.start = before[k];
        e.result = 0;
        e.selected = 0;
    }
}

TEST(Tuner, ConsoleSearchReportsAndKeepsTheValue) {
    if (TestDataDir().empty()) GTEST_SKIP() << "shared test data not found";
    InitToolsEngine();
    ResetToolLimits(66);
    ScratchDir dir;
    ASSERT_TRUE(WriteLabelled("tune.epd", 48));
    int16_t before = settings.bishop_pair_op;

    std::string out = CaptureStdout([] { TuneCommand("bishop_pair_op"); });
    EXPECT_EQ(settings.bishop_pair_op, before);
    char first[64];
    snprintf(first, sizeof first, "\ntuning bishop_pair_op\nbishop_pair_op= %d, err= ", before);
    EXPECT_EQ(out.find(first), 0u) << out;
    int evaluations = CountOf(out, "bishop_pair_op= ");
    EXPECT_GE(evaluations, 2);
    EXPECT_LE(evaluations, 30);
    // One summary per evaluation, one more at the end, then "done!".
    EXPECT_EQ(CountOf(out, "best= "), evaluations + 1);
    EXPECT_EQ(out.substr(out.size() - 7), "done!\n\n");
    EXPECT_FALSE(FileExists("tune.log"));
    EXPECT_EQ(strcmp(epdFileName, "tune.epd"), 0);

    // Unknown names print only "done!"; an empty name prints nothing.
    EXPECT_EQ(CaptureStdout([] { TuneCommand("no_such_parameter"); }), "done!\n\n");
    EXPECT_EQ(CaptureStdout([] { TuneCommand(""); }), "");
}
