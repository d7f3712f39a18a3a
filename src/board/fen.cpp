// FEN reading and writing, the board diagram and the setup helpers.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/castling.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/setup.h"
#include "board/zobrist.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "shell/output.h"

namespace {

int PieceCount(const Position& p, int code) {
    int n = 0;
    while (p.pieceList[code][n] != NO_SQUARE) n++;
    return n;
}

// An en-passant square is kept only where a double push can have passed:
// behind an enemy pawn on its fourth rank, with the square itself and the
// pawn's start square empty. Anything else would let the generators capture
// a piece that is not there.
bool PlausibleEpSquare(const Position& p, int ep) {
    int c = p.side;
    int rank = c == WHITE ? 5 : 2;
    if (ep < 0 || ep > 63 || RankOf(ep) != rank) return false;
    int pusher = ep - PawnPush[c];
    int start = ep + PawnPush[c];
    return p.board[ep] == 0 && p.board[start] == 0 && p.board[pusher] == PieceCode(c ^ 1, PAWN);
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

} // namespace

void ClearPosition(Position& p) {
    memset(p.board, 0, sizeof p.board);
    memset(p.bb, 0, sizeof p.bb);
    for (auto& list : p.pieceList) list[0] = NO_SQUARE;
    p.key = p.pawnKey = 0;
    p.matSig[0] = p.matSig[1] = 0;
    p.pieceMat[0] = p.pieceMat[1] = 0;
    p.halfmoveClock = 0;
    p.castling = 0;
    p.epSquare = NO_SQUARE;
    SetStandardCastling(p);
}

const char* PositionProblem(const Position& p) {
    if (PieceCount(p, PieceCode(WHITE, KING)) != 1) return "white must have exactly one king";
    if (PieceCount(p, PieceCode(BLACK, KING)) != 1) return "black must have exactly one king";
    if ((p.bb[PieceCode(WHITE, PAWN)] | p.bb[PieceCode(BLACK, PAWN)]) & (RANK_1 | RANK_8))
        return "pawn on the first or eighth rank";
    if (InCheck(p, p.side ^ 1)) return "the side not to move is in check";
    return nullptr;
}

void ResetHistory(Position& p) {
    SearchThread* t = p.owner;
    t->startPly = uint16_t(p.side);
    t->historyCount = 0;
    t->ply = 1;
    t->lastMove = 0;
    memset(&t->history[0], 0, 2 * sizeof t->history[0]);
}

int SetFromFen(Position& p, const char* text) {
    InitBoardTables();
    Position s = p; // parsed apart, so a rejected text leaves p as it was
    ClearPosition(s);
    const char* at = text ? text : "";
    while (IsBlank(*at)) at++;

    const char* problem = nullptr;
    int placed = 0;
    int sq = 56;
    for (; *at && !IsBlank(*at); at++) {
        char ch = *at;
        if (ch >= '0' && ch <= '9') {
            int next = sq + (ch - '0');
            sq = RankOf(next) != RankOf(sq) ? (sq | 7) : next;
        } else if (ch == '/') {
            sq = ((sq >> 3) - 1) * 8;
            if (sq < 0) {
                problem = "too many ranks";
                break;
            }
        } else {
            const char* w = strchr(WhiteLetters + 1, ch);
            const char* b = strchr(BlackLetters + 1, ch);
            if (!ch || (!w && !b)) continue;
            int code = w ? int(w - WhiteLetters) : PieceCode(BLACK, int(b - BlackLetters));
            // A square named twice keeps the later piece.
            if (s.board[sq]) RemovePiece(s, sq);
            if (PieceCount(s, code) >= 9) {
                problem = "more than 9 pieces of one kind";
                break;
            }
            AddPiece(s, code, sq);
            placed++;
            if (FileOf(sq) != 7) sq++;
        }
    }
    if (!problem && !placed) problem = "no piece placement";

    // Side to move: the character right behind the placement's blank.
    if (*at) at++;
    if (*at == 'w')
        s.side = WHITE;
    else if (*at == 'b')
        s.side = BLACK;
    if (*at) at++;

    // Castling rights.
    while (IsBlank(*at)) at++;
    int unreadable = ReadCastlingField(s, at, options.chess960);

    // En-passant square.
    while (IsBlank(*at)) at++;
    int file = -1, rank = 0;
    for (; *at && !IsBlank(*at); at++) {
        if (*at >= 'a' && *at <= 'h')
            file = *at - 'a';
        else if (*at >= '1' && *at <= '8')
            rank = *at - '1';
    }
    if (file >= 0 && PlausibleEpSquare(s, file + 8 * rank)) s.epSquare = uint8_t(file + 8 * rank);

    // Halfmove clock and move number, when present (EPD operations are not numbers).
    long clock = 0, moveNumber = 1;
    while (IsBlank(*at)) at++;
    if (isdigit(static_cast<unsigned char>(*at))) {
        clock = strtol(at, const_cast<char**>(&at), 10);
        while (IsBlank(*at)) at++;
        if (isdigit(static_cast<unsigned char>(*at))) moveNumber = strtol(at, nullptr, 10);
    }
    // The clock only matters up to the fifty-move rule; the move number is shown.
    s.halfmoveClock = uint8_t(clock < 0 ? 0 : clock > 255 ? 255 : clock);
    if (moveNumber < 1 || moveNumber > 9999) moveNumber = 1;

    if (!problem) problem = PositionProblem(s);
    if (problem) {
        PrintRemarkF("Illegal FEN: %s", problem);
        return 0;
    }
    int dropped = DropImpossibleCastling(s) | unreadable;
    ComputeKeys(s);
    p = s;
    ResetHistory(p);
    p.owner->startPly = uint16_t(2 * (moveNumber - 1) + p.side);
    if (dropped) PrintRemark("Illegal EPD record");
    return 1;
}

void GetFen(const Position& p, char* out) {
    char* o = out;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = p.board[rank * 8 + file];
            if (!code) {
                empty++;
                continue;
            }
            if (empty) *o++ = char('0' + empty);
            empty = 0;
            *o++ = ColourOf(code) ? BlackLetters[TypeOf(code)] : WhiteLetters[TypeOf(code)];
        }
        if (empty) *o++ = char('0' + empty);
        if (rank) *o++ = '/';
    }
    *o++ = ' ';
    *o++ = p.side ? 'b' : 'w';
    *o++ = ' ';
    o = WriteCastlingField(p, o);
    *o++ = ' ';
    if (p.epSquare < 64) {
        *o++ = SquareNames[p.epSquare][0];
        *o++ = SquareNames[p.epSquare][1];
    } else {
        *o++ = '-';
    }
    *o = 0;
}

void PrintBoard(const Position& p) {
    static const char* whiteShow = "-PNBRQK";
    static const char* blackShow = "-onbrqk";
    char text[400];
    GetFen(p, text);
    char* o = text + strlen(text);
    *o++ = '\n';
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int code = p.board[rank * 8 + file];
            *o++ = ' ';
            if (code)
                *o++ = ColourOf(code) ? blackShow[TypeOf(code)] : whiteShow[TypeOf(code)];
            else
                *o++ = (rank & 1) == (file & 1) ? '+' : '-';
        }
        *o++ = '\n';
    }
    strcpy(o, p.side ? "black\n" : "white\n");
    PrintLine(text);
}
