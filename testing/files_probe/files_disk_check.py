"""Checks the file utilities, the enumerator and the platform file against
what Linux sees on disk through Wine's Z: drive.

usage (environment as qv_python_test sets it): files_disk_check.py
"""

import fnmatch
import hashlib
import os
import shutil
import sys

from files_probe import Checks, Probe
from qv_test_support import WORK_DIR, windows_path

# PlatformFileFlags and PlatformFileError values.
OPEN, CREATE, OPEN_ALWAYS, CREATE_ALWAYS, OPEN_TRUNCATED = 1, 2, 4, 8, 16
READ, WRITE = 32, 64
OK, FAILED, IN_USE, EXISTS, NOT_FOUND, ACCESS_DENIED = 0, -1, -2, -3, -4, -5
FILES, DIRECTORIES, INCLUDE_DOT_DOT = 1, 2, 4


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def snapshot(root):
    """Every path under root with the SHA-256 of each file."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames:
            state[os.path.join(dirpath, name)] = "dir"
        for name in filenames:
            path = os.path.join(dirpath, name)
            state[path] = sha256_of(path)
    return state


def check_contents(checks, probe, work):
    for size in (0, 65536, 65537, 3 * 1024 * 1024):
        source = os.path.join(work, "contents", "in_%d.bin" % size)
        write_bytes(source, os.urandom(size))
        by_string = os.path.join(work, "contents", "by_string_%d.bin" % size)
        by_read = os.path.join(work, "contents", "by_read_%d.bin" % size)
        answer = probe.ask("copy", windows_path(source), windows_path(by_string),
                           windows_path(by_read))
        checks.equal("1 %d %d %d %d" % (size, size, size, size), answer,
                     "read and write results for %d bytes" % size)
        expected = sha256_of(source)
        for copy in (by_string, by_read):
            checks.equal(expected, sha256_of(copy) if os.path.exists(copy) else None,
                         "SHA-256 of %s" % os.path.basename(copy))

    # A file whose reads fail on the host (EIO at offset 0) must not pass
    # for an empty file that was read.
    ok, _ = probe.ask("readstring", "Z:\\proc\\self\\mem").split()
    checks.equal("0", ok, "ReadFileToString of a file whose read fails")


def parse_listing(answer):
    entries = []
    for line in answer.split("\n"):
        if line == "END":
            break
        kind, path, _ = line.split("\t")
        entries.append((kind, path))
    return entries


def walk_set(root):
    expected = set()
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames:
            expected.add(("D", windows_path(os.path.join(dirpath, name))))
        for name in filenames:
            expected.add(("F", windows_path(os.path.join(dirpath, name))))
    return expected


def check_enumeration(checks, probe, work):
    root = os.path.join(work, "tree")
    outside = os.path.join(work, "outside")
    for path in ("a.txt", ".hidden", "sub1/b.dmp", "sub1/deep/c.txt",
                 "sub1/deep/deeper/d.txt", "x.dmp/inner.txt", "r.dmp"):
        write_bytes(os.path.join(root, path), b"data of " + path.encode())
    os.makedirs(os.path.join(root, "sub2"))
    write_bytes(os.path.join(outside, "t.txt"), b"not to be walked")
    os.symlink(outside, os.path.join(root, "linked"))

    listing = parse_listing(probe.ask("enum", windows_path(root), 1,
                                      FILES | DIRECTORIES))
    expected = walk_set(root)
    checks.equal(sorted(expected), sorted(set(listing)), "recursive walk set")
    checks.equal(len(set(listing)), len(listing), "no entry listed twice")
    checks.true(("D", windows_path(os.path.join(root, "linked"))) in listing,
                "linked folder listed")
    seen = set()
    for kind, path in listing:
        parent = path.rsplit("\\", 1)[0]
        if parent != windows_path(root):
            checks.true(("D", parent) in seen,
                        "folder %s listed before %s" % (parent, path))
        seen.add((kind, path))

    files_only = parse_listing(probe.ask("enum", windows_path(root), 1, FILES))
    checks.equal(sorted(e for e in expected if e[0] == "F"), sorted(files_only),
                 "recursive files only")

    flat = parse_listing(probe.ask("enum", windows_path(root), 0,
                                   FILES | DIRECTORIES))
    checks.equal(sorted(e for e in expected
                        if e[1].rsplit("\\", 1)[0] == windows_path(root)),
                 sorted(flat), "one level")

    # The pattern filters the root; folders it matched are listed whole.
    matched = parse_listing(probe.ask("enum", windows_path(root), 1,
                                      FILES | DIRECTORIES, "*.dmp"))
    wanted = set()
    for name in os.listdir(root):
        if fnmatch.fnmatch(name, "*.dmp"):
            path = os.path.join(root, name)
            wanted.add(("D" if os.path.isdir(path) else "F", windows_path(path)))
            if os.path.isdir(path):
                wanted |= walk_set(path)
    checks.equal(sorted(wanted), sorted(matched), "pattern walk")

    # ".." is listed when asked for, but never entered.
    with_dots = parse_listing(probe.ask("enum", windows_path(root), 1,
                                        FILES | DIRECTORIES | INCLUDE_DOT_DOT))
    entered = [root] + [os.path.join(d, n) for d, ns, _ in os.walk(root)
                        for n in ns if not os.path.islink(os.path.join(d, n))]
    dot_dots = {("D", windows_path(d) + "\\..") for d in entered}
    checks.equal(sorted(expected | dot_dots), sorted(set(with_dots)),
                 "walk with '..' entries")


def path_of_units(base_dir, units):
    """A Linux path whose Windows form has exactly |units| units."""
    linux_length = units - 2  # "Z:"
    current = base_dir
    while len(current) + 1 + 100 < linux_length:
        current = os.path.join(current, "d" * 99)
    name_length = linux_length - len(current) - 1
    return os.path.join(current, "f" * name_length)


def check_length_limit(checks, probe, work):
    limit_dir = os.path.join(work, "limit")
    for units in (259, 260):
        target = path_of_units(limit_dir, units)
        checks.equal(units, len(windows_path(target)), "constructed length")
        write_bytes(target, b"x")
        answer = probe.ask("delete", windows_path(target), 0)
        if units == 259:
            checks.equal("1", answer, "Delete of 259 units")
            checks.true(not os.path.exists(target), "259-unit file deleted")
        else:
            checks.equal("0", answer, "Delete of 260 units")
            checks.true(os.path.exists(target), "260-unit file kept")
            os.remove(target)

        source = os.path.join(work, "limit_source.txt")
        write_bytes(source, b"copy me")
        answer = probe.ask("copyfileunsafe", windows_path(source),
                           windows_path(target))
        checks.equal("1" if units == 259 else "0", answer,
                     "CopyFileUnsafe to %d units" % units)
        checks.equal(units == 259, os.path.exists(target),
                     "copy made at %d units" % units)
        if os.path.exists(target):
            os.remove(target)


def check_parent_refusal(checks, probe, work):
    area = os.path.join(work, "parent")
    write_bytes(os.path.join(area, "src", "file.txt"), b"keep me")
    os.makedirs(os.path.join(area, "dst"))
    before = snapshot(area)
    src = windows_path(os.path.join(area, "src", "file.txt"))
    dst_dir = windows_path(os.path.join(area, "dst"))
    sneaky = windows_path(os.path.join(area, "dst")) + "\\..\\copy.txt"
    checks.equal("0", probe.ask("copyfile", src, sneaky), "CopyFile to ..")
    checks.equal("0", probe.ask("move", src, sneaky), "Move to ..")
    checks.equal("0", probe.ask("move", dst_dir + "\\..\\src\\file.txt",
                                dst_dir + "\\moved.txt"), "Move from ..")
    checks.equal("0 0 -5", probe.ask("pfopen", sneaky,
                                      CREATE_ALWAYS | WRITE),
                 "platform file with ..")
    checks.equal(before, snapshot(area), "nothing changed by '..' requests")


def check_delete(checks, probe, work):
    folder = os.path.join(work, "delete", "full")
    write_bytes(os.path.join(folder, "one.txt"), b"1")
    write_bytes(os.path.join(folder, "inner", "two.txt"), b"2")
    before = snapshot(folder)
    checks.equal("0", probe.ask("delete", windows_path(folder), 0),
                 "non-recursive Delete of a full folder")
    checks.equal(before, snapshot(folder), "full folder survives")

    # The shell would expand these; they are refused.
    for pattern in ("*", "*.txt", "on?.txt"):
        checks.equal("0", probe.ask("delete", windows_path(folder) + "\\" +
                                    pattern, 1), "Delete of " + pattern)
    checks.equal(before, snapshot(folder), "wildcards delete nothing")

    checks.equal("1", probe.ask("delete", windows_path(folder) + "\\missing", 0),
                 "Delete of a missing path in an existing folder")
    checks.equal("1", probe.ask("delete", windows_path(os.path.join(folder, "one.txt")), 0),
                 "Delete of a file")
    checks.true(not os.path.exists(os.path.join(folder, "one.txt")), "file gone")
    checks.equal("1", probe.ask("delete", windows_path(folder), 1),
                 "recursive Delete")
    checks.true(not os.path.exists(folder), "tree gone")

    empty = os.path.join(work, "delete", "empty")
    os.makedirs(empty)
    checks.equal("1", probe.ask("delete", windows_path(empty), 0),
                 "non-recursive Delete of an empty folder")
    checks.true(not os.path.exists(empty), "empty folder gone")


def check_moves_onto_themselves(checks, probe, work):
    """A folder moved or copied onto itself, into its own parent or into
    itself is refused and keeps every file."""
    area = os.path.join(work, "self_move")
    folder = os.path.join(area, "parent", "x")
    write_bytes(os.path.join(folder, "a.txt"), b"keep me")
    write_bytes(os.path.join(folder, "sub", "b.txt"), b"and me")
    parent = windows_path(os.path.dirname(folder))
    x = windows_path(folder)
    requests = []
    for command in ("move", "moveunsafe", "copyanddelete"):
        for target in (parent, parent + "\\", parent + "\\.", x, x + "\\.",
                       x + "\\sub", x + "\\new"):
            requests.append((command, target))
    # A copy onto the same name in other letters is a copy onto itself.
    requests += [("copyanddelete", parent + "\\X"), ("copydir", x + "\\sub"),
                 ("copydir", parent), ("copyfileunsafe", x + "\\a.txt")]
    before = snapshot(area)
    for command, target in requests:
        source = x if command != "copyfileunsafe" else x + "\\a.txt"
        checks.equal("0", probe.ask(command, source, target),
                     "%s %s onto %s" % (command, source, target))
        checks.equal(before, snapshot(area),
                     "%s onto %s keeps everything" % (command, target))
    # An ordinary move still works.
    checks.equal("1", probe.ask("move", x, parent + "\\y"), "move to a sibling")
    checks.true(os.path.exists(os.path.join(area, "parent", "y", "sub",
                                            "b.txt")), "moved tree complete")


def check_case_only_renames(checks, probe, work):
    """A new letter case for the same name is a rename, not a move onto
    itself: the name on disk changes and every byte stays."""
    area = os.path.join(work, "case_rename")
    write_bytes(os.path.join(area, "a.txt"), b"file contents")
    write_bytes(os.path.join(area, "folder", "sub", "b.txt"), b"folder contents")
    for command, old, new in (("moveunsafe", "a.txt", "A.txt"),
                              ("move", "folder", "Folder")):
        before = sorted(snapshot(area).values())
        checks.equal("1", probe.ask(command, windows_path(os.path.join(area, old)),
                                    windows_path(os.path.join(area, new))),
                     "%s %s to %s" % (command, old, new))
        checks.true(new in os.listdir(area) and old not in os.listdir(area),
                    "%s is named %s on disk" % (old, new))
        checks.equal(before, sorted(snapshot(area).values()),
                     "renaming %s keeps its contents" % old)


def check_delete_keeps_what_links_point_to(checks, probe, work):
    area = os.path.join(work, "delete_links")
    outside = os.path.join(area, "outside")
    write_bytes(os.path.join(outside, "precious.txt"), b"outside the tree")
    write_bytes(os.path.join(outside, "deep", "more.txt"), b"also outside")
    tree = os.path.join(area, "tree")
    write_bytes(os.path.join(tree, "inner", "own.txt"), b"the tree's own")
    os.symlink(outside, os.path.join(tree, "link"))
    os.symlink(outside, os.path.join(tree, "inner", "deeper_link"))
    kept = snapshot(outside)
    # Wine cannot remove a Unix link from the Windows side: there the
    # delete fails and says so, and the tree keeps its link.
    deleted = probe.ask("delete", windows_path(tree), 1)
    checks.equal(kept, snapshot(outside), "linked folder untouched")
    checks.equal(deleted == "0", os.path.lexists(os.path.join(tree, "link")),
                 "success reported only with the link gone")

    # A link given as the path itself: at most the link goes.
    link = os.path.join(area, "lone_link")
    os.symlink(outside, link)
    deleted = probe.ask("delete", windows_path(link), 1)
    checks.equal(kept, snapshot(outside), "its target untouched")
    checks.equal(deleted == "0", os.path.lexists(link),
                 "success reported only with the link gone")


def check_platform_file(checks, probe, work):
    area = os.path.join(work, "platform")
    os.makedirs(area)
    existing = os.path.join(area, "existing.txt")
    write_bytes(existing, b"existing contents")
    missing = os.path.join(area, "missing.txt")

    def fresh(name):
        return windows_path(os.path.join(area, name))

    table = [
        (windows_path(missing), OPEN | READ, "0 0 %d" % NOT_FOUND),
        (windows_path(existing), OPEN | READ, "1 0 %d" % OK),
        (fresh("created.txt"), CREATE | WRITE, "1 1 %d" % OK),
        (windows_path(existing), CREATE | WRITE, "0 0 %d" % EXISTS),
        (windows_path(existing), OPEN_ALWAYS | WRITE, "1 0 %d" % OK),
        (fresh("always.txt"), OPEN_ALWAYS | WRITE, "1 1 %d" % OK),
        (windows_path(existing), CREATE_ALWAYS | WRITE, "1 1 %d" % OK),
        (fresh("dir_missing\\x.txt"), CREATE | WRITE, "0 0 %d" % NOT_FOUND),
        # Several disposition bits: created tells what the winning one did.
        (windows_path(existing), OPEN_TRUNCATED | OPEN_ALWAYS | WRITE,
         "1 0 %d" % OK),
        (windows_path(existing), OPEN_ALWAYS | CREATE_ALWAYS | WRITE,
         "1 1 %d" % OK),
        # No disposition: a failure, never a handle.
        (windows_path(existing), READ, "0 0 %d" % FAILED),
    ]
    for path, flags, expected in table:
        checks.equal(expected, probe.ask("pfopen", path, flags),
                     "open %s with %d" % (path, flags))
    checks.true(os.path.exists(os.path.join(area, "created.txt")), "CREATE made a file")
    checks.equal(0, os.path.getsize(existing), "CREATE_ALWAYS truncated")

    write_bytes(existing, b"to be cut")
    checks.equal("1 0 0", probe.ask("pfopen", windows_path(existing),
                                     OPEN_TRUNCATED | WRITE), "OPEN_TRUNCATED")
    checks.equal(0, os.path.getsize(existing), "OPEN_TRUNCATED cut the file")

    held = os.path.join(area, "held.txt")
    write_bytes(held, b"held")
    checks.equal("1", probe.ask("hold", windows_path(held)), "hold")
    checks.equal("0 0 %d" % IN_USE, probe.ask("pfopen", windows_path(held),
                                               OPEN | READ), "open while held")
    checks.equal("1", probe.ask("release"), "release")
    checks.equal("1 0 0", probe.ask("pfopen", windows_path(held), OPEN | READ),
                 "open after release")

    for mode in ("sync", "async"):
        target = os.path.join(area, "offset_%s.bin" % mode)
        checks.equal("5", probe.ask("pfwrite", windows_path(target), 1 << 20,
                                    "hello", mode), "write at 1 MiB, " + mode)
        with open(target, "rb") as f:
            data = f.read()
        checks.equal((1 << 20) + 5, len(data), "size after 1 MiB write, " + mode)
        checks.true(data[:1 << 20] == bytes(1 << 20), "zeros before, " + mode)
        checks.equal(b"hello", data[1 << 20:], "bytes at 1 MiB, " + mode)


def main():
    work = os.path.join(WORK_DIR, "disk_check")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    checks = Checks()
    with Probe() as probe:
        check_contents(checks, probe, work)
        check_enumeration(checks, probe, work)
        check_length_limit(checks, probe, work)
        check_parent_refusal(checks, probe, work)
        check_delete(checks, probe, work)
        check_moves_onto_themselves(checks, probe, work)
        check_case_only_renames(checks, probe, work)
        check_delete_keeps_what_links_point_to(checks, probe, work)
        check_platform_file(checks, probe, work)
    result = checks.finish()
    if result == 0:
        shutil.rmtree(work, ignore_errors=True)
    return result


if __name__ == "__main__":
    sys.exit(main())
