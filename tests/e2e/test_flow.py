"""The run of the real program in a terminal: loading, the save question, saving, statuses."""
import os
import stat
import subprocess
import sys

from harness import Session, check, format_image, parse_image, row, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE) as f:
    SAMPLE_TEXT = f.read()
SAMPLE_IMAGE = parse_image(SAMPLE_TEXT)
TITLE = " ║ EEPROM Configtool for ULO SW V2.4.x                       ║"


def tokens(count):
    return "ULO EEPROM Memory:" + "".join(
        ("\n" if a % 16 == 0 else "") + "%02Xh " % (a % 256) for a in range(count))


def test_missing_file_shows_the_error_after_the_end():
    with Session(BINARY) as s:
        check(s.wait_exit() == 1, "status 1")
        lines = s.lines()
        check(TITLE in lines, "the title box stays visible:\n" + s.text())
        check(" Error: Cannot open ulo.txt !" in s.text(), "message:\n" + s.text())


def test_incorrect_files_end_with_status_two():
    for content in ["", tokens(2047), tokens(2049), tokens(2048).replace("ULO EEPROM Memory:", "")]:
        with Session(BINARY, content=content) as s:
            check(s.wait_exit() == 2, "status 2 for %d bytes" % len(content))
            check(" EEPROM textfile incorrect!" in s.text(), s.text())
            check(s.file_bytes() == content.encode(), "file untouched")


def test_escape_then_y_rewrites_the_file_byte_identically():
    with Session(BINARY, SAMPLE) as s:
        s.wait_for("Last menu used")
        s.escape()
        s.wait_for("Dow you want to save the data (Y/N)?")
        s.keys("y")
        check(s.wait_exit() == 0, "status 0")
        check(s.file_bytes() == SAMPLE_TEXT.encode(), "byte-identical")


def test_escape_then_n_leaves_the_file_untouched():
    other = SAMPLE_TEXT.replace("\n", "\r\n")  # loads the same, but would change on a save
    with Session(BINARY, content=other.encode()) as s:
        s.wait_for("Last menu used")
        mtime = os.stat(s.path).st_mtime_ns
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")
        check(s.file_bytes() == other.encode(), "untouched")
        check(os.stat(s.path).st_mtime_ns == mtime, "not rewritten")
        check("Dow you want to save the data (Y/N)? n" in s.text(), "question stays visible")


def test_alt_x_ends_the_editing_like_escape():
    other = SAMPLE_TEXT.replace("\n", "\r\n")
    with Session(BINARY, content=other.encode()) as s:
        s.wait_for("Last menu used")
        s.keys("Alt+X")
        s.wait_for("Dow you want to save")
        s.keys("Y")
        check(s.wait_exit() == 0, "status 0")
        check(s.file_bytes() == SAMPLE_TEXT.encode(), "saved in the editor's format")


def test_escape_at_the_question_returns_to_the_editor():
    with Session(BINARY, SAMPLE) as s:
        s.wait_for("Last menu used")
        s.escape()
        s.wait_for("Dow you want to save")
        s.escape()
        s.settle()
        check("Dow you want" not in s.text(), "question erased:\n" + s.text())
        check(s.cursor() == (30, 5), "back on field 0, cursor %s" % (s.cursor(),))
        check(not s.exited(), "still running")
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")


def test_read_only_file_refuses_the_save():
    with Session(BINARY, SAMPLE) as s:
        os.chmod(s.path, 0o444)
        s.wait_for("Last menu used")
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("y")
        check(s.wait_exit() == 1, "status 1")
        check(" Error: Cannot open ulo.txt !" in s.text(), s.text())
        check(s.file_bytes() == SAMPLE_TEXT.encode(), "unchanged")


def test_write_failure_keeps_the_old_file():
    # dash counts ulimit -f in blocks of 512 bytes: 4 KiB, half the file.
    with Session(BINARY, SAMPLE, wrapper="ulimit -f 8;") as s:
        s.wait_for("Last menu used")
        s.keys("Right", "Down")  # wander a little; nothing is changed by the moves alone
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("y")
        check(s.wait_exit() == 1, "status 1")
        check(" Error: Cannot write ulo.txt !" in s.text(), s.text())
        check(s.file_bytes() == SAMPLE_TEXT.encode(), "old file byte-identical")
        check(os.listdir(s.dir) == ["ulo.txt", ".status"] or sorted(os.listdir(s.dir)) ==
              [".status", "ulo.txt"], "no temporary file left: %s" % os.listdir(s.dir))


def test_without_a_terminal():
    r = subprocess.run([BINARY], stdin=subprocess.DEVNULL, capture_output=True,
                       start_new_session=True, timeout=10)
    check(r.returncode == 3, "status %d" % r.returncode)
    check(r.stderr == b"ulocfg: needs an interactive terminal\n", r.stderr)


def test_redirected_streams_change_nothing():
    with Session(BINARY, SAMPLE, redirect="</dev/null >/dev/null 2>&1") as s:
        s.wait_for("Last menu used")
        s.escape()
        s.wait_for("Dow you want to save")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")


run_tests(tests_in(dict(globals())))
