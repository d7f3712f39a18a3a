"""Console searches: analysis lines, the statistics block, stopping, the table PV, lmr."""

import os
import re
import sys
import tempfile

from engine_session import EngineSession, run_tests

VESK = os.path.abspath(sys.argv[1])
LINE = re.compile(r"^\d\d\] \d\d[. ] +\d+\.\d +\d+K +-?\d+  \S+")


def console():
    e = EngineSession(VESK, ("-c", "-nolog"), cwd=tempfile.mkdtemp(prefix="vesk-console-"))
    e.expect_line("white")  # the start board
    return e


def statistics(e, timeout=60):
    lines = e.read_until(lambda l: l.startswith("move= "), timeout)
    stats = e.read_line()
    assert stats.startswith("Hash fill= ") and ", Hash hits: main= " in stats, stats
    rest = e.read_until(lambda l: l == "")
    return lines, rest


def test_analysis_to_a_depth_reports_and_summarises():
    e = console()
    e.send("go 4")
    lines, _ = statistics(e)
    while lines[0] == "":  # the blank line behind the start board
        lines.pop(0)
    assert lines[0] == "fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", lines
    assert lines[1].startswith("Ply= 0, Clock= "), lines
    reports = [l for l in lines if LINE.match(l)]
    assert reports and reports[-1].startswith("00] 04. "), lines
    assert re.match(r"^move= [a-h][1-8][a-h][1-8], time= \d+\.\d{3}, score= -?\d+, nodes= \d+, "
                    r"nps= \d+K ebf= \d+\.\d\d$", lines[-1]), lines[-1]
    # While a search runs a line shows at most 8 moves.
    for l in reports:
        if not l.startswith("00]"):
            assert len(l.split("  ", 1)[1].split()) <= 8, l
    e.send("quit")
    assert e.close() == 0


def test_endless_analysis_stops_on_dot():
    e = console()
    e.send("depth 100")
    e.send("an")
    e.read_until(lambda l: l.startswith("01] 05"), 30)
    e.send(".")
    statistics(e)
    e.send("mv")  # a timed search under the current limits still works after it
    e.send(".")
    statistics(e)
    e.send("quit")
    assert e.close() == 0


def test_reduction_tables_and_table_pv():
    e = console()
    e.send("lmr")
    lines = e.read_until(lambda l: l.startswith("30  "), 10)
    first = [l for l in lines if re.match(r"^ ?\d+  ", l)]
    assert first[0].startswith(" 1  ") and len(first[0].split()) == 33, first[0]
    e.read_until(lambda l: l == "")
    lines = e.read_until(lambda l: l.startswith("30  "), 10)
    assert len(lines) == 30, lines
    e.send("pv")
    e.expect_line("PV: ")
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
