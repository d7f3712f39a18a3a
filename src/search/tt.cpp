#include "search/tt.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/zobrist.h"
#include "search/search_thread.h"

TransTable transTable;

namespace {

constexpr uint32_t SPARE_ENTRIES = 32;

// Every thread reads and writes the entries without a lock; each field is
// accessed with a relaxed atomic load or store (a plain move) and the check word
// exposes entries torn by two writers.
template <typename T> inline T Get(const T& field) {
    return __atomic_load_n(&field, __ATOMIC_RELAXED);
}
template <typename T> inline void Put(T& field, T value) {
    __atomic_store_n(&field, value, __ATOMIC_RELAXED);
}

inline TTEntry ReadEntry(const TTEntry* e) {
    TTEntry copy;
    copy.lock = Get(e->lock);
    copy.check = Get(e->check);
    copy.move = Get(e->move);
    copy.score = Get(e->score);
    copy.age = Get(e->age);
    copy.bound = Get(e->bound);
    copy.depth = Get(e->depth);
    return copy;
}

inline uint32_t CheckWord(uint32_t lowKey, int score, Move move) {
    return lowKey ^ (uint32_t(score + 15000) ^ (uint32_t(move) << 16));
}

inline TTEntry* Bucket(const Position& p, uint64_t key) {
    uint32_t index = uint32_t(key) & transTable.mask;
    return p.side == WHITE ? transTable.lowBase + index : transTable.highBase - index;
}

// Writes count empty entries (every byte 0 but the depth, -50) from the start
// of the block. Streaming stores bypass the caches: the block is far larger
// than they are, and nothing reads it soon.
void EmptyEntries(uint64_t count) {
    TTEntry empty = {};
    empty.depth = TT_EMPTY_DEPTH;
    TTEntry* e = transTable.entries;
#ifdef __SSE2__
    __m128i value;
    static_assert(sizeof value == sizeof empty, "one store per entry");
    std::memcpy(&value, &empty, sizeof value);
    for (uint64_t i = 0; i < count; i++) _mm_stream_si128(reinterpret_cast<__m128i*>(e + i), value);
    _mm_sfence();
#else
    for (uint64_t i = 0; i < count; i++) e[i] = empty;
#endif
}

} // namespace

void FreeTransTable() {
    std::free(transTable.raw);
    transTable.raw = nullptr;
    transTable.entries = transTable.lowBase = transTable.highBase = nullptr;
    transTable.n = transTable.mask = 0;
}

int TTAllocate() {
    InitZobristKeys();
    FreeTransTable();
    uint64_t bytes = uint64_t(transTable.hashMegabytes < 0 ? 0 : transTable.hashMegabytes) << 20;
    uint64_t n = bytes / sizeof(TTEntry);
    uint64_t total = (n + SPARE_ENTRIES) * sizeof(TTEntry);
    // A table of a megabyte or more is aligned to 2 MB and offered to the
    // kernel for huge pages: every probe lands on a random page, and with 4 KB
    // pages most of them miss the address-translation cache. Buckets are
    // aligned to cache lines in any case. The clear below writes every entry.
    constexpr uint64_t HUGE_PAGE = uint64_t(2) << 20;
    bool huge = total >= HUGE_PAGE / 2;
    uint64_t align = huge ? HUGE_PAGE : 64;
    uint64_t rounded = (total + align - 1) / align * align;
    void* raw = nullptr;
    if (posix_memalign(&raw, align, rounded) != 0) raw = nullptr;
    if (!raw) {
        transTable.inUse = 0;
        return -1;
    }
#ifdef MADV_HUGEPAGE
    if (huge) madvise(raw, rounded, MADV_HUGEPAGE);
#endif
    transTable.raw = raw;
    transTable.entries = static_cast<TTEntry*>(raw);
    // The spare entries past those the clear writes start zeroed.
    std::memset(transTable.entries + n + 16, 0, (SPARE_ENTRIES - 16) * sizeof(TTEntry));
    transTable.n = uint32_t(n);
    uint32_t power = 1;
    while (n && uint64_t(power) * 2 <= n) power *= 2;
    transTable.mask = n ? power - 1 : 0;
    transTable.lowBase = transTable.entries;
    transTable.highBase = transTable.entries + n;
    transTable.inUse = 1;
    TTClear();
    return 0;
}

int AllocateTransTable(int mb) {
    transTable.hashMegabytes = mb;
    return TTAllocate();
}

void TTClear() {
    if (transTable.entries) EmptyEntries(uint64_t(transTable.n) + 16);
    transTable.age = 0;
    transTable.fill = 0;
}

TTEntry TTProbe(const Position& p) {
    TTEntry copy = {};
    copy.depth = int8_t(TT_MISS);
    if (!transTable.inUse || !transTable.entries) return copy;
    uint64_t key = SearchKey(p);
    uint32_t high = uint32_t(key >> 32);
    TTEntry* bucket = Bucket(p, key);
    for (int i = 0; i < 4; i++) {
        TTEntry* e = bucket + i;
        if (Get(e->lock) != high) continue;
        // Written only when it changes: a store would take the cache line
        // from another thread reading the same entry.
        if (Get(e->age) != transTable.age) Put(e->age, transTable.age);
        copy = ReadEntry(e);
        if (CheckWord(uint32_t(key), copy.score, copy.move) != copy.check) {
            copy.depth = int8_t(TT_TORN);
        } else if (copy.move) {
            Bitboard own = p.bb[8 * p.side];
            if (!(own & SquareBit(FromSquare(copy.move))) || (own & SquareBit(ToSquare(copy.move))))
                copy.depth = int8_t(TT_BAD_MOVE);
        }
        return copy;
    }
    return copy;
}

void TTStore(const Position& p, int ply, int depth, int alpha, int beta, int best, Move bestMove) {
    if (!transTable.inUse || !transTable.entries || depth < 0) return;
    int bound = best >= beta ? BOUND_LOWER : best > alpha ? BOUND_EXACT : BOUND_UPPER;
    int stored = TTScoreToEntry(best, ply);
    uint64_t key = SearchKey(p);
    uint32_t high = uint32_t(key >> 32);
    TTEntry* bucket = Bucket(p, key);
    TTEntry* target = nullptr;
    for (int i = 0; i < 4; i++) {
        if (Get(bucket[i].lock) == high) {
            if (depth < Get(bucket[i].depth) - 2) return;
            target = bucket + i;
            break;
        }
    }
    if (!target) {
        // One age step weighs as sixteen plies of depth.
        int lowest = 0;
        for (int i = 0; i < 4; i++) {
            int value = int(int16_t(Get(bucket[i].age))) * 16 + Get(bucket[i].depth);
            if (!target || value < lowest) {
                target = bucket + i;
                lowest = value;
            }
        }
        if (depth < Get(target->depth) - 7) return;
    }
    Put(target->lock, high);
    Put(target->check, CheckWord(uint32_t(key), int16_t(stored), bestMove));
    Put(target->move, bestMove);
    Put(target->score, int16_t(stored));
    Put(target->age, transTable.age);
    Put(target->bound, uint8_t(bound));
    Put(target->depth, int8_t(depth));
}

double TTFill() {
    uint32_t n = transTable.n;
    if (n < 3000 || !transTable.entries) {
        transTable.fill = 0;
        return 0;
    }
    int count = 0;
    for (uint32_t i = n / 2 - 500; i < n / 2 + 500; i++)
        if (Get(transTable.entries[i].age) == transTable.age) count++;
    transTable.fill = count * 0.001;
    return transTable.fill;
}

void TTPrefetch(const Position& p) {
    if (!transTable.entries) return;
    // A bucket starts on any entry, so three times in four it spans two cache
    // lines: ask for both.
    const TTEntry* bucket = Bucket(p, SearchKey(p));
    __builtin_prefetch(bucket, 0, 3);
    __builtin_prefetch(bucket + 3, 0, 3);
}

namespace {

// The position repeats one 4, 6, 8 ... plies back within the fifty-move count.
bool RepeatsInLine(const Position& p) {
    if (p.halfmoveClock <= 3) return false;
    const SearchThread* t = p.owner;
    int limit = t->historyCount - p.halfmoveClock;
    if (limit < 0) limit = 0;
    for (int i = t->historyCount - 4; i >= limit; i -= 2)
        if (t->history[i].key == p.key) return true;
    return false;
}

} // namespace

void TTCompletePv(Position& p, Move* pv, int ply) {
    Move m = pv[ply];
    if (!m) {
        pv[ply + 1] = 0;
        TTEntry e = TTProbe(p);
        if (e.depth < 1 || !e.move) return;
        m = e.move;
        if (RepeatsInLine(p)) return;
    }
    if (!IsLegalMove(p, m)) {
        pv[ply] = 0;
        return;
    }
    pv[ply] = m;
    MakeMove(p, m);
    if (ply + 1 <= 66)
        TTCompletePv(p, pv, ply + 1);
    else
        pv[ply + 1] = 0;
    UnmakeMove(p);
}
