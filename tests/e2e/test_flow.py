"""The run of the real program in a terminal: loading, the save question, saving, statuses."""
import os
import subprocess
import sys

from harness import Session, check, run_tests, tests_in

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE, "rb") as f:
    SAMPLE_BYTES = f.read()
# Loads like the sample but would change on a save.
CRLF = SAMPLE_BYTES.replace(b"\n", b"\r\n")
TITLE = " ║ EEPROM Configtool for ULO SW V2.4.x                       ║"


def tokens(count):
    return "ULO EEPROM Memory:" + "".join(
        ("\n" if a % 16 == 0 else "") + "%02Xh " % (a % 256) for a in range(count))


def test_missing_file_shows_the_error_after_the_end():
    with Session(BINARY) as s:
        check(s.wait_exit() == 1, "status 1")
        check(TITLE in s.lines(), "the title box stays visible:\n" + s.text())
        check(" Error: Cannot open ulo.txt !" in s.text(), "message:\n" + s.text())


def test_incorrect_files_end_with_status_two():
    for content in ["", tokens(2047), tokens(2049), tokens(2048).replace("ULO EEPROM Memory:", "")]:
        with Session(BINARY, content=content) as s:
            check(s.wait_exit() == 2, "status 2 for %d bytes" % len(content))
            check(" EEPROM textfile incorrect!" in s.text(), s.text())
            check(s.file_bytes() == content.encode(), "file untouched")


def test_the_save_question():
    # key that ends the editing, the answer, the file before, the file after
    cases = [("Escape", "y", SAMPLE_BYTES, SAMPLE_BYTES),  # byte-identical rewrite
             ("Escape", "n", CRLF, CRLF),
             ("Alt+X", "Y", CRLF, CRLF)]                   # its line breaks kept
    for key, answer, before, after in cases:
        what = "%s, %s" % (key, answer)
        with Session(BINARY, content=before) as s:
            s.ready()
            mtime = os.stat(s.path).st_mtime_ns
            check(s.quit(answer, key) == 0, "%s: status 0" % what)
            check(s.file_bytes() == after, "%s: ulo.txt holds the wrong bytes" % what)
            check(answer != "n" or os.stat(s.path).st_mtime_ns == mtime, "n: rewritten")
            check("Dow you want to save the data (Y/N)? " + answer in s.text(),
                  "%s: the question stays visible:\n%s" % (what, s.text()))


def test_escape_at_the_question_returns_to_the_editor():
    # With the standard streams redirected: the editor talks to the terminal alone.
    with Session(BINARY, SAMPLE, redirect="</dev/null >/dev/null 2>&1") as s:
        s.ready()
        s.keys("7")
        s.escape()
        s.wait_for("Dow you want to save")
        s.escape()
        s.settle()
        check("Dow you want" not in s.text(), "question erased:\n" + s.text())
        check(s.cursor() == (30, 5), "back on field 0, cursor %s" % (s.cursor(),))
        check(not s.exited(), "still running")
        check(s.quit("y") == 0, "status 0")
        check(s.saved_image()[0] == 7, "the edit is kept")


def test_failed_saves_keep_the_old_file():
    # dash counts ulimit -f in blocks of 512 bytes: 4 KiB, half the file.
    for wrapper, read_only, message in (("", True, " Error: Cannot open ulo.txt !"),
                                        ("ulimit -f 8;", False, " Error: Cannot write ulo.txt !")):
        with Session(BINARY, SAMPLE, wrapper=wrapper) as s:
            if read_only:
                os.chmod(s.path, 0o444)
            s.ready()
            check(s.quit("y") == 1, "%s: status 1" % message)
            check(message in s.text(), s.text())
            check(s.file_bytes() == SAMPLE_BYTES, "%s: old file changed" % message)
            check(sorted(os.listdir(s.dir)) == [".status", "ulo.txt"],
                  "files left: %s" % os.listdir(s.dir))


def test_without_a_terminal():
    r = subprocess.run([BINARY], stdin=subprocess.DEVNULL, capture_output=True,
                       start_new_session=True, timeout=10)
    check(r.returncode == 3, "status %d" % r.returncode)
    check(r.stderr == b"ulocfg: needs an interactive terminal\n", r.stderr)


run_tests(tests_in(dict(globals())))
