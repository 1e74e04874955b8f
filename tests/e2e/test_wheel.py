"""The wheel configuration fields in a real terminal: choose a configuration, rename it, change
its values, save, and read the bytes back from the saved file."""
import sys

from harness import Session, check, check_image, parse_image, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_IMAGE = parse_image(f.read())


def test_edit_configuration_2_and_save():
    with Session(BINARY, SAMPLE) as s:
        s.ready()
        s.keys("Down", "Down", "2")  # field 4: configuration 2
        check(row(s.lines(), 8).startswith(' Wheel speed config no.:     2         "36-1 Crank      "'),
              "configuration 2 shown: %r" % row(s.lines(), 8))
        s.keys("Right", "VR6&")  # "&" is stored as "/"
        check('"VR6/ Crank      "' in row(s.lines(), 8), "name typed over: %r" % row(s.lines(), 8))
        check(s.cursor() == (45, 8), "name cursor on character 5: %s" % (s.cursor(),))
        s.keys("Delete", "End", "2")
        check(s.cursor() == (56, 8), "name cursor stays on character 16: %s" % (s.cursor(),))
        s.keys("Enter", "6")                 # field 20: cylinders
        s.keys("Down", "15")                 # field 21: tdc_width
        s.keys("Down", "Space")              # field 34: crank_flag
        s.keys("Down", "45")                 # field 23: crank_width, 4.5 degrees
        s.keys("Enter", "75")                # field 24: crank_offset 7.5 degrees
        s.keys("Enter", "3600")              # field 25: gap_phase, cut to 359.9
        s.keys("Enter", "PageDown", "PageDown")  # field 27: gap_pulses -2
        s.keys("Enter", "3")                 # field 26: gap_count
        s.keys("Enter", "12")                # field 28: cam_pulses
        s.keys("Enter", "135")               # field 29: cam_width, 13 whole degrees
        s.keys("Enter", "999")               # field 30: cam_offset, cut to 3600 / 12
        s.keys("Enter", "Enter", "-")        # field 32: sync_pulses -1
        lines = s.lines()
        for y, end in ((8, '"VR6/Crank      2"            6 Cyl.'),
                       (15, "Gap Pulses:     -2  No Gaps:  3"),
                       (17, "Cam Pulses:     12  Width:   13 \u00b0Cam"), (20, "Sync Pulses:    -1")):
            check(row(lines, y).endswith(end), "row %d: %r" % (y, row(lines, y)))
        check(s.quit("y") == 0, "status 0")
        saved = s.saved_image()
    want = list(SAMPLE_IMAGE)  # configuration 1 and every other byte unchanged
    want[3] = 1  # wheel_select: configuration 2
    want[80:96] = [0x46, 15, 36, 75, 0, 0x0F, 0x0E, 45, 0xE3, 12, 0x2C, 0x01, 0, 0, 141, 0xFF]
    want[1040:1056] = list(b"VR6/Crank      2")
    check_image(saved, want)


run_tests(tests_in(dict(globals())))
