"""The strength limit over UCI: weaker but sensible choices, the same choices
for the same seed, and searches that only "stop" may end."""

import os
import sys

from engine_session import EngineSession, run_tests

VESK = os.path.abspath(sys.argv[1])

# Positions along a quiet opening and middlegame, each with several playable moves.
GAME = (
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7 f1e1 b7b5 a4b3 d7d6 c2c3 e8g8 "
    "h2h3 c6a5 b3c2 c7c5 d2d4 d8c7 b1d2 c5d4 c3d4 a5c6 d2b3 a6a5 c1e3 a5a4 b3d2 c8d7"
).split()
# White to move takes the queen on h4 for nothing: 1. Nxh4; anything else gives up that much.
FREE_QUEEN = "rnb1kbnr/pppp1ppp/8/4p3/4P2q/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1"


def limited(elo, seed):
    e = EngineSession(VESK, ("-nolog",))
    e.send("uci")
    e.expect_line("uciok")
    for command in ("setoption name UCI_LimitStrength value true",
                    "setoption name UCI_Elo value %d" % elo, "setoption name Seed value %d" % seed):
        e.send(command)
        e.read_line()
    return e


def best_move(e, position, go="go depth 30"):
    e.send("position " + position)
    e.send(go)
    return e.read_until(lambda l: l.startswith("bestmove"))[-1].split()[1]


def game_choices(e, go="go depth 30"):
    """The move chosen after every second ply of the game (white and black alike)."""
    return [best_move(e, "startpos moves " + " ".join(GAME[:n]), go) for n in range(6, len(GAME), 2)]


def test_same_seed_same_moves_other_seed_other_moves():
    runs = []
    for seed in (11, 11, 12):
        e = limited(1000, seed)
        runs.append(game_choices(e))
        e.send("quit")
        assert e.close() == 0
    assert runs[0] == runs[1], runs
    assert runs[0] != runs[2], runs


def test_weak_but_not_random():
    # The weakest setting often prefers another move than the full strength...
    full = EngineSession(VESK, ("-nolog",))
    full.send("uci")
    full.expect_line("uciok")
    strong = game_choices(full, "go depth 7")
    weak = game_choices(limited(1000, 5))
    differ = sum(a != b for a, b in zip(strong, weak))
    assert 3 <= differ < len(strong), (strong, weak)
    # ...but never leaves a queen hanging that it could take.
    for seed in range(1, 6):
        e = limited(1000, seed)
        assert best_move(e, "fen " + FREE_QUEEN) == "f3h4", seed
        e.send("quit")
        e.close()
    full.send("quit")
    full.close()


def test_infinite_search_and_multipv_are_kept():
    e = limited(1000, 3)
    e.send("setoption name MultiPV value 1")
    e.read_line()
    e.send("position startpos")
    e.send("go infinite")
    # Far beyond the node budget of the weakest setting, the search still runs.
    e.read_until(lambda l: l.startswith("info") and " nodes " in l and int(l.split(" nodes ")[1].split()[0]) > 200000, 60)
    e.send("stop")
    e.read_until(lambda l: l.startswith("bestmove"))
    # Without the limit, a search reports one line again.
    e.send("setoption name UCI_LimitStrength value false")
    e.read_line()
    e.send("go depth 6")
    lines = e.read_until(lambda l: l.startswith("bestmove"))
    assert not any(" multipv " in l for l in lines), lines
    e.send("quit")
    assert e.close() == 0


if __name__ == "__main__":
    run_tests([(name, fn) for name, fn in sorted(globals().items()) if name.startswith("test_")])
