#!/usr/bin/env python3
"""What the real ulocfg writes to a terminal: the first frame, and the bytes per key.

    python3 bench/terminal_bytes.py ULOCFG_BINARY SAMPLE_ULO_TXT [--json FILE] [--dump FILE]

The program runs under a pseudo-terminal of 80x25 (no terminal multiplexer in between, so
every byte counted is one the program wrote), in a scratch folder with a copy of the sample.
It gets a fixed script of 60 keys, sent as the bytes an xterm sends, one at a time: after each
key the output is read until it has been quiet for a while, and its bytes are that key's cost.
After the script the save question is answered "y", and the saved file is checked for the
edits the script makes, so a key that was not understood cannot pass unnoticed.

Start-up is the time from the spawn to the arrival of the last byte of the first frame (the
frame is complete when the CAN row's "hex" has arrived and nothing more follows).

--json writes the figures for tools/bench; --dump writes every key's bytes, escaped, to see
what a key costs and why.
"""
import argparse
import fcntl
import json
import os
import select
import shutil
import signal
import statistics
import struct
import sys
import tempfile
import termios
import time

ROWS, COLUMNS = 25, 80
BAUD_BITS = 10          # a byte on a serial line: start bit, 8 data bits, stop bit
BAUD = 9600

QUIET = 0.06            # output has settled when nothing more came for this long
FIRST_BYTE_WAIT = 0.5   # a key may legitimately change nothing on the screen
ESCAPE_PAUSE = 0.1      # longer than the 50 ms that tells a lone Escape from a sequence
START_TIMEOUT = 10.0
STARTUPS = 11           # start-up is timed this often, on top of the run with the keys

# The bytes an xterm (TERM=xterm-256color, normal cursor mode) sends for each key.
SEQUENCES = {
    "Enter": b"\r", "Escape": b"\x1b", "Space": b" ", "Backspace": b"\x7f",
    "Up": b"\x1b[A", "Down": b"\x1b[B", "Right": b"\x1b[C", "Left": b"\x1b[D",
    "Home": b"\x1b[H", "End": b"\x1b[F", "PageUp": b"\x1b[5~", "PageDown": b"\x1b[6~",
    "Delete": b"\x1b[3~",
}

# The 60 keys, from field 0 ("Last menu used") on, with the field each one acts in.
SCRIPT = [
    # General settings: a digit, toggles with Space, brightness stepped with Page Up/Down.
    ("7", "0 Last menu used"), ("Enter", "0"),
    ("Space", "1 Edit mode protected"), ("Enter", "1"),
    ("PageDown", "2 Brightness"), ("PageUp", "2"), ("Enter", "2"),
    ("Space", "3 Contrast"), ("Enter", "3"),
    # Wheel selection: Page Up/Down switch the whole configuration block on the screen.
    ("PageUp", "4 Wheel speed config no."), ("PageDown", "4"), ("Right", "4"),
    # Wheel name: name characters, the last one taken back with Backspace.
    ("U", "5 name"), ("L", "5"), ("O", "5"), ("X", "5"), ("Backspace", "5"),
    ("Enter", "5"),
    # Wheel values: digits, flags toggled with Space, Delete, the sign of the gap pulses.
    ("6", "20 Cyl."), ("Down", "20"),
    ("3", "21 TDC width"), ("Enter", "21"),
    ("Space", "33 Inversion Cam"), ("Enter", "33"),
    ("Space", "34 Crank"), ("Enter", "34"),
    ("6", "22 Crank Pulses"), ("0", "22"), ("Enter", "22"),
    ("Delete", "23 Crank width"), ("Enter", "23"),
    ("Enter", "24 Offset Crank to TDC"),
    ("Enter", "25 Phase Gap to TDC"),
    ("-", "27 Gap Pulses"), ("Enter", "27"),
    ("1", "26 No Gaps"), ("Up", "26"),
    ("Left", "25"),
    # General settings again: a five-digit value typed in full.
    ("2", "9 VSS Pulses per km"), ("5", "9"), ("0", "9"), ("0", "9"), ("Up", "9"),
    # Speed ramp: a speed typed, the point number paged up and down (Page Down stops at 2).
    ("1", "37 ramp Speed"), ("2", "37"), ("0", "37"), ("Left", "37"),
    ("Left", "36 ramp Time"),
    ("PageUp", "35 ramp point"), ("PageUp", "35"), ("PageDown", "35"), ("Down", "35"),
    # End and the field before the CAN identifier.
    ("End", "9"), ("Left", "18 Second High Frequency"), ("Down", "16 Kickdown Threshold"),
    # CAN identifier: hexadecimal digits.
    ("a", "38 CAN first byte"), ("F", "38"),
    # The save question: asked, taken back with Escape (editing resumes on field 0), asked again.
    ("Escape", "38"), ("Escape", "save question"), ("Escape", "0"),
]
assert len(SCRIPT) == 60, len(SCRIPT)


def expected_edits(data):
    """The saved image's bytes that the script must have changed, as (what, got, wanted)."""
    pair = lambda a: data[a] | data[a + 1] << 8
    return [
        ("last menu used", data[0], 7),
        ("wheel 1 name", bytes(data[1024:1040]).decode("latin-1"), "ULO Crank       "),
        ("wheel 1 cylinders", data[64] & 0x1F, 6),
        ("wheel 1 gap pulses and gap count", data[72], 0xF1),
        ("wheel 1 crank pulses", data[66], 60),
        ("VSS pulses per km", pair(32), 2500),
        ("ramp point 1 speed", pair(512) >> 1, 120),
        ("CAN first byte", data[1539], 0xAF),
    ]


def parse_image(text):
    tokens = text.split()
    data = [int(t[:-1], 16) for t in tokens[3:]]
    if len(data) != 2048:
        raise ValueError("the saved file holds %d bytes" % len(data))
    return data


class Failed(Exception):
    pass


class Program:
    """ulocfg on the slave side of a pseudo-terminal that is its controlling terminal.

    posix_spawn starts it without copying this Python process first (a fork of the
    interpreter alone costs tens of milliseconds, which would be counted as start-up); the
    new session opens the slave as its first terminal, which makes it the controlling one."""

    def __init__(self, binary, folder, args=()):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TERM": "xterm-256color",
               "LANG": "C.UTF-8", "HOME": folder}
        master, slave = os.openpty()
        slave_name = os.ttyname(slave)
        # The window size before the program starts, so curses finds 80x25 at once.
        fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        os.close(slave)
        actions = [(os.POSIX_SPAWN_OPEN, 0, slave_name, os.O_RDWR, 0),
                   (os.POSIX_SPAWN_DUP2, 0, 1), (os.POSIX_SPAWN_DUP2, 0, 2)]
        here = os.getcwd()
        os.chdir(folder)  # posix_spawn has no working-folder action; this script is one thread
        try:
            self.started = time.monotonic()
            self.pid = os.posix_spawn(binary, [binary] + list(args), env, setsid=True,
                                      file_actions=actions)
        except OSError:
            os.close(master)
            raise
        finally:
            os.chdir(here)
        self.fd = master
        self.status = None
        self.cpu_ms = None  # user + system time of the whole run, once it has ended

    def read(self, timeout):
        """Bytes available within `timeout` seconds, and the time the last of them came."""
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return b"", None
        try:
            chunk = os.read(self.fd, 65536)
        except OSError:  # the slave side closed: the program has ended
            chunk = b""
        if b"\x1b[c" in chunk:
            # The device attributes query the program sends at start: answered as xterm
            # does, which has no keyboard protocol (a terminal that answers nothing would
            # add the program's 200 ms wait for the answers to the start-up).
            os.write(self.fd, b"\x1b[?64;1;2;6;9;15;16;17;18;21;22;28c")
        return chunk, time.monotonic()

    def settle(self, first_wait, until=None, limit=START_TIMEOUT):
        """Reads until the output has been quiet for QUIET after its last byte (and, with
        `until`, after that text has arrived). Returns the bytes and the last byte's time."""
        out = bytearray()
        last = None
        deadline = time.monotonic() + limit
        wait = first_wait
        while time.monotonic() < deadline:
            chunk, when = self.read(wait)
            if not chunk:
                if when is not None:  # end of file
                    break
                if until is None or until in out:
                    break
                wait = QUIET
                continue
            out += chunk
            last = when
            wait = QUIET
        else:
            raise Failed("the output did not settle within %.0f s" % limit)
        return bytes(out), last

    def send(self, data):
        os.write(self.fd, data)

    def wait_exit(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            pid, status, usage = os.wait4(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                self.cpu_ms = (usage.ru_utime + usage.ru_stime) * 1000.0
                return self.status
            self.settle(0.05, limit=1.0)  # keep the pty drained
        raise Failed("the program did not end")

    def close(self):
        if self.status is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
            except OSError:
                pass
        os.close(self.fd)


def percentile(values, p):
    """The nearest-rank percentile: the smallest value with at least p % at or below it."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * p // 100))
    return ordered[int(rank) - 1]


def at_baud_ms(n):
    return n * BAUD_BITS / BAUD * 1000.0


def first_frame(program):
    """The first frame's bytes and the milliseconds from the spawn to its last byte."""
    frame, last = program.settle(START_TIMEOUT, until=b"hex")
    if b"hex" not in frame or last is None:
        raise Failed("no first frame (got %d bytes)" % len(frame))
    return frame, (last - program.started) * 1000.0


def startup_times(binary, sample, runs):
    """Start-up alone, `runs` times: each run ends with SIGTERM once its frame is complete.
    Gives the wall-clock times and the CPU time of each whole run (start-up, then the exit)."""
    times, cpu = [], []
    folder = tempfile.mkdtemp(prefix="ulocfg-bench-")
    shutil.copyfile(sample, os.path.join(folder, "ulo.txt"))
    try:
        for _ in range(runs):
            program = Program(binary, folder)
            try:
                times.append(first_frame(program)[1])
                os.kill(program.pid, signal.SIGTERM)
                program.wait_exit()
                cpu.append(program.cpu_ms)
            finally:
                program.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return times, cpu


def harness_floor(runs):
    """The same clock around a program that only writes "hex" and ends (/bin/echo): what the
    spawn, the exec and the dynamic loader cost before ulocfg's own start-up begins."""
    echo = shutil.which("echo", path="/bin:/usr/bin")
    if echo is None:
        return None
    times = []
    folder = tempfile.mkdtemp(prefix="ulocfg-bench-")
    try:
        for _ in range(runs):
            program = Program(echo, folder, ["hex"])
            try:
                times.append(first_frame(program)[1])
                program.wait_exit()
            finally:
                program.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return statistics.median(times)


def measure(binary, sample, dump=None):
    folder = tempfile.mkdtemp(prefix="ulocfg-bench-")
    shutil.copyfile(sample, os.path.join(folder, "ulo.txt"))
    program = Program(binary, folder)
    try:
        frame, startup_ms = first_frame(program)

        per_key = []
        for name, where in SCRIPT:
            program.send(SEQUENCES.get(name, name.encode()))
            if name == "Escape":
                time.sleep(ESCAPE_PAUSE)
            out, _ = program.settle(FIRST_BYTE_WAIT)
            per_key.append((name, where, out))

        program.send(b"y")  # the save question is on the screen after the last key
        exit_output, _ = program.settle(FIRST_BYTE_WAIT)
        status = program.wait_exit()
        if status != 0:
            raise Failed("the program ended with status %s" % status)
        with open(os.path.join(folder, "ulo.txt")) as f:
            data = parse_image(f.read())
        wrong = [(what, got, wanted) for what, got, wanted in expected_edits(data)
                 if got != wanted]
        if wrong:
            raise Failed("the keys did not do what the script says: " + "; ".join(
                "%s is %r, not %r" % w for w in wrong))
    finally:
        program.close()
        shutil.rmtree(folder, ignore_errors=True)

    if dump:
        with open(dump, "w") as f:
            f.write("first frame: %d bytes\n%r\n\n" % (len(frame), frame))
            for i, (name, where, out) in enumerate(per_key, 1):
                f.write("%2d %-9s in %-26s %4d bytes  %r\n" % (i, name, where, len(out), out))
            f.write("\nexit (answer y): %d bytes\n%r\n" % (len(exit_output), exit_output))

    counts = [len(out) for _, _, out in per_key]
    worst = max(range(len(counts)), key=lambda i: counts[i])
    more, cpu = startup_times(binary, sample, STARTUPS)
    startups = [startup_ms] + more
    return {
        "startup_ms": statistics.median(startups),
        "startup_ms_max": max(startups),
        "startup_runs": len(startups),
        "startup_cpu_ms": statistics.median(cpu),
        "startup_floor_ms": harness_floor(STARTUPS),
        "load_average": os.getloadavg()[0],
        "first_frame_bytes": len(frame),
        "keys": len(counts),
        "key_bytes_median": statistics.median(counts),
        "key_bytes_p90": percentile(counts, 90),
        "key_bytes_max": counts[worst],
        "key_bytes_max_key": "%d: %s in %s" % (worst + 1, per_key[worst][0], per_key[worst][1]),
        "key_bytes_total": sum(counts),
        "exit_bytes": len(exit_output),
        "per_key": [{"key": n, "field": w, "bytes": len(o)} for n, w, o in per_key],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("sample")
    parser.add_argument("--json", help="write the figures to this file")
    parser.add_argument("--dump", help="write every key's bytes to this file")
    args = parser.parse_args()
    try:
        r = measure(os.path.abspath(args.binary), args.sample, args.dump)
    except (Failed, OSError, ValueError) as e:
        print("terminal_bytes: %s" % e, file=sys.stderr)
        return 1

    print("Terminal output of ulocfg under an %dx%d pseudo-terminal, %d keys:" % (
        COLUMNS, ROWS, r["keys"]))
    print("  start-up to the complete first frame  %7.1f ms  (median of %d, slowest %.1f ms)"
          % (r["startup_ms"], r["startup_runs"], r["startup_ms_max"]))
    print("    CPU time of a run to its first frame and out  %.1f ms" % r["startup_cpu_ms"])
    if r["startup_floor_ms"] is not None:
        print("    the same clock around /bin/echo hex           %.1f ms" % r["startup_floor_ms"])
    print("    load average while measuring                  %.2f on %d cores" % (
        r["load_average"], os.cpu_count()))
    for label, key in (("first frame", "first_frame_bytes"), ("per key, median", "key_bytes_median"),
                       ("per key, 90th percentile", "key_bytes_p90"),
                       ("per key, maximum", "key_bytes_max")):
        print("  %-36s %7g bytes  %7.1f ms at %d baud" % (label, r[key], at_baud_ms(r[key]),
                                                          BAUD))
    print("  (largest: key %s; exit after \"y\": %d bytes)" % (r["key_bytes_max_key"],
                                                              r["exit_bytes"]))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(r, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
