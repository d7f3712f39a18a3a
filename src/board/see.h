// Static exchange evaluation: the material outcome of the captures on one
// square, each side recapturing with its least valuable attacker.
#pragma once

#include "board/position.h"
#include "board/types.h"

inline constexpr int SeeValue[8] = {0, 100, 330, 330, 530, 1060, 10000, 0};
inline constexpr int PieceUnits[8] = {0, 1, 3, 3, 5, 10, 0, 0};

// Gain for `side` of capturing on `to` with the piece on `from` (64: its least
// valuable attacker), occ being the pieces still on the board. With standPat
// a losing result becomes 0. The position is unchanged on return.
int See(Position& p, int side, int from, int to, Bitboard occ, int standPat);
// See with the full occupancy; a losing first capture stays negative.
int Swap(Position& p, int side, int from, int to);
// 1 if the capture m of the side to move loses less than 75 centipawns.
int SeeCaptureOk(Position& p, Move m);
// 1 if no piece of colour is threatened enough to bring score down to bound.
int NoThreat(Position& p, int colour, int score, int bound);
