"""Chess960 over UCI: move generation against published counts and against stockfish,
castling moves in and out as king-takes-rook, X-FEN and Shredder-FEN.
"""

import os
import random
import re
import sys

from engine_session import EngineSession, Skipped, find_stockfish, need_data, run_tests

# The referee's numbering of the 960 start positions draws the test positions.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from match import chess960_start  # noqa: E402

VESK = os.path.abspath(sys.argv[1])
PERFT_LINE = re.compile(r"^([a-h][1-8][a-h][1-8][qrbn]?): (\d+)$")
def square(name):
    return ord(name[0]) - ord("a") + 8 * (int(name[1]) - 1)


def engine(binary, *args, chess960=True):
    e = EngineSession(binary, args)
    e.send("uci")
    e.expect_line("uciok")
    e.send("setoption name UCI_Chess960 value %s" % ("true" if chess960 else "false"))
    e.send("isready")
    e.expect_line("readyok")
    return e


def perft(e, position, depth):
    """Per-move counts of `go perft`."""
    e.send("position " + position)
    e.send("go perft %d" % depth)
    lines = e.read_until(lambda l: l.startswith("Nodes searched"), 60)
    return {m.group(1): int(m.group(2)) for m in map(PERFT_LINE.match, lines) if m}


def stockfish():
    path = find_stockfish()
    if not path:
        raise Skipped("stockfish not installed (scripts/test-deps installs it)")
    return path


def test_xfen_cases_give_published_counts():
    cases, current = [], None
    with open(need_data("perft", "perft_tricky.perft")) as f:
        for line in f:
            words = line.split()
            if words[:1] == ["id"]:
                current = words[1] if "xfen" in words[1] else None
            elif words[:1] == ["epd"] and current:
                cases.append((" ".join(words[1:]), []))
            elif words[:1] == ["perft"] and current:
                cases[-1][1].append((int(words[1]), int(words[2])))
    assert len(cases) == 5, cases
    e = engine(VESK, "-nolog")
    for fen, counts in cases:
        for depth, published in counts:
            got = sum(perft(e, "fen " + fen, depth).values())
            assert got == published, "%s depth %d: %d, published %d" % (fen, depth, got, published)
    e.send("quit")
    assert e.close() == 0


def test_random_games_match_stockfish():
    """200 random start positions at depth 4, then along random games that castle when they
    can, at depth 3; the start FEN alternates between X-FEN and Shredder-FEN."""
    vesk, oracle = engine(VESK, "-nolog"), engine(stockfish())
    rng = random.Random(960)
    failures, castles = [], 0
    for i in range(200):
        back = chess960_start(rng.randrange(960)).split()[0].split("/")[-1]
        rooks = [f for f in "HGFEDCBA" if back["ABCDEFGH".index(f)] == "R"]
        rights = "KQkq" if i % 2 else "".join(rooks) + "".join(rooks).lower()
        fen = "%s/pppppppp/8/8/8/8/PPPPPPPP/%s w %s - 0 1" % (back.lower(), back, rights)
        # The squares of the pieces (en passant and promotions are not followed: only
        # kings and rooks on the back ranks matter here).
        board = {f: back[f] for f in range(8)}
        board.update({8 + f: "P" for f in range(8)})
        board.update({48 + f: "p" for f in range(8)})
        board.update({56 + f: back[f].lower() for f in range(8)})
        moves = []
        for ply in range(17):
            position = "fen %s moves %s" % (fen, " ".join(moves)) if moves else "fen " + fen
            compared = ply in (0, 6, 11, 16)
            depth = 4 if ply == 0 else 3
            theirs = perft(oracle, position, depth if compared else 1)
            if compared:
                mine = perft(vesk, position, depth)
                if mine != theirs:
                    diff = [m for m in sorted(set(mine) | set(theirs)) if mine.get(m) != theirs.get(m)]
                    failures.append("%s: %s" % (position, [(m, mine.get(m), theirs.get(m)) for m in diff[:4]]))
            if not theirs:
                break
            legal = [(square(m[:2]), square(m[2:4]), m) for m in sorted(theirs)]
            castling = [x for x in legal if board[x[0]] in "Kk" and x[1] in board and board[x[1]].isupper() == board[x[0]].isupper()]
            frm, to, move = rng.choice(castling if castling and rng.random() < 0.8 else legal)
            if castling and (frm, to, move) in castling:
                castles += 1
                king, rook = board.pop(frm), board.pop(to)
                board[(frm & 56) + (6 if to > frm else 2)] = king
                board[(frm & 56) + (5 if to > frm else 3)] = rook
            else:
                board[to] = board.pop(frm)
            moves.append(move)
    for e in (vesk, oracle):
        e.send("quit")
        e.close()
    assert not failures, "%d positions differ, e.g. %s" % (len(failures), failures[:3])
    assert castles >= 100, "only %d castling moves played" % castles


def test_castling_fields_read_like_stockfish():
    """Shredder-FEN and X-FEN fields, inner rooks named by file, rights with no rook."""
    vesk, oracle = engine(VESK, "-nolog"), engine(stockfish())
    fens = [
        "1r2k1rr/pppppppp/8/8/8/8/PPPPPPPP/1RR1K1R1 w BGbg - 0 1",
        "1r2k1rr/pppppppp/8/8/8/8/PPPPPPPP/1RR1K1R1 w CKkq - 0 1",
        "rr2k2r/8/8/8/8/8/8/RR2K2R w BHbh - 0 1",
        "rr2k2r/8/8/8/8/8/8/RR2K2R w KQkq - 0 1",
        "2r1kr2/8/8/8/8/8/8/2R1KR2 b CFcf - 0 1",
        "4k3/8/8/8/8/8/8/1R2K2R w Q - 0 1",
    ]
    for fen in fens:
        mine, theirs = perft(vesk, "fen " + fen, 3), perft(oracle, "fen " + fen, 3)
        assert mine == theirs, "%s: %s" % (fen, sorted(set(mine.items()) ^ set(theirs.items()))[:6])
    for e in (vesk, oracle):
        e.send("quit")
        e.close()


def test_castling_moves_in_and_out():
    # Castling queen side from b1 (king to c1, rook to d1) mates: the only mate in one.
    mate = "2rkr3/2p1p3/8/8/8/8/8/RK6 w Q - 0 1"
    e = engine(VESK, "-nolog")
    e.send("position fen " + mate)
    e.send("go depth 4")
    lines = e.read_until(lambda l: l.startswith("bestmove"))
    assert lines[-1] == "bestmove b1a1", lines
    assert any(" score mate 1 " in l for l in lines), lines
    # The same move comes back in: black then has no move at all.
    assert perft(e, "fen %s moves b1a1" % mate, 1) == {}
    # A letter that names no rook loses its right, the others stay.
    e.send("position fen 4k3/8/8/8/8/8/8/R3K3 w KQ - 0 1")
    e.read_until(lambda l: "Illegal EPD record" in l)
    assert "e1a1" in perft(e, "fen 4k3/8/8/8/8/8/8/R3K3 w KQ - 0 1", 1)
    # A standard position castles king takes rook in Chess960 mode...
    start = "startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6"
    assert "e1h1" in perft(e, start, 1) and "e1g1" not in perft(e, start, 1)
    # ...and with the king's two-file step in standard chess, where the 960 right is lost.
    e.send("setoption name UCI_Chess960 value false")
    e.expect_next("info string UCI_Chess960 set to 0")
    moves = perft(e, start, 1)
    assert "e1g1" in moves and "e1h1" not in moves, moves
    e.send("position fen " + mate)
    e.read_until(lambda l: "Illegal EPD record" in l)
    e.send("go depth 4")
    assert e.read_until(lambda l: l.startswith("bestmove"))[-1] != "bestmove b1a1"
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
