// Text in and out of the board: FEN, the board diagram, move texts in
// coordinate and algebraic forms, the move parser and the move-path count.
#pragma once

#include "board/position.h"
#include "board/types.h"

// The four FEN fields of the standard start position.
inline constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Sets p from the first four FEN fields of text. Returns 1 when accepted; 0
// (with an "Illegal FEN: ..." line, p unchanged) for a position the engine
// cannot hold: kings missing or doubled, pawns on the first or last rank,
// more than 9 pieces of one kind, the side not to move in check, no placement.
int SetFromFen(Position& p, const char* text);
// Four-field FEN (no clocks); buffer needs 90 bytes.
void GetFen(const Position& p, char* buffer);
// FEN, diagram and side to move, to standard output (and the log).
void PrintBoard(const Position& p);

// "e2e4", "e7e8=Q" (or "e7e8q" in UCI mode); buffer needs 8 bytes.
void MoveToText(Move m, char* buffer);
// As MoveToText, but "null" for the move 0.
void MoveToTextOrNull(Move m, char* buffer);
// The four texts of m in p before it is made: coordinate, standard algebraic,
// with the from-file, with the from-rank. Each buffer needs 16 bytes.
void MoveForms(Position& p, Move m, char* f1, char* f2, char* f3, char* f4);
// Standard algebraic notation of m in p, as PGN writes it: "Nbd2", "exd5",
// "e8=Q", "O-O", with "+" for a check and "#" for mate. 16 bytes.
void MoveToSan(Position& p, Move m, char* out);
// Reads a move of the console's game position in any of the forms above.
// 1 with *out set when exactly one legal move matches; otherwise 0.
int ParseMove(const char* text, Move* out);
// The number of legal moves of the console's game position that text names;
// *out is set when there is exactly one. Prints nothing.
int MoveTextMatches(const char* text, Move* out);

// Adds the number of legal move paths of length depth to the thread's node counter.
void Perft(Position& p, int colour, int ply, int depth);
