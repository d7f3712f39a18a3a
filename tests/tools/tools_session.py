"""The batch tools run by command-line switches: EPD analysis, tuner, PGN scan, match."""

import os
import re
import subprocess
import sys
import tempfile

from engine_session import EngineSession, check_with_pgn_extract, data_dir, run_tests

VESK = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = data_dir()


def workdir():
    return tempfile.mkdtemp(prefix="vesk-tools-")


def run(args, cwd, stdin=b"", timeout=60):
    proc = subprocess.run([VESK, *args], cwd=cwd, input=stdin, capture_output=True, timeout=timeout)
    return proc.returncode, proc.stdout.decode(errors="replace")


def first_lines(path, n):
    with open(path) as f:
        return "".join(f.readline() for _ in range(n))


def test_anepd_statistics():
    if not DATA:
        return
    d = workdir()
    with open(os.path.join(d, "wac.epd"), "w") as f:
        f.write(first_lines(os.path.join(DATA, "epd", "wac.epd"), 3))
    code, out = run(["-nolog", "-d", "4", "-anepd", "wac.epd"], d)
    assert code == 0, out
    lines = out.split("\n")
    assert lines[0] == "Analyzing wac.epd...", lines[:3]
    assert "pos= 3" in lines and "pos= 4" not in lines, out
    assert sum(1 for l in lines if l.startswith("move= ")) == 3, out
    # A shallow suite searches on the calling thread: its reports show that search.
    assert " seldepth -1 " not in out and re.search(r" seldepth [1-9]", out), out
    at = next(i for i, l in enumerate(lines) if l.endswith(" correct best moves"))
    assert lines[at].endswith(" / 3 correct best moves"), lines[at]
    keys = ["total nodes= ", "total time= ", "avg depth= ", "avg nodes= ", "node_rate= ",
            "avg bf= ", "avg error= ", "xcnt= "]
    for k, key in enumerate(keys):
        assert lines[at + 1 + k].startswith(key), (key, lines[at + 1 + k])
    assert lines[at + 9] == "" and os.path.exists(os.path.join(d, "unsolved.epd"))


def test_tune_one_pass_then_quit():
    if not DATA:
        return
    d = workdir()
    with open(os.path.join(d, "few.epd"), "w") as f:
        f.write(first_lines(os.path.join(DATA, "labelled", "quiet-labeled-excerpt.epd"), 80))
    # "quit" is read after the first pass: exactly one pass runs.
    code, out = run(["-nolog", "-tune", "few.epd"], d, stdin=b"quit\n")
    assert code == 0, out
    with open(os.path.join(d, "tune.log")) as f:
        log = f.read()
    assert log.startswith("pass= 0, k0= 2.000e+03\n** knight_value_op = "), log[:200]
    assert "pass= 1" not in log and log.count("** ") == 18, log
    assert "\nerr= " in log and "p1=" not in log
    assert out.count("p1=") == 18, out


def test_tune_without_log_file():
    d = workdir()
    os.mkdir(os.path.join(d, "tune.log"))  # a directory: the log cannot be created
    code, out = run(["-nolog", "-tune", "none.epd"], d)
    assert code == 0 and "pass=" not in out, out


def test_scan_pgn2():
    d = workdir()
    code, out = run(["-nolog", "-scan_pgn2", os.path.join(HERE, "scan_games.pgn")], d)
    assert code == 0
    assert out == "games= 3, positions= 4\n\n", out
    with open(os.path.join(d, "tmp.epd")) as f:
        epd = f.read()
    assert epd == (
        'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Ng1; ce 31; c9 "0-1";\n'
        'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - bm Nb8; ce -7; c9 "0-1";\n'
        'rnbqkb1r/ppp1pppp/5n2/3p4/3P4/5N2/PPP1PPPP/RNBQKB1R w KQkq - bm Ng1; ce 33; c9 "1/2-1/2";\n'
        'rnbqkb1r/ppp1pppp/5n2/3p4/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - bm Ng8; ce -12; c9 "1/2-1/2";\n'
        "\n"), epd
    # A switch without a mode number is not a switch.
    code, out = run(["-nolog", "-scan_pgn", "x.pgn"], d, stdin=b"quit\n")
    assert code == 2 and "games=" not in out, out


def test_match_needs_test1_rc():
    d = workdir()
    code, out = run(["-nolog", "-match", "games.pgn"], d)
    assert code == 0 and out == "Can't open file test1.rc\n\n", out
    assert not os.path.exists(os.path.join(d, "games.pgn"))


def test_match_plays_until_quit():
    d = workdir()
    with open(os.path.join(d, "test1.rc"), "w") as f:
        f.write("knight_value_op = 300\n")
    e = EngineSession(VESK, ["-nolog", "-d", "2", "-match", "games.pgn"], cwd=d)
    e.read_until(lambda l: l == "Starting match...")
    e.read_until(lambda l: l.startswith("   2 games,  "), timeout=60)
    e.send("quit")
    assert e.close(timeout=60) == 0
    with open(os.path.join(d, "games.pgn")) as f:
        text = f.read()
    games = [g for g in text.split('[Event "selfplay"]\n') if g]
    assert len(games) >= 2, text[:500]
    assert text.endswith("\n\n")
    for number, game in enumerate(games, 1):
        lines = game.split("\n")
        assert lines[2] == '[Round "%d"]' % number, lines[:7]
        assert lines[5].startswith('[Result "') and lines[7], lines[:8]
    check_with_pgn_extract(os.path.join(d, "games.pgn"))
    # The console replays every game move by move from the start position.
    c = EngineSession(VESK, ["-c", "-nolog"], cwd=d)
    c.read_until(lambda l: l == "white")
    for number in range(1, len(games) + 1):
        c.send("load games.pgn %d" % number)
        c.expect_line("loading games.pgn, tag %d" % number)
        c.read_until(lambda l: l in ("white", "black"))
    c.send("quit")
    c.close()
    assert not any("can't parse move" in line for line in c.transcript), c.dump()


run_tests([
    ("anepd_statistics", test_anepd_statistics),
    ("tune_one_pass_then_quit", test_tune_one_pass_then_quit),
    ("tune_without_log_file", test_tune_without_log_file),
    ("scan_pgn2", test_scan_pgn2),
    ("match_needs_test1_rc", test_match_needs_test1_rc),
    ("match_plays_until_quit", test_match_plays_until_quit),
])
