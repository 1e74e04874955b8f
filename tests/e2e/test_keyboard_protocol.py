"""The keyboard protocol that reports each key with its modifiers, against fake terminals on a
pseudo-terminal (tmux does not have the protocol): one that has it and answers as such a
terminal does, one that answers only the device attributes, and one that answers nothing.
The fake terminal keeps the protocol's mode stack for each of its two screens, so that every
way out can be checked to leave the mode off."""
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import sys
import tempfile
import termios
import time

from harness import (OUT_OF_MEMORY_AT_THE_SAVE, check, parse_image, preloaded, run_tests,
                     tests_in)

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())

QUESTION = b"Dow you want to save the data (Y/N)?"
FIRST_SCREEN = b"CAN 29-bit ID"
# What the program may send that the fake terminal acts on.
SEQUENCES = re.compile(rb"\x1b\[(\?1049[hl]|\?u|c|>1u|<u)")
# Keys as a terminal with the protocol's disambiguation mode on reports them.
ESCAPE, ALT_X = b"\x1b[27u", b"\x1b[120;3u"


class FakeTerminal:
    """ulocfg on an 80x25 pseudo-terminal in a scratch folder holding ulo.txt. `answers`:
    "protocol" answers both queries, "attributes" only the device attributes, "none" nothing."""

    def __init__(self, answers, env=None):
        self.answers = answers
        self.dir = tempfile.mkdtemp(prefix="ulocfg-pty-")
        shutil.copyfile(SAMPLE, os.path.join(self.dir, "ulo.txt"))
        self.started = time.monotonic()
        extra = env or {}
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.chdir(self.dir)
                fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
                env = {"PATH": "/usr/bin:/bin", "TERM": "xterm-256color", "LANG": "C.UTF-8"}
                for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"):
                    if name in os.environ:
                        env[name] = os.environ[name]
                env.update(extra)
                os.execve(BINARY, [BINARY], env)
            finally:
                os._exit(127)
        self.pid, self.fd = pid, fd
        self.out = b""
        self.handled = 0  # sequences of `out` already acted on
        self.stacks = {False: [], True: []}  # the mode stacks of the main and alternate screen
        self.alternate = False
        self.left_alternate_with_mode_on = False
        self.status = None

    def pump(self, timeout, until=None, since=0):
        """Reads what the program writes for up to `timeout` seconds, answering its queries;
        no longer once `until` has come after offset `since`."""
        end = time.monotonic() + timeout
        while self.status is None and not (until and until in self.out[since:]):
            left = end - time.monotonic()
            if left <= 0:
                return
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                return
            try:
                data = os.read(self.fd, 65536)
            except OSError:
                data = b""
            if not data:
                self.wait_exit()
                return
            self.out += data
            self.act()

    def act(self):
        found = list(SEQUENCES.finditer(self.out))
        for m in found[self.handled:]:
            kind = m.group(1)
            if kind == b"?u" and self.answers == "protocol":
                stack = self.stacks[self.alternate]
                os.write(self.fd, b"\x1b[?%du" % (stack[-1] if stack else 0))
            elif kind == b"c" and self.answers != "none":
                os.write(self.fd, b"\x1b[?62;22c")
            elif kind == b">1u":
                self.stacks[self.alternate].append(1)
            elif kind == b"<u" and self.stacks[self.alternate]:
                self.stacks[self.alternate].pop()
            elif kind == b"?1049h":
                self.alternate = True
            elif kind == b"?1049l":
                self.left_alternate_with_mode_on |= bool(self.stacks[True])
                self.alternate = False
        self.handled = len(found)

    def wait_for(self, text, since=0, timeout=10.0):
        """Seconds until `text` appears in the output after offset `since`."""
        start = time.monotonic()
        while text not in self.out[since:]:
            check(self.status is None and time.monotonic() - start < timeout,
                  "%r did not come; the program wrote %r" % (text, self.out[-300:]))
            self.pump(0.5, text, since)
        return time.monotonic() - start

    def ready(self):
        """Seconds from the start to the first screen, which is then complete."""
        self.wait_for(FIRST_SCREEN)
        took = time.monotonic() - self.started
        self.pump(0.1)
        return took

    def send(self, data):
        os.write(self.fd, data)
        self.pump(0.1)

    def wait_exit(self, timeout=10.0):
        """The program's status, once everything it wrote has been read and acted on: the
        terminal is read until the program's side of it is closed and drained (the read then
        fails), and only then is the program reaped."""
        if self.status is None:
            end = time.monotonic() + timeout
            while True:
                left = end - time.monotonic()
                check(left > 0, "ulocfg did not end; it wrote %r" % self.out[-300:])
                if not select.select([self.fd], [], [], left)[0]:
                    continue
                try:
                    data = os.read(self.fd, 65536)
                except OSError:  # EIO: closed by the program, and nothing left unread
                    data = b""
                if not data:
                    break
                self.out += data
                self.act()
            while True:
                pid, status = os.waitpid(self.pid, os.WNOHANG)
                if pid:
                    self.status = status
                    break
                check(time.monotonic() < end, "ulocfg closed its terminal but did not end")
                time.sleep(0.01)
        return self.status

    def mode_left_off(self):
        """The mode was switched on on the program's own screen and is off on both."""
        return (not self.stacks[True] and not self.stacks[False]
                and not self.left_alternate_with_mode_on)

    def pushed(self):
        return b"\x1b[>1u" in self.out

    def saved_image(self):
        with open(os.path.join(self.dir, "ulo.txt")) as f:
            return parse_image(f.read())

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            self.wait_exit()
        os.close(self.fd)
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def exited(status, code):
    return os.WIFEXITED(status) and os.WEXITSTATUS(status) == code


def test_escape_alt_x_and_escape_then_y_with_the_protocol():
    # (keys after typing 7 into Last menu used, answer, saved last_menu). The y that comes in
    # one read with the Escape is a key typed before the question, which the program discards
    # as it always has; the question is asked all the same, where without the protocol the
    # two bytes read as Alt+Y and nothing happens.
    cases = [
        ("Escape alone", [ESCAPE], b"n", SAMPLE_IMAGE[0]),
        ("Alt+X", [ALT_X], b"y", 7),
        ("Escape then y in one read", [ESCAPE + b"y"], b"y", 7),
        ("Escape cut apart by the line", [b"\x1b", b"[27", b"u"], b"y", 7),
    ]
    for what, keys, answer, saved in cases:
        with FakeTerminal("protocol") as t:
            t.ready()
            check(t.pushed() and t.stacks[True] == [1] and not t.stacks[False],
                  "%s: mode on for the program's screen only: %r" % (what, t.stacks))
            t.send(b"7")
            since = len(t.out)
            for k in keys:
                os.write(t.fd, k)
                t.pump(0.08)  # longer than the Escape wait of a terminal without the protocol
            t.wait_for(QUESTION, since)
            if answer:
                t.send(answer)
            check(exited(t.wait_exit(), 0), "%s: status 0" % what)
            check(t.saved_image()[0] == saved, "%s: last_menu %d" % (what, t.saved_image()[0]))
            check(t.mode_left_off(), "%s: mode left on: %r" % (what, t.stacks))


def test_escape_acts_at_once_with_the_protocol():
    took = {}
    for answers, escape in (("protocol", ESCAPE), ("attributes", b"\x1b")):
        with FakeTerminal(answers) as t:
            t.ready()
            since, sent = len(t.out), time.monotonic()  # the clock runs before the key goes
            os.write(t.fd, escape)
            t.wait_for(QUESTION, since)
            took[answers] = time.monotonic() - sent
            t.send(b"n")
            check(exited(t.wait_exit(), 0) and t.mode_left_off(), "ended with the mode off")
    print("     the question after the Escape key: %.0f ms with the protocol, %.0f ms without"
          % (took["protocol"] * 1000, took["attributes"] * 1000))
    # Without the protocol a lone ESC byte waits 50 ms for the rest of a sequence.
    check(took["attributes"] >= 0.05, "without the protocol: %r" % took)


def test_every_way_out_switches_the_mode_off():
    def save_ends(status):
        def way_out(t):
            t.send(ESCAPE)
            t.wait_for(QUESTION)
            t.send(b"y")
            return exited(t.wait_exit(), status)
        return way_out

    def save_fails(t):  # the folder is gone: asked again, the save fails with status 1
        shutil.rmtree(t.dir)
        t.send(ESCAPE)
        t.wait_for(QUESTION)
        since = len(t.out)
        t.send(b"y")
        t.wait_for(b"File removed since read!", since)
        t.send(b"y")
        return exited(t.wait_exit(), 1)

    def stopped_by(sig):
        def way_out(t):
            os.kill(t.pid, sig)
            status = t.wait_exit()
            return os.WIFSIGNALED(status) and os.WTERMSIG(status) == sig
        return way_out

    # Memory running out as the save begins: an exception that ends the program, status 4.
    throwing = preloaded(OUT_OF_MEMORY_AT_THE_SAVE)
    ways = [("save fails", save_fails, None), ("SIGTERM", stopped_by(signal.SIGTERM), None),
            ("SIGINT", stopped_by(signal.SIGINT), None),
            ("SIGHUP, the terminal still there", stopped_by(signal.SIGHUP), None)]
    if throwing:
        ways.append(("an exception on saving, status 4", save_ends(4), throwing))
    else:
        print("     skip the exception: no C++ compiler to build the failing allocation")
    for what, way_out, env in ways:
        with FakeTerminal("protocol", env) as t:
            t.ready()
            check(t.pushed(), "%s: mode switched on" % what)
            check(way_out(t), "%s: ended as expected: %r" % (what, t.status))
            check(t.mode_left_off(), "%s: mode left on: %r" % (what, t.stacks))


def test_terminals_without_the_protocol_keep_the_escape_wait_and_start_without_delay():
    starts = {"protocol": [], "attributes": [], "none": []}
    for run in range(3):
        for answers in starts:
            with FakeTerminal(answers) as t:
                starts[answers].append(t.ready())
                if run > 0:
                    continue
                if answers != "protocol":
                    check(not t.pushed(), "%s: the mode was switched on" % answers)
                    # Escape followed by y within the Escape wait is Alt+Y: nothing happens.
                    since = len(t.out)
                    t.send(b"7\x1by")
                    t.pump(0.2)
                    check(QUESTION not in t.out[since:], "%s: Alt+Y asked the question" % answers)
                    t.send(b"\x1b")
                    t.wait_for(QUESTION, since)
                    t.send(b"y")
                    check(exited(t.wait_exit(), 0), "%s: status 0" % answers)
                    check(t.saved_image()[0] == 7, "%s: not saved" % answers)
                else:
                    t.send(ESCAPE)
                    t.wait_for(QUESTION)
                    t.send(b"n")
                    check(exited(t.wait_exit(), 0), "protocol: status 0")
    median = {a: sorted(v)[1] for a, v in starts.items()}
    print("     start-up to the first screen, median of 3: %s" % ", ".join(
        "%s %.0f ms" % (a, 1000 * m) for a, m in median.items()))
    # A terminal that answers nothing costs the 200 ms wait once, no more; one that answers
    # the device attributes ends the wait at once.
    check(median["none"] - median["attributes"] < 0.2 + 0.15,
          "no answer: start-up delayed by more than the wait: %r" % median)
    check(median["none"] - median["attributes"] > 0.1,
          "the attributes answer did not end the wait early: %r" % median)


run_tests(tests_in(dict(globals())))
