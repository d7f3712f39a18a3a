"""Tablebases over UCI: the path option finds the files and the search plays by them."""

import os
import re
import sys
import tempfile

from engine_session import EngineSession, data_dir, run_tests

VESK = os.path.abspath(sys.argv[1])
DATA = data_dir()


def engine():
    e = EngineSession(VESK, ("-nolog",), cwd=tempfile.mkdtemp(prefix="vesk-tb-"))
    e.send("uci")
    e.expect_line("uciok")
    path = os.path.join(DATA, "syzygy")
    e.send("setoption name SyzygyPath value " + path)
    e.expect_next("info string SyzygyPath set to " + path)
    count = len([f for f in os.listdir(path) if f.endswith(".rtbw")])
    e.expect_next("info string found %d tablebases" % count)
    return e


def search(e, fen, limit="depth 8"):
    e.send("position fen " + fen)
    e.send("go " + limit)
    lines = e.read_until(lambda l: l.startswith("bestmove"), 60)
    scores = [int(m.group(1)) for m in (re.search(r"score cp (-?\d+)", l) for l in lines) if m]
    hits = [int(m.group(1)) for m in (re.search(r"tbhits (\d+)", l) for l in lines) if m]
    return lines[-1].split()[1], scores, hits


def test_won_and_drawn_endings_are_scored_from_the_tables():
    e = engine()
    move, scores, hits = search(e, "8/8/8/4k3/8/8/8/3QK3 w - - 0 1")
    assert scores and scores[-1] >= 9800, scores
    assert hits and hits[-1] > 0, hits
    # A lone knight cannot win, however the search sees it.
    move, scores, _ = search(e, "8/8/3k4/8/8/8/4N3/4K3 w - - 0 1")
    assert scores and scores[-1] == 0, scores
    # The losing side is shown as losing.
    move, scores, _ = search(e, "8/8/8/4k3/8/8/8/3QK3 b - - 0 1")
    assert scores and scores[-1] <= -9800, scores
    e.send("quit")
    assert e.close() == 0


def test_a_won_table_position_is_never_spoiled():
    # Play the strong side of KRvK against itself for a few moves: every move keeps the win.
    e = engine()
    fen = "8/8/8/3k4/8/8/8/R3K3 w - - 0 1"
    moves = []
    for _ in range(6):
        e.send("position fen %s moves %s" % (fen, " ".join(moves)))
        e.send("go depth 6")
        lines = e.read_until(lambda l: l.startswith("bestmove"), 60)
        score = [int(m.group(1)) for m in (re.search(r"score cp (-?\d+)", l) for l in lines) if m]
        side_white = len(moves) % 2 == 0
        if score:
            assert (score[-1] >= 9800) if side_white else (score[-1] <= -9800), (moves, score)
        move = lines[-1].split()[1]
        if move == "null":
            break
        moves.append(move)
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    if not DATA:
        print("skipped: shared test data not found")
        sys.exit(77)
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
