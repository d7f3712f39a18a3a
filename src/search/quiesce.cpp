// The quiescence search: captures and queen promotions, and at its first ply
// quiet checks and pawn pushes to the seventh rank. Every move is searched by
// the node search one ply deeper, so checks get a full evasion search there.
#include "board/attacks.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"

namespace {

constexpr int Q_CAPTURES = 3;
constexpr int Q_CHECKS = 4;
constexpr int Q_TAIL = 7;

inline MoveEntry* Add(const Position& p, MoveEntry* list, int from, int to) {
    list->move = MakeMoveCode(from, to);
    list->score = 3;
    list->piece = p.board[from];
    list->captured = 0;
    return list + 1;
}

// Moves of the pieces in `pieces` onto the target squares they attack.
template <Bitboard (*Attacks)(int, Bitboard)>
MoveEntry* SliderChecks(const Position& p, MoveEntry* list, const uint8_t* pieces, Bitboard targets,
                        Bitboard occ) {
    for (; *pieces != NO_SQUARE; pieces++) {
        int from = *pieces;
        for (Bitboard b = Attacks(from, occ) & targets; b;) list = Add(p, list, from, PopLowest(b));
    }
    return list;
}

// Quiet moves that give a direct check, then pawn pushes to the seventh rank.
MoveEntry* GenQuietChecks(const Position& p, int c, MoveEntry* list) {
    int ks = KingSquare(p, c ^ 1);
    Bitboard occ = Occupancy(p);
    Bitboard empty = ~occ;
    int push = PawnPush[c];

    Bitboard knightTargets = KnightAttacks[ks] & empty;
    for (const uint8_t* s = p.pieceList[PieceCode(c, KNIGHT)]; *s != NO_SQUARE; s++) {
        Bitboard b = KnightAttacks[*s] & knightTargets;
        while (b) list = Add(p, list, *s, PopLowest(b));
    }

    Bitboard pawnChecks = 0;
    for (const uint8_t* s = p.pieceList[PieceCode(c, PAWN)]; *s != NO_SQUARE; s++) {
        int from = *s;
        if (((from ^ RankFlip[c]) >> 3) == 6) continue; // promotions are captures' business
        int to = from + push;
        if (p.board[to] || !(PawnAttacks[c][to] & SquareBit(ks))) continue;
        list = Add(p, list, from, to);
        pawnChecks |= SquareBit(to);
    }

    const Bitboard* own = p.bb + 8 * c;
    Bitboard diag = 0, straight = 0;
    if (own[BISHOP] | own[QUEEN]) {
        diag = BishopAttacks(ks, occ) & empty;
        list = SliderChecks<BishopAttacks>(p, list, p.pieceList[PieceCode(c, BISHOP)], diag, occ);
    }
    if (own[ROOK] | own[QUEEN]) {
        straight = RookAttacks(ks, occ) & empty;
        list = SliderChecks<RookAttacks>(p, list, p.pieceList[PieceCode(c, ROOK)], straight, occ);
    }
    // A queen reaches either kind of checking square along either kind of line.
    list =
        SliderChecks<QueenAttacks>(p, list, p.pieceList[PieceCode(c, QUEEN)], diag | straight, occ);

    for (const uint8_t* s = p.pieceList[PieceCode(c, PAWN)]; *s != NO_SQUARE; s++) {
        int from = *s;
        if (((from ^ RankFlip[c]) >> 3) != 5) continue;
        int to = from + push;
        if (!p.board[to] && !(pawnChecks & SquareBit(to))) list = Add(p, list, from, to);
    }
    return list;
}

inline MoveEntry* Terminate(SearchThread* t, int ply, MoveEntry* end) {
    end->move = END_OF_LIST;
    end->piece = end->captured = 0;
    if (ply + 1 < MAX_PLY) t->stack[ply + 1].listStart = end + 1;
    return end;
}

// Next move of the quiescence stages, or nullptr at the end of the list.
MoveEntry* NextQuiet(Position& p, int ply, int depth) {
    SearchThread* t = p.owner;
    StackEntry& e = t->stack[ply];
    for (;;) {
        switch (e.stage) {
        case 0: {
            MoveEntry* start = e.listStart;
            MoveEntry* end = GenPawnCaptures(p, p.side, start);
            end = GenPieceCaptures(p, p.side, end);
            end = GenPromotions(p, p.side, 0, end);
            Terminate(t, ply, end);
            int recapture = t->lastMove ? ToSquare(t->lastMove) : -1;
            for (MoveEntry* x = start; x != end; x++)
                x->score = uint16_t(MvvLva(*x) + (ToSquare(x->move) == recapture ? 7 : 0));
            e.listCurrent = start;
            e.stage = start == end ? Q_CHECKS : Q_CAPTURES;
            break;
        }
        case Q_CAPTURES:
            if (e.listCurrent->move != END_OF_LIST) {
                PickBest(e.listCurrent);
                return e.listCurrent++;
            }
            e.stage = Q_CHECKS;
            break;
        case Q_CHECKS: {
            if (depth < 0) return nullptr;
            MoveEntry* start = e.listCurrent;
            Terminate(t, ply, GenQuietChecks(p, p.side, start));
            e.stage = Q_TAIL;
            break;
        }
        default:
            if (e.listCurrent->move != END_OF_LIST) return e.listCurrent++;
            return nullptr;
        }
    }
}

} // namespace

int Quiesce(Position& p, int side, int ply, int depth, int alpha, int beta, int pvNode, Move* pv) {
    SearchThread* t = p.owner;
    StackEntry& e = t->stack[ply];
    int standPat = e.staticEval;
    if (standPat >= beta) return beta;
    if (standPat > alpha) alpha = standPat;
    int margin = (pvNode || depth > 0) ? 250 : 150;
    e.stage = 0;
    int enemy = side ^ 1;
    int recapture = t->lastMove ? ToSquare(t->lastMove) : -1;
    Move localPv[MAX_PLY];
    localPv[0] = 0;
    NodePins pins; // the node search enters here only out of check
    CheckInfo checks;

    while (MoveEntry* me = NextQuiet(p, ply, depth)) {
        const Move m = me->move;
        const int to = ToSquare(m);
        if (depth < -4 && to != recapture) continue;
        int g = GivesCheck(p, side, *me, checks);
        int mover = TypeOf(me->piece);
        int victim = TypeOf(me->captured);

        // Delta pruning: even winning the victim cannot lift the score to alpha.
        if (g == 0 && !(mover == PAWN && ((to ^ RankFlip[side]) >> 3) >= 6)) {
            bool exempt = false;
            if (victim) {
                int pawnsKept = PopCount(p.bb[PieceCode(enemy, PAWN)]);
                int matKept = p.pieceMat[enemy];
                if (victim == PAWN)
                    pawnsKept--;
                else
                    matKept -= PieceUnits[victim];
                exempt = pawnsKept == 0 && matKept <= p.pieceMat[side] + 3;
            }
            if (!exempt && standPat + SeeValue[victim] <= alpha - margin) continue;
        }

        // Exchange pruning.
        if (g != 2 && PieceUnits[victim] < PieceUnits[mover] &&
            Swap(p, side, FromSquare(m), to) < -74)
            continue;

        if (!m || !IsLegalInNode(p, side, m, 0, pins)) continue;
        MakeMove(p, m);
        int score = -Search(p, enemy, ply + 1, depth - 1, -beta, -alpha, pvNode, localPv);
        UnmakeMove(p);
        if (score > alpha) {
            pv[ply] = m;
            pv[ply + 1] = 0;
            if (score >= beta) return score;
            alpha = score;
            for (int i = ply + 1; i < MAX_PLY; i++) {
                pv[i] = localPv[i];
                if (!localPv[i]) break;
            }
        }
    }
    return alpha;
}
