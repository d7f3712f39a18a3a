#include "shell/uci_perft.h"

#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "shell/input.h"
#include "shell/output.h"

namespace {

constexpr int MAX_PERFT_DEPTH = 20;

} // namespace

int GoPerft(const char* args) {
    if (strcmp(NextWord(args), "perft") != 0) return 0;
    const char* rest = strstr(args, "perft") + 5;
    int depth = ReadInteger(NextWord(rest));
    depth = depth < 1 ? 1 : depth > MAX_PERFT_DEPTH ? MAX_PERFT_DEPTH : depth;

    SearchThread* game = searchState.threads[0];
    Position& p = game->pos;
    // The count runs on the game position's own counter, which a search in
    // progress does not use; it is put back afterwards.
    uint64_t keptNodes = game->nodes;
    uint64_t total = 0;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++) {
        if (!e->move || !IsLegal(p, p.side, e->move)) continue;
        uint64_t count = 1;
        if (depth > 1) {
            game->nodes = 0;
            MakeMove(p, e->move);
            Perft(p, p.side, game->ply, depth - 1);
            UnmakeMove(p);
            count = game->nodes;
        }
        char text[16];
        MoveToText(e->move, text);
        PrintLineF("%s: %llu", text, static_cast<unsigned long long>(count));
        total += count;
    }
    game->nodes = keptNodes;
    PrintLine("");
    PrintLineF("Nodes searched: %llu", static_cast<unsigned long long>(total));
    return 1;
}
