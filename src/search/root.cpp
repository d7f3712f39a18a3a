// The root search: one pass over the root list with aspiration windows,
// null-window searches of later moves, fail-high re-searches, reductions of
// quiet late moves and the root move order for the next pass.
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/output.h"
#include "shell/report.h"

namespace {

inline int RootScore(const MoveEntry& e) { return int16_t(e.score); }
inline void SetRootScore(MoveEntry& e, int s) { e.score = uint16_t(int16_t(s)); }

inline double SearchSeconds() { return Now() - timeState.startTime; }

bool ReportDue() {
    double delay = searchState.reportDelay;
    return delay != 9999 && (StopFlag() || SearchSeconds() >= delay);
}

// Progress lines of a long search: the node count with the table fill at the
// first root move, and the root move being searched.
void ReportProgress(SearchThread* t, int first, Move move) {
    LockReports();
    SumCounters();
    double elapsed = SearchSeconds();
    double nodes = double(searchState.totalNodes);
    if (first) {
        double fill = TTFill();
        PrintLineF("info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f",
                   int(searchState.iterDepth), elapsed * 1000, nodes,
                   elapsed > 0.001 ? nodes / elapsed : 0, fill * 1000);
    }
    if (searchState.multiPv == 1)
        PrintLineF("info currmove %s%s currmovenumber %d", SquareNames[FromSquare(move)],
                   SquareNames[ToSquare(move)], t->stack[1].movesSearched + 1);
    UnlockReports();
}

// The move becomes the thread's provisional best while its window fails.
void RecordFailing(SearchThread* t, Move move, int s, int state, bool verbose, int depth) {
    t->rootState = uint8_t(state);
    t->rootPv[1] = move;
    t->rootPv[2] = 0;
    t->score = int16_t(s);
    // A fail high (state 2) shows a lower bound of the score, a fail low an upper one.
    if (verbose && ReportDue())
        ReportLine(t->threadIndex, 0, depth, s, t->rootPv, state == 2 ? SCORE_LOWER : SCORE_UPPER);
}

} // namespace

void PickBestRoot(MoveEntry* e) {
    MoveEntry* best = e;
    for (MoveEntry* x = e + 1; x->move != END_OF_LIST; x++)
        if (RootScore(*x) > RootScore(*best)) best = x;
    if (best != e) {
        MoveEntry tmp = *e;
        *e = *best;
        *best = tmp;
    }
}

int SearchRootChild(Position& p, int side, int depth, int alpha, int beta, int pvNode, Move* pv) {
    return Search(p, side, 2, depth, alpha, beta, pvNode, pv);
}

void RootIteration(SearchThread* t, int depth, int pvIndex) {
    Position& p = t->pos;
    const bool primary = IsPrimary(t);
    const int rootSide = p.side;
    t->extensionBudget = 0;
    const bool verbose = primary && searchState.multiPv == 1 && depth > 3 && pvIndex == 0;
    const int prev = t->score;
    const int inCheck = InCheck(p, rootSide);
    StackEntry& root = t->stack[1];
    root.movesSearched = 0;
    root.depth = int16_t(depth);

    int w = depth == 1   ? 10000
            : depth == 2 ? 250
                         : ((15 - depth) * 4 > 15 ? (15 - depth) * 4 : 15) + std::abs(prev) / 16;
    int alpha = prev - w <= -WIN_BOUND ? -MATE_SCORE : prev - w;
    int beta = prev + w >= MATE_BOUND ? MATE_SCORE : prev + w;
    int best = NO_SCORE;
    Move bestMove = 0;
    const bool hasPawn = p.bb[PieceCode(rootSide, PAWN)] != 0;
    MoveEntry* list = root.listStart;
    Move childPv[MAX_PLY];
    Move savedPv[MAX_PLY];
    CheckInfo checks;

    for (int i = pvIndex; list[i].move != END_OF_LIST; i++) {
        if (!primary && depth < searchState.lastDoneDepth && SearchSeconds() >= 0.025) {
            t->rootState = 99;
            return;
        }
        PickBestRoot(&list[i]);
        const int savedScore = t->score;
        for (int k = 0; k < MAX_PLY; k++) savedPv[k] = t->rootPv[k];
        t->rootState = 0;
        root.listCurrent = &list[i];
        const Move move = list[i].move;

        if (primary && pvIndex == 0 && options.protocolMode == PROTOCOL_UCI) {
            double elapsed = SearchSeconds();
            if (elapsed > 3.5 && elapsed > searchState.reportDelay)
                ReportProgress(t, root.movesSearched == 0, move);
        }

        SetRootScore(list[i], -11000 - root.movesSearched);
        int flags = MoveFlags(p, rootSide, list[i], checks);
        root.moveFlags = uint16_t(flags);
        int r =
            (searchState.multiPv == 1 && depth > 7 && root.movesSearched > 5 && best >= prev - 34 &&
             best > -WIN_BOUND && !inCheck && p.pieceMat[rootSide] > 0 && hasPawn && flags == 0)
                ? 1
                : 0;

        MakeMove(p, move);
        int s, lowerBound;
        childPv[0] = 0;
        if (best == NO_SCORE || depth < 3) {
            s = -SearchRootChild(p, rootSide ^ 1, depth - 1, -beta, -alpha, 1, childPv);
            lowerBound = alpha;
            while ((s <= alpha || s >= beta) && !StopFlag()) {
                bool high = s > alpha;
                RecordFailing(t, move, s, high ? 2 : 1, verbose, depth);
                if (high)
                    beta += 2 * w;
                else
                    alpha -= 2 * w;
                w *= 2;
                if (alpha < -MATE_BOUND) alpha = -MATE_SCORE;
                if (beta > MATE_BOUND - 1) beta = MATE_SCORE;
                s = -SearchRootChild(p, rootSide ^ 1, depth - 1, -beta, -alpha, 1, childPv);
                lowerBound = alpha;
            }
        } else {
            int a = best <= -WIN_BOUND ? -MATE_SCORE : best;
            int b = best + 1 > MATE_BOUND - 1 ? MATE_SCORE : best + 1;
            s = -SearchRootChild(p, rootSide ^ 1, depth - 1 - r, -b, -a, 0, childPv);
            lowerBound = a;
            if (s >= b && !StopFlag()) {
                RecordFailing(t, move, s, 2, verbose, depth);
                int delta = 1;
                for (;;) {
                    delta = delta * 2 > 25 ? delta * 2 : 25;
                    b = b + delta > MATE_SCORE ? MATE_SCORE : b + delta;
                    s = -SearchRootChild(p, rootSide ^ 1, depth - 1, -b, -a, 1, childPv);
                    if (s < b || StopFlag()) break;
                    RecordFailing(t, move, s, 2, verbose, depth);
                }
            }
        }
        UnmakeMove(p);
        t->rootState = 0;

        // A stopped search keeps only a clear fail high of the main thread, and the
        // first move of a search stopped before any move was scored, so that
        // "bestmove" always names a move to play.
        const bool onlyMove = primary && depth == 1 && pvIndex == 0 && !bestMove;
        if (StopFlag() && !onlyMove) {
            s = (primary && t->score > best + 25 && bestMove) ? int(t->score) : NO_SCORE;
        }
        for (int k = 0; k < MAX_PLY; k++) t->rootPv[k] = savedPv[k];
        root.movesSearched++;
        t->score = int16_t(savedScore);

        if (s > lowerBound) SetRootScore(list[i], s);

        if (s > best) {
            bestMove = move;
            t->score = int16_t(s);
            t->rootPv[1] = move;
            t->completedDepth = uint8_t(depth);
            for (int k = 2; k < MAX_PLY; k++) {
                t->rootPv[k] = childPv[k];
                if (!childPv[k]) break;
            }
            if (s > t->depthScore[depth]) {
                t->depthScore[depth] = int16_t(s);
                if (primary) PublishResult(t);
            }
            MoveEntry chosen = list[i];
            for (int k = i; k > pvIndex; k--) list[k] = list[k - 1];
            list[pvIndex] = chosen;
            best = s;
        }
        if (StopFlag()) return;
    }
}
