#include "search/ordering.h"

#include <cmath>
#include <cstdio>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/movegen.h"
#include "board/see.h"
#include "eval/settings.h"

uint8_t lmrPv[70][32];
uint8_t lmrNonPv[70][32];

const int VictimValue[8] = {200, 210, 220, 220, 230, 240, 250, 200};
const int AttackerValue[8] = {0, 1, 2, 3, 4, 5, 6, 0};

namespace {

// Squares in front of a square on its own and the adjacent files, per colour.
Bitboard PassedMask[2][64];

constexpr int GOOD_CAPTURE = 180;
constexpr int UNDERPROMOTION = 8;
constexpr int LOSING_CAPTURE = 8;
constexpr int RECAPTURE_BONUS = 7;

struct PassedMaskInit {
    PassedMaskInit() {
        for (int sq = 0; sq < 64; sq++) {
            int file = FileOf(sq), rank = RankOf(sq);
            Bitboard white = 0, black = 0;
            for (int f = file - 1; f <= file + 1; f++) {
                if (f < 0 || f > 7) continue;
                for (int r = rank + 1; r < 8; r++) white |= SquareBit(r * 8 + f);
                for (int r = rank - 1; r >= 0; r--) black |= SquareBit(r * 8 + f);
            }
            PassedMask[WHITE][sq] = white;
            PassedMask[BLACK][sq] = black;
        }
    }
} passedMaskInit;

inline bool IsUnderpromotion(Move m) {
    return (m & (PROMO_KNIGHT | PROMO_BISHOP | PROMO_ROOK)) != 0;
}

// A capture of a piece worth less than the mover that loses material.
inline bool LosingCapture(Position& p, const MoveEntry& e) {
    int victim = e.captured & 7, mover = e.piece & 7;
    if (PieceUnits[victim] >= PieceUnits[mover]) return false;
    return Swap(p, ColourOf(e.piece), FromSquare(e.move), ToSquare(e.move)) < -74;
}

inline MoveEntry* Terminate(SearchThread* t, MoveEntry* end) {
    end->move = END_OF_LIST;
    end->piece = end->captured = 0;
    if (t->ply + 1 < MAX_PLY) t->stack[t->ply + 1].listStart = end + 1;
    return end;
}

inline MoveEntry* ListEnd(MoveEntry* e) {
    while (e->move != END_OF_LIST) e++;
    return e;
}

void ScoreCaptures(SearchThread* t, Position& p, MoveEntry* e) {
    int recapture = t->lastMove ? ToSquare(t->lastMove) : -1;
    for (; e->move != END_OF_LIST; e++) {
        int s;
        if (IsUnderpromotion(e->move))
            s = UNDERPROMOTION;
        else if (e->captured && LosingCapture(p, *e))
            s = LOSING_CAPTURE + (e->captured & 7);
        else
            s = MvvLva(*e);
        if (ToSquare(e->move) == recapture) s += RECAPTURE_BONUS;
        e->score = uint16_t(s);
    }
}

void ScoreQuiets(SearchThread* t, MoveEntry* e, int inCheck) {
    const StackEntry& se = t->stack[t->ply];
    Move counter = CounterOf(t);
    for (; e->move != END_OF_LIST; e++) {
        Move m = e->move;
        int s;
        if (inCheck) {
            s = m == se.evasionKiller ? 90 : (counter && m == counter) ? 70 : 1;
        } else {
            s = HistoryOf(t, e->piece, ToSquare(m)) / 128;
            if (m == se.nullKiller || m == se.killer1 || (counter && m == counter))
                s += 64;
            else if (m == se.killer2)
                s += 54;
        }
        e->score = uint16_t(s);
    }
}

} // namespace

Move CounterOf(SearchThread* t) {
    if (!t->lastMove) return 0;
    int to = ToSquare(t->lastMove);
    return t->counterMove[t->pos.board[to] * 64 + to];
}

void ResetOrdering(SearchThread* t) {
    for (int16_t& h : t->historyTable) h = HISTORY_START;
    for (uint16_t& c : t->counterMove) c = 0;
}

void PickBest(MoveEntry* e) {
    // Without branches on the scores, which come in no predictable order.
    uintptr_t best = reinterpret_cast<uintptr_t>(e);
    unsigned bestScore = e->score;
    for (MoveEntry* x = e + 1; x->move != END_OF_LIST; x++) {
        unsigned s = x->score;
        uintptr_t higher = uintptr_t(0) - uintptr_t(s > bestScore);
        best = (reinterpret_cast<uintptr_t>(x) & higher) | (best & ~higher);
        bestScore = s > bestScore ? s : bestScore;
    }
    MoveEntry* b = reinterpret_cast<MoveEntry*>(best);
    if (b != e) {
        MoveEntry tmp = *e;
        *e = *b;
        *b = tmp;
    }
}

MoveEntry* NextMove(Position& p, int inCheck) {
    SearchThread* t = p.owner;
    StackEntry& se = t->stack[t->ply];
    switch (se.stage) {
    case STAGE_HASH:
        se.stage = STAGE_CAPTURES;
        if (se.ttMove) {
            MoveEntry* e = se.listStart;
            e->move = se.ttMove;
            e->score = 255;
            e->piece = p.board[FromSquare(se.ttMove)];
            // A Chess960 castling lands on its own rook: no capture.
            int victim = p.board[ToSquare(se.ttMove)];
            e->captured = uint8_t(ColourOf(victim) == p.side ? 0 : victim);
            Terminate(t, e + 1);
            se.listCurrent = e + 1;
            return e;
        }
        se.listCurrent = se.listStart;
        [[fallthrough]];
    case STAGE_CAPTURES: {
        MoveEntry* start = se.listCurrent;
        MoveEntry* end = GenPawnCaptures(p, p.side, start);
        end = GenPieceCaptures(p, p.side, end);
        end = GenPromotions(p, p.side, 1, end);
        Terminate(t, end);
        ScoreCaptures(t, p, start);
        se.stage = STAGE_GOOD_CAPTURES;
    }
        [[fallthrough]];
    case STAGE_GOOD_CAPTURES:
        if (se.listCurrent->move != END_OF_LIST) {
            PickBest(se.listCurrent);
            if (se.listCurrent->score > GOOD_CAPTURE) return se.listCurrent++;
        }
        [[fallthrough]];
    case STAGE_QUIETS: {
        MoveEntry* start = ListEnd(se.listCurrent);
        MoveEntry* end = GenQuiets(p, p.side, start);
        Terminate(t, end);
        ScoreQuiets(t, start, inCheck);
        se.stage = STAGE_REST;
    }
        [[fallthrough]];
    case STAGE_REST:
        if (se.listCurrent->move == END_OF_LIST) return nullptr;
        PickBest(se.listCurrent);
        if (se.listCurrent->score <= 3 || se.movesSearched > 15) se.stage = STAGE_TAIL;
        return se.listCurrent++;
    case STAGE_TAIL:
        if (se.listCurrent->move == END_OF_LIST) return nullptr;
        return se.listCurrent++;
    default: return nullptr;
    }
}

void ScoreMoves(Position& p, MoveEntry* e) {
    SearchThread* t = p.owner;
    const StackEntry& se = t->stack[t->ply];
    Move counter = CounterOf(t);
    for (; e->move != END_OF_LIST; e++) {
        Move m = e->move;
        int s;
        if (m == se.ttMove && m)
            s = 255;
        else if (e->captured || (m & PROMO_QUEEN))
            s = MvvLva(*e);
        else {
            s = HistoryOf(t, e->piece, ToSquare(m)) / 128;
            if (m == se.nullKiller || m == se.killer1 || m == se.killer2 ||
                (counter && m == counter))
                s += 64;
        }
        e->score = uint16_t(s);
    }
}

int MoveFlags(const Position& p, int side, const MoveEntry& e, CheckInfo& checks) {
    int g = GivesCheck(p, side, e, checks);
    int flags = g == 0 ? 0 : g == 1 ? MF_CHECK : MF_CHECK | MF_DISCOVERED;
    bool pawn = TypeOf(e.piece) == PAWN;
    int to = ToSquare(e.move);
    if (e.captured) {
        if (!pawn) return flags | MF_CAPTURE;
        flags |= MF_CAPTURE;
    } else {
        if (!pawn) return flags;
        if (to == p.epSquare) flags |= MF_CAPTURE;
    }
    if (e.move & PROMO_QUEEN) return flags | MF_QUEEN_PROMO;
    int r = (to ^ RankFlip[side]) >> 3;
    if (r == 6) return flags | MF_SEVENTH;
    if (r == 7) return flags | MF_PASSER;
    if (r == 4 || r == 5) {
        if (!(PassedMask[side][to] & p.bb[PieceCode(side ^ 1, PAWN)])) return flags | MF_PASSER;
    }
    return flags;
}

void BuildReductionTables() {
    double f = std::sqrt(double(settings.LMR_strength)) * 0.1 * 0.55;
    for (int d = 0; d < 70; d++) {
        for (int m = 0; m < 32; m++) {
            if (m <= 1 || d <= 2) {
                lmrPv[d][m] = lmrNonPv[d][m] = 0;
                continue;
            }
            double x = std::sqrt(double(d + m)) - 2.5;
            int pv = int(std::round(f * x));
            if (pv > d - 3) pv = d - 3;
            if (pv < 0) pv = 0;
            if (pv > 2) pv = 2;
            int nonPv = int(std::round(f * x + 1.2));
            if (nonPv > d - 2) nonPv = d - 2;
            if (nonPv < 0) nonPv = 0;
            if (nonPv > 3) nonPv = 3;
            lmrPv[d][m] = uint8_t(pv);
            lmrNonPv[d][m] = uint8_t(nonPv);
        }
    }
}

void PrintReductionTables() {
    for (int table = 0; table < 2; table++) {
        if (table) printf("\n");
        for (int d = 1; d <= 30; d++) {
            printf("%2d  ", d);
            for (int m = 0; m < 32; m++) printf("%d ", table ? lmrNonPv[d][m] : lmrPv[d][m]);
            printf("\n");
        }
    }
    fflush(stdout);
}
