// Inputs the fuzz targets (fuzz/) found to break the board code, kept as tests.
#include "board_fixture.h"

namespace {

// Squares of the piece list of code, in list order.
std::vector<int> ListOf(const Position& p, int code) {
    std::vector<int> squares;
    for (int i = 0; i < 10 && p.pieceList[code][i] != NO_SQUARE; i++)
        squares.push_back(p.pieceList[code][i]);
    return squares;
}

} // namespace

// fuzz_fen: with nine knights, promoting a pawn to a tenth knight wrote past
// the end of the knights' piece list into the bishops' list, and the bishop
// vanished from the move generator. A kind that already has nine pieces gets
// no promotion; the other promotions stay.
TEST(BoardFuzzFindings, NoPromotionToATenthPieceOfOneKind) {
    Position& p = GamePosition("7k/P7/8/8/8/B7/NNN5/NNNNNNK1 w - -");
    EXPECT_FALSE(IsLegalMove(p, Coord("a7a8n")));
    const std::vector<int> bishops = ListOf(p, PieceCode(WHITE, BISHOP));
    ASSERT_EQ(bishops, std::vector<int>{16});
    for (const char* text : {"a7a8q", "a7a8r", "a7a8b"}) {
        Move m = Coord(text);
        ASSERT_TRUE(IsLegalMove(p, m)) << text;
        MakeMove(p, m);
        UnmakeMove(p);
        EXPECT_EQ(ListOf(p, PieceCode(WHITE, BISHOP)), bishops) << text;
        EXPECT_EQ(ListOf(p, PieceCode(WHITE, KNIGHT)).size(), 9u) << text;
    }

    // Nine queens: the pawn can still become a rook, bishop or knight.
    // (GamePosition sets up the same game position p refers to.)
    GamePosition("3k4/P7/8/8/8/QQQ5/QQQ5/QQQ1K3 w - -");
    EXPECT_FALSE(IsLegalMove(p, Coord("a7a8q")));
    for (const char* text : {"a7a8r", "a7a8b", "a7a8n"})
        EXPECT_TRUE(IsLegalMove(p, Coord(text))) << text;
    // One knight fewer: every promotion.
    GamePosition("7k/P7/8/8/8/B7/NN6/NNNNNNK1 w - -");
    for (const char* text : {"a7a8q", "a7a8r", "a7a8b", "a7a8n"})
        EXPECT_TRUE(IsLegalMove(p, Coord(text))) << text;
}
