"""Drives the vesk binary through pipes: a conversation of lines with timeouts."""

import atexit
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

DEFAULT_TIMEOUT = 20.0


class SessionError(AssertionError):
    pass


class Skipped(Exception):
    """Raised by a test that cannot run here (missing data or oracle)."""


class EngineSession:
    """One running engine process. Lines are read with a timeout; nothing sleeps and hopes."""

    def __init__(self, binary, args=(), cwd=None, env=None, preexec_fn=None):
        # Each engine gets a directory of its own unless told: vesk.log, vesk.rc
        # and the files the commands write are per directory.
        self.cwd = cwd or scratch_dir()
        self.proc = subprocess.Popen(
            [binary, *args],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            cwd=self.cwd,
            env=env,
            preexec_fn=preexec_fn,
        )
        self._buffer = b""
        self.transcript = []

    def send(self, line):
        self.transcript.append("> " + line)
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def close_input(self):
        self.proc.stdin.close()

    def read_line(self, timeout=DEFAULT_TIMEOUT):
        """Next output line without its line break, or None at end of output or timeout."""
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                return None
            chunk = os.read(fd, 65536)
            if not chunk:
                if self._buffer:
                    line, self._buffer = self._buffer, b""
                    return self._record(line)
                return None
            self._buffer += chunk
        line, self._buffer = self._buffer.split(b"\n", 1)
        return self._record(line)

    def _record(self, raw):
        line = raw.decode(errors="replace")
        self.transcript.append("< " + line)
        return line

    def read_until(self, predicate, timeout=DEFAULT_TIMEOUT):
        """Lines up to and including the first one for which predicate holds."""
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            line = self.read_line(max(0.0, deadline - time.monotonic()))
            if line is None:
                raise SessionError("no matching line before timeout/eof; got:\n" + self.dump())
            lines.append(line)
            if predicate(line):
                return lines

    def expect_line(self, text, timeout=DEFAULT_TIMEOUT):
        """Reads lines until one equals text exactly; returns the lines read before it."""
        return self.read_until(lambda line: line == text, timeout)[:-1]

    def expect_next(self, text, timeout=DEFAULT_TIMEOUT):
        """The very next line must equal text."""
        line = self.read_line(timeout)
        if line != text:
            raise SessionError("expected %r, got %r\n%s" % (text, line, self.dump()))

    def lines_within(self, seconds):
        """Every line printed during the next seconds (to show that one does not come)."""
        deadline = time.monotonic() + seconds
        lines = []
        while (line := self.read_line(max(0.0, deadline - time.monotonic()))) is not None:
            lines.append(line)
        return lines

    def expect_silence(self, timeout=0.5):
        """No output arrives within timeout (used sparingly: proves absence, never presence)."""
        line = self.read_line(timeout)
        if line is not None:
            raise SessionError("unexpected output %r\n%s" % (line, self.dump()))

    def close(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the process to end; returns its exit code (kills it after timeout)."""
        try:
            if not self.proc.stdin.closed:
                self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise SessionError("engine did not exit\n" + self.dump())

    def dump(self):
        """The last lines of the conversation, and standard error once the process has ended."""
        text = "\n".join(self.transcript[-60:])
        if self.proc.poll() is not None and not self.proc.stderr.closed:
            errors = self.proc.stderr.read().decode(errors="replace")
            text += "\nexit code %d%s" % (self.proc.returncode, ", stderr:\n" + errors[-6000:] if errors else "")
        return text


_SCRATCH_ROOT = []


def scratch_dir():
    """A fresh directory, removed with everything in it when the script ends."""
    if not _SCRATCH_ROOT:
        _SCRATCH_ROOT.append(tempfile.mkdtemp(prefix="vesk-session-"))
        atexit.register(shutil.rmtree, _SCRATCH_ROOT[0], True)
    return tempfile.mkdtemp(dir=_SCRATCH_ROOT[0])


def run_tests(tests):
    """Runs (name, function) pairs, or those whose names contain a word given after
    the binary on the command line; prints a summary line; exits 1 when any failed,
    77 (skipped) when every one was skipped, else 0."""
    words = sys.argv[2:]
    chosen = [(n, f) for n, f in tests if not words or any(w in n for w in words)]
    failed = skipped = 0
    for name, fn in chosen:
        try:
            fn()
            print("ok   " + name)
        except Skipped as reason:
            skipped += 1
            print("SKIP " + name + ": " + str(reason))
        except Exception as error:  # report every failure, not just the first
            failed += 1
            print("FAIL " + name + ": " + str(error))
    print("%d passed, %d failed, %d skipped" % (len(chosen) - failed - skipped, failed, skipped))
    sys.exit(1 if failed or not chosen else 77 if skipped == len(chosen) else 0)


def data_dir():
    """The shared test material: VESK_DATA when set, else the default beside the repository."""
    d = os.environ.get("VESK_DATA") or os.environ.get("VESK_DATA_DEFAULT")
    return d if d and os.path.isdir(d) else None


def need_data(*parts):
    """Path inside the shared test material; skips the test when it is absent."""
    d = data_dir()
    path = d and os.path.join(d, *parts)
    if not path or not os.path.exists(path):
        raise Skipped("shared test data not found (set VESK_DATA)")
    return path


def find_stockfish():
    for candidate in (os.environ.get("VESK_STOCKFISH"), "/usr/games/stockfish", shutil.which("stockfish")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


def check_with_pgn_extract(path):
    """Another program reads every game of a PGN file the engine wrote, without a complaint."""
    tool = "/usr/games/pgn-extract"
    if not os.path.exists(tool):
        print("note: pgn-extract not installed, %s not cross-checked" % os.path.basename(path))
        return
    proc = subprocess.run([tool, "-s", path], capture_output=True, timeout=60)
    out, err = proc.stdout.decode(errors="replace"), proc.stderr.decode(errors="replace")
    with open(path) as f:
        written = f.read().count("[Event ")
    assert proc.returncode == 0 and not err.strip(), "pgn-extract: " + err
    assert out.count("[Event ") == written, "pgn-extract read %d of %d games" % (out.count("[Event "), written)
