"""Runs the real ulocfg inside tmux, types keys and reads the terminal back.

Each end-to-end script is run by ctest as `python3 test_x.py ULOCFG_BINARY SAMPLE_ULO_TXT`.
A script makes a Session per scenario, in a scratch directory holding a copy of the sample:

    with Session(binary, sample) as s:          # starts ulocfg in an 80x25 tmux pane
        s.wait_for("Last menu used")
        s.keys("5", "Enter")                      # literal text or tmux key names
        s.escape()                                # Escape, then a pause (see below)
        s.wait_for("Dow you want to save")
        s.keys("y")
        assert s.wait_exit() == 0
        data = s.saved_image()                    # the 2048 bytes of ulo.txt, parsed

For faults: `Session(..., after="stty -a > .stty")` runs shell in the pane once the program
has ended, `state_snippet()` there records the terminal's modes and title (read back with
`terminal_state_left()`), `terminal_state()` reads them while the program runs, and
`signal(sig)` signals the program alone.

Only the Python standard library and tmux are used. Every session has its own tmux server
(socket) so that tests never see each other, and the server is killed when it ends.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

TMUX = shutil.which("tmux") or "tmux"

# tmux names for the keys the editor knows.
KEYS = {
    "Enter": "Enter", "Escape": "Escape", "Up": "Up", "Down": "Down", "Left": "Left",
    "Right": "Right", "Home": "Home", "End": "End", "PageUp": "PPage", "PageDown": "NPage",
    "Delete": "DC", "Insert": "IC", "Backspace": "BSpace", "Space": "Space", "Alt+X": "M-x",
    "F1": "F1",
}

# The tmux formats that together say which modes and which title the pane's terminal is in.
TERMINAL_STATE = (
    "alternate_on", "cursor_flag", "insert_flag", "keypad_cursor_flag", "keypad_flag",
    "mouse_any_flag", "mouse_all_flag", "mouse_button_flag", "mouse_standard_flag",
    "mouse_sgr_flag", "mouse_utf8_flag", "wrap_flag", "origin_flag", "scroll_region_upper",
    "scroll_region_lower", "pane_title",
)


def state_snippet(name=".terminal-state"):
    """Shell for `after`: records terminal_state from inside the pane into the file `name`."""
    return "tmux display-message -p '%s' > '%s'" % (
        "\t".join("#{%s}" % n for n in TERMINAL_STATE), name)


def parse_image(text):
    """The editor's reader rules for a writer-produced file: 2048 byte tokens after the header."""
    tokens = text.split()
    assert tokens and tokens[0] == "ULO", "no header"
    data = [int(t[:-1], 16) for t in tokens[3:]]
    assert len(data) == 2048, len(data)
    return data


def format_image(data):
    """The file exactly as the editor writes it."""
    return "ULO EEPROM Memory:" + "".join(
        ("\n" if a % 16 == 0 else "") + "%02Xh " % b for a, b in enumerate(data))


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Session:
    def __init__(self, binary, sample=None, width=80, height=25, workdir=None, content=None,
                 env=None, wrapper=None, redirect="", lang="C.UTF-8", after=None):
        """Starts `binary` in a fresh directory. The directory gets a copy of `sample` as
        ulo.txt, or `content` (bytes or str) when given, or no ulo.txt when both are None.
        `wrapper` is a shell prefix (for example "ulimit -f 4;"), `redirect` shell
        redirections for the program alone (the pane's shell keeps the terminal). `after` is
        shell run in the pane once the program has ended and before its status is recorded
        (for example "stty -a > .stty", to see the terminal the program left behind)."""
        self.binary = os.path.abspath(binary)
        self.own_dir = workdir is None
        self.dir = workdir or tempfile.mkdtemp(prefix="ulocfg-e2e-")
        self.path = os.path.join(self.dir, "ulo.txt")
        if content is not None:
            mode = "wb" if isinstance(content, bytes) else "w"
            with open(self.path, mode) as f:
                f.write(content)
        elif sample is not None:
            shutil.copyfile(sample, self.path)
        self.socket = "ulocfg-%d-%d" % (os.getpid(), int(time.monotonic() * 1e6))
        self.name = "t"
        self.status_file = os.path.join(self.dir, ".status")
        self.width, self.height = width, height
        shell_env = " ".join("%s=%s" % kv for kv in (env or {}).items())
        run = "%s LANG=%s %s '%s' %s" % (wrapper or "", lang, shell_env, self.binary, redirect)
        if after:
            command = "cd '%s' && %s; st=$?; %s; echo $st > '%s'" % (
                self.dir, run, after, self.status_file)
        else:
            command = "cd '%s' && %s; echo $? > '%s'" % (self.dir, run, self.status_file)
        self._tmux("-f", "/dev/null", "new-session", "-d", "-s", self.name, "-x", str(width),
                   "-y", str(height), "sh", "-c", command)
        self._tmux("set-option", "-t", self.name, "remain-on-exit", "on")

    # -- tmux ---------------------------------------------------------------------------

    def _tmux(self, *args, check_rc=True):
        env = dict(os.environ, TERM="xterm-256color", LANG="C.UTF-8")
        env.pop("TMUX", None)
        r = subprocess.run([TMUX, "-u", "-L", self.socket] + list(args), env=env,
                           capture_output=True, text=True)
        if check_rc and r.returncode != 0:
            raise Failure("tmux %s: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._tmux("kill-server", check_rc=False)
        if self.own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    # -- keys ---------------------------------------------------------------------------

    def keys(self, *keys, settle=True):
        """Sends each key in turn: names from KEYS, or literal text typed character by
        character. Waits for the screen to settle after each one."""
        for k in keys:
            if k in KEYS:
                self._tmux("send-keys", "-t", self.name, KEYS[k])
            else:
                self._tmux("send-keys", "-t", self.name, "-l", k)
            if k in ("Escape",):
                # A lone Escape is told from the start of a key sequence by the pause after it.
                time.sleep(0.15)
            if settle:
                self.settle()

    def escape(self):
        self.keys("Escape")

    def send_raw(self, text):
        """Sends text in one go, as fast as tmux can, without waiting."""
        self._tmux("send-keys", "-t", self.name, "-l", text)

    # -- screen -------------------------------------------------------------------------

    def lines(self):
        out = self._tmux("capture-pane", "-p", "-t", self.name)
        rows = out.split("\n")[: self.height]
        return rows + [""] * (self.height - len(rows))

    def styled(self):
        """The pane with its SGR colour sequences, one string per row."""
        return self._tmux("capture-pane", "-p", "-e", "-t", self.name).split("\n")

    def text(self):
        return "\n".join(self.lines())

    def cursor(self):
        """The terminal cursor as (column, row), 1-based like the editor's."""
        out = self._tmux("display-message", "-p", "-t", self.name, "#{cursor_x} #{cursor_y}")
        x, y = out.split()
        return int(x) + 1, int(y) + 1

    def settle(self, quiet=0.12, timeout=5.0):
        """Waits until the pane has not changed for `quiet` seconds."""
        end = time.monotonic() + timeout
        last = None
        stable_since = time.monotonic()
        while time.monotonic() < end:
            now = (self.text(), self.cursor()) if not self.exited() else None
            if now != last:
                last = now
                stable_since = time.monotonic()
            elif time.monotonic() - stable_since >= quiet:
                return
            time.sleep(0.02)

    def wait_for(self, text, timeout=10.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if text in self.text():
                return
            time.sleep(0.03)
        raise Failure("%r did not appear; the screen shows:\n%s" % (text, self.text()))

    # -- the end ------------------------------------------------------------------------

    def exited(self):
        return os.path.exists(self.status_file) and os.path.getsize(self.status_file) > 0

    def wait_exit(self, timeout=10.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.exited():
                with open(self.status_file) as f:
                    return int(f.read().strip())
            time.sleep(0.03)
        raise Failure("ulocfg did not end; the screen shows:\n%s" % self.text())

    def pid(self):
        """The process id of ulocfg itself (the child of the pane's shell)."""
        shell = self._tmux("display-message", "-p", "-t", self.name, "#{pane_pid}").strip()
        end = time.monotonic() + 5
        while time.monotonic() < end:
            r = subprocess.run(["pgrep", "-P", shell], capture_output=True, text=True)
            if r.stdout.strip():
                return int(r.stdout.split()[0])
            time.sleep(0.05)
        raise Failure("no ulocfg process")

    def hang_up(self):
        """Takes the terminal away, as a closed terminal window or a dropped line does: the
        tmux server ends and the pane's terminal with it."""
        self._tmux("kill-server", check_rc=False)

    def signal(self, sig):
        """Sends `sig` to ulocfg alone; the pane's shell gets nothing."""
        os.kill(self.pid(), sig)

    def pane_format(self, fmt):
        """A tmux format expanded for the pane, such as "#{alternate_on}"."""
        return self._tmux("display-message", "-p", "-t", self.name, fmt).rstrip("\n")

    def terminal_state(self):
        """What a program can change in the terminal besides its cells: the modes, the
        scrolling region and the title, by tmux format name."""
        values = self.pane_format("\t".join("#{%s}" % n for n in TERMINAL_STATE)).split("\t")
        return dict(zip(TERMINAL_STATE, values))

    def terminal_state_left(self, name=".terminal-state"):
        """The terminal state that `after=state_snippet()` recorded once the program had
        ended, while the pane still lived (tmux hides the cursor of a dead pane)."""
        with open(os.path.join(self.dir, name)) as f:
            values = f.read().rstrip("\n").split("\t")
        return dict(zip(TERMINAL_STATE, values))

    def resize(self, width, height):
        self._tmux("resize-window", "-t", self.name, "-x", str(width), "-y", str(height))
        self.width, self.height = width, height

    def file_bytes(self):
        with open(self.path, "rb") as f:
            return f.read()

    def saved_image(self):
        return parse_image(self.file_bytes().decode("latin-1"))


def run_tests(tests):
    """Runs each (name, function) and reports; exits non-zero if any failed."""
    failed = 0
    for name, fn in tests:
        start = time.monotonic()
        try:
            fn()
            print("ok   %s (%.1fs)" % (name, time.monotonic() - start))
        except Exception as e:  # a failing scenario must not stop the others
            failed += 1
            print("FAIL %s: %s" % (name, e))
    print("%d passed, %d failed" % (len(tests) - failed, failed))
    sys.exit(1 if failed else 0)


def tests_in(namespace):
    """The module's functions named test_*, in the order they are written."""
    return [(n, f) for n, f in namespace.items() if n.startswith("test_") and callable(f)]


def row(lines, y):
    """Row y (1-based) of a capture, trailing spaces removed."""
    return lines[y - 1].rstrip()


def red_text(styled_row):
    """The parts of a captured row (with SGR sequences) written in the highlight colour."""
    parts, red, buf = [], False, ""
    for token in re.split(r"(\x1b\[[0-9;]*m)", styled_row):
        if token.startswith("\x1b["):
            codes = token[2:-1].split(";") if token[2:-1] else ["0"]
            new_red = red
            i = 0
            while i < len(codes):
                c = codes[i]
                if c in ("0", "39"):
                    new_red = False
                elif c in ("31", "91"):
                    new_red = True
                elif c == "38" and i + 2 < len(codes) and codes[i + 1] == "5":
                    new_red = codes[i + 2] in ("1", "9")
                    i += 2
                elif c.startswith("3") and len(c) == 2:
                    new_red = False
                i += 1
            if new_red != red and buf and red:
                parts.append(buf)
                buf = ""
            if new_red and not red:
                buf = ""
            red = new_red
        elif red:
            buf += token
    if red and buf:
        parts.append(buf)
    return parts
