// The probes proper: a small move generator over the prober's position, the
// capture search that makes the stored WDL values exact, the DTZ probe with its
// one-ply search, and the root probe that values every legal move.
#include <cstring>

#include "board/attacks.h"
#include "board/bitops.h"
#include "tablebase/tbprobe.h"

static const int TB_MAX_MOVES = 256;
static const int BEST_NONE = 0xFFFF;
static const int WdlToDtz[5] = {-1, -101, 0, 101, 1};

static inline Bitboard Side(const TbPos& p, int colour) { return colour ? p.black : p.white; }
static inline int Us(const TbPos& p) { return p.turn ? 0 : 1; }
static inline TbMove MakeTbMove(int from, int to, int promo) {
    return TbMove(to | (from << 6) | (promo << 12));
}
static inline int TbFrom(TbMove m) { return (m >> 6) & 63; }
static inline int TbTo(TbMove m) { return m & 63; }
static inline int TbPromo(TbMove m) { return (m >> 12) & 7; }

static int Attacked(const TbPos& p, int sq, int byColour) {
    Bitboard them = Side(p, byColour);
    Bitboard occ = p.white | p.black;
    if (KnightAttacks[sq] & p.knights & them) return 1;
    if (KingAttacks[sq] & p.kings & them) return 1;
    if (PawnAttacks[byColour ^ 1][sq] & p.pawns & them) return 1;
    if (RookAttacks(sq, occ) & (p.rooks | p.queens) & them) return 1;
    if (BishopAttacks(sq, occ) & (p.bishops | p.queens) & them) return 1;
    return 0;
}

static int InCheck(const TbPos& p) {
    int us = Us(p);
    Bitboard k = p.kings & Side(p, us);
    return k ? Attacked(p, BitScan(k), us ^ 1) : 0;
}

static TbMove* AddPawnMove(TbMove* out, int from, int to) {
    if (to >= 56 || to < 8) {
        for (int promo = 1; promo <= 4; promo++) *out++ = MakeTbMove(from, to, promo);
    } else {
        *out++ = MakeTbMove(from, to, 0);
    }
    return out;
}

enum GenKind { GEN_ALL, GEN_CAPTURES, GEN_EP };

// Pseudo-legal moves: all of them, the captures without en passant (all
// promotion pieces), or the en-passant captures alone.
static TbMove* Generate(const TbPos& p, TbMove* out, GenKind kind) {
    int us = Us(p);
    Bitboard own = Side(p, us), them = Side(p, us ^ 1), occ = own | them;
    if (kind != GEN_EP) {
        Bitboard targets = kind == GEN_CAPTURES ? them : ~own;
        Bitboard pieces = own & ~p.pawns;
        while (pieces) {
            int from = PopLowest(pieces);
            Bitboard bit = SquareBit(from), att;
            if (bit & p.kings)
                att = KingAttacks[from];
            else if (bit & p.knights)
                att = KnightAttacks[from];
            else if (bit & p.bishops)
                att = BishopAttacks(from, occ);
            else if (bit & p.rooks)
                att = RookAttacks(from, occ);
            else
                att = QueenAttacks(from, occ);
            att &= targets;
            while (att) *out++ = MakeTbMove(from, PopLowest(att), 0);
        }
    }
    int push = us == 0 ? 8 : -8;
    Bitboard pawns = own & p.pawns;
    while (pawns) {
        int from = PopLowest(pawns);
        if (kind == GEN_EP) {
            if (p.ep && (PawnAttacks[us][from] & SquareBit(p.ep)))
                *out++ = MakeTbMove(from, p.ep, 0);
            continue;
        }
        Bitboard caps = PawnAttacks[us][from] & them;
        while (caps) out = AddPawnMove(out, from, PopLowest(caps));
        if (kind == GEN_CAPTURES) continue;
        if (p.ep && (PawnAttacks[us][from] & SquareBit(p.ep))) *out++ = MakeTbMove(from, p.ep, 0);
        int to = from + push;
        if (occ & SquareBit(to)) continue;
        out = AddPawnMove(out, from, to);
        int startRank = us == 0 ? 1 : 6;
        if ((from >> 3) == startRank && !(occ & SquareBit(to + push)))
            *out++ = MakeTbMove(from, to + push, 0);
    }
    return out;
}

static inline int IsCapture(const TbPos& p, TbMove m) {
    return ((p.white | p.black) & SquareBit(TbTo(m))) != 0 ||
           (p.ep && TbTo(m) == p.ep && (p.pawns & SquareBit(TbFrom(m))));
}

static inline int IsEnPassant(const TbPos& p, TbMove m) {
    return p.ep && TbTo(m) == p.ep && (p.pawns & SquareBit(TbFrom(m))) &&
           !((p.white | p.black) & SquareBit(p.ep));
}

// Makes m on a copy; 0 when it leaves the mover's king attacked.
static int DoMove(const TbPos& p, TbMove m, TbPos* c) {
    *c = p;
    int us = Us(p);
    int from = TbFrom(m), to = TbTo(m), promo = TbPromo(m);
    Bitboard fromBit = SquareBit(from), toBit = SquareBit(to);
    int pawnMove = (p.pawns & fromBit) != 0;
    int capture = ((p.white | p.black) & toBit) != 0;
    Bitboard* sets[6] = {&c->pawns, &c->knights, &c->bishops, &c->rooks, &c->queens, &c->kings};
    if (capture) {
        for (Bitboard* s : sets) *s &= ~toBit;
        c->white &= ~toBit;
        c->black &= ~toBit;
    } else if (pawnMove && p.ep && to == p.ep) {
        Bitboard victim = SquareBit(us == 0 ? to - 8 : to + 8);
        c->pawns &= ~victim;
        c->white &= ~victim;
        c->black &= ~victim;
        capture = 1;
    }
    for (Bitboard* s : sets)
        if (*s & fromBit) *s ^= fromBit | toBit;
    if (us == 0)
        c->white ^= fromBit | toBit;
    else
        c->black ^= fromBit | toBit;
    if (promo) {
        c->pawns &= ~toBit;
        Bitboard* promoted[5] = {nullptr, &c->queens, &c->rooks, &c->bishops, &c->knights};
        *promoted[promo] |= toBit;
    }
    c->rule50 = (capture || pawnMove) ? 0 : uint8_t(p.rule50 + 1);
    c->ep = 0;
    if (pawnMove && (to - from == 16 || from - to == 16)) {
        int ep = (from + to) / 2;
        // Only a square that an enemy pawn can actually take on counts.
        if (PawnAttacks[us][ep] & c->pawns & Side(*c, us ^ 1)) c->ep = uint8_t(ep);
    }
    c->turn = p.turn ? 0 : 1;
    Bitboard king = c->kings & Side(*c, us);
    return king && !Attacked(*c, BitScan(king), us ^ 1);
}

static int HasLegalMove(const TbPos& p, int skipEnPassant) {
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = Generate(p, moves, GEN_ALL);
    TbPos c;
    for (TbMove* m = moves; m < end; m++) {
        if (skipEnPassant && IsEnPassant(p, *m)) continue;
        if (DoMove(p, *m, &c)) return 1;
    }
    return 0;
}

static int IsMate(const TbPos& p) { return InCheck(p) && !HasLegalMove(p, 0); }

// Alpha-beta over captures: a stored value only has to be right when no
// capture does at least as well, so the captures are searched first.
static int ProbeAb(const TbPos& p, int alpha, int beta, int* success) {
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = Generate(p, moves, GEN_CAPTURES);
    TbPos c;
    for (TbMove* m = moves; m < end; m++) {
        if (!DoMove(p, *m, &c)) continue;
        int v = -ProbeAb(c, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            alpha = v;
            if (alpha >= beta) break;
        }
    }
    int v = TbProbeTableWdl(p, success);
    if (*success == 0) return 0;
    if (v > alpha) {
        *success = 1;
        return v;
    }
    *success = alpha > 0 ? 2 : 1;
    return alpha;
}

// Best value of the legal en-passant captures, -3 when there is none.
static int BestEnPassant(const TbPos& p, int* success) {
    TbMove moves[8];
    TbMove* end = Generate(p, moves, GEN_EP);
    int best = -3;
    TbPos c;
    for (TbMove* m = moves; m < end; m++) {
        if (!DoMove(p, *m, &c)) continue;
        int v = -ProbeAb(c, -2, 2, success);
        if (*success == 0) return -3;
        if (v > best) best = v;
    }
    return best;
}

int ProbeWdl(const TbPos& p, int* success) {
    *success = 1;
    int v = ProbeAb(p, -2, 2, success);
    if (!p.ep || *success == 0) return *success ? v : 0;
    int code = *success;
    int e = BestEnPassant(p, success);
    if (*success == 0) return 0;
    *success = code;
    if (e == -3) return v;
    if (e >= v) {
        if (e > 0) *success = 2;
        return e;
    }
    // A drawn position where only en-passant captures may be played takes their value.
    if (v == 0 && !HasLegalMove(p, 1)) return e;
    return v;
}

static int ProbeDtzNoEp(const TbPos& p, int* success) {
    *success = 1;
    int wdl = ProbeAb(p, -2, 2, success);
    if (*success == 0 || wdl == 0) return 0;
    if (*success == 2) {
        *success = 1;
        return WdlToDtz[wdl + 2];
    }

    TbMove moves[TB_MAX_MOVES];
    TbMove* end = Generate(p, moves, GEN_ALL);
    TbPos c;
    if (wdl > 0) {
        // A pawn push that keeps the win zeroes at once.
        for (TbMove* m = moves; m < end; m++) {
            if (!(p.pawns & SquareBit(TbFrom(*m))) || IsCapture(p, *m)) continue;
            if (!DoMove(p, *m, &c)) continue;
            int v = -ProbeWdl(c, success);
            if (*success == 0) return 0;
            if (v == wdl) return WdlToDtz[wdl + 2];
        }
    }
    int dtz = TbProbeTableDtz(p, wdl, success);
    if (*success >= 0) {
        if (*success == 0) return 0;
        return WdlToDtz[wdl + 2] + (wdl > 0 ? dtz : -dtz);
    }

    // The table holds only the other side to move: search one ply.
    *success = 1;
    if (wdl > 0) {
        int best = BEST_NONE;
        for (TbMove* m = moves; m < end; m++) {
            if ((p.pawns & SquareBit(TbFrom(*m))) || IsCapture(p, *m)) continue;
            if (!DoMove(p, *m, &c)) continue;
            int v = -ProbeDtz(c, success);
            if (*success == 0) return 0;
            if (v <= 0) continue;
            // A mate ends the game at once, like a zeroing move.
            int candidate = (v == 1 && IsMate(c)) ? 1 : v + 1;
            if (candidate < best) best = candidate;
        }
        if (best == BEST_NONE) {
            *success = 0; // inconsistent tables
            return 0;
        }
        return best;
    }
    int best = -1;
    for (TbMove* m = moves; m < end; m++) {
        if (!DoMove(p, *m, &c)) continue;
        int v;
        if (c.rule50 == 0) {
            if (wdl == -2) {
                v = -1;
            } else {
                v = ProbeAb(c, 1, 2, success);
                v = v == 2 ? 0 : -101;
            }
        } else {
            v = -ProbeDtz(c, success) - 1;
        }
        if (*success == 0) return 0;
        if (v < best) best = v;
    }
    return best;
}

int ProbeDtz(const TbPos& p, int* success) {
    int v = ProbeDtzNoEp(p, success);
    if (!p.ep || *success == 0) return *success ? v : 0;
    int e = BestEnPassant(p, success);
    if (*success == 0) return 0;
    *success = 1;
    if (e == -3) return v;
    int d = WdlToDtz[e + 2];
    // Take the en-passant outcome where it is better for the side to move.
    if (v < -100) {
        if (d >= 0) v = d;
    } else if (v < 0) {
        if (d >= 0 || d < -100) v = d;
    } else if (v > 100) {
        if (d > 0) v = d;
    } else if (v > 0) {
        if (d == 1) v = d;
    } else if (d >= 0) {
        v = d;
    } else if (!HasLegalMove(p, 1)) {
        v = d;
    }
    return v;
}

static int WdlCode(int v, int c) {
    if (v > 0) return v + c <= 100 ? 4 : 3;
    if (v < 0) return c - v <= 100 ? 0 : 1;
    return 2;
}

static uint32_t PackResult(const TbPos& p, TbMove m, int wdlCode, int dtz) {
    if (dtz < 0) dtz = -dtz;
    if (dtz > 4095) dtz = 4095;
    return uint32_t(wdlCode) | (uint32_t(TbTo(m)) << 4) | (uint32_t(TbFrom(m)) << 10) |
           (uint32_t(TbPromo(m)) << 16) | (uint32_t(IsEnPassant(p, m)) << 19) |
           (uint32_t(dtz) << 20);
}

uint32_t ProbeRoot(const TbPos& p, uint32_t* results) {
    results[0] = TB_RESULT_FAILED;
    int success;
    int d = ProbeDtz(p, &success);
    if (!success) return TB_RESULT_FAILED;

    TbMove moves[TB_MAX_MOVES];
    int values[TB_MAX_MOVES];
    int valid[TB_MAX_MOVES];
    TbMove* end = Generate(p, moves, GEN_ALL);
    int n = int(end - moves);
    int c = p.rule50;
    int count = 0;
    TbPos child;
    for (int i = 0; i < n; i++) {
        valid[i] = 0;
        if (!DoMove(p, moves[i], &child)) continue;
        int v = 0, ok = 0;
        if (child.rule50 != 0) {
            int cd = ProbeDtz(child, &ok);
            if (ok) {
                v = -cd;
                if (v > 0)
                    v = IsMate(child) ? 1 : v + 1;
                else if (v < 0)
                    v--;
            }
        }
        if (!ok) {
            int w = ProbeWdl(child, &ok);
            if (ok) v = WdlToDtz[2 - w];
        }
        if (!ok) continue;
        valid[i] = 1;
        values[i] = v;
        if (count < TB_MAX_ROOT_RESULTS - 1)
            results[count++] = PackResult(p, moves[i], WdlCode(v, c), v);
    }
    results[count] = TB_RESULT_FAILED;

    int chosen = -1;
    if (d > 0) {
        int best = BEST_NONE;
        for (int i = 0; i < n; i++)
            if (valid[i] && values[i] > 0 && values[i] < best) {
                best = values[i];
                chosen = i;
            }
    } else if (d < 0) {
        int best = 0;
        for (int i = 0; i < n; i++)
            if (valid[i] && values[i] < best) {
                best = values[i];
                chosen = i;
            }
    } else {
        int draws = 0;
        for (int i = 0; i < n; i++) draws += valid[i] && values[i] == 0;
        if (draws > 0) {
            uint64_t k = TbMaterialKey(p, p.turn ? 0 : 1) % uint64_t(draws);
            for (int i = 0; i < n; i++)
                if (valid[i] && values[i] == 0 && k-- == 0) {
                    chosen = i;
                    break;
                }
        }
    }
    if (chosen < 0 || moves[chosen] == 0) return TB_RESULT_FAILED;
    return PackResult(p, moves[chosen], WdlCode(d, c), d);
}
