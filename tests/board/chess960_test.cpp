// Chess960 castling on the board: make and unmake with king and rooks on any
// files, and the FEN castling field read back from what was written.
#include <random>

#include "board/setup.h"
#include "board_fixture.h"

namespace {

class Chess960Test : public ::testing::Test {
  protected:
    void SetUp() override {
        InitBoardForTests();
        options.chess960 = 1;
    }
    void TearDown() override { options.chess960 = 0; }
};

// King and rooks side by side, apart, on the edge and in the middle.
const char* const CASTLING_POSITIONS[] = {
    "rk2r3/pppppppp/8/8/8/8/PPPPPPPP/RK2R3 w KQkq -",
    "1r4kr/pppppppp/8/8/8/8/PPPPPPPP/1R4KR w KQkq -",
    "r2kr3/pppppppp/8/8/8/8/PPPPPPPP/R2KR3 b KQkq -",
    "rkr5/pppppppp/8/8/8/8/PPPPPPPP/RKR5 w KQkq -",
    "2r1kr2/pppppppp/8/8/8/8/PPPPPPPP/2R1KR2 w CFcf -",
};

bool KingTakesRook(const Position& p, Move m) {
    int king = p.board[FromSquare(m)], there = p.board[ToSquare(m)];
    return TypeOf(king) == KING && there && ColourOf(there) == ColourOf(king);
}

} // namespace

TEST_F(Chess960Test, RandomGamesWithCastlingKeepEveryFieldAndUndoExactly) {
    std::mt19937 rng(960);
    int castles = 0;
    for (const char* fen : CASTLING_POSITIONS) {
        SCOPED_TRACE(fen);
        Position& p = GamePosition(fen);
        Position start = p;
        int made = 0;
        for (; made < 40; made++) {
            std::vector<Move> moves = LegalMoves(p), preferred;
            for (Move m : moves)
                if (KingTakesRook(p, m)) preferred.push_back(m);
            if (moves.empty()) break;
            const std::vector<Move>& pool = preferred.empty() ? moves : preferred;
            Move m = pool[rng() % pool.size()];
            castles += KingTakesRook(p, m);
            MakeMove(p, m);
            ASSERT_EQ(Inconsistency(p), "") << "after " << Text(m);
        }
        while (made--) UnmakeMove(p);
        EXPECT_TRUE(SamePosition(start, p));
        EXPECT_EQ(Fen(p), Fen(start));
    }
    EXPECT_GE(castles, 8);
}

TEST_F(Chess960Test, CastlingFieldWrittenAsXFenReadsBackToTheSameRights) {
    // The outermost rook of a side is written K or Q, an inner one by its file.
    EXPECT_EQ(Fen(GamePosition("4k3/8/8/8/8/8/8/RR2K3 w B -")), "4k3/8/8/8/8/8/8/RR2K3 w B -");
    EXPECT_EQ(Fen(GamePosition("4k3/8/8/8/8/8/8/RR2K3 w A -")), "4k3/8/8/8/8/8/8/RR2K3 w Q -");
    const char* fens[] = {"1r2k1rr/8/8/8/8/8/8/1RR1K1R1 w BGbg -",
                          "r3k2r/8/8/8/8/8/8/R3K2R w HAha -", "rr4kr/8/8/8/8/8/8/RR4KR b Kkq -",
                          "4kr2/8/8/8/8/8/8/3RK1R1 w DGf -"};
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        Position& p = GamePosition(fen);
        std::vector<Move> moves = LegalMoves(p);
        uint8_t rights = p.castling;
        std::string written = Fen(p);
        Position& again = GamePosition(written.c_str());
        EXPECT_EQ(again.castling, rights) << written;
        EXPECT_EQ(LegalMoves(again), moves) << written;
    }
}
