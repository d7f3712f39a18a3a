// The fast board primitives (table-indexed sliding attacks, the square-attacked
// test, the per-node legality and gives-check shortcuts, the exchange's
// attacker search, the legal-move count) give exactly what a plain walk over the board or making
// the moves gives, on every square and on the positions of random games.
#include <cstring>
#include <random>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "support/unit_test.h"

namespace {

constexpr int STRAIGHT[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
constexpr int DIAGONAL[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr int KNIGHT_STEPS[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                    {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr int KING_STEPS[8][2] = {{1, 1},   {1, 0},  {1, -1}, {0, -1},
                                  {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}};

bool OnBoard(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }

// Squares reached from sq along the four lines, stopping on the first piece.
Bitboard WalkLines(int sq, Bitboard occ, const int (*lines)[2]) {
    Bitboard a = 0;
    for (int d = 0; d < 4; d++)
        for (int f = sq % 8 + lines[d][0], r = sq / 8 + lines[d][1]; OnBoard(f, r);
             f += lines[d][0], r += lines[d][1]) {
            a |= SquareBit(r * 8 + f);
            if (occ & SquareBit(r * 8 + f)) break;
        }
    return a;
}

// The attackers of colour c on sq in board[], as a bitboard, found by stepping
// out from sq: leapers one step away, sliders up to the first piece.
Bitboard WalkAttackers(const uint8_t* board, int sq, int c) {
    auto piece = [&](int f, int r, int type) {
        int code = OnBoard(f, r) ? board[r * 8 + f] : 0;
        return code && ColourOf(code) == c && TypeOf(code) == type;
    };
    Bitboard found = 0;
    int f0 = sq % 8, r0 = sq / 8, back = c == WHITE ? -1 : 1;
    for (int df = -1; df <= 1; df += 2)
        if (piece(f0 + df, r0 + back, PAWN)) found |= SquareBit((r0 + back) * 8 + f0 + df);
    for (int i = 0; i < 8; i++) {
        int f = f0 + KNIGHT_STEPS[i][0], r = r0 + KNIGHT_STEPS[i][1];
        if (piece(f, r, KNIGHT)) found |= SquareBit(r * 8 + f);
        f = f0 + KING_STEPS[i][0], r = r0 + KING_STEPS[i][1];
        if (piece(f, r, KING)) found |= SquareBit(r * 8 + f);
    }
    for (int kind = 0; kind < 2; kind++)
        for (int d = 0; d < 4; d++) {
            const int* step = kind ? DIAGONAL[d] : STRAIGHT[d];
            int f = f0 + step[0], r = r0 + step[1];
            while (OnBoard(f, r) && !board[r * 8 + f]) f += step[0], r += step[1];
            if (piece(f, r, kind ? BISHOP : ROOK) || piece(f, r, QUEEN))
                found |= SquareBit(r * 8 + f);
        }
    return found;
}

bool Attacked(const Position& p, int sq, int c) { return WalkAttackers(p.board, sq, c) != 0; }

// A move is legal when the mover's king is not attacked after it is made; a
// castling king must not start in check nor pass an attacked square.
bool LegalByMaking(Position& p, Move m) {
    int c = p.side, from = FromSquare(m), to = ToSquare(m);
    if (TypeOf(p.board[from]) == KING && (to - from == 2 || from - to == 2) &&
        (Attacked(p, from, c ^ 1) || Attacked(p, (from + to) / 2, c ^ 1)))
        return false;
    MakeMove(p, m);
    bool legal = !Attacked(p, KingSquare(p, c), c ^ 1);
    UnmakeMove(p);
    return legal;
}

// The exchange on sq with the attacker chosen by walking: the cheapest kind
// first (pawn, knight, bishop, rook, queen, king), the lowest square within it.
int WalkedExchange(uint8_t* board, int side, int from, int sq, bool standPat) {
    if (from == NO_SQUARE) {
        Bitboard attackers = WalkAttackers(board, sq, side);
        for (int type = PAWN; type <= KING && from == NO_SQUARE; type++)
            for (Bitboard b = attackers; b && from == NO_SQUARE; b &= b - 1)
                if (TypeOf(board[BitScan(b)]) == type) from = BitScan(b);
        if (from == NO_SQUARE) return 0;
    }
    int victim = board[sq];
    if (TypeOf(victim) == KING) return 9999;
    uint8_t mover = board[from];
    board[sq] = mover;
    board[from] = 0;
    int score = SeeValue[TypeOf(victim)] - WalkedExchange(board, side ^ 1, NO_SQUARE, sq, true);
    board[from] = mover;
    board[sq] = uint8_t(victim);
    return standPat && score < 0 ? 0 : score;
}

// Calls check(position) on every position of random games from a few
// starts chosen for castling, en passant, pins and promotions (the last
// one to a kind of which nine are on the board already).
template <typename Check> void OnRandomGames(int games, Check check) {
    const char* starts[] = {STARTPOS,
                            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                            "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
                            "7k/1P6/8/8/8/NNN5/NNN5/NNN1K3 w - -"};
    std::mt19937 rng(2024);
    for (const char* fen : starts)
        for (int game = 0; game < games; game++) {
            Position& p = GamePosition(fen);
            for (int made = 0; made < 60; made++) {
                check(p);
                std::vector<Move> legal;
                for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
                    if (LegalByMaking(p, e->move)) legal.push_back(e->move);
                if (legal.empty()) break;
                MakeMove(p, legal[rng() % legal.size()]);
            }
        }
}

} // namespace

TEST(Primitives, SlidingAttacksEqualAWalkForEveryBlockerPattern) {
    ASSERT_TRUE(StartEngineForTests());
    std::mt19937_64 rng(99);
    for (int sq = 0; sq < 64; sq++)
        for (int kind = 0; kind < 2; kind++) {
            const int(*lines)[2] = kind ? DIAGONAL : STRAIGHT;
            // Every pattern of pieces on the lines, with noise off them.
            Bitboard full = WalkLines(sq, 0, lines), sub = 0;
            do {
                Bitboard occ = sub | (rng() & ~full);
                ASSERT_EQ(kind ? BishopAttacks(sq, occ) : RookAttacks(sq, occ),
                          WalkLines(sq, occ, lines))
                    << "square " << sq << " occupancy " << occ;
                sub = (sub - full) & full;
            } while (sub);
        }
}

TEST(Primitives, AttacksLegalityExchangesAndMoveCountsEqualWalksOnRandomGames) {
    OnRandomGames(25, [](Position& p) {
        for (int sq = 0; sq < 64; sq++)
            for (int c = 0; c < 2; c++)
                ASSERT_EQ(IsAttacked(p, sq, c), Attacked(p, sq, c) ? 1 : 0)
                    << FenOf(p) << " " << sq;

        int side = p.side, inCheck = InCheck(p, side);
        NodePins pins;
        CheckInfo checks;
        int legalCount = 0;
        for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++) {
            int legal = LegalByMaking(p, e->move) ? 1 : 0;
            legalCount += legal;
            if (e->captured) {
                // A capture is acceptable when it loses less than 75 by the exchange after it.
                int from = FromSquare(e->move), to = ToSquare(e->move);
                bool ok = PieceUnits[TypeOf(e->piece)] <= PieceUnits[TypeOf(e->captured)] ||
                          TypeOf(e->captured) == KING;
                if (!ok) {
                    uint8_t after[64];
                    memcpy(after, p.board, sizeof after);
                    after[to] = after[from];
                    after[from] = 0;
                    ok = SeeValue[TypeOf(e->captured)] -
                             WalkedExchange(after, side ^ 1, NO_SQUARE, to, true) >=
                         -74;
                }
                ASSERT_EQ(SeeCaptureOk(p, e->move), ok ? 1 : 0)
                    << FenOf(p) << " " << MoveText(e->move);
            }
            ASSERT_EQ(IsLegal(p, side, e->move), legal) << FenOf(p) << " " << MoveText(e->move);
            ASSERT_EQ(IsLegalInNode(p, side, e->move, inCheck, pins), legal)
                << FenOf(p) << " " << MoveText(e->move);
            // The per-node check test answers as the test on its own; a check
            // it reports is there once the move is made.
            int check = GivesCheck(p, side, *e, checks);
            ASSERT_EQ(check, GivesCheck(p, side, *e)) << FenOf(p) << " " << MoveText(e->move);
            if (check && legal) {
                MakeMove(p, e->move);
                bool attacked = Attacked(p, KingSquare(p, side ^ 1), side);
                UnmakeMove(p);
                ASSERT_TRUE(attacked) << FenOf(p) << " " << MoveText(e->move);
            }
        }
        ASSERT_EQ(CountLegalMoves(p), legalCount) << FenOf(p);

        uint8_t board[64];
        memcpy(board, p.board, sizeof board);
        for (int sq = 0; sq < 64; sq++)
            if (p.board[sq]) {
                int taker = ColourOf(p.board[sq]) ^ 1;
                ASSERT_EQ(Swap(p, taker, NO_SQUARE, sq),
                          WalkedExchange(board, taker, NO_SQUARE, sq, false))
                    << FenOf(p) << " " << sq;
            }
    });
}
