"""Archives made by Python's zipfile, zip, 7-Zip and our own writer, read
back by the zip reader under Wine: names, sizes, attributes, times and bytes
equal to what went in. Then a table of hostile archives: each refused with
its result code and nothing written outside the base folder."""

import calendar
import io
import json
import os
import random
import shutil
import subprocess
import unittest
import zipfile

import hostile_archives
import qv_test_support as qv
from qv_test_support import windows_path
from zip_archive_check import run_probe, scratch_dir

READER = qv.program("zip_reader_probe.exe")

OK = 0
MORE_DATA = 0x600
TICKS_PER_SECOND = 10 ** 7
UNIX_EPOCH_TICKS = 116444736000000000
SUMMER = calendar.timegm((2021, 7, 15, 13, 4, 6))
WINTER = calendar.timegm((2020, 1, 15, 9, 30, 20))


def run_reader(requests, tz="UTC"):
    text = "".join("\t".join(str(f) for f in request) + "\n"
                   for request in requests)
    done = qv.run([READER], input=text.encode("utf-8"), timeout=600,
                  env=dict(os.environ, TZ=tz))
    lines = [json.loads(line) for line in
             done.stdout.decode("utf-8", "replace").splitlines()
             if line.startswith("{")]
    if len(lines) != len(requests):
        raise AssertionError("reader answered %d of %d: %r %r" % (
            len(lines), len(requests), lines, done.stderr[-2000:]))
    return lines


def unix_of(ticks):
    return (ticks - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND


def attributes_of(external):
    """The Windows attributes an entry's external attributes stand for."""
    attributes = 0x80
    if external & 0x40000000 or external & 0x10:
        attributes |= 0x10
    if external & 0x20:
        attributes |= 0x20
    if external & 0x02:
        attributes |= 0x02
    if not external & 0x00800000 or external & 0x01:
        attributes |= 0x01
    if external & 0x04:
        attributes |= 0x04
    return attributes


def payload(size, seed):
    rng = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.6:
            out += b"[0715/130406:INFO:flow.cc(%d)] step %d\r\n" % (
                rng.randrange(999), rng.randrange(99999))
        else:
            out += bytes(rng.randrange(256) for _ in range(rng.randrange(40)))
    return bytes(out[:size])


class Unseekable(io.RawIOBase):
    """Makes zipfile write data descriptors, as it does into a pipe."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, chunk):
        self.data += chunk
        return len(chunk)


def make_tree(root):
    """Files with known bytes and times; returns {name: (bytes, mtime)}."""
    files = {
        "top.txt": (payload(1000, 1), SUMMER),
        "logs/run.log": (payload(200000, 2), WINTER),
        "logs/empty.bin": (b"", SUMMER),
        "deep/er/x.dmp": (payload(70000, 3), SUMMER + 3600),
    }
    for name, (data, mtime) in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        os.utime(path, (mtime, mtime))
    return files


class ReaderTest(unittest.TestCase):

    def setUp(self):
        self.work = scratch_dir("reader")
        self.addCleanup(shutil.rmtree, self.work, True)

    def check_read_back(self, archive, expected, exact_times, tz="UTC",
                        how="file"):
        """Lists |archive| and extracts it whole, into a fresh base folder;
        compares with Python's zipfile's view and |expected|."""
        with zipfile.ZipFile(archive) as oracle:
            infos = oracle.infolist()
        base = os.path.join(self.work, "out-" + how)
        os.makedirs(base)
        listing, extracted = run_reader([
            ("list", how, windows_path(archive)),
            ("extract", how, windows_path(archive),
             windows_path(base) + "\\", "all")], tz=tz)
        self.assertEqual(OK, listing["open"], listing)
        entries = listing["entries"]
        self.assertEqual([i.filename for i in infos],
                         [e["name"] for e in entries])
        self.assertEqual([OK] * len(infos), extracted["results"])
        for info, entry in zip(infos, entries):
            self.assertEqual(OK, entry["result"], entry)
            self.assertEqual(info.file_size, entry["size"])
            self.assertEqual(info.compress_size, entry["compressed"])
            self.assertEqual(attributes_of(info.external_attr),
                             entry["attributes"], info.filename)
            if info.is_dir():
                self.assertTrue(os.path.isdir(
                    os.path.join(base, info.filename)))
                continue
            data, mtime = expected[info.filename]
            path = os.path.join(base, info.filename)
            with open(path, "rb") as got:
                self.assertTrue(got.read() == data, info.filename)
            if exact_times:
                self.assertEqual(mtime, unix_of(entry["modified"]))
                self.assertEqual(mtime, os.stat(path).st_mtime, info.filename)
            else:
                # DOS time: local (UTC here), to two seconds.
                self.assertLessEqual(abs(mtime - os.stat(path).st_mtime), 2)
                self.assertLessEqual(abs(mtime - unix_of(entry["modified"])),
                                     2)
        return entries

    def test_python_zipfile_archives(self):
        files = {"a/stored.txt": payload(5000, 4),
                 "deflated.log": payload(300000, 5), "empty": b""}
        expected = {n: (d, calendar.timegm((2021, 7, 15, 13, 4, 6)))
                    for n, d in files.items()}

        def fill(archive, method):
            folder = zipfile.ZipInfo("a/", (2021, 7, 15, 13, 4, 6))
            folder.external_attr = 0o40755 << 16 | 0x10  # as write() does
            archive.writestr(folder, b"")
            for name, data in files.items():
                info = zipfile.ZipInfo(name, (2021, 7, 15, 13, 4, 6))
                info.compress_type = method
                info.external_attr = (0o100444 if name == "empty"
                                      else 0o100644) << 16
                archive.writestr(info, data)
            archive.comment = b"made by zipfile"

        for method in (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED):
            for descriptors in (False, True):
                with self.subTest(method=method, descriptors=descriptors):
                    path = os.path.join(self.work, "py-%d-%d.zip" % (
                        method, descriptors))
                    if descriptors:
                        stream = Unseekable()
                        with zipfile.ZipFile(stream, "w") as archive:
                            fill(archive, method)
                        with open(path, "wb") as out:
                            out.write(stream.data)
                    else:
                        with zipfile.ZipFile(path, "w") as archive:
                            fill(archive, method)
                    with zipfile.ZipFile(path) as check:
                        self.assertEqual(
                            descriptors,
                            all(i.flag_bits & 8 for i in check.infolist()))
                    shutil.rmtree(os.path.join(self.work, "out-file"), True)
                    self.check_read_back(path, expected, exact_times=False)

    def test_utf8_names(self):
        """zipfile marks every name outside ASCII as UTF-8 (flag bit 11):
        each is listed and extracted under its own name."""
        when = (2021, 7, 15, 13, 4, 6)
        files = {"中文.log": payload(3000, 7), "日本.log": payload(3000, 8),
                 "文件夹/Ŝimon.log": payload(500, 9), "café.log": b"c"}
        archive = os.path.join(self.work, "utf8.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
            for name, data in files.items():
                out.writestr(zipfile.ZipInfo(name, when), data)
        with zipfile.ZipFile(archive) as check:
            self.assertTrue(all(i.flag_bits & 0x800 for i in check.infolist()))
        self.check_read_back(archive, {n: (d, calendar.timegm(when))
                                       for n, d in files.items()},
                             exact_times=False)

    def test_zip_tool_archive_keeps_utc_times_in_summer(self):
        """zip writes "UT" times; they are set as they stand, even in a
        zone with summer time (where the C runtime's conversion is an hour
        off under Wine)."""
        tree = os.path.join(self.work, "tree")
        files = make_tree(tree)
        archive = os.path.join(self.work, "tool.zip")
        subprocess.run(["zip", "-q", "-r", archive, "."], cwd=tree,
                       check=True)
        entries = self.check_read_back(archive, files, exact_times=True,
                                       tz="EST5EDT")
        self.assertIn("logs/", [e["name"] for e in entries])

    def test_7zip_archive(self):
        tree = os.path.join(self.work, "tree")
        files = make_tree(tree)
        archive = os.path.join(self.work, "seven.zip")
        subprocess.run(["7z", "a", "-tzip", "-bd", archive, "."], cwd=tree,
                       check=True, capture_output=True,
                       env=dict(os.environ, TZ="UTC"))
        self.check_read_back(archive, files, exact_times=False)

    def test_our_own_writer_through_every_source(self):
        tree = os.path.join(self.work, "tree")
        files = make_tree(tree)
        archive = os.path.join(self.work, "ours.zip")
        requests = [("create", "file", windows_path(archive))]
        for name in files:
            requests.append(("add", "file", name.replace("/", "\\"),
                             windows_path(os.path.join(tree, name))))
        requests.append(("close",))
        self.assertTrue(all(line.get("result", 0) == 0 and
                            line.get("ok", True)
                            for line in run_probe(requests)))
        for how in ("file", "handle", "memory"):
            with self.subTest(how=how):
                self.check_read_back(archive, files, exact_times=True,
                                     tz="EST5EDT", how=how)

    def test_memory_pieces_and_find(self):
        data = payload(100000, 6)
        archive = os.path.join(self.work, "m.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
            out.writestr("Folder/Report.TXT", data)
            out.writestr("other", b"x")
        got = os.path.join(self.work, "got")
        path = windows_path(archive)
        read, exact, folded, missing = run_reader([
            ("read", "memory", path, 0, 7000, windows_path(got)),
            ("find", "file", path, "folder/report.txt", 0),
            ("find", "file", path, "folder/report.txt", 1),
            ("find", "file", path, "nothing", 1)])
        self.assertEqual(OK, read["result"])
        self.assertEqual(15, read["more"])  # 100000 / 7000, rounded up
        with open(got, "rb") as result:
            self.assertTrue(result.read() == data)
        self.assertEqual(0x500, exact["result"])
        self.assertEqual(0xFFFFFFFF, exact["index"])
        self.assertEqual((OK, 0), (folded["result"], folded["index"]))
        self.assertEqual(0x500, missing["result"])
        self.assertEqual("File not found in the zipfile",
                         missing["last_message"])


class HostileArchiveTest(unittest.TestCase):

    def test_each_is_refused_and_nothing_escapes(self):
        work = scratch_dir("hostile")
        self.addCleanup(shutil.rmtree, work, True)
        escape = os.path.join(work, "escape")
        os.makedirs(escape)
        cases = list(hostile_archives.cases(windows_path(escape)))
        requests = []
        for number, (label, data, _, _) in enumerate(cases):
            case_dir = os.path.join(work, "case%02d" % number)
            base = os.path.join(case_dir, "a", "b")
            os.makedirs(base)
            archive = os.path.join(case_dir, "archive.zip")
            with open(archive, "wb") as out:
                out.write(data)
            requests.append(("extract", "file", windows_path(archive),
                             windows_path(base) + "\\", "all"))
            requests.append(("read", "memory", windows_path(archive), 0,
                             16, windows_path(archive + ".out")))
        answers = run_reader(requests)
        for number, (label, _, opened, results) in enumerate(cases):
            with self.subTest(label):
                extract, read = answers[2 * number:2 * number + 2]
                self.assertEqual(opened, extract["open"], extract)
                self.assertEqual(results, extract.get("results", []))
                if label == "wrong crc":
                    self.assertEqual(0x700, read["result"])
                case_dir = os.path.join(work, "case%02d" % number)
                # Only the base folder's own tree may have grown.
                self.assertEqual(["a"], sorted(
                    n for n in os.listdir(case_dir)
                    if not n.startswith("archive.zip")))
                self.assertEqual(["b"], os.listdir(os.path.join(case_dir,
                                                                "a")))
        self.assertEqual([], os.listdir(escape))
        self.assertFalse(os.path.exists(os.path.join(work, "up.txt")))


if __name__ == "__main__":
    qv.main()
