// Opening book bytes: the input is the book file, indexed by OpenBook and
// probed from the start position and a few openings (both sides to move,
// one with an en-passant square). A record the probe returns must carry the
// probed key; a move ChooseBookMove (verbose listing on) or the main loop's
// QuietBookMove returns must be legal. The book is released after each input.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book.h"
#include "fuzz_support.h"
#include "search/search_state.h"
#include "shell/engine.h"

namespace {

const char* const OPENINGS[] = {"",
                                "e2e4",
                                "e2e4 e7e5",
                                "d2d4 d7d5 c2c4",
                                "e2e4 c7c5 e4e5 d7d5",
                                "g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1g1"};

// The game position after the coordinate moves of line from the start.
void PlayOpening(const char* line) {
    SearchThread* game = searchState.threads[0];
    FUZZ_CHECK(SetFromFen(game->pos, STARTPOS), "start position refused");
    game->ply = 1;
    game->stack[1].listStart = game->moves;
    char text[64];
    snprintf(text, sizeof text, "%s", line);
    for (char* move = strtok(text, " "); move; move = strtok(nullptr, " ")) {
        Move m = 0;
        FUZZ_CHECK(ParseMove(move, &m), "opening move %s refused", move);
        MakeMove(game->pos, m);
        game->ply = 1;
    }
    game->history[game->historyCount].move = 0;
}

void ProbeHere() {
    SearchThread* game = searchState.threads[0];
    Position& p = game->pos;
    ComputeBookKey(p);
    BookKey key = currentBookKey;
    for (int side = 0; side < 2; side++) {
        const BookRecord* r = ProbeBook(side);
        FUZZ_CHECK(!r || (r->key16 == SidedKey16(key.raw16, side) && r->key32 == key.key32),
                   "the probe returned a record of another key");
    }
    ChooseBookMove(game, 1);
    FUZZ_CHECK(!chosenBookMove || IsLegalMove(p, chosenBookMove), "illegal book move %04x",
               chosenBookMove);
    Move quiet = QuietBookMove(game);
    FUZZ_CHECK(!quiet || IsLegalMove(p, quiet), "illegal book move %04x", quiet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    std::string path = FuzzScratchFile("fuzz.opn");
    FuzzWriteFile(path, data, size);
    snprintf(options.bookFile, sizeof options.bookFile, "%s", path.c_str());
    int count = OpenBook();
    FUZZ_CHECK(count == int(size / BOOK_RECORD_BYTES), "OpenBook counted %d records in %zu bytes",
               count, size);
    for (const char* line : OPENINGS) {
        PlayOpening(line);
        ProbeHere();
    }
    FreeBook();
    remove(path.c_str());
    return 0;
}
