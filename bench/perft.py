#!/usr/bin/env python3
"""Move-generation speed of vesk beside stockfish on two standard perft positions.

Usage: bench/perft.py [path/to/vesk] [path/to/stockfish]

Runs start-position perft 6 and Kiwipete perft 5 in vesk's console (its own
"visited ... nps= X" line gives the speed) and in stockfish with one thread
(timed here, from "go perft" to "Nodes searched"), and prints both speeds and
their ratio. Node counts are checked against each other.
"""

import os
import re
import shutil
import subprocess
import sys
import time

POSITIONS = [
    ("start position", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 6),
    ("Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 5),
]

VISITED = re.compile(r"^visited (\d+) nodes in ([\d.]+) seconds, nps= (\d+)")


def find_stockfish(given):
    for candidate in (given, os.environ.get("VESK_STOCKFISH"), "/usr/games/stockfish", shutil.which("stockfish")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


def read_until(proc, prefix):
    while True:
        line = proc.stdout.readline()
        if not line:
            sys.exit("perft.py: %s ended before printing %r" % (proc.args[0], prefix))
        if line.startswith(prefix):
            return line.rstrip("\n")


def vesk_perft(proc, fen, depth):
    proc.stdin.write("fen %s\nperft %d\n" % (fen, depth))
    proc.stdin.flush()
    m = VISITED.match(read_until(proc, "visited "))
    return int(m.group(1)), float(m.group(2)), int(m.group(3))


def stockfish_perft(proc, fen, depth):
    proc.stdin.write("position fen %s\nisready\n" % fen)
    proc.stdin.flush()
    read_until(proc, "readyok")
    start = time.monotonic()
    proc.stdin.write("go perft %d\n" % depth)
    proc.stdin.flush()
    line = read_until(proc, "Nodes searched: ")
    elapsed = time.monotonic() - start
    nodes = int(line.split()[2])
    return nodes, elapsed, nodes / max(elapsed, 1e-9)


def main():
    vesk = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/vesk")
    if not os.access(vesk, os.X_OK):
        sys.exit("perft.py: no engine at %s (build it first or pass its path)" % vesk)
    stockfish = find_stockfish(sys.argv[2] if len(sys.argv) > 2 else None)
    if not stockfish:
        sys.exit("perft.py: stockfish not found (install Debian's stockfish or pass its path)")

    v = subprocess.Popen(
        [vesk, "-c", "-nolog"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True
    )
    s = subprocess.Popen([stockfish], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    s.stdin.write("uci\nsetoption name Threads value 1\n")
    s.stdin.flush()
    read_until(s, "uciok")

    header = ("position", "depth", "nodes", "vesk s", "vesk nps", "sf s", "sf nps", "ratio")
    print("%-16s %5s %12s %9s %12s %9s %12s %7s" % header)
    ratios = []
    for name, fen, depth in POSITIONS:
        v_nodes, v_time, v_nps = vesk_perft(v, fen, depth)
        s_nodes, s_time, s_nps = stockfish_perft(s, fen, depth)
        if v_nodes != s_nodes:
            print("warning: %s perft %d: vesk counts %d, stockfish %d" % (name, depth, v_nodes, s_nodes))
        ratio = v_nps / s_nps
        ratios.append(ratio)
        print(
            "%-16s %5d %12d %9.2f %12d %9.2f %12d %7.3f"
            % (name, depth, v_nodes, v_time, v_nps, s_time, s_nps, ratio)
        )
    print("vesk nps / stockfish nps: %s" % ", ".join("%.3f" % r for r in ratios))

    for proc in (v, s):
        proc.stdin.write("quit\n")
        proc.stdin.close()
        proc.wait()


if __name__ == "__main__":
    main()
