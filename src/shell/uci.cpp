#include "shell/uci.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/console.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/entry.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/play_options.h"
#include "shell/uci_perft.h"

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// A search that runs and has not been told to stop would keep "isready" waiting
// forever (infinite analysis, pondering); the protocol wants an answer at once.
void WaitForIdleSearch() {
    while (ShellBusyCount() > 0 && StopFlag() != STOP_NONE) SleepMilliseconds(1);
}

void PrintIdentity() {
    PrintLine("id name Vesk 3.50");
    PrintLine("id author Tolvane");
    PrintLine("option name Hash type spin default 64 min 0 max 8192");
    PrintLine("option name Threads type spin default 1 min 1 max 64");
    PrintLine("option name Ponder type check default true");
    PrintLine("option name MultiPV type spin default 1 min 1 max 255");
    PrintLine("option name Clear Hash type button");
    PrintLine("option name Communication Overhead type spin default 25 min 0 max 5000");
    PrintLine("option name OwnBook type check default false");
    PrintLine("option name Log type check default false");
    PrintLineF("option name SyzygyPath type string default %s", options.syzygyPath);
    PrintLineF("option name SyzygyProbeDepth5 type spin default %d min 1 max 100",
               options.probeDepth5);
    PrintLineF("option name SyzygyProbeDepth6 type spin default %d min 1 max 100",
               options.probeDepth6);
    PrintPlayOptions();
}

void SetOption(const char* args) {
    char name[256], value[256];
    if (!ParseSetOption(args, name, value)) return;
    if (SetPlayOption(name, value)) return;
    int number = ReadInteger(value);
    if (strcmp(name, "Hash") == 0) {
        int previous = options.hashMB;
        options.hashMB = Clamp(number, 0, 8192);
        StopSearchAndReport();
        // Without the memory the engine keeps playing with the table it had.
        if (ShellResizeHash(options.hashMB) != 0) {
            PrintLineF("info string not enough memory for %dM bytes of hash", options.hashMB);
            options.hashMB = previous;
            if (ShellResizeHash(previous) != 0) options.hashMB = 0;
        }
        PrintLineF("info string Hash size set to %dM bytes", options.hashMB);
    } else if (strcmp(name, "Threads") == 0) {
        int count = Clamp(number, 1, MAX_THREADS);
        if (count != searchState.threadCount) {
            StopSearchAndReport();
            ShellStopThreads();
            searchState.threadCount = count;
            if (ShellStartThreads(count) != 0) exit(-1);
        }
        PrintLineF("info string Threads set to %d", count);
    } else if (strcmp(name, "Communication Overhead") == 0 || strcmp(name, "Move Overhead") == 0) {
        int ms = Clamp(number, 0, 5000);
        timeState.overhead = ms / 1000.0;
        PrintLineF("info string Communication Overhead set to %d", ms);
    } else if (strcmp(name, "Ponder") == 0) {
        timeState.ponderOption = strcmp(value, "true") == 0;
    } else if (strcmp(name, "MultiPV") == 0) {
        searchState.multiPv = Clamp(number, 1, 255);
        PrintLineF("info string MultiPV set to %d", searchState.multiPv);
    } else if (strcmp(name, "OwnBook") == 0) {
        options.ownBook = strcmp(value, "true") == 0;
        PrintLineF("info string OwnBook set to %d", options.ownBook);
    } else if (strcmp(name, "Log") == 0) {
        options.logEnabled = strstr(value, "true") != nullptr;
        if (options.logEnabled && !LogFile()) AppendLogFile("vesk.log"); // started with -nolog
        PrintLineF("info string Log set to %d", options.logEnabled);
    } else if (strcmp(name, "Clear Hash") == 0) {
        if (options.hashMode != 0) {
            StopSearchAndReport();
            ShellClearHash();
            PrintLine("info string Hash table cleared");
        }
    } else if (strcmp(name, "SyzygyPath") == 0) {
        // Longer paths are cut to what the setting holds.
        value[sizeof options.syzygyPath - 1] = 0;
        memcpy(options.syzygyPath, value, sizeof options.syzygyPath);
        StopSearchAndReport(); // the tables are unmapped while nothing probes them
        PrintLineF("info string SyzygyPath set to %s", options.syzygyPath);
        ShellTablebaseInit(options.syzygyPath);
    } else if (strcmp(name, "SyzygyProbeDepth5") == 0) {
        options.probeDepth5 = Clamp(number, 1, 100);
        PrintLineF("info string SyzygyProbeDepth5 set to %d", options.probeDepth5);
    } else if (strcmp(name, "SyzygyProbeDepth6") == 0) {
        options.probeDepth6 = Clamp(number, 1, 100);
        PrintLineF("info string SyzygyProbeDepth6 set to %d", options.probeDepth6);
    }
}

void NewGame() {
    StopSearchAndReport(); // the table is cleared while no search reads it
    timeState.fixedTime = 60;
    timeState.mode = 0;
    SetStop(STOP_ABANDON);
    searchState.threads[0]->historyCount = 0;
    timeState.clock[WHITE] = timeState.clock[BLACK] = 60;
    timeState.increment = 0;
    if (options.hashMode != 0) ShellClearHash();
}

// A coordinate move token: two squares and an optional promotion letter.
int ParseCoordinateMove(const char* token, Move* move) {
    size_t n = strlen(token);
    if (n < 4 || n > 5) return 0;
    for (int i = 0; i < 4; i += 2)
        if (token[i] < 'a' || token[i] > 'h' || token[i + 1] < '1' || token[i + 1] > '8') return 0;
    int from = token[0] - 'a' + 8 * (token[1] - '1');
    int to = token[2] - 'a' + 8 * (token[3] - '1');
    Move m = MakeMoveCode(from, to);
    switch (token[4]) {
    case 'q': m |= PROMO_QUEEN; break;
    case 'n': m |= PROMO_KNIGHT; break;
    case 'b': m |= PROMO_BISHOP; break;
    case 'r': m |= PROMO_ROOK; break;
    default: break;
    }
    *move = m;
    return 1;
}

// A long game keeps only the records the draw test can still look at: those
// since the last capture or pawn move, and no more than the fifty-move rule
// needs (a longer quiet stretch is a draw whatever came before).
void DropOldHistory(SearchThread* game) {
    int keep = game->pos.halfmoveClock < 110 ? game->pos.halfmoveClock : 110;
    int drop = game->historyCount - keep;
    if (drop <= 0) return;
    memmove(game->history, game->history + drop, sizeof(UndoRecord) * (keep + 1));
    game->historyCount = uint16_t(keep);
}

void SetPosition(const char* args) {
    const char* moves = strstr(args, "moves");
    // The position part ends just before "moves".
    size_t setupLength = moves ? size_t(moves - args) : strlen(args);
    char setup[512];
    snprintf(setup, sizeof setup, "%.*s", int(setupLength < 511 ? setupLength : 511), args);
    Position& pos = searchState.threads[0]->pos;
    if (strstr(setup, "startpos")) {
        SetFromFen(pos, START_FEN);
    } else if (strstr(setup, "fen")) {
        if (strlen(setup) < 4 || !SetFromFen(pos, setup + 4)) return;
    } else {
        return;
    }
    SearchThread* game = searchState.threads[0];
    if (moves) {
        const char* p = moves + 5;
        while (*p) {
            const char* token = NextWord(p);
            if (!*token) break;
            p = strstr(p, token) + strlen(token);
            Move m;
            if (!ParseCoordinateMove(token, &m)) {
                PrintLineF("info string bad move %s in position command", token);
                break;
            }
            // An illegal move would corrupt the game position.
            if (!IsLegalMove(pos, m)) {
                PrintLineF("info string illegal move %s in position command", token);
                break;
            }
            if (game->historyCount >= MAX_GAME_PLIES) DropOldHistory(game);
            MakeMove(pos, m);
            game->ply = 1; // game moves are not search plies
        }
    }
    game->history[game->historyCount].move = 0;
}

// The decimal or integer value that follows a keyword of "go", if present.
const char* KeywordValue(const char* args, const char* keyword) {
    const char* at = strstr(args, keyword);
    if (!at) return nullptr;
    at += strlen(keyword);
    if (*at) at++;
    return NextWord(at);
}

void Go(const char* args) {
    if (GoPerft(args)) return;
    SetStop(STOP_ABANDON);
    // A pondering search ends here like a stopped one (its bestmove follows):
    // the main loop starts the new search only after the old one has reported,
    // and stops reading input while a search request waits.
    uint8_t pondering = SEARCH_PONDER;
    searchMode.compare_exchange_strong(pondering, SEARCH_NORMAL);
    holdUntilStop = false; // likewise an infinite search that has ended
    timeState.mode = 0;
    // Each "go" stands alone: limits and clocks of an earlier one do not carry
    // over (a fixed-time search leaves its time in the clock of its side). A
    // "go" without clock values searches as with the start-up clocks.
    const TimeState startUp;
    searchState.maxDepth = options.goDepth;
    searchState.nodeLimit = options.goNodes;
    timeState.fixedTime = startUp.fixedTime;
    timeState.clock[WHITE] = startUp.clock[WHITE];
    timeState.clock[BLACK] = startUp.clock[BLACK];
    timeState.increment = 0;
    searchRequest = strstr(args, "ponder") ? 2 : 1;
    int side = searchState.threads[0]->pos.side;
    const char* v;
    if ((v = KeywordValue(args, "wtime"))) {
        double t = ReadDecimal(v) / 1000;
        timeState.clock[WHITE] = t < 0 ? 0 : t;
    }
    if ((v = KeywordValue(args, "btime"))) {
        double t = ReadDecimal(v) / 1000;
        timeState.clock[BLACK] = t < 0 ? 0 : t;
    }
    if ((v = KeywordValue(args, "winc")) && side == WHITE)
        timeState.increment = ReadDecimal(v) / 1000;
    if ((v = KeywordValue(args, "binc")) && side == BLACK)
        timeState.increment = ReadDecimal(v) / 1000;
    if ((v = KeywordValue(args, "movestogo"))) {
        timeState.mode = 40;
        // Bounded: the time allotment divides by one more than this.
        timeState.movesLeft = Clamp(ReadInteger(v), 0, 1000);
        searchState.maxDepth = MAX_DEPTH;
        searchState.nodeLimit = 0;
    }
    if ((v = KeywordValue(args, "depth"))) {
        searchState.maxDepth = Clamp(ReadInteger(v), 1, MAX_DEPTH);
        timeState.fixedTime = 360000;
        timeState.mode = 1;
    }
    if ((v = KeywordValue(args, "nodes"))) {
        long long n = atoll(v);
        // A limit of 0 is the smallest search, not none (that would never end).
        searchState.nodeLimit = n < 1 ? 1 : uint64_t(n);
        timeState.fixedTime = 10000000;
        timeState.mode = 1;
    }
    if ((v = KeywordValue(args, "movetime"))) {
        timeState.fixedTime = ReadDecimal(v) / 1000;
        timeState.mode = 1;
        timeState.increment = 0;
    }
    requestHold = false;
    if (strstr(args, "infinite")) {
        requestHold = true;
        timeState.fixedTime = 10000000;
        timeState.mode = 1;
        searchState.maxDepth = MAX_DEPTH;
        searchState.nodeLimit = 0;
        timeState.increment = 0;
    }
}

} // namespace

int ParseSetOption(const char* args, char* name, char* value) {
    name[0] = value[0] = 0;
    const char* n = strstr(args, "name");
    if (!n) return 0;
    const char* v = strstr(args, "value");
    if (v && v < n) return 0;
    const char* start = n + 4;
    while (*start == ' ') start++;
    const char* end = v ? v : start + strlen(start);
    if (end < start) end = start;
    while (end > start && (end[-1] == ' ' || end[-1] == '\t')) end--;
    size_t length = size_t(end - start);
    if (length > 255) length = 255;
    memcpy(name, start, length);
    name[length] = 0;
    // The whole text after "value": a path may hold blanks.
    if (v) {
        const char* from = v + 5;
        while (*from == ' ' || *from == '\t') from++;
        size_t valueLength = strlen(from);
        while (valueLength > 0 && (from[valueLength - 1] == ' ' || from[valueLength - 1] == '\t'))
            valueLength--;
        snprintf(value, 256, "%.*s", int(valueLength < 255 ? valueLength : 255), from);
    }
    return 1;
}

void UciCommand(const char* line) {
    if (!line[0]) return;
    // The echo belongs to the log: a front end reads only protocol lines.
    if (options.logEnabled) LogOnly(("CMD: " + std::string(line)).c_str());
    char command[129];
    snprintf(command, sizeof command, "%s", NextWord(line));
    const char* args = line;
    while (*args == ' ' || *args == '\t') args++;
    args += strlen(command);
    if (*args) args++;

    if (strcmp(command, "uci") == 0) {
        PrintIdentity();
        options.logEnabled = 0;
        options.ownBook = 0;
        options.protocolMode = PROTOCOL_UCI;
        PrintLine("uciok");
    } else if (strcmp(command, "isready") == 0) {
        WaitForIdleSearch();
        PrintLine("readyok");
    } else if (strcmp(command, "setoption") == 0) {
        SetOption(args);
    } else if (strcmp(command, "ucinewgame") == 0) {
        NewGame();
    } else if (strcmp(command, "position") == 0) {
        SetPosition(args);
    } else if (strcmp(command, "go") == 0) {
        Go(args);
    } else if (strcmp(command, "ponderhit") == 0) {
        uint8_t pondering = SEARCH_PONDER;
        searchMode.compare_exchange_strong(pondering, SEARCH_NORMAL);
    } else if (strcmp(command, "stop") == 0) {
        SetStop(STOP_NOW);
        holdUntilStop = false;
        // Without a search there is nothing to report: no stray bestmove.
        if (searchMode.load() != SEARCH_IDLE) searchMode = SEARCH_NORMAL;
    } else if (strcmp(command, "quit") == 0) {
        SetStop(STOP_ABANDON);
        quitFlag = 1;
    }
}
