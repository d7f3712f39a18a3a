"""The engine over UCI, as a front end sees it: handshake and options, the log, input
framing and garbage, end of input, positions and moves good and bad, every kind of
search limit, pondering, several threads, tablebases, the book and damaged files.
After every kind of bad input the engine still answers and exits with code 0.
Words given after the binary select the tests whose names contain them."""

import os
import random
import re
import resource
import signal
import sys

from engine_session import (EngineSession, SessionError, Skipped, find_stockfish, need_data, run_tests,
                            scratch_dir)

VESK = os.path.abspath(sys.argv[1])
# Checked builds run many times slower than normal ones.
SLOW = 8 if os.environ.get("VESK_SANITIZE") else 1
MOVE = re.compile(r"^[a-h][1-8][a-h][1-8][qrbn]?$")
START_MOVES = set("a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 "
                  "b1a3 b1c3 g1f3 g1h3".split())
# Positions with exactly one legal move: the bestmove tells which position is in force.
WHITE_ONE = "7k/8/8/8/8/P7/5q2/7K w - -"  # only a3a4
BLACK_ONE = "7k/5Q2/p7/8/8/8/8/7K b - -"  # only a6a5
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


def engine(args=("-nolog",), files=None, cwd=None, preexec_fn=None, handshake=True):
    """An engine started in a directory holding files (data None: a directory)."""
    cwd = cwd or scratch_dir()
    for name, data in (files or {}).items():
        path = os.path.join(cwd, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            os.mkdir(path)
        else:
            with open(path, "wb") as f:
                f.write(data)
    e = EngineSession(VESK, args, cwd=cwd, preexec_fn=preexec_fn)
    if handshake:
        e.send("uci")
        e.expect_line("uciok", 20 * SLOW)
    return e


def bestmove(e, timeout=60):
    """Move and ponder move of the next bestmove line, and the lines before it."""
    lines = e.read_until(lambda l: l.startswith("bestmove"), timeout * SLOW)
    words = lines[-1].split()
    return words[1], (words[3] if len(words) > 3 else None), lines[:-1]


def play(e, setup, limit="depth 1"):
    e.send(setup if setup.startswith("position") else "position fen " + setup)
    e.send("go " + limit)
    return bestmove(e)[0]


def replies(e, command):
    """Lines printed for command, up to the readyok of an isready sent behind it."""
    e.send(command)
    e.send("isready")
    return e.expect_line("readyok", 20 * SLOW)


def quit_cleanly(e):
    e.send("quit")
    code = e.close(20 * SLOW)
    if code != 0:  # a checker's report ends the engine with code 66
        raise SessionError("exit code %d\n%s" % (code, e.dump()))
    return e.proc.stderr.read().decode(errors="replace")


def scores(lines, kind="cp"):
    return [int(m.group(1)) for m in (re.search(r"score %s (-?\d+)" % kind, l) for l in lines) if m]


def depths(lines):
    return [int(m.group(1)) for m in (re.match(r"info (?:multipv \d+ )?depth (\d+)", l) for l in lines) if m]


class LegalMoves:
    """Legal moves judged by stockfish's perft."""

    def __init__(self):
        path = find_stockfish()
        if not path:
            raise Skipped("stockfish not installed (scripts/test-deps installs it)")
        self.oracle = EngineSession(path)
        self.oracle.send("uci")
        self.oracle.expect_line("uciok")

    def is_legal(self, moves, move):
        self.oracle.send("position startpos moves " + " ".join(moves))
        self.oracle.send("go perft 1")
        return any(l.startswith(move + ":") for l in self.oracle.read_until(lambda l: l.startswith("Nodes searched")))

    def close(self):
        self.oracle.send("quit")
        self.oracle.close()


def test_handshake_and_option_replies():
    e = engine(handshake=False)
    e.send("uci")
    assert e.read_until(lambda l: l == "uciok") == ["id name Vesk 3.50", "id author Tolvane"] + \
        OPTION_LINES + ["uciok"]
    cases = [
        ("MultiPV value 0", "MultiPV set to 1"), ("MultiPV value 300", "MultiPV set to 255"),
        ("MultiPV", "MultiPV set to 1"), ("MultiPV value x", "MultiPV set to 1"),
        ("MultiPV value 4294967296", "MultiPV set to 255"), ("MultiPV value 3", "MultiPV set to 3"),
        ("Communication Overhead value -5", "Communication Overhead set to 0"),
        ("Communication Overhead value 9000", "Communication Overhead set to 5000"),
        ("Communication Overhead value 30ms", "Communication Overhead set to 30"),
        ("Communication Overhead value 4294967296", "Communication Overhead set to 5000"),
        ("Threads value 0", "Threads set to 1"), ("Threads value abc", "Threads set to 1"),
        ("Threads value 4294967298", "Threads set to 64"), ("Threads value 1", "Threads set to 1"),
        ("OwnBook value true", "OwnBook set to 1"), ("OwnBook value TRUE", "OwnBook set to 0"),
        ("OwnBook value yes", "OwnBook set to 0"), ("Log value no", "Log set to 0"),
        ("Hash value -5", "Hash size set to 0M bytes"), ("Hash value abc", "Hash size set to 0M bytes"),
        ("Hash value -4294967295", "Hash size set to 0M bytes"), ("Hash value 1.9", "Hash size set to 1M bytes"),
        ("Hash value 16", "Hash size set to 16M bytes"), ("Hash value", "Hash size set to 0M bytes"),
        ("Threads value", "Threads set to 1"),
        ("SyzygyProbeDepth5 value 0", "SyzygyProbeDepth5 set to 1"),
        ("SyzygyProbeDepth5 value abc", "SyzygyProbeDepth5 set to 1"),
        ("SyzygyProbeDepth6 value 99999999999", "SyzygyProbeDepth6 set to 100"),
        ("UCI_Elo value 500", "UCI_Elo set to 1000"), ("UCI_Elo value 3000", "UCI_Elo set to 2500"),
        ("UCI_Elo value abc", "UCI_Elo set to 1000"), ("UCI_Chess960 value yes", "UCI_Chess960 set to 0"),
        # A string value is the whole text after "value", at most 129 characters.
        ("SyzygyPath value /no/such dir ", "SyzygyPath set to /no/such dir"), (None, "found 0 tablebases"),
        ("SyzygyPath value " + "p" * 300, "SyzygyPath set to " + "p" * 129), (None, "found 0 tablebases"),
    ]
    for command, reply in cases:
        if command:
            e.send("setoption name " + command)
        line = e.read_line()
        assert line == "info string " + reply, (command, line)
    for command in ("setoption name Clear Hash", "setoption   name   Clear Hash   ",
                    "setoption name Clear Hash value now"):
        e.send(command)
        e.expect_next("info string Hash table cleared")
    # Commands without a reply: the next line answers isready.
    for silent in ("setoption name Ponder value false", "setoption name Nonsense value 3",
                   "setoption value 3 name Hash", "setoption", "setoption name", "setoption value 3",
                   "setoption name Hash2 value 1", "debug on", "register later", "bd", "xyzzy", "d",
                   "eval", "GO depth 1", "Isready", "isready2", "ucinewgame now", "quit2"):
        e.send(silent)
    e.send("isready")
    e.expect_next("readyok")
    # The console's "uci" switches to UCI for good.
    c = engine(("-c", "-nolog"), handshake=False)
    c.send("uci")
    assert "id name Vesk 3.50" in c.read_until(lambda l: l == "uciok")
    assert replies(c, "xyzzy") == []
    quit_cleanly(c)
    e.send("position startpos")
    e.send("go depth 3")
    move, _, lines = bestmove(e)
    assert move in START_MOVES and {l.split()[2] for l in lines if l.startswith("info multipv ")} == {"1", "2", "3"}
    quit_cleanly(e)


def test_log_echo_and_log_files():
    # Commands are echoed into the log only: standard output carries UCI alone.
    e = engine(args=(), handshake=False)
    e.send("isready")
    e.expect_next("readyok")
    e.send("")
    e.send("uci")
    e.expect_next("id name Vesk 3.50")
    e.expect_line("uciok")
    e.send("isready")  # logging is off after uci: no echo
    e.expect_next("readyok")
    e.send("setoption name Log value untrue")  # any value containing true switches it on
    e.expect_next("info string Log set to 1")
    assert replies(e, "setoption name Log value off") == ["info string Log set to 0"]
    quit_cleanly(e)
    log = open(os.path.join(e.cwd, "vesk.log")).read().splitlines()
    assert log[:2] == ["CMD: isready", "readyok"] and "uciok" not in log and "CMD: " not in log, log
    assert log[-2:] == ["info string Log set to 1", "CMD: setoption name Log value off"], log
    # -nolog leaves that log alone; the Log option then appends to it.
    again = engine(args=("-nolog",), cwd=e.cwd)
    again.send("setoption name Log value true")
    quit_cleanly(again)
    assert open(os.path.join(e.cwd, "vesk.log")).read().splitlines() == \
        log + ["info string Log set to 1", "CMD: quit"]
    # A directory in the way: "log file in use"; a link into nowhere (as a read-only
    # directory would be for anyone but root): no log; a full disk (writes beyond 100
    # bytes fail): play goes on.
    def small_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    blocked = scratch_dir()
    os.symlink(os.path.join(blocked, "missing", "vesk.log"), os.path.join(blocked, "vesk.log"))
    runs = [({"vesk.log/keep": b""}, None, None, ["info string log file in use", ""]), ({}, blocked, None, []),
            ({}, None, small_files, [])]
    for files, cwd, preexec, start in runs:
        e = engine(args=(), files=files, cwd=cwd, preexec_fn=preexec, handshake=False)
        for _ in range(30):
            e.send("isready")
        assert e.expect_line("readyok") == start, e.dump()
        for _ in range(29):
            e.expect_next("readyok")
        e.send("uci")
        e.expect_line("uciok")
        e.send("setoption name Log value true")
        e.expect_next("info string Log set to 1")
        assert play(e, "position startpos", "depth 4") in START_MOVES
        quit_cleanly(e)
    assert os.path.getsize(os.path.join(e.cwd, "vesk.log")) <= 100


def test_input_framing_long_lines_and_garbage():
    e = engine()
    e.send_raw(b"isready\nisready\n")
    e.expect_next("readyok")
    e.expect_next("readyok")
    e.send_raw(b"isre")
    e.expect_silence(0.2)
    e.send_raw(b"ady\n")
    e.expect_next("readyok")
    cases = [
        (b"isre\x00ady\n", 0), (b"\x00isready\x00\n", 1), (b"isready@isready\n", 2),  # NUL and @ end a line
        (b"isready\rquit\n", 1), (b"isready\r\n", 1), (b"\r\r\n\r\n\n\r\n", 0),  # so does a carriage return
        (b"isready\n\r\nisready\r\r\n", 2), (b"\tisready\t\n", 1),
        (b"\xff\xfe\xc3(isready\n", 0), (b"isready \xff\xfe\n", 1), (b"\x1b[Aisready\n", 0),  # invalid UTF-8
        (b"isready\x1b\n", 0), (b"\x04\x03\x1a\x7f\x08\n", 0), (b"\x80\x81" * 3000 + b"\n", 0),
        (b"\x00" * 10000, 0), (b"x" * 100000 + b"\n" + b"xyzzy\n" * 10000 + bytes(range(1, 256)) * 10 + b"\n", 0),
        # The first 4095 characters are the command; the rest of the line is dropped.
        (b"isready" + b" " * 5000 + b"isready\n", 1), (b"setoption name " + b"H" * 100000 + b" value 1\n", 0),
        (b"z" * 100000 + b"\nisready\n", 1),
    ]
    for data, expected in cases:
        e.send_raw(data)
        # The reply to this option ends what the input itself asked for.
        e.send("setoption name MultiPV value 1")
        lines = e.expect_line("info string MultiPV set to 1")
        assert lines == ["readyok"] * expected, (data[:40], lines)
    noise = random.Random(11)
    e.send_raw(bytes(noise.randrange(256) for _ in range(200000)) + b"\n")
    e.send_raw(b"position fen 7k/8/8/8/8/P7/5q2/7K\xff\x80\x01 w - -\xfe\x00\n")
    assert play(e, "position fen " + WHITE_ONE + " " + "y" * 100000) == "a3a4"
    quit_cleanly(e)


def test_end_of_input():
    # A last line without a line break still runs, even a "go"; input may end inside
    # an over-long garbage line.
    for data, reply in ((b"isready\n", "readyok"), (b"isready", "readyok"),
                        (b"position startpos\ngo depth 3", "bestmove"), (b"w" * 50000, None)):
        e = engine()
        e.send_raw(data)
        e.close_input()
        lines = e.read_until(lambda l: l.startswith(reply)) if reply else [e.read_line()]
        assert lines[-1] in ("readyok", None) or lines[-1].split()[1] in START_MOVES, lines
        assert e.close() == 0
    # A limited search finishes and reports; one without an end is stopped and reports.
    for limit in ("depth 6", "movetime 300", "wtime 2000 btime 2000", "infinite", "nodes",
                  "ponder wtime 60000 btime 60000", "ponder infinite"):
        e = engine()
        e.send("position startpos moves e2e4")
        e.send("go " + limit)
        e.close_input()
        move, _, lines = bestmove(e)
        assert MOVE.match(move) and move not in START_MOVES, (limit, move)
        assert limit != "depth 6" or max(depths(lines)) == 6, lines
        assert e.close() == 0, limit


def test_positions_and_moves_good_and_bad():
    e = engine()
    e.send("position fen " + WHITE_ONE)
    refused = [
        ("", "no piece placement"), ("hello world", "no piece placement"), ("8/8/8/8/8/8/8/8 w - -", "no piece placement"),
        ("4k3/8/8/8/8/8/8/8/4K3 w - -", "too many ranks"), ("4k3/8/8/8/8/8/8/4K3/ w - -", "too many ranks"),
        ("4k3/8/8 w - -", "white must have exactly one king"),
        ("4k3/8/8/8/8/8/8/K3K3 w - -", "white must have exactly one king"),
        ("8/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
        ("kkkk/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
        ("P3k3/8/8/8/8/8/8/4K3 w - -", "pawn on the first or eighth rank"),
        ("4k3/8/8/8/8/8/8/p3K3 w - -", "pawn on the first or eighth rank"),
        ("4k3/8/8/8/8/8/8/4K2r b - -", "the side not to move is in check"),
        ("8/8/8/3kK3/8/8/8/8 w - -", "the side not to move is in check"),
        ("4k3/8/8/8/NNNNNNNN/NN6/8/4K3 w - -", "more than 9 pieces of one kind")]
    for fen, reason in refused:
        # The moves behind a refused FEN are not applied either.
        e.send("position fen %s moves h1g1" % fen)
        assert e.read_line() == "info string Illegal FEN: " + reason, fen
    for silent in ("position", "position fen", "position xyz", "position moves e2e4"):
        assert replies(e, silent) == [], silent
    assert play(e, "position moves") == "a3a4"  # the last accepted position is in force
    accepted = [
        WHITE_ONE + " -5 abc", WHITE_ONE + " 7 x garbage ;;; bm e2e4;",  # counters that are no numbers read 0 and 1
        "7k/8/8/8/8/P7/5q2/7K?X*- w - -",  # unknown letters are skipped
        "7k/8/8/8/8/P/5q/7K w - -",  # short ranks are padded
        "7k9/8/8/8/8/P7/5q2/7QK w - -",  # a run past the h-file ends there; a later piece replaces
        "7k/8/8/8/8/P7/5q2/7K w XYZ z9", "7k/8/8/8/8/P7/5q2/7K w - e9",  # bad rights and squares dropped
        "   7k/8/8/8/8/P7/5q2/7K\tw  -\t-",
    ]
    for fen in accepted:
        e.send("position startpos")  # a refused FEN would leave the start position
        assert play(e, fen) == "a3a4", fen
    assert play(e, "7k/5Q2/p6K b - -") == "a6a5"  # missing lower ranks are empty
    # Castling rights without king and rook are dropped with a remark.
    e.send("position fen 7k/8/8/8/8/P7/5q2/7K w KQkq -")
    e.expect_next("info string Illegal EPD record")
    # A side letter that is not w or b, or none, keeps the side to move as it was.
    for fen in ("7k/5Q2/p7/8/8/8/8/7K x - -", "7k/5Q2/p7/8/8/8/8/7K W", "7k/5Q2/p7/8/8/8/8/7K"):
        e.send("position fen " + BLACK_ONE)
        assert play(e, fen) == "a6a5", fen
    moves = [("h1h2", "illegal"), ("a3a5", "illegal"), ("a3a4q", "illegal"), ("h8g8", "illegal"),
             ("a1a1", "illegal"), ("a3", "bad"), ("A3A4", "bad"), ("a3-a4", "bad"), ("0000", "bad"),
             ("i9a4", "bad"), ("a3a4a3a4", "bad"), ("\u00e9", "bad")]
    for token, kind in moves:
        e.send("position fen %s moves %s a3a4" % (WHITE_ONE, token))
        assert e.read_line() == "info string %s move %s in position command" % (kind, token), token
        assert play(e, "position moves") == "a3a4", token
    # The moves before a bad one are kept: black is to move after a3a4.
    e.send("position fen %s moves a3a4 zz" % WHITE_ONE)
    e.expect_next("info string bad move zz in position command")
    assert play(e, "position moves")[:2] in ("f2", "h8")
    # A pawn reaching the last rank needs its lower-case promotion letter.
    for token in ("a7a8", "a7a8Q", "a7a8k", "a7a8p"):
        e.send("position fen 4k3/P7/8/8/8/8/8/4K3 w - - moves " + token)
        e.expect_next("info string illegal move %s in position command" % token)
    # A game longer than the history holds is searched from its real position:
    # knight shuffles with a pawn move each side every 54 plies, 757 plies, so black
    # is to move (black's pieces stand on ranks 5 to 8).
    game = []
    for push in [f + r for r in ("23", "34") for f in "abdefgh"]:
        game += ["b1c3", "b8c6", "c3b1", "c6b8"] * 13
        game += [push[0] + push[1] + push[0] + push[2], push[0] + str(9 - int(push[1])) + push[0] + str(9 - int(push[2]))]
    e.send("position startpos moves %s b1c3" % " ".join(game))
    e.send("go depth 3")
    move, _, lines = bestmove(e)
    assert move[1] in "5678" and not any(l.startswith("info string") for l in lines), (move, lines)
    # No move to play (past the fifty-move limit, mated): the protocol's null move.
    # The halfmove clock of a FEN counts: one quiet move from the limit a rook up is a draw.
    assert play(e, "position startpos moves" + " g1f3 g8f6 f3g1 f6g8" * 26, "depth 10") == "0000"
    assert play(e, WHITE_ONE + " 99999999999 0") == "0000"
    assert play(e, "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "depth 5") == "0000"
    for clock, draw in ((99, True), (0, False)):
        e.send("position fen 8/8/8/4k3/8/8/8/R3K3 w - - %d 80" % clock)
        e.send("go depth 8")
        score = scores(bestmove(e)[2])[-1]
        assert (score == 0) if draw else score > 300, (clock, score)
    move = play(e, "position startpos moves e2e4" + " " * 200000)
    assert move not in START_MOVES and MOVE.match(move), move  # black to move
    quit_cleanly(e)


def test_search_limits_info_lines_and_legal_moves():
    judge = LegalMoves()
    e = engine()
    try:
        history = ["e2e4", "c7c5", "g1f3"]
        e.send("position startpos moves " + " ".join(history))
        e.send("go depth 5")
        move, ponder, info = bestmove(e)
        assert max(depths(info)) == 5, info
        for l in info:
            if l.startswith("info depth"):
                assert re.match(r"^info depth \d+ seldepth \d+ time \d+ score (cp -?\d+|mate -?\d+)"
                                r"( lowerbound| upperbound)? nodes \d+ nps \d+ tbhits \d+"
                                r" pv( [a-h][1-8][a-h][1-8][qrbn]?)+$", l), l
        # Each go stands alone: a timed search is not held to an earlier depth or node limit.
        e.send("go nodes 0")
        bestmove(e)
        e.send("go wtime 60000 btime 60000")
        assert max(depths(bestmove(e)[2])) >= 6
        for limit in ("nodes 20000", "movetime 200", "wtime 2000 btime 2000 winc 100 binc 100",
                      "wtime 5000 btime 5000 movestogo 20", "depth 4",
                      # Keywords without their value read 0 (no time, depth 1, no moves to go);
                      # values that are no usable numbers read safely.
                      "", "wtime", "btime 10 wtime", "movetime", "depth", "winc binc",
                      "wtime 500 btime 500 movestogo", "wtime nan btime nan", "wtime 1e999 btime 1e999",
                      "movetime inf", "movetime -nan", "movetime abc", "wtime -5 btime -5 winc nan",
                      "wtime 1000 btime 1000 movestogo -1", "wtime 0 btime 0 movestogo -1",
                      "wtime 1000 btime 1000 movestogo 2147483647", "depth -99999999999"):
            e.send("position startpos moves " + " ".join(history))
            e.send("go " + limit)
            move, ponder, info = bestmove(e, 30)
            assert judge.is_legal(history, move), (limit, move)
            assert not ponder or judge.is_legal(history + [move], ponder), (limit, move, ponder)
            if limit.startswith("nodes"):
                nodes = [int(m.group(1)) for m in (re.search(r" nodes (\d+)", l) for l in info) if m]
                assert nodes and max(nodes) < 40000, nodes
        # With one thread and a depth limit two runs are identical.
        runs = []
        for _ in range(2):
            e.send("ucinewgame")
            e.send("go depth 7")
            move, _, info = bestmove(e)
            runs.append((move, re.sub(r" (time|nps) \d+", "", [l for l in info if l.startswith("info depth 7 ")][-1])))
        assert runs[0] == runs[1], runs
        # "nodes" without a value is the smallest search; a depth beyond the range the deepest.
        e.send("go nodes")
        assert judge.is_legal(history, bestmove(e)[0])
        e.send("go depth 4294967297")
        e.read_until(lambda l: l.startswith("info depth 5 "), 60 * SLOW)
        e.send("stop")
        assert judge.is_legal(history, bestmove(e)[0])
    finally:
        judge.close()
    quit_cleanly(e)


def test_mate_multipv_hash_sizes():
    e = engine()
    e.send("position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1")
    e.send("go depth 6")
    move, _, info = bestmove(e)
    assert move == "a1a8" and scores(info, "mate")[-1] == 1, info
    # The side mated in one move sees "mate -1", as other engines show it.
    e.send("position fen 7k/8/6K1/8/8/8/8/1R6 b - - 0 1")
    e.send("go depth 6")
    move, _, info = bestmove(e)
    assert move == "h8g8" and set(scores(info, "mate")) == {-1}, info
    # Scores of a failed aspiration window are marked as bounds after the score.
    e.send("position startpos moves e2e4 e7e5")
    e.send("go depth 9")
    assert any(re.search(r" score cp -?\d+ (lowerbound|upperbound) nodes ", l) for l in bestmove(e)[2])
    e.send("setoption name MultiPV value 3")
    e.expect_next("info string MultiPV set to 3")
    e.send("position startpos")
    e.send("go depth 4")
    move, _, info = bestmove(e)
    for depth in (2, 3, 4):
        lines = {int(re.search(r"multipv (\d+)", l).group(1)) for l in info
                 if l.startswith("info multipv ") and " depth %d " % depth in l}
        assert lines == {1, 2, 3}, (depth, info)
    e.send("setoption name MultiPV value 1")
    e.expect_next("info string MultiPV set to 1")
    for size in (0, 1, 256):
        e.send("setoption name Hash value %d" % size)
        e.expect_next("info string Hash size set to %dM bytes" % size)
        assert play(e, "position startpos", "depth 5") in START_MOVES
    quit_cleanly(e)
    # A table that does not fit keeps the old one. Checked builds reserve terabytes of
    # address space up front: no address limit fits them.
    if SLOW > 1:
        return

    def limit_memory():
        resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))

    e = engine(preexec_fn=limit_memory)
    for value in ("8192", "4294967297"):
        e.send("setoption name Hash value " + value)
        e.expect_next("info string not enough memory for 8192M bytes of hash")
        e.expect_next("info string Hash size set to 64M bytes")
    assert play(e, "position startpos", "depth 4") in START_MOVES
    quit_cleanly(e)


def test_depth_switch_below_one_still_plays():
    # -d 0 means "quiescence only" to the EPD tool; a game search looks at least one move ahead.
    for depth in ("0", "-5"):
        e = engine(("-nolog", "-d", depth))
        assert MOVE.match(play(e, "position startpos moves e2e4", "wtime 10000 btime 10000")), depth
        quit_cleanly(e)


def test_infinite_waits_for_stop_even_when_the_search_ends():
    e = engine()
    # A mate in one, and a single legal move: the search ends by itself, the answer waits.
    for fen, only in (("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "a1a8"), (WHITE_ONE, "a3a4")):
        e.send("position fen " + fen)
        e.send("go infinite")
        e.read_until(lambda l: l.startswith("info depth"), 10 * SLOW)
        assert not any(l.startswith("bestmove") for l in e.lines_within(2.0))
        e.send("stop")
        assert bestmove(e)[0] == only
        assert replies(e, "stop") == []  # exactly one bestmove
    quit_cleanly(e)


def test_ponder_stop_and_ponderhit():
    e = engine(handshake=False)
    # go as the very first command searches the start position.
    e.send("go depth 3")
    assert bestmove(e)[0] in START_MOVES
    # stop and ponderhit without a search: no output at all.
    for command in ("stop", "ponderhit", "stop", "ponderhit"):
        assert replies(e, command) == [], command
    # ponderhit during a normal search changes nothing: one bestmove.
    e.send("go depth 5")
    e.send("ponderhit")
    assert bestmove(e)[0] in START_MOVES
    assert replies(e, "stop") == []
    # A ponder search that ends by itself waits for ponderhit.
    e.send("go ponder wtime 1000 btime 1000 depth 3")
    e.read_until(lambda l: l.startswith("info depth 3 "), 30 * SLOW)
    e.expect_silence(1.0)
    e.send("ponderhit")
    assert bestmove(e)[0] in START_MOVES
    # A pondering search is released by stop exactly once, whenever the stop comes.
    for ponder in ("go ponder infinite", "go ponder wtime 60000 btime 60000"):
        e.send(ponder)
        e.send("isready")
        e.expect_line("readyok", 5 * SLOW)
        e.send("stop")
        e.send("stop")
        assert bestmove(e)[0] in START_MOVES
        e.send("isready")
        e.expect_next("readyok")  # and no second bestmove
    # Found by fuzzing: go while a search ponders ends that search like a stop; both
    # searches report and later commands are answered.
    e.send("position startpos moves e2e4")
    e.send("go ponder wtime 500 btime 500")
    e.send("go depth 1")
    e.send("isready")
    seen = []
    while sum(l.startswith("bestmove") for l in seen) < 2 or "readyok" not in seen:
        line = e.read_line(30 * SLOW)
        assert line is not None, e.dump()
        seen.append(line)
    quit_cleanly(e)


def threads(e, n):
    e.send("setoption name Threads value %d" % n)
    e.expect_line("info string Threads set to %d" % n, 20 * SLOW)


def bestmove_and_reply(e, reply):
    """A change that stops the running search answers before or after its bestmove."""
    lines = e.read_until(lambda l: l.startswith("bestmove"), 60 * SLOW)
    if reply not in lines:
        e.expect_line(reply, 20 * SLOW)


def test_threads_pool_and_table_changes_around_searches():
    e = engine()
    threads(e, 4)
    e.send("position startpos moves e2e4 e7e5 g1f3")
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 3"), 60 * SLOW)
    e.send("isready")
    e.expect_line("readyok", 5 * SLOW)
    e.send("stop")
    assert MOVE.match(bestmove(e)[0])
    assert replies(e, "stop") == []  # a second stop has nothing to stop
    e.send("go ponder wtime 2000 btime 2000")
    e.read_until(lambda l: l.startswith("info depth 2"), 60 * SLOW)
    e.send("ponderhit")
    assert MOVE.match(bestmove(e)[0])
    for command, reply in (("Threads value 2", "Threads set to 2"), ("Hash value 8", "Hash size set to 8M bytes"),
                           ("Threads value 3", "Threads set to 3")):
        # A change while a search runs stops that search first.
        e.send("go infinite")
        e.read_until(lambda l: l.startswith("info depth 2"), 60 * SLOW)
        e.send("setoption name " + command)
        bestmove_and_reply(e, "info string " + reply)
    # Tablebase path, Clear Hash and ucinewgame under a search: it is stopped and
    # reports before the tables are set up anew or the table is cleared.
    for command, reply in (("setoption name SyzygyPath value /nonexistent", "info string SyzygyPath set to /nonexistent"),
                           ("setoption name Clear Hash", "info string Hash table cleared"),
                           ("ucinewgame", None)):
        e.send("go infinite")
        e.read_until(lambda l: l.startswith("info depth 2"), 60 * SLOW)
        lines = replies(e, command)
        assert [l for l in lines if l.startswith("bestmove") or l == reply][0].startswith("bestmove"), lines
        e.send("position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4")
        for limit in ("depth 6", "movetime 200", "wtime 3000 btime 3000 winc 100 binc 100"):
            e.send("go " + limit)
            assert MOVE.match(bestmove(e)[0])
    # Deep enough that helper threads skip ahead a ply and the clock weighs their scores.
    e.send("position fen r2q1rk1/pp2bppp/2n1bn2/3p4/3P4/2NBBN2/PP3PPP/R2Q1RK1 w - - 0 10")
    e.send("go wtime 20000 btime 20000 movestogo 10")
    assert MOVE.match(bestmove(e)[0])
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 3"), 60 * SLOW)
    quit_cleanly(e)


def test_threads_short_games_play_only_legal_moves():
    judge = LegalMoves()
    try:
        for n in (1, 2):
            e = engine()
            threads(e, n)
            e.send("ucinewgame")
            moves = []
            for _ in range(16):
                e.send("position startpos moves " + " ".join(moves))
                e.send("go wtime 3000 btime 3000 winc 50 binc 50")
                move = bestmove(e, 30)[0]
                if move == "0000":
                    break
                assert judge.is_legal(moves, move), (moves, move)
                moves.append(move)
            quit_cleanly(e)
    finally:
        judge.close()


def tablebase_engine(threads_count=1):
    path = need_data("syzygy")
    e = engine()
    threads(e, threads_count)
    e.send("setoption name SyzygyPath value " + path)
    e.expect_next("info string SyzygyPath set to " + path)
    count = len([f for f in os.listdir(path) if f.endswith(".rtbw")])
    e.expect_next("info string found %d tablebases" % count)
    return e


def test_threads_tablebase_scores_and_wins_kept():
    e = tablebase_engine(4)
    for fen, limit, check in (
            ("8/8/8/4k3/8/8/8/3QK3 w - -", "depth 8", lambda s: s >= 9800),
            ("8/8/8/4k3/8/8/8/3QK3 b - -", "depth 8", lambda s: s <= -9800),
            ("8/8/3k4/8/8/8/4N3/4K3 w - -", "depth 8", lambda s: s == 0),  # a lone knight cannot win
            ("8/8/3k4/8/8/2K5/3R4/3r4 w - -", "movetime 300", lambda s: s == 0)):
        e.send("position fen " + fen)
        e.send("go " + limit)
        _, _, info = bestmove(e)
        assert scores(info) and check(scores(info)[-1]), (fen, info)
        hits = [int(m.group(1)) for m in (re.search(r"tbhits (\d+)", l) for l in info) if m]
        assert hits and hits[-1] > 0, info
    quit_cleanly(e)
    # The strong side of KRvK played against itself keeps the win with every move.
    e = tablebase_engine()
    moves = []
    for _ in range(6):
        e.send("position fen 8/8/8/3k4/8/8/8/R3K3 w - - 0 1 moves " + " ".join(moves))
        e.send("go depth 6")
        move, _, info = bestmove(e)
        white = len(moves) % 2 == 0
        assert not scores(info) or (scores(info)[-1] >= 9800 if white else scores(info)[-1] <= -9800), moves
        if move == "0000":
            break
        moves.append(move)
    quit_cleanly(e)


def test_damaged_tablebase_files_and_bad_paths():
    noise = random.Random(9)
    e = engine(files={"tb/KQvK.rtbw": bytes(noise.randrange(256) for _ in range(5000)),
                      "tb/KQvK.rtbz": bytes(noise.randrange(256) for _ in range(5000)),
                      "tb/KRvK.rtbw": b"", "tb/KPvK.rtbw": b"\x71\xe8\x23",
                      "tb/KBvK.rtbw": b"\x71\xe8\x23\x5d" + bytes(200), "tb/KNvK.rtbw": None})
    tables = os.path.join(e.cwd, "tb")
    for path, count in ((tables, 5), ("/no/such/directory", 0), (os.path.join(tables, "KRvK.rtbw"), 0),
                        (tables + ":/nothing::" + tables + ";", 5)):
        e.send("setoption name SyzygyPath value " + path)
        e.expect_next("info string SyzygyPath set to " + path)
        e.expect_next("info string found %d tablebases" % count)
        for fen in ("8/8/8/8/8/2k5/8/K6Q w - -", "8/8/8/8/8/2k5/8/K6R w - -", "8/8/8/8/8/2k5/4P3/K7 w - -",
                    "8/8/8/8/8/2k5/8/K6B w - -", "8/8/8/8/8/2k5/8/K6N w - -", "8/8/8/8/8/2k5/8/K6R b - -"):
            move = play(e, fen, "depth 8")
            assert move[:2] in ({"a1", "h1", "e2"} if " w " in fen else {"c3"}), (path, fen, move)
    assert "Corrupted table." in quit_cleanly(e)


def test_book_built_by_mkbook_is_played_from():
    games = open(need_data("pgn", "tcec_superfinals_s4-s13.pgn"), "rb").read()
    c = engine(("-c", "-nolog"), files={"book.pgn": games}, handshake=False)
    c.send("mkbook")
    c.send("quit")
    assert c.close(120 * SLOW) == 0
    book = open(os.path.join(c.cwd, "book.opn"), "rb").read()
    choices = set()
    for variety in (b"", b"BookVariety 1\n", b"BookVariety 1\n"):
        e = engine(files=dict({"vesk.opn": book}, **({"vesk.rc": variety} if variety else {})))
        e.send("setoption name OwnBook value true")
        e.expect_line("info string OwnBook set to 1")
        e.send("position startpos")
        e.send("go wtime 60000 btime 60000")
        e.expect_next("info string book move")
        line = e.read_line()
        assert line.startswith("bestmove ") and " ponder " not in line, line
        assert line.split()[1] in ("e2e4", "d2d4", "c2c4", "g1f3"), line
        if variety:
            choices.add(line)
        # Far out of book a normal search answers.
        e.send("position fen 8/5k2/8/8/8/8/2K5/7R w - -")
        e.send("go depth 3")
        lines = e.read_until(lambda l: l.startswith("bestmove"))
        assert "info string book move" not in lines and MOVE.match(lines[-1].split()[1]), lines
        quit_cleanly(e)
    assert len(choices) == 1, choices  # variety 1 always chooses the same move
    # The book holds standard chess only: none of it in Chess960.
    e = engine(files={"vesk.opn": book})
    for option in ("UCI_Chess960", "OwnBook"):
        e.send("setoption name %s value true" % option)
        e.expect_line("info string %s set to 1" % option)
    e.send("position startpos")
    e.send("go depth 3")
    assert "info string book move" not in e.read_until(lambda l: l.startswith("bestmove"))
    quit_cleanly(e)


def test_damaged_books_and_settings_files():
    noise = random.Random(3)
    books = [{}, {"vesk.opn": b""}, {"vesk.opn": b"\x01\x02\x03\x04\x05"},
             {"vesk.opn": bytes(noise.randrange(256) for _ in range(14 * 500 + 3))}, {"vesk.opn": None},
             {"vesk.rc": b"VeskBook missing/none.opn\n"},
             {"vesk.rc": b"VeskBook\n", "vesk.opn": bytes(noise.randrange(256) for _ in range(14 * 50))}]
    for files in books:
        e = engine(files=files)
        e.send("setoption name OwnBook value true")
        e.expect_line("info string OwnBook set to 1")
        for _ in range(2):
            assert play(e, "position startpos", "depth 3") in START_MOVES, files.keys()
        assert MOVE.match(play(e, "position startpos moves e2e4 e7e5 g1f3", "depth 3"))
        quit_cleanly(e)
    # Settings files that cannot be read as such: readable keys apply, the rest is ignored.
    loaded = ["info string loaded parameters from vesk.rc", "", "info string file vesk.rc contains invalid PST"]
    keys = ("BookVariety BookDepth SyzygyProbeDepth5 SyzygyProbeDepth6 NMP_depth SEP_depth SEP_margin FP_depth "
            "FP_margin LMP_depth LMP_count LMR_depth LMR_strength draw_score pawn_value knight_value bishop_value "
            "rook_value queen_value bishop_pair knight_mobility bishop_mobility rook_mobility queen_mobility "
            "passed_pawn_rank2 passed_pawn_rank3 passed_pawn_rank4 passed_pawn_rank5 passed_pawn_rank6 "
            "passed_pawn_rank7 pawn_candidate pawn_doubled pawn_backward pawn_isolated pawn_weak knight_outpost "
            "rook_open_file rook_half_open_file rook_rank7 rook_trapped queen_rank7 king_safety pawn_shield "
            "pawn_storm hung pinned tune").split()
    settings = [(None, loaded), (bytes(noise.randrange(256) for _ in range(20000)), loaded),
                (b"PST_pawn_op\n1 2 3\n4", loaded), (b"\x00\x00pawn_value 95\r\n#\n\n=,=\n", loaded),
                (b"SyzygyPath " + b"a" * 5000 + b"\nVeskBook " + b"b" * 5000 + b"\npawn_value " + b"9" * 1000
                 + b"\n" + b"x" * 100000 + b"\n", loaded + ["info string found 0 tablebases"])]
    for value in (b"32767", b"-32768", b"0", b"-1", b"abc"):
        settings.append((b"".join(b"%s %s %s\n" % (k.encode(), value, value) for k in keys), loaded))
    settings.append((b"".join(b"PST_%s_%s\n" % (piece, phase) + b"32767 -32768 99999999 0 0 0 0 0\n" * 8
                              for piece in (b"pawn", b"knight", b"bishop", b"rook", b"queen", b"king")
                              for phase in (b"op", b"en")), loaded[:2]))
    for text, start in settings:
        e = engine(files={"vesk.rc": text}, handshake=False)
        e.send("uci")
        lines = e.read_until(lambda l: l == "uciok")
        assert [l for l in lines if not l.startswith(("id ", "option "))][:-1] == start, (text[:40], lines)
        if b"SyzygyPath" in (text or b""):
            assert "option name SyzygyPath type string default " + "a" * 129 in lines
        assert MOVE.match(play(e, "position startpos moves e2e4 e7e5", "depth 6"))
        assert play(e, "position startpos", "depth 2") in START_MOVES
        quit_cleanly(e)


if __name__ == "__main__":
    run_tests([(name[5:], fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
