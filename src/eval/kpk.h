// Exact results for king and one pawn against a lone king, computed once at
// start-up by retrograde sweeps.
#pragma once

#include <cstdint>

#include "board/position.h"

// 2 x 32 x 64 x 64 entries: 2 = the pawn's side wins, 1 = draw, 0 = illegal.
extern uint8_t KpkBitbase[2 * 32 * 64 * 64];

// Fills the table on the first call; later calls do nothing.
void BuildKpk();
// 800 when the side to move wins, -800 when it loses, else 0. The pawn is the
// white one when white has a pawn, otherwise black's.
int ProbeKpk(const Position& p, int side);
// The same with the pieces given: the pawn of pawnColour on pawn, its king on
// strongKing, the lone king on weakKing.
int ProbeKpkSquares(int pawnColour, int pawn, int strongKing, int weakKing, int side);
