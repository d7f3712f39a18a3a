#include "search_fixture.h"

namespace {

class TimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitSearchForTests();
        StopThreads(); // only the faked main thread may be seen by the check
        saved = timeState;
        SetGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        timeState.overhead = 0.025;
        timeState.increment = 0;
        timeState.ponderOption = 1;
        options.protocolMode = PROTOCOL_UCI;
    }
    void TearDown() override {
        timeState = saved;
        options.protocolMode = PROTOCOL_UCI;
        searchState.easy = 0;
        SetStop(STOP_NONE);
        searchMode = SEARCH_IDLE;
    }
    void Clock(double white, double black, int mode) {
        timeState.clock[WHITE] = white;
        timeState.clock[BLACK] = black;
        timeState.mode = mode;
    }
    TimeState saved;
};

// A running search as seen by the time check: the main thread at iteration d
// with the previous iteration's score prev, published score and depth.
SearchThread* FakeSearch(int d, int prev, int published, double elapsed) {
    SearchThread* t = searchState.threads[0];
    primaryThread = t;
    t->iterDepth = uint8_t(d);
    t->depthScore[d - 1] = int16_t(prev);
    t->score = int16_t(published);
    t->rootState = 0;
    searchState.best.depth = uint8_t(d - 1);
    searchState.best.score = int16_t(published);
    searchState.best.pv[1] = Coord("e2e4");
    t->rootPv[1] = Coord("e2e4");
    searchState.lastChangeDepth = 1;
    searchState.easy = 0;
    searchState.rootSide = WHITE;
    searchMode = SEARCH_NORMAL;
    SetStop(STOP_NONE);
    timeState.startTime = Now() - elapsed;
    return t;
}

} // namespace

TEST_F(TimeTest, TargetsForSampleClocks) {
    // Whole game, 60 s each, first move: 60 / 39, stretched by 1.3 with Ponder.
    Clock(60, 60, 0);
    SetTarget();
    EXPECT_NEAR(timeState.target, 60.0 / 39 * 1.3, 1e-9);
    EXPECT_EQ(timeState.movesLeft, 38);
    timeState.ponderOption = 0;
    SetTarget();
    EXPECT_NEAR(timeState.target, 60.0 / 39, 1e-9);
    timeState.ponderOption = 1;

    // Little time left: the cap 0.65 x clock - 4 x overhead rules.
    Clock(0.3, 0.3, 0);
    SetTarget();
    EXPECT_NEAR(timeState.target, 0.3 / 39 * 1.3, 1e-9);
    Clock(0.1, 0.1, 0);
    SetTarget();
    EXPECT_NEAR(timeState.target, 0.002, 1e-12); // cap negative, floor 2 ms
    Clock(0, 0, 0);
    SetTarget();
    EXPECT_NEAR(timeState.target, 0.002, 1e-12);

    // Increment: clock / divisor x 1.3 + inc x clock / (2 inc + clock).
    Clock(10, 10, 0);
    timeState.increment = 1;
    SetTarget();
    EXPECT_NEAR(timeState.target, 10.0 / 39 * 1.3 + 1.0 * 10 / 12, 1e-9);
    timeState.increment = 0;

    // Later in the game the divisor is 25.
    SearchThread* game = searchState.threads[0];
    game->historyCount = 40;
    Clock(50, 50, 0);
    SetTarget();
    EXPECT_NEAR(timeState.target, 50.0 / 25 * 1.3, 1e-9);
    game->historyCount = 10;
    SetTarget();
    EXPECT_EQ(timeState.movesLeft, 33);
    EXPECT_NEAR(timeState.target, 50.0 / 34 * 1.3, 1e-9);

    // Fixed time per move: the target and the clock are the fixed time.
    Clock(50, 50, 1);
    timeState.fixedTime = 5;
    SetTarget();
    EXPECT_EQ(timeState.target, 5);
    EXPECT_EQ(timeState.clock[WHITE], 5);

    // UCI movestogo: divisor movesLeft + 1, no stretch with two moves left.
    Clock(30, 30, 40);
    timeState.movesLeft = 9;
    SetTarget();
    EXPECT_NEAR(timeState.target, 30.0 / 10 * 1.3, 1e-9);
    timeState.movesLeft = 2;
    SetTarget();
    EXPECT_NEAR(timeState.target, 30.0 / 3, 1e-9);

    // Console level of 40 moves: moves left from the game length.
    options.protocolMode = PROTOCOL_CONSOLE;
    game->historyCount = 30; // move 16: 40 - 15 = 25 moves left
    Clock(100, 100, 40);
    SetTarget();
    EXPECT_EQ(timeState.movesLeft, 25);
    EXPECT_NEAR(timeState.target, 100.0 / 26 * 1.3, 1e-9);
    game->historyCount = 0;
}

TEST_F(TimeTest, StopDecisions) {
    // Fixed 1 s per move: stops once the limit is reached, not before.
    Clock(1, 1, 1);
    timeState.target = 1;
    FakeSearch(4, 0, 0, 0.5);
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NONE);
    FakeSearch(4, 0, 0, 1.5);
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NOW);

    // Nothing happens while pondering, before depth 2 is published, or in
    // the first 20 ms.
    FakeSearch(4, 0, 0, 1.5);
    searchMode = SEARCH_PONDER;
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NONE);
    FakeSearch(2, 0, 0, 1.5);
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NONE);

    // A falling score buys a share of the remaining time: prev 0 gives m 15, M 60.
    Clock(100, 100, 0);
    timeState.target = 1;
    auto stopsAt = [](int published, double elapsed) {
        FakeSearch(5, 0, published, elapsed);
        TimeCheck();
        return StopFlag() != STOP_NONE;
    };
    EXPECT_TRUE(stopsAt(0, 1.5));
    EXPECT_TRUE(stopsAt(-15, 1.5));  // not below prev - m
    EXPECT_FALSE(stopsAt(-20, 1.5)); // 4 %: limit about 5 s
    EXPECT_TRUE(stopsAt(-20, 6.0));
    EXPECT_FALSE(stopsAt(-31, 6.0)); // 8 %: about 8.9 s
    EXPECT_TRUE(stopsAt(-31, 10.0));
    EXPECT_FALSE(stopsAt(-61, 10.0)); // 20 %: about 18 s
    EXPECT_TRUE(stopsAt(-61, 19.0));

    // Outside fixed-time mode a stop under searchMode other than 1 is value 2.
    FakeSearch(5, 0, 0, 1.5);
    searchMode = SEARCH_ANALYSIS;
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_ABANDON);

    // Almost no time left on the clock stops at once.
    Clock(0.1, 100, 0);
    timeState.target = 50;
    FakeSearch(5, 0, 0, 0.05);
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NOW);

    // From depth 7 on a best move stable for three iterations shrinks the
    // target to 85 %, a change in the last iteration adds 1 %.
    Clock(100, 100, 0);
    timeState.target = 1;
    auto stableStop = [](int changed, double elapsed) {
        FakeSearch(9, 0, 0, elapsed);
        searchState.lastChangeDepth = uint8_t(changed);
        TimeCheck();
        return StopFlag() != STOP_NONE;
    };
    EXPECT_TRUE(stableStop(5, 0.9));
    EXPECT_FALSE(stableStop(6, 0.9));
    EXPECT_TRUE(stableStop(6, 0.99));
    EXPECT_FALSE(stableStop(8, 0.99));
}

TEST_F(TimeTest, EasyMoves) {
    // One legal move: easy after depth 7, and the check stops even an
    // infinite search.
    SetGame("7k/8/8/8/8/8/r7/K1r5 w - -");
    SearchThread* t = searchState.threads[0];
    FixedDepthLimits(7);
    PrepareSearch();
    SearchOnCallingThread();
    EXPECT_EQ(searchState.easy, 1);
    EXPECT_EQ(MoveText(searchState.best.pv[1]), "a1a2");

    Clock(1e7, 1e7, 1);
    timeState.target = 1e7;
    FakeSearch(8, 0, 0, 0.5);
    searchState.easy = 1;
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NOW);
    // A far-ahead best move stops only after half the target.
    timeState.target = 2;
    FakeSearch(8, 0, 0, 0.5);
    searchState.easy = 2;
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NONE);
    FakeSearch(8, 0, 0, 1.1);
    searchState.easy = 2;
    TimeCheck();
    EXPECT_EQ(StopFlag(), STOP_NOW);

    // The bookkeeping: a best move 200 ahead of every other and of the root
    // evaluation, unchanged for long, after depth 11.
    MoveEntry* list = t->stack[1].listStart;
    list[0].move = Coord("a1b1");
    list[0].score = 700;
    list[1].move = Coord("a1b2");
    list[1].score = uint16_t(int16_t(-11003));
    list[2].move = Coord("a1a2");
    list[2].score = 600;
    list[3].move = END_OF_LIST;
    t->rootEval = 0;
    searchState.lastChangeDepth = 3;
    EasyMoveUpdate(t, 1); // brings the second best forward, resets the memory
    EXPECT_EQ(list[1].move, Coord("a1a2"));
    EXPECT_EQ(searchState.easy, 0);
    EasyMoveUpdate(t, 12);
    EXPECT_EQ(searchState.easy, 0); // 600 + 200 is not below 700
    list[1].score = 100;
    EasyMoveUpdate(t, 12);
    EXPECT_EQ(searchState.easy, 0); // 600 is remembered
    EasyMoveUpdate(t, 1);
    EasyMoveUpdate(t, 12);
    EXPECT_EQ(searchState.easy, 2);
    EasyMoveUpdate(t, 11);
    EXPECT_EQ(searchState.easy, 0);
}
