#!/usr/bin/env python3
"""The crash reporter started under Wine.

- The first copy creates its data folders and the crash pipe (a client can
  register), logs its start line into "quillavera.elog" in its data folder
  (encrypted; read back with the test tree's own decryptor) and stays in
  its message loop.
- A second copy, while the first runs, ends with exit code 0 in well under
  the time-out and writes no record.
- WM_QUIT from outside ends the first copy through its shutdown path with
  the quit message's code, 0.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import time
import unittest

from qzcrypto_tools import qzcrypto_format
import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path

LAUNCHER = qv.program("launcher.exe")
PIPE = r"\\.\pipe\QuillaveraCrashServices\Server"
# The log-file set-up switches on every prefix item: pid, tid, time, ticks.
START_LINE = re.compile(
    r"^\[\d+:\d+:\d{4}/\d{6}:\d+:INFO:quillavera_crash_server_main\.cc\(\d+\)\] "
    r"Quillavera crash server start$")


def log_paths():
    """The reporter's log in the data folder of the prefix's user."""
    return glob.glob(os.path.join(
        qv.PREFIX, "drive_c", "users", "*", "AppData", "Local", "Kestrix",
        "QuillaVera", "quillavera.elog"))


def read_log(folder):
    """The log's records, decrypted."""
    del folder  # the log lives in the data folder, not beside the program
    for path in log_paths():
        return qzcrypto_format.decrypt_file(path)
    return b""


def read_raw_log():
    for path in log_paths():
        with open(path, "rb") as log:
            return log.read()
    return b""


def launcher_exit_code(output):
    match = re.search(rb"exit code: (0x[0-9A-F]{8})", output)
    return int(match.group(1), 16) if match else None


class ReporterEntryTest(unittest.TestCase):

    def setUp(self):
        self.folder = os.path.join(WORK_DIR, "run")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        # A private copy: its debug.log is this test's alone.
        self.reporter = os.path.join(self.folder,
                                     "quillavera_crash_reporter.exe")
        shutil.copy(qv.program("quillavera_crash_reporter.exe"), self.reporter)
        for path in log_paths():
            os.remove(path)
        self.first = None

    def tearDown(self):
        if self.first:
            qv.kill_and_wait(self.first)

    def start_first_copy(self):
        # Output into a file: Wine's desktop process, started by whichever
        # program needs it first, keeps that program's pipes open.
        self.first_output = os.path.join(self.folder, "first_output.txt")
        with open(self.first_output, "wb") as output:
            self.first = qv.start(
                [LAUNCHER, windows_path(self.reporter)],
                stdin=subprocess.DEVNULL, stdout=output, stderr=output)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if b"crash server start" in read_log(self.folder):
                return
            self.assertIsNone(self.first.poll(), "the first copy ended early")
            time.sleep(0.1)
        self.fail("no start line within 60 s")

    def test_start_second_copy_and_quit(self):
        self.start_first_copy()

        # A client that stays: the reporter ends when its last client leaves.
        client_output = os.path.join(self.folder, "client_output.txt")
        with open(client_output, "wb") as output:
            client = qv.start(
                [qv.program("crash_test_client.exe"), PIPE, "hold"],
                stdin=subprocess.PIPE, stdout=output,
                stderr=subprocess.DEVNULL)
        self.addCleanup(qv.kill_and_wait, client)
        deadline = time.monotonic() + 60
        while True:
            with open(client_output, "rb") as output:
                first_line = output.readline()
            if first_line.endswith(b"\n"):
                break
            self.assertLess(time.monotonic(), deadline, "client silent")
            time.sleep(0.1)
        registered = json.loads(first_line.decode())
        self.assertTrue(registered["ok"])
        server_pid = registered["server_pid"]
        connect_line = "Process %d connect, type: main, trackid: 0" % (
            registered["pid"])
        deadline = time.monotonic() + 30
        while connect_line.encode() not in read_log(self.folder):
            self.assertLess(time.monotonic(), deadline, "no connect line")
            time.sleep(0.1)

        self.assertTrue(glob.glob(os.path.join(
            qv.PREFIX, "drive_c", "users", "*", "AppData", "Local", "Kestrix",
            "QuillaVera", "dumps")), "no dumps folder")

        log_before = read_log(self.folder)
        started = time.monotonic()
        second = qv.run([LAUNCHER, windows_path(self.reporter)],
                        timeout=30)
        elapsed = time.monotonic() - started
        self.assertEqual(0, launcher_exit_code(second.stdout), second)
        # Generous for a loaded machine: this only tells "ends" from "hangs".
        self.assertLess(elapsed, 20)
        self.assertEqual(b"", second.stderr)
        self.assertEqual(log_before, read_log(self.folder))
        self.assertIsNone(self.first.poll(), "the first copy ended too")

        quit_result = qv.run([qv.program("post_quit.exe"), str(server_pid)],
                             timeout=60)
        self.assertEqual(0, quit_result.returncode, quit_result)
        self.first.wait(timeout=60)
        with open(self.first_output, "rb") as output:
            out = output.read()
        self.assertEqual(0, launcher_exit_code(out), out)
        client.communicate(b"go\n", timeout=60)

        # Written encrypted, record by record.
        self.assertNotIn(b"crash server start", read_raw_log())
        lines = read_log(self.folder).decode("utf-8").split("\n")
        self.assertEqual("", lines[-1])
        self.assertEqual(2, len(lines) - 1, lines)
        self.assertRegex(lines[0], START_LINE)
        self.assertTrue(lines[1].endswith("] " + connect_line), lines)


if __name__ == "__main__":
    qv.main()
