#include "eval/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/evaluate.h"
#include "shell/engine.h"
#include "shell/output.h"

EngineSettings settings;
EngineSettings settingsBackup;
uint8_t buildPst = 1;
uint8_t MinFile[256];
uint8_t MaxFile[256];
uint8_t FileCount[256];
ParamEntry paramTable[MAX_PARAMS];
int paramCount = 0;

namespace {

constexpr int16_t MISSING = -1000;
bool paramsRegistered = false;

// Nearest integer, halves away from zero.
int Nint(double x) { return int(std::lround(x)); }

void SetPair(int16_t& op, int16_t& en, int a, int b) {
    op = int16_t(a);
    en = int16_t(b);
}

void ComputePsts() {
    static const int C[8] = {-5, -2, 0, 1, 1, 0, -2, -5};
    static const int KF[8] = {1, 1, 0, -1, -1, 0, 1, 1};
    static const int KR[8] = {0, -1, -2, -3, -4, -4, -4, -4};
    static const int PR[8] = {0, 0, 1, 2, 4, 6, 6, 0};
    static const int PawnShape[8][8] = {{0, 0, 0, 0, 0, 0, 0, 0},   {-1, 0, 0, -1, -1, 0, 0, -1},
                                        {-1, 0, 0, 1, 1, 0, 0, -1}, {-1, 0, 1, 2, 2, 1, 0, -1},
                                        {0, 1, 2, 2, 2, 2, 1, 0},   {0, 1, 2, 2, 2, 2, 1, 0},
                                        {0, 1, 1, 1, 1, 1, 1, 0},   {0, 0, 0, 0, 0, 0, 0, 0}};
    EngineSettings& s = settings;
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        int c = C[r] + C[f];
        int k = KF[f] + KR[r];
        s.pst[0][sq] = {0, 0};
        s.pst[1][sq] = {int16_t(PawnShape[r][f] * s.PST_P_op / 8), int16_t(PR[r] * s.PST_P_en / 8)};
        s.pst[2][sq] = {int16_t(s.PST_N_op * c / 6), int16_t(s.PST_N_en * c / 6)};
        s.pst[3][sq] = {int16_t(s.PST_B_op * c / 6), int16_t(s.PST_B_en * c / 6)};
        s.pst[4][sq] = {int16_t(C[f] * s.PST_R_op / 12), int16_t(s.PST_R_en * c / 12)};
        s.pst[5][sq] = {int16_t(s.PST_Q_op * c / 12 - (r >= 4 ? 4 : 0)),
                        int16_t(s.PST_Q_en * c / 12)};
        s.pst[6][sq] = {int16_t(2 * k * s.PST_K_op / 12), int16_t(c * s.PST_K_en / 12)};
    }
}

// Mobility curve for n of total reachable squares, scaled to one parameter.
void BuildMobility(ScorePair* table, int total, double c0, double factor, int op, int en) {
    for (int n = 0; n <= total; n++) {
        double g = (1.0 - std::exp(-1.4 * n / total)) * 1.3273108179013147 - c0;
        g *= factor;
        table[n] = {int16_t(Nint(op * g)), int16_t(Nint(en * g))};
    }
}

// Keys of the settings file that set one or two parameters.
struct KeyPair {
    const char* key;
    int16_t* a; // first number
    int16_t* b; // second number, or nullptr
};

const KeyPair* KeyTable() {
    EngineSettings& s = settings;
    static const KeyPair table[] = {
        {"NMP_depth", &s.NMP_depth, nullptr},
        {"SEP_depth", &s.SEP_depth, nullptr},
        {"SEP_margin", &s.SEP_margin, nullptr},
        {"FP_depth", &s.FP_depth, nullptr},
        {"FP_margin", &s.FP_margin, nullptr},
        {"LMP_depth", &s.LMP_depth, nullptr},
        {"LMP_count", &s.LMP_count, nullptr},
        {"LMR_depth", &s.LMR_depth, nullptr},
        {"LMR_strength", &s.LMR_strength, nullptr},
        {"draw_score", &s.draw_score, nullptr},
        {"pawn_value", &s.pawn_value_op, &s.pawn_value_en},
        {"knight_value", &s.knight_value_op, &s.knight_value_en},
        {"bishop_value", &s.bishop_value_op, &s.bishop_value_en},
        {"rook_value", &s.rook_value_op, &s.rook_value_en},
        {"queen_value", &s.queen_value_op, &s.queen_value_en},
        {"bishop_pair", &s.bishop_pair_op, &s.bishop_pair_en},
        {"knight_mobility", &s.knight_mobility_op, &s.knight_mobility_en},
        {"bishop_mobility", &s.bishop_mobility_op, &s.bishop_mobility_en},
        {"rook_mobility", &s.rook_mobility_op, &s.rook_mobility_en},
        {"queen_mobility", &s.queen_mobility_op, &s.queen_mobility_en},
        {"passed_pawn_rank2", &s.ppawn_r2, nullptr},
        {"passed_pawn_rank3", &s.ppawn_r3, nullptr},
        {"passed_pawn_rank4", &s.ppawn_r4, nullptr},
        {"passed_pawn_rank5", &s.ppawn_r5, nullptr},
        {"passed_pawn_rank6", &s.ppawn_r6, nullptr},
        {"passed_pawn_rank7", &s.ppawn_r7, nullptr},
        {"pawn_candidate", &s.pawn_candidate_op, &s.pawn_candidate},
        {"pawn_doubled", &s.pawn_doubled_op, &s.pawn_doubled_en},
        {"pawn_backward", &s.pawn_backward_op, &s.pawn_backward_en},
        {"pawn_isolated", &s.pawn_isolated_op, &s.pawn_isolated_en},
        {"pawn_weak", &s.pawn_weak_op, &s.pawn_weak_en},
        {"knight_outpost", &s.knight_outpost, &s.knight_outpost_en},
        {"rook_open_file", &s.rook_open_file_op, &s.rook_open_file_en},
        {"rook_half_open_file", &s.rook_half_open_file_op, &s.rook_half_open_file_en},
        {"rook_rank7", &s.rook_rank7_op, &s.rook_rank7_en},
        {"rook_trapped", &s.rook_trapped, &s.rook_trapped_en},
        {"queen_rank7", &s.queen_rank7_op, &s.queen_rank7_en},
        {"king_safety", &s.king_safety, &s.king_safety_en},
        {"pawn_shield", &s.pawn_shield, &s.pawn_shield_en},
        {"pawn_storm", &s.pawn_storm, &s.pawn_storm_en},
        {"hung", &s.hung_op, &s.hung_en},
        {"pinned", &s.pinned_op, &s.pinned_en},
        {"tune", &s.tune, nullptr},
        {nullptr, nullptr, nullptr}};
    return table;
}

// PST block keys: piece type and phase (0 op, 1 en).
struct PstKey {
    const char* key;
    int piece;
    int phase;
};
const PstKey PstKeys[] = {{"PST_pawn_op", 1, 0},   {"PST_pawn_en", 1, 1},   {"PST_knight_op", 2, 0},
                          {"PST_knight_en", 2, 1}, {"PST_bishop_op", 3, 0}, {"PST_bishop_en", 3, 1},
                          {"PST_rook_op", 4, 0},   {"PST_rook_en", 4, 1},   {"PST_queen_op", 5, 0},
                          {"PST_queen_en", 5, 1},  {"PST_king_op", 6, 0},   {"PST_king_en", 6, 1}};

void StripLineEnd(char* line) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
}

// First token after the word at `at`, skipping one character, delimited by
// blanks and double quotes; copied into out (cut to `limit` characters).
void PathAfter(const char* line, const char* word, char* out, size_t limit) {
    const char* p = strstr(line, word) + strlen(word);
    if (*p) p++;
    while (*p == ' ' || *p == '"' || *p == '\t') p++;
    size_t n = 0;
    while (p[n] && p[n] != ' ' && p[n] != '"' && p[n] != '\t' && n < limit) n++;
    memcpy(out, p, n);
    out[n] = 0;
}

// Eight lines, rank 8 first, of up to eight integers each.
void ReadPstBlock(FILE* f, int piece, int phase) {
    char line[256];
    for (int rank = 7; rank >= 0; rank--) {
        if (!fgets(line, sizeof line, f)) return;
        const char* p = line;
        for (int file = 0; file < 8; file++) {
            while (*p == ' ' || *p == '\t' || *p == ',') p++;
            char* end;
            long v = strtol(p, &end, 10);
            if (end == p) break;
            p = end;
            ScorePair& e = settings.pst[piece][rank * 8 + file];
            (phase == 0 ? e.op : e.en) = int16_t(v);
        }
    }
}

void ApplySetting(char* line, FILE* f) {
    char* tokens[10];
    int count = 0;
    for (char* tok = strtok(line, " \t"); tok && count < 10; tok = strtok(nullptr, " \t"))
        tokens[count++] = tok;
    if (count == 0) return;
    const char* key = tokens[0];
    int a = count > 1 ? atoi(tokens[1]) : 0;
    int b = count > 2 ? atoi(tokens[2]) : 0;

    if (!strcmp(key, "BookVariety")) {
        options.bookVariety = uint16_t(a);
    } else if (!strcmp(key, "BookDepth")) {
        options.bookDepth = uint8_t(a);
    } else if (!strcmp(key, "SyzygyProbeDepth5")) {
        options.probeDepth5 = uint16_t(a);
    } else if (!strcmp(key, "SyzygyProbeDepth6")) {
        options.probeDepth6 = uint16_t(a);
    } else {
        for (const KeyPair* k = KeyTable(); k->key; k++) {
            if (strcmp(key, k->key)) continue;
            *k->a = int16_t(a);
            if (k->b) *k->b = int16_t(b);
            return;
        }
        for (const PstKey& k : PstKeys)
            if (!strcmp(key, k.key)) ReadPstBlock(f, k.piece, k.phase);
    }
}

} // namespace

void SetDefaultSettings() {
    EngineSettings& s = settings;
    memset(&s, 0, sizeof s);
    s.draw_score = 0;
    s.SEP_depth = 3;
    s.NMP_depth = 3;
    s.FP_depth = 3;
    s.LMP_depth = 4;
    s.LMR_depth = 3;
    s.LMP_count = 3;
    s.LMR_strength = 100;
    s.SEP_margin = 75;
    s.FP_margin = 150;

    SetPair(s.pawn_value_op, s.pawn_value_en, 90, 110);
    SetPair(s.knight_value_op, s.knight_value_en, 380, 360);
    SetPair(s.bishop_value_op, s.bishop_value_en, 390, 370);
    SetPair(s.rook_value_op, s.rook_value_en, 530, 650);
    SetPair(s.queen_value_op, s.queen_value_en, 1150, 1190);
    SetPair(s.bishop_pair_op, s.bishop_pair_en, 30, 50);
    SetPair(s.ppawn_r2, s.ppawn_r3, 7, 7);
    SetPair(s.ppawn_r4, s.ppawn_r5, 18, 38);
    SetPair(s.ppawn_r6, s.ppawn_r7, 78, 138);
    SetPair(s.pawn_candidate_op, s.pawn_candidate, 0, 48);
    SetPair(s.pawn_isolated_op, s.pawn_isolated_en, -8, -8);
    SetPair(s.pawn_backward_op, s.pawn_backward_en, -4, -4);
    SetPair(s.pawn_doubled_op, s.pawn_doubled_en, -5, -5);
    SetPair(s.pawn_weak_op, s.pawn_weak_en, -8, -4);
    SetPair(s.knight_mobility_op, s.knight_mobility_en, 44, 56);
    SetPair(s.knight_outpost, s.knight_outpost_en, 16, 0);
    SetPair(s.bishop_mobility_op, s.bishop_mobility_en, 40, 54);
    SetPair(s.rook_mobility_op, s.rook_mobility_en, 40, 54);
    SetPair(s.rook_open_file_op, s.rook_open_file_en, 14, 7);
    SetPair(s.rook_half_open_file_op, s.rook_half_open_file_en, 7, 7);
    SetPair(s.rook_rank7_op, s.rook_rank7_en, 16, 16);
    SetPair(s.rook_trapped, s.rook_trapped_en, -25, 0);
    SetPair(s.queen_mobility_op, s.queen_mobility_en, 40, 90);
    SetPair(s.queen_rank7_op, s.queen_rank7_en, 0, 14);
    SetPair(s.pawn_shield, s.pawn_shield_en, 6, 0);
    SetPair(s.pawn_storm, s.pawn_storm_en, -12, 0);
    SetPair(s.king_safety, s.king_safety_en, 100, 0);
    SetPair(s.hung_op, s.hung_en, -16, -24);
    SetPair(s.pinned_op, s.pinned_en, -16, -24);
    SetPair(s.PST_P_op, s.PST_P_en, 40, 10);
    SetPair(s.PST_N_op, s.PST_N_en, 44, 44);
    SetPair(s.PST_B_op, s.PST_B_en, 12, 12);
    SetPair(s.PST_R_op, s.PST_R_en, 14, 0);
    SetPair(s.PST_Q_op, s.PST_Q_en, 12, 20);
    SetPair(s.PST_K_op, s.PST_K_en, 42, 58);
    s.tune = 256;
    buildPst = 1;
    // Derived tables are usable before the first explicit rebuild.
    RebuildTables();
}

int LoadSettings(const char* path) {
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    for (int piece = 0; piece < 7; piece++)
        for (int sq = 0; sq < 64; sq++) settings.pst[piece][sq] = {MISSING, MISSING};

    char line[256];
    while (fgets(line, sizeof line, f)) {
        if (line[0] == 0 || line[0] == '#' || line[0] == '\n') continue;
        StripLineEnd(line);
        for (char* c = line; *c; c++)
            if (*c == '=' || *c == ',') *c = ' ';
        if (strstr(line, "SyzygyPath")) {
            PathAfter(line, "SyzygyPath", options.syzygyPath, 129);
        } else if (strstr(line, "VeskBook")) {
            PathAfter(line, "VeskBook", options.bookFile, 139);
        } else {
            ApplySetting(line, f);
        }
    }
    fclose(f);
    PrintRemarkF("loaded parameters from %s\n", path);

    for (int piece = 1; piece <= 6; piece++)
        for (int sq = 0; sq < 64; sq++)
            if (settings.pst[piece][sq].op == MISSING || settings.pst[piece][sq].en == MISSING) {
                PrintRemark("file vesk.rc contains invalid PST");
                return 0;
            }
    buildPst = 0;
    return 1;
}

void ReadSettingsFile(const char* name) { LoadSettings(name); }

void SaveSettingsBackup() {
    // A file with incomplete tables leaves markers behind; the computed
    // tables are what the engine will use, so back those up instead.
    if (buildPst) ComputePsts();
    settingsBackup = settings;
    for (int sq = 0; sq < 64; sq++) settings.pst_values[sq] = settings.pst[6][sq].op;
}

void RestoreSettingsBackup() { settings = settingsBackup; }

void RebuildTables() {
    InitEvalMasks();
    EngineSettings& s = settings;
    if (buildPst) ComputePsts();

    const int16_t pp[8] = {0,          s.ppawn_r2, s.ppawn_r3, s.ppawn_r4,
                           s.ppawn_r5, s.ppawn_r6, s.ppawn_r7, 250};
    for (int i = 0; i < 8; i++) s.ppawn[i] = pp[i];
    s.ppawnx[0] = 0;
    s.ppawnx[1] = s.ppawnx[2] = int16_t(Nint(0.6 * (s.ppawn_r4 - s.ppawn_r3)));
    s.ppawnx[3] = int16_t(Nint(0.6 * (s.ppawn_r5 - s.ppawn_r4)));
    s.ppawnx[4] = int16_t(Nint(0.6 * (s.ppawn_r6 - s.ppawn_r5)));
    s.ppawnx[5] = int16_t(Nint(0.6 * (s.ppawn_r7 - s.ppawn_r6)));
    s.ppawnx[6] = int16_t(Nint(0.6 * (250 - s.ppawn_r7)));
    s.ppawnx[7] = 0;
    static const int16_t connected[8] = {0, 0, 0, 5, 18, 32, 32, 0};
    for (int i = 0; i < 8; i++) s.connectedByRank[i] = connected[i];

    BuildMobility(s.knightMobility, 8, 0.5421329833896871, 1.0, s.knight_mobility_op,
                  s.knight_mobility_en);
    BuildMobility(s.bishopMobility, 14, 0.3440147794920671, 1.0, s.bishop_mobility_op,
                  s.bishop_mobility_en);
    BuildMobility(s.rookMobility, 14, 0.3440147794920671, 0.83, s.rook_mobility_op,
                  s.rook_mobility_en);
    BuildMobility(s.queenMobility, 28, 0.32986687739529086, 1.0, s.queen_mobility_op,
                  s.queen_mobility_en);

    double scale = s.king_safety * 0.01;
    for (int i = 0; i < 64; i++) s.kingDanger[i] = 0;
    for (int i = 1; i < 32; i++) {
        int cap = s.kingDanger[i - 1] + 44 - i;
        int curve = i <= 5 ? 0 : std::max(Nint(1.8 * scale * std::pow(double(i - 5), 1.9)), 0);
        s.kingDanger[i] = int16_t(std::min(cap, curve));
    }

    for (int m = 0; m < 256; m++) {
        int lo = 8, hi = 255, n = 0;
        for (int f = 0; f < 8; f++) {
            if (!(m & (1 << f))) continue;
            if (lo == 8) lo = f;
            hi = f;
            n++;
        }
        MinFile[m] = uint8_t(lo);
        MaxFile[m] = uint8_t(hi);
        FileCount[m] = uint8_t(n);
    }
}

void RegisterParameter(const char* name, int16_t* value) {
    if (paramCount >= MAX_PARAMS) return;
    ParamEntry& e = paramTable[paramCount++];
    snprintf(e.name, sizeof e.name, "%s", name);
    e.value = value;
    e.start = *value;
    e.result = 0.0;
    e.selected = 0;
}

void RegisterParameters() {
    if (paramsRegistered) return;
    paramsRegistered = true;
    EngineSettings& s = settings;
#define REG(field) RegisterParameter(#field, &s.field)
    REG(pawn_value_op);
    REG(pawn_value_en);
    REG(knight_value_op);
    REG(knight_value_en);
    REG(bishop_value_op);
    REG(bishop_value_en);
    REG(rook_value_op);
    REG(rook_value_en);
    REG(queen_value_op);
    REG(queen_value_en);
    REG(bishop_pair_op);
    REG(bishop_pair_en);
    REG(knight_mobility_op);
    REG(knight_mobility_en);
    REG(bishop_mobility_op);
    REG(bishop_mobility_en);
    REG(rook_mobility_op);
    REG(rook_mobility_en);
    REG(queen_mobility_op);
    REG(queen_mobility_en);
    REG(ppawn_r2);
    REG(ppawn_r3);
    REG(ppawn_r4);
    REG(ppawn_r5);
    REG(ppawn_r6);
    REG(ppawn_r7);
    REG(pawn_candidate);
    REG(pawn_doubled_op);
    REG(pawn_doubled_en);
    REG(pawn_backward_op);
    REG(pawn_backward_en);
    REG(pawn_isolated_op);
    REG(pawn_isolated_en);
    REG(pawn_weak_op);
    REG(pawn_weak_en);
    REG(knight_outpost);
    REG(rook_open_file_op);
    REG(rook_open_file_en);
    REG(rook_half_open_file_op);
    REG(rook_half_open_file_en);
    REG(rook_rank7_op);
    REG(rook_rank7_en);
    REG(rook_trapped);
    REG(queen_rank7_op);
    REG(queen_rank7_en);
    REG(king_safety);
    REG(pawn_shield);
    REG(pawn_storm);
    REG(hung_op);
    REG(hung_en);
    REG(pinned_op);
    REG(pinned_en);
    REG(PST_P_op);
    REG(PST_P_en);
    REG(PST_N_op);
    REG(PST_N_en);
    REG(PST_B_op);
    REG(PST_B_en);
    REG(PST_R_op);
    REG(PST_R_en);
    REG(PST_Q_op);
    REG(PST_Q_en);
    REG(PST_K_op);
    REG(PST_K_en);
#undef REG
    for (int sq = 0; sq < 64; sq++) {
        char name[24];
        snprintf(name, sizeof name, "pst_%c%c", 'a' + (sq & 7), '1' + (sq >> 3));
        RegisterParameter(name, &s.pst_values[sq]);
    }
    RegisterParameter("tune", &s.tune);
}

int FindParameter(const char* name) {
    for (int i = 0; i < paramCount; i++)
        if (!strcmp(paramTable[i].name, name)) return i;
    return -1;
}

int SelectParameter(const char* name) {
    int i = FindParameter(name);
    if (i < 0) return 0;
    paramTable[i].selected = 1;
    return 1;
}

void SetCommand(const char* name, const char* value) {
    EngineSettings& s = settings;
    struct {
        const char* name;
        int16_t* field;
    } const named[] = {{"NMP_depth", &s.NMP_depth},
                       {"SEP_depth", &s.SEP_depth},
                       {"FP_depth", &s.FP_depth},
                       {"LMP_depth", &s.LMP_depth},
                       {"LMR_depth", &s.LMR_depth}};
    if (!name) name = "";
    if (!value) value = "";
    for (const auto& n : named) {
        if (strcmp(name, n.name)) continue;
        int v = atoi(value);
        *n.field = int16_t(v);
        PrintLineF("%s set to %d", name, v);
        return;
    }
    if (!strcmp(name, "ss_off")) {
        s.NMP_depth = 99;
        s.SEP_depth = 0;
        s.LMP_depth = 0;
        s.LMR_depth = 99;
        PrintLine("selectivity set to OFF");
        return;
    }
    RestoreSettingsBackup();
    RebuildTables();
    PrintLine("selectivity set to default");
}
