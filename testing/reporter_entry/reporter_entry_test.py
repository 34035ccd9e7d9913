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

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "qzcrypto_tools"))
import qzcrypto_format  # noqa: E402

ARGS = None
PIPE = r"\\.\pipe\QuillaveraCrashServices\Server"
# The log-file set-up switches on every prefix item: pid, tid, time, ticks.
START_LINE = re.compile(
    r"^\[\d+:\d+:\d{4}/\d{6}:\d+:INFO:quillavera_crash_server_main\.cc\(\d+\)\] "
    r"Quillavera crash server start$")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(args, timeout=60):
    return subprocess.run([ARGS.wine_run] + args, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout)


def log_paths():
    """The reporter's log in the data folder of the prefix's user."""
    prefix = os.environ.get("QV_WINEPREFIX", ARGS.wine_prefix)
    return glob.glob(os.path.join(
        prefix, "drive_c", "users", "*", "AppData", "Local", "Kestrix",
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
        self.folder = os.path.join(ARGS.work_dir, "run")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        # A private copy: its debug.log is this test's alone.
        self.reporter = os.path.join(self.folder,
                                     "quillavera_crash_reporter.exe")
        shutil.copy(ARGS.reporter, self.reporter)
        for path in log_paths():
            os.remove(path)
        self.first = None

    def tearDown(self):
        if self.first and self.first.poll() is None:
            self.first.kill()
            self.first.wait()

    def start_first_copy(self):
        # Output into a file: Wine's desktop process, started by whichever
        # program needs it first, keeps that program's pipes open.
        self.first_output = os.path.join(self.folder, "first_output.txt")
        with open(self.first_output, "wb") as output:
            self.first = subprocess.Popen(
                [ARGS.wine_run, ARGS.launcher, windows_path(self.reporter)],
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
            client = subprocess.Popen(
                [ARGS.wine_run, ARGS.client, PIPE, "hold"],
                stdin=subprocess.PIPE, stdout=output,
                stderr=subprocess.DEVNULL)
        self.addCleanup(client.kill)
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

        prefix = os.environ.get("QV_WINEPREFIX", ARGS.wine_prefix)
        self.assertTrue(glob.glob(os.path.join(
            prefix, "drive_c", "users", "*", "AppData", "Local", "Kestrix",
            "QuillaVera", "dumps")), "no dumps folder")

        log_before = read_log(self.folder)
        started = time.monotonic()
        second = wine([ARGS.launcher, windows_path(self.reporter)],
                      timeout=30)
        elapsed = time.monotonic() - started
        self.assertEqual(0, launcher_exit_code(second.stdout), second)
        # Generous for a loaded machine: this only tells "ends" from "hangs".
        self.assertLess(elapsed, 20)
        self.assertEqual(b"", second.stderr)
        self.assertEqual(log_before, read_log(self.folder))
        self.assertIsNone(self.first.poll(), "the first copy ended too")

        quit_result = wine([ARGS.post_quit, str(server_pid)])
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


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for flag in ("--wine-run", "--wine-prefix", "--reporter", "--launcher",
                 "--client", "--post-quit", "--work-dir"):
        parser.add_argument(flag, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
