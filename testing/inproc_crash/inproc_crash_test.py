"""Whole-program tests of the in-process crash handler: a client that crashes
three ways under Wine, its dump written by itself or by a crash server, read
back with the test tree's own minidump reader and the exit code taken from a
Windows parent (launcher.exe).

CTest runs each case as a test of its own, in a Wine prefix of its own (see
CMakeLists.txt); by hand, from build/: ctest -R inproc_crash -V
"""

import json
import os
import re
import struct
import subprocess
import tempfile
import unittest

from crash_tests.crash_harness import GUID_NAME, ServerHost
import qv_test_support as qv
from qv_test_support import (WINE_RUN, WORK_DIR, host_path as to_host_path,
                             program, windows_path as to_windows_path)
from crash_tests import minidump

# A Wine prefix of its own, with a server of its own: dump writing keeps
# a prefix's server busy.
setUpModule = qv.start_own_prefix
tearDownModule = qv.stop_own_prefix

ASSERTION_STREAM = 0x47670002
ASSERTION_TEXT_UNITS = 128

# mode -> (exception code in the dump and exit code, assertion type)
MODES = {
    "exception": (0xC0000005, 0),
    "invalid-parameter": (0xC000000D, 1),
    "pure-call": (0xC0000025, 2),
}


def run_crash(mode, dump_dir, *args):
    """Runs the client to its end under the launcher: (exit code, lines)."""
    result = subprocess.run(
        [WINE_RUN, program("launcher.exe"), to_windows_path(program("inproc_crash.exe")),
         mode, to_windows_path(dump_dir)] + list(args),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=400)
    text = result.stdout.decode("utf-8", "replace")
    lines = [json.loads(line) for line in text.splitlines() if line.startswith("{")]
    match = re.search(r"exit code: 0x([0-9A-F]{8})", text)
    assert match, (text, result.stderr)
    return int(match.group(1), 16), {line["event"]: line for line in lines}


def assertion_record(body):
    texts = [body[i * 2 * ASSERTION_TEXT_UNITS:(i + 1) * 2 * ASSERTION_TEXT_UNITS]
             .decode("utf-16-le").split("\0")[0] for i in range(3)]
    line, kind = struct.unpack_from("<II", body, 6 * ASSERTION_TEXT_UNITS)
    return texts, line, kind


class InProcessDumpTest(unittest.TestCase):
    def test_access_violation_is_dumped_by_the_process_itself(self):
        self.check_dumped_by_the_process_itself("exception")

    def test_invalid_parameter_is_dumped_by_the_process_itself(self):
        self.check_dumped_by_the_process_itself("invalid-parameter")

    def test_pure_call_is_dumped_by_the_process_itself(self):
        self.check_dumped_by_the_process_itself("pure-call")

    def check_dumped_by_the_process_itself(self, mode):
        code, assertion_type = MODES[mode]
        dump_dir = tempfile.mkdtemp(prefix="inproc-%s-" % mode, dir=WORK_DIR)
        exit_code, lines = run_crash(mode, dump_dir)
        self.assertEqual(exit_code, code, lines)
        self.assertFalse(lines["installed"]["server"])
        self.assertNotIn("returned", lines)
        done = lines["dump_done"]
        self.assertTrue(done["succeeded"], done)
        self.assertEqual(done["assertion_type"], assertion_type)

        path = to_host_path(done["path"])
        self.assertRegex(os.path.basename(path), "^" + GUID_NAME + r"\.dmp$")
        self.assertEqual(os.listdir(dump_dir), [os.path.basename(path)])
        dump = minidump.Minidump.read(path)
        exception = dump.exception()
        thread_id = lines["crashing"]["thread_id"]
        self.assertEqual(exception["code"], code)
        self.assertEqual(exception["thread_id"], thread_id)
        self.assertIn(thread_id, dump.thread_ids())

        body = dump.stream(ASSERTION_STREAM)
        if assertion_type == 0:
            self.assertIsNone(body)
            return
        texts, line, kind = assertion_record(body)
        self.assertEqual(kind, assertion_type)
        if mode == "invalid-parameter":
            self.assertEqual(texts, ["destination != nullptr", "strcpy_s",
                                     "tcscpy_s.inl"])
            self.assertEqual(line, 42)
            self.assertEqual(len(exception["parameters"]), 3)
            self.assertEqual(exception["parameters"][2], 42)


class ServerDumpTest(unittest.TestCase):
    def test_a_registered_client_asks_the_server_for_its_dump_and_uploads(self):
        host = ServerHost("inproc").start()
        self.addCleanup(lambda: host.process.poll() is None and host.kill())
        client_dir = tempfile.mkdtemp(prefix="inproc-server-client-", dir=WORK_DIR)
        exit_code, lines = run_crash("exception", client_dir,
                                     "--pipe=" + host.pipe_name, "--upload=4000000007")
        self.assertEqual(exit_code, 0xC0000005, lines)
        self.assertTrue(lines["installed"]["server"])
        self.assertTrue(lines["upload_sent"]["ok"])
        host.expect("upload", crash_id=4000000007)
        done = lines["dump_done"]
        self.assertTrue(done["succeeded"], done)
        self.assertIsNone(done["path"])  # the server wrote it
        self.assertEqual(os.listdir(client_dir), [])

        pid = lines["installed"]["pid"]
        dump = host.expect("dump", pid=pid, timeout=120)
        exception = minidump.Minidump.read(to_host_path(dump["path"])).exception()
        self.assertEqual(exception["code"], 0xC0000005)
        self.assertEqual(exception["thread_id"], lines["crashing"]["thread_id"])
        host.expect("exit", pid=pid)


if __name__ == "__main__":
    qv.main()
