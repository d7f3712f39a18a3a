"""Console commands that read and write files, and the board editor."""

import os
import sys
import tempfile

from engine_session import EngineSession, check_with_pgn_extract, run_tests

VESK = os.path.abspath(sys.argv[1])

PGN = """[Event "First"]
[White "Somebody"]

1. e4 {a comment
spanning {nested} two lines} e5 2. Nf3 Nc6 3. Bb5 a6 1-0

[Event "Second"]

1. d4 Nf6 2. c4 e6 3. Xyz d5 *
"""


def console():
    workdir = tempfile.mkdtemp(prefix="vesk-console-")
    e = EngineSession(VESK, ["-c", "-nolog"], cwd=workdir)
    e.read_until(lambda l: l == "white")
    e.expect_next("")
    return e, workdir


def board(e):
    lines = [e.read_line() for _ in range(11)]
    assert lines[10] == "" and lines[9] in ("white", "black"), lines
    return lines


def test_load_and_save():
    e, workdir = console()
    with open(os.path.join(workdir, "games.pgn"), "w") as f:
        f.write(PGN)
    e.send("load games.pgn")
    e.expect_next("loading games.pgn, tag ")
    e.expect_next("")
    assert board(e)[0] == "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    e.send("load games.pgn 2")
    e.expect_next("loading games.pgn, tag 2")
    e.expect_next("")
    e.expect_next("can't parse move 'Xyz'")
    assert board(e)[0] == "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -"
    e.send("load games.pgn Somebody")
    e.read_line()
    e.read_line()
    board(e)
    e.send("save")
    e.send("load missing.pgn")
    e.expect_next("loading missing.pgn, tag ")
    e.expect_next("")
    e.expect_next("can't open missing.pgn")
    e.send("bd")
    assert board(e)[0] == "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    # A game from a set-up position (two knights that both reach d2) is saved
    # with its position; both saved games load back.
    e.send("fen 4k3/8/8/8/8/5N2/8/RN2K3 w - - 3 20")
    board(e)
    for move in ("Nbd2", "Kd7", "Ra7"):
        e.send(move)
        e.read_until(lambda l: l in ("white", "black"))
        e.expect_next("")
    e.send("save")
    e.send("load tmp.pgn 2")
    e.expect_next("loading tmp.pgn, tag 2")
    e.expect_next("")
    assert board(e)[0] == "8/R2k4/8/8/8/5N2/3N4/4K3 b - -"
    e.send("load tmp.pgn 1")
    e.read_line()
    e.read_line()
    assert board(e)[0] == "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    with open(os.path.join(workdir, "tmp.pgn")) as f:
        text = f.read()
    assert '[FEN "4k3/8/8/8/8/5N2/8/RN2K3 w - - 3 20"]' in text, text
    assert "20. Nbd2 Kd7 21. Ra7+ *" in text, text
    check_with_pgn_extract(os.path.join(workdir, "tmp.pgn"))
    # Building a book without games keeps the book there is.
    with open(os.path.join(workdir, "book.opn"), "wb") as f:
        f.write(b"\x01" * 16)
    e.send("mkbook")
    e.expect_next("can't open book.pgn: no book built")
    with open(os.path.join(workdir, "book.opn"), "rb") as f:
        assert f.read() == b"\x01" * 16
    e.send("quit")
    assert e.close() == 0


def evaluation_report(e):
    """The lines before the report and the report's first line ("eval= ..., qscore= ...")."""
    lines = e.read_until(lambda l: l.startswith("eval= "))
    e.read_until(lambda l: l in ("white", "black"))
    e.expect_next("")
    return lines[:-1], lines[-1]


def test_evaluation_report_searches_and_stops_an_analysis():
    e, _ = console()
    # The quiescence score sees the queen won by exd5.
    e.send("fen 4k3/8/8/3q4/4P3/8/8/4K3 w - -")
    board(e)
    e.send("ev")
    scores = evaluation_report(e)[1]
    static, quiet = (int(x.split("=")[1]) for x in scores.split(",")[:2])
    assert quiet >= static + 800, scores
    # "ev" during an analysis stops it (its statistics come first) and reports
    # the same numbers every time.
    e.send("new")
    board(e)
    reports = []
    for _ in range(4):
        e.send("an")
        e.send("ev")
        before, scores = evaluation_report(e)
        assert any(l.startswith("move= ") for l in before), before
        reports.append(scores)
    assert len(set(reports)) == 1, reports
    e.send("quit")
    assert e.close() == 0


def test_get_from_test_file():
    e, workdir = console()
    e.send("get wac.001")
    e.expect_next("get")
    with open(os.path.join(workdir, "test.epd"), "w") as f:
        f.write('; id "wac.001"\n')
        f.write('2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id "wac.001";\n')
    e.send("get wac.001")
    e.expect_next('2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id "wac.001";')
    assert board(e)[0] == "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -"
    e.send("get wac.002")
    e.expect_next("")
    assert board(e)[0] == "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -"
    e.send("quit")
    assert e.close() == 0


def test_edit_reads_its_own_lines():
    e, _ = console()
    e.send("edit")
    assert e.read_until(lambda l: l.startswith("b  ")) == [
        "",
        ".                    end edit",
        "#                    clear board",
        "w  Pa2 Pb2 Kc2       white, pieces",
        "b  Pa7 Pb7 Kc7       black, pieces",
    ]
    e.send("#")
    e.send("w Ke1 Rh1 Pa2")
    e.send("b Ke8 Ra8")
    e.send(".")
    # Lines after "." are commands again.
    e.send("bd")
    assert board(e)[0] == "r3k3/8/8/8/8/8/P7/4K2R b Kq -"
    assert board(e)[0] == "r3k3/8/8/8/8/8/P7/4K2R b Kq -"
    e.send("edit")
    e.read_until(lambda l: l.startswith("b  "))
    e.send("#")
    e.send("w Ke1")
    e.send(".")
    e.expect_next("Illegal position: black must have exactly one king")
    assert board(e)[0] == "r3k3/8/8/8/8/8/P7/4K2R b Kq -"
    e.send("quit")
    assert e.close() == 0


run_tests([
    ("load and save", test_load_and_save),
    ("get from test.epd", test_get_from_test_file),
    ("evaluation report searches and stops an analysis", test_evaluation_report_searches_and_stops_an_analysis),
    ("edit reads its own lines", test_edit_reads_its_own_lines),
])
