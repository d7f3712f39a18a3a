#include "board/movegen.h"

#include "board/attacks.h"
#include "board/constants.h"
#include "search/search_thread.h"

namespace {

inline MoveEntry* Add(const Position& p, MoveEntry* list, int from, int to, Move extra = 0) {
    list->move = Move(MakeMoveCode(from, to) | extra);
    list->piece = p.board[from];
    list->captured = p.board[to];
    return list + 1;
}

// The piece lists hold nine pieces of one kind: no promotion to a kind the
// mover already has nine of (the count is a 4-bit field of the signature).
inline bool RoomFor(const Position& p, int colour, int type) {
    return ((p.matSig[colour] >> (4 * (type - 1))) & 15) < 9;
}

inline MoveEntry* AddPromotions(const Position& p, MoveEntry* list, int from, int to, int all) {
    int c = ColourOf(p.board[from]);
    if (RoomFor(p, c, QUEEN)) list = Add(p, list, from, to, PROMO_QUEEN);
    if (all) {
        if (RoomFor(p, c, KNIGHT)) list = Add(p, list, from, to, PROMO_KNIGHT);
        if (RoomFor(p, c, BISHOP)) list = Add(p, list, from, to, PROMO_BISHOP);
        if (RoomFor(p, c, ROOK)) list = Add(p, list, from, to, PROMO_ROOK);
    }
    return list;
}

// The castling right is held, the king stands where it starts from and the
// squares between are empty; whether the king's way is safe is left to IsLegal.
inline bool CastlingOpen(const Position& p, int right, int king, Bitboard occ) {
    return (p.castling & (1 << right)) && !(occ & p.castleEmpty[right]) &&
           FromSquare(p.castleMove[right]) == king;
}

inline MoveEntry* TargetsFrom(const Position& p, MoveEntry* list, int from, Bitboard t) {
    while (t) list = Add(p, list, from, PopLowest(t));
    return list;
}

} // namespace

MoveEntry* GenPawnCaptures(const Position& p, int c, MoveEntry* list) {
    Bitboard targets = p.bb[8 * (c ^ 1)];
    if (p.epSquare != NO_SQUARE) targets |= SquareBit(p.epSquare);
    // Pawns about to promote are left to GenPromotions.
    Bitboard pawns = p.bb[PieceCode(c, PAWN)] & ~PromoRankMask[c];
    if (c == WHITE) {
        Bitboard t = ((pawns & ~FILE_A) << 7) & targets;
        while (t) {
            int to = PopLowest(t);
            list = Add(p, list, to - 7, to);
        }
        t = ((pawns & ~FILE_H) << 9) & targets;
        while (t) {
            int to = PopLowest(t);
            list = Add(p, list, to - 9, to);
        }
    } else {
        Bitboard t = ((pawns & ~FILE_H) >> 7) & targets;
        while (t) {
            int to = PopLowest(t);
            list = Add(p, list, to + 7, to);
        }
        t = ((pawns & ~FILE_A) >> 9) & targets;
        while (t) {
            int to = PopLowest(t);
            list = Add(p, list, to + 9, to);
        }
    }
    return list;
}

MoveEntry* GenPieceCaptures(const Position& p, int c, MoveEntry* list) {
    Bitboard targets = p.bb[8 * (c ^ 1)];
    Bitboard occ = p.bb[0] | p.bb[8];
    for (const uint8_t* s = p.pieceList[PieceCode(c, KNIGHT)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, KnightAttacks[*s] & targets);
    for (const uint8_t* s = p.pieceList[PieceCode(c, BISHOP)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, BishopAttacks(*s, occ) & targets);
    for (const uint8_t* s = p.pieceList[PieceCode(c, ROOK)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, RookAttacks(*s, occ) & targets);
    for (const uint8_t* s = p.pieceList[PieceCode(c, QUEEN)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, QueenAttacks(*s, occ) & targets);
    int k = p.pieceList[PieceCode(c, KING)][0];
    if (k != NO_SQUARE) list = TargetsFrom(p, list, k, KingAttacks[k] & targets);
    return list;
}

MoveEntry* GenPromotions(const Position& p, int c, int underpromotions, MoveEntry* list) {
    Bitboard pawns = p.bb[PieceCode(c, PAWN)] & PromoRankMask[c];
    Bitboard enemy = p.bb[8 * (c ^ 1)];
    while (pawns) {
        int from = PopLowest(pawns);
        int ahead = from + PawnPush[c];
        if (!p.board[ahead]) list = AddPromotions(p, list, from, ahead, underpromotions);
        if (FileOf(from) != 0 && (enemy & SquareBit(ahead - 1)))
            list = AddPromotions(p, list, from, ahead - 1, underpromotions);
        if (FileOf(from) != 7 && (enemy & SquareBit(ahead + 1)))
            list = AddPromotions(p, list, from, ahead + 1, underpromotions);
    }
    return list;
}

MoveEntry* GenQuiets(const Position& p, int c, MoveEntry* list) {
    Bitboard occ = p.bb[0] | p.bb[8];
    Bitboard empty = ~occ;
    int push = PawnPush[c];
    for (const uint8_t* s = p.pieceList[PieceCode(c, PAWN)]; *s != NO_SQUARE; s++) {
        int from = *s;
        int relRank = (from ^ RankFlip[c]) >> 3;
        if (relRank == 6 || p.board[from + push]) continue;
        list = Add(p, list, from, from + push);
        if (relRank == 1 && !p.board[from + 2 * push]) list = Add(p, list, from, from + 2 * push);
    }
    for (const uint8_t* s = p.pieceList[PieceCode(c, KNIGHT)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, KnightAttacks[*s] & empty);
    for (const uint8_t* s = p.pieceList[PieceCode(c, BISHOP)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, BishopAttacks(*s, occ) & empty);
    for (const uint8_t* s = p.pieceList[PieceCode(c, ROOK)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, RookAttacks(*s, occ) & empty);
    for (const uint8_t* s = p.pieceList[PieceCode(c, QUEEN)]; *s != NO_SQUARE; s++)
        list = TargetsFrom(p, list, *s, QueenAttacks(*s, occ) & empty);
    int k = p.pieceList[PieceCode(c, KING)][0];
    if (k == NO_SQUARE) return list;
    list = TargetsFrom(p, list, k, KingAttacks[k] & empty);
    // Castling: king side, then queen side, with the squares between empty.
    for (int right = 2 * c; right < 2 * c + 2; right++) {
        if (CastlingOpen(p, right, k, occ)) {
            list->move = p.castleMove[right];
            list->piece = p.board[k];
            list->captured = 0; // a Chess960 castling lands on its own rook
            list++;
        }
    }
    return list;
}

MoveEntry* GenAllMoves(Position& p) {
    SearchThread* t = p.owner;
    StackEntry& entry = t->stack[t->ply];
    MoveEntry* start = entry.listStart ? entry.listStart : t->moves;
    int c = p.side;
    MoveEntry* end = GenPawnCaptures(p, c, start);
    end = GenPieceCaptures(p, c, end);
    end = GenPromotions(p, c, 1, end);
    end = GenQuiets(p, c, end);
    end->move = END_OF_LIST;
    end->piece = end->captured = 0;
    entry.listStart = start;
    entry.listCurrent = start;
    if (t->ply + 1 < MAX_PLY) t->stack[t->ply + 1].listStart = end + 1;
    return start;
}

int IsLegalMove(Position& p, Move m) {
    if (!m) return 0;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        if (e->move == m) return IsLegal(p, p.side, m);
    return 0;
}

int HasLegalMove(Position& p) {
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        if (e->move && IsLegal(p, p.side, e->move)) return 1;
    return 0;
}

namespace {

inline Bitboard Forward(Bitboard b, int c) { return c == WHITE ? b << 8 : b >> 8; }

// Pawn moves of `pawns` onto `allowed`: pushes, double pushes and captures;
// every promotion counts once per kind the side may still promote to.
int CountPawnMoves(const Position& p, int c, Bitboard pawns, Bitboard allowed) {
    Bitboard occ = Occupancy(p), empty = ~occ, enemy = p.bb[8 * (c ^ 1)];
    Bitboard single = Forward(pawns, c) & empty;
    Bitboard twice = Forward(single & (c == WHITE ? RANK_1 << 16 : RANK_1 << 40), c) & empty;
    Bitboard toA = c == WHITE ? (pawns & ~FILE_A) << 7 : (pawns & ~FILE_A) >> 9;
    Bitboard toH = c == WHITE ? (pawns & ~FILE_H) << 9 : (pawns & ~FILE_H) >> 7;
    Bitboard last = c == WHITE ? RANK_8 : RANK_1;
    int quiet = PopCount(single & allowed & ~last) + PopCount(twice & allowed);
    int captures =
        PopCount(toA & enemy & allowed & ~last) + PopCount(toH & enemy & allowed & ~last);
    int promotions = PopCount(single & allowed & last) + PopCount(toA & enemy & allowed & last) +
                     PopCount(toH & enemy & allowed & last);
    int kinds = 0;
    if (promotions)
        for (int type : {QUEEN, KNIGHT, BISHOP, ROOK}) kinds += RoomFor(p, c, type);
    return quiet + captures + promotions * kinds;
}

} // namespace

int CountLegalMoves(Position& p) {
    int c = p.side, k = KingSquare(p, c);
    const Bitboard* ours = p.bb + 8 * c;
    const Bitboard* theirs = p.bb + 8 * (c ^ 1);
    Bitboard own = ours[0], occ = own | theirs[0];
    Bitboard checkers = (PawnAttacks[c][k] & theirs[PAWN]) | (KnightAttacks[k] & theirs[KNIGHT]) |
                        (KingAttacks[k] & theirs[KING]) |
                        (BishopAttacks(k, occ) & (theirs[BISHOP] | theirs[QUEEN])) |
                        (RookAttacks(k, occ) & (theirs[ROOK] | theirs[QUEEN]));

    // King moves, castling and en passant get the full test.
    int count = 0;
    for (Bitboard t = KingAttacks[k] & ~own; t; t &= t - 1)
        count += IsLegal(p, c, MakeMoveCode(k, BitScan(t)));
    for (int right = 2 * c; right < 2 * c + 2; right++) {
        if (CastlingOpen(p, right, k, occ)) count += IsLegal(p, c, p.castleMove[right]);
    }
    if (p.epSquare != NO_SQUARE)
        for (Bitboard b = PawnAttacks[c ^ 1][p.epSquare] & ours[PAWN] & ~PromoRankMask[c]; b;
             b &= b - 1)
            count += IsLegal(p, c, MakeMoveCode(BitScan(b), p.epSquare));
    if (checkers & (checkers - 1)) return count; // double check: the king alone moves

    // In check a move must capture the checker or step between; a pinned piece
    // cannot, since its line and the check's meet only on the king. Out of
    // check a pinned piece stays on its line, between the king and the pinner.
    Bitboard allowed = checkers ? Between[k][BitScan(checkers)] | checkers : ~own;
    Bitboard pinned = 0;
    Bitboard snipers = (RookFull[k] & (theirs[ROOK] | theirs[QUEEN])) |
                       (BishopFull[k] & (theirs[BISHOP] | theirs[QUEEN]));
    while (snipers) {
        int s = PopLowest(snipers);
        Bitboard between = Between[k][s] & occ;
        if (!between || (between & (between - 1)) || !(between & own)) continue;
        pinned |= between;
        if (checkers) continue;
        int sq = BitScan(between);
        Bitboard line = Between[k][s] | SquareBit(s);
        Bitboard reach = 0;
        switch (TypeOf(p.board[sq])) {
        case PAWN: count += CountPawnMoves(p, c, between, line); break;
        case BISHOP: reach = BishopAttacks(sq, occ); break;
        case ROOK: reach = RookAttacks(sq, occ); break;
        case QUEEN: reach = QueenAttacks(sq, occ); break;
        default: break; // a pinned knight has no move
        }
        count += PopCount(reach & line);
    }

    count += CountPawnMoves(p, c, ours[PAWN] & ~pinned, allowed);
    Bitboard unpinned = ~pinned;
    for (Bitboard b = ours[KNIGHT] & unpinned; b; b &= b - 1)
        count += PopCount(KnightAttacks[BitScan(b)] & allowed & ~own);
    for (Bitboard b = ours[BISHOP] & unpinned; b; b &= b - 1)
        count += PopCount(BishopAttacks(BitScan(b), occ) & allowed & ~own);
    for (Bitboard b = ours[ROOK] & unpinned; b; b &= b - 1)
        count += PopCount(RookAttacks(BitScan(b), occ) & allowed & ~own);
    for (Bitboard b = ours[QUEEN] & unpinned; b; b &= b - 1)
        count += PopCount(QueenAttacks(BitScan(b), occ) & allowed & ~own);
    return count;
}
