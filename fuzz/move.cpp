// Move text: ParseMove reads a move of the console's game position (the
// position of search thread 0), so the input is tried on a few fixed game
// positions chosen for castling, en passant, promotions and pieces that need
// disambiguation. A move it returns must be legal there, its coordinate
// text must read back as the same move, and its algebraic text as the same
// move or (when it is ambiguous by design) as none.
#include <cstdint>
#include <string>

#include "board/movegen.h"
#include "board/notation.h"
#include "fuzz_support.h"
#include "search/search_state.h"
#include "search/search_thread.h"

namespace {

const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    // Castling both ways, pins, en passant after b4.
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    // Two knights and two rooks reaching the same squares; capture and
    // push promotions on both sides of the rook.
    "1r2k3/P1P5/8/3N1N2/8/R7/8/R3K1R1 w - -",
    // Black to move: castling, an en-passant capture, promotions.
    "r3k2r/8/8/8/3pP3/8/1p4p1/R3K2R b KQkq e3",
};

Position& GamePosition() { return searchState.threads[0]->pos; }

Move Reparse(const char* text) {
    Move m = 0;
    return ParseMove(text, &m) ? m : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    std::string text = FuzzText(data, size);
    for (const char* fen : POSITIONS) {
        SearchThread* game = searchState.threads[0];
        FUZZ_CHECK(SetFromFen(GamePosition(), fen), "fixed position refused: %s", fen);
        game->ply = 1;
        game->stack[1].listStart = game->moves;
        Move m = 0;
        if (!ParseMove(text.c_str(), &m)) continue;
        Position& p = GamePosition();
        FUZZ_CHECK(IsLegalMove(p, m), "ParseMove gave the illegal move %04x in %s", m, fen);
        char forms[4][16];
        MoveForms(p, m, forms[0], forms[1], forms[2], forms[3]);
        FUZZ_CHECK(Reparse(forms[0]) == m, "coordinate text %s does not read back", forms[0]);
        // The algebraic text leaves out the from-square when the rivals share
        // neither file nor rank with the mover, and then reads as ambiguous.
        Move again = Reparse(forms[1]);
        FUZZ_CHECK(again == m || again == 0, "algebraic text %s reads as another move", forms[1]);
    }
    return 0;
}
