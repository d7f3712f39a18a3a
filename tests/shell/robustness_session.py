"""Bad input and faults around the real binary: malformed FENs and moves, truncated and
unknown commands, over-long lines, binary garbage, end of input during a search, options
out of range, and unreadable or damaged settings, book, tablebase and log files.
After each one the engine must still answer isready and bestmove, and exit with code 0."""

import os
import random
import re
import resource
import shutil
import signal
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from engine_session import EngineSession, run_tests  # noqa: E402

VESK = os.path.abspath(sys.argv[1])
ROOT = tempfile.mkdtemp(prefix="vesk-robust-")
MOVE = re.compile(r"^[a-h][1-8][a-h][1-8][qrbn]?$")
START_MOVES = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4",
               "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"}
# Positions with exactly one legal move: the bestmove tells which position is in force.
WHITE_ONE = "7k/8/8/8/8/P7/5q2/7K w - -"  # only a3a4
BLACK_ONE = "7k/5Q2/p7/8/8/8/8/7K b - -"  # only a6a5


def workdir():
    return tempfile.mkdtemp(dir=ROOT)


def engine(cwd=None, args=("-nolog",), preexec_fn=None, handshake=True):
    e = EngineSession(VESK, args, cwd=cwd or workdir(), preexec_fn=preexec_fn)
    if handshake:
        e.send("uci")
        e.expect_line("uciok")
    return e


def bestmove(e, timeout=60):
    """The move of the next bestmove line and the lines before it."""
    lines = e.read_until(lambda l: l.startswith("bestmove"), timeout)
    return lines[-1].split()[1], lines[:-1]


def replies(e, command):
    """Lines printed for command, up to the readyok of an isready sent behind it."""
    e.send(command)
    e.send("isready")
    return e.expect_line("readyok")


def play(e, fen, expected, limit="depth 1"):
    e.send("position fen " + fen)
    e.send("go " + limit)
    move, _ = bestmove(e)
    assert move == expected, (fen, move, e.dump())


def quit_cleanly(e):
    e.send("quit")
    code = e.close()
    assert code == 0, (code, e.dump())


def test_malformed_fens_are_refused_and_the_position_kept():
    e = engine()
    e.send("position fen " + WHITE_ONE)
    refused = [
        ("", "no piece placement"),
        ("hello world", "no piece placement"),
        ("8/8/8/8/8/8/8/8 w - -", "no piece placement"),
        ("4k3/8/8/8/8/8/8/8/4K3 w - -", "too many ranks"),
        ("4k3/8/8/8/8/8/8/4K3/ w - -", "too many ranks"),
        ("4k3/8/8 w - -", "white must have exactly one king"),
        ("4k3/8/8/8/8/8/8/K3K3 w - -", "white must have exactly one king"),
        ("8/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
        ("kkkk/8/8/8/8/8/8/4K3 w - -", "black must have exactly one king"),
        ("P3k3/8/8/8/8/8/8/4K3 w - -", "pawn on the first or eighth rank"),
        ("4k3/8/8/8/8/8/8/p3K3 w - -", "pawn on the first or eighth rank"),
        ("4k3/8/8/8/8/8/8/4K2r b - -", "the side not to move is in check"),
        ("8/8/8/3kK3/8/8/8/8 w - -", "the side not to move is in check"),
        ("4k3/8/8/8/NNNNNNNN/NN6/8/4K3 w - -", "more than 9 pieces of one kind"),
    ]
    for fen, reason in refused:
        # Moves behind a refused FEN are not applied either.
        e.send("position fen %s moves h1g1" % fen)
        line = e.read_line()
        assert line == "info string Illegal FEN: " + reason, (fen, line)
    e.send("go depth 1")
    assert bestmove(e)[0] == "a3a4"
    # Without any FEN text, or without startpos/fen, the command does nothing.
    for silent in ("position", "position fen", "position xyz", "position moves e2e4"):
        assert replies(e, silent) == [], silent
    e.send("go depth 1")
    assert bestmove(e)[0] == "a3a4"
    quit_cleanly(e)


def test_odd_fen_fields_are_read_leniently():
    e = engine()
    accepted = [
        # Counters that are no numbers read as 0 and 1; trailing garbage is not read;
        # a clock far past the fifty-move rule leaves nothing to play.
        (WHITE_ONE + " -5 abc", "a3a4"),
        (WHITE_ONE + " 99999999999 0 garbage ;;; bm e2e4;", "0000"),
        # Unknown piece letters and characters are skipped.
        ("7k/8/8/8/8/P7/5q2/7K?X*- w - -", "a3a4"),
        # Short ranks are padded with empty squares; a rank that overflows ends on its
        # h-file square, where a later piece replaces an earlier one.
        ("7k/8/8/8/8/P/5q/7K w - -", "a3a4"),
        ("7k9/8/8/8/8/P7/5q2/7QK w - -", "a3a4"),
        # Fewer than eight ranks: the missing lower ranks are empty.
        ("7k/5Q2/p6K b - -", "a6a5"),
        # Unknown castling letters and impossible en-passant squares are dropped.
        ("7k/8/8/8/8/P7/5q2/7K w XYZ z9", "a3a4"),
        ("7k/8/8/8/8/P7/5q2/7K w - e9", "a3a4"),
        # Tabs and extra blanks between the fields.
        ("   7k/8/8/8/8/P7/5q2/7K\tw  -\t-", "a3a4"),
    ]
    for fen, move in accepted:
        e.send("position startpos")  # a refused FEN would leave the start position
        e.send("position fen " + fen)
        e.send("go depth 1")
        found, lines = bestmove(e)
        assert found == move and not any("Illegal" in l for l in lines), (fen, found, lines)
    # Castling rights without king and rook are dropped with a remark.
    e.send("position fen 7k/8/8/8/8/P7/5q2/7K w KQkq -")
    e.expect_next("info string Illegal EPD record")
    e.send("go depth 1")
    assert bestmove(e)[0] == "a3a4"
    # A side letter that is not w or b, or none at all, keeps the side to move as it was.
    for fen in ("7k/5Q2/p7/8/8/8/8/7K x - -", "7k/5Q2/p7/8/8/8/8/7K W", "7k/5Q2/p7/8/8/8/8/7K"):
        e.send("position fen " + BLACK_ONE)
        play(e, fen, "a6a5")
    quit_cleanly(e)


def test_garbled_and_illegal_moves_end_the_move_list():
    e = engine()
    cases = [
        ("h1h2", "illegal"),   # into check
        ("a3a5", "illegal"),   # not a pawn move
        ("a3a4q", "illegal"),  # promotion letter on a plain move
        ("h8g8", "illegal"),   # the other side's piece
        ("a1a1", "illegal"),
        ("a3", "bad"),
        ("A3A4", "bad"),
        ("a3-a4", "bad"),
        ("0000", "bad"),
        ("i9a4", "bad"),
        ("a3a4a3a4", "bad"),
        ("\u00e9", "bad"),
    ]
    for token, kind in cases:
        e.send("position fen %s moves %s a3a4" % (WHITE_ONE, token))
        line = e.read_line()
        assert line == "info string %s move %s in position command" % (kind, token), (token, line)
        e.send("go depth 1")
        assert bestmove(e)[0] == "a3a4", token
    # The moves before a bad one are kept: black is to move after a3a4.
    e.send("position fen %s moves a3a4 zz" % WHITE_ONE)
    e.expect_next("info string bad move zz in position command")
    e.send("go depth 1")
    move, _ = bestmove(e)
    assert move[:2] in ("f2", "h8"), move
    # A pawn reaching the last rank needs its promotion letter (lower case).
    for token in ("a7a8", "a7a8Q", "a7a8k", "a7a8p"):
        e.send("position fen 4k3/P7/8/8/8/8/8/4K3 w - - moves " + token)
        e.expect_next("info string illegal move %s in position command" % token)
    e.send("go depth 4")
    move, _ = bestmove(e)
    assert move.startswith("a7a8") or move.startswith("e1"), move
    quit_cleanly(e)


def test_truncated_and_unknown_commands():
    e = engine()
    silent = ["setoption", "setoption name", "setoption value 3", "setoption name Hash2 value 1",
              "xyzzy", "GO depth 1", "Isready", "isready2", "d", "eval", "debug on",
              "register later", "ucinewgame now", "quit2", "position startpos moves"]
    for command in silent:
        e.send(command)
    e.send("isready")
    e.expect_next("readyok")
    for command, reply in [("setoption name Hash value", "info string Hash size set to 0M bytes"),
                           ("setoption name Threads value", "info string Threads set to 1"),
                           ("setoption name MultiPV value", "info string MultiPV set to 1"),
                           ("setoption name Hash value 1", "info string Hash size set to 1M bytes")]:
        e.send(command)
        e.expect_next(reply)
    # A limit keyword without its value reads 0: no time, depth 1, no moves to go.
    for command in ("go", "go wtime", "go btime 10 wtime", "go movetime", "go depth",
                    "go winc binc", "go wtime 500 btime 500 movestogo"):
        e.send("position startpos")
        e.send(command)
        move, _ = bestmove(e)
        assert move in START_MOVES, (command, move)
    # "nodes" without a value (or 0) is the smallest search, not an endless one.
    e.send("go nodes")
    assert bestmove(e)[0] in START_MOVES
    quit_cleanly(e)


def test_over_long_lines():
    e = engine()
    # The first 4095 characters are the command; the rest of the line is dropped, so
    # the second isready below never runs.
    e.send("isready" + " " * 5000 + "isready")
    e.send("x" * 100000)
    e.send("setoption name " + "H" * 100000 + " value 1")
    e.send("position fen " + WHITE_ONE + " " + "y" * 100000)
    e.send("go depth 1")
    lines = e.read_until(lambda l: l.startswith("bestmove"))
    assert lines[-1].split()[1] == "a3a4", lines
    assert lines.count("readyok") == 1, lines
    # A 100,000-character line without any line break at all, then a command.
    e.send_raw(b"z" * 100000)
    e.send("\nisready")
    e.expect_next("readyok")
    # A game longer than the history holds is searched from its real position:
    # knight shuffles with a pawn move each side every 54 plies, 757 plies, so
    # black is to move (black's pieces stand on ranks 5 to 8).
    pushes = [f + r for r in ("23", "34") for f in "abdefgh"]
    game = []
    for w in pushes:
        game += ["b1c3", "b8c6", "c3b1", "c6b8"] * 13
        game += [w[0] + w[1] + w[0] + w[2], w[0] + str(9 - int(w[1])) + w[0] + str(9 - int(w[2]))]
    game.append("b1c3")
    e.send("position startpos moves " + " ".join(game))
    e.send("go depth 3")
    move, info = bestmove(e)
    assert move[1] in "5678" and not any("info string" in l for l in info), (move, info)
    e.send("position startpos moves" + " e2e4" + " " * 200000)
    e.send("go depth 1")
    move, _ = bestmove(e)
    assert move not in START_MOVES and MOVE.match(move), move  # black to move
    quit_cleanly(e)


def test_binary_garbage_and_line_breaks():
    e = engine()
    cases = [
        (b"isre\x00ady\n", 0),            # a NUL byte ends a line
        (b"\x00isready\x00\n", 1),
        (b"isready@isready\n", 2),        # so does an at sign
        (b"isready\rquit\n", 1),          # a carriage return ends the command
        (b"isready\r\n", 1),
        (b"\r\r\n\r\n\n\r\n", 0),
        (b"isready\n\r\nisready\r\r\n", 2),
        (b"\tisready\t\n", 1),
        (b"\xff\xfe\xc3(isready\n", 0),   # invalid UTF-8
        (b"isready \xff\xfe\n", 1),
        (b"\x1b[Aisready\n", 0),          # control characters
        (b"isready\x1b\n", 0),
        (b"\x04\x03\x1a\x7f\x08\n", 0),
        (b"\x80\x81" * 3000 + b"\n", 0),
        (b"\x00" * 10000, 0),
    ]
    for data, expected in cases:
        e.send_raw(data)
        # The reply to this option ends what the garbage itself asked for.
        e.send("setoption name MultiPV value 1")
        lines = e.expect_line("info string MultiPV set to 1")
        assert lines == ["readyok"] * expected, (data[:40], lines)
    # Random bytes without "quit": the engine stays up and still plays.
    noise = random.Random(11)
    junk = bytes(noise.randrange(256) for _ in range(200000))
    e.send_raw(junk + b"\n")
    e.send("isready")
    e.expect_line("readyok")
    e.send_raw(b"position fen 7k/8/8/8/8/P7/5q2/7K\xff\x80\x01 w - -\xfe\x00\n")
    e.send("go depth 1")
    assert bestmove(e)[0] == "a3a4"
    quit_cleanly(e)


def test_end_of_input_during_a_search():
    # A limited search finishes and reports; one without an end is stopped and reports.
    for limit in ("depth 6", "movetime 300", "wtime 2000 btime 2000", "infinite", "nodes",
                  "ponder wtime 60000 btime 60000", "ponder infinite"):
        e = engine()
        e.send("position startpos moves e2e4")
        e.send("go " + limit)
        e.close_input()
        move, _ = bestmove(e)
        assert MOVE.match(move) and move not in START_MOVES, (limit, move)
        assert e.close() == 0, limit
    # A last line without a line break still runs, even a "go".
    e = engine()
    e.send_raw(b"position startpos\ngo depth 3")
    e.close_input()
    assert bestmove(e)[0] in START_MOVES
    assert e.close() == 0
    # Input ending inside an over-long garbage line.
    e = engine()
    e.send_raw(b"w" * 50000)
    e.close_input()
    assert e.read_line() is None
    assert e.close() == 0


def test_stop_ponderhit_and_go_out_of_turn():
    # go as the very first command: the start position, no handshake needed.
    e = engine(handshake=False)
    e.send("go depth 3")
    assert bestmove(e)[0] in START_MOVES
    # stop and ponderhit without a search, and twice after one: no output at all.
    for command in ("stop", "ponderhit", "stop", "ponderhit"):
        assert replies(e, command) == [], command
    # ponderhit during a normal search changes nothing: one bestmove.
    e.send("go depth 5")
    e.send("ponderhit")
    move, _ = bestmove(e)
    assert move in START_MOVES
    e.send("ponderhit")
    e.send("stop")
    e.send("isready")
    e.expect_next("readyok")
    # A pondering search is released by stop exactly once.
    e.send("go ponder infinite")
    e.send("ponderhit")
    e.send("stop")
    e.send("stop")
    move, _ = bestmove(e)
    assert move in START_MOVES, move  # stopped before any move was scored: still a move
    e.send("isready")
    e.expect_next("readyok")
    quit_cleanly(e)


def test_option_values_out_of_range_or_not_numbers():
    e = engine()
    cases = [
        ("Hash value abc", "info string Hash size set to 0M bytes"),
        ("Hash value -4294967295", "info string Hash size set to 0M bytes"),
        ("Hash value 1.9", "info string Hash size set to 1M bytes"),
        ("Threads value abc", "info string Threads set to 1"),
        ("Threads value -7", "info string Threads set to 1"),
        ("Threads value 4294967298", "info string Threads set to 64"),
        ("Threads value 2", "info string Threads set to 2"),
        ("MultiPV value x", "info string MultiPV set to 1"),
        ("MultiPV value -1", "info string MultiPV set to 1"),
        ("MultiPV value 4294967296", "info string MultiPV set to 255"),
        ("MultiPV value 3", "info string MultiPV set to 3"),
        ("Communication Overhead value 4294967296", "info string Communication Overhead set to 5000"),
        ("Communication Overhead value 30ms", "info string Communication Overhead set to 30"),
        ("SyzygyProbeDepth5 value abc", "info string SyzygyProbeDepth5 set to 1"),
        ("SyzygyProbeDepth6 value 99999999999", "info string SyzygyProbeDepth6 set to 100"),
        ("OwnBook value 1", "info string OwnBook set to 0"),
        ("OwnBook value yes", "info string OwnBook set to 0"),
        ("Log value no", "info string Log set to 0"),
        ("Log value untrue", "info string Log set to 1"),
        ("Log value off", "info string Log set to 0"),  # the echo goes to the log only
        ("Clear Hash value now", "info string Hash table cleared"),
        # A path of more than 128 characters is cut.
        ("SyzygyPath value " + "p" * 300, "info string SyzygyPath set to " + "p" * 129),
        (None, "info string found 0 tablebases"),
    ]
    for command, reply in cases:
        if command:
            e.send("setoption name " + command)
        line = e.read_line()
        assert line == reply, (command, line)
    assert replies(e, "setoption name Ponder value maybe") == []
    e.send("position startpos")
    e.send("go depth 4")
    move, lines = bestmove(e)
    assert move in START_MOVES
    assert {l.split()[2] for l in lines if l.startswith("info multipv ")} == {"1", "2", "3"}, lines
    # Limits that are no usable numbers still end with a bestmove.
    for limit in ("wtime nan btime nan", "wtime 1e999 btime 1e999", "movetime inf", "movetime -nan",
                  "movetime abc", "wtime -5 btime -5 winc nan", "wtime 1000 btime 1000 movestogo -1",
                  "wtime 0 btime 0 movestogo -1", "wtime 1000 btime 1000 movestogo 2147483647",
                  "depth -99999999999"):
        e.send("go " + limit)
        assert bestmove(e)[0] in START_MOVES, limit
    # A depth beyond the range is the deepest search, not a wrapped-around one.
    e.send("setoption name MultiPV value 1")
    e.expect_next("info string MultiPV set to 1")
    e.send("go depth 4294967297")
    e.read_until(lambda l: l.startswith("bestmove") or l.startswith("info depth 5 "))
    e.send("stop")
    assert bestmove(e)[0] in START_MOVES
    e.send("setoption name Threads value 1")
    e.expect_next("info string Threads set to 1")
    quit_cleanly(e)


def test_hash_beyond_the_range_is_the_largest_size():
    # Checked builds reserve terabytes of address space up front: no address limit fits them.
    if os.environ.get("VESK_SANITIZE"):
        return

    def limit_memory():
        resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))

    e = engine(preexec_fn=limit_memory)
    e.send("setoption name Hash value 4294967297")
    e.expect_next("info string not enough memory for 8192M bytes of hash")
    e.expect_next("info string Hash size set to 64M bytes")
    e.send("go depth 3")
    assert bestmove(e)[0] in START_MOVES
    quit_cleanly(e)


SETTING_KEYS = [
    "BookVariety", "BookDepth", "SyzygyProbeDepth5", "SyzygyProbeDepth6", "NMP_depth", "SEP_depth",
    "SEP_margin", "FP_depth", "FP_margin", "LMP_depth", "LMP_count", "LMR_depth", "LMR_strength",
    "draw_score", "pawn_value", "knight_value", "bishop_value", "rook_value", "queen_value",
    "bishop_pair", "knight_mobility", "bishop_mobility", "rook_mobility", "queen_mobility",
    "passed_pawn_rank2", "passed_pawn_rank3", "passed_pawn_rank4", "passed_pawn_rank5",
    "passed_pawn_rank6", "passed_pawn_rank7", "pawn_candidate", "pawn_doubled", "pawn_backward",
    "pawn_isolated", "pawn_weak", "knight_outpost", "rook_open_file", "rook_half_open_file",
    "rook_rank7", "rook_trapped", "queen_rank7", "king_safety", "pawn_shield", "pawn_storm", "hung",
    "pinned", "tune"]


def start_with(files, expected_start, check_options=None):
    """Runs a session in a directory holding files; checks the start-up lines and a search."""
    cwd = workdir()
    for name, data in files.items():
        path = os.path.join(cwd, name)
        if data is None:
            os.mkdir(path)
        else:
            with open(path, "wb") as f:
                f.write(data)
    e = engine(cwd=cwd, handshake=False)
    e.send("uci")
    lines = e.read_until(lambda l: l == "uciok")
    start = [l for l in lines if not l.startswith(("id ", "option "))][:-1]
    assert start == expected_start, (files.keys(), start)
    if check_options:
        check_options([l for l in lines if l.startswith("option ")])
    e.send("position startpos moves e2e4 e7e5")
    e.send("go depth 6")
    move, _ = bestmove(e)
    assert MOVE.match(move), move
    e.send("position startpos")
    e.send("go depth 2")
    assert bestmove(e)[0] in START_MOVES
    quit_cleanly(e)


def test_unreadable_or_damaged_settings_file():
    loaded = ["info string loaded parameters from vesk.rc", "", "info string file vesk.rc contains invalid PST"]
    # A directory opens but reads as nothing.
    start_with({"vesk.rc": None}, loaded)
    noise = random.Random(5)
    start_with({"vesk.rc": bytes(noise.randrange(256) for _ in range(20000))}, loaded)
    start_with({"vesk.rc": b"PST_pawn_op\n1 2 3\n4"}, loaded)
    start_with({"vesk.rc": b"\x00\x00pawn_value 95\r\n#\n\n=,=\n"}, loaded)

    def long_path(options):
        assert "option name SyzygyPath type string default " + "a" * 129 in options, options

    long_lines = (b"SyzygyPath " + b"a" * 5000 + b"\nVeskBook " + b"b" * 5000 + b"\npawn_value "
                  + b"9" * 1000 + b"\n" + b"x" * 100000 + b"\n")
    start_with({"vesk.rc": long_lines}, loaded + ["info string found 0 tablebases"], long_path)
    # Every setting at the ends of its range, or not a number.
    for value in (b"32767", b"-32768", b"0", b"-1", b"abc"):
        text = b"".join(b"%s %s %s\n" % (k.encode(), value, value) for k in SETTING_KEYS)
        start_with({"vesk.rc": text}, loaded)
    pst = b"".join(b"PST_%s_%s\n" % (piece, phase) + b"32767 -32768 99999999 0 0 0 0 0\n" * 8
                   for piece in (b"pawn", b"knight", b"bishop", b"rook", b"queen", b"king")
                   for phase in (b"op", b"en"))
    start_with({"vesk.rc": pst}, ["info string loaded parameters from vesk.rc", ""])
    if os.geteuid() != 0:  # root reads any file whatever its mode
        cwd = workdir()
        path = os.path.join(cwd, "vesk.rc")
        with open(path, "w") as f:
            f.write("pawn_value 95 115\n")
        os.chmod(path, 0)
        e = engine(cwd=cwd, handshake=False)
        e.send("uci")
        assert e.read_until(lambda l: l == "uciok")[0] == "id name Vesk 3.50"
        quit_cleanly(e)


def test_missing_empty_truncated_or_damaged_book():
    noise = random.Random(3)
    books = [
        {},
        {"vesk.opn": b""},
        {"vesk.opn": b"\x01\x02\x03\x04\x05"},
        {"vesk.opn": bytes(noise.randrange(256) for _ in range(14 * 500 + 3))},
        {"vesk.opn": None},
        {"vesk.rc": b"VeskBook missing/none.opn\n"},
        {"vesk.rc": b"VeskBook\n", "vesk.opn": bytes(noise.randrange(256) for _ in range(14 * 50))},
    ]
    for files in books:
        cwd = workdir()
        for name, data in files.items():
            if data is None:
                os.mkdir(os.path.join(cwd, name))
            else:
                with open(os.path.join(cwd, name), "wb") as f:
                    f.write(data)
        e = engine(cwd=cwd)
        e.send("setoption name OwnBook value true")
        e.expect_next("info string OwnBook set to 1")
        for _ in range(2):
            e.send("position startpos")
            e.send("go depth 3")
            move, _ = bestmove(e)
            assert move in START_MOVES, (files.keys(), move)
        e.send("position startpos moves e2e4 e7e5 g1f3")
        e.send("go depth 3")
        assert MOVE.match(bestmove(e)[0])
        quit_cleanly(e)


def test_damaged_tablebase_files_and_bad_paths():
    cwd = workdir()
    tables = os.path.join(cwd, "tb")
    os.mkdir(tables)
    noise = random.Random(9)
    files = {"KQvK.rtbw": bytes(noise.randrange(256) for _ in range(5000)),
             "KQvK.rtbz": bytes(noise.randrange(256) for _ in range(5000)),
             "KRvK.rtbw": b"",
             "KPvK.rtbw": b"\x71\xe8\x23",
             "KBvK.rtbw": b"\x71\xe8\x23\x5d" + bytes(200)}
    for name, data in files.items():
        with open(os.path.join(tables, name), "wb") as f:
            f.write(data)
    os.mkdir(os.path.join(tables, "KNvK.rtbw"))
    e = engine(cwd=cwd)
    paths = [(tables, 5), ("/no/such/directory", 0), (os.path.join(tables, "KRvK.rtbw"), 0),
             (tables + ":/nothing::" + tables + ";", 5)]
    for path, count in paths:
        e.send("setoption name SyzygyPath value " + path)
        e.expect_next("info string SyzygyPath set to " + path)
        e.expect_next("info string found %d tablebases" % count)
        for fen in ("8/8/8/8/8/2k5/8/K6Q w - -", "8/8/8/8/8/2k5/8/K6R w - -",
                    "8/8/8/8/8/2k5/4P3/K7 w - -", "8/8/8/8/8/2k5/8/K6B w - -",
                    "8/8/8/8/8/2k5/8/K6N w - -", "8/8/8/8/8/2k5/8/K6R b - -"):
            e.send("position fen " + fen)
            e.send("go depth 8")
            move, _ = bestmove(e)
            white = fen.endswith("w - -")
            squares = {"a1", "h1", "e2"} if white else {"c3"}
            assert move[:2] in squares, (path, fen, move)
    quit_cleanly(e)
    errors = e.proc.stderr.read().decode(errors="replace")
    assert "Corrupted table." in errors, errors


def test_log_file_that_cannot_be_written():
    # A directory in the way of vesk.log can't be removed: no log, everything else as usual.
    cwd = workdir()
    os.mkdir(os.path.join(cwd, "vesk.log"))
    open(os.path.join(cwd, "vesk.log", "keep"), "w").close()
    # A log that can't be created, as in a read-only directory: a link into nowhere.
    blocked = workdir()
    os.symlink(os.path.join(blocked, "missing", "vesk.log"), os.path.join(blocked, "vesk.log"))
    runs = [(cwd, None, ["info string log file in use", ""]), (blocked, None, [])]
    readonly = None
    if os.geteuid() != 0:  # root writes into read-only directories anyway
        readonly = workdir()
        os.chmod(readonly, 0o555)
        runs.append((readonly, None, []))

    # A full disk: writes beyond 100 bytes fail (and don't kill the process).
    def small_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    full = workdir()
    runs.append((full, small_files, []))
    for directory, preexec, start in runs:
        e = engine(cwd=directory, args=(), preexec_fn=preexec, handshake=False)
        e.send("isready")
        assert e.expect_line("readyok") == start, (directory, e.dump())
        for _ in range(50):
            e.send("isready")
            e.expect_next("readyok")
        e.send("uci")
        e.expect_line("uciok")
        e.send("setoption name Log value true")
        e.expect_next("info string Log set to 1")
        e.send("position startpos")
        e.send("go depth 5")
        assert bestmove(e)[0] in START_MOVES
        quit_cleanly(e)
    assert os.path.getsize(os.path.join(full, "vesk.log")) <= 100
    if readonly:
        os.chmod(readonly, 0o755)


if __name__ == "__main__":
    try:
        run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
    finally:
        shutil.rmtree(ROOT, ignore_errors=True)
