// Shared set-up for the evaluation tests: tables, defaults, evaluation
// threads and a colour flip of FEN texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "eval/eval_internal.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/search_state.h"
#include "search/search_thread.h"

inline const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

inline void ResetSettings() {
    SetDefaultSettings();
    RebuildTables();
}

inline void InitEvalForTests() {
    static bool done = false;
    if (done) return;
    done = true;
    InitBoardTables();
    InitZobristKeys();
    BuildKpk();
    ResetSettings();
    if (!searchState.threads[0]) searchState.threads[0] = NewSearchThread();
    // Slot 1 is the thread whose root evaluation is traced.
    if (!searchState.threads[1]) searchState.threads[1] = NewSearchThread();
}

// A thread of its own for plain (untraced) evaluations.
inline SearchThread* PlainThread() {
    static SearchThread* t = NewSearchThread();
    return t;
}

inline void SetPosition(SearchThread* t, const char* fen) {
    InitEvalForTests();
    ASSERT_EQ(SetFromFen(t->pos, fen), 1) << fen;
}

// Root evaluation of fen on thread t (no cache use, threats cleared).
inline int EvalOn(SearchThread* t, const char* fen) {
    InitEvalForTests();
    EXPECT_EQ(SetFromFen(t->pos, fen), 1) << fen;
    StackEntry& st = t->stack[1];
    st.threat[0] = st.threat[1] = 0;
    st.drawMark = 0;
    t->searchRunning = 0;
    return Evaluate(t, t->pos.side, 1, InCheck(t->pos, t->pos.side));
}

inline int EvalFen(const char* fen) { return EvalOn(PlainThread(), fen); }

// Traced root evaluation: fills evalTrace.
inline int TraceFen(const char* fen) {
    InitEvalForTests();
    ClearEvalTrace();
    return EvalOn(searchState.threads[1], fen);
}

// Evaluates fen, then reruns one step alone on the state the call left and
// returns what that step added for colour c (op, en).
template <typename Step> ScorePair StepOnly(const char* fen, int c, Step step) {
    SearchThread* t = PlainThread();
    t->eval.pawns = nullptr;
    EvalOn(t, fen);
    // Recognised endings return before the steps run.
    EXPECT_NE(t->eval.pawns, nullptr) << fen;
    if (!t->eval.pawns) return {0, 0};
    EvalContext x{t, t->pos, t->eval, t->stack[1], t->pos.side, false};
    t->stack[1].threat[0] = t->stack[1].threat[1] = 0;
    for (int i = 0; i < 2; i++) t->eval.posOp[i] = t->eval.posEn[i] = 0;
    step(x);
    return {int16_t(t->eval.posOp[c]), int16_t(t->eval.posEn[c])};
}

// The position mirrored top to bottom with the colours exchanged.
inline std::string FlipFen(const std::string& fen) {
    std::string fields[4];
    size_t pos = 0;
    for (int i = 0; i < 4; i++) {
        while (pos < fen.size() && fen[pos] == ' ') pos++;
        size_t end = fen.find(' ', pos);
        if (end == std::string::npos) end = fen.size();
        fields[i] = fen.substr(pos, end - pos);
        pos = end;
    }
    std::string ranks[8];
    int r = 0;
    for (char ch : fields[0]) {
        if (ch == '/')
            r++;
        else if (r < 8)
            ranks[r] += char(isupper(ch) ? tolower(ch) : toupper(ch));
    }
    std::string board;
    for (int i = 7; i >= 0; i--) {
        board += ranks[i];
        if (i) board += '/';
    }
    std::string side(1, fields[1] == "w" ? 'b' : 'w');
    std::string castling;
    if (fields[2] == "-" || fields[2].empty()) {
        castling.push_back('-');
    } else {
        for (char ch : std::string("KQkq")) {
            char swapped = char(isupper(ch) ? tolower(ch) : toupper(ch));
            if (fields[2].find(swapped) != std::string::npos) castling += ch;
        }
    }
    char ep[3] = "-";
    if (fields[3].size() == 2) {
        ep[0] = fields[3][0];
        ep[1] = char('1' + ('8' - fields[3][1]));
        ep[2] = 0;
    }
    std::string out = board;
    out.append(1, ' ').append(side).append(1, ' ').append(castling).append(1, ' ').append(ep);
    return out;
}
