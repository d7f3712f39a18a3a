// The opening book: the 48-bit book key, the 14-byte position record of the
// book file, the index built at start-up, the cached block probe and the
// choice of a book move.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/position.h"
#include "board/types.h"

struct SearchThread;

constexpr int BOOK_KEY_ENTRIES = 772;
constexpr int BOOK_RECORD_BYTES = 14;
constexpr int BOOK_INDEX_SIZE = 1024;    // one bucket per key16 >> 6
constexpr int BOOK_BLOCK_RECORDS = 2048; // records cached per file read
constexpr int BOOK_COUNT_CAP = 60000;    // game counts saturate here

// One position of the book file. On disk it is 14 bytes, little-endian, in
// this field order; in memory it is an ordinary struct (see the codec below).
struct BookRecord {
    uint16_t key16;
    uint32_t key32;
    uint16_t losses; // games lost by the side that moved into the position
    uint16_t wins;
    uint16_t draws;
    uint16_t reserved;
};

// The key of the position being probed: key16 still without its side bit.
struct BookKey {
    uint16_t raw16;
    uint32_t key32;
};

// Cache of consecutive file records around the last probe.
struct BookBlockCache {
    BookRecord* records; // BOOK_BLOCK_RECORDS entries, or nullptr
    int count;
    uint16_t firstKey; // key16 of the first (largest) record held
    uint16_t lastKey;  // key16 of the last (smallest) record held
    // Whether every file record with key16 == lastKey is held (the block
    // reached the end of the file rather than a stop or its capacity).
    bool lastComplete;
};

extern uint16_t* BookKeyTable; // BOOK_KEY_ENTRIES numbers, generated once
extern int32_t* BookIndex;     // first record number per bucket, -1 when empty
extern int BookCount;          // records in the book file, 0 = no book
extern BookBlockCache BookBlock;
extern BookKey currentBookKey; // current key
extern Move chosenBookMove;    // the chosen book move, 0 when none

// Record codec for the file format.
void EncodeBookRecord(const BookRecord& r, uint8_t out[BOOK_RECORD_BYTES]);
void DecodeBookRecord(const uint8_t in[BOOK_RECORD_BYTES], BookRecord& r);
// 1 when a whole record was read / written.
int ReadBookRecord(FILE* f, BookRecord& r);
int WriteBookRecord(FILE* f, const BookRecord& r);
// Book order: key16 descending, then key32 descending. Negative when (a16, a32)
// comes first, 0 when equal, positive when it comes later.
inline int BookOrder(uint16_t a16, uint32_t a32, uint16_t b16, uint32_t b32) {
    if (a16 != b16) return a16 > b16 ? -1 : 1;
    if (a32 != b32) return a32 > b32 ? -1 : 1;
    return 0;
}

// The 16-bit part with the side-to-move bit: set for white, clear for black.
inline uint16_t SidedKey16(uint16_t raw16, int side) {
    return side == WHITE ? uint16_t(raw16 | 0x8000) : uint16_t(raw16 & 0x7FFF);
}

// Start-up: generates the key table when needed (prints "Not enough memory!"
// when it cannot be allocated), allocates the block and the index when
// needed, and indexes the file named by options.bookFile. Calling it again
// re-reads the file. Returns BookCount.
int OpenBook();
// Generates the key table when it does not exist yet; 0 when it cannot be allocated.
int EnsureBookKeyTable();
// Exit: releases the key table, the block, the index.
void FreeBook();
// The block buffer alone (the book builder borrows its memory budget).
void ReleaseBookBlock();

// The key of p with its side to move, without the side bit.
BookKey BookKeyOf(const Position& p);
// Sets the current key from p.
void ComputeBookKey(const Position& p);
// The record of the current key for `side` to move, or nullptr. The pointer
// is valid until the next probe.
const BookRecord* ProbeBook(int side);

// Sets chosenBookMove for the position of t (0 when none); with verbose on, lists
// the book replies and the choice.
void ChooseBookMove(SearchThread* t, int verbose);
// What the main loop asks before a search: the book move of t's position, or 0.
Move QuietBookMove(SearchThread* t);
// Console "book": the verbose listing for the game position, then an empty line.
void BookCommand();
