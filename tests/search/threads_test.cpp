#include "search_fixture.h"

namespace {

constexpr const char* OPENING = "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -";

} // namespace

TEST(SearchThreads, PoolStartsSearchesAndStops) {
    InitSearchForTests();
    ASSERT_EQ(StartThreads(3), 0);
    EXPECT_EQ(PoolSize(), 3);
    for (int i = 1; i <= 3; i++) {
        ASSERT_NE(searchState.threads[i], nullptr);
        EXPECT_EQ(searchState.threads[i]->threadIndex, i);
        EXPECT_EQ(searchState.threads[i]->seed, uint32_t(i * 123));
        EXPECT_EQ(searchState.threads[i]->pos.owner, searchState.threads[i]);
    }
    EXPECT_EQ(BusyCount(), 0);

    SetGame(OPENING);
    SearchOnPool(6);
    EXPECT_EQ(BusyCount(), 0);
    EXPECT_EQ(StopFlag(), STOP_NOW);
    EXPECT_EQ(searchState.best.depth, 6);
    EXPECT_NE(searchState.best.pv[1], 0);
    // Every thread got its copy of the game position.
    for (int i = 1; i <= 3; i++)
        EXPECT_EQ(searchState.threads[i]->pos.key, searchState.threads[0]->pos.key);
    uint64_t sum = 0;
    for (int i = 1; i <= 3; i++) sum += searchState.threads[i]->nodes;
    EXPECT_EQ(searchState.totalNodes, sum);

    // A mate ends every thread's iterations.
    SetGame("7k/8/8/8/8/8/8/RR4K1 w - -");
    SearchOnPool(30);
    EXPECT_EQ(searchState.best.score, 9996);
    EXPECT_EQ(BusyCount(), 0);

    // A root without moves: stop 3, nothing searched by the others.
    SetGame("7k/5Q2/6K1/8/8/8/8/8 b - -");
    SearchOnPool(8);
    EXPECT_EQ(StopFlag(), STOP_NO_MOVES);
    EXPECT_EQ(searchState.best.score, 0);

    StopThreads();
    EXPECT_EQ(PoolSize(), 0);
    // Re-created with another size, as after a change of the Threads option.
    ASSERT_EQ(StartThreads(2), 0);
    SetGame(OPENING);
    SearchOnPool(4);
    EXPECT_EQ(searchState.best.depth, 4);
    StopThreads();
    ASSERT_EQ(StartThreads(1), 0);
}

TEST(SearchThreads, OnePoolThreadMatchesTheCallingThread) {
    InitSearchForTests();
    if (PoolSize() != 1) {
        StopThreads();
        ASSERT_EQ(StartThreads(1), 0);
    }
    SetGame(OPENING);
    uint64_t pooled = SearchOnPool(6);
    Move pooledMove = searchState.best.pv[1];
    int pooledScore = searchState.best.score;
    uint64_t again = SearchOnPool(6);
    EXPECT_EQ(pooled, again);
    uint64_t here = SearchHere(6);
    EXPECT_EQ(pooled, here);
    EXPECT_EQ(pooledMove, searchState.best.pv[1]);
    EXPECT_EQ(pooledScore, searchState.best.score);
}

TEST(SearchThreads, PublisherRules) {
    InitSearchForTests();
    SetGame(OPENING);
    FixedDepthLimits(5);
    PrepareSearch();
    SearchThread* t = searchState.threads[0];
    primaryThread = t;
    auto offer = [t](int depth, int score, Move move) {
        t->completedDepth = uint8_t(depth);
        t->score = int16_t(score);
        t->rootPv[1] = move;
        t->rootPv[2] = 0;
        PublishResult(t);
    };
    Move a = Coord("e7e5"), b = Coord("d7d6");
    offer(3, 20, a);
    EXPECT_EQ(searchState.best.depth, 3);
    EXPECT_EQ(searchState.lastChangeDepth, 3);
    offer(3, 10, b); // same depth, lower score: kept
    EXPECT_EQ(searchState.best.pv[1], a);
    offer(3, 25, b); // same depth, higher score
    EXPECT_EQ(searchState.best.pv[1], b);
    offer(2, 500, a); // shallower and not a mate: kept
    EXPECT_EQ(searchState.best.pv[1], b);
    offer(4, -30, b); // deeper: published even when lower
    EXPECT_EQ(searchState.best.score, -30);
    EXPECT_EQ(searchState.lastChangeDepth, 3);
    EXPECT_EQ(searchState.scoreByDepth[4], -30);
    EXPECT_EQ(searchState.moveByDepth[4], b);
    offer(2, 9990, a); // a mate score wins from any depth
    EXPECT_EQ(searchState.best.score, 9990);
    EXPECT_EQ(searchState.lastChangeDepth, 2);
    offer(6, 100, b); // a deeper non-mate does not replace a mate
    EXPECT_EQ(searchState.best.score, 9990);
    offer(6, 9995, b);
    EXPECT_EQ(searchState.best.score, 9995);
}
