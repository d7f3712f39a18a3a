// Syzygy tablebases: registration of the tables found on the path, the
// win/draw/loss, distance-to-zeroing and root probes on the prober's own
// compact position, and the entry points the engine's search uses.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/types.h"

struct SearchThread;

// ---------------------------------------------------------------- discovery

// Largest number of pieces (kings included) of any registered table; 0 = none.
extern int TbLargest;
// Number of registered tables.
extern int TbCount;

// (Re)initialises from a directory list separated by ';' or ':'. An empty
// path or "<empty>" unmaps everything and registers nothing. Must not run
// while a search is probing.
void TbInit(const char* path);

// ------------------------------------------------------------------ prober

// The prober's position: colour sets, the type sets of both colours together,
// fifty-move counter, en-passant square (0 = none), turn (1 = white to move).
struct TbPos {
    Bitboard white, black;
    Bitboard kings, queens, rooks, bishops, knights, pawns;
    uint8_t rule50;
    uint8_t ep;
    uint8_t turn;
};

// Prober move: to-square bits 0-5, from-square bits 6-11, promotion piece
// bits 12-14 (1 queen, 2 rook, 3 bishop, 4 knight).
typedef uint16_t TbMove;

constexpr uint32_t TB_RESULT_FAILED = 0xFFFFFFFFu;
constexpr int TB_MAX_ROOT_RESULTS = 193;

// Fields of a packed root result.
inline int TbResultWdl(uint32_t r) { return int(r & 0xF); }
inline int TbResultTo(uint32_t r) { return int((r >> 4) & 0x3F); }
inline int TbResultFrom(uint32_t r) { return int((r >> 10) & 0x3F); }
inline int TbResultPromotes(uint32_t r) { return int((r >> 16) & 0x7); }
inline int TbResultEp(uint32_t r) { return int((r >> 19) & 0x1); }
inline int TbResultDtz(uint32_t r) { return int(r >> 20); }

uint64_t TbMaterialKey(const TbPos& p, int mirror);
// "KRPvKR" style name, white first (black first with mirror); 16 bytes.
void TbMaterialName(const TbPos& p, int mirror, char* buffer);

// Win/draw/loss for the side to move, -2..2; *success 0 on failure.
int ProbeWdl(const TbPos& p, int* success);
// Plies to the next zeroing move, signed by the outcome; *success 0 on failure.
int ProbeDtz(const TbPos& p, int* success);
// Packed result of the chosen move, or TB_RESULT_FAILED; results[] gets one
// packed result per legal move, ended by TB_RESULT_FAILED.
uint32_t ProbeRoot(const TbPos& p, uint32_t* results);

// Raw table reads: the stored WDL value of the position (no capture search),
// and the stored DTZ value in plies given the position's WDL value (*success
// -1 when the table holds only the other side to move).
int TbProbeTableWdl(const TbPos& p, int* success);
int TbProbeTableDtz(const TbPos& p, int wdl, int* success);

// Prober position of an engine position (halfmove clock given separately).
void TbPosFromPosition(const Position& p, int rule50, TbPos* out);

// ---------------------------------------------------------- engine's use

// Moves that keep the best root outcome, ended by 0 (empty when the last
// search start found no root result).
extern Move TbRootMoves[256];

// WDL code 0 loss, 1 loss saved by the fifty-move rule, 2 draw, 3 win spoiled
// by it, 4 win; -1 = no probe or no result. depth is the node's remaining
// depth, compared with the SyzygyProbeDepth settings.
int TbProbeWdl(const Position& p, int depth);
// Root probe: the WDL code or -1; *dtz, *move (engine move) and TbRootMoves set.
int TbProbeRoot(const Position& p, int* wdl, int* dtz, Move* move);

// Sets searchState.rootTb, rootTbScores and rootTbMove for a search starting
// at p (called by search thread 1 before its first iteration).
void TbSearchStart(const Position& p);

// The tablebase rules of a node at ply >= 2 (after the draw test): probes
// when the parent had a result or after a zeroing move, stores the outcome in
// stack[ply].tbResult and counts hits in t->tbHits. Returns 1 when the node
// ends here with *score, 0 when the search goes on.
int TbNodeRules(SearchThread* t, int ply, int depth, int alpha, int beta, int* score);
