// Console commands called directly, their output captured.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/console.h"
#include "shell/engine.h"

namespace {

// Runs console lines and returns what they printed.
std::string Exec(std::initializer_list<const char*> lines) {
    testing::internal::CaptureStdout();
    for (const char* line : lines) ConsoleCommand(line);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string GameFen() {
    char buffer[100];
    GetFen(searchState.threads[0]->pos, buffer);
    return buffer;
}

std::string ReadFile(const char* name) {
    FILE* f = fopen(name, "r");
    if (!f) return "<missing>";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

void WriteFile(const char* name, const char* text) {
    FILE* f = fopen(name, "w");
    fputs(text, f);
    fclose(f);
}

std::deque<std::string> editLines;

int FeedEditLine(char* buffer, int size) {
    if (editLines.empty()) return 0;
    snprintf(buffer, size_t(size), "%s", editLines.front().c_str());
    editLines.pop_front();
    return 1;
}

class Console : public ::testing::Test {
  protected:
    void SetUp() override {
        InitBoardTables();
        InitZobristKeys();
        if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
        options.protocolMode = PROTOCOL_CONSOLE;
        options.logEnabled = 0;
        // Files the commands read and write live in a directory of their own.
        snprintf(dir, sizeof dir, "/tmp/vesk_console_XXXXXX");
        ASSERT_NE(mkdtemp(dir), nullptr);
        old = getcwd(nullptr, 0);
        ASSERT_EQ(chdir(dir), 0);
        Exec({"new"});
        debugFlag = 0;
    }
    void TearDown() override {
        for (const char* f : {"tmp.pgn", "test.epd", "game.pgn"}) remove(f);
        EXPECT_EQ(chdir(old), 0);
        free(old);
        rmdir(dir);
        options.protocolMode = PROTOCOL_UCI;
        consoleLineSource = nullptr;
    }
    char dir[64];
    char* old = nullptr;
};

const char* START_BOARD = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n"
                          " r n b q k b n r\n"
                          " o o o o o o o o\n"
                          " - + - + - + - +\n"
                          " + - + - + - + -\n"
                          " - + - + - + - +\n"
                          " + - + - + - + -\n"
                          " P P P P P P P P\n"
                          " R N B Q K B N R\n"
                          "white\n\n";

} // namespace

TEST_F(Console, MovesTakeBacksAndTheRedoChain) {
    std::string out = Exec({"e4"});
    EXPECT_EQ(Lines(out)[0], "1. move e4");
    EXPECT_EQ(Lines(out)[1], "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    out = Exec({"move e7e5", "Nf3"});
    EXPECT_EQ(Lines(out)[0], "1. move e5"); // echoed in standard notation
    EXPECT_EQ(Lines(out)[12], "2. move Nf3");
    // Unknown and illegal words change nothing but say why.
    out = Exec({"Ke3", "xyzzy", "move"});
    ASSERT_EQ(Lines(out).size(), 3u) << out;
    EXPECT_EQ(Lines(out)[0], "illegal move: Ke3");
    EXPECT_EQ(Lines(out)[1].rfind("unknown command or move: xyzzy", 0), 0u) << out;

    out = Exec({"undo", "["});
    EXPECT_EQ(Lines(out)[0], "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6");
    EXPECT_EQ(GameFen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    out = Exec({"]"});
    EXPECT_EQ(Lines(out)[0], "1... move e7e5");
    out = Exec({"]"});
    EXPECT_EQ(Lines(out)[0], "2. move g1f3");
    EXPECT_EQ(Exec({"]"}), ""); // end of the chain

    out = Exec({"jump 0"});
    EXPECT_EQ(out, START_BOARD);
    Exec({"jump 2"});
    EXPECT_EQ(GameFen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6");
    Exec({"jump 99"});
    EXPECT_EQ(GameFen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -");

    // A new move ends the chain.
    Exec({"jump 1", "d5"});
    EXPECT_EQ(Exec({"]"}), "");
    EXPECT_EQ(searchState.threads[0]->historyCount, 2);
    // Taking back on an empty history only shows the board.
    Exec({"new"});
    SetStop(STOP_NONE);
    EXPECT_EQ(Exec({"["}), START_BOARD);
    EXPECT_EQ(StopFlag(), STOP_ABANDON);
}

TEST_F(Console, SettingCommands) {
    SetStop(STOP_NONE);
    timeState.fixedTime = 7;
    EXPECT_EQ(Exec({"new"}), START_BOARD);
    EXPECT_EQ(StopFlag(), STOP_ABANDON);
    EXPECT_EQ(timeState.clock[WHITE], 7);
    EXPECT_EQ(timeState.clock[BLACK], 7);

    EXPECT_EQ(Exec({"level 40 5:00 2"}), "set level to 40 moves in 300.00 seconds, inc 2.00\n");
    EXPECT_EQ(timeState.mode, 40);
    EXPECT_EQ(timeState.fixedTime, 300);
    EXPECT_EQ(timeState.clock[BLACK], 300);
    EXPECT_EQ(timeState.increment, 2);
    EXPECT_EQ(Exec({"level 40 300 0"}), "set level to 40 moves in 300.00 seconds, inc 0.00\n");
    EXPECT_EQ(Exec({"level 0 90.5 1.5"}), "set level to 0 moves in 90.50 seconds, inc 1.50\n");

    EXPECT_EQ(Exec({"depth 100"}), "");
    EXPECT_EQ(searchState.maxDepth, 66);
    Exec({"depth 12"});
    EXPECT_EQ(searchState.maxDepth, 12);
    Exec({"multipv 4"});
    EXPECT_EQ(searchState.multiPv, 4);
    Exec({"setmultipv 999"});
    EXPECT_EQ(searchState.multiPv, 255);
    Exec({"multipv 0"});
    EXPECT_EQ(searchState.multiPv, 1);
    Exec({"noise 0.75", "hash 2", "ponder 0", "trace 3", "debug 1"});
    EXPECT_EQ(searchState.reportDelay, 0.75);
    EXPECT_EQ(options.hashMode, 2);
    EXPECT_EQ(timeState.ponderOption, 0);
    EXPECT_EQ(tracePly, 3);
    EXPECT_EQ(debugFlag, 1);
    Exec({"trace 0", "debug 0", "hash 1", "ponder 1", "depth 66", "multipv 1", "noise 0"});

    SetStop(STOP_NONE);
    Exec({"."});
    EXPECT_EQ(StopFlag(), STOP_ABANDON);
    quitFlag = 0;
    Exec({"quit"});
    EXPECT_EQ(quitFlag, 1);
    quitFlag = 0;
}

TEST_F(Console, PerftKeepsTheGameAndSwapListsValues) {
    std::string out = Exec({"perft 3"});
    std::vector<std::string> lines = Lines(out);
    // The search preparation announces the position before the counts.
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[0], "fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    lines.erase(lines.begin(), lines.begin() + 2);
    EXPECT_EQ(lines[0], "a2a3: 380");
    EXPECT_EQ(lines[19], "g1h3: 400");
    EXPECT_EQ(lines[20].rfind("visited 8902 nodes in ", 0), 0u) << lines[20];
    EXPECT_NE(lines[20].find(" seconds, nps= "), std::string::npos);
    out = Exec({"perft -4"});
    EXPECT_EQ(Lines(out)[2].rfind("visited 0 nodes in ", 0), 0u);

    // The count leaves the game and its redo chain alone.
    Exec({"e4", "e5", "undo"});
    Exec({"perft 2"});
    EXPECT_EQ(Lines(Exec({"]"}))[0], "1... move e7e5");

    // Only non-zero exchange values are listed.
    Exec({"fen 4k3/8/2p5/3p4/4P3/8/8/4K3 w - -"});
    EXPECT_EQ(Exec({"swap"}), "sq= e4, swap= 100\n");
}

TEST_F(Console, LoadAndSaveGames) {
    WriteFile("game.pgn",
              "[Event \"First\"]\n"
              "[White \"Somebody\"]\n"
              "\n"
              "1. e4 {a comment\n"
              "over two lines {nested} still} e5 2. Nf3 Nc6 3. Bb5 a6 1-0\n"
              "\n"
              "[Event \"Second\"]\n"
              "[White \"Another\"]\n"
              "\n"
              "1. d4 d5 2. c4 e6 3. Nc3 Nf6 4. Bg5 Be7 5. e3 O-O 6. Nf3 Nbd7\n"
              "7. Rc1 c6 8. Bd3 dxc4 9. Bxc4 Nd5 10. Bxe7 Qxe7 11. O-O Nxc3 12. Rxc3 e5 *\n"
              "\n"
              "[Event \"Third\"]\n"
              "\n"
              "1. e4 c5 2. Qh5 Kxe2 *\n");
    timeState.fixedTime = 11;
    std::string out = Exec({"load game.pgn"});
    std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines[0], "loading game.pgn, tag ");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -");
    EXPECT_EQ(timeState.clock[WHITE], 11);

    Exec({"load game.pgn 2"});
    EXPECT_EQ(GameFen(), "r1b2rk1/pp1nqppp/2p5/4p3/2BP4/2R1PN2/PP3PPP/3Q1RK1 w - -");
    Exec({"load game.pgn Somebody"});
    EXPECT_EQ(searchState.threads[0]->historyCount, 6);
    Exec({"load game.pgn Another"});
    EXPECT_EQ(searchState.threads[0]->historyCount, 24);
    // A game number out of range means the first game.
    Exec({"load game.pgn 5000"});
    EXPECT_EQ(searchState.threads[0]->historyCount, 6);
    // Loading stops at a move it cannot read.
    out = Exec({"load game.pgn 3"});
    EXPECT_EQ(Lines(out)[2], "can't parse move 'Kxe2'");
    EXPECT_EQ(searchState.threads[0]->historyCount, 3);
    EXPECT_EQ(Exec({"]"}), ""); // nothing beyond the loaded moves
    // A missing file is named and resets the clocks only.
    timeState.clock[WHITE] = 1;
    EXPECT_EQ(Exec({"load nothing.pgn 1"}),
              "loading nothing.pgn, tag 1\n\ncan't open nothing.pgn\n");
    EXPECT_EQ(timeState.clock[WHITE], 11);
    EXPECT_EQ(searchState.threads[0]->historyCount, 3);

    // Save writes standard PGN: quoted roster, numbered moves in standard
    // algebraic notation (the knights on b8 and f6 both reach d7), a result.
    Exec({"load game.pgn 2", "save"});
    std::string saved = ReadFile("tmp.pgn");
    EXPECT_EQ(saved.rfind("[Event \"Unknown\"]\n[Site \"?\"]\n[Date \"", 0), 0u) << saved;
    EXPECT_NE(saved.find("\n\n1. d4 d5 2. c4 e6 3. Nc3 Nf6 4. Bg5 Be7 5. e3 O-O 6. Nf3 Nbd7 "),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find(" 12. Rxc3 e5 *\n\n"), std::string::npos) << saved;
    EXPECT_EQ(searchState.threads[0]->historyCount, 24);
    // A second save appends; the saved game loads back to the same position.
    Exec({"load game.pgn 1", "undo", "save", "]"});
    std::string fen = GameFen();
    Exec({"load tmp.pgn 2"});
    EXPECT_EQ(searchState.threads[0]->historyCount, 5);
    Exec({"]"});
    EXPECT_EQ(Exec({"]"}), "");
    EXPECT_NE(GameFen(), fen); // the last move was taken back before saving
    Exec({"load tmp.pgn 2", "a6"});
    EXPECT_EQ(GameFen(), fen);
}

TEST_F(Console, GetPositionFromTestFile) {
    EXPECT_EQ(Exec({"get wac1"}), "get\n"); // no test.epd yet
    WriteFile("test.epd", "; a comment with id \"one\"\n"
                          " 8/8/8/8/8/8/8/8 w - - id \"one\";\n"
                          "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id "
                          "\"one\";\r\n"
                          "4k3/8/8/8/8/8/8/4K3 w - - id \"two\";\n");
    std::string out = Exec({"get one"});
    std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines[0],
              "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"one\";");
    EXPECT_EQ(lines[1], "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -");
    out = Exec({"get three"});
    EXPECT_EQ(Lines(out)[0], "");
    EXPECT_EQ(Lines(out)[1], "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -");
}

TEST_F(Console, EditTheBoard) {
    consoleLineSource = FeedEditLine;
    editLines = {"#", "", "w Ke1 Ra1 Rh1 Pe4", "b ke8 qd8 pa7 Pb7 Xc3 Kz9 Nb8", "."};
    std::string out = Exec({"edit"});
    std::vector<std::string> lines = Lines(out);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], ".                    end edit");
    EXPECT_EQ(lines[2], "#                    clear board");
    EXPECT_EQ(lines[3], "w  Pa2 Pb2 Kc2       white, pieces");
    EXPECT_EQ(lines[4], "b  Pa7 Pb7 Kc7       black, pieces");
    // The square outside the board ended the black line before Nb8.
    EXPECT_EQ(lines[5], "3qk3/pp6/8/8/4P3/8/8/R3K2R b KQ -");
    EXPECT_EQ(searchState.threads[0]->historyCount, 0);
    Exec({"bd"});
    // Pieces replace what stands on their square; the editor keeps the side.
    editLines = {"w Qe4", "b"};
    Exec({"edit"}); // the input ends without "."
    EXPECT_EQ(GameFen(), "3qk3/pp6/8/8/4Q3/8/8/R3K2R b KQ -");
    // A position that cannot be played is refused.
    editLines = {"#", "w Ke1", "."};
    out = Exec({"edit"});
    EXPECT_EQ(Lines(out)[5], "Illegal position: black must have exactly one king");
    EXPECT_EQ(GameFen(), "3qk3/pp6/8/8/4Q3/8/8/R3K2R b KQ -");
}
