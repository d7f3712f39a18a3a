// How the engine uses the tables: the WDL probe within the probe-depth limits,
// the root probe that picks the table move and the moves keeping the root's
// outcome, the root state of a search, and the node rules of the search.
#include "board/bitops.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "tablebase/tbprobe.h"

Move TbRootMoves[256];

void TbPosFromPosition(const Position& p, int rule50, TbPos* out) {
    out->white = p.bb[0];
    out->black = p.bb[8];
    out->pawns = p.bb[PAWN] | p.bb[8 + PAWN];
    out->knights = p.bb[KNIGHT] | p.bb[8 + KNIGHT];
    out->bishops = p.bb[BISHOP] | p.bb[8 + BISHOP];
    out->rooks = p.bb[ROOK] | p.bb[8 + ROOK];
    out->queens = p.bb[QUEEN] | p.bb[8 + QUEEN];
    out->kings = p.bb[KING] | p.bb[8 + KING];
    out->rule50 = uint8_t(rule50);
    out->ep = p.epSquare >= 64 ? 0 : p.epSquare;
    out->turn = p.side == WHITE;
}

int TbProbeWdl(const Position& p, int depth) {
    if (options.probeDepth5 > depth) return -1;
    int n = PopCount(p.bb[0] | p.bb[8]);
    if (n > TbLargest) return -1;
    if ((n == 6 && options.probeDepth6 > depth) || (n >= 7 && 100 > depth)) return -1;
    if (p.castling) return -1;
    TbPos tp;
    TbPosFromPosition(p, 0, &tp);
    int success;
    int v = ProbeWdl(tp, &success);
    return success ? v + 2 : -1;
}

static Move EngineMove(uint32_t r) {
    static const Move promoBits[5] = {0, PROMO_QUEEN, PROMO_ROOK, PROMO_BISHOP, PROMO_KNIGHT};
    return Move(TbResultTo(r) | (TbResultFrom(r) << 8) | promoBits[TbResultPromotes(r)]);
}

int TbProbeRoot(const Position& p, int* wdl, int* dtz, Move* move) {
    TbRootMoves[0] = 0;
    TbPos tp;
    TbPosFromPosition(p, p.halfmoveClock, &tp);
    uint32_t results[TB_MAX_ROOT_RESULTS];
    uint32_t r = ProbeRoot(tp, results);
    if (r == TB_RESULT_FAILED) return -1;
    *wdl = TbResultWdl(r);
    *dtz = TbResultDtz(r);
    *move = EngineMove(r);
    int n = 0;
    for (int i = 0; results[i] != TB_RESULT_FAILED && n < 255; i++)
        if (TbResultWdl(results[i]) >= *wdl) TbRootMoves[n++] = EngineMove(results[i]);
    TbRootMoves[n] = 0;
    return *wdl;
}

void TbSearchStart(const Position& p) {
    searchState.rootTbMove = 0;
    TbRootMoves[0] = 0;
    int v = -1;
    if (options.probeDepth5 < 71 && PopCount(p.bb[0] | p.bb[8]) <= TbLargest && !p.castling) {
        int wdl, dtz;
        Move move;
        v = TbProbeRoot(p, &wdl, &dtz, &move);
        if (v >= 0) searchState.rootTbMove = move;
    }
    if (v < 0) v = TbProbeWdl(p, 70);
    searchState.rootTb = v;
    int16_t score = v == 4 ? 9799 : v == 0 ? -9800 : 0;
    searchState.rootTbScores[p.side] = score;
    searchState.rootTbScores[p.side ^ 1] = int16_t(-score);
}

int TbNodeRules(SearchThread* t, int ply, int depth, int alpha, int beta, int* score) {
    Position& p = t->pos;
    StackEntry& e = t->stack[ply];
    int parent = t->stack[ply - 1].tbResult;
    if (parent != -1) {
        int v = TbProbeWdl(p, depth);
        e.tbResult = v;
        if (v != -1) {
            t->tbHits++;
            // The move just made spoiled the outcome the parent had.
            if (v > 4 - parent) {
                *score = beta;
                return 1;
            }
        }
        // Late in the fifty-move count only the table's root move is trusted.
        if (ply == 2 && searchState.rootTbMove && t->lastMove != searchState.rootTbMove &&
            p.halfmoveClock >= 31) {
            *score = beta;
            return 1;
        }
    }
    if (p.halfmoveClock == 0 && searchState.rootTb == -1) {
        int v = TbProbeWdl(p, depth);
        e.tbResult = v;
        if (v != -1) {
            t->tbHits++;
            int s = v == 0 ? ply - 9800 : v == 4 ? 9799 - ply : 0;
            *score = s <= alpha ? alpha : s;
            return 1;
        }
    }
    return 0;
}
