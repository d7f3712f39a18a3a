// Building the opening book from PGN games ("mkbook").
#pragma once

#include "book/book.h"

struct SearchThread;

constexpr int BUILD_BUFFER_RECORDS = 20000;
constexpr int BUILD_PLY_LIMIT = 50;     // plies of each game that are counted
constexpr int BUILD_FLUSH_GAMES = 200;  // games per sorted run
constexpr int BUILD_MERGE_GAMES = 5000; // games per merge into the book
constexpr int BUILD_MIN_GAMES = 9;      // fewer games and a position is pruned
constexpr int BUILD_LINE_CHARS = 254;   // longer lines are read in pieces

// The files of a build; the defaults are the names in the current directory.
struct BookBuildFiles {
    const char* pgn = "book.pgn";      // games read
    const char* book = "book.opn";     // book written
    const char* tmp = "tmp.opn";       // sorted run of the records flushed so far
    const char* merged = "tmp__0.opn"; // merge output before it is renamed
};

// Builds files.book from files.pgn on the game position of thread 0, which t
// must be (moves are read on the console's position). Probing stays off until
// the book is opened again. Returns 1 when the games could be read (a book was
// built), 0 when nothing was done.
int BuildBook(SearchThread* t, const BookBuildFiles& files = BookBuildFiles());
// Merges the sorted buffer of count records into files.tmp; prints ".".
void FlushRuns(const BookBuildFiles& files, const BookRecord* buffer, int count);
// Merges files.tmp into files.book.
void MergeIntoBook(const BookBuildFiles& files);
// Console "mkbook".
// The console's "mkbook"; returns what BuildBook returns.
int MakeBookCommand();
