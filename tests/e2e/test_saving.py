"""Saving that never loses an edit, the real program run as an ordinary user: in place where a
new file would not do, a file changed by someone else while editing, and the rescue copy of
edits that could not be saved."""
import os
import shutil
import subprocess
import sys
import tempfile

from harness import (RESCUE, Session, USER, as_user, binary_for_user, check, format_image,
                     give_away, parse_image, red_text, rescues, row, run_tests,
                     sample_and_edited, tests_in)

BINARY, SAMPLE = binary_for_user(sys.argv[1]), sys.argv[2]
SAMPLE_BYTES, SAMPLE_IMAGE, EDITED, EDITED_BYTES = sample_and_edited(SAMPLE)
OTHER = list(SAMPLE_IMAGE)
OTHER[100] ^= 0xFF
OTHER_BYTES = format_image(OTHER).encode("latin-1")
TITLE_TOP = " ╔" + "═" * 59 + "╗"


def edit(s):
    s.ready()
    s.keys("7", "Down", "Space")
    check(" Edit mode protected:      off" in s.text(), "edits shown:\n" + s.text())


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data, uid=USER, gid=USER):
    with open(path, "wb") as f:
        f.write(data)
    give_away(path, uid=uid, gid=gid)


class Scratch:
    """A folder of the ordinary user's holding ulo.txt, and a temporary folder of its own
    (TMPDIR) for rescue copies the folder refuses."""

    def __init__(self, data=SAMPLE_BYTES):
        self.dir = tempfile.mkdtemp(prefix="ulocfg-e2e-")
        self.tmp = os.path.join(self.dir, ".tmp")
        os.mkdir(self.tmp)
        self.path = os.path.join(self.dir, "ulo.txt")
        write(self.path, data)
        give_away(self.dir, self.tmp)

    def session(self, wrapper=""):
        return Session(BINARY, workdir=self.dir, wrapper=wrapper + as_user(),
                       env={"TMPDIR": self.tmp})

    def files(self):
        return sorted(n for n in os.listdir(self.dir) if n not in (".status", ".tmp"))

    def close(self):
        os.chmod(self.dir, 0o755)
        shutil.rmtree(self.dir, ignore_errors=True)


def check_files(sc, what, ulo, others=(), tmp_rescue=None):
    """ulo.txt byte for byte, the rescue copy's content where one is expected (None: none
    anywhere), and no other file."""
    check(read(sc.path) == ulo, "%s: ulo.txt holds other bytes" % what)
    beside, in_tmp = rescues(sc.dir), rescues(sc.tmp)
    want = [n for n in sc.files() if n != "ulo.txt" and not RESCUE.match(n)]
    check(want == sorted(others), "%s: files left: %s" % (what, sc.files()))
    if tmp_rescue is None:
        check(beside == [] and in_tmp == [], "%s: rescue copies %s" % (what, beside + in_tmp))
        return None
    folder, names = (sc.tmp, in_tmp) if tmp_rescue else (sc.dir, beside)
    check(len(names) == 1 and len(beside + in_tmp) == 1,
          "%s: rescue copies %s %s" % (what, beside, in_tmp))
    check(read(os.path.join(folder, names[0])) == EDITED_BYTES,
          "%s: the rescue copy is not the edited image" % what)
    return os.path.join(folder, names[0])


# -- in place where a new file would not do -------------------------------------------------

def folder_not_writable(sc):
    os.chmod(sc.dir, 0o555)


def hard_link(sc):
    os.link(sc.path, os.path.join(sc.dir, "second-name.txt"))


def group_writable_of_another_owner(sc):
    # uid 1 owns it; the saving user may write it through its group only.
    give_away(sc.path, uid=1, gid=USER)
    os.chmod(sc.path, 0o664)


def test_in_place_when_a_new_file_would_not_do():
    cases = [("folder not writable", folder_not_writable, []),
             ("second hard link", hard_link, ["second-name.txt"]),
             ("owner and group kept", group_writable_of_another_owner, [])]
    if os.geteuid() != 0:
        cases.pop()  # only root can give the file to another owner
        print("note: not root: the owner case needs root to set up")
    for what, setup, others in cases:
        sc = Scratch()
        try:
            setup(sc)
            before = os.stat(sc.path)
            with sc.session() as s:
                edit(s)
                check(s.quit("y") == 0, "%s: status 0:\n%s" % (what, s.text()))
            check_files(sc, what, EDITED_BYTES, others)
            after = os.stat(sc.path)
            check((after.st_ino, after.st_uid, after.st_gid, after.st_mode) ==
                  (before.st_ino, before.st_uid, before.st_gid, before.st_mode),
                  "%s: not the same file: %s, was %s" % (what, after, before))
            for name in others:
                check(read(os.path.join(sc.dir, name)) == EDITED_BYTES, "%s: %s" % (what, name))
        finally:
            sc.close()


# -- changed while editing ------------------------------------------------------------------

def changed(sc):
    write(sc.path, OTHER_BYTES)


def removed(sc):
    os.remove(sc.path)


def renamed(sc):
    """An editor's save: a new file with other bytes renamed into place."""
    new = os.path.join(sc.dir, "new.txt")
    write(new, OTHER_BYTES)
    os.rename(new, sc.path)


def replaced(sc):
    """A link put in the file's place, to a copy of the same bytes elsewhere."""
    copy = os.path.join(sc.tmp, "copy.txt")
    write(copy, SAMPLE_BYTES)
    os.remove(sc.path)
    os.symlink(copy, sc.path)


def touched(sc):
    write(sc.path, SAMPLE_BYTES)
    os.utime(sc.path, (1, 1))


def test_file_changed_while_editing_answered_both_ways():
    # n first (back to the editor, every edit kept, nothing written), then y (saved).
    for word, act in (("changed", changed), ("changed", renamed), ("removed", removed),
                      ("replaced", replaced)):
        question = "File %s since read! Save (Y/N)? " % word
        sc = Scratch()
        try:
            with sc.session() as s:
                edit(s)
                act(sc)
                on_disk = read(sc.path) if os.path.exists(sc.path) else None
                s.escape()
                s.wait_for("Dow you want to save the data (Y/N)?")
                s.keys("y")
                s.wait_for(question.rstrip())
                lines = s.lines()
                check(row(lines, 24).endswith("Dow you want to save the data (Y/N)? y") and
                      row(lines, 25)[39:] == question.rstrip() and
                      s.cursor() == (40 + len(question), 25),
                      "%s: the questions:\n%s" % (word, s.text()))
                # The row the line break brought up is blank in the current colour, red.
                check("".join(red_text(s.styled()[24])).strip() == question.rstrip(),
                      "%s: the question in light red: %r" % (word, s.styled()[24]))
                s.keys("n")
                check(s.cursor() == (30, 5) and row(s.lines(), 1) == TITLE_TOP and
                      "since read" not in s.text() and "Edit mode protected:      off"
                      in s.text(), "%s, n: back in the editor:\n%s" % (word, s.text()))
                check((read(sc.path) if os.path.exists(sc.path) else None) == on_disk,
                      "%s, n: the file was written" % word)
                s.escape()
                s.wait_for("Dow you want to save the data (Y/N)?")
                s.keys("y")
                s.wait_for(question.rstrip())
                s.keys("y")
                check(s.wait_exit() == 0, "%s, y: status 0:\n%s" % (word, s.text()))
            check_files(sc, word, EDITED_BYTES)
        finally:
            sc.close()


def test_folder_moved_away_while_editing():
    # a/ulo.txt is edited; meanwhile a goes to old, and a new a holds the sample again (or
    # nothing). The save asks; y saves into the folder read, says where, leaves a/ alone.
    for word, again in (("replaced", True), ("removed", False)):
        top = tempfile.mkdtemp(prefix="ulocfg-moved-")
        try:
            os.mkdir(os.path.join(top, "a"))
            shutil.copy(SAMPLE, os.path.join(top, "a", "ulo.txt"))
            with Session(BINARY, workdir=top, args="edit a/ulo.txt") as s:
                edit(s)
                os.rename(os.path.join(top, "a"), os.path.join(top, "old"))
                if again:
                    os.mkdir(os.path.join(top, "a"))
                    shutil.copy(SAMPLE, os.path.join(top, "a", "ulo.txt"))
                s.escape()
                s.wait_for("Dow you want to save the data (Y/N)?")
                s.keys("y")
                s.wait_for("File %s since read! Save (Y/N)?" % word)
                s.keys("y")
                check(s.wait_exit() == 0, "%s: status 0:\n%s" % (word, s.text()))
                saved_as = " Saved as %s" % os.path.join(os.path.realpath(top), "old", "ulo.txt")
                check(saved_as in s.text(), "%s: where it went:\n%s" % (word, s.text()))
            check(read(os.path.join(top, "old", "ulo.txt")) == EDITED_BYTES,
                  "%s: the edits are not in old/ulo.txt" % word)
            check(not again or read(os.path.join(top, "a", "ulo.txt")) == SAMPLE_BYTES,
                  "%s: a/ulo.txt was written" % word)
        finally:
            shutil.rmtree(top, ignore_errors=True)


def test_touched_but_unchanged_asks_nothing():
    sc = Scratch()
    try:
        with sc.session() as s:
            edit(s)
            touched(sc)
            check(s.quit("y") == 0, "status 0:\n" + s.text())
            check("since read" not in s.text(), "asked:\n" + s.text())
        check_files(sc, "touched", EDITED_BYTES)
    finally:
        sc.close()


# -- failed saves: the edits kept in a rescue copy ------------------------------------------

def read_only(sc):
    os.chmod(sc.path, 0o444)


def read_only_in_read_only_folder(sc):
    os.chmod(sc.path, 0o444)
    os.chmod(sc.dir, 0o555)


def test_failed_saves_keep_the_edits():
    # setup, wrapper, edited, message, where the rescue copy goes (None: none can be written)
    limit = "ulimit -f 8;"  # dash: blocks of 512 bytes, 4 KiB, half the file
    cases = [
        ("read-only", read_only, "", True, "Cannot open", False),
        ("read-only, no edits", read_only, "", False, "Cannot open", None),
        ("read-only in a read-only folder", read_only_in_read_only_folder, "", True,
         "Cannot open", True),
        ("size limit, hard-linked: in place, the old text written back", hard_link, limit,
         True, "Cannot write", None),
    ]
    for what, setup, wrapper, edited, message, in_tmp in cases:
        sc = Scratch()
        try:
            setup(sc)
            with sc.session(wrapper) as s:
                if edited:
                    edit(s)
                else:
                    s.ready()
                check(s.quit("y") == 1, "%s: status 1" % what)
                lines = s.lines()
            others = ["second-name.txt"] if setup is hard_link else []
            os.chmod(sc.dir, 0o755)
            rescue = check_files(sc, what, SAMPLE_BYTES, others,
                                 None if not edited or in_tmp is None else in_tmp)
            # The question, one blank row, the error, where the edits are.
            at = next((y for y in range(25, 0, -1)
                       if row(lines, y) == " Error: %s ulo.txt !" % message), None)
            check(at is not None and row(lines, at - 1) == "" and row(lines, at - 2).endswith(
                "Dow you want to save the data (Y/N)? y"), "%s: screen:\n%s" % (
                    what, "\n".join(lines)))
            # Beside the file its name as the file's is given, "ulo.txt": a relative one.
            shown = rescue and (rescue if in_tmp else os.path.basename(rescue))
            below = lines[at] + (lines[at + 1] if len(lines[at]) == 80 else "")  # may wrap
            below = below.rstrip()
            if rescue:
                check(below == " Your edits are kept in " + shown, "%s: %r" % (what, below))
            elif edited:
                check(below == " Your edits could not be kept in a rescue file!",
                      "%s: %r" % (what, below))
            else:
                check(below == "", "%s: %r" % (what, below))
        finally:
            sc.close()


# -- set and a file changed while it works ---------------------------------------------------

# The first look at ulo.txt after it was read, which is set's check before it writes: another
# program changes the file just then, as ULO_CHANGE says.
SHIM = r"""
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
static void change(int dir) {
    const char* how = getenv("ULO_CHANGE");
    if (strcmp(how, "append") == 0) {
        int fd = openat(dir, "ulo.txt", O_WRONLY | O_APPEND);
        if (fd >= 0) { (void)!write(fd, " ", 1); close(fd); }
    } else if (strcmp(how, "rename") == 0) {  // as an editor saves: the text and a space
        char text[65536];
        int in = openat(dir, "ulo.txt", O_RDONLY);
        ssize_t n = read(in, text, sizeof text - 1);
        close(in);
        text[n] = ' ';
        int out = openat(dir, "new.txt", O_WRONLY | O_CREAT | O_EXCL, 0644);
        (void)!write(out, text, n + 1);
        close(out);
        renameat(dir, "new.txt", dir, "ulo.txt");
    } else if (strcmp(how, "remove") == 0) {
        unlinkat(dir, "ulo.txt", 0);
    } else if (strcmp(how, "link") == 0) {  // a link to the same bytes put in its place
        renameat(dir, "ulo.txt", dir, "moved.txt");
        symlinkat("moved.txt", dir, "ulo.txt");
    }
}
extern "C" int fstatat(int dir, const char* path, struct stat* st, int flags) {
    static bool done = false;
    if (!done && strcmp(path, "ulo.txt") == 0) {
        done = true;
        change(dir);
    }
    auto real = reinterpret_cast<int (*)(int, const char*, struct stat*, int)>(
        dlsym(RTLD_NEXT, "fstatat"));
    return real(dir, path, st, flags);
}
"""


def test_set_refuses_a_file_changed_while_it_works():
    compiler = shutil.which("c++") or shutil.which("g++")
    check(compiler, "no C++ compiler to build the shim")
    work = tempfile.mkdtemp(prefix="ulocfg-shim-")
    try:
        source, shim = os.path.join(work, "shim.cpp"), os.path.join(work, "shim.so")
        with open(source, "w") as f:
            f.write(SHIM)
        subprocess.run([compiler, "-shared", "-fPIC", "-o", shim, source, "-ldl"], check=True)
        asan = os.environ.get("ASAN_OPTIONS", "")
        # What the other program leaves: ulo.txt's bytes (None: no file), and where a link
        # in its place leads.
        for how, left, link in (("append", SAMPLE_BYTES + b" ", None),
                                ("rename", SAMPLE_BYTES + b" ", None),
                                ("remove", None, None),
                                ("link", SAMPLE_BYTES, "moved.txt")):
            sc = Scratch()
            try:
                env = dict(os.environ, LD_PRELOAD=shim, ULO_CHANGE=how,
                           ASAN_OPTIONS=(asan + ":" if asan else "") + "verify_asan_link_order=0")
                r = subprocess.run([BINARY, "set", "last_menu=7"], cwd=sc.dir, env=env,
                                   capture_output=True, text=True, timeout=30)
                check(r.returncode == 1, "%s: status %d: %s" % (how, r.returncode, r.stderr))
                check(r.stderr == "ulocfg: ulo.txt was changed by someone else while set worked; "
                      "nothing written, run set again\n", "%s: message: %r" % (how, r.stderr))
                check((read(sc.path) if os.path.exists(sc.path) else None) == left,
                      "%s: the other's change is kept" % how)
                check((os.readlink(sc.path) if os.path.islink(sc.path) else None) == link,
                      "%s: the link is kept" % how)
            finally:
                sc.close()
        # Without the other program, the same set writes.
        sc = Scratch()
        try:
            r = subprocess.run([BINARY, "set", "last_menu=7"], cwd=sc.dir, capture_output=True,
                               timeout=30)
            check(r.returncode == 0 and parse_image(read(sc.path).decode("latin-1"))[0] == 7,
                  "set without a change: %d %r" % (r.returncode, r.stderr))
        finally:
            sc.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    run_tests(tests_in(dict(globals())))
