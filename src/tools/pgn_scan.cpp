#include "tools/pgn_scan.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/bitops.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "eval/settings.h"
#include "search/search_state.h"
#include "shell/output.h"

namespace {

const char* RESULT_TEXT[3] = {"1-0", "0-1", "1/2-1/2"};

// The text between the first pair of double quotes of a tag line.
void QuotedValue(const char* line, char* out, int size) {
    out[0] = 0;
    const char* a = strchr(line, '"');
    if (!a) return;
    a++;
    const char* b = strchr(a, '"');
    int n = b ? int(b - a) : int(strlen(a));
    if (n > size - 1) n = size - 1;
    memcpy(out, a, n);
    out[n] = 0;
}

inline int Abs(int x) { return x < 0 ? -x : x; }

// One game being collected from the file.
struct ScanState {
    PgnMove moves[PGN_MAX_MOVES];
    int count = 0;
    int result = 2;
    char white[64] = "", black[64] = "";
    int commentDepth = 0;
    char comment[1024];
    int commentLength = 0;
};

void AddCommentChar(ScanState& s, char c) {
    if (s.commentLength < int(sizeof s.comment) - 1) s.comment[s.commentLength++] = c;
}

void CloseComment(ScanState& s) {
    s.comment[s.commentLength] = 0;
    if (s.count > 0) {
        int last = s.count - 1;
        s.moves[last].score = int16_t(CommentScore(s.comment, last & 1));
    }
    s.commentLength = 0;
}

void AddMoveWord(ScanState& s, const char* word, int length) {
    if (s.count >= PGN_MAX_MOVES) return;
    PgnMove& m = s.moves[s.count];
    if (length > 7) length = 7; // standard notation never needs more
    memcpy(m.text, word, length);
    m.text[length] = 0;
    m.score = s.count == 0 ? SCORE_FIRST_MOVE : SCORE_NO_COMMENT;
    s.count++;
}

// The move text of a line: comments (which nest and span lines) give scores,
// words starting with a letter are moves, everything else is skipped.
void ScanMoveText(ScanState& s, const char* line) {
    for (const char* c = line; *c; c++) {
        if (*c == '{') {
            if (s.commentDepth++ > 0) AddCommentChar(s, '{');
            continue;
        }
        if (s.commentDepth > 0) {
            if (*c == '}') {
                if (--s.commentDepth == 0)
                    CloseComment(s);
                else
                    AddCommentChar(s, '}');
            } else {
                AddCommentChar(s, *c == '\n' || *c == '\r' ? ' ' : *c);
            }
            continue;
        }
        if (isalpha(static_cast<unsigned char>(*c))) {
            const char* start = c;
            while (c[1] && !strchr(" \t\r\n{}();", c[1])) c++;
            AddMoveWord(s, start, int(c - start + 1));
        }
    }
}

// The annotated listing of one game; returns the number of marked positions.
int WriteListing(FILE* out, Position& p, const PgnMove* mv, int count, int result) {
    SearchThread* game = p.owner;
    int marked = 0;
    for (int i = 0; i < count; i++) {
        Move m;
        if (!ParseMove(mv[i].text, &m)) break;
        int mover = p.side;
        char prefix[16];
        if (mover == WHITE)
            snprintf(prefix, sizeof prefix, "%3d. ", i / 2 + 1);
        else
            snprintf(prefix, sizeof prefix, "     ");
        int s = mv[i].score;
        char comment[32] = " ";
        if (s >= -9999)
            snprintf(comment, sizeof comment, "%6.2f", (mover == WHITE ? s : -s) / 100.0);
        fprintf(out, "%s %-6s  {%s}", prefix, mv[i].text, comment);
        if (i > 5 && i < count - 6 && result != mover && Abs(s) <= 149 &&
            Abs(mv[i - 1].score) <= 999 && Abs(mv[i + 1].score) <= 999 &&
            Abs(mv[i + 3].score) <= 999 && Abs(mv[i - 3].score) <= 999 &&
            mv[i + 1].score - mv[i - 1].score > 40 &&
            (mover == WHITE ? s : -s) - mv[i - 3].score >= 51) {
            char fen[100];
            GetFen(p, fen);
            fprintf(out, " ? %s", fen);
            marked++;
        }
        fputc('\n', out);
        MakeMove(p, m);
        game->ply = 1;
    }
    fputc('\n', out);
    return marked;
}

// "+0.29" as 29: pawns times 100, truncated toward zero, read from the digits
// themselves (a binary double would turn 0.29 into 28.999...).
int CentipawnsOfDecimal(const char* text) {
    int sign = *text == '-' ? -1 : 1;
    if (*text == '+' || *text == '-') text++;
    long long value = 0;
    for (; isdigit(static_cast<unsigned char>(*text)); text++)
        if (value < 1000000) value = value * 10 + (*text - '0');
    value *= 100;
    if (*text == '.') {
        text++;
        for (int scale = 10; scale >= 1 && isdigit(static_cast<unsigned char>(*text)); scale /= 10)
            value += (*text++ - '0') * scale;
    }
    // Far beyond any evaluation, but kept apart from the "no score" markers.
    if (value > 20000) value = 20000;
    return sign * int(value);
}

} // namespace

int CommentScore(const char* text, int afterBlackMove) {
    if (strstr(text, "book")) return 0;
    if (const char* e = strstr(text, "eval ")) {
        e += 5;
        while (*e == ' ') e++;
        if (!*e || *e == ',') return SCORE_UNREADABLE;
        int v = atoi(e);
        return afterBlackMove ? -v : v;
    }
    const char* slash = strchr(text, '/');
    if (!slash) return SCORE_UNREADABLE;
    char before[256];
    int n = int(slash - text);
    if (n > int(sizeof before) - 1) n = int(sizeof before) - 1;
    memcpy(before, text, n);
    before[n] = 0;
    if (strstr(before, "-M")) return -9000;
    if (strstr(before, "+M")) return 9000;
    const char* b = before;
    while (*b == ' ') b++;
    if (*b != '+' && *b != '-') return SCORE_UNREADABLE;
    return CentipawnsOfDecimal(b);
}

int WriteGame(FILE* out, const PgnMove* moves, int count, int mode, int result) {
    SearchThread* game = searchState.threads[0];
    Position& p = game->pos;
    SetFromFen(p, START_FEN);
    searchState.maxDepth = mode == 2 ? 1 : 0;
    searchState.reportDelay = 9999;
    if (mode == 1) return WriteListing(out, p, moves, count, result);
    if (mode == 2 && count <= 6) return 0;

    int written = 0;
    uint32_t lastMaterial = p.matSig[0] + p.matSig[1];
    int quietPlies = 0;
    char fen[100];
    for (int i = 0; i < count; i++) {
        Move m;
        if (!ParseMove(moves[i].text, &m)) break;
        int score = moves[i].score;
        int inCheck = InCheck(p, p.side);
        uint32_t material = p.matSig[0] + p.matSig[1];
        if (material != lastMaterial) {
            lastMaterial = material;
            quietPlies = 0;
        } else if (i > 0) {
            quietPlies++;
        }
        if (mode == 2) {
            if (i >= count - 6 || i > 250 || Abs(score) > 900) break;
            if (i > 19 && p.halfmoveClock < 21 && quietPlies < 31 && !inCheck) {
                GetFen(p, fen);
                fprintf(out, "%s bm %s; ce %d; c9 \"%s\";\n", fen, moves[i].text, score,
                        RESULT_TEXT[result]);
                written++;
            }
        } else if (mode == 3) {
            if (i >= 201) break;
            if (!inCheck) {
                GetFen(p, fen);
                fprintf(out, "%s bm %s; ce %d;\n", fen, moves[i].text, score);
                written++;
            }
            if (Abs(score) > 500) break;
        } else if (mode == 4) {
            Bitboard pawns = p.bb[PieceCode(WHITE, PAWN)] | p.bb[PieceCode(BLACK, PAWN)];
            if (p.pieceMat[WHITE] == 5 && p.pieceMat[BLACK] == 5 && PopCount(pawns) == 1) {
                double t = result == 2 ? 0.5 : result == p.side ? 1.0 : 0.0;
                GetFen(p, fen);
                fprintf(out, "%s bm %s; ce %d; tune %0.5f;\n", fen, moves[i].text, score, t);
                written++;
            }
        }
        MakeMove(p, m);
        game->ply = 1;
    }
    return written;
}

void ScanPgn(const char* path, int mode) {
    FILE* in = fopen(path, "r");
    if (!in) return;
    FILE* out = fopen(mode == 1 ? "tmp.pgn" : "tmp.epd", "w");
    if (!out) {
        fclose(in);
        return;
    }
    RebuildTables();
    static ScanState s; // large; one scan at a time
    s = ScanState();
    int games = 0, positions = 0;
    char line[256];
    while (fgets(line, sizeof line, in)) {
        if (line[0] == '[' && line[1] != '%') {
            if (s.count > 0) {
                positions += WriteGame(out, s.moves, s.count, mode, s.result);
                s.result = 2;
            }
            s.count = 0;
            s.commentDepth = 0;
            s.commentLength = 0;
            if (mode == 1) {
                fputs(line, out);
                if (strstr(line, "Round ")) fprintf(out, "[Tag \"game_%d\"]\n", games);
            }
            if (strstr(line, "Event ")) {
                games++;
                s.result = 2;
                if (games % 100 == 0) PrintLineF("game %d\n", games);
            }
            if (strstr(line, "White "))
                QuotedValue(line, s.white, sizeof s.white);
            else if (strstr(line, "Black "))
                QuotedValue(line, s.black, sizeof s.black);
            else if (strstr(line, "Result ")) {
                char value[16];
                QuotedValue(line, value, sizeof value);
                s.result = !strcmp(value, "1-0") ? 0 : !strcmp(value, "0-1") ? 1 : 2;
            }
            continue;
        }
        if (line[strspn(line, " \t\r\n")] == 0 && s.commentDepth == 0) continue;
        ScanMoveText(s, line);
    }
    if (s.count > 0) positions += WriteGame(out, s.moves, s.count, mode, s.result);
    fputc('\n', out);
    fclose(in);
    fclose(out);
    PrintLineF("games= %d, positions= %d\n", games, positions);
}

int RunPgnScan(int mode, const char* file) {
    if (mode >= 1 && mode <= 4) ScanPgn(file, mode);
    return 0;
}
