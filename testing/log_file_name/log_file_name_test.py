#!/usr/bin/env python3
"""Without a product name the log file is named after the program: its base
name without extension and ".elog", also when the program's path is longer
than 260 characters (a fixed buffer would cut the name)."""

import os
import shutil
import unittest

import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path


class LogFileNameTest(unittest.TestCase):

    def run_probe_in(self, folder):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        probe = os.path.join(folder, "log_file_name_probe.exe")
        shutil.copy(qv.program("log_file_name_probe.exe"), probe)
        result = qv.run([probe], timeout=60)
        self.assertEqual(0, result.returncode, result.stderr)
        return result.stdout.decode("utf-8")

    def test_named_after_the_program(self):
        path = self.run_probe_in(os.path.join(WORK_DIR, "short"))
        self.assertTrue(path.endswith("\\log_file_name_probe.elog"), path)

    def test_named_after_a_program_with_a_long_path(self):
        # The cut of a 260-unit buffer falls inside the file name.
        base = os.path.join(WORK_DIR, "long")
        # A folder of exactly 250 units, wherever the build lives.
        folder = base
        while len(windows_path(folder)) < 250:
            room = 250 - len(windows_path(folder)) - 1
            folder = os.path.join(folder, "d" * max(1, min(20, room)))
        length = len(windows_path(os.path.join(folder,
                                               "log_file_name_probe.exe")))
        self.assertGreater(length, 260)
        self.assertLess(len(windows_path(folder)), 259)
        path = self.run_probe_in(folder)
        self.assertTrue(path.endswith("\\log_file_name_probe.elog"), path)


if __name__ == "__main__":
    qv.main()
