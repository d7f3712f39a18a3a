#include "tools/pgn_write.h"

#include <cstring>
#include <ctime>
#include <string>

namespace {

// Movetext is filled into lines of at most 79 characters, breaking at blanks.
struct LineFiller {
    FILE* out;
    size_t column = 0;

    void Token(const std::string& token) {
        if (column > 0 && column + 1 + token.size() > 79) {
            fputc('\n', out);
            column = 0;
        }
        if (column > 0) {
            fputc(' ', out);
            column++;
        }
        fputs(token.c_str(), out);
        column += token.size();
    }
};

void Tag(FILE* out, const char* name, const char* value) {
    // Quotes and backslashes inside a value are escaped.
    fprintf(out, "[%s \"", name);
    for (const char* c = value; *c; c++) {
        if (*c == '"' || *c == '\\') fputc('\\', out);
        fputc(*c, out);
    }
    fputs("\"]\n", out);
}

} // namespace

void PgnToday(char date[11]) {
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    strftime(date, 11, "%Y.%m.%d", &local);
}

void WritePgnGame(FILE* out, const PgnTags& tags, int firstPly, const char* const* sanMoves,
                  const char* const* comments, int count) {
    char round[16] = "?";
    if (tags.round > 0) snprintf(round, sizeof round, "%d", tags.round);
    Tag(out, "Event", tags.event);
    Tag(out, "Site", "?");
    Tag(out, "Date", tags.date);
    Tag(out, "Round", round);
    Tag(out, "White", tags.white);
    Tag(out, "Black", tags.black);
    Tag(out, "Result", tags.result);
    if (tags.fen) {
        Tag(out, "SetUp", "1");
        Tag(out, "FEN", tags.fen);
    }
    fputc('\n', out);
    LineFiller line{out};
    bool numberDue = true; // a black move after a comment names its number again
    for (int i = 0; i < count; i++) {
        int ply = firstPly + i;
        if (ply % 2 == 0)
            line.Token(std::to_string(ply / 2 + 1) + ".");
        else if (numberDue)
            line.Token(std::to_string(ply / 2 + 1) + "...");
        line.Token(sanMoves[i]);
        numberDue = false;
        if (comments && comments[i] && comments[i][0]) {
            line.Token(std::string("{") + comments[i] + "}");
            numberDue = true;
        }
    }
    line.Token(tags.result);
    fputs("\n\n", out);
    fflush(out);
}
