// Definitions of the process-wide state shared by every subsystem.
#include <ctime>

#include "search/search_state.h"
#include "search/time_control.h"
#include "shell/engine.h"

EngineOptions options;
std::atomic<uint8_t> searchRequest{0};
std::atomic<uint8_t> quitFlag{0};
bool requestHold = false;
bool holdUntilStop = false;
int selfPlay = 0;
int tracePly = 0;
int debugFlag = 0;
uint64_t tagKey = 0;

SearchState searchState;
TimeState timeState;
std::atomic<uint8_t> searchMode{0};

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void SleepMilliseconds(int ms) {
    timespec ts = {0, ms * 1000000L};
    nanosleep(&ts, nullptr);
}

void StartClock() {
    timeState.startTime = Now();
    timeState.elapsed = 0;
}

void UpdateElapsed() { timeState.elapsed = Now() - timeState.startTime; }
