// Inputs the fuzz targets (fuzz/) found to break the evaluation, kept as tests.
#include <cstdlib>

#include "eval_fixture.h"
#include "search/tt.h"

// fuzz_fen: nine queens against a knight evaluated to 10538, beyond the mate
// scores, so the search reported "score mate 1" for a move that mates
// nothing. Static scores are held below the mate and table-win range, the
// recognised endings (a lone king) included, from either side's view.
TEST(EvalFuzzFindings, HugeMaterialStaysBelowMateScores) {
    static_assert(EVAL_LIMIT < MATE_BOUND, "static scores must not look like mates");
    const char* fens[] = {"QQQ5/QQ6/QQQQnk2/8/8/8/8/7K w - -", "QQQ5/QQ6/QQQQnk2/8/8/8/8/7K b - -",
                          "3k4/8/8/8/8/QQQ5/QQQ5/QQQ1K3 b - -",
                          "8/8/8/7K/8/qqq5/qqq5/qqqrkr2 w - -"};
    for (const char* fen : fens) {
        int score = EvalOn(PlainThread(), fen);
        EXPECT_LE(score, EVAL_LIMIT) << fen;
        EXPECT_GE(score, -EVAL_LIMIT) << fen;
        EXPECT_GE(std::abs(score), 5000) << fen; // still a decisive advantage
    }
}
