// Pseudo-legal move generators. Each writes entries behind `list` and returns
// the new end; none checks whether the king is left attacked (IsLegal does).
#pragma once

#include "board/position.h"
#include "board/types.h"

MoveEntry* GenPawnCaptures(const Position& p, int colour, MoveEntry* list);
MoveEntry* GenPieceCaptures(const Position& p, int colour, MoveEntry* list);
// With underpromotions = 0 only the queen promotion of each pawn move is written.
MoveEntry* GenPromotions(const Position& p, int colour, int underpromotions, MoveEntry* list);
MoveEntry* GenQuiets(const Position& p, int colour, MoveEntry* list);

// The complete list of the side to move, ended by END_OF_LIST, written at the
// current ply's list start of the owning thread; the ply's stack entry records
// its bounds and the next ply's list starts behind the terminator.
MoveEntry* GenAllMoves(Position& p);

// 1 when m is a legal move of the side to move (generated and accepted by IsLegal).
int IsLegalMove(Position& p, Move m);
// 1 when the side to move has any legal move.
int HasLegalMove(Position& p);
// How many moves of GenAllMoves' list IsLegal accepts, counted without
// writing a list (perft's last ply).
int CountLegalMoves(Position& p);
