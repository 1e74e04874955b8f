"""The editor in the terminals people have: 80x24 and down to 80x21 without the screen's blank
rows, the notice below that, resizing between them, the rows below the screen, and the editor
on a file named on the command line."""
import os
import shutil
import sys
import tempfile

from harness import Session, check, parse_image, red_text, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                       "example_screen.txt"), encoding="utf-8") as f:
    EXAMPLE = f.read().split("\n")[:25]

# The rows of the 80x25 screen a terminal of each height leaves out: always blank ones.
LEFT_OUT = {25: [], 24: [4], 23: [4, 7], 22: [4, 7, 16], 21: [4, 7, 16, 24]}
QUESTION = "Dow you want to save the data (Y/N)?"


def on_terminal(height, y):
    """The terminal row that shows row y of the screen."""
    return y - sum(1 for r in LEFT_OUT[height] if r < y)


def shown(height, rows):
    """The 25 rows of a screen as a terminal of `height` rows shows them."""
    return [r.rstrip() for y, r in enumerate(rows, 1) if y not in LEFT_OUT[height]]


def check_screen(s, height, rows, what):
    got = [r.rstrip() for r in s.lines()]
    want = shown(height, rows)
    diff = ["row %d: %r, want %r" % (y, g, w) for y, (g, w) in enumerate(zip(got, want), 1)
            if g != w]
    check(len(got) == height and not diff, "%s at %d rows:\n%s" % (what, height, "\n".join(diff)))


def saved_with(s, changes):
    image = list(SAMPLE_IMAGE)
    for address, value in changes.items():
        image[address] = value
    got = s.saved_image()
    check(got == image,
          "saved image differs at %s" % [a for a in range(2048) if got[a] != image[a]])


def test_editor_on_24_and_21_rows_edits_and_saves():
    # 23 and 22 rows lie between these two; the unit tests check the rows each leaves out.
    for height in (24, 21):
        with Session(BINARY, SAMPLE, height=height) as s:
            s.ready()
            check_screen(s, height, EXAMPLE, "first screen")
            check(s.cursor() == (30, on_terminal(height, 5)), "cursor %s" % (s.cursor(),))
            red = [(y, red_text(r)) for y, r in enumerate(s.styled()[:height], 1) if red_text(r)]
            check(red == [(on_terminal(height, 5), [" 3"])], "highlight %r" % red)
            # Field 0 to 7, End to Second High Frequency (row 23): the cursor follows.
            s.keys("7", "End")
            check(s.cursor() == (70, on_terminal(height, 23)), "End: cursor %s" % (s.cursor(),))
            s.keys("Escape")
            s.wait_for(QUESTION)
            last = row(s.lines(), height)
            check(last.startswith(" CAN 29-bit ID:    18 DA F1 10 hex") and last.endswith(QUESTION),
                  "the question on the last row: %r" % last)
            check(s.cursor() == (77, height), "cursor behind the question %s" % (s.cursor(),))
            s.keys("y")
            check(s.wait_exit() == 0, "status 0")
            saved_with(s, {0: 7})


def test_notice_below_21_rows_then_the_editor_at_21():
    with Session(BINARY, SAMPLE, height=20) as s:
        s.wait_for("ulocfg needs a terminal of at least 80x21")
        check("Last menu used" not in s.text(), "notice only:\n" + s.text())
        s.resize(80, 21)
        s.ready()
        check_screen(s, 21, EXAMPLE, "after the resize")
        s.keys("5")
        check(s.quit("y") == 0, "status 0")
        saved_with(s, {0: 5})


def test_resize_from_25_to_24_rows_and_back():
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        s.keys("7", "Enter")  # last_menu 7, on to Edit mode protected
        before, cursor = s.lines(), s.cursor()
        s.resize(80, 24)
        s.settle()
        check_screen(s, 24, before, "resized to 80x24")
        check(s.cursor() == (cursor[0], cursor[1] - 1), "cursor %s, was %s" % (s.cursor(), cursor))
        s.keys("Space")  # edit mode protected: on -> off, made at 24 rows
        edited = row(s.lines(), on_terminal(24, 6))
        check(edited.startswith(" Edit mode protected:      off"), "toggled: %r" % edited)
        s.resize(80, 25)
        s.settle()
        after = s.lines()
        check(after[:5] == before[:5] and after[6:] == before[6:] and row(after, 6) == edited,
              "back at 80x25:\n" + s.text())
        check(s.cursor() == cursor, "cursor %s, was %s" % (s.cursor(), cursor))
        check(s.quit("y") == 0, "status 0")
        saved_with(s, {0: 7, 7: SAMPLE_IMAGE[7] | 1})


# A field of each group with a value changed: the keys, then the help rows 26 to 29.
HELP_CASES = [
    (("Enter",) * 9 + ("Down", "5"), [
        "vss_pulses_per_km: 2401..50000",
        "digits type up to 50000; Delete drops one; at least 2401 on leaving",
        "in the file: 4000"]),
    (("Enter",) * 9 + ("Right", "Right", "3"), [
        "wheel[1].crank_pulses: 1..120",
        "digits type up to 120; Delete drops one; at least 1 on leaving",
        "in the file: 60"]),
    (("Enter",) * 9 + ("3",), [
        "ramp[1].time: 0.00..99.99 s",
        "digits type up to 99.99, no further; Delete drops one",
        "in the file: 2.50 s"]),
    (("Up", "Right", "a"), [
        "can_id = 180AF110, byte 2 of 4, 00..FF",
        "hexadecimal digits type the byte (0-9, A-F), Delete drops one",
        "in the file: 18DAF110"]),
]


def test_help_below_the_screen_for_the_current_field():
    with Session(BINARY, SAMPLE, height=30) as s:
        s.ready()
        for keys, help_lines in HELP_CASES:
            s.keys(*keys)
            lines = [r.rstrip() for r in s.lines()]
            check(lines[:4] == [r.rstrip() for r in EXAMPLE[:4]], "title box:\n" + s.text())
            want = ["\u2500" * 80] + help_lines + [""] * (4 - len(help_lines))
            check(lines[25:] == want, "rows 26 to 30 after %s: %r" % (keys, lines[25:]))
            s.keys("Escape")  # the question: the rows below the screen are erased
            lines = [r.rstrip() for r in s.lines()]
            check(row(lines, 25).endswith(QUESTION) and lines[25:] == [""] * 5,
                  "rows 25 to 30 at the question after %s: %r" % (keys, lines[24:]))
            s.keys("Escape")  # back to field 0, edits kept
        check(s.quit("n") == 0, "status 0")
    # Where the window has fewer than 27 rows, nothing is shown below the screen.
    with Session(BINARY, SAMPLE, height=26) as s:
        s.ready()
        s.keys("5")
        check(s.lines()[25].strip() == "", "row 26: %r" % s.lines()[25])
        check(s.quit("n") == 0, "status 0")


def test_alt_keys_in_eight_bit_meta_form():
    # xterm as it comes sends Alt+c as the character U+0080 + c: Alt+7 is U+00B7, Alt+X ø.
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        s.keys("7", "Down", "Down", "3", "Right", "\u00b7", "\u00f8")
        s.wait_for(QUESTION)
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        saved_with(s, {0: 7, 3: 2, 1056: ord("{")})


def test_edit_names_the_file():
    top = tempfile.mkdtemp(prefix="ulocfg-e2e-")
    try:
        os.makedirs(os.path.join(top, "cars", "a"))
        target = os.path.join(top, "cars", "a", "ulo.txt")
        for args, digit in (("edit cars/a/ulo.txt", "4"), ("--file cars/a/ulo.txt", "6")):
            shutil.copyfile(SAMPLE, target)
            with Session(BINARY, workdir=top, args=args) as s:
                s.ready()
                s.keys(digit)
                check(s.quit("y") == 0, "%s: status 0" % args)
                with open(target) as f:
                    check(parse_image(f.read())[0] == int(digit), "%s: not saved" % args)
            made = sorted(os.path.relpath(os.path.join(d, f), top) for d, _, files in os.walk(top)
                          for f in files if f != ".status")
            check(made == ["cars/a/ulo.txt"], "%s: files made: %s" % (args, made))
        with Session(BINARY, workdir=top, args="edit cars/b/ulo.txt") as s:
            check(s.wait_exit() == 1, "missing file: status 1")
            check(" Error: Cannot open cars/b/ulo.txt !" in s.text(), "message:\n" + s.text())
    finally:
        shutil.rmtree(top, ignore_errors=True)


run_tests(tests_in(dict(globals())))
