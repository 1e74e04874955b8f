"""The Windows program as a user meets it under Wine. In a console, shown in a tmux pane: what a
user sees there of its output and messages, a file's name as its one argument, and the window
made for the run alone (Wine gives a program started from the pane's shell a console of its
own; through cmd.exe it shares the console with the command prompt, as in a command prompt
window). In cmd.exe: the README's lines for the command prompt.

    ULOCFG_RUNNER=wine64 ULOCFG_LINUX=ulocfg python3 windows_console.py ulocfg.exe ulo.txt
"""
import os
import shutil
import subprocess
import sys
import tempfile

from harness import LINUX_PROGRAM, RUNNER, Session, check, parse_image, poll, run_tests, tests_in

WINDOWS, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
with open(SAMPLE, "rb") as f:
    SAMPLE_BYTES = f.read()
# Wine starts slower than the Linux program.
WINE_WAIT = 30
PROMPT = "Press any key to close this window."
CMD = RUNNER + ["cmd", "/c"]


def shown(s):
    """The pane's rows down to the last one with text."""
    rows = [r.rstrip() for r in s.lines()]
    while rows and not rows[-1]:
        rows.pop()
    return rows


def test_screen_shows_the_box_lines_and_the_degree_sign():
    with Session(LINUX_PROGRAM, SAMPLE, height=30, args="screen") as linux, \
            Session(WINDOWS, SAMPLE, height=30, args="screen", runner=RUNNER) as windows:
        got = linux.wait_exit(), windows.wait_exit(WINE_WAIT)
        check(got == (0, 0), "statuses %s" % (got,))
        text = "\n".join(shown(windows))
        check("\u2554" in text and "\u00b0" in text and "\ufffd" not in text,
              "no box lines or degree sign:\n" + text)
        check(shown(windows) == shown(linux), "the Windows pane shows\n%s\nthe Linux one\n%s" % (
            text, "\n".join(shown(linux))))


# Runs that end with a message. Started from the pane's shell, the Windows program has the
# console to itself, as from Explorer: it asks for a key after the message. Through cmd.exe, or
# on Linux, the message stays in the window and the program ends at once.
ENDINGS = [
    # arguments, ulo.txt, the message's last line, the status
    ("show 'M\u00fcller\\ulo.txt'", SAMPLE_BYTES,
     "ulocfg: cannot open M\u00fcller\\ulo.txt: No such file or directory", 1),
    ("", None, " Error: Cannot open ulo.txt !", 1),
    ("set --force vss_pulse_width=5", SAMPLE_BYTES,
     "ulocfg: vss_pulse_width=5: warning: stored outside the field's range, 670..6700 ms", 0),
]


def test_a_message_at_the_end_waits_for_a_key_in_a_window_of_its_own():
    for args, content, message, status in ENDINGS:
        for name, program, runner, waits in (("Linux", LINUX_PROGRAM, [], False),
                                             ("cmd.exe", WINDOWS, CMD, False),
                                             ("alone", WINDOWS, RUNNER, True)):
            what = "%s, %s" % (name, args or "no arguments")
            with Session(program, content=content, args=args, runner=runner, width=100) as s:
                if waits:
                    s.wait_for(PROMPT, WINE_WAIT)
                    rows = shown(s)
                    check(rows[-2:] == [message, PROMPT], "%s: the window shows\n%s" % (
                        what, s.text()))
                    check(not poll(s.exited, 2), "%s: ended without a key" % what)
                    s.keys("x", settle=False)
                got = s.wait_exit(WINE_WAIT)
                check(got == status, "%s: status %d" % (what, got))
                rows = shown(s)
                check(message in rows and (PROMPT in rows) == waits,
                      "%s: the window shows\n%s" % (what, s.text()))


def test_a_file_name_alone_opens_the_editor_on_that_file():
    # Explorer gives a file dropped on the program as its full name, with backslashes.
    for program, runner, arg in ((LINUX_PROGRAM, [], "'M\u00fcller/ulo.txt'"),
                                 (WINDOWS, RUNNER, "'M\u00fcller/ulo.txt'"),
                                 (WINDOWS, RUNNER, "'M\u00fcller\\ulo.txt'")):
        folder = tempfile.mkdtemp(prefix="ulocfg-console-")
        try:
            os.mkdir(os.path.join(folder, "M\u00fcller"))
            shutil.copyfile(SAMPLE, os.path.join(folder, "M\u00fcller", "ulo.txt"))
            with Session(program, workdir=folder, args=arg, runner=runner) as s:
                s.wait_for("CAN 29-bit ID", WINE_WAIT)
                s.keys("7", settle=False)
                s.wait_for("Last menu used:             7", WINE_WAIT)
                s.keys("Alt+X", settle=False)
                s.wait_for("Dow you want to save the data (Y/N)?", WINE_WAIT)
                s.keys("y", settle=False)
                check(s.wait_exit(WINE_WAIT) == 0, "%s: status" % arg)
                check(PROMPT not in s.text(), "%s: asked for a key after a save" % arg)
            with open(os.path.join(folder, "M\u00fcller", "ulo.txt"), encoding="latin-1") as f:
                check(parse_image(f.read())[0] == 7, "%s: last_menu not saved" % arg)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


def readme_block(language):
    """The lines of the README's first fenced block in `language`."""
    with open(README, encoding="utf-8") as f:
        text = f.read()
    start = text.index("```%s\n" % language) + len(language) + 4
    return text[start:text.index("```", start)].splitlines()


def wine_output(*command):
    return subprocess.run(RUNNER + list(command), capture_output=True, text=True,
                          timeout=60).stdout.strip()


def test_the_readme_command_prompt_lines_run_in_cmd():
    # In a folder holding the unzipped folder's example, with ulocfg.exe on the PATH, as a
    # batch file that stops at the first line that fails. The files they leave are the ones
    # the Linux program makes of the same edits.
    lines = readme_block("bat")
    version = subprocess.run([LINUX_PROGRAM, "--version"], capture_output=True,
                             text=True).stdout.split()[-1]
    profile = wine_output("winepath", "-u", wine_output("cmd", "/c", "echo %USERPROFILE%"))
    check(os.path.isdir(profile), "no user profile folder: %r" % profile)
    folder = tempfile.mkdtemp(prefix="ulocfg-cmd-")
    try:
        shutil.rmtree(os.path.join(profile, "ulo"), ignore_errors=True)
        os.makedirs(os.path.join(folder, "ulocfg-%s-win64" % version, "examples"))
        shutil.copyfile(SAMPLE, os.path.join(folder, "ulocfg-%s-win64" % version, "examples",
                                             "ulo.txt"))
        with open(os.path.join(folder, "readme.bat"), "w", newline="\r\n") as f:
            f.write("@echo off\n")
            for n, line in enumerate(lines, 1):
                f.write("%s\nif errorlevel 1 exit /b %d\n" % (line, n))
        env = dict(os.environ, WINEPATH="Z:" + os.path.dirname(WINDOWS).replace("/", "\\"))
        r = subprocess.run(RUNNER + ["cmd", "/c", "readme.bat"], cwd=folder, env=env,
                           capture_output=True, timeout=120, start_new_session=True)
        check(r.returncode == 0, "line %d failed: %s\n%s" % (
            r.returncode, lines[r.returncode - 1] if 0 < r.returncode <= len(lines) else "?",
            (r.stdout + r.stderr).decode("utf-8", "replace")))
        want = os.path.join(folder, "want.txt")
        shutil.copyfile(SAMPLE, want)
        for edits in (["brightness=60", "contrast=low"],
                      ["wheel[2].name=36-1 Crank", "ramp[3].time=2.5"]):
            subprocess.run([LINUX_PROGRAM, "set", "--file", want] + edits, check=True)
        with open(want, "rb") as f:
            want_bytes = f.read()
        for name in ("ulo.txt", os.path.join("car7", "ulo.txt"), os.path.join("car8", "ulo.txt")):
            with open(os.path.join(profile, "ulo", name), "rb") as f:
                check(f.read() == want_bytes, "%s is not the sample with the edits" % name)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(os.path.join(profile, "ulo"), ignore_errors=True)


check(LINUX_PROGRAM, "ULOCFG_LINUX names no Linux program to compare with")
run_tests(tests_in(dict(globals())))
