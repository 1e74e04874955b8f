"""Runs the real ulocfg inside tmux, types keys and reads the terminal back.

ctest runs each script as `python3 test_x.py ULOCFG_BINARY SAMPLE_ULO_TXT`. A Session starts
ulocfg in a pane of its own tmux server (80x25 unless told), in a scratch directory holding ulo.txt:

    with Session(binary, sample) as s:
        s.ready()                                 # the first screen is drawn
        s.keys("5", "Enter")                      # literal text or names from KEYS
        assert s.quit("y") == 0                   # Escape, the question, y, the status
        data = s.saved_image()                    # the 2048 bytes of ulo.txt

`after` runs shell in the pane once the program has ended (state_snippet() records the
terminal's modes there, read back by terminal_state_left()); `signal(sig)` signals ulocfg alone.
"""
import atexit
import fcntl
import os
import platform
import re
import shutil
import subprocess
import struct
import sys
import tempfile
import termios
import time

TMUX = shutil.which("tmux") or "tmux"

# tmux names for the keys the editor knows.
KEYS = {
    "Enter": "Enter", "Escape": "Escape", "Up": "Up", "Down": "Down", "Left": "Left",
    "Right": "Right", "Home": "Home", "End": "End", "PageUp": "PPage", "PageDown": "NPage",
    "Delete": "DC", "Insert": "IC", "Backspace": "BSpace", "Space": "Space", "Alt+X": "M-x",
    "F1": "F1", "Ctrl+C": "C-c",
}

# The tmux formats that together say which modes and which title the pane's terminal is in.
TERMINAL_STATE = tuple(
    "alternate_on cursor_flag insert_flag keypad_cursor_flag keypad_flag mouse_any_flag "
    "mouse_all_flag mouse_button_flag mouse_standard_flag mouse_sgr_flag mouse_utf8_flag "
    "wrap_flag origin_flag scroll_region_upper scroll_region_lower pane_title".split())


# Written by the pane's shell once the program has ended: CAN ends any sequence the program
# left unfinished, then the pane's working directory is set to END_PATH, which tmux shows as
# #{pane_path} and nothing else does.
END_PATH = "ulocfg-ended"
END_MARK = "\\030\\033]7;%s\\007" % END_PATH


# The system calls the program waits for keys in, by machine: the index of the argument that
# holds the time limit, and its value when there is none (poll's -1, ppoll's null pointer).
KEY_WAITS = {"x86_64": {7: (2, 0xFFFFFFFF), 271: (2, 0)}, "aarch64": {73: (2, 0)}}


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


def read_image(path):
    """The 2048 bytes of an image file the editor wrote."""
    with open(path, encoding="latin-1") as f:
        return parse_image(f.read())


def sample_and_edited(sample):
    """The sample file's bytes and image, and the image and bytes after the edits most fault
    tests make: last_menu 7, the edit mode bit turned over."""
    with open(sample, "rb") as f:
        data = f.read()
    image = parse_image(data.decode("latin-1"))
    edited = list(image)
    edited[0], edited[7] = 7, image[7] ^ 1
    return data, image, edited, format_image(edited).encode("latin-1")


class Scratch:
    """A scratch folder for the files of one test, removed afterwards."""

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="ulocfg-files-")
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def copy(self, name, source):
        shutil.copyfile(source, self.path(name))
        return self.path(name)

    def write(self, name, image):
        """An image file as the editor writes it; returns its path."""
        with open(self.path(name), "w", encoding="latin-1") as f:
            f.write(format_image(image))
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def image(self, name):
        return read_image(self.path(name))


# What runs the program: nothing for the Linux one; for ulocfg.exe, the Windows leg gives Wine's
# loader in ULOCFG_RUNNER, and ULOCFG_LINUX names the Linux program to compare it with.
RUNNER = os.environ.get("ULOCFG_RUNNER", "").split()
LINUX_PROGRAM = os.environ.get("ULOCFG_LINUX", "")


# Permission cases run ulocfg as this ordinary user (CI runs as root, who may write anywhere).
USER = 65534
RESCUE = re.compile(r"ulo\.txt\.rescue-[0-9]{8}-[0-9]{6}-[a-z0-9]{6}$")


def as_user():
    """Shell prefix for Session's `wrapper`: ulocfg runs as uid and gid USER, in no other
    group; when the tests are not root they run as their own user."""
    return "setpriv --reuid=%d --regid=%d --clear-groups env" % (USER, USER) \
        if os.geteuid() == 0 else ""


def binary_for_user(binary):
    """The program where the ordinary user can run it. A checkout may lie in a folder only
    root can enter (a clone into a mktemp folder, say): then a copy in a folder of its own,
    removed when the tests end."""
    if os.geteuid() != 0:
        return binary
    folder = tempfile.mkdtemp(prefix="ulocfg-bin-")
    atexit.register(shutil.rmtree, folder, True)
    os.chmod(folder, 0o755)
    copy = os.path.join(folder, os.path.basename(binary))
    shutil.copy2(binary, copy)
    return copy


# Faults that happen to a real program, put into it by a library loaded ahead of everything
# else (LD_PRELOAD). Each fails as the system or the C++ library fails: a call returns -1 with
# its errno, operator new throws std::bad_alloc; nothing else.

# Memory runs out as the save begins: after the terminal brings a "y" (the answer to the save
# question), the first allocation big enough for the image's text (8 KiB and more) fails as
# operator new fails with no memory left. Smaller ones, the echo of the answer among them, and
# every allocation after that one succeed.
OUT_OF_MEMORY_AT_THE_SAVE = r"""
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {
bool answered = false;

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void look_at(int fd, const void* data, ssize_t n) {
    if (n <= 0 || !std::memchr(data, 'y', static_cast<std::size_t>(n))) return;
    const int saved = errno;
    if (isatty(fd)) answered = true;
    errno = saved;
}
} // namespace

extern "C" ssize_t read(int fd, void* data, size_t size) {
    static const auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    const ssize_t n = real(fd, data, size);
    look_at(fd, data, n);
    return n;
}

extern "C" ssize_t __read_chk(int fd, void* data, size_t size, size_t room) {
    static const auto real = next<ssize_t (*)(int, void*, size_t, size_t)>("__read_chk");
    const ssize_t n = real(fd, data, size, room);
    look_at(fd, data, n);
    return n;
}

static_assert(sizeof(std::size_t) == sizeof(unsigned long), "operator new is _Znwm");
void* operator new(std::size_t size) {
    static const auto real = next<void* (*)(std::size_t)>("_Znwm");
    if (answered && size >= 8192) {
        answered = false;
        throw std::bad_alloc();
    }
    return real(size);
}
"""

# The new file refused its permissions, as a file system that keeps none may refuse them.
PERMISSIONS_REFUSED = r"""
#include <sys/stat.h>

#include <cerrno>

extern "C" int fchmod(int, mode_t) noexcept {
    errno = EPERM;
    return -1;
}
"""


def preloaded(source):
    """Environment that loads a library built from C++ `source` into the program ahead of
    everything else; None where there is no C++ compiler. The library is removed when the
    tests end."""
    compiler = shutil.which("c++") or shutil.which("g++")
    if not compiler:
        return None
    work = tempfile.mkdtemp(prefix="ulocfg-preload-")
    atexit.register(shutil.rmtree, work, True)
    os.chmod(work, 0o755)
    cpp, library = os.path.join(work, "fault.cpp"), os.path.join(work, "fault.so")
    with open(cpp, "w") as f:
        f.write(source)
    subprocess.run([compiler, "-std=c++17", "-shared", "-fPIC", "-O2", "-Wall", "-Werror", "-o",
                    library, cpp, "-ldl"], check=True)
    asan = os.environ.get("ASAN_OPTIONS", "")
    return {"LD_PRELOAD": library,  # a sanitizer runtime must not insist on coming first
            "ASAN_OPTIONS": (asan + ":" if asan else "") + "verify_asan_link_order=0"}


def give_away(*paths, uid=USER, gid=USER):
    """Makes files and folders the ordinary user's (or uid:gid's), when the tests are root."""
    if os.geteuid() == 0:
        for p in paths:
            os.chown(p, uid, gid)


def rescues(directory):
    """The rescue copies in a folder."""
    return sorted(n for n in os.listdir(directory) if RESCUE.match(n))


def poll(predicate, timeout, interval=0.03):
    """The first true value of predicate() within `timeout` seconds, else its last value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Session:
    def __init__(self, binary, sample=None, width=80, height=25, workdir=None, content=None,
                 env=None, wrapper=None, redirect="", lang="C.UTF-8", after=None, args="",
                 runner=()):
        """ulo.txt is a copy of `sample`, or `content` (bytes or str), or absent. `wrapper` is
        a shell prefix ("ulimit -f 4;"), `redirect` redirections for ulocfg alone, `after`
        shell run in the pane once it has ended, before its status is recorded, `args` the
        command line after the program's name, `runner` what runs the program (RUNNER for
        ulocfg.exe)."""
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
        if os.path.exists(self.status_file):  # left by an earlier session in the same folder
            os.remove(self.status_file)
        self.width, self.height = width, height
        self.started_height = height
        self.program = None  # the process id of ulocfg, once found
        self.read_before = None  # what the program had read before the keys not yet settled
        self.marks = 0
        self.tty_path = None
        shell_env = " ".join("%s=%s" % kv for kv in (env or {}).items())
        run = "%s LANG=%s %s %s '%s' %s %s" % (wrapper or "", lang, shell_env, " ".join(runner),
                                               self.binary, args, redirect)
        # Once the program has ended the shell marks the end of its output and stays: tmux
        # throws away what it has not yet read of a pane whose process ends, and the marker
        # tells when it has read everything. What stays reads the terminal until it is gone,
        # so it ends with the tmux server even where SIGHUP is ignored (trap '' HUP).
        command = "cd '%s' && %s; st=$?; %s; printf '%s'; echo $st > '%s'; exec cat > /dev/null" \
            % (self.dir, run, after or ":", END_MARK, self.status_file)
        # The pane must outlive a program that ends at once, so the option comes first.
        self._tmux("-f", "/dev/null", "start-server", ";", "set-option", "-g", "remain-on-exit",
                   "on", ";", "new-session", "-d", "-s", self.name, "-x", str(width), "-y",
                   str(height), "sh", "-c", command)

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
        self.hang_up()
        if self.own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    def keys(self, *keys, settle=True):
        """Sends each key in turn: names from KEYS, or literal text typed character by
        character. Waits for the screen to settle after each one."""
        for k in keys:
            self._about_to_send()
            if k in KEYS:
                self._tmux("send-keys", "-t", self.name, KEYS[k])
            else:
                self._tmux("send-keys", "-t", self.name, "-l", k)
            if settle:
                self.settle()  # a lone Escape has then been acted on, not held
            elif k == "Escape":
                # A lone Escape is told from the start of a key sequence by the pause after it.
                time.sleep(0.15)

    def escape(self):
        self.keys("Escape")

    def ready(self):
        """Waits for the editor's first screen to be drawn completely."""
        self.wait_for("CAN 29-bit ID")
        self.settle()

    def quit(self, answer, key="Escape"):
        """Ends the editing with `key`, answers the save question, returns the status."""
        self.keys(key)
        self.wait_for("Dow you want to save the data (Y/N)?")
        self.keys(answer)
        return self.wait_exit()

    def send_raw(self, text):
        """Sends text in one go, as fast as tmux can, without waiting."""
        self._about_to_send()
        self._tmux("send-keys", "-t", self.name, "-l", text)

    def lines(self):
        out = self._tmux("capture-pane", "-p", "-t", self.name)
        rows = out.split("\n")[: self.height]
        return rows + [""] * (self.height - len(rows))

    def styled(self):
        """The pane with its SGR colour sequences, one string per row."""
        return self._tmux("capture-pane", "-p", "-e", "-t", self.name).split("\n")

    def cell_styles(self):
        """Every cell of the pane, trailing blanks included, as (character, foreground,
        background, reverse): the colours as SGR numbers ("37", "40"; 256-colour numbers below
        16 as their 8-colour ones), None for the terminal's default."""
        out = self._tmux("capture-pane", "-p", "-e", "-N", "-t", self.name)
        fg = bg = None
        reverse = False
        rows = []
        for line in out.split("\n")[: self.height]:
            cells = []
            for token in re.split(r"(\x1b\[[0-9;:]*m)", line):
                if not token.startswith("\x1b["):
                    cells += [(c, fg, bg, reverse) for c in token]
                    continue
                codes, i = [int(c) if c else 0 for c in token[2:-1].split(";")], 0
                while i < len(codes):
                    c = codes[i]
                    if c in (38, 48) and codes[i + 1:i + 2] == [5]:
                        n = codes[i + 2]
                        colour = str(c - 8 + n if n < 8 else c + 52 + n - 8 if n < 16 else
                                     "%d;5;%d" % (c, n))
                        fg, bg = (colour, bg) if c == 38 else (fg, colour)
                        i += 2
                    elif c == 0:
                        fg, bg, reverse = None, None, False
                    elif c in (7, 27):
                        reverse = c == 7
                    elif c in (39, 49):
                        fg, bg = (None, bg) if c == 39 else (fg, None)
                    elif 30 <= c <= 37 or 90 <= c <= 97:
                        fg = str(c)
                    elif 40 <= c <= 47 or 100 <= c <= 107:
                        bg = str(c)
                    i += 1
            rows.append(cells)
        return rows

    def text(self):
        return "\n".join(self.lines())

    def cursor(self):
        """The terminal cursor as (column, row), 1-based like the editor's."""
        out = self._tmux("display-message", "-p", "-t", self.name, "#{cursor_x} #{cursor_y}")
        x, y = out.split()
        return int(x) + 1, int(y) + 1

    def settle(self, quiet=0.12, timeout=5.0):
        """Waits until the program has read every key sent, waits for the next one with no time
        limit, and the pane shows all it wrote. Where the system does not tell what the program
        waits in, until the pane has not changed for `quiet` seconds."""
        end = time.monotonic() + timeout
        while time.monotonic() < end and not self.exited():
            pid = self._program()
            waits = self._waits_for_keys(pid) if pid else False
            if waits is None:
                self._settle_quiet(quiet, end)
                break
            if waits and self._read_all(pid) and self._mark_shown(end):
                break
            time.sleep(0.01)
        self.read_before = None

    def _settle_quiet(self, quiet, end):
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

    def _program(self):
        """The process id of the running ulocfg in the pane's session, or None."""
        if self.program is not None and _proc(self.program, "stat", "Z").split(")")[-1].split()[
                0] not in "ZX":
            return self.program
        self.program = None
        leader = self._tmux("display-message", "-p", "-t", self.name, "#{pane_pid}").strip()
        found = subprocess.run(["pgrep", "-s", leader], capture_output=True, text=True).stdout
        binary = os.path.realpath(self.binary)
        for pid in map(int, found.split()):
            try:
                if os.path.realpath("/proc/%d/exe" % pid) == binary:
                    self.program = pid
            except OSError:
                pass
        return self.program

    def _waits_for_keys(self, pid):
        """Whether the program waits for the terminal with no time limit; None where the
        system does not say."""
        waits = KEY_WAITS.get(platform.machine())
        if not waits:
            return None
        fields = _proc(pid, "syscall", "").split()
        if not fields:  # not to be read here, or the program has just ended
            return None if os.path.exists("/proc/%d" % pid) else False
        if not fields[0].lstrip("-").isdigit() or int(fields[0]) not in waits:
            return False
        arg, no_limit = waits[int(fields[0])]
        return int(fields[1 + arg], 16) & 0xFFFFFFFF == no_limit

    def _about_to_send(self):
        pid = self._program()
        if pid and self.read_before is None:
            self.read_before = _read_count(pid)

    def _read_all(self, pid):
        """The program has read from the terminal since the keys were sent, and nothing of
        them waits to be read."""
        if self.read_before is not None and (_read_count(pid) or 0) <= self.read_before:
            return False
        try:
            with open(self.tty(), "rb", buffering=0, opener=_no_ctty) as tty:
                left = struct.unpack("i", fcntl.ioctl(tty, termios.FIONREAD, b"\0" * 4))[0]
        except OSError:
            return False
        return left == 0

    def _mark_shown(self, end):
        """Writes a mark into the pane's output after all the program wrote; true once tmux
        has read up to it."""
        self.marks += 1
        path = "ulocfg-settled-%d" % self.marks
        try:
            with open(self.tty(), "wb", buffering=0, opener=_no_ctty) as tty:
                tty.write(b"\030\033]7;%s\007" % path.encode())
        except OSError:
            return False
        return poll(lambda: self._tmux("display-message", "-p", "-t", self.name,
                                       "#{pane_path}").strip() == path,
                    max(end - time.monotonic(), 0.1))

    def tty(self):
        """The pane's terminal device."""
        if self.tty_path is None:
            self.tty_path = self._tmux("display-message", "-p", "-t", self.name,
                                       "#{pane_tty}").strip()
        return self.tty_path

    def wait_for(self, text, timeout=10.0):
        if not poll(lambda: text in self.text(), timeout):
            raise Failure("%r did not appear; the screen shows:\n%s" % (text, self.text()))

    def exited(self):
        return os.path.exists(self.status_file) and os.path.getsize(self.status_file) > 0

    def wait_exit(self, timeout=10.0):
        """The program's status, once the pane shows all the program wrote."""
        check(poll(self.exited, timeout), "ulocfg did not end; the screen shows:\n" + self.text())
        check(poll(self.shown_to_the_end, timeout),
              "the terminal did not show the end of the output; it shows:\n" + self.text())
        with open(self.status_file) as f:
            return int(f.read().strip())

    def shown_to_the_end(self):
        """tmux has read the pane's output up to the mark the shell writes after the program."""
        return self._tmux("display-message", "-p", "-t", self.name,
                          "#{pane_path}").strip() == END_PATH

    def pid(self):
        """The process id of ulocfg itself (the child of the pane's shell)."""
        shell = self._tmux("display-message", "-p", "-t", self.name, "#{pane_pid}").strip()
        children = poll(lambda: subprocess.run(["pgrep", "-P", shell], capture_output=True,
                                               text=True).stdout.split(), 5)
        check(children, "no ulocfg process")
        return int(children[0])

    def hang_up(self):
        """Takes the terminal away, as a closed terminal window or a dropped line does: the
        tmux server ends and the pane's terminal with it."""
        self._tmux("kill-server", check_rc=False)

    def signal(self, sig):
        """Sends `sig` to ulocfg alone; the pane's shell gets nothing."""
        os.kill(self.pid(), sig)

    def terminal_state(self):
        """What a program can change in the terminal besides its cells: the modes, the
        scrolling region and the title, by tmux format name."""
        values = self._tmux("display-message", "-p", "-t", self.name, "\t".join(
            "#{%s}" % n for n in TERMINAL_STATE)).rstrip("\n").split("\t")
        return dict(zip(TERMINAL_STATE, values))

    def terminal_state_left(self, name=".terminal-state"):
        """The terminal state that `after=state_snippet()` recorded once the program had
        ended, while the pane still lived (tmux hides the cursor of a dead pane)."""
        with open(os.path.join(self.dir, name)) as f:
            values = f.read().rstrip("\n").split("\t")
        return dict(zip(TERMINAL_STATE, values))

    def resize(self, width, height):
        """Resizes the pane; returns once its terminal has the new size. The program redraws
        in its own time: settle() or wait_for() waits for that."""
        if (width, height) != (self.width, self.height):
            self._about_to_send()  # the program reads the wake-up of its signal
        self._tmux("resize-window", "-t", self.name, "-x", str(width), "-y", str(height))
        self.width, self.height = width, height

        def resized():
            with open(self.tty(), "rb", buffering=0, opener=_no_ctty) as tty:
                rows, cols = struct.unpack("HHHH", fcntl.ioctl(tty, termios.TIOCGWINSZ,
                                                               b"\0" * 8))[:2]
            return (cols, rows) == (width, height)
        check(poll(resized, 5), "the pane was not resized to %dx%d" % (width, height))

    def file_bytes(self):
        with open(self.path, "rb") as f:
            return f.read()

    def saved_image(self):
        return parse_image(self.file_bytes().decode("latin-1"))


def _proc(pid, name, missing):
    """/proc/PID/NAME, or `missing` where it cannot be read."""
    try:
        with open("/proc/%d/%s" % (pid, name)) as f:
            return f.read()
    except OSError:
        return missing


def _read_count(pid):
    """The bytes a process has read so far (from the terminal, a pipe or a file), or None."""
    for line in _proc(pid, "io", "").splitlines():
        if line.startswith("rchar:"):
            return int(line.split()[1])
    return None


def _no_ctty(path, flags):
    return os.open(path, flags | os.O_NOCTTY | os.O_NONBLOCK)


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
    """The runs of a captured row (with SGR sequences) written in the highlight colour."""
    parts, red, open_run = [], False, False
    for token in re.split(r"(\x1b\[[0-9;]*m)", styled_row):
        if not token.startswith("\x1b["):
            if red and token:
                if open_run:
                    parts[-1] += token
                else:
                    parts.append(token)
                open_run = True
            continue
        codes, i = token[2:-1].split(";"), 0
        while i < len(codes):
            c = codes[i]
            if c == "38" and codes[i + 1:i + 2] == ["5"]:
                red, i = codes[i + 2:i + 3] in (["1"], ["9"]), i + 2
            elif c in ("31", "91"):
                red = True
            elif c in ("", "0") or (len(c) == 2 and c[0] == "3"):
                red = False
            i += 1
        open_run = open_run and red
    return parts


def check_image(got, want, what="saved image"):
    """Fails naming every address where `got` differs from `want`."""
    diff = ["%d: %02X, want %02X" % (a, got[a], want[a]) for a in range(2048) if got[a] != want[a]]
    check(not diff, "%s differs at %s" % (what, ", ".join(diff)))
