// The engine's use of the tables: probe-depth limits, castling rights, the
// root state of a search and the node rules of the search.
#include "tb_fixture.h"

namespace {

struct EngineTb : testing::Test {
    void SetUp() override {
        if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
        options.probeDepth5 = 1;
        options.probeDepth6 = 3;
        searchState.rootTb = -1;
        searchState.rootTbMove = 0;
    }
    void TearDown() override {
        options.probeDepth5 = 1;
        searchState.rootTb = -1;
        searchState.rootTbMove = 0;
    }
};

Move Coord(const char* t) {
    return MakeMoveCode((t[0] - 'a') + 8 * (t[1] - '1'), (t[2] - 'a') + 8 * (t[3] - '1'));
}

} // namespace

TEST_F(EngineTb, ProbeLimits) {
    Position& p = FenPosition("8/8/8/8/8/2k5/8/K6Q w - -");
    EXPECT_EQ(TbProbeWdl(p, 0), -1); // quiescence depth is below the limit
    EXPECT_EQ(TbProbeWdl(p, 1), 4);
    options.probeDepth5 = 5;
    EXPECT_EQ(TbProbeWdl(p, 4), -1);
    EXPECT_EQ(TbProbeWdl(p, 5), 4);
    EXPECT_EQ(TbProbeWdl(FenPosition("8/8/8/8/8/2k5/8/K6Q b - -"), 5), 0);
    // Castling rights keep even a four-piece position out of the tables.
    Position& c = FenPosition("4k2r/8/8/8/8/8/8/R3K3 w Qk -");
    ASSERT_EQ(c.castling, 1 * 2 + 4);
    EXPECT_EQ(TbProbeWdl(c, 10), -1);
    EXPECT_NE(TbProbeWdl(FenPosition("4k2r/8/8/8/8/8/8/R3K3 w - -"), 10), -1);
    // More pieces than any table.
    EXPECT_EQ(TbProbeWdl(FenPosition("4k3/8/8/8/8/8/PPP5/4K3 w - -"), 50), -1);
    // A table absent from the path.
    EXPECT_EQ(TbProbeWdl(FenPosition("4k3/8/8/8/8/8/8/1BBNK3 w - -"), 50), -1);
}

TEST_F(EngineTb, RootProbeAndRootState) {
    // A win: the root move wins and so does every listed move.
    Position& p = FenPosition("8/8/8/8/4k3/8/1Q6/K7 w - -");
    int wdl = -1, dtz = -1;
    Move move = 0;
    EXPECT_EQ(TbProbeRoot(p, &wdl, &dtz, &move), 4);
    EXPECT_EQ(wdl, 4);
    EXPECT_GT(dtz, 0);
    EXPECT_NE(move, 0);
    int listed = 0;
    bool rootMoveListed = false;
    for (int i = 0; TbRootMoves[i]; i++, listed++) {
        rootMoveListed |= TbRootMoves[i] == move;
        MakeMove(p, TbRootMoves[i]);
        EXPECT_EQ(TbProbeWdl(p, 70), 0);
        UnmakeMove(p);
    }
    EXPECT_TRUE(rootMoveListed);
    EXPECT_GT(listed, 5);

    TbSearchStart(p);
    EXPECT_EQ(searchState.rootTb, 4);
    EXPECT_EQ(searchState.rootTbMove, move);
    EXPECT_EQ(searchState.rootTbScores[WHITE], 9799);
    EXPECT_EQ(searchState.rootTbScores[BLACK], -9799);

    // A loss seen from black.
    TbSearchStart(FenPosition("8/8/8/8/4k3/8/1Q6/K7 b - -"));
    EXPECT_EQ(searchState.rootTb, 0);
    EXPECT_EQ(searchState.rootTbScores[BLACK], -9800);
    EXPECT_EQ(searchState.rootTbScores[WHITE], 9800);

    // A draw lists every move that keeps it.
    Position& d = FenPosition("8/8/8/3k4/8/8/7r/R3K3 w - -");
    EXPECT_EQ(TbProbeRoot(d, &wdl, &dtz, &move), 2);
    int draws = 0;
    for (int i = 0; TbRootMoves[i]; i++) draws++;
    int keeping = 0;
    TestThread()->stack[1].listStart = TestThread()->moves;
    for (MoveEntry* e = GenAllMoves(d); e->move != END_OF_LIST; e++) {
        if (!IsLegal(d, d.side, e->move)) continue;
        MakeMove(d, e->move);
        keeping += TbProbeWdl(d, 70) == 2;
        UnmakeMove(d);
    }
    EXPECT_EQ(draws, keeping);
    EXPECT_GT(draws, 3);
    TbSearchStart(d);
    EXPECT_EQ(searchState.rootTb, 2);
    EXPECT_EQ(searchState.rootTbScores[WHITE], 0);

    // Promotions come back as the engine's promotion bits.
    Position& q = FenPosition("8/4P3/8/8/8/k7/8/4K3 w - -");
    EXPECT_EQ(TbProbeRoot(q, &wdl, &dtz, &move), 4);
    EXPECT_EQ(move, Coord("e7e8") | PROMO_QUEEN);
    bool rook = false, knight = false;
    for (int i = 0; TbRootMoves[i]; i++) {
        rook |= TbRootMoves[i] == (Coord("e7e8") | PROMO_ROOK);
        knight |= TbRootMoves[i] == (Coord("e7e8") | PROMO_KNIGHT);
    }
    EXPECT_TRUE(rook);
    EXPECT_FALSE(knight);

    // No root probe with castling rights or with the probe depth above 70.
    TbSearchStart(FenPosition("4k2r/8/8/8/8/8/8/R3K3 w Qk -"));
    EXPECT_EQ(searchState.rootTb, -1);
    EXPECT_EQ(searchState.rootTbMove, 0);
    EXPECT_EQ(TbRootMoves[0], 0);
    options.probeDepth5 = 71;
    TbSearchStart(FenPosition("8/8/8/8/4k3/8/1Q6/K7 w - -"));
    EXPECT_EQ(searchState.rootTb, -1);
    EXPECT_EQ(searchState.rootTbScores[WHITE], 0);
    // At the highest depth that still allows it the root probe runs again.
    options.probeDepth5 = 70;
    TbSearchStart(FenPosition("8/8/8/8/4k3/8/1Q6/K7 w - -"));
    EXPECT_EQ(searchState.rootTb, 4);
}

TEST_F(EngineTb, NodeRules) {
    SearchThread* t = TestThread();
    Position& p = FenPosition("8/8/8/8/8/2k5/8/K6Q w - -");
    t->tbHits = 0;
    for (auto& e : t->stack) e.tbResult = -1;
    int score = 0;
    // After a zeroing move, with no root verdict: the probe decides the node.
    p.halfmoveClock = 0;
    EXPECT_EQ(TbNodeRules(t, 3, 2, -100, 100, &score), 1);
    EXPECT_EQ(score, 9799 - 3);
    EXPECT_EQ(t->stack[3].tbResult, 4);
    EXPECT_EQ(t->tbHits, 1u);
    EXPECT_EQ(TbNodeRules(t, 3, 2, 9900, 9950, &score), 1);
    EXPECT_EQ(score, 9900); // not above alpha: alpha
    // Below the probe depth nothing happens.
    EXPECT_EQ(TbNodeRules(t, 3, 0, -100, 100, &score), 0);
    EXPECT_EQ(t->stack[3].tbResult, -1);
    // With a root verdict the zeroing rule is off.
    searchState.rootTb = 4;
    EXPECT_EQ(TbNodeRules(t, 3, 2, -100, 100, &score), 0);
    EXPECT_EQ(t->tbHits, 2u);

    // The parent had a result: a node whose value beats 4 minus the parent's
    // (the last move gave away the parent's outcome) returns beta at once.
    p.halfmoveClock = 5;
    t->stack[2].tbResult = 4;
    EXPECT_EQ(TbNodeRules(t, 3, 2, -100, 100, &score), 1);
    EXPECT_EQ(score, 100);
    t->stack[2].tbResult = 0;
    EXPECT_EQ(TbNodeRules(t, 3, 2, -100, 100, &score), 0);
    EXPECT_EQ(t->stack[3].tbResult, 4);

    // At ply 2, late in the fifty-move count, only the table's move is searched.
    t->stack[1].tbResult = 0;
    searchState.rootTbMove = Coord("a1b2");
    t->lastMove = Coord("a1a2");
    p.halfmoveClock = 31;
    EXPECT_EQ(TbNodeRules(t, 2, 5, -100, 100, &score), 1);
    EXPECT_EQ(score, 100);
    t->lastMove = Coord("a1b2");
    EXPECT_EQ(TbNodeRules(t, 2, 5, -100, 100, &score), 0);
    t->lastMove = Coord("a1a2");
    p.halfmoveClock = 30;
    EXPECT_EQ(TbNodeRules(t, 2, 5, -100, 100, &score), 0);
}
