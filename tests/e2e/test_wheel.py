"""The wheel configuration fields in a real terminal: choose a configuration, rename it, change
its values, save, and read the bytes back from the saved file."""
import sys

from harness import Session, check, format_image, parse_image, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]


def record(data, n):
    return data[64 + 16 * n:80 + 16 * n]


def name(data, n):
    return bytes(data[1024 + 16 * n:1040 + 16 * n]).decode("latin-1")


def sample():
    with open(SAMPLE) as f:
        return parse_image(f.read())


def check_only_changed(before, after, allowed):
    for a in range(2048):
        if a not in allowed:
            check(after[a] == before[a], "address %d changed: %02X -> %02X" % (a, before[a], after[a]))


def test_edit_configuration_2_and_save():
    before = sample()
    with Session(BINARY, SAMPLE) as s:
        s.wait_for("CAN 29-bit ID")
        s.keys("Down", "Down", "2")  # field 4: configuration 2
        check(row(s.lines(), 8).startswith(" Wheel speed config no.:     2         \"36-1 Crank      \""),
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
        check(row(lines, 8).endswith('"VR6/Crank      2"            6 Cyl.'), "row 8: %r" % row(lines, 8))
        check(row(lines, 15).endswith("Gap Pulses:     -2  No Gaps:  3"), "row 15: %r" % row(lines, 15))
        check(row(lines, 17).endswith("Cam Pulses:     12  Width:   13 \u00b0Cam"), "row 17: %r" % row(lines, 17))
        check(row(lines, 20).endswith("Sync Pulses:    -1"), "row 20: %r" % row(lines, 20))
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        after = s.saved_image()
    check(after[3] == 1, "wheel_select 1: %d" % after[3])
    check(name(after, 1) == "VR6/Crank      2", "name 2: %r" % name(after, 1))
    want = [0x46, 15, 36, 75, 0, 0x0F, 0x0E, 45, 0xE3, 12, 0x2C, 0x01, 0, 0, 141, 0xFF]
    check(record(after, 1) == want, "record 2: %s" % " ".join("%02X" % b for b in record(after, 1)))
    allowed = {3} | set(range(80, 96)) | set(range(1040, 1056))
    check_only_changed(before, after, allowed)
    check(record(after, 0) == record(before, 0) and name(after, 0) == name(before, 0),
          "configuration 1 unchanged")


def test_escape_raises_a_zero_crank_pulse_count():
    with Session(BINARY, SAMPLE) as s:
        s.wait_for("CAN 29-bit ID")
        # field 0 -> 1 -> 4 -> 5 -> 20 -> 21 -> 33 -> 22
        s.keys("Down", "Down", "Right", "Enter", "Down", "Enter", "Down", "0")
        check("Crank Pulses:    0" in s.text(), "0 shown while typed")
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        check(record(s.saved_image(), 0)[2] == 1, "crank_pulses 1")


def test_a_selection_above_24_from_the_file_works_on_configuration_25():
    before = sample()
    before[3] = 200
    with Session(BINARY, content=format_image(before)) as s:
        s.wait_for("CAN 29-bit ID")
        check(row(s.lines(), 8).startswith(" Wheel speed config no.:    25"), "25 shown")
        s.keys("Down", "Down", "Right", "Zz", "Enter", "5")
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        after = s.saved_image()
    check(after[3] == 200, "the selection is kept as loaded: %d" % after[3])
    check(name(after, 24) == "Zz" + name(before, 24)[2:], "name 25: %r" % name(after, 24))
    check(record(after, 24)[0] == (before[64 + 16 * 24] & 0xE0) | 5, "cylinders of configuration 25")
    check_only_changed(before, after, {64 + 16 * 24, 1024 + 16 * 24, 1025 + 16 * 24})


if __name__ == "__main__":
    run_tests(tests_in(globals()))
