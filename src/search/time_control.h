// Clock state of the game and of the running search.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int SEARCH_IDLE = 0;
constexpr int SEARCH_NORMAL = 1;
constexpr int SEARCH_PONDER = 2;
constexpr int SEARCH_ANALYSIS = 3;

struct TimeState {
    int mode = 1; // 0 whole game, 1 fixed time per move, N moves per control
    double fixedTime = 5.0;
    double clock[2] = {5.0, 5.0};
    double increment = 0;
    int movesLeft = 0;
    double overhead = 0.025;
    double target = 1.0;
    double elapsed = 0;
    double startTime = 0;
    int ponderOption = 1;
};

extern TimeState timeState;
// 0 idle; while a search is prepared and runs: 1 normal, 2 pondering, 3 console analysis.
extern std::atomic<uint8_t> searchMode;

double Now(); // monotonic seconds
void SleepMilliseconds(int ms);
void StartClock();
void UpdateElapsed();

struct SearchThread;

// Target time of the coming search from the clock state (part of PrepareSearch).
void SetTarget();
// Run by the main thread on every pass of its loop: may set the stop flag.
void TimeCheck();
// Run by the main search thread after each iteration (single line only).
void EasyMoveUpdate(SearchThread* t, int depth);
