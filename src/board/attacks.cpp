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
SliderTable RookTable[64];
SliderTable BishopTable[64];

namespace {

// One attack set per occupancy of the relevant squares: 2^12 at most for a
// rook, 2^9 for a bishop; 102400 and 5248 entries over the whole board.
Bitboard rookData[102400];
Bitboard bishopData[5248];

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

Bitboard RookByRays(int sq, Bitboard occ) {
    Bitboard a = RookFull[sq];
    a = CutUp(a, DIR_NORTH, sq, occ);
    a = CutDown(a, DIR_SOUTH, sq, occ);
    a = CutUp(a, DIR_EAST, sq, occ);
    a = CutDown(a, DIR_WEST, sq, occ);
    return a;
}

Bitboard BishopByRays(int sq, Bitboard occ) {
    Bitboard a = BishopFull[sq];
    a = CutUp(a, DIR_NW, sq, occ);
    a = CutUp(a, DIR_NE, sq, occ);
    a = CutDown(a, DIR_SW, sq, occ);
    a = CutDown(a, DIR_SE, sq, occ);
    return a;
}

// The squares of the lines of sq whose occupancy matters: each ray without
// its last square, since a piece there blocks nothing behind it.
Bitboard RelevantSquares(int sq, const int* dirs) {
    Bitboard mask = 0;
    for (int i = 0; i < 4; i++) {
        Bitboard ray = Rays[dirs[i]][sq];
        if (!ray) continue;
        int last =
            dirs[i] == DIR_NORTH || dirs[i] == DIR_EAST || dirs[i] == DIR_NW || dirs[i] == DIR_NE
                ? HighestBit(ray)
                : BitScan(ray);
        mask |= ray & ~SquareBit(last);
    }
    return mask;
}

// Magic factors found by DrawMagic below from its fixed seed, kept so that
// start-up does not repeat the search; a factor that failed would be searched
// again. Not needed with PEXT.
const Bitboard RookMagics[64] = {
    0x1080004008801020ull, 0x0840092002C03000ull, 0x1900200010400900ull, 0x0880100008000480ull,
    0x4200100420080200ull, 0x8100020100080400ull, 0x0200040110886200ull, 0x0200008040220411ull,
    0x0404800084400220ull, 0x0000401000402000ull, 0x0086001081220440ull, 0x0408800800100280ull,
    0x000A001201040820ull, 0x8848800200840080ull, 0x4001000100040200ull, 0x0442000102105084ull,
    0x9080010020804100ull, 0x0040404000201009ull, 0x0000808010002009ull, 0x2200090021D00100ull,
    0x0008008008040080ull, 0x0004004002010040ull, 0x0011040008015042ull, 0x00000A0001768104ull,
    0x0000800080204009ull, 0x2010004140002001ull, 0x9800200280100080ull, 0x1000100080080080ull,
    0x0050500500080100ull, 0x0000020080040080ull, 0x0C10010400420810ull, 0x1040008200005104ull,
    0x01808240088004A0ull, 0x0882804004802000ull, 0x0880402001001100ull, 0x2000210409001000ull,
    0x2000480131001500ull, 0x0000800400800200ull, 0x000002380C001003ull, 0x4600084882000431ull,
    0x0080002000504000ull, 0x0300500020004002ull, 0x0040408200220011ull, 0x0010040008004040ull,
    0x0000080004008080ull, 0x0010040002008080ull, 0x2012004881020004ull, 0x8300842444820011ull,
    0x0088403882010200ull, 0x0820400080210100ull, 0x0110910040A00300ull, 0x0801100280080480ull,
    0x0242009008200600ull, 0x1002000489500200ull, 0x0040800200010080ull, 0x0091800041000080ull,
    0x0000209300488001ull, 0x04C1002414824001ull, 0x020020000B001041ull, 0x7000100004200901ull,
    0x8002002004100802ull, 0x30010002084C0007ull, 0x0888221800813004ull, 0x4000002840840112ull};
const Bitboard BishopMagics[64] = {
    0x20C0090901061081ull, 0x0024040094030104ull, 0x8210810200290200ull, 0x0011040484620000ull,
    0x0081104002221000ull, 0x0009012011001350ull, 0x0081010802400380ull, 0x0000420210010408ull,
    0x0008105002280050ull, 0x0001028484040044ull, 0x2A00880810408804ull, 0x7020022282000100ull,
    0x0084040420100A50ull, 0x000401010840E000ull, 0x2020020210420888ull, 0x0008084202012010ull,
    0x2010400810018800ull, 0x0445122008020840ull, 0x0804100808002008ull, 0x0008002104110100ull,
    0x0061005820080800ull, 0x2001000200820100ull, 0x480C210084010800ull, 0x3004442500480420ull,
    0x1010102240048100ull, 0x00182009084220A3ull, 0x8803090A10004205ull, 0x0208080040202020ull,
    0x000C044084010040ull, 0x00A1010002004106ull, 0x6008210020640202ull, 0x1600902112860801ull,
    0x00042008C1220200ull, 0x010C042002440140ull, 0x5022080200040820ull, 0x0402004042940100ull,
    0x0860108400008020ull, 0x000C080022021000ull, 0x0264080652822100ull, 0x4005031221010401ull,
    0x0004502410008400ull, 0x000500B010A20400ull, 0x0415094050080800ull, 0x080000201800A104ull,
    0x4022A80304000110ull, 0x4012140802028020ull, 0x40200104010100A0ull, 0x12810806008B0C41ull,
    0x0020441008080000ull, 0x2002120084045420ull, 0x0704020062080002ull, 0x0000001084040001ull,
    0x0322200891240200ull, 0xF040200210024800ull, 0x0140824832008042ull, 0x000210020A004602ull,
    0x0083042805141020ull, 0x002C12009A011000ull, 0x0041A00044140400ull, 0x00004004020A0202ull,
    0x0000140010020210ull, 0x2864160811012200ull, 0x2060080841082A17ull, 0xA010041108003100ull};

#if !VESK_PEXT
uint64_t NextRandom(uint64_t& state) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
}

// A candidate with few set bits, which spreads the relevant squares into
// the top bits of the product.
Bitboard DrawMagic(Bitboard mask, uint64_t& seed) {
    for (;;) {
        Bitboard magic = NextRandom(seed) & NextRandom(seed) & NextRandom(seed);
        if (PopCount((mask * magic) >> 56) >= 6) return magic;
    }
}

// Writes the attack sets by the factor's index; false when two subsets with
// different attack sets meet on one index.
bool MagicFits(const SliderTable& t, const Bitboard* subsets, const Bitboard* attacks, int n,
               Bitboard* data) {
    static int epoch[4096], attempt = 0; // index last written in attempt `attempt`
    attempt++;
    for (int i = 0; i < n; i++) {
        unsigned index = unsigned((subsets[i] * t.magic) >> t.shift);
        if (epoch[index] != attempt) {
            epoch[index] = attempt;
            data[index] = attacks[i];
        } else if (data[index] != attacks[i]) {
            return false;
        }
    }
    return true;
}
#endif

// Fills one square's table from every occupancy subset of its relevant
// squares (enumerated by the carry-rippler trick).
void FillSlider(SliderTable& t, int sq, const int* dirs, Bitboard* data,
                Bitboard (*byRays)(int, Bitboard), [[maybe_unused]] Bitboard known,
                [[maybe_unused]] uint64_t& seed) {
    static Bitboard subsets[4096], attacks[4096];
    t.mask = RelevantSquares(sq, dirs);
    t.shift = unsigned(64 - PopCount(t.mask));
    t.attacks = data;
    int n = 0;
    Bitboard sub = 0;
    do {
        subsets[n] = sub;
        attacks[n] = byRays(sq, sub);
        n++;
        sub = (sub - t.mask) & t.mask;
    } while (sub);
#if VESK_PEXT
    t.magic = 0;
    for (int i = 0; i < n; i++) data[_pext_u64(subsets[i], t.mask)] = attacks[i];
#else
    t.magic = known;
    while (!MagicFits(t, subsets, attacks, n, data)) t.magic = DrawMagic(t.mask, seed);
#endif
}

void InitSliders() {
    static const int rookDirs[4] = {DIR_NORTH, DIR_EAST, DIR_SOUTH, DIR_WEST};
    static const int bishopDirs[4] = {DIR_NW, DIR_NE, DIR_SW, DIR_SE};
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    Bitboard* rook = rookData;
    Bitboard* bishop = bishopData;
    for (int sq = 0; sq < 64; sq++) {
        FillSlider(RookTable[sq], sq, rookDirs, rook, RookByRays, RookMagics[sq], seed);
        rook += Bitboard(1) << (64 - RookTable[sq].shift);
        FillSlider(BishopTable[sq], sq, bishopDirs, bishop, BishopByRays, BishopMagics[sq], seed);
        bishop += Bitboard(1) << (64 - BishopTable[sq].shift);
    }
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
    InitSliders();
    tablesReady = true;
}

int IsAttacked(const Position& p, int sq, int c) {
    const Bitboard* own = p.bb + 8 * c;
    if (PawnAttacks[c ^ 1][sq] & own[PAWN]) return 1;
    if (KnightAttacks[sq] & own[KNIGHT]) return 1;
    if (KingAttacks[sq] & own[KING]) return 1;
    Bitboard occ = p.bb[0] | p.bb[8];
    Bitboard diagonal = BishopFull[sq] & (own[BISHOP] | own[QUEEN]);
    if (diagonal && (BishopAttacks(sq, occ) & diagonal)) return 1;
    Bitboard straight = RookFull[sq] & (own[ROOK] | own[QUEEN]);
    return straight && (RookAttacks(sq, occ) & straight) ? 1 : 0;
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

Bitboard PinnedToKing(const Position& p, int colour) {
    int king = p.pieceList[PieceCode(colour, KING)][0];
    Bitboard occ = Occupancy(p), own = p.bb[8 * colour], pinned = 0;
    const Bitboard* enemy = p.bb + 8 * (colour ^ 1);
    Bitboard snipers = (RookFull[king] & (enemy[ROOK] | enemy[QUEEN])) |
                       (BishopFull[king] & (enemy[BISHOP] | enemy[QUEEN]));
    while (snipers) {
        Bitboard between = Between[king][PopLowest(snipers)] & occ;
        if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
    }
    return pinned;
}

void FindCheckInfo(const Position& p, int colour, CheckInfo& ci) {
    int ks = p.pieceList[PieceCode(colour ^ 1, KING)][0];
    Bitboard occ = Occupancy(p);
    const Bitboard* own = p.bb + 8 * colour;
    ci.kingSq = ks;
    ci.diagonal = BishopAttacks(ks, occ);
    ci.straight = RookAttacks(ks, occ);
    ci.blockers = 0;
    Bitboard snipers =
        (RookFull[ks] & (own[ROOK] | own[QUEEN])) | (BishopFull[ks] & (own[BISHOP] | own[QUEEN]));
    while (snipers) {
        Bitboard between = Between[ks][PopLowest(snipers)] & occ;
        if (between && !(between & (between - 1))) ci.blockers |= between;
    }
    ci.known = true;
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
