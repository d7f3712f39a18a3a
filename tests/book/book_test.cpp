// The book judged from outside: records built from games against counts made
// by hand and by an independent recount, every record written found again by
// the probe, and damaged input built without harm.
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book.h"
#include "book/book_build.h"
#include "shell/engine.h"
#include "support/unit_test.h"

namespace {

typedef std::array<int, 3> Counts; // games lost, won, drawn by the side that moved there
typedef std::pair<uint16_t, uint32_t> FileKey; // key16 with the side bit, key32

FileKey KeyOf(const Position& p) {
    BookKey k = BookKeyOf(p);
    return {SidedKey16(k.raw16, p.side), k.key32};
}

FileKey KeyAfter(std::initializer_list<const char*> moves) {
    Position& p = GamePosition(STARTPOS);
    for (const char* m : moves) MakeMove(p, CoordMove(m));
    return KeyOf(p);
}

std::map<FileKey, Counts> ReadBook(const std::string& path) {
    std::map<FileKey, Counts> records;
    FILE* f = fopen(path.c_str(), "rb");
    BookRecord r;
    while (f && ReadBookRecord(f, r)) records[{r.key16, r.key32}] = {r.losses, r.wins, r.draws};
    if (f) fclose(f);
    return records;
}

// Builds book.opn from the PGN text in dir; the records.
std::map<FileKey, Counts> Build(const ScratchDir& dir, const std::string& pgn) {
    StartEngineForTests();
    WriteFile(dir.File("book.pgn"), pgn);
    std::string files[4] = {dir.File("book.pgn"), dir.File("book.opn"), dir.File("tmp.opn"),
                            dir.File("tmp__0.opn")};
    BookBuildFiles names;
    names.pgn = files[0].c_str();
    names.book = files[1].c_str();
    names.tmp = files[2].c_str();
    names.merged = files[3].c_str();
    testing::internal::CaptureStdout();
    BuildBook(searchState.threads[0], names);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(std::filesystem::exists(files[2]) || std::filesystem::exists(files[3]));
    return ReadBook(files[1]);
}

void ExpectCounts(const std::map<FileKey, Counts>& book, FileKey key, int losses, int wins,
                  int draws) {
    ASSERT_TRUE(book.count(key));
    EXPECT_EQ(book.at(key), (Counts{losses, wins, draws}));
}

std::string SourceDir() {
    std::string file = __FILE__;
    return file.substr(0, file.find_last_of('/'));
}

} // namespace

// tests/book/small_book.pgn is counted by hand in its first comment.
TEST(Book, SmallCollectionGivesTheHandCountedRecords) {
    ScratchDir dir;
    auto book = Build(dir, ReadFile(SourceDir() + "/small_book.pgn"));
    ASSERT_EQ(book.size(), 2u); // everything seen in fewer than nine games is pruned
    ExpectCounts(book, KeyAfter({"e2e4"}), 3, 5, 2);
    ExpectCounts(book, KeyAfter({"e2e4", "e7e5"}), 5, 2, 2);
}

TEST(Book, OnlyTheFirstFiftyPliesOfAGameCount) {
    std::string game = "[Result \"1-0\"]\n";
    for (int i = 0; i < 14; i++) game += "Nf3 Nf6 Ng1 Ng8\n";
    ScratchDir dir;
    auto book = Build(dir, game + "1-0\n");
    // Plies 1..50 of 56: Nf3 and Nf6 thirteen times, Ng1 and Ng8 twelve times.
    ASSERT_EQ(book.size(), 4u);
    ExpectCounts(book, KeyAfter({"g1f3"}), 0, 13, 0);
    ExpectCounts(book, KeyAfter({"g1f3", "g8f6"}), 13, 0, 0);
    ExpectCounts(book, KeyAfter({"g1f3", "g8f6", "f3g1", "f6g8"}), 12, 0, 0);
}

// The book of a real collection equals a recount of its games, and every
// position seen often enough is found by the probe with its counts.
TEST(Book, RealGamesGiveTheRecountedRecords) {
    SKIP_WITHOUT_DATA();
    std::string pgn = ReadFile(TestDataDir() + "/pgn/tcec_superfinals_s4-s13.pgn");
    ScratchDir dir;
    auto book = Build(dir, pgn);
    std::string first = ReadFile(dir.File("book.opn"));
    Build(dir, pgn);
    EXPECT_EQ(ReadFile(dir.File("book.opn")), first) << "two builds differ";

    std::map<FileKey, Counts> recount;
    std::vector<GameRecord> games = ReadGames(dir.File("book.pgn"), 100000, BUILD_PLY_LIMIT);
    Position& p = searchState.threads[0]->pos;
    for (const GameRecord& g : games) {
        SetFromFen(p, STARTPOS);
        for (Move m : g.moves) {
            MakeMove(p, m);
            int mover = p.side ^ 1;
            recount[KeyOf(p)][g.result == 2 ? 2 : g.result == mover ? 1 : 0]++;
        }
    }
    std::erase_if(recount, [](const auto& r) {
        return r.second[0] + r.second[1] + r.second[2] < BUILD_MIN_GAMES;
    });
    ASSERT_GT(recount.size(), 100u);
    ASSERT_EQ(book.size(), recount.size());
    for (const auto& [key, c] : recount) EXPECT_EQ(book[key], c) << key.first << " " << key.second;

    snprintf(options.bookFile, sizeof options.bookFile, "%s", dir.File("book.opn").c_str());
    ASSERT_EQ(OpenBook(), int(book.size()));
    for (size_t g = 0; g < games.size(); g += 7) {
        SetFromFen(p, STARTPOS);
        for (Move m : games[g].moves) {
            MakeMove(p, m);
            ComputeBookKey(p);
            const BookRecord* r = ProbeBook(p.side);
            auto it = recount.find(KeyOf(p));
            ASSERT_EQ(r != nullptr, it != recount.end()) << "game " << g;
            if (r) { EXPECT_EQ(r->wins, it->second[1]); }
        }
    }
    // The start position gets a legal book move.
    SetFromFen(p, STARTPOS);
    Move m = QuietBookMove(searchState.threads[0]);
    EXPECT_TRUE(IsLegalMove(p, m)) << MoveText(m);
    options.bookFile[0] = 0;
    OpenBook();
}

// Records spread over every index bucket, many sharing their 16-bit part
// across the ends of the cached blocks: each is found, whatever the order.
TEST(Book, EveryRecordWrittenIsFound) {
    StartEngineForTests();
    std::mt19937 random(2024);
    std::vector<BookRecord> records;
    std::set<FileKey> keys;
    while (keys.size() < 6000) keys.insert({uint16_t(random()), uint32_t(random() % 4)});
    keys.insert({0x8000, 7});
    keys.insert({0x0000, 9});
    for (auto [k16, k32] : keys) records.push_back({k16, k32, 1, k16, uint16_t(k32), 0});
    std::sort(records.begin(), records.end(), [](const BookRecord& a, const BookRecord& b) {
        return BookOrder(a.key16, a.key32, b.key16, b.key32) < 0;
    });
    ScratchDir dir;
    FILE* f = fopen(dir.File("test.opn").c_str(), "wb");
    for (const BookRecord& r : records) WriteBookRecord(f, r);
    fclose(f);
    snprintf(options.bookFile, sizeof options.bookFile, "%s", dir.File("test.opn").c_str());
    ASSERT_EQ(OpenBook(), int(records.size()));
    for (int pass = 0; pass < 3; pass++) {
        if (pass == 1) std::reverse(records.begin(), records.end());
        if (pass == 2) std::shuffle(records.begin(), records.end(), random);
        for (const BookRecord& r : records) {
            currentBookKey = {r.key16, r.key32};
            const BookRecord* found = ProbeBook(r.key16 >> 15 ? WHITE : BLACK);
            ASSERT_TRUE(found && found->wins == r.key16 && found->draws == r.key32)
                << r.key16 << " " << r.key32 << " pass " << pass;
            currentBookKey = {r.key16, r.key32 + 100};
            EXPECT_EQ(ProbeBook(r.key16 >> 15 ? WHITE : BLACK), nullptr);
        }
    }
    options.bookFile[0] = 0;
    OpenBook();
}

// Games that cannot be read are skipped; the clean ones still count.
TEST(Book, DamagedGamesBuildWithoutHarm) {
    std::mt19937 random(99);
    std::string junk;
    for (int i = 0; i < 3000; i++) junk += char(random() % 256);
    std::string clean;
    for (int i = 0; i < 9; i++) clean += "[Result \"1-0\"]\n1.e4 1-0\n";
    std::string pgn = "garbage before any game e4 e5\n" + junk + "\n" +
                      "[Result \"1-0\"]\n1.d4 { never closed ( ) }}}\n" +
                      "[Result \"0-1\"]\n1.d4 ((((((((( e5 ))))))))) d5 )))) }}}} ] 2.c4\n" +
                      "[Result \"1-0\"]\n1.d4 d5 2.Qxh7 Nf6 3.e4\n" +
                      "[Result \"1/2-1/2\"]\n1.d4 {" + std::string(2000, 'x') + "} d5 " +
                      std::string(600, 'N') + "\n" +
                      "[Result \"1-0\"]\n\t1.\td4 $ ; ! ? . 1... -- 0- O-O-O e8=Q\n" +
                      "[Result \"1-0\"]\n" + junk + "\n[Result 1-0\n" + clean;
    ScratchDir dir;
    auto book = Build(dir, pgn);
    ASSERT_EQ(book.size(), 1u);
    ExpectCounts(book, KeyAfter({"e2e4"}), 0, 9, 0);
    EXPECT_TRUE(Build(dir, "").empty());
}
