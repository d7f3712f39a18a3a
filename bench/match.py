#!/usr/bin/env python3
"""Game referee for development: plays two UCI engines against each other.

The referee owns the clocks and the rules. It sends wtime/btime/winc/binc,
measures every move on its own clock, keeps its own legal-move generator to
catch illegal moves and to adjudicate mate, stalemate, threefold repetition,
the fifty-move rule and insufficient material, and counts every fault of an
engine: illegal move, time forfeit, crash and protocol error. The exit code is
non-zero when any fault was seen.

Examples:
  bench/match.py --engine build/vesk --engine toga2 --games 100 --tc 10+0.1
  bench/match.py --engine build/vesk --engine stockfish \\
      --opt2 UCI_LimitStrength=true --opt2 UCI_Elo=1500 --games 20 --tc 5+0.05
  bench/match.py --engine build/vesk --engine glaurung --chess960 --seed 1 --games 40
  bench/match.py --selftest

Standard library only.
"""

import argparse
import collections
import math
import os
import queue
import random
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"

# Defaults shared with bench/soak.py, which plays its games through play_game().
GRACE = 0.1  # seconds an engine may overrun its clock
HANG_TIMEOUT = 3.0  # seconds to wait for bestmove after stop
START_TIMEOUT = 10.0  # seconds to wait for uciok/readyok

# Openings as move lists from the start position: short, varied, roughly balanced.
BUILTIN_OPENINGS = [
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",  # Spanish
    "e2e4 e7e5 g1f3 b8c6 f1c4 f8c5",  # Italian
    "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6",  # Sicilian open
    "e2e4 c7c5 b1c3 b8c6 g2g3",  # Sicilian closed
    "e2e4 e7e6 d2d4 d7d5 b1c3 g8f6",  # French
    "e2e4 c7c6 d2d4 d7d5 e4e5 c8f5",  # Caro-Kann advance
    "e2e4 d7d6 d2d4 g8f6 b1c3 g7g6",  # Pirc
    "e2e4 d7d5 e4d5 d8d5 b1c3 d5a5",  # Scandinavian
    "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",  # Queen's gambit declined
    "d2d4 d7d5 c2c4 c7c6 g1f3 g8f6",  # Slav
    "d2d4 g8f6 c2c4 g7g6 b1c3 f8g7 e2e4 d7d6",  # King's Indian
    "d2d4 g8f6 c2c4 e7e6 b1c3 f8b4",  # Nimzo-Indian
    "d2d4 g8f6 c2c4 e7e6 g1f3 b7b6",  # Queen's Indian
    "d2d4 f7f5 g2g3 g8f6 f1g2 g7g6",  # Dutch
    "c2c4 e7e5 b1c3 g8f6 g2g3 d7d5",  # English
    "g1f3 d7d5 g2g3 g8f6 f1g2 c7c6",  # Reti
]

# ---------------------------------------------------------------------------
# Rules: board, move generation, make move, SAN, adjudication helpers.
# Squares 0..63 with a1 = 0; pieces are FEN letters, '.' for empty.

WHITE, BLACK = 0, 1
FILES = "abcdefgh"


def sq_name(sq):
    return FILES[sq & 7] + str((sq >> 3) + 1)


def parse_sq(text):
    f = FILES.find(text[0])
    r = ord(text[1]) - ord("1")
    if f < 0 or not 0 <= r < 8:
        raise ValueError(text)
    return r * 8 + f


def _steps(deltas):
    table = []
    for sq in range(64):
        f, r = sq & 7, sq >> 3
        table.append([(r + dr) * 8 + f + df for df, dr in deltas if 0 <= f + df < 8 and 0 <= r + dr < 8])
    return table


def _rays(dirs):
    table = []
    for sq in range(64):
        rays = []
        for df, dr in dirs:
            f, r, ray = (sq & 7) + df, (sq >> 3) + dr, []
            while 0 <= f < 8 and 0 <= r < 8:
                ray.append(r * 8 + f)
                f += df
                r += dr
            if ray:
                rays.append(ray)
        table.append(rays)
    return table


KNIGHT = _steps([(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)])
KING = _steps([(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)])
ROOK_RAYS = _rays([(1, 0), (-1, 0), (0, 1), (0, -1)])
BISHOP_RAYS = _rays([(1, 1), (1, -1), (-1, 1), (-1, -1)])
# Squares from which a pawn of the given colour attacks the square.
PAWN_ATTACKERS = [_steps([(-1, -1), (1, -1)]), _steps([(-1, 1), (1, 1)])]
PAWN_CAPTURES = [_steps([(-1, 1), (1, 1)]), _steps([(-1, -1), (1, -1)])]


def colour_of(piece):
    return WHITE if piece.isupper() else BLACK


def castling_rook(board, colour, letter):
    """The square of the rook a castling letter names, or None: K/Q the outermost rook on that
    side of the king (X-FEN), a file letter the rook on that file (Shredder-FEN)."""
    king, rook = ("K", "R") if colour == WHITE else ("k", "r")
    base = 0 if colour == WHITE else 56
    kings = [f for f in range(8) if board[base + f] == king]
    if not kings:
        return None
    k, up = kings[0], letter.upper()
    if up == "K":
        files = [f for f in range(7, k, -1) if board[base + f] == rook][:1]
    elif up == "Q":
        files = [f for f in range(0, k) if board[base + f] == rook][:1]
    else:
        f = FILES.find(letter.lower())
        files = [f] if f >= 0 and f != k and board[base + f] == rook else []
    return base + files[0] if files else None


class Position:
    """A position of standard chess or, with chess960 set, of Chess960.

    `castling` holds the squares of the rooks that may still castle, in ascending order. In
    Chess960 a castling move is written as the king taking its own rook (e1h1); in standard
    chess as the king's two-file step (e1g1), and only the corner rooks with the king on the
    e-file can castle.
    """

    __slots__ = ("board", "turn", "castling", "ep", "halfmove", "fullmove", "chess960")

    def __init__(self, fen=START_FEN, chess960=False):
        parts = fen.split()
        if len(parts) < 4:
            raise ValueError("FEN needs at least 4 fields: " + fen)
        rows = parts[0].split("/")
        if len(rows) != 8:
            raise ValueError("FEN board needs 8 ranks: " + fen)
        board = ["."] * 64
        for i, row in enumerate(rows):
            r, f = 7 - i, 0
            for ch in row:
                if ch.isdigit():
                    f += int(ch)
                elif ch in "PNBRQKpnbrqk":
                    if f > 7:
                        raise ValueError("FEN rank too long: " + fen)
                    board[r * 8 + f] = ch
                    f += 1
                else:
                    raise ValueError("bad FEN piece %r" % ch)
            if f != 8:
                raise ValueError("FEN rank length: " + fen)
        if board.count("K") != 1 or board.count("k") != 1:
            raise ValueError("FEN needs one king per side: " + fen)
        self.board = board
        self.chess960 = chess960
        self.turn = WHITE if parts[1] == "w" else BLACK
        self.ep = None if parts[3] == "-" else parse_sq(parts[3])
        if self.ep is not None:
            # Only a square just behind an enemy pawn that has double-stepped can be captured onto.
            behind, pawn = (self.ep - 8, "p") if self.turn == WHITE else (self.ep + 8, "P")
            if (self.ep >> 3) != (5 if self.turn == WHITE else 2) or board[behind] != pawn:
                self.ep = None
        self.halfmove = int(parts[4]) if len(parts) > 4 and parts[4].isdigit() else 0
        self.fullmove = int(parts[5]) if len(parts) > 5 and parts[5].isdigit() else 1
        # Rights whose king or rook is not on its square are void.
        rooks = set()
        for letter in parts[2]:
            if letter.upper() not in "KQABCDEFGH" or letter == "-":
                continue
            colour = WHITE if letter.isupper() else BLACK
            if chess960:
                sq = castling_rook(board, colour, letter)
            else:
                sq = {"K": 7, "Q": 0, "k": 63, "q": 56}.get(letter)
                king, rook = ("K", "R") if colour == WHITE else ("k", "r")
                if sq is None or board[4 if colour == WHITE else 60] != king or board[sq] != rook:
                    sq = None
            if sq is not None:
                rooks.add(sq)
        self.castling = tuple(sorted(rooks))

    def copy(self):
        p = Position.__new__(Position)
        p.board = self.board[:]
        p.turn, p.castling, p.ep, p.chess960 = self.turn, self.castling, self.ep, self.chess960
        p.halfmove, p.fullmove = self.halfmove, self.fullmove
        return p

    def fen(self):
        rows = []
        for r in range(7, -1, -1):
            row, empty = "", 0
            for f in range(8):
                ch = self.board[r * 8 + f]
                if ch == ".":
                    empty += 1
                else:
                    row += (str(empty) if empty else "") + ch
                    empty = 0
            rows.append(row + (str(empty) if empty else ""))
        return "%s %s %s %s %d %d" % (
            "/".join(rows),
            "wb"[self.turn],
            self.castling_field(),
            sq_name(self.ep) if self.ep is not None else "-",
            self.halfmove,
            self.fullmove,
        )

    def castling_field(self):
        """X-FEN: K/Q/k/q for the outermost rook of a side, its file letter for an inner one."""
        out = []
        for colour in (WHITE, BLACK):
            base, king = (0, "K") if colour == WHITE else (56, "k")
            rooks = [sq for sq in self.castling if sq >> 3 == base >> 3]
            k = self.board.index(king)
            for sq in sorted(rooks, key=lambda sq: -sq):
                side = "K" if sq > k else "Q"
                letter = side if castling_rook(self.board, colour, side) == sq else FILES[sq & 7].upper()
                out.append(letter if colour == WHITE else letter.lower())
        return "".join(out) or "-"

    def castling_targets(self, king, rook):
        """Squares of king and rook after castling: g- and f-file, or c- and d-file."""
        base = king & 56
        return (base + 6, base + 5) if rook > king else (base + 2, base + 3)

    def attacked(self, sq, by):
        b = self.board
        knight, king, pawn = ("N", "K", "P") if by == WHITE else ("n", "k", "p")
        rq, bq = ("R", "Q") if by == WHITE else ("r", "q"), ("B", "Q") if by == WHITE else ("b", "q")
        for s in KNIGHT[sq]:
            if b[s] == knight:
                return True
        for s in KING[sq]:
            if b[s] == king:
                return True
        for s in PAWN_ATTACKERS[by][sq]:
            if b[s] == pawn:
                return True
        for rays, movers in ((ROOK_RAYS[sq], rq), (BISHOP_RAYS[sq], bq)):
            for ray in rays:
                for s in ray:
                    if b[s] != ".":
                        if b[s] in movers:
                            return True
                        break
        return False

    def king_sq(self, colour):
        return self.board.index("K" if colour == WHITE else "k")

    def in_check(self):
        return self.attacked(self.king_sq(self.turn), 1 - self.turn)

    def pseudo_moves(self):
        b, us = self.board, self.turn
        moves = []
        for sq in range(64):
            p = b[sq]
            if p == "." or colour_of(p) != us:
                continue
            kind = p.upper()
            if kind == "P":
                step, start, last = (8, 1, 7) if us == WHITE else (-8, 6, 0)
                to = sq + step
                if 0 <= to < 64 and b[to] == ".":
                    if to >> 3 == last:
                        moves.extend((sq, to, pr) for pr in "qrbn")
                    else:
                        moves.append((sq, to, ""))
                        if sq >> 3 == start and b[to + step] == ".":
                            moves.append((sq, to + step, ""))
                for to in PAWN_CAPTURES[us][sq]:
                    t = b[to]
                    if (t != "." and colour_of(t) != us) or to == self.ep:
                        if to >> 3 == last:
                            moves.extend((sq, to, pr) for pr in "qrbn")
                        else:
                            moves.append((sq, to, ""))
            elif kind == "N" or kind == "K":
                for to in (KNIGHT if kind == "N" else KING)[sq]:
                    t = b[to]
                    if t == "." or colour_of(t) != us:
                        moves.append((sq, to, ""))
            else:
                rays = []
                if kind in "RQ":
                    rays += ROOK_RAYS[sq]
                if kind in "BQ":
                    rays += BISHOP_RAYS[sq]
                for ray in rays:
                    for to in ray:
                        t = b[to]
                        if t == ".":
                            moves.append((sq, to, ""))
                        else:
                            if colour_of(t) != us:
                                moves.append((sq, to, ""))
                            break
        # Castling: the squares both pass or reach are empty but for king and rook, and no
        # square of the king's way (start and target included) is attacked once both have left.
        them = 1 - us
        for rook in self.castling:
            if (rook >> 3) != (0 if us == WHITE else 7):
                continue
            king = self.board.index("K" if us == WHITE else "k")
            kt, rt = self.castling_targets(king, rook)
            span = set(range(min(king, kt), max(king, kt) + 1)) | set(range(min(rook, rt), max(rook, rt) + 1))
            if any(b[s] != "." for s in span - {king, rook}):
                continue
            lifted = self.copy()
            lifted.board[king] = lifted.board[rook] = "."
            if any(lifted.attacked(s, them) for s in range(min(king, kt), max(king, kt) + 1)):
                continue
            moves.append((king, rook if self.chess960 else kt, "castle"))
        return moves

    def make(self, move):
        """The position after a pseudo-legal move (a new object)."""
        frm, to, promo = move
        p = self.copy()
        b = p.board
        piece, captured = b[frm], b[to]
        if promo == "castle":
            rook = to if self.chess960 else (frm & 56) + (7 if to > frm else 0)
            kt, rt = self.castling_targets(frm, rook)
            rook_piece = b[rook]
            b[frm] = b[rook] = "."
            b[kt], b[rt] = piece, rook_piece
            p.castling = tuple(sq for sq in p.castling if sq >> 3 != frm >> 3)
            p.halfmove = self.halfmove + 1
            p.ep = None
            if self.turn == BLACK:
                p.fullmove += 1
            p.turn = 1 - self.turn
            return p
        kind = piece.upper()
        b[to], b[frm] = piece, "."
        p.halfmove = 0 if kind == "P" or captured != "." else self.halfmove + 1
        if kind == "P":
            if to == self.ep:
                b[to - 8 if self.turn == WHITE else to + 8] = "."
            if promo:
                b[to] = promo.upper() if self.turn == WHITE else promo
        p.ep = (frm + to) // 2 if kind == "P" and abs(to - frm) == 16 else None
        if p.castling:
            # A king that moves gives up both rights; a rook that moves or is taken, its own.
            home = 0 if self.turn == WHITE else 7
            p.castling = tuple(sq for sq in p.castling if sq not in (frm, to) and not (kind == "K" and sq >> 3 == home))
        if self.turn == BLACK:
            p.fullmove += 1
        p.turn = 1 - self.turn
        return p

    def legal_moves(self):
        """Legal moves as UCI strings mapped to (move tuple, position after)."""
        out = {}
        us = self.turn
        for m in self.pseudo_moves():
            after = self.make(m)
            if not after.attacked(after.king_sq(us), 1 - us):
                out[sq_name(m[0]) + sq_name(m[1]) + (m[2] if m[2] != "castle" else "")] = (m, after)
        return out

    def rep_key(self, legal):
        """Position identity for repetition: an en-passant square counts only when the capture is legal."""
        ep = "-"
        if self.ep is not None:
            for m, _ in legal.values():
                if m[1] == self.ep and self.board[m[0]].upper() == "P":
                    ep = str(self.ep)
                    break
        return "".join(self.board) + "wb"[self.turn] + str(self.castling) + ep

    def insufficient_material(self):
        """Neither side can ever mate: bare kings, a single minor, or bishops all on one square colour."""
        others = [(sq, p) for sq, p in enumerate(self.board) if p not in ".Kk"]
        if any(p.upper() in "PRQ" for _, p in others):
            return False
        if len(others) <= 1:
            return True
        if all(p.upper() == "B" for _, p in others):
            shades = {((sq & 7) + (sq >> 3)) & 1 for sq, _ in others}
            return len(shades) == 1
        return False

    def san(self, uci, legal):
        m, after = legal[uci]
        frm, to, promo = m
        piece = self.board[frm].upper()
        capture = self.board[to] != "." or (piece == "P" and to == self.ep)
        if promo == "castle":
            text = "O-O" if to > frm else "O-O-O"
        elif piece == "P":
            text = (FILES[frm & 7] + "x" if capture else "") + sq_name(to) + ("=" + promo.upper() if promo else "")
        else:
            rivals = [o[0] for o, _ in legal.values() if o[1] == to and o[0] != frm and self.board[o[0]].upper() == piece]
            dis = ""
            if rivals:
                if all((s & 7) != (frm & 7) for s in rivals):
                    dis = FILES[frm & 7]
                elif all((s >> 3) != (frm >> 3) for s in rivals):
                    dis = str((frm >> 3) + 1)
                else:
                    dis = sq_name(frm)
            text = piece + dis + ("x" if capture else "") + sq_name(to)
        if after.in_check():
            text += "#" if not after.legal_moves() else "+"
        return text


def perft(pos, depth):
    if depth == 0:
        return 1
    legal = pos.legal_moves()
    if depth == 1:
        return len(legal)
    return sum(perft(after, depth - 1) for _, after in legal.values())


def position_from_opening(text, chess960=False):
    """An opening line is a FEN/EPD (contains '/') or UCI moves from the start position."""
    text = text.strip()
    if "/" in text:
        fields = text.split()
        # EPD records carry operations after 4 fields; keep counters only when numeric.
        keep = fields[:4] + [f for f in fields[4:6] if f.isdigit()]
        return Position(" ".join(keep), chess960), []
    pos = Position(START_FEN, chess960)
    for mv in text.split():
        legal = pos.legal_moves()
        if mv not in legal:
            raise ValueError("illegal opening move %s in %r" % (mv, text))
        pos = legal[mv][1]
    return Position(pos.fen(), chess960), []


KNIGHT_PAIRS = [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 3), (1, 4), (2, 3), (2, 4), (3, 4)]


def chess960_start(n):
    """X-FEN of Chess960 start position n (0..959) in the usual numbering; 518 is the standard one."""
    files = [None] * 8
    n, light = divmod(n, 4)
    n, dark = divmod(n, 4)
    files[2 * light + 1] = files[2 * dark] = "B"
    n, queen = divmod(n, 6)
    free = [i for i in range(8) if files[i] is None]
    files[free[queen]] = "Q"
    free = [i for i in range(8) if files[i] is None]
    for k in KNIGHT_PAIRS[n]:
        files[free[k]] = "N"
    for i, piece in zip([i for i in range(8) if files[i] is None], "RKR"):
        files[i] = piece
    back = "".join(files)
    return "%s/pppppppp/8/8/8/8/PPPPPPPP/%s w KQkq - 0 1" % (back.lower(), back)


def selftest():
    cases = [
        (START_FEN, 3, 8902),
        ("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2, 2039),
        ("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4, 43238),
        ("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3, 9467),
        ("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 2, 1486),
        ("r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 2, 2079),
    ]
    ok = True
    for fen, depth, want in cases:
        t = time.monotonic()
        got = perft(Position(fen), depth)
        status = "ok " if got == want else "BAD"
        ok &= got == want
        print("%s perft %d = %d (want %d, %.2fs)  %s" % (status, depth, got, want, time.monotonic() - t, fen))
    # Adjudication rules.
    checks = []
    mate = Position("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3")
    checks.append(("fool's mate is mate", not mate.legal_moves() and mate.in_check()))
    stale = Position("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1")
    checks.append(("stalemate", not stale.legal_moves() and not stale.in_check()))
    checks.append(("KNK insufficient", Position("8/8/4k3/8/8/3NK3/8/8 w - - 0 1").insufficient_material()))
    checks.append(("KBKB same shade", Position("8/8/4k3/5b2/8/3BK3/8/8 w - - 0 1").insufficient_material()))
    checks.append(("KBKB opposite shades", not Position("8/8/4k3/4b3/8/3BK3/8/8 w - - 0 1").insufficient_material()))
    checks.append(("KNNK not insufficient", not Position("8/8/4k3/8/8/2NNK3/8/8 w - - 0 1").insufficient_material()))
    p = Position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1")
    checks.append(("SAN castling", p.san("e1g1", p.legal_moves()) == "O-O"))
    p = Position("1k6/8/8/8/8/8/4K3/R6R w - - 0 1")
    checks.append(("SAN file disambiguation", p.san("a1d1", p.legal_moves()) == "Rad1"))
    p = Position("1k6/8/8/8/R7/8/4K3/R7 w - - 0 1")
    checks.append(("SAN rank disambiguation", p.san("a1a2", p.legal_moves()) == "R1a2"))
    p = Position("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1")
    checks.append(("SAN mate", p.san("a1a8", p.legal_moves()) == "Ra8#"))
    p = Position("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3")
    lm = p.legal_moves()
    checks.append(("en passant SAN", p.san("e5f6", lm) == "exf6"))
    checks.append(("en passant counts for repetition", p.rep_key(lm).endswith(str(parse_sq("f6")))))
    q = Position("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")
    checks.append(("unusable en passant ignored", q.rep_key(q.legal_moves()).endswith("-")))
    # Chess960: published X-FEN counts, and castling written as the king taking its rook.
    for fen, depth, want in (
        ("r1k1r2q/p1ppp1pp/8/8/8/8/P1PPP1PP/R1K1R2Q w KQkq - 0 1", 2, 522),
        ("2r5/8/8/8/8/8/6PP/k2KR3 w K - 0 1", 3, 3931),
        ("4r3/3k4/8/8/8/8/6PP/qR1K1R2 w KQ - 0 1", 2, 628),
    ):
        checks.append(("Chess960 perft %d of %s" % (depth, fen), perft(Position(fen, True), depth) == want))
    p = Position("rk2r3/pppppppp/8/8/8/8/PPPPPPPP/RK2R3 w EAea - 0 1", True)
    lm = p.legal_moves()
    checks.append(("Chess960 castling moves", "b1a1" in lm and "b1e1" in lm and p.san("b1e1", lm) == "O-O"))
    after = lm["b1a1"][1]
    checks.append(("Chess960 castling result", after.fen().split()[:3] == ["rk2r3/pppppppp/8/8/8/8/PPPPPPPP/2KRR3", "b", "kq"]))
    checks.append(("Chess960 start 518 is the standard one", chess960_start(518) == START_FEN))
    for name, passed in checks:
        print("%s %s" % ("ok " if passed else "BAD", name))
        ok &= bool(passed)
    for line in BUILTIN_OPENINGS:
        position_from_opening(line)
    print("selftest %s" % ("passed" if ok else "FAILED"))
    return 0 if ok else 1


# ---------------------------------------------------------------------------
# Engines.

ENGINE_WORDS = {"id", "uciok", "readyok", "bestmove", "copyprotection", "registration", "info", "option"}


FAULT_LOCK = threading.Lock()


class EngineDead(Exception):
    pass


class Faults:
    """Fault counters of one engine; a hang is a search that did not end even after stop."""

    KINDS = ("illegal", "forfeit", "crash", "protocol", "hang")

    def __init__(self):
        self.illegal = self.forfeit = self.crash = self.protocol = self.hang = 0

    def total(self):
        return self.illegal + self.forfeit + self.crash + self.protocol + self.hang


class Engine:
    """One engine process with a reader thread that time-stamps every line."""

    def __init__(self, setup, tag, log):
        self.setup = setup
        self.tag = tag
        self.log = log
        self.proc = None
        self.lines = None
        self.name = setup.label
        self.options = {}  # lower-case name -> name as the engine spells it
        self.workdir = None
        self.handshake_done = False
        self.pondering = False
        self.ponder_move = None
        self.protocol_notes = []  # protocol errors met while the opponent moved

    def start(self, timeout):
        self.workdir = self.setup.cwd or tempfile.mkdtemp(prefix="referee-")
        self.lines = queue.Queue()
        self.handshake_done = False
        self.pondering = False
        try:
            self.proc = subprocess.Popen(
                self.setup.argv,
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL,
                cwd=self.workdir,
                bufsize=1,
                universal_newlines=True,
                errors="replace",
            )
        except OSError as error:
            raise EngineDead("cannot start %s: %s" % (" ".join(self.setup.argv), error))
        threading.Thread(target=self._reader, args=(self.proc, self.lines), daemon=True).start()
        self.send("uci")
        for _, line in self._until(lambda l: l == "uciok", time.monotonic() + timeout, check=False):
            words = line.split()
            if words[:2] == ["id", "name"]:
                self.name = self.setup.label or " ".join(words[2:])
            elif words[:2] == ["option", "name"]:
                name = line.split(" name ", 1)[1].split(" type ")[0].strip()
                self.options[name.lower()] = name
        self.handshake_done = True
        if "ponder" in self.options:
            self.send("setoption name %s value %s" % (self.options["ponder"], "true" if self.setup.ponder else "false"))
        if self.setup.chess960:
            if "uci_chess960" in self.options:
                self.send("setoption name %s value true" % self.options["uci_chess960"])
            else:
                self.protocol_notes.append("no UCI_Chess960 option for a Chess960 game")
        for name, value in self.setup.options:
            self.send("setoption name %s value %s" % (name, value))
        self.sync(timeout)

    def _reader(self, proc, lines):
        for line in proc.stdout:
            stamp = time.monotonic()
            line = line.rstrip("\r\n")
            if self.log:
                self.log.write("%.3f %s< %s\n" % (stamp, self.tag, line))
            lines.put((stamp, line))
        lines.put((time.monotonic(), None))

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def send(self, line):
        if self.log:
            self.log.write("%.3f %s> %s\n" % (time.monotonic(), self.tag, line))
        try:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
        except (OSError, ValueError):
            raise EngineDead("pipe closed")

    def next_line(self, deadline):
        """(stamp, line) or None on timeout; EngineDead at end of output."""
        try:
            stamp, line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            return None
        if line is None:
            self.lines.put((stamp, None))  # stays at end of output
            raise EngineDead("exited with code %s" % self._exit_code())
        return stamp, line

    def _exit_code(self):
        try:
            return self.proc.wait(1.0)
        except subprocess.TimeoutExpired:
            return "?"

    def _until(self, predicate, deadline, check=True):
        """Lines up to and including the first that satisfies predicate; TimeoutError if none arrives."""
        out = []
        while True:
            got = self.next_line(deadline)
            if got is None:
                raise TimeoutError
            out.append(got)
            line = got[1].strip()
            if check:
                self.check_line(line)
            if predicate(line):
                return [(s, l.strip()) for s, l in out]

    def check_line(self, line):
        if line and line.split()[0] not in ENGINE_WORDS:
            self.protocol_notes.append("garbage line %r" % line[:80])

    def sync(self, timeout):
        self.send("isready")
        self._until(lambda l: l == "readyok", time.monotonic() + timeout)

    def wait_bestmove(self, deadline):
        """(stamp, bestmove line, last score) or TimeoutError."""
        score = None
        for stamp, line in self._until(lambda l: l.split()[:1] == ["bestmove"], deadline):
            words = line.split()
            if words[:1] == ["info"] and "score" in words:
                i = words.index("score")
                if i + 2 < len(words) and words[i + 1] in ("cp", "mate"):
                    try:
                        score = (words[i + 1], int(words[i + 2]))
                    except ValueError:
                        pass
        return stamp, line, score

    def stop_pondering(self, timeout):
        """Ends a ponder search and discards its move; False when the engine does not answer."""
        if not self.pondering:
            return True
        self.pondering = False
        self.send("stop")
        try:
            self.wait_bestmove(time.monotonic() + timeout)
            return True
        except TimeoutError:
            return False

    def quit(self):
        if self.proc is not None:
            try:
                if self.alive():
                    self.send("quit")
                self.proc.wait(2.0)
            except (EngineDead, subprocess.TimeoutExpired, OSError):
                self.proc.kill()
                self.proc.wait()
            self.proc = None
        if self.workdir and not self.setup.cwd:
            shutil.rmtree(self.workdir, ignore_errors=True)
            self.workdir = None


class EngineSetup:
    def __init__(self, command, options, label, cwd, ponder, chess960=False):
        argv = shlex.split(command)
        if not argv:
            raise SystemExit("empty engine command")
        if "/" in argv[0]:
            argv[0] = os.path.abspath(argv[0])
        else:
            # Debian puts its chess engines in /usr/games, often missing from PATH.
            found = shutil.which(argv[0]) or shutil.which(argv[0], path="/usr/games:/usr/local/games")
            if found:
                argv[0] = found
        # Engines run in their own directory: file arguments must not depend on ours.
        argv[1:] = [os.path.abspath(a) if not a.startswith("-") and os.path.exists(a) else a for a in argv[1:]]
        self.argv = argv
        self.options = options
        self.label = label
        self.cwd = cwd
        self.ponder = ponder
        self.chess960 = chess960


# ---------------------------------------------------------------------------
# One game.


class GameRecord:
    def __init__(self, index, opening_index, fen, white, black, chess960=False):
        self.index = index
        self.chess960 = chess960
        self.opening_index = opening_index
        self.fen = fen
        self.white = white  # 0 = first engine, 1 = second engine
        self.black = black
        self.san = []
        self.uci = []
        self.result = "*"
        self.reason = ""
        self.faults = []  # (engine number, kind, text)
        self.white_name = self.black_name = ""


def play_game(rec, engines, faults, args):
    """Plays one game; engines[0] and engines[1] are the first and second engine in this slot.

    faults[n] counts the faults of engines[n] (both may be one object). Engines
    that are running are kept for the next game (ucinewgame); dead or hung ones
    are started afresh. Each engine ponders when its setup says so.
    """
    base, inc, grace = args.base, args.inc, args.grace
    side_engine = [engines[rec.white], engines[rec.black]]
    side_number = [rec.white, rec.black]  # engine numbers per colour
    hang = args.hang_timeout

    def fault(colour, kind, text):
        n = side_number[colour]
        with FAULT_LOCK:  # games in parallel share the counters
            setattr(faults[n], kind, getattr(faults[n], kind) + 1)
        rec.faults.append((n, kind, text))

    def lose(colour, reason):
        rec.result = "0-1" if colour == WHITE else "1-0"
        rec.reason = reason

    def flush_notes(colour):
        eng = side_engine[colour]
        for note in eng.protocol_notes:
            fault(colour, "protocol", note)
        eng.protocol_notes = []

    # Start or restart engines and prepare them for a new game.
    for colour in (WHITE, BLACK):
        eng = side_engine[colour]
        try:
            if not eng.alive() or not eng.handshake_done:
                eng.quit()
                eng.start(args.start_timeout)
            eng.send("ucinewgame")
            eng.sync(args.start_timeout)
        except EngineDead as error:
            fault(colour, "crash", "at game start: %s" % error)
            eng.quit()
            lose(colour, "%s crashed" % ("White", "Black")[colour])
        except TimeoutError:
            fault(colour, "protocol", "no uciok/readyok at game start")
            eng.quit()
            lose(colour, "%s did not get ready" % ("White", "Black")[colour])
        if rec.result != "*":
            return rec
        flush_notes(colour)
    rec.white_name, rec.black_name = side_engine[0].name, side_engine[1].name

    pos, _ = position_from_opening(rec.fen, rec.chess960)
    start_fen = pos.fen()
    rec.fen = start_fen
    clock = [base, base]
    seen = collections.Counter()
    names = ("White", "Black")

    while True:
        legal = pos.legal_moves()
        if not legal:
            if pos.in_check():
                lose(pos.turn, "%s mates" % names[1 - pos.turn])
            else:
                rec.result, rec.reason = "1/2-1/2", "stalemate"
            break
        key = pos.rep_key(legal)
        seen[key] += 1
        if seen[key] >= 3:
            rec.result, rec.reason = "1/2-1/2", "threefold repetition"
            break
        if pos.halfmove >= 100:
            rec.result, rec.reason = "1/2-1/2", "fifty moves"
            break
        if pos.insufficient_material():
            rec.result, rec.reason = "1/2-1/2", "insufficient material"
            break

        colour = pos.turn
        eng = side_engine[colour]
        ms = lambda s: max(0, int(s * 1000))
        go_args = "wtime %d btime %d winc %d binc %d" % (ms(clock[0]), ms(clock[1]), ms(inc), ms(inc))
        moves_text = ("position fen %s moves %s" % (start_fen, " ".join(rec.uci))).rstrip()
        if moves_text.endswith(" moves"):
            moves_text = moves_text[: -len(" moves")]
        try:
            if eng.pondering and rec.uci and rec.uci[-1] == eng.ponder_move:
                eng.pondering = False
                eng.send("ponderhit")
                t0 = time.monotonic()
            else:
                if eng.pondering and not eng.stop_pondering(hang):
                    fault(colour, "hang", "no bestmove after stop while pondering")
                    lose(colour, "%s hangs" % names[colour])
                    eng.quit()
                    break
                eng.send(moves_text)
                eng.send("go " + go_args)
                t0 = time.monotonic()
            deadline = t0 + clock[colour] + grace
            try:
                stamp, line, _score = eng.wait_bestmove(deadline)
            except TimeoutError:
                eng.send("stop")
                try:
                    stamp, line, _score = eng.wait_bestmove(time.monotonic() + hang)
                except TimeoutError:
                    flush_notes(colour)
                    fault(colour, "hang", "no bestmove within time + grace, nor after stop")
                    lose(colour, "%s hangs" % names[colour])
                    eng.quit()
                    break
        except EngineDead as error:
            flush_notes(colour)
            fault(colour, "crash", str(error))
            lose(colour, "%s crashed" % names[colour])
            eng.quit()
            break
        flush_notes(colour)
        elapsed = stamp - t0
        if elapsed > clock[colour] + grace:
            fault(colour, "forfeit", "used %.3fs with %.3fs left (move %d)" % (elapsed, clock[colour], pos.fullmove))
            other = 1 - colour
            bare = all(p in ".Kk" or colour_of(p) != other for p in pos.board)
            if bare:
                rec.result, rec.reason = "1/2-1/2", "%s forfeits on time, opponent cannot mate" % names[colour]
            else:
                lose(colour, "%s forfeits on time" % names[colour])
            break
        clock[colour] = max(0.0, clock[colour] - elapsed) + inc

        words = line.split()
        move = words[1] if len(words) > 1 else ""
        if move not in legal:
            fault(colour, "illegal", "%r in %s" % (line, pos.fen()))
            lose(colour, "%s plays an illegal move %s" % (names[colour], move or "(none)"))
            break
        rec.san.append(pos.san(move, legal))
        rec.uci.append(move)
        pos = legal[move][1]

        # Pondering: let the mover think on its expected reply during the opponent's turn.
        if eng.setup.ponder and len(words) >= 4 and words[2] == "ponder":
            guess = words[3]
            after = pos.legal_moves()
            if guess in after and after[guess][1].legal_moves():
                nxt = "wtime %d btime %d winc %d binc %d" % (ms(clock[0]), ms(clock[1]), ms(inc), ms(inc))
                try:
                    eng.send("position fen %s moves %s" % (start_fen, " ".join(rec.uci + [guess])))
                    eng.send("go ponder " + nxt)
                    eng.pondering, eng.ponder_move = True, guess
                except EngineDead:
                    pass  # seen as a crash on its next turn

    # Wind down: a pondering engine must answer stop; a dead process is a crash.
    for colour in (WHITE, BLACK):
        eng = side_engine[colour]
        if eng.proc is None:
            continue
        try:
            if eng.pondering and not eng.stop_pondering(hang):
                fault(colour, "hang", "no bestmove after stop at game end")
                eng.quit()
        except EngineDead as error:
            fault(colour, "crash", "after game: %s" % error)
            eng.quit()
            continue
        flush_notes(colour)
        if eng.proc is not None and not eng.alive():
            fault(colour, "crash", "exited during the game")
            eng.quit()
    return rec


def termination(reason):
    """The PGN Termination tag for a result reason (the reason itself goes into a comment)."""
    for words, tag in (
        ("forfeits on time", "time forfeit"),
        ("illegal", "rules infraction"),
        ("crashed", "abandoned"),
        ("hangs", "abandoned"),
        ("did not get ready", "abandoned"),
        ("referee error", "unterminated"),
    ):
        if words in reason:
            return tag
    return "normal"


def pgn_text(rec, round_no, event):
    tags = [
        ("Event", event),
        ("Site", "referee"),
        ("Date", time.strftime("%Y.%m.%d")),
        ("Round", str(round_no)),
        ("White", rec.white_name),
        ("Black", rec.black_name),
        ("Result", rec.result),
        ("FEN", rec.fen),
        ("SetUp", "1"),
    ] + ([("Variant", "Chess960")] if rec.chess960 else []) + [
        ("Termination", termination(rec.reason)),
    ]
    out = ['[%s "%s"]' % (k, v.replace("\\", "\\\\").replace('"', '\\"')) for k, v in tags]
    pos = Position(rec.fen, rec.chess960)
    words, number = [], pos.fullmove
    if pos.turn == BLACK and rec.san:
        words.append("%d..." % number)
    for i, san in enumerate(rec.san):
        white = (pos.turn == WHITE) == (i % 2 == 0)
        if white:
            words.append("%d." % number)
        words.append(san)
        if not white:
            number += 1
    words.append("{%s}" % rec.reason)
    words.append(rec.result)
    lines, cur = [], ""
    for w in words:
        if cur and len(cur) + 1 + len(w) > 79:
            lines.append(cur)
            cur = w
        else:
            cur = (cur + " " + w) if cur else w
    lines.append(cur)
    return "\n".join(out) + "\n\n" + "\n".join(lines) + "\n\n"


# ---------------------------------------------------------------------------
# Match.


def elo_summary(wins, losses, draws):
    n = wins + losses + draws
    if n == 0:
        return None, None, None
    score = (wins + 0.5 * draws) / n

    def elo(p):
        p = min(max(p, 1e-6), 1 - 1e-6)
        return -400.0 * math.log10(1.0 / p - 1.0)

    var = (wins * (1 - score) ** 2 + draws * (0.5 - score) ** 2 + losses * score**2) / n
    se = math.sqrt(var / n)
    lo, hi = score - 1.96 * se, score + 1.96 * se
    if score in (0.0, 1.0):
        return score, elo(score), float("inf")
    margin = (elo(min(hi, 1 - 1e-6)) - elo(max(lo, 1e-6))) / 2.0
    return score, elo(score), margin


def parse_tc(text):
    try:
        if "+" in text:
            a, b = text.split("+", 1)
            return float(a), float(b)
        return float(text), 0.0
    except ValueError:
        raise argparse.ArgumentTypeError("time control is base+increment in seconds, e.g. 10+0.1")


def parse_option(text):
    if "=" not in text:
        raise argparse.ArgumentTypeError("engine option is NAME=VALUE")
    name, value = text.split("=", 1)
    return name.strip(), value.strip()


def load_openings(path):
    if not path:
        return list(BUILTIN_OPENINGS)
    out = []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                out.append(line)
    if not out:
        raise SystemExit("no openings in %s" % path)
    return out


def main(argv=None):
    ap = argparse.ArgumentParser(description="Plays UCI engines against each other with a rule-keeping referee.")
    ap.add_argument("--engine", action="append", default=[], metavar="CMD", help="engine command line (give twice; once = self-play)")
    ap.add_argument("--name1", help="label of the first engine")
    ap.add_argument("--name2", help="label of the second engine")
    ap.add_argument("--opt1", action="append", default=[], type=parse_option, metavar="NAME=VALUE", help="UCI option of the first engine")
    ap.add_argument("--opt2", action="append", default=[], type=parse_option, metavar="NAME=VALUE", help="UCI option of the second engine")
    ap.add_argument("--games", type=int, default=2, help="number of games (default 2); each opening is played with both colours")
    ap.add_argument("--tc", type=parse_tc, default=(10.0, 0.1), help="base+increment in seconds (default 10+0.1)")
    ap.add_argument("--openings", help="file with one opening a line: FEN/EPD, or UCI moves from the start position")
    ap.add_argument("--chess960", action="store_true", help="play Chess960: both engines get UCI_Chess960; without --openings each game pair starts from a random start position")
    ap.add_argument("--seed", type=int, help="seed of the random Chess960 start positions (default: from the clock)")
    ap.add_argument("--concurrency", type=int, default=1, help="games played at the same time (default 1)")
    ap.add_argument("--pgn", help="write the games to this PGN file")
    ap.add_argument("--ponder", action="store_true", help="let engines ponder on the opponent's time")
    ap.add_argument("--grace", type=float, default=GRACE, help="seconds an engine may overrun its clock before it forfeits (default %g)" % GRACE)
    ap.add_argument("--hang-timeout", type=float, default=HANG_TIMEOUT, help="seconds to wait for bestmove after stop (default %g)" % HANG_TIMEOUT)
    ap.add_argument("--start-timeout", type=float, default=START_TIMEOUT, help="seconds to wait for uciok/readyok (default %g)" % START_TIMEOUT)
    ap.add_argument("--cwd", help="working directory for the engines (default: a fresh temporary directory per process)")
    ap.add_argument("--log", help="write the whole UCI traffic to this file")
    ap.add_argument("--max-time", type=float, default=0, help="start no new game after this many seconds (default: no limit)")
    ap.add_argument("--quiet", action="store_true", help="print only the summary")
    ap.add_argument("--selftest", action="store_true", help="check the move generator and the rules, then exit")
    args = ap.parse_args(argv)

    if args.selftest:
        return selftest()
    if not args.engine or len(args.engine) > 2:
        ap.error("give one or two --engine command lines")
    if args.games < 1 or args.concurrency < 1:
        ap.error("--games and --concurrency must be positive")
    commands = args.engine if len(args.engine) == 2 else args.engine * 2
    args.base, args.inc = args.tc
    if args.chess960 and not args.openings:
        rng = random.Random(args.seed)
        openings = [chess960_start(rng.randrange(960)) for _ in range((args.games + 1) // 2)]
    else:
        openings = load_openings(args.openings)
    for line in openings:
        try:
            position_from_opening(line, args.chess960)
        except ValueError as error:
            raise SystemExit("bad opening: %s" % error)

    log = None
    if args.log:
        log = open(args.log, "w", buffering=1)
    setups = [
        EngineSetup(commands[0], args.opt1, args.name1, args.cwd, args.ponder, args.chess960),
        EngineSetup(commands[1], args.opt2, args.name2, args.cwd, args.ponder, args.chess960),
    ]
    faults = [Faults(), Faults()]
    records = [None] * args.games
    jobs = queue.Queue()
    for i in range(args.games):
        jobs.put(i)
    print_lock = threading.Lock()
    pgn_file = open(args.pgn, "w") if args.pgn else None
    score = [0.0, 0.0]
    started = time.monotonic()
    all_engines = []

    def worker(slot):
        engines = [Engine(setups[0], "%d.1" % slot, log), Engine(setups[1], "%d.2" % slot, log)]
        all_engines.extend(engines)
        while True:
            try:
                i = jobs.get_nowait()
            except queue.Empty:
                break
            if args.max_time and time.monotonic() - started > args.max_time:
                break
            k = (i // 2) % len(openings)
            white, black = (0, 1) if i % 2 == 0 else (1, 0)
            rec = GameRecord(i, k, openings[k], white, black, args.chess960)
            try:
                play_game(rec, engines, faults, args)
            except Exception as error:  # a referee bug must not hide the rest of the match
                import traceback

                traceback.print_exc()
                rec.result, rec.reason = "*", "referee error: %s" % error
                for e in engines:
                    e.quit()
            records[i] = rec
            with print_lock:
                if rec.result == "1-0":
                    score[rec.white] += 1
                elif rec.result == "0-1":
                    score[rec.black] += 1
                else:
                    score[0] += 0.5
                    score[1] += 0.5
                if not args.quiet:
                    wn = rec.white_name or setups[rec.white].label or "engine%d" % (rec.white + 1)
                    bn = rec.black_name or setups[rec.black].label or "engine%d" % (rec.black + 1)
                    print(
                        "Game %d (opening %d): %s - %s %s {%s} %d moves  [%.1f-%.1f]"
                        % (i + 1, k + 1, wn, bn, rec.result, rec.reason, (len(rec.uci) + 1) // 2, score[0], score[1]),
                        flush=True,
                    )
                    for n, kind, text in rec.faults:
                        print("  fault: engine %d %s: %s" % (n + 1, kind, text), flush=True)
                if pgn_file:
                    pgn_file.write(pgn_text(rec, i + 1, "referee match"))
                    pgn_file.flush()
        for e in engines:
            e.quit()

    threads = [threading.Thread(target=worker, args=(s,), daemon=True) for s in range(min(args.concurrency, args.games))]
    interrupted = False
    try:
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(0.5)
    except KeyboardInterrupt:
        interrupted = True
        print("interrupted; summary of the finished games", flush=True)
        for e in list(all_engines):
            try:
                if e.proc is not None:
                    e.proc.kill()
            except OSError:
                pass
    if pgn_file:
        pgn_file.close()

    done = [r for r in records if r is not None]
    wins = sum(1 for r in done if (r.result == "1-0" and r.white == 0) or (r.result == "0-1" and r.black == 0))
    losses = sum(1 for r in done if (r.result == "1-0" and r.white == 1) or (r.result == "0-1" and r.black == 1))
    draws = len(done) - wins - losses
    first = next((r.white_name if r.white == 0 else r.black_name for r in done if r.white_name), setups[0].label or "engine1")
    second = next((r.black_name if r.white == 0 else r.white_name for r in done if r.white_name), setups[1].label or "engine2")
    print("")
    print("%s vs %s: %d games in %.0f s" % (first, second, len(done), time.monotonic() - started))
    print("W/L/D: %d/%d/%d (for %s)" % (wins, losses, draws, first))
    sc, elo, margin = elo_summary(wins, losses, draws)
    if sc is not None:
        print("Score: %.1f/%d = %.1f%%" % (wins + 0.5 * draws, len(done), 100.0 * sc))
        print("Elo difference: %+.0f +/- %s (95%%)" % (elo, "inf" if math.isinf(margin) else "%.0f" % margin))
    for n, name in ((0, first), (1, second)):
        f = faults[n]
        # A hang (no bestmove even after stop) is reported here as a protocol error.
        print(
            "Faults of %s: illegal moves %d, time forfeits %d, crashes %d, protocol errors %d"
            % (name, f.illegal, f.forfeit, f.crash, f.protocol + f.hang)
        )
    total = faults[0].total() + faults[1].total()
    print("Total faults: %d" % total)
    if log:
        log.close()
    if interrupted:
        return 130
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
