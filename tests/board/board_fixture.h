// Shared set-up for the board tests: tables, keys and the game thread.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

inline const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

inline void InitBoardForTests() {
    InitBoardTables();
    InitZobristKeys();
    if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
}

// The game position of thread 0, set from fen (fails the test when rejected).
inline Position& GamePosition(const char* fen) {
    InitBoardForTests();
    Position& p = searchState.threads[0]->pos;
    EXPECT_EQ(SetFromFen(p, fen), 1) << fen;
    return p;
}

// Move code from coordinate text such as "e2e4" or "e7e8q".
inline Move Coord(const char* text) {
    int from = (text[0] - 'a') + 8 * (text[1] - '1');
    int to = (text[2] - 'a') + 8 * (text[3] - '1');
    Move m = MakeMoveCode(from, to);
    switch (text[4]) {
    case 'q': m |= PROMO_QUEEN; break;
    case 'n': m |= PROMO_KNIGHT; break;
    case 'b': m |= PROMO_BISHOP; break;
    case 'r': m |= PROMO_ROOK; break;
    default: break;
    }
    return m;
}

inline uint64_t PerftCount(Position& p, int depth) {
    p.owner->nodes = 0;
    Perft(p, p.side, p.owner->ply, depth);
    return p.owner->nodes;
}

inline std::string Fen(const Position& p) {
    char buffer[100];
    GetFen(p, buffer);
    return buffer;
}

// Describes the first way in which the redundant fields of p disagree with
// its board, or returns "" when they all agree.
inline std::string Inconsistency(const Position& p) {
    static const uint32_t sig[7] = {0, 1, 16, 256, 4096, 65536, 0};
    static const int units[7] = {0, 0, 3, 3, 5, 10, 0};
    Bitboard bb[16] = {};
    uint32_t matSig[2] = {0, 0};
    int pieceMat[2] = {0, 0};
    uint64_t key = 0, pawnKey = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int c = code >> 3, t = code & 7;
        if (t == 0 || t == 7) return "bad code on square " + std::to_string(sq);
        bb[code] |= Bitboard(1) << sq;
        bb[8 * c] |= Bitboard(1) << sq;
        matSig[c] += sig[t];
        pieceMat[c] += units[t];
        key ^= PieceKeys[code][sq];
        if (t == 1) pawnKey ^= PieceKeys[code][sq];
        int found = 0;
        for (int i = 0; i < 10 && p.pieceList[code][i] != 64; i++)
            found += p.pieceList[code][i] == sq;
        if (found != 1) return "piece list of square " + std::to_string(sq);
    }
    for (int code = 0; code < 16; code++) {
        if (code != 7 && code != 15 && bb[code] != p.bb[code])
            return "bitboard " + std::to_string(code);
        int n = 0;
        while (n < 10 && p.pieceList[code][n] != 64) n++;
        if (n == 10) return "unterminated list " + std::to_string(code);
        if ((code & 7) && (code & 7) != 7 && n != __builtin_popcountll(bb[code]))
            return "list length " + std::to_string(code);
    }
    for (int c = 0; c < 2; c++) {
        if (matSig[c] != p.matSig[c]) return "matSig";
        if (pieceMat[c] != p.pieceMat[c]) return "pieceMat";
    }
    if (key != p.key) return "key";
    if (pawnKey != p.pawnKey) return "pawnKey";
    return "";
}

// The squares of a piece list up to its terminator, sorted: taking back a
// capture appends the piece, so only the set of squares is restored.
inline std::vector<int> ListSquares(const Position& p, int code) {
    std::vector<int> squares;
    for (int i = 0; i < 10 && p.pieceList[code][i] != 64; i++)
        squares.push_back(p.pieceList[code][i]);
    std::sort(squares.begin(), squares.end());
    return squares;
}

// Field-by-field equality of two positions (the owner pointer included).
inline bool SamePosition(const Position& a, const Position& b) {
    for (int code = 0; code < 16; code++)
        if (ListSquares(a, code) != ListSquares(b, code)) return false;
    return a.owner == b.owner && memcmp(a.board, b.board, sizeof a.board) == 0 &&
           memcmp(a.bb, b.bb, sizeof a.bb) == 0 && a.key == b.key && a.pawnKey == b.pawnKey &&
           a.matSig[0] == b.matSig[0] && a.matSig[1] == b.matSig[1] &&
           a.pieceMat[0] == b.pieceMat[0] && a.pieceMat[1] == b.pieceMat[1] && a.side == b.side &&
           a.halfmoveClock == b.halfmoveClock && a.castling == b.castling &&
           a.epSquare == b.epSquare;
}

// The legal moves of p in generation order.
inline std::vector<Move> LegalMoves(Position& p) {
    std::vector<Move> moves;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        if (e->move && IsLegal(p, p.side, e->move)) moves.push_back(e->move);
    return moves;
}

inline std::string Text(Move m) {
    char buffer[16];
    MoveToTextOrNull(m, buffer);
    return buffer;
}
