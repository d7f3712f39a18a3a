// Syzygy file access and decoding. Table files come from the public generator,
// so every layout detail here follows that format bit for bit. Files are
// checked while their headers are decoded, so that a damaged file only makes
// its own probes fail instead of reading outside the mapping.
#include "tablebase/tbcore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

char* TbPathCopy = nullptr;
char** TbPaths = nullptr;
int TbPathCount = 0;

uint64_t TbBinomial[5][64];
uint64_t TbPawnIdx[5][24];
uint64_t TbPawnFactor[5][4];
int16_t TbKkIdx[10][64];

// Square orders used by the index: pawn squares numbered from the edge files
// inward (higher = nearer the a/h files and the second rank), the flap order of
// the leading pawn, the a1-d1-d4 triangle, and the squares below the a1-h8
// diagonal.
static uint8_t PawnTwist[64];
static uint8_t PawnFlap[64];
static uint8_t Triangle[64];
static uint8_t LowerIdx[64];

static inline int OffDiag(int sq) {
    int d = (sq >> 3) - (sq & 7);
    return (d > 0) - (d < 0);
}

static inline int FlipDiag(int sq) { return ((sq >> 3) | (sq << 3)) & 63; }

static inline uint32_t ReadLe16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
static inline uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
static inline uint32_t ReadBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

static uint64_t Choose(int n, int k) {
    if (k < 0 || n < k) return 0;
    uint64_t r = 1;
    for (int i = 1; i <= k; i++) r = r * uint64_t(n - k + i) / uint64_t(i);
    return r;
}

void TbBuildCombinatorics() {
    for (int k = 0; k < 5; k++)
        for (int n = 0; n < 64; n++) TbBinomial[k][n] = Choose(n, k + 1);

    // Pawn squares: for each file pair from the edge inward, rank by rank, the
    // a-side square before its h-side mirror, counting down from 47.
    memset(PawnTwist, 0, sizeof PawnTwist);
    memset(PawnFlap, 0, sizeof PawnFlap);
    int avail = 47;
    for (int f = 0; f < 4; f++)
        for (int r = 1; r <= 6; r++) {
            PawnTwist[r * 8 + f] = uint8_t(avail--);
            PawnTwist[r * 8 + (7 - f)] = uint8_t(avail--);
        }
    for (int sq = 8; sq < 56; sq++) {
        int f = sq & 7;
        if (f > 3) f = 7 - f;
        PawnFlap[sq] = uint8_t(f * 6 + (sq >> 3) - 1);
    }

    for (int t = 0; t < 5; t++)
        for (int f = 0; f < 4; f++) {
            uint64_t s = 0;
            for (int r = 1; r <= 6; r++) {
                TbPawnIdx[t][f * 6 + r - 1] = s;
                s += t == 0 ? 1 : TbBinomial[t - 1][PawnTwist[r * 8 + f]];
            }
            TbPawnFactor[t][f] = s;
        }

    // Below-diagonal squares b1..h7 in square order, then the diagonal.
    int code = 0;
    for (int sq = 0; sq < 64; sq++)
        if (OffDiag(sq) < 0) LowerIdx[sq] = uint8_t(code++);
    for (int sq = 0; sq < 64; sq++) {
        if (OffDiag(sq) == 0)
            LowerIdx[sq] = uint8_t(28 + (sq >> 3));
        else if (OffDiag(sq) > 0)
            LowerIdx[sq] = LowerIdx[FlipDiag(sq)];
    }

    // The triangle: b1 c1 d1 c2 d2 d3 get 0..5, the diagonal a1 b2 c3 d4 6..9;
    // every other square takes the value of its image in the triangle.
    static const int triangleSquares[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        if (f > 3) f = 7 - f;
        if (r > 3) r = 7 - r;
        if (r > f) {
            int x = r;
            r = f;
            f = x;
        }
        int canon = r * 8 + f;
        for (int i = 0; i < 10; i++)
            if (triangleSquares[i] == canon) Triangle[sq] = uint8_t(i);
    }

    // King pairs: the first king in the triangle, the second anywhere legal
    // (not above the diagonal when the first stands on it); pairs with both
    // kings on the diagonal are numbered last.
    int deferred[64][2];
    int nDeferred = 0;
    code = 0;
    for (int t = 0; t < 10; t++) {
        int s1 = triangleSquares[t];
        for (int s2 = 0; s2 < 64; s2++) {
            TbKkIdx[t][s2] = -1;
            int df = (s1 & 7) - (s2 & 7), dr = (s1 >> 3) - (s2 >> 3);
            if (df >= -1 && df <= 1 && dr >= -1 && dr <= 1) continue;
            if (OffDiag(s1) == 0 && OffDiag(s2) > 0) continue;
            if (OffDiag(s1) == 0 && OffDiag(s2) == 0) {
                deferred[nDeferred][0] = t;
                deferred[nDeferred++][1] = s2;
            } else
                TbKkIdx[t][s2] = int16_t(code++);
        }
    }
    for (int i = 0; i < nDeferred; i++) TbKkIdx[deferred[i][0]][deferred[i][1]] = int16_t(code++);
}

void TbFreePaths() {
    free(TbPathCopy);
    free(TbPaths);
    TbPathCopy = nullptr;
    TbPaths = nullptr;
    TbPathCount = 0;
}

void TbSetPaths(const char* path) {
    TbFreePaths();
    size_t len = strlen(path);
    TbPathCopy = static_cast<char*>(malloc(len + 1));
    TbPaths = static_cast<char**>(malloc(sizeof(char*) * (len / 2 + 2)));
    if (!TbPathCopy || !TbPaths) {
        TbFreePaths();
        return;
    }
    memcpy(TbPathCopy, path, len + 1);
    char* p = TbPathCopy;
    while (*p) {
        while (*p == ';' || *p == ':') *p++ = 0;
        if (!*p) break;
        TbPaths[TbPathCount++] = p;
        while (*p && *p != ';' && *p != ':') p++;
    }
}

int TbOpenFile(const char* name, const char* ext) {
    char file[260];
    for (int i = 0; i < TbPathCount; i++) {
        int n = snprintf(file, sizeof file, "%s/%s%s", TbPaths[i], name, ext);
        if (n < 0 || n >= int(sizeof file)) continue;
        int fd = open(file, O_RDONLY);
        if (fd >= 0) return fd;
    }
    return -1;
}

uint8_t* TbMapFile(const char* name, const char* ext, size_t* size, int* status, int* systemError) {
    *size = 0;
    *systemError = 0;
    *status = TB_MAP_MISSING;
    int fd = TbOpenFile(name, ext);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        *status = TB_MAP_SIZE_FAILED;
        close(fd);
        return nullptr;
    }
    // Anything shorter than the magic and the flags byte cannot be a table.
    if (st.st_size < 8) {
        *status = TB_MAP_TOO_SHORT;
        close(fd);
        return nullptr;
    }
    void* m = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    int err = errno;
    close(fd);
    if (m == MAP_FAILED) {
        *status = TB_MAP_FAILED;
        *systemError = err;
        return nullptr;
    }
    *size = size_t(st.st_size);
    *status = TB_MAP_OK;
    return static_cast<uint8_t*>(m);
}

void TbUnmapFile(uint8_t* map, size_t size) {
    if (map && munmap(map, size) != 0) fprintf(stderr, "unmap failed, error code %d\n", errno);
}

// Group lengths: the leading group, then (pawn tables) the other colour's
// pawns, then runs of equal piece codes.
static void SetNorm(const TbTable& t, TbSide& s) {
    memset(s.norm, 0, sizeof s.norm);
    int i;
    if (t.hasPawns) {
        s.norm[0] = uint8_t(t.pawns[0]);
        if (t.pawns[1]) s.norm[t.pawns[0]] = uint8_t(t.pawns[1]);
        i = t.pawns[0] + t.pawns[1];
    } else {
        s.norm[0] = uint8_t(t.encType == 0 ? 3 : 2);
        i = s.norm[0];
    }
    while (i < t.num) {
        int j = i;
        while (j < t.num && s.pieces[j] == s.pieces[i]) j++;
        s.norm[i] = uint8_t(j - i);
        i = j;
    }
}

// Factors of the groups: the groups follow one another in piece order, except
// that the leading group (and the second pawn group) sit at the positions the
// header names. Returns the table size, or 0 when the orders are impossible.
static uint64_t CalcFactors(const TbTable& t, TbSide& s, int order, int order2, int file) {
    int first = s.norm[0];
    if (t.hasPawns && order2 != 0x0F) first += s.norm[first];
    int groups = 1 + (t.hasPawns && order2 != 0x0F);
    for (int i = first; i < t.num; i += s.norm[i]) {
        if (s.norm[i] == 0) return 0;
        groups++;
    }
    if (order >= groups || (order2 != 0x0F && (order2 >= groups || order2 == order))) return 0;
    int i = first;
    int freeSq = 64 - first;
    uint64_t f = 1;
    for (int k = 0; k < groups; k++) {
        if (k == order) {
            s.factor[0] = f;
            if (t.hasPawns)
                f *= TbPawnFactor[s.norm[0] - 1][file];
            else
                f *= t.encType == 0 ? 31332 : 462;
        } else if (k == order2) {
            s.factor[s.norm[0]] = f;
            f *= Choose(48 - s.norm[0], s.norm[s.norm[0]]);
        } else {
            s.factor[i] = f;
            f *= Choose(freeSq, s.norm[i]);
            freeSq -= s.norm[i];
            i += s.norm[i];
        }
    }
    return f;
}

static int SymbolLength(PairsData* d, int sym, uint8_t* state) {
    if (state[sym] == 2) return 1;
    if (state[sym] == 1) return 0; // a cycle: the dictionary is damaged
    state[sym] = 1;
    const uint8_t* w = d->symPat + 3 * sym;
    int left = w[0] | ((w[1] & 0x0F) << 8);
    int right = (w[2] << 4) | (w[1] >> 4);
    if (right == 0xFFF) {
        d->symLen[sym] = 0;
    } else {
        if (left >= d->numSyms || right >= d->numSyms) return 0;
        if (!SymbolLength(d, left, state) || !SymbolLength(d, right, state)) return 0;
        int len = d->symLen[left] + d->symLen[right] + 1;
        if (len > 255) return 0;
        d->symLen[sym] = uint8_t(len);
    }
    state[sym] = 2;
    return 1;
}

// Reads one pairs header at *pp; on success *pp moves behind it.
static PairsData* SetupPairs(const uint8_t** pp, const uint8_t* end, uint64_t tbSize,
                             uint8_t* flags) {
    const uint8_t* p = *pp;
    if (end - p < 2) return nullptr;
    PairsData* d = static_cast<PairsData*>(calloc(1, sizeof(PairsData)));
    if (!d) return nullptr;
    d->fileEnd = end;
    *flags = p[0];
    if (p[0] & 0x80) {
        d->constValue = p[1];
        *pp = p + 2;
        return d;
    }
    d->constValue = -1;
    if (end - p < 12) goto bad;
    d->blockBits = p[1];
    d->idxBits = p[2];
    d->realBlocks = ReadLe32(p + 4);
    d->numBlocks = d->realBlocks + p[3];
    d->maxLen = p[8];
    d->minLen = p[9];
    if (d->minLen < 1 || d->maxLen > 32 || d->minLen > d->maxLen) goto bad;
    if (d->blockBits > 30 || d->idxBits < 1 || d->idxBits > 40) goto bad;
    {
        int h = d->maxLen - d->minLen + 1;
        if (end - p < 12 + 2 * h) goto bad;
        d->offsets = p + 10;
        d->numSyms = int(ReadLe16(p + 10 + 2 * h));
        d->symPat = p + 12 + 2 * h;
        if (d->numSyms < 1 || d->numSyms > 4096 || end - d->symPat < 3 * d->numSyms + 1) goto bad;
        d->base[h - 1] = 0;
        for (int i = h - 2; i >= 0; i--)
            d->base[i] = (d->base[i + 1] + ReadLe16(d->offsets + 2 * i) -
                          ReadLe16(d->offsets + 2 * (i + 1))) /
                         2;
        for (int i = 0; i < h; i++) d->base[i] <<= 64 - (d->minLen + i);
        uint8_t state[4096];
        memset(state, 0, sizeof state);
        for (int s = 0; s < d->numSyms; s++)
            if (!SymbolLength(d, s, state)) goto bad;
        d->numIndices = (tbSize + (uint64_t(1) << d->idxBits) - 1) >> d->idxBits;
        *pp = d->symPat + 3 * d->numSyms + (d->numSyms & 1);
    }
    return d;
bad:
    free(d);
    return nullptr;
}

static int CheckPieces(const TbTable& t, const TbSide& s) {
    int kings[2] = {0, 0};
    for (int i = 0; i < t.num; i++) {
        int c = s.pieces[i];
        if ((c & 7) == 0 || (c & 7) == 7) return 0;
        if ((c & 7) == 6) kings[c >> 3]++;
    }
    if (kings[0] != 1 || kings[1] != 1) return 0;
    if (t.hasPawns && (s.pieces[0] & 7) != 1) return 0;
    return 1;
}

int TbDecodeTable(TbTable& t, int isDtz) {
    const uint8_t* base = t.map;
    const uint8_t* end = t.map + t.mapSize;
    if (t.mapSize < 8 || t.num < 2 || t.num > TB_PIECES) return 0;
    if (ReadLe32(base) != (isDtz ? DTZ_MAGIC : WDL_MAGIC)) return 0;
    int flags = base[4];
    if (((flags >> 1) & 1) != t.hasPawns) return 0;
    t.files = t.hasPawns ? 4 : 1;
    t.sides = (!isDtz && (flags & 1)) ? 2 : 1;
    const uint8_t* p = base + 5;
    int pp = t.hasPawns && t.pawns[1] > 0;

    for (int f = 0; f < t.files; f++) {
        if (end - p < 2 + pp + t.num) return 0;
        int order[2] = {p[0] & 0x0F, p[0] >> 4};
        int order2[2] = {0x0F, 0x0F};
        if (pp) {
            order2[0] = p[1] & 0x0F;
            order2[1] = p[1] >> 4;
        }
        p += 1 + pp;
        for (int i = 0; i < t.num; i++) {
            t.side[f][0].pieces[i] = p[i] & 0x0F;
            t.side[f][1].pieces[i] = p[i] >> 4;
        }
        p += t.num;
        for (int s = 0; s < t.sides; s++) {
            TbSide& sd = t.side[f][s];
            if (!CheckPieces(t, sd)) return 0;
            SetNorm(t, sd);
            sd.size = CalcFactors(t, sd, order[s], order2[s], f);
            if (sd.size == 0) return 0;
        }
    }
    p += (p - base) & 1;

    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            uint8_t fl = 0;
            t.side[f][s].pairs = SetupPairs(&p, end, t.side[f][s].size, &fl);
            if (!t.side[f][s].pairs) return 0;
            if (isDtz) t.dtzFlags[f] = fl;
        }

    if (isDtz) {
        t.dtzMap = p;
        for (int f = 0; f < t.files; f++) {
            if (!(t.dtzFlags[f] & DTZ_FLAG_MAPPED)) continue;
            if (t.dtzFlags[f] & DTZ_FLAG_WIDE_MAP) {
                p += (p - base) & 1;
                for (int i = 0; i < 4; i++) {
                    if (end - p < 2) return 0;
                    t.mapIdx[f][i] = uint16_t((p - t.dtzMap) / 2 + 1);
                    p += 2 + 2 * ReadLe16(p);
                }
            } else {
                for (int i = 0; i < 4; i++) {
                    if (end - p < 1) return 0;
                    t.mapIdx[f][i] = uint16_t(p - t.dtzMap + 1);
                    p += 1 + *p;
                }
            }
        }
        p += (p - base) & 1;
        if (p > end) return 0;
        t.dtzMapSize = size_t(p - t.dtzMap);
    }

    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            PairsData* d = t.side[f][s].pairs;
            if (uint64_t(end - p) < 6 * d->numIndices) return 0;
            d->indexTable = p;
            p += 6 * d->numIndices;
        }
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            PairsData* d = t.side[f][s].pairs;
            if (uint64_t(end - p) < 2 * uint64_t(d->numBlocks)) return 0;
            d->sizeTable = p;
            p += 2 * uint64_t(d->numBlocks);
        }
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            PairsData* d = t.side[f][s].pairs;
            if (d->constValue >= 0) continue;
            size_t off = size_t(p - base);
            off = (off + 63) & ~size_t(63);
            if (off > t.mapSize) return 0;
            p = base + off;
            uint64_t bytes = uint64_t(d->realBlocks) << d->blockBits;
            if (uint64_t(end - p) < bytes) return 0;
            d->data = p;
            p += bytes;
        }
    return 1;
}

void TbFreeTable(TbTable& t) {
    for (int f = 0; f < 4; f++)
        for (int s = 0; s < 2; s++) {
            free(t.side[f][s].pairs);
            t.side[f][s].pairs = nullptr;
        }
    TbUnmapFile(t.map, t.mapSize);
    t.map = nullptr;
    t.mapSize = 0;
    t.dtzMap = nullptr;
    t.dtzMapSize = 0;
}

// Like pieces are indexed as a set: their squares in ascending order.
static void SortSquares(int* squares, int n) {
    for (int a = 0; a < n; a++)
        for (int b = a + 1; b < n; b++)
            if (squares[a] > squares[b]) {
                int x = squares[a];
                squares[a] = squares[b];
                squares[b] = x;
            }
}

// Adds the groups behind the leading ones: each group of like pieces is coded
// as a combination of the squares not taken by earlier groups.
static int EncodeGroups(const TbTable& t, const TbSide& s, int* pos, int i, uint64_t* idx) {
    while (i < t.num) {
        int len = s.norm[i];
        if (len < 1 || len > 5 || i + len > t.num) return 0;
        SortSquares(pos + i, len);
        uint64_t sum = 0;
        for (int m = i; m < i + len; m++) {
            int p = pos[m];
            int j = 0;
            for (int l = 0; l < i; l++) j += p > pos[l];
            if (p - j < 0 || p - j >= 64) return 0;
            sum += TbBinomial[m - i][p - j];
        }
        *idx += sum * s.factor[i];
        i += len;
    }
    return 1;
}

uint64_t TbEncodePiece(const TbTable& t, const TbSide& s, int* pos) {
    int n = t.num;
    if (pos[0] & 0x04)
        for (int i = 0; i < n; i++) pos[i] ^= 0x07;
    if (pos[0] & 0x20)
        for (int i = 0; i < n; i++) pos[i] ^= 0x38;
    int lead = t.encType == 0 ? 3 : 2;
    // The first leading piece off the diagonal decides the diagonal mirror.
    for (int i = 0; i < lead; i++) {
        if (!OffDiag(pos[i])) continue;
        if (OffDiag(pos[i]) > 0)
            for (int k = 0; k < n; k++) pos[k] = FlipDiag(pos[k]);
        break;
    }
    uint64_t idx;
    if (t.encType == 0) {
        int i = pos[1] > pos[0];
        int j = (pos[2] > pos[0]) + (pos[2] > pos[1]);
        if (OffDiag(pos[0]))
            idx = uint64_t(Triangle[pos[0]]) * 63 * 62 + uint64_t(pos[1] - i) * 62 + (pos[2] - j);
        else if (OffDiag(pos[1]))
            idx = 6 * 63 * 62 + uint64_t(pos[0] >> 3) * 28 * 62 + uint64_t(LowerIdx[pos[1]]) * 62 +
                  (pos[2] - j);
        else if (OffDiag(pos[2]))
            idx = 6 * 63 * 62 + 4 * 28 * 62 + uint64_t(pos[0] >> 3) * 7 * 28 +
                  uint64_t((pos[1] >> 3) - i) * 28 + LowerIdx[pos[2]];
        else
            idx = 6 * 63 * 62 + 4 * 28 * 62 + 4 * 7 * 28 + uint64_t(pos[0] >> 3) * 7 * 6 +
                  uint64_t((pos[1] >> 3) - i) * 6 + ((pos[2] >> 3) - j);
    } else {
        int k = TbKkIdx[Triangle[pos[0]]][pos[1]];
        if (k < 0) return ~uint64_t(0);
        idx = uint64_t(k);
    }
    idx *= s.factor[0];
    if (!EncodeGroups(t, s, pos, lead, &idx)) return ~uint64_t(0);
    return idx;
}

int TbPawnFile(int* pos, int leadCount) {
    for (int i = 1; i < leadCount; i++)
        if (PawnTwist[pos[i]] > PawnTwist[pos[0]]) {
            int x = pos[0];
            pos[0] = pos[i];
            pos[i] = x;
        }
    int f = pos[0] & 7;
    return f > 3 ? 7 - f : f;
}

uint64_t TbEncodePawn(const TbTable& t, const TbSide& s, int* pos) {
    int n = t.num;
    if (pos[0] & 0x04)
        for (int i = 0; i < n; i++) pos[i] ^= 0x07;
    int lead = s.norm[0];
    for (int i = 0; i < lead; i++)
        if (pos[i] < 8 || pos[i] >= 56) return ~uint64_t(0);
    // The other leading pawns in falling twist order.
    for (int i = 1; i < lead; i++)
        for (int j = i + 1; j < lead; j++)
            if (PawnTwist[pos[i]] < PawnTwist[pos[j]]) {
                int x = pos[i];
                pos[i] = pos[j];
                pos[j] = x;
            }
    int tt = lead - 1;
    uint64_t idx = TbPawnIdx[tt][PawnFlap[pos[0]]];
    for (int i = tt; i > 0; i--) idx += TbBinomial[tt - i][PawnTwist[pos[i]]];
    idx *= s.factor[0];

    int i = lead;
    if (t.pawns[1] > 0) {
        int len = s.norm[i];
        if (len < 1 || len > 5 || i + len > n) return ~uint64_t(0);
        SortSquares(pos + i, len);
        uint64_t sum = 0;
        for (int m = i; m < i + len; m++) {
            int p = pos[m];
            int j = 0;
            for (int k = 0; k < i; k++) j += p > pos[k];
            if (p - j - 8 < 0 || p - j - 8 >= 64) return ~uint64_t(0);
            sum += TbBinomial[m - i][p - j - 8];
        }
        idx += sum * s.factor[i];
        i += len;
    }
    if (!EncodeGroups(t, s, pos, i, &idx)) return ~uint64_t(0);
    return idx;
}

int TbDecompress(const PairsData* d, uint64_t idx) {
    if (d->constValue >= 0) return d->constValue;
    uint64_t k = idx >> d->idxBits;
    if (k >= d->numIndices) return -1;
    const uint8_t* e = d->indexTable + 6 * k;
    uint32_t block = ReadLe32(e);
    uint64_t span = uint64_t(1) << d->idxBits;
    int64_t lit = int64_t(idx & (span - 1)) - int64_t(span / 2) + int64_t(ReadLe16(e + 4));
    if (block >= d->numBlocks) return -1;
    while (lit < 0) {
        if (block == 0) return -1;
        block--;
        lit += int64_t(ReadLe16(d->sizeTable + 2 * block)) + 1;
    }
    while (lit > int64_t(ReadLe16(d->sizeTable + 2 * block))) {
        lit -= int64_t(ReadLe16(d->sizeTable + 2 * block)) + 1;
        block++;
        if (block >= d->numBlocks) return -1;
    }
    if (block >= d->realBlocks) return -1;

    const uint8_t* ptr = d->data + (uint64_t(block) << d->blockBits);
    if (d->fileEnd - ptr < 8) return -1;
    uint64_t buf = (uint64_t(ReadBe32(ptr)) << 32) | ReadBe32(ptr + 4);
    ptr += 8;
    int avail = 64;
    int sym;
    for (;;) {
        int l = 0;
        while (buf < d->base[l]) l++;
        sym = int(ReadLe16(d->offsets + 2 * l) + ((buf - d->base[l]) >> (64 - d->minLen - l)));
        if (sym >= d->numSyms) return -1;
        if (lit < int64_t(d->symLen[sym]) + 1) break;
        lit -= int64_t(d->symLen[sym]) + 1;
        int len = d->minLen + l;
        buf <<= len;
        avail -= len;
        if (avail <= 32) {
            if (d->fileEnd - ptr < 4) return -1;
            avail += 32;
            buf |= uint64_t(ReadBe32(ptr)) << (64 - avail);
            ptr += 4;
        }
    }
    // Walk down the pair dictionary to the value at position lit.
    while (d->symLen[sym]) {
        const uint8_t* w = d->symPat + 3 * sym;
        int left = w[0] | ((w[1] & 0x0F) << 8);
        if (lit < int64_t(d->symLen[left]) + 1) {
            sym = left;
        } else {
            lit -= int64_t(d->symLen[left]) + 1;
            sym = (w[2] << 4) | (w[1] >> 4);
        }
    }
    const uint8_t* w = d->symPat + 3 * sym;
    return w[0] | ((w[1] & 0x0F) << 8);
}
