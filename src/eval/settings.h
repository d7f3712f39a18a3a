// The engine's block of tunable numbers: search settings, evaluation
// parameters, piece-square tables and the tables derived from them; the
// settings file that overrides the defaults; the named parameter table the
// console and the tuner work through.
#pragma once

#include <cstdint>

// One tapered term: opening and ending value.
struct ScorePair {
    int16_t op;
    int16_t en;
};

struct EngineSettings {
    // Search selectivity.
    int16_t draw_score;
    int16_t SEP_depth;
    int16_t NMP_depth;
    int16_t FP_depth;
    int16_t LMP_depth;
    int16_t LMR_depth;
    int16_t LMP_count;
    int16_t LMR_strength;
    int16_t SEP_margin;
    int16_t FP_margin;

    // Evaluation parameters (opening/ending pairs; single values keep an
    // unused second slot so every parameter is a pair).
    int16_t pawn_value_op, pawn_value_en;
    int16_t knight_value_op, knight_value_en;
    int16_t bishop_value_op, bishop_value_en;
    int16_t rook_value_op, rook_value_en;
    int16_t queen_value_op, queen_value_en;
    int16_t bishop_pair_op, bishop_pair_en;
    int16_t ppawn_r2, ppawn_r3;
    int16_t ppawn_r4, ppawn_r5;
    int16_t ppawn_r6, ppawn_r7;
    int16_t pawn_candidate_op, pawn_candidate; // the candidate term is an ending term
    int16_t pawn_isolated_op, pawn_isolated_en;
    int16_t pawn_backward_op, pawn_backward_en;
    int16_t pawn_doubled_op, pawn_doubled_en;
    int16_t pawn_weak_op, pawn_weak_en;
    int16_t knight_mobility_op, knight_mobility_en;
    int16_t knight_outpost, knight_outpost_en;
    int16_t bishop_mobility_op, bishop_mobility_en;
    int16_t rook_mobility_op, rook_mobility_en;
    int16_t rook_open_file_op, rook_open_file_en;
    int16_t rook_half_open_file_op, rook_half_open_file_en;
    int16_t rook_rank7_op, rook_rank7_en;
    int16_t rook_trapped, rook_trapped_en;
    int16_t queen_mobility_op, queen_mobility_en;
    int16_t queen_rank7_op, queen_rank7_en;
    int16_t pawn_shield, pawn_shield_en;
    int16_t pawn_storm, pawn_storm_en;
    int16_t king_safety, king_safety_en;
    int16_t hung_op, hung_en;
    int16_t pinned_op, pinned_en;
    int16_t PST_P_op, PST_P_en;
    int16_t PST_N_op, PST_N_en;
    int16_t PST_B_op, PST_B_en;
    int16_t PST_R_op, PST_R_en;
    int16_t PST_Q_op, PST_Q_en;
    int16_t PST_K_op, PST_K_en;
    int16_t pst_values[64]; // pst_a1 .. pst_h8
    int16_t tune;

    // Piece-square tables by piece type (index 0 unused), white's view.
    ScorePair pst[7][64];

    // Derived tables, rebuilt from everything above.
    int16_t ppawn[8];
    int16_t ppawnx[8];
    int16_t connectedByRank[8];
    ScorePair knightMobility[9];
    ScorePair bishopMobility[15];
    ScorePair rookMobility[15];
    ScorePair queenMobility[29];
    int16_t kingDanger[64];
};

extern EngineSettings settings;
extern EngineSettings settingsBackup;
// 1 while the piece-square tables are computed from their scale factors.
extern uint8_t buildPst;

// File-mask tables for 8-bit masks of files.
extern uint8_t MinFile[256];
extern uint8_t MaxFile[256];
extern uint8_t FileCount[256];

// Every default of the block (and the build-PST flag back to 1).
void SetDefaultSettings();
// Reads a settings file; 1 when it was read and supplied every PST block.
int LoadSettings(const char* path);
void ReadSettingsFile(const char* name);
// Copies the block to the backup, then the king's opening PST into pst_a1 ..
void SaveSettingsBackup();
void RestoreSettingsBackup();
// Recomputes the derived tables (and the PSTs while buildPst is set).
void RebuildTables();

// The named parameter table.
struct ParamEntry {
    char name[24];
    int16_t* value;
    double start;
    double result;
    uint16_t selected;
};
constexpr int MAX_PARAMS = 300;
extern ParamEntry paramTable[MAX_PARAMS];
extern int paramCount;

void RegisterParameter(const char* name, int16_t* value);
// Fills the table once; later calls do nothing.
void RegisterParameters();
// 1 and the entry selected when the name exists, else 0.
int SelectParameter(const char* name);
// Entry index of a name, or -1.
int FindParameter(const char* name);

// The console's "set name value".
void SetCommand(const char* name, const char* value);
