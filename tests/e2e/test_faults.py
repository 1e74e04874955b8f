"""Faults from outside while the real program runs: stop signals, a terminal resized under it,
saves that fail half-way, an exception escaping the run, and keys typed faster than it draws.
Every scenario checks the user's file and the terminal the program leaves behind."""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile

from harness import (OUT_OF_MEMORY_AT_THE_SAVE, PERMISSIONS_REFUSED, check, check_image, poll,
                     preloaded, red_text, rescues, row, run_tests, sample_and_edited, Session,
                     state_snippet, tests_in)

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
SAMPLE_BYTES, SAMPLE_IMAGE, EDITED, EDITED_BYTES = sample_and_edited(SAMPLE)

# The pane's terminal before and after the program (line settings, modes, title), recorded
# from inside the pane, to compare them.
BEFORE = "stty -g > .stty-before; %s;" % state_snippet(".terminal-before")
AFTER = "stty -g > .stty-after; stty -a > .stty-all; %s" % state_snippet(".terminal-after")
HARNESS_FILES = (".status", ".stty-before", ".stty-after", ".stty-all", ".terminal-before",
                 ".terminal-after")


def read(s, name):
    with open(os.path.join(s.dir, name)) as f:
        return f.read()


def check_terminal_given_back(s, what):
    """The terminal as the program found it: main screen, cursor shown, the same modes and
    title, the same line settings (cooked: line editing and echo on). A window resized since
    has its scrolling region down to its new last row."""
    before = s.terminal_state_left(".terminal-before")
    after = s.terminal_state_left(".terminal-after")
    before["scroll_region_lower"] = str(int(before["scroll_region_lower"]) + s.height -
                                        s.started_height)
    check(after["alternate_on"] == "0", "%s: still on the alternate screen" % what)
    check(after["cursor_flag"] == "1", "%s: cursor hidden" % what)
    check(after == before, "%s: terminal state\n was %s\n now %s" % (what, before, after))
    check(read(s, ".stty-after") == read(s, ".stty-before"),
          "%s: terminal settings not restored:\n%s" % (what, read(s, ".stty-all")))
    words = read(s, ".stty-all").split()
    check("icanon" in words and "echo" in words, "%s: not in cooked mode" % what)


def files_in(directory, ignore=()):
    return sorted(n for n in os.listdir(directory) if n not in ignore)


# -- stop signals ---------------------------------------------------------------------------

def at_field_edited(s):
    s.keys("7", "Down", "Space")  # last_menu 7, edit mode toggled: unsaved edits
    check(" Edit mode protected:      off" in s.text(), "edits shown:\n" + s.text())


def at_the_question(s):
    at_field_edited(s)
    s.escape()
    s.wait_for("Dow you want to save the data (Y/N)?")


def unedited(s):
    s.keys("Down", "Down")


def unedited_at_the_question(s):
    unedited(s)
    s.escape()
    s.wait_for("Dow you want to save the data (Y/N)?")


EDITS = (at_field_edited, at_the_question)


def check_file_kept(s, what, edited):
    """ulo.txt byte for byte; beside it a rescue copy of the edits, if there were any, and no
    other file. The rescue copy's name, or None."""
    check(s.file_bytes() == SAMPLE_BYTES, "%s: ulo.txt changed" % what)
    kept = rescues(s.dir)
    others = [n for n in files_in(s.dir, HARNESS_FILES) if n not in kept]
    check(others == ["ulo.txt"], "%s: files: %s" % (what, files_in(s.dir)))
    check(len(kept) == (1 if edited else 0), "%s: rescue copies: %s" % (what, kept))
    for name in kept:
        with open(os.path.join(s.dir, name), "rb") as f:
            check(f.read() == EDITED_BYTES, "%s: the rescue copy is not the edited image" % what)
    return kept[0] if kept else None


def test_stop_signals_restore_the_terminal_and_keep_the_file():
    # Each signal with and without edits, each place the program waits for a key at least once.
    for sig, where in ((signal.SIGTERM, at_field_edited), (signal.SIGHUP, at_the_question),
                       (signal.SIGINT, at_the_question), (signal.SIGTERM, unedited_at_the_question),
                       (signal.SIGHUP, unedited), (signal.SIGINT, unedited),
                       (signal.SIGQUIT, at_field_edited), (signal.SIGUSR1, at_the_question),
                       (signal.SIGALRM, unedited)):
        what = "%s %s" % (signal.Signals(sig).name, where.__name__)
        with Session(BINARY, SAMPLE, wrapper=BEFORE, after=AFTER) as s:
            s.ready()
            where(s)
            s.signal(sig)
            got = s.wait_exit()
            check(got == 128 + sig, "%s: status %d" % (what, got))
            rescue = check_file_kept(s, what, where in EDITS)
            # The terminal is still there: standard error says where the edits are.
            said = "ulocfg: edits not saved, kept in %s" % rescue
            check((said in s.text()) == (rescue is not None), "%s: says:\n%s" % (what, s.text()))
            check(rescue is None or "ulocfg: to compare: ulocfg diff ulo.txt %s" % rescue
                  in s.text(), "%s: says:\n%s" % (what, s.text()))
            check_terminal_given_back(s, what)


def process_state(pid):
    """The state letter of a process (Z for one that has ended but is not reaped), or None."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None


def test_a_real_hangup_ends_the_program_without_touching_the_file():
    # The terminal itself goes away: the program must end, not spin on a dead terminal.
    # With SIGHUP ignored (nohup) only the terminal's end of input tells.
    for wrapper, where in ((None, at_field_edited), ("trap '' HUP;", at_the_question),
                           (None, unedited)):
        what = "%s%s" % (where.__name__, ", SIGHUP ignored" if wrapper else "")
        with Session(BINARY, SAMPLE, wrapper=wrapper) as s:
            s.ready()
            where(s)
            pid = s.pid()
            s.hang_up()
            if not poll(lambda: process_state(pid) in (None, "Z"), 10):
                os.kill(pid, signal.SIGKILL)  # leave no stray process behind
                check(False, "%s: still running after the hangup" % what)
            check_file_kept(s, what, where in EDITS)


# -- resize ---------------------------------------------------------------------------------

def test_resize_to_60x20_shows_the_notice_and_back_restores_the_screen():
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        # last_menu 7; to field 4, configuration 3; to its name, two characters typed over.
        s.keys("7", "Down", "Down", "3", "Right", "Ab")
        s.settle()
        before, styled, cursor = s.lines(), s.styled(), s.cursor()
        check(row(before, 8).startswith(' Wheel speed config no.:     3         "Ab'),
              "edits shown: %r" % row(before, 8))
        check(red_text(styled[7]) != [], "the name is highlighted: %r" % styled[7])

        s.resize(60, 20)
        s.wait_for("80x21")
        s.settle()
        check("Last menu used" not in s.text(), "notice only:\n" + s.text())
        # Typed blind at the notice: thrown away, not applied to a screen nobody sees.
        s.keys("Z")
        s.resize(80, 25)
        s.wait_for("CAN 29-bit ID")
        s.settle()
        check(s.lines() == before, "screen after the resize:\n%s" % s.text())
        check(s.styled()[:25] == styled[:25], "colours differ after the resize")
        check(s.cursor() == cursor, "cursor %s, was %s" % (s.cursor(), cursor))

        s.keys("c")  # the name cursor goes on where it was
        check(s.quit("y") == 0, "status 0")
        saved = s.saved_image()
    expected = list(SAMPLE_IMAGE)
    expected[0], expected[3], expected[1056:1059] = 7, 2, list(b"Abc")
    check_image(saved, expected)


def test_ctrl_c_at_the_notice_ends_the_program_as_sigint_does():
    # The window made too small with and without edits, or too small from the start.
    for where, height in ((at_field_edited, 25), (at_the_question, 25), (unedited, 25),
                          (None, 20)):
        what = "%s at %d rows" % (where.__name__ if where else "from the start", height)
        with Session(BINARY, SAMPLE, width=60 if where is None else 80, height=height,
                     wrapper=BEFORE, after=AFTER) as s:
            if where:
                s.ready()
                where(s)
                s.resize(60, 20)
            s.wait_for("or press")
            check("Ctrl+C to quit" in s.text().replace("\n", " "), "%s: notice:\n%s" % (
                what, s.text()))
            s.keys("Ctrl+C")
            got = s.wait_exit()
            check(got == 130, "%s: status %d" % (what, got))
            rescue = check_file_kept(s, what, where in EDITS)
            said = "ulocfg: edits not saved, kept in %s" % rescue
            check((said in s.text().replace("\n", "")) == (rescue is not None),
                  "%s: says:\n%s" % (what, s.text()))
            check_terminal_given_back(s, what)


# -- saves that fail half-way ---------------------------------------------------------------

def edit_and_save(s):
    s.ready()
    at_field_edited(s)
    return s.quit("y")


def check_failed_save(s, directory, others, what, rescue_in=None):
    """The old file byte for byte, no file left over, the edits in a rescue copy in
    `rescue_in`, or, when None, none written anywhere and the user told so."""
    got = edit_and_save(s)
    check(got == 1, "%s: status %d" % (what, got))
    check(" Error: Cannot write ulo.txt !" in s.text(), "%s: message:\n%s" % (what, s.text()))
    with open(os.path.join(directory, "ulo.txt"), "rb") as f:
        check(f.read() == SAMPLE_BYTES, "%s: the old ulo.txt is not byte-identical" % what)
    left = files_in(directory, HARNESS_FILES)
    beside = rescues(directory) if rescue_in == directory else []
    check(left == sorted(["ulo.txt"] + others + beside), "%s: files left behind: %s" % (
        what, left))
    if rescue_in is None:
        check(" Your edits could not be kept in a rescue file!" in s.text(),
              "%s: message:\n%s" % (what, s.text()))
    else:
        kept = rescues(rescue_in)
        check(len(kept) == 1 and (beside or files_in(rescue_in) == kept),
              "%s: rescue folder holds %s" % (what, files_in(rescue_in)))
        with open(os.path.join(rescue_in, kept[0]), "rb") as f:
            check(f.read() == EDITED_BYTES, "%s: the rescue copy is not the edited image" % what)
        # A copy beside the file is named as the file is, here without a folder.
        named = kept[0] if beside else os.path.join(rescue_in, kept[0])
        check(" Your edits are kept in %s" % named in s.text().replace("\n", ""),
              "%s: message:\n%s" % (what, s.text()))
    check_terminal_given_back(s, what)


def test_save_beyond_the_file_size_limit_keeps_the_old_file():
    # dash counts ulimit -f in blocks of 512 bytes: 4 KiB, half of the 8338-byte file.
    check(len(SAMPLE_BYTES) > 8 * 512, "the sample must not fit the limit")
    # The rescue copy cannot be written either: the limit holds for every file.
    with Session(BINARY, SAMPLE, wrapper=BEFORE + " ulimit -f 8;", after=AFTER,
                 env={"TMPDIR": "."}) as s:
        check_failed_save(s, s.dir, [], "file size limit")


def test_a_new_file_refused_its_permissions_is_removed_and_the_old_file_kept():
    # The new file is made and written in full, then cannot be given the old one's mode.
    env = preloaded(PERMISSIONS_REFUSED)
    if not env:
        print("skip refused permissions: no C++ compiler to build the library that refuses them")
        return
    with Session(BINARY, SAMPLE, env=env, wrapper=BEFORE, after=AFTER) as s:
        check_failed_save(s, s.dir, [], "permissions refused", s.dir)


def test_save_on_a_full_file_system_keeps_the_old_file():
    top = tempfile.mkdtemp(prefix="ulocfg-e2e-")
    fs = os.path.join(top, "fs")
    os.mkdir(fs)
    r = shutil.which("mount") and subprocess.run(
        ["mount", "-t", "tmpfs", "-o", "size=64k,mode=0755", "tmpfs", fs], capture_output=True)
    try:
        if not r or r.returncode != 0:
            print("skip full file system (no small tmpfs here: %s)" % (r and r.stderr))
            return
        with open(os.path.join(fs, "ulo.txt"), "wb") as f:
            f.write(SAMPLE_BYTES)
        # Fill it up to one free page: room to start the new file, not to finish it.
        st = os.statvfs(fs)
        with open(os.path.join(fs, "filler"), "wb") as f:
            f.write(b"\0" * (st.f_bavail * st.f_frsize - 4096))
        st = os.statvfs(fs)
        check(0 < st.f_bavail * st.f_frsize < len(SAMPLE_BYTES), "free space left")
        # No room for the rescue copy beside the file: it goes to the temporary folder.
        tmp = os.path.join(top, "tmp")
        os.mkdir(tmp)
        with Session(BINARY, workdir=top, wrapper=BEFORE + " cd fs;",
                     after="cd ..; " + AFTER, env={"TMPDIR": tmp}) as s:
            check_failed_save(s, fs, ["filler"], "full file system", tmp)
    finally:
        subprocess.run(["umount", fs], check=False, capture_output=True)
        shutil.rmtree(top, ignore_errors=True)


# -- an exception escaping the run ----------------------------------------------------------

def test_an_exception_gives_the_terminal_back_and_says_why():
    env = preloaded(OUT_OF_MEMORY_AT_THE_SAVE)
    if not env:
        print("skip exception: no C++ compiler to build the library that fails the allocation")
        return
    with Session(BINARY, SAMPLE, env=env, wrapper=BEFORE, after=AFTER) as s:
        got = edit_and_save(s)
        check(got == 4, "status %d" % got)
        check("ulocfg: std::bad_alloc" in s.text(), "message:\n" + s.text())
        rescue = check_file_kept(s, "exception", True)
        check("ulocfg: edits not saved, kept in %s" % rescue in s.text(), "says:\n" + s.text())
        check_terminal_given_back(s, "exception")


# -- keys faster than the screen ------------------------------------------------------------

# The bytes a terminal sends for the keys.
SEQ = {"Up": "\x1b[A", "Down": "\x1b[B", "Right": "\x1b[C", "Left": "\x1b[D",
       "Home": "\x1b[1~", "End": "\x1b[4~", "PageUp": "\x1b[5~", "PageDown": "\x1b[6~",
       "Delete": "\x1b[3~", "Enter": "\r", "Space": " ", "Backspace": "\x7f"}


def burst_keys():
    """200 keys: a walk that edits values, flags, a wheel name, a ramp point and the CAN
    identifier, then a fixed pseudo-random tail over the same keys. No lone Escape."""
    walk = ("7 Down Space Down 1 2 Right F a s t Backspace ! Delete Enter 5 Down 2 0 Down Space "
            "Down 3 3 Enter 1 2 3 4 Enter PageUp PageUp Enter - End Up 4 5 0 0 Down Down a B c "
            "Right 9 Home Down Down Down Right Down 2 5 Enter PageDown").split()
    rng = random.Random(20240607)
    choices = list("0123456789abcdefABCDEF-") + list(SEQ)
    tail = [rng.choice(choices) for _ in range(200 - len(walk))]
    return [SEQ.get(k, k) for k in walk + tail]


def run_keys(keys, at_once):
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        if at_once:
            s.send_raw("".join(keys))
        else:
            for k in keys:
                s.send_raw(k)
                s.settle(quiet=0.08)
        s.settle(quiet=0.5, timeout=30)
        screen = (s.lines(), s.cursor())
        check(s.quit("y", "Alt+X") == 0, "status 0")
        return screen, s.saved_image()


def test_a_burst_of_200_keys_saves_what_the_same_keys_one_by_one_save():
    keys = burst_keys()
    slow_screen, slow = run_keys(keys, at_once=False)
    fast_screen, fast = run_keys(keys, at_once=True)
    changed = sum(a != b for a, b in zip(slow, SAMPLE_IMAGE))
    check(changed >= 10, "only %d bytes changed: the keys prove too little" % changed)
    check(fast_screen == slow_screen, "screens differ:\n%s\n--- one by one:\n%s" % (
        "\n".join(fast_screen[0]), "\n".join(slow_screen[0])))
    check_image(fast, slow, "the burst's image (want: one by one)")


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
