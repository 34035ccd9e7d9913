"""Crash data collection into an archive under Wine: the age limit and the
forced folders, entry names of nested folders, empty and missing paths, and
files other processes hold open read in place."""

import os
import shutil
import time
import unittest
import zipfile

import qv_test_support as qv
from qv_test_support import windows_path
from zip_archive_check import (check_archive, have_tools,
                               run_probe, scratch_dir)


class CollectionTest(unittest.TestCase):
    def setUp(self):
        if not have_tools():
            self.skipTest("unzip and 7z are needed (scripts/setup.sh)")
        self.dir = scratch_dir("collect")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.contents = {}

    def path(self, name):
        return os.path.join(self.dir, *name.split("/"))

    def win(self, name):
        return windows_path(self.path(name))

    def write(self, name, age_hours=0.0):
        data = ("%s\r\n" % name).encode() * 50
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        when = time.time() - age_hours * 3600
        os.utime(path, (when, when))
        self.contents[name] = data

    def collect(self, *listed, extra=()):
        requests = list(extra) + [
            ("collect", self.win("out.zip"), 2) + tuple(
                "%s:%s" % (kind, self.win(name)) for kind, name in listed)]
        return run_probe(requests)

    def packed(self):
        check_archive(self, self.path("out.zip"))
        with zipfile.ZipFile(self.path("out.zip")) as archive:
            return {name: archive.read(name) for name in archive.namelist()}

    def test_age_limit_forced_folders_and_names(self):
        self.write("recent.log")
        self.write("old.log", age_hours=3)
        self.write("data/ORBI_SYS/old.log", age_hours=24 * 7)
        self.write("data/ORBI_SYS/sub/deeper/x.txt", age_hours=3)
        self.write("data/localdata/new.txt")
        self.write("data/localdata/old.txt", age_hours=2.1)
        self.write("data/localdata/nested/n.txt")
        os.makedirs(self.path("data/empty"))
        results = self.collect(
            ("file", "recent.log"), ("file", "old.log"),
            ("file", "data/localdata"), ("file", "missing.log"),
            ("folder", "data/ORBI_SYS"), ("folder", "data/empty"),
            ("folder", "data/missing"),
            # The same old file listed alone is left out.
            ("file", "data/ORBI_SYS/old.log"))
        self.assertTrue(results[0]["ok"], results)
        expected = {
            "recent.log": "recent.log",
            "ORBI_SYS/old.log": "data/ORBI_SYS/old.log",
            "ORBI_SYS/sub/deeper/x.txt": "data/ORBI_SYS/sub/deeper/x.txt",
            "localdata/new.txt": "data/localdata/new.txt",
            "localdata/nested/n.txt": "data/localdata/nested/n.txt",
        }
        self.assertEqual({entry: self.contents[name]
                          for entry, name in expected.items()}, self.packed())

    def test_empty_list_makes_an_empty_archive(self):
        os.makedirs(self.path("empty"))
        results = self.collect(("folder", "empty"), ("file", "empty"))
        self.assertTrue(results[0]["ok"], results)
        self.assertEqual({}, self.packed())

    def test_held_files_are_read_in_place(self):
        """A file another process holds is packed as it stands, holder's
        last write included, unless it is held exclusively: then it alone
        is left out. The ".copy" fallback is made impossible (a folder of
        its name), as on Windows, where CopyFileW refuses a file open for
        writing while Wine's copies it."""
        # (how the other process opens it: access, share) -> packed
        cases = {"w,rw": True,  # as a client writes its log
                 "wd,rwd": True,  # and one that may rename it meanwhile
                 "rw,-": False}
        extra = []
        for number, (how, _) in enumerate(cases.items()):
            name = "held%d.log" % number
            self.write(name)
            os.makedirs(self.path(name + ".copy"))
            access, share = how.split(",")
            extra += [("hold", self.win(name), access, share),
                      ("append", "[live record %d]" % number)]
        self.write("free.log")
        listed = [("file", "held%d.log" % n) for n in range(len(cases))]
        results = self.collect(*listed, ("file", "free.log"), extra=extra)
        self.assertEqual([True] * len(extra),
                         [r["ok"] for r in results[:-1]], results)
        self.assertTrue(results[-1]["ok"], results)
        expected = {"free.log": self.contents["free.log"]}
        for number, packed in enumerate(cases.values()):
            name = "held%d.log" % number
            if packed:
                expected[name] = (self.contents[name] +
                                  b"[live record %d]" % number)
            # Nothing was copied: the blocking folders are as they were.
            self.assertEqual([], os.listdir(self.path(name + ".copy")))
        self.assertEqual(expected, self.packed())

    def test_entry_past_the_size_limit_is_skipped(self):
        # A sparse dump past 4 GiB cannot go into a zip without Zip64.
        self.write("a.log")
        self.write("z.log")
        with open(self.path("huge.dmp"), "wb") as f:
            f.truncate((1 << 32) + 10)
        results = self.collect(("file", "a.log"), ("file", "huge.dmp"),
                               ("file", "z.log"))
        self.assertTrue(results[0]["ok"], results)
        self.assertEqual({"a.log": self.contents["a.log"],
                          "z.log": self.contents["z.log"]}, self.packed())

    def test_a_folder_that_cannot_be_searched_fails_the_collection(self):
        # Found by its wildcard name, the folder cannot be searched below it.
        self.write("data/ORBI_SYS/a.txt")
        self.write("b.log")
        self.write("c.dmp")
        results = self.collect(("folder", "data/ORBI_S*"), ("file", "b.log"),
                               ("required", "c.dmp"))
        self.assertFalse(results[0]["ok"], results)
        # The rest is packed all the same, and the archive holds what it
        # must: it is still the crash's report.
        self.assertTrue(results[0]["holds_required"], results)
        self.assertEqual({"b.log": self.contents["b.log"],
                          "c.dmp": self.contents["c.dmp"]}, self.packed())

    def test_a_required_file_must_go_in(self):
        self.write("a.log")
        self.write("dumps/old.dmp", age_hours=3)
        results = self.collect(("file", "a.log"),
                               ("required", "dumps/old.dmp"))
        # Whatever its age.
        self.assertTrue(results[0]["ok"], results)
        self.assertEqual({"a.log": self.contents["a.log"],
                          "old.dmp": self.contents["dumps/old.dmp"]},
                         self.packed())
        results = self.collect(("file", "a.log"),
                               ("required", "dumps/missing.dmp"))
        self.assertFalse(results[0]["ok"], results)
        self.assertFalse(results[0]["holds_required"], results)

    def test_archive_that_cannot_be_created(self):
        self.write("a.log")
        results = run_probe([("collect", self.win("missing/out.zip"), 2,
                              "file:" + self.win("a.log"))])
        self.assertFalse(results[0]["ok"])
        self.assertFalse(os.path.exists(self.path("missing")))


if __name__ == "__main__":
    qv.main()
