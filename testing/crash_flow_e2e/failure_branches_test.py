"""The crash road's failure branches under Wine, each made to happen from
outside the reporter: the client application stand-in starts the real
reporter and crashes for real, against the fake object store and the fake
feedback service. Each shows that nothing of the crash (the dump, the crash
data archive, the BI records) is lost or written outside the data folder.

CTest runs one group a test, each in a Wine prefix of its own; by hand:
failure_branches_test.py ArchiveNameTakenTest (or another group's class).
"""

import io
import os
import shutil
import subprocess
import threading
import time
import zipfile

import qv_test_support as qv
import report_road_test as road
from crash_flow_test import (ARCHIVE_NAME, SLOW, WAIT_RELEASED,
                             FlowTestCase, data_folder, setUpModule,
                             tearDownModule)
from fake_feedback_server import fake_feedback_server as fake
from jov_services import fake_jov_services as jov
from qzcrypto_tools import qzcrypto_format

SHELL_FOLDERS = ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                 "Explorer\\User Shell Folders")
LOCAL_APP_DATA = "%USERPROFILE%\\AppData\\Local"
# The reporter's own wait lines show within moments; a bound only a missing
# line reaches.
LOG_WAIT_S = 60


def drive_c():
    return os.path.join(qv.PREFIX, "drive_c")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class BranchTestCase(FlowTestCase):
    # The fakes as the report road's own tests serve them.
    serve = road.ReportRoadTest.serve
    serve_storage = road.ReportRoadTest.serve_storage

    def crash_renderer(self):
        """A renderer that registers and crashes; its crash is in hand."""
        renderer = self.start("--type=renderer", "--ptrackid=4", "--x")
        renderer.expect("registered")
        self.command(renderer, "crash")
        return renderer

    def expect_released(self, renderer):
        released = renderer.expect("crash_dump", timeout=SLOW)
        self.assertEqual(WAIT_RELEASED, released["wait_result"], released)

    def end_main(self, main):
        self.command(main, "exit")
        main.wait()
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]),
                         (ended, self.watch.stderr, main.stderr,
                          self.log()[-3000:]))

    @staticmethod
    def reporter_pid(main):
        return main.events("reporter")[0]["pid"]

    def written_dump(self):
        """The one dump the crash server wrote, as the watcher saw it."""
        dumps = [n for n in self.watcher.seen if n.endswith(".dmp")]
        self.assertEqual(1, len(dumps), self.watcher.seen)
        return dumps[0]

    def posted_records(self, server):
        """The BI records of the one post the feedback service received."""
        self.assertEqual(1, len(server.requests), server.requests)
        _, data = road.multipart_files(server.requests[0])["crashInfo"]
        return road.records_of(zipfile.ZipFile(io.BytesIO(data)).read(
            "bilog.elog.backupde").decode("latin-1"))


class ArchiveNameTakenTest(BranchTestCase):
    def test_the_dump_stays_and_nothing_else_moves_into_the_dumps_folder(self):
        storage = self.serve_storage()
        server = self.serve()
        main = self.start_main()
        # Folders take every name the archive can get while the test runs.
        data = data_folder()
        now = int(time.time())
        taken = ["crash_data_%d.zip" % t for t in range(now - 5, now + SLOW)]
        for name in taken:
            os.makedirs(os.path.join(data, name))
            with open(os.path.join(data, name, "keep.txt"), "wb") as f:
                f.write(b"not the reporter's")
        self.expect_released(self.crash_renderer())
        self.end_main(main)

        dump = self.written_dump()
        self.assertEqual([dump], [n for n in self.dumps() if n.endswith(".dmp")])
        self.assertEqual([], [n for n in self.dumps()
                              if n.startswith("crash_data_")])
        for name in taken:
            self.assertEqual(["keep.txt"], os.listdir(os.path.join(data, name)))
        self.assertEqual([], storage.requests)
        log = self.log()
        self.assertIn("Crash data archive not made: ", log)
        self.assertIn("Dump kept: ", log)
        # The report still goes out, and says the crash data did not.
        records = self.posted_records(server)
        self.assertEqual(["mobile_monitor", "crash"], [r[1] for r in records])
        self.assertEqual("Upload Failed", records[0][2]["resource"])


class NoAppDataTest(BranchTestCase):
    def setUp(self):
        super().setUp()
        # The reporter works in the client's working folder: one on drive C:
        # of the test's own, where a path built on "" would come to light,
        # as would one at the drive's root.
        self.working = os.path.join(drive_c(), "working")
        shutil.rmtree(self.working, ignore_errors=True)
        os.makedirs(self.working)
        self.addCleanup(os.chdir, os.getcwd())
        os.chdir(self.working)

    def set_local_app_data(self, value):
        result = qv.run(["reg", "add", SHELL_FOLDERS, "/v", "Local AppData",
                         "/t", "REG_EXPAND_SZ", "/d", value, "/f"])
        self.assertEqual(0, result.returncode, result)

    def test_a_lookup_failing_after_start_up_writes_nothing_and_keeps_the_dump(
            self):
        server = self.serve()
        main = self.start_main()
        renderer = self.start("--type=renderer", "--ptrackid=4", "--x")
        renderer.expect("registered")
        root = sorted(os.listdir(drive_c()))
        # The user's local application data moves away under the reporter.
        self.addCleanup(self.set_local_app_data, LOCAL_APP_DATA)
        self.set_local_app_data("C:\\moved-away\\AppData\\Local")
        self.command(renderer, "crash")
        self.expect_released(renderer)
        self.set_local_app_data(LOCAL_APP_DATA)
        self.end_main(main)

        self.assertEqual(root, sorted(os.listdir(drive_c())))
        self.assertEqual([], os.listdir(self.working))
        self.assertIn(self.written_dump(), self.dumps())
        self.assertIn("No local application data folder: crash not reported, "
                      "dump kept: ", self.log())
        self.assertEqual([], server.requests)


class UnsentBackupTest(BranchTestCase):
    def hold(self, path):
        """Holds |path| as the client holds its BI log; ends with release."""
        holder = qv.start([qv.program("file_holder.exe"),
                           qv.windows_path(path)],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(qv.kill_and_wait, holder)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        return holder

    def test_records_of_an_unsent_backup_go_out_with_the_next_crash(self):
        # First run: the post fails, the records stay in the backup.
        self.serve(fake.Reply(status=500, body=b"oops"))
        main = self.start_main()
        self.expect_released(self.crash_renderer())
        self.end_main(main)
        backup = road.bi_backup()
        kept = qzcrypto_format.decrypt_file(backup)
        first = road.records_of(kept.decode("latin-1"))
        self.assertEqual(["mobile_monitor", "crash"], [r[1] for r in first])
        # Its archive held the records in plain text: gone with the post.
        self.assertFalse(os.path.exists(os.path.join(data_folder(), "BI.zip")))

        # Next run: the client holds the BI log, so start-up cannot hand the
        # backup over to it.
        holder = self.hold(os.path.join(data_folder(), "Log", "bilog.elog"))
        server = self.serve()
        main = self.start_main()
        self.assertEqual(kept, qzcrypto_format.decrypt_file(backup))
        self.expect_released(self.crash_renderer())
        records = self.posted_records(server)
        self.assertEqual(first, records[:2])
        self.assertEqual(["mobile_monitor", "crash"],
                         [r[1] for r in records[2:]])
        self.assertNotEqual(first, records[2:])
        # Delivered, all of them: the backup is gone.
        self.assertFalse(os.path.exists(backup))
        holder.stdin.close()
        holder.wait(timeout=60)
        self.end_main(main)


class StaleArchiveTest(BranchTestCase):
    def test_an_archive_left_by_an_ended_run_goes_into_the_dumps_folder(self):
        # Every part upload hangs, and the reporter is ended while uploading.
        storage = self.serve_storage(
            ("part:store1", jov.Fault("silent", times=-1)),
            ("part:store2", jov.Fault("silent", times=-1)))
        self.serve()
        main = self.start_main()
        self.crash_renderer()
        qv.wait_until(lambda: storage.of("part:store1"), SLOW,
                      "the archive's upload")
        killed = qv.run(["taskkill", "/f", "/pid",
                         str(self.reporter_pid(main))])
        self.assertEqual(0, killed.returncode, killed)
        self.reporter_exit()
        for program in self.programs:
            program.kill()
        data = data_folder()
        left = [n for n in os.listdir(data) if ARCHIVE_NAME.match(n)]
        self.assertEqual(1, len(left), os.listdir(data))
        archive = read(os.path.join(data, left[0]))
        dump = self.written_dump()
        # Left by a run ended while posting, and a folder that is no archive.
        with open(os.path.join(data, "BI.zip"), "wb") as f:
            f.write(b"PK plain records")
        os.makedirs(os.path.join(data, "crash_data_1.zip"))

        main = self.start_main()
        kept = os.path.join(data, "dumps", left[0])
        self.assertEqual(archive, read(kept))
        with zipfile.ZipFile(kept) as zf:
            self.assertIsNone(zf.testzip())
            self.assertIn(dump, zf.namelist())
        self.assertEqual([], [n for n in os.listdir(data)
                              if ARCHIVE_NAME.match(n)
                              and os.path.isfile(os.path.join(data, n))])
        self.assertTrue(os.path.isdir(os.path.join(data, "crash_data_1.zip")))
        self.assertFalse(os.path.exists(os.path.join(data, "BI.zip")))
        # The flow never reached its clean-up: the dump is still there too.
        self.assertIn(dump, self.dumps())
        self.end_main(main)


class ExitWaitTest(BranchTestCase):
    def start_late_flow(self):
        """A renderer's crash whose archive the store holds unanswered until
        the test releases it (at most 15 s, within the client's 20 s)."""
        self.release = threading.Event()
        self.addCleanup(self.release.set)
        storage = self.serve_storage(
            ("part:store1", jov.late(15, release=self.release)))
        server = self.serve()
        main = self.start_main()
        renderer = self.crash_renderer()
        qv.wait_until(lambda: storage.of("part:store1"), SLOW,
                      "the archive's upload")
        return storage, server, main, renderer

    def answer_once_the_exit_waits(self):
        self.wait_for_log("Waiting for the crash being handled",
                          timeout=LOG_WAIT_S)
        self.release.set()

    def assert_the_flow_ran_to_its_end(self, storage, server, renderer):
        self.expect_released(renderer)
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        (_, key), = storage.objects
        self.assertIn("Crash data url: %s" % key, self.log())
        self.assertEqual(key, self.posted_records(server)[0][2]["resource"])
        self.assertNotIn(self.written_dump(), self.dumps())
        self.assertEqual([], [n for n in self.dumps() if ARCHIVE_NAME.match(n)])

    def test_the_main_exit_waits_for_the_flow(self):
        storage, server, main, renderer = self.start_late_flow()
        self.command(main, "exit")
        main.wait()
        self.answer_once_the_exit_waits()
        self.assert_the_flow_ran_to_its_end(storage, server, renderer)

    def test_the_message_loop_end_waits_for_the_flow(self):
        storage, server, main, renderer = self.start_late_flow()
        quit_result = qv.run([qv.program("post_quit.exe"),
                              str(self.reporter_pid(main))])
        self.assertEqual(0, quit_result.returncode, quit_result)
        self.answer_once_the_exit_waits()
        self.assert_the_flow_ran_to_its_end(storage, server, renderer)


if __name__ == "__main__":
    qv.main()
