#include "eval_fixture.h"

namespace {

struct EvaluateTest : ::testing::Test {
    void SetUp() override {
        InitEvalForTests();
        ResetSettings();
    }
};

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

} // namespace

TEST_F(EvaluateTest, StartPosition) {
    SearchThread* t = PlainThread();
    EXPECT_EQ(EvalOn(t, START_FEN), 16);
    for (int c = 0; c < 2; c++) {
        EXPECT_EQ(t->eval.mtlOp[c], 4500);
        EXPECT_EQ(t->eval.mtlEn[c], 4880);
        EXPECT_EQ(t->eval.phaseWeight[c], 12);
    }
    EXPECT_EQ(t->eval.stage, 0);
    EXPECT_EQ(EvalOn(t, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"), 16);
    // Each king: its table value -7, the full shelter +6, no danger.
    ScorePair king = StepOnly(START_FEN, 0, [](EvalContext& x) { KingSafety(x, 0); });
    EXPECT_EQ(king.op, -1);
    EXPECT_EQ(king.en, -19);
    king = StepOnly(START_FEN, 1, [](EvalContext& x) { KingSafety(x, 1); });
    EXPECT_EQ(king.op, -1);
}

TEST_F(EvaluateTest, InCheckReturnsNoScoreAndLeavesTheCache) {
    SearchThread* t = PlainThread();
    SetPosition(t, "4k3/8/8/8/8/8/4q3/4K3 w - -");
    uint64_t key = SearchKey(t->pos);
    EvalCacheEntry& e = t->eval.evalCache[(uint32_t(key) & 0x3FFE) + 0];
    e.keyLow = e.keyHigh = 0;
    uint64_t calls = t->evalProbes;
    EXPECT_EQ(Evaluate(t, 0, 1, 1), -10000);
    EXPECT_EQ(e.keyLow, 0u);
    EXPECT_EQ(t->evalProbes, calls);
}

TEST_F(EvaluateTest, EvalCacheServesSearchNodes) {
    SearchThread* t = PlainThread();
    SetPosition(t, "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -");
    t->searchRunning = 1;
    t->stack[2].threat[0] = t->stack[2].threat[1] = 0;
    int first = Evaluate(t, 0, 2, 0);
    int16_t threat0 = t->stack[2].threat[0], threat1 = t->stack[2].threat[1];
    uint64_t hits = t->evalHits;
    t->stack[2].threat[0] = t->stack[2].threat[1] = 77;
    EXPECT_EQ(Evaluate(t, 0, 2, 0), first);
    EXPECT_EQ(t->evalHits, hits + 1);
    EXPECT_EQ(t->stack[2].threat[0], threat0);
    EXPECT_EQ(t->stack[2].threat[1], threat1);
    // Not at the root, and not while no search runs.
    EXPECT_EQ(Evaluate(t, 0, 1, 0), first);
    EXPECT_EQ(t->evalHits, hits + 1);
    t->searchRunning = 0;
    t->stack[2].threat[0] = t->stack[2].threat[1] = 0;
    EXPECT_EQ(Evaluate(t, 0, 2, 0), first);
    EXPECT_EQ(t->evalHits, hits + 1);
    // The pawn hash likewise.
    uint64_t pawnHits = t->pawnHits, pawnProbes = t->pawnProbes;
    t->searchRunning = 1;
    Evaluate(t, 0, 1, 0);
    EXPECT_EQ(t->pawnHits, pawnHits + 1);
    EXPECT_EQ(t->pawnProbes, pawnProbes + 1);
    t->searchRunning = 0;
}

TEST_F(EvaluateTest, RecognisedEndings) {
    SearchThread* t = PlainThread();
    const char* draws[] = {"8/8/8/4k3/8/8/8/4K3 w - -",   "8/8/8/4k3/8/8/8/4KN2 w - -",
                           "8/8/8/4k3/8/8/8/4KNN1 b - -", "8/8/8/4k3/8/8/8/4KB2 w - -",
                           "8/8/8/4kb2/8/8/8/4KN2 w - -", "8/8/8/4kn2/8/8/8/4KB2 b - -"};
    for (const char* fen : draws) {
        EXPECT_EQ(EvalOn(t, fen), 0) << fen;
        EXPECT_EQ(t->stack[1].drawMark, 1) << fen;
    }
    // Rook against king: 100 x 5 + corner table + 200 - 10 x king distance.
    EXPECT_EQ(EvalFen("8/8/8/8/3k4/8/8/R3K3 w - -"), 500 + 0 + 200 - 30);
    EXPECT_EQ(EvalFen("8/8/8/8/3k4/8/8/R3K3 b - -"), -670);
    EXPECT_EQ(EvalFen("k7/8/8/8/8/8/7q/4K3 w - -"), -(1000 + 30 + 200 - 70));
    // Bishop and knight: a light bishop drives the king toward a8 or h1.
    int a8 = EvalFen("k7/8/8/8/4K3/8/8/1BN5 w - -");
    EXPECT_EQ(a8, 4 * (2 + 2 * 20 + 200 - 8));
    int a1 = EvalFen("8/8/8/8/4K3/8/8/kBN5 w - -");
    EXPECT_EQ(a1, 4 * (2 + 2 * 6 + 200 - 8));
    EXPECT_EQ(EvalFen("8/8/8/8/4K3/8/8/kBN5 b - -"), -a1);
    // A dark bishop wants a1 and h8.
    EXPECT_EQ(EvalFen("8/8/8/8/4K3/8/8/k1BN4 w - -"), 4 * (2 + 2 * 20 + 200 - 8));
}

TEST_F(EvaluateTest, DrawScalingFactors) {
    struct Case {
        const char* fen;
        double adj;
    } cases[] = {
        // Wrong bishop with a rook pawn against the king in the corner.
        {"k7/8/8/8/8/8/P7/B3K3 w - -", 0.06},
        // The right bishop wins.
        {"k7/8/8/8/8/8/P7/1B2K3 w - -", 1.0},
        // Two knights only, the weak side with a pawn.
        {"8/8/8/4k3/8/3p4/8/NN2K3 w - -", 0.05},
        // Lone rook against pawns; lone queen against pawns and two minors.
        {"8/8/8/4k3/8/3p4/8/R3K3 w - -", 0.9},
        {"8/8/8/4k3/3nb3/3p4/8/Q3K3 w - -", 0.675},
        {"8/8/8/4k3/3nb3/8/8/Q3K3 w - -", 0.75},
        // No pawns for the stronger side, little material difference.
        {"8/8/8/4k3/3n4/8/8/1BB1K3 w - -", 0.9},
        {"8/8/8/4k3/3n4/8/8/R3K3 w - -", 0.15},
        {"8/8/8/4k3/3r4/8/8/RB2K3 w - -", 0.15},
        {"8/8/8/3rk3/3n4/8/8/RR2K3 w - -", 0.25},
        // Opposite bishops, one pawn, the defender's bishop watching its path.
        {"8/4k3/8/3b4/8/2B5/4K1P1/8 w - -", 0.25 * 0.35},
        // Enough material: no scaling.
        {START_FEN, 1.0},
    };
    for (const Case& c : cases) {
        TraceFen(c.fen);
        EXPECT_DOUBLE_EQ(evalTrace.drawAdj, c.adj) << c.fen;
    }
    // One pawn each: the bitbase decides as if the weaker pawn were gone.
    TraceFen("8/p3k3/8/4K3/4P3/8/8/8 w - -");
    EXPECT_DOUBLE_EQ(evalTrace.drawAdj, 0.25);
    TraceFen("4k3/p7/4K3/4P3/8/8/8/8 w - -");
    EXPECT_DOUBLE_EQ(evalTrace.drawAdj, 1.0);
    // Bishops of opposite colours: two extra pawns keep the set's last value,
    // one extra pawn among several takes the bishop value's entry.
    TraceFen("8/4k3/8/3b4/8/2B5/4KPP1/8 w - -");
    EXPECT_DOUBLE_EQ(evalTrace.drawAdj, 0.6);
    TraceFen("8/4k3/6p1/3b4/8/2B5/4KPP1/8 w - -");
    EXPECT_DOUBLE_EQ(evalTrace.drawAdj, 0.2125);
}

TEST_F(EvaluateTest, ScaledScoreIsTruncated) {
    SearchThread* t = PlainThread();
    int scaled = EvalOn(t, "k7/8/8/8/8/8/P7/B3K3 w - -");
    TraceFen("k7/8/8/8/8/8/P7/B3K3 w - -");
    // Recompute the unscaled blend from the trace's accumulators.
    EvalCaches& c = searchState.threads[1]->eval;
    int posOp = c.posOp[0] - c.posOp[1], posEn = c.posEn[0] - c.posEn[1];
    int raw = ((posOp * 148 / 128 + c.mtlOp[0] - c.mtlOp[1]) * (24 - c.stage) +
               (posEn * 148 / 128 + c.mtlEn[0] - c.mtlEn[1]) * c.stage) /
              24;
    EXPECT_EQ(scaled, int(raw * 0.06));
}

TEST_F(EvaluateTest, PawnStructureTerms) {
    SearchThread* t = PlainThread();
    // a3 alone: backward, isolated and weak at once, and passed.
    EvalOn(t, "4k3/8/8/8/8/P7/8/4K2R w - -");
    const PawnHashEntry* e = t->eval.pawns;
    EXPECT_EQ(e->scoreOp[0], -5 - 4 - 8 - 8);
    EXPECT_EQ(e->scoreEn[0], 1 - 4 - 8 - 4);
    EXPECT_EQ(e->passed, SquareBit(Sq("a3")));
    EXPECT_EQ(e->files[0], 1);

    // Doubled e-pawns without enemy pawns: both doubled and passed; the rear
    // one gets a third of its rank value, the front one the full term.
    ScorePair passers = StepOnly("7k/8/8/4P3/4P3/8/8/K7 w - -", 0, PassedPawns);
    e = PlainThread()->eval.pawns;
    EXPECT_EQ(e->passed, SquareBit(Sq("e4")) | SquareBit(Sq("e5")));
    EXPECT_EQ(passers.op, 6 + 37);
    EXPECT_EQ(passers.en, 6 + 75);
    EXPECT_EQ(PlainThread()->stack[1].threat[1], 400 + 200 + 100);

    // A pawn on d2 blocked by a piece on d3.
    ScorePair blocked = StepOnly("4k3/8/8/8/8/3b4/3P4/4K3 w - -", 0, BlockedPawns);
    EXPECT_EQ(blocked.op, -14);
    EXPECT_EQ(blocked.en, -14);

    // Candidates: d4 beside e4 against a lone c6 pawn.
    const char* cand = "4k3/r7/2p5/8/3PP3/8/8/R3K3 w - -";
    ScorePair v = StepOnly(cand, 0, Candidates);
    EXPECT_EQ(PlainThread()->eval.pawns->candidates, SquareBit(Sq("d4")));
    EXPECT_GT(PlainThread()->eval.stage, 13);
    EXPECT_EQ(v.op, 0);
    EXPECT_EQ(v.en, (32 + 24 * 2) * 48 / 256);
    // Ignored while stage is at most 13.
    TraceFen("4k3/rq6/2p5/8/3PP3/8/8/RQ2K3 w - -");
    EXPECT_LE(searchState.threads[1]->eval.stage, 13);
    ScorePair onlyPassers = StepOnly("4k3/rq6/2p5/8/3PP3/8/8/RQ2K3 w - -", 0, PassedPawns);
    EXPECT_EQ(evalTrace.termEn[TRACE_PASSERS][0], onlyPassers.en);
}

TEST_F(EvaluateTest, PassedPawnDistances) {
    // A free passer on e5 (rank index 4) with the enemy king ever nearer.
    // (A knight in the corner keeps the position out of the pawn-ending table.)
    const char* nearer[3] = {"n7/8/8/4P3/8/8/8/K6k w - -", "n7/8/8/4P3/8/8/7k/K7 w - -",
                             "n7/8/8/4P3/8/7k/8/K7 w - -"};
    int gain[3];
    for (int i = 0; i < 3; i++) gain[i] = StepOnly(nearer[i], 0, PassedPawns).en;
    EXPECT_EQ(gain[0] - gain[1], (28 * 6 - 18 * 6) * 5 / 16 - (28 * 5 - 18 * 6) * 5 / 16);
    EXPECT_EQ(gain[1] - gain[2], (28 * 5 - 18 * 6) * 5 / 16 - (28 * 4 - 18 * 6) * 5 / 16);
    // Exact value: kings on a1 and h1, target square e7.
    ScorePair v = StepOnly("n7/8/8/4P3/8/8/8/K6k w - -", 0, PassedPawns);
    int base = 38 + 24 + 4 * 5;
    int expected = (28 * 6 - 18 * 6) * 5 / 16 + base;
    // The black king cannot catch it: 8 - 4 - 1 < 6.
    expected += base / 4;
    EXPECT_EQ(v.en, expected);
    EXPECT_EQ(v.op, expected / 2);
}

TEST_F(EvaluateTest, PieceTerms) {
    // Knight outpost on d5, defended by e4.
    ScorePair n = StepOnly("8/8/8/3N4/4P3/8/8/K6k w - -", 0, [](EvalContext& x) { Knights(x, 0); });
    EXPECT_EQ(n.op, 14 + 20 + 16 + 6);
    EXPECT_EQ(n.en, 14 + 26);
    // Trapped rook on h1 behind the king on g1.
    ScorePair r = StepOnly("4k3/8/8/8/8/8/7P/6KR w - -", 0, [](EvalContext& x) { Rooks(x, 0); });
    EXPECT_EQ(r.op, -5 - 11 - 25);
    EXPECT_EQ(r.en, 0 - 15);
    // Two knights hit by one pawn.
    ScorePair h =
        StepOnly("4k3/8/4p3/3N1N2/8/8/8/4K3 w - -", 0, [](EvalContext& x) { HungPieces(x, 0); });
    EXPECT_EQ(h.op, 2 * -16 - 12);
    EXPECT_EQ(h.en, 2 * -24 - 12);
    EXPECT_EQ(PlainThread()->stack[1].threat[0], 330);
    EXPECT_EQ(PlainThread()->eval.hungPieces, SquareBit(Sq("d5")) | SquareBit(Sq("f5")));
    // A knight pinned to its king and a bishop pinned to its queen.
    ScorePair p = StepOnly("4k3/4r3/8/8/1b6/2B5/4N3/Q3K3 w - -", 0,
                           [](EvalContext& x) { PinnedPieces(x, 0); });
    EXPECT_EQ(p.op, 2 * -16);
    EXPECT_EQ(p.en, 2 * -24);
}

TEST_F(EvaluateTest, KingDangerIndexStaysInTable) {
    // Entries past 31 are never read: poison them and attack a king hard.
    for (int i = 32; i < 64; i++) settings.kingDanger[i] = 20000;
    const char* fen = "6k1/8/8/8/4n3/5b1q/5P1r/6K1 w - -";
    ScorePair hard = StepOnly(fen, 0, [](EvalContext& x) { KingSafety(x, 0); });
    settings.kingDanger[31] = 1000;
    ScorePair capped = StepOnly(fen, 0, [](EvalContext& x) { KingSafety(x, 0); });
    // The index reached the cap, and only the cap entry was read.
    EXPECT_EQ(capped.op, hard.op - (1000 - 471));
    EXPECT_GT(hard.op, -5000);
}

TEST_F(EvaluateTest, PasserOnTheSeventhIsFree) {
    ScorePair v = StepOnly("n7/4P3/8/8/8/8/8/K6k w - -", 0, PassedPawns);
    EXPECT_EQ(PlainThread()->stack[1].threat[1], 1600 + 800 + 100);
    int base = 138 + 67 + 4 * 7;
    int expected = (28 * 7 - 18 * 7) * 7 / 16 + base + base / 4;
    EXPECT_EQ(v.en, expected);
    EXPECT_EQ(v.op, expected / 2);
}
