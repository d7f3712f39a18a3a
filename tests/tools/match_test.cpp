#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/notation.h"
#include "search/threads.h"
#include "tools/match.h"
#include "tools/tools_fixture.h"

namespace {

const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

struct PgnGame {
    std::vector<std::string> tags;
    std::vector<std::string> moves;
    std::vector<std::string> comments;
};

// Splits the match file into games: tag lines, then movetext of move numbers,
// moves with their "{score/depth}" comments and the result.
std::vector<PgnGame> ReadGames(const std::string& text) {
    std::vector<PgnGame> games;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        if (line[0] == '[') {
            if (games.empty() || !games.back().moves.empty()) games.emplace_back();
            games.back().tags.push_back(line);
            continue;
        }
        char word[64];
        int used = 0;
        for (const char* s = line.c_str(); sscanf(s, " %63s%n", word, &used) == 1; s += used) {
            std::string w = word;
            if (w[0] == '{') {
                games.back().comments.push_back(w.substr(1, w.size() - 2));
            } else if (!isdigit(static_cast<unsigned char>(w[0]))) { // not a number or result
                games.back().moves.push_back(w);
            }
        }
    }
    return games;
}

// Plays the moves (standard algebraic) from the start position.
int Replay(const PgnGame& g, std::string* failed) {
    SearchThread* t = searchState.threads[0];
    SetFromFen(t->pos, START_FEN);
    int played = 0;
    for (const std::string& text : g.moves) {
        Move m = 0;
        char san[16];
        if (!ParseMove(text.c_str(), &m) || (MoveToSan(t->pos, m, san), text != san)) {
            *failed = text;
            return played;
        }
        MakeMove(t->pos, m);
        t->ply = 1;
        played++;
    }
    return played;
}

} // namespace

TEST(Match, MissingSettingsFileEndsBeforeAnyGame) {
    InitToolsEngine();
    ResetToolLimits(2);
    ScratchDir dir;
    std::string out = CaptureStdout([] { RunMatchGames("games.pgn", 2); });
    EXPECT_EQ(out, "Can't open file test1.rc\n\n");
    EXPECT_FALSE(FileExists("games.pgn"));
}

TEST(Match, ShortGamesAreLegalAndScored) {
    InitToolsEngine();
    ResetToolLimits(2); // depth 2 keeps every game short in time
    ASSERT_EQ(StartThreads(1), 0);
    ScratchDir dir;
    WriteFile("test1.rc", "knight_value_op = 250\n");
    int16_t knight = settings.knight_value_op;

    std::string out = CaptureStdout([] { RunMatchGames("games.pgn", 3); });
    StopThreads();
    EXPECT_NE(out.find("loaded parameters from test1.rc\n"), std::string::npos);
    EXPECT_NE(out.find("Starting match...\n"), std::string::npos) << out;
    EXPECT_GE(searchState.nodeLimit, 71250u);
    EXPECT_LE(searchState.nodeLimit, 78750u);
    EXPECT_EQ(searchState.nodeLimit % 750, 0u);
    EXPECT_EQ(options.bookVariety, 75);
    EXPECT_EQ(options.hashMode, 0);              // shallow games run without the table
    EXPECT_EQ(settings.knight_value_op, knight); // the start-up parameters come back

    // One score line per game; totals add up; no mark before game 201.
    int wins = 0, losses = 0, draws = 0;
    for (int n = 1; n <= 3; n++) {
        char prefix[32];
        snprintf(prefix, sizeof prefix, "%4d games,  ", n);
        size_t at = out.find(prefix);
        ASSERT_NE(at, std::string::npos) << out;
        double s = 0, m = 0;
        ASSERT_EQ(sscanf(out.c_str() + at + strlen(prefix), "%d %d %d %lf (+/- %lf)", &wins,
                         &losses, &draws, &s, &m),
                  5);
        EXPECT_EQ(wins + losses + draws, n);
        EXPECT_NEAR(s, (wins + draws / 2.0) / n, 0.0005);
        EXPECT_NEAR(m, 1.5 * std::sqrt(n + 10.0) / (n + 1), 0.0005);
        size_t eol = out.find('\n', at);
        EXPECT_EQ(out.substr(eol - 2, 2), "  ") << "no significance mark this early";
    }

    std::string text = ReadFile("games.pgn");
    std::vector<PgnGame> games = ReadGames(text);
    ASSERT_EQ(games.size(), 3u) << text;
    int p1wins = 0, p1losses = 0;
    for (size_t k = 0; k < games.size(); k++) {
        const PgnGame& g = games[k];
        // The seven-tag roster of standard PGN.
        ASSERT_EQ(g.tags.size(), 7u);
        EXPECT_EQ(g.tags[0], "[Event \"selfplay\"]");
        EXPECT_EQ(g.tags[3], "[Round \"" + std::to_string(k + 1) + "\"]");
        bool p1White = g.tags[4] == "[White \"Player1\"]";
        EXPECT_EQ(g.tags[4], p1White ? "[White \"Player1\"]" : "[White \"Player2\"]");
        EXPECT_EQ(g.tags[5], p1White ? "[Black \"Player2\"]" : "[Black \"Player1\"]");
        std::string result = g.tags[6];
        ASSERT_TRUE(result == "[Result \"1-0\"]" || result == "[Result \"0-1\"]" ||
                    result == "[Result \"1/2-1/2\"]")
            << result;
        if (result == "[Result \"1-0\"]") (p1White ? p1wins : p1losses)++;
        if (result == "[Result \"0-1\"]") (p1White ? p1losses : p1wins)++;

        std::string failed;
        EXPECT_EQ(Replay(g, &failed), int(g.moves.size())) << "game " << k + 1 << ": " << failed;
        EXPECT_GT(g.moves.size(), 12u); // past the opening at least
        for (const std::string& c : g.comments) {
            double score;
            int depth;
            EXPECT_EQ(sscanf(c.c_str(), "%lf/%d", &score, &depth), 2) << c;
            EXPECT_TRUE(depth >= 1 && depth <= 2) << c; // no book here: every move searched
        }
        // A decisive game ends on a score beyond 11 pawns for the last mover's
        // opponent or a mate; a drawn one does not end on such a score.
        double last = 0;
        int depth = 0;
        sscanf(g.comments.back().c_str(), "%lf/%d", &last, &depth);
        if (result != "[Result \"1/2-1/2\"]") { EXPECT_GT(std::fabs(last), 11.0) << result; }
    }
    EXPECT_EQ(p1wins, wins);
    EXPECT_EQ(p1losses, losses);
    // Games are separated by exactly one empty line, and the file ends with one.
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos);
}
