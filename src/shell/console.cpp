#include "shell/console.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/attacks.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/see.h"
#include "board/setup.h"
#include "board/zobrist.h"
#include "book/book.h"
#include "book/book_build.h"
#include "eval/report.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/time_control.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/engine_hooks.h"
#include "shell/help.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/tuner.h"
#include "tools/pgn_write.h"

int (*consoleLineSource)(char* buffer, int size) = nullptr;

namespace {

constexpr int MAX_WORDS = 10;
constexpr int WORD_CHARS = 127;

struct Words {
    char w[MAX_WORDS][WORD_CHARS + 1];
};

void SplitWords(const char* line, Words& words) {
    memset(&words, 0, sizeof words);
    const char* s = line;
    for (int i = 0; i < MAX_WORDS; i++) {
        while (*s == ' ' || *s == '\t') s++;
        if (!*s) break;
        int n = 0;
        while (*s && *s != ' ' && *s != '\t') {
            if (n < WORD_CHARS) words.w[i][n++] = *s; // longer words are cut
            s++;
        }
    }
}

SearchThread* Game() { return searchState.threads[0]; }
Position& GamePos() { return searchState.threads[0]->pos; }

// Game moves are not search plies: the game position stays at the root ply.
void PlayGameMove(Move m) {
    MakeMove(GamePos(), m);
    Game()->ply = 1;
}

void TakeBackGameMove() {
    UnmakeMove(GamePos());
    Game()->ply = 1;
}

// The number of the move about to be played, counted from the set-up position's
// own move number.
int GameMoveNumber() { return (Game()->startPly + Game()->historyCount) / 2 + 1; }

// The moves beyond the current point are forgotten.
void EndRedoChain() { Game()->history[Game()->historyCount].move = 0; }

void ResetClocks() { timeState.clock[WHITE] = timeState.clock[BLACK] = timeState.fixedTime; }

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// "5:00" is minutes and seconds, anything else seconds.
double ParseTime(const char* text) {
    const char* colon = strchr(text, ':');
    if (colon) return ReadDecimal(text) * 60 + ReadDecimal(colon + 1);
    return ReadDecimal(text);
}

void CommandLevel(const Words& a) {
    // The moves of a control are kept in a byte.
    int moves = Clamp(ReadInteger(a.w[1]), 0, 255);
    double time = ParseTime(a.w[2]);
    double increment = ReadDecimal(a.w[3]);
    timeState.mode = moves;
    timeState.fixedTime = time;
    timeState.increment = increment;
    timeState.clock[WHITE] = timeState.clock[BLACK] = time;
    PrintLineF("set level to %d moves in %0.2f seconds, inc %0.2f", moves, time, increment);
}

void CommandGet(const Words& a) {
    SetStop(STOP_ABANDON);
    FILE* f = fopen("test.epd", "r");
    if (!f) {
        PrintLine(a.w[0]);
        return;
    }
    char wanted[WORD_CHARS + 8];
    snprintf(wanted, sizeof wanted, "id \"%s\"", a.w[1]);
    char line[256];
    bool found = false;
    while (fgets(line, sizeof line, f)) {
        if (line[0] == ' ' || line[0] == ';') continue;
        if (strstr(line, wanted)) {
            found = true;
            break;
        }
    }
    fclose(f);
    if (!found) line[0] = 0;
    line[strcspn(line, "\r\n")] = 0;
    PrintLine(line);
    if (strlen(line) > 8) SetFromFen(GamePos(), line);
    PrintBoard(GamePos());
    ShellClearHash();
}

void CommandUndo() {
    SetStop(STOP_ABANDON);
    if (Game()->historyCount > 0) TakeBackGameMove();
    ShowPosition();
}

void CommandRedo() {
    SetStop(STOP_ABANDON);
    SearchThread* g = Game();
    Move m = g->history[g->historyCount].move;
    if (!m || g->historyCount >= MAX_GAME_PLIES) return;
    char text[16];
    MoveToText(m, text);
    PrintLineF("%d%s move %s", GameMoveNumber(), GamePos().side == WHITE ? "." : "...", text);
    PlayGameMove(m);
    ShowPosition();
}

void CommandJump(const Words& a) {
    SetStop(STOP_ABANDON);
    SearchThread* g = Game();
    int target = ReadInteger(a.w[1]);
    while (g->historyCount > 0) TakeBackGameMove();
    while (g->historyCount < target && g->historyCount < MAX_GAME_PLIES &&
           g->history[g->historyCount].move)
        PlayGameMove(g->history[g->historyCount].move);
    PrintBoard(GamePos());
}

// Drops brace comments (which nest and may span lines) from line in place.
void DropComments(char* line, int& depth) {
    char* o = line;
    for (const char* s = line; *s; s++) {
        if (*s == '{')
            depth++;
        else if (*s == '}')
            depth = depth > 0 ? depth - 1 : 0;
        else if (depth == 0)
            *o++ = *s;
    }
    *o = 0;
}

// Plays the move tokens of one PGN text line; 0 when a token does not parse.
int PlayPgnLine(char* line) {
    for (char* token = strtok(line, " \t\r"); token; token = strtok(nullptr, " \t\r")) {
        while (*token && !isalpha(static_cast<unsigned char>(*token))) token++;
        if (!*token) continue; // move numbers, results, "*"
        char text[33];
        snprintf(text, sizeof text, "%s", token);
        Move m;
        if (Game()->historyCount >= MAX_GAME_PLIES || !ParseMove(text, &m)) {
            PrintLineF("can't parse move '%s'", text);
            return 0;
        }
        PlayGameMove(m);
    }
    return 1;
}

// The number of the first game with a line containing text, or 0.
int FindGame(FILE* f, const char* text, int firstGame) {
    char line[1024];
    int game = firstGame;
    while (fgets(line, sizeof line, f)) {
        if (strstr(line, "[Event ")) game++;
        if (game > 0 && strstr(line, text)) return game;
    }
    return 0;
}

void CommandLoad(const Words& a) {
    PrintLineF("loading %s, tag %s\n", a.w[1], a.w[2]);
    FILE* f = fopen(a.w[1], "r");
    if (!f) {
        PrintLineF("can't open %s", a.w[1]);
        ResetClocks();
        return;
    }
    SetStop(STOP_ABANDON);
    SetFromFen(GamePos(), START_FEN);

    // A file without event tags holds one game.
    char line[1024];
    int firstGame = 1;
    while (fgets(line, sizeof line, f))
        if (strstr(line, "[Event ")) firstGame = 0;
    rewind(f);

    int wanted = 1;
    const char* tag = a.w[2];
    if (isdigit(static_cast<unsigned char>(tag[0]))) {
        int n = ReadInteger(tag);
        wanted = n >= 1 && n <= 1000 ? n : 1;
    } else if (tag[0]) {
        wanted = FindGame(f, tag, firstGame);
        rewind(f);
    }

    int game = firstGame;
    int braceDepth = 0;
    while (wanted && fgets(line, sizeof line, f)) {
        if (strstr(line, "[Event ")) game++;
        if (game != wanted) continue;
        // A game that starts elsewhere names its position (as "save" writes it).
        if (strncmp(line, "[FEN \"", 6) == 0) {
            line[strcspn(line + 6, "\"") + 6] = 0;
            SetFromFen(GamePos(), line + 6);
        }
        if (line[0] == '[') continue;
        line[strcspn(line, "\r\n")] = 0;
        DropComments(line, braceDepth);
        if (!PlayPgnLine(line)) break;
    }
    fclose(f);
    EndRedoChain();
    PrintBoard(GamePos());
    ResetClocks();
}

// The game from its setup position as standard PGN, appended to tmp.pgn.
void CommandSave() {
    FILE* f = fopen("tmp.pgn", "a");
    if (!f) return;
    SearchThread* g = Game();
    Position& p = GamePos();
    int end = g->historyCount;
    // A finished game carries its result; one still in play is "*".
    const char* result = "*";
    if (!HasLegalMove(p))
        result = !InCheck(p, p.side) ? "1/2-1/2" : p.side == WHITE ? "0-1" : "1-0";
    while (g->historyCount > 0) TakeBackGameMove();
    char fen[128];
    GetFen(p, fen);
    bool standardStart = strcmp(fen, START_FEN) == 0 && g->startPly == 0;
    snprintf(fen + strlen(fen), sizeof fen - strlen(fen), " %d %d", p.halfmoveClock,
             g->startPly / 2 + 1);
    static char sans[MAX_HISTORY][16];
    static const char* moves[MAX_HISTORY];
    int count = 0;
    while (g->historyCount < end) {
        Move m = g->history[g->historyCount].move;
        MoveToSan(p, m, sans[count]);
        moves[count] = sans[count];
        count++;
        PlayGameMove(m);
    }
    char date[11];
    PgnToday(date);
    PgnTags tags = {"Unknown", date, 0, "?", "?", result, standardStart ? nullptr : fen};
    WritePgnGame(f, tags, g->startPly, moves, nullptr, count);
    fclose(f);
}

int ReadEditLine(char* buffer, int size) {
    if (consoleLineSource && consoleLineSource(buffer, size)) return 1;
    // Unbuffered, so that the lines behind "." stay for the command input.
    static bool unbuffered = false;
    if (!unbuffered) {
        setvbuf(stdin, nullptr, _IONBF, 0);
        unbuffered = true;
    }
    if (!fgets(buffer, size, stdin)) return 0;
    buffer[strcspn(buffer, "\r\n")] = 0;
    return 1;
}

// "Pa2": puts a piece of colour on a square; 0 when the square is off the board.
int EditPiece(Position& p, int colour, const char* word) {
    if (!word[0]) return 1;
    if (word[1] < 'a' || word[1] > 'h' || word[2] < '1' || word[2] > '8') return 0;
    const char* letter = strchr(WhiteLetters + 1, toupper(static_cast<unsigned char>(word[0])));
    if (!letter || !*letter) return 1;
    int sq = (word[1] - 'a') + 8 * (word[2] - '1');
    int code = PieceCode(colour, int(letter - WhiteLetters));
    if (p.board[sq]) RemovePiece(p, sq);
    // The piece lists hold nine pieces of one kind.
    int count = 0;
    while (p.pieceList[code][count] != NO_SQUARE) count++;
    if (count >= 9) return 1;
    AddPiece(p, code, sq);
    return 1;
}

void CommandEdit() {
    PrintLine("");
    PrintLine(".                    end edit");
    PrintLine("#                    clear board");
    PrintLine("w  Pa2 Pb2 Kc2       white, pieces");
    PrintLine("b  Pa7 Pb7 Kc7       black, pieces");
    SetStop(STOP_ABANDON);
    SearchThread* g = Game();
    Position& p = GamePos();
    // Kept to return to when the edited position cannot be played.
    static UndoRecord savedHistory[MAX_HISTORY];
    Position saved = p;
    memcpy(savedHistory, g->history, sizeof savedHistory);
    uint16_t savedCount = g->historyCount, savedPly = g->ply;
    Move savedLast = g->lastMove;

    int colour = p.side;
    char line[80];
    while (ReadEditLine(line, 78)) {
        line[strcspn(line, "\r\n")] = 0;
        if (!line[0]) continue;
        if (line[0] == '.') break;
        if (line[0] == '#') {
            ClearPosition(p);
            p.castling = CASTLE_WK | CASTLE_WQ | CASTLE_BK | CASTLE_BQ;
            continue;
        }
        if (line[0] != 'w' && line[0] != 'b') continue;
        colour = line[0] == 'w' ? WHITE : BLACK;
        p.side = uint8_t(colour);
        char* word = strtok(line, " \t");
        while ((word = strtok(nullptr, " \t")))
            if (!EditPiece(p, colour, word)) break;
    }
    DropImpossibleCastling(p);
    p.epSquare = NO_SQUARE; // an edited position starts without a double push behind it
    ComputeKeys(p);
    ResetHistory(p);
    if (const char* problem = PositionProblem(p)) {
        PrintLineF("Illegal position: %s", problem);
        p = saved;
        memcpy(g->history, savedHistory, sizeof savedHistory);
        g->historyCount = savedCount;
        g->ply = savedPly;
        g->lastMove = savedLast;
    }
    PrintBoard(p);
}

void CommandPerft(const Words& a) {
    int depth = Clamp(ReadInteger(a.w[1]), 0, 20);
    SearchThread* g = Game();
    Position& p = g->pos;
    PrepareSearch(); // resets the node counters
    StartClock();
    double start = timeState.startTime;
    // The count makes its moves on the game's history: keep the redo chain.
    static UndoRecord kept[24];
    int hc = g->historyCount;
    memcpy(kept, g->history + hc, sizeof kept);
    if (depth > 0) {
        MoveEntry* list = GenAllMoves(p);
        for (MoveEntry* e = list; e->move != END_OF_LIST; e++) {
            if (!e->move || !IsLegal(p, p.side, e->move)) continue;
            uint64_t before = g->nodes;
            if (depth == 1) {
                g->nodes++;
            } else {
                MakeMove(p, e->move);
                Perft(p, p.side, g->ply, depth - 1);
                UnmakeMove(p);
            }
            char text[16];
            MoveToText(e->move, text);
            PrintLineF("%s: %llu", text, static_cast<unsigned long long>(g->nodes - before));
        }
    }
    memcpy(g->history + hc, kept, sizeof kept);
    double elapsed = Now() - start;
    double nodes = double(g->nodes);
    PrintLineF("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, elapsed,
               nodes / (elapsed + 0.001));
}

void CommandSwap() {
    Position& p = GamePos();
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int value = Swap(p, ColourOf(code) ^ 1, NO_SQUARE, sq);
        if (value) printf("sq= %s, swap= %d\n", SquareNames[sq], value);
    }
    fflush(stdout);
}

void CommandMove(const char* text) {
    Move m;
    int matches = MoveTextMatches(text, &m);
    if (matches != 1) {
        ReportUnplayableMove(text, matches);
        return;
    }
    SetStop(STOP_ABANDON);
    while (ShellBusyCount() > 0) SleepMilliseconds(1);
    SearchThread* g = Game();
    if (g->historyCount >= MAX_GAME_PLIES) return;
    char san[16];
    MoveToSan(GamePos(), m, san);
    PrintLineF("%d. move %s", GameMoveNumber(), san);
    PlayGameMove(m);
    EndRedoChain();
    ShowPosition();
}

void CommandAnalyse(const Words& a) {
    timeState.mode = 1;
    timeState.fixedTime = 99999;
    searchState.maxDepth = MAX_DEPTH;
    int depth = ReadInteger(a.w[1]);
    if (depth >= 1 && depth <= 65) searchState.maxDepth = depth;
    if (options.hashMode <= 1) ShellClearHash();
    searchRequest = 3;
}

// The line the table remembers from the game position, in algebraic notation.
void CommandPv() {
    Position& p = GamePos();
    char text[66 * 12 + 1] = "";
    size_t length = 0;
    int made = 0;
    while (made < 66) {
        TTEntry e = TTProbe(p);
        if (e.depth < 1 || !e.move) break;
        Move m = e.move;
        if (!IsLegalMove(p, m)) break;
        if (made > 0 && DrawTest(p, InCheck(p, p.side), 2)) break;
        char forms[4][32];
        MoveForms(p, m, forms[0], forms[1], forms[2], forms[3]);
        length += snprintf(text + length, sizeof text - length, "%s ", forms[1]);
        MakeMove(p, m);
        made++;
    }
    printf("PV: %s\n\n", text);
    fflush(stdout);
    ShowPosition();
    while (made-- > 0) UnmakeMove(p);
}

// The text of the line behind its command word and one blank.
const char* TextAfterCommand(const char* line) {
    while (*line == ' ' || *line == '\t') line++;
    while (*line && *line != ' ' && *line != '\t') line++;
    if (*line) line++;
    return line;
}

} // namespace

void ShowPosition() {
    if (debugFlag)
        EvalReport();
    else
        PrintBoard(GamePos());
}

void ConsoleCommand(const char* line) {
    if (!Game()) return;
    Words a;
    SplitWords(line, a);
    const char* cmd = a.w[0];
    if (!cmd[0]) return;

    if (strcmp(cmd, "new") == 0) {
        SetStop(STOP_ABANDON);
        SetFromFen(GamePos(), START_FEN);
        ResetClocks();
        PrintBoard(GamePos());
    } else if (strcmp(cmd, "fen") == 0) {
        SetStop(STOP_ABANDON);
        SetFromFen(GamePos(), TextAfterCommand(line));
        PrintBoard(GamePos());
    } else if (strcmp(cmd, "quit") == 0) {
        SetStop(STOP_ABANDON);
        quitFlag = 1;
    } else if (strcmp(cmd, "mv") == 0) {
        searchRequest = 1;
    } else if (strcmp(cmd, "go") == 0 || strcmp(cmd, "an") == 0) {
        CommandAnalyse(a);
    } else if (strcmp(cmd, ".") == 0) {
        SetStop(STOP_ABANDON);
    } else if (strcmp(cmd, "bd") == 0) {
        ShowPosition();
    } else if (strcmp(cmd, "level") == 0) {
        CommandLevel(a);
    } else if (strcmp(cmd, "depth") == 0) {
        searchState.maxDepth = Clamp(ReadInteger(a.w[1]), 1, MAX_DEPTH);
    } else if (strcmp(cmd, "ponder") == 0) {
        timeState.ponderOption = ReadInteger(a.w[1]);
    } else if (strcmp(cmd, "self") == 0) {
        timeState.ponderOption = 0;
        selfPlay = 1;
        searchRequest = 1;
    } else if (strcmp(cmd, "get") == 0) {
        CommandGet(a);
    } else if (strcmp(cmd, "noise") == 0) {
        searchState.reportDelay = ReadDecimal(a.w[1]);
    } else if (strcmp(cmd, "hash") == 0) {
        options.hashMode = ReadInteger(a.w[1]);
    } else if (strcmp(cmd, "tag") == 0) {
        tagKey = GamePos().key;
    } else if (strcmp(cmd, "ev") == 0) {
        EvalReport();
    } else if (strcmp(cmd, "sp") == 0) {
        ParamReport();
    } else if (strcmp(cmd, "pv") == 0) {
        CommandPv();
    } else if (strcmp(cmd, "trace") == 0) {
        tracePly = ReadInteger(a.w[1]);
    } else if (strcmp(cmd, "lmr") == 0) {
        PrintReductionTables();
    } else if (strcmp(cmd, "debug") == 0) {
        debugFlag = ReadInteger(a.w[1]);
    } else if (strstr(cmd, "multipv")) {
        searchState.multiPv = Clamp(ReadInteger(a.w[1]), 1, 255);
    } else if (strcmp(cmd, "undo") == 0 || strcmp(cmd, "[") == 0) {
        CommandUndo();
    } else if (strcmp(cmd, "]") == 0) {
        CommandRedo();
    } else if (strcmp(cmd, "load") == 0) {
        CommandLoad(a);
    } else if (strcmp(cmd, "save") == 0) {
        CommandSave();
    } else if (strcmp(cmd, "jump") == 0) {
        CommandJump(a);
    } else if (strcmp(cmd, "edit") == 0) {
        CommandEdit();
    } else if (strcmp(cmd, "book") == 0) {
        BookCommand();
    } else if (strcmp(cmd, "mkbook") == 0) {
        ReportBuiltBook(MakeBookCommand() != 0);
    } else if (strcmp(cmd, "set") == 0) {
        SetCommand(a.w[1], a.w[2]);
    } else if (strcmp(cmd, "tune") == 0) {
        TuneCommand(a.w[1]);
    } else if (strcmp(cmd, "perft") == 0) {
        CommandPerft(a);
    } else if (strcmp(cmd, "swap") == 0) {
        CommandSwap();
    } else if (strcmp(cmd, "help") == 0) {
        PrintConsoleHelp();
    } else if (strcmp(cmd, "move") == 0) {
        CommandMove(a.w[1]);
    } else {
        CommandMove(cmd);
    }
}
