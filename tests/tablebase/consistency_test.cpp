// Random positions of every shared table: the stored values must agree with
// the values of the positions one move later (found with the engine's own move
// generator), and with the values of the mirrored and colour-swapped positions.
#include <dirent.h>

#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "tb_fixture.h"

namespace {

std::vector<std::string> SharedTableNames() {
    std::vector<std::string> names;
    DIR* d = opendir(SyzygyDir().c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 5 && n.substr(n.size() - 5) == ".rtbw")
            names.push_back(n.substr(0, n.size() - 5));
    }
    closedir(d);
    return names;
}

int Sign(int v) { return (v > 0) - (v < 0); }

Bitboard FlipVertical(Bitboard b) { return __builtin_bswap64(b); }
Bitboard MirrorFiles(Bitboard b) {
    Bitboard r = 0;
    for (int sq = 0; sq < 64; sq++)
        if (b & SquareBit(sq)) r |= SquareBit(sq ^ 7);
    return r;
}

TbPos Transform(const TbPos& p, Bitboard (*f)(Bitboard), bool swapColours) {
    TbPos q = p;
    Bitboard* sets[8] = {&q.white, &q.black,   &q.kings,   &q.queens,
                         &q.rooks, &q.bishops, &q.knights, &q.pawns};
    for (Bitboard* s : sets) *s = f(*s);
    if (swapColours) {
        std::swap(q.white, q.black);
        q.turn ^= 1;
    }
    return q;
}

} // namespace

TEST(TablebaseConsistency, ValuesAgreeWithChildrenAndMirrors) {
    if (!UseSharedTables()) GTEST_SKIP() << "shared test data not found";
    std::vector<std::string> names = SharedTableNames();
    ASSERT_GE(names.size(), 40u);
    SearchThread* t = TestThread();
    int mateCount = 0;
    for (const std::string& name : names) {
        int tested = 0;
        for (int attempt = 0; attempt < 4000 && tested < 150; attempt++) {
            std::string fen = RandomFen(name, attempt & 1);
            if (fen.empty()) continue;
            tested++;
            Position& pos = FenPosition(fen);
            TbPos p;
            TbPosFromPosition(pos, 0, &p);
            int ok = 0;
            int wdl = ProbeWdl(p, &ok);
            ASSERT_NE(ok, 0) << fen;
            int dtz = ProbeDtz(p, &ok);
            ASSERT_NE(ok, 0) << fen;
            EXPECT_EQ(Sign(dtz), Sign(wdl)) << fen;
            if (wdl == 2 || wdl == -2) {
                EXPECT_LE(std::abs(dtz), 100) << fen;
            } else if (wdl != 0) {
                EXPECT_GT(std::abs(dtz), 100) << fen;
            }

            // Colour swap with the board turned round, and the file mirror.
            TbPos q = Transform(p, FlipVertical, true);
            EXPECT_EQ(ProbeWdl(q, &ok), wdl) << "colour swap of " << fen;
            EXPECT_EQ(ProbeDtz(q, &ok), dtz) << "colour swap of " << fen;
            q = Transform(p, MirrorFiles, false);
            EXPECT_EQ(ProbeWdl(q, &ok), wdl) << "file mirror of " << fen;
            EXPECT_EQ(ProbeDtz(q, &ok), dtz) << "file mirror of " << fen;

            // The best child decides the sign of the value.
            t->stack[1].listStart = t->moves;
            MoveEntry* list = GenAllMoves(pos);
            int best = -3, legal = 0, mates = 0;
            for (MoveEntry* e = list; e->move != END_OF_LIST; e++) {
                if (!IsLegal(pos, pos.side, e->move)) continue;
                legal++;
                MakeMove(pos, e->move);
                TbPos c;
                TbPosFromPosition(pos, 0, &c);
                int v = -ProbeWdl(c, &ok);
                EXPECT_NE(ok, 0);
                if (v == 2 && InCheck(pos, pos.side)) {
                    int replies = 0;
                    MoveEntry* next = GenAllMoves(pos);
                    for (MoveEntry* r = next; r->move != END_OF_LIST; r++)
                        replies += IsLegal(pos, pos.side, r->move);
                    mates += replies == 0;
                }
                UnmakeMove(pos);
                best = std::max(best, Sign(v));
            }
            if (legal == 0) best = InCheck(pos, pos.side) ? -1 : 0;
            EXPECT_EQ(Sign(wdl), best) << fen;
            // A mate is a distance of one ply, whichever side the table stores.
            if (mates) {
                EXPECT_EQ(dtz, 1) << fen;
                mateCount++;
            }
        }
        EXPECT_GE(tested, 100) << name;
    }
    EXPECT_GT(mateCount, 10);
}
