#!/usr/bin/env python3
"""Search speed of Vesk against reference engines, measured in one run on one machine.

Every engine searches the same positions on one thread for the same fixed time
(UCI "go movetime"); the positions are interleaved across engines so that a
change in machine load hits all of them alike. The node rate of a search is the
last "nps" of its info lines; an engine's rate is the mean over the positions.
Optionally Vesk's own benchmark ("-bench") is run as well.

Example:
  bench/nps.py --vesk build/vesk --movetime 2000
  bench/nps.py --vesk build/vesk --engine toga2 --engine "stockfish" --vesk-bench

Standard library only.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import match  # noqa: E402  (the referee's engine driver)

POSITIONS = [
    "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "1n5k/3q3p/pp1p2pB/5r2/1PP1Qp2/P6P/6P1/2R3K1 w - -",
    "1r1qbr1k/4bp1p/p3p2Q/3pP3/2pP4/P1N1PN2/1PR2RP1/6K1 b - -",
    "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -",
    "r2r2k1/5pp1/2bPp3/p1N4p/1qQ5/2P2P2/BP4PP/1K1R4 b - -",
    "5r1k/5rp1/p1n1p1qp/2P1p3/P7/4QN1P/5PP1/2R1R2K w - -",
    "2r3k1/1pq1b1p1/p1b1pr1p/8/PP2pP2/2P1B3/4B1PP/RQR4K w - -",
    "1r3b2/3R2pk/6q1/3Q1p2/p6P/4B2P/1P3P1K/8 w - -",
    "r2r2k1/6bp/1P2q1p1/4pp2/p1N5/2Q5/PPR3PP/4R2K b - -",
    "r1bq1r1k/p1pnbpp1/1p2p3/6p1/3PB3/5N2/PPPQ1PPP/2KR3R w - -",
]

# Options that make every engine comparable: one thread, classical evaluation.
DEFAULT_OPTIONS = {
    "threads": "1",
    "hash": "64",
    "use nnue": "false",
    "ownbook": "false",
}


def search_nps(eng, fen, movetime):
    eng.send("ucinewgame")
    eng.send("position fen %s 0 1" % fen)
    eng.sync(10.0)
    eng.send("go movetime %d" % movetime)
    lines = eng._until(lambda l: l.split()[:1] == ["bestmove"], time.monotonic() + movetime / 1000.0 + 10.0)
    nps = derived = None
    for _, line in lines:
        words = line.split()
        if words[:1] != ["info"]:
            continue
        found = {}
        for key in ("nps", "nodes", "time"):
            if key in words:
                i = words.index(key)
                if i + 1 < len(words) and words[i + 1].isdigit():
                    found[key] = int(words[i + 1])
        if "nps" in found:
            nps = found["nps"]
        if found.get("time") and "nodes" in found:
            derived = found["nodes"] * 1000 // found["time"]
    # Some engines report nps only in periodic lines: fall back to nodes / time.
    return nps or derived, derived


def vesk_bench(binary, depth):
    args = [binary] + (["-d", str(depth)] if depth else []) + ["-bench"]
    workdir = tempfile.mkdtemp(prefix="nps-")  # keeps its log file out of the tree
    try:
        out = subprocess.run(
            args, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, universal_newlines=True, cwd=workdir, timeout=3600
        ).stdout
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    m = re.search(r"total time= ([\d.]+) seconds, nodes= (\d+), nps= (\d+)", out)
    return (float(m.group(1)), int(m.group(2)), int(m.group(3))) if m else None


def main():
    ap = argparse.ArgumentParser(description="Compares the single-thread search speed of Vesk with other UCI engines.")
    ap.add_argument("--vesk", required=True, help="path of the vesk binary")
    ap.add_argument("--engine", action="append", help="reference engine command (default: toga2 and stockfish)")
    ap.add_argument("--movetime", type=int, default=2000, help="milliseconds per position (default 2000)")
    ap.add_argument("--positions", type=int, default=len(POSITIONS), help="how many of the positions to search")
    ap.add_argument("--vesk-bench", action="store_true", help="also run Vesk's own -bench")
    ap.add_argument("--bench-depth", type=int, default=0, help="depth for -bench (default: its own)")
    args = ap.parse_args()

    commands = [args.vesk] + (args.engine or ["toga2", "stockfish"])
    engines = []
    for i, cmd in enumerate(commands):
        setup = match.EngineSetup(cmd, [], None, None, False)
        eng = match.Engine(setup, str(i), None)
        try:
            # Options are set only where the engine knows them.
            eng.start(10.0)
            for name, value in DEFAULT_OPTIONS.items():
                if name in eng.options:
                    eng.send("setoption name %s value %s" % (eng.options[name], value))
            eng.sync(10.0)
        except (match.EngineDead, TimeoutError) as error:
            print("skipping %s: %s" % (cmd, error or "no answer"))
            eng.quit()
            continue
        engines.append(eng)
    if not engines or engines[0].setup.argv[0] != os.path.abspath(args.vesk):
        print("vesk did not start")
        return 1

    rates = {id(e): [] for e in engines}
    positions = POSITIONS[: max(1, args.positions)]
    print("%d positions, %d ms each, one thread" % (len(positions), args.movetime))
    for k, fen in enumerate(positions):
        row = []
        for eng in engines:
            try:
                nps, _ = search_nps(eng, fen, args.movetime)
            except (match.EngineDead, TimeoutError):
                nps = None
            if nps:
                rates[id(eng)].append(nps)
            row.append("%s %s" % (eng.name, "%.0fk" % (nps / 1000.0) if nps else "-"))
        print("pos %2d: %s" % (k, ", ".join(row)), flush=True)
    for eng in engines:
        eng.quit()

    mean = {}
    print("")
    for eng in engines:
        r = rates[id(eng)]
        mean[id(eng)] = sum(r) / len(r) if r else 0.0
        print("%-24s mean nps %10.0f over %d searches" % (eng.name, mean[id(eng)], len(r)))
    base = mean[id(engines[0])]
    for eng in engines[1:]:
        other = mean[id(eng)]
        if other and base:
            print("ratio %s / %s: %.2f" % (engines[0].name, eng.name, base / other))
    if args.vesk_bench:
        res = vesk_bench(os.path.abspath(args.vesk), args.bench_depth)
        if res:
            print("vesk -bench: total time %.2f s, nodes %d, nps %d" % res)
            for eng in engines[1:]:
                if mean[id(eng)]:
                    print("ratio vesk -bench nps / %s: %.2f" % (eng.name, res[2] / mean[id(eng)]))
        else:
            print("vesk -bench printed no total line")
    return 0


if __name__ == "__main__":
    sys.exit(main())
