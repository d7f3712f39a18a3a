#include "eval/kpk.h"

#include <algorithm>
#include <cstdlib>

#include "board/types.h"
#include "eval/evaluate.h"

uint8_t KpkBitbase[2 * 32 * 64 * 64];

namespace {

constexpr uint8_t ILLEGAL = 0, DRAW = 1, WIN = 2, UNKNOWN = 4;
bool kpkReady = false;

int Distance(int a, int b) {
    return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}

// Pawn square restricted to files a..d.
int Index(int side, int pawn, int strong, int weak) {
    return side * (1 << 17) + (FileOf(pawn) + 4 * RankOf(pawn)) * (1 << 12) + strong * 64 + weak;
}

// King steps from sq, ended by -1.
int kingSteps[64][9];

void BuildKingSteps() {
    for (int sq = 0; sq < 64; sq++) {
        int n = 0;
        for (int df = -1; df <= 1; df++)
            for (int dr = -1; dr <= 1; dr++) {
                if (!df && !dr) continue;
                int f = FileOf(sq) + df, r = RankOf(sq) + dr;
                if (f >= 0 && f < 8 && r >= 0 && r < 8) kingSteps[sq][n++] = r * 8 + f;
            }
        kingSteps[sq][n] = -1;
    }
}

void InitialValues() {
    for (int rank = 0; rank < 8; rank++)
        for (int file = 0; file < 4; file++) {
            int p = rank * 8 + file;
            for (int k = 0; k < 64; k++)
                for (int w = 0; w < 64; w++) {
                    uint8_t& s0 = KpkBitbase[Index(0, p, k, w)];
                    uint8_t& s1 = KpkBitbase[Index(1, p, k, w)];
                    s0 = s1 = UNKNOWN;
                    if (p == k || p == w || k == w || Distance(k, w) <= 1) {
                        s0 = s1 = ILLEGAL;
                    } else if (w == p + 9 || (file > 0 && w == p + 7)) {
                        s0 =
                            ILLEGAL; // the lone king would be in check with the pawn's side to move
                    } else if (rank == 7) {
                        s0 = WIN;
                        if (Distance(w, p) > 1 || Distance(k, p) == 1) s1 = WIN;
                    }
                }
        }
}

// One pass over both sides; returns 1 when some entry changed.
int Sweep() {
    int changed = 0;
    for (int p = 8; p <= 55; p++) {
        if (FileOf(p) > 3) continue;
        for (int k = 0; k < 64; k++)
            for (int w = 0; w < 64; w++) {
                uint8_t& e = KpkBitbase[Index(0, p, k, w)];
                if (e != UNKNOWN) continue;
                int any = KpkBitbase[Index(1, p + 8, k, w)];
                if (RankOf(p) == 1 && any != 0) any |= KpkBitbase[Index(1, p + 16, k, w)];
                for (const int* t = kingSteps[k]; *t >= 0; t++)
                    any |= KpkBitbase[Index(1, p, *t, w)];
                uint8_t v = (any & WIN) ? WIN : (any & UNKNOWN) ? UNKNOWN : DRAW;
                if (v != e) {
                    e = v;
                    changed = 1;
                }
            }
    }
    for (int p = 8; p <= 55; p++) {
        if (FileOf(p) > 3) continue;
        for (int k = 0; k < 64; k++)
            for (int w = 0; w < 64; w++) {
                uint8_t& e = KpkBitbase[Index(1, p, k, w)];
                if (e != UNKNOWN) continue;
                int any = 0;
                for (const int* t = kingSteps[w]; *t >= 0; t++) {
                    if (*t == p) {
                        if (Distance(k, p) >= 2) any |= DRAW; // the pawn falls
                        continue;
                    }
                    any |= KpkBitbase[Index(0, p, k, *t)];
                }
                uint8_t v = (any & DRAW)      ? DRAW
                            : (any & UNKNOWN) ? UNKNOWN
                            : (any & WIN)     ? WIN
                                              : DRAW;
                if (v != e) {
                    e = v;
                    changed = 1;
                }
            }
    }
    return changed;
}

} // namespace

void BuildKpk() {
    InitEvalMasks();
    if (kpkReady) return;
    BuildKingSteps();
    InitialValues();
    while (Sweep()) {}
    for (int side = 0; side < 2; side++)
        for (int p = 8; p <= 55; p++) {
            if (FileOf(p) > 3) continue;
            for (int k = 0; k < 64; k++)
                for (int w = 0; w < 64; w++) {
                    uint8_t& e = KpkBitbase[Index(side, p, k, w)];
                    if (e != WIN) e = DRAW;
                }
        }
    kpkReady = true;
}

int ProbeKpkSquares(int pawnColour, int pawn, int strongKing, int weakKing, int side) {
    if (pawnColour == 1) {
        // Turn the board half round so the pawn runs up the board.
        pawn = 63 - pawn;
        strongKing = 63 - strongKing;
        weakKing = 63 - weakKing;
        side ^= 1;
    }
    if (FileOf(pawn) > 3) {
        pawn ^= 7;
        strongKing ^= 7;
        weakKing ^= 7;
    }
    if (KpkBitbase[Index(side, pawn, strongKing, weakKing)] != WIN) return 0;
    return side == 0 ? 800 : -800;
}

int ProbeKpk(const Position& p, int side) {
    int colour = (p.matSig[0] & 15) ? 0 : 1;
    int pawn = p.pieceList[PieceCode(colour, PAWN)][0];
    return ProbeKpkSquares(colour, pawn, p.pieceList[PieceCode(colour, KING)][0],
                           p.pieceList[PieceCode(colour ^ 1, KING)][0], side);
}
