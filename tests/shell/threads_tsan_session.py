"""Several search threads over UCI: pool resizes, hash resizes, stop, ponderhit and quit
while searching. Anything on stderr fails the test, so a checked build (thread or
address checker) that reports a fault fails it too."""

import os
import re
import sys
import tempfile

from engine_session import EngineSession, SessionError, data_dir, run_tests

VESK = os.path.abspath(sys.argv[1])
MOVE = re.compile(r"^[a-h][1-8][a-h][1-8][qrbn]?$")
# Checked builds run many times slower than normal ones.
SLOW = 120
SESSIONS = []


def session():
    workdir = tempfile.mkdtemp(prefix="vesk-threads-")
    e = EngineSession(VESK, ("-nolog",), cwd=workdir)
    e.send("uci")
    SESSIONS.append(e)
    e.expect_line("uciok", SLOW)
    return e


def with_stderr(test):
    """A checker report ends the engine early: the failure then shows the report."""

    def run():
        try:
            test()
        except SessionError as error:
            for e in list(SESSIONS):
                if e.proc.poll() is None:
                    e.proc.kill()
                    e.proc.wait()
                errors = e.proc.stderr.read().decode(errors="replace")
                if errors:
                    raise SessionError("%s\nstderr:\n%s" % (error, errors[-6000:]))
            raise
        finally:
            SESSIONS.clear()

    return run


def bestmove(e):
    line = e.read_until(lambda l: l.startswith("bestmove"), SLOW)[-1]
    words = line.split()
    if len(words) < 2 or not MOVE.match(words[1]):
        raise SessionError("bad bestmove line %r\n%s" % (line, e.dump()))
    return words[1]


def bestmove_and_reply(e, reply):
    """A change that stops the running search answers before or after its bestmove."""
    lines = e.read_until(lambda l: l.startswith("bestmove"), SLOW)
    if reply not in lines:
        e.expect_line(reply, SLOW)


def ready(e):
    e.send("isready")
    e.expect_line("readyok", SLOW)


def finish(e):
    """The engine must leave with code 0 and print nothing on stderr."""
    code = e.close(SLOW)
    errors = e.proc.stderr.read().decode(errors="replace")
    if errors or code != 0:
        raise SessionError("exit code %d, stderr:\n%s\n%s" % (code, errors[-6000:], e.dump()))


def test_pool_and_hash_changes_between_searches():
    e = session()
    e.send("setoption name Threads value 4")
    e.expect_line("info string Threads set to 4", SLOW)
    e.send("position startpos moves e2e4 e7e5 g1f3")
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 3"), SLOW)
    e.send("stop")
    bestmove(e)
    ready(e)

    e.send("position startpos moves d2d4 d7d5")
    e.send("go ponder wtime 2000 btime 2000")
    e.read_until(lambda l: l.startswith("info depth 2"), SLOW)
    e.send("ponderhit")
    bestmove(e)

    e.send("setoption name Threads value 2")
    e.expect_line("info string Threads set to 2", SLOW)
    e.send("go depth 6")
    bestmove(e)

    e.send("setoption name Hash value 8")
    e.expect_line("info string Hash size set to 8M bytes", SLOW)
    e.send("position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4")
    e.send("go movetime 300")
    bestmove(e)

    e.send("setoption name Threads value 4")
    e.expect_line("info string Threads set to 4", SLOW)
    e.send("go depth 7")
    bestmove(e)
    e.send("go wtime 3000 btime 3000 winc 100 binc 100")
    bestmove(e)
    e.send("go movetime 200")
    bestmove(e)
    ready(e)
    e.send("quit")
    finish(e)


def test_changes_and_quit_during_search():
    e = session()
    e.send("setoption name Threads value 4")
    e.expect_line("info string Threads set to 4", SLOW)
    # Resizing the pool and the table while a search runs stops that search first.
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 2"), SLOW)
    e.send("setoption name Threads value 2")
    bestmove_and_reply(e, "info string Threads set to 2")
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 2"), SLOW)
    e.send("setoption name Hash value 8")
    bestmove_and_reply(e, "info string Hash size set to 8M bytes")
    e.send("go ponder infinite")
    e.read_until(lambda l: l.startswith("info depth 2"), SLOW)
    e.send("ponderhit")
    e.send("stop")
    bestmove(e)
    e.send("go infinite")
    e.read_until(lambda l: l.startswith("info depth 3"), SLOW)
    e.send("quit")
    finish(e)


def test_deeper_search_and_tablebase_root():
    e = session()
    e.send("setoption name Threads value 4")
    e.expect_line("info string Threads set to 4", SLOW)
    # Deep enough that helper threads skip ahead a ply and the clock weighs their scores.
    e.send("position fen r2q1rk1/pp2bppp/2n1bn2/3p4/3P4/2NBBN2/PP3PPP/R2Q1RK1 w - - 0 10")
    e.send("go wtime 20000 btime 20000 movestogo 10")
    bestmove(e)
    tables = data_dir() and os.path.join(data_dir(), "syzygy")
    if tables and os.path.isdir(tables):
        e.send("setoption name SyzygyPath value " + tables)
        e.expect_line("info string SyzygyPath set to " + tables, SLOW)
        e.send("position fen 8/8/8/4k3/8/8/2KQ4/8 w - - 0 1")
        e.send("go depth 8")
        bestmove(e)
        e.send("position fen 8/8/3k4/8/8/2K5/3R4/3r4 w - - 0 1")
        e.send("go movetime 300")
        bestmove(e)
    ready(e)
    e.send("quit")
    finish(e)


if __name__ == "__main__":
    run_tests([
        ("pool and hash changes between searches",
         with_stderr(test_pool_and_hash_changes_between_searches)),
        ("changes and quit during a search", with_stderr(test_changes_and_quit_during_search)),
        ("deeper search and tablebase root", with_stderr(test_deeper_search_and_tablebase_root)),
    ])
