// Opening book: key table, file index, block-cached probe and move choice.
#include "book/book.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "shell/output.h"

uint16_t* BookKeyTable = nullptr;
int32_t* BookIndex = nullptr;
int BookCount = 0;
BookBlockCache BookBlock = {nullptr, 0, 0, 1, false};
BookKey currentBookKey = {0, 0};
Move chosenBookMove = 0;

namespace {

// Replies need more than this many non-lost games to be played.
constexpr int MIN_GAMES_FOR_CHOICE = 8;

// An empty cache whose range holds no key, so the next probe reads the file.
void InvalidateBlock() {
    BookBlock.count = 0;
    BookBlock.firstKey = 0;
    BookBlock.lastKey = 1;
    BookBlock.lastComplete = false;
}

void GenerateKeyTable() {
    uint32_t x = 77;
    for (int i = 0; i < BOOK_KEY_ENTRIES; i++) {
        x = 33 * x + 12345;
        BookKeyTable[i] = uint16_t(x & 0xFFFF);
    }
}

// Reads the records of bucket b (and the first record after it) into the block.
// A bucket without records leaves the block as it was.
int LoadBlock(int bucket) {
    FILE* f = fopen(options.bookFile, "rb");
    if (!f) return 0;
    if (BookIndex[bucket] < 0 ||
        fseek(f, long(BookIndex[bucket]) * BOOK_RECORD_BYTES, SEEK_SET) != 0) {
        fclose(f);
        return 0;
    }
    InvalidateBlock();
    int n = 0;
    bool endOfFile = false;
    BookRecord r;
    while (n < BOOK_BLOCK_RECORDS) {
        if (!ReadBookRecord(f, r)) {
            endOfFile = true;
            break;
        }
        BookBlock.records[n++] = r;
        if ((r.key16 & 0xFFC0) < bucket * 64) break;
    }
    fclose(f);
    if (n > 0) {
        BookBlock.count = n;
        BookBlock.firstKey = BookBlock.records[0].key16;
        BookBlock.lastKey = BookBlock.records[n - 1].key16;
        BookBlock.lastComplete = endOfFile;
    }
    return 1;
}

} // namespace

void EncodeBookRecord(const BookRecord& r, uint8_t out[BOOK_RECORD_BYTES]) {
    out[0] = uint8_t(r.key16);
    out[1] = uint8_t(r.key16 >> 8);
    for (int i = 0; i < 4; i++) out[2 + i] = uint8_t(r.key32 >> (8 * i));
    const uint16_t rest[4] = {r.losses, r.wins, r.draws, r.reserved};
    for (int i = 0; i < 4; i++) {
        out[6 + 2 * i] = uint8_t(rest[i]);
        out[7 + 2 * i] = uint8_t(rest[i] >> 8);
    }
}

void DecodeBookRecord(const uint8_t in[BOOK_RECORD_BYTES], BookRecord& r) {
    auto u16 = [&](int at) { return uint16_t(in[at] | (in[at + 1] << 8)); };
    r.key16 = u16(0);
    r.key32 =
        uint32_t(in[2]) | uint32_t(in[3]) << 8 | uint32_t(in[4]) << 16 | uint32_t(in[5]) << 24;
    r.losses = u16(6);
    r.wins = u16(8);
    r.draws = u16(10);
    r.reserved = u16(12);
}

int ReadBookRecord(FILE* f, BookRecord& r) {
    uint8_t bytes[BOOK_RECORD_BYTES];
    if (fread(bytes, 1, BOOK_RECORD_BYTES, f) != size_t(BOOK_RECORD_BYTES)) return 0;
    DecodeBookRecord(bytes, r);
    return 1;
}

int WriteBookRecord(FILE* f, const BookRecord& r) {
    uint8_t bytes[BOOK_RECORD_BYTES];
    EncodeBookRecord(r, bytes);
    return fwrite(bytes, 1, BOOK_RECORD_BYTES, f) == size_t(BOOK_RECORD_BYTES);
}

int EnsureBookKeyTable() {
    if (BookKeyTable) return 1;
    BookKeyTable = static_cast<uint16_t*>(malloc(BOOK_KEY_ENTRIES * sizeof(uint16_t)));
    if (!BookKeyTable) return 0;
    GenerateKeyTable();
    return 1;
}

int OpenBook() {
    BookCount = 0;
    if (!EnsureBookKeyTable()) {
        PrintRemark("Not enough memory!");
        return 0;
    }
    if (!BookBlock.records)
        BookBlock.records =
            static_cast<BookRecord*>(malloc(BOOK_BLOCK_RECORDS * sizeof(BookRecord)));
    if (!BookIndex) BookIndex = static_cast<int32_t*>(malloc(BOOK_INDEX_SIZE * sizeof(int32_t)));
    if (!BookBlock.records || !BookIndex) return 0;
    InvalidateBlock();
    for (int i = 0; i < BOOK_INDEX_SIZE; i++) BookIndex[i] = -1;
    if (!options.bookFile[0]) return 0;
    FILE* f = fopen(options.bookFile, "rb");
    if (!f) return 0;
    BookRecord r;
    // A trailing partial record is not read: the book ends at the last whole one.
    while (ReadBookRecord(f, r)) {
        if (BookIndex[r.key16 >> 6] < 0) BookIndex[r.key16 >> 6] = BookCount;
        BookCount++;
    }
    fclose(f);
    return BookCount;
}

void ReleaseBookBlock() {
    free(BookBlock.records);
    BookBlock.records = nullptr;
    InvalidateBlock();
}

void FreeBook() {
    ReleaseBookBlock();
    free(BookIndex);
    BookIndex = nullptr;
    free(BookKeyTable);
    BookKeyTable = nullptr;
    BookCount = 0;
    chosenBookMove = 0;
}

BookKey BookKeyOf(const Position& p) {
    BookKey k = {0, 0};
    if (!BookKeyTable) return k;
    uint16_t h = 0;
    uint32_t all = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int colour = ColourOf(code);
        int i = 128 * (TypeOf(code) - 1) + 64 * colour + sq;
        if (colour == p.side) h ^= BookKeyTable[i];
        all ^= uint32_t(BookKeyTable[i + 1]) << 16 | BookKeyTable[i + 2];
    }
    k.raw16 = h;
    k.key32 = all + p.epSquare; // wraps modulo 2^32
    return k;
}

void ComputeBookKey(const Position& p) { currentBookKey = BookKeyOf(p); }

const BookRecord* ProbeBook(int side) {
    if (BookCount == 0 || !options.bookFile[0] || !BookIndex || !BookBlock.records) return nullptr;
    uint16_t k16 = SidedKey16(currentBookKey.raw16, side);
    uint32_t k32 = currentBookKey.key32;
    // More records of the block's last key16 may follow it in the file: a probe
    // for that key16 reads the block of its own bucket.
    bool partialLast = k16 == BookBlock.lastKey && !BookBlock.lastComplete;
    if (currentBookKey.raw16 == 0 || k16 > BookBlock.firstKey || k16 < BookBlock.lastKey ||
        partialLast) {
        if (!LoadBlock(k16 >> 6)) return nullptr;
    }
    int lo = 0, hi = BookBlock.count - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        const BookRecord& r = BookBlock.records[mid];
        int order = BookOrder(k16, k32, r.key16, r.key32);
        if (order == 0) return &r;
        if (order > 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

void ChooseBookMove(SearchThread* t, int verbose) {
    chosenBookMove = 0;
    if (BookCount == 0 || !BookBlock.records || !BookIndex || !BookKeyTable || !t) return;
    // The move list and the probes of the replies need a free ply and history record.
    if (t->ply < 1 || t->ply >= MAX_PLY - 1 || t->historyCount >= MAX_HISTORY - 1) return;
    Position& p = t->pos;
    MoveEntry* list = GenAllMoves(p);
    ComputeBookKey(p);
    if (t->historyCount > 0 && !ProbeBook(p.side)) return;
    double threshold = p.side == WHITE ? 0.45 : 0.41;

    // Outside a search no ordering scores exist: all equal keeps generation order.
    int n = 0;
    while (list[n].move != END_OF_LIST) list[n++].score = 0;

    struct Candidate {
        Move move;
        double weight;
    };
    Candidate candidates[256];
    int candidateCount = 0;
    double maxWeight = 0.0;
    for (int done = 0; done < n; done++) {
        int best = done;
        for (int i = done + 1; i < n; i++)
            if (list[i].score > list[best].score) best = i;
        MoveEntry chosen = list[best];
        list[best] = list[done];
        list[done] = chosen;
        Move m = chosen.move;
        if (!m || !IsLegal(p, p.side, m)) continue;
        MakeMove(p, m);
        ComputeBookKey(p);
        const BookRecord* r = ProbeBook(p.side);
        if (r && r->wins + r->draws > 0) {
            int wins = r->wins, losses = r->losses, draws = r->draws;
            double points = wins + draws / 2.0;
            double score = points / (wins + losses + draws);
            double weight = std::log(points);
            if (verbose) {
                char text[16];
                MoveToText(m, text);
                PrintLineF("%s   %5d - %5d - %5d   %0.3f  %0.3f", text, wins, losses, draws, score,
                           weight);
            }
            if (wins + draws > MIN_GAMES_FOR_CHOICE && score > threshold && candidateCount < 256) {
                candidates[candidateCount++] = {m, weight};
                if (weight > maxWeight) maxWeight = weight;
            }
        }
        UnmakeMove(p);
    }

    // A variety below 1 would divide by zero: it means no randomness at all.
    int variety = options.bookVariety < 1 ? 1 : options.bookVariety;
    double bestValue = 0.0;
    for (int i = 0; i < candidateCount; i++) {
        int r = rand() % variety;
        double value = 0.02 * r * maxWeight + candidates[i].weight;
        if (value > bestValue) {
            bestValue = value;
            chosenBookMove = candidates[i].move;
        }
    }
    if (verbose && chosenBookMove) {
        char text[16];
        MoveToText(chosenBookMove, text);
        PrintLineF("book move is %s", text);
    }
}

Move QuietBookMove(SearchThread* t) {
    ChooseBookMove(t, 0);
    return chosenBookMove;
}

void BookCommand() {
    ChooseBookMove(searchState.threads[0], 1);
    PrintLine("");
}
