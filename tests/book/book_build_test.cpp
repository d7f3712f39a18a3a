// Building the book from PGN: counting, runs and merges, pruning, the
// tokenising rules, damaged input and a real collection of games.
#include <chrono>
#include <map>
#include <random>

#include "book_test_util.h"
#include "support/test_support.h"

namespace {

struct Counts {
    int losses = 0, wins = 0, draws = 0;
    int Total() const { return losses + wins + draws; }
};

struct BookBuild : testing::Test {
    ScratchDir dir;
    ScratchBuild build{dir};
    static void SetUpTestSuite() { InitBookTests(); }
    void TearDown() override {
        options.bookFile[0] = 0;
        OpenBook();
    }
    std::vector<BookRecord> BuildFrom(const std::string& pgn) {
        WriteText(build.pgn, pgn);
        BuildQuietly(build);
        return ReadRecords(build.book);
    }
};

FullKey After(const std::vector<std::string>& moves) {
    return FullKeyOf(PlayFrom(BOOK_START_FEN, moves));
}

const BookRecord* Find(const std::vector<BookRecord>& records, FullKey k) {
    for (const BookRecord& r : records)
        if (r.key16 == k.key16 && r.key32 == k.key32) return &r;
    return nullptr;
}

void ExpectCounts(const std::vector<BookRecord>& records, const std::vector<std::string>& moves,
                  int losses, int wins, int draws) {
    const BookRecord* r = Find(records, After(moves));
    ASSERT_NE(r, nullptr) << "position after " << moves.size() << " plies missing";
    EXPECT_EQ(r->losses, losses);
    EXPECT_EQ(r->wins, wins);
    EXPECT_EQ(r->draws, draws);
    EXPECT_EQ(r->reserved, 0);
}

bool StrictlySorted(const std::vector<BookRecord>& records) {
    for (size_t i = 1; i < records.size(); i++)
        if (BookOrder(records[i - 1].key16, records[i - 1].key32, records[i].key16,
                      records[i].key32) >= 0)
            return false;
    return true;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; i++) out += text;
    return out;
}

std::string SourceDir() {
    std::string file = __FILE__;
    return file.substr(0, file.find_last_of('/'));
}

TEST_F(BookBuild, SmallCollectionGivesTheHandCountedRecords) {
    std::filesystem::copy_file(SourceDir() + "/small_book.pgn", build.pgn);
    testing::internal::CaptureStdout();
    BuildBook(searchState.threads[0], build.files);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, ".\nmerging...\npruning...\ndone\n");
    std::vector<BookRecord> records = ReadRecords(build.book);

    // 1.e4 is played in games 1-10: white won 1, 4, 5, 8, 9, lost 2, 7, 10,
    // drew 3 and 6 (the "*" game). 1...e5 follows in games 1-9: black won 2
    // and 7, lost 1, 4, 5, 8, 9, drew 3 and 6. 2.Nf3 (games 1-8 only: the
    // variation of game 9 and the comment of game 10 do not count) is seen in
    // 8 games and pruned, like every later or rarer position.
    ASSERT_EQ(records.size(), 2u);
    // White to move sets the top key bit: the position after 1...e5 comes first.
    EXPECT_EQ(records[0].key16 & 0x8000, 0x8000);
    EXPECT_EQ(records[1].key16 & 0x8000, 0);
    ExpectCounts(records, {"e2e4", "e7e5"}, 5, 2, 2);
    ExpectCounts(records, {"e2e4"}, 3, 5, 2);
    EXPECT_EQ(ReadBytes(build.book).size(), 28u);

    // The build leaves no scratch files, probing off and the start position.
    EXPECT_FALSE(FileExists(build.tmp));
    EXPECT_FALSE(FileExists(build.merged));
    EXPECT_EQ(options.bookFile[0], 0);
    EXPECT_EQ(FullKeyOf(Game()), FullKeyOf(PlayFrom(BOOK_START_FEN)));
    EXPECT_EQ(searchState.threads[0]->historyCount, 0);

    // The built book answers probes once opened.
    ASSERT_EQ(OpenBookFile(build.book), 2);
    FullKey e4 = After({"e2e4"});
    currentBookKey = {e4.key16, e4.key32};
    ASSERT_NE(ProbeBook(BLACK), nullptr);
    EXPECT_EQ(ProbeBook(BLACK)->wins, 5);
}

TEST_F(BookBuild, OnlyTheFirstFiftyPliesCount) {
    // 56 plies of knight moves: the four positions come round every 4 plies.
    std::string game = "[Result \"1-0\"]\n";
    for (int i = 0; i < 14; i++)
        game += std::to_string(2 * i + 1) + ".Nf3 Nf6 " + std::to_string(2 * i + 2) + ".Ng1 Ng8\n";
    std::vector<BookRecord> records = BuildFrom(game + "1-0\n");
    // Plies 1..50 count: Nf3 at plies 1, 5, .., 49 (13 times), Nf6 at 2, .., 50
    // (13), Ng1 at 3, .., 47 (12), Ng8 at 4, .., 48 (12). Occurrences count,
    // not games. White won: white moves are wins, black moves losses.
    ASSERT_EQ(records.size(), 4u);
    ExpectCounts(records, {"g1f3"}, 0, 13, 0);
    ExpectCounts(records, {"g1f3", "g8f6"}, 13, 0, 0);
    ExpectCounts(records, {"g1f3", "g8f6", "f3g1"}, 0, 12, 0);
    ExpectCounts(records, {"g1f3", "g8f6", "f3g1", "f6g8"}, 12, 0, 0);
    EXPECT_TRUE(StrictlySorted(records));
}

TEST_F(BookBuild, GameWithoutResultTagContinuesThePreviousOne) {
    std::vector<BookRecord> records =
        BuildFrom(Repeat("[Result \"1-0\"]\n1.e4 e5\n\n[Event \"no result\"]\n1.d4 *\n\n", 9));
    ASSERT_EQ(records.size(), 3u);
    ExpectCounts(records, {"e2e4"}, 0, 9, 0);
    ExpectCounts(records, {"e2e4", "e7e5"}, 9, 0, 0);
    ExpectCounts(records, {"e2e4", "e7e5", "d2d4"}, 0, 9, 0);
}

TEST_F(BookBuild, ResultTagEndsAnUnterminatedComment) {
    std::vector<BookRecord> records =
        BuildFrom(Repeat("[Result \"0-1\"]\n1.e4 { never closed\n[Round \"x\"]\n1.d4 d5\n", 9));
    ASSERT_EQ(records.size(), 1u);
    ExpectCounts(records, {"e2e4"}, 9, 0, 0);
}

TEST_F(BookBuild, RunsAndMergesAddUpAcrossBoundaries) {
    // 5201 games: runs are flushed at games 200, 400, .., 5200 and at the end,
    // merged into the book at game 5000 and at the end. Game i is won by white
    // when i % 3 == 0 (1733 games), by black when i % 3 == 1 (1734), drawn
    // when i % 3 == 2 (1734).
    std::string pgn;
    const char* results[3] = {"1-0", "0-1", "1/2-1/2"};
    for (int i = 1; i <= 5201; i++)
        pgn += std::string("[Result \"") + results[i % 3] + "\"]\n1.e4 e5\n";
    WriteText(build.pgn, pgn);
    testing::internal::CaptureStdout();
    BuildBook(searchState.threads[0], build.files);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, std::string(25, '.') + "\nmerging...\n" + ".." + "\nmerging...\n" +
                          "pruning...\ndone\n");
    std::vector<BookRecord> records = ReadRecords(build.book);
    ASSERT_EQ(records.size(), 2u);
    ExpectCounts(records, {"e2e4"}, 1734, 1733, 1734);
    ExpectCounts(records, {"e2e4", "e7e5"}, 1733, 1734, 1734);
}

TEST_F(BookBuild, MergesAddCountsUpToTheCap) {
    BookRecord a = {0x9000, 50, 50000, 10, 5, 7};
    BookRecord b = {0x9000, 50, 20000, 5, 59999, 9};
    BookRecord high = {0xF000, 1, 1, 1, 1, 0};
    BookRecord low = {0x0100, 1, 1, 1, 1, 0};
    BookRecord sameHigh = {0x9000, 60, 3, 3, 3, 0}; // equal key16, larger key32
    WriteRecords(build.book, {a, low});
    // FlushRuns: no run yet, so the run becomes the buffer.
    std::vector<BookRecord> buffer = {high, sameHigh, b};
    testing::internal::CaptureStdout();
    FlushRuns(build.files, buffer.data(), int(buffer.size()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(ReadRecords(build.tmp).size(), 3u);
    EXPECT_FALSE(FileExists(build.merged));

    testing::internal::CaptureStdout();
    MergeIntoBook(build.files);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nmerging...\n");
    std::vector<BookRecord> merged = ReadRecords(build.book);
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_TRUE(StrictlySorted(merged));
    EXPECT_EQ(merged[0].key16, 0xF000);
    EXPECT_EQ(merged[1].key32, 60u);
    // The book's record comes first: its other fields are kept.
    EXPECT_EQ(merged[2].losses, BOOK_COUNT_CAP);
    EXPECT_EQ(merged[2].wins, 15);
    EXPECT_EQ(merged[2].draws, BOOK_COUNT_CAP);
    EXPECT_EQ(merged[2].reserved, 7);
    EXPECT_EQ(merged[3].key16, 0x0100);
    EXPECT_FALSE(FileExists(build.tmp));
    EXPECT_FALSE(FileExists(build.merged));

    // Without a run file there is nothing to merge: the book stays.
    std::string before = ReadBytes(build.book);
    testing::internal::CaptureStdout();
    MergeIntoBook(build.files);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadBytes(build.book), before);

    // A second flush adds into the existing run, also up to the cap.
    std::vector<BookRecord> first = {b}, second = {b, low};
    testing::internal::CaptureStdout();
    FlushRuns(build.files, first.data(), 1);
    FlushRuns(build.files, second.data(), 2);
    testing::internal::GetCapturedStdout();
    std::vector<BookRecord> run = ReadRecords(build.tmp);
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[0].losses, 40000);
    EXPECT_EQ(run[0].draws, BOOK_COUNT_CAP);
}

TEST_F(BookBuild, DamagedInputBuildsWithoutHarm) {
    std::mt19937 random(99);
    std::string junk;
    for (int i = 0; i < 3000; i++) junk += char(random() % 256);
    std::string pgn = "garbage before any game e4 e5\n" + junk + "\n" +
                      "[Result \"1-0\"]\n1.d4 { never closed ( ) }}}\n" +
                      "[Result \"0-1\"]\n1.d4 ((((((((( e5 ))))))))) d5 )))) }}}} ] 2.c4\n" +
                      "[Result \"1-0\"]\n1.d4 d5 2.Qxh7 Nf6 3.e4\n" +
                      "[Result \"1/2-1/2\"]\n1.d4 {" + std::string(2000, 'x') + "} d5 " +
                      std::string(600, 'N') + "\n" + "[Result \"1-0\"]\n" + std::string(700, ' ') +
                      "1.d4\n" + "[Result \"1-0\"]\n\t1.\td4 $ ; ! ? . 1... -- 0- O-O-O e8=Q\n" +
                      "[Result \"1-0\"]\n" + junk + "\n[Result 1-0\n" +
                      Repeat("[Result \"1-0\"]\n1.e4 1-0\n", 9);
    std::vector<BookRecord> records = BuildFrom(pgn);
    EXPECT_TRUE(StrictlySorted(records));
    // The nine clean games at the end are all there is to keep.
    ASSERT_EQ(records.size(), 1u);
    ExpectCounts(records, {"e2e4"}, 0, 9, 0);

    // No games, or no input at all.
    EXPECT_TRUE(BuildFrom("").empty());
    EXPECT_TRUE(FileExists(build.book));
    // Without the games the existing book is left alone.
    std::remove(build.pgn.c_str());
    BuildQuietly(build);
    EXPECT_TRUE(FileExists(build.book));
    EXPECT_FALSE(FileExists(build.tmp));
}

// An independent count of the positions of the first 50 plies of each game:
// whole lines, comments removed first, move numbers and results dropped.
struct GameCount {
    std::map<std::pair<uint16_t, uint32_t>, Counts> positions;
    std::vector<std::vector<Move>> games;
    int unreadGames = 0;
};

GameCount CountGames(const std::string& path) {
    GameCount out;
    std::ifstream in(path);
    std::string line;
    int depth = 0, result = 2, plies = 0;
    bool reading = false;
    Position& p = Game();
    while (std::getline(in, line)) {
        if (line.find("[Result") != std::string::npos) {
            PlayFrom(BOOK_START_FEN);
            result = line.find("1-0") != std::string::npos   ? 0
                     : line.find("0-1") != std::string::npos ? 1
                                                             : 2;
            depth = plies = 0;
            reading = true;
            out.games.emplace_back();
            continue;
        }
        if (depth == 0 && (line.empty() || line[0] == '[' || line[0] == ';')) continue;
        std::string text;
        for (char c : line) {
            if (c == '{')
                depth++;
            else if (c == '}')
                depth--;
            else if (depth == 0)
                text += c;
        }
        std::istringstream words(text);
        std::string word;
        while (words >> word) {
            if (!reading || plies >= 50) break;
            if (word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*") continue;
            size_t start = word.find_first_not_of("0123456789.");
            if (start == std::string::npos) continue;
            Move m = 0;
            if (!ParseMove(word.c_str() + start, &m)) {
                reading = false;
                out.unreadGames++;
                break;
            }
            MakeMove(p, m);
            plies++;
            out.games.back().push_back(m);
            FullKey k = FullKeyOf(p);
            int mover = p.side ^ 1;
            Counts& c = out.positions[{k.key16, k.key32}];
            if (result == 2)
                c.draws++;
            else if (result == mover)
                c.wins++;
            else
                c.losses++;
        }
    }
    return out;
}

TEST_F(BookBuild, RealGamesBuildReproduciblyAndCompletely) {
    std::string data = TestDataDir();
    if (data.empty()) GTEST_SKIP() << "shared test data not found";
    std::string source = data + "/pgn/tcec_superfinals_s4-s13.pgn";
    if (!FileExists(source)) GTEST_SKIP() << "shared test data not found";
    std::filesystem::copy_file(source, build.pgn);

    auto start = std::chrono::steady_clock::now();
    BuildQuietly(build);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string first = ReadBytes(build.book);
    BuildQuietly(build);
    EXPECT_EQ(ReadBytes(build.book), first) << "two builds differ";
    GameCount expected = CountGames(build.pgn);
    std::vector<BookRecord> records = ReadRecords(build.book);
    double rate = expected.games.size() / (seconds > 0 ? seconds : 1e-9);
    printf("[ book    ] %zu games (%d with an unreadable move) built in %.3f s: %.0f games per "
           "second, %zu records\n",
           expected.games.size(), expected.unreadGames, seconds, rate, records.size());
    RecordProperty("games_per_second", int(rate));

    ASSERT_EQ(first.size() % BOOK_RECORD_BYTES, 0u);
    ASSERT_GT(records.size(), 100u);
    EXPECT_TRUE(StrictlySorted(records));
    size_t kept = 0;
    for (const auto& [key, c] : expected.positions) kept += c.Total() >= BUILD_MIN_GAMES;
    EXPECT_EQ(records.size(), kept);
    for (const BookRecord& r : records) {
        EXPECT_LE(std::max({r.losses, r.wins, r.draws}), BOOK_COUNT_CAP);
        EXPECT_GE(r.losses + r.wins + r.draws, BUILD_MIN_GAMES);
        EXPECT_EQ(r.reserved, 0);
        auto it = expected.positions.find({r.key16, r.key32});
        ASSERT_NE(it, expected.positions.end());
        EXPECT_EQ(r.losses, it->second.losses);
        EXPECT_EQ(r.wins, it->second.wins);
        EXPECT_EQ(r.draws, it->second.draws);
    }

    // Replaying a sample of the games, every position seen often enough is
    // found by the probe with its counts.
    ASSERT_EQ(OpenBookFile(build.book), int(records.size()));
    int probed = 0;
    for (size_t g = 0; g < expected.games.size(); g += 7) {
        Position& p = PlayFrom(BOOK_START_FEN);
        for (Move m : expected.games[g]) {
            MakeMove(p, m);
            FullKey k = FullKeyOf(p);
            const Counts& c = expected.positions[{k.key16, k.key32}];
            ComputeBookKey(p);
            const BookRecord* r = ProbeBook(p.side);
            if (c.Total() < BUILD_MIN_GAMES) {
                EXPECT_EQ(r, nullptr);
                continue;
            }
            probed++;
            ASSERT_NE(r, nullptr) << "game " << g;
            EXPECT_EQ(r->wins, c.wins);
            EXPECT_EQ(r->losses, c.losses);
            EXPECT_EQ(r->draws, c.draws);
        }
    }
    EXPECT_GT(probed, 100);

    // The start position gets a legal book move.
    options.bookVariety = 1;
    Position& p = PlayFrom(BOOK_START_FEN);
    Move m = QuietBookMove(searchState.threads[0]);
    EXPECT_NE(m, 0);
    EXPECT_TRUE(IsLegal(p, p.side, m));
    options.bookVariety = 30;
}

} // namespace
