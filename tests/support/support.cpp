#include "support/support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "board/attacks.h"
#include "board/bitops.h"
#include "board/constants.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/zobrist.h"
#include "book/book.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/settings.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/search_thread.h"
#include "search/tt.h"
#include "shell/engine.h"

bool StartEngineForTests(int hashMB) {
    static bool started = false, ok = false;
    if (started) return ok;
    started = true;
    InitBoardTables();
    InitZobristKeys();
    BuildKpk();
    InitEvalMasks();
    SetDefaultSettings();
    SaveSettingsBackup();
    RebuildTables();
    options.logEnabled = 0;
    options.hashMB = hashMB;
    searchState.reportDelay = 9999;
    searchState.threads[0] = NewSearchThread();
    ok = searchState.threads[0] && AllocateTransTable(hashMB) == 0 && EnsureBookKeyTable();
    BuildReductionTables();
    if (ok) SetFromFen(searchState.threads[0]->pos, STARTPOS);
    return ok;
}

#ifndef VESK_DATA_DEFAULT
#define VESK_DATA_DEFAULT ""
#endif

std::string TestDataDir() {
    const char* set = getenv("VESK_DATA");
    std::string dir = set && *set ? set : VESK_DATA_DEFAULT; // VESK_DATA wins when set
    struct stat st;
    return !dir.empty() && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? dir : "";
}

Move CoordMove(const char* text) {
    Move m = MakeMoveCode(Square(text), Square(text + 2));
    switch (text[4]) {
    case 'q': return m | PROMO_QUEEN;
    case 'n': return m | PROMO_KNIGHT;
    case 'b': return m | PROMO_BISHOP;
    case 'r': return m | PROMO_ROOK;
    default: return m;
    }
}

std::string MoveText(Move m) {
    if (!m) return "null";
    std::string text = std::string(SquareNames[FromSquare(m)]) + SquareNames[ToSquare(m)];
    if (m & PROMO_QUEEN) text += 'q';
    if (m & PROMO_KNIGHT) text += 'n';
    if (m & PROMO_BISHOP) text += 'b';
    if (m & PROMO_ROOK) text += 'r';
    return text;
}

std::string FenOf(const Position& p) {
    char buffer[100];
    GetFen(p, buffer);
    return buffer;
}

std::vector<Move> LegalMoves(Position& p) {
    std::vector<Move> moves;
    for (MoveEntry* e = GenAllMoves(p); e->move != END_OF_LIST; e++)
        if (e->move && IsLegal(p, p.side, e->move)) moves.push_back(e->move);
    return moves;
}

namespace {

std::vector<int> ListSquares(const Position& p, int code) {
    std::vector<int> squares;
    for (int i = 0; i < 10 && p.pieceList[code][i] != NO_SQUARE; i++)
        squares.push_back(p.pieceList[code][i]);
    std::sort(squares.begin(), squares.end());
    return squares;
}

} // namespace

std::string PositionFault(const Position& p) {
    Bitboard colours[2] = {0, 0};
    uint32_t sig[2] = {0, 0};
    int units[2] = {0, 0};
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int type = TypeOf(code), colour = ColourOf(code);
        if (type < PAWN || type > KING || colour > 1)
            return "bad piece code on " + std::string(SquareNames[sq]);
        colours[colour] |= SquareBit(sq);
        sig[colour] += MatSigValue[type];
        units[colour] += PieceMatValue[type];
    }
    if (p.bb[0] != colours[0] || p.bb[8] != colours[1]) return "colour sets";
    if (p.matSig[0] != sig[0] || p.matSig[1] != sig[1]) return "material signature";
    if (p.pieceMat[0] != units[0] || p.pieceMat[1] != units[1]) return "material units";
    for (int code = 0; code < 16; code++) {
        if (TypeOf(code) < PAWN || TypeOf(code) > KING) continue;
        Bitboard onBoard = 0;
        for (int sq = 0; sq < 64; sq++)
            if (p.board[sq] == code) onBoard |= SquareBit(sq);
        if (p.bb[code] != onBoard) return "bitboard of piece " + std::to_string(code);
        std::vector<int> listed = ListSquares(p, code);
        Bitboard fromList = 0;
        for (int sq : listed) fromList |= SquareBit(sq);
        if (fromList != onBoard || int(listed.size()) != PopCount(onBoard) || listed.size() > 9)
            return "piece list of piece " + std::to_string(code);
        // Moving a piece finds its place in the list through the square.
        for (int i = 0; i < int(listed.size()); i++)
            if (p.listSlot[p.pieceList[code][i]] != i)
                return "list slot of piece " + std::to_string(code);
    }
    if (PopCount(p.bb[PieceCode(WHITE, KING)]) != 1 || PopCount(p.bb[PieceCode(BLACK, KING)]) != 1)
        return "king count";
    if (p.side > 1 || p.castling > 15 || (p.epSquare != NO_SQUARE && p.epSquare > 63))
        return "side, rights or en-passant square";
    Position fresh = p;
    ComputeKeys(fresh);
    if (fresh.key != p.key || fresh.pawnKey != p.pawnKey) return "keys";
    return "";
}

std::string PositionDifference(const Position& a, const Position& b) {
    if (memcmp(a.board, b.board, sizeof a.board)) return "boards";
    if (memcmp(a.bb, b.bb, sizeof a.bb)) return "bitboards";
    for (int code = 0; code < 16; code++)
        if (ListSquares(a, code) != ListSquares(b, code))
            return "piece list of piece " + std::to_string(code);
    if (a.key != b.key || a.pawnKey != b.pawnKey) return "keys";
    if (a.matSig[0] != b.matSig[0] || a.matSig[1] != b.matSig[1] ||
        a.pieceMat[0] != b.pieceMat[0] || a.pieceMat[1] != b.pieceMat[1])
        return "material";
    if (a.side != b.side || a.castling != b.castling || a.epSquare != b.epSquare)
        return "side, rights or en-passant square";
    if (a.halfmoveClock != b.halfmoveClock) return "halfmove clock";
    return "";
}

std::string PlacementFen(const char board[64], bool whiteToMove) {
    std::string fen;
    for (int r = 7; r >= 0; r--) {
        int empty = 0;
        for (int f = 0; f < 8; f++) {
            char c = board[r * 8 + f];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (r) fen += '/';
    }
    return fen + (whiteToMove ? " w - -" : " b - -");
}

ScratchDir::ScratchDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vesk_test_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (mkdtemp(name.data())) path = name.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return bool(out.flush());
}

std::vector<GameRecord> ReadGames(const std::string& path, size_t maxGames, size_t maxPlies) {
    std::vector<GameRecord> games;
    std::ifstream in(path);
    std::string line;
    int depth = 0;
    bool reading = false;
    Position& p = searchState.threads[0]->pos;
    while (std::getline(in, line)) {
        if (line.find("[Result") != std::string::npos) {
            if (games.size() == maxGames) break;
            games.emplace_back();
            games.back().result = line.find("1-0") != std::string::npos   ? 0
                                  : line.find("0-1") != std::string::npos ? 1
                                                                          : 2;
            SetFromFen(p, STARTPOS);
            depth = 0;
            reading = true;
            continue;
        }
        if (depth == 0 && (line.empty() || line[0] == '[' || line[0] == ';')) continue;
        std::string text;
        for (char c : line) {
            if (c == '{')
                depth++;
            else if (c == '}')
                depth = std::max(0, depth - 1);
            else if (depth == 0)
                text += c;
        }
        std::istringstream words(text);
        std::string word;
        while (reading && words >> word) {
            if (word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*") continue;
            size_t start = word.find_first_not_of("0123456789.");
            if (start == std::string::npos) continue;
            Move m = 0;
            if (games.back().moves.size() >= maxPlies) {
                reading = false;
            } else if (!ParseMove(word.c_str() + start, &m)) {
                games.back().complete = reading = false;
            } else {
                MakeMove(p, m);
                p.owner->ply = 1; // replayed moves go to the history, not the search stack
                games.back().moves.push_back(m);
                games.back().texts.push_back(word.substr(start));
            }
        }
    }
    return games;
}
