"""What the crash data archive holds, end to end under Wine: the client
application stand-in starts the real reporter and crashes for real, and the
fake object store receives the archive, which is checked with Python's
zipfile, unzip -t and 7z t, never with the product's code.

- Files other processes hold open are packed as they stand: a live log held
  for writing with read and write sharing (the way a client writes it),
  one held by a process that may also rename it; a file held exclusively is
  left out and logged, and the rest is packed. The ".copy" fallback is made
  impossible (a folder of its name): on Windows CopyFileW refuses a file
  open for writing, while Wine's copies it.
- Names outside the ANSI code page (1252 under Wine) arrive whole, as UTF-8
  marked by flag bit 11; a name the code page holds keeps its form.
"""

import json
import os
import zipfile

import crash_flow_test as flow
from crash_flow_test import (APP_PARAM, FlowTestCase, data_folder,
                             setUpModule, tearDownModule)
from crash_tests.crash_harness import Program
from jov_services import fake_jov_services as jov
from qv_test_support import OWN_PREFIX as PREFIX, WORK_DIR
from zip_probe.zip_archive_check import UTF8_NAME, check_archive, have_tools


def c_drive_path(path):
    """A path inside the prefix's drive C:, as the reporter names it."""
    relative = os.path.relpath(path, os.path.join(PREFIX, "drive_c"))
    return "C:\\" + relative.replace("/", "\\")


class CrashDataSourcesTest(FlowTestCase):
    def setUp(self):
        if not have_tools():
            self.skipTest("unzip and 7z are needed (scripts/setup.sh)")
        super().setUp()
        self.storage = jov.FakeJovServices().start()
        self.addCleanup(self.storage.stop)
        os.environ["QV_TEST_LBS_PORT"] = str(self.storage.port)
        self.addCleanup(os.environ.pop, "QV_TEST_LBS_PORT", None)
        # The storage is the token host of the report parameters.
        with open(os.path.join(data_folder(), "dumps", "appParam"), "w") as f:
            json.dump(dict(APP_PARAM, host="127.0.0.1:%d" % self.storage.port),
                      f)

    def data_path(self, name):
        return os.path.join(data_folder(), *name.split("/"))

    def write_data_file(self, name, data):
        path = self.data_path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return data

    def hold(self, name, access, share):
        """Another process opens data file |name| with |access| and |share|
        (letters of "rwd", "-" for none) and holds it until the test ends."""
        holder = Program("zip_probe.exe", [])
        self.programs.append(holder)
        self.command(holder, "\t".join(
            ("hold", c_drive_path(self.data_path(name)), access, share)))
        self.assertTrue(holder.expect("hold")["ok"], name)
        return holder

    def append(self, holder, text):
        """The holder writes |text| at the end of its file."""
        self.command(holder, "append\t" + text)
        self.assertTrue(holder.expect("append")["ok"])
        return text.encode("utf-8")

    def crash_and_receive_archive(self):
        """The main client crashes; returns the path of the archive as the
        object store received it, checked by every independent reader."""
        main = self.start_main()
        self.command(main, "crash")
        main.expect("crash_dump", timeout=flow.SLOW)
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        main.wait()
        self.assertEqual(1, len(self.storage.objects), self.log())
        (_, key), = self.storage.objects
        path = os.path.join(WORK_DIR, "received-%s.zip" % self.id())
        with open(path, "wb") as f:
            f.write(self.storage.object_bytes(key))
        self.addCleanup(os.remove, path)
        check_archive(self, path)
        return path

    def test_files_held_open_are_packed_unless_held_exclusively(self):
        web = self.write_data_file("web.log", b"web start\r\n" * 300)
        live = self.write_data_file("ORBI_SYS/live.txt", os.urandom(5000))
        free = self.write_data_file("ORBI_SYS/free.txt", b"free\r\n" * 50)
        self.write_data_file("ORBI_SYS/locked.bin", b"locked" * 100)
        blockers = ["web.log.copy", "ORBI_SYS/live.txt.copy",
                    "ORBI_SYS/locked.bin.copy"]
        for blocker in blockers:
            os.makedirs(self.data_path(blocker))
        web_writer = self.hold("web.log", "w", "rw")
        web += self.append(web_writer, "[written while held]")
        renamer = self.hold("ORBI_SYS/live.txt", "wd", "rwd")
        live += self.append(renamer, "[live]")
        self.hold("ORBI_SYS/locked.bin", "rw", "-")

        archive = self.crash_and_receive_archive()
        with zipfile.ZipFile(archive) as received:
            names = received.namelist()
            self.assertEqual(web, received.read("web.log"))
            self.assertEqual(live, received.read("ORBI_SYS/live.txt"))
            self.assertEqual(free, received.read("ORBI_SYS/free.txt"))
        self.assertNotIn("ORBI_SYS/locked.bin", names)
        self.assertRegex(self.log(), r"Crash data left out: .*\\ORBI_SYS\\"
                         r"locked\.bin \(Couldn't create/open file\)")
        # Nothing was copied: no ".copy" file anywhere, the blocking
        # folders as they were.
        for blocker in blockers:
            self.assertEqual([], os.listdir(self.data_path(blocker)))
        copies = [os.path.join(folder, name)
                  for folder, _, files in os.walk(data_folder())
                  for name in files if name.endswith(".copy")]
        self.assertEqual([], copies)
        # The holders were not disturbed: they write on.
        self.append(web_writer, "[after the crash]")

    def test_names_outside_the_code_page_arrive_whole(self):
        # Entry name -> whether it is stored as UTF-8 (flag bit 11).
        names = {"ORBI_SYS/中文.log": True, "ORBI_SYS/日本.log": True,
                 "ORBI_SYS/Ŝimon.log": True, "ORBI_SYS/Simon.log": False,
                 "ORBI_SYS/café.log": False,
                 "localdata/文件夹/子.txt": True}
        contents = {name: self.write_data_file(name, name.encode("utf-8") * 30)
                    for name in names}

        archive = self.crash_and_receive_archive()
        with zipfile.ZipFile(archive) as received:
            infos = {}
            for info in received.infolist():
                utf8 = bool(info.flag_bits & UTF8_NAME)
                # zipfile takes a name without the flag as code page 437;
                # the reporter's are in code page 1252.
                name = (info.filename if utf8 else
                        info.filename.encode("cp437").decode("cp1252"))
                infos[name] = (utf8, received.read(info))
            # Each file is an entry of its own name.
            self.assertEqual(len(received.infolist()), len(infos))
        self.assertEqual(
            {name: (utf8, contents[name]) for name, utf8 in names.items()},
            {name: infos[name] for name in names if name in infos})


if __name__ == "__main__":
    flow.qv.main()
