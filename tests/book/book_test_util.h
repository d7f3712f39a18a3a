// Shared helpers of the book tests: engine set-up, scratch directories, book
// files written and read back record by record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "book/book.h"
#include "book/book_build.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"

inline const char* const BOOK_START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

inline void InitBookTests() {
    InitBoardTables();
    InitZobristKeys();
    if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
    EnsureBookKeyTable();
}

inline Position& Game() { return searchState.threads[0]->pos; }

// Sets the game position from a FEN and plays the coordinate or algebraic moves.
inline Position& PlayFrom(const char* fen, const std::vector<std::string>& moves = {}) {
    Position& p = Game();
    EXPECT_EQ(SetFromFen(p, fen), 1) << fen;
    for (const std::string& text : moves) {
        Move m = 0;
        EXPECT_EQ(ParseMove(text.c_str(), &m), 1) << text;
        if (m) MakeMove(p, m);
    }
    return p;
}

// The file-order key (key16 with the side bit, key32) of a position.
struct FullKey {
    uint16_t key16;
    uint32_t key32;
    bool operator==(const FullKey&) const = default;
};

inline FullKey FullKeyOf(const Position& p) {
    BookKey k = BookKeyOf(p);
    return {SidedKey16(k.raw16, p.side), k.key32};
}

inline BookRecord Record(FullKey k, int losses, int wins, int draws) {
    return {k.key16, k.key32, uint16_t(losses), uint16_t(wins), uint16_t(draws), 0};
}

inline void SortBookOrder(std::vector<BookRecord>& records) {
    std::sort(records.begin(), records.end(), [](const BookRecord& a, const BookRecord& b) {
        return BookOrder(a.key16, a.key32, b.key16, b.key32) < 0;
    });
}

inline void WriteRecords(const std::string& path, const std::vector<BookRecord>& records) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    for (const BookRecord& r : records) WriteBookRecord(f, r);
    fclose(f);
}

inline std::vector<BookRecord> ReadRecords(const std::string& path) {
    std::vector<BookRecord> records;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return records;
    BookRecord r;
    while (ReadBookRecord(f, r)) records.push_back(r);
    fclose(f);
    return records;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline bool FileExists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

// A scratch directory removed with its files when the test ends; the book
// file name option is restored too.
struct ScratchDir {
    std::string path;
    char savedBookFile[sizeof options.bookFile];
    ScratchDir() {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vesk_book_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (mkdtemp(buffer.data())) path = buffer.data();
        memcpy(savedBookFile, options.bookFile, sizeof savedBookFile);
    }
    ~ScratchDir() {
        memcpy(options.bookFile, savedBookFile, sizeof savedBookFile);
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string File(const char* name) const { return path + "/" + name; }
};

// The build file names inside a scratch directory (strings kept alive here).
struct ScratchBuild {
    std::string pgn, book, tmp, merged;
    BookBuildFiles files;
    explicit ScratchBuild(const ScratchDir& dir)
        : pgn(dir.File("book.pgn")), book(dir.File("book.opn")), tmp(dir.File("tmp.opn")),
          merged(dir.File("tmp__0.opn")) {
        files.pgn = pgn.c_str();
        files.book = book.c_str();
        files.tmp = tmp.c_str();
        files.merged = merged.c_str();
    }
};

// Points the book option at path and indexes it.
inline int OpenBookFile(const std::string& path) {
    snprintf(options.bookFile, sizeof options.bookFile, "%s", path.c_str());
    return OpenBook();
}

// Builds quietly (progress marks are captured and dropped).
inline void BuildQuietly(const ScratchBuild& build) {
    testing::internal::CaptureStdout();
    BuildBook(searchState.threads[0], build.files);
    testing::internal::GetCapturedStdout();
}
