"""The first screen of the sample in a real terminal, cell for cell."""
import os
import sys

from harness import Session, check, red_text, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]

# The screen the device's manual shows for the sample's first configuration.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                       "example_screen.txt"), encoding="utf-8") as f:
    EXAMPLE = f.read().split("\n")[:25]


def test_first_screen_of_the_sample():
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        lines = s.lines()
        for y in range(1, 26):
            check(row(lines, y) == EXAMPLE[y - 1],
                  "row %d:\n got  %r\n want %r" % (y, row(lines, y), EXAMPLE[y - 1]))
        check(s.cursor() == (30, 5), "cursor on field 0's second digit: %s" % (s.cursor(),))
        red = [(y, red_text(r)) for y, r in enumerate(s.styled()[:25], 1) if red_text(r)]
        check(red == [(5, [" 3"])], "only field 0 in light red: %r" % red)
        check(s.quit("n") == 0, "status 0")


def test_too_small_terminal_shows_a_notice_until_it_is_large_enough():
    with Session(BINARY, SAMPLE, width=60, height=20) as s:
        s.wait_for("80x21")
        s.resize(80, 25)
        s.ready()
        check(row(s.lines(), 12) == EXAMPLE[11], "full screen back:\n" + s.text())
        check(s.cursor() == (30, 5), "cursor %s" % (s.cursor(),))
        check(s.quit("n") == 0, "status 0")


def colours_in(rows):
    """The (foreground, background, reverse) styles of the cells, each with the first cell
    (column, row) showing it."""
    styles = {}
    for y, cells in enumerate(rows, 1):
        for x, (_, fg, bg, reverse) in enumerate(cells, 1):
            styles.setdefault((fg, bg, reverse), (x, y))
    return styles


def test_black_behind_the_whole_window_whatever_the_theme():
    # A window wider and taller than the screen: the free columns and the help area too.
    with Session(BINARY, SAMPLE, width=90, height=31) as s:
        s.ready()
        rows = s.cell_styles()
        check(len(rows) == 31 and all(len(r) == 90 for r in rows), "cells: %s" % (
            [len(r) for r in rows],))
        styles = colours_in(rows)
        check(set(styles) == {("37", "40", False), ("91", "40", False)},
              "light grey and light red on black only: %s" % styles)
        check("".join(c for c, fg, _, _ in rows[4] if fg == "91") == " 3",
              "the highlight: %r" % rows[4])
        # The notice, on a window too small, is on black as well.
        s.resize(60, 20)
        s.wait_for("or press")
        s.settle()
        styles = colours_in(s.cell_styles())
        check(set(styles) == {("37", "40", False)}, "the notice: %s" % styles)
        s.resize(90, 31)
        s.ready()
        check(s.quit("n") == 0, "status 0")


def test_no_color_shows_the_highlight_in_reverse_video():
    with Session(BINARY, SAMPLE, height=30, env={"NO_COLOR": "1"}) as s:
        s.ready()
        rows = s.cell_styles()
        styles = colours_in(rows)
        check(set(styles) == {(None, None, False), (None, None, True)},
              "no colours, reverse video: %s" % styles)
        check(["".join(c for c, _, _, rev in r if rev) for r in rows[:25]] ==
              [""] * 4 + [" 3"] + [""] * 20, "reverse video on field 0 only")
        check(row(s.lines(), 27) == "last_menu: 0..10", "help: %r" % row(s.lines(), 27))
        check(s.quit("n") == 0, "status 0")
        # The screen left behind has no colours either.
        styles = colours_in(s.cell_styles())
        check(set(styles) == {(None, None, False)}, "left behind: %s" % styles)


run_tests(tests_in(dict(globals())))
