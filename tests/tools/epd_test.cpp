#include <cmath>
#include <cstdio>
#include <string>

#include "support/test_support.h"
#include "tools/epd.h"
#include "tools/tools_fixture.h"

namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

double ErrorOf(const std::string& text, uint32_t seed = 0) {
    WriteFile("t.epd", text);
    snprintf(epdFileName, sizeof epdFileName, "%s", "t.epd");
    return seed ? AnalyzeEpd(seed) : EpdErrorAllLines();
}

} // namespace

TEST(EpdLine, ResultsScoresAndProbability) {
    EXPECT_DOUBLE_EQ(WinProbability(0), 0.5);
    EXPECT_NEAR(WinProbability(400), 1.0 / (1.0 + std::pow(10.0, -1.25)), 1e-12);
    EXPECT_NEAR(WinProbability(-320) + WinProbability(320), 1.0, 1e-12);

    EXPECT_EQ(EpdResultValue("8/8/8 w - - c9 \"1-0\";"), 1.0);
    EXPECT_EQ(EpdResultValue("8/8/8 b - - c9 \"0-1\";"), 0.0);
    EXPECT_EQ(EpdResultValue("8/8/8 w - - c9 \"1/2-1/2\";"), 0.5);
    EXPECT_EQ(EpdResultValue("8/8/8 w - - c9 \"*\";"), -2.0);
    // Without c9 the text after the side to move is searched; "1/2" is enough there.
    EXPECT_EQ(EpdResultValue("8/8/8 w - - bm Kd2; 1/2"), 0.5);
    EXPECT_EQ(EpdResultValue("8/8/8 b - - 0-1"), 0.0);
    EXPECT_EQ(EpdResultValue("8/8/8 w - - bm Qg6; id \"WAC.001\";"), -2.0);

    EXPECT_EQ(EpdCeValue("8/8/8 w - - ce 123;"), 123);
    EXPECT_EQ(EpdCeValue("8/8/8 w - - ce -2000;"), -950);
    EXPECT_EQ(EpdCeValue("8/8/8 w - - ce 800;"), 800);
    EXPECT_EQ(EpdCeValue("8/8/8 w - - bm e4;"), 0);
}

TEST(EpdError, FiltersSideToMoveAndSampling) {
    InitToolsEngine();
    ResetToolLimits(0);
    ScratchDir dir;
    std::string w = std::string(START) + " w KQkq - ";
    std::string b = std::string(START) + " b KQkq - ";

    // The start position is symmetric: a white win with black to move is a
    // loss for the side to move, exactly like a black win with white to move.
    double whiteLoses = ErrorOf(w + "c9 \"0-1\";\n");
    double blackLoses = ErrorOf(b + "c9 \"1-0\";\n");
    EXPECT_GT(whiteLoses, 0.3);
    EXPECT_DOUBLE_EQ(whiteLoses, blackLoses);
    EXPECT_EQ(options.hashMode, 0); // no table for searches below depth 2

    // Excluded: a stored score beyond 700, a stored score the result
    // contradicts, a position whose captures change the score, no result.
    EXPECT_EQ(ErrorOf(w + "ce 800; c9 \"1-0\";\n"), 0.0);
    EXPECT_EQ(ErrorOf(w + "ce 600; c9 \"0-1\";\n"), 0.0);
    EXPECT_EQ(ErrorOf("4k3/8/8/3n4/4P3/8/8/4K3 w - - c9 \"1-0\";\n"), 0.0);
    EXPECT_EQ(ErrorOf(w + "bm e4;\n"), 0.0);
    snprintf(epdFileName, sizeof epdFileName, "%s", "missing.epd");
    EXPECT_EQ(AnalyzeEpd(0), 1.0);

    // 32 lines of one position: lines 16 and 32 are white wins, the rest
    // losses. Phase 0 of the seed uses lines 16 and 32, phase 15 lines 1 and 17.
    std::string text = "# comment lines are not counted\n";
    for (int line = 1; line <= 32; line++)
        text += w + (line % 16 == 0 ? "c9 \"1-0\";\n" : "c9 \"0-1\";\n");
    double wins = ErrorOf(text, 0x80000000u);
    double losses = ErrorOf(text, 0x8000000Fu);
    double all = ErrorOf(text);
    EXPECT_NEAR(wins + losses, 0.9, 1e-9); // |p - 0.95| + |p - 0.05|
    EXPECT_NEAR(losses, whiteLoses, 1e-12);
    EXPECT_NEAR(all, (2 * wins + 30 * losses) / 32, 1e-12);
    EXPECT_EQ(ErrorOf(text, 0x80000000u), wins);
    EXPECT_EQ(ErrorOf(text, 0xC0010000u), wins); // only the low 16 bits choose the phase
    EXPECT_FALSE(FileExists("unsolved.epd"));    // only searches of depth 1 and more write it
}

TEST(EpdError, LabelledFileIsDeterministicAndFollowsParameters) {
    if (TestDataDir().empty()) GTEST_SKIP() << "shared test data not found";
    InitToolsEngine();
    ResetToolLimits(0);
    std::string path = TestDataDir() + "/labelled/quiet-labeled-excerpt.epd";
    snprintf(epdFileName, sizeof epdFileName, "%s", path.c_str());
    double a = AnalyzeEpd(0x80001234u);
    double again = AnalyzeEpd(0x80001234u);
    double other = AnalyzeEpd(0x80001235u);
    EXPECT_EQ(a, again);
    EXPECT_NE(a, other);
    EXPECT_GT(a, 0.05);
    EXPECT_LT(a, 0.5);
    // A changed parameter must show in the very next run (no stale cached
    // scores, the pawn-structure cache included).
    int16_t saved = settings.knight_value_op;
    settings.knight_value_op = int16_t(saved + 300);
    double changed = AnalyzeEpd(0x80001234u);
    settings.knight_value_op = saved;
    EXPECT_NE(changed, a);
    EXPECT_EQ(AnalyzeEpd(0x80001234u), a);
    ScorePair savedPawn = {settings.pawn_isolated_op, settings.pawn_isolated_en};
    settings.pawn_isolated_op = int16_t(savedPawn.op + 80);
    settings.pawn_isolated_en = int16_t(savedPawn.en + 80);
    changed = AnalyzeEpd(0x80001234u);
    settings.pawn_isolated_op = savedPawn.op;
    settings.pawn_isolated_en = savedPawn.en;
    EXPECT_NE(changed, a);
    EXPECT_EQ(AnalyzeEpd(0x80001234u), a);
}

TEST(EpdAnalysis, SuiteRunPrintsEveryStatistic) {
    if (TestDataDir().empty()) GTEST_SKIP() << "shared test data not found";
    InitToolsEngine();
    ResetToolLimits(4);
    ScratchDir dir;
    FILE* in = fopen((TestDataDir() + "/epd/wac.epd").c_str(), "r");
    ASSERT_TRUE(in);
    std::string text = "; a remark\n", line;
    char buffer[512];
    for (int i = 0; i < 3 && fgets(buffer, sizeof buffer, in); i++) text += buffer;
    fclose(in);
    WriteFile("three.epd", text);

    std::string out = CaptureStdout([] { RunEpdAnalysis("three.epd"); });
    EXPECT_EQ(out.find("Analyzing three.epd...\n"), 0u) << out;
    EXPECT_EQ(out.find("pos= "), std::string::npos); // silenced by the report delay
    int correct = -1, positions = -1;
    size_t at = out.find(" correct best moves\n");
    ASSERT_NE(at, std::string::npos) << out;
    size_t start = out.rfind('\n', at) + 1;
    ASSERT_EQ(sscanf(out.c_str() + start, "%d / %d", &correct, &positions), 2);
    EXPECT_EQ(positions, 3);
    EXPECT_GE(correct, 1); // WAC.003 Rg3 falls at depth 4
    const char* order[] = {"total nodes= ", "total time= ", "avg depth= ",          "avg nodes= ",
                           "node_rate= ",   "avg bf= ",     "avg error= 0.00000\n", "xcnt= 0\n\n"};
    size_t last = at;
    for (const char* key : order) {
        size_t k = out.find(key, last);
        EXPECT_NE(k, std::string::npos) << key << "\n" << out;
        if (k != std::string::npos) last = k;
    }
    EXPECT_TRUE(FileExists("unsolved.epd"));
    EXPECT_EQ(ReadFile("unsolved.epd"), "");

    // With reports on, every position shows its board and its result line.
    searchState.reportDelay = 0;
    out = CaptureStdout([] { RunEpdAnalysis("three.epd"); });
    EXPECT_NE(out.find("pos= 1\n"), std::string::npos);
    EXPECT_NE(out.find("pos= 3\n"), std::string::npos);
    EXPECT_NE(out.find("move= "), std::string::npos);
    EXPECT_NE(out.find("K nps\n\n"), std::string::npos);
    searchState.reportDelay = 9999;
}
