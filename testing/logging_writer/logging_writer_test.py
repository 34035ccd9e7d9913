#!/usr/bin/env python3
"""Whole-program logging checks, run under Wine through the build's wrapper.

- Four processes, two threads each, append thousands of records to the one
  default log file beside the program: every line is whole and every record
  is there exactly once.
- The first record goes to "debug.log" beside the program, also when the
  program's path is longer than 260 characters.
- A failed CHECK_EQ ends the process with the breakpoint exception
  (0x80000003, read by the launcher), its FATAL record is the file's last
  line and goes to standard error, and the exit callback did not run.
"""

import os
import re
import shutil
import subprocess
import unittest

import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path

LAUNCHER = qv.program("launcher.exe")

PREFIX = r"\[\d{4}/\d{6}:(?P<severity>[A-Z_]+):logging_writer_main\.cc\(\d+\)\] "
APPEND_LINE = re.compile(PREFIX + r"append (p\d) ([01]) (\d+)$")


def fresh_folder(name):
    folder = os.path.join(WORK_DIR, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def copy_writer(folder):
    """A private copy, so that its debug.log is this check's alone."""
    writer = os.path.join(folder, "logging_writer.exe")
    shutil.copy(qv.program("logging_writer.exe"), writer)
    return writer


class LoggingWriterTest(unittest.TestCase):

    def test_four_processes_append_whole_records(self):
        folder = fresh_folder("append")
        writer = copy_writer(folder)
        processes, count = 4, 2500
        children = [
            qv.start([writer, "append", "p%d" % p, str(count)],
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.PIPE)
            for p in range(processes)]
        for child in children:
            _, err = child.communicate(timeout=240)
            self.assertEqual(0, child.returncode, err)
            self.assertEqual(b"", err)  # INFO records stay off stderr.

        with open(os.path.join(folder, "debug.log"), "rb") as log:
            data = log.read()
        self.assertNotIn(b"\r", data)
        self.assertTrue(data.endswith(b"\n"))
        seen = {}
        for line in data.decode("utf-8").split("\n")[:-1]:
            match = APPEND_LINE.match(line)
            self.assertIsNotNone(match, "torn or foreign line: %r" % line)
            key = match.group(2, 3, 4)
            seen[key] = seen.get(key, 0) + 1
        expected = {("p%d" % p, str(t), str(i)): 1
                    for p in range(processes) for t in range(2)
                    for i in range(count)}
        self.assertEqual(len(expected), len(seen))
        self.assertEqual(expected, seen)

    def test_failed_check_eq_stops_at_a_breakpoint(self):
        folder = fresh_folder("check_eq")
        writer = copy_writer(folder)
        marker = os.path.join(folder, "exit_callback_ran")
        result = qv.run([LAUNCHER, windows_path(writer), "check_eq",
                      windows_path(marker)])

        self.assertIn(b"exit code: 0x80000003", result.stdout,
                      result.stderr)
        self.assertFalse(os.path.exists(marker),
                         "an exit callback ran after the failed check")
        with open(os.path.join(folder, "debug.log"), "rb") as log:
            lines = log.read().decode("utf-8").split("\n")
        self.assertEqual("", lines[-1])
        self.assertEqual(3, len(lines), lines)
        self.assertRegex(lines[0], "^" + PREFIX + "before the check$")
        fatal = re.compile("^" + PREFIX + r"Check failed: a == b \(1 vs\. 2\)$")
        self.assertRegex(lines[1], fatal)
        self.assertTrue(lines[1].startswith("[") and ":FATAL:" in lines[1])
        # Only the FATAL record reaches standard error.
        err_lines = [l for l in result.stderr.decode("utf-8").splitlines()
                     if l.startswith("[")]
        self.assertEqual([lines[1]], err_lines)

    def test_second_set_up_with_verbose_switches_fails_its_check(self):
        folder = fresh_folder("init_twice")
        writer = copy_writer(folder)
        result = qv.run([LAUNCHER, windows_path(writer), "init_twice"])

        self.assertIn(b"exit code: 0x80000003", result.stdout,
                      result.stderr)
        with open(os.path.join(folder, "debug.log"), "rb") as log:
            lines = log.read().decode("utf-8").split("\n")
        self.assertEqual(3, len(lines), lines)
        self.assertRegex(lines[0], "^" + PREFIX + "first set-up$")
        self.assertRegex(
            lines[1], r"^\[\d{4}/\d{6}:FATAL:logging\.cc\(379\)\] "
            r"Check failed: !g_vlog_info_prev\. $")

    def test_default_log_beside_a_program_with_a_long_path(self):
        # Longer than the 260 units a fixed buffer would take (Wine itself
        # does not start programs with much longer paths).
        base = windows_path(os.path.join(WORK_DIR, "long"))
        parts = []
        while len(base) + sum(len(p) + 1 for p in parts) < 280:
            parts.append("d" * 40)
        folder = fresh_folder(os.path.join("long", *parts))
        self.assertGreater(len(windows_path(folder)), 270)
        writer = copy_writer(folder)
        result = qv.run([writer, "append", "p0", "1"])
        self.assertEqual(0, result.returncode, result.stderr)
        with open(os.path.join(folder, "debug.log"), "rb") as log:
            lines = log.read().decode("utf-8").split("\n")
        self.assertEqual(3, len(lines), lines)
        self.assertRegex(lines[0], APPEND_LINE)


if __name__ == "__main__":
    qv.main()
