"""Smoke match: four quick games of the engine against itself under the referee.

Every game must end by the rules of chess with no illegal move, time forfeit,
crash or protocol error; the referee's own move generator must pass its checks.
"""

import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REFEREE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "bench", "match.py")


def run(args, timeout):
    return subprocess.run(
        [sys.executable, REFEREE, *args],
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        universal_newlines=True,
        timeout=timeout,
    )


def main():
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        print("engine binary not given")
        return 77
    binary = os.path.abspath(sys.argv[1])

    check = run(["--selftest"], 120)
    if check.returncode != 0:
        print(check.stdout)
        print("FAIL referee selftest")
        return 1

    # The referee must catch each kind of fault of a deliberately broken engine.
    fake = os.path.join(HERE, "fake_engine.py")
    expected = {"illegal": 0, "slow": 1, "crash": 2, "hang": 3, "garbage": 3}
    for mode, slot in expected.items():
        res = run(
            ["--engine", "%s %s %s" % (sys.executable, fake, mode), "--engine", "%s %s random" % (sys.executable, fake),
             "--games", "1", "--tc", "0.3+0", "--grace", "0.1", "--hang-timeout", "1"],
            120,
        )
        found = re.search(r"Faults of fake-%s: illegal moves (\d+), time forfeits (\d+), crashes (\d+), protocol errors (\d+)" % mode, res.stdout)
        counts = [int(c) for c in found.groups()] if found else None
        if not counts or counts[slot] < 1 or sum(counts) != counts[slot] or res.returncode != 1:
            print(res.stdout)
            print("FAIL fault %s not reported as expected: %s, exit %d" % (mode, counts, res.returncode))
            return 1
        print("ok   referee flags a %s engine" % mode)

    # The grace is generous: the machine may be loaded by other tests, and a
    # real clock-handling fault overruns a 1 s game by far more than this.
    match = run(
        ["--engine", binary, "--games", "4", "--tc", "1+0.05", "--concurrency", "2", "--grace", "0.5"],
        300,
    )
    print(match.stdout)
    failures = []
    games = re.findall(r"^Game \d+ .* (1-0|0-1|1/2-1/2) \{", match.stdout, re.M)
    if len(games) != 4:
        failures.append("expected 4 finished games, saw %d" % len(games))
    faults = re.findall(
        r"illegal moves (\d+), time forfeits (\d+), crashes (\d+), protocol errors (\d+)", match.stdout
    )
    if len(faults) != 2:
        failures.append("no fault summary for both sides")
    for counts in faults:
        if any(int(c) for c in counts):
            failures.append("faults: illegal %s, forfeits %s, crashes %s, protocol %s" % counts)
    if match.returncode != 0:
        failures.append("referee exit code %d" % match.returncode)
    for f in failures:
        print("FAIL " + f)
    print("smoke match %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
