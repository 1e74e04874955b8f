"""What a save leaves on disk at every step, and what the program does when the world works
against it: the order of syncs and renames, a kill between any two steps, a link swapped in by
another user while root saves, an access list, a terminal that takes no output at a stop."""
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

from harness import (USER, Scratch, as_user, binary_for_user, check, format_image, give_away,
                     parse_image, poll, rescues, run_tests, sample_and_edited, Session,
                     tests_in)

BINARY, SAMPLE = os.path.abspath(sys.argv[1]), sys.argv[2]
SAMPLE_BYTES, SAMPLE_IMAGE, _, _ = sample_and_edited(SAMPLE)
SET = ["set", "last_menu=7"]
EDITED = list(SAMPLE_IMAGE)
EDITED[0] = 7
EDITED_BYTES = format_image(EDITED).encode("latin-1")
# The leak checker of a sanitizer build cannot work under a tracer.
TRACED_ENV = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")


def strace(args, log, *options, cwd=None):
    return subprocess.run(["strace", "-f", "-qq", "-o", log] + list(options) + [BINARY] + args,
                          cwd=cwd, capture_output=True, timeout=60, env=TRACED_ENV)


def image_of(data):
    try:
        return parse_image(data.decode("latin-1"))
    except (AssertionError, ValueError):
        return None


# -- the order of the steps -----------------------------------------------------------------

def test_the_new_file_is_on_disk_before_it_takes_the_name():
    with Scratch() as sc:
        sc.copy("ulo.txt", SAMPLE)
        log = sc.path("trace")
        r = strace(SET, log, "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2",
                   cwd=sc.dir)
        check(r.returncode == 0, "set: %d %s" % (r.returncode, r.stderr))
        check(sc.read("ulo.txt") == EDITED_BYTES, "saved")
        calls = open(log).read().splitlines()
        new = [(i, m.group(1), m.group(2)) for i, c in enumerate(calls) for m in
               [re.search(r'openat\(\d+, "(\.ulo\.txt\.[a-z0-9]+)", [^)]*O_CREAT[^)]*\)\s+= (\d+)', c)]
               if m]
        check(len(new) == 1, "one new file: %s" % new)
        made, name, fd = new[0]
        renamed = [i for i, c in enumerate(calls)
                   if re.search(r'rename(at2?)?\(.*"%s".*"ulo\.txt".*\)\s+= 0' % re.escape(name), c)]
        check(len(renamed) == 1, "renamed once:\n" + "\n".join(calls))
        synced = [i for i, c in enumerate(calls) if re.search(r"f(data)?sync\(%s\)\s+= 0" % fd, c)]
        check(any(made < i < renamed[0] for i in synced),
              "the new file is synced before the rename:\n" + "\n".join(calls[made:]))
        # The folder is synced after the rename, so that the new name is on disk too.
        folders = [m.group(1) for c in calls for m in
                   [re.search(r'openat\(AT_FDCWD, "\.", [^)]*O_DIRECTORY[^)]*\)\s+= (\d+)', c)] if m]
        check(folders and any(re.search(r"fsync\(%s\)\s+= 0" % folders[0], c)
                              for c in calls[renamed[0]:]),
              "the folder is synced after the rename:\n" + "\n".join(calls[made:]))


def kill_at_every_step(text, syscalls, hard_link):
    """Runs set on a file holding `text`, killed at the n-th call of each system call in turn,
    until set gets through; after each kill the file must load as the old or the new image.
    Returns how many kills there were."""
    old = image_of(text)
    new = list(old)
    new[0] = 7
    kills = 0
    for call in syscalls:
        for n in range(1, 40):
            with Scratch() as sc:
                path = sc.path("ulo.txt")
                with open(path, "wb") as f:
                    f.write(text)
                if hard_link:
                    os.link(path, sc.path("other-name.txt"))
                r = strace(SET, os.devnull, "-e", "inject=%s:signal=KILL:when=%d" % (call, n),
                           cwd=sc.dir)
                got = image_of(sc.read("ulo.txt"))
                check(got in (old, new), "killed at %s #%d: ulo.txt loads as neither image:\n%r"
                      % (call, n, sc.read("ulo.txt")[:300]))
                if r.returncode == 0:
                    check(got == new, "%s #%d: set ended well but did not save" % (call, n))
                    break
                kills += 1
        else:
            check(False, "set never got past %s" % call)
    return kills


def test_a_kill_at_any_step_of_an_in_place_save_leaves_a_file_that_loads():
    # Another name of the file makes the save write in place; CRLF line ends make the old text
    # longer than the new one, so that it must be cut.
    crlf = SAMPLE_BYTES.replace(b"\n", b"\r\n")
    kills = kill_at_every_step(crlf, ("pread64", "pwrite64", "fsync", "ftruncate"), True)
    check(kills >= 6, "only %d kills: the save is not in place?" % kills)


def test_a_kill_at_any_step_of_a_save_by_a_new_file_leaves_the_file_whole():
    kills = kill_at_every_step(SAMPLE_BYTES, ("pwrite64", "fchmod", "fsync", "renameat2",
                                              "renameat"), False)
    check(kills >= 4, "only %d kills" % kills)


# -- another user's link, swapped in while root saves ---------------------------------------

SWAPPER = r"""
import os, sys, time
folder, victim, stop = sys.argv[1:]
end = time.monotonic() + 300
n = 0
while not os.path.exists(stop) and time.monotonic() < end:
    for target in ("image.txt", victim):
        link = os.path.join(folder, "link%d" % n)
        n += 1
        os.symlink(target, link)
        os.rename(link, os.path.join(folder, "ulo.txt"))
print(n)
"""
# The ordinary user may not reach an interpreter kept in root's home.
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def test_a_link_swapped_in_by_another_user_is_never_written_through():
    rounds = 300
    top = tempfile.mkdtemp(prefix="ulocfg-e2e-")
    try:
        os.chmod(top, 0o755)
        folder, private = os.path.join(top, "shared"), os.path.join(top, "private")
        os.mkdir(folder)
        os.mkdir(private, 0o700)
        victim = os.path.join(private, "victim.txt")
        secret = b"root's own file, not an image\n"
        with open(victim, "wb") as f:
            f.write(secret)
        os.chmod(victim, 0o600)
        with open(os.path.join(folder, "image.txt"), "wb") as f:
            f.write(SAMPLE_BYTES)
        os.symlink("image.txt", os.path.join(folder, "ulo.txt"))
        give_away(folder, os.path.join(folder, "image.txt"))
        stop = os.path.join(top, "stop")
        swapper = subprocess.Popen(as_user().split() + [PYTHON, "-c", SWAPPER, folder, victim,
                                                        stop], stdout=subprocess.PIPE, text=True)
        statuses = {}
        try:
            for k in range(rounds):
                r = subprocess.run([BINARY, "set", "last_menu=%d" % (k % 10), "--file",
                                    os.path.join(folder, "ulo.txt")], capture_output=True,
                                   timeout=30)
                statuses[r.returncode] = statuses.get(r.returncode, 0) + 1
        finally:
            open(stop, "w").close()
            swaps = swapper.communicate(timeout=30)[0].strip()
        check(swapper.returncode == 0 and int(swaps) > rounds, "the link was not swapped: %r"
              % swaps)
        with open(victim, "rb") as f:
            check(f.read() == secret, "the victim was written; statuses %s" % statuses)
        check(os.stat(victim).st_mode & 0o777 == 0o600, "the victim's mode changed")
        check(set(statuses) <= {0, 1, 2}, "statuses %s" % statuses)
        check(statuses.get(0, 0) > 0, "no set got through: %s" % statuses)
        print("   %d rounds against %s swaps of the link, statuses %s" % (rounds, swaps, statuses))
    finally:
        shutil.rmtree(top, ignore_errors=True)


# -- an access list -------------------------------------------------------------------------

def test_a_file_with_an_access_list_keeps_it_and_grants_nothing_more():
    with Scratch() as sc:
        path = sc.copy("ulo.txt", SAMPLE)
        os.chmod(path, 0o600)
        subprocess.run(["setfacl", "-m", "u:%d:rw" % USER, path], check=True)
        acl = subprocess.run(["getfacl", "-cn", path], capture_output=True, text=True).stdout
        mode = os.stat(path).st_mode & 0o7777
        r = subprocess.run([BINARY] + SET + ["--file", path], capture_output=True, timeout=30)
        check(r.returncode == 0, "set: %d %s" % (r.returncode, r.stderr))
        check(sc.read("ulo.txt") == EDITED_BYTES, "saved")
        check(os.stat(path).st_mode & 0o7777 == mode, "mode %o, was %o" % (
            os.stat(path).st_mode & 0o7777, mode))
        now = subprocess.run(["getfacl", "-cn", path], capture_output=True, text=True).stdout
        check(now == acl, "access list:\n%s\nwas:\n%s" % (now, acl))


# -- a stop while the terminal takes no output ----------------------------------------------

def syscall_of(pid):
    """The number of the system call the process waits in, or None."""
    try:
        with open("/proc/%d/syscall" % pid) as f:
            first = f.read().split()[0]
        return int(first) if first.isdigit() else None
    except (OSError, IndexError):
        return None


def test_sigterm_while_the_terminal_takes_no_output_keeps_the_edits_and_ends():
    with Scratch() as sc:
        sc.copy("ulo.txt", SAMPLE)
        pid, master = pty.fork()
        if pid == 0:
            os.chdir(sc.dir)
            os.environ.update(TERM="xterm", LANG="C.UTF-8", TMPDIR=sc.dir)
            os.execv(BINARY, [BINARY])
        try:
            fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
            seen = b""
            end = time.monotonic() + 20
            while b"CAN 29-bit ID" not in seen and time.monotonic() < end:
                if select.select([master], [], [], 0.5)[0]:
                    seen += os.read(master, 65536)
            check(b"CAN 29-bit ID" in seen, "no first screen: %r" % seen[-300:])
            os.write(master, b"7")  # an edit: last_menu 7, drawn as the only change
            drawn = b""
            end = time.monotonic() + 20
            while b"7" not in drawn and time.monotonic() < end:
                if select.select([master], [], [], 0.5)[0]:
                    drawn += os.read(master, 65536)
            check(b"7" in drawn, "the edit was not drawn: %r" % drawn)
            # From here on nobody reads the terminal: every resize repaints the whole screen
            # until the program's writes wait for room that never comes.
            WRITE = 1
            for k in range(2000):
                if syscall_of(pid) == WRITE and poll(lambda: syscall_of(pid) == WRITE, 0.3):
                    break
                width = 80 + k % 2
                fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", 25, width, 0, 0))
                os.kill(pid, signal.SIGWINCH)
                time.sleep(0.005)
            check(syscall_of(pid) == WRITE, "the program never waited on the terminal")
            started = time.monotonic()
            os.kill(pid, signal.SIGTERM)
            ended = poll(lambda: os.waitpid(pid, os.WNOHANG)[0] == pid, 10, 0.01)
            took = time.monotonic() - started
            if not ended:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            check(ended, "still running 10 s after SIGTERM with the terminal stalled")
            print("   ended %.2f s after SIGTERM" % took)
            kept = rescues(sc.dir)
            check(len(kept) == 1, "rescue copies: %s" % kept)
            check(image_of(sc.read(kept[0]))[0] == 7, "the rescue copy holds the edit")
            check(sc.read("ulo.txt") == SAMPLE_BYTES, "ulo.txt untouched")
        finally:
            os.close(master)


# -- no rescue copy possible ----------------------------------------------------------------

def test_a_stop_with_edits_that_cannot_be_kept_says_they_are_lost():
    # Under a file size limit no rescue copy can be written anywhere.
    with Session(BINARY, SAMPLE, wrapper="ulimit -f 1;", env={"TMPDIR": "."}) as s:
        s.ready()
        s.keys("7")
        s.signal(signal.SIGTERM)
        check(s.wait_exit() == 128 + signal.SIGTERM, "status")
        s.wait_for("ulocfg: edits not saved, and no rescue copy could be written: they are lost")
        check(rescues(s.dir) == [], "a rescue copy: %s" % rescues(s.dir))
        check(s.file_bytes() == SAMPLE_BYTES, "ulo.txt untouched")


# -- a command that changes nothing ---------------------------------------------------------

def test_set_and_apply_of_the_values_the_file_holds_leave_it_untouched():
    # Every value as show gives it, set on the command line and applied from a file. The file
    # is not written at all: one without any write bit (which even root's run refuses to
    # write) gives status 0, one with write bits keeps its inode and its time, a second name
    # of it (written in place, were it written) its time.
    binary = binary_for_user(BINARY)
    values = subprocess.run([BINARY, "show", SAMPLE], capture_output=True, text=True, timeout=30)
    check(values.returncode == 0, "show: %d %s" % (values.returncode, values.stderr))
    held = values.stdout.splitlines()
    check(held[0] == "last_menu = %d" % SAMPLE_IMAGE[0], "show: %r" % held[0])
    users = sorted({"", as_user()})  # root itself, and an ordinary user on files made for it
    for user in users:
        for mode, second_name in ((0o444, False), (0o644, False), (0o644, True)):
            for command in (["set"] + held, ["apply", "values.txt"]):
                what = "%s%s, mode %o%s" % (command[0], " as user %d" % USER if user else "",
                                            mode, ", a second name" if second_name else "")
                with Scratch() as sc:
                    os.chmod(sc.dir, 0o755)
                    path = sc.copy("ulo.txt", SAMPLE)
                    with open(sc.path("values.txt"), "w") as f:
                        f.write(values.stdout)
                    if second_name:
                        os.link(path, sc.path("other-name.txt"))
                    if user:
                        give_away(sc.dir, path, sc.path("values.txt"))
                    os.chmod(path, mode)
                    os.utime(path, ns=(10**18, 10**18))  # long ago: any write shows
                    before = os.stat(path)
                    r = subprocess.run(user.split() + [binary] + command, cwd=sc.dir,
                                       stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                       timeout=30)
                    check((r.returncode, r.stdout, r.stderr) == (0, "", ""),
                          "%s: status %d %r %r" % (what, r.returncode, r.stdout, r.stderr))
                    check(sc.read("ulo.txt") == SAMPLE_BYTES, "%s: ulo.txt changed" % what)
                    after = os.stat(path)
                    check((after.st_ino, after.st_mtime_ns, after.st_ctime_ns, after.st_mode) ==
                          (before.st_ino, before.st_mtime_ns, before.st_ctime_ns,
                           before.st_mode), "%s: ulo.txt was written" % what)
                    names = ["other-name.txt"] if second_name else []
                    check(sorted(os.listdir(sc.dir)) == sorted(["ulo.txt", "values.txt"] + names),
                          "%s: files %s" % (what, sorted(os.listdir(sc.dir))))


# -- a file size limit on a command -----------------------------------------------------------

def limited(args, cwd):
    """Runs the program as `ulimit -f 8; ulocfg ARGS` does in the shell (dash's blocks of 512
    bytes: 4 KiB, half of the 8338-byte file). The limit's signal, SIGXFSZ, reaches the program
    at its default: the shell passes it on as it got it, and Python gives its own ignoring
    back before it starts a program (restore_signals)."""
    return subprocess.run(["sh", "-c", 'ulimit -f 8; exec "$0" "$@"'] + args, cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30,
                          restore_signals=True)


def test_commands_beyond_the_file_size_limit_fail_and_keep_the_file():
    # Any program that does not ignore SIGXFSZ dies by it half-way through writing the file.
    check(len(SAMPLE_BYTES) > 8 * 512, "the sample must not fit the limit")
    with Scratch() as sc:
        r = limited(["cp", os.path.abspath(SAMPLE), "copy.txt"], sc.dir)
        check(r.returncode == -signal.SIGXFSZ, "cp, which does not ignore the limit's signal: "
              "status %d %r" % (r.returncode, r.stderr))
    # The program ignores it: the write fails, the file keeps every byte, and no new file is
    # left behind. A second name makes the save write in place.
    for what, args, second_name in (("set", SET, False), ("set in place", SET, True),
                                    ("apply", ["apply", "values.txt"], False)):
        with Scratch() as sc:
            path = sc.copy("ulo.txt", SAMPLE)
            with open(sc.path("values.txt"), "w") as f:
                f.write("last_menu = 7\n")
            names = ["ulo.txt", "values.txt"]
            if second_name:
                os.link(path, sc.path("other-name.txt"))
                names.append("other-name.txt")
            r = limited([BINARY] + args, sc.dir)
            check((r.returncode, r.stdout, r.stderr) == (
                1, "", "ulocfg: cannot write ulo.txt: File too large; it is unchanged\n"),
                  "%s: status %d %r %r" % (what, r.returncode, r.stdout, r.stderr))
            check(sc.read("ulo.txt") == SAMPLE_BYTES, "%s: ulo.txt changed" % what)
            check(sorted(os.listdir(sc.dir)) == sorted(names), "%s: files %s" % (
                what, sorted(os.listdir(sc.dir))))
            check(not second_name or os.path.samefile(path, sc.path("other-name.txt")),
                  "%s: the second name parted from ulo.txt" % what)


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
