"""What a new user and a tester's tool meet first: help, version and bad command
lines, "go perft" against an independent count, "vesk bench", the console's
greeting, help and messages, and the book instructions that mkbook prints."""

import os
import re
import shutil
import subprocess
import sys

from engine_session import EngineSession, SessionError, run_tests, scratch_dir

VESK = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
STOCKFISH = shutil.which("stockfish") or shutil.which("/usr/games/stockfish")

# Perft(3) of well-known positions, for machines without stockfish.
PERFT3 = {
    "startpos": 8902,
    "fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1": 97862,
    "fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1": 2812,
    "fen rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8": 62379,
}


def run(args, stdin=b"quit\n", timeout=120):
    d = scratch_dir()
    p = subprocess.run([VESK, *args], cwd=d, input=stdin, capture_output=True, timeout=timeout)
    return p.returncode, p.stdout.decode(), p.stderr.decode(), d


def accepted(args):
    """Starts the engine; True once it runs (first output line, or a clean exit)."""
    e = EngineSession(VESK, args, cwd=scratch_dir())
    e.send("quit")
    line = e.read_line(30)
    if line is None:
        return e.proc.wait(30) == 0
    e.proc.kill()
    e.proc.wait()
    return True


def test_help_version_and_bad_command_lines():
    code, usage, err, _ = run(["--help"])
    assert code == 0 and err == "" and "man vesk" in usage, (code, err, usage)
    assert run(["-h"])[:2] == (0, usage)
    listed = re.findall(r"^  (-\w+)( [A-Z]+)?  ", usage, re.M)
    assert len(listed) > 15, usage
    for switch, value in listed:
        assert accepted(["-nolog", switch] + (["1"] if value else [])), switch
    code, version, _, _ = run(["--version"])
    assert code == 0 and run(["-v"])[:2] == (0, version)
    uci = run(["-nolog"], b"uci\nquit\n")[1]
    assert "id name " + version.splitlines()[0] in uci.splitlines(), (version, uci)
    # Every option the engine announces is explained in the guide and the manual page.
    guides = [open(os.path.join(REPO, f)).read() for f in ("README.md", "docs/vesk.6")]
    for option in re.findall(r"^option name (.+?) type ", uci, re.M):
        assert all(option in text for text in guides), option
    assert re.search(r"\b(gcc|clang) \d", version), version
    commit = re.search(r"commit ([0-9a-f]{7,40})", version)
    if commit and os.path.exists(os.path.join(REPO, ".git")):
        check = ["git", "-C", REPO, "cat-file", "-e", commit.group(1) + "^{commit}"]
        assert subprocess.run(check, capture_output=True).returncode == 0, version
    for args, word in [(["-frobnicate"], "-frobnicate"), (["-c", "stray"], "stray"),
                       (["-hash"], "-hash"), (["-d", "3", "bench"], "bench"),
                       (["-scan_pgn", "x.pgn"], "-scan_pgn")]:
        code, out, err, d = run(args)
        lines = err.splitlines()
        assert code == 2 and out == "" and len(lines) == 2, (args, code, out, err)
        assert "'%s'" % word in lines[0] and "--help" in lines[1], err
        assert os.listdir(d) == [], os.listdir(d)  # nothing started, no log written


def perft(session, position, depth, exact=True):
    session.send("position " + position)
    session.send("go perft %d" % depth)
    lines = session.read_until(lambda l: l.startswith("Nodes searched: "), 120)
    counts = dict(l.split(": ") for l in lines if re.match(r"^[a-h][1-8][a-h][1-8][qrbn]?: \d+$", l))
    # Exactly: one line per root move, a blank line, the total.
    assert not exact or (lines[-2] == "" and len(lines) == len(counts) + 2), lines
    return counts, int(lines[-1].split(": ")[1])


def test_go_perft_and_move_overhead():
    e = EngineSession(VESK, ["-nolog"], cwd=scratch_dir())
    e.send("uci")
    e.expect_line("uciok")
    sf = EngineSession(STOCKFISH) if STOCKFISH else None
    for position, total in PERFT3.items():
        counts, vesk_total = perft(e, position, 3)
        assert vesk_total == total == sum(int(c) for c in counts.values()), (position, vesk_total)
        if sf:
            assert (counts, vesk_total) == perft(sf, position, 3, exact=False), position
    # Counting is no search: no bestmove follows, and a real search still works.
    e.send("isready")
    e.expect_next("readyok")
    e.send("setoption name Move Overhead value 100")
    e.expect_next("info string Communication Overhead set to 100")
    e.send("position startpos")
    e.send("go depth 1")
    e.read_until(lambda l: l.startswith("bestmove "))
    e.send("quit")
    assert e.close() == 0
    if sf:
        sf.send("quit")
        sf.close()


def test_bench_word_gives_the_benchmark_total():
    # No input: a benchmark executes the commands it reads, and "quit" would end it early.
    code, out, _, _ = run(["bench", "-d", "6"], stdin=b"")
    last = re.match(r"^(\d+) nodes (\d+) nps$", out.splitlines()[-1])
    assert code == 0 and last, out
    code, plain, _, _ = run(["-d", "6", "-bench"], stdin=b"")
    assert code == 0 and "nodes= %s," % last.group(1) in plain.splitlines()[-1], (out, plain)


def test_console_greeting_help_and_messages():
    d = scratch_dir()
    with open(os.path.join(d, "book.pgn"), "w") as f:
        for game in range(12):
            f.write('[Event "%d"]\n[Result "1-0"]\n\n1.e4 e5 2.Nf3 Nc6 1-0\n\n' % game)
    e = EngineSession(VESK, ["-c", "-nolog"], cwd=d)
    greeting = e.read_line()
    assert greeting.startswith("Vesk ") and "help" in greeting, greeting
    e.expect_line("white")
    e.send("help")
    e.send("bd")  # the help ends where the board begins
    help_lines = e.read_until(lambda l: l.startswith("rnbqkbnr/"))[:-1]
    commands = [l.split()[0] for l in help_lines if l.startswith("  ")]
    for word in ("new", "fen", "undo", "load", "save", "go", "mkbook", "perft", "uci", "quit"):
        assert word in commands, help_lines
    e.expect_line("white")
    e.expect_next("")
    e.send("e2e5")
    e.expect_next("illegal move: e2e5")
    e.send("frobnicate")
    assert "frobnicate" in e.read_line() and "help" in e.transcript[-1]
    e.send("load missing.pgn")
    e.expect_line("can't open missing.pgn")
    e.send("e2e4")
    e.expect_next("1. move e4")  # echoed in standard notation
    e.send("mkbook")
    e.expect_line("done")
    built = e.read_line()
    where = re.match(r"^book written to (.*): (\d+) positions", built)
    assert where and os.path.samefile(where.group(1), os.path.join(d, "book.opn")), built
    assert "vesk.opn" in e.read_line() and where.group(2) == "4", built
    e.send("quit")
    assert e.close() == 0
    # Following the printed advice makes the engine play from the book.
    os.rename(os.path.join(d, "book.opn"), os.path.join(d, "vesk.opn"))
    u = EngineSession(VESK, ["-nolog"], cwd=d)
    for line in ("uci", "setoption name OwnBook value true", "position startpos", "go depth 5"):
        u.send(line)
    u.expect_line("info string book move")
    u.expect_next("bestmove e2e4")
    u.send("quit")
    assert u.close() == 0


run_tests([
    ("help_version_and_bad_command_lines", test_help_version_and_bad_command_lines),
    ("go_perft_and_move_overhead", test_go_perft_and_move_overhead),
    ("bench_word_gives_the_benchmark_total", test_bench_word_gives_the_benchmark_total),
    ("console_greeting_help_and_messages", test_console_greeting_help_and_messages),
])
