// Helpers shared by the unit tests and the fuzz targets: the engine set-up,
// the shared test material, scratch directories and files, squares and moves
// by name, random placements, and the check of a position's redundant fields.
#pragma once

#include <string>
#include <vector>

#include "board/position.h"

constexpr const char* STARTPOS = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// The engine's start-up without its files: board tables, keys, the KPK table,
// default settings, the game thread (slot 0) at the start position, a table of
// hashMB, reduction tables, book keys; no log, no search reports, no search
// threads. Only the first call works; false when memory runs out.
bool StartEngineForTests(int hashMB = 16);

// Directory of the shared test material (VESK_DATA, else the default beside
// the repository), or "" when it is absent.
std::string TestDataDir();

// Square of a name such as "e4".
inline int Square(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
// Move of coordinate text such as "e2e4" or "e7e8q".
Move CoordMove(const char* text);
// Coordinate text of a move ("e7e8q"), whatever the protocol mode.
std::string MoveText(Move m);
std::string FenOf(const Position& p);
// The legal moves of the side to move, in generation order.
std::vector<Move> LegalMoves(Position& p);

// Games of a PGN file replayed on the game position (thread 0). A game begins
// at its Result tag (1-0: result 0, 0-1: 1, else 2); tag lines, comments in
// braces (across lines), move numbers and results are skipped; a game ends at
// its first word that is no legal move (complete false) or after maxPlies.
struct GameRecord {
    int result = 2;
    bool complete = true;
    std::vector<Move> moves;
    std::vector<std::string> texts; // each move as the file writes it
};
std::vector<GameRecord> ReadGames(const std::string& path, size_t maxGames = 100000,
                                  size_t maxPlies = 700);

// "" when the board, bitboards, piece lists, material and keys of p agree;
// otherwise the first disagreement.
std::string PositionFault(const Position& p);
// "" when a and b hold the same position (piece lists compared as sets, the
// halfmove clock included); otherwise the first difference.
std::string PositionDifference(const Position& a, const Position& b);

// Puts the pieces of material such as "KRvKP" (white, 'v', black) on empty
// squares of board (64 characters, 0 for empty, a1 first) drawn by next(64);
// pawns never on the first or last rank. Legality is left to the caller.
template <typename Next> void RandomPlacement(const char* material, char board[64], Next next) {
    int colour = 0;
    for (const char* c = material; *c; c++) {
        if (*c == 'v') {
            colour = 1;
            continue;
        }
        int sq;
        do { sq = next(64); } while (board[sq] || (*c == 'P' && (sq < 8 || sq >= 56)));
        board[sq] = colour ? char(*c - 'A' + 'a') : *c;
    }
}
// The board as a FEN with the side to move, no castling rights, no en passant.
std::string PlacementFen(const char board[64], bool whiteToMove);

// A fresh directory under $TMPDIR (or /tmp), removed with its contents at the
// end of the object's life.
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// The whole file, "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with bytes; false when that fails.
bool WriteFile(const std::string& path, const std::string& bytes);
