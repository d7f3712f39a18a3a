// Position setup helpers shared by the FEN reader and the console's board editor.
#pragma once

#include "board/position.h"

// Empty board: no pieces, empty lists, material and keys zero, clock 0,
// no rights, no en-passant square. The side and the owner are kept.
void ClearPosition(Position& p);
// Drops every castling right whose king or rook is off its home square;
// returns 1 if any right was dropped.
int DropImpossibleCastling(Position& p);
// The reason a position cannot be played, or nullptr when it can.
const char* PositionProblem(const Position& p);
// Starts the owning thread's history afresh at this position.
void ResetHistory(Position& p);
