"""A deliberately faulty UCI engine for checking that the referee catches faults.

Usage: fake_engine.py MODE, MODE one of random, illegal, crash, hang, slow, garbage.
It plays a legal move (the first in a fixed order) except on its second search,
where the chosen fault happens; "garbage" prints a stray line before every move.
"""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "bench"))
import match  # noqa: E402


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "random"
    pos = match.Position()
    searches = 0
    out = sys.stdout
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        cmd = words[0]
        if cmd == "uci":
            out.write("id name fake-%s\nuciok\n" % mode)
        elif cmd == "isready":
            out.write("readyok\n")
        elif cmd == "position":
            if words[1] == "startpos":
                pos, rest = match.Position(), words[2:]
            else:
                end = words.index("moves") if "moves" in words else len(words)
                pos, rest = match.Position(" ".join(words[2:end])), words[end:]
            for mv in rest[1:]:
                pos = pos.legal_moves()[mv][1]
        elif cmd == "go":
            searches += 1
            fault = searches == 2
            legal = sorted(pos.legal_moves())
            if mode == "garbage":
                out.write("hello from a confused engine\n")
            if fault and mode == "illegal":
                out.write("bestmove a1a1\n")
            elif fault and mode == "crash":
                out.flush()
                os._exit(3)
            elif fault and mode == "hang":
                out.flush()
                time.sleep(3600)
            elif fault and mode == "slow":
                clock = int(words[words.index("wtime" if pos.turn == match.WHITE else "btime") + 1])
                time.sleep(clock / 1000.0 + 0.6)
                out.write("bestmove %s\n" % legal[0])
            else:
                out.write("info depth 1 score cp 0 nodes 1 nps 1000 pv %s\n" % legal[0])
                out.write("bestmove %s\n" % legal[0])
        elif cmd == "quit":
            break
        out.flush()


if __name__ == "__main__":
    main()
