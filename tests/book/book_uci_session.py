"""Book moves over UCI: a book built by the console's mkbook is played from at once."""

import os
import shutil
import sys
import tempfile

from engine_session import EngineSession, data_dir, run_tests

VESK = os.path.abspath(sys.argv[1])
DATA = data_dir()


def build_book(workdir):
    shutil.copy(os.path.join(DATA, "pgn", "tcec_superfinals_s4-s13.pgn"),
                os.path.join(workdir, "book.pgn"))
    e = EngineSession(VESK, ("-c", "-nolog"), cwd=workdir)
    e.send("mkbook")
    e.send("quit")
    assert e.close(120) == 0
    os.rename(os.path.join(workdir, "book.opn"), os.path.join(workdir, "vesk.opn"))


def uci(workdir):
    e = EngineSession(VESK, ("-nolog",), cwd=workdir)
    e.send("uci")
    e.expect_line("uciok")
    return e


def test_book_moves_in_and_out_of_book():
    workdir = tempfile.mkdtemp(prefix="vesk-book-")
    build_book(workdir)
    e = uci(workdir)
    e.send("setoption name OwnBook value true")
    e.expect_next("info string OwnBook set to 1")
    e.send("position startpos")
    e.send("go wtime 60000 btime 60000")
    e.expect_next("info string book move")
    line = e.read_line()
    assert line.startswith("bestmove ") and " ponder " not in line, line
    first = line.split()[1]
    assert first in ("e2e4", "d2d4", "c2c4", "g1f3"), first
    # Far out of book: a normal search answers.
    e.send("position fen 8/5k2/8/8/8/8/2K5/7R w - - 0 1")
    e.send("go depth 3")
    lines = e.read_until(lambda l: l.startswith("bestmove"))
    assert "info string book move" not in lines, lines
    e.send("quit")
    assert e.close() == 0


def test_variety_one_is_deterministic_and_missing_book_is_harmless():
    workdir = tempfile.mkdtemp(prefix="vesk-book-")
    build_book(workdir)
    with open(os.path.join(workdir, "vesk.rc"), "w") as rc:
        rc.write("BookVariety 1\n")
    choices = set()
    for _ in range(3):
        e = uci(workdir)
        e.send("setoption name OwnBook value true")
        e.send("position startpos")
        e.send("go depth 2")
        choices.add(e.read_until(lambda l: l.startswith("bestmove"))[-1])
        e.send("quit")
        e.close()
    assert len(choices) == 1, choices
    # Without a book file the engine searches as usual.
    empty = tempfile.mkdtemp(prefix="vesk-book-")
    with open(os.path.join(empty, "vesk.opn"), "wb") as f:
        f.write(os.urandom(1000))
    e = uci(empty)
    e.send("setoption name OwnBook value true")
    e.send("position startpos")
    e.send("go depth 3")
    lines = e.read_until(lambda l: l.startswith("bestmove"))
    assert lines[-1].split()[1] != "null", lines
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    if not DATA:
        print("skipped: shared test data not found")
        sys.exit(77)
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
