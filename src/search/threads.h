// The pool of search threads, the start of a search, the per-thread iterative
// deepening, the published result and the counter totals.
#pragma once

#include "search/search_thread.h"
#include "search/time_control.h"

// Creates n detached search threads (1..64) and waits until each has its
// context; 0 on success, else the thread-creation error.
int StartThreads(int n);
// Ends every search thread (stop flag 99) and waits for them.
void StopThreads();
// Sum of the state bytes of the search threads: 0 when all are idle.
int BusyCount();
// Number of search threads in the pool.
int PoolSize();
// Hands thread i (1..N) the prepared search.
void MarkThreadBusy(int i);

// Clears the published result, sets the time target and copies the game
// position into every search thread. Called after the limits are set and
// before the threads are marked busy.
void PrepareSearch();
// Sums the counters of the search threads into the global totals.
void SumCounters();
// Offers a thread's result to the published record (the main thread only).
void PublishResult(SearchThread* t);

// The thread whose completion ends a search and which alone publishes:
// search thread 1, or the console's context when a tool searches on the
// calling thread.
extern SearchThread* primaryThread;
inline bool IsPrimary(const SearchThread* t) { return t == primaryThread; }

// One complete search of a thread over its copy of the game position.
void ThreadSearch(SearchThread* t);
// The same search run on the calling thread with thread 0's context (the
// position must already be in thread 0); used by single-threaded tools.
void SearchOnCallingThread();

// The score of the thread's root position at depth 0: the root evaluation,
// then the captures and checks below it. The thread must not be searching.
int RootQuiescence(SearchThread* t);
// The root's static evaluation (traced for the evaluation report) and its
// quiescence score, as the first search thread computes them with depth limit
// 0. No search may be running.
void RootEvalAndQuiescence(int* eval, int* qscore);
