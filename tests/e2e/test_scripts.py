"""For scripts and installs, on the real binary: --json parsed by Python's json module and
held against show, apply from a file and from standard input, and the bash completion's
candidates for a few prefixes."""
import json
import os
import random
import re
import subprocess
import sys

from harness import TMUX, Scratch, check, poll, read_image, run_tests, tests_in

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
BUILD_DIR = os.path.dirname(BINARY)
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
COMPLETION = os.path.join(TOP, "completions", "ulocfg")

OK, DIFFER, REJECTED = 0, 5, 6


def ulocfg(*args, stdin=b""):
    """The program's status, standard output as bytes, and standard error as text."""
    r = subprocess.run([BINARY] + list(args), input=stdin, capture_output=True,
                       start_new_session=True, timeout=60)
    return r.returncode, r.stdout, r.stderr.decode()


def document(*args):
    """The JSON document of a command: strict UTF-8, strict JSON (no raw control bytes)."""
    status, out, err = ulocfg(*args)
    return status, json.loads(out.decode("utf-8"), strict=True), err


def sample():
    return read_image(SAMPLE)


def screen_text(data):
    """What the screen shows for bytes: below 128 the character itself, above it code page 437."""
    return "".join(chr(b) if b < 128 else bytes([b]).decode("cp437") for b in data)


def unquote(text):
    """The bytes of a name as show writes it: "..." with \\" \\\\ and \\xNN."""
    check(text.startswith('"') and text.endswith('"'), "a quoted name: %r" % text)
    out, k, inner = [], 0, text[1:-1]
    while k < len(inner):
        if inner[k] == "\\" and inner[k + 1] == "x":
            out.append(int(inner[k + 2:k + 4], 16))
            k += 4
        elif inner[k] == "\\":
            out.append(ord(inner[k + 1]))
            k += 2
        else:
            out.append(ord(inner[k]))
            k += 1
    return out


def agrees(parameter, line):
    """Checks one JSON parameter against show's line for it."""
    name, text = line.split(" = ", 1)
    check(parameter["name"] == name, "%s in JSON where show has %s" % (parameter["name"], name))
    stored = re.search(r" \(stored (\d+)\)$", text)
    if stored:
        check(parameter["stored"] == int(stored.group(1)), "%s: stored" % name)
        text = text[:stored.start()]
    value, unit = parameter["value"], parameter["unit"]
    if unit:
        check(text.endswith(" " + unit), "%s: unit %r, show says %r" % (name, unit, text))
        text = text[:-len(unit) - 1]
    if name.endswith(".name"):
        data = unquote(text)
        check(parameter["stored"] == data, "%s: stored bytes %r" % (name, parameter["stored"]))
        check(value == screen_text(data), "%s: %r is not what the screen shows" % (name, value))
    elif isinstance(value, bool):
        check(text in ("yes", "no", "on", "off"), "%s: %r as a boolean" % (name, text))
        check(value == (text in ("yes", "on")), "%s: %r for %r" % (name, value, text))
    elif isinstance(value, str):
        check(value == text, "%s: %r for %r" % (name, value, text))
    else:
        check(float(text) == value, "%s: %r for %r" % (name, value, text))
        check(isinstance(value, float) == ("." in text), "%s: %r keeps the form of %r"
              % (name, value, text))


def every_parameter(doc):
    """The parameters of show --json in show's order, with the wheel and point numbers checked."""
    params = list(doc["general"][:17])
    for k, wheel in enumerate(doc["wheels"]):
        check(wheel["wheel"] == k + 1, "wheel numbers count from 1")
        params += wheel["parameters"]
    params.append(doc["general"][17])
    for k, point in enumerate(doc["ramp"]):
        check(point["point"] == k + 1, "ramp points count from 1")
        params += point["parameters"]
    params.append(doc["general"][18])
    return params


def show_agrees_with_json(path):
    status, out, _ = ulocfg("show", path)
    lines = out.decode("utf-8").splitlines()
    status_json, doc, _ = document("show", "--json", path)
    check(status == status_json == OK, "show and show --json succeed")
    params = every_parameter(doc)
    check(len(params) == len(lines), "%d parameters for %d lines" % (len(params), len(lines)))
    for parameter, line in zip(params, lines):
        agrees(parameter, line)
    return doc


def test_json_of_the_sample_is_what_show_says():
    doc = show_agrees_with_json(SAMPLE)
    check(len(doc["wheels"]) == 25 and len(doc["ramp"]) == 5, "25 wheels, 5 ramp points")
    check(doc["general"][2] == {"name": "brightness", "value": 100, "unit": "%", "stored": 50},
          "brightness: %r" % doc["general"][2])
    status, got, _ = document("get", "--json", "wheel[1].cam_width", "ramp[1]", "can_id",
                              "--file", SAMPLE)
    check(status == OK and got == {"parameters": [
        {"name": "wheel[1].cam_width", "value": 3.0, "unit": "deg", "stored": 30},
        {"name": "ramp[1].time", "value": 2.5, "unit": "s", "stored": 250},
        {"name": "ramp[1].speed", "value": 1000, "unit": "rpm", "stored": 2000},
        {"name": "can_id", "value": "18DAF110", "unit": "", "stored": 0x18DAF110}]},
        "get --json: %r" % got)


def hostile():
    """The sample with values no field gives and names of every byte."""
    data = sample()
    for n in range(16):  # the names of configurations 1..16 hold every byte 0..255
        data[1024 + 16 * n:1040 + 16 * n] = range(16 * n, 16 * n + 16)
    data[3] = 200                          # a selection beyond the 25 configurations
    data[4] = 255                          # more ramp points than the tables hold
    data[1] = 57                           # brightness shown as 100 %, stored 57
    data[64 + 14] = 0x8D                   # cam_width in whole degrees
    return data


def test_json_of_hostile_images_is_valid_and_what_show_says():
    with Scratch() as s:
        doc = show_agrees_with_json(s.write("hostile.txt", hostile()))
        check(len(doc["ramp"]) == 99, "99 ramp points for ramp_points 255")
        name = doc["wheels"][15]["parameters"][1]
        check(name["value"] == "\u2261\u00b1\u2265\u2264\u2320\u2321\u00f7\u2248\u00b0\u2219"
              "\u00b7\u221a\u207f\u00b2\u25a0\u00a0", "bytes F0..FF as on the screen: %r" % name)
        name = doc["wheels"][2]["parameters"][1]
        check(name["value"] == ' !"#$%&\'()*+,-./', "bytes 20..2F: %r" % name)
        cam_width = [p for p in doc["wheels"][0]["parameters"] if p["name"] == "wheel[1].cam_width"]
        check(cam_width[0]["value"] == 13 and cam_width[0]["stored"] == 0x8D, repr(cam_width))


def test_json_of_check_and_diff():
    status, doc, _ = document("check", "--json", SAMPLE)
    _, text, _ = ulocfg("check", SAMPLE)
    check(status == DIFFER, "check --json of the sample: status %d" % status)
    check([f["kind"] for f in doc["findings"]] == ["out of range"], repr(doc))
    check([f["message"] for f in doc["findings"]] == text.decode().splitlines(),
          "the findings' messages are check's lines")
    check(doc["findings"][0]["name"] == "vss_pulse_width"
          and doc["findings"][0]["value"] == 10 and doc["findings"][0]["stored"] == 10
          and doc["findings"][0]["allowed"] == "670..6700 ms", repr(doc["findings"][0]))
    with Scratch() as s:
        data = fixed(sample())
        data[13] = 6  # tdc_cyl 6 with the 4 cylinders of configuration 1: a warning only
        status, doc, _ = document("check", "--json", s.write("warned.txt", data))
        check(status == OK and [(f["name"], f["kind"], f["value"]) for f in doc["findings"]]
              == [("tdc_cyl", "warning", 6)], repr(doc))
    with Scratch() as s:
        data = sample()
        data[0] = 9
        data[2000] ^= 0x10
        other = s.write("other.txt", data)
        status, doc, _ = document("diff", "--json", SAMPLE, other)
        check(status == DIFFER and doc == {"differences": [
            {"name": "last_menu", "unit": "", "old": {"value": 3, "stored": 3},
             "new": {"value": 9, "stored": 9}}], "bytes_outside": 1}, repr(doc))
        status, doc, _ = document("diff", "--json", other, other)
        check(status == OK and doc == {"differences": [], "bytes_outside": 0}, repr(doc))
        data[0] = 3
        data[2000] ^= 0x10
        status, doc, _ = document("check", "--json", s.write("fine.txt", fixed(data)))
        check(status == OK and doc == {"findings": []}, repr(doc))
    status, out, err = ulocfg("get", "--json", "wheel[0].name", "--file", SAMPLE)
    check(status == REJECTED and out == b"" and "wheel[0].name" in err, "get --json refuses")


def fixed(data):
    """The sample with its two values that no field produces brought into range."""
    data = list(data)
    data[34:36] = [670 % 256, 670 // 256]     # vss_pulse_width 670 ms
    data[64 + 3:64 + 5] = [60, 0]             # wheel[1].crank_offset 6.0 deg
    return data


def test_apply_from_a_file_and_standard_input():
    """show | apply of the sample, whose 10 ms vss_pulse_width is outside 670..6700 ms: onto
    itself it changes nothing; onto another image it needs --force."""
    with Scratch() as s:
        _, shown, _ = ulocfg("show", SAMPLE)
        status, _, err = ulocfg("apply", "-", "--file", s.copy("ulo.txt", SAMPLE), stdin=shown)
        check((status, err) == (OK, "") and s.image("ulo.txt") == sample(), "onto itself")
        a = sample()
        a[4] = 3                                        # three ramp points
        a[1024 + 16:1040 + 16] = list(b"Fleet #7 = cam  ")
        b = [(~x ^ k) & 0xFF for k, x in enumerate(a)]  # every byte different
        b[4] = 9
        _, shown, _ = ulocfg("show", s.write("a.txt", a))
        status, _, err = ulocfg("apply", "-", "--file", s.write("b.txt", b), stdin=shown)
        check((status, err) == (REJECTED, "ulocfg: stdin:9: vss_pulse_width = 10 ms is rejected: "
                                "the field takes 670..6700 ms; use --force to store it anyway.\n"),
              "without --force: %d %r" % (status, err))
        status, out, err = ulocfg("apply", "-", "--force", "--file", s.path("b.txt"), stdin=shown)
        check((status, out, err) == (OK, b"", "ulocfg: stdin:9: vss_pulse_width = 10 ms: warning: "
                                     "stored outside the field's range, 670..6700 ms\n"),
              "apply - : %d %r" % (status, err))
        check(ulocfg("show", os.path.join(s.dir, "b.txt"))[1] == shown, "show of b is a's")
        check(s.image("b.txt")[908:1024] == b[908:1024], "bytes outside the parameters stay")
        params = os.path.join(s.dir, "car.params")
        with open(params, "wb") as f:
            f.write(b"# car 7\nlast_menu = 5\n\nwheel[2].name = \"Fleet #8\"\nbogus\n")
        before = s.image("b.txt")
        status, _, err = ulocfg("apply", params, "--file", os.path.join(s.dir, "b.txt"))
        check(status == REJECTED and
              err == "ulocfg: %s:5: bogus is rejected: a line is NAME = VALUE.\n"
              % params, "a bad line: %d %r" % (status, err))
        check(s.image("b.txt") == before, "nothing written")
        status, _, err = ulocfg("apply", "-", "--file", os.path.join(s.dir, "b.txt"),
                                stdin=b"contrast = 3\n")
        check(status == REJECTED and err.startswith("ulocfg: stdin:1: contrast = 3 is rejected"), err)


def test_apply_of_a_windows_unicode_file_and_of_junk():
    """A parameter file in UTF-16 with its byte-order mark (PowerShell 5.1's >, Notepad's
    "Unicode"), from a file and from standard input, gives the bytes its UTF-8 gives; UTF-16
    that is no text is refused; a file of junk is named in 20 lines and counted in one."""
    text = ("# Kurbelwelle \u00e9t\u00e9 \U0001F697 \u011a\u0a0d\nlast_menu = 4\n"
            "contrast = low\nwheel[2].name = \"Nockenwelle\"\n")
    variants = [("UTF-8", text.encode()),
                ("UTF-16LE, CR LF", text.replace("\n", "\r\n").encode("utf-16")),
                ("UTF-16BE", b"\xfe\xff" + text.encode("utf-16-be")),
                ("UTF-16LE", b"\xff\xfe" + text.encode("utf-16-le"))]
    junk = random.Random(5)
    noise = b"x\n" + bytes(junk.randrange(256) for _ in range(1 << 20))
    with Scratch() as s:
        want = None
        for what, data in variants:
            for source in ("file", "stdin"):
                image = s.copy("ulo.txt", SAMPLE)
                params = s.path("p.txt") if source == "file" else "-"
                with open(s.path("p.txt"), "wb") as f:
                    f.write(data)
                status, out, err = ulocfg("apply", params, "-f", image, stdin=data)
                check((status, out, err) == (OK, b"", ""), "%s from %s: %d %r" % (
                    what, source, status, err))
                got = s.read("ulo.txt")
                want = want or got
                check(got == want, "%s from %s: other bytes than UTF-8's" % (what, source))
        check(want != open(SAMPLE, "rb").read(), "nothing was applied")
        nul = "is rejected: it holds NUL bytes; is the file UTF-16 text without a byte-order mark?"
        for data, status, err in [
                (text.encode("utf-16")[:-1], REJECTED,
                 "ulocfg: stdin is rejected: its UTF-16 text has an odd number of bytes.\n"),
                (b"\xfe\xff" + "# x\n".encode("utf-16-be") + b"\xdc\x00", REJECTED,
                 "ulocfg: stdin is rejected: its UTF-16 text holds a lone surrogate (DC00) in "
                 "line 2.\n"),
                ("last_menu = 4\r\n".encode("utf-16-le"), REJECTED,
                 "ulocfg: stdin:1: the line %s\nulocfg: stdin:2: the line %s\n" % (nul, nul))]:
            image = s.copy("ulo.txt", SAMPLE)
            check(ulocfg("apply", "-", "-f", image, stdin=data) == (status, b"", err),
                  "%r: %r" % (data[:20], ulocfg("apply", "-", "-f", image, stdin=data)))
            check(s.read("ulo.txt") == open(SAMPLE, "rb").read(), "%r: written" % data[:20])
        r = subprocess.run([BINARY, "apply", "-", "-f", image], input=noise, capture_output=True,
                           timeout=60)
        status, lines = r.returncode, r.stderr.decode("latin-1").split("\n")[:-1]
        check(status == REJECTED and len(lines) == 21 and lines[0] == "ulocfg: stdin:1: x is "
              "rejected: a line is NAME = VALUE." and re.fullmatch(
                  r"ulocfg: stdin: \d+ more lines are rejected \(not shown\)", lines[20]),
              "junk: %d, %d lines, %r" % (status, len(lines), lines[-1:]))


def as_jq_writes(value):
    """The document as jq prints it: a number with nothing after its point without the point."""
    if isinstance(value, float) and value == int(value):
        return int(value)
    if isinstance(value, dict):
        return {k: as_jq_writes(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_jq_writes(v) for v in value]
    return value


def test_apply_json_takes_show_json_back():
    """show --json | apply --json - leaves the file as it is, byte for byte, on the sample and on
    an image of values no field gives; the document as jq writes it (3 for cam_width's 3.0) with
    brightness 60 changes brightness alone."""
    with Scratch() as s:
        for name, data, brightness in (("sample.txt", sample(), "100 %"),
                                       ("hostile.txt", hostile(), "100 % (stored 57)")):
            path = s.write(name, data)
            before = s.read(name)
            _, doc, _ = ulocfg("show", "--json", path)
            got = ulocfg("apply", "--json", "-", "--file", path, stdin=doc)
            check(got == (OK, b"", "") and s.read(name) == before, "%s: %r" % (name, got))
            edited = as_jq_writes(json.loads(doc))
            cam_width = edited["wheels"][0]["parameters"][13]  # 3.0 in the sample, 13 in hostile
            check(cam_width["name"] == "wheel[1].cam_width" and type(cam_width["value"]) is int,
                  repr(cam_width))
            edited["general"][2]["value"] = 60
            got = ulocfg("apply", "--json", "-", "-f", path, stdin=json.dumps(edited).encode())
            check(got == (OK, b"", ""), "%s, brightness 60: %r" % (name, got))
            status, out, _ = ulocfg("diff", s.write("before.txt", data), path)
            check((status, out.decode()) == (DIFFER, "brightness: %s -> 60 %%\n" % brightness),
                  "%s: %r" % (name, out))


COMPLETE = r"""
source "$1"
program=$2
t() { COMP_WORDS=("$program" "$@"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 )); _ulocfg
      printf '%s|' "${COMPREPLY[@]}"; echo; }
cd "$4"
"""


def completions(*cases):
    """COMPREPLY for each list of words after the program, the last one being completed."""
    with Scratch() as s:
        for name in ("car.params", "car.txt", "other"):
            open(os.path.join(s.dir, name), "w").close()
        script = COMPLETE + "".join("t %s\n" % " ".join("'%s'" % w for w in words)
                                    for words in cases)
        r = subprocess.run(["bash", "-c", script, "bash", COMPLETION, BINARY, "", s.dir],
                           capture_output=True, text=True, timeout=120)
        check(r.returncode == 0 and r.stderr == "", r.stderr)
        return [sorted(filter(None, line.split("|"))) for line in r.stdout.splitlines()]


def test_completion_candidates():
    cases = [
        (["s"], ["screen", "set", "show"]),
        (["a"], ["apply"]),
        (["--v"], ["--version"]),
        (["get", "vss"], ["vss_pulse_width", "vss_pulses_per_km"]),
        (["get", "w"], ["wheel[", "wheel_select"]),
        (["get", "wheel[2"], ["wheel[%s]%s" % (n, dot) for n in ["2"] + list(range(20, 26))
                              for dot in ("", ".")]),
        (["get", "wheel[12].cam_"], ["wheel[12].cam_inversion", "wheel[12].cam_offset",
                                     "wheel[12].cam_pulses", "wheel[12].cam_width"]),
        (["set", "ramp[99]."], ["ramp[99].speed=", "ramp[99].time="]),
        (["set", "ramp[9"], ["ramp[9]."] + ["ramp[9%d]." % k for k in range(10)]),
        (["set", "can_id", "=", ""], []),
        (["show", "--"], ["--file", "--help", "--json"]),
        (["apply", "--"], ["--file", "--force", "--help", "--json"]),
        (["get", "--"], ["--file", "--help", "--json", "--value"]),
        (["set", "--f"], ["--file", "--force"]),
        (["edit", "--c"], ["--changes", "--compare"]),
        (["--compare", "o"], ["other"]),
        (["--compare", "other", "s"], ["screen", "set", "show"]),
        (["-f", "car.txt", "s"], ["screen", "set", "show"]),
        (["--file", "=", "car.txt", "get", "vss"], ["vss_pulse_width", "vss_pulses_per_km"]),
        (["-f", "o"], ["other"]),
        (["help", "ap"], ["apply"]),
        (["apply", "car."], ["car.params", "car.txt"]),
        (["get", "--file", "c"], ["car.params", "car.txt"]),
        (["show", "--file", "=", "o"], ["other"]),
    ]
    got = completions(*[words for words, _ in cases])
    for (words, want), have in zip(cases, got):
        check(have == sorted(want), "%s: %r, want %r" % (" ".join(words), have, want))


# The line typed (Tab as \t) and the line bash shows then, with an X typed after the Tab.
IN_QUOTES = [
    ("ulocfg get 'wheel[1].crank_o\t", "ulocfg get 'wheel[1].crank_offset' X"),
    ('ulocfg get "wheel[12].cam_w\t', 'ulocfg get "wheel[12].cam_width" X'),
    ("ulocfg get 'wheel[1].cra\t", "ulocfg get 'wheel[1].crank_X"),
    ("ulocfg set 'wheel[3\t", "ulocfg set 'wheel[3].'X"),            # bash closes the quote
    ("ulocfg set 'wheel[3\tna\t", "ulocfg set 'wheel[3].name=X"),   # and the word goes on
    ('ulocfg set "ramp[2].ti\t', 'ulocfg set "ramp[2].time="X'),
    ("ulocfg apply 'car.p\t", "ulocfg apply 'car.params' X"),
]


def test_completion_in_quotes():
    """An interactive bash in tmux with the completion loaded: Tab completes the bracketed
    names in single and double quotes as the README writes them."""
    with Scratch() as s:
        open(s.path("car.params"), "w").close()
        with open(s.path("rc"), "w") as f:
            f.write("PS1='$ '; HISTFILE=; PATH='%s':$PATH; cd '%s'; source '%s'\n"
                    % (BUILD_DIR, s.dir, COMPLETION))
        socket = "ulocfg-completion-%d" % os.getpid()
        env = dict(os.environ, TERM="xterm-256color", INPUTRC="/dev/null", LANG="C.UTF-8")
        env.pop("TMUX", None)

        def tmux(*args):
            return subprocess.run([TMUX, "-L", socket] + list(args), env=env, check=True,
                                  capture_output=True, text=True).stdout

        def line():
            rows = [r for r in tmux("capture-pane", "-p", "-t", "t").split("\n") if r.strip()]
            return rows[-1] if rows else ""

        tmux("-f", "/dev/null", "new-session", "-d", "-s", "t", "-x", "120", "-y", "10",
             "bash", "--noprofile", "--rcfile", s.path("rc"), "-i")
        try:
            check(poll(lambda: line() == "$", 10), "no prompt: %r" % line())
            for typed, want in IN_QUOTES:
                tmux("send-keys", "-t", "t", "-l", typed + "X")
                check(poll(lambda: line() == "$ " + want, 10), "%r: %r" % (typed, line()))
                tmux("send-keys", "-t", "t", "C-u")
                check(poll(lambda: line() == "$", 10), "the line not cleared: %r" % line())
        finally:
            subprocess.run([TMUX, "-L", socket, "kill-server"], env=env, capture_output=True)


run_tests(tests_in(dict(globals())))
