// Move texts, the move parser and the move-path count.
#include <cctype>
#include <cstdio>
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

// Squares of the other pieces of the mover's kind that have a legal move to
// the same destination.
Bitboard SameKindRivals(Position& p, Move m) {
    int from = FromSquare(m), to = ToSquare(m);
    int piece = p.board[from];
    int type = TypeOf(piece);
    if (p.pieceList[piece][1] == NO_SQUARE) return 0;
    Bitboard occ = p.bb[0] | p.bb[8] | SquareBit(to);
    Bitboard reach = 0;
    if (type == KNIGHT) reach = KnightAttacks[to];
    if (type == BISHOP || type == QUEEN) reach |= BishopAttacks(to, occ);
    if (type == ROOK || type == QUEEN) reach |= RookAttacks(to, occ);
    Bitboard candidates = reach & p.bb[piece] & ~SquareBit(from), rivals = 0;
    while (candidates) {
        int s = PopLowest(candidates);
        if (IsLegal(p, ColourOf(piece), MakeMoveCode(s, to))) rivals |= SquareBit(s);
    }
    return rivals;
}

// The move's text without disambiguation ("Nd2", "Nxd2") and with the whole
// from-square ("Nb1d2"), for the move parser; empty for pawns and castling.
void PieceForms(const Position& p, Move m, char* bare, char* full) {
    bare[0] = full[0] = 0;
    int from = FromSquare(m), to = ToSquare(m);
    int type = TypeOf(p.board[from]);
    if (type == EMPTY || type == PAWN || (type == KING && (to == from + 2 || to == from - 2)))
        return;
    const char* x = p.board[to] ? "x" : "";
    snprintf(bare, 16, "%c%s%s", WhiteLetters[type], x, SquareNames[to]);
    snprintf(full, 16, "%c%s%s%s", WhiteLetters[type], SquareNames[from], x, SquareNames[to]);
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
        // Standard disambiguation, among the legal moves of the other pieces of
        // the same kind to the same square: the file when it tells them apart,
        // else the rank, else both.
        Bitboard rivals = SameKindRivals(p, m);
        if (rivals) {
            bool sameFile = false, sameRank = false;
            while (rivals) {
                int s = PopLowest(rivals);
                if (FileOf(s) == FileOf(from)) sameFile = true;
                if (RankOf(s) == RankOf(from)) sameRank = true;
            }
            if (!sameFile)
                strcpy(f2, f3);
            else if (!sameRank)
                strcpy(f2, f4);
            else
                Append(f2, SquareNames[from]);
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

void MoveToSan(Position& p, Move m, char* out) {
    char f1[16], f3[16], f4[16];
    MoveForms(p, m, f1, out, f3, f4);
    if (!m) return;
    StripChecks(out);
    int from = FromSquare(m), to = ToSquare(m);
    if (TypeOf(p.board[from]) == KING && (to == from + 2 || to == from - 2))
        strcpy(out, to > from ? "O-O" : "O-O-O");
    // The check mark from the position after the move (a promoted piece, a
    // discovered line and en passant all count), "#" when no reply is left.
    MakeMove(p, m);
    if (InCheck(p, p.side)) AppendChar(out, HasLegalMove(p) ? '+' : '#');
    UnmakeMove(p);
}

int MoveTextMatches(const char* input, Move* out) {
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
    char forms[6][16];
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++) {
        if (!e->move) continue;
        MoveForms(p, e->move, forms[0], forms[1], forms[2], forms[3]);
        // Any standard text that names the move: more disambiguation than
        // needed, or none where the other piece cannot legally go there.
        PieceForms(p, e->move, forms[4], forms[5]);
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
    if (matches == 1) *out = found;
    return matches;
}

int ParseMove(const char* input, Move* out) {
    int matches = MoveTextMatches(input, out);
    if (matches == 2) PrintLine("ambiguous move");
    return matches == 1;
}

void Perft(Position& p, int colour, int ply, int depth) {
    if (depth <= 0) return;
    SearchThread* t = p.owner;
    if (depth == 1) {
        t->nodes += uint64_t(CountLegalMoves(p));
        return;
    }
    MoveEntry* e = GenAllMoves(p);
    StackEntry& entry = t->stack[t->ply];
    // Out of check, a move of an unpinned piece other than the king that is
    // not an en-passant capture cannot uncover the king: the full test is
    // needed only for the others, and the count stays the same.
    bool inCheck = InCheck(p, colour);
    Bitboard pinned = PinnedToKing(p, colour);
    for (; e->move != END_OF_LIST; e++) {
        entry.listCurrent = e;
        if (!e->move) continue;
        int type = TypeOf(e->piece);
        bool surelyLegal = !inCheck && type != KING && !(pinned & SquareBit(FromSquare(e->move))) &&
                           !(type == PAWN && ToSquare(e->move) == p.epSquare);
        if (!surelyLegal && !IsLegal(p, colour, e->move)) continue;
        MakeMove(p, e->move);
        Perft(p, colour ^ 1, ply + 1, depth - 1);
        UnmakeMove(p);
    }
}
