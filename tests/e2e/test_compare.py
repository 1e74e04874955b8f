"""The editor compared with another image (--compare REF) or with the file as loaded
(--changes), in a real terminal: which cells are yellow, what stands right of the title box,
where F6 and Shift+F6 go, what F5 stores (saved, and read back with `get`), and what the help
says at 30 rows. REF differs from the sample in three parameters: one general (the LIS lower
threshold), one of the configuration shown (its crank offset) and one ramp point's (the speed of
point 3, not the point shown at first)."""
import os
import re
import subprocess
import sys

import harness
from harness import (Scratch, Session, check, check_image, format_image, parse_image, run_tests,
                     tests_in)

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())

harness.KEYS.update({"F5": "F5", "F6": "F6", "Shift+F6": "S-F6"})

REF = list(SAMPLE_IMAGE)
REF[11:13] = [900 % 256, 900 // 256]          # lis_lower_threshold 800 mV -> 900 mV
REF[67:69] = [60, 0]                          # wheel[1].crank_offset 120.0 -> 6.0 deg
REF[510 + 2 * 3:512 + 2 * 3] = [0x28, 0x23]  # ramp[3].speed 4000 -> 4500 rpm (9000 stored)

# The values that differ, as the screen shows them: (row, first column, text).
LIS = (21, 27, " 800")
OFFSET = (13, 66, "120.0")
SPEED = (12, 27, "4000")  # shown once ramp point 3 is

# Field cursors: (column, row) of the terminal cursor in each field.
LAST_MENU, LIS_FIELD, OFFSET_FIELD, SPEED_FIELD = (30, 5), (30, 21), (70, 13), (30, 12)

YELLOW = "93"


def runs(session, marked):
    """The runs of cells `marked(fg, underlined)` picks, as (row, first column, text), from
    the top row down."""
    found = []
    for y, line in enumerate(session.styled()[: session.height], 1):
        fg, under, x, run = None, False, 0, None
        for token in re.split(r"(\x1b\[[0-9;:]*m)", line):
            if token.startswith("\x1b["):
                codes = [int(c) if c else 0 for c in token[2:-1].split(";")]
                i = 0
                while i < len(codes):
                    c = codes[i]
                    if c in (38, 48) and codes[i + 1:i + 2] == [5]:
                        n = codes[i + 2]
                        if c == 38:
                            fg = str(30 + n if n < 8 else 82 + n) if n < 16 else None
                        i += 2
                    elif c == 0:
                        fg, under = None, False
                    elif c in (4, 24):
                        under = c == 4
                    elif c == 39 or 30 <= c <= 37 or 90 <= c <= 97:
                        fg = None if c == 39 else str(c)
                    i += 1
                continue
            for ch in token:
                x += 1
                if marked(fg, under):
                    if run and run[1] + len(run[2]) == x:
                        run[2] += ch
                    else:
                        run = [y, x, ch]
                        found.append(run)
        # a run of blanks that ends the row is cut off where the terminal leaves them unstyled
    return [tuple(r) for r in found]


def yellow(s):
    return runs(s, lambda fg, under: fg == YELLOW)


def underlined(s):
    return runs(s, lambda fg, under: under)


def box(s):
    """What stands right of the title box: columns 64 to 80 of rows 1 to 3."""
    return [line[63:].rstrip() for line in s.lines()[:3]]


def get(path, *names):
    r = subprocess.run([BINARY, "get", "--value", "--file", path] + list(names),
                       capture_output=True, text=True)
    return r.returncode, r.stdout.splitlines()


# Each row: what it shows, the command line after the program, the environment, and its steps:
# the keys typed, then the yellow runs, the cursor, and the box right of the title.
TABLE = [
    ("--compare marks the values that differ, F6 goes to them in field order",
     "edit ulo.txt --compare ref.txt", {}, [
         ([], [LIS, OFFSET], LAST_MENU, ["ref.txt", "3", "3 differ"]),
         (["F6"], [OFFSET], LIS_FIELD, ["ref.txt", "900 mV", "3 differ"]),
         (["F6"], [LIS], OFFSET_FIELD, ["ref.txt", "6.0 \u00b0Crank", "3 differ"]),
         # on to ramp point 3, whose speed differs: the point shown steps to it
         (["F6"], [LIS, OFFSET], SPEED_FIELD, ["ref.txt", "4500 rpm", "3 differ"]),
         (["F6"], [OFFSET, SPEED], LIS_FIELD, ["ref.txt", "900 mV", "3 differ"]),  # round
         (["Shift+F6"], [LIS, OFFSET], SPEED_FIELD, ["ref.txt", "4500 rpm", "3 differ"]),
         (["Shift+F6"], [LIS, SPEED], OFFSET_FIELD, ["ref.txt", "6.0 \u00b0Crank", "3 differ"]),
         # F5 takes the crank offset alone; nothing else of REF comes with it
         (["F5"], [LIS, SPEED], OFFSET_FIELD, ["ref.txt", "6.0 \u00b0Crank", "2 differ"]),
         (["F6"], [LIS], SPEED_FIELD, ["ref.txt", "4500 rpm", "2 differ"]),
     ]),
    ("--changes marks an edit and a value corrected on leaving, F5 puts the loaded one back",
     "--changes", {}, [
         (["7", "Down"], [(5, 29, " 7")], (31, 6), ["ulo.txt", "on", "1 differs"]),
         (["Up", "F5"], [], LAST_MENU, ["ulo.txt", "3", "none differ"]),
         # down to the VSS pulse width and on: its 10 ms becomes 670 ms on leaving
         (["Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down"],
          [(15, 27, " 670")], (30, 17), ["ulo.txt", "4", "1 differs"]),
         (["Shift+F6"], [], (30, 15), ["ulo.txt", "10 ms", "1 differs"]),
         (["F5"], [], (30, 15), ["ulo.txt", "10 ms", "none differ"]),
     ]),
    ("without the options F5, F6 and Shift+F6 do nothing and nothing stands beside the title",
     "", {}, [
         (["7"], [], LAST_MENU, ["", "", ""]),
         (["F5", "F6", "Shift+F6"], [], LAST_MENU, ["", "", ""]),
     ]),
    ("NO_COLOR: the values that differ are underlined", "--compare ref.txt", {"NO_COLOR": "1"}, [
        ([], [], LAST_MENU, ["ref.txt", "3", "3 differ"]),
    ]),
]


def test_the_table():
    for what, args, env, steps in TABLE:
        with Scratch() as d:
            d.copy("ulo.txt", SAMPLE)
            d.write("ref.txt", REF)
            with Session(BINARY, workdir=d.dir, args=args, env=env) as s:
                s.ready()
                for keys, marked, cursor, beside in steps:
                    shown = s.text()
                    s.keys(*keys)
                    at = "%s, after %s" % (what, " ".join(keys) or "the start")
                    check(yellow(s) == sorted(marked), "%s: yellow %r" % (at, yellow(s)))
                    check(s.cursor() == cursor, "%s: cursor %s" % (at, s.cursor(),))
                    check(box(s) == beside, "%s: beside the title %r" % (at, box(s)))
                if not args:  # the keys of the last step changed nothing
                    check(s.text() == shown, "%s: the screen changed:\n%s" % (what, s.text()))
                if env:
                    check(underlined(s) == [OFFSET, LIS], "%s: underlined %r" % (
                        what, underlined(s)))
                check(s.quit("n") == 0, "%s: status 0" % what)
            check(d.read("ulo.txt") == open(SAMPLE, "rb").read(), "%s: ulo.txt changed" % what)
            check(d.image("ref.txt") == REF, "%s: ref.txt changed" % what)


def test_f5_is_saved():
    """F5 on the crank offset, then the save: the file holds REF's offset and nothing else of
    REF, and `get` reads it back."""
    with Scratch() as d:
        path = d.copy("ulo.txt", SAMPLE)
        d.write("ref.txt", REF)
        with Session(BINARY, workdir=d.dir, args="--compare ref.txt") as s:
            s.ready()
            s.keys("F6", "F6", "F5")
            check(s.quit("y") == 0, "status 0")
        want = list(SAMPLE_IMAGE)
        want[67:69] = REF[67:69]
        check_image(d.image("ulo.txt"), want)
        got = get(path, "wheel[1].crank_offset", "lis_lower_threshold", "ramp[3].speed")
        check(got == (0, ["6.0", "800", "4000"]), "get: %r" % (got,))


def test_the_help_at_30_rows():
    with Scratch() as d:
        d.copy("ulo.txt", SAMPLE)
        d.write("ref.txt", REF)
        with Session(BINARY, workdir=d.dir, args="--compare ref.txt", height=30) as s:
            s.ready()
            s.keys("F6")
            help_rows = [line.rstrip() for line in s.lines()[26:]]
            check(help_rows == ["lis_lower_threshold: 0..5000 mV",
                                "digits type up to 5000; Delete drops one",
                                "in ref.txt: 900 mV", ""], "help %r" % help_rows)
            s.keys("Escape")
            s.wait_for("Dow you want to save the data (Y/N)?")
            help_rows = [line.rstrip() for line in s.lines()[26:]]
            check(help_rows == ["3 differ from ref.txt (its value -> now):",
                                "lis_lower_threshold: 900 mV -> 800 mV",
                                "wheel[1].crank_offset: 6.0 deg -> 120.0 deg",
                                "ramp[3].speed: 4500 rpm -> 4000 rpm"], "at the question %r" %
                  help_rows)
            s.keys("n")
            check(s.wait_exit() == 0, "status 0")


def test_a_reference_that_cannot_be_loaded():
    # REF, the status, the message below the title box
    for ref, status, message in (("missing.txt", 1, " Error: Cannot open missing.txt !"),
                                 ("bad.txt", 2, " EEPROM textfile incorrect: bad.txt !")):
        with Scratch() as d:
            d.copy("ulo.txt", SAMPLE)
            with open(d.path("bad.txt"), "w") as f:
                f.write(format_image(REF)[:-4])  # 2047 bytes
            with Session(BINARY, workdir=d.dir, args="--compare " + ref) as s:
                check(s.wait_exit() == status, "%s: status" % ref)
                check(s.lines()[4].rstrip() == message, "%s: %r" % (ref, s.lines()[:6]))
            check(d.read("ulo.txt") == open(SAMPLE, "rb").read(), "%s: ulo.txt changed" % ref)


def test_lines_the_options_do_not_go_with():
    # the command line, the message (status 7, the command line is wrong)
    for args, message in (
            (["show", "--compare", "ref.txt"], "show has no --compare"),
            (["diff", "ulo.txt", "ref.txt", "--changes"], "diff has no --changes"),
            (["edit", "--compare", "ref.txt", "--changes"],
             "edit takes --compare or --changes, not both"),
            (["--compare", "a", "--compare", "b"], "--compare is given twice"),
            (["edit", "--compare"], "--compare needs a file name")):
        with Scratch() as d:
            d.copy("ulo.txt", SAMPLE)
            d.write("ref.txt", REF)
            r = subprocess.run([BINARY] + args, cwd=d.dir, capture_output=True, text=True,
                               stdin=subprocess.DEVNULL)
            check((r.returncode, r.stderr.splitlines()[:1]) == (7, ["ulocfg: " + message]),
                  "%s: status %d, %r" % (" ".join(args), r.returncode, r.stderr))


run_tests(tests_in(dict(globals())))
