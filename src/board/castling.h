// Castling set up per position, for standard chess and for Chess960.
//
// Each of the four rights (bit i of `castling`: white king side, white queen
// side, black king side, black queen side) carries its rook square, the move
// that castles, the squares that must be empty and the rights lost per square.
// In standard chess the castling move is the king's two-file step (e1g1); in
// Chess960 it is written as the king taking its own rook (e1h1, b1a1), since a
// king that starts on g1 or next to its rook moves no more than one file.
#pragma once

#include "board/position.h"

// Captured-type value of an undo record that marks a king-takes-rook castling.
constexpr uint8_t CASTLING_RECORD = 7;

// The castling set-up of standard chess (no right is granted here).
void SetStandardCastling(Position& p);

// Reads the FEN castling field at `at` (ends at a blank or the end of text)
// into p, whose pieces are already placed, and moves `at` behind it. Standard
// chess reads K, Q, k, q for the rooks on the corner squares. Chess960 reads
// X-FEN (K, Q, k, q: the outermost rook on that side of the king) and
// Shredder-FEN (a file letter A-H or a-h names the rook). Returns 1 when a
// letter named a right the placement cannot have.
int ReadCastlingField(Position& p, const char*& at, int chess960);

// Writes the castling field: K, Q, k, q for a right of the outermost rook, the
// rook's file letter otherwise, "-" for none. Returns the end of the text.
char* WriteCastlingField(const Position& p, char* out);

// 1 when m castles in p: the king's two-file step or the king taking its own rook.
int IsCastlingMove(const Position& p, Move m);

// Legality of the king-takes-rook castling of colour with the rook on rookSq:
// the right exists, the squares are empty and no square of the king's path
// (start and target included) is attacked once king and rook have left.
int KingTakesRookIsLegal(Position& p, int colour, int rookSq);

// Moves king and rook of a king-takes-rook castling to their targets (board,
// piece lists in place, bitboards, key), and back (the castling side to move
// again; the caller restores the key). Squares may overlap.
void CastleKingAndRook(Position& p, int kingFrom, int rookFrom);
void UncastleKingAndRook(Position& p, int kingFrom, int rookFrom);
