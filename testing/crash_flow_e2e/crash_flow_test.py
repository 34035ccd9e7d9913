"""The crash handling flow end to end under Wine: the client application
stand-in starts the real reporter, registers, and crashes for real; the
reporter handles the first crash and ends after a main-process crash.

Headless (the wrapper unsets DISPLAY), so the error box returns at once.
"""

import glob
import json
import os
import re
import shutil
import tempfile
import threading
import time
import unittest
import zipfile

import qv_test_support as qv
from qv_test_support import BIN_DIR, OWN_PREFIX as PREFIX, WORK_DIR

from crash_tests.crash_harness import Program
from qzcrypto_tools import qzcrypto_format

# The debugger output ("Client requested dump:") shows on standard error.
os.environ["WINEDEBUG"] = "-all,warn+seh"

APP = "client_application.exe"
# A dump and its handling take well over a minute when other builds load the
# machine: generous bounds, which only a hang reaches.
SLOW = 400
# What the client application leaves for the report.
APP_PARAM = {
    "appChannel": "stable", "appVersion": "3.2.1", "appPlatform": "win64",
    "buildVersion": "3201", "patchVersion": "7", "host": "127.0.0.1:9",
    "model": "XPS 13", "brand": "Dell", "osVersion": "10.0.19045",
    "startTime": "2026-12-10T09:00:00", "GPU": "Iris Xe",
}
ARCHIVE_NAME = re.compile(r"^crash_data_\d+\.zip$")
# Full-memory dumps of tens of MB, written and packed into the crash data
# archive, take minutes on a busy machine: clients that wait for one wait
# this long.
LONG_DUMP_WAIT = "--dump-wait-ms=600000"
LONG_DUMP_TIMEOUT = 660
WAIT_RELEASED = 0  # WAIT_OBJECT_0: the dump-generated event
ANALYSER_WAIT_MS = 120000
CONNECTED = 7


def setUpModule():
    qv.start_own_prefix()


def tearDownModule():
    qv.stop_own_prefix()


def data_folder():
    found = glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData",
                                   "Local"))
    return os.path.join(found[0], "Kestrix", "QuillaVera")


def keep_analysis_text(dumps):
    """The reporter removes the analysis text right after the analysis; a
    second name for the same file keeps what the walker wrote (the redirect
    truncates the existing file rather than making a new one)."""
    os.makedirs(dumps, exist_ok=True)
    analysis = os.path.join(dumps, "dump_analyse_result.txt")
    kept = os.path.join(WORK_DIR, "analysis-%d.txt" % os.getpid())
    open(analysis, "wb").close()
    if os.path.exists(kept):
        os.remove(kept)
    os.link(analysis, kept)
    return kept


class DumpsWatcher:
    """Notes every file that appears in the dumps folder while a test runs."""

    def __init__(self):
        self.seen = set()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stop.is_set():
            dumps = os.path.join(data_folder(), "dumps")
            try:
                self.seen.update(os.listdir(dumps))
            except OSError:
                pass
            time.sleep(0.05)

    def stop(self):
        self._stop.set()
        self._thread.join(timeout=10)


class FlowTestCase(unittest.TestCase):
    """A fresh data folder with the client's appParam, and the client
    application stand-ins a test starts, stopped at its end."""

    def setUp(self):
        # The walker's text goes into the report: the test build waits for
        # the walker's signal up to two minutes (the product: 5 s), which a
        # walker starting on a loaded machine can take.
        os.environ["QV_TEST_ANALYSER_WAIT_MS"] = str(ANALYSER_WAIT_MS)
        self.addCleanup(os.environ.pop, "QV_TEST_ANALYSER_WAIT_MS", None)
        shutil.rmtree(data_folder(), ignore_errors=True)
        self.kept_analysis = keep_analysis_text(
            os.path.join(data_folder(), "dumps"))
        with open(os.path.join(data_folder(), "dumps", "appParam"), "w") as f:
            json.dump(APP_PARAM, f)
        self.programs = []
        self.watcher = DumpsWatcher()
        self.addCleanup(self.watcher.stop)

    def tearDown(self):
        for program in self.programs:
            program.kill()

    def start(self, *args):
        program = Program(APP, list(args))
        self.programs.append(program)
        return program

    def start_main(self, reporter_folder=BIN_DIR, *extra):
        reporter = os.path.join(reporter_folder,
                                "quillavera_crash_reporter.exe")
        main = self.start("--start-reporter=" + qv.windows_path(reporter),
                          *extra)
        started = main.expect("reporter", timeout=SLOW)
        self.assertTrue(started["ready"], (started, main.stderr))
        self.assertTrue(main.expect("registered")["ok"])
        # Tells the driver how the reporter ends; holds it before the test
        # goes on, or a quick end could leave no process to watch.
        self.watch = self.start("--watch-process=%d" % started["pid"])
        self.assertTrue(self.watch.expect("watching", timeout=SLOW)["ok"])
        return main

    @staticmethod
    def command(program, text):
        program.process.stdin.write(text.encode() + b"\n")
        program.process.stdin.flush()

    def reporter_exit(self):
        return self.watch.expect("process_exit", timeout=SLOW)

    def dumps(self):
        """The dumps folder, less the client's own "appParam"."""
        return sorted(n for n in os.listdir(os.path.join(data_folder(), "dumps"))
                      if n != "appParam")

    def log(self):
        """The product log, which the reporter and the client both write
        encrypted record by record."""
        return qzcrypto_format.decrypt_log_text(
            os.path.join(data_folder(), "quillavera.elog"))

    def wait_for_log(self, text, timeout=SLOW):
        deadline = time.monotonic() + timeout
        while text not in self.log():
            self.assertLess(time.monotonic(), deadline, "no %r in the log" % text)
            time.sleep(0.1)


class CrashFlowTest(FlowTestCase):
    def test_main_crash_is_handled_and_ends_the_reporter(self):
        main = self.start_main()
        self.command(main, "crash")
        dumped = main.expect("crash_dump", timeout=SLOW)
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        # The reporter ended without releasing the crashed client.
        self.assertFalse(dumped["ok"])
        self.assertNotEqual(WAIT_RELEASED, dumped["wait_result"])
        main.wait()

        self.watcher.stop()
        written = [n for n in self.watcher.seen if n.endswith(".dmp")]
        self.assertEqual(1, len(written), self.watcher.seen)
        with open(self.kept_analysis, "rb") as kept:
            analysis = kept.read().decode("latin-1")
        # The walker read the real dump: the client's write to 0x10 on its
        # own code.
        self.assertIn("Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE\r\n",
                      analysis)
        self.assertIn("Crash address: 0x10\r\n", analysis)
        self.assertRegex(analysis, r"\(crashed\)\r\n 0  %s \+ 0x[0-9a-f]+\r\n"
                         % re.escape(APP))
        # Only the crash data archive is kept: it was not uploaded.
        self.assertEqual(1, len(self.dumps()), self.dumps())
        self.assertRegex(self.dumps()[0], ARCHIVE_NAME)

        pid = main.events("registered")[0]["pid"]
        record = re.compile(
            r"ERROR:crash_handling_flow\.cc\(\d+\)\] Process crashed! type: "
            r"main, start time: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d, "
            r"info:process:%d type:main,memory:\d+MB,Handle count:\d+,"
            r"GDI count:\d+; System memory usage: .*, track_id: 0$" % pid)
        reporter_errors = [l for l in main.stderr if "Process crashed!" in l]
        self.assertEqual(1, len(reporter_errors), main.stderr)
        self.assertRegex(reporter_errors[0], record)
        self.assertNotIn("Analyse dump failed", self.log())
        # No token host in the report parameters: the upload fails, retried
        # once, and says so.
        self.assertEqual(1, self.log().count("Crash data upload failed"))
        self.assertTrue(any("Client requested dump:%d" % pid in l
                            for l in main.stderr), main.stderr)
        # The client's own records share the product log; records of both
        # processes decrypt one by one into whole lines.
        log = self.log()
        self.assertIn("Client application main start", log)
        self.assertIn("Process crashed! type: main", log)
        for line in log.splitlines():
            self.assertRegex(line, r"^\[\d+:\d+:\d{4}/\d{6}:\d+:[A-Z_]+:"
                             r"[\w.]+\(\d+\)\] ")
        # The plain copy packed with the crash data is gone again.
        self.assertFalse(os.path.exists(
            os.path.join(data_folder(), "quillavera.log")))

    def test_renderer_crash_is_handled_and_a_later_main_crash_only_dumped(self):
        main = self.start_main(BIN_DIR, LONG_DUMP_WAIT)
        renderer = self.start("--type=renderer", "--ptrackid=7", "--full",
                              LONG_DUMP_WAIT, "--x")
        rpid = renderer.expect("registered")["pid"]
        self.assertEqual(
            {"id": CONNECTED, "data": "%d_renderer" % rpid},
            {k: v for k, v in main.expect("notice").items()
             if k in ("id", "data")})

        self.command(renderer, "crash")
        self.wait_for_log("Process crashed! type: renderer",
                          timeout=LONG_DUMP_TIMEOUT)
        # The main process crashes while the renderer's crash is handled; its
        # dump is written once the reporter is done with the renderer.
        self.command(main, "crash")
        main_dump = main.expect("crash_dump", timeout=LONG_DUMP_TIMEOUT)
        self.assertTrue(main_dump["ok"])
        self.assertEqual(WAIT_RELEASED, main_dump["wait_result"])
        main.wait()
        # The main client's exit ends the reporter.
        renderer_dump = renderer.expect("crash_dump",
                                        timeout=LONG_DUMP_TIMEOUT)
        self.assertTrue(renderer_dump["ok"])
        self.assertEqual(WAIT_RELEASED, renderer_dump["wait_result"])
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))

        log = self.log()
        self.assertEqual(1, log.count("Process crashed!"), log)
        self.assertIn("type: renderer, start time: ", log)
        self.assertRegex(log, r"process:%d type:renderer,.*track_id: 7\r?\n"
                         % rpid)
        self.assertIn("Client requested dump:%d" % rpid,
                      "\n".join(renderer.stderr + main.stderr))
        # Left: the main process's dump, and the renderer's full-memory
        # dump; gone: the renderer's dump and the analysis text.
        left = [n for n in self.dumps() if not ARCHIVE_NAME.match(n)]
        self.assertEqual(2, len(left), left)
        full = [n for n in left if n.endswith("-full.dmp")]
        self.assertEqual(1, len(full), left)
        self.assertIn(full[0][:-len("-full.dmp")] + ".dmp", self.watcher.seen)
        self.assertNotIn(full[0][:-len("-full.dmp")] + ".dmp", left)

    def test_main_exit_waits_for_a_crash_in_hand(self):
        # The stack walker holds the renderer's crash in hand until the main
        # process has exited and the reporter has seen it.
        release = os.path.join(WORK_DIR, "walker-release-%d" % os.getpid())
        for stale in (release, release + ".held"):
            if os.path.exists(stale):
                os.remove(stale)
        os.environ["QV_DUMP_ANALYSER_HOLD"] = qv.windows_path(release)
        self.addCleanup(os.environ.pop, "QV_DUMP_ANALYSER_HOLD")
        self.addCleanup(lambda: open(release, "wb").close())
        main = self.start_main()
        main_pid = main.events("registered")[0]["pid"]
        renderer = self.start("--type=renderer", "--ptrackid=3", "--x")
        renderer.expect("registered")
        self.command(renderer, "crash")
        qv.wait_until(lambda: os.path.exists(release + ".held"), SLOW,
                      "stack walker under way")
        self.command(main, "exit")
        main.expect("exited")
        main.wait()
        self.wait_for_log("Process %d exited." % main_pid)
        # Still in hand: the analysis waits for the walker's signal.
        self.assertFalse(renderer.events("crash_dump"))
        open(release, "wb").close()
        # The reporter ends only once the renderer's crash is handled to its
        # end: the renderer is released and its dump is gone.
        renderer_dump = renderer.expect("crash_dump", timeout=SLOW)
        self.assertEqual(WAIT_RELEASED, renderer_dump["wait_result"])
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        self.assertEqual(1, len(self.dumps()), self.dumps())
        self.assertRegex(self.dumps()[0], ARCHIVE_NAME)

    def test_renderer_crash_data_is_packed_into_an_archive(self):
        data = data_folder()
        listed = {
            "web.log": "web.log",
            "app_trace.json": "app_trace.json",
            "crash_report": "webdata/file/crash_report",
            "localdata/recent.txt": "localdata/recent.txt",
            "localdata/sub/deeper.txt": "localdata/sub/deeper.txt",
            "ORBI_SYS/a.bin": "ORBI_SYS/a.bin",
            "OBQ/old.txt": "OBQ/old.txt",
            "qlvt/z/w.txt": "qlvt/z/w.txt",
        }
        contents = {}
        for entry, name in listed.items():
            contents[entry] = os.urandom(3000) + name.encode() * 100
            self.write_data_file(name, contents[entry])
        # Old files count only in the forced folders.
        week_ago = time.time() - 7 * 24 * 3600
        os.utime(os.path.join(data, "OBQ", "old.txt"), (week_ago, week_ago))
        self.write_data_file("localdata/old.txt", b"old", week_ago)
        self.write_data_file("old.log", b"not listed")

        main = self.start_main()
        renderer = self.start("--type=renderer", "--ptrackid=5", "--full",
                              LONG_DUMP_WAIT, "--x")
        renderer.expect("registered")
        self.command(renderer, "crash")
        released = renderer.expect("crash_dump", timeout=LONG_DUMP_TIMEOUT)
        self.assertEqual(WAIT_RELEASED, released["wait_result"])
        self.command(main, "exit")
        main.wait()
        self.reporter_exit()

        archives = [n for n in self.dumps() if ARCHIVE_NAME.match(n)]
        self.assertEqual(1, len(archives), self.dumps())
        full = [n for n in self.dumps() if n.endswith("-full.dmp")]
        self.assertEqual(1, len(full), self.dumps())
        dump_name = full[0][:-len("-full.dmp")] + ".dmp"
        with open(os.path.join(data, "dumps", full[0]), "rb") as f:
            contents[full[0]] = f.read()
        with open(self.kept_analysis, "rb") as f:
            contents["dump_analyse_result.txt"] = f.read()
        self.assertIn(b"Crash reason:", contents["dump_analyse_result.txt"])
        with zipfile.ZipFile(os.path.join(data, "dumps", archives[0])) as zf:
            self.assertIsNone(zf.testzip())
            self.assertEqual(
                sorted(list(contents) + [dump_name, "quillavera.log"]),
                sorted(zf.namelist()))
            for name, expected in contents.items():
                self.assertEqual(expected, zf.read(name), name)
            self.assertEqual(b"MDMP", zf.read(dump_name)[:4])
            # The log travels as its plain copy, which is gone once packed.
            self.assertIn(b"Process crashed! type: renderer",
                          zf.read("quillavera.log"))
        self.assertFalse(os.path.exists(os.path.join(data, "quillavera.log")))

    def write_data_file(self, name, data, mtime=None):
        path = os.path.join(data_folder(), *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))

    def test_missing_analyser_ends_the_reporter_after_the_retry(self):
        # A reporter with no stack walker beside it.
        folder = tempfile.mkdtemp(prefix="no-analyser-", dir=WORK_DIR)
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.copy(os.path.join(BIN_DIR, "quillavera_crash_reporter.exe"),
                    folder)
        main = self.start_main(folder)
        self.command(main, "crash")
        dumped = main.expect("crash_dump", timeout=SLOW)
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        self.assertNotEqual(WAIT_RELEASED, dumped["wait_result"])
        main.wait()

        # The flow ended before its clean-up: the dump stays.
        left = [n for n in self.dumps() if n.endswith(".dmp")]
        self.assertEqual(1, len(left), self.dumps())
        failed = [l for l in main.stderr if "Analyse dump failed!" in l]
        self.assertEqual(1, len(failed), main.stderr)
        self.assertRegex(failed[0], r"Analyse dump failed! result: 2 Dump "
                         r"file: .*\\dumps\\%s$" % re.escape(left[0]))
        # It ended there: no request line in the debugger output.
        self.assertFalse(any("Client requested dump:" in l
                             for l in main.stderr))


if __name__ == "__main__":
    qv.main()
