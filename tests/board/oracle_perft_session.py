"""Move generation checked against an independent engine on positions from real games.

Games of the TCEC superfinal collection are replayed by the console's own PGN
loader; at every seventh ply of a spread of games the perft(3) count of each
root move must equal what Debian's stockfish reports for the same position.
"""

import os
import re
import sys

from engine_session import EngineSession, SessionError, Skipped, find_stockfish, need_data, run_tests

VESK = os.path.abspath(sys.argv[1])

GAME_STEP = 13  # every 13th game of the collection
PLY_STEP = 7  # every 7th ply of each chosen game
DEPTH = 3
MIN_POSITIONS = 500
MAX_REPORTED = 10
BATCH = 16

MOVE_LINE = re.compile(r"^([a-h][1-8][a-h][1-8][qrbn]?): (\d+)$")
# The console writes promotions as "e7e8=Q"; UCI as "e7e8q".
CONSOLE_MOVE_LINE = re.compile(r"^([a-h][1-8][a-h][1-8])(?:=([QRBN]))?: (\d+)$")


def read_board(e):
    """The next board display; returns its FEN line."""
    lines = [e.read_line() for _ in range(11)]
    if None in lines or lines[10] != "" or lines[9] not in ("white", "black"):
        raise SessionError("not a board display: %r\n%s" % (lines, e.dump()))
    return lines[0]


def read_vesk_perft(e, fen):
    lines = e.read_until(lambda l: l.startswith("visited "), timeout=60)
    if lines[0] != "fen " + fen or not lines[1].startswith("Ply= "):
        raise SessionError("unexpected perft header %r" % lines[:2])
    counts = {}
    for line in lines[2:-1]:
        m = CONSOLE_MOVE_LINE.match(line)
        move = m and m.group(1) + (m.group(2) or "").lower()
        if not m or move in counts:
            raise SessionError("unexpected perft line %r for %s" % (line, fen))
        counts[move] = int(m.group(3))
    total = int(lines[-1].split()[1])
    return counts, total


def read_stockfish_perft(sf, fen):
    lines = sf.read_until(lambda l: l.startswith("Nodes searched: "), timeout=60)
    counts = {}
    for line in lines[:-1]:
        m = MOVE_LINE.match(line)
        if m:
            counts[m.group(1)] = int(m.group(2))
        elif line.strip():
            raise SessionError("unexpected stockfish line %r for %s" % (line, fen))
    return counts, int(lines[-1].split()[2])


def test_perft_of_game_positions_equals_stockfish():
    pgn = need_data("pgn", "tcec_superfinals_s4-s13.pgn")
    stockfish = find_stockfish()
    if not stockfish:
        raise Skipped("stockfish not installed (scripts/test-deps installs it)")

    with open(pgn, encoding="latin-1") as f:
        games = range(1, f.read().count("[Event ") + 1, GAME_STEP)

    e = EngineSession(VESK, ["-c", "-nolog"])
    sf = EngineSession(stockfish)
    sf.send("uci")
    sf.read_until(lambda l: l == "uciok")
    sf.send("setoption name Threads value 1")
    sf.send("isready")
    sf.read_until(lambda l: l == "readyok")
    e.read_line()  # the greeting
    read_board(e)  # the start position shown at start-up

    checked = 0
    failures = []
    seen = set()
    for game in games:
        # Every move text of these games reads (standard algebraic notation). Jumps
        # beyond the end show the last position.
        e.send("load %s %d" % (pgn, game))
        loaded = e.read_until(lambda l: l in ("white", "black"))
        if any(l.startswith("can't parse move") for l in loaded):
            failures.append("game %d: %s" % (game, [l for l in loaded if l.startswith("can't")][0]))
        final = loaded[-10]
        e.expect_next("")
        # Commands go out in batches so neither process waits on a round trip;
        # a batch's output stays well inside a pipe buffer.
        for start in range(1 + game % PLY_STEP, 2000, PLY_STEP * BATCH):
            batch = range(start, start + PLY_STEP * BATCH, PLY_STEP)
            for ply in batch:
                e.send("jump %d" % ply)
                e.send("perft %d" % DEPTH)
            positions = []
            ended = False
            for ply in batch:
                fen = read_board(e)
                mine = read_vesk_perft(e, fen)
                ended |= fen == final
                if fen not in seen:
                    seen.add(fen)
                    positions.append((ply, fen, mine))
            for _, fen, _ in positions:
                sf.send("position fen " + fen)
                sf.send("go perft %d" % DEPTH)
            for ply, fen, (mine, my_total) in positions:
                theirs, their_total = read_stockfish_perft(sf, fen)
                checked += 1
                if mine != theirs or my_total != their_total:
                    failures.append(
                        "game %d ply %d %s: total vesk=%d stockfish=%d, differing (move, count): %s"
                        % (game, ply, fen, my_total, their_total, sorted(set(mine.items()) ^ set(theirs.items()))[:6])
                    )
            if ended:
                break
    e.send("quit")
    code = e.close()
    sf.send("quit")
    sf.close()
    print("%d positions from %d games compared at depth %d" % (checked, len(games), DEPTH))
    if code != 0:
        failures.append("vesk exited with code %d" % code)
    if checked < MIN_POSITIONS:
        failures.append("only %d positions compared, wanted at least %d" % (checked, MIN_POSITIONS))
    more = "\n... and %d more" % (len(failures) - MAX_REPORTED) if len(failures) > MAX_REPORTED else ""
    assert not failures, "\n".join(failures[:MAX_REPORTED]) + more


if __name__ == "__main__":
    run_tests([("perft of game positions equals stockfish", test_perft_of_game_positions_equals_stockfish)])
