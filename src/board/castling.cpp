#include "board/castling.h"

#include <cstring>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/setup.h"
#include "board/zobrist.h"

namespace {

inline int RightColour(int right) { return right >> 1; }
inline bool QueenSide(int right) { return right & 1; }
inline int BackRank(int colour) { return colour == WHITE ? 0 : 56; }

// Where king and rook stand after castling: g- and f-file on the king side,
// c- and d-file on the queen side, whatever their files before.
inline int KingTarget(int right) {
    return BackRank(RightColour(right)) + (QueenSide(right) ? 2 : 6);
}
inline int RookTarget(int right) {
    return BackRank(RightColour(right)) + (QueenSide(right) ? 3 : 5);
}

inline int RookCode(int colour) { return PieceCode(colour, ROOK); }

// The right of colour whose rook stands on rookSq, or -1.
int RightOfRook(const Position& p, int colour, int rookSq) {
    for (int right = 2 * colour; right < 2 * colour + 2; right++)
        if ((p.castling & (1 << right)) && p.castleRook[right] == rookSq) return right;
    return -1;
}

// Fills the data of one right; the masks are rebuilt by the caller.
void SetRight(Position& p, int right, int king, int rook, int chess960) {
    int kingTo = KingTarget(right), rookTo = RookTarget(right);
    p.castleRook[right] = uint8_t(rook);
    p.castleMove[right] = MakeMoveCode(king, chess960 ? rook : kingTo);
    Bitboard span =
        Between[king][kingTo] | SquareBit(kingTo) | Between[rook][rookTo] | SquareBit(rookTo);
    p.castleEmpty[right] = span & ~SquareBit(king) & ~SquareBit(rook);
}

// Rights are lost when the king or the right's rook leaves or is taken.
void BuildCastleMask(Position& p) {
    memset(p.castleMask, 0, sizeof p.castleMask);
    for (int right = 0; right < 4; right++) {
        if (!(p.castling & (1 << right))) continue;
        p.castleMask[FromSquare(p.castleMove[right])] |= uint8_t(3 << (2 * RightColour(right)));
        p.castleMask[p.castleRook[right]] |= uint8_t(1 << right);
    }
}

// The rook of colour named by a castling letter, or -1: the outermost rook on
// that side of the king for K/Q, the rook on the named file otherwise.
int RookForLetter(const Position& p, int colour, int king, char letter) {
    int base = BackRank(colour), kingFile = FileOf(king);
    char upper = char(letter & ~0x20);
    if (upper == 'K') {
        for (int f = 7; f > kingFile; f--)
            if (p.board[base + f] == RookCode(colour)) return base + f;
        return -1;
    }
    if (upper == 'Q') {
        for (int f = 0; f < kingFile; f++)
            if (p.board[base + f] == RookCode(colour)) return base + f;
        return -1;
    }
    int f = upper - 'A';
    if (f == kingFile || p.board[base + f] != RookCode(colour)) return -1;
    return base + f;
}

// Moves two pieces of one colour at once; their squares may overlap.
void MovePair(Position& p, int a, int aTo, int b, int bTo) {
    int codeA = p.board[a], codeB = p.board[b];
    int slotA = p.listSlot[a], slotB = p.listSlot[b];
    p.board[a] = p.board[b] = 0;
    p.board[aTo] = uint8_t(codeA);
    p.board[bTo] = uint8_t(codeB);
    p.pieceList[codeA][slotA] = uint8_t(aTo);
    p.pieceList[codeB][slotB] = uint8_t(bTo);
    p.listSlot[aTo] = uint8_t(slotA);
    p.listSlot[bTo] = uint8_t(slotB);
    Bitboard moveA = SquareBit(a) ^ SquareBit(aTo), moveB = SquareBit(b) ^ SquareBit(bTo);
    p.bb[codeA] ^= moveA;
    p.bb[codeB] ^= moveB;
    p.bb[codeA & 8] ^= moveA ^ moveB;
}

} // namespace

void SetStandardCastling(Position& p) {
    static const uint8_t rooks[4] = {7, 0, 63, 56};
    static const Move moves[4] = {0x0406, 0x0402, 0x3C3E, 0x3C3A};
    static const Bitboard empty[4] = {0x60ull, 0x0Eull, 0x60ull << 56, 0x0Eull << 56};
    for (int right = 0; right < 4; right++) {
        p.castleRook[right] = rooks[right];
        p.castleMove[right] = moves[right];
        p.castleEmpty[right] = empty[right];
    }
    memcpy(p.castleMask, CastleMask, sizeof p.castleMask);
}

int ReadCastlingField(Position& p, const char*& at, int chess960) {
    int dropped = 0;
    for (; *at && *at != ' ' && *at != '\t'; at++) {
        char ch = *at;
        if (!chess960) {
            switch (ch) {
            case 'K': p.castling |= CASTLE_WK; break;
            case 'Q': p.castling |= CASTLE_WQ; break;
            case 'k': p.castling |= CASTLE_BK; break;
            case 'q': p.castling |= CASTLE_BQ; break;
            default: break;
            }
            continue;
        }
        char upper = char(ch & ~0x20);
        bool letter = upper == 'K' || upper == 'Q' || (upper >= 'A' && upper <= 'H');
        if (!letter) continue;
        int colour = ch == upper ? WHITE : BLACK;
        int king = KingSquare(p, colour);
        int rook = king < 64 && RankOf(king) == RankOf(BackRank(colour))
                       ? RookForLetter(p, colour, king, ch)
                       : -1;
        if (rook < 0) {
            dropped = 1;
            continue;
        }
        int right = 2 * colour + (rook < king ? 1 : 0);
        SetRight(p, right, king, rook, 1);
        p.castling |= uint8_t(1 << right);
    }
    if (chess960) BuildCastleMask(p);
    return dropped;
}

char* WriteCastlingField(const Position& p, char* o) {
    if (!p.castling) *o++ = '-';
    for (int right = 0; right < 4; right++) {
        if (!(p.castling & (1 << right))) continue;
        int colour = RightColour(right), rook = p.castleRook[right];
        // Another rook further out on the same side would make K or Q ambiguous.
        bool outermost = true;
        int edge = BackRank(colour) + (QueenSide(right) ? 0 : 7);
        int step = QueenSide(right) ? -1 : 1;
        for (int s = rook; s != edge;) {
            s += step;
            if (p.board[s] == RookCode(colour)) outermost = false;
        }
        char c = outermost ? (QueenSide(right) ? 'Q' : 'K') : char('A' + FileOf(rook));
        *o++ = colour == WHITE ? c : char(c | 0x20);
    }
    return o;
}

int DropImpossibleCastling(Position& p) {
    int dropped = 0;
    for (int right = 0; right < 4; right++) {
        int colour = RightColour(right);
        if ((p.castling & (1 << right)) &&
            (p.board[FromSquare(p.castleMove[right])] != PieceCode(colour, KING) ||
             p.board[p.castleRook[right]] != RookCode(colour))) {
            p.castling &= uint8_t(~(1 << right));
            dropped = 1;
        }
    }
    return dropped;
}

int IsCastlingMove(const Position& p, Move m) {
    int from = FromSquare(m), to = ToSquare(m);
    int king = p.board[from];
    if (TypeOf(king) != KING) return 0;
    if (to == from + 2 || to == from - 2) return 1;
    return p.board[to] && ColourOf(p.board[to]) == ColourOf(king);
}

int KingTakesRookIsLegal(Position& p, int colour, int rookSq) {
    int right = RightOfRook(p, colour, rookSq);
    int king = KingSquare(p, colour);
    if (right < 0 || FromSquare(p.castleMove[right]) != king) return 0;
    if (Occupancy(p) & p.castleEmpty[right]) return 0;
    int kingTo = KingTarget(right);
    Bitboard path = Between[king][kingTo] | SquareBit(king) | SquareBit(kingTo);
    // Both leave first: the rook may have shielded a square of the path.
    Bitboard lifted = SquareBit(king) | SquareBit(rookSq);
    p.bb[8 * colour] ^= lifted;
    int legal = 1;
    while (path && legal) legal = !IsAttacked(p, PopLowest(path), colour ^ 1);
    p.bb[8 * colour] ^= lifted;
    return legal;
}

void CastleKingAndRook(Position& p, int kingFrom, int rookFrom) {
    int colour = ColourOf(p.board[kingFrom]);
    int right = 2 * colour + (rookFrom < kingFrom ? 1 : 0);
    int kingTo = KingTarget(right), rookTo = RookTarget(right);
    int king = PieceCode(colour, KING), rook = RookCode(colour);
    MovePair(p, kingFrom, kingTo, rookFrom, rookTo);
    p.key ^= PieceKeys[king][kingFrom] ^ PieceKeys[king][kingTo] ^ PieceKeys[rook][rookFrom] ^
             PieceKeys[rook][rookTo];
}

void UncastleKingAndRook(Position& p, int kingFrom, int rookFrom) {
    int right = 2 * p.side + (rookFrom < kingFrom ? 1 : 0);
    MovePair(p, KingTarget(right), kingFrom, RookTarget(right), rookFrom);
}
