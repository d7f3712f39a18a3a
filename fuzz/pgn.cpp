// PGN text, fed as one file to each of the engine's three PGN readers:
// the console's "load" (first game, game 2, the game holding a text) and
// "save"/"jump" on what it loaded; the PGN scan in its four modes; and the
// book builder ("mkbook"), whose book is then opened and asked for a move.
// The game position must stay consistent, and a book move must be legal.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "board/movegen.h"
#include "book/book.h"
#include "book/book_build.h"
#include "fuzz_support.h"
#include "search/search_state.h"
#include "shell/console.h"
#include "shell/engine.h"
#include "tools/pgn_scan.h"

namespace {

const char* const OUTPUTS[] = {"tmp.pgn", "tmp.epd", "book.opn", "tmp.opn", "tmp__0.opn"};

void CheckGame(const char* where) {
    SearchThread* game = searchState.threads[0];
    FuzzCheckConsistent(game->pos, where);
    FUZZ_CHECK(game->historyCount <= MAX_GAME_PLIES, "%s: %d game moves", where,
               game->historyCount);
}

void ConsoleLoads() {
    const char* commands[] = {"load game.pgn",   "jump 3",           "save",
                              "load game.pgn 2", "load game.pgn e4", "undo"};
    for (const char* c : commands) {
        ConsoleCommand(c);
        CheckGame(c);
    }
}

void BuildAndProbeBook() {
    SearchThread* game = searchState.threads[0];
    BookBuildFiles files;
    files.pgn = "game.pgn";
    BuildBook(game, files);
    CheckGame("after mkbook");
    snprintf(options.bookFile, sizeof options.bookFile, "%s", files.book);
    if (OpenBook() > 0) {
        ChooseBookMove(game, 1);
        FUZZ_CHECK(!chosenBookMove || IsLegalMove(game->pos, chosenBookMove),
                   "book move %04x from the built book is illegal", chosenBookMove);
    }
    FreeBook();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    FuzzInScratch here;
    FuzzWriteFile("game.pgn", data, size);
    ConsoleLoads();
    for (int mode = 1; mode <= 4; mode++) {
        ScanPgn("game.pgn", mode);
        CheckGame("after the PGN scan");
    }
    BuildAndProbeBook();
    remove("game.pgn");
    for (const char* f : OUTPUTS) remove(f);
    return 0;
}
