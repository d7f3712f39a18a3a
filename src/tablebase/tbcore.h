// Syzygy table files: the directory list, mapping of whole files, decoding of
// the file headers, the position index of a table and the decompression of one
// stored value.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int TBMAX_PIECE = 254;
constexpr int TBMAX_PAWN = 256;
constexpr int HSHMAX = 5;
constexpr int TBHASHBITS = 10;
// Most pieces (kings included) of a table the names can describe.
constexpr int TB_PIECES = 6;

constexpr uint32_t WDL_MAGIC = 0x5D23E871u;
constexpr uint32_t DTZ_MAGIC = 0xA50C66D7u;

// DTZ flag bits of a sub-table's header byte.
constexpr int DTZ_FLAG_STM = 1;        // the side to move the table was stored for
constexpr int DTZ_FLAG_MAPPED = 2;     // values go through the value map
constexpr int DTZ_FLAG_WIN_PLIES = 4;  // wins stored in plies, not moves
constexpr int DTZ_FLAG_LOSS_PLIES = 8; // losses stored in plies, not moves
constexpr int DTZ_FLAG_WIDE_MAP = 16;  // value map of 16-bit entries

// Decoding data of one compressed sub-table.
struct PairsData {
    const uint8_t* indexTable; // sparse index: u32 block, u16 offset
    const uint8_t* sizeTable;  // u16 per block: values in the block minus one
    const uint8_t* data;       // compressed blocks
    const uint8_t* symPat;     // pair dictionary, 3 bytes per symbol
    const uint8_t* offsets;    // u16 lowest symbol per code length
    const uint8_t* fileEnd;    // reads never pass this
    uint64_t numIndices;
    uint32_t numBlocks;  // entries of the size table
    uint32_t realBlocks; // blocks present in the data
    int blockBits;
    int idxBits;
    int minLen, maxLen;
    int numSyms;
    int constValue; // the value of a single-valued sub-table, else -1
    uint64_t base[33];
    uint8_t symLen[4096]; // values a symbol expands to, minus one
};

// Piece order, index normalisation and factors of one (file, side to move).
struct TbSide {
    uint8_t pieces[TB_PIECES]; // piece codes in the table's order
    uint8_t norm[TB_PIECES];   // group length at a group's first piece, else 0
    uint64_t factor[TB_PIECES];
    uint64_t size; // number of indices
    PairsData* pairs;
};

// One mapped and decoded file (a WDL table, or a DTZ table of the cache).
struct TbTable {
    uint8_t* map;
    size_t mapSize;
    int num;
    int hasPawns;
    int symmetric;
    int encType;  // piece tables: 0 = three unique leaders, 2 = the king pair leads
    int pawns[2]; // pawn tables: leading colour's pawns, other colour's pawns
    int files;    // 1, or 4 with pawns
    int sides;    // sub-tables per file
    TbSide side[4][2];
    // DTZ only
    uint8_t dtzFlags[4];
    uint16_t mapIdx[4][4];
    const uint8_t* dtzMap;
    size_t dtzMapSize;
};

// A registered material combination.
struct TbEntry {
    uint64_t key;  // material key with the file's first side as white
    uint64_t key2; // the same with colours swapped
    char name[16]; // file name without extension, e.g. "KRPvKR"
    int num;
    uint8_t symmetric;
    uint8_t hasPawns;
    int encType;
    int pawns[2];
    std::atomic<uint8_t> ready;
    uint8_t reported; // a load failure was already reported
    TbTable table;
};

struct TbHashEntry {
    uint64_t key;
    TbEntry* ptr;
};

// The directory list of the current path.
extern char* TbPathCopy;
extern char** TbPaths;
extern int TbPathCount;

// Registered entry of a material key (either colour order), or nullptr.
TbEntry* TbFindEntry(uint64_t key);
// Hash slots in use (a table that is not its own mirror takes two).
int TbHashSlotsUsed();

// binomial row k, column n = C(n, k + 1).
extern uint64_t TbBinomial[5][64];
extern uint64_t TbPawnIdx[5][24];
extern uint64_t TbPawnFactor[5][4];
extern int16_t TbKkIdx[10][64];

void TbBuildCombinatorics();
// Splits the path into directories at ';' or ':' (empty pieces skipped).
void TbSetPaths(const char* path);
void TbFreePaths();

// File descriptor of the first directory's name+ext that opens, or -1.
int TbOpenFile(const char* name, const char* ext);
// Outcome of TbMapFile.
constexpr int TB_MAP_OK = 0;
constexpr int TB_MAP_MISSING = 1;     // no directory holds the file
constexpr int TB_MAP_TOO_SHORT = 2;   // too short to hold a header
constexpr int TB_MAP_SIZE_FAILED = 3; // its size could not be read
constexpr int TB_MAP_FAILED = 4;      // the system refused the mapping (*systemError)
uint8_t* TbMapFile(const char* name, const char* ext, size_t* size, int* status, int* systemError);
void TbUnmapFile(uint8_t* map, size_t size);

// Decodes the headers of a mapped file into t (t.num, hasPawns, symmetric,
// encType and pawns set by the caller). 1 when the file is consistent.
int TbDecodeTable(TbTable& t, int isDtz);
// Frees the decoding data and unmaps the file.
void TbFreeTable(TbTable& t);

// Index of the piece squares pos[] (in the side's piece order) of a table
// without pawns; pos[] is changed.
uint64_t TbEncodePiece(const TbTable& t, const TbSide& s, int* pos);
// Chooses the leading pawn among the first leadCount squares, moves it to
// pos[0] and returns the file sub-table (0..3).
int TbPawnFile(int* pos, int leadCount);
// Index of the squares of a pawn table; pos[] is changed.
uint64_t TbEncodePawn(const TbTable& t, const TbSide& s, int* pos);
// Value stored at index idx, or -1 when the data are inconsistent.
int TbDecompress(const PairsData* d, uint64_t idx);
