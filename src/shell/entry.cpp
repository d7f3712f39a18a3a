#include "shell/entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/time.h>
#include <time.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/help.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/report.h"

namespace {

void CopyName(char* to, const char* from) { snprintf(to, 141, "%s", from); }

void SeedRandom() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    srand(unsigned(tv.tv_sec * 1000 + tv.tv_usec / 1000));
    ShellStrengthSeed(uint64_t(tv.tv_sec) * 1000000 + uint64_t(tv.tv_usec));
}

void SetDefaults() {
    SetStop(STOP_NONE);
    searchRequest = 0;
    quitFlag = 0;
    searchMode = SEARCH_IDLE;
    searchState.reportDelay = 0;
}

// A search that only "stop" ends (infinite analysis): no node budget may end it.
bool EndlessSearch() {
    return timeState.mode == 1 && timeState.fixedTime >= 99999 &&
           searchState.maxDepth == MAX_DEPTH && searchState.nodeLimit == 0;
}

void StartSearch() {
    if (searchState.maxDepth < 1) searchState.maxDepth = 1; // e.g. after "-d 0"
    holdUntilStop = requestHold;
    requestHold = false;
    StartClock();
    if (options.limitStrength && options.protocolMode == PROTOCOL_UCI)
        ShellStrengthBegin(options.elo, !EndlessSearch());
    ShellPrepareSearch();
    SearchThread* game = searchState.threads[0];
    bool bookMove = false;
    // The book knows standard chess only.
    if (options.ownBook && !options.chess960 && game->historyCount <= options.bookDepth) {
        Move m = ShellBookMove();
        if (m) {
            searchState.best.pv[1] = m;
            searchState.best.pv[2] = 0;
            PrintLine(options.protocolMode == PROTOCOL_UCI ? "info string book move" : "book move");
            searchState.best.score = 0;
            SetStop(STOP_NOW);
            bookMove = true;
        }
    }
    if (game->pos.halfmoveClock <= 100 && !bookMove) {
        for (int i = 1; i <= searchState.threadCount; i++) {
            ShellMarkThreadBusy(i);
            if (i == 1 && searchState.threadCount > 1) SleepMilliseconds(5);
        }
    }
    searchRequest = 0;
}

// The front end has gone and every queued command has run. A search with a
// limit may finish and report; one that would never end (infinite analysis,
// pondering) is stopped; then the engine leaves as after "quit".
void HandleEndOfInput() {
    if (searchRequest != 0) return;
    if (searchMode == SEARCH_IDLE) {
        SetStop(STOP_ABANDON);
        quitFlag = 1;
        return;
    }
    bool endless = searchMode == SEARCH_PONDER || EndlessSearch();
    if (endless && StopFlag() == STOP_NONE) {
        SetStop(STOP_NOW);
        if (searchMode == SEARCH_PONDER) searchMode = SEARCH_NORMAL;
    }
    holdUntilStop = false;
}

// The search threads end first: a search abandoned by "quit" may still be
// reading the table and the book.
void ExitSequence() {
    ShellStopThreads();
    ShellFreeBook();
    ShellFreeHash();
    CloseLogFile();
}

} // namespace

// Reports a search whose threads are idle: the final line, then "bestmove" or
// the console statistics.
void FinishSearch() {
    if (searchMode == SEARCH_IDLE) return;
    ShellSumCounters();
    UpdateElapsed();
    SearchResult& best = searchState.best;
    // A limited strength may play another of its principal lines.
    int chosenScore = 0, chosenDepth = 0;
    Move chosen = ShellStrengthEnd(&chosenScore, &chosenDepth);
    if (chosen && chosen != best.pv[1]) {
        best.pv[1] = chosen;
        best.pv[2] = 0;
        best.score = int16_t(chosenScore);
        best.depth = uint8_t(chosenDepth);
    }
    ReportFinal(best.depth, best.score, best.pv);
    if (options.protocolMode == PROTOCOL_UCI) {
        char move[16], ponder[16];
        if (best.pv[1])
            MoveToText(best.pv[1], move);
        else
            strcpy(move, "0000"); // the protocol's null move: nothing to play
        if (best.pv[1] && best.pv[2]) {
            MoveToText(best.pv[2], ponder);
            PrintLineF("bestmove %s ponder %s", move, ponder);
        } else {
            PrintLineF("bestmove %s", move);
        }
    } else {
        ReportStatistics();
    }
    if (selfPlay) {
        SearchThread* game = searchState.threads[0];
        int side = game->pos.side;
        timeState.clock[side] = timeState.clock[side] - timeState.elapsed + timeState.increment;
        if (best.pv[1]) {
            MakeMove(game->pos, best.pv[1]);
            game->ply = 1;
            game->history[game->historyCount].move = 0;
            PrintBoard(game->pos);
            searchRequest = 1;
        } else {
            selfPlay = 0;
        }
    }
    searchMode = SEARCH_IDLE;
    holdUntilStop = false;
}

void StopSearchAndReport() {
    if (ShellBusyCount() > 0) {
        SetStop(STOP_NOW);
        if (searchMode.load() == SEARCH_PONDER) searchMode = SEARCH_NORMAL;
        while (ShellBusyCount() > 0) SleepMilliseconds(1);
    }
    // Its report is due now, while its threads still hold their counters.
    if (searchMode.load() != SEARCH_PONDER) FinishSearch();
}

void ApplySwitches(int argc, const char* const* argv, ToolRequest& tools) {
    for (int i = 1; i < argc; i++) {
        const char* s = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (strcmp(s, "-uci") == 0) {
            options.protocolMode = PROTOCOL_UCI;
        } else if (strcmp(s, "-c") == 0) {
            options.protocolMode = PROTOCOL_CONSOLE;
        } else if (strcmp(s, "-nolog") == 0) {
            options.logEnabled = 0;
        } else if (strcmp(s, "-noise") == 0) {
            searchState.reportDelay = ReadDecimal(value), i++;
        } else if (strcmp(s, "-quiet") == 0) {
            options.logEnabled = 0;
            searchState.reportDelay = 9999;
        } else if (strcmp(s, "-uci_extra") == 0) {
            options.extraInfo = 1;
        } else if (strcmp(s, "-d") == 0) {
            int depth = ReadInteger(value);
            searchState.maxDepth = depth > MAX_DEPTH ? MAX_DEPTH : depth;
            // Depth 0 means "quiescence only" to the EPD tool; a game search
            // always looks at least one move ahead.
            options.goDepth = searchState.maxDepth < 1 ? 1 : searchState.maxDepth;
            timeState.fixedTime = 10000;
            timeState.mode = 1;
            i++;
        } else if (strcmp(s, "-t") == 0) {
            timeState.fixedTime = ReadDecimal(value);
            timeState.mode = 1;
            i++;
        } else if (strcmp(s, "-n") == 0) {
            long long n = strtoll(value, nullptr, 10);
            searchState.nodeLimit = n < 0 ? 0 : uint64_t(n);
            options.goNodes = searchState.nodeLimit;
            timeState.fixedTime = 1000;
            timeState.mode = 1;
            i++;
        } else if (strcmp(s, "-hash") == 0) {
            int mb = ReadInteger(value);
            options.hashMB = mb < 0 ? 0 : mb > 8192 ? 8192 : mb;
            i++;
        } else if (strcmp(s, "-threads") == 0) {
            int n = ReadInteger(value);
            searchState.threadCount = n < 1 ? 1 : n > MAX_THREADS ? MAX_THREADS : n;
            i++;
        } else if (strcmp(s, "-anepd") == 0) {
            CopyName(tools.epdFile, value);
            i++;
        } else if (strstr(s, "-scan_pgn")) {
            const char* modes[] = {"-scan_pgn1", "-scan_pgn2", "-scan_pgn3", "-scan_pgn4"};
            for (int m = 0; m < 4; m++)
                if (strcmp(s, modes[m]) == 0) tools.scanMode = m + 1;
            CopyName(tools.scanFile, value);
            i++;
        } else if (strcmp(s, "-match") == 0) {
            CopyName(tools.matchFile, value);
            i++;
        } else if (strcmp(s, "-bench") == 0) {
            tools.bench = BENCH_TEN;
        } else if (strcmp(s, "-bench2") == 0) {
            tools.bench = BENCH_ALL;
        } else if (strcmp(s, "-pbench") == 0) {
            tools.bench = BENCH_PLAIN;
        } else if (strcmp(s, "-tune") == 0) {
            CopyName(tools.tuneFile, value);
            i++;
        } else if (i == 1 && strcmp(s, "bench") == 0) {
            tools.bench = BENCH_TESTERS;
        }
    }
}

void MainLoopPass() {
    if (searchRequest == 0) {
        // A burst of queued lines is worked off without the pause.
        if (!CommandWaiting()) SleepMilliseconds(5);
        ShellTimeCheck();
        PollCommand();
        if (InputExhausted()) HandleEndOfInput();
    }
    if (searchRequest != 0 && searchMode == SEARCH_IDLE) StartSearch();
    if (searchMode != SEARCH_IDLE && ShellBusyCount() == 0 && searchMode != SEARCH_PONDER &&
        !holdUntilStop)
        FinishSearch();
}

int VeskMain(int argc, const char* const* argv) {
    int early = CheckCommandLine(argc, argv);
    if (early >= 0) return early;
    SeedRandom();
    // Without a log the last one is kept: it may be all a user has of a problem.
    bool noLog = false;
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "-nolog") == 0 || strcmp(argv[i], "-quiet") == 0) noLog = true;
    if (!noLog) OpenLogFile("vesk.log");
    for (SearchThread*& t : searchState.threads) t = nullptr;
    searchState.threads[0] = NewSearchThread();
    if (!searchState.threads[0]) return 1;
    InitBoardTables();
    SetDefaults();
    ShellInitEvaluation();
    ShellReadSettings();
    ToolRequest tools = {};
    ApplySwitches(argc, argv, tools);
    if (ShellResizeHash(options.hashMB) != 0) return 1;
    ShellOpenBook();
    if (ShellStartThreads(searchState.threadCount) != 0) return 1;
    ShellBuildReductionTables();

    int code = -1;
    if (tools.epdFile[0])
        code = ShellRunEpdAnalysis(tools.epdFile);
    else if (tools.scanMode)
        code = ShellRunPgnScan(tools.scanMode, tools.scanFile);
    else if (tools.matchFile[0])
        code = ShellRunMatch(tools.matchFile);
    else if (tools.bench)
        code = ShellRunBenchmark(tools.bench);
    else if (tools.tuneFile[0])
        code = ShellRunTuner(tools.tuneFile);
    if (code >= 0) {
        ExitSequence();
        return code;
    }

    InstallConsoleLineSource();
    ShellTablebaseInit(options.syzygyPath);
    ShellRebuildTables();
    SetFromFen(searchState.threads[0]->pos, START_FEN);
    if (options.protocolMode == PROTOCOL_CONSOLE) {
        PrintConsoleGreeting();
        PrintBoard(searchState.threads[0]->pos);
    }
    searchRequest = 0;
    quitFlag = 0;
    while (!quitFlag) MainLoopPass();
    ExitSequence();
    return 0;
}
