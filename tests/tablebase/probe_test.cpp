// Edge cases of the WDL, DTZ and root probes.
#include "tablebase/tbcore.h"
#include "tb_fixture.h"

namespace {

int Wdl(const char* fen, int* ok) { return ProbeWdl(FenTbPos(fen), ok); }
int Dtz(const char* fen, int* ok) { return ProbeDtz(FenTbPos(fen), ok); }

TbMove RootMove(uint32_t r) {
    return TbMove(TbResultTo(r) | (TbResultFrom(r) << 6) | (TbResultPromotes(r) << 12));
}

int Square(const char* s) { return (s[0] - 'a') + 8 * (s[1] - '1'); }

} // namespace

TEST(TablebaseProbe, PawnFilesShareMirroredSubTables) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    // The a-pawn and the h-pawn read the same file sub-table.
    int sq[2][1] = {{Square("a4")}, {Square("h4")}};
    EXPECT_EQ(TbPawnFile(sq[0], 1), 0);
    EXPECT_EQ(TbPawnFile(sq[1], 1), 0);
    int two[2] = {Square("g3"), Square("b5")};
    EXPECT_EQ(TbPawnFile(two, 2), 1);
    EXPECT_EQ(two[0], Square("g3"));
    // Every KPvK position with the pawn on the a-file equals its h-file mirror.
    int compared = 0;
    for (int wk = 0; wk < 64; wk++)
        for (int bk = 0; bk < 64; bk += 3)
            for (int r = 1; r < 7; r++) {
                int p = r * 8;
                if (wk == bk || wk == p || bk == p || (KingAttacks[wk] & SquareBit(bk))) continue;
                if (PawnAttacks[0][p] & SquareBit(bk)) continue;
                TbPos a{};
                a.white = SquareBit(wk) | SquareBit(p);
                a.black = SquareBit(bk);
                a.kings = SquareBit(wk) | SquareBit(bk);
                a.pawns = SquareBit(p);
                a.turn = 1;
                TbPos h = a;
                h.white = SquareBit(wk ^ 7) | SquareBit(p ^ 7);
                h.black = SquareBit(bk ^ 7);
                h.kings = SquareBit(wk ^ 7) | SquareBit(bk ^ 7);
                h.pawns = SquareBit(p ^ 7);
                int ok1, ok2;
                ASSERT_EQ(ProbeWdl(a, &ok1), ProbeWdl(h, &ok2));
                ASSERT_EQ(ProbeDtz(a, &ok1), ProbeDtz(h, &ok2));
                ASSERT_TRUE(ok1 && ok2);
                compared++;
            }
    EXPECT_GT(compared, 5000);
}

TEST(TablebaseProbe, EnPassant) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    int ok = 0;
    // Only bxa6 wins; without the right the pawn ending is lost.
    EXPECT_EQ(Wdl("8/8/8/Pp6/8/8/2k5/K7 w - b6", &ok), 2);
    EXPECT_EQ(ok, 2);
    EXPECT_EQ(Dtz("8/8/8/Pp6/8/8/2k5/K7 w - b6", &ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Wdl("8/8/8/Pp6/8/8/2k5/K7 w - -", &ok), -2);
    EXPECT_EQ(ok, 1);
    // Here the capture only saves the draw.
    EXPECT_EQ(Wdl("8/8/8/2kPp3/8/8/8/K7 w - e6", &ok), 0);
    EXPECT_EQ(Dtz("8/8/8/2kPp3/8/8/8/K7 w - e6", &ok), 0);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Wdl("8/8/8/2kPp3/8/8/8/K7 w - -", &ok), -2);
    EXPECT_LT(Dtz("8/8/8/2kPp3/8/8/8/K7 w - -", &ok), 0);
    // The root probe marks the en-passant capture.
    uint32_t results[TB_MAX_ROOT_RESULTS];
    uint32_t r = ProbeRoot(FenTbPos("8/8/8/Pp6/8/8/2k5/K7 w - b6"), results);
    ASSERT_NE(r, TB_RESULT_FAILED);
    EXPECT_EQ(TbResultFrom(r), Square("a5"));
    EXPECT_EQ(TbResultTo(r), Square("b6"));
    EXPECT_EQ(TbResultEp(r), 1);
    EXPECT_EQ(TbResultWdl(r), 4);
}

TEST(TablebaseProbe, ZeroingMovesGiveDistanceOne) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    int ok = 0;
    // Qxa1 wins at once.
    EXPECT_EQ(Wdl("8/8/8/8/8/2k5/8/r2QK3 w - -", &ok), 2);
    EXPECT_EQ(ok, 2);
    EXPECT_EQ(Dtz("8/8/8/8/8/2k5/8/r2QK3 w - -", &ok), 1);
    EXPECT_EQ(ok, 1);
    // A winning pawn push.
    EXPECT_EQ(Dtz("8/8/8/8/8/k7/4P3/4K3 w - -", &ok), 1);
    // Bare kings and a mated side.
    EXPECT_EQ(Dtz("8/8/8/8/8/2k5/8/K7 w - -", &ok), 0);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Wdl("k7/1Q6/1K6/8/8/8/8/8 b - -", &ok), -2);
    EXPECT_EQ(Dtz("k7/1Q6/1K6/8/8/8/8/8 b - -", &ok), -1);
    // A mate in one is a distance of one, like a zeroing move.
    EXPECT_EQ(Dtz("k7/8/1K6/8/8/8/8/6Q1 w - -", &ok), 1);
}

TEST(TablebaseProbe, RootChoices) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    uint32_t results[TB_MAX_ROOT_RESULTS];

    // Drawn with three king moves: the choice is drawing move number K mod 3,
    // with K the material key seen from the side to move (black: colours swapped).
    TbPos p = FenTbPos("N6k/8/8/8/8/8/8/K7 b - -");
    uint32_t r = ProbeRoot(p, results);
    ASSERT_NE(r, TB_RESULT_FAILED);
    std::vector<uint32_t> draws;
    for (int i = 0; results[i] != TB_RESULT_FAILED; i++)
        if (TbResultWdl(results[i]) == 2) draws.push_back(results[i]);
    ASSERT_EQ(draws.size(), 3u);
    uint64_t k = TbMaterialKey(p, 1);
    EXPECT_EQ(k % 3, 2u);
    EXPECT_EQ(RootMove(r), RootMove(draws[k % 3]));
    EXPECT_EQ(TbResultWdl(r), 2);
    EXPECT_EQ(ProbeRoot(p, results), r);

    // A win: the mate is chosen, and every move rated a win keeps it.
    p = FenTbPos("k7/8/1K6/8/8/8/8/6Q1 w - -");
    r = ProbeRoot(p, results);
    ASSERT_NE(r, TB_RESULT_FAILED);
    EXPECT_EQ(TbResultWdl(r), 4);
    EXPECT_EQ(TbResultDtz(r), 1);
    int wins = 0, moves = 0;
    for (int i = 0; results[i] != TB_RESULT_FAILED; i++) {
        moves++;
        uint32_t m = results[i];
        Position& pos = FenPosition("k7/8/1K6/8/8/8/8/6Q1 w - -");
        Move em = Move(TbResultTo(m) | (TbResultFrom(m) << 8));
        MakeMove(pos, em);
        TbPos c;
        TbPosFromPosition(pos, 0, &c);
        int ok;
        int v = -ProbeWdl(c, &ok);
        EXPECT_EQ(TbResultWdl(m) == 4, v == 2) << i;
        wins += v == 2;
        if (m == r) { EXPECT_TRUE(pos.side == BLACK && InCheck(pos, BLACK)); }
    }
    EXPECT_GT(moves, wins);
    EXPECT_GT(wins, 3);

    // The fifty-move counter turns a long win into a spoiled one.
    p = FenTbPos("8/8/8/8/4k3/8/1Q6/K7 w - -", 0);
    uint32_t fresh = ProbeRoot(p, results);
    ASSERT_NE(fresh, TB_RESULT_FAILED);
    int d = TbResultDtz(fresh);
    p.rule50 = uint8_t(100 - d);
    EXPECT_EQ(TbResultWdl(ProbeRoot(p, results)), 4);
    p.rule50 = uint8_t(101 - d);
    EXPECT_EQ(TbResultWdl(ProbeRoot(p, results)), 3);
    // And a long loss into a saved one.
    p = FenTbPos("8/8/8/8/4k3/8/1Q6/K7 b - -", 0);
    r = ProbeRoot(p, results);
    ASSERT_NE(r, TB_RESULT_FAILED);
    EXPECT_EQ(TbResultWdl(r), 0);
    d = TbResultDtz(r);
    EXPECT_EQ(d, 20);
    p.rule50 = uint8_t(101 - d);
    EXPECT_EQ(TbResultWdl(ProbeRoot(p, results)), 1);

    // Mated and stalemated roots have no move to choose.
    EXPECT_EQ(ProbeRoot(FenTbPos("k7/1Q6/1K6/8/8/8/8/8 b - -"), results), TB_RESULT_FAILED);
    EXPECT_EQ(ProbeRoot(FenTbPos("k7/8/1QK5/8/8/8/8/8 b - -"), results), TB_RESULT_FAILED);
}

TEST(TablebaseProbe, UnderpromotionsAreValued) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    uint32_t results[TB_MAX_ROOT_RESULTS];
    uint32_t r = ProbeRoot(FenTbPos("8/4P3/8/8/8/k7/8/4K3 w - -"), results);
    ASSERT_NE(r, TB_RESULT_FAILED);
    int promos[5] = {-1, -1, -1, -1, -1};
    for (int i = 0; results[i] != TB_RESULT_FAILED; i++)
        if (TbResultTo(results[i]) == Square("e8"))
            promos[TbResultPromotes(results[i])] = TbResultWdl(results[i]);
    EXPECT_EQ(promos[1], 4); // queen
    EXPECT_EQ(promos[2], 4); // rook
    EXPECT_EQ(promos[3], 2); // bishop
    EXPECT_EQ(promos[4], 2); // knight
    EXPECT_EQ(TbResultPromotes(r), 1);
}
