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


run_tests(tests_in(dict(globals())))
