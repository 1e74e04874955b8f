"""Every command example of the README runs as written, in bash and in zsh, on the sample.

- In a ```sh block, every line that starts with `ulocfg` is run in turn, in one scratch folder
  that holds the sample as ulo.txt (and as DIR/ulo.txt for every DIR/ulo.txt the README
  names); it must end with status 0, or with N where its comment says "status N".
- A ``` block whose first line is "$ ulocfg ..." shows what that command prints: it is run
  on a fresh copy of the sample, and what it prints must be the lines that follow.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from harness import check, run_tests, tests_in

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), sys.argv[2]
README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
SHELLS = [s for s in ("bash", "zsh") if shutil.which(s)]


def blocks():
    """(language, lines) of every fenced block."""
    found, lang, lines = [], None, None
    with open(README, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("```"):
                if lines is None:
                    lang, lines = line[3:].strip(), []
                else:
                    found.append((lang, lines))
                    lines = None
            elif lines is not None:
                lines.append(line)
    return found


def scratch():
    """A folder with the sample as ulo.txt and as every DIR/ulo.txt the README names."""
    folder = tempfile.mkdtemp(prefix="ulocfg-readme-")
    shutil.copyfile(SAMPLE, os.path.join(folder, "ulo.txt"))
    with open(README, encoding="utf-8") as f:
        for d in set(re.findall(r"\b([\w-]+)/ulo\.txt", f.read())):
            os.makedirs(os.path.join(folder, d), exist_ok=True)
            shutil.copyfile(SAMPLE, os.path.join(folder, d, "ulo.txt"))
    return folder


def run(shell, command, folder):
    env = dict(os.environ, PATH=os.path.dirname(BINARY) + os.pathsep + os.environ["PATH"],
               LANG="C.UTF-8")
    return subprocess.run([shell, "-c", command], cwd=folder, env=env, capture_output=True,
                          text=True, timeout=30)


def test_every_command_example_runs_in_bash_and_zsh():
    check(SHELLS, "no shell")
    commands = [line for lang, lines in blocks() if lang == "sh" for line in lines
                if line.startswith("ulocfg")]
    check(len(commands) >= 8, "only %d examples found" % len(commands))
    for shell in SHELLS:
        folder = scratch()
        try:
            for command in commands:
                want = re.search(r"#.*\bstatus (\d+)", command)
                r = run(shell, command, folder)
                check(r.returncode == (int(want.group(1)) if want else 0),
                      "%s: %s\nstatus %d\n%s%s" % (shell, command, r.returncode, r.stdout,
                                                   r.stderr))
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print("   %d examples, each in %s" % (len(commands), " and ".join(SHELLS)))


def shown_runs():
    """Each block of shown output as its commands in turn, each with the lines it prints."""
    runs = []
    for lang, lines in blocks():
        if lang != "" or not lines or not lines[0].startswith("$ ulocfg"):
            continue
        runs.append([])
        for line in lines:
            if line.startswith("$ "):
                runs[-1].append((line[2:], []))
            else:
                runs[-1][-1][1].append(line)
    return runs


def test_shown_output_is_what_the_command_prints():
    runs = shown_runs()
    check(runs, "no shown output found")
    for commands in runs:
        for shell in SHELLS:
            folder = scratch()  # each block on a fresh sample, its commands one after another
            try:
                for command, want in commands:
                    r = run(shell, command, folder)
                    got = (r.stdout + r.stderr).splitlines()
                    check(got == want, "%s: %s prints:\n%s\nthe README shows:\n%s" % (
                        shell, command, "\n".join(got), "\n".join(want)))
            finally:
                shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
