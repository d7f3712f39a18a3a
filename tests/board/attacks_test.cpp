// Bit primitives, attack tables, the square-attacked, legality and
// gives-check tests.
#include <random>

#include "board/bitops.h"
#include "board/constants.h"
#include "board_fixture.h"

namespace {

class Attacks : public ::testing::Test {
  protected:
    void SetUp() override { InitBoardForTests(); }
};

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

Bitboard Squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names) b |= SquareBit(Sq(n));
    return b;
}

MoveEntry Entry(const Position& p, const char* move) {
    Move m = Coord(move);
    return MoveEntry{m, 0, p.board[FromSquare(m)], p.board[ToSquare(m)]};
}

} // namespace

TEST_F(Attacks, BitPrimitivesAgreeWithPlainCounting) {
    for (int i = 0; i < 64; i++) {
        Bitboard b = SquareBit(i);
        EXPECT_EQ(BitScan(b), i);
        EXPECT_EQ(HighestBit(b), i);
        EXPECT_EQ(PopCount(b), 1);
    }
    EXPECT_EQ(PopCount(0), 0);
    EXPECT_EQ(PopCount(~Bitboard(0)), 64);
    Bitboard c = 0x8100000000000101ull;
    EXPECT_EQ(PopLowest(c), 0);
    EXPECT_EQ(c, 0x8100000000000100ull);
}

// The processor's bit instructions stand in for the portable folded-multiply
// scan, byte-table highest bit and SWAR count; they must agree everywhere.
TEST_F(Attacks, FastBitPrimitivesEqualThePortableOnes) {
    // The scans depend only on the lowest (highest) set bit: every such bit
    // with every pattern of the 16 bits above (below) it.
    for (int i = 0; i < 64; i++)
        for (uint64_t pattern = 0; pattern < (1u << 16); pattern++) {
            Bitboard low = SquareBit(i) | (i < 63 ? (pattern << (i + 1)) : 0);
            Bitboard high = SquareBit(i) | (i > 0 ? (pattern >> (16 - (i < 16 ? i : 16))) : 0);
            ASSERT_EQ(BitScan(low), BitScanFolded(low)) << low;
            ASSERT_EQ(HighestBit(high), HighestBitByTable(high)) << high;
        }
    // The SWAR count sums 8-bit fields: every byte value in every byte, and
    // every 16-bit pattern in each quarter.
    for (int shift = 0; shift < 64; shift += 16)
        for (uint64_t pattern = 0; pattern < (1u << 16); pattern++) {
            Bitboard b = pattern << shift;
            ASSERT_EQ(PopCount(b), PopCountSwar(b)) << b;
            ASSERT_EQ(PopCount(~b), PopCountSwar(~b)) << b;
        }
    std::mt19937_64 rng(7);
    for (int n = 0; n < 1000000; n++) {
        Bitboard b = rng() & rng(); // sparse and dense values alike
        b ^= rng() & -(n & 1);
        if (!b) continue;
        ASSERT_EQ(BitScan(b), BitScanFolded(b)) << b;
        ASSERT_EQ(HighestBit(b), HighestBitByTable(b)) << b;
        ASSERT_EQ(PopCount(b), PopCountSwar(b)) << b;
    }
}

TEST_F(Attacks, SlidersStopAtTheNearestBlocker) {
    Bitboard rook = RookAttacks(Sq("a1"), 0);
    EXPECT_EQ(PopCount(rook), 14);
    EXPECT_EQ(rook, (FILE_A | RANK_1) & ~SquareBit(Sq("a1")));
    Bitboard blocked = RookAttacks(Sq("a1"), Squares({"a4", "a6", "c1"}));
    EXPECT_EQ(blocked, Squares({"a2", "a3", "a4", "b1", "c1"}));
    // The south-west search from h8 relies on the sentinel bit 0.
    EXPECT_EQ(BishopAttacks(Sq("h8"), 0), Squares({"a1", "b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(BishopAttacks(Sq("d4"), Squares({"b2", "f6", "c5", "g1"})),
              Squares({"c3", "b2", "e5", "f6", "c5", "e3", "f2", "g1"}));
    // A blocker on the edge square itself (sentinel square 63 occupied).
    EXPECT_EQ(RookAttacks(Sq("h1"), Squares({"h8"})), (FILE_H | RANK_1) & ~SquareBit(Sq("h1")));
    EXPECT_EQ(Between[Sq("a1")][Sq("h8")], Squares({"b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(Between[Sq("e1")][Sq("e2")], 0u);
    EXPECT_EQ(Between[Sq("a1")][Sq("b3")], 0u);
    EXPECT_EQ(Between[Sq("h2")][Sq("b8")], Squares({"g3", "f4", "e5", "d6", "c7"}));
    EXPECT_EQ(PawnAttacks[WHITE][Sq("a2")], Squares({"b3"}));
    EXPECT_EQ(PawnAttacks[BLACK][Sq("h7")], Squares({"g6"}));
    EXPECT_EQ(KnightAttacks[Sq("a1")], Squares({"b3", "c2"}));
}

TEST_F(Attacks, SquareAttackedSeesEveryPieceKind) {
    Position& p = GamePosition("4k3/8/8/3p4/8/1n3B2/8/R3K3 w - -");
    EXPECT_TRUE(IsAttacked(p, Sq("e4"), BLACK));  // pawn d5
    EXPECT_FALSE(IsAttacked(p, Sq("d3"), BLACK)); // nothing of black's reaches d3
    EXPECT_TRUE(IsAttacked(p, Sq("d2"), BLACK));  // knight b3
    EXPECT_TRUE(IsAttacked(p, Sq("d7"), BLACK));  // king
    EXPECT_TRUE(IsAttacked(p, Sq("a7"), WHITE));  // rook along the file
    EXPECT_FALSE(IsAttacked(p, Sq("g1"), WHITE)); // the king blocks the rank
    EXPECT_TRUE(IsAttacked(p, Sq("h1"), WHITE));  // bishop f3 over g2
    EXPECT_TRUE(IsAttacked(p, Sq("d5"), WHITE));  // bishop f3
    EXPECT_FALSE(IsAttacked(p, Sq("c6"), WHITE)); // bishop blocked by d5
}

TEST_F(Attacks, LegalityOfKingMovesCastlingAndEnPassant) {
    // The transit square f1 is attacked: king-side castling is illegal,
    // queen-side is legal although b1 is attacked.
    Position& p = GamePosition("r3k2r/8/8/8/8/8/6p1/R3K2R w KQkq -");
    EXPECT_FALSE(IsLegal(p, WHITE, Coord("e1g1")));
    EXPECT_TRUE(IsLegal(p, WHITE, Coord("e1c1")));
    GamePosition("1r2k3/8/8/8/8/8/8/R3K3 w Q -");
    EXPECT_TRUE(IsLegal(searchState.threads[0]->pos, WHITE, Coord("e1c1")));
    Position& q = GamePosition("2r1k3/8/8/8/8/8/8/R3K3 w Q -");
    EXPECT_FALSE(IsLegal(q, WHITE, Coord("e1c1")));
    Position& check = GamePosition("4k3/8/8/8/8/8/8/R3K2r w Q -");
    EXPECT_FALSE(IsLegal(check, WHITE, Coord("e1c1")));

    // Both pawns leave the fifth rank: the king on a5 would face the rook.
    Position& ep = GamePosition("8/8/8/KPp4r/8/8/8/4k3 w - c6");
    EXPECT_EQ(ep.epSquare, Sq("c6"));
    EXPECT_FALSE(IsLegal(ep, WHITE, Coord("b5c6")));
    EXPECT_TRUE(IsLegal(ep, WHITE, Coord("b5b6")));
    // En passant that removes the checking pawn is legal.
    Position& evade = GamePosition("8/8/8/2k5/3Pp3/8/8/4K3 b - d3");
    EXPECT_TRUE(IsLegal(evade, BLACK, Coord("e4d3")));

    // The king may not take a defended piece, may take an undefended one.
    Position& k = GamePosition("4k3/8/8/8/8/2b5/3r4/4K3 w - -");
    EXPECT_FALSE(IsLegal(k, WHITE, Coord("e1d2")));
    Position& k2 = GamePosition("4k3/8/8/8/8/8/3r4/4K3 w - -");
    EXPECT_TRUE(IsLegal(k2, WHITE, Coord("e1d2")));
    // Retreating along the checking line stays in check.
    Position& line = GamePosition("4k3/4r3/8/8/8/8/4K3/8 w - -");
    EXPECT_FALSE(IsLegal(line, WHITE, Coord("e2e1")));
    // A pinned piece may move along the pin only.
    Position& pin = GamePosition("4k3/4r3/8/8/8/4R3/8/4K3 w - -");
    EXPECT_TRUE(IsLegal(pin, WHITE, Coord("e3e7")));
    EXPECT_TRUE(IsLegal(pin, WHITE, Coord("e3e5")));
    EXPECT_FALSE(IsLegal(pin, WHITE, Coord("e3d3")));
    // The test leaves the position as it was.
    Position before = pin;
    IsLegal(pin, WHITE, Coord("e3e7"));
    EXPECT_TRUE(SamePosition(before, pin));
}

TEST_F(Attacks, GivesCheckDirectAndDiscovered) {
    // Knight d4 in front of bishop b2 toward the king on g7.
    Position& p = GamePosition("8/6k1/8/8/3N4/8/1B6/4K3 w - -");
    EXPECT_EQ(GivesCheck(p, WHITE, Entry(p, "d4b5")), 2);
    EXPECT_EQ(GivesCheck(p, WHITE, Entry(p, "d4f5")), 1); // direct and discovered
    EXPECT_EQ(GivesCheck(p, WHITE, Entry(p, "b2c3")), 0); // still behind the knight
    EXPECT_EQ(GivesCheck(p, WHITE, Entry(p, "e1d1")), 0);

    Position& q = GamePosition("4k3/8/8/8/8/8/8/Q3K3 w - -");
    EXPECT_EQ(GivesCheck(q, WHITE, Entry(q, "a1a4")), 1); // diagonal a4-e8
    EXPECT_EQ(GivesCheck(q, WHITE, Entry(q, "a1a8")), 1); // along the rank
    EXPECT_EQ(GivesCheck(q, WHITE, Entry(q, "a1b2")), 0);

    // Promotions are tested as the new piece.
    Position& pr = GamePosition("3k4/6P1/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(GivesCheck(pr, WHITE, Entry(pr, "g7g8q")), 1);
    EXPECT_EQ(GivesCheck(pr, WHITE, Entry(pr, "g7g8r")), 1);
    EXPECT_EQ(GivesCheck(pr, WHITE, Entry(pr, "g7g8b")), 0);
    EXPECT_EQ(GivesCheck(pr, WHITE, Entry(pr, "g7g8n")), 0);
    Position& pn = GamePosition("8/6P1/5k2/8/8/8/8/4K3 w - -");
    EXPECT_EQ(GivesCheck(pn, WHITE, Entry(pn, "g7g8n")), 1);

    // Pawn checks, and a rook uncovered by a pawn push on the file.
    Position& pawn = GamePosition("4k3/8/8/3P4/8/8/8/4K3 w - -");
    EXPECT_EQ(GivesCheck(pawn, WHITE, Entry(pawn, "d5d6")), 0);
    Position& pawn2 = GamePosition("8/4k3/8/3P4/8/8/8/4K3 w - -");
    EXPECT_EQ(GivesCheck(pawn2, WHITE, Entry(pawn2, "d5d6")), 1);
    Position& file = GamePosition("4k3/8/8/8/8/4P3/8/4RK2 w - -");
    EXPECT_EQ(GivesCheck(file, WHITE, Entry(file, "e3e4")), 0); // stays on the file
    Position& rank2 = GamePosition("8/R2Nk3/8/8/8/8/8/5K2 w - -");
    EXPECT_EQ(GivesCheck(rank2, WHITE, Entry(rank2, "d7b6")), 2);
}
