#include "fuzz_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"

const char* const FUZZ_START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

namespace {

constexpr int FUZZ_HASH_MB = 1;

void RemoveScratchDir() {
    const std::string& dir = FuzzScratchDir();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void ResetGamePosition() {
    SearchThread* g = searchState.threads[0];
    SetFromFen(g->pos, FUZZ_START_FEN);
    g->ply = 1;
    g->lastMove = 0;
    g->stack[1].listStart = g->moves;
    g->history[0].move = 0;
}

} // namespace

void FuzzStartEngine() {
    static bool started = false;
    if (started) return;
    started = true;
    InitBoardTables();
    InitZobristKeys();
    BuildKpk();
    SetDefaultSettings();
    SaveSettingsBackup();
    for (SearchThread*& t : searchState.threads) t = nullptr;
    searchState.threads[0] = NewSearchThread();
    options.logEnabled = 0;
    options.hashMB = FUZZ_HASH_MB;
    if (!searchState.threads[0] || AllocateTransTable(FUZZ_HASH_MB) != 0)
        FuzzFail("engine start-up failed");
    BuildReductionTables();
    RebuildTables();
    ResetGamePosition();
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
    static std::string dir = [] {
        const char* base = getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/vesk_fuzz_XXXXXX";
        std::vector<char> name(templ.begin(), templ.end());
        name.push_back(0);
        if (!mkdtemp(name.data())) FuzzFail("cannot create a directory from %s", templ.c_str());
        return std::string(name.data());
    }();
    static bool cleanup = [] { return atexit(RemoveScratchDir) == 0; }();
    (void)cleanup;
    return dir;
}

std::string FuzzScratchFile(const char* name) { return FuzzScratchDir() + "/" + name; }

void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) FuzzFail("cannot write %s", path.c_str());
    if (size && fwrite(data, 1, size, f) != size) FuzzFail("cannot write %s", path.c_str());
    fclose(f);
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
    Bitboard colours[2] = {0, 0};
    uint32_t sig[2] = {0, 0};
    int mat[2] = {0, 0};
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int type = TypeOf(code), colour = ColourOf(code);
        FUZZ_CHECK(type >= PAWN && type <= KING && colour <= 1, "%s: bad piece code %d on %s",
                   where, code, SquareNames[sq]);
        colours[colour] |= SquareBit(sq);
        sig[colour] += MatSigValue[type];
        mat[colour] += PieceMatValue[type];
    }
    FUZZ_CHECK(p.bb[0] == colours[0] && p.bb[8] == colours[1], "%s: colour sets", where);
    FUZZ_CHECK(p.matSig[0] == sig[0] && p.matSig[1] == sig[1], "%s: material signature", where);
    FUZZ_CHECK(p.pieceMat[0] == mat[0] && p.pieceMat[1] == mat[1], "%s: material units", where);
    for (int colour = 0; colour < 2; colour++) {
        for (int type = PAWN; type <= KING; type++) {
            int code = PieceCode(colour, type);
            Bitboard onBoard = 0;
            for (int sq = 0; sq < 64; sq++)
                if (p.board[sq] == code) onBoard |= SquareBit(sq);
            FUZZ_CHECK(p.bb[code] == onBoard, "%s: bitboard of piece %d", where, code);
            Bitboard listed = 0;
            int n = 0;
            while (n < 10 && p.pieceList[code][n] != NO_SQUARE) {
                int sq = p.pieceList[code][n++];
                FUZZ_CHECK(sq < 64 && !(listed & SquareBit(sq)), "%s: list of piece %d", where,
                           code);
                listed |= SquareBit(sq);
            }
            FUZZ_CHECK(n < 10, "%s: list of piece %d is not terminated", where, code);
            FUZZ_CHECK(listed == onBoard, "%s: list of piece %d", where, code);
        }
        FUZZ_CHECK(PopCount(p.bb[PieceCode(colour, KING)]) == 1, "%s: king count", where);
    }
    FUZZ_CHECK(p.side <= 1 && p.castling <= 15, "%s: side or castling", where);
    FUZZ_CHECK(p.epSquare == NO_SQUARE || p.epSquare < 64, "%s: en-passant square", where);
    Position keys = p;
    ComputeKeys(keys);
    FUZZ_CHECK(keys.key == p.key && keys.pawnKey == p.pawnKey, "%s: keys", where);
}

void FuzzCheckSamePosition(const Position& a, const Position& b, const char* where) {
    FUZZ_CHECK(!memcmp(a.board, b.board, sizeof a.board), "%s: boards differ", where);
    FUZZ_CHECK(!memcmp(a.bb, b.bb, sizeof a.bb), "%s: bitboards differ", where);
    for (int code = 0; code < 16; code++) {
        uint8_t la[10], lb[10];
        memcpy(la, a.pieceList[code], 10);
        memcpy(lb, b.pieceList[code], 10);
        int na = 0, nb = 0;
        while (na < 10 && la[na] != NO_SQUARE) na++;
        while (nb < 10 && lb[nb] != NO_SQUARE) nb++;
        std::sort(la, la + na);
        std::sort(lb, lb + nb);
        FUZZ_CHECK(na == nb && !memcmp(la, lb, size_t(na)), "%s: lists of piece %d differ", where,
                   code);
    }
    FUZZ_CHECK(a.key == b.key && a.pawnKey == b.pawnKey, "%s: keys differ", where);
    FUZZ_CHECK(a.matSig[0] == b.matSig[0] && a.matSig[1] == b.matSig[1] &&
                   a.pieceMat[0] == b.pieceMat[0] && a.pieceMat[1] == b.pieceMat[1],
               "%s: material differs", where);
    FUZZ_CHECK(a.side == b.side && a.castling == b.castling && a.epSquare == b.epSquare &&
                   a.halfmoveClock == b.halfmoveClock,
               "%s: side, rights, en-passant square or clock differ", where);
}
