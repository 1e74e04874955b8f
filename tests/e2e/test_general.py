"""The general settings edited in a real terminal, saved, and read back at their addresses."""
import sys

from harness import Session, check, check_image, parse_image, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())


def pair(value):
    return [value & 0xFF, value >> 8]


def expect_row(s, y, text):
    check(text in row(s.lines(), y), "row %d should hold %r:\n%s" % (y, text, s.text()))


# What the session below leaves in the image: address -> bytes from there on.
EDITED = {
    0: [10],                  # last_menu: "5", "3" clamps at 10
    1: [25],                  # brightness: "3" stores 15, Page Up 25
    2: [50],                  # contrast: 100 toggled to 50
    5: pair(2468),            # max_poti_speed: 1234 rpm stored doubled, a fifth digit refused
    7: [0xFF],                # edit mode bit set, bits 1-7 kept
    8: [1],                   # lis_inversion toggled on
    9: pair(5000),            # lis_upper_threshold: "9999" clamps at 5000
    11: pair(7),              # lis_lower_threshold: "7" replaces 800
    13: [4],                  # tdc_cyl: "6" limited to the 4 cylinders despite write protection
    16: pair(31),             # first_high_frequency: 31 stays on leaving
    18: pair(0),              # second_high_frequency: 25 becomes 0 (off) on leaving
    32: pair(2401),           # vss_pulses_per_km: "5", then Escape raises it to 2401
    34: pair(670),            # vss_pulse_width: 100 raised to 670 on leaving
    36: pair(1),              # aux_speed_pulses: 0 becomes 1 on leaving
    38: pair(100),            # aux_speed_pulse_width: "101" clamps at 100
    64: [0x24],               # wheel 1: write protection set on its 4 cylinders
}


def test_general_fields_edited_and_saved():
    expected = list(SAMPLE_IMAGE)
    for address, data in EDITED.items():
        expected[address:address + len(data)] = data
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        s.keys("5", "3")                                  # field 0
        expect_row(s, 5, "Last menu used:            10")
        s.keys("Enter", "Space")                          # field 1
        expect_row(s, 6, "Edit mode protected:      off")
        s.keys("Enter", "3", "PageUp")                    # field 2
        expect_row(s, 5, "Brightness:                  40 %")
        s.keys("Enter", "Space")                          # field 3
        expect_row(s, 6, "Contrast:                   low")
        s.keys("Enter", "Enter", "Space")                 # through field 4 to field 19
        s.keys("Right", "6")                              # field 6
        expect_row(s, 9, "TDC cyl.:        4")
        check(s.cursor() == (57, 9), "cursor on the TDC cylinder: %s" % (s.cursor(),))
        s.keys("Left", "Enter", "1", "2", "3", "4", "5")  # back to 19, on to field 7
        expect_row(s, 10, "Max Poti Speed:          1234 rpm")
        s.keys("End", "2", "5", "Up")                     # field 18, left for 17
        expect_row(s, 23, "Second High Frequency:        0 Hz")
        s.keys("3", "1", "Left")                          # field 17, left for 15
        expect_row(s, 22, "First High Frequency:        31 Hz")
        s.keys("9", "9", "9", "9", "Up", "7", "Up")       # fields 15 and 14
        s.keys("Space", "Up", "1", "0", "1", "Up")        # fields 13 and 12
        s.keys("0", "Up", "1", "0", "0", "Up", "5")       # fields 11, 10 and 9
        expect_row(s, 14, "VSS Pulses per km:          5")
        check(s.cursor() == (30, 14), "cursor in field 9: %s" % (s.cursor(),))
        s.escape()
        s.wait_for("Dow you want to save the data (Y/N)?")
        expect_row(s, 14, "VSS Pulses per km:       2401")  # raised on leaving
        expect_row(s, 15, "VSS Pulswidth:            670 ms")
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        check_image(s.saved_image(), expected)


run_tests(tests_in(dict(globals())))
