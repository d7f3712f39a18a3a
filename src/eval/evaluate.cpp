// Evaluation entry: recognised endings, the evaluation cache, material and
// stage, the blend of the terms, tempo and draw scaling.
#include <cstring>

#include "board/constants.h"
#include "board/zobrist.h"
#include "eval/eval_internal.h"
#include "eval/kpk.h"
#include "search/search_state.h"

EvalTrace evalTrace;

namespace {

// Indexed a1 first; the table is symmetric, so it reads the same from rank 8.
const int8_t LoneKingTable[64] = {60, 50, 40, 30, 30, 40, 50, 60, //
                                  50, 40, 30, 20, 20, 30, 40, 50, //
                                  40, 30, 20, 10, 10, 20, 30, 40, //
                                  30, 20, 10, 0,  0,  10, 20, 30, //
                                  30, 20, 10, 0,  0,  10, 20, 30, //
                                  40, 30, 20, 10, 10, 20, 30, 40, //
                                  50, 40, 30, 20, 20, 30, 40, 50, //
                                  60, 50, 40, 30, 30, 40, 50, 60};

const uint8_t KbnCornerTable[64] = {20, 18, 16, 14, 12, 10, 8,  6,  //
                                    18, 14, 12, 10, 8,  6,  4,  8,  //
                                    16, 12, 8,  6,  2,  2,  6,  10, //
                                    14, 10, 6,  2,  0,  2,  8,  12, //
                                    12, 8,  2,  0,  2,  6,  10, 14, //
                                    10, 6,  2,  2,  6,  8,  12, 16, //
                                    8,  4,  6,  8,  10, 12, 14, 18, //
                                    6,  8,  10, 12, 14, 16, 18, 20};

const int8_t KbnKingTable[64] = {0, 0, 0, 0, 0, 0, 0, 0, //
                                 0, 1, 1, 1, 1, 1, 1, 0, //
                                 0, 1, 2, 2, 2, 2, 1, 0, //
                                 0, 1, 2, 2, 2, 2, 1, 0, //
                                 0, 1, 2, 2, 2, 2, 1, 0, //
                                 0, 1, 2, 2, 2, 2, 1, 0, //
                                 0, 1, 1, 1, 1, 1, 1, 0, //
                                 0, 0, 0, 0, 0, 0, 0, 0};

inline int Bounded(int score) {
    return score > EVAL_LIMIT ? EVAL_LIMIT : score < -EVAL_LIMIT ? -EVAL_LIMIT : score;
}

inline int SquareColour(int sq) { return (SquareBit(sq) & DARK_SQUARES) ? 1 : 0; }

inline int Count(uint32_t sig, int type) {
    static const int shift[7] = {0, 0, 4, 8, 12, 16, 0};
    return (sig >> shift[type]) & 15;
}

// Endings decided without the full evaluation; 1 with *score set when one applies.
int RecognisedEnding(SearchThread* t, int side, int ply, int* score) {
    const Position& p = t->pos;
    uint32_t sw = p.matSig[0], sb = p.matSig[1], all = sw + sb;
    int kw = KingSquare(p, 0), kb = KingSquare(p, 1);
    if (((sw | sb) & 15) == 0) {
        if (all == 0 || all == 16 || all == 256 || all == 32 ||
            ((sw == 256 || sw == 16) && (sb == 256 || sb == 16))) {
            t->stack[ply].drawMark = 1;
            *score = 0;
            return 1;
        }
        if (all == 272) {
            int strong = sw == 272 ? 0 : 1;
            int K = strong == 0 ? kw : kb, k = strong == 0 ? kb : kw;
            int bishop = p.pieceList[PieceCode(strong, BISHOP)][0];
            int corner = SquareColour(bishop) == 1 ? k : k ^ 7;
            int v = KbnKingTable[K] + 2 * KbnCornerTable[corner] + 200 - 2 * Distance(K, k);
            *score = strong == side ? 4 * v : -4 * v;
            return 1;
        }
        if ((sw == 0 || sb == 0) && all >= 4096) {
            int value[2] = {100 * p.pieceMat[0], 100 * p.pieceMat[1]};
            int stronger = value[0] > value[1] ? 0 : 1;
            int bare = stronger == 0 ? kb : kw;
            value[stronger] += LoneKingTable[bare] - 10 * Distance(kw, kb) + 200;
            int v = value[0] - value[1];
            *score = side == 0 ? v : -v;
            return 1;
        }
    }
    if ((sw & 15) + (sb & 15) == 1 && all == 1) {
        *score = ProbeKpk(p, side);
        return 1;
    }
    return 0;
}

// Draw scaling factor for a score from the side to move's view.
double DrawAdjust(EvalContext& x, int score) {
    if (score < 15 && score > -15) return 1.0;
    const Position& p = x.p;
    int s = score > 0 ? x.side : x.side ^ 1, w = s ^ 1;
    int ms = p.pieceMat[s], mw = p.pieceMat[w];
    uint32_t sigS = p.matSig[s], sigW = p.matSig[w];
    int ps = sigS & 15, pw = sigW & 15;

    if (ms >= 14) return 1.0;
    if (ms - mw >= 4) {
        if (sigS == 32) return 0.05;
        bool loneQueen = sigS == 65536;
        if ((sigS == 4096 || loneQueen) && pw > 0) return loneQueen && mw > 5 ? 0.675 : 0.9;
        return loneQueen && mw > 5 ? 0.75 : 1.0;
    }
    if (ps == 0) {
        if (sigS == 512 && sigW == 16) return 0.9;
        return ms > 8 ? 0.25 : ms > 3 ? 0.15 : 0.05;
    }
    int ks = x.c.kingSq[s], kw = x.c.kingSq[w];
    if (sigS == 1 && sigW == 1) {
        // As if the weak side's pawn were gone.
        int pawn = p.pieceList[PieceCode(s, PAWN)][0];
        return ProbeKpkSquares(s, pawn, ks, kw, x.side) != 0 ? 1.0 : 0.25;
    }
    if (ms <= 3 && mw == 0) {
        Bitboard pawns = p.bb[PieceCode(s, PAWN)];
        bool onlyBishop =
            Count(sigS, KNIGHT) == 0 && Count(sigS, ROOK) == 0 && Count(sigS, QUEEN) == 0;
        Bitboard rookFile = (pawns & ~FILE_A) == 0 ? FILE_A : (pawns & ~FILE_H) == 0 ? FILE_H : 0;
        if (onlyBishop && rookFile) {
            int corner = (rookFile == FILE_A ? 0 : 7) + (s == 0 ? 56 : 0);
            if (Distance(kw, corner) <= 1) {
                Bitboard bishops = p.bb[PieceCode(s, BISHOP)];
                Bitboard cornerColour =
                    (SquareBit(corner) & DARK_SQUARES) ? DARK_SQUARES : ~DARK_SQUARES;
                return (bishops & cornerColour) ? 1.0 : 0.06;
            }
        }
        return 1.0;
    }
    if (mw == 0) return 1.0;

    double set[4] = {0.95, 0.9, 0.85, 1.0};
    if ((sigS & 0xF0F00) == 0x100 && (sigW & 0xF0F00) == 0x100 && ms <= std::min(mw, 8)) {
        int bs = p.pieceList[PieceCode(s, BISHOP)][0], bw = p.pieceList[PieceCode(w, BISHOP)][0];
        if (SquareColour(bs) != SquareColour(bw)) {
            int d = ps - pw;
            static const double low[4] = {0.2375, 0.225, 0.2125, 0.25};
            static const double mid[4] = {0.57, 0.54, 0.51, 0.6};
            static const double high[4] = {0.76, 0.72, 0.68, 0.8};
            const double* chosen = nullptr;
            if (ms < 4) {
                if (d < 2)
                    chosen = low;
                else if (d == 2)
                    chosen = mid;
            } else if (d < 2) {
                chosen = high;
            }
            if (chosen) memcpy(set, chosen, sizeof set);
        }
    }
    if (ps < 4 && (ms + ps) - (mw + pw) < 2) {
        if (ps == 1) {
            double adj = set[3];
            int pawn = p.pieceList[PieceCode(s, PAWN)][0];
            int r = (pawn ^ RankFlip[s]) >> 3;
            int ahead = pawn + (r > 5 ? 1 : 2) * PawnPush[s];
            Bitboard front = FrontSpan[s][pawn];
            if (Count(sigW, KNIGHT) + Count(sigW, BISHOP) > 0) {
                adj *= ((x.c.knightAttacks[w] | x.c.bishopAttacks[w]) & front) ? 0.35 : 0.7;
            } else {
                adj *= 0.8;
            }
            if (((kw ^ RankFlip[s]) >> 3) > r) {
                if (front & SquareBit(kw)) {
                    adj *= 0.75;
                } else if (KingAttacks[kw] & front & ~x.c.allAttacks[s]) {
                    adj *= 0.85;
                }
            }
            if (Distance(ks, ahead) > Distance(kw, ahead)) adj *= 0.8;
            return adj;
        }
        if (ms < 9) return ms == 3 ? set[2] : ms == 5 ? set[1] : set[0];
        return set[3];
    }
    return set[3];
}

void FillTrace(EvalContext& x, double drawAdj) {
    EvalCaches& c = x.c;
    evalTrace.stage = c.stage;
    evalTrace.drawAdj = drawAdj;
    for (int col = 0; col < 2; col++) {
        evalTrace.mtl[col] = int16_t(Taper(c.mtlOp[col], c.mtlEn[col], c.stage));
        evalTrace.pos[col] = int16_t(Taper(c.posOp[col], c.posEn[col], c.stage));
        for (int term = 0; term < TRACE_TERMS; term++)
            evalTrace.term[term][col] =
                int16_t(Taper(evalTrace.termOp[term][col], evalTrace.termEn[term][col], c.stage));
    }
    evalTrace.hung = c.hungPieces;
    evalTrace.pinned = c.pinnedPieces;
}

} // namespace

void ClearEvalTrace() {
    memset(&evalTrace, 0, sizeof evalTrace);
    evalTrace.drawAdj = 1.0;
}

void PrefetchEvalEntries(const SearchThread* t, uint64_t key, int side) {
    const EvalCaches& c = t->eval;
    __builtin_prefetch(&c.evalCache[(uint32_t(key) & 0x3FFE) + side]);
    // A pawn entry may straddle two cache lines.
    const PawnHashEntry* pawns = &c.pawnHash[uint32_t(t->pos.pawnKey) & (PAWN_HASH_SIZE - 1)];
    __builtin_prefetch(pawns);
    __builtin_prefetch(reinterpret_cast<const char*>(pawns + 1) - 1);
}

int Evaluate(SearchThread* t, int side, int ply, int inCheck) {
    if (inCheck) return NO_SCORE;
    Position& p = t->pos;
    EvalCaches& c = t->eval;
    c.kingSq[0] = KingSquare(p, 0);
    c.kingSq[1] = KingSquare(p, 1);
    bool trace = t == searchState.threads[1] && ply == 1 && !t->searchRunning;

    int ending;
    if (RecognisedEnding(t, side, ply, &ending)) return Bounded(ending);

    StackEntry& st = t->stack[ply];
    t->evalProbes++;
    uint64_t key = SearchKey(p);
    uint32_t lo = uint32_t(key), hi = uint32_t(key >> 32);
    EvalCacheEntry& slot = c.evalCache[(lo & 0x3FFE) + side];
    if (slot.keyLow == lo && slot.keyHigh == hi && t->searchRunning && ply >= 2) {
        t->evalHits++;
        st.threat[0] = slot.threat[0];
        st.threat[1] = slot.threat[1];
        return slot.score;
    }

    const EngineSettings& s = settings;
    for (int col = 0; col < 2; col++) {
        uint32_t sig = p.matSig[col];
        int pawns = Count(sig, PAWN), knights = Count(sig, KNIGHT), bishops = Count(sig, BISHOP);
        int rooks = Count(sig, ROOK), queens = Count(sig, QUEEN);
        c.mtlOp[col] = pawns * s.pawn_value_op + knights * s.knight_value_op +
                       bishops * s.bishop_value_op + rooks * s.rook_value_op +
                       queens * s.queen_value_op;
        c.mtlEn[col] = pawns * s.pawn_value_en + knights * s.knight_value_en +
                       bishops * s.bishop_value_en + rooks * s.rook_value_en +
                       queens * s.queen_value_en;
        if (bishops >= 2) {
            c.mtlOp[col] += s.bishop_pair_op;
            c.mtlEn[col] += s.bishop_pair_en;
        }
        if (queens >= 1 && knights + bishops + rooks == 0) c.mtlEn[col] -= 50;
        c.phaseWeight[col] = std::min(knights + bishops + 2 * rooks + 4 * queens, 12);
    }
    c.stage = 24 - c.phaseWeight[0] - c.phaseWeight[1];

    EvalContext x{t, p, c, st, side, trace};
    PawnStructure(x);
    BlockedPawns(x);
    SetUpAttacks(x);
    Knights(x, 0);
    Knights(x, 1);
    Bishops(x, 0);
    Bishops(x, 1);
    Rooks(x, 0);
    Rooks(x, 1);
    Queens(x, 0);
    Queens(x, 1);
    KingSafety(x, 0);
    KingSafety(x, 1);
    PassedPawns(x);
    if (c.stage > 13) Candidates(x);
    HungPieces(x, 0);
    HungPieces(x, 1);
    PinnedPieces(x, 0);
    PinnedPieces(x, 1);

    c.posOp[side] += 14;
    c.posEn[side] += 7;

    int posOp = c.posOp[0] - c.posOp[1], posEn = c.posEn[0] - c.posEn[1];
    int mtlOp = c.mtlOp[0] - c.mtlOp[1], mtlEn = c.mtlEn[0] - c.mtlEn[1];
    int score =
        ((posOp * 148 / 128 + mtlOp) * (24 - c.stage) + (posEn * 148 / 128 + mtlEn) * c.stage) / 24;
    if (side == 1) score = -score;

    double drawAdj = DrawAdjust(x, score);
    int result = Bounded(int(score * drawAdj));

    slot.keyLow = lo;
    slot.keyHigh = hi;
    slot.threat[0] = st.threat[0];
    slot.threat[1] = st.threat[1];
    slot.score = int16_t(result);
    if (trace) FillTrace(x, drawAdj);
    return result;
}
