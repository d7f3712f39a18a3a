"""Console mode of the real binary: board display, moves, take-backs, FEN and perft."""

import os
import sys
import tempfile

from engine_session import EngineSession, run_tests

VESK = os.path.abspath(sys.argv[1])

START_BOARD = [
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    " r n b q k b n r",
    " o o o o o o o o",
    " - + - + - + - +",
    " + - + - + - + -",
    " - + - + - + - +",
    " + - + - + - + -",
    " P P P P P P P P",
    " R N B Q K B N R",
    "white",
    "",
]


def console():
    workdir = tempfile.mkdtemp(prefix="vesk-console-")
    e = EngineSession(VESK, ["-c", "-nolog"], cwd=workdir)
    # The start position is shown once at start-up, after the greeting.
    assert e.read_until(lambda l: l == "white")[1:] == START_BOARD[:-1], e.dump()
    e.expect_next("")
    return e


def board(e):
    """The next board display: FEN, eight ranks, side, empty line."""
    lines = [e.read_line() for _ in range(11)]
    assert lines[10] == "" and lines[9] in ("white", "black"), lines
    return lines


def test_board_display_and_moves():
    e = console()
    e.send("bd")
    assert board(e) == START_BOARD
    e.send("e4")
    e.expect_next("1. move e4")
    b = board(e)
    assert b[0] == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", b
    assert b[5] == " - + - + P + - +", b
    assert b[9] == "black"
    e.send("move c7c5")
    e.expect_next("1. move c5")  # echoed in standard notation
    board(e)
    e.send("Nf3")
    e.expect_next("2. move Nf3")
    assert board(e)[0] == "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"
    # Illegal and unknown words change nothing.
    e.send("Ke2")
    e.expect_next("illegal move: Ke2")
    e.send("hello")
    e.read_line()
    e.send("undo")
    assert board(e)[0] == "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6"
    e.send("[")
    assert board(e)[0] == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"
    e.send("]")
    e.expect_next("1... move c7c5")
    board(e)
    e.send("]")
    e.expect_next("2. move g1f3")
    board(e)
    e.send("jump 0")
    assert board(e) == START_BOARD
    e.send("jump 3")
    assert board(e)[0] == "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"
    e.send("quit")
    assert e.close() == 0


def test_fen_new_and_bad_input():
    e = console()
    e.send("fen 4k3/8/8/8/8/8/8/4K2R w KQ - 0 1")
    e.expect_next("Illegal EPD record")
    assert board(e)[0] == "4k3/8/8/8/8/8/8/4K2R w K -"
    for text, reason in [
        ("fen", "no piece placement"),
        ("fen ???", "no piece placement"),
        ("fen garbage", "white must have exactly one king"),
        ("fen 8/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
        ("fen 4k3/8/8/8/8/8/8/4K2r b - -", "the side not to move is in check"),
        ("fen P3k3/8/8/8/8/8/8/4K3 w - -", "pawn on the first or eighth rank"),
    ]:
        e.send(text)
        e.expect_next("Illegal FEN: " + reason)
        assert board(e)[0] == "4k3/8/8/8/8/8/8/4K2R w K -", text
    e.send("fen 4k3/8/8/8/8/8/8/4K2R")
    assert board(e)[0] == "4k3/8/8/8/8/8/8/4K2R w - -"
    e.send("new")
    assert board(e) == START_BOARD
    e.send("quit")
    assert e.close() == 0


def test_perft_swap_and_settings():
    e = console()
    e.send("perft 2")
    lines = e.read_until(lambda l: l.startswith("visited "))
    # The search preparation announces the position first.
    assert lines[0] == "fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", lines
    assert lines[1].startswith("Ply= 0, Clock= "), lines
    lines = lines[2:]
    assert lines[0] == "a2a3: 20" and len(lines) == 21, lines
    assert lines[-1].startswith("visited 400 nodes in ") and ", nps= " in lines[-1], lines
    e.send("fen 4k3/8/8/3p4/4P3/8/8/4K3 w - -")
    board(e)
    e.send("swap")
    e.expect_next("sq= e4, swap= 100")
    e.expect_next("sq= d5, swap= 100")
    e.send("level 40 5:00 0")
    e.expect_next("set level to 40 moves in 300.00 seconds, inc 0.00")
    e.send("level 40 300 0")
    e.expect_next("set level to 40 moves in 300.00 seconds, inc 0.00")
    # Commands that only set values answer nothing; the next reply comes straight.
    for line in ("depth 100", "multipv 3", "noise 1", "hash 2", "ponder 0", "debug 0", "trace 0"):
        e.send(line)
    e.send("fen 4k3/8/8/8/4N3/8/8/1N2K3 w - -")
    board(e)
    e.send("Nd2")
    e.expect_next("ambiguous move")
    e.send("Nbd2")
    e.expect_next("1. move Nbd2")
    board(e)
    e.send("quit")
    assert e.close() == 0


run_tests([
    ("board display and moves", test_board_display_and_moves),
    ("fen, new and bad input", test_fen_new_and_bad_input),
    ("perft, swap and settings", test_perft_swap_and_settings),
])
