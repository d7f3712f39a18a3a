#include "search/strength.h"

#include <cmath>

#include "search/search_state.h"
#include "search/threads.h"

namespace {

constexpr int MAX_LINES = 8;

struct Limiter {
    bool active = false;
    StrengthPlan plan{};
    int savedMultiPv = 1;
    int raisedMultiPv = 1;
    // The lines of the deepest depth searched to the end.
    int depth = 0;
    int count = 0;
    Move moves[MAX_LINES];
    int scores[MAX_LINES];
};

Limiter limiter;
uint64_t generator = 0x9E3779B97F4A7C15ull;

// splitmix64: a full-period 64-bit sequence from any seed.
uint64_t NextRandom() {
    uint64_t z = (generator += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1).
double NextUnit() { return double(NextRandom() >> 11) * (1.0 / 9007199254740992.0); }

} // namespace

StrengthPlan PlanForElo(int elo) {
    // Points measured against Stockfish's own limit at the same Elo in games of
    // 10 s + 0.1 s; in between, the node budget grows geometrically and the rest
    // linearly. The top of the range is the full strength: one line, no budget.
    struct Anchor {
        int elo;
        double nodes, temperature, maxLoss;
    };
    static const Anchor anchors[] = {{1000, 3500, 125, 340},
                                     {1500, 12500, 86, 240},
                                     {2000, 150000, 15, 60},
                                     {STRENGTH_ELO_MAX, 2000000, 5, 30}};
    StrengthPlan plan;
    if (elo >= STRENGTH_ELO_MAX) {
        plan.lines = 1;
        plan.nodes = 0;
        plan.temperature = 1;
        plan.maxLoss = 0;
        return plan;
    }
    if (elo < STRENGTH_ELO_MIN) elo = STRENGTH_ELO_MIN;
    int i = 0;
    while (anchors[i + 1].elo < elo) i++;
    const Anchor &lo = anchors[i], &hi = anchors[i + 1];
    double f = double(elo - lo.elo) / (hi.elo - lo.elo);
    plan.lines = 4;
    plan.nodes = uint64_t(std::llround(lo.nodes * std::pow(hi.nodes / lo.nodes, f)));
    plan.temperature = lo.temperature + f * (hi.temperature - lo.temperature);
    plan.maxLoss = int(std::lround(lo.maxLoss + f * (hi.maxLoss - lo.maxLoss)));
    return plan;
}

void StrengthSetSeed(uint64_t seed) { generator = seed; }

bool StrengthActive() { return limiter.active; }

void StrengthBeginSearch(const StrengthPlan& plan, bool capNodes) {
    limiter.active = true;
    limiter.plan = plan;
    if (!capNodes) limiter.plan.nodes = 0;
    limiter.depth = limiter.count = 0;
    limiter.savedMultiPv = searchState.multiPv;
    int lines = plan.lines < MAX_LINES ? plan.lines : MAX_LINES;
    limiter.raisedMultiPv = searchState.multiPv > lines ? searchState.multiPv : lines;
    searchState.multiPv = limiter.raisedMultiPv;
}

void StrengthCapNodes() {
    if (!limiter.active || !limiter.plan.nodes) return;
    for (int i = 0; i <= MAX_THREADS; i++) {
        SearchThread* t = searchState.threads[i];
        if (t && t->nodeLimit > limiter.plan.nodes) t->nodeLimit = limiter.plan.nodes;
    }
}

void StrengthNoteLines(const SearchThread* t, int depth, int count) {
    if (!limiter.active || depth <= limiter.depth) return;
    const MoveEntry* list = t->stack[1].listStart;
    if (count > MAX_LINES) count = MAX_LINES;
    for (int k = 0; k < count; k++) {
        limiter.moves[k] = list[k].move;
        limiter.scores[k] = int16_t(list[k].score); // root entries keep their score there
    }
    limiter.count = count;
    limiter.depth = depth;
}

Move StrengthEndSearch(int* score, int* depth) {
    if (!limiter.active) return 0;
    limiter.active = false;
    // A MultiPV changed during the search stays as it was set.
    if (searchState.multiPv == limiter.raisedMultiPv) searchState.multiPv = limiter.savedMultiPv;
    const StrengthPlan& plan = limiter.plan;
    int best = limiter.scores[0];
    // A single candidate or a mate in hand leaves the search's own move.
    if (limiter.count < 2 || best >= 9000) return 0;
    double weights[MAX_LINES], total = 0;
    for (int k = 0; k < limiter.count; k++) {
        int loss = best - limiter.scores[k];
        weights[k] = loss > plan.maxLoss ? 0 : std::exp(-loss / plan.temperature);
        total += weights[k];
    }
    double r = NextUnit() * total;
    int chosen = 0;
    for (int k = 0; k < limiter.count; k++) {
        if (weights[k] <= 0) continue;
        chosen = k;
        if (r < weights[k]) break;
        r -= weights[k];
    }
    // The best line leaves the search's own move, which may come from a deeper,
    // unfinished iteration.
    if (chosen == 0) return 0;
    *score = limiter.scores[chosen];
    *depth = limiter.depth;
    return limiter.moves[chosen];
}
