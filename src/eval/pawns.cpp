// Pawn structure (cached per thread by pawn key), blocked pawns, passed pawns
// and candidate passed pawns.
#include "board/constants.h"
#include "board/see.h"
#include "eval/eval_internal.h"

Bitboard FrontSpan[2][64];
Bitboard PassedMask[2][64];
Bitboard AdjacentFiles[8];
Bitboard PhalanxMask[64];
Bitboard FileMask[8];

namespace {

bool masksReady = false;

// By relative square, rank 1 first.
const int8_t DefendedPawnBonus[64] = {0, 0, 0, 0, 0, 0, 0, 0, //
                                      0, 0, 0, 0, 0, 0, 0, 0, //
                                      2, 2, 2, 2, 2, 2, 2, 2, //
                                      2, 3, 4, 4, 4, 4, 3, 2, //
                                      2, 4, 7, 7, 7, 7, 4, 2, //
                                      2, 4, 7, 7, 7, 7, 4, 2, //
                                      2, 4, 7, 7, 7, 7, 4, 2, //
                                      0, 0, 0, 0, 0, 0, 0, 0};

const int PassedThreatByRank[8] = {0, 100, 100, 200, 400, 800, 1600, 0};

// b5-g5 and b6-g6 from white's side.
constexpr Bitboard ADVANCED_WHITE = 0x00007E7E00000000ull;
constexpr Bitboard ADVANCED_BLACK = 0x000000007E7E0000ull;

// Squares on the files beside the pawns and in front of them.
Bitboard Span(Bitboard pawns, int colour) {
    Bitboard f;
    if (colour == 0) {
        f = pawns << 8;
        f |= f << 8;
        f |= f << 16;
        f |= f << 32;
    } else {
        f = pawns >> 8;
        f |= f >> 8;
        f |= f >> 16;
        f |= f >> 32;
    }
    return ((f & ~FILE_H) << 1) | ((f & ~FILE_A) >> 1);
}

void ComputePawnEntry(const Position& p, PawnHashEntry& e, EvalContext* trace) {
    const Bitboard pawns[2] = {p.bb[PieceCode(0, PAWN)], p.bb[PieceCode(1, PAWN)]};
    e.whiteSpan = Span(pawns[0], 0);
    e.blackSpan = Span(pawns[1], 1);
    e.passed = e.candidates = 0;
    const Bitboard span[2] = {e.whiteSpan, e.blackSpan};
    const EngineSettings& s = settings;
    for (int c = 0; c < 2; c++) {
        int en_ = c ^ 1;
        Bitboard own = pawns[c], enemy = pawns[en_];
        int sumOp = 0, sumEn = 0;
        uint8_t files = 0;
        for (const uint8_t* sqp = p.pieceList[PieceCode(c, PAWN)]; *sqp != NO_SQUARE; sqp++) {
            int sq = *sqp, f = FileOf(sq);
            int rel = sq ^ RankFlip[c], r = rel >> 3;
            int stop = sq + PawnPush[c];
            int op = s.pst[PAWN][rel].op, en = s.pst[PAWN][rel].en;
            bool passed = !(PassedMask[c][sq] & enemy);

            if (FileMask[f] & own & ~SquareBit(sq)) {
                op += s.pawn_doubled_op;
                en += s.pawn_doubled_en;
            }
            if (!(span[c] & SquareBit(stop))) {
                if (r < 4) {
                    op += s.pawn_backward_op;
                    en += s.pawn_backward_en;
                }
                if (!(AdjacentFiles[f] & own)) {
                    op += s.pawn_isolated_op;
                    en += s.pawn_isolated_en;
                }
                if (!(FrontSpan[c][sq] & enemy)) {
                    op += s.pawn_weak_op;
                    en += s.pawn_weak_en;
                }
            }
            if (PhalanxMask[sq] & own) {
                op += s.connectedByRank[r];
                en += s.connectedByRank[r];
            }
            if (PawnAttacks[en_][sq] & own) {
                op += DefendedPawnBonus[rel];
                en += DefendedPawnBonus[rel];
            }
            Bitboard advanced = c == 0 ? ADVANCED_WHITE : ADVANCED_BLACK;
            if ((advanced & SquareBit(sq)) && !(span[en_] & SquareBit(sq)) && !passed) op += 4;

            sumOp += op;
            sumEn += en;
            if (trace) TraceSquareAdd(*trace, sq, op, en);
            files = uint8_t(files | (1 << f));
            if (passed) e.passed |= SquareBit(sq);

            if (!(FrontSpan[c][sq] & enemy) && !passed && r >= 3) {
                int friends = PopCount(PhalanxMask[sq] & own);
                int foes = PopCount(PassedMask[c][stop] & enemy);
                if (friends >= foes) e.candidates |= SquareBit(sq);
            }
        }
        e.scoreOp[c] = int16_t(sumOp);
        e.scoreEn[c] = int16_t(sumEn);
        e.files[c] = files;
    }
}

} // namespace

void InitEvalMasks() {
    if (masksReady) return;
    for (int f = 0; f < 8; f++) FileMask[f] = FILE_A << f;
    for (int f = 0; f < 8; f++)
        AdjacentFiles[f] = (f > 0 ? FileMask[f - 1] : 0) | (f < 7 ? FileMask[f + 1] : 0);
    for (int sq = 0; sq < 64; sq++) {
        int f = FileOf(sq), r = RankOf(sq);
        PhalanxMask[sq] = 0;
        if (f > 0) PhalanxMask[sq] |= SquareBit(sq - 1);
        if (f < 7) PhalanxMask[sq] |= SquareBit(sq + 1);
        Bitboard above = 0, below = 0;
        for (int rr = r + 1; rr < 8; rr++) above |= RANK_1 << (8 * rr);
        for (int rr = 0; rr < r; rr++) below |= RANK_1 << (8 * rr);
        FrontSpan[0][sq] = FileMask[f] & above;
        FrontSpan[1][sq] = FileMask[f] & below;
        PassedMask[0][sq] = (FileMask[f] | AdjacentFiles[f]) & above;
        PassedMask[1][sq] = (FileMask[f] | AdjacentFiles[f]) & below;
    }
    masksReady = true;
}

void PawnStructure(EvalContext& x) {
    const Position& p = x.p;
    x.t->pawnProbes++;
    PawnHashEntry& e = x.c.pawnHash[uint32_t(p.pawnKey) & (PAWN_HASH_SIZE - 1)];
    uint32_t lo = uint32_t(p.pawnKey), hi = uint32_t(p.pawnKey >> 32);
    if (e.keyLow == lo && e.keyHigh == hi && x.t->searchRunning) {
        x.t->pawnHits++;
    } else {
        ComputePawnEntry(p, e, x.trace ? &x : nullptr);
        e.keyLow = lo;
        e.keyHigh = hi;
    }
    x.c.pawns = &e;
    for (int c = 0; c < 2; c++) {
        x.c.posOp[c] = e.scoreOp[c];
        x.c.posEn[c] = e.scoreEn[c];
    }
    if (x.trace)
        for (int c = 0; c < 2; c++) TraceTermAdd(TRACE_PAWNS, c, e.scoreOp[c], e.scoreEn[c]);
}

void BlockedPawns(EvalContext& x) {
    const Position& p = x.p;
    Bitboard occ = Occupancy(p);
    const Bitboard blocked[2] = {p.bb[PieceCode(0, PAWN)] & (occ >> 8),
                                 p.bb[PieceCode(1, PAWN)] & (occ << 8)};
    const int d2[2] = {11, 51}, e2[2] = {12, 52};
    for (int c = 0; c < 2; c++) {
        Bitboard b = blocked[c];
        if (!b) continue;
        int v = 2 * PopCount(b);
        if (b & SquareBit(d2[c])) v += 12;
        if (b & SquareBit(e2[c])) v += 12;
        AddPos(x, c, -v, -v);
        if (x.trace) TraceTermAdd(TRACE_PAWNS, c, -v, -v);
    }
}

void PassedPawns(EvalContext& x) {
    Position& p = x.p;
    const EngineSettings& s = settings;
    Bitboard passed = x.c.pawns->passed;
    Bitboard occ = Occupancy(p);
    while (passed) {
        int sq = PopLowest(passed);
        int c = ColourOf(p.board[sq]), e = c ^ 1;
        int r = (sq ^ RankFlip[c]) >> 3;
        int push = PawnPush[c];
        int promo = c == 0 ? 56 + FileOf(sq) : FileOf(sq);
        Bitboard own = p.bb[PieceCode(c, PAWN)];
        int op, en;
        if (Between[sq][promo] & own) {
            // Rear pawn of a doubled passer.
            op = en = s.ppawn[r] / 3;
        } else {
            int stop = sq + push;
            if (r == 1 && !p.board[stop]) stop += push;
            int ahead = r == 6 ? sq + push : sq + 2 * push;
            int dOwn = Distance(x.c.kingSq[c], ahead);
            int dEnemy = Distance(x.c.kingSq[e], ahead);
            int base, v;
            if (p.board[stop]) {
                base = s.ppawn[r];
                v = (r + 1) * (28 * dEnemy - 18 * dOwn) / 16 + base;
                if (ColourOf(p.board[stop]) == e) v -= s.ppawn[r] / 4;
            } else {
                // The exchange on the stop square matters only when the enemy
                // reaches it: its attack map holds every square it attacks
                // (and some behind its own sliders), and a rook or queen
                // behind the pawn sees through the square the pawn leaves.
                bool contested =
                    (x.c.allAttacks[e] & SquareBit(stop)) ||
                    (FrontSpan[e][sq] & (p.bb[PieceCode(e, ROOK)] | p.bb[PieceCode(e, QUEEN)]));
                if (!contested || See(p, c, sq, stop, occ, 0) >= 0) {
                    base = s.ppawn[r] + s.ppawnx[r];
                    int threat = PassedThreatByRank[r];
                    bool free =
                        stop == promo || !(FrontSpan[c][stop] & (p.bb[8 * e] | x.c.allAttacks[e]));
                    if (free) {
                        base += 4 * (r + 1);
                        x.st.threat[e] = int16_t(x.st.threat[e] + threat + threat / 2 + 100);
                    } else {
                        x.st.threat[e] = int16_t(x.st.threat[e] + threat);
                    }
                } else {
                    base = s.ppawn[r];
                }
                v = (28 * dEnemy - 18 * dOwn) * (r + 1) / 16 + base;
            }
            if (PhalanxMask[sq] & own) v += base / 4;
            if (PawnAttacks[e][sq] & own) v += base / 8;
            if (r > 3 && dOwn < 2 && FileOf(sq) != 0 && FileOf(sq) != 7) {
                v += base / 4;
            } else if (8 - r - (c == x.side ? 1 : 0) < Distance(x.c.kingSq[e], promo)) {
                v += base / 4;
            }
            en = v;
            op = v / 2;
        }
        AddPos(x, c, op, en);
        if (x.trace) {
            TraceTermAdd(TRACE_PASSERS, c, op, en);
            TraceSquareAdd(x, sq, op, en);
        }
    }
}

void Candidates(EvalContext& x) {
    const Position& p = x.p;
    Bitboard cand = x.c.pawns->candidates;
    while (cand) {
        int sq = PopLowest(cand);
        int c = ColourOf(p.board[sq]), e = c ^ 1;
        int stop = sq + PawnPush[c];
        if (p.board[stop]) continue;
        int r = (sq ^ RankFlip[c]) >> 3;
        int d = Distance(x.c.kingSq[e], sq + 2 * PawnPush[c]);
        int v = ((r - 2) * 32 + 24 * d) * settings.pawn_candidate / 256;
        AddPos(x, c, 0, v);
        if (x.trace) {
            TraceTermAdd(TRACE_PASSERS, c, 0, v);
            TraceSquareAdd(x, sq, 0, v);
        }
    }
}
