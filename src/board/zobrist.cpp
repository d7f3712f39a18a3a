#include "board/zobrist.h"

#include "board/bitops.h"
#include "shell/output.h"

uint64_t PieceKeys[16][64];
uint64_t StateKeys[66];
const uint64_t SideKey[2] = {0, 0xFFFFFFFFFFFFFFFFull};
uint32_t zobristSeed = 1;

namespace {

bool keysReady = false;

uint32_t NextRandom() {
    zobristSeed = zobristSeed * 98765u + 123456789u;
    return zobristSeed;
}

uint64_t DrawKey() {
    uint64_t high = NextRandom();
    uint64_t low = NextRandom();
    return (high << 32) | low;
}

// Keys whose halves differ from an earlier key's halves in fewer than four
// bits make collisions between near-identical positions too likely.
bool TooClose(const uint64_t* earlier, int count, uint64_t key) {
    for (int i = 0; i < count; i++) {
        uint64_t x = earlier[i] ^ key;
        if (std::popcount(uint32_t(x)) < 4 || std::popcount(uint32_t(x >> 32)) < 4) return true;
    }
    return false;
}

} // namespace

bool ZobristKeysReady() { return keysReady; }

void InitZobristKeys() {
    if (keysReady) return;
    uint64_t* keys = &PieceKeys[0][0];
    for (int n = 0; n < 16 * 64; n++) {
        uint64_t key = DrawKey();
        for (int attempt = 1; n > 0 && attempt < 5 && TooClose(keys, n, key); attempt++)
            key = DrawKey();
        if (n > 0 && TooClose(keys, n, key)) PrintLine("bad hashcode");
        keys[n] = key;
    }
    for (uint64_t& k : StateKeys) k = DrawKey();
    keysReady = true;
}

void ComputeKeys(Position& p) {
    // Positions may be set up before the transposition table exists.
    if (!keysReady) InitZobristKeys();
    uint64_t key = 0, pawnKey = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        key ^= PieceKeys[code][sq];
        if (TypeOf(code) == PAWN) pawnKey ^= PieceKeys[code][sq];
    }
    p.key = key;
    p.pawnKey = pawnKey;
}
