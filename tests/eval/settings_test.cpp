#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "eval_fixture.h"
#include "shell/engine.h"

namespace {

struct SettingsTest : ::testing::Test {
    void SetUp() override { InitEvalForTests(); }
    void TearDown() override {
        ResetSettings();
        options = EngineOptions();
        if (!path.empty()) unlink(path.c_str());
    }
    // Writes text to a fresh temporary file and loads it; returns the output.
    std::string Load(const std::string& text, int* result = nullptr) {
        char name[] = "/tmp/vesk_rc_XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        path = name;
        FILE* f = fdopen(fd, "w");
        fputs(text.c_str(), f);
        fclose(f);
        SetDefaultSettings();
        testing::internal::CaptureStdout();
        int r = LoadSettings(path.c_str());
        std::string out = testing::internal::GetCapturedStdout();
        if (result) *result = r;
        RebuildTables();
        return out;
    }
    std::string path;
};

// Twelve PST blocks, every value the given number plus the square index.
std::string AllPstBlocks(int base) {
    static const char* keys[12] = {"PST_pawn_op",   "PST_pawn_en",   "PST_knight_op",
                                   "PST_knight_en", "PST_bishop_op", "PST_bishop_en",
                                   "PST_rook_op",   "PST_rook_en",   "PST_queen_op",
                                   "PST_queen_en",  "PST_king_op",   "PST_king_en"};
    std::string text;
    for (int k = 0; k < 12; k++) {
        text += std::string(keys[k]) + "\n";
        for (int rank = 7; rank >= 0; rank--) {
            for (int file = 0; file < 8; file++)
                text += std::to_string(base + k * 100 + rank * 8 + file) + (file < 7 ? " " : "\n");
        }
    }
    return text;
}

} // namespace

TEST_F(SettingsTest, DefaultsInBlockOrder) {
    const EngineSettings& s = settings;
    EXPECT_EQ(s.draw_score, 0);
    EXPECT_EQ(s.SEP_depth, 3);
    EXPECT_EQ(s.NMP_depth, 3);
    EXPECT_EQ(s.FP_depth, 3);
    EXPECT_EQ(s.LMP_depth, 4);
    EXPECT_EQ(s.LMR_depth, 3);
    EXPECT_EQ(s.LMP_count, 3);
    EXPECT_EQ(s.LMR_strength, 100);
    EXPECT_EQ(s.SEP_margin, 75);
    EXPECT_EQ(s.FP_margin, 150);
    // The evaluation parameters follow the search settings as consecutive pairs.
    const int16_t expected[] = {
        90,  110, 380, 360, 390, 370, 530, 650, 1150, 1190, 30, 50, 7,  7,  18,  38, 78,  138,
        0,   48,  -8,  -8,  -4,  -4,  -5,  -5,  -8,   -4,   44, 56, 16, 0,  40,  54, 40,  54,
        14,  7,   7,   7,   16,  16,  -25, 0,   40,   90,   0,  14, 6,  0,  -12, 0,  100, 0,
        -16, -24, -16, -24, 40,  10,  44,  44,  12,   12,   14, 0,  12, 20, 42,  58};
    const int16_t* first = &s.pawn_value_op;
    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++)
        EXPECT_EQ(first[i], expected[i]) << "slot " << i;
    EXPECT_EQ(&first[sizeof expected / sizeof expected[0]], &s.pst_values[0]);
    EXPECT_EQ(s.tune, 256);
    EXPECT_EQ(buildPst, 1);
}

TEST_F(SettingsTest, ComputedPstsMatchTheirShapes) {
    const EngineSettings& s = settings;
    EXPECT_EQ(s.pst[KNIGHT][0].op, -73); // a1
    EXPECT_EQ(s.pst[KNIGHT][28].op, 14); // e4
    EXPECT_EQ(s.pst[PAWN][28].op, 10);   // e4
    for (int f = 0; f < 8; f++) EXPECT_EQ(s.pst[PAWN][48 + f].en, 7);
    EXPECT_EQ(s.pst[KING][6].op, 7);   // g1
    EXPECT_EQ(s.pst[KING][4].op, -7);  // e1
    EXPECT_EQ(s.pst[KING][0].en, -48); // a1
    EXPECT_EQ(s.pst[ROOK][0].op, -5);  // by file only
    EXPECT_EQ(s.pst[ROOK][56].op, -5);
    EXPECT_EQ(s.pst[QUEEN][27].op, 2);  // d4: 12 * 2 / 12
    EXPECT_EQ(s.pst[QUEEN][35].op, -2); // d5: the same minus 4 on the upper half
    EXPECT_EQ(s.pst[BISHOP][0].en, -20);
}

TEST_F(SettingsTest, DerivedTablesWithDefaults) {
    const EngineSettings& s = settings;
    const int knightOp[9] = {-24, -14, -7, 0, 6, 10, 14, 17, 20};
    const int knightEn[9] = {-30, -18, -8, 0, 7, 13, 18, 22, 26};
    for (int n = 0; n < 9; n++) {
        EXPECT_EQ(s.knightMobility[n].op, knightOp[n]) << n;
        EXPECT_EQ(s.knightMobility[n].en, knightEn[n]) << n;
    }
    EXPECT_EQ(s.bishopMobility[0].op, -14);
    EXPECT_EQ(s.bishopMobility[14].op, 26);
    EXPECT_EQ(s.bishopMobility[0].en, -19);
    EXPECT_EQ(s.bishopMobility[14].en, 35);
    EXPECT_EQ(s.rookMobility[0].op, -11);
    EXPECT_EQ(s.rookMobility[14].op, 22);
    EXPECT_EQ(s.rookMobility[0].en, -15);
    EXPECT_EQ(s.rookMobility[14].en, 29);
    EXPECT_EQ(s.queenMobility[0].op, -13);
    EXPECT_EQ(s.queenMobility[28].op, 27);
    EXPECT_EQ(s.queenMobility[0].en, -30);
    EXPECT_EQ(s.queenMobility[28].en, 60);

    const int danger[32] = {0,   0,   0,   0,   0,   0,   2,   7,   15,  25,  38,
                            54,  73,  94,  117, 143, 171, 198, 224, 249, 273, 296,
                            318, 339, 359, 378, 396, 413, 429, 444, 458, 471};
    for (int i = 0; i < 32; i++) EXPECT_EQ(s.kingDanger[i], danger[i]) << i;
    for (int i = 32; i < 64; i++) EXPECT_EQ(s.kingDanger[i], 0) << i;

    const int ppawn[8] = {0, 7, 7, 18, 38, 78, 138, 250};
    const int ppawnx[8] = {0, 7, 7, 12, 24, 36, 67, 0};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(s.ppawn[i], ppawn[i]);
        EXPECT_EQ(s.ppawnx[i], ppawnx[i]) << i;
    }
    EXPECT_EQ(MinFile[0], 8);
    EXPECT_EQ(MaxFile[0], 255);
    EXPECT_EQ(MinFile[0x24], 2);
    EXPECT_EQ(MaxFile[0x24], 5);
    EXPECT_EQ(FileCount[0xFF], 8);
}

TEST_F(SettingsTest, KingSafetyScalesTheDangerCurveUnderItsCap) {
    settings.king_safety = 200;
    RebuildTables();
    int prev = 0;
    for (int i = 1; i < 32; i++) {
        int uncapped = std::max(int(std::lround(3.6 * std::pow(double(i - 5), 1.9))), 0);
        if (i <= 5) uncapped = 0;
        EXPECT_EQ(settings.kingDanger[i], std::min(prev + 44 - i, uncapped)) << i;
        EXPECT_LE(settings.kingDanger[i], prev + 44 - i);
        prev = settings.kingDanger[i];
    }
    EXPECT_EQ(settings.kingDanger[6], 4); // twice the default's 2
}

TEST_F(SettingsTest, SettingsLinesAndMessages) {
    std::string out = Load("# a comment\n"
                           "\n"
                           "pawn_value = 95, 115\n"
                           "knight_value 400\n"
                           "pawn_candidate 48\n"
                           "passed_pawn_rank5=40\n"
                           "knight_outpost 20 3\n"
                           "LMR_strength 120\n"
                           "unknown_key 5 5\n"
                           "SyzygyPath=C:\\tb\n"
                           "VeskBook = \"my book.opn\"\n"
                           "BookDepth 12\n"
                           "BookVariety 7\n"
                           "SyzygyProbeDepth5 4\n"
                           "SyzygyProbeDepth6 9\n"
                           "tune 300\n");
    EXPECT_EQ(out, "info string loaded parameters from " + path +
                       "\n\ninfo string file vesk.rc contains invalid PST\n");
    EXPECT_EQ(settings.pawn_value_op, 95);
    EXPECT_EQ(settings.pawn_value_en, 115);
    EXPECT_EQ(settings.knight_value_op, 400);
    EXPECT_EQ(settings.knight_value_en, 0);
    EXPECT_EQ(settings.pawn_candidate_op, 48);
    EXPECT_EQ(settings.pawn_candidate, 0);
    EXPECT_EQ(settings.ppawn_r5, 40);
    EXPECT_EQ(settings.knight_outpost, 20);
    EXPECT_EQ(settings.knight_outpost_en, 3);
    EXPECT_EQ(settings.LMR_strength, 120);
    EXPECT_EQ(settings.tune, 300);
    EXPECT_STREQ(options.syzygyPath, "C:\\tb");
    EXPECT_STREQ(options.bookFile, "my");
    EXPECT_EQ(options.bookDepth, 12);
    EXPECT_EQ(options.bookVariety, 7);
    EXPECT_EQ(options.probeDepth5, 4);
    EXPECT_EQ(options.probeDepth6, 9);
    // Incomplete tables: the rebuild goes back to the computed ones.
    EXPECT_EQ(buildPst, 1);
    EXPECT_EQ(settings.pst[KNIGHT][0].op, -73);

    Load("pawn_candidate 0 48\n");
    EXPECT_EQ(settings.pawn_candidate, 48);
    Load("pawn_value 95\n");
    EXPECT_EQ(settings.pawn_value_en, 0);
    Load("pawn_value x7 12\n");
    EXPECT_EQ(settings.pawn_value_op, 0);
    EXPECT_EQ(settings.pawn_value_en, 12);
}

TEST_F(SettingsTest, MissingFileKeepsDefaults) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(LoadSettings("/nonexistent/vesk.rc"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(settings.pawn_value_op, 90);
    EXPECT_EQ(buildPst, 1);
}

TEST_F(SettingsTest, CompletePstBlocksReplaceTheComputedTables) {
    int result = -1;
    std::string out = Load("king_safety 50\n" + AllPstBlocks(1000), &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out, "info string loaded parameters from " + path + "\n\n");
    EXPECT_EQ(buildPst, 0);
    EXPECT_EQ(settings.king_safety, 50);
    // Rank 8 comes first in a block; values follow the square index.
    EXPECT_EQ(settings.pst[PAWN][0].op, 1000);
    EXPECT_EQ(settings.pst[PAWN][63].op, 1063);
    EXPECT_EQ(settings.pst[PAWN][12].en, 1112);
    EXPECT_EQ(settings.pst[KING][60].en, 2160);
    // A rebuild keeps the file's tables.
    RebuildTables();
    EXPECT_EQ(settings.pst[KNIGHT][0].op, 1200);

    // A short line leaves the rest of its rank at the missing marker.
    std::string text = AllPstBlocks(0);
    size_t at = text.find("PST_rook_en\n") + 12;
    size_t end = text.find('\n', at);
    text.replace(at, end - at, "5 6 7");
    Load(text, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(buildPst, 1);
}

TEST_F(SettingsTest, BackupRestoreAndKingCopy) {
    SetDefaultSettings();
    SaveSettingsBackup();
    for (int sq = 0; sq < 64; sq++) EXPECT_EQ(settings.pst_values[sq], settings.pst[KING][sq].op);
    EXPECT_EQ(settings.pst_values[6], 7);
    settings.pawn_value_op = 1;
    settings.NMP_depth = 9;
    RestoreSettingsBackup();
    EXPECT_EQ(settings.pawn_value_op, 90);
    EXPECT_EQ(settings.NMP_depth, 3);
    EXPECT_EQ(settings.pst_values[6], 0); // the backup predates the copy
}

TEST_F(SettingsTest, SetCommand) {
    SetDefaultSettings();
    SaveSettingsBackup();
    RebuildTables();
    testing::internal::CaptureStdout();
    SetCommand("NMP_depth", "5");
    SetCommand("LMR_depth", "7");
    EXPECT_EQ(settings.NMP_depth, 5);
    EXPECT_EQ(settings.LMR_depth, 7);
    SetCommand("ss_off", "");
    EXPECT_EQ(settings.NMP_depth, 99);
    EXPECT_EQ(settings.SEP_depth, 0);
    EXPECT_EQ(settings.LMP_depth, 0);
    EXPECT_EQ(settings.LMR_depth, 99);
    EXPECT_EQ(settings.FP_depth, 3);
    settings.pawn_value_op = 10;
    SetCommand("", "");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "NMP_depth set to 5\nLMR_depth set to 7\nselectivity set to OFF\n"
                   "selectivity set to default\n");
    EXPECT_EQ(settings.NMP_depth, 3);
    EXPECT_EQ(settings.pawn_value_op, 90);
    EXPECT_EQ(settings.knightMobility[0].op, -24);
}

TEST_F(SettingsTest, ParameterTable) {
    RegisterParameters();
    RegisterParameters(); // a second call adds nothing
    ASSERT_EQ(paramCount, 129);
    EXPECT_STREQ(paramTable[0].name, "pawn_value_op");
    EXPECT_STREQ(paramTable[11].name, "bishop_pair_en");
    EXPECT_STREQ(paramTable[12].name, "knight_mobility_op");
    EXPECT_STREQ(paramTable[19].name, "queen_mobility_en");
    EXPECT_STREQ(paramTable[20].name, "ppawn_r2");
    EXPECT_STREQ(paramTable[26].name, "pawn_candidate");
    EXPECT_STREQ(paramTable[27].name, "pawn_doubled_op");
    EXPECT_STREQ(paramTable[35].name, "knight_outpost");
    EXPECT_STREQ(paramTable[42].name, "rook_trapped");
    EXPECT_STREQ(paramTable[45].name, "king_safety");
    EXPECT_STREQ(paramTable[46].name, "pawn_shield");
    EXPECT_STREQ(paramTable[47].name, "pawn_storm");
    EXPECT_STREQ(paramTable[52].name, "PST_P_op");
    EXPECT_STREQ(paramTable[63].name, "PST_K_en");
    EXPECT_STREQ(paramTable[64].name, "pst_a1");
    EXPECT_STREQ(paramTable[71].name, "pst_h1");
    EXPECT_STREQ(paramTable[127].name, "pst_h8");
    EXPECT_STREQ(paramTable[128].name, "tune");
    EXPECT_EQ(paramTable[0].value, &settings.pawn_value_op);
    EXPECT_EQ(paramTable[26].value, &settings.pawn_candidate);
    EXPECT_EQ(paramTable[128].start, 256.0);
    EXPECT_EQ(paramTable[0].result, 0.0);

    EXPECT_EQ(SelectParameter("rook_value_en"), 1);
    EXPECT_EQ(paramTable[7].selected, 1);
    EXPECT_EQ(paramTable[6].selected, 0);
    EXPECT_EQ(SelectParameter("rook_value"), 0);
    EXPECT_EQ(FindParameter("pst_e4"), 64 + 28);
    paramTable[7].selected = 0;
}
