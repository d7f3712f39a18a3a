// Move texts, the move parser and the move-path count.
#include <cctype>
#include <cstring>

#include "board/attacks.h"
#include "board/castling.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "shell/engine.h"
#include "shell/output.h"

namespace {

const char* PromotionSuffix(Move m) {
    if (m & PROMO_QUEEN) return "=Q";
    if (m & PROMO_KNIGHT) return "=N";
    if (m & PROMO_BISHOP) return "=B";
    if (m & PROMO_ROOK) return "=R";
    return "";
}

void Append(char* to, const char* text) { strcat(to, text); }

void AppendChar(char* to, char ch) {
    size_t n = strlen(to);
    to[n] = ch;
    to[n + 1] = 0;
}

// Removes every '+' from text.
void StripChecks(char* text) {
    char* o = text;
    for (const char* s = text; *s; s++)
        if (*s != '+') *o++ = *s;
    *o = 0;
}

} // namespace

void MoveToText(Move m, char* out) {
    int from = FromSquare(m), to = ToSquare(m);
    out[0] = SquareNames[from][0];
    out[1] = SquareNames[from][1];
    out[2] = SquareNames[to][0];
    out[3] = SquareNames[to][1];
    out[4] = 0;
    const char* suffix = PromotionSuffix(m);
    if (!*suffix) return;
    if (options.protocolMode == PROTOCOL_UCI) {
        out[4] = char(tolower(suffix[1]));
        out[5] = 0;
    } else {
        strcpy(out + 4, suffix);
    }
}

void MoveToTextOrNull(Move m, char* out) {
    if (m)
        MoveToText(m, out);
    else
        strcpy(out, "null");
}

void MoveForms(Position& p, Move m, char* f1, char* f2, char* f3, char* f4) {
    MoveToTextOrNull(m, f1);
    f2[0] = f3[0] = f4[0] = 0;
    if (!m) return;
    int from = FromSquare(m), to = ToSquare(m);
    int piece = p.board[from];
    int type = TypeOf(piece);
    bool capture = p.board[to] != 0;
    if (type == PAWN) {
        f1[4] = 0;
        const char* suffix = PromotionSuffix(m);
        if (capture || to == p.epSquare) {
            AppendChar(f2, SquareNames[from][0]);
            AppendChar(f2, 'x');
            Append(f2, SquareNames[to]);
            AppendChar(f3, SquareNames[from][0]);
            AppendChar(f3, SquareNames[to][0]);
        } else {
            Append(f2, SquareNames[to]);
        }
        Append(f1, suffix);
        Append(f2, suffix);
        Append(f3, suffix);
    } else if (type == KING && IsCastlingMove(p, m)) {
        bool kingSide = to > from;
        strcpy(f2, kingSide ? "o-o" : "o-o-o");
        strcpy(f3, kingSide ? "O-O" : "O-O-O");
        strcpy(f4, kingSide ? "0-0" : "0-0-0");
    } else if (type != EMPTY) {
        char letter = WhiteLetters[type];
        AppendChar(f2, letter);
        AppendChar(f3, letter);
        AppendChar(f3, SquareNames[from][0]);
        AppendChar(f4, letter);
        AppendChar(f4, SquareNames[from][1]);
        const uint8_t* list = p.pieceList[piece];
        if (list[1] != NO_SQUARE) {
            // Other pieces of the same kind that also reach `to`.
            Bitboard occ = p.bb[0] | p.bb[8] | SquareBit(to);
            Bitboard reach = 0;
            if (type == KNIGHT) reach = KnightAttacks[to];
            if (type == BISHOP || type == QUEEN) reach |= BishopAttacks(to, occ);
            if (type == ROOK || type == QUEEN) reach |= RookAttacks(to, occ);
            Bitboard rivals = reach & p.bb[piece] & ~SquareBit(from);
            bool sameFile = false, sameRank = false;
            while (rivals) {
                int s = PopLowest(rivals);
                if (FileOf(s) == FileOf(from)) sameFile = true;
                if (RankOf(s) == RankOf(from)) sameRank = true;
            }
            if (sameFile)
                strcpy(f2, f4);
            else if (sameRank)
                strcpy(f2, f3);
        }
        if (capture) {
            AppendChar(f2, 'x');
            AppendChar(f3, 'x');
            AppendChar(f4, 'x');
        }
        Append(f2, SquareNames[to]);
        Append(f3, SquareNames[to]);
        Append(f4, SquareNames[to]);
    }
    if (piece) {
        MoveEntry e = {m, 0, uint8_t(piece), uint8_t(p.board[to])};
        if (GivesCheck(p, ColourOf(piece), e)) {
            AppendChar(f1, '+');
            AppendChar(f2, '+');
            AppendChar(f3, '+');
            AppendChar(f4, '+');
        }
    }
}

int ParseMove(const char* input, Move* out) {
    char text[40];
    size_t n = 0;
    // Check, mate and annotation marks carry no information about the move.
    while (input[n] && n < sizeof text - 3 && !strchr("+#!?", input[n])) {
        text[n] = input[n];
        n++;
    }
    text[n] = 0;
    if (n == 0) return 0;
    char last = char(toupper(text[n - 1]));
    if (strchr("NBQR", last)) {
        if (n >= 2 && text[n - 2] == '=') {
            text[n - 1] = last;
        } else {
            text[n - 1] = '=';
            text[n] = last;
            text[n + 1] = 0;
        }
    }
    for (char* c = text; *c; c++)
        if (*c == 'O' || *c == '0') *c = 'o';

    SearchThread* game = searchState.threads[0];
    if (!game) return 0;
    Position& p = game->pos;
    int matches = 0;
    Move found = 0;
    char forms[4][16];
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++) {
        if (!e->move) continue;
        MoveForms(p, e->move, forms[0], forms[1], forms[2], forms[3]);
        bool equal = false;
        for (auto& f : forms) {
            StripChecks(f);
            if (strcmp(f, text) == 0) equal = true;
        }
        if (equal && IsLegal(p, p.side, e->move)) {
            matches++;
            found = e->move;
        }
    }
    if (matches == 1) {
        *out = found;
        return 1;
    }
    if (matches == 2) PrintLine("ambiguous move");
    return 0;
}

namespace {

// Pieces of colour that stand alone between their king and an enemy slider.
Bitboard PinnedPieces(const Position& p, int colour) {
    int king = p.pieceList[PieceCode(colour, KING)][0];
    Bitboard occ = Occupancy(p), own = p.bb[8 * colour], pinned = 0;
    const Bitboard* enemy = p.bb + 8 * (colour ^ 1);
    Bitboard snipers = (RookFull[king] & (enemy[ROOK] | enemy[QUEEN])) |
                       (BishopFull[king] & (enemy[BISHOP] | enemy[QUEEN]));
    while (snipers) {
        Bitboard between = Between[king][PopLowest(snipers)] & occ;
        if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
    }
    return pinned;
}

} // namespace

void Perft(Position& p, int colour, int ply, int depth) {
    if (depth <= 0) return;
    SearchThread* t = p.owner;
    MoveEntry* e = GenAllMoves(p);
    StackEntry& entry = t->stack[t->ply];
    // Out of check, a move of an unpinned piece other than the king that is
    // not an en-passant capture cannot uncover the king: the full test is
    // needed only for the others, and the count stays the same.
    bool inCheck = InCheck(p, colour);
    Bitboard pinned = PinnedPieces(p, colour);
    for (; e->move != END_OF_LIST; e++) {
        entry.listCurrent = e;
        if (!e->move) continue;
        int type = TypeOf(e->piece);
        bool surelyLegal = !inCheck && type != KING && !(pinned & SquareBit(FromSquare(e->move))) &&
                           !(type == PAWN && ToSquare(e->move) == p.epSquare);
        if (!surelyLegal && !IsLegal(p, colour, e->move)) continue;
        if (depth == 1) {
            t->nodes++;
        } else {
            MakeMove(p, e->move);
            Perft(p, colour ^ 1, ply + 1, depth - 1);
            UnmakeMove(p);
        }
    }
}
