// FEN text: SetFromFen on the input. An accepted position must be
// consistent, survive GetFen and a second SetFromFen unchanged, agree with
// the legality test (a generated move is legal exactly when it does not
// leave the mover's king attacked; castling also needs the start and the
// crossed square safe), and come back unchanged from making and taking back
// every generated move. The evaluation and the exchange evaluator run on it
// and on every position after a legal move.
#include <cstdint>
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/see.h"
#include "eval/evaluate.h"
#include "fuzz_support.h"
#include "search/search_state.h"
#include "search/search_thread.h"

namespace {

SearchThread* Context() {
    static SearchThread* t = NewSearchThread();
    return t;
}

bool IsCastling(const Position& p, Move m) {
    int from = FromSquare(m), to = ToSquare(m);
    return TypeOf(p.board[from]) == KING && (to == from + 2 || to == from - 2);
}

// Legality by making the move: the mover's king is not attacked afterwards
// (and for castling neither before nor on the square it crosses).
bool LegalByMaking(Position& p, Move m) {
    int mover = p.side;
    if (IsCastling(p, m)) {
        int from = FromSquare(m), to = ToSquare(m);
        if (InCheck(p, mover) || IsAttacked(p, (from + to) / 2, mover ^ 1)) return false;
    }
    MakeMove(p, m);
    bool legal = !InCheck(p, mover);
    UnmakeMove(p);
    return legal;
}

void Evaluations(SearchThread* t) {
    Position& p = t->pos;
    int inCheck = InCheck(p, p.side);
    int score = Evaluate(t, p.side, t->ply, inCheck);
    FUZZ_CHECK(inCheck ? score == NO_SCORE : score >= -EVAL_LIMIT && score <= EVAL_LIMIT,
               "evaluation %d out of range", score);
    for (int sq = 0; sq < 64; sq++)
        if (p.board[sq]) Swap(p, ColourOf(p.board[sq]) ^ 1, NO_SQUARE, sq);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartEngine();
    SearchThread* t = Context();
    std::string text = FuzzText(data, size);
    Position& p = t->pos;
    if (!SetFromFen(p, text.c_str())) return 0;
    t->ply = 1;
    t->stack[1].listStart = t->moves;
    FuzzCheckConsistent(p, "after SetFromFen");

    char fen[100];
    GetFen(p, fen);
    Position again = p;
    FUZZ_CHECK(SetFromFen(again, fen) == 1, "GetFen wrote a refused FEN: %s", fen);
    FuzzCheckSamePosition(p, again, "GetFen round trip");
    char fen2[100];
    GetFen(again, fen2);
    FUZZ_CHECK(strcmp(fen, fen2) == 0, "GetFen differs after the round trip: %s / %s", fen, fen2);

    Evaluations(t);
    const Position before = p;
    MoveEntry* list = GenAllMoves(p);
    int legalMoves = 0;
    for (MoveEntry* e = list; e->move != END_OF_LIST; e++) {
        Move m = e->move;
        if (!m) continue;
        FUZZ_CHECK(p.board[FromSquare(m)] == e->piece && ColourOf(e->piece) == p.side &&
                       TypeOf(e->piece) != EMPTY,
                   "generated move %04x does not move a piece of the side to move", m);
        bool legal = IsLegal(p, p.side, m) != 0;
        FUZZ_CHECK(legal == LegalByMaking(p, m), "legality test wrong for move %04x in %s", m, fen);
        FuzzCheckSamePosition(p, before, "after making and taking back a move");
        if (!legal) continue;
        legalMoves++;
        FUZZ_CHECK(IsLegalMove(p, m), "IsLegalMove refuses a legal move %04x in %s", m, fen);
        // IsLegalMove regenerated the list at the same ply: it is still valid.
        MakeMove(p, m);
        FuzzCheckConsistent(p, "after a legal move");
        Evaluations(t);
        HasLegalMove(p);
        UnmakeMove(p);
        FuzzCheckSamePosition(p, before, "after a legal move and its take-back");
    }
    FUZZ_CHECK((legalMoves > 0) == (HasLegalMove(p) != 0), "HasLegalMove disagrees in %s", fen);
    return 0;
}
