"""Writers at once on one file: every run that ends with status 0 has its edit in the file, and
every other run says why. Two sets, apply with set, the editor's save with set; on a plain file
and on one with a second name (saved in place). And the file's name is never empty while saves
replace it.

    python3 test_racing.py ulocfg ulo.txt
    ULOCFG_RUNNER=wine64 python3 test_racing.py ulocfg.exe ulo.txt     (the Windows program)

ULOCFG_RACE_ROUNDS sets the rounds of each row (100 here, 10 for the Windows program, whose
every start under Wine takes a good part of a second).
"""
import os
import re
import subprocess
import sys
import tempfile
import threading

from harness import RUNNER, Session, check, poll, read_image, run_tests, tests_in

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
ROUNDS = int(os.environ.get("ULOCFG_RACE_ROUNDS", 10 if RUNNER else 100))


def start(folder, *args):
    return subprocess.Popen(RUNNER + [BINARY] + list(args), cwd=folder, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def name_of(folder, wheel):
    """Wheel `wheel`'s name as the file holds it."""
    image = read_image(os.path.join(folder, "ulo.txt"))
    at = 1024 + 16 * (wheel - 1)
    return bytes(image[at:at + 16]).decode("latin-1").rstrip(" \0")


def folder_with_sample(linked):
    folder = tempfile.mkdtemp(prefix="ulocfg-race-")
    with open(SAMPLE, "rb") as f, open(os.path.join(folder, "ulo.txt"), "wb") as out:
        out.write(f.read())
    if linked:
        os.link(os.path.join(folder, "ulo.txt"), os.path.join(folder, "second-name.txt"))
    return folder


def writer(kind, folder, wheel, name):
    """A run that gives wheel `wheel` the name `name`, by set or by apply."""
    if kind == "set":
        return start(folder, "set", "wheel[%d].name=%s" % (wheel, name))
    params = "params-%d.txt" % wheel
    with open(os.path.join(folder, params), "w") as f:
        f.write('wheel[%d].name = "%s"\n' % (wheel, name))
    return start(folder, "apply", params)


def test_racing_writers_lose_nothing():
    rows = [  # the two writers, and whether the file has a second name
        ("set", "set", False), ("set", "set", True),
        ("apply", "set", False), ("apply", "set", True),
    ]
    for first, second, linked in rows:
        what = "%s and %s%s" % (first, second, ", second name" if linked else "")
        folder = folder_with_sample(linked)
        landed = 0
        for r in range(ROUNDS):
            names = {1: "A%d" % r, 2: "B%d" % r}
            runs = {1: writer(first, folder, 1, names[1]), 2: writer(second, folder, 2, names[2])}
            for wheel, run in runs.items():
                out, err = run.communicate(timeout=60)
                if run.returncode == 0:
                    landed += 1
                    check(name_of(folder, wheel) == names[wheel],
                          "%s, round %d: wheel %d's edit exited 0 but is not in the file (%r)"
                          % (what, r, wheel, name_of(folder, wheel)))
                else:
                    check(run.returncode == 1 and b"being saved by another ulocfg" in err,
                          "%s, round %d: status %d, %r" % (what, r, run.returncode, err))
            left = sorted(n for n in os.listdir(folder) if not n.startswith("params-"))
            check(left == (["second-name.txt", "ulo.txt"] if linked else ["ulo.txt"]),
                  "%s: stray files %s" % (what, left))
        # Each run waits its turn: in this many rounds all of them land.
        check(landed == 2 * ROUNDS, "%s: %d of %d runs landed" % (what, landed, 2 * ROUNDS))
        print("     %-26s %d of %d edits landed" % (what, landed, 2 * ROUNDS))


def test_the_editors_save_racing_a_set():
    # The editor saves at "y" while a set runs: either both edits land, or the editor finds
    # the file changed and asks before it writes anything.
    asked = both = 0
    for r in range(max(2, ROUNDS // 10)):
        with Session(BINARY, SAMPLE, runner=RUNNER) as s:
            s.ready()
            s.keys("Home")  # brightness stays; the edit: 7 typed into the field
            s.keys("7")
            s.escape()
            s.wait_for("Dow you want to save the data (Y/N)?")
            run = start(s.dir, "set", "wheel[2].name=B%d" % r)
            s.keys("y", settle=False)
            out, err = run.communicate(timeout=60)
            poll(lambda: s.exited() or "File changed since read!" in s.text(), 30)
            set_landed = run.returncode == 0 and name_of(s.dir, 2) == "B%d" % r
            check(run.returncode != 0 or set_landed, "round %d: set's edit lost" % r)
            if s.exited():
                check(s.wait_exit() == 0, "round %d: editor's status" % r)
                check(read_image(os.path.join(s.dir, "ulo.txt"))[0] == 7,
                      "round %d: the editor's edit is not in the file" % r)
                both += 1
            else:
                asked += 1
                s.keys("n")
                check(s.quit("n") == 0, "round %d: status after the question" % r)
                check(set_landed, "round %d: asked, but set's edit is not there" % r)
    print("     editor and set: both landed %d times, the editor asked %d times" % (both, asked))


def test_the_name_is_never_empty_during_saves():
    folder = folder_with_sample(False)
    path = os.path.join(folder, "ulo.txt")
    done = threading.Event()
    seen = {"polls": 0, "missing": 0}

    def reader():
        while not done.is_set():
            seen["polls"] += 1
            if not os.path.exists(path):
                seen["missing"] += 1

    thread = threading.Thread(target=reader)
    thread.start()
    try:
        for r in range(ROUNDS):
            run = start(folder, "set", "wheel[1].name=N%d" % r)
            run.communicate(timeout=60)
            check(run.returncode == 0, "save %d: status %d" % (r, run.returncode))
    finally:
        done.set()
        thread.join()
    check(seen["missing"] == 0, "ulo.txt was missing %d times in %d polls during %d saves"
          % (seen["missing"], seen["polls"], ROUNDS))
    print("     %d polls during %d saves, ulo.txt always there" % (seen["polls"], ROUNDS))


def test_the_windows_save_flushes_the_new_file_before_it_takes_the_name():
    # What the Windows program asks of the system, as Wine's relay trace lists it: the new
    # file is written and flushed to the disk before the move that gives it the file's name.
    if not RUNNER:
        return
    folder = folder_with_sample(False)
    env = dict(os.environ, WINEDEBUG="+relay")
    run = subprocess.run(RUNNER + [BINARY, "set", "wheel[1].name=F"], cwd=folder, env=env,
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    check(run.returncode == 0, "status %d" % run.returncode)
    calls = [line for line in run.stderr.decode("latin-1").splitlines()
             if re.search(r"Call KERNEL32\.(CreateFileW|WriteFile|FlushFileBuffers|MoveFileExW)\(",
                          line)]
    made = next((i for i, c in enumerate(calls) if "CreateFileW" in c and "\\\\.ulo.txt." in c),
                None)
    moved = next((i for i, c in enumerate(calls) if "MoveFileExW" in c), None)
    check(made is not None and moved is not None and made < moved,
          "no new file moved into place:\n%s" % "\n".join(calls[-20:]))
    between = calls[made:moved]
    last_write = max((i for i, c in enumerate(between) if "WriteFile" in c), default=None)
    flushed = [i for i, c in enumerate(between) if "FlushFileBuffers" in c]
    check(last_write is not None and any(i > last_write for i in flushed),
          "the new file is not flushed between its last write and the move:\n%s"
          % "\n".join(between))


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
