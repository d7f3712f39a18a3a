"""The batch tools run by command-line switches: benchmark, EPD analysis, tuner, PGN
scan and self-play match."""

import os
import re
import subprocess
import sys

from engine_session import EngineSession, check_with_pgn_extract, need_data, run_tests, scratch_dir

VESK = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))


def run(args, stdin=b"", files=None, timeout=300):
    """Exit code, output and directory of one run in a fresh directory holding files."""
    d = scratch_dir()
    for name, text in (files or {}).items():
        with open(os.path.join(d, name), "w") as f:
            f.write(text)
    proc = subprocess.run([VESK, "-nolog", *args], cwd=d, input=stdin, capture_output=True, timeout=timeout)
    return proc.returncode, proc.stdout.decode(errors="replace"), d


def first_lines(path, n):
    with open(path) as f:
        return "".join(f.readline() for _ in range(n))


def test_benchmark_counts_the_same_nodes_every_run():
    counts = []
    for _ in range(2):
        code, out, _ = run(["-d", "6", "-bench"])
        assert code == 0 and out.startswith("running benchmark\n"), out
        assert len(re.findall(r"^pos +\d+: ", out, re.M)) == 10, out
        counts.append(re.search(r"^total time= [\d.]+ seconds, nodes= (\d+), nps= ", out, re.M).group(1))
    assert counts[0] == counts[1] and int(counts[0]) > 10000, counts


def test_epd_analysis_statistics():
    wac = first_lines(need_data("epd", "wac.epd"), 3)
    code, out, d = run(["-d", "4", "-anepd", "wac.epd"], files={"wac.epd": wac})
    lines = out.split("\n")
    assert code == 0 and lines[0] == "Analyzing wac.epd...", out
    assert "pos= 3" in lines and "pos= 4" not in lines and sum(l.startswith("move= ") for l in lines) == 3, out
    # A shallow suite searches on the calling thread: its reports show that search.
    assert " seldepth -1 " not in out and re.search(r" seldepth [1-9]", out), out
    at = next(i for i, l in enumerate(lines) if l.endswith(" correct best moves"))
    assert re.match(r"^[1-3] / 3 correct best moves$", lines[at]), lines[at]  # WAC.003 falls at depth 4
    keys = ["total nodes= ", "total time= ", "avg depth= ", "avg nodes= ", "node_rate= ", "avg bf= ",
            "avg error= ", "xcnt= "]
    assert [lines[at + 1 + k][:len(key)] for k, key in enumerate(keys)] == keys, lines[at:]
    assert os.path.exists(os.path.join(d, "unsolved.epd"))


def test_tuner_one_pass_then_quit():
    labelled = first_lines(need_data("labelled", "quiet-labeled-excerpt.epd"), 80)
    # "quit" is read after the first pass: exactly one pass runs.
    code, out, d = run(["-tune", "few.epd"], stdin=b"quit\n", files={"few.epd": labelled})
    log = open(os.path.join(d, "tune.log")).read()
    assert code == 0 and log.startswith("pass= 0, k0= 2.000e+03\n** knight_value_op = "), log[:200]
    assert "pass= 1" not in log and log.count("** ") == 18 and "\nerr= " in log and "p1=" not in log, log
    err = float(re.search(r"\nerr= ([\d.]+)", log).group(1))
    assert 0 < err < 0.5 and out.count("p1=") == 18, (err, out)
    # Without a log file no pass runs.
    os.mkdir(os.path.join(d, "blocked"))
    os.mkdir(os.path.join(d, "blocked", "tune.log"))
    proc = subprocess.run([VESK, "-nolog", "-tune", "none.epd"], cwd=os.path.join(d, "blocked"),
                          capture_output=True, timeout=60)
    assert proc.returncode == 0 and b"pass=" not in proc.stdout, proc.stdout


def test_pgn_scan():
    # tests/tools/scan_games.pgn: only plies 20 and 21 of its first two games qualify.
    code, out, d = run(["-scan_pgn2", os.path.join(HERE, "scan_games.pgn")])
    assert code == 0 and out == "games= 3, positions= 4\n\n", out
    assert open(os.path.join(d, "tmp.epd")).read() == (
        'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Ng1; ce 31; c9 "0-1";\n'
        'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - bm Nb8; ce -7; c9 "0-1";\n'
        'rnbqkb1r/ppp1pppp/5n2/3p4/3P4/5N2/PPP1PPPP/RNBQKB1R w KQkq - bm Ng1; ce 33; c9 "1/2-1/2";\n'
        'rnbqkb1r/ppp1pppp/5n2/3p4/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - bm Ng8; ce -12; c9 "1/2-1/2";\n\n')
    # Every scored move of the games (the third ends at its score beyond 900), or none.
    assert run(["-scan_pgn3", os.path.join(HERE, "scan_games.pgn")])[1] == "games= 3, positions= 72\n\n"
    code, out, d = run(["-scan_pgn1", os.path.join(HERE, "scan_games.pgn")])
    assert out == "games= 3, positions= 0\n\n" and open(os.path.join(d, "tmp.pgn")).read().count("[Event ") == 3
    # Scores are read from their decimal digits (+0.29 is 29, not 28).
    values = ["+0.29", "+2.01", "-0.57", "+1.13", "-4.35", "+0.07", "-2.01", "+0.58"]
    moves = "Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8".split()
    game = '[Event "x"]\n\n' + " ".join("%s {%s/10 1s}" % m for m in zip(moves, values)) + " *\n"
    code, out, d = run(["-scan_pgn3", "scores.pgn"], files={"scores.pgn": game})
    written = [int(c) for c in re.findall(r"; ce (-?\d+);", open(os.path.join(d, "tmp.epd")).read())]
    assert written == [round(float(v) * 100) for v in values], written
    # A word that is no move ends its game; a switch without a mode number is refused.
    bad = '[Event "x"]\n\n1. e4 {book} e5 {book} 2. Zz9 {book} Nc6 {book} *\n'
    assert run(["-scan_pgn3", "bad.pgn"], files={"bad.pgn": bad})[1] == "games= 1, positions= 2\n\n"
    code, out, _ = run(["-scan_pgn", "x.pgn"], stdin=b"quit\n")
    assert code == 2 and "games=" not in out, out


def test_match_plays_legal_games_until_quit():
    code, out, d = run(["-match", "games.pgn"])
    assert code == 0 and out == "Can't open file test1.rc\n\n" and not os.path.exists(os.path.join(d, "games.pgn"))
    d = scratch_dir()
    with open(os.path.join(d, "test1.rc"), "w") as f:
        f.write("knight_value_op = 300\n")
    e = EngineSession(VESK, ["-nolog", "-d", "2", "-match", "games.pgn"], cwd=d)
    e.read_until(lambda l: l == "Starting match...")
    line = e.read_until(lambda l: l.startswith("   2 games,  "), timeout=60)[-1]
    wins, losses, draws = map(int, line.split()[2:5])
    assert wins + losses + draws == 2, line
    e.send("quit")
    assert e.close(timeout=60) == 0
    # Standard PGN: the seven-tag roster, numbered moves with {score/depth}, the result.
    text = open(os.path.join(d, "games.pgn")).read()
    games = [g for g in text.split('[Event "selfplay"]\n') if g]
    assert len(games) >= 2 and text.endswith("\n\n"), text[:500]
    for number, game in enumerate(games, 1):
        lines = game.split("\n")
        assert lines[2] == '[Round "%d"]' % number and lines[5].startswith('[Result "') and lines[7], lines[:8]
        assert re.match(r"1\. \S+ \{-?\d+\.\d\d/\d+\} (1\.\.\. )?\S+ \{", lines[7]), lines[7]
    check_with_pgn_extract(os.path.join(d, "games.pgn"))
    # The console replays every game move by move.
    c = EngineSession(VESK, ["-c", "-nolog"], cwd=d)
    c.read_until(lambda l: l == "white")
    for number in range(1, len(games) + 1):
        c.send("load games.pgn %d" % number)
        c.expect_line("loading games.pgn, tag %d" % number)
        c.read_until(lambda l: l in ("white", "black"))
    c.send("quit")
    c.close()
    assert not any("can't parse move" in line for line in c.transcript), c.dump()


if __name__ == "__main__":
    run_tests([(name[5:], fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
