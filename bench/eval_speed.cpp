// Evaluations per second over a fixed set of positions, with the evaluation
// cache out of play (no search running), so every call does the full work.
//
// Usage: vesk_eval_speed [epd-file] [rounds]
// Without a file the positions come from VESK_DATA (or the built-in data
// directory) epd/wac.epd, or from a short built-in list when that is missing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/search_state.h"
#include "search/search_thread.h"

#ifndef VESK_DATA_DEFAULT
#define VESK_DATA_DEFAULT ""
#endif

namespace {

const char* const BUILT_IN[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1BBPPP/R2QK2R w KQ -",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - -",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - -",
    "r4rk1/1b2qppp/p1n1p3/1p6/3P4/P1NB1N2/1P3PPP/R2Q1RK1 b - -",
    "8/8/4k3/3p4/3P4/4K3/8/8 w - -",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
    "r2q1rk1/ppp2ppp/2n1bn2/2bpp3/4P3/2PP1NP1/PP1NBPBP/R2Q1RK1 b - -",
};

std::string DataDir() {
    for (const char* var : {"VESK_DATA", "VESK_DATA_DEFAULT"}) {
        const char* d = getenv(var);
        if (d && *d) return d;
    }
    return VESK_DATA_DEFAULT;
}

// The placement, side, castling and en-passant fields of every line of an EPD file.
std::vector<std::string> ReadEpd(const std::string& path) {
    std::vector<std::string> out;
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return out;
    char line[1024];
    while (fgets(line, sizeof line, f)) {
        std::string fen;
        int fields = 0;
        for (char* tok = strtok(line, " \t\r\n"); tok && fields < 4;
             tok = strtok(nullptr, " \t\r\n"), fields++) {
            if (fields) fen += ' ';
            fen += tok;
        }
        if (fields == 4) out.push_back(fen);
    }
    fclose(f);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    InitBoardTables();
    InitZobristKeys();
    BuildKpk();
    SetDefaultSettings();
    RebuildTables();
    if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
    // Not slot 1: that thread's root evaluations are traced.
    SearchThread* t = NewSearchThread();
    if (!t) return 1;
    t->searchRunning = 0;

    std::string source = argc > 1 ? argv[1] : DataDir() + "/epd/wac.epd";
    long rounds = argc > 2 ? atol(argv[2]) : 2000;
    if (rounds < 1) rounds = 1;
    std::vector<std::string> fens = ReadEpd(source);
    if (fens.empty()) {
        source = "built-in list";
        for (const char* fen : BUILT_IN) fens.push_back(fen);
    }

    // Positions in check are answered before any evaluation work: leave them out.
    std::vector<Position> positions;
    for (const std::string& fen : fens) {
        if (!SetFromFen(t->pos, fen.c_str())) continue;
        if (InCheck(t->pos, t->pos.side)) continue;
        positions.push_back(t->pos);
    }
    if (positions.empty()) {
        fprintf(stderr, "no positions to evaluate\n");
        return 1;
    }

    long long checksum = 0;
    long long calls = 0;
    StackEntry& st = t->stack[1];
    auto start = std::chrono::steady_clock::now();
    for (long r = 0; r < rounds; r++) {
        for (const Position& p : positions) {
            t->pos = p;
            st.threat[0] = st.threat[1] = 0;
            st.drawMark = 0;
            checksum += Evaluate(t, t->pos.side, 1, 0);
            calls++;
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    printf("positions: %zu (%s)\n", positions.size(), source.c_str());
    printf("evaluations: %lld in %.3f seconds (checksum %lld)\n", calls, seconds, checksum);
    printf("evaluation cache hits: %llu of %llu probes; pawn hash hits: %llu of %llu probes\n",
           static_cast<unsigned long long>(t->evalHits),
           static_cast<unsigned long long>(t->evalProbes),
           static_cast<unsigned long long>(t->pawnHits),
           static_cast<unsigned long long>(t->pawnProbes));
    printf("evaluations per second: %.0f\n", calls / (seconds > 0 ? seconds : 1e-9));
    return 0;
}
