// Making and unmaking moves and null moves with their history records, and
// the fifty-move and repetition draw test.
#pragma once

#include "board/position.h"
#include "board/types.h"

void MakeMove(Position& p, Move m);
void UnmakeMove(Position& p);
void MakeNullMove(Position& p);
void UnmakeNullMove(Position& p);

// 0 no draw, 1 fifty-move rule, 2 repetition (needed = occurrences that count).
int DrawTest(Position& p, int inCheck, int needed);

// Take a piece off / put a piece on: board, piece list, material, bitboards.
// The keys are left to the caller.
void RemovePiece(Position& p, int sq);
void AddPiece(Position& p, int code, int sq);
