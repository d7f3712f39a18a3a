#include "fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include "board/notation.h"
#include "eval/settings.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"

namespace {

constexpr int FUZZ_HASH_MB = 1;

void ResetGamePosition() {
    SearchThread* g = searchState.threads[0];
    SetFromFen(g->pos, STARTPOS);
    g->ply = 1;
    g->lastMove = 0;
    g->stack[1].listStart = g->moves;
    g->history[0].move = 0;
}

} // namespace

void FuzzStartEngine() {
    if (!StartEngineForTests(FUZZ_HASH_MB)) FuzzFail("engine start-up failed");
}

void FuzzResetEngine(double reportDelay) {
    FuzzStartEngine();
    if (PoolSize() > 0) StopThreads();
    SetStop(STOP_NONE);
    options = EngineOptions();
    options.logEnabled = 0;
    options.hashMB = FUZZ_HASH_MB;
    searchState.threadCount = 1;
    searchState.multiPv = 1;
    searchState.maxDepth = MAX_DEPTH;
    searchState.nodeLimit = 0;
    searchState.reportDelay = reportDelay;
    timeState = TimeState();
    searchRequest = 0;
    quitFlag = 0;
    searchMode = SEARCH_IDLE;
    selfPlay = 0;
    tracePly = 0;
    debugFlag = 0;
    tagKey = 0;
    if (transTable.hashMegabytes != FUZZ_HASH_MB || !transTable.entries) {
        if (AllocateTransTable(FUZZ_HASH_MB) != 0) FuzzFail("table allocation failed");
    } else {
        TTClear();
    }
    if (TbPathCount > 0 || TbCount > 0) TbInit("");
    ResetGamePosition();
    srand(1);
}

std::string FuzzText(const uint8_t* data, size_t size) {
    const uint8_t* end = static_cast<const uint8_t*>(memchr(data, 0, size));
    return std::string(reinterpret_cast<const char*>(data), end ? size_t(end - data) : size);
}

const std::string& FuzzScratchDir() {
    static ScratchDir dir; // removed at normal exit
    if (dir.path.empty()) FuzzFail("cannot create a scratch directory");
    return dir.path;
}

std::string FuzzScratchFile(const char* name) { return FuzzScratchDir() + "/" + name; }

void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size) {
    if (!WriteFile(path, std::string(reinterpret_cast<const char*>(data), size)))
        FuzzFail("cannot write %s", path.c_str());
}

FuzzInScratch::FuzzInScratch() {
    char cwd[4096];
    previous = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (chdir(FuzzScratchDir().c_str()) != 0) FuzzFail("cannot enter the scratch directory");
}

FuzzInScratch::~FuzzInScratch() {
    if (chdir(previous.c_str()) != 0) FuzzFail("cannot return to %s", previous.c_str());
}

void FuzzFail(const char* format, ...) {
    char text[1024] = "fuzz check failed: ";
    size_t n = strlen(text);
    va_list args;
    va_start(args, format);
    vsnprintf(text + n, sizeof text - n, format, args);
    va_end(args);
    // The checkers' report channel stays open when the fuzzer closes stderr.
    __sanitizer_report_error_summary(text);
    abort();
}

void FuzzCheckConsistent(const Position& p, const char* where) {
    std::string fault = PositionFault(p);
    FUZZ_CHECK(fault.empty(), "%s: %s", where, fault.c_str());
}

void FuzzCheckSamePosition(const Position& a, const Position& b, const char* where) {
    std::string difference = PositionDifference(a, b);
    FUZZ_CHECK(difference.empty(), "%s: %s differ", where, difference.c_str());
}
