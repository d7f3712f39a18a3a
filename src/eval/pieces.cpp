// Attack maps, piece terms, king safety, the endgame king, hung and pinned
// pieces.
#include "board/constants.h"
#include "eval/eval_internal.h"

namespace {

const int RankShift[8] = {0, 0, 8, 16, 24, 32, 40, 40};
const int FileShift[8] = {0, 0, 1, 2, 3, 4, 5, 5};
const int ShelterFile[8] = {1, 1, 2, 3, 4, 5, 6, 6};
const int KingEndgameRank[8] = {0, 0, 4, 8, 8, 8, 4, 0};
const int RookTrapFile[8] = {1, 1, 0, 0, 0, 0, 1, 1};
const int ThreatPieceValue[7] = {0, 100, 330, 330, 530, 1060, 10000};

constexpr Bitboard OUTPOST_WHITE = 0x00007E7E00000000ull; // b5-g5, b6-g6
constexpr Bitboard OUTPOST_BLACK = 0x000000007E7E0000ull; // b4-g4, b3-g3
constexpr Bitboard FILES_BC = 0x0606060606060606ull;
constexpr Bitboard FILES_FG = 0x6060606060606060ull;
// Ranks 7 and 8 seen from each colour.
constexpr Bitboard TOP_RANKS[2] = {0xFFFF000000000000ull, 0x000000000000FFFFull};
constexpr Bitboard ENEMY_HALF[2] = {BLACK_HALF, WHITE_HALF};

inline int KingDangerBase(int relSq) { return (relSq <= 1 || relSq == 6 || relSq == 7) ? 0 : 1; }

inline Bitboard Pieces(const Position& p, int colour, int type) {
    return p.bb[PieceCode(colour, type)];
}

inline void Record(EvalCaches& c, int colour, Bitboard& map, Bitboard a) {
    c.doubleAttacks[colour] |= a & c.allAttacks[colour];
    c.allAttacks[colour] |= a;
    map |= a;
}

inline Bitboard MobilityArea(const EvalContext& x, int colour) {
    return ~x.c.pawnAttacks[colour ^ 1] & ~(Pieces(x.p, colour, PAWN) | Pieces(x.p, colour, KING));
}

inline Bitboard Outposts(const EvalContext& x, int colour) {
    return colour == 0 ? OUTPOST_WHITE & ~x.c.pawns->blackSpan
                       : OUTPOST_BLACK & ~x.c.pawns->whiteSpan;
}

inline void Finish(EvalContext& x, int term, int colour, int sq, int op, int en) {
    AddPos(x, colour, op, en);
    if (x.trace) {
        TraceTermAdd(term, colour, op, en);
        TraceSquareAdd(x, sq, op, en);
    }
}

// Enemy pawns or king on the colour's seventh or eighth rank.
inline bool SeventhRankTarget(const Position& p, int colour) {
    int e = colour ^ 1;
    return (Pieces(p, e, PAWN) | Pieces(p, e, KING)) & TOP_RANKS[colour];
}

} // namespace

void SetUpAttacks(EvalContext& x) {
    EvalCaches& c = x.c;
    const Position& p = x.p;
    Bitboard occ = Occupancy(p);
    Bitboard wp = Pieces(p, 0, PAWN), bp = Pieces(p, 1, PAWN);
    c.pawnAttacks[0] = ((wp & ~FILE_A) << 7) | ((wp & ~FILE_H) << 9);
    c.pawnAttacks[1] = ((bp & ~FILE_A) >> 9) | ((bp & ~FILE_H) >> 7);
    for (int col = 0; col < 2; col++) {
        int k = c.kingSq[col];
        c.allAttacks[col] = c.pawnAttacks[col] | KingAttacks[k];
        c.doubleAttacks[col] = c.pawnAttacks[col] & KingAttacks[k];
        c.knightAttacks[col] = c.bishopAttacks[col] = c.rookAttacks[col] = c.queenAttacks[col] = 0;
        c.kingZone[col] = Bitboard(0x070707) << (RankShift[RankOf(k)] + FileShift[FileOf(k)]);
        Bitboard excluded = p.bb[8 * (col ^ 1)] | c.pawnAttacks[col];
        c.knightChecks[col] = KnightAttacks[k] & ~excluded;
        c.bishopChecks[col] = BishopAttacks(k, occ) & ~excluded;
        c.rookChecks[col] = RookAttacks(k, occ) & ~excluded;
        c.kingAttack[col] = 0;
    }
    c.hungPieces = c.pinnedPieces = 0;
}

void Knights(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    Bitboard area = MobilityArea(x, col), outposts = Outposts(x, col);
    int totalPawns = (p.matSig[0] & 15) + (p.matSig[1] & 15);
    for (const uint8_t* sqp = p.pieceList[PieceCode(col, KNIGHT)]; *sqp != NO_SQUARE; sqp++) {
        int sq = *sqp;
        Bitboard a = KnightAttacks[sq];
        Record(c, col, c.knightAttacks[col], a);
        int op = s.pst[KNIGHT][sq ^ RankFlip[col]].op, en = s.pst[KNIGHT][sq ^ RankFlip[col]].en;
        if (a & (c.kingZone[e] | c.knightChecks[e])) c.kingAttack[e] += 2;
        int m = PopCount(a & area);
        op += s.knightMobility[m].op;
        en += s.knightMobility[m].en;
        if (a & c.kingZone[e]) {
            op += 6;
            en += 6;
        }
        if (totalPawns >= 8) en += 2 * (totalPawns - 7);
        if (outposts & SquareBit(sq)) {
            op += s.knight_outpost;
            if (PawnAttacks[e][sq] & Pieces(p, col, PAWN)) op += 6;
        } else if (a & area & outposts) {
            op += s.knight_outpost / 2;
        }
        if (m == 0 && (ENEMY_HALF[col] & SquareBit(sq))) op -= 20;
        Finish(x, TRACE_KNIGHTS, col, sq, op, en);
    }
}

void Bishops(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    Bitboard occ = Occupancy(p) & ~Pieces(p, col, QUEEN);
    Bitboard area = MobilityArea(x, col), outposts = Outposts(x, col);
    Bitboard ownPawns = Pieces(p, col, PAWN), enemyPawns = Pieces(p, e, PAWN);
    // Own pawns with an enemy pawn directly in front.
    Bitboard rammed = ownPawns & (col == 0 ? enemyPawns >> 8 : enemyPawns << 8);
    for (const uint8_t* sqp = p.pieceList[PieceCode(col, BISHOP)]; *sqp != NO_SQUARE; sqp++) {
        int sq = *sqp;
        Bitboard a = BishopAttacks(sq, occ);
        Record(c, col, c.bishopAttacks[col], a);
        int op = s.pst[BISHOP][sq ^ RankFlip[col]].op, en = s.pst[BISHOP][sq ^ RankFlip[col]].en;
        if (a & (c.kingZone[e] | c.bishopChecks[e])) c.kingAttack[e] += 2;
        int centre = PopCount(a & CENTRE_C3F6);
        op += 4 * centre;
        en += 4 * centre;
        int m = PopCount(a & area);
        op += s.bishopMobility[m].op;
        en += s.bishopMobility[m].en;
        Bitboard sameColour = (SquareBit(sq) & DARK_SQUARES) ? DARK_SQUARES : ~DARK_SQUARES;
        int bad = PopCount(rammed & sameColour);
        op -= 4 * bad;
        en -= 8 * bad;
        if (outposts & SquareBit(sq)) op += 12;
        if (m == 0 && (ENEMY_HALF[col] & SquareBit(sq))) op -= 20;
        Finish(x, TRACE_BISHOPS, col, sq, op, en);
    }
}

void Rooks(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    Bitboard occ = Occupancy(p) & ~(Pieces(p, col, ROOK) | Pieces(p, col, QUEEN));
    Bitboard area = MobilityArea(x, col);
    Bitboard ownPawns = Pieces(p, col, PAWN), enemyPawns = Pieces(p, e, PAWN);
    bool seventhTarget = SeventhRankTarget(p, col);
    for (const uint8_t* sqp = p.pieceList[PieceCode(col, ROOK)]; *sqp != NO_SQUARE; sqp++) {
        int sq = *sqp, file = FileOf(sq);
        Bitboard a = RookAttacks(sq, occ);
        Record(c, col, c.rookAttacks[col], a);
        int op = s.pst[ROOK][sq ^ RankFlip[col]].op, en = s.pst[ROOK][sq ^ RankFlip[col]].en;
        if (a & (c.kingZone[e] | c.rookChecks[e])) c.kingAttack[e] += 3;
        int f = PopCount(a & FileMask[file] & ENEMY_HALF[col]);
        op += 3 * f;
        en += 3 * f;
        int m = PopCount(a & area);
        op += s.rookMobility[m].op;
        en += s.rookMobility[m].en;
        if (!(ownPawns & FileMask[file])) {
            if (enemyPawns & FileMask[file]) {
                op += s.rook_half_open_file_op;
                en += s.rook_half_open_file_en;
            } else {
                op += s.rook_open_file_op;
                en += s.rook_open_file_en;
            }
        } else if (m <= 4 && RookTrapFile[file]) {
            Bitboard rank = RANK_1 << (8 * RankOf(sq));
            Bitboard blockers = (Pieces(p, col, KING) | ownPawns) & rank;
            if (blockers & (file <= 1 ? FILES_BC : FILES_FG)) op += s.rook_trapped;
        }
        if (((sq ^ RankFlip[col]) >> 3) == 6 && seventhTarget) {
            op += s.rook_rank7_op;
            en += s.rook_rank7_en;
        }
        Finish(x, TRACE_ROOKS, col, sq, op, en);
    }
}

void Queens(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    Bitboard occ = Occupancy(p);
    Bitboard area = MobilityArea(x, col);
    Bitboard ownBishops = Pieces(p, col, BISHOP), ownRooks = Pieces(p, col, ROOK);
    bool seventhTarget = SeventhRankTarget(p, col);
    for (const uint8_t* sqp = p.pieceList[PieceCode(col, QUEEN)]; *sqp != NO_SQUARE; sqp++) {
        int sq = *sqp;
        Bitboard diag = BishopAttacks(sq, occ), orth = RookAttacks(sq, occ);
        Bitboard xray = 0;
        // Squares reached through a friendly slider of the same kind.
        if (diag & ownBishops) xray |= BishopAttacks(sq, occ & ~ownBishops) & ~diag;
        if (orth & ownRooks) xray |= RookAttacks(sq, occ & ~ownRooks) & ~orth;
        Bitboard a = diag | orth;
        Record(c, col, c.queenAttacks[col], a);
        c.doubleAttacks[col] |= xray;
        if (a & c.kingZone[e]) {
            c.kingAttack[e] += 3;
        } else if (xray & c.kingZone[e]) {
            c.kingAttack[e] += 2;
        } else if (a & (c.bishopChecks[e] | c.rookChecks[e])) {
            c.kingAttack[e] += 2;
        }
        int m = PopCount(a & area);
        int rel = sq ^ RankFlip[col];
        int op = s.pst[QUEEN][rel].op + s.queenMobility[m].op;
        int en = s.pst[QUEEN][rel].en + s.queenMobility[m].en;
        if ((rel >> 3) == 6 && seventhTarget) en += s.queen_rank7_en;
        Finish(x, TRACE_QUEENS, col, sq, op, en);
    }
}

void KingSafety(EvalContext& x, int col) {
    Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    int k = c.kingSq[col], rel = k ^ RankFlip[col];
    int op = s.pst[KING][rel].op, en = s.pst[KING][rel].en;
    Bitboard ownPawns = Pieces(p, col, PAWN), enemyPawns = Pieces(p, e, PAWN);

    if (c.phaseWeight[e] > 2) {
        int shelter = ShelterFile[FileOf(k)];
        Bitboard rank2 = RANK_1 << (col == 0 ? 8 : 48);
        Bitboard rank3 = RANK_1 << (col == 0 ? 16 : 40);
        int points = 0;
        for (int f = shelter - 1; f <= shelter + 1; f++) {
            Bitboard onFile = ownPawns & FileMask[f];
            if (!onFile) continue;
            points += (onFile & rank2) ? 3 : (onFile & rank3) ? 2 : 1;
        }
        if (KingAttacks[k] & ownPawns) points++;
        op += s.pawn_shield * (points - 9);
        int index = ((10 - points) >> 1) + KingDangerBase(rel);

        if (std::abs(shelter - FileOf(c.kingSq[e])) > 2) {
            Bitboard homeHalf = e == 0 ? WHITE_HALF : BLACK_HALF;
            int n = 0;
            for (int f = shelter - 1; f <= shelter + 1; f++)
                if (!(enemyPawns & FileMask[f] & homeHalf)) n++;
            op += s.pawn_storm * n;
            index += n >> 1;
        }

        Bitboard zone = c.kingZone[col];
        Bitboard ownMinor = c.pawnAttacks[col] | c.knightAttacks[col] | c.bishopAttacks[col];
        int a = PopCount(zone & c.pawnAttacks[e]) +
                PopCount(zone & c.pawnAttacks[e] & c.doubleAttacks[e]) +
                PopCount(zone & c.knightAttacks[e] & ~c.pawnAttacks[col]) +
                PopCount(zone & c.bishopAttacks[e] & ~c.pawnAttacks[col]) +
                PopCount(zone & c.rookAttacks[e] & ~ownMinor) +
                PopCount(zone & c.queenAttacks[e] &
                         ~(ownMinor | c.rookAttacks[col] | c.queenAttacks[col]));

        Bitboard defended = ownMinor | c.rookAttacks[col] | c.queenAttacks[col];
        Bitboard safe =
            ~defended & ~p.bb[8 * e] & ~(KingAttacks[k] & c.allAttacks[e] & ~c.doubleAttacks[e]);
        int checks = PopCount(safe & c.knightAttacks[e] & c.knightChecks[col]) +
                     PopCount(safe & c.bishopAttacks[e] & c.bishopChecks[col]) +
                     PopCount(safe & c.rookAttacks[e] & c.rookChecks[col]);
        if (safe & c.queenAttacks[e] & c.bishopChecks[col]) checks++;
        if (safe & c.queenAttacks[e] & c.rookChecks[col]) checks++;
        op -= 8 * checks;
        en -= 12 * checks;

        if (safe & c.queenAttacks[e] & KingAttacks[k]) {
            op -= 10;
            x.st.threat[col] = 5000;
            index += 2;
        }
        index += c.kingAttack[col] + a + 2 * checks;
        if (col != x.side) {
            index = std::min(index, 31);
        } else if (index >= 1) {
            index = std::min(index - 1, 31);
        }
        op -= s.kingDanger[index];
    }
    if (!(Pieces(p, e, QUEEN) && c.phaseWeight[e] > 3)) op /= 2;

    if (c.stage > 14) {
        Bitboard reach = KingAttacks[k] & ~p.bb[8 * col] & ~c.allAttacks[e];
        if (reach & CENTRE_C3F6) {
            en += 6;
        } else if (!(reach & BLOCK_B2G7)) {
            en -= 12;
        }
        int mask = c.pawns->files[0] | c.pawns->files[1];
        if (mask) {
            int lo = MinFile[mask], hi = MaxFile[mask], f = FileOf(k);
            if (f < lo) en -= 10 * (lo - f);
            if (f > hi) en -= 10 * (f - hi);
        }
        en += KingEndgameRank[rel >> 3];
    }
    Finish(x, TRACE_KINGS, col, k, op, en);
}

void HungPieces(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    if (!(c.allAttacks[e] & p.bb[8 * col])) return;
    Bitboard minorAttacks = c.pawnAttacks[e] | c.knightAttacks[e] | c.bishopAttacks[e];
    Bitboard undefended = c.allAttacks[e] & ~c.allAttacks[col];
    Bitboard hung =
        (Pieces(p, col, ROOK) & minorAttacks) |
        (Pieces(p, col, QUEEN) & (minorAttacks | c.rookAttacks[e])) |
        ((Pieces(p, col, KNIGHT) | Pieces(p, col, BISHOP)) & (c.pawnAttacks[e] | undefended)) |
        (Pieces(p, col, PAWN) & undefended & ~c.pawnAttacks[e]);
    if (!hung) return;
    int op = 0, en = 0;
    Bitboard b = hung;
    while (b) {
        int sq = PopLowest(b);
        int v = ThreatPieceValue[TypeOf(p.board[sq])];
        if (v > x.st.threat[col]) x.st.threat[col] = int16_t(v);
        op += s.hung_op;
        en += s.hung_en;
    }
    if (PopCount(hung) > 1) {
        op -= 12;
        en -= 12;
    }
    AddPos(x, col, op, en);
    c.hungPieces |= hung;
}

void PinnedPieces(EvalContext& x, int col) {
    const Position& p = x.p;
    const EngineSettings& s = settings;
    EvalCaches& c = x.c;
    int e = col ^ 1;
    Bitboard occ = Occupancy(p);
    int k = c.kingSq[col];
    Bitboard pinned = 0;
    Bitboard orthogonal = Pieces(p, e, ROOK), diagonal = Pieces(p, e, BISHOP);
    Bitboard queensE = Pieces(p, e, QUEEN);
    Bitboard pinners =
        (RookFull[k] & (orthogonal | queensE)) | (BishopFull[k] & (diagonal | queensE));
    while (pinners) {
        Bitboard between = Between[k][PopLowest(pinners)] & occ;
        if (between && !(between & (between - 1))) pinned |= between;
    }
    Bitboard queens = Pieces(p, col, QUEEN);
    if (queens && !(queens & (queens - 1))) {
        int q = BitScan(queens);
        pinners = (RookFull[q] & orthogonal) | (BishopFull[q] & diagonal);
        while (pinners) {
            Bitboard between = Between[q][PopLowest(pinners)] & occ;
            if (between && !(between & (between - 1))) pinned |= between;
        }
    }
    pinned &= p.bb[8 * col] & ~Pieces(p, col, PAWN);
    if (!pinned) return;
    int n = PopCount(pinned);
    AddPos(x, col, n * s.pinned_op, n * s.pinned_en);
    c.pinnedPieces |= pinned;
}
