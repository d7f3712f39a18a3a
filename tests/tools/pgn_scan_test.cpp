#include <cstring>
#include <string>

#include "tools/pgn_scan.h"
#include "tools/tools_fixture.h"

namespace {

// Three games of knight shuffles with scored comments (tests/tools/scan_games.pgn):
// "Scan one" (0-1, "+1.25/18" style), "Scan two" (no Result tag, "eval N"
// style) and "Scan three" (1-0, a score of +9.50 at its 16th move).
std::string GamesFile() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/scan_games.pgn";
}

} // namespace

TEST(PgnScan, CommentScores) {
    EXPECT_EQ(CommentScore("+M7/25", 0), 9000);
    EXPECT_EQ(CommentScore("-M3/20 1s", 1), -9000);
    EXPECT_EQ(CommentScore("-1.25/18 3s", 0), -125);
    EXPECT_EQ(CommentScore("+0.31/14 2s", 1), 31); // not negated: this form is white's view
    EXPECT_EQ(CommentScore("out of book", 0), 0);
    EXPECT_EQ(CommentScore("book 1/2", 0), 0);
    EXPECT_EQ(CommentScore("eval 35, depth 3", 0), 35);
    EXPECT_EQ(CommentScore("eval 35, depth 3", 1), -35);
    EXPECT_EQ(CommentScore("eval -12", 1), 12);
    EXPECT_EQ(CommentScore("eval ", 0), SCORE_UNREADABLE);
    EXPECT_EQ(CommentScore("0.50/10", 0), SCORE_UNREADABLE); // no sign
    EXPECT_EQ(CommentScore("a fine move", 0), SCORE_UNREADABLE);

    // Every two-decimal score an engine writes reads back as exactly its centipawns.
    for (int cp = -1200; cp <= 1200; cp++) {
        char text[32];
        snprintf(text, sizeof text, "%c%d.%02d/12 1s", cp < 0 ? '-' : '+', abs(cp) / 100,
                 abs(cp) % 100);
        ASSERT_EQ(CommentScore(text, 0), cp) << text;
    }
}

TEST(PgnScan, ResultLabelledPositions) {
    InitToolsEngine();
    ScratchDir dir;
    std::string out = CaptureStdout([] { ScanPgn(GamesFile().c_str(), 2); });
    EXPECT_EQ(out, "games= 3, positions= 4\n\n");
    // Only plies 20 and 21 qualify: the first twenty and the last six are
    // never written, and game three ends at its score beyond 900.
    EXPECT_EQ(ReadFile("tmp.epd"),
              "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Ng1; ce 31; c9 "
              "\"0-1\";\n"
              "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - bm Nb8; ce -7; c9 "
              "\"0-1\";\n"
              "rnbqkb1r/ppp1pppp/5n2/3p4/3P4/5N2/PPP1PPPP/RNBQKB1R w KQkq - bm Ng1; ce 33; c9 "
              "\"1/2-1/2\";\n"
              "rnbqkb1r/ppp1pppp/5n2/3p4/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - bm Ng8; ce -12; c9 "
              "\"1/2-1/2\";\n"
              "\n");
    EXPECT_EQ(searchState.reportDelay, 9999);
}

TEST(PgnScan, ScoredPositionsAndListing) {
    InitToolsEngine();
    ScratchDir dir;
    // Mode 3: all 28 moves of the first two games, the third up to and
    // including its move scored +9.50 (16 moves).
    std::string out = CaptureStdout([] { ScanPgn(GamesFile().c_str(), 3); });
    EXPECT_EQ(out, "games= 3, positions= 72\n\n");
    std::string epd = ReadFile("tmp.epd");
    EXPECT_EQ(epd.find("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4; ce 10;\n"), 0u);
    size_t tail = epd.rfind("rnbqkbnr/pp1ppppp/8/2p5/2P5/2N5/PP1PPPPP/R1BQKBNR b KQkq - bm Nc6; "
                            "ce 950;\n\n");
    EXPECT_NE(tail, std::string::npos) << epd;
    EXPECT_EQ(tail + strlen("rnbqkbnr/pp1ppppp/8/2p5/2P5/2N5/PP1PPPPP/R1BQKBNR b KQkq - bm Nc6; "
                            "ce 950;\n\n"),
              epd.size());

    // Mode 1: tags copied, a game tag after the Round tag, scores in pawns
    // from the mover's side, a blank comment for an unscored move.
    out = CaptureStdout([] { ScanPgn(GamesFile().c_str(), 1); });
    EXPECT_EQ(out, "games= 3, positions= 0\n\n");
    std::string listing = ReadFile("tmp.pgn");
    EXPECT_EQ(listing.find("[Event \"Scan one\"]\n[Round \"1\"]\n[Tag \"game_1\"]\n[White "
                           "\"Alpha\"]\n"),
              0u)
        << listing;
    EXPECT_NE(listing.find("  1.  e4      {  0.10}\n      e5      { -0.10}\n"), std::string::npos);
    EXPECT_NE(listing.find(" 11.  Ng1     {  0.31}\n      Nb8     {  0.07}\n"), std::string::npos);
    EXPECT_NE(listing.find("      Nc6     { -0.10}\n\n[Event \"Scan two\"]"), std::string::npos);

    // An unscored first move: -10000 stops mode 2 at once, mode 1 leaves the comment blank.
    WriteFile("plain.pgn", "[Event \"x\"]\n\n1. e4 e5 2. Nf3 Nc6 *\n");
    out = CaptureStdout([] { ScanPgn("plain.pgn", 1); });
    EXPECT_NE(ReadFile("tmp.pgn").find("  1.  e4      { }\n"), std::string::npos);
    // A word that is not a move ends the game.
    WriteFile("bad.pgn", "[Event \"x\"]\n\n1. e4 {book} e5 {book} 2. Zz9 {book} Nc6 {book} *\n");
    out = CaptureStdout([] { ScanPgn("bad.pgn", 3); });
    EXPECT_EQ(out, "games= 1, positions= 2\n\n");
}
