"""The editor of the Windows program under Wine against the Linux one: both run in tmux panes
of the same size on the same file and get the same keys; after each key the Windows pane must
show what the Linux pane shows (text, highlight, cursor), and in the end the statuses and the
files must be the same.

    ULOCFG_RUNNER=wine64 ULOCFG_LINUX=ulocfg python3 windows_editor.py ulocfg.exe ulo.txt
"""
import os
import re
import shutil
import signal
import sys
import tempfile

import harness
from harness import (LINUX_PROGRAM, RUNNER, Session, check, poll, red_text, rescues, run_tests,
                     tests_in)

WINDOWS, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
with open(SAMPLE, "rb") as f:
    SAMPLE_BYTES = f.read()
CRLF = SAMPLE_BYTES.replace(b"\n", b"\r\n")
# Wine starts slower than the Linux program.
WINE_WAIT = 30


def pair(height=25, content=SAMPLE_BYTES, wrapper=None):
    """The Linux program and the Windows one, each in a pane of its own on the same file."""
    return (Session(LINUX_PROGRAM, content=content, height=height, wrapper=wrapper),
            Session(WINDOWS, content=content, height=height, runner=RUNNER, wrapper=wrapper))


def screen(s):
    """What a pane shows: its rows, the runs of highlighted text and the cursor."""
    # A blank cell ending a row is cut off where the terminal has it in its own colours.
    return s.lines(), [[t.rstrip() for t in red_text(r)] for r in s.styled()[: s.height]], \
        s.cursor()


def same_screen(linux, windows, what):
    """Waits for the Linux program to take the keys, then for the Windows pane to show the
    same; fails showing both."""
    linux.settle()
    want = screen(linux)
    if not poll(lambda: screen(windows) == want, WINE_WAIT):
        got = screen(windows)
        raise AssertionError("%s: the Windows program shows\n%s\ncursor %s, highlight %s\n"
                             "the Linux one\n%s\ncursor %s, highlight %s" % (
                                 what, "\n".join(got[0]), got[2], got[1], "\n".join(want[0]),
                                 want[2], want[1]))


def both_ready(linux, windows):
    linux.ready()
    windows.wait_for("CAN 29-bit ID", WINE_WAIT)
    same_screen(linux, windows, "the first screen")


def type_both(linux, windows, keys):
    for k in keys:
        linux.keys(k)
        windows.keys(k, settle=False)
        same_screen(linux, windows, "after %s" % k)


def ends_alike(linux, windows, what, linux_status=0, windows_status=0):
    got = linux.wait_exit(), windows.wait_exit(WINE_WAIT)
    check(got == (linux_status, windows_status), "%s: statuses %s" % (what, got))
    check(windows.lines() == linux.lines(), "%s: left on the screen:\n%s\nby Linux:\n%s" % (
        what, windows.text(), linux.text()))
    check(windows.file_bytes() == linux.file_bytes(), "%s: ulo.txt differs" % what)


def test_the_sample_edited_and_saved():
    linux, windows = pair()
    with linux, windows:
        both_ready(linux, windows)
        # Not Home and End: Wine's console does not know the terminal's sequences for them.
        type_both(linux, windows, ["7", "Down", "Down", "Right", "PageDown", "Up", "5", "PageUp",
                                   "Alt+X"])
        windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
        type_both(linux, windows, ["y"])
        ends_alike(linux, windows, "saved")
        check(windows.file_bytes() != SAMPLE_BYTES, "the edits were saved")


def test_every_field():
    # Every field, reached by the moves the Linux program makes: in a field not met before a
    # digit and Page Up, its rule on both programs; then Enter, or where the field was met
    # before the next move not yet taken from it, until all 42 fields were met. Then saved.
    linux, windows = pair()
    with linux, windows:
        both_ready(linux, windows)
        taken = {}  # where the cursor stood: the moves made from there
        while len(taken) < 42:
            moves = taken.setdefault(linux.cursor(), [])
            check(len(moves) < 5, "no way on from %s after %d fields" % (linux.cursor(),
                                                                          len(taken)))
            if not moves:
                type_both(linux, windows, ["3", "PageUp"])
            move = next(m for m in ("Enter", "Down", "Right", "Up", "Left") if m not in moves)
            moves.append(move)
            type_both(linux, windows, [move])
        type_both(linux, windows, ["Alt+X"])
        windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
        type_both(linux, windows, ["y"])
        ends_alike(linux, windows, "every field")


def test_the_save_question():
    # key that ends the editing, the answer, the file before, the file after
    for key, answer, before, after in (("Escape", "y", SAMPLE_BYTES, SAMPLE_BYTES),
                                       ("Escape", "n", CRLF, CRLF),
                                       ("Alt+X", "Y", CRLF, CRLF)):
        what = "%s, %s" % (key, answer)
        linux, windows = pair(content=before)
        with linux, windows:
            both_ready(linux, windows)
            type_both(linux, windows, [key])
            windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
            type_both(linux, windows, [answer])
            ends_alike(linux, windows, what)
            check(windows.file_bytes() == after, "%s: ulo.txt holds the wrong bytes" % what)


def test_fit_and_help_area():
    # Wine's console takes the terminal's size when the program starts, not later: each size
    # from the start. 21 to 24 rows leave out blank rows, 20 shows the notice, 27 and more the
    # help lines below the screen (F1 on the field, then the next field).
    for height in (24, 23, 22, 21, 27, 30):
        linux, windows = pair(height=height)
        with linux, windows:
            both_ready(linux, windows)
            type_both(linux, windows, ["F1", "Down", "Escape"])
            windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
            type_both(linux, windows, ["n"])
            ends_alike(linux, windows, "%d rows" % height)
    linux, windows = pair(height=20)
    with linux, windows:
        windows.wait_for("or press", WINE_WAIT)
        same_screen(linux, windows, "20 rows")


def test_rescue_on_ctrl_c():
    # Ctrl+C reaches the Windows program as its control event (Wine's console leaves the
    # terminal's Ctrl+C a signal, which it passes on as that event; the pane's shell lives on),
    # SIGINT the Linux one: both keep the edits in a rescue copy and say where. Linux ends by
    # the signal (130 from the shell); Windows with the status of a run cut short.
    linux, windows = pair(wrapper="trap : INT;")
    with linux, windows:
        both_ready(linux, windows)
        type_both(linux, windows, ["7"])
        linux.signal(signal.SIGINT)
        windows.keys("Ctrl+C", settle=False)
        got = linux.wait_exit(), windows.wait_exit(WINE_WAIT)
        check(got == (130, 3), "statuses %s" % (got,))
        copies = rescues(linux.dir), rescues(windows.dir)
        check([len(c) for c in copies] == [1, 1], "rescue copies %s" % (copies,))
        kept = [s.file_bytes() for s in (linux, windows)]
        check(kept == [SAMPLE_BYTES] * 2, "ulo.txt was changed")
        with open(os.path.join(linux.dir, copies[0][0]), "rb") as a, \
                open(os.path.join(windows.dir, copies[1][0]), "rb") as b:
            check(a.read() == b.read() != SAMPLE_BYTES, "the rescue copies differ")

        def said(s, name):
            return re.sub(r"\s+", " ", s.text().replace(name, "RESCUE"))
        check(said(windows, copies[1][0]) == said(linux, copies[0][0]),
              "left on the screen:\n%s\nby Linux:\n%s" % (windows.text(), linux.text()))


# ---- Compared with a reference: edit --compare REF, --changes --------------------------------

def compared_pair(args, env=None):
    """The two programs with `args`, each in a folder of its own holding the sample as ulo.txt
    and as ref.txt the sample with three other values: the LIS lower threshold (general), the
    crank offset of the configuration shown, the speed of ramp point 3; as bad.txt no image.
    Returns the folders and what removes them."""
    harness.KEYS.update({"F5": "F5", "F6": "F6", "Shift+F6": "S-F6"})
    ref = harness.parse_image(SAMPLE_BYTES.decode("latin-1"))
    ref[11:13], ref[67:69], ref[516:518] = [0x84, 0x03], [60, 0], [0x28, 0x23]
    folders = [tempfile.mkdtemp(prefix="ulocfg-e2e-") for _ in range(2)]
    for folder in folders:
        with open(os.path.join(folder, "ref.txt"), "w", encoding="latin-1") as f:
            f.write(harness.format_image(ref))
        with open(os.path.join(folder, "bad.txt"), "w", encoding="latin-1") as f:
            f.write(harness.format_image(ref)[:-4])  # 2047 bytes
    sessions = (Session(LINUX_PROGRAM, content=SAMPLE_BYTES, workdir=folders[0], args=args,
                        env=env),
                Session(WINDOWS, content=SAMPLE_BYTES, workdir=folders[1], args=args, env=env,
                        runner=RUNNER))
    return folders, sessions, lambda: [shutil.rmtree(f, ignore_errors=True) for f in folders]


def coloured_runs(styled_row, colours):
    """The runs of a captured row written in one of `colours` (SGR foreground numbers)."""
    parts, on, x, last = [], False, 0, None
    for token in re.split(r"(\x1b\[[0-9;:]*m)", styled_row):
        if token.startswith("\x1b["):
            codes, i = token[2:-1].split(";"), 0
            while i < len(codes):
                c = codes[i]
                if c == "38" and codes[i + 1:i + 2] == ["5"]:
                    n = int(codes[i + 2])
                    on, i = n < 16 and str(30 + n if n < 8 else 82 + n) in colours, i + 2
                elif c in ("", "0", "39") or (len(c) == 2 and c[0] in "39"):
                    on = c in colours
                i += 1
            continue
        for ch in token:
            x += 1
            if on and last == x - 1:
                parts[-1][1] += ch
            elif on:
                parts.append([x, ch])
            last = x if on else last
    # from the first character that is no blank: where a terminal styles blanks varies
    return [(x + len(t) - len(t.lstrip()), t.strip()) for x, t in parts if t.strip()]


def marked_screen(s, colours=("33", "93")):
    """What a pane shows, and the runs of each row in yellow."""
    return screen(s), [coloured_runs(r, colours) for r in s.styled()[: s.height]]


def type_compared(linux, windows, keys):
    for k in keys:
        linux.keys(k)
        windows.keys(k, settle=False)
        linux.settle()
        want = marked_screen(linux)
        check(poll(lambda: marked_screen(windows) == want, WINE_WAIT),
              "after %s: the Windows program shows\n%s\nyellow %s\nthe Linux one\n%s\nyellow %s"
              % (k, windows.text(), marked_screen(windows)[1], linux.text(), want[1]))


def test_compared_with_a_reference():
    # the command line, the keys, the answer at the save question, what ulo.txt then holds
    for args, keys, answer in (
            ("--compare ref.txt", ["F6", "F6", "F6", "F6", "Shift+F6", "Shift+F6", "F5", "F6",
                                   "Alt+X"], "y"),
            ("edit ulo.txt --changes", ["7", "Down", "Up", "F5", "Down", "Down", "Down", "Down",
                                        "Down", "Down", "Down", "Down", "Down", "Shift+F6", "F5",
                                        "Escape"], "n"),
            ("", ["7", "F5", "F6", "Shift+F6", "Escape"], "n")):
        folders, (linux, windows), remove = compared_pair(args)
        try:
            with linux, windows:
                both_ready(linux, windows)
                type_compared(linux, windows, keys)
                windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
                type_compared(linux, windows, [answer])
                ends_alike(linux, windows, args)
                saved = windows.file_bytes()
                check((saved != SAMPLE_BYTES) == (answer == "y"), "%s: saved %r" % (args, answer))
        finally:
            remove()


def test_a_reference_that_cannot_be_loaded():
    # The Windows program runs in a console window of its own under Wine, as from Explorer:
    # after its message it asks for a key before the window closes.
    prompt = "Press any key to close this window."
    for args, status in (("--compare missing.txt", 1), ("--compare bad.txt", 2)):
        folders, (linux, windows), remove = compared_pair(args)
        try:
            with linux, windows:
                windows.wait_for(prompt, WINE_WAIT)
                windows.keys("x", settle=False)
                got = linux.wait_exit(), windows.wait_exit(WINE_WAIT)
                check(got == (status, status), "%s: statuses %s" % (args, got))
                shown = ["" if line == prompt else line for line in windows.lines()]
                check(shown == linux.lines(), "%s: left on the screen:\n%s\nby Linux:\n%s" % (
                    args, windows.text(), linux.text()))
        finally:
            remove()


def test_no_color_marks_bright():
    # Wine's console shows neither reverse video nor underlines: the values that differ stand
    # out there by their brightness alone.
    folders, (linux, windows), remove = compared_pair("--compare ref.txt", {"NO_COLOR": "1"})
    try:
        with linux, windows:
            both_ready(linux, windows)
            bright = poll(lambda: marked_screen(windows, ("97",))[1][12:21:8] == [
                [(66, "120.0")], [(28, "800")]], WINE_WAIT)
            check(bright, "the Windows program marks %s" % marked_screen(windows, ("97",))[1])
            type_both(linux, windows, ["Escape"])
            windows.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
            type_both(linux, windows, ["n"])
            ends_alike(linux, windows, "NO_COLOR")
    finally:
        remove()


run_tests(tests_in(dict(globals())))
