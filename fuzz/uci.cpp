// UCI command lines: the input is cut into lines the way the command input
// cuts standard input (a line ends at '\n' or NUL, characters past 4095 are
// dropped, an unterminated last line counts) and each goes to the shell's
// line handler, followed by what the main loop does with the search flags
// before it reads the next line. No book is open (the book target covers it).
//
// Searches stay tiny and synchronous: a "go" is parsed by the engine as sent
// (every limit, the clock arithmetic of the time target), then its depth is
// capped at 2 and the search runs to the end on the calling thread (the way
// the tools search) before the next line; its report and bestmove follow
// exactly when the main loop would print them. Move-path counts ("go perft")
// are capped at depth 2 as well. Hash values above 2 MB and
// Threads values above 2 are lowered before the line is handled, so that an
// input cannot ask for gigabytes or dozens of threads. At the end of the
// input the engine's end-of-input rule runs (a pondering search is stopped
// and reported). A state in which the real main loop would never read
// another line (a search request that can never start) is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/entry.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/uci.h"

namespace {

constexpr int LINE_MAX_CHARS = 4095;
constexpr int FUZZ_MAX_DEPTH = 2;
constexpr int FUZZ_MAX_HASH = 2;
constexpr int FUZZ_MAX_THREADS = 2;

// Lowers the values of "setoption" lines that would allocate too much, and
// the depth of "go perft", which counts synchronously before the next line.
void TameLine(std::string& line) {
    char command[129];
    snprintf(command, sizeof command, "%s", NextWord(line.c_str()));
    if (strcmp(command, "go") == 0) {
        const char* args = strstr(line.c_str(), "go") + strlen("go");
        if (strcmp(NextWord(args), "perft") != 0) return;
        const char* depth = strstr(args, "perft") + strlen("perft");
        if (ReadInteger(NextWord(depth)) > FUZZ_MAX_DEPTH)
            line = "go perft " + std::to_string(FUZZ_MAX_DEPTH);
        return;
    }
    if (strcmp(command, "setoption") != 0) return;
    const char* args = strstr(line.c_str(), "setoption") + strlen("setoption");
    char name[256], value[256];
    if (!ParseSetOption(args, name, value)) return;
    // Read wide, so that no value the engine could take as large slips through.
    long long number = strtoll(value, nullptr, 10);
    if (strcmp(name, "Hash") == 0 && number > FUZZ_MAX_HASH)
        line = "setoption name Hash value " + std::to_string(FUZZ_MAX_HASH);
    else if (strcmp(name, "Threads") == 0 && number > FUZZ_MAX_THREADS)
        line = "setoption name Threads value " + std::to_string(FUZZ_MAX_THREADS);
}

// The main loop's search start, with the search run to its end right here.
void StartSearchHere() {
    if (searchState.maxDepth > FUZZ_MAX_DEPTH) searchState.maxDepth = FUZZ_MAX_DEPTH;
    StartClock();
    ShellPrepareSearch();
    SearchThread* game = searchState.threads[0];
    bool bookMove = false;
    if (options.ownBook && game->historyCount <= options.bookDepth) {
        Move m = ShellBookMove();
        if (m) {
            PrintLine(options.protocolMode == PROTOCOL_UCI ? "info string book move" : "book move");
            searchState.best.pv[1] = m;
            searchState.best.pv[2] = 0;
            searchState.best.score = 0;
            SetStop(STOP_NOW);
            bookMove = true;
        }
    }
    if (game->pos.halfmoveClock <= 100 && !bookMove) SearchOnCallingThread();
    searchRequest = 0;
}

// The passes of the main loop after a line, up to the one that reads input
// again: a search request stops the reading until the search has started.
void LoopPasses() {
    for (int pass = 0; pass < 3; pass++) {
        if (searchRequest != 0 && searchMode == SEARCH_IDLE) StartSearchHere();
        if (searchMode != SEARCH_IDLE && searchMode != SEARCH_PONDER) FinishSearch();
        if (searchRequest == 0) return;
        // A request can start only once the search mode is idle.
        FUZZ_CHECK(searchMode == SEARCH_IDLE,
                   "a search request waits behind search mode %d: the engine stops reading input",
                   int(searchMode.load()));
    }
    FuzzFail("a search request is never started");
}

// The main loop after the front end has gone: the end-of-input rule, passes
// until the engine leaves.
void EndOfInput() {
    for (int pass = 0; pass < 4 && !quitFlag; pass++) {
        LoopPasses();
        if (searchMode == SEARCH_IDLE) {
            SetStop(STOP_ABANDON);
            quitFlag = 1;
        } else if (searchMode == SEARCH_PONDER) {
            SetStop(STOP_NOW);
            searchMode = SEARCH_NORMAL;
        }
    }
    FUZZ_CHECK(quitFlag, "the engine does not leave at the end of its input");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reports on, as the engine starts: their formatting is part of the path.
    FuzzResetEngine(0);
    std::string line;
    auto runLine = [&]() {
        if (line.empty() || quitFlag) return;
        TameLine(line);
        std::string buffer = line;
        ExecuteCommandLine(buffer.data());
        LoopPasses();
        line.clear();
    };
    for (size_t i = 0; i < size && !quitFlag; i++) {
        char c = char(data[i]);
        if (c == '\n' || c == '\0')
            runLine();
        else if (line.size() < size_t(LINE_MAX_CHARS))
            line += c;
    }
    runLine();
    if (!quitFlag) EndOfInput();
    return 0;
}
