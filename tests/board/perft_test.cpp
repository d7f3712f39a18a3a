// Move-path counts against published perft results.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board_fixture.h"
#include "support/test_support.h"

namespace {

constexpr uint64_t COUNT_LIMIT = 100000000; // deeper counts take too long for a test run

struct PerftCase {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts; // depth, published count
};

std::vector<PerftCase> ReadSuite(const std::string& path) {
    std::vector<PerftCase> cases;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        PerftCase c;
        c.fen = line.substr(0, semi);
        std::istringstream fields(line.substr(semi));
        std::string tag;
        uint64_t count;
        while (fields >> tag >> count) c.counts.push_back({atoi(tag.c_str() + 2), count});
        cases.push_back(c);
    }
    return cases;
}

// The castling field as written in a FEN.
std::string CastlingField(const std::string& fen) {
    std::istringstream fields(fen);
    std::string placement, side, castling;
    fields >> placement >> side >> castling;
    return castling;
}

// Cases written for Chess960 castling are skipped: by their X-FEN id, and any
// whose castling rights a standard set-up cannot keep (their published counts
// include castling from other king or rook squares).
std::vector<PerftCase> ReadTricky(const std::string& path) {
    std::vector<PerftCase> cases;
    std::ifstream in(path);
    std::string line;
    bool skip = false;
    while (std::getline(in, line)) {
        if (line.rfind("id ", 0) == 0) {
            skip = line.find("xfen") != std::string::npos;
        } else if (line.rfind("epd ", 0) == 0 && !skip) {
            std::string fen = line.substr(4);
            Position& p = GamePosition(fen.c_str());
            std::string kept = CastlingField(Fen(p));
            skip = kept != CastlingField(fen);
            if (!skip) cases.push_back({fen, {}});
        } else if (line.rfind("perft ", 0) == 0 && !skip && !cases.empty()) {
            int depth = 0;
            unsigned long long count = 0;
            sscanf(line.c_str(), "perft %d %llu", &depth, &count);
            cases.back().counts.push_back({depth, count});
        }
    }
    return cases;
}

void CheckCases(const std::vector<PerftCase>& cases, size_t part, size_t parts) {
    for (size_t i = part; i < cases.size(); i += parts) {
        const PerftCase& c = cases[i];
        Position& p = GamePosition(c.fen.c_str());
        for (auto [depth, expected] : c.counts) {
            if (expected >= COUNT_LIMIT) continue;
            EXPECT_EQ(PerftCount(p, depth), expected) << c.fen << " depth " << depth;
        }
    }
}

std::vector<PerftCase> SuiteOrSkip() {
    std::string dir = TestDataDir();
    if (dir.empty()) return {};
    return ReadSuite(dir + "/perft/perftsuite.epd");
}

} // namespace

TEST(PerftSuite, TrickyCases) {
    std::string dir = TestDataDir();
    if (dir.empty()) GTEST_SKIP() << "shared test data not found";
    auto cases = ReadTricky(dir + "/perft/perft_tricky.perft");
    ASSERT_EQ(cases.size(), 13u);
    CheckCases(cases, 0, 1);
}

TEST(PerftSuite, AllPositions) {
    auto cases = SuiteOrSkip();
    if (cases.empty()) GTEST_SKIP() << "shared test data not found";
    ASSERT_EQ(cases.size(), 126u);
    CheckCases(cases, 0, 1);
}
