// Make and unmake, the null move, the draw test and the position keys.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <unistd.h>

#include "board/constants.h"
#include "board_fixture.h"

namespace {

class MakeMoveTest : public ::testing::Test {
  protected:
    void SetUp() override { InitBoardForTests(); }
};

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

// Makes m, checks every redundant field, unmakes and checks the position is
// back to what it was, history counters included.
void RoundTrip(Position& p, const char* move) {
    SCOPED_TRACE(move);
    Position before = p;
    SearchThread* t = p.owner;
    uint16_t count = t->historyCount, ply = t->ply;
    Move last = t->lastMove;
    MakeMove(p, Coord(move));
    EXPECT_EQ(Inconsistency(p), "");
    UnmakeMove(p);
    EXPECT_TRUE(SamePosition(before, p));
    EXPECT_EQ(t->historyCount, count);
    EXPECT_EQ(t->ply, ply);
    EXPECT_EQ(t->lastMove, last);
}

} // namespace

TEST_F(MakeMoveTest, StartPositionFieldsAndKeys) {
    Position& p = GamePosition(START_FEN);
    EXPECT_EQ(p.matSig[WHITE], 74280u);
    EXPECT_EQ(p.matSig[BLACK], 74280u);
    EXPECT_EQ(p.pieceMat[WHITE], 32);
    EXPECT_EQ(p.pieceMat[BLACK], 32);
    EXPECT_EQ(p.castling, 15);
    EXPECT_EQ(p.epSquare, 64);
    EXPECT_EQ(Inconsistency(p), "");
    // Pieces are listed in the order the text names them.
    EXPECT_EQ(p.pieceList[PieceCode(BLACK, ROOK)][0], Sq("a8"));
    EXPECT_EQ(p.pieceList[PieceCode(BLACK, ROOK)][1], Sq("h8"));
    EXPECT_EQ(p.pieceList[PieceCode(WHITE, PAWN)][0], Sq("a2"));
    EXPECT_EQ(p.pieceList[PieceCode(WHITE, PAWN)][8], 64);

    // Side, rights and en-passant square are outside `key` but inside the search key.
    Position& bare = GamePosition("4k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(SearchKey(bare), bare.key ^ StateKeys[64] ^ StateKeys[0]);
    uint64_t key = bare.key, search = SearchKey(bare);
    Position& black = GamePosition("4k3/8/8/8/8/8/8/4K3 b - -");
    EXPECT_EQ(black.key, key);
    EXPECT_EQ(SearchKey(black), ~search);
    Position& castle = GamePosition("r3k3/8/8/8/8/8/8/4K3 w q -");
    Position& noCastle = GamePosition("r3k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(noCastle.key, castle.key);
    EXPECT_EQ(SearchKey(castle), SearchKey(noCastle));
    uint64_t noRights = SearchKey(noCastle);
    Position& withRights = GamePosition("r3k3/8/8/8/8/8/8/4K3 w q -");
    EXPECT_NE(SearchKey(withRights), noRights);
}

TEST_F(MakeMoveTest, KeysAreFixedAndWellSpread) {
    // The generator's first two draws, high half first.
    EXPECT_EQ(PieceKeys[0][0], 0x075d4ee240b5da0full);
    EXPECT_EQ(PieceKeys[1][12], 0xbcc897cae04423d7ull);
    EXPECT_EQ(StateKeys[0], 0xd994b218e344824dull);
    EXPECT_EQ(StateKeys[65], 0x80d6c93e380131bbull);
    EXPECT_EQ(zobristSeed, 939602363u);
    InitZobristKeys(); // a second call changes nothing
    EXPECT_EQ(PieceKeys[0][0], 0x075d4ee240b5da0full);
    EXPECT_EQ(zobristSeed, 939602363u);
    const uint64_t* keys = &PieceKeys[0][0];
    for (int i = 1; i < 1024; i++)
        for (int j = 0; j < i; j++) {
            uint64_t x = keys[i] ^ keys[j];
            ASSERT_GE(__builtin_popcount(uint32_t(x)), 4) << i << " " << j;
            ASSERT_GE(__builtin_popcount(uint32_t(x >> 32)), 4) << i << " " << j;
        }
}

TEST_F(MakeMoveTest, DoublePushRecordAndEnPassantSquare) {
    Position& p = GamePosition(START_FEN);
    SearchThread* t = p.owner;
    MakeMove(p, Coord("e2e4"));
    EXPECT_EQ(p.epSquare, Sq("e3")); // set although no black pawn is near
    EXPECT_EQ(p.castling, 15);
    EXPECT_EQ(p.side, BLACK);
    EXPECT_EQ(t->historyCount, 1);
    EXPECT_EQ(t->ply, 2);
    EXPECT_EQ(t->lastMove, Coord("e2e4"));
    const UndoRecord& r = t->history[0];
    EXPECT_EQ(r.move, Coord("e2e4"));
    EXPECT_EQ(r.epSquare, 64);
    EXPECT_EQ(r.halfmoveClock, 0);
    EXPECT_EQ(r.castling, 15);
    EXPECT_EQ(r.captured, 0);
    // The pawn keeps its list slot.
    EXPECT_EQ(p.pieceList[PieceCode(WHITE, PAWN)][4], Sq("e4"));
    MakeMove(p, Coord("g8f6"));
    EXPECT_EQ(p.epSquare, 64);
    EXPECT_EQ(p.halfmoveClock, 1);
    UnmakeMove(p);
    EXPECT_EQ(t->lastMove, Coord("e2e4"));
    UnmakeMove(p);
    EXPECT_EQ(t->lastMove, 0);
}

TEST_F(MakeMoveTest, CapturesCastlingEnPassantAndPromotions) {
    // Rook takes h8: black loses its king-side right without moving the rook.
    Position& p = GamePosition("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    MakeMove(p, Coord("h1h8"));
    EXPECT_EQ(p.castling, CASTLE_WQ | CASTLE_BQ);
    EXPECT_EQ(p.owner->history[0].captured, ROOK);
    UnmakeMove(p);
    RoundTrip(p, "h1h8");
    RoundTrip(p, "a1a8");

    // White castles king side: rook h1 to f1, both rights gone, clock 0.
    Position& c = GamePosition("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    c.halfmoveClock = 7;
    MakeMove(c, Coord("e1g1"));
    EXPECT_EQ(c.board[Sq("g1")], PieceCode(WHITE, KING));
    EXPECT_EQ(c.board[Sq("f1")], PieceCode(WHITE, ROOK));
    EXPECT_EQ(c.board[Sq("h1")], 0);
    EXPECT_EQ(c.castling, CASTLE_BK | CASTLE_BQ);
    EXPECT_EQ(c.halfmoveClock, 0);
    EXPECT_EQ(Inconsistency(c), "");
    UnmakeMove(c);
    EXPECT_EQ(c.halfmoveClock, 7);
    EXPECT_EQ(c.castling, 15);
    c.halfmoveClock = 0;
    RoundTrip(c, "e1g1");
    RoundTrip(c, "e1c1");
    MakeMove(c, Coord("a1b1"));
    RoundTrip(c, "e8c8");
    RoundTrip(c, "e8g8");

    // En passant removes the pawn behind the arrival square.
    Position& ep = GamePosition("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    uint64_t pawnKey = ep.pawnKey;
    MakeMove(ep, Coord("e5d6"));
    EXPECT_EQ(ep.board[Sq("d5")], 0);
    EXPECT_EQ(ep.matSig[BLACK], 0u);
    EXPECT_EQ(Inconsistency(ep), "");
    EXPECT_EQ(ep.owner->history[0].captured, 0);
    UnmakeMove(ep);
    EXPECT_EQ(ep.board[Sq("d5")], PieceCode(BLACK, PAWN));
    EXPECT_EQ(ep.pawnKey, pawnKey);
    RoundTrip(ep, "e5d6");
    Position& bep = GamePosition("4k3/8/8/8/3Pp3/8/8/4K3 b - d3");
    RoundTrip(bep, "e4d3");

    // Promotion with capture on the last rank, every piece.
    for (const char* m : {"b7a8q", "b7a8n", "b7a8b", "b7a8r", "b7b8q", "b7c8r"}) {
        Position& pr = GamePosition("r1n1k3/1P6/8/8/8/8/8/4K3 w - -");
        RoundTrip(pr, m);
    }
    Position& pr = GamePosition("r1n1k3/1P6/8/8/8/8/8/4K3 w - -");
    MakeMove(pr, Coord("b7a8n"));
    EXPECT_EQ(pr.matSig[WHITE], 16u);
    EXPECT_EQ(pr.pieceMat[WHITE], 3);
    EXPECT_EQ(pr.matSig[BLACK], 16u);
    EXPECT_EQ(pr.pieceMat[BLACK], 3);
    EXPECT_EQ(pr.pawnKey, 0u);
    EXPECT_EQ(pr.castling, 0);
    EXPECT_EQ(Inconsistency(pr), "");
    UnmakeMove(pr);
    // The taken-back capture is appended to its list.
    EXPECT_EQ(pr.pieceList[PieceCode(BLACK, ROOK)][0], Sq("a8"));
    EXPECT_EQ(pr.pieceList[PieceCode(WHITE, PAWN)][0], Sq("b7"));
    Position& black = GamePosition("4k3/8/8/8/8/8/p7/1N2K3 b - -");
    RoundTrip(black, "a2b1q");
    RoundTrip(black, "a2a1r");
}

TEST_F(MakeMoveTest, RandomGamesRestoreEveryField) {
    const char* starts[] = {START_FEN,
                            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                            "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -"};
    std::mt19937 rng(12345);
    for (const char* fen : starts) {
        for (int game = 0; game < 20; game++) {
            Position& p = GamePosition(fen);
            Position start = p;
            std::vector<Position> seen;
            int made = 0;
            for (; made < MAX_PLY - 8; made++) { // ply indexes the search stack
                std::vector<Move> legal = LegalMoves(p);
                if (legal.empty()) break;
                seen.push_back(p);
                Move m = legal[rng() % legal.size()];
                if (rng() % 10 == 0) {
                    MakeNullMove(p);
                    EXPECT_EQ(p.owner->lastMove, 0);
                    UnmakeNullMove(p);
                    ASSERT_TRUE(SamePosition(seen.back(), p));
                }
                MakeMove(p, m);
                ASSERT_EQ(Inconsistency(p), "") << fen << " after " << Text(m);
            }
            for (int i = made - 1; i >= 0; i--) {
                UnmakeMove(p);
                ASSERT_TRUE(SamePosition(seen[size_t(i)], p)) << fen << " ply " << i;
            }
            EXPECT_TRUE(SamePosition(start, p));
            EXPECT_EQ(p.owner->historyCount, 0);
            EXPECT_EQ(p.owner->ply, 1);
        }
    }
}

TEST_F(MakeMoveTest, NullMove) {
    Position& p = GamePosition("4k3/8/8/8/4P3/8/8/4K3 b - e3");
    p.halfmoveClock = 5;
    Position before = p;
    uint64_t search = SearchKey(p);
    MakeNullMove(p);
    EXPECT_EQ(p.side, WHITE);
    EXPECT_EQ(p.epSquare, 64);
    EXPECT_EQ(p.halfmoveClock, 6);
    EXPECT_EQ(p.key, before.key);
    EXPECT_NE(SearchKey(p), search);
    EXPECT_EQ(p.owner->historyCount, 1);
    EXPECT_EQ(p.owner->history[0].move, 0);
    UnmakeNullMove(p);
    EXPECT_TRUE(SamePosition(before, p));
    EXPECT_EQ(p.owner->historyCount, 0);
}

TEST_F(MakeMoveTest, DrawByRepetitionAndFiftyMoves) {
    Position& p = GamePosition(START_FEN);
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (const char* m : cycle) {
        EXPECT_EQ(DrawTest(p, 0, 2), 0);
        MakeMove(p, Coord(m));
    }
    EXPECT_EQ(DrawTest(p, 0, 2), 2);
    EXPECT_EQ(DrawTest(p, 0, 3), 0);
    for (const char* m : cycle) MakeMove(p, Coord(m));
    EXPECT_EQ(DrawTest(p, 0, 3), 2);
    // A pawn move ends the reversible stretch: older positions do not count.
    MakeMove(p, Coord("e2e4"));
    for (const char* m : {"g8f6", "g1f3", "f6g8", "f3g1"}) MakeMove(p, Coord(m));
    EXPECT_EQ(DrawTest(p, 0, 2), 2);
    EXPECT_EQ(DrawTest(p, 0, 3), 0);

    // Fifty moves: a draw when a legal move exists, not when mated.
    Position& f = GamePosition("4k3/8/8/8/8/8/8/R3K3 w - -");
    f.halfmoveClock = 100;
    EXPECT_EQ(DrawTest(f, 0, 2), 1);
    f.halfmoveClock = 99;
    EXPECT_EQ(DrawTest(f, 0, 2), 0);
    Position& mate = GamePosition("R3k3/8/4K3/8/8/8/8/8 b - -");
    mate.halfmoveClock = 100;
    EXPECT_EQ(DrawTest(mate, 1, 2), 0);
}

TEST_F(MakeMoveTest, TreeTraceFile) {
    char dir[] = "/tmp/vesk_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char* old = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir), 0);
    Position& p = GamePosition(START_FEN);
    SearchThread* t = p.owner;
    tracePly = 2;
    t->iterDepth = 1;
    t->stack[1].depth = 3;
    t->stack[2].depth = 2;
    MakeMove(p, Coord("e2e4"));
    MakeMove(p, Coord("e7e5"));
    MakeMove(p, Coord("g1f3")); // deeper than the trace level
    UnmakeMove(p);
    UnmakeMove(p);
    MakeNullMove(p);
    UnmakeNullMove(p);
    UnmakeMove(p);
    t->iterDepth = 2;
    MakeMove(p, Coord("d2d4"));
    UnmakeMove(p);
    tracePly = 0;
    MakeMove(p, Coord("e2e4")); // tracing off again
    UnmakeMove(p);
    FILE* f = fopen("trace.txt", "r");
    ASSERT_NE(f, nullptr);
    char buffer[512] = {};
    size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    EXPECT_EQ(std::string(buffer, n), "\n\nSEARCH DEPTH= 1\n( 3)e2e4 ( 2)e7e5 \n         ( 2)null "
                                      "\n\nSEARCH DEPTH= 2\n\n( 3)d2d4 ");
    remove("trace.txt");
    EXPECT_EQ(chdir(old), 0);
    free(old);
    rmdir(dir);
}
