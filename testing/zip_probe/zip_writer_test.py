"""Archives written by the zip writer under Wine, to a file, a handle, memory
and a pipe, checked by readers that share nothing with it; and the writer's
failures, each with its result code and no archive that claims success
while it is corrupt."""

import calendar
import os
import random
import shutil
import subprocess
import sys
import time
import unittest
import zipfile
import zlib

import qv_test_support as qv
from qv_test_support import windows_path
from zip_archive_check import (PROBE, UTF8_NAME, check_archive, have_tools,
                               parse_archive, run_probe, scratch_dir)

OPEN_FAILED = 0x200
WRITE_FAILED = 0x400
READ_FAILED = 0x800
PREVIOUS_ERROR = 0x40000
CHANGED_MIND = 0x4000000
TOO_LARGE = 0x90000

# Regular file, owner read and write, DOS archive bit (Wine sets it on
# every file).
PLAIN_FILE = 0x81800020
FOLDER_ENTRY = 0x41C00010
NOT_A_DISK_FILE = 0x80000000
OWNER_EXECUTE = 0x00400000

SUMMER = calendar.timegm((2021, 7, 15, 13, 4, 6))
WINTER = calendar.timegm((2021, 1, 15, 12, 4, 6))
BEFORE_1980 = calendar.timegm((1975, 6, 1, 10, 0, 0))


def mixed_bytes(size, seed):
    """Text and noise, as logs and dumps hold."""
    rng = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += b"[1234:5678:0715/130406:ERROR:flow.cc(%d)] line %d\r\n" % (
                rng.randrange(999), rng.randrange(99999))
        else:
            out += bytes(rng.randrange(256) for _ in range(rng.randrange(64)))
    return bytes(out[:size])


def dos_fields(stamp):
    date, time = stamp >> 16, stamp & 0xFFFF
    return ((date >> 9) + 1980, (date >> 5) & 15, date & 31, time >> 11,
            (time >> 5) & 63, (time & 31) * 2)


class WriterFixture(unittest.TestCase):
    def setUp(self):
        if not have_tools():
            self.skipTest("unzip and 7z are needed (scripts/setup.sh)")
        self.dir = scratch_dir("zip")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def win(self, name):
        return windows_path(self.path(name))

    def write(self, name, data, mtime=SUMMER):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
        return data

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


class TargetsTest(WriterFixture):
    def make_sources(self):
        """name in the archive -> (add request, expected bytes)."""
        files = {
            "a.txt": self.write("a.txt", b"hello, archive\r\n" * 500),
            "b.GZ": self.write("b.GZ", mixed_bytes(3000, 1)),
            "empty.log": self.write("empty.log", b""),
            "big.dmp": self.write("big.dmp", mixed_bytes(300000, 2)),
            "probe.exe": self.write("probe.exe", open(PROBE, "rb").read()),
        }
        requests = [("add", "file", name, self.win(name)) for name in files]
        requests += [
            ("add", "file", "sub\\inner.txt", self.win("a.txt")),
            ("add", "file", "dir.gz\\file", self.win("a.txt")),
            ("add", "folder", "logs"),
            ("add", "memory", "from_memory.bin", self.win("big.dmp")),
        ]
        expected = dict(files)
        expected.update({"sub/inner.txt": files["a.txt"],
                         "dir.gz/file": files["a.txt"], "logs/": b"",
                         "from_memory.bin": files["big.dmp"]})
        return requests, expected

    def check_entries(self, archive_path, expected, seekable=True):
        entries = {e.name.decode(): e for e in check_archive(self, archive_path)}
        self.assertEqual(sorted(expected), sorted(entries))
        with zipfile.ZipFile(archive_path) as archive:
            for name, data in expected.items():
                self.assertEqual(data, archive.read(name), name)
        stored = {"b.GZ", "logs/"}
        for name, entry in entries.items():
            self.assertEqual(0 if name in stored else 8, entry.method, name)
            if seekable:
                self.assertIsNone(entry.descriptor, name)
                flags = 0 if name in stored else 2
                self.assertEqual((flags, flags),
                                 (entry.flags, entry.local_flags), name)
        self.assertEqual(len(expected["b.GZ"]), entries["b.GZ"].compressed)
        self.assertEqual(FOLDER_ENTRY, entries["logs/"].external)
        self.assertEqual((0, 0), (entries["logs/"].size,
                                  entries["logs/"].compressed))
        self.assertEqual(PLAIN_FILE, entries["a.txt"].external)
        self.assertEqual(PLAIN_FILE | OWNER_EXECUTE,
                         entries["probe.exe"].external)
        self.assertEqual(NOT_A_DISK_FILE, entries["from_memory.bin"].external)
        self.assertEqual((0, 0), (entries["empty.log"].crc,
                                  entries["empty.log"].size))
        # The "UT" times are the files' own.
        self.assertEqual((SUMMER, SUMMER),
                         (entries["a.txt"].ut_times()[0],
                          entries["a.txt"].central_ut_modified()))
        return entries

    def test_file_target(self):
        requests, expected = self.make_sources()
        results = run_probe([("create", "file", self.win("out.zip"))] +
                            requests + [("close",)])
        self.assertEqual([True] + [0] * (len(results) - 1),
                         [results[0]["ok"]] +
                         [r["result"] for r in results[1:]], results)
        self.check_entries(self.path("out.zip"), expected)

    def test_handle_target_keeps_offsets_from_the_file_start(self):
        requests, expected = self.make_sources()
        results = run_probe([("create", "handle", self.win("out.zip"), 1000)]
                            + requests + [("close",)])
        self.assertTrue(results[0]["ok"], results)
        self.assertEqual([0] * (len(results) - 1),
                         [r["result"] for r in results[1:]], results)
        self.assertEqual(b"x" * 1000, self.read("out.zip")[:1000])
        entries = self.check_entries(self.path("out.zip"), expected)
        self.assertEqual(1000, min(e.offset for e in entries.values()))

    def test_memory_targets_grow(self):
        for memory in ("own", "alloc"):
            with self.subTest(memory=memory):
                requests, expected = self.make_sources()
                results = run_probe(
                    [("create", "memory", 1, memory)] + requests +
                    [("getmem", self.win("mem.zip")),
                     ("add", "memory", "late", self.win("a.txt")),
                     ("close",)])
                self.assertEqual([0] * len(requests),
                                 [r["result"] for r in results[1:-3]])
                got = results[-3]
                self.assertEqual((0, True), (got["result"], got["data"]))
                self.assertEqual(os.path.getsize(self.path("mem.zip")),
                                 got["size"])
                # Ended by the memory request.
                self.assertEqual(0x50000, results[-2]["result"])
                self.assertEqual(0, results[-1]["result"])
                self.check_entries(self.path("mem.zip"), expected)

    def test_pipe_target_writes_data_descriptors(self):
        data = self.write("a.txt", mixed_bytes(70000, 3))
        self.write("c.zip", b"stored as it is")
        results = run_probe([
            ("create", "pipe", self.win("pipe.zip")),
            ("add", "file", "a.txt", self.win("a.txt")),
            ("add", "file", "c.zip", self.win("c.zip")),
            ("add", "folder", "logs"),
            # A stored entry of unknown length cannot be announced first.
            ("add", "pipe", "d.zip", self.win("c.zip"), 0),
            ("add", "pipe", "e.txt", self.win("a.txt"), 0),
            ("close",)])
        self.assertEqual([True, 0, 0, 0, CHANGED_MIND, 0, 0],
                         [results[0]["ok"]] +
                         [r["result"] for r in results[1:]], results)
        entries = {e.name.decode(): e
                   for e in check_archive(self, self.path("pipe.zip"))}
        self.assertEqual(["a.txt", "c.zip", "e.txt", "logs/"], sorted(entries))
        for name, entry in entries.items():
            self.assertEqual((8, 8), (entry.flags, entry.local_flags), name)
            self.assertEqual((entry.crc, entry.compressed, entry.size),
                             entry.descriptor, name)
        deflated = entries["a.txt"]
        self.assertEqual((0, 0), (deflated.local_crc,
                                  deflated.local_compressed))
        self.assertEqual(zlib.crc32(data), deflated.crc)
        self.assertEqual(NOT_A_DISK_FILE, entries["e.txt"].external)
        with zipfile.ZipFile(self.path("pipe.zip")) as archive:
            self.assertEqual(data, archive.read("e.txt"))
            self.assertEqual(b"stored as it is", archive.read("c.zip"))


class SourcesAndTimesTest(WriterFixture):
    def test_handle_and_pipe_sources(self):
        data = self.write("a.txt", mixed_bytes(50000, 4))
        results = run_probe([
            ("create", "file", self.win("out.zip")),
            ("add", "handle", "disk.txt", self.win("a.txt"), "read"),
            ("add", "pipe", "known.txt", self.win("a.txt"), len(data)),
            ("add", "pipe", "unknown.txt", self.win("a.txt"), 0),
            ("close",)])
        self.assertEqual([0, 0, 0, 0], [r["result"] for r in results[1:]])
        entries = {e.name.decode(): e
                   for e in check_archive(self, self.path("out.zip"))}
        self.assertEqual(PLAIN_FILE, entries["disk.txt"].external)
        self.assertEqual(SUMMER, entries["disk.txt"].ut_times()[0])
        with zipfile.ZipFile(self.path("out.zip")) as archive:
            for name in entries:
                self.assertEqual(data, archive.read(name), name)

    def test_folder_content(self):
        files = {name: self.write(name, name.encode() * 40)
                 for name in ("tree/logs/x.txt", "tree/logs/deep/y.txt")}
        os.makedirs(self.path("tree/logs/empty"))
        results = run_probe([
            ("create", "file", self.win("out.zip")),
            ("folders", self.win("tree"), "logs"),
            ("folders", self.win("tree/logs/deep"), "-"),
            ("folders", self.win("tree"), "missing"),
            ("close",)])
        self.assertEqual([True, True, False],
                         [r["ok"] for r in results[1:4]], results)
        entries = {e.name.decode(): e
                   for e in check_archive(self, self.path("out.zip"))}
        # The search of a missing folder fails after its folder entry.
        self.assertEqual(
            ["logs/", "logs/deep/", "logs/deep/y.txt", "logs/empty/",
             "logs/x.txt", "missing/", "y.txt"], sorted(entries))
        with zipfile.ZipFile(self.path("out.zip")) as archive:
            self.assertEqual(files["tree/logs/deep/y.txt"],
                             archive.read("logs/deep/y.txt"))
            self.assertEqual(files["tree/logs/deep/y.txt"],
                             archive.read("y.txt"))
        self.assertEqual(FOLDER_ENTRY, entries["logs/deep/"].external)

    def test_ut_times_are_utc_and_dos_times_local(self):
        # A zone with summer time, as the runtime's mktime gets wrong.
        self.write("summer.txt", b"s", SUMMER)
        self.write("winter.txt", b"w", WINTER)
        self.write("old.txt", b"o", BEFORE_1980)
        results = run_probe([("create", "file", self.win("t.zip"))] +
                            [("add", "file", n, self.win(n))
                             for n in ("summer.txt", "winter.txt", "old.txt")]
                            + [("close",)], env={"TZ": "EST5EDT"})
        self.assertEqual([0] * 4, [r["result"] for r in results[1:]])
        entries = {e.name.decode(): e
                   for e in check_archive(self, self.path("t.zip"))}
        for name, when in (("summer.txt", SUMMER), ("winter.txt", WINTER),
                           ("old.txt", BEFORE_1980)):
            self.assertEqual(when, entries[name].ut_times()[0], name)
            self.assertEqual(when, entries[name].central_ut_modified(), name)
        # Local by today's offset from UTC; before 1980 the DOS clock's
        # first minute.
        offset = int(subprocess.run(
            [sys.executable, "-c",
             "import time; print(time.localtime().tm_gmtoff)"],
            env=dict(os.environ, TZ="EST5EDT"), capture_output=True,
            check=True).stdout)
        for name, when in (("summer.txt", SUMMER), ("winter.txt", WINTER)):
            self.assertEqual(time.gmtime(when + offset)[:6],
                             dos_fields(entries[name].dos_time), name)
        self.assertEqual((1980, 1, 1, 0, 0, 0),
                         dos_fields(entries["old.txt"].dos_time))


class NamesTest(WriterFixture):
    # (name given, name stored, stored as UTF-8). Wine's ANSI code page is
    # 1252: it holds "é" but none of the others, and its best fit would
    # make "Ŝimon.log" the other file's "Simon.log".
    NAMES = [("中文.log", "中文.log", True), ("日本.log", "日本.log", True),
             ("Ŝimon.log", "Ŝimon.log", True),
             ("Simon.log", "Simon.log", False),
             ("café.log", "café.log", False),
             ("日本\\子.txt", "日本/子.txt", True),
             ("文件夹", "文件夹/", True)]  # a folder entry

    def test_names_the_code_page_lacks_are_utf8_in_both_records(self):
        for target in ("file", "pipe"):
            with self.subTest(target=target):
                archive = self.path(target + ".zip")
                requests = [("create", target, windows_path(archive))]
                contents = {}
                for number, (given, stored, _) in enumerate(self.NAMES):
                    if stored.endswith("/"):
                        requests.append(("add", "folder", given))
                        contents[stored] = b""
                        continue
                    source = "source%d.txt" % number
                    contents[stored] = self.write(
                        source, given.encode("utf-8") * 40)
                    requests.append(("add", "file", given, self.win(source)))
                results = run_probe(requests + [("close",)])
                self.assertEqual([0] * (len(self.NAMES) + 1),
                                 [r["result"] for r in results[1:]], results)
                entries = check_archive(self, archive)
                self.assertEqual(len(self.NAMES), len(entries))
                raw = {e.name: bool(e.flags & UTF8_NAME) for e in entries}
                self.assertEqual(
                    {stored.encode("utf-8" if utf8 else "cp1252"): utf8
                     for _, stored, utf8 in self.NAMES}, raw)
                with zipfile.ZipFile(archive) as read:
                    # zipfile takes a name without the flag as code page
                    # 437, so "café" comes back as its 1252 bytes read there.
                    for _, stored, utf8 in self.NAMES:
                        name = (stored if utf8 else
                                stored.encode("cp1252").decode("cp437"))
                        self.assertEqual(contents[stored], read.read(name),
                                         stored)


class FailuresTest(WriterFixture):
    def test_unwritable_target(self):
        target = self.path("missing/out.zip")
        results = run_probe([("create", "file", windows_path(target))])
        self.assertEqual((False, "Couldn't create/open file"),
                         (results[0]["ok"], results[0]["last_message"]))
        self.assertFalse(os.path.exists(target))

    def test_failed_sources_leave_the_rest_packed(self):
        data = self.write("a.txt", b"kept\r\n" * 100)
        results = run_probe([
            ("create", "file", self.win("out.zip")),
            # A source that vanished before it was opened.
            ("add", "file", "gone.txt", self.win("gone.txt")),
            # A source that cannot be read: its entry fails, not the archive.
            ("add", "handle", "unreadable.txt", self.win("a.txt"), "write"),
            ("add", "handle", "unreadable.gz", self.win("a.txt"), "write"),
            ("add", "file", "a.txt", self.win("a.txt")),
            ("close",)])
        self.assertEqual([OPEN_FAILED, READ_FAILED, READ_FAILED, 0, 0],
                         [r["result"] for r in results[1:]], results)
        self.assertEqual("Error reading file", results[2]["last_message"])
        check_archive(self, self.path("out.zip"))
        with zipfile.ZipFile(self.path("out.zip")) as archive:
            self.assertEqual(["a.txt"], archive.namelist())
            self.assertEqual(data, archive.read("a.txt"))

    def mount_small_disk(self):
        disk = self.path("small")
        os.makedirs(disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k",
                                  "tmpfs", disk], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system: %r" %
                          mounted.stderr)
        self.addCleanup(subprocess.run, ["umount", "-l", disk])
        return disk

    def test_full_disk_fails_the_entry_and_every_later_one(self):
        disk = self.mount_small_disk()
        small = self.write("small.txt", b"fits\r\n")
        self.write("big.bin", random.Random(5).randbytes(200000))
        shutil.copy(self.path("big.bin"), self.path("big.gz"))
        for entry in ("big.bin", "big.gz"):
            with self.subTest(entry=entry):
                target = os.path.join(disk, "out.zip")
                results = run_probe([
                    ("create", "file", windows_path(target)),
                    ("add", "file", "small.txt", self.win("small.txt")),
                    ("add", "file", entry, self.win(entry)),
                    ("add", "file", "small2.txt", self.win("small.txt")),
                    ("close",)])
                self.assertEqual([True, 0, WRITE_FAILED, PREVIOUS_ERROR, 0],
                                 [results[0]["ok"]] +
                                 [r["result"] for r in results[1:]], results)
                self.assertEqual("Caller: there was a previous error",
                                 results[3]["last_message"])
                # The failed entry's bytes are gone again, and the archive
                # holds what was added before it.
                check_archive(self, target)
                with zipfile.ZipFile(target) as archive:
                    self.assertEqual(["small.txt"], archive.namelist())
                    self.assertEqual(small, archive.read("small.txt"))
                os.remove(target)

    def test_full_disk_at_the_close_is_reported(self):
        disk = self.mount_small_disk()
        # Header (30 + 4 + 17) and data end 10 bytes before the disk does:
        # no room for the central directory.
        self.write("f.gz", random.Random(6).randbytes(65536 - 10 - 51))
        target = os.path.join(disk, "out.zip")
        results = run_probe([
            ("create", "file", windows_path(target)),
            ("add", "file", "f.gz", self.win("f.gz")),
            ("close",)])
        self.assertEqual([True, 0, WRITE_FAILED],
                         [results[0]["ok"]] +
                         [r["result"] for r in results[1:]], results)
        self.assertEqual(65536, os.path.getsize(target))
        self.assertFalse(zipfile.is_zipfile(target))

    def test_no_zip64_limits(self):
        # A sparse file past 4 GiB, refused before its header: its low 32
        # bits must not pass for its size.
        huge = self.path("huge.dmp")
        with open(huge, "wb") as f:
            f.truncate((1 << 32) + 10)
        self.write("a.txt", b"small\r\n")
        results = run_probe([
            ("create", "file", self.win("out.zip")),
            ("add", "file", "a.txt", self.win("a.txt")),
            ("add", "file", "huge.dmp", self.win("huge.dmp")),
            ("add", "memlen", "huge.bin", 0xFFFFFF00),
            ("add", "file", "b.txt", self.win("a.txt")),
            ("close",)])
        self.assertEqual([0, TOO_LARGE, TOO_LARGE, 0, 0],
                         [r["result"] for r in results[1:]], results)
        with zipfile.ZipFile(self.path("out.zip")) as archive:
            self.assertEqual(["a.txt", "b.txt"], archive.namelist())
        check_archive(self, self.path("out.zip"))

    def test_entry_count_limit(self):
        results = run_probe([
            ("create", "file", self.win("many.zip")),
            ("addmany", 65536),
            ("close",)])
        self.assertEqual((65535, TOO_LARGE),
                         (results[1]["added"], results[1]["result"]))
        self.assertEqual(0, results[2]["result"])
        with open(self.path("many.zip"), "rb") as f:
            entries = parse_archive(f.read())
        self.assertEqual(65535, len(entries))
        self.assertEqual(b"d65534/", entries[-1].name)
        with zipfile.ZipFile(self.path("many.zip")) as archive:
            self.assertIsNone(archive.testzip())


if __name__ == "__main__":
    qv.main()
