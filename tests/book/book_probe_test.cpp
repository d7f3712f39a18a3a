// Book keys, the record format, the file index, the cached probe and the
// choice of a book move.
#include <map>
#include <random>
#include <set>

#include "book_test_util.h"

namespace {

struct BookProbe : testing::Test {
    ScratchDir dir;
    int savedVariety = options.bookVariety;
    static void SetUpTestSuite() { InitBookTests(); }
    void TearDown() override {
        options.bookVariety = savedVariety;
        options.bookFile[0] = 0;
        OpenBook();
    }
    // Key of the game position after the moves, from the start position.
    FullKey After(const std::vector<std::string>& moves) {
        return FullKeyOf(PlayFrom(BOOK_START_FEN, moves));
    }
    std::string WriteBook(std::vector<BookRecord> records, const char* name = "test.opn") {
        SortBookOrder(records);
        std::string path = dir.File(name);
        WriteRecords(path, records);
        return path;
    }
    // The book move of the game position with verbose output captured.
    Move Choose(std::string* output = nullptr) {
        testing::internal::CaptureStdout();
        ChooseBookMove(searchState.threads[0], 1);
        std::string text = testing::internal::GetCapturedStdout();
        if (output) *output = text;
        return chosenBookMove;
    }
};

Move Coord(const char* text) {
    return MakeMoveCode((text[0] - 'a') + 8 * (text[1] - '1'),
                        (text[2] - 'a') + 8 * (text[3] - '1'));
}

TEST_F(BookProbe, KeyTableStartsWithTheGeneratorValues) {
    // x = 77; x = 33x + 12345 three times: 14886, 503583, 16630584.
    EXPECT_EQ(BookKeyTable[0], 14886);
    EXPECT_EQ(BookKeyTable[1], 44831); // 503583 mod 65536
    EXPECT_EQ(BookKeyTable[2], 49976); // 16630584 mod 65536
}

TEST_F(BookProbe, KeyParts) {
    const char* bare = "4k3/8/8/8/8/8/8/4K3 w - -";
    const char* knight = "4k3/8/8/8/8/8/8/1N2K3 w - -"; // white knight on b1 (square 1)
    BookKey a = BookKeyOf(PlayFrom(bare));
    BookKey b = BookKeyOf(PlayFrom(knight));
    // The 16-bit part holds the side to move's pieces: a white knight of type 2
    // on square 1 is entry 128 + 1.
    EXPECT_EQ(a.raw16 ^ b.raw16, BookKeyTable[129]);
    // The 32-bit part holds both sides, plus the en-passant square (64 here).
    EXPECT_EQ((a.key32 - 64) ^ (b.key32 - 64),
              uint32_t(BookKeyTable[130]) << 16 | BookKeyTable[131]);

    // With black to move the white knight leaves the 16-bit part alone.
    BookKey aBlack = BookKeyOf(PlayFrom("4k3/8/8/8/8/8/8/4K3 b - -"));
    BookKey bBlack = BookKeyOf(PlayFrom("4k3/8/8/8/8/8/8/1N2K3 b - -"));
    EXPECT_EQ(aBlack.raw16, bBlack.raw16);
    EXPECT_EQ(bBlack.key32, b.key32);

    // The side bit.
    EXPECT_EQ(SidedKey16(0x1234, WHITE), 0x9234);
    EXPECT_EQ(SidedKey16(0x9234, BLACK), 0x1234);

    // Castling rights are not part of the key; the en-passant square is added.
    BookKey rights = BookKeyOf(PlayFrom("r3k2r/pppppppp/8/8/4P3/8/PPPP1PPP/R3K2R b KQkq -"));
    BookKey none = BookKeyOf(PlayFrom("r3k2r/pppppppp/8/8/4P3/8/PPPP1PPP/R3K2R b - -"));
    BookKey ep = BookKeyOf(PlayFrom("r3k2r/pppppppp/8/8/4P3/8/PPPP1PPP/R3K2R b KQkq e3"));
    EXPECT_EQ(rights.raw16, none.raw16);
    EXPECT_EQ(rights.key32, none.key32);
    EXPECT_EQ(rights.raw16, ep.raw16);
    EXPECT_EQ(rights.key32 - ep.key32, 64u - 20u); // e3 is square 20

    // A played move and the same position set up directly agree.
    EXPECT_EQ(After({"e2e4"}), FullKeyOf(PlayFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b "
                                                  "KQkq e3")));
}

TEST_F(BookProbe, RecordBytesAreLittleEndianAndPacked) {
    BookRecord r = {0x1234, 0xA1B2C3D4, 0x0102, 0x0304, 0x0506, 0x0708};
    uint8_t bytes[BOOK_RECORD_BYTES];
    EncodeBookRecord(r, bytes);
    const uint8_t expected[BOOK_RECORD_BYTES] = {0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 0x02,
                                                 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07};
    EXPECT_EQ(memcmp(bytes, expected, sizeof bytes), 0);
    BookRecord back;
    DecodeBookRecord(bytes, back);
    EXPECT_EQ(back.key16, r.key16);
    EXPECT_EQ(back.key32, r.key32);
    EXPECT_EQ(back.losses, r.losses);
    EXPECT_EQ(back.wins, r.wins);
    EXPECT_EQ(back.draws, r.draws);
    EXPECT_EQ(back.reserved, r.reserved);

    std::string path = dir.File("one.opn");
    WriteRecords(path, {r});
    EXPECT_EQ(ReadBytes(path), std::string(reinterpret_cast<const char*>(expected), 14));
}

// Looks a file key up through the current key.
const BookRecord* ProbeKey(uint16_t key16, uint32_t key32) {
    currentBookKey = {key16, key32};
    return ProbeBook(key16 >> 15 ? WHITE : BLACK);
}

TEST_F(BookProbe, IndexAndBlockCacheFindEveryRecord) {
    std::mt19937 random(2024);
    std::set<std::pair<uint16_t, uint32_t>> keys;
    // Spread over all buckets, with many key16 shared by several key32 so that
    // records of one key16 straddle block ends; plus one crowded bucket.
    while (keys.size() < 6000) keys.insert({uint16_t(random()), uint32_t(random() % 4)});
    keys.insert({0x8000, 7}); // a 16-bit part of 0 with white to move
    keys.insert({0x0000, 9});
    std::vector<BookRecord> records;
    for (auto [k16, k32] : keys)
        records.push_back({k16, k32, uint16_t(k32), uint16_t(k16), uint16_t(k16 ^ k32), 0});
    std::string path = WriteBook(records);
    SortBookOrder(records);
    ASSERT_EQ(OpenBookFile(path), int(records.size()));

    // The index holds the first record of each bucket.
    for (int b = 0; b < BOOK_INDEX_SIZE; b++) {
        int first = -1;
        for (size_t i = 0; i < records.size() && first < 0; i++)
            if (records[i].key16 >> 6 == b) first = int(i);
        EXPECT_EQ(BookIndex[b], first) << "bucket " << b;
    }

    // Every record is found whatever the order of the probes (and so whatever
    // block is cached); keys that are absent are not.
    std::vector<BookRecord> order = records;
    for (int pass = 0; pass < 3; pass++) {
        if (pass == 1) std::reverse(order.begin(), order.end());
        if (pass == 2) std::shuffle(order.begin(), order.end(), random);
        for (const BookRecord& r : order) {
            const BookRecord* found = ProbeKey(r.key16, r.key32);
            ASSERT_NE(found, nullptr) << r.key16 << " " << r.key32 << " pass " << pass;
            EXPECT_EQ(found->wins, r.key16);
            EXPECT_EQ(found->draws, uint16_t(r.key16 ^ r.key32));
            EXPECT_EQ(ProbeKey(r.key16, r.key32 + 100), nullptr);
        }
    }
}

// The start position's replies used by the choice tests.
struct Reply {
    const char* move;
    int wins, losses, draws;
};

TEST_F(BookProbe, ChoiceListingAndThresholds) {
    options.bookVariety = 1;
    const Reply replies[] = {
        {"c2c4", 100, 150, 0}, // most points, but scores 0.400: at the threshold or below
        {"d2d4", 55, 15, 10},  // 60 points, 0.750
        {"e2e4", 50, 10, 20},  // 60 points, 0.750: ties d4, which comes first
        {"g1f3", 4, 0, 4},     // only 8 games not lost
        {"b1c3", 0, 30, 0},    // nothing but losses: not even listed
    };
    std::vector<BookRecord> records;
    for (const Reply& r : replies)
        records.push_back(Record(After({r.move}), r.losses, r.wins, r.draws));
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 5);

    // The start position itself has no record: with no move played it is not probed.
    PlayFrom(BOOK_START_FEN);
    std::string output;
    EXPECT_EQ(Choose(&output), Coord("d2d4"));
    EXPECT_EQ(output, "c2c4     100 -   150 -     0   0.400  4.605\n"
                      "d2d4      55 -    15 -    10   0.750  4.094\n"
                      "e2e4      50 -    10 -    20   0.750  4.094\n"
                      "g1f3       4 -     0 -     4   0.750  1.792\n"
                      "book move is d2d4\n");
    // The console command adds an empty line.
    testing::internal::CaptureStdout();
    BookCommand();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), output + "\n");

    // One more point decides the tie.
    records[2].wins++;
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 5);
    PlayFrom(BOOK_START_FEN);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), Coord("e2e4"));

    // A variety of 0 or below is no variety, not a division by zero.
    for (int variety : {0, -3}) {
        options.bookVariety = variety;
        PlayFrom(BOOK_START_FEN);
        EXPECT_EQ(QuietBookMove(searchState.threads[0]), Coord("e2e4"));
    }
}

TEST_F(BookProbe, VarietyPicksOnlyAmongCandidates) {
    options.bookVariety = 30;
    const Reply replies[] = {
        {"c2c4", 100, 150, 0}, {"d2d4", 55, 15, 10}, {"e2e4", 50, 10, 20}, {"g1f3", 4, 0, 4}};
    std::vector<BookRecord> records;
    for (const Reply& r : replies)
        records.push_back(Record(After({r.move}), r.losses, r.wins, r.draws));
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 4);
    std::map<Move, int> chosen;
    for (unsigned seed = 1; seed <= 200; seed++) {
        srand(seed);
        PlayFrom(BOOK_START_FEN);
        chosen[QuietBookMove(searchState.threads[0])]++;
    }
    EXPECT_GT(chosen[Coord("d2d4")], 0);
    EXPECT_GT(chosen[Coord("e2e4")], 0);
    EXPECT_EQ(chosen[Coord("d2d4")] + chosen[Coord("e2e4")], 200);
}

TEST_F(BookProbe, SideToMoveThresholdAndCurrentPositionProbe) {
    options.bookVariety = 1;
    // 43 wins and 57 losses score 0.43: enough for black (0.41), not for white (0.45).
    std::vector<BookRecord> records = {Record(After({"e2e4"}), 57, 43, 0),
                                       Record(After({"e2e4", "c7c5"}), 57, 43, 0)};
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 2);
    PlayFrom(BOOK_START_FEN);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);
    PlayFrom(BOOK_START_FEN, {"e2e4"});
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), Coord("c7c5"));

    // Once a move has been played the position itself must be in the book.
    records.erase(records.begin());
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 1);
    PlayFrom(BOOK_START_FEN, {"e2e4"});
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);

    // Castling rights do not separate positions.
    records = {Record(After({"e2e4"}), 57, 43, 0)};
    ASSERT_EQ(OpenBookFile(WriteBook(records)), 1);
    EXPECT_EQ(FullKeyOf(PlayFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b - e3")),
              After({"e2e4"}));
}

TEST_F(BookProbe, DamagedOrMissingBookFiles) {
    options.bookVariety = 1;
    std::vector<BookRecord> good = {Record(After({"d2d4"}), 15, 55, 10),
                                    Record(After({"e2e4"}), 10, 50, 20),
                                    Record(After({"g1f3"}), 0, 30, 0)};
    SortBookOrder(good);

    // Missing file, empty file, empty name: no book, no move.
    EXPECT_EQ(OpenBookFile(dir.File("missing.opn")), 0);
    PlayFrom(BOOK_START_FEN);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);
    WriteText(dir.File("empty.opn"), "");
    EXPECT_EQ(OpenBookFile(dir.File("empty.opn")), 0);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);
    EXPECT_EQ(OpenBookFile(""), 0);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);

    // A truncated file keeps its whole records.
    std::string truncated = dir.File("truncated.opn");
    WriteRecords(truncated, good);
    {
        std::ofstream out(truncated, std::ios::binary | std::ios::app);
        out << "\x01\x02\x03\x04\x05";
    }
    EXPECT_EQ(OpenBookFile(truncated), 3);
    PlayFrom(BOOK_START_FEN);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), Coord("d2d4"));
    FullKey f3 = After({"g1f3"});
    currentBookKey = {f3.key16, f3.key32};
    ASSERT_NE(ProbeBook(BLACK), nullptr);
    EXPECT_EQ(ProbeBook(BLACK)->wins, 30);

    // The file shrinking or disappearing after it was indexed: nothing is
    // read past its end (records already cached may still answer).
    ASSERT_EQ(OpenBookFile(truncated), 3);
    WriteText(truncated, "short");
    PlayFrom(BOOK_START_FEN);
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);
    std::remove(truncated.c_str());
    EXPECT_EQ(QuietBookMove(searchState.threads[0]), 0);

    // Random bytes: indexed as records, probed without harm.
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 14 * 3000 + 9; i++) junk += char(random());
    WriteText(dir.File("junk.opn"), junk);
    EXPECT_EQ(OpenBookFile(dir.File("junk.opn")), 3000);
    for (const char* fen :
         {BOOK_START_FEN, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"}) {
        PlayFrom(fen);
        std::string output;
        Move m = Choose(&output);
        if (m) { EXPECT_TRUE(IsLegal(Game(), Game().side, m)); }
    }
    for (int i = 0; i < 20000; i++) ProbeKey(uint16_t(random()), uint32_t(random()));
}

} // namespace
