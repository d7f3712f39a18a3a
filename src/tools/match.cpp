#include "tools/match.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/input.h"
#include "shell/output.h"
#include "tools/epd.h"
#include "tools/pgn_write.h"

namespace {

constexpr int MATCH_GAMES = 8000;

struct MatchMove {
    char text[16]; // standard algebraic
    int score;
    int depth;
};

struct MatchGame {
    MatchMove moves[MAX_GAME_PLIES];
    int count;
    int winner; // 0 white, 1 black, 2 draw
};

struct MatchTotals {
    int games = 0, wins = 0, losses = 0, draws = 0;
};

EngineSettings playerA, playerB;

// Fifty moves, or the position seen twice before with the same side to move.
int IsDrawn(Position& p) {
    SearchThread* t = p.owner;
    int clock = p.halfmoveClock;
    if (clock <= 3) return 0;
    if (clock > 99 && HasLegalMove(p)) return 1;
    int limit = t->historyCount - clock;
    if (limit < 0) limit = 0;
    int seen = 0;
    for (int i = t->historyCount - 4; i >= limit; i -= 2)
        if (t->history[i].key == p.key) seen++;
    return seen >= 2;
}

// Loads one player's parameters and forgets what the other player's left behind.
void UsePlayer(const EngineSettings& s) {
    settings = s;
    RebuildTables();
    ClearEvalCaches();
    for (int i = 0; i <= PoolSize(); i++)
        if (searchState.threads[i]) ResetOrdering(searchState.threads[i]);
}

void SearchMove() {
    if (PoolSize() > 0) {
        SearchOnPoolPolling();
        PollCommand(); // a search may end before the first poll
    } else {
        SearchOnCallingThread();
    }
    SumCounters();
}

// Plays one game; 0 when "quit" arrived during it.
int PlayGame(MatchGame& g, int player1) {
    SearchThread* game = searchState.threads[0];
    Position& p = game->pos;
    SetFromFen(p, START_FEN);
    g.count = 0;
    g.winner = 2;
    if (searchState.maxDepth < 10 || searchState.nodeLimit <= 100000 || timeState.fixedTime <= 0.1)
        options.hashMode = 0;
    else
        TTClear();

    for (;;) {
        int side = p.side;
        UsePlayer(side == player1 ? playerB : playerA);
        StartClock();
        PrepareSearch();
        Move m = 0;
        int score = 0, depth = 0;
        bool book = false;
        if (game->historyCount < 12) {
            ChooseBookMove(game, 0);
            m = chosenBookMove;
            book = m != 0;
        }
        if (!book) {
            // A game this long is called a draw before the history runs out.
            if (IsDrawn(p) || game->historyCount >= MAX_GAME_PLIES) return 1;
            SearchMove();
            if (quitFlag) return 0;
            m = searchState.best.pv[1];
            score = searchState.best.score;
            depth = searchState.best.depth;
        }
        bool over = true;
        if (score < -1100)
            g.winner = side ^ 1;
        else if (score > 1100)
            g.winner = side;
        else if (m == 0 || p.halfmoveClock > 99)
            g.winner = 2;
        else
            over = false;
        if (m) {
            MatchMove& r = g.moves[g.count++];
            MoveToSan(p, m, r.text);
            r.score = score;
            r.depth = depth;
        }
        if (over) return 1;
        MakeMove(p, m);
        game->ply = 1;
    }
}

void WritePgn(FILE* out, const MatchGame& g, int number, int player1, const char* result) {
    static const char* moves[MAX_GAME_PLIES];
    static char commentText[MAX_GAME_PLIES][24];
    static const char* comments[MAX_GAME_PLIES];
    for (int i = 0; i < g.count; i++) {
        moves[i] = g.moves[i].text;
        snprintf(commentText[i], sizeof commentText[i], "%0.2f/%d", g.moves[i].score / 100.0,
                 g.moves[i].depth);
        comments[i] = commentText[i];
    }
    char date[11];
    PgnToday(date);
    PgnTags tags = {"selfplay",
                    date,
                    number,
                    player1 == WHITE ? "Player1" : "Player2",
                    player1 == BLACK ? "Player1" : "Player2",
                    result,
                    nullptr};
    WritePgnGame(out, tags, 0, moves, comments, g.count);
}

void ReportScore(const MatchTotals& t) {
    double s = (t.wins + t.draws / 2.0) / t.games;
    double m = 1.5 * std::sqrt(t.games + 10.0) / (t.games + 1);
    char mark = t.games > 200 && (s < 0.5 - m || s > 0.5 + m) ? '*' : ' ';
    PrintLineF("%4d games,  %3d %3d %3d  %0.3f (+/- %0.3f) %c", t.games, t.wins, t.losses, t.draws,
               s, m, mark);
}

} // namespace

int RunMatch(const char* file) { return RunMatchGames(file, MATCH_GAMES); }

int RunMatchGames(const char* file, int maxGames) {
    playerA = settingsBackup;
    FILE* probe = fopen("test1.rc", "r");
    if (!probe) {
        PrintLine("Can't open file test1.rc\n");
        return 0;
    }
    fclose(probe);
    settings = settingsBackup;
    if (!LoadSettings("test1.rc") && !buildPst) {
        // Incomplete tables in test1.rc: Player1 keeps the start-up tables.
        memcpy(settings.pst, playerA.pst, sizeof settings.pst);
    }
    playerB = settings;
    FILE* out = fopen(file, "w");
    if (!out) {
        PrintLineF("can't open %s\n", file);
        settings = playerA;
        RebuildTables();
        return 0;
    }

    searchState.reportDelay = 9999;
    options.bookVariety = 75;
    timeState.mode = 1;
    timeState.fixedTime = 1.0;
    timeState.clock[0] = timeState.clock[1] = 1.0;
    timeState.increment = 0;
    searchState.nodeLimit = uint64_t(rand() % 11 + 95) * 750;
    PrintLine("Starting match...");

    uint8_t savedMode = searchMode.load();
    searchMode = SEARCH_NORMAL;
    static MatchGame g; // large; one match at a time
    MatchTotals totals;
    while (totals.games < maxGames && !quitFlag) {
        int player1 = rand() & 1;
        if (!PlayGame(g, player1)) break;
        totals.games++;
        const char* result = g.winner == WHITE ? "1-0" : g.winner == BLACK ? "0-1" : "1/2-1/2";
        if (g.winner == 2)
            totals.draws++;
        else if (g.winner == player1)
            totals.wins++;
        else
            totals.losses++;
        WritePgn(out, g, totals.games, player1, result);
        ReportScore(totals);
    }
    searchMode = savedMode;
    fclose(out);
    settings = playerA;
    RebuildTables();
    return 0;
}
