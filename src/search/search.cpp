// The node search: pruning, table cutoffs, null move, internal iterative
// deepening, and the move loop with extensions and late move reductions.
#include "search/search.h"

#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "board/zobrist.h"
#include "eval/evaluate.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/tb_hooks.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/report.h"

long long searchDebugCounters[4];

namespace {

inline int Max(int a, int b) { return a > b ? a : b; }
inline int Min(int a, int b) { return a < b ? a : b; }

// Copies a child's line from index from on, up to and including its first 0.
inline void CopyPv(Move* to, const Move* from, int start) {
    for (int i = start; i < MAX_PLY; i++) {
        to[i] = from[i];
        if (!from[i]) break;
    }
}

// The move made `back` plies before the current node; anything before the
// recorded history counts as a real move.
inline bool RealMoveBack(const SearchThread* t, int back) {
    int i = t->historyCount - back;
    return i < 0 || t->history[i].move != 0;
}

inline bool IsCastling(const MoveEntry& e) {
    if (TypeOf(e.piece) != KING) return false;
    int d = ToSquare(e.move) - FromSquare(e.move);
    return d == 2 || d == -2;
}

// x lies on a line of `line` from `to` that does not pass through `from`,
// with nothing but `passable` pieces between x and `to`, and another piece of
// the mover's colour also attacks x.
bool SupportedLineAttack(Position& p, int c, int from, int to, Bitboard lineTo, Bitboard lineFrom,
                         Bitboard passable, int piece) {
    Bitboard zone = KingAttacks[KingSquare(p, c ^ 1)] & lineTo & ~lineFrom & ~SquareBit(from);
    if (!zone) return false;
    Bitboard blockers = Occupancy(p) & ~passable;
    bool found = false;
    // The mover is lifted off its origin and not yet placed on its destination.
    Bitboard bit = SquareBit(from);
    p.bb[8 * c] ^= bit;
    p.bb[piece] ^= bit;
    while (zone && !found) {
        int x = PopLowest(zone);
        if (Between[to][x] & blockers) continue;
        if (IsAttacked(p, x, c)) found = true;
    }
    p.bb[8 * c] ^= bit;
    p.bb[piece] ^= bit;
    return found;
}

// An enemy target on a line of `to` that is not a line of `from`, in clear view.
bool DirectLineAttack(const Position& p, int from, int to, const Bitboard* full, Bitboard targets) {
    Bitboard cand = full[to] & ~full[from] & targets;
    Bitboard occ = Occupancy(p);
    while (cand) {
        int x = PopLowest(cand);
        if (!(Between[to][x] & occ)) return true;
    }
    return false;
}

// A late quiet move is still worth a look when the piece on its destination
// attacks something worth more than itself or joins an attack next to the king.
bool AttacksSomethingBigger(Position& p, const MoveEntry& e) {
    int c = ColourOf(e.piece), enemy = c ^ 1;
    int from = FromSquare(e.move), to = ToSquare(e.move);
    const Bitboard* their = p.bb + 8 * enemy;
    const Bitboard* own = p.bb + 8 * c;
    Bitboard kingZone = KingAttacks[KingSquare(p, enemy)];
    switch (TypeOf(e.piece)) {
    case PAWN:
        return (PawnAttacks[c][to] &
                (their[KNIGHT] | their[BISHOP] | their[ROOK] | their[QUEEN] | kingZone)) != 0;
    case KNIGHT: return (KnightAttacks[to] & (their[ROOK] | their[QUEEN] | kingZone)) != 0;
    case BISHOP:
        if (DirectLineAttack(p, from, to, BishopFull, their[ROOK] | their[QUEEN])) return true;
        return SupportedLineAttack(p, c, from, to, BishopFull[to], BishopFull[from],
                                   own[BISHOP] | own[QUEEN], e.piece);
    case ROOK:
        if (DirectLineAttack(p, from, to, RookFull, their[QUEEN])) return true;
        return SupportedLineAttack(p, c, from, to, RookFull[to], RookFull[from],
                                   own[ROOK] | own[QUEEN], e.piece);
    case QUEEN:
        return SupportedLineAttack(p, c, from, to, RookFull[to], RookFull[from],
                                   own[ROOK] | own[QUEEN], e.piece) ||
               SupportedLineAttack(p, c, from, to, BishopFull[to], BishopFull[from],
                                   own[BISHOP] | own[QUEEN], e.piece);
    default: return false;
    }
}

// A move that gives away material: the piece it lands next to is worth less
// than the mover and the exchange on its square loses.
inline bool IsLosing(Position& p, int side, const MoveEntry& e) {
    int victim = TypeOf(p.board[ToSquare(e.move)]);
    if (PieceUnits[victim] >= PieceUnits[TypeOf(e.piece)]) return false;
    return Swap(p, side, FromSquare(e.move), ToSquare(e.move)) < -74;
}

inline int RepetitionScore(const SearchThread* t, int side, int ply) {
    int gameLength = t->historyCount - (ply - 1);
    int d = searchState.drawScore[side];
    if (gameLength <= 100) return d;
    if (gameLength <= 200) return d / 2;
    return 0;
}

} // namespace

int Search(Position& p, int side, int ply, int depth, int alpha, int beta, int pvNode, Move* pv) {
    SearchThread* t = p.owner;
    // The table is probed after the evaluation, the evaluation caches soon:
    // ask for their entries now.
    if (depth > 0) TTPrefetch(p);
    PrefetchEvalEntries(t, SearchKey(p), side);
    t->nodes++;
    if (t->nodes > t->nodeLimit && t->completedDepth > 1) {
        SetStop(STOP_NOW);
        return 0;
    }
    if (ply > t->seldepth) t->seldepth = uint8_t(ply);
    if (tagKey && p.key == tagKey) ReportStackDump(t);

    alpha = Max(alpha, ply - MATE_SCORE);
    beta = Min(beta, MATE_SCORE - 1 - ply);
    if (alpha >= beta) return alpha;

    StackEntry& e = t->stack[ply];
    e.inIID = e.reduction = e.extended = e.movesSearched = 0;
    e.ttMove = 0;
    e.drawMark = 0;
    e.threat[0] = e.threat[1] = 0;
    e.alpha = int16_t(alpha);
    e.beta = int16_t(beta);
    e.tbResult = -1;
    e.pvNode = uint16_t(pvNode);
    if (ply + 2 < MAX_PLY) {
        StackEntry& grand = t->stack[ply + 2];
        grand.nullKiller = grand.killer1 = grand.killer2 = grand.evasionKiller = 0;
    }
    pv[ply] = pv[ply + 1] = 0;

    int inCheck = InCheck(p, side);

    int draw = DrawTest(p, inCheck, ply <= 3 ? 3 : 2);
    if (draw == 1) return 0;
    if (draw == 2) return RepetitionScore(t, side, ply);

    int tbScore;
    if (ply >= 2 && TbNodeRules(t, ply, depth, alpha, beta, &tbScore)) return tbScore;

    int staticEval = Evaluate(t, side, ply, inCheck);
    e.staticEval = int16_t(staticEval);
    e.depth = int16_t(depth);
    if (ply >= 66) return inCheck ? 0 : staticEval;
    if (e.drawMark && !inCheck) return staticEval;
    if (depth <= 0 && !inCheck) return Quiesce(p, side, ply, depth, alpha, beta, pvNode, pv);

    // Transposition table.
    int ttFailHigh = 0, ttFailLow = 0;
    int ttScore = NO_SCORE, ttDepth = TT_MISS;
    t->ttProbes++;
    TTEntry hit = TTProbe(p);
    if (hit.depth >= -10) {
        t->ttHits++;
        e.ttMove = hit.move;
        ttDepth = hit.depth;
        int score = TTScoreFromEntry(hit.score, ply);
        ttScore = score;
        int bound = hit.bound;
        bool decided = false;
        if (hit.depth >= depth && p.halfmoveClock + depth <= 89 &&
            (!pvNode || (ply >= 12 && (score < -8999 || score > 8999)))) {
            if (score > alpha && bound != BOUND_UPPER) {
                alpha = score;
                if (alpha >= beta) return alpha;
                if (bound == BOUND_LOWER) {
                    ttFailLow = 0;
                    ttFailHigh = score >= beta;
                    decided = true;
                } else {
                    ttFailHigh = 0;
                    ttFailLow = 1;
                    decided = true;
                }
            } else if (score < beta) {
                if (bound != BOUND_LOWER) beta = score;
            }
            if (!decided && alpha >= beta) return alpha;
        }
        if (!decided) {
            ttFailLow = score <= alpha && bound != BOUND_LOWER;
            ttFailHigh = score >= beta && bound != BOUND_UPPER;
        }
    }

    int endgame = p.pieceMat[0] + p.pieceMat[1] <= 3;

    // Razoring: hopeless shallow nodes drop into the quiescence search.
    if (depth <= settings.FP_depth && staticEval <= alpha - settings.FP_margin * depth && !pvNode &&
        !endgame && !inCheck && !ttFailHigh)
        return Quiesce(p, side, ply, depth, alpha, beta, 0, pv);

    // Static beta pruning and ProbCut.
    bool tryProbCut = false;
    if (depth > settings.SEP_depth) {
        tryProbCut = depth >= 5 && staticEval > beta + 24;
    } else if (staticEval > beta + 24) {
        bool nullTest = false;
        if (staticEval >= beta + e.threat[side] / 2 && !endgame && !pvNode && !inCheck &&
            !ttFailLow) {
            if (staticEval >= beta + settings.SEP_margin * depth) return beta;
            if (depth <= 2) {
                if (NoThreat(p, side, staticEval, beta)) return beta;
                nullTest = true;
            }
        }
        if (!nullTest && depth > 4) tryProbCut = true;
    }
    if (tryProbCut && !endgame && !pvNode && !ttFailLow && ProbCut(p, ply, depth - 3, beta + 125))
        return beta;

    // Null move: a fail high cuts shallow nodes and reduces deep ones.
    if (depth >= settings.NMP_depth && staticEval > beta + 11 && !endgame && !pvNode && !inCheck &&
        !ttFailLow && RealMoveBack(t, 1) && RealMoveBack(t, 2)) {
        int r = 3;
        if (depth > 7) r = p.pieceMat[side] >= 6 ? 4 : 3;
        int nullDepth = depth - r > 0 ? depth - r - 1 : 0;
        MakeNullMove(p);
        MoveEntry* null = e.listStart;
        null->move = 0;
        null->score = 0;
        null->piece = null->captured = 0;
        e.listCurrent = null;
        t->stack[ply + 1].listStart = null + 1;
        int score = -Search(p, side ^ 1, ply + 1, nullDepth, -beta, -alpha, pvNode, pv);
        UnmakeNullMove(p);
        if (score >= beta) {
            if (depth <= 4) return beta;
            depth -= 4;
        }
    }

    e.ttScore = int16_t(ttScore);

    // Internal iterative deepening finds a move to try first.
    int iidDepth = (pvNode || depth <= 4) ? depth - 3 : depth - 5 + (depth <= 10 ? 1 : 0);
    if (iidDepth >= 1 && (ttDepth < iidDepth || !e.ttMove) && staticEval >= alpha - 199) {
        e.inIID = 1;
        int s = SearchMoves(p, side, ply, iidDepth, alpha, beta, inCheck, pvNode, pv);
        e.inIID = 0;
        e.ttScore = int16_t(s);
        if (s > alpha) e.ttMove = pv[ply];
    }

    int s = SearchMoves(p, side, ply, depth, alpha, beta, inCheck, pvNode, pv);
    if (s <= alpha) return alpha;
    if (s >= beta) return beta;
    return s;
}

int SearchMoves(Position& p, int side, int ply, int depth, int alpha, int beta, int inCheck,
                int pvNode, Move* pv) {
    SearchThread* t = p.owner;
    StackEntry& e = t->stack[ply];
    const int enteredAlpha = alpha;
    pv[ply] = 0;
    bool lmpOn = depth <= settings.LMP_depth && !inCheck && !e.inIID && !pvNode;
    bool lmrOn = depth >= settings.LMR_depth && !inCheck && (t->iterDepth >> 1) < ply + depth;
    int best = NO_SCORE;
    Move bestMove = 0;
    int failedCount = 0;
    e.movesSearched = 0;
    e.stage = 0;
    const uint8_t budget = t->extensionBudget;
    const int lmrRow = depth < 70 ? depth : 69;
    Move localPv[MAX_PLY];
    localPv[0] = 0;
    NodePins pins;
    CheckInfo checks;

    while (MoveEntry* me = NextMove(p, inCheck)) {
        const Move m = me->move;
        if (!m) continue;
        if (m == e.ttMove && e.movesSearched > 0) continue;
        if (!IsLegalInNode(p, side, m, inCheck, pins)) continue;
        const int piece = me->piece;
        const int order = me->score;
        const bool capture = me->captured != 0;
        const int to = ToSquare(m);

        int flags = inCheck ? 0 : MoveFlags(p, side, *me, checks);
        e.moveFlags = uint16_t(flags);

        // Late move pruning.
        if (lmpOn && best > -WIN_BOUND && flags == 0 && failedCount > settings.LMP_count * depth) {
            if (!IsCastling(*me) && order < 40 &&
                !(AttacksSomethingBigger(p, *me) && SeeCaptureOk(p, m)))
                continue;
        }

        // Late move reduction.
        int r = 0;
        if (lmrOn && best > -WIN_BOUND) {
            bool losing = IsLosing(p, side, *me);
            bool useTable;
            if (losing) {
                useTable = flags == 0;
                if (!useTable)
                    r = (flags & MF_DISCOVERED)                        ? 0
                        : ((flags & MF_CAPTURE) && (flags & MF_CHECK)) ? 0
                                                                       : 1;
            } else {
                useTable = flags == 0 && order < 40;
            }
            if (useTable) {
                int i = failedCount < 31 ? failedCount : 31;
                r = pvNode ? lmrPv[lmrRow][i] : lmrNonPv[lmrRow][i];
                if (i > 4 && order <= 20 && r <= 2 &&
                    (losing || e.staticEval < t->stack[ply - 2].staticEval - 150))
                    r++;
                if (depth - r < 1) r = depth - 1;
            }
        }

        // Extensions in sixteenths of a ply; whole plies are paid from the budget.
        int extension = 0;
        if (!inCheck) {
            int ext16 = 0;
            if ((flags & MF_DISCOVERED) ||
                ((flags & (MF_CHECK | MF_SEVENTH)) && SeeCaptureOk(p, m)))
                ext16 = 16;
            else if (flags & MF_CAPTURE)
                ext16 = ply < 6 ? 8 : 4;
            if (depth >= 2 && !pvNode) ext16 /= 2;
            int b = t->extensionBudget + ext16;
            if (b >= 16) {
                b -= 16;
                extension = 1;
                r = 0;
            }
            t->extensionBudget = uint8_t(b);
        }
        e.extended = uint16_t(extension);
        e.reduction = uint16_t(r);

        MakeMove(p, m);
        int newDepth = depth + extension;
        int score;
        if (best == NO_SCORE || newDepth < 2) {
            score = -Search(p, side ^ 1, ply + 1, newDepth - 1, -beta, -alpha, pvNode, localPv);
        } else {
            score = -Search(p, side ^ 1, ply + 1, newDepth - r - 1, -alpha - 1, -alpha, 0, localPv);
            if (score > alpha) {
                if (!inCheck && !capture) HistoryReward(t, piece, to);
                score = -Search(p, side ^ 1, ply + 1, newDepth - 1, -beta, -alpha, pvNode, localPv);
            }
        }
        UnmakeMove(p);
        t->extensionBudget = budget;
        if (StopFlag()) return 0;
        e.movesSearched++;

        if (score <= alpha) {
            failedCount++;
            if (!inCheck && !capture) HistoryPenalty(t, piece, to);
        } else if (!inCheck && !capture) {
            HistoryReward(t, piece, to);
            if (depth > 3 && score >= beta) HistoryReward(t, piece, to);
        }

        if (score > best) {
            best = score;
            bestMove = m;
            pv[ply] = m;
            pv[ply + 1] = 0;
            if (score > alpha) alpha = score;
            if (score >= beta) break;
            CopyPv(pv, localPv, ply + 1);
        }
    }

    if (e.movesSearched == 0) best = inCheck ? ply - MATE_SCORE : searchState.drawScore[side];

    if (depth >= 0) {
        TTStore(p, ply, depth, enteredAlpha, beta, best, bestMove);
        // Killers and counter move for quiet cutoff moves.
        if (best >= beta && bestMove && !p.board[ToSquare(bestMove)]) {
            bool afterNull = t->lastMove == 0;
            bool done = false;
            if (!inCheck) {
                if (afterNull) {
                    e.nullKiller = bestMove;
                    done = true;
                } else if (bestMove != e.killer1) {
                    e.killer2 = e.killer1;
                    e.killer1 = bestMove;
                }
            } else {
                e.evasionKiller = bestMove;
                done = afterNull;
            }
            if (!done) {
                int prevTo = ToSquare(t->lastMove);
                t->counterMove[p.board[prevTo] * 64 + prevTo] = bestMove;
            }
        }
    }
    e.bestMove = bestMove;
    e.bestScore = int16_t(best);
    return best;
}

int ProbCut(Position& p, int ply, int depth, int bound) {
    SearchThread* t = p.owner;
    StackEntry& e = t->stack[ply];
    MoveEntry* start = e.listStart;
    MoveEntry* end = GenPawnCaptures(p, p.side, start);
    end = GenPieceCaptures(p, p.side, end);
    end->move = END_OF_LIST;
    end->piece = end->captured = 0;
    if (ply + 1 < MAX_PLY) t->stack[ply + 1].listStart = end + 1;
    ScoreMoves(p, start);
    Move localPv[MAX_PLY];
    for (MoveEntry* me = start; me->move != END_OF_LIST; me++) {
        PickBest(me);
        Move m = me->move;
        if (!IsLegal(p, p.side, m)) continue;
        if (Swap(p, p.side, FromSquare(m), ToSquare(m)) <= 99) continue;
        e.listCurrent = me;
        int side = p.side;
        MakeMove(p, m);
        int score = -Search(p, side ^ 1, ply + 1, depth - 1, -bound, 1 - bound, 0, localPv);
        UnmakeMove(p);
        if (score >= bound) return 1;
    }
    return 0;
}
