#include <fstream>
#include <sstream>

#include "eval/report.h"
#include "eval_fixture.h"

namespace {

struct ReportTest : ::testing::Test {
    void SetUp() override {
        InitEvalForTests();
        ResetSettings();
    }
};

std::string GoldenPath() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/sp_defaults.golden";
}

} // namespace

TEST_F(ReportTest, ParamReportMatchesGolden) {
    std::ifstream in(GoldenPath());
    ASSERT_TRUE(in.good()) << GoldenPath();
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(ParamReportText(), golden.str());
    testing::internal::CaptureStdout();
    ParamReport();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), golden.str());
}

TEST_F(ReportTest, ParamReportLinesFromTheDefaults) {
    std::string text = ParamReportText();
    // KingDanger rows of ten, the curve of the default king_safety.
    EXPECT_NE(
        text.find(
            "KingDanger[]=\n 0:      0     0     0     0     0     0     2     7    15    25 \n"
            "10:     38    54    73    94   117   143   171   198   224   249 \n"
            "20:    273   296   318   339   359   378   396   413   429   444 \n"
            "30:    458   471     0     0"),
        std::string::npos);
    EXPECT_NE(text.find("\n60:      0     0     0     0 \n  0  nmob="), std::string::npos);
    // Mobility curves at both ends, the knight rows past its 8 squares empty.
    EXPECT_NE(text.find("  0  nmob= -24/-30  bmob=-14/-19  rmob=-11/-15  qmob= -13/-30\n"),
              std::string::npos);
    EXPECT_NE(text.find("  8  nmob=  20/ 26"), std::string::npos);
    EXPECT_NE(text.find(" 14  nmob=   0/  0  bmob= 26/ 35  rmob= 22/ 29"), std::string::npos);
    EXPECT_NE(text.find("queen_mob[28] = 27/60\n"), std::string::npos);
    EXPECT_NE(text.find("rank=7,  ppawn=138, ppawnx= 67\n"), std::string::npos);
    EXPECT_NE(text.find("knight_outpost= 16 , 0\nPawnOpening\n"), std::string::npos);
    // King opening table, rank 1: 2 x (file + rank shape) x 42 / 12.
    EXPECT_NE(text.find("KingOpening\n"), std::string::npos);
    EXPECT_NE(text.find("    7     7     0    -7    -7     0     7     7 \n\nKingEnding"),
              std::string::npos);
    EXPECT_EQ(
        text.substr(0, 82),
        "piece values=  90/110  380/360  390/370  530/650  1150/1190\nbishop_pair= 30 , 50\n\n");
}

TEST_F(ReportTest, EvalReportOfTheStartPosition) {
    ASSERT_EQ(SetFromFen(searchState.threads[0]->pos, START_FEN), 1);
    testing::internal::CaptureStdout();
    EvalReport();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "eval= 16, qscore= 16, stage= 0, draw_adj= 1.00\n"
                   "\n"
                   "           white    black     diff\n"
                   "mtl=        4500     4500        0   ( :: )\n"
                   "pos=        -210     -224       14\n"
                   "pawns=       -20      -20        0\n"
                   "knights=    -116     -116        0\n"
                   "bishops=     -48      -48        0\n"
                   "rooks=       -24      -24        0\n"
                   "queens=      -15      -15        0\n"
                   "kings=        -1       -1        0\n"
                   "passers=       0        0        0\n"
                   " r n b q k b n r      -12  -58  -24  -15   -1  -24  -58  -12\n"
                   " o o o o o o o o       -5    0    0   -5   -5    0    0   -5\n"
                   " - + - + - + - +        -    -    -    -    -    -    -    -\n"
                   " + - + - + - + -        -    -    -    -    -    -    -    -\n"
                   " - + - + - + - +        -    -    -    -    -    -    -    -\n"
                   " + - + - + - + -        -    -    -    -    -    -    -    -\n"
                   " P P P P P P P P       -5    0    0   -5   -5    0    0   -5\n"
                   " R N B Q K B N R      -12  -58  -24  -15   -1  -24  -58  -12\n"
                   "white\n"
                   "\n");
}

TEST_F(ReportTest, EvalReportListsHungAndPinnedPiecesAndImbalance) {
    ASSERT_EQ(SetFromFen(searchState.threads[0]->pos, "4k3/4r3/8/8/1b6/2B5/4N3/Q3K3 b - -"), 1);
    testing::internal::CaptureStdout();
    EvalReport();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\n\nhung pieces on:   b4\npinned pieces on :  e2  c3\n           white"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("(QN :: R)\n"), std::string::npos);
    EXPECT_NE(out.find("\nblack\n"), std::string::npos);
    EXPECT_NE(out.find("stage= 15,"), std::string::npos);
}
