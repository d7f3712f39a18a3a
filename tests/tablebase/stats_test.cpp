// The generator's statistics name the longest win of each table with its FEN:
// the probes must agree with the outcome and its length. Tables that store
// distances in moves instead of plies lose the last ply, so a distance may
// come out one short, never long.
#include <dirent.h>

#include <fstream>
#include <vector>

#include "tb_fixture.h"

TEST(TablebaseStats, LongestWins) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    std::string dir = SyzygyDir() + "/stats";
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    std::vector<std::string> files;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name).find(".txt") != std::string::npos) files.push_back(e->d_name);
    closedir(d);
    int checked = 0, exact = 0;
    for (const std::string& f : files) {
        std::ifstream in(dir + "/" + f);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Longest", 0) != 0) continue;
            bool cursed = line.find("cursed") != std::string::npos;
            int winner = line.find("for white") != std::string::npos ? 0 : 1;
            size_t colon = line.find(": ");
            size_t semi = line.find("; ");
            ASSERT_NE(semi, std::string::npos) << line;
            int plies = std::stoi(line.substr(colon + 2));
            std::string fen = line.substr(semi + 2);
            TbPos p = FenTbPos(fen);
            int toMove = p.turn ? 0 : 1;
            int sign = toMove == winner ? 1 : -1;
            int ok = 0;
            EXPECT_EQ(ProbeWdl(p, &ok), sign * (cursed ? 1 : 2)) << f << ": " << line;
            EXPECT_NE(ok, 0);
            int dtz = ProbeDtz(p, &ok);
            EXPECT_NE(ok, 0);
            EXPECT_TRUE(sign * dtz == plies || sign * dtz == plies - 1)
                << f << ": " << line << " gives " << dtz;
            exact += sign * dtz == plies;
            checked++;
        }
    }
    EXPECT_GE(checked, 50);
    // Most tables keep plies for the side that wins.
    EXPECT_GE(exact, checked / 2);
}
