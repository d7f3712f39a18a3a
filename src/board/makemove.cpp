#include "board/makemove.h"

#include <cstdio>
#include <cstdlib>

#include "board/attacks.h"
#include "board/castling.h"
#include "board/constants.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "search/search_thread.h"
#include "shell/engine.h"

namespace {

// Tree trace state: one file for single-threaded debugging runs.
FILE* traceFile = nullptr;
int traceLastPly = 0;
int traceLastDepth = 0;

void TraceMove(const Position& p, Move m) {
    const SearchThread* t = p.owner;
    int ply = t->ply;
    if (ply > tracePly) return;
    if (!traceFile) {
        traceFile = fopen("trace.txt", "w");
        if (!traceFile) exit(0);
    }
    if (t->iterDepth > traceLastDepth) {
        traceLastDepth = t->iterDepth;
        fprintf(traceFile, "\n\nSEARCH DEPTH= %d\n", traceLastDepth);
    }
    char text[16];
    MoveToTextOrNull(m, text);
    int depth = ply < MAX_PLY ? t->stack[ply].depth : 0;
    if (ply <= traceLastPly) {
        fputc('\n', traceFile);
        for (int i = 1; i < ply; i++) fputs("         ", traceFile);
    }
    fprintf(traceFile, "(%2d)%s ", depth, text);
    fflush(traceFile);
    traceLastPly = ply;
}

inline void TogglePiece(Position& p, int code, int sq) {
    p.key ^= PieceKeys[code][sq];
    if (TypeOf(code) == PAWN) p.pawnKey ^= PieceKeys[code][sq];
}

// Moves the piece on `from` to the empty square `to`: board, list slot in
// place, colour and type bitboards. Keys are left to the caller.
inline void ShiftPiece(Position& p, int from, int to) {
    int code = p.board[from];
    p.board[to] = uint8_t(code);
    p.board[from] = 0;
    int slot = p.listSlot[from];
    p.pieceList[code][slot] = uint8_t(to);
    p.listSlot[to] = uint8_t(slot);
    Bitboard bits = SquareBit(from) | SquareBit(to);
    p.bb[code] ^= bits;
    p.bb[code & 8] ^= bits;
}

inline int PromotedType(Move m) {
    if (m & PROMO_QUEEN) return QUEEN;
    if (m & PROMO_KNIGHT) return KNIGHT;
    if (m & PROMO_BISHOP) return BISHOP;
    return ROOK;
}

} // namespace

void RemovePiece(Position& p, int sq) {
    int code = p.board[sq];
    int colour = ColourOf(code), type = TypeOf(code);
    p.board[sq] = 0;
    // The pieces behind it move down one slot, the terminator with them.
    uint8_t* list = p.pieceList[code];
    for (int i = p.listSlot[sq]; (list[i] = list[i + 1]) != NO_SQUARE; i++)
        p.listSlot[list[i]] = uint8_t(i);
    p.matSig[colour] -= MatSigValue[type];
    p.pieceMat[colour] = int16_t(p.pieceMat[colour] - PieceMatValue[type]);
    p.bb[colour * 8] &= ~SquareBit(sq);
    p.bb[code] &= ~SquareBit(sq);
}

void AddPiece(Position& p, int code, int sq) {
    int colour = ColourOf(code), type = TypeOf(code);
    p.board[sq] = uint8_t(code);
    int n = PopCount(p.bb[code]); // the list's length
    p.pieceList[code][n] = uint8_t(sq);
    p.pieceList[code][n + 1] = NO_SQUARE;
    p.listSlot[sq] = uint8_t(n);
    p.matSig[colour] += MatSigValue[type];
    p.pieceMat[colour] = int16_t(p.pieceMat[colour] + PieceMatValue[type]);
    p.bb[colour * 8] |= SquareBit(sq);
    p.bb[code] |= SquareBit(sq);
}

void MakeMove(Position& p, Move m) {
    if (tracePly) TraceMove(p, m);
    SearchThread* t = p.owner;
    int from = FromSquare(m), to = ToSquare(m);
    int piece = p.board[from];
    int mover = p.side;

    UndoRecord& r = t->history[t->historyCount];
    r.move = m;
    r.captured = uint8_t(p.board[to] & 7);
    r.epSquare = p.epSquare;
    r.halfmoveClock = p.halfmoveClock;
    r.castling = p.castling;
    r.key = p.key;
    r.pawnKey = p.pawnKey;
    t->historyCount++;
    t->ply++;
    t->lastMove = m;

    int oldEp = p.epSquare;
    p.side ^= 1;
    p.epSquare = NO_SQUARE;
    p.halfmoveClock += p.halfmoveClock < 255; // saturates: only "above 100" matters
    p.castling &= uint8_t(~(p.castleMask[from] | p.castleMask[to]));

    if (p.board[to]) {
        int victim = p.board[to];
        if (ColourOf(victim) == mover) {
            // Chess960 castling, written as the king taking its own rook.
            r.captured = CASTLING_RECORD;
            CastleKingAndRook(p, from, to);
            p.halfmoveClock = 0;
            return;
        }
        RemovePiece(p, to);
        TogglePiece(p, victim, to);
        p.halfmoveClock = 0;
    }

    ShiftPiece(p, from, to);
    p.key ^= PieceKeys[piece][from] ^ PieceKeys[piece][to];

    int type = TypeOf(piece);
    if (type == PAWN) {
        p.pawnKey ^= PieceKeys[piece][from] ^ PieceKeys[piece][to];
        p.halfmoveClock = 0;
        int push = PawnPush[mover];
        if (to == from + 2 * push) {
            p.epSquare = uint8_t(from + push);
        } else if (to == oldEp) {
            int sq = to - push;
            int victim = p.board[sq];
            RemovePiece(p, sq);
            TogglePiece(p, victim, sq);
        } else if (m & PROMO_MASK) {
            RemovePiece(p, to);
            TogglePiece(p, piece, to);
            int promoted = PieceCode(mover, PromotedType(m));
            AddPiece(p, promoted, to);
            p.key ^= PieceKeys[promoted][to];
        }
    } else if (type == KING && (to == from + 2 || to == from - 2)) {
        int rookFrom = to > from ? from + 3 : from - 4;
        int rookTo = to > from ? from + 1 : from - 1;
        int rook = p.board[rookFrom];
        ShiftPiece(p, rookFrom, rookTo);
        p.key ^= PieceKeys[rook][rookFrom] ^ PieceKeys[rook][rookTo];
        p.halfmoveClock = 0;
    }
}

void UnmakeMove(Position& p) {
    SearchThread* t = p.owner;
    t->historyCount--;
    t->ply--;
    const UndoRecord& r = t->history[t->historyCount];
    t->lastMove = t->historyCount ? t->history[t->historyCount - 1].move : 0;

    p.epSquare = r.epSquare;
    p.castling = r.castling;
    p.halfmoveClock = r.halfmoveClock;
    p.side ^= 1;
    int mover = p.side;
    int from = FromSquare(r.move), to = ToSquare(r.move);
    p.key = r.key;
    p.pawnKey = r.pawnKey;
    if (r.captured == CASTLING_RECORD) {
        UncastleKingAndRook(p, from, to);
        return;
    }

    ShiftPiece(p, to, from);
    int piece = p.board[from];
    if (r.captured) {
        AddPiece(p, PieceCode(mover ^ 1, r.captured), to);
    } else if (TypeOf(piece) == PAWN && to == p.epSquare) {
        AddPiece(p, PieceCode(mover ^ 1, PAWN), to - PawnPush[mover]);
    }
    if (TypeOf(piece) == KING && (to == from + 2 || to == from - 2)) {
        if (to > from)
            ShiftPiece(p, from + 1, from + 3);
        else
            ShiftPiece(p, from - 1, from - 4);
    }
    if (r.move & PROMO_MASK) {
        RemovePiece(p, from);
        AddPiece(p, PieceCode(mover, PAWN), from);
    }
}

void MakeNullMove(Position& p) {
    if (tracePly) TraceMove(p, 0);
    SearchThread* t = p.owner;
    UndoRecord& r = t->history[t->historyCount];
    r.move = 0;
    r.captured = 0;
    r.epSquare = p.epSquare;
    r.halfmoveClock = p.halfmoveClock;
    r.castling = p.castling;
    r.key = p.key;
    t->historyCount++;
    t->ply++;
    p.epSquare = NO_SQUARE;
    p.side ^= 1;
    p.halfmoveClock += p.halfmoveClock < 255;
    t->lastMove = 0;
}

void UnmakeNullMove(Position& p) {
    SearchThread* t = p.owner;
    t->historyCount--;
    t->ply--;
    const UndoRecord& r = t->history[t->historyCount];
    p.epSquare = r.epSquare;
    p.castling = r.castling;
    p.halfmoveClock = r.halfmoveClock;
    p.key = r.key;
    p.side ^= 1;
    t->lastMove = t->historyCount ? t->history[t->historyCount - 1].move : 0;
}

int DrawTest(Position& p, int inCheck, int needed) {
    (void)inCheck; // the full list below serves in and out of check alike
    int c = p.halfmoveClock;
    if (c <= 3) return 0;
    if (c >= 100 && HasLegalMove(p)) return 1;
    const SearchThread* t = p.owner;
    int limit = t->historyCount - c;
    if (limit < 0) limit = 0;
    int count = 1;
    for (int i = t->historyCount - 4; i >= limit; i -= 2) {
        if (t->history[i].key == p.key && ++count >= needed) return 2;
    }
    return 0;
}
