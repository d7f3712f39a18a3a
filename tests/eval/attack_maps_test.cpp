// The attack maps an evaluation leaves behind hold every square a colour
// attacks: the passed-pawn term skips its exchange on squares outside them.
#include <random>

#include "board/makemove.h"
#include "board/movegen.h"
#include "eval_fixture.h"

TEST(EvalAttackMaps, EveryAttackedSquareIsInTheMapOfItsColour) {
    InitEvalForTests();
    SearchThread* t = PlainThread();
    std::mt19937 rng(31);
    int checked = 0;
    for (const char* fen :
         {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"})
        for (int game = 0; game < 30; game++) {
            SetPosition(t, fen);
            Position& p = t->pos;
            for (int ply = 1; ply < 60; ply++) {
                int inCheck = InCheck(p, p.side);
                bool fullEvaluation = !inCheck && (p.matSig[0] & 15) + (p.matSig[1] & 15) > 1;
                if (fullEvaluation) {
                    t->searchRunning = 0;
                    t->stack[ply].threat[0] = t->stack[ply].threat[1] = 0;
                    Evaluate(t, p.side, ply, 0);
                    char text[100];
                    GetFen(p, text);
                    for (int col = 0; col < 2; col++)
                        for (int sq = 0; sq < 64; sq++) {
                            bool inMap = t->eval.allAttacks[col] & (Bitboard(1) << sq);
                            ASSERT_TRUE(inMap || !IsAttacked(p, sq, col))
                                << text << " colour " << col << " square " << sq;
                        }
                    checked++;
                }
                std::vector<Move> legal;
                for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
                    if (e->move && IsLegal(p, p.side, e->move)) legal.push_back(e->move);
                if (legal.empty()) break;
                MakeMove(p, legal[rng() % legal.size()]);
            }
        }
    EXPECT_GT(checked, 1000);
}
