"""The first screen of the sample in a real terminal, cell for cell."""
import sys

from harness import Session, check, red_text, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]

EXAMPLE = [
    " ╔═══════════════════════════════════════════════════════════╗",
    " ║ EEPROM Configtool for ULO SW V2.4.x                       ║",
    " ╚═══════════════════════════════════════════════════════════╝",
    "",
    " Last menu used:             3         Brightness:                 100 %",
    " Edit mode protected:       on         Contrast:                  high",
    "",
    " Wheel speed config no.:     1         \"60-2 Crank      \"            4 Cyl.",
    " Write protection:          no         TDC cyl.:        1  Width:   30 °Cam",
    " Max Poti Speed:          6000 rpm     Inversion Cam:  no  Crank:   no",
    " Number of Ramp Points:      5",
    " 01: Time:  2.50s  Speed: 1000 rpm     Crank Pulses:   60  Width:  3.0 °Crank",
    "                                       Offset Crank to TDC:      120.0 °Crank",
    " VSS Pulses per km:       4000         Phase Gap to TDC:           0.0 °Crank",
    " VSS Pulswidth:             10 ms      Gap Pulses:      1  No Gaps:  2",
    "",
    " Aux Speed Pulses/Rot.:      4         Cam Pulses:      1  Width:  3.0 °Cam",
    " Aux Speed Pulswidth:       50 %       Offset Cam to TDC:          0.0 °Cam",
    "                                       Phase Sync to TDC:         90.0 °Cam",
    " LIS Inversion:           norm         Sync Pulses:     1",
    " LIS Lower Threshold:      800 mV",
    " LIS Upper Threshold:     3600 mV      First High Frequency:         0 Hz",
    " Kickdown Threshold:      4000 mV      Second High Frequency:     1000 Hz",
    "",
    " CAN 29-bit ID:    18 DA F1 10 hex",
]


def test_first_screen_of_the_sample():
    with Session(BINARY, SAMPLE) as s:
        s.wait_for("CAN 29-bit ID")
        s.settle()
        lines = s.lines()
        for y in range(1, 26):
            check(row(lines, y) == EXAMPLE[y - 1],
                  "row %d:\n got  %r\n want %r" % (y, row(lines, y), EXAMPLE[y - 1]))
        check(s.cursor() == (30, 5), "cursor on field 0's second digit: %s" % (s.cursor(),))
        styled = s.styled()
        check(red_text(styled[4]) == [" 3"], "field 0 in light red: %r" % red_text(styled[4]))
        for y in range(1, 26):
            if y != 5:
                check(red_text(styled[y - 1]) == [], "row %d has no red" % y)
        s.escape()
        s.wait_for("Dow you want")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")


def test_too_small_terminal_shows_a_notice_until_it_is_large_enough():
    with Session(BINARY, SAMPLE, width=60, height=20) as s:
        s.wait_for("80x25")
        s.resize(80, 25)
        s.wait_for("CAN 29-bit ID")
        s.settle()
        check(row(s.lines(), 12) == EXAMPLE[11], "full screen back:\n" + s.text())
        check(s.cursor() == (30, 5), "cursor %s" % (s.cursor(),))
        s.escape()
        s.wait_for("Dow you want")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")


run_tests(tests_in(dict(globals())))
