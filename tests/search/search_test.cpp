// Searches judged by what they find: mate distances, no move where there is
// none, the same answer every time (on the calling thread and on a pool
// thread), a legal principal variation, node limits and an early stop.
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "support/unit_test.h"

namespace {

constexpr const char* OPENING = "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -";

void Prepare(const char* fen, int depth, uint64_t nodeLimit = 0) {
    GamePosition(fen);
    searchState.maxDepth = depth;
    searchState.nodeLimit = nodeLimit;
    searchState.multiPv = 1;
    timeState.mode = 1;
    timeState.fixedTime = 100000;
    searchMode = SEARCH_NORMAL;
    TTClear();
    StartClock();
    PrepareSearch();
}

// A search of fen on the calling thread from an empty table; the node count.
uint64_t SearchHere(const char* fen, int depth, uint64_t nodeLimit = 0) {
    Prepare(fen, depth, nodeLimit);
    SearchOnCallingThread();
    SumCounters();
    return searchState.totalNodes;
}

// The same on the thread pool, the calling thread keeping the clock.
uint64_t SearchOnPool(const char* fen, int depth) {
    Prepare(fen, depth);
    for (int i = 1; i <= PoolSize(); i++) MarkThreadBusy(i);
    while (BusyCount() > 0) {
        TimeCheck();
        SleepMilliseconds(1);
    }
    SumCounters();
    return searchState.totalNodes;
}

std::string BestMove() { return MoveText(searchState.best.pv[1]); }

} // namespace

TEST(Search, FindsMatesAtTheirDistance) {
    SearchHere("6k1/5ppp/8/8/8/8/8/R5K1 w - -", 4);
    EXPECT_EQ(BestMove(), "a1a8");
    EXPECT_EQ(searchState.best.score, MATE_SCORE - 2); // mate on the first move: ply 2
    // Below the horizon a queen reaches a checking square of either kind along
    // either kind of line: whatever white plays, Qg2 or Qb1 mates.
    SearchHere("1k6/8/6q1/8/8/7p/P6P/7K w - -", 1);
    EXPECT_EQ(searchState.best.score, 3 - MATE_SCORE);
    SearchHere("r5k1/8/8/8/8/8/5PPP/6K1 b - -", 4);
    EXPECT_EQ(BestMove(), "a8a1");
    EXPECT_EQ(searchState.best.score, MATE_SCORE - 2);
    // Mate in two with the rooks; a mate within the depth ends the iterations.
    SearchHere("7k/8/8/8/8/8/8/RR4K1 w - -", 8);
    EXPECT_EQ(searchState.best.score, MATE_SCORE - 4);
    EXPECT_LT(searchState.best.depth, 8);
    // Mated and stalemated at the root: no move, a mate or draw score.
    SearchHere("7k/6Q1/6K1/8/8/8/8/8 b - -", 5);
    EXPECT_EQ(searchState.best.score, 1 - MATE_SCORE);
    EXPECT_EQ(searchState.best.pv[1], 0);
    SearchHere("7k/5Q2/6K1/8/8/8/8/8 b - -", 5);
    EXPECT_EQ(searchState.best.score, 0);
    EXPECT_EQ(searchState.best.pv[1], 0);
}

TEST(Search, SameAnswerEveryTimeAndALegalLine) {
    uint64_t first = SearchHere(OPENING, 7);
    std::string move = BestMove();
    int score = searchState.best.score;
    EXPECT_EQ(searchState.best.depth, 7);
    EXPECT_EQ(SearchHere(OPENING, 7), first);
    EXPECT_EQ(BestMove(), move);
    EXPECT_EQ(searchState.best.score, score);
    // One pool thread searches exactly like the calling thread.
    ASSERT_EQ(StartThreads(1), 0);
    EXPECT_EQ(SearchOnPool(OPENING, 7), first);
    EXPECT_EQ(BestMove(), move);
    StopThreads();
    // The principal variation is a line of legal moves.
    Position& p = GamePosition(OPENING);
    int made = 0;
    for (int i = 1; i < MAX_PLY && searchState.best.pv[i]; i++, made++) {
        ASSERT_TRUE(IsLegalMove(p, searchState.best.pv[i])) << MoveText(searchState.best.pv[i]);
        MakeMove(p, searchState.best.pv[i]);
    }
    EXPECT_GE(made, 4);
}

TEST(Search, SeveralThreadsAgreeOnAMate) {
    ASSERT_EQ(StartThreads(3), 0);
    SearchOnPool("7k/8/8/8/8/8/8/RR4K1 w - -", 30);
    EXPECT_EQ(searchState.best.score, MATE_SCORE - 4);
    EXPECT_EQ(BusyCount(), 0);
    SearchOnPool(OPENING, 6);
    EXPECT_TRUE(IsLegalMove(GamePosition(OPENING), searchState.best.pv[1]));
    StopThreads();
}

TEST(Search, NodeLimitAndEarlyStopStillGiveALegalMove) {
    // A node limit ends the search soon after depth 2.
    SearchHere(OPENING, 30, 1);
    EXPECT_GE(searchState.best.depth, 2);
    EXPECT_LE(searchState.best.depth, 3);
    EXPECT_TRUE(IsLegalMove(GamePosition(OPENING), searchState.best.pv[1]));
    // Stopped before the first root move has a score: still a move to play.
    Prepare(OPENING, 30);
    SetStop(STOP_NOW);
    SearchOnCallingThread();
    EXPECT_TRUE(IsLegalMove(searchState.threads[0]->pos, searchState.best.pv[1]));
}

// Clearing the table empties every entry the clear covers, whatever was there,
// and leaves the spare entries beyond it zero.
TEST(Search, ClearedTableEntriesAreEmpty) {
    ASSERT_TRUE(StartEngineForTests());
    for (int mb : {0, 1, 3}) {
        ASSERT_EQ(AllocateTransTable(mb), 0);
        uint64_t n = transTable.n;
        TTEntry empty = {};
        empty.depth = TT_EMPTY_DEPTH;
        TTEntry zero = {};
        auto check = [&] {
            for (uint64_t i = 0; i < n + 32; i++)
                ASSERT_EQ(memcmp(&transTable.entries[i], i < n + 16 ? &empty : &zero, sizeof empty),
                          0)
                    << mb << " MB, entry " << i;
        };
        check();
        memset(transTable.entries, 0x5A, (n + 16) * sizeof(TTEntry));
        transTable.age = 7;
        TTClear();
        EXPECT_EQ(transTable.age, 0);
        check();
    }
    AllocateTransTable(16);
}
