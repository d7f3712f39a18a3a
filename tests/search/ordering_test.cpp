#include <vector>

#include "search_fixture.h"

namespace {

// Row of a reduction table as text "0 0 1 ...".
std::string Row(const uint8_t* row) {
    std::string s;
    for (int m = 0; m < 32; m++) s += std::to_string(row[m]) + (m < 31 ? " " : "");
    return s;
}

std::string Expand(std::initializer_list<std::pair<int, int>> runs) {
    std::string s;
    int n = 0;
    for (auto [value, count] : runs)
        for (int i = 0; i < count; i++, n++) s += std::to_string(value) + (n < 31 ? " " : "");
    return s;
}

MoveEntry EntryFor(const Position& p, Move m) {
    MoveEntry e;
    e.move = m;
    e.score = 0;
    e.piece = p.board[FromSquare(m)];
    e.captured = p.board[ToSquare(m)];
    return e;
}

// Picker context at ply 1 of the game thread.
SearchThread* PickerAt(Position& p, Move ttMove) {
    SearchThread* t = p.owner;
    t->ply = 1;
    t->lastMove = 0;
    t->historyCount = 0;
    StackEntry& e = t->stack[1];
    e.listStart = t->moves;
    e.stage = 0;
    e.movesSearched = 0;
    e.ttMove = ttMove;
    e.nullKiller = e.killer1 = e.killer2 = e.evasionKiller = 0;
    ResetOrdering(t);
    return t;
}

std::vector<MoveEntry> DrainPicker(Position& p, int inCheck) {
    std::vector<MoveEntry> out;
    while (MoveEntry* e = NextMove(p, inCheck)) out.push_back(*e);
    return out;
}

} // namespace

TEST(Ordering, ReductionTablesWithDefaultStrength) {
    InitSearchForTests();
    ASSERT_EQ(settings.LMR_strength, 100);
    BuildReductionTables();
    EXPECT_EQ(Row(lmrPv[4]), Expand({{0, 8}, {1, 24}}));
    EXPECT_EQ(Row(lmrNonPv[4]), Expand({{0, 2}, {1, 4}, {2, 26}}));
    EXPECT_EQ(Row(lmrPv[6]), Expand({{0, 6}, {1, 16}, {2, 10}}));
    EXPECT_EQ(Row(lmrNonPv[6]), Expand({{0, 2}, {1, 2}, {2, 14}, {3, 14}}));
    EXPECT_EQ(Row(lmrPv[10]), Expand({{0, 2}, {1, 16}, {2, 14}}));
    EXPECT_EQ(Row(lmrNonPv[10]), Expand({{0, 2}, {2, 12}, {3, 18}}));
    EXPECT_EQ(Row(lmrPv[20]), Expand({{0, 2}, {1, 6}, {2, 24}}));
    EXPECT_EQ(Row(lmrNonPv[20]), Expand({{0, 2}, {2, 2}, {3, 28}}));
    EXPECT_EQ(Row(lmrPv[30]), Expand({{0, 2}, {2, 30}}));
    EXPECT_EQ(Row(lmrNonPv[30]), Expand({{0, 2}, {3, 30}}));
    // Shallow rows never reduce.
    for (int d = 0; d <= 2; d++)
        for (int m = 0; m < 32; m++) EXPECT_EQ(lmrPv[d][m] + lmrNonPv[d][m], 0);

    // A different strength scales the tables; the default comes back on rebuild.
    settings.LMR_strength = 400;
    BuildReductionTables();
    EXPECT_EQ(lmrPv[10][10], 2);
    EXPECT_EQ(lmrNonPv[10][10], 3);
    settings.LMR_strength = 100;
    BuildReductionTables();
    EXPECT_EQ(lmrPv[10][10], 1);
    EXPECT_EQ(lmrNonPv[10][10], 2);
}

TEST(Ordering, MoveFlagsClassification) {
    // Quiet knight move uncovering a rook check: check + discovered.
    Position& p = SetGame("4k3/8/8/8/4N3/8/8/4RK2 w - -");
    EXPECT_EQ(MoveFlags(p, WHITE, EntryFor(p, Coord("e4c3"))), 6);
    // Pawn capture onto the seventh with a direct check.
    Position& s = SetGame("4k3/3r4/2P5/8/8/8/8/4K3 w - -");
    EXPECT_EQ(MoveFlags(s, WHITE, EntryFor(s, Coord("c6d7"))), 1 + 2 + 8);
    // Quiet push to the sixth with no enemy pawn ahead: a passed pawn push.
    Position& t = SetGame("4k3/8/8/3P4/8/8/8/4K3 w - -");
    EXPECT_EQ(MoveFlags(t, WHITE, EntryFor(t, Coord("d5d6"))), 32);
    // The same push with an enemy pawn ahead on an adjacent file.
    Position& u = SetGame("4k3/4p3/8/3P4/8/8/8/4K3 w - -");
    EXPECT_EQ(MoveFlags(u, WHITE, EntryFor(u, Coord("d5d6"))), 0);
    // Queen promotion, underpromotion, en passant, plain capture by a piece.
    Position& v = SetGame("1k6/4P3/8/3pP3/8/8/8/4K2R w - d6");
    EXPECT_EQ(MoveFlags(v, WHITE, EntryFor(v, Coord("e7e8q"))), 16 + 2);
    EXPECT_EQ(MoveFlags(v, WHITE, EntryFor(v, Coord("e7e8n"))), 32);
    EXPECT_EQ(MoveFlags(v, WHITE, EntryFor(v, Coord("e5d6"))), 1 + 32);
    Position& w = SetGame("4k3/8/8/8/8/8/r7/4K2R w - -");
    EXPECT_EQ(MoveFlags(w, WHITE, EntryFor(w, Coord("h1h8"))), 2);
    EXPECT_EQ(MoveFlags(w, WHITE, EntryFor(w, Coord("e1d1"))), 0);
}

TEST(Ordering, MvvLvaAndHistoryArithmetic) {
    auto entry = [](int piece, int captured) {
        MoveEntry e = {};
        e.piece = uint8_t(piece);
        e.captured = uint8_t(captured);
        return e;
    };
    MoveEntry pxq = entry(PieceCode(WHITE, PAWN), PieceCode(BLACK, QUEEN));
    MoveEntry qxp = entry(PieceCode(WHITE, QUEEN), PieceCode(BLACK, PAWN));
    MoveEntry promo = entry(PieceCode(BLACK, PAWN), 0);
    EXPECT_EQ(MvvLva(pxq), 239);
    EXPECT_EQ(MvvLva(qxp), 205);
    EXPECT_EQ(MvvLva(promo), 199);

    InitSearchForTests();
    SearchThread* t = searchState.threads[0];
    ResetOrdering(t);
    EXPECT_EQ(HistoryOf(t, 3, 20), 2048);
    HistoryReward(t, 3, 20);
    EXPECT_EQ(HistoryOf(t, 3, 20), 2048 + (8192 - 2048) / 64);
    HistoryPenalty(t, 3, 20);
    EXPECT_EQ(HistoryOf(t, 3, 20), 2144 - 2144 / 128);
    for (int i = 0; i < 2000; i++) HistoryReward(t, 4, 5);
    EXPECT_LE(HistoryOf(t, 4, 5), 8192);
    EXPECT_GE(HistoryOf(t, 4, 5), 8100);
    for (int i = 0; i < 5000; i++) HistoryPenalty(t, 4, 5);
    EXPECT_GE(HistoryOf(t, 4, 5), 0);
    ResetOrdering(t);
}

TEST(Ordering, PickerStagesWithoutHashMove) {
    // Rxa8 wins a knight, cxd5 trades pawns, Nxd5 and Qxd5 lose to exd5.
    Position& p = SetGame("n3k3/8/4p3/3p4/2P5/2N5/8/R2QK3 w - -");
    PickerAt(p, 0);
    std::vector<MoveEntry> moves = DrainPicker(p, 0);
    ASSERT_GE(moves.size(), 4u);
    // The best capture is generated and picked by the first call.
    EXPECT_EQ(moves[0].move, Coord("a1a8"));
    EXPECT_EQ(moves[0].score, 220 - 4);
    EXPECT_EQ(moves[1].move, Coord("c4d5"));
    EXPECT_EQ(moves[1].score, 210 - 1);
    // The losing captures come after every fresh quiet move (scores 16).
    Move last = moves[moves.size() - 1].move, before = moves[moves.size() - 2].move;
    EXPECT_TRUE((last == Coord("c3d5") && before == Coord("d1d5")) ||
                (last == Coord("d1d5") && before == Coord("c3d5")));
    EXPECT_EQ(moves[moves.size() - 1].score, 8 + PAWN);
    EXPECT_EQ(moves[moves.size() - 2].score, 8 + PAWN);
    for (size_t i = 2; i + 2 < moves.size(); i++) {
        EXPECT_EQ(moves[i].captured, 0);
        EXPECT_EQ(moves[i].score, 16);
    }
    // Every generated move exactly once.
    int all = 0;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++) all++;
    EXPECT_EQ(int(moves.size()), all);

    // A recapture on the previous move's square gains 7.
    PickerAt(p, 0);
    p.owner->lastMove = Coord("e6d5");
    moves = DrainPicker(p, 0);
    EXPECT_EQ(moves[0].move, Coord("c4d5")); // ties with Rxa8, generated first
    EXPECT_EQ(moves[0].score, 209 + 7);
    EXPECT_EQ(moves[1].move, Coord("a1a8"));
    // The losing recaptures now tie with the quiet moves and stand before them.
    EXPECT_EQ(moves[2].move, Coord("c3d5"));
    EXPECT_EQ(moves[2].score, 8 + PAWN + 7);
}

TEST(Ordering, PickerHashMoveFirstAndDuplicated) {
    Position& p = SetGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    PickerAt(p, Coord("g1f3"));
    std::vector<MoveEntry> moves = DrainPicker(p, 0);
    ASSERT_EQ(moves.size(), 21u);
    EXPECT_EQ(moves[0].move, Coord("g1f3"));
    EXPECT_EQ(moves[0].score, 255);
    int copies = 0;
    for (const MoveEntry& e : moves) copies += e.move == Coord("g1f3");
    EXPECT_EQ(copies, 2);
}

TEST(Ordering, PickerKillersAndCounterMoves) {
    Position& p = SetGame("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    SearchThread* t = PickerAt(p, 0);
    t->stack[1].killer1 = Coord("b1c3");
    t->stack[1].killer2 = Coord("g2g3");
    HistoryOf(t, PieceCode(WHITE, PAWN), Coord("e2e4") & 63) = 8192;
    std::vector<MoveEntry> moves = DrainPicker(p, 0);
    ASSERT_GE(moves.size(), 3u);
    EXPECT_EQ(moves[0].move, Coord("b1c3")); // 16 + 64
    EXPECT_EQ(moves[0].score, 80);
    EXPECT_EQ(moves[1].move, Coord("g2g3")); // 16 + 54
    EXPECT_EQ(moves[1].score, 70);
    EXPECT_EQ(moves[2].move, Coord("e2e4")); // 8192 / 128
    EXPECT_EQ(moves[2].score, 64);
    // The counter move of the previous move counts like a killer.
    PickerAt(p, 0);
    t->lastMove = Coord("b8c6");
    p.board[Coord("b8c6") & 63] = uint8_t(PieceCode(BLACK, KNIGHT));
    t->counterMove[PieceCode(BLACK, KNIGHT) * 64 + (Coord("b8c6") & 63)] = Coord("d2d4");
    moves = DrainPicker(p, 0);
    p.board[Coord("b8c6") & 63] = 0;
    EXPECT_EQ(moves[0].move, Coord("d2d4"));
    EXPECT_EQ(moves[0].score, 80);
}

TEST(Ordering, PickerInCheckEvasions) {
    // White king in check from a rook on e8; quiet evasions only.
    Position& p = SetGame("4r1k1/8/8/8/8/8/3P1P2/3NK1N1 w - -");
    SearchThread* t = PickerAt(p, 0);
    t->stack[1].evasionKiller = Coord("g1e2");
    // Counter move of the previous move Re8 (piece now on e8).
    t->lastMove = Coord("e1e8");
    t->counterMove[p.board[60] * 64 + 60] = Coord("d1e3");
    std::vector<MoveEntry> moves = DrainPicker(p, 1);
    ASSERT_GE(moves.size(), 4u);
    EXPECT_EQ(moves[0].move, Coord("g1e2"));
    EXPECT_EQ(moves[0].score, 90);
    EXPECT_EQ(moves[1].move, Coord("d1e3"));
    EXPECT_EQ(moves[1].score, 70);
    // After the first score-1 move the rest come in list order: the list as
    // generated, with the two picks swapped to its front.
    MoveEntry list[256];
    MoveEntry* end = GenQuiets(p, WHITE, list);
    end->move = END_OF_LIST;
    for (MoveEntry* e = list; e != end; e++)
        e->score = e->move == Coord("g1e2") ? 90 : e->move == Coord("d1e3") ? 70 : 1;
    PickBest(list);
    PickBest(list + 1);
    ASSERT_EQ(moves.size(), size_t(end - list));
    for (size_t i = 2; i < moves.size(); i++) {
        EXPECT_EQ(moves[i].move, list[i].move) << i;
        EXPECT_EQ(moves[i].score, 1);
    }
}

TEST(Ordering, ScoreMovesForCompleteLists) {
    Position& p = SetGame("4k3/8/8/3p4/8/2N5/8/R3K3 w - -");
    SearchThread* t = PickerAt(p, Coord("a1a7"));
    t->stack[1].killer2 = Coord("a1a2");
    MoveEntry* list = GenAllMoves(p);
    ScoreMoves(p, list);
    for (MoveEntry* e = list; e->move != END_OF_LIST; e++) {
        if (e->move == Coord("a1a7"))
            EXPECT_EQ(e->score, 255);
        else if (e->move == Coord("c3d5"))
            EXPECT_EQ(e->score, 210 - 2);
        else if (e->move == Coord("a1a2"))
            EXPECT_EQ(e->score, 16 + 64);
        else
            EXPECT_EQ(e->score, 16);
    }
    PickBest(list);
    EXPECT_EQ(list[0].move, Coord("a1a7"));
}
