// Registration of the tables on the path, the material hash, lazy loading of
// WDL files, the DTZ cache and the reading of one stored value for a position.
#include "tablebase/tbprobe.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

#include "board/bitops.h"
#include "shell/output.h"
#include "tablebase/tbcore.h"

int TbLargest = 0;
int TbCount = 0;

static TbEntry TbPieceEntries[TBMAX_PIECE];
static TbEntry TbPawnEntries[TBMAX_PAWN];
static int TbPieceCount = 0;
static int TbPawnCount = 0;
static TbHashEntry TbHash[1 << TBHASHBITS][HSHMAX];
static std::mutex TbLoadMutex;

struct DtzSlot {
    uint64_t key1, key2;
    TbTable* table;
};
static const int DTZ_SLOTS = 64;
static DtzSlot DtzCache[DTZ_SLOTS];
static int DtzCount = 0;

// Material multipliers indexed by colour and piece type (pawn .. queen).
static const uint64_t KeyMultiplier[2][6] = {
    {0, 0xEC0ADE190C0F6003ull, 0xD2FB81862830191Full, 0xAADC1A2BE446234Dull, 0x985DEB9FC49333F9ull,
     0xA3EC1ABC71E90863ull},
    {0, 0xA24F0F571BB202E7ull, 0xBAEB854CD3259441ull, 0xD5A4C95928F2FBE3ull, 0xFD7866B439B94495ull,
     0xD6E4E47D24962951ull}};

static const char PieceLetters[] = " PNBRQK";

static uint64_t KeyFromCounts(const int counts[2][7], int mirror) {
    uint64_t key = 0;
    for (int c = 0; c < 2; c++)
        for (int t = 1; t <= 5; t++) key += uint64_t(counts[c ^ mirror][t]) * KeyMultiplier[c][t];
    return key;
}

static inline Bitboard TypeSet(const TbPos& p, int type) {
    switch (type) {
    case 1: return p.pawns;
    case 2: return p.knights;
    case 3: return p.bishops;
    case 4: return p.rooks;
    case 5: return p.queens;
    case 6: return p.kings;
    default: return 0;
    }
}

static inline Bitboard PieceSet(const TbPos& p, int code) {
    return TypeSet(p, code & 7) & ((code >> 3) ? p.black : p.white);
}

static void CountPieces(const TbPos& p, int counts[2][7]) {
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 7; t++) counts[c][t] = PopCount(PieceSet(p, t | (c << 3)));
}

uint64_t TbMaterialKey(const TbPos& p, int mirror) {
    int counts[2][7];
    CountPieces(p, counts);
    return KeyFromCounts(counts, mirror ? 1 : 0);
}

void TbMaterialName(const TbPos& p, int mirror, char* buffer) {
    int counts[2][7];
    CountPieces(p, counts);
    char* s = buffer;
    for (int side = 0; side < 2; side++) {
        int c = side ^ (mirror ? 1 : 0);
        *s++ = 'K';
        for (int t = 5; t >= 1; t--)
            for (int i = 0; i < counts[c][t] && s < buffer + 14; i++) *s++ = PieceLetters[t];
        if (side == 0) *s++ = 'v';
    }
    *s = 0;
}

TbEntry* TbFindEntry(uint64_t key) {
    TbHashEntry* bucket = TbHash[key >> (64 - TBHASHBITS)];
    for (int i = 0; i < HSHMAX; i++)
        if (bucket[i].ptr && bucket[i].key == key) return bucket[i].ptr;
    return nullptr;
}

int TbHashSlotsUsed() {
    int n = 0;
    for (auto& bucket : TbHash)
        for (const TbHashEntry& slot : bucket) n += slot.ptr != nullptr;
    return n;
}

static int AddToHash(TbEntry* e, uint64_t key) {
    TbHashEntry* bucket = TbHash[key >> (64 - TBHASHBITS)];
    for (int i = 0; i < HSHMAX; i++)
        if (!bucket[i].ptr) {
            bucket[i].key = key;
            bucket[i].ptr = e;
            return 1;
        }
    fprintf(stderr, "HSHMAX too low!\n");
    return 0;
}

static void ResetEntry(TbEntry& e) {
    TbFreeTable(e.table);
    memset(&e.table, 0, sizeof e.table);
    e.ready.store(0, std::memory_order_relaxed);
    e.reported = 0;
}

// Registers one combination named like "KRPvKR".
static void RegisterTable(const char* name) {
    int counts[2][7] = {{0}};
    int c = 0;
    for (const char* s = name; *s; s++) {
        if (*s == 'v') {
            c = 1;
            continue;
        }
        const char* at = strchr(PieceLetters + 1, *s);
        if (at) counts[c][at - PieceLetters]++;
    }
    int hasPawns = counts[0][1] + counts[1][1] > 0;
    TbEntry* e;
    if (hasPawns) {
        if (TbPawnCount == TBMAX_PAWN) {
            fprintf(stderr, "TBMAX_PAWN limit too low!\n");
            return;
        }
        e = &TbPawnEntries[TbPawnCount];
    } else {
        if (TbPieceCount == TBMAX_PIECE) {
            fprintf(stderr, "TBMAX_PIECE limit too low!\n");
            return;
        }
        e = &TbPieceEntries[TbPieceCount];
    }
    ResetEntry(*e);
    e->key = KeyFromCounts(counts, 0);
    e->key2 = KeyFromCounts(counts, 1);
    snprintf(e->name, sizeof e->name, "%s", name);
    e->num = 0;
    for (int s = 0; s < 2; s++)
        for (int t = 1; t <= 6; t++) e->num += counts[s][t];
    e->symmetric = e->key == e->key2;
    e->hasPawns = uint8_t(hasPawns);
    e->encType = 0;
    e->pawns[0] = e->pawns[1] = 0;
    if (hasPawns) {
        // The colour with fewer pawns leads; a colour without pawns never does.
        int white = counts[0][1], black = counts[1][1];
        int whiteLeads = black == 0 || (white > 0 && black >= white);
        e->pawns[0] = whiteLeads ? white : black;
        e->pawns[1] = whiteLeads ? black : white;
    } else {
        int unique = 0;
        for (int s = 0; s < 2; s++)
            for (int t = 1; t <= 6; t++) unique += counts[s][t] == 1;
        e->encType = unique >= 3 ? 0 : 2;
    }
    if (!AddToHash(e, e->key)) return;
    if (e->key2 != e->key && !AddToHash(e, e->key2)) return;
    if (hasPawns)
        TbPawnCount++;
    else
        TbPieceCount++;
    if (e->num > TbLargest) TbLargest = e->num;
}

static void TryName(const char* name) {
    int fd = TbOpenFile(name, ".rtbw");
    if (fd < 0) return;
    close(fd);
    RegisterTable(name);
}

static void FreeDtzCache() {
    for (int i = 0; i < DtzCount; i++) {
        TbFreeTable(*DtzCache[i].table);
        delete DtzCache[i].table;
    }
    DtzCount = 0;
}

void TbInit(const char* path) {
    static bool combinatoricsBuilt = false;
    for (int i = 0; i < TbPieceCount; i++) ResetEntry(TbPieceEntries[i]);
    for (int i = 0; i < TbPawnCount; i++) ResetEntry(TbPawnEntries[i]);
    FreeDtzCache();
    TbFreePaths();
    if (!combinatoricsBuilt) {
        TbBuildCombinatorics();
        combinatoricsBuilt = true;
    }
    TbPieceCount = TbPawnCount = 0;
    TbCount = 0;
    TbLargest = 0;
    memset(TbHash, 0, sizeof TbHash);
    if (!path || !*path || strcmp(path, "<empty>") == 0) return;

    TbSetPaths(path);
    const char* letters = "QRBNP";
    char name[16];
    for (int i = 0; i < 5; i++) {
        snprintf(name, sizeof name, "K%cvK", letters[i]);
        TryName(name);
    }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++) {
            snprintf(name, sizeof name, "K%cvK%c", letters[i], letters[j]);
            TryName(name);
        }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++) {
            snprintf(name, sizeof name, "K%c%cvK", letters[i], letters[j]);
            TryName(name);
        }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = 0; k < 5; k++) {
                snprintf(name, sizeof name, "K%c%cvK%c", letters[i], letters[j], letters[k]);
                TryName(name);
            }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++) {
                snprintf(name, sizeof name, "K%c%c%cvK", letters[i], letters[j], letters[k]);
                TryName(name);
            }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = i; k < 5; k++)
                for (int l = (k == i) ? j : k; l < 5; l++) {
                    snprintf(name, sizeof name, "K%c%cvK%c%c", letters[i], letters[j], letters[k],
                             letters[l]);
                    TryName(name);
                }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = 0; l < 5; l++) {
                    snprintf(name, sizeof name, "K%c%c%cvK%c", letters[i], letters[j], letters[k],
                             letters[l]);
                    TryName(name);
                }
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            for (int k = j; k < 5; k++)
                for (int l = k; l < 5; l++) {
                    snprintf(name, sizeof name, "K%c%c%c%cvK", letters[i], letters[j], letters[k],
                             letters[l]);
                    TryName(name);
                }
    TbCount = TbPieceCount + TbPawnCount;
    PrintLineF("info string found %d tablebases", TbCount);
}

static void CopyShape(const TbEntry& e, TbTable& t) {
    t.num = e.num;
    t.hasPawns = e.hasPawns;
    t.symmetric = e.symmetric;
    t.encType = e.encType;
    t.pawns[0] = e.pawns[0];
    t.pawns[1] = e.pawns[1];
}

// Maps and decodes one file of an entry into t. A file that failed once is
// reported once and not tried again until the tables are set up anew.
static int LoadTable(TbEntry& e, TbTable& t, int isDtz) {
    const char* ext = isDtz ? ".rtbz" : ".rtbw";
    uint8_t reportBit = isDtz ? 2 : 1;
    if (e.reported & reportBit) return 0;
    int status, error;
    size_t size;
    uint8_t* map = TbMapFile(e.name, ext, &size, &status, &error);
    if (!map) {
        if (status == TB_MAP_MISSING)
            fprintf(stderr, "Could not find %s%s\n", e.name, ext);
        else if (status == TB_MAP_TOO_SHORT)
            fprintf(stderr, "Corrupted table.\n");
        else if (status == TB_MAP_SIZE_FAILED)
            fprintf(stderr, "CreateFileMapping() failed.\n");
        else
            fprintf(stderr, "MapViewOfFile() failed, name = %s%s, error = %lu.\n", e.name, ext,
                    (unsigned long)error);
        e.reported |= reportBit;
        return 0;
    }
    memset(&t, 0, sizeof t);
    CopyShape(e, t);
    t.map = map;
    t.mapSize = size;
    if (!TbDecodeTable(t, isDtz)) {
        fprintf(stderr, "Corrupted table.\n");
        e.reported |= reportBit;
        TbFreeTable(t);
        return 0;
    }
    return 1;
}

static int LoadWdl(TbEntry& e) {
    std::lock_guard<std::mutex> lock(TbLoadMutex);
    if (e.ready.load(std::memory_order_acquire)) return 1;
    if (!LoadTable(e, e.table, 0)) return 0;
    e.ready.store(1, std::memory_order_release);
    return 1;
}

static TbTable* DtzTable(TbEntry& e, uint64_t key) {
    for (int i = 0; i < DtzCount; i++)
        if (DtzCache[i].key1 == key || DtzCache[i].key2 == key) {
            DtzSlot hit = DtzCache[i];
            for (int j = i; j > 0; j--) DtzCache[j] = DtzCache[j - 1];
            DtzCache[0] = hit;
            return hit.table;
        }
    TbTable* t = new TbTable;
    if (!LoadTable(e, *t, 1)) {
        delete t;
        return nullptr;
    }
    if (DtzCount == DTZ_SLOTS) {
        DtzCount--;
        TbFreeTable(*DtzCache[DtzCount].table);
        delete DtzCache[DtzCount].table;
    }
    for (int j = DtzCount; j > 0; j--) DtzCache[j] = DtzCache[j - 1];
    DtzCache[0] = {e.key, e.key2, t};
    DtzCount++;
    return t;
}

// How the stored table is read for this position: colour swap of the piece
// codes, vertical flip of the squares, and which side-to-move sub-table.
struct Orientation {
    int cmirror, mirror, bside;
};

static Orientation Orient(const TbEntry& e, const TbPos& p, uint64_t key) {
    Orientation o;
    if (!e.symmetric) {
        if (key != e.key) {
            o.cmirror = 8;
            o.mirror = 0x38;
            o.bside = p.turn != 0;
        } else {
            o.cmirror = o.mirror = 0;
            o.bside = p.turn == 0;
        }
    } else {
        o.cmirror = p.turn ? 0 : 8;
        o.mirror = p.turn ? 0 : 0x38;
        o.bside = 0;
    }
    return o;
}

// Squares of the pieces of the given codes, in order, into pos[from..num).
static int FillSquares(const TbPos& p, const uint8_t* codes, int from, int num, int cmirror,
                       int mirror, int* pos) {
    int i = from;
    while (i < num) {
        Bitboard b = PieceSet(p, codes[i] ^ cmirror);
        if (!b) return 0;
        while (b) {
            if (i >= num) return 0;
            pos[i++] = PopLowest(b) ^ mirror;
        }
    }
    return 1;
}

// Locates the sub-table and index of a position; returns the side data or null.
static const TbSide* Locate(const TbTable& t, const TbPos& p, const Orientation& o, int* file,
                            uint64_t* idx) {
    int pos[TB_PIECES];
    if (o.bside >= t.sides) return nullptr;
    if (!t.hasPawns) {
        const TbSide& s = t.side[0][o.bside];
        if (!FillSquares(p, s.pieces, 0, t.num, o.cmirror, o.mirror, pos)) return nullptr;
        *file = 0;
        *idx = TbEncodePiece(t, s, pos);
        return *idx < s.size ? &s : nullptr;
    }
    // The leading pawns choose the file sub-table before the rest is read.
    int lead = t.side[0][0].pieces[0];
    Bitboard b = PieceSet(p, lead ^ o.cmirror);
    int n = 0;
    while (b) {
        if (n >= t.pawns[0]) return nullptr;
        pos[n++] = PopLowest(b) ^ o.mirror;
    }
    if (n != t.pawns[0]) return nullptr;
    int f = TbPawnFile(pos, n);
    const TbSide& s = t.side[f][o.bside];
    if (!FillSquares(p, s.pieces, n, t.num, o.cmirror, o.mirror, pos)) return nullptr;
    *file = f;
    *idx = TbEncodePawn(t, s, pos);
    return *idx < s.size ? &s : nullptr;
}

int TbProbeTableWdl(const TbPos& p, int* success) {
    uint64_t key = TbMaterialKey(p, 0);
    if (key == 0) return 0; // bare kings
    TbEntry* e = TbFindEntry(key);
    if (!e || (!e->ready.load(std::memory_order_acquire) && !LoadWdl(*e))) {
        *success = 0;
        return 0;
    }
    Orientation o = Orient(*e, p, key);
    int file;
    uint64_t idx;
    const TbSide* s = Locate(e->table, p, o, &file, &idx);
    int v = s ? TbDecompress(s->pairs, idx) : -1;
    if (v < 0 || v > 4) {
        *success = 0;
        return 0;
    }
    return v - 2;
}

int TbProbeTableDtz(const TbPos& p, int wdl, int* success) {
    uint64_t key = TbMaterialKey(p, 0);
    TbEntry* e = key ? TbFindEntry(key) : nullptr;
    TbTable* t = e ? DtzTable(*e, key) : nullptr;
    if (!t) {
        *success = 0;
        return 0;
    }
    Orientation o = Orient(*e, p, key);
    int file = 0;
    if (t->hasPawns) {
        // Only the file decides which sub-table (and stored side) applies.
        int pos[TB_PIECES];
        int n = 0;
        Bitboard b = PieceSet(p, t->side[0][0].pieces[0] ^ o.cmirror);
        while (b && n < TB_PIECES) pos[n++] = PopLowest(b) ^ o.mirror;
        if (n == 0) {
            *success = 0;
            return 0;
        }
        file = TbPawnFile(pos, n);
    }
    if ((t->dtzFlags[file] & DTZ_FLAG_STM) != o.bside && (t->hasPawns || !t->symmetric)) {
        *success = -1;
        return 0;
    }
    Orientation stored = o;
    stored.bside = 0;
    uint64_t idx;
    const TbSide* s = Locate(*t, p, stored, &file, &idx);
    int v = s ? TbDecompress(s->pairs, idx) : -1;
    if (v < 0) {
        *success = 0;
        return 0;
    }
    int flags = t->dtzFlags[file];
    if (flags & DTZ_FLAG_MAPPED) {
        static const int mapOfWdl[5] = {1, 3, 0, 2, 0};
        size_t at = size_t(t->mapIdx[file][mapOfWdl[wdl + 2]]) + size_t(v);
        if (flags & DTZ_FLAG_WIDE_MAP) {
            if (2 * at + 2 > t->dtzMapSize) {
                *success = 0;
                return 0;
            }
            v = t->dtzMap[2 * at] | (t->dtzMap[2 * at + 1] << 8);
        } else {
            if (at >= t->dtzMapSize) {
                *success = 0;
                return 0;
            }
            v = t->dtzMap[at];
        }
    }
    // Values stored in moves become plies.
    static const int pliesFlag[5] = {DTZ_FLAG_LOSS_PLIES, 0, 0, 0, DTZ_FLAG_WIN_PLIES};
    if (!(flags & pliesFlag[wdl + 2]) || (wdl & 1)) v *= 2;
    *success = 1;
    return v;
}
