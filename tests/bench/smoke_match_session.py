"""Smoke match: four quick games of the engine against itself under the referee
(bench/match.py). Every game must end by the rules of chess with no illegal move,
time forfeit, crash or protocol error."""

import os
import re
import subprocess
import sys

from engine_session import run_tests

VESK = os.path.abspath(sys.argv[1])
REFEREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "match.py")


def test_four_games_end_by_the_rules():
    # The grace is generous: the machine may be loaded by other tests, and a real
    # clock-handling fault overruns a 1 s game by far more than this.
    match = subprocess.run([sys.executable, REFEREE, "--engine", VESK, "--games", "4", "--tc", "1+0.05",
                            "--concurrency", "2", "--grace", "0.5"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, timeout=300)
    games = re.findall(r"^Game \d+ .* (1-0|0-1|1/2-1/2) \{", match.stdout, re.M)
    faults = re.findall(r"illegal moves (\d+), time forfeits (\d+), crashes (\d+), protocol errors (\d+)",
                        match.stdout)
    assert len(games) == 4 and len(faults) == 2 and match.returncode == 0, match.stdout
    assert not any(int(c) for counts in faults for c in counts), match.stdout


if __name__ == "__main__":
    run_tests([("four games end by the rules", test_four_games_end_by_the_rules)])
