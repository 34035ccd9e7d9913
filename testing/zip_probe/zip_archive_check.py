"""Drives zip_probe.exe under Wine and checks the archives it makes with
readers that share nothing with our C++: Python's zipfile, unzip, 7-Zip and
a parser of the raw records written here from the zip format."""

import json
import os
import shutil
import struct
import subprocess
import tempfile
import zipfile

import qv_test_support as qv

PROBE = qv.program("zip_probe.exe")

LOCAL = struct.Struct("<IHHHIIIIHH")
CENTRAL = struct.Struct("<IHHHHIIIIHHHHHII")
END = struct.Struct("<IHHHHIIH")
DESCRIPTOR = struct.Struct("<IIII")
# General-purpose flag bit 11: the entry's name is UTF-8.
UTF8_NAME = 0x800


def scratch_dir(label):
    return tempfile.mkdtemp(prefix=label + "-", dir=qv.WORK_DIR)


def run_probe(requests, env=None):
    """Runs the requests in one probe process; one result per request."""
    text = "".join("\t".join(str(field) for field in request) + "\n"
                   for request in requests)
    done = qv.run([PROBE], input=text.encode("utf-8"), timeout=600,
                  env=dict(os.environ, **(env or {})))
    lines = [json.loads(line) for line in
             done.stdout.decode("utf-8", "replace").splitlines()
             if line.startswith("{")]
    if len(lines) != len(requests):
        raise AssertionError("probe answered %d of %d: %r %r" % (
            len(lines), len(requests), lines,
            done.stderr.decode("utf-8", "replace")[-2000:]))
    return lines


class RawEntry:
    """One entry as the raw bytes say, central and local side by side."""

    def __init__(self, data, central, name, central_extra):
        (_, self.made_by, self.needed, self.flags, self.method, self.dos_time,
         self.crc, self.compressed, self.size, _, _, _, _, self.internal,
         self.external, self.offset) = central
        self.name = name
        self.central_extra = central_extra
        (signature, self.local_needed, self.local_flags, self.local_method,
         self.local_dos_time, self.local_crc, self.local_compressed,
         self.local_size, name_length, extra_length) = LOCAL.unpack_from(
             data, self.offset)
        assert signature == 0x04034B50, hex(signature)
        at = self.offset + LOCAL.size
        self.local_name = data[at:at + name_length]
        at += name_length
        self.local_extra = data[at:at + extra_length]
        self.data_offset = at + extra_length
        self.descriptor = None
        end = self.data_offset + self.compressed
        if data[end:end + 4] == b"PK\x07\x08":
            self.descriptor = DESCRIPTOR.unpack_from(data, end)[1:]

    def ut_times(self):
        """(modified, accessed, created) of the local "UT" field."""
        tag, length, flags = struct.unpack_from("<2sHB", self.local_extra)
        assert (tag, length, flags) == (b"UT", 13, 7), self.local_extra
        return struct.unpack_from("<III", self.local_extra, 5)

    def central_ut_modified(self):
        tag, length, flags, modified = struct.unpack("<2sHBI",
                                                     self.central_extra)
        assert (tag, length, flags) == (b"UT", 5, 7), self.central_extra
        return modified


def parse_archive(data):
    """The entries of an archive with no comment, from its central
    directory; checks that every record is where the end record says."""
    (signature, disk, directory_disk, on_disk, total, directory_size,
     directory_offset, comment) = END.unpack_from(data, len(data) - END.size)
    assert signature == 0x06054B50, hex(signature)
    assert (disk, directory_disk, comment) == (0, 0, 0)
    assert on_disk == total
    assert directory_offset + directory_size == len(data) - END.size
    entries = []
    at = directory_offset
    for _ in range(total):
        central = CENTRAL.unpack_from(data, at)
        assert central[0] == 0x02014B50, hex(central[0])
        name_length, extra_length, comment_length = central[9:12]
        at += CENTRAL.size
        name = data[at:at + name_length]
        extra = data[at + name_length:at + name_length + extra_length]
        at += name_length + extra_length + comment_length
        entries.append(RawEntry(data, central, name, extra))
    assert at == directory_offset + directory_size
    return entries


def tool_check(path):
    """unzip -t and 7z t; returns (ok, output) for each."""
    unzip = subprocess.run(["unzip", "-t", path], capture_output=True,
                           timeout=300)
    seven = subprocess.run(["7z", "t", path], capture_output=True,
                           timeout=300)
    # unzip warns (status 1) about an archive without entries.
    unzip_ok = unzip.returncode == 0 or (
        unzip.returncode == 1 and b"zipfile is empty" in unzip.stdout +
        unzip.stderr)
    return ((unzip_ok, unzip.stdout + unzip.stderr),
            (seven.returncode == 0, seven.stdout + seven.stderr))


def check_archive(test, path):
    """Every reader takes the archive; returns its raw entries."""
    with zipfile.ZipFile(path) as archive:
        test.assertIsNone(archive.testzip(), path)
    for ok, output in tool_check(path):
        test.assertTrue(ok, output.decode("utf-8", "replace"))
    with open(path, "rb") as f:
        data = f.read()
    entries = parse_archive(data)
    for entry in entries:
        test.assertEqual((0x0B17, 20, 20),
                         (entry.made_by, entry.needed, entry.local_needed))
        test.assertEqual(entry.name, entry.local_name)
        # Both records say alike whether the name is UTF-8 (bit 11).
        test.assertEqual(entry.flags & UTF8_NAME,
                         entry.local_flags & UTF8_NAME, entry.name)
        test.assertEqual(entry.method, entry.local_method)
        test.assertEqual(entry.ut_times()[0], entry.central_ut_modified())
        test.assertEqual(entry.dos_time, entry.local_dos_time)
        if entry.descriptor is None:
            test.assertEqual((entry.crc, entry.compressed, entry.size),
                             (entry.local_crc, entry.local_compressed,
                              entry.local_size))
    return entries


def have_tools():
    return all(shutil.which(tool) for tool in ("unzip", "7z"))
