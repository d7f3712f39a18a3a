"""The console mode of the real binary: the board display, moves and take-backs, FEN and
bad input, counting and exchange commands, games loaded and saved, the test file, the
board editor, analysis with its statistics, and the evaluation reports."""

import os
import re
import sys

from engine_session import EngineSession, check_with_pgn_extract, need_data, run_tests, scratch_dir

VESK = os.path.abspath(sys.argv[1])
START_BOARD = ["rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", " r n b q k b n r", " o o o o o o o o",
               " - + - + - + - +", " + - + - + - + -", " - + - + - + - +", " + - + - + - + -",
               " P P P P P P P P", " R N B Q K B N R", "white", ""]
PGN = """[Event "First"]
[White "Somebody"]

1. e4 {a comment
spanning {nested} two lines} e5 2. Nf3 Nc6 3. Bb5 a6 1-0

[Event "Second"]

1. d4 Nf6 2. c4 e6 3. Xyz d5 *
"""


def console(files=None):
    cwd = scratch_dir()
    for name, text in (files or {}).items():
        with open(os.path.join(cwd, name), "w") as f:
            f.write(text)
    e = EngineSession(VESK, ["-c", "-nolog"], cwd=cwd)
    # A greeting, then the start position, shown once at start-up.
    assert e.read_until(lambda l: l == "white")[-10:] == START_BOARD[:-1]
    e.expect_next("")
    return e


def first_lines(path, n):
    with open(path) as f:
        return "".join(f.readline() for _ in range(n))


def board(e):
    """The next board display: FEN, eight ranks, side to move, empty line."""
    lines = [e.read_line() for _ in range(11)]
    assert lines[10] == "" and lines[9] in ("white", "black"), (lines, e.dump())
    return lines


def fen_after(e, command, *before):
    e.send(command)
    for line in before:
        e.expect_next(line)
    return board(e)[0]


def test_moves_take_backs_and_bad_input():
    e = console()
    e.send("e4")
    e.expect_next("1. move e4")
    b = board(e)
    assert b[0] == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3" and b[5] == " - + - + P + - +"
    # Typed moves are echoed in standard notation.
    assert fen_after(e, "move c7c5", "1. move c5") == "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6"
    assert fen_after(e, "Nf3", "2. move Nf3") == "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"
    # Illegal and unknown words change nothing and say so.
    e.send("Ke2")
    e.expect_next("illegal move: Ke2")
    e.send("hello")
    assert e.read_line().startswith("unknown command or move: hello")
    assert fen_after(e, "undo") == "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6"
    assert fen_after(e, "[") == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"
    fen_after(e, "]", "1... move c7c5")
    assert fen_after(e, "]", "2. move g1f3") == "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"
    e.send("]")  # the end of the redo chain: nothing
    e.send("jump 0")
    assert board(e) == START_BOARD
    assert fen_after(e, "jump 99") == "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"
    # A new move ends the redo chain.
    fen_after(e, "jump 1")
    fen_after(e, "d5", "1. move d5")
    e.send("]")
    assert fen_after(e, "[") == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"
    assert fen_after(e, "fen 4k3/8/8/8/8/8/8/4K2R w KQ - 0 1", "Illegal EPD record") == "4k3/8/8/8/8/8/8/4K2R w K -"
    for text, reason in [("fen", "no piece placement"), ("fen ???", "no piece placement"),
                         ("fen garbage", "white must have exactly one king"),
                         ("fen 8/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
                         ("fen 4k3/8/8/8/8/8/8/4K2r b - -", "the side not to move is in check"),
                         ("fen P3k3/8/8/8/8/8/8/4K3 w - -", "pawn on the first or eighth rank")]:
        assert fen_after(e, text, "Illegal FEN: " + reason) == "4k3/8/8/8/8/8/8/4K2R w K -", text
    assert fen_after(e, "fen 4k3/8/8/8/8/8/8/4K2R") == "4k3/8/8/8/8/8/8/4K2R w - -"
    # Every form of a move is read; an ambiguous one is refused with a remark.
    fen_after(e, "fen 4k3/8/8/8/4N3/8/8/1N2K3 w - -")
    e.send("Nd2")
    e.expect_next("ambiguous move")
    assert fen_after(e, "Nbd2", "1. move Nbd2") == "4k3/8/8/8/4N3/8/3N4/4K3 b - -"
    e.send("new")
    assert board(e) == START_BOARD
    e.send("quit")
    assert e.close() == 0


def test_counting_exchanges_and_settings():
    e = console()
    e.send("perft 3")
    lines = e.read_until(lambda l: l.startswith("visited "))
    assert lines[0] == "fen " + START_BOARD[0] and lines[1].startswith("Ply= 0, Clock= "), lines
    counts = dict(l.split(": ") for l in lines[2:-1])
    assert len(counts) == 20 and counts["a2a3"] == "380" and counts["g1h3"] == "400", counts
    assert lines[-1].startswith("visited 8902 nodes in ") and ", nps= " in lines[-1], lines
    # The count leaves the game and its redo chain alone.
    fen_after(e, "e4", "1. move e4")
    fen_after(e, "undo")
    e.send("perft 2")
    e.read_until(lambda l: l.startswith("visited 400 "))
    fen_after(e, "]", "1. move e2e4")
    fen_after(e, "fen 4k3/8/8/3p4/4P3/8/8/4K3 w - -")
    e.send("swap")
    e.expect_next("sq= e4, swap= 100")
    e.expect_next("sq= d5, swap= 100")
    e.send("level 40 5:00 2")
    e.expect_next("set level to 40 moves in 300.00 seconds, inc 2.00")
    # Commands that only set values answer nothing; the next reply comes straight.
    for line in ("depth 100", "multipv 3", "noise 1", "hash 2", "ponder 0", "debug 0", "trace 0"):
        e.send(line)
    e.send("pv")
    e.expect_next("PV: ")
    # The search tree down to the trace level goes to trace.txt.
    e.send("trace 2")
    e.send("go 3")
    statistics(e)
    trace = open(os.path.join(e.cwd, "trace.txt")).read()
    assert "SEARCH DEPTH= 3" in trace and re.search(r"\( \d\)[a-h][1-8][a-h][1-8] ", trace), trace[:300]
    e.send("quit")
    assert e.close() == 0


def test_games_files_and_the_board_editor():
    e = console({"games.pgn": PGN})
    assert fen_after(e, "load games.pgn", "loading games.pgn, tag ", "") == \
        "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    assert fen_after(e, "load games.pgn 2", "loading games.pgn, tag 2", "", "can't parse move 'Xyz'") == \
        "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -"
    fen_after(e, "load games.pgn Somebody", "loading games.pgn, tag Somebody", "")
    e.send("save")
    e.send("load missing.pgn")
    e.expect_next("loading missing.pgn, tag ")
    e.expect_next("")
    e.expect_next("can't open missing.pgn")
    assert fen_after(e, "bd") == "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    # A game from a set-up position (two knights that both reach d2) is saved as
    # standard PGN with its position; both saved games load back.
    fen_after(e, "fen 4k3/8/8/8/8/5N2/8/RN2K3 w - - 3 20")
    for move, echo in (("Nbd2", "20. move Nbd2"), ("Kd7", "20. move Kd7"), ("Ra7", "21. move Ra7+")):
        fen_after(e, move, echo)
    e.send("save")
    assert fen_after(e, "load tmp.pgn 2", "loading tmp.pgn, tag 2", "") == "8/R2k4/8/8/8/5N2/3N4/4K3 b - -"
    assert fen_after(e, "load tmp.pgn 1", "loading tmp.pgn, tag 1", "") == \
        "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
    text = open(os.path.join(e.cwd, "tmp.pgn")).read()
    assert re.match(r'\[Event "Unknown"\]\n\[Site "\?"\]\n\[Date "\d{4}\.\d\d\.\d\d"\]\n\[Round "\?"\]\n'
                    r'\[White "\?"\]\n\[Black "\?"\]\n\[Result "\*"\]\n\n1\. e4 e5 2\. Nf3 Nc6 3\. Bb5 a6 \*\n\n', text), text
    assert '[FEN "4k3/8/8/8/8/5N2/8/RN2K3 w - - 3 20"]\n\n20. Nbd2 Kd7 21. Ra7+ *\n' in text, text
    check_with_pgn_extract(os.path.join(e.cwd, "tmp.pgn"))
    # Building a book without games keeps the book there is.
    with open(os.path.join(e.cwd, "book.opn"), "wb") as f:
        f.write(b"\x01" * 16)
    e.send("mkbook")
    e.expect_next("can't open book.pgn: no book built")
    assert open(os.path.join(e.cwd, "book.opn"), "rb").read() == b"\x01" * 16
    e.send("get wac.001")
    e.expect_next("get")  # no test.epd yet
    with open(os.path.join(e.cwd, "test.epd"), "w") as f:
        f.write('; id "wac.001"\n2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id "wac.001";\r\n')
    wac = "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -"
    assert fen_after(e, "get wac.001", wac + ' bm Qg6; id "wac.001";') == wac
    assert fen_after(e, "get wac.002", "") == wac
    e.send("edit")
    assert e.read_until(lambda l: l.startswith("b  ")) == [
        "", ".                    end edit", "#                    clear board",
        "w  Pa2 Pb2 Kc2       white, pieces", "b  Pa7 Pb7 Kc7       black, pieces"]
    # Pieces replace what stands on their square; a square off the board ends a line.
    for line in ("#", "", "w Ke1 Ra1 Rh1 Pe4", "b ke8 qd8 pa7 Pb7 Xc3 Kz9 Nb8", "."):
        e.send(line)
    assert board(e)[0] == "3qk3/pp6/8/8/4P3/8/8/R3K2R b KQ -"
    e.send("edit")
    e.read_until(lambda l: l.startswith("b  "))
    for line in ("#", "w Ke1", "."):
        e.send(line)
    e.expect_next("Illegal position: black must have exactly one king")
    assert board(e)[0] == "3qk3/pp6/8/8/4P3/8/8/R3K2R b KQ -"
    e.send("quit")
    assert e.close() == 0


def statistics(e, timeout=60):
    lines = e.read_until(lambda l: l.startswith("move= "), timeout)
    stats = e.read_line()
    assert stats.startswith("Hash fill= ") and ", Hash hits: main= " in stats, stats
    e.read_until(lambda l: l == "")
    return lines


def evaluation_report(e):
    """The lines before the next evaluation report and its first line ("eval= ..., qscore= ...")."""
    lines = e.read_until(lambda l: l.startswith("eval= "))
    e.read_until(lambda l: l in ("white", "black"))
    e.expect_next("")
    return lines[:-1], lines[-1]


def test_analysis_and_reports():
    e = console({"vesk.rc": "pawn_value 95 115\n"})
    e.send("go 4")
    lines = statistics(e)
    lines = [l for l in lines if l]
    assert lines[0] == "fen " + START_BOARD[0] and lines[1].startswith("Ply= 0, Clock= "), lines
    reports = [l for l in lines if re.match(r"^\d\d\] \d\d[. ] +\d+\.\d +\d+K +-?\d+  \S+", l)]
    assert reports and reports[-1].startswith("00] 04. "), lines
    assert re.match(r"^move= [a-h][1-8][a-h][1-8], time= \d+\.\d{3}, score= -?\d+, nodes= \d+, "
                    r"nps= \d+K ebf= \d+\.\d\d$", lines[-1]), lines[-1]
    # While a search runs a line shows at most 8 moves.
    assert all(len(l.split("  ", 1)[1].split()) <= 8 for l in reports if not l.startswith("00]")), reports
    e.send("depth 100")
    e.send("an")
    e.read_until(lambda l: l.startswith("01] 05"), 30)
    e.send(".")
    statistics(e)
    e.send("mv")  # a timed search under the current limits still works after it
    e.send(".")
    statistics(e)
    # The evaluation report of the symmetric start position: equal columns, mirrored squares.
    e.send("new")
    board(e)
    e.send("ev")
    lines = e.read_until(lambda l: l in ("white", "black"))
    e.expect_next("")
    rows = {l.split("=")[0]: l.split()[1:4] for l in lines if re.match(r"^[a-z]+= +-?\d", l)}
    assert all(w == b and d == "0" for name, (w, b, d) in rows.items() if name not in ("eval", "pos")), rows
    squares = [l[16:].split() for l in lines if re.match(r"^( [-+a-zA-Z]){8}  ", l)]
    assert len(squares) == 8 and squares == squares[::-1], lines
    e.send("fen 4k3/4r3/8/8/1b6/2B5/4N3/Q3K3 b - -")
    board(e)
    e.send("ev")
    lines = e.read_until(lambda l: l in ("white", "black"))
    e.expect_next("")
    assert "hung pieces on:   b4" in lines and "pinned pieces on :  e2  c3" in lines, lines
    # The quiescence score sees the queen that exd5 wins.
    e.send("fen 4k3/8/8/3q4/4P3/8/8/4K3 w - -")
    board(e)
    e.send("ev")
    static, quiet = (int(x.split("=")[1]) for x in evaluation_report(e)[1].split(",")[:2])
    assert quiet >= static + 800, (static, quiet)
    # "ev" during an analysis stops it first (its statistics come before the report),
    # and the report is the same every time.
    reports = set()
    for _ in range(4):
        e.send("an")
        e.send("ev")
        before, first = evaluation_report(e)
        assert any(l.startswith("move= ") for l in before), before
        reports.add(first)
    assert len(reports) == 1, reports
    # The parameter report shows what vesk.rc set.
    e.send("sp")
    e.read_until(lambda l: l.startswith("piece values=  95/115 "))
    e.send("quit")
    assert e.close() == 0


def test_tuning_one_parameter_keeps_the_value_in_force():
    e = console({"vesk.rc": "pawn_value 95 115\n",
                 "tune.epd": first_lines(need_data("labelled", "quiet-labeled-excerpt.epd"), 48)})
    e.send("tune pawn_value_op")
    e.expect_line("tuning pawn_value_op", 120)
    e.read_until(lambda l: l == "done!", 120)
    e.send("sp")
    e.read_until(lambda l: l.startswith("piece values=  95/115 "))
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    run_tests([(name[5:], fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
