// The settings file: the input is written as vesk.rc in the scratch
// directory and read the way the engine starts (read the file, back the
// parameters up, build the reduction tables, open the tablebases on the
// SyzygyPath it names, rebuild the derived tables; the VeskBook file is not
// opened, book bytes are the book target's). Then the paths must be
// terminated, the evaluation runs on a few positions and a depth-2 search on
// one of them with the new parameters. Each input starts from the defaults.
#include <cstdint>
#include <cstring>

#include "board/attacks.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "eval/settings.h"
#include "fuzz_support.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "tools/epd.h"

namespace {

const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "6k1/5ppp/8/8/8/8/1Q3PPP/6K1 b - -",
};
constexpr int SEARCHED = 2;

void DefaultParameters() {
    SetDefaultSettings();
    SaveSettingsBackup();
    BuildReductionTables();
    RebuildTables();
    ClearEvalCaches();
}

void SetGame(const char* fen) {
    SearchThread* game = searchState.threads[0];
    FUZZ_CHECK(SetFromFen(game->pos, fen), "fixed position refused: %s", fen);
    game->ply = 1;
    game->stack[1].listStart = game->moves;
}

void SearchDepth2() {
    searchState.maxDepth = 2;
    searchState.nodeLimit = 0;
    searchState.multiPv = 1;
    timeState.mode = 1;
    timeState.fixedTime = 1000;
    searchMode = SEARCH_NORMAL;
    TTClear();
    StartClock();
    PrepareSearch();
    SearchOnCallingThread();
    searchMode = SEARCH_IDLE;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    DefaultParameters();
    {
        FuzzInScratch here;
        FuzzWriteFile("vesk.rc", data, size);
        ShellReadSettings();
        ShellBuildReductionTables();
        ShellTablebaseInit(options.syzygyPath);
        ShellRebuildTables();
        remove("vesk.rc");
    }
    FUZZ_CHECK(memchr(options.syzygyPath, 0, sizeof options.syzygyPath), "SyzygyPath unterminated");
    FUZZ_CHECK(memchr(options.bookFile, 0, sizeof options.bookFile), "VeskBook unterminated");
    ClearEvalCaches();
    SearchThread* game = searchState.threads[0];
    for (const char* fen : POSITIONS) {
        SetGame(fen);
        Evaluate(game, game->pos.side, 1, InCheck(game->pos, game->pos.side));
    }
    // One search brings in the selectivity settings; more would only slow the run.
    SetGame(POSITIONS[SEARCHED]);
    SearchDepth2();
    return 0;
}
