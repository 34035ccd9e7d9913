"""The in-process crash handler in small client programs under Wine: each
crash kind gives a dump written by the crashing process itself, read back
by the test tree's minidump reader, and the process ends with the crash's
code. With a crash server running, the handler asks it for the dump
instead."""

import os
import shutil
import struct
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "crash_tests"))

from crash_harness import (GUID_NAME, WORK_DIR, Program,  # noqa: E402
                           ServerHost, to_host_path, to_windows_path)
import minidump  # noqa: E402

ACCESS_VIOLATION = 0xC0000005
INVALID_PARAMETER = 0xC000000D
NONCONTINUABLE = 0xC0000025
ASSERTION_STREAM = 0x47670002
DUMP_INFO_STREAM = 0x47670001
INVALID_PARAMETER_TYPE = 1
PURE_CALL_TYPE = 2


def exit_code_of(status):
    """What a Windows exit code looks like from the Linux side of Wine."""
    return status & 0xFF


class InProcessHandlerTest(unittest.TestCase):

    def setUp(self):
        os.makedirs(WORK_DIR, exist_ok=True)
        self.dumps = tempfile.mkdtemp(prefix="inproc-", dir=WORK_DIR)
        self.addCleanup(shutil.rmtree, self.dumps, True)

    def run_client(self, mode, *args):
        client = Program("in_process_crash_client.exe",
                         [mode, to_windows_path(self.dumps)] + list(args))
        installed = client.expect("installed")
        return client, installed

    def check_own_dump(self, client, installed, code, assertion_type):
        done = client.expect("dump_done")
        self.assertTrue(done["succeeded"], done)
        self.assertEqual(code, done["code"])
        self.assertEqual(assertion_type, done["assertion_type"])
        self.assertFalse(installed["out_of_process"])
        self.assertRegex(done["path"], r"\\" + GUID_NAME + r"\.dmp$")
        self.assertEqual([os.path.basename(to_host_path(done["path"]))],
                         os.listdir(self.dumps))
        dump = minidump.Minidump.read(to_host_path(done["path"]))
        exception = dump.exception()
        self.assertEqual(code, exception["code"])
        # The crashing thread, whose hook ran after the dump; the dump was
        # written by the handler's own thread.
        self.assertEqual(installed["thread_id"], exception["thread_id"])
        self.assertEqual(installed["thread_id"], done["thread_id"])
        self.assertIn(installed["thread_id"], dump.thread_ids())
        validity, dumped, requesting = struct.unpack(
            "<III", dump.stream(DUMP_INFO_STREAM))
        self.assertEqual((3, installed["thread_id"]), (validity, dumped))
        self.assertNotEqual(installed["thread_id"], requesting)
        self.assertIn(requesting, dump.thread_ids())
        return dump

    def test_unhandled_exception(self):
        client, installed = self.run_client("exception")
        self.check_own_dump(client, installed, ACCESS_VIOLATION, 0)
        self.assertEqual(exit_code_of(ACCESS_VIOLATION), client.wait())
        self.assertEqual([], client.events("survived"))

    def test_invalid_parameter(self):
        client, installed = self.run_client("invalid-parameter")
        dump = self.check_own_dump(client, installed, INVALID_PARAMETER,
                                   INVALID_PARAMETER_TYPE)
        assertion = dump.stream(ASSERTION_STREAM)
        self.assertEqual(776, len(assertion))
        self.assertEqual(INVALID_PARAMETER_TYPE,
                         struct.unpack_from("<I", assertion, 772)[0])
        self.assertEqual("buffer != nullptr",
                         assertion[:256].decode("utf-16-le").split("\0")[0])
        self.assertEqual(42, struct.unpack_from("<I", assertion, 768)[0])
        self.assertEqual(3, len(dump.exception()["parameters"]))
        # The hook left it unhandled: the handler installed before ours ran.
        client.expect("previous_handler")
        self.assertEqual(exit_code_of(INVALID_PARAMETER), client.wait())

    def test_pure_virtual_call(self):
        client, installed = self.run_client("pure-call")
        dump = self.check_own_dump(client, installed, NONCONTINUABLE,
                                   PURE_CALL_TYPE)
        self.assertEqual(PURE_CALL_TYPE, struct.unpack_from(
            "<I", dump.stream(ASSERTION_STREAM), 772)[0])
        self.assertEqual(exit_code_of(NONCONTINUABLE), client.wait())

    def test_dump_on_request_and_clean_removal(self):
        client, installed = self.run_client("write-dump")
        done = client.expect("dump_done")
        self.assertTrue(done["succeeded"])
        self.assertEqual(0, done["code"])
        # The destructor ends the handler thread; the process exits 0.
        self.assertEqual(0, client.wait())
        dump = minidump.Minidump.read(to_host_path(done["path"]))
        self.assertIsNone(dump.exception())

    def test_out_of_process_asks_the_crash_server(self):
        host = ServerHost("inproc").start()
        self.addCleanup(lambda: host.process.poll() is None and host.kill())
        client, installed = self.run_client("exception", host.pipe_name)
        self.assertTrue(installed["out_of_process"], client.stderr)
        served = host.expect("dump", timeout=120)
        done = client.expect("dump_done", timeout=120)
        self.assertTrue(done["succeeded"])
        self.assertEqual("", done["path"])
        self.assertEqual(exit_code_of(ACCESS_VIOLATION), client.wait())
        self.assertEqual([], os.listdir(self.dumps))
        dump = minidump.Minidump.read(to_host_path(served["path"]))
        self.assertEqual(ACCESS_VIOLATION, dump.exception()["code"])
        self.assertEqual(installed["thread_id"],
                         dump.exception()["thread_id"])
        host.stop()


if __name__ == "__main__":
    unittest.main()
