#include "eval/report.h"

#include <cstdarg>
#include <cstdio>

#include "board/attacks.h"
#include "board/constants.h"
#include "eval/evaluate.h"
#include "eval/settings.h"
#include "search/search_state.h"
#include "shell/output.h"

void (*evalReportSearch)(int* eval, int* qscore) = nullptr;

namespace {

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Append(std::string& out, const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    out += buffer;
}

void PstText(std::string& out, int piece, int phase, const char* title) {
    Append(out, "%s\n", title);
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            const ScorePair& e = settings.pst[piece][rank * 8 + file];
            Append(out, "  %3d ", phase == 0 ? e.op : e.en);
        }
        out += "\n";
    }
    out += "\n";
}

void SquareList(std::string& out, const char* title, Bitboard b) {
    if (!b) return;
    out += title;
    while (b) Append(out, "  %s", SquareNames[PopLowest(b)]);
    out += "\n";
}

} // namespace

std::string ParamReportText() {
    const EngineSettings& s = settings;
    std::string out = "piece values=";
    Append(out, "  %d/%d", s.pawn_value_op, s.pawn_value_en);
    Append(out, "  %d/%d", s.knight_value_op, s.knight_value_en);
    Append(out, "  %d/%d", s.bishop_value_op, s.bishop_value_en);
    Append(out, "  %d/%d", s.rook_value_op, s.rook_value_en);
    Append(out, "  %d/%d", s.queen_value_op, s.queen_value_en);
    out += "\n";
    Append(out, "bishop_pair= %d , %d\n\n", s.bishop_pair_op, s.bishop_pair_en);
    out += "KingDanger[]=";
    for (int i = 0; i < 64; i++) {
        if (i % 10 == 0) Append(out, "\n%2d:  ", i);
        Append(out, "  %3d ", s.kingDanger[i]);
    }
    out += "\n";
    for (int n = 0; n <= 14; n++) {
        ScorePair k = n <= 8 ? s.knightMobility[n] : ScorePair{0, 0};
        Append(out, "%3d  nmob= %3d/%3d  bmob=%3d/%3d  rmob=%3d/%3d  qmob= %3d/%3d\n", n, k.op,
               k.en, s.bishopMobility[n].op, s.bishopMobility[n].en, s.rookMobility[n].op,
               s.rookMobility[n].en, s.queenMobility[n].op, s.queenMobility[n].en);
    }
    Append(out, "queen_mob[28] = %d/%d\n", s.queenMobility[28].op, s.queenMobility[28].en);
    for (int rank = 2; rank <= 7; rank++)
        Append(out, "rank=%d,  ppawn=%3d, ppawnx=%3d\n", rank, s.ppawn[rank - 1],
               s.ppawnx[rank - 1]);
    Append(out, "pawn_shield= %d\n", s.pawn_shield);
    Append(out, "pawn_storm= %d\n", s.pawn_storm);
    Append(out, "hung= %d/%d\n", s.hung_op, s.hung_en);
    Append(out, "pinned= %d/%d\n", s.pinned_op, s.pinned_en);
    Append(out, "knight_outpost= %d , %d\n", s.knight_outpost, s.knight_outpost_en);
    static const char* const titles[12] = {"PawnOpening",  "PawnEnding",    "KnightOpening",
                                           "KnightEnding", "BishopOpening", "BishopEnding",
                                           "RookOpening",  "RookEnding",    "QueenOpening",
                                           "QueenEnding",  "KingOpening",   "KingEnding"};
    for (int i = 0; i < 12; i++) PstText(out, i / 2 + 1, i % 2, titles[i]);
    return out;
}

void PrintPst(int piece, int phase, const char* title) {
    std::string out;
    PstText(out, piece, phase, title);
    fputs(out.c_str(), stdout);
    fflush(stdout);
}

void ParamReport() {
    std::string out = ParamReportText();
    fputs(out.c_str(), stdout);
    fflush(stdout);
}

std::string EvalReportText(int eval, int qscore) {
    const EvalTrace& tr = evalTrace;
    const Position& p = searchState.threads[0]->pos;
    std::string out;
    Append(out, "eval= %d, qscore= %d, stage= %d, draw_adj= %0.2f\n\n", eval, qscore, tr.stage,
           tr.drawAdj);
    SquareList(out, "hung pieces on: ", tr.hung);
    SquareList(out, "pinned pieces on :", tr.pinned);
    out += "           white    black     diff\n";

    std::string plus, minus;
    static const int order[5] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};
    static const int shift[7] = {0, 0, 4, 8, 12, 16, 0};
    for (int type : order) {
        int d = int((p.matSig[0] >> shift[type]) & 15) - int((p.matSig[1] >> shift[type]) & 15);
        for (int i = 0; i < d; i++) plus += WhiteLetters[type];
        for (int i = 0; i < -d; i++) minus += WhiteLetters[type];
    }
    Append(out, "mtl=       %5d    %5d    %5d   (%s :: %s)\n", tr.mtl[0], tr.mtl[1],
           tr.mtl[0] - tr.mtl[1], plus.c_str(), minus.c_str());
    Append(out, "pos=       %5d    %5d    %5d\n", tr.pos[0], tr.pos[1], tr.pos[0] - tr.pos[1]);
    static const struct {
        const char* label;
        int term;
    } lines[] = {{"pawns=     ", TRACE_PAWNS},   {"knights=   ", TRACE_KNIGHTS},
                 {"bishops=   ", TRACE_BISHOPS}, {"rooks=     ", TRACE_ROOKS},
                 {"queens=    ", TRACE_QUEENS},  {"kings=     ", TRACE_KINGS},
                 {"passers=   ", TRACE_PASSERS}};
    for (const auto& l : lines) {
        const int16_t* v = tr.term[l.term];
        Append(out, "%s%5d    %5d    %5d\n", l.label, v[0], v[1], v[0] - v[1]);
    }
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int code = p.board[rank * 8 + file];
            char symbol;
            if (code)
                symbol = ColourOf(code) ? "-onbrqk"[TypeOf(code)] : "-PNBRQK"[TypeOf(code)];
            else
                symbol = (rank & 1) == (file & 1) ? '+' : '-';
            out += ' ';
            out += symbol;
        }
        out += "    ";
        for (int file = 0; file < 8; file++) {
            int sq = rank * 8 + file;
            if (p.board[sq])
                Append(out, " %4d", tr.square[sq]);
            else
                out += "    -";
        }
        out += "\n";
    }
    out += p.side == 0 ? "white\n" : "black\n";
    return out;
}

void EvalReport() {
    ClearEvalTrace();
    int eval = 0, qscore = 0;
    if (evalReportSearch) {
        evalReportSearch(&eval, &qscore);
    } else if (searchState.threads[0]) {
        // No search to run the root evaluation: evaluate the root directly on
        // the first search thread's context, as the search would.
        SearchThread* t = searchState.threads[1] ? searchState.threads[1] : searchState.threads[0];
        if (t != searchState.threads[0]) {
            t->pos = searchState.threads[0]->pos;
            t->pos.owner = t;
        }
        Position& p = t->pos;
        uint8_t running = t->searchRunning;
        t->searchRunning = 0;
        t->stack[1].threat[0] = t->stack[1].threat[1] = 0;
        eval = Evaluate(t, p.side, 1, InCheck(p, p.side));
        t->searchRunning = running;
        qscore = eval;
    }
    if (!searchState.threads[0]) return;
    PrintLine(EvalReportText(eval, qscore).c_str());
}
