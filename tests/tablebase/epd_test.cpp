// Every position of the reference file gives the independent prober's WDL and DTZ.
#include <fstream>
#include <sstream>

#include "tb_fixture.h"

TEST(TablebaseEpd, ReferenceValues) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    std::ifstream in(SyzygyDir() + "/endgame_wdl_dtz.epd");
    ASSERT_TRUE(in.good());
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::istringstream ss(line);
        std::string board, side, castle, ep;
        ss >> board >> side >> castle >> ep;
        std::string fen = board + " " + side + " " + castle + " " + ep;
        std::string rest;
        std::getline(ss, rest);
        int wdl = 99, dtz = 999;
        size_t at = rest.find(" wdl ");
        ASSERT_NE(at, std::string::npos) << line;
        wdl = std::stoi(rest.substr(at + 5));
        at = rest.find(" dtz ");
        ASSERT_NE(at, std::string::npos) << line;
        dtz = std::stoi(rest.substr(at + 5));
        TbPos p = FenTbPos(fen);
        int ok = 0;
        EXPECT_EQ(ProbeWdl(p, &ok), wdl) << fen;
        EXPECT_NE(ok, 0) << fen;
        EXPECT_EQ(ProbeDtz(p, &ok), dtz) << fen;
        EXPECT_NE(ok, 0) << fen;
        count++;
    }
    EXPECT_EQ(count, 200);
}
