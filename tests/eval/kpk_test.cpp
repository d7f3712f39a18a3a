#include "eval_fixture.h"

namespace {

int Dist(int a, int b) {
    return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

struct KpkTest : ::testing::Test {
    void SetUp() override { InitEvalForTests(); }
};

} // namespace

TEST_F(KpkTest, TableHoldsOnlyWinsAndDrawsForRealPawns) {
    BuildKpk(); // a second build changes nothing
    int wins = 0;
    for (int side = 0; side < 2; side++)
        for (int idx = 8; idx < 56; idx++) {
            int file = idx & 7;
            if (file > 3) continue;
            for (int k = 0; k < 64; k++)
                for (int w = 0; w < 64; w++) {
                    int v =
                        KpkBitbase[side * (1 << 17) + (file + 4 * (idx >> 3)) * 4096 + k * 64 + w];
                    ASSERT_TRUE(v == 1 || v == 2) << side << " " << idx << " " << k << " " << w;
                    if (v != 2) continue;
                    wins++;
                    EXPECT_NE(k, w);
                    EXPECT_NE(k, idx);
                    EXPECT_NE(w, idx);
                    EXPECT_GT(Dist(k, w), 1);
                }
        }
    EXPECT_GT(wins, 50000);
}

TEST_F(KpkTest, KnownPositions) {
    // Opposition decides with the king in front of its pawn on the fourth rank.
    EXPECT_EQ(EvalFen("8/4k3/8/4K3/4P3/8/8/8 w - -"), 0);
    EXPECT_EQ(EvalFen("8/4k3/8/4K3/4P3/8/8/8 b - -"), -800);
    // On the sixth rank it wins whoever moves.
    EXPECT_EQ(EvalFen("4k3/8/4K3/4P3/8/8/8/8 w - -"), 800);
    EXPECT_EQ(EvalFen("4k3/8/4K3/4P3/8/8/8/8 b - -"), -800);
    // The king two ranks in front of its pawn wins whoever moves.
    EXPECT_EQ(EvalFen("8/8/3k4/8/4K3/8/4P3/8 w - -"), 800);
    EXPECT_EQ(EvalFen("8/3k4/8/4K3/8/8/4P3/8 b - -"), -800);
    // A rook pawn with the defending king in the corner is drawn.
    EXPECT_EQ(EvalFen("k7/8/8/8/8/8/P7/7K w - -"), 0);
    // The pawn runs away from a distant king.
    EXPECT_EQ(EvalFen("7k/8/8/P7/8/8/8/7K w - -"), 800);
    EXPECT_EQ(EvalFen("k7/8/8/8/8/8/7P/K7 b - -"), -800);
    // Black pawns mirror white ones.
    EXPECT_EQ(EvalFen("8/8/8/4p3/4k3/8/4K3/8 b - -"), 0);
    EXPECT_EQ(EvalFen("8/8/8/4p3/4k3/8/4K3/8 w - -"), -800);
    EXPECT_EQ(EvalFen("8/8/8/8/4p3/4k3/8/4K3 w - -"), -800);
}

TEST_F(KpkTest, MirrorsAndColourExchangeAgree) {
    SearchThread* t = PlainThread();
    int checked = 0;
    for (int pawn = 8; pawn < 56; pawn += 3)
        for (int k = 0; k < 64; k += 5)
            for (int w = 1; w < 64; w += 7) {
                if (pawn == k || pawn == w || Dist(k, w) <= 1) continue;
                for (int side = 0; side < 2; side++) {
                    int v = ProbeKpkSquares(0, pawn, k, w, side);
                    EXPECT_TRUE(v == 0 || v == 800 || v == -800);
                    // The side without the pawn never wins.
                    EXPECT_EQ(v, side == 0 ? std::max(v, 0) : std::min(v, 0));
                    EXPECT_EQ(ProbeKpkSquares(0, pawn ^ 7, k ^ 7, w ^ 7, side), v);
                    EXPECT_EQ(ProbeKpkSquares(1, pawn ^ 56, k ^ 56, w ^ 56, side ^ 1), v);
                    checked++;
                }
            }
    EXPECT_GT(checked, 500);
    // Through a real position: a black pawn, black to move.
    SetPosition(t, "8/8/8/8/4p3/4k3/8/4K3 b - -");
    EXPECT_EQ(ProbeKpk(t->pos, 1), 800);
}
