// The table prober judged from outside: the reference values of an
// independent prober, the generator's statistics, the values of successors
// and mirror images, and files that are damaged or missing.
#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "board/attacks.h"
#include "board/makemove.h"
#include "search/search_state.h"
#include "support/unit_test.h"
#include "tablebase/tbprobe.h"

namespace {

std::string SyzygyDir() { return TestDataDir() + "/syzygy"; }

// The shared tables, initialised once.
void UseSharedTables() {
    StartEngineForTests();
    if (TbCount == 0) TbInit(SyzygyDir().c_str());
}

TbPos ProberPosition(const std::string& fen) {
    static SearchThread* t = NewSearchThread();
    EXPECT_EQ(SetFromFen(t->pos, fen.c_str()), 1) << fen;
    TbPos tp;
    TbPosFromPosition(t->pos, 0, &tp);
    return tp;
}

int Sign(int v) { return (v > 0) - (v < 0); }

} // namespace

TEST(Tablebase, ReferenceValuesOfAnIndependentProber) {
    SKIP_WITHOUT_DATA();
    UseSharedTables();
    std::ifstream in(SyzygyDir() + "/endgame_wdl_dtz.epd");
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string f[4];
        if (!(fields >> f[0] >> f[1] >> f[2] >> f[3])) continue;
        std::string fen = f[0] + " " + f[1] + " " + f[2] + " " + f[3];
        size_t wdlAt = line.find(" wdl "), dtzAt = line.find(" dtz ");
        ASSERT_TRUE(wdlAt != std::string::npos && dtzAt != std::string::npos) << line;
        TbPos p = ProberPosition(fen);
        int wdlOk = 0, dtzOk = 0;
        EXPECT_EQ(ProbeWdl(p, &wdlOk), std::stoi(line.substr(wdlAt + 5))) << fen;
        EXPECT_EQ(ProbeDtz(p, &dtzOk), std::stoi(line.substr(dtzAt + 5))) << fen;
        EXPECT_TRUE(wdlOk && dtzOk) << fen;
        count++;
    }
    EXPECT_EQ(count, 200);
}

// The statistics name the longest win of each table with its FEN. Tables that
// store distances in moves lose the last ply: one short is right, never long.
TEST(Tablebase, LongestWinsOfTheGeneratorStatistics) {
    SKIP_WITHOUT_DATA();
    UseSharedTables();
    int checked = 0, exact = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SyzygyDir() + "/stats")) {
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Longest", 0) != 0) continue;
            size_t colon = line.find(": "), semi = line.find("; ");
            ASSERT_NE(semi, std::string::npos) << line;
            int plies = std::stoi(line.substr(colon + 2));
            int winner = line.find("for white") != std::string::npos ? WHITE : BLACK;
            TbPos p = ProberPosition(line.substr(semi + 2));
            int sign = (p.turn ? WHITE : BLACK) == winner ? 1 : -1;
            int ok = 0;
            int cursed = line.find("cursed") != std::string::npos;
            EXPECT_EQ(ProbeWdl(p, &ok), sign * (cursed ? 1 : 2)) << entry.path() << ": " << line;
            int dtz = sign * ProbeDtz(p, &ok);
            EXPECT_TRUE(ok && (dtz == plies || dtz == plies - 1)) << line << " gives " << dtz;
            exact += dtz == plies;
            checked++;
        }
    }
    EXPECT_GE(checked, 50);
    EXPECT_GE(exact, checked / 2); // most tables keep plies
}

namespace {

TbPos Transformed(const TbPos& p, bool swapColours) {
    TbPos q = p;
    for (Bitboard* s :
         {&q.white, &q.black, &q.kings, &q.queens, &q.rooks, &q.bishops, &q.knights, &q.pawns}) {
        Bitboard b = *s, r = 0;
        for (int sq = 0; sq < 64; sq++)
            if (b & SquareBit(sq)) r |= SquareBit(swapColours ? sq ^ 56 : sq ^ 7);
        *s = r;
    }
    if (swapColours) {
        std::swap(q.white, q.black);
        q.turn ^= 1;
    }
    return q;
}

} // namespace

// Random positions of every shared table: the value agrees with the best value
// among the positions one move later, with the colour-swapped and the
// file-mirrored position, and a mate in one is a distance of one ply.
TEST(Tablebase, ValuesAgreeWithSuccessorsAndMirrors) {
    SKIP_WITHOUT_DATA();
    UseSharedTables();
    std::vector<std::string> tables;
    for (const auto& entry : std::filesystem::directory_iterator(SyzygyDir()))
        if (entry.path().extension() == ".rtbw") tables.push_back(entry.path().stem());
    ASSERT_GE(tables.size(), 40u);
    SearchThread* t = NewSearchThread();
    Position& pos = t->pos;
    uint32_t rng = 12345;
    auto next = [&rng](int n) { return int(((rng = rng * 1103515245u + 12345u) >> 8) % n); };
    int mates = 0;
    for (const std::string& name : tables) {
        int tested = 0;
        for (int attempt = 0; attempt < 2000 && tested < 120; attempt++) {
            char board[64] = {0};
            RandomPlacement(name.c_str(), board, next);
            {
                QuietStdout quiet; // refusals of illegal placements
                if (!SetFromFen(pos, PlacementFen(board, attempt & 1).c_str())) continue;
            }
            tested++;
            std::string fen = FenOf(pos);
            TbPos p;
            TbPosFromPosition(pos, 0, &p);
            int ok = 0, dtzOk = 0;
            int wdl = ProbeWdl(p, &ok), dtz = ProbeDtz(p, &dtzOk);
            ASSERT_TRUE(ok && dtzOk) << fen;
            EXPECT_EQ(Sign(dtz), Sign(wdl)) << fen;
            if (wdl) {
                EXPECT_EQ(std::abs(wdl) == 2, std::abs(dtz) <= 100) << fen << " dtz " << dtz;
            }
            for (bool swap : {true, false}) {
                TbPos q = Transformed(p, swap);
                EXPECT_EQ(ProbeWdl(q, &ok), wdl)
                    << fen << (swap ? " colours swapped" : " mirrored");
                EXPECT_EQ(ProbeDtz(q, &ok), dtz)
                    << fen << (swap ? " colours swapped" : " mirrored");
            }
            int best = -3, mateInOne = 0;
            t->ply = 1;
            t->stack[1].listStart = t->moves;
            for (Move m : LegalMoves(pos)) {
                MakeMove(pos, m);
                TbPos c;
                TbPosFromPosition(pos, 0, &c);
                int v = -ProbeWdl(c, &ok);
                EXPECT_TRUE(ok) << fen << " then " << MoveText(m);
                mateInOne |= InCheck(pos, pos.side) && LegalMoves(pos).empty();
                UnmakeMove(pos);
                best = std::max(best, Sign(v));
            }
            if (best == -3) best = InCheck(pos, pos.side) ? -1 : 0;
            EXPECT_EQ(Sign(wdl), best) << fen;
            if (mateInOne) {
                EXPECT_EQ(dtz, 1) << fen;
                mates++;
            }
        }
        EXPECT_GE(tested, 100) << name;
    }
    EXPECT_GT(mates, 10);
    FreeSearchThread(t);
}

// Files damaged or removed after start-up fail only the probes that need them,
// with one message on standard error, and are not tried again (a search would
// report them at every probe) until the tables are set up anew.
TEST(Tablebase, BrokenFilesFailOnlyTheirProbes) {
    SKIP_WITHOUT_DATA();
    StartEngineForTests();
    ScratchDir dir;
    for (const char* file : {"KQvK.rtbw", "KQvK.rtbz", "KRvK.rtbw", "KPvK.rtbw", "KNvK.rtbw"})
        std::filesystem::copy_file(SyzygyDir() + "/" + file, dir.File(file));
    std::filesystem::create_directory(dir.File("KBvK.rtbw")); // opens, cannot be mapped
    testing::internal::CaptureStdout();
    TbInit(dir.path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string found 5 tablebases\n");
    WriteFile(dir.File("KRvK.rtbw"),
              "\x01\x02\x03\x04" + ReadFile(dir.File("KRvK.rtbw")).substr(4));
    std::filesystem::resize_file(dir.File("KPvK.rtbw"), 1000);
    std::filesystem::resize_file(dir.File("KQvK.rtbz"), 3);
    std::filesystem::remove(dir.File("KNvK.rtbw"));
    const char* const KQvK = "8/8/8/8/8/2k5/8/K6Q w - -";
    const char* const KNvK = "8/8/8/8/8/2k5/8/K6N w - -";
    std::pair<const char*, const char*> cases[] = {
        {"8/8/8/8/8/2k5/8/K6R w - -", "Corrupted table.\n"},
        {"8/8/8/8/8/2k5/4P3/K7 w - -", "Corrupted table.\n"},
        {KNvK, "Could not find KNvK.rtbw\n"},
        {KNvK, ""}, // reported once
        {"8/8/8/8/8/2k5/8/K6B w - -", "MapViewOfFile() failed, name = KBvK.rtbw, error = "},
        {"8/8/8/8/8/2k5/8/K6B w - -", ""}};
    for (auto [fen, message] : cases) {
        int ok = 1;
        testing::internal::CaptureStderr();
        ProbeWdl(ProberPosition(fen), &ok);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.substr(0, strlen(message)), message) << fen; // one line, any error code
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), message[0] ? 1 : 0) << said;
        EXPECT_EQ(ok, 0) << fen;
    }
    // Only the distance file of KQvK is damaged: its WDL value still comes.
    int ok = 0;
    EXPECT_EQ(ProbeWdl(ProberPosition(KQvK), &ok), 2);
    EXPECT_EQ(ok, 1);
    testing::internal::CaptureStderr();
    ProbeDtz(ProberPosition(KQvK), &ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(ok, 0);
    for (const char* file : {"KNvK.rtbw", "KRvK.rtbw"})
        std::filesystem::copy_file(SyzygyDir() + "/" + file, dir.File(file),
                                   std::filesystem::copy_options::overwrite_existing);
    ProbeWdl(ProberPosition(KNvK), &ok);
    EXPECT_EQ(ok, 0);
    testing::internal::CaptureStdout();
    TbInit(dir.path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ProbeWdl(ProberPosition(KNvK), &ok), 0);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(ProbeWdl(ProberPosition("8/8/8/8/8/2k5/8/K6R w - -"), &ok), 2);
    EXPECT_EQ(ok, 1);
    TbInit("");
}
