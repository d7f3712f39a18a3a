"""UCI dialogue of the real binary: handshake, options, input framing, end of input."""

import os
import sys
import tempfile

from engine_session import EngineSession, run_tests

VESK = os.path.abspath(sys.argv[1])

OPTION_LINES = [
    "option name Hash type spin default 64 min 0 max 8192",
    "option name Threads type spin default 1 min 1 max 64",
    "option name Ponder type check default true",
    "option name MultiPV type spin default 1 min 1 max 255",
    "option name Clear Hash type button",
    "option name Communication Overhead type spin default 25 min 0 max 5000",
    "option name OwnBook type check default false",
    "option name Log type check default false",
    "option name SyzygyPath type string default ",
    "option name SyzygyProbeDepth5 type spin default 1 min 1 max 100",
    "option name SyzygyProbeDepth6 type spin default 3 min 1 max 100",
    "option name UCI_Chess960 type check default false",
    "option name UCI_LimitStrength type check default false",
    "option name UCI_Elo type spin default 1500 min 1000 max 2500",
]


def session(*args):
    # Each session runs in its own directory: vesk.log and vesk.rc are per directory.
    workdir = tempfile.mkdtemp(prefix="vesk-uci-")
    return EngineSession(VESK, args, cwd=workdir), workdir


def test_handshake_lists_identity_and_options_in_order():
    e, _ = session("-nolog")
    e.send("uci")
    lines = e.read_until(lambda l: l == "uciok")
    assert lines == ["id name Vesk 3.50", "id author Tolvane"] + OPTION_LINES + ["uciok"], lines
    e.send("isready")
    e.expect_next("readyok")
    e.send("quit")
    assert e.close() == 0


def test_option_replies_and_clamps():
    e, _ = session("-nolog")
    e.send("uci")
    e.expect_line("uciok")
    cases = [
        ("setoption name MultiPV value 0", "info string MultiPV set to 1"),
        ("setoption name MultiPV value 300", "info string MultiPV set to 255"),
        ("setoption name MultiPV", "info string MultiPV set to 1"),
        ("setoption name Communication Overhead value -5", "info string Communication Overhead set to 0"),
        ("setoption name Communication Overhead value 9000", "info string Communication Overhead set to 5000"),
        ("setoption name Communication Overhead value abc", "info string Communication Overhead set to 0"),
        ("setoption name Threads value 0", "info string Threads set to 1"),
        ("setoption name Threads value 1", "info string Threads set to 1"),
        ("setoption name OwnBook value true", "info string OwnBook set to 1"),
        ("setoption name OwnBook value TRUE", "info string OwnBook set to 0"),
        ("setoption name Hash value -5", "info string Hash size set to 0M bytes"),
        ("setoption name Hash value 16", "info string Hash size set to 16M bytes"),
        ("setoption name SyzygyProbeDepth5 value 0", "info string SyzygyProbeDepth5 set to 1"),
        ("setoption name SyzygyProbeDepth6 value 101", "info string SyzygyProbeDepth6 set to 100"),
        ("setoption name SyzygyPath value /no/such dir", "info string SyzygyPath set to /no/such"),
        (None, "info string found 0 tablebases"),
        ("setoption name Clear Hash", "Hash table cleared"),
        ("setoption   name   Clear Hash   ", "Hash table cleared"),
    ]
    for command, reply in cases:
        if command:
            e.send(command)
        line = e.read_line()
        if line != reply:
            raise AssertionError("%r -> %r, expected %r" % (command, line, reply))
    # No reply at all for Ponder, unknown options and unknown commands: the next
    # line must be the answer to isready.
    for silent in ("setoption name Ponder value false", "setoption name Nonsense value 3",
                   "setoption value 3 name Hash", "debug on", "register later", "bd", "xyzzy"):
        e.send(silent)
    e.send("isready")
    e.expect_next("readyok")
    e.send("quit")
    assert e.close() == 0


def test_log_echo_and_log_file():
    e, workdir = session()
    e.send("isready")
    e.expect_next("CMD: isready")
    e.expect_next("readyok")
    e.send("")
    e.send("\r")
    e.send("uci")
    e.expect_next("CMD: uci")
    e.expect_line("uciok")
    e.send("isready")  # logging is off after uci: no echo
    e.expect_next("readyok")
    e.send("setoption name Log value true")
    e.expect_next("info string Log set to 1")
    e.send("isready")
    e.expect_next("CMD: isready")
    e.expect_next("readyok")
    e.send("quit")
    assert e.close() == 0
    log = open(os.path.join(workdir, "vesk.log")).read().splitlines()
    assert log[:2] == ["CMD: isready", "readyok"], log
    assert "uciok" not in log, log
    assert log[-3:] == ["CMD: isready", "readyok", "CMD: quit"], log
    assert "CMD: " not in log and "CMD: \r" not in log


def test_input_framing():
    e, _ = session("-nolog")
    e.send_raw(b"isready\nisready\n")
    e.expect_next("readyok")
    e.expect_next("readyok")
    e.send_raw(b"isre")
    e.expect_silence(0.2)
    e.send_raw(b"ady\n")
    e.expect_next("readyok")
    e.send_raw(b"isready\r\n")
    e.expect_next("readyok")
    e.send_raw(b"\n\n\r\n")
    e.send_raw(b"x" * 100000 + b"\n")
    e.send_raw(b"xyzzy\n" * 10000)
    e.send_raw(bytes(range(1, 256)) * 10 + b"\n")
    e.send("isready")
    e.expect_next("readyok")
    e.send("quit")
    assert e.close() == 0


def test_end_of_input_quits_cleanly():
    e, _ = session("-nolog")
    e.send("isready")
    e.close_input()
    e.expect_next("readyok")
    assert e.close() == 0
    # A last line without a line break still runs.
    e, _ = session("-nolog")
    e.send_raw(b"isready")
    e.close_input()
    e.expect_next("readyok")
    assert e.close() == 0


def test_go_is_answered_with_bestmove():
    e, _ = session("-nolog")
    e.send("uci")
    e.expect_line("uciok")
    e.send("position startpos moves e2e4 e7e5")
    e.send("go depth 1")
    line = e.read_until(lambda l: l.startswith("bestmove"))[-1]
    assert line.startswith("bestmove "), line
    e.send("stop")  # no search: no second bestmove
    e.send("isready")
    e.expect_next("readyok")
    e.send("quit")
    assert e.close() == 0


def test_console_uci_word_switches_protocol():
    e, _ = session("-c", "-nolog")
    e.send("uci")
    lines = e.read_until(lambda l: l == "uciok")
    assert "id name Vesk 3.50" in lines
    e.send("isready")
    e.expect_line("readyok")
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
