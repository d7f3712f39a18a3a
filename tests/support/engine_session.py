"""Drives the vesk binary through pipes: a conversation of lines with timeouts."""

import os
import select
import subprocess
import sys
import time

DEFAULT_TIMEOUT = 20.0


class SessionError(AssertionError):
    pass


class EngineSession:
    """One running engine process. Lines are read with a timeout; nothing sleeps and hopes."""

    def __init__(self, binary, args=(), cwd=None, env=None, preexec_fn=None):
        self.proc = subprocess.Popen(
            [binary, *args],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            cwd=cwd,
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
        return "\n".join(self.transcript[-60:])


def run_tests(tests):
    """Runs (name, function) pairs; prints a summary line; exits 0 or 1."""
    failed = 0
    for name, fn in tests:
        try:
            fn()
            print("ok   " + name)
        except Exception as error:  # report every failure, not just the first
            failed += 1
            print("FAIL " + name + ": " + str(error))
    print("%d passed, %d failed" % (len(tests) - failed, failed))
    sys.exit(1 if failed else 0)


def data_dir():
    for var in ("VESK_DATA", "VESK_DATA_DEFAULT"):
        d = os.environ.get(var)
        if d and os.path.isdir(d):
            return d
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
