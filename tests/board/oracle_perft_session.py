"""Move generation checked against an independent engine on positions from real games.

Games of the TCEC superfinal collection are replayed by the console's own PGN
loader; at every seventh ply of a spread of games the perft(3) count of each
root move must equal what Debian's stockfish reports for the same position.
"""

import os
import re
import shutil
import sys
import tempfile

from engine_session import EngineSession, SessionError, data_dir

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


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(77)


def find_stockfish():
    for candidate in (os.environ.get("VESK_STOCKFISH"), "/usr/games/stockfish", shutil.which("stockfish")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


def game_moves(path):
    """Move tokens of every game, split the way the console's loader splits them."""
    games = []
    depth = 0
    with open(path, encoding="latin-1") as f:
        for line in f:
            if "[Event " in line:
                games.append([])
                depth = 0
            if not games or line.startswith("["):
                continue
            text = []
            for ch in line:
                if ch == "{":
                    depth += 1
                elif ch == "}":
                    depth = max(0, depth - 1)
                elif depth == 0:
                    text.append(ch)
            for token in "".join(text).split():
                # Move numbers, results and "*" have no letter to start from.
                token = re.sub(r"^[^A-Za-z]+", "", token)
                if token:
                    games[-1].append(token)
    return games


def read_board(e, first=None):
    """The next board display; returns its FEN line."""
    lines = [first if first is not None else e.read_line()] + [e.read_line() for _ in range(10)]
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


def describe(vesk, oracle):
    parts = []
    for move in sorted(set(vesk) | set(oracle)):
        a, b = vesk.get(move), oracle.get(move)
        if a != b:
            parts.append("%s vesk=%s stockfish=%s" % (move, a, b))
    more = " ..." if len(parts) > 6 else ""
    return "; ".join(parts[:6]) + more


def main():
    data = data_dir()
    if not data:
        skip("shared test data not found")
    pgn = os.path.join(data, "pgn", "tcec_superfinals_s4-s13.pgn")
    if not os.path.isfile(pgn):
        skip("shared test data not found: " + pgn)
    stockfish = find_stockfish()
    if not stockfish:
        skip("stockfish not installed (scripts/test-deps installs it)")

    moves = game_moves(pgn)
    games = range(1, len(moves) + 1, GAME_STEP)

    workdir = tempfile.mkdtemp(prefix="vesk-oracle-")
    e = EngineSession(VESK, ["-c", "-nolog"], cwd=workdir)
    sf = EngineSession(stockfish)
    sf.send("uci")
    sf.read_until(lambda l: l == "uciok")
    sf.send("setoption name Threads value 1")
    sf.send("isready")
    sf.read_until(lambda l: l == "readyok")
    e.read_line()  # the greeting
    read_board(e)  # the start position shown at start-up

    checked = 0
    stopped = 0
    failures = []
    seen = set()
    try:
        for game in games:
            e.send("load %s %d" % (pgn, game))
            e.expect_next("loading %s, tag %d" % (pgn, game))
            e.expect_next("")
            line = e.read_line()
            if line == "ambiguous move":
                line = e.read_line()
            stop = re.match(r"^can't parse move '(.*)'$", line or "")
            final = read_board(e, e.read_line() if stop else line)
            candidates = [len(moves[game - 1])]
            if stop:
                # The loader counts pinned pieces when deciding whether a move text
                # needs its file or rank, so some real games stop early; the plies
                # before the stop still count.
                candidates = [i for i, m in enumerate(moves[game - 1]) if m.startswith(stop.group(1))]
                stopped += 1
            n = None
            for candidate in candidates:
                # The replay ends right there: one ply short differs, one beyond does not.
                e.send("jump %d" % (candidate - 1))
                before_last = read_board(e)
                e.send("jump %d" % (candidate + 1))
                beyond = read_board(e)
                if beyond == final and before_last != final:
                    n = candidate
                    break
            if n is None:
                failures.append("game %d: the replay did not end where its moves end" % game)
                continue
            plies = list(range(1 + game % PLY_STEP, n + 1, PLY_STEP))
            # Commands go out in batches so neither process waits on a round trip;
            # a batch's output stays well inside a pipe buffer.
            for start in range(0, len(plies), BATCH):
                batch = plies[start : start + BATCH]
                for ply in batch:
                    e.send("jump %d" % ply)
                    e.send("perft %d" % DEPTH)
                positions = []
                for ply in batch:
                    fen = read_board(e)
                    mine = read_vesk_perft(e, fen)
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
                            "game %d ply %d %s: total vesk=%d stockfish=%d: %s"
                            % (game, ply, fen, my_total, their_total, describe(mine, theirs))
                        )
        e.send("quit")
        code = e.close()
        sf.send("quit")
        sf.close()
    except SessionError as error:
        print("FAIL session: " + str(error))
        sys.exit(1)
    shutil.rmtree(workdir, ignore_errors=True)

    print(
        "%d positions from %d games compared at depth %d (%d games replayed only up to a move"
        " the loader rejects)" % (checked, len(games), DEPTH, stopped)
    )
    if code != 0:
        failures.append("vesk exited with code %d" % code)
    if checked < MIN_POSITIONS:
        failures.append("only %d positions compared, wanted at least %d" % (checked, MIN_POSITIONS))
    for line in failures[:MAX_REPORTED]:
        print("FAIL " + line)
    if len(failures) > MAX_REPORTED:
        print("... and %d more" % (len(failures) - MAX_REPORTED))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
