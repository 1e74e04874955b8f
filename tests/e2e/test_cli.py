"""The command line on the real binary: show, get, set, diff, check and screen, without a
terminal, and their exit statuses; screen of the sample against the editor in tmux."""
import os
import re
import shutil
import subprocess
import sys

from harness import (LINUX_PROGRAM, RUNNER, Scratch, Session, as_user, binary_for_user, check,
    format_image, parse_image, read_image, row, run_tests, tests_in)

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
BUILD_DIR = os.path.dirname(BINARY)
# The Windows program, run under Wine: the same cases, the same statuses and bytes.
WINDOWS = BINARY.endswith(".exe")

OK, CANNOT_OPEN, INCORRECT, DIFFER, REJECTED, USAGE = 0, 1, 2, 5, 6, 7

# The values of the sample that no field could have produced, and in-range ones for them.
# The sample's 120.0 degree crank offset with 60 pulses is no longer among them: the editor
# gives it when the offset is typed before the pulse count is raised.
SAMPLE_OUT_OF_RANGE = [
    ("vss_pulse_width", "670"),
]


def ulocfg(*args, cwd=None):
    """Runs a command in its own session, so that it has no controlling terminal at all."""
    r = subprocess.run(RUNNER + [BINARY] + list(args), cwd=cwd, stdin=subprocess.DEVNULL,
                       capture_output=True, text=True, start_new_session=True, timeout=60)
    return r.returncode, r.stdout, r.stderr


def sample_image():
    return read_image(SAMPLE)


def in_range_sample(scratch, name):
    """A copy of the sample with its out-of-range values brought into range."""
    path = scratch.copy(name, SAMPLE)
    status, _, err = ulocfg("set", "--file", path, *("%s=%s" % kv for kv in SAMPLE_OUT_OF_RANGE))
    check(status == OK, "fixing the sample: %d %s" % (status, err))
    return path


def test_check_finds_the_samples_out_of_range_values_and_passes_once_they_are_set():
    status, out, _ = ulocfg("check", SAMPLE)
    check(status == DIFFER, "status %d" % status)
    found = [line.split(" = ")[0] for line in out.splitlines()]
    check(found == [name for name, _ in SAMPLE_OUT_OF_RANGE], "found %r" % found)
    with Scratch() as s:
        status, out, _ = ulocfg("check", in_range_sample(s, "ulo.txt"))
        check(status == OK and out == "", "after set: %d %r" % (status, out))


def test_show_then_set_of_every_line_gives_the_same_image_byte_for_byte():
    with Scratch() as s:
        status, out, _ = ulocfg("show", in_range_sample(s, "fixed.txt"))
        lines = out.splitlines()
        check(status == OK and len(lines) == 17 + 25 * 17 + 1 + 2 * 5 + 1, "show: %d" % status)
        for line in ['wheel[2].name = "36-1 Crank      "', "ramp[5].speed = 800 rpm"]:
            check(line in lines, "missing %r" % line)
        # onto the untouched sample, whose two values differ, and onto an image whose wheel
        # records and names all hold other values
        other = sample_image()
        for a in range(64, 464):
            other[a] ^= 0x5A
        for target in (s.copy("copy.txt", SAMPLE), s.write("other.txt", other)):
            status, _, err = ulocfg("set", "--file", target, *lines)
            check(status == OK, "set: %d %s" % (status, err))
            check(open(target, "rb").read() == s.read("fixed.txt"),
                  "%s differs from the shown image" % os.path.basename(target))


def test_set_changes_values_in_the_screens_units_and_saves_like_the_editor():
    with Scratch() as s:
        path = s.copy("ulo.txt", SAMPLE)
        status, _, err = ulocfg("set", "vss_pulses_per_km=4100", 'wheel[2].name="36-1 Crank 2"',
                                "ramp[3].time=2.5", "max_poti_speed=5000", "brightness=60",
                                "contrast=low", "can_id=18DAF111", "--file", path)
        check(status == OK, "status %d %s" % (status, err))
        data = s.read("ulo.txt").decode("latin-1")
        image = parse_image(data)
        check(data == format_image(image), "written in the editor's format")
        check(image[32] + 256 * image[33] == 4100, "vss")
        check(bytes(image[1040:1056]) == b"36-1 Crank 2    ", "name")
        check(image[714] + 256 * image[715] == 250, "ramp time in hundredths")
        check(image[5] + 256 * image[6] == 10000, "poti speed stored doubled")
        check(image[1] == 30 and image[2] == 50, "brightness, contrast")
        check(image[1536:1540] == [0x11, 0xF1, 0xDA, 0x18], "CAN id")


def test_set_writes_nothing_when_one_value_is_rejected():
    with Scratch() as s:
        path = s.copy("ulo.txt", SAMPLE)
        before = s.read("ulo.txt")
        os.utime(path, (1000000000, 1000000000))
        status, _, err = ulocfg("set", "--file", path, "last_menu=5",
                                "first_high_frequency=30", "wheel[3].cylinders=9")
        check(status == REJECTED, "status %d" % status)
        check("first_high_frequency=30" in err and "0 or 31..20000 Hz" in err, err)
        check("wheel[3].cylinders=9" in err and "2..8" in err, err)
        check(s.read("ulo.txt") == before and os.stat(path).st_mtime == 1000000000,
              "the file is untouched")
        check(sorted(os.listdir(s.dir)) == ["ulo.txt"], "no temporary file left")


def test_diff_of_an_image_against_itself_is_empty_and_differences_are_named():
    with Scratch() as s:
        image = sample_image()
        image[2047] ^= 1
        image[30] ^= 1
        edited = s.copy("edited.txt", SAMPLE)
        ulocfg("set", "--file", edited, "vss_pulse_width=670", "wheel[1].crank_offset=6.0")
        for b, want in [(SAMPLE, ""),
                        (edited, "vss_pulse_width: 10 ms -> 670 ms\n\n"
                         "wheel[1].crank_offset: 120.0 deg -> 6.0 deg\n"),
                        (s.write("other.txt", image), "2 bytes differ outside the known parameters\n")]:
            status, out, _ = ulocfg("diff", SAMPLE, b)
            check(status == (DIFFER if want else OK) and out == want,
                  "%s: %d\n%s" % (os.path.basename(b), status, out))


def test_statuses_of_file_problems_usage_errors_and_the_default_file():
    with Scratch() as s:
        s.copy("ulo.txt", SAMPLE)
        with open(s.path("short.txt"), "w") as f:
            f.write("ULO EEPROM Memory:\n00h 01h\n")
        cases = [
            (("get", "wheel[2].name", "max_poti_speed"), OK,
             'wheel[2].name = "36-1 Crank      "\nmax_poti_speed = 6000 rpm\n'),
            (("get", "nothing"), REJECTED, ""),
            (("show", "missing.txt"), CANNOT_OPEN, ""),
            (("set", "--file", "missing.txt", "last_menu=1"), CANNOT_OPEN, ""),
            (("check", "short.txt"), INCORRECT, ""),
            (("explode",), USAGE, ""),
            (("set", "--file", "short.txt", "last_menu"), USAGE, ""),
        ]
        for args, want, want_out in cases:
            status, out, err = ulocfg(*args, cwd=s.dir)
            check(status == want and out == want_out,
                  "%s: status %d, not %d (%s)" % (args, status, want, err))
        check(not os.path.exists(s.path("missing.txt")), "set made no file")
        os.remove(s.path("ulo.txt"))
        status, _, err = ulocfg("show", cwd=s.dir)
        check(status == CANNOT_OPEN and "ulo.txt" in err, "no ulo.txt: %d %s" % (status, err))


def test_a_file_that_fails_is_named_with_the_systems_reason():
    """The reason comes from the system itself: a real process, an ordinary user. On Windows
    a file without write permission has the read-only attribute; the rest needs a user other
    than root, whom Wine does not run for."""
    binary = binary_for_user(BINARY)
    with Scratch() as s:
        os.chmod(s.dir, 0o755)
        locked = s.copy("locked.txt", SAMPLE)
        readable = s.copy("readable.txt", SAMPLE)
        os.chmod(locked, 0o000)
        os.chmod(readable, 0o444)
        cases = [  # the arguments, the status and message, and whether Windows has the case
            (["show", "missing.txt"], CANNOT_OPEN,
             "ulocfg: cannot open missing.txt: No such file or directory\n", True),
            (["show", "locked.txt"], CANNOT_OPEN,
             "ulocfg: cannot open locked.txt: Permission denied\n", False),
            (["apply", "locked.txt", "-f", "readable.txt"], CANNOT_OPEN,
             "ulocfg: cannot open locked.txt: Permission denied\n", False),
            (["set", "-f", "readable.txt", "last_menu=4"], CANNOT_OPEN,
             "ulocfg: cannot open readable.txt for writing: Permission denied; it is "
             "unchanged\n", True),
        ]
        for args, want, err, on_windows in cases:
            if WINDOWS and not on_windows:
                continue
            user = [] if WINDOWS else as_user().split()
            r = subprocess.run(user + RUNNER + [binary] + args, cwd=s.dir,
                               stdin=subprocess.DEVNULL, capture_output=True, text=True,
                               timeout=60)
            check((r.returncode, r.stderr) == (want, err), "%s: %d %r" % (
                " ".join(args), r.returncode, r.stderr))
        check(read_image(readable) == read_image(SAMPLE), "readable.txt is unchanged")


def test_screen_of_the_sample_is_the_editors_first_screen():
    status, out, err = ulocfg("screen", SAMPLE)
    check(status == OK, "status %d %s" % (status, err))
    rows = out.split("\n")
    check(len(rows) == 26 and rows[25] == "", "25 rows: %d" % len(rows))
    # The Windows program has no editor yet: its screen is compared with the Linux editor's.
    with Session(LINUX_PROGRAM if WINDOWS else BINARY, SAMPLE) as s:
        s.wait_for("CAN 29-bit ID")
        s.settle()
        lines = s.lines()
        for y in range(1, 26):
            check(row(lines, y) == rows[y - 1],
                  "row %d:\n tmux   %r\n screen %r" % (y, row(lines, y), rows[y - 1]))
        s.escape()
        s.wait_for("Dow you want")
        s.keys("n")
        check(s.wait_exit() == 0, "status 0")


def test_help_and_the_man_page_document_every_command():
    status, out, _ = ulocfg("--help")
    check(status == OK and ulocfg("--version")[0] == OK, "--help and --version succeed")
    with open(os.path.join(os.path.dirname(SAMPLE), "..", "docs", "ulocfg.1")) as f:
        page = f.read()
    check("ulocfg edit [FILE]" in out and ".B ulocfg edit\n" in page, "edit is not listed")
    for word in ("show", "get", "set", "diff", "check", "screen", "--file", "Escape",
                 "Dow you want to save the data (Y/N)? "):
        check(word in out, "--help lacks %r" % word)
        check(word.replace("-", "\\-") in page or word in page, "the man page lacks %r" % word)
    cmake = shutil.which("cmake")
    if cmake and os.path.exists(os.path.join(BUILD_DIR, "cmake_install.cmake")):
        with Scratch() as s:
            r = subprocess.run([cmake, "--install", BUILD_DIR, "--prefix", s.dir],
                               capture_output=True, text=True)
            check(r.returncode == 0, r.stderr)
            # Windows: what the zip holds, the manual page as text
            for name, what in ([("ulocfg.exe", "program"), ("ulocfg.txt", "manual page"),
                                ("README.md", "README"), ("examples/ulo.txt", "example image")]
                               if WINDOWS else
                               [("share/man/man1/ulocfg.1", "man page"), ("bin/ulocfg", "program"),
                                ("share/bash-completion/completions/ulocfg", "completion")]):
                check(os.path.exists(s.path(name)), "%s not installed as %s" % (what, name))


def help_parameters(text):
    """The (name, values) pairs of set --help's parameter list; values too long for a line
    go on under themselves."""
    lines = text.splitlines()
    start = next(k for k, line in enumerate(lines) if line.startswith("Parameters,")) + 2
    pairs = []
    for line in lines[start:]:
        if not line.strip():
            break
        if line.startswith("      "):
            pairs[-1] = (pairs[-1][0], pairs[-1][1] + " " + line.strip())
            continue
        name, values = line.split(None, 1)
        pairs.append((name, values))
    return pairs


def man_parameters(page):
    """The (name, values) pairs of the man page's PARAMETERS section, roff undone."""
    section = page.split(".SH PARAMETERS")[1].split(".SH ")[0]
    plain = lambda t: re.sub(r"\\f[BIP]", "", t.replace("\\-", "-").replace("\\(aq", "'")
                             .replace("\\\\", "\\"))
    pairs = []
    for entry in section.split(".TP\n")[1:]:
        head, values = entry.strip().split("\n", 1)
        name = plain(head.split(None, 1)[1]).replace(" ", "")
        pairs.append((name, plain(values.strip()).replace("\n", " ")))
    return pairs


def test_help_and_the_man_page_list_every_parameter_with_its_values():
    _, shown, _ = ulocfg("show", SAMPLE)
    names = []
    for line in shown.splitlines():
        name = re.sub(r"^(wheel|ramp)\[\d+\]", r"\1[N]", line.split(" = ")[0])
        if name not in names:
            names.append(name)
    status, out, _ = ulocfg("set", "--help")
    listed = help_parameters(out)
    check([n for n, _ in listed] == names, "set --help lists %r, the program knows %r" % (
        [n for n, _ in listed], names))
    # the ranges are the program's own: set refuses just past them
    values = dict(listed)
    check(values["last_menu"] == "0..10" and values["wheel[N].crank_offset"] == "0.0..360.0 deg",
          "ranges %r" % values)
    with open(os.path.join(os.path.dirname(SAMPLE), "..", "docs", "ulocfg.1")) as f:
        page = f.read()
    check(man_parameters(page) == listed, "the man page's PARAMETERS differ from set --help: %r" %
          [p for p in man_parameters(page) if p not in listed])


def test_output_that_does_not_arrive_fails_the_command_with_the_reason():
    """A full disk (/dev/full) or no standard output at all (>&-) is status 1, whatever the
    command found: diff's differences and check's values out of range are no answer without
    their list. A command that writes nothing there still succeeds."""
    full = "ulocfg: cannot write the output: No space left on device\n"
    closed = "ulocfg: cannot write the output: Bad file descriptor\n"
    with Scratch() as s:
        path, other = s.copy("ulo.txt", SAMPLE), s.write("other.txt", [0] * 2048)
        # each command and the status it ends with when its output arrives
        commands = [
            (["show", path], OK),
            (["show", "--json", path], OK),
            (["get", "--file", path, "wheel[1]"], OK),
            (["get", "--value", "--file", path, "can_id"], OK),
            (["get", "--json", "--file", path, "last_menu"], OK),
            (["diff", path, other], DIFFER),
            (["diff", "--json", path, other], DIFFER),
            (["check", path], DIFFER),
            (["check", "--json", path], DIFFER),
            (["screen", path], OK),
            (["--help"], OK),
            (["help", "set"], OK),
            (["diff", "--help"], OK),
            (["version"], OK),
            (["--version"], OK),
            (["--names"], OK),
        ]
        runs = [(args, ">/dev/full", CANNOT_OPEN, full) for args, _ in commands] + [
            (["show", path], ">&-", CANNOT_OPEN, closed),
            (["diff", path, other], ">&-", CANNOT_OPEN, closed),
            (["check", path], ">&-", CANNOT_OPEN, closed),
            (["set", "--file", path, "last_menu=7"], ">&-", OK, ""),
            (["set", "--file", path, "last_menu=8"], ">/dev/full", OK, "")]
        for args, status in commands:
            r = subprocess.run(RUNNER + [BINARY] + args, capture_output=True, timeout=60)
            check(r.returncode == status and r.stdout,
                  "%s: %d with %d bytes" % (" ".join(args), r.returncode, len(r.stdout)))
        for args, to, status, err in runs:
            r = subprocess.run(["sh", "-c", 'exec "$@" ' + to, "sh"] + RUNNER + [BINARY] + args,
                               capture_output=True, text=True, timeout=60)
            check((r.returncode, r.stderr) == (status, err),
                  "%s %s: %d %r" % (" ".join(args[:2]), to, r.returncode, r.stderr))
        check(ulocfg("get", "--file", path, "last_menu")[1] == "last_menu = 8\n", "set >&-")


def test_output_into_a_pipe_whose_reader_has_gone_fails_the_command():
    """Output into a pipe whose reader has gone: status 1 and the reason, not an end by
    SIGPIPE that a script may not look at."""
    reader, writer = os.pipe()
    os.close(reader)
    try:
        r = subprocess.run(RUNNER + [BINARY] + ["show", "--json", SAMPLE], stdout=writer,
                           stderr=subprocess.PIPE, text=True, timeout=60)
    finally:
        os.close(writer)
    # Windows' C library gives no EPIPE for such a pipe: the reason is its own (Wine's
    # "Invalid argument").
    reason = "Invalid argument" if WINDOWS else "Broken pipe"
    check((r.returncode, r.stderr) == (CANNOT_OPEN, "ulocfg: cannot write the output: %s\n"
                                       % reason), "%d %r" % (r.returncode, r.stderr))


run_tests(tests_in(dict(globals())))
