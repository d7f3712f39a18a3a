// Move generation: order, en passant, promotions, castling and list bounds.
#include <algorithm>

#include "board/setup.h"
#include "board_fixture.h"

namespace {

class MoveGen : public ::testing::Test {
  protected:
    void SetUp() override { InitBoardForTests(); }
};

std::vector<std::string> Texts(const MoveEntry* begin, const MoveEntry* end) {
    std::vector<std::string> out;
    for (const MoveEntry* e = begin; e != end; e++) out.push_back(Text(e->move));
    return out;
}

} // namespace

TEST_F(MoveGen, StartPositionOrder) {
    options.protocolMode = PROTOCOL_UCI;
    Position& p = GamePosition(START_FEN);
    MoveEntry* list = GenAllMoves(p);
    std::vector<std::string> got;
    for (MoveEntry* e = list; e->move != END_OF_LIST; e++) got.push_back(Text(e->move));
    std::vector<std::string> want = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3",
                                     "d2d4", "e2e3", "e2e4", "f2f3", "f2f4", "g2g3", "g2g4",
                                     "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"};
    EXPECT_EQ(got, want);
    // Moving and captured piece codes.
    EXPECT_EQ(list[0].piece, PieceCode(WHITE, PAWN));
    EXPECT_EQ(list[16].piece, PieceCode(WHITE, KNIGHT));
    EXPECT_EQ(list[0].captured, 0);
}

TEST_F(MoveGen, ListBoundsGoIntoTheStack) {
    Position& p = GamePosition(START_FEN);
    SearchThread* t = p.owner;
    t->stack[1].listStart = nullptr;
    MoveEntry* list = GenAllMoves(p);
    EXPECT_EQ(list, t->moves); // no list start yet: the area's beginning
    EXPECT_EQ(t->stack[1].listStart, list);
    EXPECT_EQ(t->stack[1].listCurrent, list);
    EXPECT_EQ(t->stack[2].listStart, list + 21); // behind the terminator
    // A deeper ply writes behind the shallower list and leaves it intact.
    MakeMove(p, Coord("e2e4"));
    MoveEntry* deeper = GenAllMoves(p);
    EXPECT_EQ(deeper, list + 21);
    EXPECT_EQ(list[20].move, END_OF_LIST);
    UnmakeMove(p);
}

TEST_F(MoveGen, TheDeepestLineOfCrowdedPositionsFitsTheListArea) {
    // At every ply a position with nine queens, rooks, bishops and knights of
    // the side to move placed at random (legality aside): each ply's list
    // goes behind the last, as in the deepest search line.
    Position& p = GamePosition(START_FEN);
    SearchThread* t = p.owner;
    uint32_t seed = 12345;
    auto next = [&](int n) { return int((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    t->stack[1].listStart = t->moves;
    MoveEntry* end = t->moves;
    for (int ply = 1; ply < MAX_PLY; ply++) {
        ClearPosition(p);
        const char* kinds = "KQQQQQQQQQRRRRRRRRRBBBBBBBBBNNNNNNNNN";
        int colour = next(2);
        for (const char* k = kinds; *k; k++) {
            int sq;
            do { sq = next(64); } while (p.board[sq]);
            AddPiece(p, PieceCode(colour, int(strchr(" PNBRQK", *k) - " PNBRQK")), sq);
        }
        p.side = uint8_t(colour);
        t->ply = uint16_t(ply);
        for (end = GenAllMoves(p); end->move != END_OF_LIST; end++) {}
        ASSERT_LT(end, t->moves + MOVE_AREA) << "ply " << ply;
    }
    t->ply = 1;
}

TEST_F(MoveGen, PawnCapturesAndEnPassant) {
    options.protocolMode = PROTOCOL_UCI;
    // e5 beside the pawn that just went d7-d5; the capture exposes the king
    // to the rook on h5... but is generated all the same.
    Position& p = GamePosition("4k3/8/8/K2pP2r/8/8/8/8 w - d6");
    MoveEntry buffer[64];
    MoveEntry* end = GenPawnCaptures(p, WHITE, buffer);
    ASSERT_EQ(end - buffer, 1);
    EXPECT_EQ(Text(buffer[0].move), "e5d6");
    EXPECT_EQ(buffer[0].captured, 0);
    EXPECT_FALSE(IsLegal(p, WHITE, buffer[0].move));

    // White: all captures toward the a-file first, then toward the h-file.
    Position& q = GamePosition("4k3/8/8/8/1p1p1p2/2P1P3/8/4K3 w - -");
    end = GenPawnCaptures(q, WHITE, buffer);
    EXPECT_EQ(Texts(buffer, end), (std::vector<std::string>{"c3b4", "e3d4", "c3d4", "e3f4"}));
    // Black: from - 7 first, then from - 9.
    Position& r = GamePosition("4k3/8/8/2p1p3/1P1P1P2/8/8/4K3 b - -");
    end = GenPawnCaptures(r, BLACK, buffer);
    EXPECT_EQ(Texts(buffer, end), (std::vector<std::string>{"c5d4", "e5f4", "c5b4", "e5d4"}));
}

TEST_F(MoveGen, PromotionsWithAndWithoutUnderpromotion) {
    options.protocolMode = PROTOCOL_UCI;
    // b7 is blocked, enemy pieces on both diagonals.
    Position& p = GamePosition("nrn1k3/1P6/8/8/8/8/8/4K3 w - -");
    MoveEntry buffer[64];
    MoveEntry* end = GenPromotions(p, WHITE, 0, buffer);
    EXPECT_EQ(Texts(buffer, end), (std::vector<std::string>{"b7a8q", "b7c8q"}));
    end = GenPromotions(p, WHITE, 1, buffer);
    EXPECT_EQ(Texts(buffer, end), (std::vector<std::string>{"b7a8q", "b7a8n", "b7a8b", "b7a8r",
                                                            "b7c8q", "b7c8n", "b7c8b", "b7c8r"}));
    EXPECT_EQ(buffer[0].captured, PieceCode(BLACK, KNIGHT));
    int promotions = 0;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        promotions += IsPromotion(e->move);
    EXPECT_EQ(promotions, 8);
    // Black pushes down the board.
    Position& b = GamePosition("4k3/8/8/8/8/8/6p1/4K3 b - -");
    end = GenPromotions(b, BLACK, 0, buffer);
    EXPECT_EQ(Texts(buffer, end), (std::vector<std::string>{"g2g1q"}));
    // Pawns about to promote make no quiet moves and no plain captures.
    end = GenQuiets(b, BLACK, buffer);
    for (MoveEntry* e = buffer; e != end; e++) EXPECT_NE(FromSquare(e->move), 14);
}

TEST_F(MoveGen, CastlingGenerationLeavesAttacksToLegality) {
    options.protocolMode = PROTOCOL_UCI;
    // f1 is attacked: e1g1 is generated, then rejected.
    Position& p = GamePosition("4k3/8/8/8/8/8/5r2/R3K2R w KQ -");
    MoveEntry buffer[128];
    MoveEntry* end = GenQuiets(p, WHITE, buffer);
    std::vector<std::string> quiet = Texts(buffer, end);
    ASSERT_GE(quiet.size(), 2u);
    EXPECT_EQ(quiet[quiet.size() - 2], "e1g1");
    EXPECT_EQ(quiet.back(), "e1c1");
    EXPECT_FALSE(IsLegal(p, WHITE, Coord("e1g1")));
    // An occupied b1 forbids the queen side.
    Position& q = GamePosition("4k3/8/8/8/8/8/8/RN2K2R w KQ -");
    end = GenQuiets(q, WHITE, buffer);
    quiet = Texts(buffer, end);
    EXPECT_EQ(quiet.back(), "e1g1");
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), "e1c1"), 0);
}

TEST_F(MoveGen, StalemateAndMateLeaveNoLegalMove) {
    Position& p = GamePosition("7k/5Q2/6K1/8/8/8/8/8 b - -");
    EXPECT_EQ(LegalMoves(p).size(), 0u);
    Position& mate = GamePosition("8/8/8/8/8/2k5/1q6/K7 w - -");
    MoveEntry* list = GenAllMoves(mate);
    EXPECT_EQ(LegalMoves(mate).size(), 0u);
    EXPECT_NE(list->move, END_OF_LIST); // pseudo-legal king moves exist
}
