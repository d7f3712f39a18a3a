#!/usr/bin/env python3
"""What extra search threads buy: time to depth and node rate of the benchmark.

Usage: bench/threads.py [--vesk build/vesk] [--depth 16] [--threads 2] [--runs 2]

Runs `vesk -nolog -d DEPTH -threads N -bench` for one thread and for N threads,
alternating, RUNS times each, and prints every run, the means, and the ratios
N threads / one thread of the time to reach the depth (below 1 is better) and
of the node rate. The last column is the rate per second of processor time
(all threads together): when it is the same for N threads as for one, the
threads lose nothing to each other (shared-table traffic, shared cache lines,
locks) and any shortfall in time to depth is work they duplicate.

The Elo worth of the threads is measured with games, for example
  bench/match.py --engine build/vesk --name1 Vesk-2T --name2 Vesk-1T \\
      --opt1 Threads=2 --games 100 --tc 10+0.1
(one game at a time on a two-core machine, so the two threads have a core each).
"""

import argparse
import os
import re
import resource
import subprocess
import sys
import time

TOTAL = re.compile(r"total time= ([\d.]+) seconds, nodes= (\d+), nps= (\d+)")


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def bench(vesk, depth, threads):
    """One benchmark run: (seconds, nodes, nps, processor seconds)."""
    cpu_before = children_cpu()
    start = time.monotonic()
    out = subprocess.run(
        [vesk, "-nolog", "-d", str(depth), "-threads", str(threads), "-bench"],
        capture_output=True, text=True, cwd=os.path.dirname(vesk) or ".",
    )
    wall = time.monotonic() - start
    match = None
    for line in out.stdout.splitlines():
        match = TOTAL.search(line) or match
    if out.returncode != 0 or not match:
        sys.exit("threads.py: %s -bench failed (exit %d)" % (vesk, out.returncode))
    seconds, nodes, nps = float(match.group(1)), int(match.group(2)), int(match.group(3))
    # The process's processor time, scaled to the benchmark's own span.
    cpu = (children_cpu() - cpu_before) * seconds / max(wall, 1e-9)
    return seconds, nodes, nps, nodes / max(cpu, 1e-9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--vesk", default="build/vesk")
    parser.add_argument("--depth", type=int, default=16)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--runs", type=int, default=2)
    args = parser.parse_args()
    vesk = os.path.abspath(args.vesk)
    if not os.access(vesk, os.X_OK):
        sys.exit("threads.py: no engine at %s (build it first or pass its path)" % vesk)
    if args.threads < 2:
        sys.exit("threads.py: --threads must be at least 2")

    results = {1: [], args.threads: []}
    print("%7s %4s %9s %12s %10s %10s" % ("threads", "run", "seconds", "nodes", "nps", "cpu nps"))
    for run in range(1, args.runs + 1):
        for n in (1, args.threads):
            seconds, nodes, nps, cpu_nps = bench(vesk, args.depth, n)
            results[n].append((seconds, nps, cpu_nps))
            print("%7d %4d %9.2f %12d %10d %10d" % (n, run, seconds, nodes, nps, cpu_nps))

    def mean(n, k):
        return sum(r[k] for r in results[n]) / len(results[n])

    print()
    for n in (1, args.threads):
        print("%d thread(s): %.2f s to depth %d, %.0f nps" % (n, mean(n, 0), args.depth, mean(n, 1)))
    print("time to depth %d, %d threads / 1: %.2f" % (args.depth, args.threads,
                                                      mean(args.threads, 0) / mean(1, 0)))
    print("node rate, %d threads / 1: %.2f" % (args.threads, mean(args.threads, 1) / mean(1, 1)))
    print("node rate per processor second, %d threads / 1: %.2f" % (
        args.threads, mean(args.threads, 2) / mean(1, 2)))


if __name__ == "__main__":
    main()
