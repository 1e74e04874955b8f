"""The Windows program against the Linux one: each command line of the table runs in a folder of
its own for each program, holding the same files; the exit status, the output, the messages and
every file left in the folder must be the same bytes.

    ULOCFG_RUNNER=wine64 ULOCFG_LINUX=ulocfg python3 windows_same_bytes.py ulocfg.exe ulo.txt
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

from harness import LINUX_PROGRAM, RUNNER, check, format_image, read_image, run_tests, tests_in

WINDOWS, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])


# A parameter file as PowerShell 5.1's > writes it: UTF-16 with its byte-order mark, CR LF. Its
# comment holds U+011A and U+0A0D, whose bytes 1A and 0D 0A a reader in text mode would take for
# the end and for a line end.
UNICODE_PARAMS = "# Kurbelwelle \u011a\u0a0d\nlast_menu = 4\nwheel[2].name = \"Nockenwelle\"\n"

# show --json's document edited, as jq writes it (3 for 3.0).
EDITED_JSON = """{"general": [{"name": "brightness", "value": 60, "unit": "%", "stored": 50},
  {"name": "edit_mode_bit", "value": false}],
 "wheels": [{"wheel": 1, "parameters": [{"name": "wheel[1].cam_width", "value": 3, "stored": 30},
  {"name": "wheel[1].crank_flag", "value": true},
  {"name": "wheel[1].name", "value": "Nockenwelle"}]}]}
"""

# The sample's show --json, to go back in unchanged.
SAMPLE_JSON = subprocess.run([LINUX_PROGRAM, "show", "--json", SAMPLE], capture_output=True,
                             timeout=60).stdout if LINUX_PROGRAM else b""


def files():
    """What each folder holds before the command: the sample as ulo.txt, an image that differs
    from it (also named as a command), the same image with CRLF line ends, a parameter file and
    a name outside ASCII."""
    image = read_image(SAMPLE)
    other = list(image)
    other[0], other[1], other[1040] = 9, 45, ord("X")
    with open(SAMPLE, "rb") as f:
        sample = f.read()
    return {
        "ulo.txt": sample,
        "other.txt": format_image(other).encode("latin-1"),
        "crlf.txt": sample.replace(b"\n", b"\r\n"),
        "params.txt": b"last_menu = 3\nbrightness = 60\nwheel[2].name = \"Nockenwelle\"\n",
        "unicode.txt": UNICODE_PARAMS.replace("\n", "\r\n").encode("utf-16"),
        "sch\u00f6n \u00e9t\u00e9.txt": sample,
        "short.txt": b"ULO EEPROM Memory:\n00h 01h\n",
        "edited.json": EDITED_JSON.encode(),
        "edited16.json": EDITED_JSON.replace("\n", "\r\n").encode("utf-16"),
        "screen": format_image(other).encode("latin-1"),
    }


# Command lines: the program's arguments, standard input when there is one, and the status,
# so that a case both programs fail alike is still caught.
CASES = [
    (["show", "ulo.txt"], None, 0),
    (["show"], None, 0),
    (["show", "--json", "other.txt"], None, 0),
    (["show", "crlf.txt"], None, 0),
    (["show", "sch\u00f6n \u00e9t\u00e9.txt"], None, 0),
    (["get", "wheel[2].name", "max_poti_speed", "--file", "other.txt"], None, 0),
    (["get", "--value", "can_id"], None, 0),
    (["get", "--json", "wheel[1]"], None, 0),
    (["get", "nothing"], None, 6),
    (["set", "last_menu=7"], None, 0),
    (["set", "vss_pulses_per_km=4100", "wheel[2].name=36-1 Crank 2", "ramp[3].time=2.5",
      "contrast=low", "can_id=18DAF111", "--file", "other.txt"], None, 0),
    (["set", "wheel[2].name=Kurbelwelle \u00e4"], None, 6),
    (["set", "--file", "crlf.txt", "brightness=60"], None, 0),
    (["set", "-f", "sch\u00f6n \u00e9t\u00e9.txt", "last_menu=2"], None, 0),
    (["set", "first_high_frequency=30", "wheel[3].cylinders=9"], None, 6),
    (["set", "--force", "vss_pulse_width=670"], None, 0),
    (["set", "--file", "missing.txt", "last_menu=1"], None, 1),
    (["apply", "params.txt"], None, 0),
    (["apply", "-", "--file", "other.txt"], b"last_menu = 4\ncontrast = high\n", 0),
    (["apply", "unicode.txt"], None, 0),
    (["apply", "-"], b"\xfe\xff" + UNICODE_PARAMS.encode("utf-16-be"), 0),
    (["apply", "-"], UNICODE_PARAMS.replace("\n", "\r\n").encode("utf-16"), 0),
    (["apply", "-"], "last_menu = 4\r\n".encode("utf-16-le"), 6),
    (["apply", "--json", "edited.json"], None, 0),
    (["apply", "--json", "edited16.json", "--file", "crlf.txt"], None, 0),
    (["apply", "--json", "-"], SAMPLE_JSON, 0),
    (["apply", "--json", "-", "-f", "other.txt"], b'{"general": [{"name": "contrast", "value": 1},'
     b' {"name": "wheel[1].cylinders", "value": 9}]}', 6),
    (["apply", "--json", "params.txt"], None, 6),
    (["diff", "ulo.txt", "other.txt"], None, 5),
    (["diff", "--json", "ulo.txt", "crlf.txt"], None, 0),
    (["check"], None, 5),
    (["check", "--json", "short.txt"], None, 2),
    (["screen", "other.txt"], None, 0),
    (["show", "missing.txt"], None, 1),
    (["--help"], None, 0),
    (["set", "--help"], None, 0),
    (["--version"], None, 0),
    (["--names"], None, 0),
    (["explode"], None, 7),
    # A file's name alone is the editor on it, which needs a terminal (these have none); a
    # command of the same name comes first; a name of no file looks for the edit it may mean.
    (["ulo.txt"], None, 3),
    (["sch\u00f6n \u00e9t\u00e9.txt"], None, 3),
    (["screen"], None, 0),
    (["missing.txt"], None, 7),
    (["cars/ulo.txt"], None, 7),
    (["cars\\ulo.txt"], None, 7),
    (["wheel[1].name"], None, 7),
    (["set", "--file", "short.txt", "last_menu"], None, 7),
]


def run(program, runner, args, stdin):
    folder = tempfile.mkdtemp(prefix="ulocfg-same-")
    try:
        for name, data in files().items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        # In a session of its own: without a terminal, as where the tests run unattended.
        r = subprocess.run(runner + [program] + args, cwd=folder, input=stdin or b"",
                           capture_output=True, timeout=60, start_new_session=True)
        left = {}
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as f:
                left[name] = f.read()
        return r.returncode, r.stdout, r.stderr, left
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def shown(what, mine, theirs):
    """The part of a result that differs: for the files, only the files that differ."""
    if what != "files":
        return mine
    return {n: d[:80] for n, d in mine.items() if theirs.get(n) != d}


def test_every_command_line_gives_the_same_status_output_messages_and_files():
    check(LINUX_PROGRAM, "ULOCFG_LINUX names no Linux program to compare with")
    differ = []
    for args, stdin, status in CASES:
        linux = run(LINUX_PROGRAM, [], args, stdin)
        windows = run(WINDOWS, RUNNER, args, stdin)
        if linux[0] != status:
            differ.append("%s: Linux status %d, not %d" % (" ".join(args), linux[0], status))
        for what, a, b in zip(("status", "output", "messages", "files"), linux, windows):
            if a != b:
                differ.append("%s: %s\n  Linux   %r\n  Windows %r" % (
                    " ".join(args), what, shown(what, a, b), shown(what, b, a)))
    check(not differ, "\n".join(differ))


# What the zip holds besides the program and the example: its texts, each from its source with
# Windows line breaks, by the name in the zip.
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ZIP_TEXTS = {"LICENSE": "LICENSE", "README.md": "README.md", "docs/json.md": "docs/json.md",
             "ulocfg.txt": "packaging/windows/ulocfg.txt", "ulocfg.ps1": "completions/ulocfg.ps1"}
# Words of the Linux manual that have no place on the Windows page.
LINUX_WORDS = ["/usr/share", "/tmp", "$TMPDIR", "SIGHUP", "SIGTERM", "SIGINT", "bash",
               "man ulocfg", "terminal"]


def test_the_zip_holds_the_program_the_windows_page_and_every_document_the_readme_links():
    """CPack's zip of the Windows build: its files, the texts with CR LF, the page for Windows
    in place of the manual, every document the README links, and the program in it prints
    what the Linux one does."""
    build = os.path.dirname(WINDOWS)
    folder = tempfile.mkdtemp(prefix="ulocfg-zip-")
    try:
        r = subprocess.run(["cpack", "-G", "ZIP", "-B", folder], cwd=build, capture_output=True,
                           text=True, timeout=300)
        check(r.returncode == 0, r.stdout + r.stderr)
        version = subprocess.run([LINUX_PROGRAM, "--version"], capture_output=True,
                                 text=True).stdout.split()[-1]
        top = "ulocfg-%s-win64/" % version
        with zipfile.ZipFile(os.path.join(folder, top[:-1] + ".zip")) as z:
            names = sorted(n[len(top):] for n in z.namelist() if not n.endswith("/"))
            check(names == sorted(list(ZIP_TEXTS) + ["examples/ulo.txt", "ulocfg.exe"]), names)
            z.extractall(folder)
        for name, source in ZIP_TEXTS.items():
            with open(os.path.join(folder, top + name), "rb") as f, \
                    open(os.path.join(TOP, source), "rb") as g:
                got, want = f.read(), g.read()
            check(b"\n" in want and got == want.replace(b"\n", b"\r\n"),
                  "%s is not %s with CR LF line breaks" % (name, source))
        with open(os.path.join(folder, top + "ulocfg.txt"), encoding="utf-8") as f:
            page = f.read()
        check(not [w for w in LINUX_WORDS if w in page] and "%TEMP%" in page and
              "Ctrl+Break" in page, "ulocfg.txt is not the page for Windows: %s" % [
                  w for w in LINUX_WORDS if w in page])
        with open(os.path.join(TOP, "README.md"), encoding="utf-8") as f:
            links = set(re.findall(r"\]\(([^)#:]+)\)", f.read()))
        check(links and not links - set(names), "the README links %s, not in the zip" % sorted(
            links - set(names)))
        with open(os.path.join(folder, top + "examples/ulo.txt"), "rb") as f, \
                open(SAMPLE, "rb") as g:
            check(f.read() == g.read(), "the example is the sample")
        program = os.path.join(folder, top + "ulocfg.exe")
        for args in (["--version"], ["--help"]):
            got = subprocess.run(RUNNER + [program] + args, capture_output=True, timeout=60)
            want = subprocess.run([LINUX_PROGRAM] + args, capture_output=True, timeout=60)
            check((got.returncode, got.stdout, got.stderr) ==
                  (want.returncode, want.stdout, want.stderr), "%s: %r" % (args, got))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


run_tests(tests_in(dict(globals())))
