#include "shell/help.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "book/book.h"
#include "book/book_build.h"
#include "build_info.h"
#include "shell/output.h"

namespace {

struct SwitchHelp {
    const char* name;
    const char* value; // what the following word holds, or "" when none follows
    const char* effect;
};

// Every switch the program knows, in the order the usage text lists them.
const SwitchHelp SWITCHES[] = {
    {"-uci", "", "speak UCI on standard input and output (the default)"},
    {"-c", "", "console mode: commands for people (type help there)"},
    {"-nolog", "", "write no log file (vesk.log)"},
    {"-quiet", "", "no log file and no search reports"},
    {"-noise", "SECONDS", "print search reports only after SECONDS of a search"},
    {"-uci_extra", "", "tag each UCI info line with its search thread"},
    {"-d", "DEPTH", "search every move to a fixed depth (at most 66)"},
    {"-t", "SECONDS", "search every move for a fixed time"},
    {"-n", "NODES", "search every move for a fixed number of nodes"},
    {"-hash", "MB", "hash table size in megabytes, 0..8192 (default 64)"},
    {"-threads", "N", "search threads, 1..64 (default 1)"},
    {"-bench", "", "benchmark: 10 positions to depth 17, node count and speed"},
    {"-bench2", "", "the same benchmark over 20 positions"},
    {"-pbench", "", "the benchmark searched by the main thread alone"},
    {"-anepd", "FILE", "solve the positions of an EPD test suite, report, exit"},
    {"-scan_pgn1", "FILE", "PGN games with scores: annotated listing into tmp.pgn"},
    {"-scan_pgn2", "FILE", "PGN games: positions labelled with the result, tmp.epd"},
    {"-scan_pgn3", "FILE", "PGN games: positions with their scores, tmp.epd"},
    {"-scan_pgn4", "FILE", "PGN games: rook-and-pawn endings, tmp.epd"},
    {"-match", "FILE", "self-play match, test1.rc against vesk.rc, games to FILE"},
    {"-tune", "FILE", "tune material and mobility values on an EPD file"},
};

const SwitchHelp* FindSwitch(const char* word) {
    for (const SwitchHelp& s : SWITCHES)
        if (strcmp(s.name, word) == 0) return &s;
    return nullptr;
}

void PrintUsage() {
    printf("Usage: vesk [SWITCH]...        UCI chess engine on standard input and output\n"
           "       vesk -c [SWITCH]...     console mode for people\n"
           "       vesk bench [SWITCH]...  benchmark ending in \"<nodes> nodes <nps> nps\"\n"
           "\n");
    char left[32];
    for (const SwitchHelp& s : SWITCHES) {
        snprintf(left, sizeof left, "%s%s%s", s.name, s.value[0] ? " " : "", s.value);
        printf("  %-18s %s\n", left, s.effect);
    }
    printf("  %-18s %s\n", "-h, --help", "show this text and exit");
    printf("  %-18s %s\n", "-v, --version", "show the version and build and exit");
    printf("\n"
           "Switches override the settings file vesk.rc. vesk.rc, the book vesk.opn and\n"
           "the log vesk.log are looked up in the current directory.\n"
           "More: man vesk (or man ./docs/vesk.6) and README.md.\n");
}

void PrintVersion() {
#if defined(__clang__)
    const char* compiler = "clang " __clang_version__;
#elif defined(__GNUC__)
    const char* compiler = "gcc " __VERSION__;
#else
    const char* compiler = "an unknown compiler";
#endif
    printf("%s\n", VESK_NAME_VERSION);
    if (VESK_COMMIT[0])
        printf("built with %s from commit %s\n", compiler, VESK_COMMIT);
    else
        printf("built with %s (commit unknown)\n", compiler);
}

int CommandLineError(const char* format, const char* word) {
    fprintf(stderr, "vesk: ");
    fprintf(stderr, format, word);
    fprintf(stderr, "\nTry 'vesk --help' for the list of switches.\n");
    return 2;
}

bool LooksLikeCoordinateMove(const char* t) {
    size_t n = strlen(t);
    if (n < 4 || n > 6) return false;
    for (int i = 0; i < 4; i += 2)
        if (t[i] < 'a' || t[i] > 'h' || t[i + 1] < '1' || t[i + 1] > '8') return false;
    if (n == 4) return true;
    const char* promotion = t[4] == '=' ? t + 5 : t + 4;
    return strlen(promotion) == 1 && strchr("qrbnQRBN", promotion[0]);
}

// Standard algebraic shapes: "e4", "exd5", "Nf3", "Nbd7", "R1e2", "Qh4xe1",
// "e8=Q", castling; check and annotation marks at the end are allowed.
bool LooksLikeAlgebraicMove(const char* t) {
    char s[40];
    size_t n = 0;
    while (t[n] && n < sizeof s - 1 && !strchr("+#!?", t[n])) s[n] = t[n], n++;
    s[n] = 0;
    if (!n) return false;
    static const char* const CASTLING[] = {"O-O", "O-O-O", "0-0", "0-0-0"};
    for (const char* castle : CASTLING)
        if (strcmp(s, castle) == 0) return true;
    const char* p = s;
    if (strchr("KQRBN", *p)) p++;
    // The target square is the last file-rank pair before an optional promotion.
    const char* end = s + n;
    if (end - s >= 2 && strchr("QRBNqrbn", end[-1])) end -= end[-2] == '=' ? 2 : 1;
    if (end - p < 2 || end[-2] < 'a' || end[-2] > 'h' || end[-1] < '1' || end[-1] > '8')
        return false;
    for (const char* c = p; c < end - 2; c++)
        if (!((*c >= 'a' && *c <= 'h') || (*c >= '1' && *c <= '8') || *c == 'x')) return false;
    return end - p <= 5;
}

} // namespace

int CheckCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; i++) {
        const char* word = argv[i];
        if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (strcmp(word, "--version") == 0 || strcmp(word, "-v") == 0) {
            PrintVersion();
            return 0;
        }
    }
    for (int i = 1; i < argc; i++) {
        const char* word = argv[i];
        if (strcmp(word, "bench") == 0) {
            if (i == 1) continue;
            return CommandLineError("'%s' must be the first word", word);
        }
        const SwitchHelp* s = FindSwitch(word);
        if (!s && word[0] == '-') return CommandLineError("unknown switch '%s'", word);
        if (!s) return CommandLineError("unexpected word '%s' (switches start with '-')", word);
        if (s->value[0]) {
            if (i + 1 >= argc) return CommandLineError("switch '%s' needs a value after it", word);
            i++;
        }
    }
    return -1;
}

void PrintConsoleGreeting() {
    PrintLine(VESK_NAME_VERSION " console: type help for the commands, quit to leave");
}

void PrintConsoleHelp() {
    static const char* const LINES[] = {
        "Game",
        "  new                   start position",
        "  fen FEN               set up a position",
        "  e2e4, Nf3, O-O        play a move (also: move e2e4); the engine does not answer",
        "  undo or [             take back a move",
        "  ]                     replay a taken-back move",
        "  jump N                go to the position after N plies of the game",
        "  bd                    show the board",
        "  edit                  place pieces by hand (type . to end)",
        "  load FILE [GAME]      load a game from a PGN file (number or text of a tag)",
        "  save                  append the game to tmp.pgn",
        "  get ID                set up the position with id \"ID\" from test.epd",
        "Search",
        "  go [DEPTH] or an      analyse until . (or to DEPTH)",
        "  .                     stop the analysis",
        "  mv                    search the position under the current level, don't play",
        "  self                  the engine plays both sides",
        "  level MOVES TIME INC  MOVES in TIME (0: whole game, 1: per move), INC increment",
        "  depth N               depth limit for searches",
        "  multipv N             number of best lines shown",
        "  ponder N              1 ponder, 0 don't",
        "  noise SECONDS         show search reports only after SECONDS",
        "  hash N                0 hash off, 1 cleared before each analysis, 2 kept",
        "Book",
        "  book                  the book moves of this position",
        "  mkbook                build book.opn from the games in book.pgn",
        "Inspection",
        "  ev                    evaluation breakdown",
        "  sp                    evaluation parameters",
        "  pv                    principal variation from the hash table",
        "  perft N               count the move paths of depth N",
        "  swap                  static exchange values of the occupied squares",
        "  lmr                   late-move reduction tables",
        "  trace N               write the search tree to ply N into trace.txt (0 off)",
        "  tag                   report when the search reaches this position",
        "  debug N               1 shows the evaluation instead of the board",
        "  set NAME VALUE        set a search setting; set alone restores all settings",
        "  tune NAME             tune one evaluation parameter on tune.epd",
        "Other",
        "  uci                   switch to the UCI protocol for good",
        "  help                  this list",
        "  quit                  leave",
    };
    for (const char* line : LINES) PrintLine(line);
}

void ReportUnplayableMove(const char* text, int matches) {
    if (matches >= 2)
        PrintLine("ambiguous move");
    else if (LooksLikeCoordinateMove(text) || LooksLikeAlgebraicMove(text))
        PrintLineF("illegal move: %s", text);
    else if (text[0])
        PrintLineF("unknown command or move: %s (type help for the commands)", text);
    else
        PrintLine("no move given (example: move e2e4)");
}

void ReportBuiltBook(bool built) {
    if (!built) return; // the builder has said why
    char directory[1024];
    if (!getcwd(directory, sizeof directory)) snprintf(directory, sizeof directory, ".");
    FILE* f = fopen("book.opn", "rb");
    if (!f) {
        PrintLineF("no book built: book.opn could not be written in %s", directory);
        return;
    }
    fseek(f, 0, SEEK_END);
    long positions = ftell(f) / BOOK_RECORD_BYTES;
    fclose(f);
    PrintLineF("book written to %s/book.opn: %ld positions (each seen in at least %d games)",
               directory, positions, BUILD_MIN_GAMES);
    PrintLine("to play from it: rename it to vesk.opn (or add the line 'VeskBook book.opn' to "
              "vesk.rc), restart the engine, and switch the OwnBook option on");
}
