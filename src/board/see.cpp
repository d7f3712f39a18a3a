#include "board/see.h"

#include "board/attacks.h"

namespace {

constexpr int KING_CAPTURE = 9999;

// Least valuable piece of side s among those still in occ that reaches t over
// occ, or 64; the lowest square within a kind. A slider reaches t when it
// stands on the lines that a slider on t would attack over occ.
int LeastValuableAttacker(const Position& p, int s, int t, Bitboard occ) {
    const Bitboard* own = p.bb + 8 * s;
    Bitboard b = PawnAttacks[s ^ 1][t] & own[PAWN] & occ;
    if (b) return BitScan(b);
    b = KnightAttacks[t] & own[KNIGHT] & occ;
    if (b) return BitScan(b);
    Bitboard queens = own[QUEEN] & occ;
    Bitboard diagonal = 0, straight = 0;
    if (BishopFull[t] & (own[BISHOP] | queens)) {
        diagonal = BishopAttacks(t, occ);
        b = diagonal & own[BISHOP] & occ;
        if (b) return BitScan(b);
    }
    if (RookFull[t] & (own[ROOK] | queens)) {
        straight = RookAttacks(t, occ);
        b = straight & own[ROOK] & occ;
        if (b) return BitScan(b);
    }
    b = (diagonal | straight) & queens;
    if (b) return BitScan(b);
    b = KingAttacks[t] & own[KING] & occ;
    if (b) return BitScan(b);
    return NO_SQUARE;
}

// The exchange on `to`, whose piece is of type onTarget, side s capturing
// first (with the piece on `from`, or with its least valuable attacker when
// from is 64). The captures run forward, each capturer leaving occ, and the
// gains are then scored backward: every capture but a first one made without
// standPat may be declined when it loses. The sequence ends when a side has
// no attacker left (worth 0) or may take a king (9999).
int Exchange(const Position& p, int s, int from, int to, int onTarget, Bitboard occ, int standPat) {
    int gain[64];
    int captures = 0, end = 0;
    for (int side = s;; side ^= 1) {
        if (from == NO_SQUARE) {
            from = LeastValuableAttacker(p, side, to, occ);
            if (from == NO_SQUARE) break;
        }
        if (onTarget == KING) {
            end = KING_CAPTURE;
            break;
        }
        gain[captures++] = SeeValue[onTarget];
        onTarget = TypeOf(p.board[from]);
        occ &= ~SquareBit(from);
        from = NO_SQUARE;
    }
    int score = end;
    while (captures > 0) {
        captures--;
        score = gain[captures] - score;
        if (score < 0 && (captures > 0 || standPat)) score = 0;
    }
    return score;
}

} // namespace

int See(Position& p, int s, int from, int to, Bitboard occ, int standPat) {
    return Exchange(p, s, from, to, TypeOf(p.board[to]), occ, standPat);
}

int Swap(Position& p, int s, int from, int to) {
    return Exchange(p, s, from, to, TypeOf(p.board[to]), p.bb[0] | p.bb[8], 0);
}

int SeeCaptureOk(Position& p, Move m) {
    int from = FromSquare(m), to = ToSquare(m);
    int attacker = p.board[from], victim = p.board[to];
    if (PieceUnits[TypeOf(attacker)] <= PieceUnits[TypeOf(victim)] || TypeOf(victim) == KING)
        return 1;
    // The capture made: the attacker stands on `to` and has left the occupancy.
    Bitboard occ = (p.bb[0] | p.bb[8]) & ~SquareBit(from);
    int value = SeeValue[TypeOf(victim)] -
                Exchange(p, ColourOf(attacker) ^ 1, NO_SQUARE, to, TypeOf(attacker), occ, 1);
    return value >= -74;
}

int NoThreat(Position& p, int c, int score, int bound) {
    Bitboard pieces = p.bb[8 * c] & ~p.bb[PieceCode(c, KING)];
    while (pieces) {
        int sq = PopLowest(pieces);
        int t = Swap(p, c ^ 1, NO_SQUARE, sq);
        if (t >= 1 && score - t - 99 <= bound) return 0;
    }
    return 1;
}
