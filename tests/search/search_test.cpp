#include "search_fixture.h"

namespace {

class SearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitSearchForTests();
        settings.draw_score = 0;
    }
    void TearDown() override {
        settings.draw_score = 0;
        searchState.multiPv = 1;
        searchState.nodeLimit = 0;
    }
};

int RootMoveCount(SearchThread* t) {
    int n = 0;
    for (MoveEntry* e = t->stack[1].listStart; e->move != END_OF_LIST; e++) n++;
    return n;
}

} // namespace

TEST_F(SearchTest, FindsMatesWithDistanceScores) {
    // Back-rank mate in one.
    SetGame("6k1/5ppp/8/8/8/8/8/R5K1 w - -");
    SearchHere(4);
    EXPECT_EQ(MoveText(searchState.best.pv[1]), "a1a8");
    EXPECT_EQ(searchState.best.score, 9998);
    EXPECT_EQ(StopFlag(), STOP_NOW);

    // Rook ladder: mate in two by either rook cutting off the seventh rank.
    SetGame("7k/8/8/8/8/8/8/RR4K1 w - -");
    SearchHere(6);
    EXPECT_EQ(searchState.best.score, 9996);
    EXPECT_EQ(searchState.best.depth, 3); // a mate within the depth ends the iterations

    // The same for black.
    SetGame("r5k1/8/8/8/8/8/5PPP/6K1 b - -");
    SearchHere(4);
    EXPECT_EQ(MoveText(searchState.best.pv[1]), "a8a1");
    EXPECT_EQ(searchState.best.score, 9998);

    // Whatever white plays, a queen move along the g-file or a diagonal mates: the
    // quiescence search below depth 1 must find quiet queen checks of both kinds.
    SetGame("1k6/8/6q1/8/8/7p/P6P/7K w - -");
    SearchHere(1);
    EXPECT_EQ(searchState.best.score, 3 - 10000);
}

TEST_F(SearchTest, NoLegalRootMove) {
    // Stalemate at the root: score 0 at depth 1, stop flag 3, no move.
    SetGame("7k/5Q2/6K1/8/8/8/8/8 b - -");
    SearchHere(5);
    EXPECT_EQ(searchState.best.score, 0);
    EXPECT_EQ(searchState.best.depth, 1);
    EXPECT_EQ(searchState.best.pv[1], 0);
    EXPECT_EQ(StopFlag(), STOP_NO_MOVES);

    // Checkmated at the root.
    SetGame("7k/6Q1/6K1/8/8/8/8/8 b - -");
    SearchHere(5);
    EXPECT_EQ(searchState.best.score, -9999);
    EXPECT_EQ(StopFlag(), STOP_NO_MOVES);
}

TEST_F(SearchTest, StalemateInsideTheTreeScoresTheDrawScore) {
    Position& p = SetGame("7k/5Q2/6K1/8/8/8/8/8 b - -");
    SearchThread* t = DirectSearchContext(2);
    searchState.drawScore[BLACK] = 37;
    searchState.drawScore[WHITE] = -37;
    Move pv[MAX_PLY] = {};
    // Node at ply 2 with black to move and no move: drawScore[black], not 0.
    EXPECT_EQ(Search(p, BLACK, 2, 3, -1000, 1000, 1, pv), 37);
    EXPECT_EQ(t->stack[2].movesSearched, 0);
    // A mated side at ply 2 scores ply - 10000 through the move loop.
    Position& q = SetGame("7k/6Q1/6K1/8/8/8/8/8 b - -");
    DirectSearchContext(2);
    EXPECT_EQ(Search(q, BLACK, 2, 3, -10000, 10000, 1, pv), 2 - 10000);
}

TEST_F(SearchTest, RepetitionAndFiftyMoveDraws) {
    const char* start = "r1bqkbnr/pppppppp/2n5/8/8/2N5/PPPPPPPP/R1BQKBNR w KQkq -";
    Position& p = SetGame(start);
    SearchThread* t = searchState.threads[0];
    // Knights out and back: the position after the four moves occurred before.
    for (const char* m : {"c3b1", "c6b8", "b1c3", "b8c6"}) MakeMove(p, Coord(m));
    int hc = t->historyCount;
    ASSERT_EQ(hc, 4);
    Move pv[MAX_PLY] = {};

    // At ply 4 one earlier occurrence is a draw; at ply 2 it is not yet.
    DirectSearchContext(4);
    t->historyCount = uint16_t(hc);
    searchState.drawScore[WHITE] = 40;
    searchState.drawScore[BLACK] = -40;
    EXPECT_EQ(Search(p, WHITE, 4, 2, -500, 500, 0, pv), 40);
    DirectSearchContext(2);
    t->historyCount = uint16_t(hc);
    searchState.drawScore[WHITE] = 40;
    uint64_t before = t->nodes;
    Search(p, WHITE, 2, 1, -500, 500, 0, pv);
    EXPECT_GT(t->nodes, before + 1); // searched on, not scored as a draw

    // A long game halves the draw score, a very long one makes it 0. The
    // records before the fifty-move window are never compared.
    auto searchWithHistory = [&](int extra) {
        DirectSearchContext(4);
        searchState.drawScore[WHITE] = 40;
        memmove(t->history + extra, t->history, sizeof(UndoRecord) * (hc + 1));
        t->historyCount = uint16_t(hc + extra);
        int s = Search(p, WHITE, 4, 2, -500, 500, 0, pv);
        memmove(t->history, t->history + extra, sizeof(UndoRecord) * (hc + 1));
        t->historyCount = uint16_t(hc);
        return s;
    };
    EXPECT_EQ(searchWithHistory(99), 40);  // 100 plies of game
    EXPECT_EQ(searchWithHistory(100), 20); // 101 plies
    EXPECT_EQ(searchWithHistory(199), 20); // 200 plies
    EXPECT_EQ(searchWithHistory(200), 0);  // 201 plies

    // Fifty-move rule: 0 whatever the draw score, as long as a move exists.
    Position& q = SetGame("4k3/8/8/8/8/8/3R4/4K3 w - -");
    DirectSearchContext(3);
    searchState.drawScore[WHITE] = 40;
    q.halfmoveClock = 100;
    EXPECT_EQ(Search(q, WHITE, 3, 3, -500, 500, 0, pv), 0);
    q.halfmoveClock = 0;
}

TEST_F(SearchTest, FixedDepthSearchIsDeterministic) {
    SetGame("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -");
    uint64_t first = SearchHere(7);
    Move move = searchState.best.pv[1];
    int score = searchState.best.score;
    EXPECT_GT(first, 1000u);
    EXPECT_EQ(searchState.best.depth, 7);
    uint64_t second = SearchHere(7);
    EXPECT_EQ(first, second);
    EXPECT_EQ(move, searchState.best.pv[1]);
    EXPECT_EQ(score, searchState.best.score);
    // The principal variation is a legal line.
    Position& p = searchState.threads[0]->pos;
    uint64_t key = p.key;
    int made = 0;
    for (int i = 1; searchState.best.pv[i] && i < MAX_PLY; i++, made++) {
        Move m = searchState.best.pv[i];
        bool found = false;
        for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
            found |= e->move == m && IsLegal(p, p.side, m);
        ASSERT_TRUE(found) << MoveText(m);
        MakeMove(p, m);
    }
    EXPECT_GE(made, 2);
    while (made--) UnmakeMove(p);
    EXPECT_EQ(p.key, key);
}

TEST_F(SearchTest, StopBeforeTheFirstMoveStillGivesALegalMove) {
    // "stop" can arrive before the first root move has a score; the search must
    // still name a move to play (never "bestmove null" with legal moves about).
    SetGame("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -");
    FixedDepthLimits(30);
    TTClear();
    StartClock();
    PrepareSearch();
    SetStop(STOP_NOW);
    SearchOnCallingThread();
    Move move = searchState.best.pv[1];
    ASSERT_NE(move, 0);
    EXPECT_TRUE(IsLegalMove(searchState.threads[0]->pos, move));
    EXPECT_EQ(searchState.best.depth, 1);
}

TEST_F(SearchTest, NodeLimitStopsOnlyAfterDepthTwo) {
    SetGame("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -");
    FixedDepthLimits(30);
    searchState.nodeLimit = 1;
    TTClear();
    StartClock();
    PrepareSearch();
    SearchOnCallingThread();
    EXPECT_EQ(StopFlag(), STOP_NOW);
    EXPECT_GE(searchState.best.depth, 2);
    EXPECT_LE(searchState.best.depth, 3);
    EXPECT_NE(searchState.best.pv[1], 0);
}

TEST_F(SearchTest, MultiPvOrdersTheFirstLines) {
    SetGame("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -");
    FixedDepthLimits(5);
    searchState.multiPv = 3;
    TTClear();
    StartClock();
    PrepareSearch();
    SearchOnCallingThread();
    SearchThread* t = searchState.threads[0];
    MoveEntry* list = t->stack[1].listStart;
    ASSERT_GE(RootMoveCount(t), 3);
    int s0 = int16_t(list[0].score), s1 = int16_t(list[1].score), s2 = int16_t(list[2].score);
    EXPECT_GE(s0, s1);
    EXPECT_GE(s1, s2);
    EXPECT_GT(s2, -11000); // every principal line got a real score
    EXPECT_EQ(searchState.best.pv[1], list[0].move);
    EXPECT_EQ(searchState.best.score, s0);
    // The three lines are different moves.
    EXPECT_NE(list[0].move, list[1].move);
    EXPECT_NE(list[1].move, list[2].move);
}

TEST_F(SearchTest, QuiescenceStandPatAndRecaptureRules) {
    Position& p = SetGame("4k3/8/8/3p4/4P3/8/8/4K3 w - -");
    SearchThread* t = DirectSearchContext(3);
    Move pv[MAX_PLY] = {};
    // Stand pat at or above beta answers beta without searching a move.
    t->stack[3].staticEval = 50;
    uint64_t before = t->nodes;
    EXPECT_EQ(Quiesce(p, WHITE, 3, 0, -100, 50, 0, pv), 50);
    EXPECT_EQ(t->nodes, before);
    // Deep in the quiescence search only recaptures on the last square count.
    t->stack[3].staticEval = 0;
    t->lastMove = Coord("c6d5");
    before = t->nodes;
    Quiesce(p, WHITE, 3, -5, -100, 100, 0, pv);
    EXPECT_EQ(t->nodes, before + 1); // exd5
    t->lastMove = Coord("c6c5");
    before = t->nodes;
    Quiesce(p, WHITE, 3, -5, -100, 100, 0, pv);
    EXPECT_EQ(t->nodes, before);
}

TEST_F(SearchTest, QuiescenceQuietChecksOnlyAtDepthZero) {
    // No captures; Nf6+ is the one quiet knight check.
    Position& p = SetGame("4k3/8/8/8/4N3/8/8/4K3 w - -");
    SearchThread* t = DirectSearchContext(3);
    Move pv[MAX_PLY] = {};
    t->stack[3].staticEval = 0;
    t->lastMove = 0;
    uint64_t before = t->nodes;
    Quiesce(p, WHITE, 3, -1, -100, 100, 0, pv);
    EXPECT_EQ(t->nodes, before);
    before = t->nodes;
    Quiesce(p, WHITE, 3, 0, -100, 100, 0, pv);
    EXPECT_GE(t->nodes, before + 2); // Nd6+ and Nf6+
}
