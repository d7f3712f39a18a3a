// Shared set-up for the tablebase tests: board tables, a position holder and
// the shared Syzygy directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "support/placement.h"
#include "support/test_support.h"
#include "tablebase/tbprobe.h"

// Directory of the shared tables, or "" when the shared data are absent.
inline std::string SyzygyDir() {
    std::string d = TestDataDir();
    return d.empty() ? d : d + "/syzygy";
}

inline SearchThread* TestThread() {
    static SearchThread* t = [] {
        InitBoardTables();
        InitZobristKeys();
        return NewSearchThread();
    }();
    return t;
}

// Engine position from FEN (fails the test when rejected).
inline Position& FenPosition(const std::string& fen) {
    Position& p = TestThread()->pos;
    EXPECT_EQ(SetFromFen(p, fen.c_str()), 1) << fen;
    return p;
}

// Prober position from FEN with the given fifty-move counter.
inline TbPos FenTbPos(const std::string& fen, int rule50 = 0) {
    TbPos tp;
    TbPosFromPosition(FenPosition(fen), rule50, &tp);
    return tp;
}

// The path the tables were last initialised from.
inline std::string& LastTbPath() {
    static std::string path;
    return path;
}

inline void InitTables(const std::string& path) {
    TestThread();
    TbInit(path.c_str());
    LastTbPath() = path;
}

// Drops the tables of a test's own directory before that directory goes.
inline void ForgetTables() { InitTables(""); }

// Initialises the tables from the shared directory unless that is done already.
inline bool UseSharedTables() {
    std::string dir = SyzygyDir();
    if (dir.empty()) return false;
    if (LastTbPath() != dir) InitTables(dir);
    return true;
}

inline uint32_t& TestRng() {
    static uint32_t rng = 12345;
    return rng;
}

inline int Random(int n) {
    uint32_t& rng = TestRng();
    rng = rng * 1103515245u + 12345u;
    return int((rng >> 8) % uint32_t(n));
}

// A random legal placement of the material of name as FEN, or "" when the
// drawn placement is not legal.
inline std::string RandomFen(const std::string& name, bool whiteToMove) {
    TestThread();
    char board[64] = {0};
    RandomPlacement(name.c_str(), board, Random);
    std::string fen = PlacementFen(board, whiteToMove);
    // Kings apart and the side not to move not in check.
    Bitboard occ = 0, white = 0;
    for (int sq = 0; sq < 64; sq++) {
        if (board[sq]) occ |= SquareBit(sq);
        if (board[sq] >= 'A' && board[sq] <= 'Z') white |= SquareBit(sq);
    }
    int king = -1, enemyKing = -1;
    for (int sq = 0; sq < 64; sq++) {
        if (board[sq] == (whiteToMove ? 'k' : 'K')) king = sq;
        if (board[sq] == (whiteToMove ? 'K' : 'k')) enemyKing = sq;
    }
    if (KingAttacks[king] & SquareBit(enemyKing)) return "";
    Bitboard attackers = whiteToMove ? white : occ & ~white;
    for (int sq = 0; sq < 64; sq++) {
        if (!(attackers & SquareBit(sq))) continue;
        char c = char(board[sq] | 0x20);
        Bitboard a = c == 'n'   ? KnightAttacks[sq]
                     : c == 'b' ? BishopAttacks(sq, occ)
                     : c == 'r' ? RookAttacks(sq, occ)
                     : c == 'q' ? QueenAttacks(sq, occ)
                     : c == 'p' ? PawnAttacks[whiteToMove ? 0 : 1][sq]
                                : 0;
        if (a & SquareBit(king)) return "";
    }
    return fen;
}

// A directory under /tmp that is removed with its contents at the end of scope.
struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/vesk_tb_XXXXXX";
        const char* made = mkdtemp(name);
        path = made ? made : "";
    }
    ~TempDir() {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    // Copies shared table files (e.g. "KQvK.rtbw") into the directory.
    void Copy(std::initializer_list<const char*> files) const {
        for (const char* f : files)
            std::filesystem::copy_file(SyzygyDir() + "/" + f, path + "/" + f,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    std::string File(const char* f) const { return path + "/" + f; }
};
