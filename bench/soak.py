#!/usr/bin/env python3
"""Soak test for development: many games with long-lived engine processes.

Vesk plays a rotation of opponents (itself, and Debian's toga2, stockfish at a
limited strength and glaurung where installed) through the referee of
bench/match.py, which keeps the clocks and the rules. As a GUI would, the
referee keeps every process running from game to game ("ucinewgame") and
between games changes Vesk's settings - pondering, MultiPV, Hash, Threads,
Clear Hash - on a schedule drawn from --seed, so a failing run can be repeated.
After every game it samples the resident memory of each Vesk process.

Faults of Vesk (illegal move, time forfeit, crash, protocol error, hang) make
the exit code 1; faults of an opponent are only reported.

Examples:
  bench/soak.py --engine build/vesk --games 400 --tc 1+0.05 --pgn soak.pgn
  bench/soak.py --engine build/vesk --games 40 --seed 7 --schedule

Standard library only.
"""

import argparse
import collections
import dataclasses
import math
import os
import random
import shutil
import subprocess
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import match  # noqa: E402

# Opponents other than Vesk itself: key, program, UCI options. They never ponder
# and use one thread, so that Vesk's own settings decide how busy the cores are.
DEBIAN_OPPONENTS = [
    ("toga2", "/usr/games/toga2", [("Hash", "16")]),
    ("stockfish", "/usr/games/stockfish", [("Threads", "1"), ("Hash", "16"), ("UCI_LimitStrength", "true")]),
    ("glaurung", "/usr/games/glaurung", [("Hash", "16")]),
]
SELF = "vesk"  # the key of the self-play pairing

# The engine answers a Clear Hash with this line of its own; it is expected there.
CLEAR_HASH_REPLY = "Hash table cleared"


@dataclasses.dataclass
class Settings:
    ponder: bool = False
    threads: int = 1
    hash_mb: int = 64
    multipv: int = 1
    clear: bool = False  # press Clear Hash before the game

    def brief(self):
        return "%s T%d H%d M%d%s" % (
            "ponder" if self.ponder else "noponder",
            self.threads,
            self.hash_mb,
            self.multipv,
            " clear" if self.clear else "",
        )

    def uci_options(self):
        return [("Hash", str(self.hash_mb)), ("Threads", str(self.threads)), ("MultiPV", str(self.multipv))]


@dataclasses.dataclass
class Slot:
    """One Vesk process kept for the whole run, with its memory samples."""

    key: str
    engine: object = None
    settings: Settings = None  # settings the process runs with now
    samples: list = dataclasses.field(default_factory=list)  # (game index, VmRSS kB, VmHWM kB, Hash MB)


@dataclasses.dataclass
class Pairing:
    key: str
    command: str
    options: list
    faults_vesk: object = dataclasses.field(default_factory=match.Faults)
    faults_other: object = dataclasses.field(default_factory=match.Faults)
    engine: object = None  # the opponent's process, kept for all its games
    games: int = 0
    wins: int = 0  # for Vesk (in self-play: for the first Vesk process)
    losses: int = 0
    draws: int = 0


class CountingEngine(match.Engine):
    """A referee engine that also counts its process starts and the commands it is sent (to show pondering happened)."""

    def __init__(self, setup, tag, log):
        super().__init__(setup, tag, log)
        self.sent = collections.Counter()
        self.starts = 0

    def start(self, timeout):
        self.starts += 1
        super().start(timeout)

    def send(self, line):
        words = line.split()
        self.sent[" ".join(words[:2]) if words[:2] == ["go", "ponder"] else words[0] if words else ""] += 1
        super().send(line)


# ---------------------------------------------------------------------------
# Schedule: which pairing each game is, and Vesk's settings for it.


def pairing_of(game, pairings):
    """Each pairing plays an opening with both colours before the next pairing's turn."""
    return pairings[(game // 2) % len(pairings)]


def opening_of(game, pairings, openings):
    return (game // (2 * len(pairings))) % len(openings)


def fit_threads(plan, any_ponder, budget):
    """While any engine ponders, two searches run at once: keep their threads within budget (an opponent counts 1)."""
    if not any_ponder:
        return
    others = 1 if len(plan) == 1 else 0
    while sum(s.threads for s in plan) + others > budget and max(s.threads for s in plan) > 1:
        biggest = max(plan, key=lambda s: s.threads)
        biggest.threads -= 1


def make_schedule(args, pairings):
    """Per game: {slot key: Settings} for the Vesk processes that play it, drawn from --seed only."""
    rng = random.Random(args.seed)
    current = {"A": Settings(), "B": Settings()}
    plan = []
    for game in range(args.games):
        keys = ["A", "B"] if pairing_of(game, pairings).key == SELF else ["A"]
        chosen = []
        for key in keys:
            s = dataclasses.replace(current[key], clear=False)
            # Every draw is made whether it is used or not, so one game's draws never shift another's.
            draws = [rng.random() for _ in range(5)]
            ponder, multipv = rng.random() < args.ponder_rate, rng.randint(1, args.max_multipv)
            hash_mb, threads = rng.choice(args.hash_sizes), rng.choice(args.threads)
            if game == 0 or draws[0] < args.change_rate:
                s.ponder = ponder
            if game == 0 or draws[1] < args.change_rate:
                s.multipv = multipv
            if game == 0 or draws[2] < args.change_rate:
                s.hash_mb = hash_mb
            if game == 0 or draws[3] < args.change_rate:
                s.threads = threads
            s.clear = game > 0 and draws[4] < args.clear_rate
            chosen.append(s)
        fit_threads(chosen, any(s.ponder for s in chosen), args.ponder_thread_budget)
        for key, s in zip(keys, chosen):
            current[key] = s
        plan.append(dict(zip(keys, chosen)))
    return plan


# ---------------------------------------------------------------------------
# Between games.


def memory_kb(pid):
    """(VmRSS, VmHWM) in kB of a running process, or None."""
    try:
        with open("/proc/%d/status" % pid) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])
    except (OSError, KeyError, ValueError, IndexError):
        return None


def add_fault(faults, rec, n, kind, text):
    setattr(faults, kind, getattr(faults, kind) + 1)
    rec.faults.append((n, kind, text))


def change_settings(slot, want, faults, rec, n, args):
    """Moves a running Vesk process to the game's settings as a GUI does between games.

    Only changed options are sent, then isready; a process that is not running
    gets the settings when the referee starts it for the game.
    """
    eng, old = slot.engine, slot.settings
    changes = []
    if eng.proc is not None and eng.handshake_done and old is not None:
        if want.ponder != old.ponder:
            changes.append("setoption name Ponder value %s" % ("true" if want.ponder else "false"))
        for (name, value), (_, before) in zip(want.uci_options(), old.uci_options()):
            if value != before:
                changes.append("setoption name %s value %s" % (name, value))
        if want.clear:
            changes.append("setoption name Clear Hash")
    slot.settings = want
    eng.setup.ponder = want.ponder
    eng.setup.options = want.uci_options()  # a restarted process gets them at its handshake
    if eng.proc is None:
        return changes
    if not eng.alive():
        add_fault(faults, rec, n, "crash", "exited between games (code %s)" % eng.proc.poll())
        eng.quit()
        return changes
    try:
        for line in changes:
            eng.send(line)
        eng.send("isready")
        deadline = time.monotonic() + args.start_timeout
        while True:
            got = eng.next_line(deadline)
            if got is None:
                add_fault(faults, rec, n, "hang", "no readyok after %s" % ("; ".join(changes) or "isready"))
                eng.quit()
                break
            line = got[1].strip()
            if line == "readyok":
                break
            if not (want.clear and line == CLEAR_HASH_REPLY):
                eng.check_line(line)
    except match.EngineDead as error:
        add_fault(faults, rec, n, "crash", "while changing settings: %s" % error)
        eng.quit()
    for note in eng.protocol_notes:
        add_fault(faults, rec, n, "protocol", note)
    eng.protocol_notes = []
    return changes


def sample_memory(slot, game):
    """Samples a running process after a game; one that died is sampled again once restarted."""
    eng = slot.engine
    if eng.proc is None or not eng.alive():
        return None
    mem = memory_kb(eng.proc.pid)
    if mem:
        slot.samples.append((game, mem[0], mem[1], slot.settings.hash_mb))
    return mem


def quit_vesk(slot, args):
    """A GUI closing down: quit must end the process promptly with exit code 0."""
    eng = slot.engine
    if eng.proc is None:
        return None
    problem = None
    try:
        if eng.alive():
            eng.send("quit")
        code = eng.proc.wait(args.hang_timeout)
        if code != 0:
            problem = ("crash", "exit code %s after quit" % code)
    except match.EngineDead:
        problem = ("crash", "exited before quit (code %s)" % eng.proc.poll())
    except subprocess.TimeoutExpired:
        problem = ("hang", "still running %g s after quit" % args.hang_timeout)
    eng.quit()
    return problem


# ---------------------------------------------------------------------------
# Report.


def mib(kb):
    return "%.1f" % (kb / 1024.0)


def memory_table(slots, games):
    w = max(1, math.ceil(games / 10.0))
    first, last = range(0, w), range(games - w, games)
    print("")
    print("Memory of the Vesk processes in MiB, sampled after every game. RSS-Hash is VmRSS less the Hash setting")
    print("(its largest value in the window), which stays flat when nothing leaks; more than one start means restarts.")
    print(
        "%-8s %6s %7s %8s %8s | %-22s %8s %9s | %-22s %8s %9s"
        % ("process", "starts", "samples", "peakRSS", "peakHWM", "first 10%: games", "RSS end", "RSS-Hash", "last 10%: games", "RSS end", "RSS-Hash")
    )
    for slot in slots:
        if not slot.engine.starts:
            continue  # B plays only in self-play
        if not slot.samples:
            print("%-8s %6d %7d   (no samples)" % (slot.key, slot.engine.starts, 0))
            continue
        cells = []
        for window in (first, last):
            inside = [s for s in slot.samples if s[0] in window]
            label = "%d-%d" % (window.start + 1, window.stop)
            if not inside:
                cells.append((label, "-", "-"))
                continue
            end = inside[-1]
            extra = max(s[1] - s[3] * 1024 for s in inside)
            cells.append(("%s (H%d)" % (label, end[3]), mib(end[1]), mib(extra)))
        print(
            "%-8s %6d %7d %8s %8s | %-22s %8s %9s | %-22s %8s %9s"
            % (
                slot.key,
                slot.engine.starts,
                len(slot.samples),
                mib(max(s[1] for s in slot.samples)),
                mib(max(s[2] for s in slot.samples)),
                *cells[0],
                *cells[1],
            )
        )


FAULT_HEADER = " ill for cra pro hng"  # illegal moves, time forfeits, crashes, protocol errors, hangs


def fault_cells(f):
    return "%4d%4d%4d%4d%4d" % (f.illegal, f.forfeit, f.crash, f.protocol, f.hang)


def summary(pairings, slots, counts, args, elapsed, referee_errors, quit_problems):
    print("")
    print("Soak: %d games in %.0f s, seed %d, tc %g+%g, grace %g s" % (sum(p.games for p in pairings), elapsed, args.seed, args.base, args.inc, args.grace))
    print("%-14s %5s %4s %4s %4s | %-20s | %-20s" % ("", "", "", "", "", "Vesk faults", "opponent faults"))
    print("%-14s %5s %4s %4s %4s | %s | %s" % ("opponent", "games", "W", "L", "D", FAULT_HEADER, FAULT_HEADER))
    total_vesk = match.Faults()
    for p in pairings:
        for kind in match.Faults.KINDS:
            setattr(total_vesk, kind, getattr(total_vesk, kind) + getattr(p.faults_vesk, kind))
        other = "(counted as Vesk)" if p.key == SELF else fault_cells(p.faults_other)
        print("%-14s %5d %4d %4d %4d | %s | %s" % (p.key, p.games, p.wins, p.losses, p.draws, fault_cells(p.faults_vesk), other))
    for kind, text in quit_problems:
        setattr(total_vesk, kind, getattr(total_vesk, kind) + 1)
        print("  at quit: Vesk %s: %s" % (kind, text))
    others = [p for p in pairings if p.key != SELF]
    w, l, d = (sum(getattr(p, a) for p in others) for a in ("wins", "losses", "draws"))
    print("W/L/D for Vesk against other engines: %d/%d/%d (self-play: W/L/D of the first process)" % (w, l, d))
    print(
        "Vesk faults: illegal moves %d, time forfeits %d, crashes %d, protocol errors %d, hangs %d"
        % (total_vesk.illegal, total_vesk.forfeit, total_vesk.crash, total_vesk.protocol, total_vesk.hang)
    )
    opp = match.Faults()
    for p in others:
        for kind in match.Faults.KINDS:
            setattr(opp, kind, getattr(opp, kind) + getattr(p.faults_other, kind))
    print(
        "Opponent faults: illegal moves %d, time forfeits %d, crashes %d, protocol errors %d, hangs %d"
        % (opp.illegal, opp.forfeit, opp.crash, opp.protocol, opp.hang)
    )
    print(
        "Settings changes: %s"
        % ", ".join("%s %d" % (k, counts[k]) for k in ("Ponder", "MultiPV", "Hash", "Threads", "Clear Hash"))
    )
    sent = collections.Counter()
    for slot in slots:
        sent.update(slot.engine.sent)
    print("Ponder searches %d, ponderhits %d; ucinewgame %d" % (sent["go ponder"], sent["ponderhit"], sent["ucinewgame"]))
    memory_table(slots, args.games)
    if referee_errors:
        print("Referee errors: %d (see the tracebacks above)" % referee_errors)
    return total_vesk.total()


# ---------------------------------------------------------------------------


def parse_list(text):
    try:
        values = [int(v) for v in text.split(",") if v.strip()]
    except ValueError:
        raise argparse.ArgumentTypeError("a list of whole numbers like 1,16,64")
    if not values or min(values) < 1:
        raise argparse.ArgumentTypeError("a list of positive whole numbers like 1,16,64")
    return values


def main(argv=None):
    ap = argparse.ArgumentParser(description="Soak test: Vesk plays many games with long-lived processes and changing settings.")
    ap.add_argument("--engine", default=None, metavar="CMD", help="Vesk command line (default: build/vesk of the repository)")
    ap.add_argument("--games", type=int, default=40, help="number of games (default 40)")
    ap.add_argument("--tc", type=match.parse_tc, default=(1.0, 0.05), help="base+increment in seconds (default 1+0.05)")
    ap.add_argument("--seed", type=int, default=1, help="seed of the settings schedule (default 1)")
    ap.add_argument("--opponents", default="vesk,toga2,stockfish,glaurung", help="rotation of opponents, 'vesk' being self-play (default: all four)")
    ap.add_argument("--stockfish-elo", type=int, default=1800, help="UCI_Elo of stockfish (default 1800)")
    ap.add_argument("--openings", help="file with one opening a line, as for match.py (default: its built-in list)")
    ap.add_argument("--hash-sizes", type=parse_list, default=[1, 16, 64, 256], help="Hash values in MB to draw from (default 1,16,64,256)")
    ap.add_argument("--threads", type=parse_list, default=[1, 2, 3], help="Threads values to draw from (default 1,2,3)")
    ap.add_argument("--max-multipv", type=int, default=4, help="MultiPV is drawn from 1..this (default 4)")
    ap.add_argument("--ponder-rate", type=float, default=0.5, help="chance that a drawn Ponder setting is on (default 0.5)")
    ap.add_argument("--change-rate", type=float, default=0.5, help="chance that a setting is drawn anew before a game (default 0.5)")
    ap.add_argument("--clear-rate", type=float, default=0.25, help="chance of Clear Hash before a game (default 0.25)")
    ap.add_argument(
        "--ponder-thread-budget",
        type=int,
        default=3,
        help="while an engine ponders, the threads of both engines together, an opponent counting 1 (default 3: "
        "on two cores Vesk uses at most 2 threads when pondering, 3 only without)",
    )
    ap.add_argument("--grace", type=float, default=match.GRACE, help="seconds an engine may overrun its clock (default %g)" % match.GRACE)
    ap.add_argument("--hang-timeout", type=float, default=match.HANG_TIMEOUT, help="seconds to wait for bestmove after stop (default %g)" % match.HANG_TIMEOUT)
    ap.add_argument("--start-timeout", type=float, default=match.START_TIMEOUT, help="seconds to wait for uciok/readyok (default %g)" % match.START_TIMEOUT)
    ap.add_argument("--pgn", help="write the games to this PGN file")
    ap.add_argument("--log", help="write the whole UCI traffic to this file")
    ap.add_argument("--schedule", action="store_true", help="print the pairings and settings of every game, then exit")
    args = ap.parse_args(argv)

    if args.games < 1 or args.max_multipv < 1:
        ap.error("--games and --max-multipv must be positive")
    args.base, args.inc = args.tc
    command = args.engine
    if command is None:
        command = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build", "vesk")
    if not os.path.isfile(command.split()[0]) and not shutil.which(command.split()[0]):
        raise SystemExit("no engine at %s (give --engine)" % command)
    openings = match.load_openings(args.openings)
    for line in openings:
        try:
            match.position_from_opening(line)
        except ValueError as error:
            raise SystemExit("bad opening: %s" % error)

    pairings = []
    known = {key: (path, options) for key, path, options in DEBIAN_OPPONENTS}
    for key in [k.strip() for k in args.opponents.split(",") if k.strip()]:
        if key == SELF:
            pairings.append(Pairing(SELF, command, []))
        elif key not in known:
            raise SystemExit("unknown opponent %s (known: vesk, %s)" % (key, ", ".join(known)))
        elif not os.access(known[key][0], os.X_OK):
            print("skipping %s: %s is not installed" % (key, known[key][0]), flush=True)
        else:
            path, options = known[key][0], list(known[key][1])
            if key == "stockfish":
                options.append(("UCI_Elo", str(args.stockfish_elo)))
                key = "stockfish%d" % args.stockfish_elo
            pairings.append(Pairing(key, path, options))
    if not pairings:
        raise SystemExit("no opponent to play")
    plan = make_schedule(args, pairings)

    if args.schedule:
        for game, settings in enumerate(plan):
            p = pairing_of(game, pairings)
            print(
                "Game %d: %s, opening %d, %s"
                % (game + 1, p.key, opening_of(game, pairings, openings) + 1, "; ".join("%s %s" % (k, s.brief()) for k, s in settings.items()))
            )
        return 0

    log = open(args.log, "w", buffering=1) if args.log else None
    pgn_file = open(args.pgn, "w") if args.pgn else None
    slots = {
        key: Slot(key, CountingEngine(match.EngineSetup(command, [], None, None, False), tag, log))
        for key, tag in (("A", "vesk-A"), ("B", "vesk-B"))
    }
    for p in pairings:
        if p.key != SELF:
            p.engine = CountingEngine(match.EngineSetup(p.command, p.options, None, None, False), p.key, log)
    counts = collections.Counter()
    referee_errors = 0
    quit_problems = []
    started = time.monotonic()
    print(
        "Soak: Vesk %s, %d games at %g+%g, seed %d, opponents %s"
        % (command, args.games, args.base, args.inc, args.seed, ", ".join(p.key for p in pairings)),
        flush=True,
    )
    status = 0
    try:
        for game, settings in enumerate(plan):
            p = pairing_of(game, pairings)
            k = opening_of(game, pairings, openings)
            first = slots["A"].engine
            second = slots["B"].engine if p.key == SELF else p.engine
            white, black = (0, 1) if game % 2 == 0 else (1, 0)
            rec = match.GameRecord(game, k, openings[k], white, black)
            if log:
                log.write("# game %d: %s, %s\n" % (game + 1, p.key, "; ".join("%s %s" % (s, v.brief()) for s, v in settings.items())))
            for n, key in enumerate(settings):
                sent = change_settings(slots[key], settings[key], p.faults_vesk, rec, n, args)
                for line in sent:
                    name = line.split(" value ")[0].replace("setoption name ", "")
                    counts[name] += 1
            # In self-play both processes are Vesk; a process that failed between games starts afresh in play_game.
            faults = [p.faults_vesk, p.faults_vesk if p.key == SELF else p.faults_other]
            try:
                match.play_game(rec, [first, second], faults, args)
            except Exception as error:  # a referee bug must not hide the rest of the run
                traceback.print_exc()
                referee_errors += 1
                rec.result, rec.reason = "*", "referee error: %s" % error
                first.quit()
                second.quit()
            p.games += 1
            if rec.result == "1/2-1/2" or rec.result == "*":
                p.draws += rec.result == "1/2-1/2"
            elif (rec.result == "1-0") == (rec.white == 0):
                p.wins += 1
            else:
                p.losses += 1
            mem = []
            for key in ("A", "B"):
                got = sample_memory(slots[key], game)
                if got:
                    mem.append("%s %sM" % (key, mib(got[0])))
            names = ["vesk" if p.key != SELF else "vesk-A", p.key if p.key != SELF else "vesk-B"]
            print(
                "Game %d/%d %s - %s %s {%s} %d moves, opening %d | %s | rss %s | %s W/L/D %d/%d/%d"
                % (
                    game + 1,
                    args.games,
                    names[white],
                    names[black],
                    rec.result,
                    rec.reason,
                    (len(rec.uci) + 1) // 2,
                    k + 1,
                    "; ".join("%s %s" % (key, s.brief()) for key, s in settings.items()),
                    ", ".join(mem) or "-",
                    p.key,
                    p.wins,
                    p.losses,
                    p.draws,
                ),
                flush=True,
            )
            for n, kind, text in rec.faults:
                whose = "Vesk" if n == 0 or p.key == SELF else "opponent %s" % p.key
                print("  fault: %s %s: %s" % (whose, kind, text), flush=True)
            if pgn_file:
                pgn_file.write(match.pgn_text(rec, game + 1, "soak"))
                pgn_file.flush()
    except KeyboardInterrupt:
        status = 130
        print("interrupted; summary of the finished games", flush=True)
    finally:
        for slot in slots.values():
            if status == 130:
                slot.engine.quit()
                continue
            problem = quit_vesk(slot, args)
            if problem:
                quit_problems.append(problem)
        for p in pairings:
            if p.key != SELF:
                p.engine.quit()
        if pgn_file:
            pgn_file.close()
    vesk_faults = summary(pairings, list(slots.values()), counts, args, time.monotonic() - started, referee_errors, quit_problems)
    if log:
        log.close()
    if status:
        return status
    if vesk_faults:
        print("soak FAILED: %d Vesk faults" % vesk_faults)
        return 1
    if referee_errors:
        print("soak inconclusive: referee errors")
        return 2
    print("soak passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
