// Opening book building: PGN games are replayed, every position of their
// opening plies is counted in a sorted buffer, the buffer is flushed into a
// sorted run file, runs are merged into the book, rare positions are pruned.
#include "book/book_build.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "board/notation.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "shell/engine.h"
#include "shell/output.h"

namespace {

enum GameResult { WHITE_WON = 0, BLACK_WON = 1, DRAWN = 2 };

// Progress marks share a line, so they bypass the whole-line output.
void Progress(const char* text) {
    fputs(text, stdout);
    fflush(stdout);
}

// One sorted input of a merge: a record file or an array of records.
struct RecordSource {
    FILE* file;
    const BookRecord* array;
    int remaining;
    BookRecord current;
    bool valid;
};

void Advance(RecordSource& s) {
    if (s.file) {
        s.valid = ReadBookRecord(s.file, s.current);
    } else if (s.array && s.remaining > 0) {
        s.current = *s.array++;
        s.remaining--;
        s.valid = true;
    } else {
        s.valid = false;
    }
}

uint16_t CappedSum(int a, int b) {
    int sum = a + b;
    return uint16_t(sum > BOOK_COUNT_CAP ? BOOK_COUNT_CAP : sum);
}

// Merges two inputs sorted in book order; equal keys become one record with
// the counts added (the other fields from the first input).
void MergeSources(RecordSource& first, RecordSource& second, FILE* out) {
    Advance(first);
    Advance(second);
    while (first.valid || second.valid) {
        int order = !second.valid  ? -1
                    : !first.valid ? 1
                                   : BookOrder(first.current.key16, first.current.key32,
                                               second.current.key16, second.current.key32);
        if (order < 0) {
            WriteBookRecord(out, first.current);
            Advance(first);
        } else if (order > 0) {
            WriteBookRecord(out, second.current);
            Advance(second);
        } else {
            BookRecord r = first.current;
            r.losses = CappedSum(r.losses, second.current.losses);
            r.wins = CappedSum(r.wins, second.current.wins);
            r.draws = CappedSum(r.draws, second.current.draws);
            WriteBookRecord(out, r);
            Advance(first);
            Advance(second);
        }
    }
}

struct BuildState {
    const BookBuildFiles* files;
    Position* pos;
    BookRecord* buffer;
    int count;
    int result;
    int skip;
    int commentDepth;
    int variationDepth;
};

// Counts the current position for the side that just moved.
void CountPosition(BuildState& s) {
    Position& p = *s.pos;
    BookKey k = BookKeyOf(p);
    uint16_t k16 = SidedKey16(k.raw16, p.side);
    // The side now to move did not make the move.
    int draw = s.result == DRAWN;
    int loss = !draw && s.result == p.side;

    int lo = 0, hi = s.count - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        BookRecord& r = s.buffer[mid];
        int order = BookOrder(k16, k.key32, r.key16, r.key32);
        if (order == 0) {
            uint16_t& field = draw ? r.draws : loss ? r.losses : r.wins;
            if (field < BOOK_COUNT_CAP) field++;
            return;
        }
        if (order > 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    // Cannot happen with the flush interval, but a full buffer must not overflow.
    if (s.count == BUILD_BUFFER_RECORDS) {
        FlushRuns(*s.files, s.buffer, s.count);
        s.count = 0;
        lo = 0;
    }
    memmove(s.buffer + lo + 1, s.buffer + lo, size_t(s.count - lo) * sizeof(BookRecord));
    BookRecord r = {k16, k.key32, uint16_t(loss), uint16_t(!draw && !loss), uint16_t(draw), 0};
    s.buffer[lo] = r;
    s.count++;
}

void ProcessToken(BuildState& s, char* token) {
    Position& p = *s.pos;
    if (s.skip || p.owner->historyCount >= BUILD_PLY_LIMIT) return;
    if (token[0] == '$' || token[0] == ';') return;
    if (!token[1]) {
        switch (token[0]) {
        case '{': s.commentDepth++; return;
        case '(': s.variationDepth++; return;
        // A stray closing bracket does not open anything.
        case '}':
            if (s.commentDepth > 0) s.commentDepth--;
            return;
        case ')':
            if (s.variationDepth > 0) s.variationDepth--;
            return;
        default: break;
        }
    }
    if (s.commentDepth > 0 || s.variationDepth > 0) return;
    // Move numbers such as "12." or "12..." go; castling written "0-0" stays.
    char* text = token;
    while (*text && !isalpha((unsigned char)*text) && !(text[0] == '0' && text[1] == '-')) text++;
    if (!*text) return;
    Move m;
    if (!ParseMove(text, &m)) {
        s.skip = 1;
        return;
    }
    MakeMove(p, m);
    CountPosition(s);
}

// Splits a line at blanks; each bracket is a token of its own and control
// characters vanish.
void ProcessLine(BuildState& s, const char* line) {
    char token[BUILD_LINE_CHARS + 2];
    int length = 0;
    auto flush = [&]() {
        if (!length) return;
        token[length] = 0;
        length = 0;
        ProcessToken(s, token);
    };
    for (const char* c = line; *c; c++) {
        unsigned char ch = (unsigned char)*c;
        if (ch < 32 || ch == 127) continue;
        if (ch == ' ') {
            flush();
        } else if (ch == '{' || ch == '}' || ch == '(' || ch == ')') {
            flush();
            char bracket[2] = {char(ch), 0};
            ProcessToken(s, bracket);
        } else {
            token[length++] = char(ch);
        }
    }
    flush();
}

void StartGame(BuildState& s, const char* line, int games) {
    SetFromFen(*s.pos, START_FEN);
    s.result = strstr(line, "1-0") ? WHITE_WON : strstr(line, "0-1") ? BLACK_WON : DRAWN;
    if (games % BUILD_FLUSH_GAMES == 0) {
        FlushRuns(*s.files, s.buffer, s.count);
        s.count = 0;
        if (games % BUILD_MERGE_GAMES == 0) MergeIntoBook(*s.files);
    }
    s.skip = 0;
    s.commentDepth = 0;
    s.variationDepth = 0;
}

// Keeps the records seen in enough games.
void Prune(const BookBuildFiles& files) {
    FILE* in = fopen(files.book, "rb");
    if (!in) return;
    FILE* out = fopen(files.tmp, "wb");
    if (!out) {
        fclose(in);
        return;
    }
    Progress("pruning...");
    BookRecord r;
    while (ReadBookRecord(in, r))
        if (r.losses + r.wins + r.draws >= BUILD_MIN_GAMES) WriteBookRecord(out, r);
    fclose(in);
    fclose(out);
    remove(files.book);
    rename(files.tmp, files.book);
    Progress("\n");
}

} // namespace

void FlushRuns(const BookBuildFiles& files, const BookRecord* buffer, int count) {
    FILE* out = fopen(files.merged, "wb");
    if (!out) return;
    RecordSource run = {fopen(files.tmp, "rb"), nullptr, 0, {}, false};
    RecordSource fresh = {nullptr, buffer, count, {}, false};
    MergeSources(run, fresh, out);
    if (run.file) fclose(run.file);
    fclose(out);
    remove(files.tmp);
    rename(files.merged, files.tmp);
    Progress(".");
}

void MergeIntoBook(const BookBuildFiles& files) {
    FILE* runFile = fopen(files.tmp, "rb");
    if (!runFile) return;
    FILE* out = fopen(files.merged, "wb");
    if (!out) {
        fclose(runFile);
        return;
    }
    Progress("\nmerging...");
    RecordSource book = {fopen(files.book, "rb"), nullptr, 0, {}, false};
    RecordSource run = {runFile, nullptr, 0, {}, false};
    MergeSources(book, run, out);
    if (book.file) fclose(book.file);
    fclose(runFile);
    fclose(out);
    remove(files.book);
    remove(files.tmp);
    rename(files.merged, files.book);
    Progress("\n");
}

int BuildBook(SearchThread* t, const BookBuildFiles& files) {
    // Moves are read on the console's position, so only its thread can build.
    if (!t || t != searchState.threads[0]) return 0;
    // Without games to read, the book in use and the one on disk stay as they are.
    FILE* in = fopen(files.pgn, "r");
    if (!in) {
        PrintLineF("can't open %s: no book built", files.pgn);
        return 0;
    }
    if (!EnsureBookKeyTable()) {
        fclose(in);
        return 0;
    }
    BookRecord* buffer =
        static_cast<BookRecord*>(malloc(BUILD_BUFFER_RECORDS * sizeof(BookRecord)));
    if (!buffer) {
        fclose(in);
        return 0;
    }
    options.bookFile[0] = 0;
    ReleaseBookBlock();
    remove(files.book);
    // Leftovers of an interrupted build would be merged into this one.
    remove(files.tmp);
    remove(files.merged);

    BuildState s = {&files, &t->pos, buffer, 0, DRAWN, 0, 0, 0};
    // Moves before the first game's result tag are read from the start position.
    SetFromFen(t->pos, START_FEN);
    int games = 0;
    char line[BUILD_LINE_CHARS + 2]; // the characters, the newline, the terminator
    while (fgets(line, sizeof line, in)) {
        size_t length = strlen(line);
        if (length && line[length - 1] == '\n') line[length - 1] = 0;
        if (strstr(line, "[Result")) {
            StartGame(s, line, ++games);
            continue;
        }
        if (s.commentDepth == 0 && (line[0] == '[' || line[0] == ';')) continue;
        ProcessLine(s, line);
    }
    fclose(in);
    FlushRuns(files, buffer, s.count);
    MergeIntoBook(files);
    free(buffer);
    Prune(files);
    PrintLine("done");
    SetFromFen(t->pos, START_FEN);
    return 1;
}

int MakeBookCommand() { return BuildBook(searchState.threads[0]); }
