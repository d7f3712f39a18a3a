#include "search_fixture.h"

namespace {

constexpr const char* KIWI = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";

TTEntry* BucketOf(const Position& p) {
    uint32_t index = uint32_t(SearchKey(p)) & transTable.mask;
    return p.side == WHITE ? transTable.lowBase + index : transTable.highBase - index;
}

class TransTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitSearchForTests();
        ASSERT_EQ(AllocateTransTable(1), 0);
        transTable.inUse = 1;
    }
    void TearDown() override { AllocateTransTable(8); }
};

} // namespace

TEST_F(TransTableTest, SizesMasksAndSideRegions) {
    EXPECT_EQ(transTable.n, 65536u);
    EXPECT_EQ(transTable.mask, 65535u);
    EXPECT_EQ(transTable.highBase - transTable.lowBase, 65536);

    ASSERT_EQ(AllocateTransTable(3), 0);
    EXPECT_EQ(transTable.n, 196608u);
    EXPECT_EQ(transTable.mask, 131071u);
    // White buckets in the lower two thirds, black ones in the upper two thirds.
    Position& w = SetGame(KIWI);
    TTEntry* wb = BucketOf(w);
    EXPECT_LT(wb - transTable.entries, 131072 + 4);
    TTStore(w, 1, 5, -100, 100, 20, Coord("e2a6"));
    EXPECT_EQ(wb->lock, uint32_t(SearchKey(w) >> 32));

    Position& b = SetGame("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -");
    TTEntry* bb = BucketOf(b);
    EXPECT_GE(bb - transTable.entries, 196608 - 131071);
    TTStore(b, 1, 5, -100, 100, 20, Coord("a6e2"));
    EXPECT_EQ(bb->lock, uint32_t(SearchKey(b) >> 32));
    TTEntry hit = TTProbe(b);
    EXPECT_EQ(hit.depth, 5);
    EXPECT_EQ(hit.move, Coord("a6e2"));

    // Hash 0 keeps a usable, never-filled table.
    ASSERT_EQ(AllocateTransTable(0), 0);
    EXPECT_EQ(transTable.n, 0u);
    EXPECT_EQ(TTFill(), 0.0);
}

TEST_F(TransTableTest, FreshTableMissesAndChecksCatchDamage) {
    Position& p = SetGame(KIWI);
    EXPECT_LT(TTProbe(p).depth, -10);
    // An empty entry matched by a key whose high half is zero still misses.
    TTEntry* e = BucketOf(p);
    EXPECT_EQ(e[0].depth, TT_EMPTY_DEPTH);
    EXPECT_EQ(e[0].lock, 0u);

    TTStore(p, 1, 7, -50, 50, 10, Coord("e2a6"));
    TTEntry hit = TTProbe(p);
    EXPECT_EQ(hit.depth, 7);
    EXPECT_EQ(hit.bound, BOUND_EXACT);
    EXPECT_EQ(hit.score, 10);

    // A torn write: the score no longer matches the check word.
    e[0].score = 11;
    EXPECT_EQ(TTProbe(p).depth, TT_TORN);
    e[0].score = 10;
    EXPECT_EQ(TTProbe(p).depth, 7);

    // A move whose from-square is empty for the side to move.
    TTStore(p, 1, 8, -50, 50, 10, Coord("a3a4"));
    EXPECT_EQ(TTProbe(p).depth, TT_BAD_MOVE);
    // A move onto an own piece.
    TTStore(p, 1, 8, -50, 50, 10, Coord("e2d2"));
    EXPECT_EQ(TTProbe(p).depth, TT_BAD_MOVE);

    // Clearing empties the entry and the age.
    transTable.age = 9;
    TTClear();
    EXPECT_LT(TTProbe(p).depth, -10);
    EXPECT_EQ(transTable.age, 0);

    // Switched off, the table neither answers nor stores.
    transTable.inUse = 0;
    TTStore(p, 1, 8, -50, 50, 10, 0);
    transTable.inUse = 1;
    EXPECT_LT(TTProbe(p).depth, -10);
}

TEST_F(TransTableTest, BoundsAndMateScoresRelativeToTheNode) {
    Position& p = SetGame(KIWI);
    TTStore(p, 5, 4, 0, 100, 9990, 0);
    TTEntry* e = BucketOf(p);
    EXPECT_EQ(e[0].score, 9995);
    EXPECT_EQ(e[0].bound, BOUND_LOWER);
    TTEntry hit = TTProbe(p);
    EXPECT_EQ(TTScoreFromEntry(hit.score, 3), 9992);

    TTStore(p, 4, 4, 0, 100, -9990, 0);
    EXPECT_EQ(e[0].score, -9994);
    EXPECT_EQ(e[0].bound, BOUND_UPPER);
    EXPECT_EQ(TTScoreFromEntry(TTProbe(p).score, 2), -9992);

    // Ordinary scores are stored unchanged; the boundary value 9697 is a distance.
    TTStore(p, 4, 4, 0, 100, 9696, 0);
    EXPECT_EQ(e[0].score, 9696);
    TTStore(p, 4, 4, 0, 10000, 9697, 0);
    EXPECT_EQ(e[0].score, 9701);
    EXPECT_EQ(e[0].bound, BOUND_EXACT);
}

TEST_F(TransTableTest, ReplacementOfSamePositionAndVictims) {
    Position& p = SetGame(KIWI);
    TTEntry* e = BucketOf(p);
    TTStore(p, 1, 10, -50, 50, 1, 0);
    TTStore(p, 1, 8, -50, 50, 2, 0); // two plies shallower: replaces
    EXPECT_EQ(e[0].score, 2);
    EXPECT_EQ(e[0].depth, 8);
    TTStore(p, 1, 5, -50, 50, 3, 0); // three plies shallower: dropped
    EXPECT_EQ(e[0].score, 2);

    // A different position in a full bucket: the lowest age * 16 + depth goes,
    // the earliest one on ties.
    uint32_t other = uint32_t(SearchKey(p) >> 32) ^ 0x5555;
    for (int i = 0; i < 4; i++) {
        e[i].lock = other + i;
        e[i].age = 3;
        e[i].depth = 10;
    }
    e[1].age = 1; // 1 * 16 + 12 = 28 < 3 * 16 + 10 = 58 although deeper
    e[1].depth = 12;
    transTable.age = 3;
    TTStore(p, 1, 6, -50, 50, 4, 0);
    EXPECT_EQ(e[1].lock, uint32_t(SearchKey(p) >> 32));
    EXPECT_EQ(e[1].age, 3);

    for (int i = 0; i < 4; i++) {
        e[i].lock = other + i;
        e[i].age = 3;
        e[i].depth = 12;
    }
    e[2].depth = 9;
    e[3].depth = 9;
    TTStore(p, 1, 2, -50, 50, 4, 0); // victim depth 9: 2 is 7 shallower, still stored
    EXPECT_EQ(e[2].lock, uint32_t(SearchKey(p) >> 32));
    e[2].lock = other + 2;
    e[2].depth = 9;
    TTStore(p, 1, 1, -50, 50, 4, 0); // 8 shallower than every victim: dropped
    for (int i = 0; i < 4; i++) EXPECT_NE(e[i].lock, uint32_t(SearchKey(p) >> 32));
}

TEST_F(TransTableTest, FillCountsCurrentAgeInTheMiddle) {
    transTable.age = 7;
    uint32_t mid = transTable.n / 2;
    for (uint32_t i = mid - 500; i < mid - 250; i++) transTable.entries[i].age = 7;
    transTable.entries[mid + 499].age = 7;
    transTable.entries[mid + 500].age = 7; // outside the sample
    EXPECT_NEAR(TTFill(), 0.251, 1e-9);
    EXPECT_NEAR(transTable.fill, 0.251, 1e-9);
}

TEST_F(TransTableTest, PvCompletionFollowsStoredMoves) {
    Position& p = SetGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    TTStore(p, 1, 3, -50, 50, 10, Coord("e2e4"));
    MakeMove(p, Coord("e2e4"));
    TTStore(p, 2, 2, -50, 50, -10, Coord("e7e5"));
    MakeMove(p, Coord("e7e5"));
    TTStore(p, 3, 1, -50, 50, 10, Coord("a1a5")); // not legal: the line stops
    UnmakeMove(p);
    UnmakeMove(p);
    uint64_t key = p.key;
    Move pv[MAX_PLY] = {};
    TTCompletePv(p, pv, 1);
    EXPECT_EQ(pv[1], Coord("e2e4"));
    EXPECT_EQ(pv[2], Coord("e7e5"));
    EXPECT_EQ(pv[3], 0);
    EXPECT_EQ(p.key, key);
}
