"""Hostile contents in the real program: wheel names made of terminal control bytes and of
every byte above 127, and "ulo.txt" files that are no text file at all, huge, or full of NUL
bytes. Nothing of a file may reach the terminal as a control; no file may hang the program or
make it use memory in proportion to the file."""
import os
import re
import shutil
import sys
import time

from harness import (Session, check, format_image, parse_image, red_text, row, run_tests,
                     state_snippet, tests_in)

BINARY, SAMPLE = sys.argv[1], sys.argv[2]
with open(SAMPLE, "rb") as f:
    SAMPLE_BYTES = f.read()
SAMPLE_IMAGE = parse_image(SAMPLE_BYTES.decode("latin-1"))

# Code page 437 as the screen shows it: the glyphs of the bytes 0x00 to 0x1F and 0x7F (NUL
# as a blank), the rest as Python's cp437 codec reads them.
LOW_GLYPHS = " ☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"


def glyphs(data):
    """What a name shows: bell bytes show nothing, every other byte its glyph (the names
    below hold no backspace, line feed or carriage return, which move the cursor)."""
    return "".join(LOW_GLYPHS[b] if b < 0x20 else "⌂" if b == 0x7F else bytes([b]).decode("cp437")
                   for b in data if b != 0x07)


# Configuration 1: erase the screen, a C1 CSI turning text red, two bells, a title change.
CONTROL_NAME = b"\x1b[2J\x9b31m\x07\x1b]0;X\x07Z"
# Configurations 2 to 9: the bytes 0x80 to 0xFF, sixteen to a name.
HIGH_NAMES = [bytes(range(0x80 + 16 * k, 0x90 + 16 * k)) for k in range(8)]
# Configuration 10: control bytes that are glyphs, and DEL.
LOW_NAME = bytes([0, 1, 2, 3, 4, 5, 6, 9, 0x0B, 0x0C, 0x0E, 0x0F, 0x10, 0x11, 0x7F, 0x1F])
NAMES = [CONTROL_NAME] + HIGH_NAMES + [LOW_NAME]


def hostile_image():
    image = list(SAMPLE_IMAGE)
    image[3] = 0  # configuration 1 selected
    for n, name in enumerate(NAMES):
        image[1024 + 16 * n:1040 + 16 * n] = list(name)
    return image


def name_row(n):
    """Row 8 as it must read with configuration n + 1 selected, up to the closing quote."""
    return ' Wheel speed config no.:    %2d         "%s"' % (n + 1, glyphs(NAMES[n]))


def sgr(styled_row):
    """The colour sequences of a captured row."""
    return re.findall(r"\x1b\[[0-9;]*m", styled_row)


AFTER = state_snippet(".terminal-after")


def test_names_of_control_bytes_and_high_bytes_show_as_glyphs():
    # The sample with its own names: the screen and terminal the hostile names must leave alone.
    with Session(BINARY, SAMPLE, after=AFTER) as s:
        s.ready()
        clean_lines, clean_styled, clean_state = s.lines(), s.styled()[:25], s.terminal_state()
        check(s.quit("n") == 0, "clean run: status 0")
        clean_after = s.terminal_state_left(".terminal-after")

    image = hostile_image()
    with Session(BINARY, content=format_image(image), after=AFTER) as s:
        s.ready()
        lines, styled = s.lines(), s.styled()[:25]
        check(row(lines, 8).startswith(name_row(0)) and row(lines, 8).endswith("4 Cyl.")
              and len(row(lines, 8)) == 75, "row 8:\n got  %r\n want %r" % (
                  row(lines, 8), name_row(0)))
        for y in range(1, 26):
            check(y == 8 or (lines[y - 1], styled[y - 1]) == (clean_lines[y - 1], clean_styled[
                y - 1]), "row %d differs:\n%r\n%r" % (y, styled[y - 1], clean_styled[y - 1]))
        check(sgr(styled[7]) == sgr(clean_styled[7]), "colours in row 8: %r" % styled[7])
        check(s.terminal_state() == clean_state, "terminal state changed")

        s.keys("Down", "Down", "Right")  # the name highlighted: written once more, in red
        check(red_text(s.styled()[7]) == ['"%s"' % glyphs(CONTROL_NAME)],
              "highlighted name: %r" % s.styled()[7])
        check(s.cursor() == (41, 8), "cursor on the first name character: %s" % (s.cursor(),))

        s.keys("Up", "Home", "Down", "Down")  # field 4: Page Up steps through them
        check(s.cursor() == (30, 8), "on field 4: cursor %s" % (s.cursor(),))
        for n in range(1, len(NAMES)):
            s.keys("PageUp")
            got = s.lines()
            check(row(got, 8).startswith(name_row(n)),
                  "configuration %d:\n got  %r\n want %r" % (n + 1, row(got, 8), name_row(n)))
            check(got[:3] == clean_lines[:3], "title box after name %d:\n%s" % (n, s.text()))
            check(s.terminal_state() == clean_state, "terminal state changed by name %d" % n)

        check(s.quit("n") == 0, "status 0")
        # The screen left behind on the terminal is glyphs too.
        check('"%s"' % glyphs(NAMES[-1]) in s.text(), "left behind:\n" + s.text())
        after = s.terminal_state_left(".terminal-after")
        check(after == clean_after, "terminal state at the end\n was %s\n now %s" % (
            clean_after, after))
        check(s.file_bytes() == format_image(image).encode(), "ulo.txt untouched")


# -- files that are no EEPROM text file ------------------------------------------------------

def test_a_directory_a_fifo_or_a_device_as_ulo_txt_cannot_be_opened():
    for make in ("mkdir ulo.txt;", "mkfifo ulo.txt;", "ln -s /dev/zero ulo.txt;"):
        with Session(BINARY, wrapper=make) as s:
            got = s.wait_exit(timeout=20)
            check(got == 1, "%s status %d" % (make, got))
            check(" Error: Cannot open ulo.txt !" in s.text(), "%s\n%s" % (make, s.text()))


TEN_MB = 10 * 1024 * 1024
TIME = shutil.which("time", path="/usr/bin:/bin")


def run_measured(content):
    """Status, seconds and peak resident memory in KiB of a run on `content`."""
    wrapper = "'%s' -f %%M -o .rss env" % TIME
    started = time.monotonic()
    with Session(BINARY, content=content, wrapper=wrapper) as s:
        status = s.wait_exit(timeout=60)
        seconds = time.monotonic() - started
        check(" EEPROM textfile incorrect!" in s.text(), "message:\n" + s.text())
        with open(os.path.join(s.dir, ".rss")) as f:
            rss = int(f.read().split()[-1])
    return status, seconds, rss


def test_ten_megabytes_without_white_space_end_quickly_in_bounded_memory():
    if not TIME:
        print("skip: /usr/bin/time (Debian package time) is not installed")
        return
    # The same refusal for a small file: what the program needs anyway.
    status, _, base = run_measured(b"ULO EEPROM Memory:\n00h 01h")
    check(status == 2, "small file: status %d" % status)
    cases = [
        ("one word", b"A" * TEN_MB),                    # all of it is the header
        ("byte tokens run together", b"00h" * (TEN_MB // 3)),
        ("a header, then digits and one h", b"ULO " + b"0" * TEN_MB + b"h"),
    ]
    for what, content in cases:
        status, seconds, rss = run_measured(content)
        print("     %-32s status %d, %.2f s, %d KiB (small file %d KiB)" % (
            what, status, seconds, rss, base))
        check(status == 2, "%s: status %d" % (what, status))
        check(seconds < 5, "%s: took %.1f s" % (what, seconds))
        # Far less than the file: it is read piece by piece, not held whole.
        check(rss - base < 4096, "%s: %d KiB more than for a small file" % (what, rss - base))


def test_file_forms_in_and_out():
    # Files from Windows tools: UTF-16 (Notepad's "Unicode", PowerShell 5.1's ">") and any NUL
    # byte are refused with the reason and left alone; CR LF line breaks and a UTF-8
    # byte-order mark load and are kept by the save. The edit: 7 typed into the brightness.
    text = SAMPLE_BYTES.decode("ascii")
    edited = bytearray(parse_image(text))
    edited[0] = 7
    lf = format_image(bytes(edited)).encode("ascii")
    utf16 = "is UTF-16 text: save it as ANSI or UTF-8"
    nul = "holds NUL bytes: it is no text file"
    cases = [  # what, the file, the reason it is refused, or the bytes saved after the edit
        ("UTF-16 LE with its mark", b"\xff\xfe" + text.encode("utf-16-le"), utf16),
        ("UTF-16 BE with its mark", b"\xfe\xff" + text.encode("utf-16-be"), utf16),
        ("UTF-16 LE without a mark", text.encode("utf-16-le"), nul),
        ("NUL between the tokens", SAMPLE_BYTES.replace(b" ", b"\0"), nul),
        ("NUL bytes after the last token", SAMPLE_BYTES + b"\0" * 4096, nul),
        ("CR LF", SAMPLE_BYTES.replace(b"\n", b"\r\n"), lf.replace(b"\n", b"\r\n")),
        ("UTF-8 mark", b"\xef\xbb\xbf" + SAMPLE_BYTES, b"\xef\xbb\xbf" + lf),
        ("UTF-8 mark and CR LF", b"\xef\xbb\xbf" + SAMPLE_BYTES.replace(b"\n", b"\r\n"),
         b"\xef\xbb\xbf" + lf.replace(b"\n", b"\r\n")),
        ("LF", SAMPLE_BYTES, lf),
    ]
    for what, content, outcome in cases:
        with Session(BINARY, content=content) as s:
            if isinstance(outcome, bytes):
                s.ready()
                s.keys("7")
                check(s.quit("y") == 0, "%s: status 0" % what)
                check(s.file_bytes() == outcome, "%s: saved as %r" % (what, s.file_bytes()[:40]))
            else:
                check(s.wait_exit() == 2, "%s: status 2" % what)
                check(" EEPROM textfile incorrect!" in s.text() and
                      " ulo.txt " + outcome in s.text(), "%s:\n%s" % (what, s.text()))
                check(s.file_bytes() == content, "%s: file changed" % what)


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
