// The board judged from outside: published perft counts, random games whose
// every move must keep the position consistent and come back on unmake, FEN
// and move-text round trips, the draw rules and static exchanges.
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "board/setup.h"
#include "shell/engine.h"
#include "support/unit_test.h"

namespace {

uint64_t PerftCount(Position& p, int depth) {
    p.owner->nodes = 0;
    Perft(p, p.side, p.owner->ply, depth);
    return p.owner->nodes;
}

// Counts beyond this take too long for a test run.
constexpr uint64_t COUNT_LIMIT = 30000000;

void CheckPerft(const std::string& fen, int depth, uint64_t expected) {
    if (expected > COUNT_LIMIT) return;
    EXPECT_EQ(PerftCount(GamePosition(fen.c_str()), depth), expected) << fen << " depth " << depth;
}

} // namespace

TEST(Perft, PublishedSuite) {
    SKIP_WITHOUT_DATA();
    std::ifstream in(TestDataDir() + "/perft/perftsuite.epd");
    std::string line;
    int positions = 0;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        std::istringstream fields(line.substr(semi));
        std::string tag;
        uint64_t count;
        while (fields >> tag >> count)
            CheckPerft(line.substr(0, semi), atoi(tag.c_str() + 2), count);
        positions++;
    }
    EXPECT_EQ(positions, 126);
}
namespace {

// Every legal move of p: the check it announces is the check it gives. With
// texts, its coordinate text reads back as the move; its algebraic texts read
// back as the move or, when rivals reach the same square, as no move; at least
// one does, and the standard one always when it names the from-file or -rank.
void CheckMovesOf(Position& p, bool texts) {
    std::vector<MoveEntry> entries;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        if (IsLegal(p, p.side, e->move)) entries.push_back(*e);
    for (const MoveEntry& e : entries) {
        int announced = GivesCheck(p, p.side, e);
        char forms[4][16];
        MoveForms(p, e.move, forms[0], forms[1], forms[2], forms[3]);
        MakeMove(p, e.move);
        EXPECT_EQ(announced != 0, InCheck(p, p.side) != 0) << FenOf(p) << " after " << forms[1];
        UnmakeMove(p);
        if (!texts) continue;
        bool read[4] = {};
        for (int i = 0; i < 4; i++) {
            Move parsed = 0;
            if (!forms[i][0] || forms[i][0] == '+') continue; // pawn moves have fewer forms
            {
                QuietStdout quiet; // "ambiguous move"
                read[i] = ParseMove(forms[i], &parsed);
            }
            EXPECT_TRUE(read[i] ? parsed == e.move : i > 0)
                << FenOf(p) << ": " << forms[i] << " read as " << MoveText(parsed);
        }
        bool named = !strcmp(forms[1], forms[2]) || !strcmp(forms[1], forms[3]);
        EXPECT_TRUE((read[1] || read[2] || read[3]) && (read[1] || !named))
            << FenOf(p) << ": " << forms[1];
    }
    EXPECT_EQ(entries.size(), LegalMoves(p).size());
}

} // namespace

// Random games from positions rich in castling, en passant, promotions and
// checks uncovered by bishops alone.
TEST(Board, RandomGamesKeepEveryFieldAndRoundTrip) {
    const char* starts[] = {STARTPOS,
                            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                            "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
                            "1b2k1b1/2pppp2/8/8/8/8/2PPPP2/1B2K1B1 w - -"};
    SearchThread* other = NewSearchThread();
    std::mt19937 rng(12345);
    for (const char* fen : starts) {
        for (int game = 0; game < 12; game++) {
            Position& p = GamePosition(fen);
            std::vector<Position> seen;
            for (int ply = 0; ply < MAX_PLY - 8; ply++) { // ply indexes the search stack
                std::vector<Move> legal = LegalMoves(p);
                if (legal.empty()) break;
                CheckMovesOf(p, game < 3);
                // The FEN text sets up the same position (the clock is not part of it).
                ASSERT_EQ(SetFromFen(other->pos, FenOf(p).c_str()), 1) << FenOf(p);
                other->pos.halfmoveClock = p.halfmoveClock;
                ASSERT_EQ(PositionDifference(other->pos, p), "") << FenOf(p);
                seen.push_back(p);
                if (rng() % 8 == 0) {
                    MakeNullMove(p);
                    ASSERT_EQ(PositionFault(p), "") << "null move in " << FenOf(seen.back());
                    UnmakeNullMove(p);
                    ASSERT_EQ(PositionDifference(seen.back(), p), "") << "null move";
                }
                Move m = legal[rng() % legal.size()];
                MakeMove(p, m);
                ASSERT_EQ(PositionFault(p), "") << FenOf(seen.back()) << " then " << MoveText(m);
            }
            for (size_t i = seen.size(); i-- > 0;) {
                UnmakeMove(p);
                ASSERT_EQ(PositionDifference(seen[i], p), "")
                    << "taking back to " << FenOf(seen[i]);
            }
            EXPECT_EQ(p.owner->historyCount, 0);
        }
    }
    FreeSearchThread(other);
}

TEST(Board, DrawByRepetitionAndFiftyMoves) {
    Position& p = GamePosition(STARTPOS);
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (const char* m : cycle) {
        EXPECT_EQ(DrawTest(p, 0, 2), 0) << m;
        MakeMove(p, CoordMove(m));
    }
    // Back at the start: one earlier occurrence, not yet two.
    EXPECT_EQ(DrawTest(p, 0, 2), 2);
    EXPECT_EQ(DrawTest(p, 0, 3), 0);
    for (const char* m : cycle) MakeMove(p, CoordMove(m));
    EXPECT_EQ(DrawTest(p, 0, 3), 2);
    // A pawn move ends the reversible stretch: older positions no longer count.
    MakeMove(p, CoordMove("e2e4"));
    for (const char* m : {"g8f6", "g1f3", "f6g8", "f3g1"}) MakeMove(p, CoordMove(m));
    EXPECT_EQ(DrawTest(p, 0, 2), 2);
    EXPECT_EQ(DrawTest(p, 0, 3), 0);

    // Fifty moves without capture or pawn move: drawn from the hundredth ply on,
    // unless the side to move is mated.
    Position& f = GamePosition("4k3/8/8/8/8/8/8/R3K3 w - -");
    f.halfmoveClock = 99;
    EXPECT_EQ(DrawTest(f, 0, 2), 0);
    MakeMove(f, CoordMove("a1a2"));
    EXPECT_EQ(f.halfmoveClock, 100);
    EXPECT_EQ(DrawTest(f, 0, 2), 1);
    Position& mate = GamePosition("R3k3/8/4K3/8/8/8/8/8 b - -");
    mate.halfmoveClock = 100;
    EXPECT_EQ(DrawTest(mate, 1, 2), 0);
    // A capture and a pawn move start the count again.
    Position& c = GamePosition("4k3/8/8/8/8/1p6/P7/R3K3 w - -");
    c.halfmoveClock = 60;
    MakeMove(c, CoordMove("a2b3"));
    EXPECT_EQ(c.halfmoveClock, 0);
}

TEST(Board, StaticExchanges) {
    auto swap = [](const char* fen, const char* from, const char* to) {
        Position& p = GamePosition(fen);
        return Swap(p, p.side, from ? Square(from) : NO_SQUARE, Square(to));
    };
    const int P = SeeValue[PAWN], N = SeeValue[KNIGHT], R = SeeValue[ROOK], Q = SeeValue[QUEEN];
    // Pawn takes a knight defended by a pawn.
    EXPECT_EQ(swap("4k3/8/2p5/3n4/4P3/8/8/4K3 w - -", "e4", "d5"), N - P);
    // Queen takes a pawn defended by a pawn.
    EXPECT_EQ(swap("4k3/8/2p5/3p4/8/8/8/3QK3 w - -", "d1", "d5"), P - Q);
    // Rook takes rook, bishop takes back, the second rook behind takes the bishop.
    EXPECT_EQ(swap("4kb2/8/3r4/8/8/8/3R4/3RK3 w - -", "d2", "d6"), SeeValue[BISHOP]);
    // The queen does not take back when the rook behind would win her.
    EXPECT_EQ(swap("3qk3/8/3p4/8/8/8/3R4/3RK3 w - -", "d2", "d6"), P);
    EXPECT_EQ(swap("3qk3/8/3p4/8/8/8/3R4/4K3 w - -", "d2", "d6"), P - R);
    // The king does not take back into the bishop's line.
    EXPECT_EQ(swap("5k2/4n3/8/8/7B/8/8/4RK2 w - -", "e1", "e7"), N);
    EXPECT_EQ(swap("5k2/4n3/8/8/8/8/8/4RK2 w - -", "e1", "e7"), N - R);
    // The least valuable attacker goes first: the pawn before the queen, the
    // bishop before the rook.
    EXPECT_EQ(swap("4k3/3n4/8/4r3/3P4/8/8/4QK2 w - -", nullptr, "e5"), R);
    EXPECT_EQ(swap("4k3/8/4p3/3n4/8/1B6/8/3RK3 w - -", nullptr, "d5"), N - SeeValue[BISHOP] + P);
    // The exchange leaves the position as it was.
    Position& p = GamePosition("4kb2/8/3r4/8/8/8/3R4/3RK3 w - -");
    Position before = p;
    Swap(p, WHITE, Square("d2"), Square("d6"));
    EXPECT_EQ(PositionDifference(before, p), "");
    // The quick test accepts winning and even captures, not losing ones.
    EXPECT_EQ(SeeCaptureOk(GamePosition("4k3/8/2p5/3n4/4P3/8/8/4K3 w - -"), CoordMove("e4d5")), 1);
    EXPECT_EQ(SeeCaptureOk(GamePosition("4k3/8/2p5/3p4/8/8/8/3QK3 w - -"), CoordMove("d1d5")), 0);
}

// 824 engine games written by a tournament program: every move reads back, and
// the engine writes each exactly as published (disambiguation among legal moves
// only, "+" and "#").
TEST(Board, StandardNotationOfRealGames) {
    SKIP_WITHOUT_DATA();
    Position& p = GamePosition(STARTPOS);
    std::vector<GameRecord> games = ReadGames(TestDataDir() + "/pgn/tcec_superfinals_s4-s13.pgn");
    ASSERT_EQ(games.size(), 824u);
    for (size_t g = 0; g < games.size(); g++) {
        EXPECT_TRUE(games[g].complete) << "game " << g + 1;
        SetFromFen(p, STARTPOS);
        for (size_t i = 0; i < games[g].moves.size(); i++) {
            char san[16];
            MoveToSan(p, games[g].moves[i], san);
            ASSERT_EQ(san, games[g].texts[i]) << "game " << g + 1 << " at " << FenOf(p);
            MakeMove(p, games[g].moves[i]);
            p.owner->ply = 1;
        }
    }
}

// The deepest line of positions crowded with nine queens, rooks, bishops and
// knights of the side to move (legality aside) fits the move-list area: each
// ply's list goes behind the last, as in a search.
TEST(Board, TheDeepestLineOfCrowdedPositionsFitsTheListArea) {
    Position& p = GamePosition(STARTPOS);
    SearchThread* t = p.owner;
    std::mt19937 rng(54321);
    t->stack[1].listStart = t->moves;
    for (int ply = 1; ply < MAX_PLY; ply++) {
        ClearPosition(p);
        p.side = uint8_t(rng() % 2);
        for (const char* k = "KQQQQQQQQQRRRRRRRRRBBBBBBBBBNNNNNNNNN"; *k; k++) {
            int sq;
            do { sq = int(rng() % 64); } while (p.board[sq]);
            AddPiece(p, PieceCode(p.side, int(strchr(" PNBRQK", *k) - " PNBRQK")), sq);
        }
        t->ply = uint16_t(ply);
        MoveEntry* end = GenAllMoves(p);
        while (end->move != END_OF_LIST) end++;
        ASSERT_LT(end, t->moves + MOVE_AREA) << "ply " << ply;
    }
    t->ply = 1;
}

// Found by fuzzing FEN input: with nine knights, a promotion to a tenth wrote
// past the knights' piece list into the bishops'. A kind that has nine pieces
// gets no more; the other promotions stay.
TEST(Board, NoPromotionToATenthPieceOfOneKind) {
    Position& p = GamePosition("7k/P7/8/8/8/B7/NNN5/NNNNNNK1 w - -");
    EXPECT_FALSE(IsLegalMove(p, CoordMove("a7a8n")));
    for (const char* text : {"a7a8q", "a7a8r", "a7a8b"}) {
        ASSERT_TRUE(IsLegalMove(p, CoordMove(text))) << text;
        MakeMove(p, CoordMove(text));
        EXPECT_EQ(PositionFault(p), "") << text;
        UnmakeMove(p);
    }
    EXPECT_EQ(PositionFault(p), "");
    GamePosition("3k4/P7/8/8/8/QQQ5/QQQ5/QQQ1K3 w - -");
    EXPECT_FALSE(IsLegalMove(p, CoordMove("a7a8q")));
    EXPECT_TRUE(IsLegalMove(p, CoordMove("a7a8n")));
}

namespace {

// Chess960 play for the life of the object.
struct Chess960Mode {
    Chess960Mode() { options.chess960 = 1; }
    ~Chess960Mode() { options.chess960 = 0; }
};

bool KingTakesRook(const Position& p, Move m) {
    int king = p.board[FromSquare(m)], there = p.board[ToSquare(m)];
    return TypeOf(king) == KING && there && ColourOf(there) == ColourOf(king);
}

} // namespace

TEST(Board, Chess960CastlingKeepsEveryFieldAndUndoesExactly) {
    Chess960Mode mode;
    // King and rooks side by side, apart, on the edge and in the middle.
    const char* starts[] = {"rk2r3/pppppppp/8/8/8/8/PPPPPPPP/RK2R3 w KQkq -",
                            "1r4kr/pppppppp/8/8/8/8/PPPPPPPP/1R4KR w KQkq -",
                            "r2kr3/pppppppp/8/8/8/8/PPPPPPPP/R2KR3 b KQkq -",
                            "rkr5/pppppppp/8/8/8/8/PPPPPPPP/RKR5 w KQkq -",
                            "2r1kr2/pppppppp/8/8/8/8/PPPPPPPP/2R1KR2 w CFcf -"};
    std::mt19937 rng(960);
    int castles = 0;
    for (const char* fen : starts) {
        SCOPED_TRACE(fen);
        Position& p = GamePosition(fen);
        Position start = p;
        int made = 0;
        for (; made < 40; made++) {
            std::vector<Move> moves = LegalMoves(p), castling;
            for (Move m : moves)
                if (KingTakesRook(p, m)) castling.push_back(m);
            ASSERT_EQ(CountLegalMoves(p), int(moves.size())) << FenOf(p);
            if (moves.empty()) break;
            const std::vector<Move>& pool = castling.empty() ? moves : castling;
            Move m = pool[rng() % pool.size()];
            castles += KingTakesRook(p, m);
            MakeMove(p, m);
            ASSERT_EQ(PositionFault(p), "") << "after " << MoveText(m);
        }
        while (made--) UnmakeMove(p);
        EXPECT_EQ(PositionDifference(start, p), "");
        EXPECT_EQ(FenOf(p), FenOf(start));
    }
    EXPECT_GE(castles, 8);
}

TEST(Board, Chess960CastlingFieldReadsBackToTheSameRights) {
    Chess960Mode mode;
    // The outermost rook of a side is written K or Q, an inner one by its file.
    EXPECT_EQ(FenOf(GamePosition("4k3/8/8/8/8/8/8/RR2K3 w B -")), "4k3/8/8/8/8/8/8/RR2K3 w B -");
    EXPECT_EQ(FenOf(GamePosition("4k3/8/8/8/8/8/8/RR2K3 w A -")), "4k3/8/8/8/8/8/8/RR2K3 w Q -");
    for (const char* fen :
         {"1r2k1rr/8/8/8/8/8/8/1RR1K1R1 w BGbg -", "r3k2r/8/8/8/8/8/8/R3K2R w HAha -",
          "rr4kr/8/8/8/8/8/8/RR4KR b Kkq -", "4kr2/8/8/8/8/8/8/3RK1R1 w DGf -"}) {
        SCOPED_TRACE(fen);
        Position& p = GamePosition(fen);
        std::vector<Move> moves = LegalMoves(p);
        uint8_t rights = p.castling;
        std::string written = FenOf(p);
        Position& again = GamePosition(written.c_str());
        EXPECT_EQ(again.castling, rights) << written;
        EXPECT_EQ(LegalMoves(again), moves) << written;
    }
}
