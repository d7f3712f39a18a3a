// Command-line switches, setoption parsing and report formatting.
#include <gtest/gtest.h>

#include <string>

#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/engine.h"
#include "shell/entry.h"
#include "shell/input.h"
#include "shell/report.h"
#include "shell/uci.h"

namespace {

ToolRequest Apply(std::initializer_list<const char*> words) {
    std::vector<const char*> argv = {"vesk"};
    argv.insert(argv.end(), words.begin(), words.end());
    ToolRequest tools = {};
    ApplySwitches(int(argv.size()), argv.data(), tools);
    return tools;
}

TEST(Switches, ValuesAreClampedAndLaterWordsWin) {
    Apply({"-threads", "0"});
    EXPECT_EQ(searchState.threadCount, 1);
    Apply({"-threads", "200"});
    EXPECT_EQ(searchState.threadCount, 64);
    Apply({"-hash", "-5"});
    EXPECT_EQ(options.hashMB, 0);
    Apply({"-hash", "100000"});
    EXPECT_EQ(options.hashMB, 8192);
    Apply({"-d", "99"});
    EXPECT_EQ(searchState.maxDepth, 66);
    EXPECT_EQ(timeState.fixedTime, 10000);
    EXPECT_EQ(timeState.mode, 1);
    Apply({"-t", "2.5", "-n", "5000"});
    EXPECT_EQ(timeState.fixedTime, 1000);
    EXPECT_EQ(searchState.nodeLimit, 5000u);
    Apply({"-c", "-quiet", "-uci"});
    EXPECT_EQ(options.protocolMode, PROTOCOL_UCI);
    EXPECT_EQ(options.logEnabled, 0);
    EXPECT_EQ(searchState.reportDelay, 9999);
    Apply({"-noise", "1.5", "-uci_extra"});
    EXPECT_EQ(searchState.reportDelay, 1.5);
    EXPECT_EQ(options.extraInfo, 1);
    options = EngineOptions();
    searchState.maxDepth = MAX_DEPTH;
    searchState.nodeLimit = 0;
    searchState.threadCount = 1;
    searchState.reportDelay = 0;
}

TEST(Switches, ToolsTakeTheirFileAndUnknownWordsAreIgnored) {
    ToolRequest t = Apply({"stray", "-scan_pgn3", "games.pgn", "-bench2", "-anepd", "wac.epd"});
    EXPECT_EQ(t.scanMode, 3);
    EXPECT_STREQ(t.scanFile, "games.pgn");
    EXPECT_EQ(t.bench, BENCH_ALL);
    EXPECT_STREQ(t.epdFile, "wac.epd");
    // Only the numbered forms select a scan, but any such word takes the file.
    t = Apply({"-scan_pgn9", "-match", "out.pgn"});
    EXPECT_EQ(t.scanMode, 0);
    EXPECT_STREQ(t.scanFile, "-match");
    EXPECT_STREQ(t.matchFile, "");
    std::string longName(300, 'x');
    t = Apply({"-match", longName.c_str()});
    EXPECT_EQ(std::string(t.matchFile), longName.substr(0, 140));
}

TEST(SetOption, NameAndValueSplitting) {
    char name[256], value[256];
    ASSERT_EQ(ParseSetOption("name Clear Hash", name, value), 1);
    EXPECT_STREQ(name, "Clear Hash");
    EXPECT_STREQ(value, "");
    ASSERT_EQ(ParseSetOption("name   Communication Overhead   value  40 ms", name, value), 1);
    EXPECT_STREQ(name, "Communication Overhead");
    EXPECT_STREQ(value, "40 ms");
    ASSERT_EQ(ParseSetOption("name SyzygyPath value  /a b ", name, value), 1);
    EXPECT_STREQ(value, "/a b"); // a path may hold blanks
    EXPECT_EQ(ParseSetOption("value 3 name Hash", name, value), 0);
    EXPECT_EQ(ParseSetOption("Hash 3", name, value), 0);
    std::string longName = "name " + std::string(600, 'n') + " value 1";
    ASSERT_EQ(ParseSetOption(longName.c_str(), name, value), 1);
    EXPECT_EQ(std::string(name).size(), 255u);
}

TEST(NextWord, SkipsBlanksAndCutsAt128) {
    EXPECT_STREQ(NextWord("   depth 5"), "depth");
    EXPECT_STREQ(NextWord("x\r\n"), "x");
    EXPECT_STREQ(NextWord(""), "");
    std::string longWord(200, 'w');
    EXPECT_EQ(std::string(NextWord(longWord.c_str())).size(), 128u);
}

TEST(Report, ScoreTextAndTablebaseDisplay) {
    char text[32];
    const std::pair<int, const char*> cases[] = {
        {9998, "mate 1"},    {9999, "mate 0"},  {-9997, "mate -1"},
        {-9999, "mate 0"},   {9899, "cp 9899"}, {-9900, "cp -9900"},
        {-9901, "mate -49"}, {9900, "mate 50"}, {0, "cp 0"}};
    for (auto [score, expected] : cases) {
        ScoreText(score, text);
        EXPECT_STREQ(text, expected) << score;
    }
    searchState.rootTb = 4;
    EXPECT_EQ(DisplayScore(150), 9800);
    EXPECT_EQ(DisplayScore(9950), 9950);
    searchState.rootTb = 0;
    EXPECT_EQ(DisplayScore(150), -9800);
    EXPECT_EQ(DisplayScore(-9950), -9950);
    searchState.rootTb = 2;
    EXPECT_EQ(DisplayScore(150), 0);
    searchState.rootTb = -1;
    EXPECT_EQ(DisplayScore(150), 150);
}

} // namespace
