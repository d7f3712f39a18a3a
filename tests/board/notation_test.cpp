// FEN in and out, the board diagram, move texts and the move parser.
#include <fstream>
#include <sstream>

#include "board/constants.h"
#include "board_fixture.h"
#include "support/test_support.h"

namespace {

class Notation : public ::testing::Test {
  protected:
    void SetUp() override {
        InitBoardForTests();
        options.protocolMode = PROTOCOL_CONSOLE;
    }
    void TearDown() override { options.protocolMode = PROTOCOL_UCI; }
};

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

struct Forms {
    std::string f[4];
};

Forms FormsOf(Position& p, const char* move) {
    char a[16], b[16], c[16], d[16];
    MoveForms(p, Coord(move), a, b, c, d);
    return Forms{{a, b, c, d}};
}

// The parsed move as coordinate text, or "" when the parser refuses.
std::string Parsed(const char* text) {
    Move m = 0;
    if (!ParseMove(text, &m)) return "";
    return Text(m);
}

} // namespace

TEST_F(Notation, FenRoundTripsAndClockFields) {
    Position& p = GamePosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(Fen(p), START_FEN);
    Position copy = p;
    GamePosition(START_FEN);
    EXPECT_TRUE(SamePosition(copy, searchState.threads[0]->pos));
    const char* fens[] = {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                          "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
                          "4k3/8/8/8/3pP3/8/8/4K3 b - e3", "r3k3/8/8/8/8/8/8/4K2R w Kq -"};
    for (const char* fen : fens) EXPECT_EQ(Fen(GamePosition(fen)), fen);
    Position& q = GamePosition("4k3/8/8/8/8/8/8/4K3 b - - 37 80");
    EXPECT_EQ(q.halfmoveClock, 37); // the clocks are read when present
    EXPECT_EQ(q.owner->startPly, 2 * 79 + 1);
    EXPECT_EQ(GamePosition("4k3/8/8/8/8/8/8/4K3 b - - 300 -2").halfmoveClock, 255);
    EXPECT_EQ(q.owner->startPly, 1);
    EXPECT_EQ(q.owner->historyCount, 0);
    EXPECT_EQ(q.owner->ply, 1);
    EXPECT_EQ(q.owner->lastMove, 0);
    EXPECT_EQ(Inconsistency(q), "");
}

TEST_F(Notation, ImpossibleCastlingRightsAreDropped) {
    Position& p = GamePosition(START_FEN);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/8/8/8/8/4K2R w KQ -"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Illegal EPD record\n");
    EXPECT_EQ(Fen(p), "4k3/8/8/8/8/8/8/4K2R w K -");
    testing::internal::CaptureStdout();
    EXPECT_EQ(SetFromFen(p, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Notation, BadFenIsRejectedAndTheOldPositionKept) {
    Position& p = GamePosition(START_FEN);
    MakeMove(p, Coord("e2e4"));
    Position before = p;
    const char* bad[][2] = {
        {"", "no piece placement"},
        {"hello world", "no piece placement"},
        {"8/8/8/8/8/8/8/8 w - -", "no piece placement"},
        {"4k3/8/8/8/8/8/8/8 w - -", "white must have exactly one king"},
        {"4k3/8/8/8/8/8/8/K3K3 w - -", "white must have exactly one king"},
        {"8/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"},
        {"P3k3/8/8/8/8/8/8/4K3 w - -", "pawn on the first or eighth rank"},
        {"4k3/8/8/8/8/8/8/p3K3 w - -", "pawn on the first or eighth rank"},
        {"4k3/8/8/8/8/8/8/4K2r b - -", "the side not to move is in check"},
        {"4k3/4R3/8/8/8/8/8/4K3 w - -", "the side not to move is in check"},
        {"4k3/8/8/8/NNNNNNNN/NN6/8/4K3 w - -", "more than 9 pieces of one kind"},
        {"4k3/8/8/8/8/8/8/4K3/8 w - -", "too many ranks"},
    };
    for (auto& [fen, reason] : bad) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(SetFromFen(p, fen), 0) << fen;
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string("Illegal FEN: ") + reason + "\n")
            << fen;
        EXPECT_TRUE(SamePosition(before, p)) << fen;
        EXPECT_EQ(p.owner->historyCount, 1);
    }
    // A king in check on the side to move is fine.
    testing::internal::CaptureStdout();
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/8/8/8/8/4K2r w - -"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // Nine of one kind still fit.
    testing::internal::CaptureStdout();
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/8/NNNNNNNN/N7/8/4K3 w - -"), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(p.matSig[WHITE], 9u * 16u);
    EXPECT_EQ(Inconsistency(p), "");
}

TEST_F(Notation, ShortAndOddFenTexts) {
    Position& p = GamePosition("4k3/8/8/8/8/8/8/4K3 b - -");
    // Placement only: the side stays as it was, no rights, no en-passant square.
    EXPECT_EQ(SetFromFen(p, "r3k3/8/8/8/8/8/8/4K3"), 1);
    EXPECT_EQ(p.side, BLACK);
    EXPECT_EQ(p.castling, 0);
    EXPECT_EQ(p.epSquare, 64);
    EXPECT_EQ(SetFromFen(p, "r3k3/8/8/8/8/8/8/4K3 w"), 1);
    EXPECT_EQ(p.side, WHITE);
    EXPECT_EQ(SetFromFen(p, "  r3k3/8/8/8/8/8/8/4K3 b q"), 1);
    EXPECT_EQ(p.castling, CASTLE_BQ);
    EXPECT_EQ(p.side, BLACK);
    // Runs that overflow a rank end on its h-file.
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/8/8/8/8/9K w - -"), 1);
    EXPECT_EQ(p.board[Sq("h1")], PieceCode(WHITE, KING));
    // An en-passant square no double push can have crossed is ignored.
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/8/8/8/8/4K3 w - e6"), 1);
    EXPECT_EQ(p.epSquare, 64);
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/4p3/8/8/8/4K3 w - e3"), 1);
    EXPECT_EQ(p.epSquare, 64);
    // One that could is kept, whether or not a pawn can take.
    EXPECT_EQ(SetFromFen(p, "4k3/8/8/4p3/8/8/8/4K3 w - e6"), 1);
    EXPECT_EQ(p.epSquare, Sq("e6"));
    EXPECT_EQ(Inconsistency(p), "");
}

TEST_F(Notation, BoardDiagram) {
    Position& p = GamePosition(START_FEN);
    testing::internal::CaptureStdout();
    PrintBoard(p);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, std::string(START_FEN) + "\n"
                                            " r n b q k b n r\n"
                                            " o o o o o o o o\n"
                                            " - + - + - + - +\n"
                                            " + - + - + - + -\n"
                                            " - + - + - + - +\n"
                                            " + - + - + - + -\n"
                                            " P P P P P P P P\n"
                                            " R N B Q K B N R\n"
                                            "white\n\n");
}

TEST_F(Notation, MoveTextsInBothModes) {
    char text[16];
    MoveToText(Coord("e7e8q"), text);
    EXPECT_STREQ(text, "e7e8=Q");
    MoveToText(Coord("a2a1r"), text);
    EXPECT_STREQ(text, "a2a1=R");
    MoveToTextOrNull(0, text);
    EXPECT_STREQ(text, "null");
    options.protocolMode = PROTOCOL_UCI;
    MoveToText(Coord("e7e8n"), text);
    EXPECT_STREQ(text, "e7e8n");
    MoveToText(Coord("b2b1b"), text);
    EXPECT_STREQ(text, "b2b1b");
    MoveToText(Coord("g1f3"), text);
    EXPECT_STREQ(text, "g1f3");
}

TEST_F(Notation, FourFormsOfAMove) {
    Position& p = GamePosition("r5k1/4P3/8/3pP3/8/5N2/8/1N2K2R w K d6");
    Forms pawn = FormsOf(p, "e5d6");
    EXPECT_EQ(pawn.f[0], "e5d6");
    EXPECT_EQ(pawn.f[1], "exd6");
    EXPECT_EQ(pawn.f[2], "ed");
    EXPECT_EQ(pawn.f[3], "");
    Forms promo = FormsOf(p, "e7e8q");
    EXPECT_EQ(promo.f[0], "e7e8=Q+");
    EXPECT_EQ(promo.f[1], "e8=Q+");
    EXPECT_EQ(promo.f[2], "=Q+");
    EXPECT_EQ(FormsOf(p, "e7e8n").f[0], "e7e8=N");
    Forms knight = FormsOf(p, "b1d2");
    EXPECT_EQ(knight.f[1], "Nbd2"); // the file tells it from the knight on f3
    EXPECT_EQ(knight.f[2], "Nbd2");
    EXPECT_EQ(knight.f[3], "N1d2");
    Forms castle = FormsOf(p, "e1g1");
    EXPECT_EQ(castle.f[0], "e1g1");
    EXPECT_EQ(castle.f[1], "o-o");
    EXPECT_EQ(castle.f[2], "O-O");
    EXPECT_EQ(castle.f[3], "0-0");
    Forms rook = FormsOf(p, "h1h8");
    EXPECT_EQ(rook.f[1], "Rh8+");
    EXPECT_EQ(rook.f[0], "h1h8+");

    Position& q = GamePosition("4k3/8/8/8/8/1N6/8/1N2K3 w - -");
    EXPECT_EQ(FormsOf(q, "b1d2").f[1], "N1d2");
    EXPECT_EQ(FormsOf(q, "b3d2").f[1], "N3d2");
    Position& r = GamePosition("4k3/8/8/8/8/8/4K3/R6R w - -");
    EXPECT_EQ(FormsOf(r, "a1d1").f[1], "Rad1");
    Position& x = GamePosition("4k3/8/8/3n4/8/8/8/3RK3 w - -");
    EXPECT_EQ(FormsOf(x, "d1d5").f[1], "Rxd5");
    EXPECT_EQ(FormsOf(x, "d1d5").f[2], "Rdxd5");
    EXPECT_EQ(FormsOf(x, "d1d5").f[3], "R1xd5");
}

TEST_F(Notation, ParsingEveryForm) {
    GamePosition(START_FEN);
    EXPECT_EQ(Parsed("e2e4"), "e2e4");
    EXPECT_EQ(Parsed("e4"), "e2e4");
    EXPECT_EQ(Parsed("Nf3"), "g1f3");
    EXPECT_EQ(Parsed("Ngf3"), "g1f3");
    EXPECT_EQ(Parsed("e5"), "");
    EXPECT_EQ(Parsed("Ke2"), "");
    EXPECT_EQ(Parsed(""), "");

    GamePosition("1n5k/4P3/8/8/8/8/8/4K3 w - -");
    for (const char* text : {"e7e8q", "e7e8Q", "e8=Q", "e8q", "e8=Q+", "e7e8=Q"})
        EXPECT_EQ(Parsed(text), "e7e8=Q") << text;
    EXPECT_EQ(Parsed("e8n"), "e7e8=N");
    EXPECT_EQ(Parsed("e8"), "");

    GamePosition("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    for (const char* text : {"O-O", "0-0", "o-o", "e1g1"}) EXPECT_EQ(Parsed(text), "e1g1") << text;
    for (const char* text : {"O-O-O", "0-0-0", "e1c1"}) EXPECT_EQ(Parsed(text), "e1c1") << text;

    GamePosition("4k3/8/8/8/8/5N2/8/1N2K3 w - -");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Parsed("Nd2"), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
    EXPECT_EQ(Parsed("Nbd2"), "b1d2");
    EXPECT_EQ(Parsed("Nfd2"), "f3d2");
    EXPECT_EQ(Parsed("N1d2"), "b1d2"); // every form of a move is accepted
    EXPECT_EQ(Parsed("f3d2"), "f3d2");

    // A pinned piece's move does not count, so the other one is unambiguous.
    GamePosition("4k3/4r3/8/8/8/1N6/4N3/4K3 w - -");
    EXPECT_EQ(Parsed("Nd4"), "b3d4");
    // Checks, mates and annotations do not disturb.
    GamePosition("6k1/5ppp/8/8/8/8/8/R5K1 w - -");
    EXPECT_EQ(Parsed("Ra8#"), "a1a8");
    EXPECT_EQ(Parsed("Ra8+!"), "a1a8");
}

TEST_F(Notation, SanOfRealGamesIsReadAndWrittenAsPublished) {
    // 824 engine games written by a tournament GUI: every move reads back, and
    // the engine writes every one exactly as published (disambiguation among
    // legal moves only, "+" and "#").
    std::string data = TestDataDir();
    std::ifstream in(data + "/pgn/tcec_superfinals_s4-s13.pgn");
    if (data.empty() || !in) GTEST_SKIP() << "shared test data not found";
    Position& p = GamePosition(START_FEN);
    int games = 0, moves = 0, depth = 0;
    bool reading = false;
    std::string line, word;
    while (std::getline(in, line)) {
        if (line.rfind("[Event ", 0) == 0) {
            SetFromFen(p, START_FEN);
            games++;
            reading = true;
        }
        if (line.empty() || line[0] == '[' || line[0] == ';') continue;
        std::string text;
        for (char c : line) {
            if (c == '{' || c == '(') depth++;
            if (depth == 0) text += c;
            if ((c == '}' || c == ')') && depth > 0) depth--;
        }
        std::istringstream words(text);
        while (reading && words >> word) {
            if (word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*") {
                reading = false;
                continue;
            }
            word.erase(0, word.find_first_not_of("0123456789."));
            if (word.empty()) continue;
            Move m = 0;
            ASSERT_TRUE(ParseMove(word.c_str(), &m)) << "game " << games << ": " << word;
            char san[16];
            MoveToSan(p, m, san);
            ASSERT_EQ(san, word) << "game " << games << " at " << Fen(p);
            MakeMove(p, m);
            p.owner->ply = 1;
            if (p.owner->historyCount > 700) reading = false; // far beyond these games
            moves++;
        }
    }
    EXPECT_EQ(games, 824);
    EXPECT_GT(moves, 100000);
}

TEST_F(Notation, PerftOfTheStartPosition) {
    Position& p = GamePosition(START_FEN);
    EXPECT_EQ(PerftCount(p, 1), 20u);
    EXPECT_EQ(PerftCount(p, 2), 400u);
    EXPECT_EQ(PerftCount(p, 3), 8902u);
    EXPECT_EQ(PerftCount(p, 0), 0u);
    EXPECT_EQ(p.owner->historyCount, 0);
    EXPECT_EQ(Fen(p), START_FEN);
}
