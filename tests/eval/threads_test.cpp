#include <fstream>
#include <thread>
#include <vector>

#include "eval_fixture.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> Positions() {
    std::vector<std::string> fens = {
        START_FEN,
        "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
        "8/4k3/8/3b4/8/2B5/4K1P1/8 w - -",
        "6k1/5ppp/8/8/8/5nqr/5PPb/r4RK1 w - -",
        "4k3/r7/2p5/8/3PP3/8/8/R3K3 w - -",
    };
    std::string dir = TestDataDir();
    if (!dir.empty()) {
        std::ifstream in(dir + "/labelled/quiet-labeled-excerpt.epd");
        std::string line;
        while (std::getline(in, line) && fens.size() < 600) {
            size_t pos = line.find(" c9");
            if (pos != std::string::npos) fens.push_back(line.substr(0, pos));
        }
    }
    return fens;
}

// Evaluates each position twice at a search node (the second time from the
// caches) and returns every score.
std::vector<int> EvaluateAll(SearchThread* t, const std::vector<std::string>& fens) {
    std::vector<int> scores;
    t->searchRunning = 1;
    for (int pass = 0; pass < 2; pass++)
        for (const std::string& fen : fens) {
            if (!SetFromFen(t->pos, fen.c_str())) continue;
            t->stack[2].threat[0] = t->stack[2].threat[1] = 0;
            int inCheck = InCheck(t->pos, t->pos.side);
            scores.push_back(Evaluate(t, t->pos.side, 2, inCheck));
            scores.push_back(t->stack[2].threat[0]);
            scores.push_back(t->stack[2].threat[1]);
        }
    t->searchRunning = 0;
    return scores;
}

} // namespace

TEST(EvalThreads, ConcurrentThreadsMatchOneThread) {
    InitEvalForTests();
    ResetSettings();
    std::vector<std::string> all = Positions();
    std::vector<std::string> halves[2];
    for (size_t i = 0; i < all.size(); i++) halves[i % 2].push_back(all[i]);

    SearchThread* single = NewSearchThread();
    std::vector<int> expected[2] = {EvaluateAll(single, halves[0]), EvaluateAll(single, halves[1])};

    SearchThread* workers[2] = {NewSearchThread(), NewSearchThread()};
    std::vector<int> got[2];
    std::thread a([&] { got[0] = EvaluateAll(workers[0], halves[0]); });
    std::thread b([&] { got[1] = EvaluateAll(workers[1], halves[1]); });
    a.join();
    b.join();
    EXPECT_EQ(got[0], expected[0]);
    EXPECT_EQ(got[1], expected[1]);
    EXPECT_GT(workers[0]->evalHits, 0u);
    for (SearchThread* t : {single, workers[0], workers[1]}) FreeSearchThread(t);
}
