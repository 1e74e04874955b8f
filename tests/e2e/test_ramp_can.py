"""The speed ramp and the CAN identifier edited in a real terminal, saved and read back."""
import sys

from harness import (Session, check, check_image, format_image, parse_image, red_text, row,
                     run_tests, tests_in)

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())


def pair(data, low, value):
    data[low], data[low + 1] = value & 0xFF, value >> 8


def test_five_points_and_the_can_identifier_are_saved():
    # The sample with two ramp points in use and another CAN identifier.
    data = list(SAMPLE_IMAGE)
    data[4] = 2
    data[1536:1540] = [0x04, 0x03, 0x02, 0x01]
    with Session(BINARY, content=format_image(data)) as s:
        s.ready()
        s.keys("Enter", "Down", "Enter", "Enter", "Enter")  # fields 1, 4, 5, 7, 8
        check(s.cursor() == (30, 11), "on the ramp point count, cursor %s" % (s.cursor(),))
        s.keys("5", "Enter", "1", "Enter", "1234", "Right", "1500")
        check(row(s.lines(), 12).startswith(" 01: Time: 12.34s  Speed: 1500 rpm"), s.text())
        s.keys("Enter", "5")
        check(red_text(s.styled()[11]) == ["05"], "point 5 highlighted: %r" % s.styled()[11])
        s.keys("Enter", "99999", "Right", "2500")  # the fifth digit of the time is refused
        check(row(s.lines(), 12).startswith(" 05: Time: 99.99s  Speed: 2500 rpm"), s.text())
        # "F1" in one piece would be the function key
        s.keys("Home", "Up", "18", "Enter", "da", "Right", "F", "1", "Enter", "10")
        check(row(s.lines(), 25) == " CAN 29-bit ID:    18 DA F1 10 hex", s.text())
        check(s.quit("y") == 0, "status 0")
        saved = s.saved_image()

    data[4] = 5
    pair(data, 512, 3000)  # point 1: 1500 rpm, stored doubled
    pair(data, 710, 1234)  # and 12.34 s
    pair(data, 520, 5000)  # point 5: 2500 rpm
    pair(data, 718, 9999)  # and 99.99 s
    data[1536:1540] = [0x10, 0xF1, 0xDA, 0x18]
    check_image(saved, data)


run_tests(tests_in(dict(globals())))
