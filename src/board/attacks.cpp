#include "board/attacks.h"

#include <cstdlib>

#include "board/castling.h"

Bitboard KnightAttacks[64];
Bitboard KingAttacks[64];
Bitboard PawnAttacks[2][64];
Bitboard Rays[8][64];
Bitboard RookFull[64];
Bitboard BishopFull[64];
Bitboard Between[64][64];

namespace {

bool tablesReady = false;

constexpr int RayFileStep[8] = {0, 1, 0, -1, -1, 1, -1, 1};
constexpr int RayRankStep[8] = {1, 0, -1, 0, 1, 1, -1, -1};

bool OnBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

Bitboard LeaperTable(int sq, const int (*offsets)[2], int count) {
    Bitboard b = 0;
    for (int i = 0; i < count; i++) {
        int f = FileOf(sq) + offsets[i][0], r = RankOf(sq) + offsets[i][1];
        if (OnBoard(f, r)) b |= SquareBit(r * 8 + f);
    }
    return b;
}

// Nearest blocker along a ray that grows toward higher squares: lowest set bit,
// with square 63 as sentinel (its forward rays are empty).
inline Bitboard CutUp(Bitboard attacks, int dir, int sq, Bitboard occ) {
    Bitboard blockers = (Rays[dir][sq] & occ) | SquareBit(63);
    return attacks ^ Rays[dir][BitScan(blockers)];
}

// The same for rays toward lower squares: highest set bit, sentinel square 0.
inline Bitboard CutDown(Bitboard attacks, int dir, int sq, Bitboard occ) {
    Bitboard blockers = (Rays[dir][sq] & occ) | SquareBit(0);
    return attacks ^ Rays[dir][HighestBit(blockers)];
}

// Any piece of `candidates` with a clear line to sq?
inline int SliderSees(Bitboard candidates, int sq, Bitboard occ) {
    while (candidates) {
        int s = PopLowest(candidates);
        if (!(Between[s][sq] & occ)) return 1;
    }
    return 0;
}

} // namespace

void InitBoardTables() {
    if (tablesReady) return;
    static const int knight[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                     {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    static const int king[8][2] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                   {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    static const int whitePawn[2][2] = {{-1, 1}, {1, 1}};
    static const int blackPawn[2][2] = {{-1, -1}, {1, -1}};
    for (int sq = 0; sq < 64; sq++) {
        KnightAttacks[sq] = LeaperTable(sq, knight, 8);
        KingAttacks[sq] = LeaperTable(sq, king, 8);
        PawnAttacks[WHITE][sq] = LeaperTable(sq, whitePawn, 2);
        PawnAttacks[BLACK][sq] = LeaperTable(sq, blackPawn, 2);
        for (int d = 0; d < 8; d++) {
            Bitboard ray = 0;
            int f = FileOf(sq) + RayFileStep[d], r = RankOf(sq) + RayRankStep[d];
            while (OnBoard(f, r)) {
                ray |= SquareBit(r * 8 + f);
                f += RayFileStep[d];
                r += RayRankStep[d];
            }
            Rays[d][sq] = ray;
        }
        RookFull[sq] =
            Rays[DIR_NORTH][sq] | Rays[DIR_EAST][sq] | Rays[DIR_SOUTH][sq] | Rays[DIR_WEST][sq];
        BishopFull[sq] = Rays[DIR_NW][sq] | Rays[DIR_NE][sq] | Rays[DIR_SW][sq] | Rays[DIR_SE][sq];
    }
    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) {
            Bitboard between = 0;
            int df = FileOf(b) - FileOf(a), dr = RankOf(b) - RankOf(a);
            int step = 0;
            if (a != b) {
                if (df == 0)
                    step = dr > 0 ? 8 : -8;
                else if (dr == 0)
                    step = df > 0 ? 1 : -1;
                else if (df == dr)
                    step = df > 0 ? 9 : -9;
                else if (df == -dr)
                    step = df > 0 ? -7 : 7;
            }
            if (step)
                for (int s = a + step; s != b; s += step) between |= SquareBit(s);
            Between[a][b] = between;
        }
    }
    tablesReady = true;
}

Bitboard RookAttacks(int sq, Bitboard occ) {
    Bitboard a = RookFull[sq];
    a = CutUp(a, DIR_NORTH, sq, occ);
    a = CutDown(a, DIR_SOUTH, sq, occ);
    a = CutUp(a, DIR_EAST, sq, occ);
    a = CutDown(a, DIR_WEST, sq, occ);
    return a;
}

Bitboard BishopAttacks(int sq, Bitboard occ) {
    Bitboard a = BishopFull[sq];
    a = CutUp(a, DIR_NW, sq, occ);
    a = CutUp(a, DIR_NE, sq, occ);
    a = CutDown(a, DIR_SW, sq, occ);
    a = CutDown(a, DIR_SE, sq, occ);
    return a;
}

int IsAttacked(const Position& p, int sq, int c) {
    const Bitboard* own = p.bb + 8 * c;
    if (PawnAttacks[c ^ 1][sq] & own[PAWN]) return 1;
    if (KnightAttacks[sq] & own[KNIGHT]) return 1;
    if (KingAttacks[sq] & own[KING]) return 1;
    Bitboard occ = p.bb[0] | p.bb[8];
    if (SliderSees(BishopFull[sq] & (own[BISHOP] | own[QUEEN]), sq, occ)) return 1;
    if (SliderSees(RookFull[sq] & (own[ROOK] | own[QUEEN]), sq, occ)) return 1;
    return 0;
}

int IsLegal(Position& p, int c, Move m) {
    int from = FromSquare(m), to = ToSquare(m);
    int k = p.pieceList[PieceCode(c, KING)][0];
    int enemy = c ^ 1;
    if (from == k && p.board[to] && ColourOf(p.board[to]) == c)
        return KingTakesRookIsLegal(p, c, to);
    if (from == k && (to == from + 2 || to == from - 2)) {
        return !IsAttacked(p, from, enemy) && !IsAttacked(p, to, enemy) &&
               !IsAttacked(p, (from + to) / 2, enemy);
    }
    Bitboard moveBits = SquareBit(from) | SquareBit(to);
    int test = from == k ? to : k;
    int result;
    p.bb[8 * c] ^= moveBits;
    int victim = p.board[to];
    if (victim) {
        Bitboard t = SquareBit(to);
        p.bb[victim] ^= t;
        p.bb[8 * enemy] ^= t;
        result = !IsAttacked(p, test, enemy);
        p.bb[victim] ^= t;
        p.bb[8 * enemy] ^= t;
    } else if (to == p.epSquare && TypeOf(p.board[from]) == PAWN) {
        Bitboard t = SquareBit(c == WHITE ? to - 8 : to + 8);
        int pawn = PieceCode(enemy, PAWN);
        p.bb[pawn] ^= t;
        p.bb[8 * enemy] ^= t;
        result = !IsAttacked(p, test, enemy);
        p.bb[pawn] ^= t;
        p.bb[8 * enemy] ^= t;
    } else {
        result = !IsAttacked(p, test, enemy);
    }
    p.bb[8 * c] ^= moveBits;
    return result;
}

int GivesCheck(const Position& p, int c, const MoveEntry& e) {
    int from = FromSquare(e.move), to = ToSquare(e.move);
    int ks = p.pieceList[PieceCode(c ^ 1, KING)][0];
    Bitboard occ = p.bb[0] | p.bb[8];
    Bitboard kingBit = SquareBit(ks);
    int type = TypeOf(e.piece);
    if (e.move & PROMO_BISHOP)
        type = BISHOP;
    else if (e.move & PROMO_KNIGHT)
        type = KNIGHT;
    else if (e.move & PROMO_QUEEN)
        type = QUEEN;
    else if (e.move & PROMO_ROOK)
        type = ROOK;

    switch (type) {
    case PAWN:
        if (PawnAttacks[c][to] & kingBit) return 1;
        break;
    case KNIGHT:
        if (KnightAttacks[to] & kingBit) return 1;
        break;
    default: break;
    }
    if ((type == BISHOP || type == QUEEN) && (BishopFull[to] & kingBit) && !(Between[to][ks] & occ))
        return 1;
    if ((type == ROOK || type == QUEEN) && (RookFull[to] & kingBit) && !(Between[to][ks] & occ))
        return 1;

    // Only bishops, rooks and queens can be uncovered.
    if (!(p.matSig[c] & 0xFFF00)) return 0;
    Bitboard occAfter = (occ & ~SquareBit(from)) | SquareBit(to);
    const Bitboard* own = p.bb + 8 * c;
    Bitboard fromBit = SquareBit(from);
    if (RookFull[ks] & fromBit) {
        Bitboard cand = RookFull[ks] & RookFull[from] & (own[ROOK] | own[QUEEN]);
        while (cand) {
            int s = PopLowest(cand);
            if (!(Between[ks][s] & occAfter)) return 2;
        }
    }
    if (BishopFull[ks] & fromBit) {
        Bitboard cand = BishopFull[ks] & BishopFull[from] & (own[BISHOP] | own[QUEEN]);
        while (cand) {
            int s = PopLowest(cand);
            if (!(Between[ks][s] & occAfter)) return 2;
        }
    }
    return 0;
}
