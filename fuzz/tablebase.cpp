// Damaged Syzygy tables. At start-up the harness reads a few small real
// tables from the shared test material ($VESK_DATA/syzygy, else
// ../shared/data/syzygy beside the repository; without them it prints
// "SKIPPED" and exits with code 0) and writes copies into its scratch
// directory. The input is a list of damages, five bytes each (at most 64):
//
//   byte 0     bits 0-4: file (modulo 20): 2 * (index in MATERIALS), plus 1
//                        for the DTZ file (.rtbz) instead of the WDL file
//              bits 5-6: 0 xor the byte at the offset with the value,
//                        1 set the byte at the offset to the value,
//                        2 cut the file at the offset,
//                        3 xor the byte that lies offset bytes before the end
//   bytes 1-3  offset, little-endian, taken modulo the file size (plus one
//              for a cut)
//   byte 4     value
//
// The damaged copies are written (the copies damaged by the previous input
// are restored first), the tablebases are initialised on the directory and
// WDL and DTZ probes run on fixed positions of every material, the engine's
// root probe on every fourth; then the tablebases are closed. A probe may
// fail, but must not crash, return a value out of range or choose an
// illegal root move; an input without damage must reproduce the results of
// the intact tables.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "board/movegen.h"
#include "board/notation.h"
#include "fuzz_support.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "tablebase/tbprobe.h"

namespace {

// Materials probed, and the smaller tables their captures lead to.
const char* const MATERIALS[] = {"KQvK",  "KRvK",  "KPvK",  "KRvKR", "KBvKN",
                                 "KPPvK", "KRvKB", "KQvKQ", "KBvK",  "KNvK"};
constexpr int MATERIAL_COUNT = int(sizeof MATERIALS / sizeof MATERIALS[0]);
constexpr int FILE_COUNT = 2 * MATERIAL_COUNT;
constexpr int POSITIONS_PER_MATERIAL = 4;
constexpr size_t RECORD_BYTES = 5;
constexpr size_t MAX_RECORDS = 64;
constexpr size_t ROOT_EVERY = 4;

struct TableFile {
    std::string name;
    std::vector<uint8_t> intact;
    bool dirty;
};

struct ProbeResult {
    int wdl, wdlOk, dtz, dtzOk;
    int rootWdl, rootDtz;
    Move rootMove;
};

std::vector<TableFile> files;
std::string tableDir;
std::vector<std::string> fens;
std::vector<ProbeResult> reference;
SearchThread* context = nullptr;

std::string SourceDir() { return TestDataDir() + "/syzygy"; }

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

uint32_t rng = 2463534242u;
int Random(int n) {
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return int(rng % uint32_t(n));
}

// A random placement of the material; the engine's FEN reader decides
// whether it is a position (kings apart, side not to move not in check).
std::string RandomFen(const char* material, bool whiteToMove) {
    char board[64] = {0};
    RandomPlacement(material, board, Random);
    return PlacementFen(board, whiteToMove);
}

void WriteTable(const TableFile& f, const std::vector<uint8_t>& bytes) {
    std::string path = tableDir + "/" + f.name;
    // A fresh file, so that no old mapping can see the new contents.
    remove(path.c_str());
    FuzzWriteFile(path, bytes.data(), bytes.size());
}

// Root probes (a DTZ probe per legal move) run on every ROOT_EVERY-th position only.
ProbeResult ProbeAll(const std::string& fen, bool root) {
    Position& p = context->pos;
    if (!SetFromFen(p, fen.c_str())) FuzzFail("fixed position refused: %s", fen.c_str());
    context->ply = 1;
    context->stack[1].listStart = context->moves;
    TbPos tp;
    TbPosFromPosition(p, 0, &tp);
    ProbeResult r = {};
    r.wdl = ProbeWdl(tp, &r.wdlOk);
    if (r.wdlOk) FUZZ_CHECK(r.wdl >= -2 && r.wdl <= 2, "WDL %d in %s", r.wdl, fen.c_str());
    r.dtz = ProbeDtz(tp, &r.dtzOk);
    r.rootWdl = -1;
    if (!root) return r;
    // The engine's root probe: the prober's choice among the legal moves,
    // turned into an engine move, and the moves that keep the outcome.
    if (TbProbeRoot(p, &r.rootWdl, &r.rootDtz, &r.rootMove) >= 0) {
        FUZZ_CHECK(r.rootWdl >= 0 && r.rootWdl <= 4, "root WDL %d in %s", r.rootWdl, fen.c_str());
        FUZZ_CHECK(r.rootMove ? IsLegalMove(p, r.rootMove) : !HasLegalMove(p),
                   "root move %04x is illegal in %s", r.rootMove, fen.c_str());
    }
    for (int i = 0; i < 256 && TbRootMoves[i]; i++)
        FUZZ_CHECK(IsLegalMove(p, TbRootMoves[i]), "kept root move %04x is illegal in %s",
                   TbRootMoves[i], fen.c_str());
    return r;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzStartEngine();
    context = NewSearchThread();
    std::string source = SourceDir();
    for (const char* m : MATERIALS) {
        for (const char* ext : {".rtbw", ".rtbz"}) {
            TableFile f = {std::string(m) + ext, {}, false};
            if (!ReadWhole(source + "/" + f.name, f.intact)) {
                fprintf(stderr,
                        "fuzz_tablebase: SKIPPED: %s/%s not found; the shared Syzygy tables are "
                        "needed (set VESK_DATA to the shared data directory)\n",
                        source.c_str(), f.name.c_str());
                exit(0);
            }
            files.push_back(std::move(f));
        }
    }
    tableDir = FuzzScratchDir() + "/syzygy";
    mkdir(tableDir.c_str(), 0700);
    for (const TableFile& f : files) WriteTable(f, f.intact);
    for (const char* m : MATERIALS)
        for (int n = 0, tries = 0; n < POSITIONS_PER_MATERIAL && tries < 1000; tries++) {
            std::string fen = RandomFen(m, n % 2 == 0);
            Position probe = context->pos;
            if (!SetFromFen(probe, fen.c_str())) continue;
            fens.push_back(fen);
            n++;
        }
    TbInit(tableDir.c_str());
    for (size_t i = 0; i < fens.size(); i++)
        reference.push_back(ProbeAll(fens[i], i % ROOT_EVERY == 0));
    TbInit("");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzResetEngine();
    std::vector<std::vector<uint8_t>> damaged(files.size());
    std::vector<bool> touched(files.size(), false);
    size_t records = size / RECORD_BYTES;
    if (records > MAX_RECORDS) records = MAX_RECORDS;
    for (size_t i = 0; i < records; i++) {
        const uint8_t* r = data + i * RECORD_BYTES;
        int index = (r[0] & 31) % FILE_COUNT;
        int op = (r[0] >> 5) & 3;
        uint32_t offset = r[1] | uint32_t(r[2]) << 8 | uint32_t(r[3]) << 16;
        if (!touched[index]) damaged[index] = files[index].intact;
        touched[index] = true;
        std::vector<uint8_t>& bytes = damaged[index];
        if (op == 2) {
            bytes.resize(offset % (bytes.size() + 1));
        } else if (!bytes.empty()) {
            size_t at = offset % bytes.size();
            if (op == 3) at = bytes.size() - 1 - at;
            bytes[at] = op == 1 ? r[4] : uint8_t(bytes[at] ^ r[4]);
        }
    }
    for (size_t i = 0; i < files.size(); i++) {
        if (touched[i])
            WriteTable(files[i], damaged[i]);
        else if (files[i].dirty)
            WriteTable(files[i], files[i].intact);
        files[i].dirty = touched[i];
    }
    TbInit(tableDir.c_str());
    for (size_t i = 0; i < fens.size(); i++) {
        ProbeResult r = ProbeAll(fens[i], i % ROOT_EVERY == 0);
        if (records) continue;
        const ProbeResult& e = reference[i];
        FUZZ_CHECK(r.wdl == e.wdl && r.wdlOk == e.wdlOk && r.dtz == e.dtz && r.dtzOk == e.dtzOk &&
                       r.rootWdl == e.rootWdl && r.rootDtz == e.rootDtz && r.rootMove == e.rootMove,
                   "intact tables probe differently in %s", fens[i].c_str());
    }
    TbInit("");
    return 0;
}
