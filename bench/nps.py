#!/usr/bin/env python3
"""Search speed of Vesk against reference engines, measured in one run on one machine.

Every engine searches the same positions on one thread for the same fixed time
(UCI "go movetime"); the positions are interleaved across engines so that a
change in machine load hits all of them alike. Two rates are taken per search:
the engine's own, the last "nps" of its info lines (nodes per second of wall
time), and the rate per second of processor time, which other programs sharing
the machine do not dilute: the engine's rate times the search's wall time over
the processor time the engine's process used meanwhile (from /proc). An
engine's rate is the mean over the positions. The resident and peak resident
memory of each process (VmRSS, VmHWM) are read before it quits; an engine that
allocates its default table before "setoption name Hash" shows that in its
peak. Optionally Vesk's own benchmark
("-bench") is run as well.

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

# Eight middle-game positions of the Strategic Test Suite (epd/sts1-15.epd of
# the shared data), the first of every other theme.
EPD_POSITIONS = [
    "1kr5/3n4/q3p2p/p2n2p1/PppB1P2/5BP1/1P2Q2P/3R2K1 w - -",  # Undermine.001
    "1k2r2r/1bq2p2/pn4p1/3pP3/pbpN1P1p/4QN1B/1P4PP/2RR3K b - -",  # Knight Outposts.001
    "1b3rk1/5ppp/2p2rq1/1p1n4/3P2P1/1BPbBP2/1P1N2QP/R3R1K1 w - -",  # Bishop vs Knight.001
    "1R3b2/r4pk1/2qpn1p1/P1p1p2p/2P1P2P/5PP1/6K1/1Q1BB3 w - -",  # Offer of Simplification.001
    "1b2r1k1/1bqn1pp1/p1p4p/Pp2p3/1P2B3/2B1PN1P/5PP1/1Q1R2K1 b - -",  # a/b/c pawns.001
    "1k2r3/1p1bP3/2p2p1Q/Ppb5/4Rp1P/2q2N1P/5PB1/6K1 b - -",  # King Activity.001
    "1k1r4/1p3p2/p1bq1p1p/4p3/3r1P1Q/P5P1/1PP1B2P/K2RR3 b - -",  # Pawn Play in the Center.001
    "rnb1r1k1/pp2bppp/2p2n2/8/1q1Q1B2/2N2NPP/PP2PPB1/R4RK1 w - -",  # AT.001
]

# Options that make every engine comparable: one thread, classical evaluation.
DEFAULT_OPTIONS = {
    "threads": "1",
    "hash": "64",
    "use nnue": "false",
    "ownbook": "false",
}


TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User plus system time of a process so far (None where /proc is missing)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / float(TICKS)
    except (OSError, IndexError, ValueError):
        return None


def memory_mb(pid):
    """(resident, peak resident) memory of a process in MB, from /proc."""
    found = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                key = line.split(":")[0]
                if key in ("VmRSS", "VmHWM"):
                    found[key] = int(line.split()[1]) / 1024.0
    except (OSError, ValueError):
        pass
    return found.get("VmRSS"), found.get("VmHWM")


def search_nps(eng, fen, movetime):
    """(nps, processor-time nps) of one search; either may be None."""
    eng.send("ucinewgame")
    eng.send("position fen %s 0 1" % fen)
    eng.sync(10.0)
    cpu_start, wall_start = cpu_seconds(eng.proc.pid), time.monotonic()
    eng.send("go movetime %d" % movetime)
    lines = eng._until(lambda l: l.split()[:1] == ["bestmove"], time.monotonic() + movetime / 1000.0 + 10.0)
    cpu_end, wall_end = cpu_seconds(eng.proc.pid), time.monotonic()
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
    nps = nps or derived
    cpu_nps = None
    if nps and cpu_start is not None and cpu_end is not None and cpu_end > cpu_start:
        cpu_nps = nps * (wall_end - wall_start) / (cpu_end - cpu_start)
    return nps, cpu_nps


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
    ap.add_argument(
        "--set", choices=("bench", "epd", "all"), default="all", help="benchmark positions, EPD positions or both"
    )
    ap.add_argument("--positions", type=int, default=0, help="search only the first N positions of the set")
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

    sets = {"bench": [("bench", f) for f in POSITIONS], "epd": [("epd", f) for f in EPD_POSITIONS]}
    positions = sets["bench"] + sets["epd"] if args.set == "all" else sets[args.set]
    if args.positions > 0:
        positions = positions[: args.positions]
    groups = sorted(set(g for g, _ in positions), key=["bench", "epd"].index)
    rates = {(id(e), g, kind): [] for e in engines for g in groups for kind in ("wall", "cpu")}
    print("%d positions, %d ms each, one thread, Hash 64" % (len(positions), args.movetime))
    for k, (group, fen) in enumerate(positions):
        row = []
        for eng in engines:
            try:
                nps, cpu_nps = search_nps(eng, fen, args.movetime)
            except (match.EngineDead, TimeoutError):
                nps = cpu_nps = None
            if nps and cpu_nps:
                rates[(id(eng), group, "wall")].append(nps)
                rates[(id(eng), group, "cpu")].append(cpu_nps)
            row.append(
                "%s %s" % (eng.name, "%.0fk (cpu %.0fk)" % (nps / 1000.0, cpu_nps / 1000.0) if cpu_nps else "-")
            )
        print("%-5s %2d: %s" % (group, k, ", ".join(row)), flush=True)
    memory = {id(e): memory_mb(e.proc.pid) for e in engines}
    for eng in engines:
        eng.quit()

    def mean(eng, group, kind):
        r = rates[(id(eng), group, kind)]
        return sum(r) / len(r) if r else 0.0

    print("")
    print("%-24s %-6s %12s %12s %8s %8s" % ("engine", "set", "nps", "cpu nps", "rss MB", "peak MB"))
    for eng in engines:
        for group in groups:
            rss, peak = memory[id(eng)]
            print(
                "%-24s %-6s %12.0f %12.0f %8s %8s"
                % (
                    eng.name,
                    group,
                    mean(eng, group, "wall"),
                    mean(eng, group, "cpu"),
                    "%.1f" % rss if rss else "-",
                    "%.1f" % peak if peak else "-",
                )
            )
    for eng in engines[1:]:
        for group in groups:
            parts = []
            for kind in ("wall", "cpu"):
                base, other = mean(engines[0], group, kind), mean(eng, group, kind)
                parts.append("%s %.2f" % ("nps" if kind == "wall" else "cpu nps", base / other if other else 0.0))
            print("ratio %s / %s, %s positions: %s" % (engines[0].name, eng.name, group, ", ".join(parts)))
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
