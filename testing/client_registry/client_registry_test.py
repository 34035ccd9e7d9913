"""Whole-program tests of the reporter's client registry under Wine: the real
reporter, real test clients that carry their roles on their command lines,
and a stand-in for the client application's IPC window that records every
notice it receives."""

import glob
import json
import os
import re
import subprocess
import tempfile
import time
import unittest

import qv_test_support as qv
from qv_test_support import OWN_PREFIX as PREFIX, WORK_DIR

from crash_tests.crash_harness import Program
from qzcrypto_tools import qzcrypto_format

PIPE = "\\\\.\\pipe\\QuillaveraCrashServices\\Server"
REPORTER = "quillavera_crash_reporter.exe"
CONNECTED, EXITED = 7, 8


def setUpModule():
    qv.start_own_prefix()


def tearDownModule():
    qv.stop_own_prefix()


def log_path():
    """The reporter's log in the prefix's data folder: every record these
    tests look for belongs there, none in the default log beside the
    program."""
    found = glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData",
                                   "Local", "Kestrix", "QuillaVera",
                                   "quillavera.elog"))
    return found[0] if found else None


def log_size():
    path = log_path()
    return os.path.getsize(path) if path else 0


def read_log(since):
    """What the reporter's log gained after |since| bytes."""
    path = log_path()
    if not path:
        return ""
    with open(path, "rb") as log:
        log.seek(since)
        # Each byte is encrypted on its own, so any slice decrypts.
        return qzcrypto_format.decrypt(log.read()).decode("utf-8", "replace")


class Peer:
    """The client application's IPC window, in a process of its own."""

    def __init__(self, hang=False):
        self.out = tempfile.mktemp(prefix="notices-", suffix=".jsonl",
                                   dir=WORK_DIR)
        args = ["--out=" + qv.windows_path(self.out)]
        if hang:
            args += ["--hang", "--lifetime-ms=120000"]
        self.program = Program("ipc_peer_window.exe", args)
        finder = Program("crash_test_client.exe",
                         [PIPE, "wait-peer", "--wait-ms=30000"])
        found = finder.expect("peer")
        finder.wait()
        assert found["found"], found

    def notices(self):
        """[(id, data)] in the order received."""
        if not os.path.exists(self.out):
            return []
        result = []
        with open(self.out, encoding="utf-8") as lines:
            for line in lines:
                record = json.loads(line)
                notice = json.loads(record["text"])
                result.append((notice["id"], notice["data"]))
        return result

    def wait_for(self, count, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            seen = self.notices()
            if len(seen) >= count:
                return seen
            time.sleep(0.1)
        return self.notices()

    def stop(self):
        self.program.kill()


class Reporter:
    """The reporter, started through the launcher, which tells its Windows
    exit code (a crash has no Unix exit status of its own). Its output goes
    to a file: Wine's desktop process may hold a pipe open after it ends."""

    def __init__(self):
        self.out = tempfile.mktemp(prefix="reporter-", suffix=".txt",
                                   dir=WORK_DIR)
        with open(self.out, "wb") as out:
            self.process = qv.start(
                [qv.program("launcher.exe"),
                 qv.windows_path(qv.program(REPORTER))],
                stdin=subprocess.DEVNULL, stdout=out, stderr=out)

    def output(self):
        with open(self.out, "rb") as out:
            return out.read().decode("utf-8", "replace")

    def exit_code(self, timeout):
        self.process.wait(timeout=timeout)
        match = re.search(r"exit code: (0x[0-9A-F]{8})", self.output())
        return int(match.group(1), 16) if match else None

    def kill(self):
        qv.kill_and_wait(self.process)


class Client:
    """A test client that registers and stays until released."""

    def __init__(self, *switches):
        self.program = Program("crash_test_client.exe",
                               [PIPE, "hold"] + list(switches))
        line = self.program.expect("registered", timeout=60)
        assert line["ok"], line
        self.pid = line["pid"]

    def release(self):
        self.program.process.stdin.write(b"go\n")
        self.program.process.stdin.flush()
        self.program.expect("released")
        return self.program.wait()


class RegistryTestCase(unittest.TestCase):
    def setUp(self):
        self.log_start = log_size()

    def start_reporter(self):
        reporter = Reporter()
        self.addCleanup(reporter.kill)
        waiter = Program("crash_test_client.exe",
                         [PIPE, "wait-pipe", "--wait-ms=60000"])
        self.assertTrue(waiter.expect("pipe")["ready"], reporter.output())
        waiter.wait()
        return reporter

    def start_peer(self, hang=False):
        peer = Peer(hang)
        self.addCleanup(peer.stop)
        return peer

    def start_client(self, *switches):
        client = Client(*switches)
        self.addCleanup(client.program.kill)
        return client

    def assert_reporter_ends(self, reporter):
        self.assertEqual(reporter.exit_code(timeout=60), 0, reporter.output())

    def assert_reporter_runs(self, reporter, after):
        """The reporter still runs once it has logged |after|: the record of
        a connect or an exit is written before the callback decides whether
        the reporter ends."""
        qv.wait_until(lambda: after in read_log(self.log_start), 60,
                      "%r in the reporter's log" % after)
        self.assertIsNone(reporter.process.poll(), reporter.output())

    def assert_logged(self, *lines):
        log = read_log(self.log_start)
        for line in lines:
            self.assertIn(line, log)


class ConnectAndExitTest(RegistryTestCase):
    def test_renderer_notices_and_the_main_exit(self):
        peer = self.start_peer()
        reporter = self.start_reporter()
        main = self.start_client("--flag")
        renderer = self.start_client("--type=renderer", "--ptrackid=7",
                                     "--flag")
        renderer_data = "%d_renderer" % renderer.pid
        self.assertEqual(peer.wait_for(1), [(CONNECTED, renderer_data)])

        self.assertEqual(renderer.release(), 0)
        self.assertEqual(peer.wait_for(2),
                         [(CONNECTED, renderer_data), (EXITED, renderer_data)])
        # The main client is still there.
        self.assert_reporter_runs(reporter, "Process %d exited." % renderer.pid)

        self.assertEqual(main.release(), 0)
        self.assert_reporter_ends(reporter)
        # Nothing about the main client reaches the client application.
        self.assertEqual(len(peer.notices()), 2)
        self.assert_logged(
            "Process %d connect, type: main, trackid: 0" % main.pid,
            "Process %d connect, type: renderer, trackid: 7" % renderer.pid,
            "Process %d exited." % renderer.pid,
            "Process %d exited." % main.pid)

    def test_last_client_leaving_ends_the_reporter(self):
        peer = self.start_peer()
        reporter = self.start_reporter()
        gpu = self.start_client("--type=gpu-process", "--ptrackid=5", "--x")
        renderer = self.start_client("--type=renderer", "--ptrackid=3", "--x")
        self.assertEqual(len(peer.wait_for(2)), 2)

        self.assertEqual(gpu.release(), 0)
        self.assertEqual(len(peer.wait_for(3)), 3)
        self.assert_reporter_runs(reporter, "Process %d exited." % gpu.pid)
        self.assertEqual(renderer.release(), 0)
        self.assert_reporter_ends(reporter)
        # The last client's exit sends no notice.
        self.assertEqual(peer.notices(), [
            (CONNECTED, "%d_gpu-process" % gpu.pid),
            (CONNECTED, "%d_renderer" % renderer.pid),
            (EXITED, "%d_gpu-process" % gpu.pid)])
        self.assert_logged(
            # Only a renderer's track id is read.
            "Process %d connect, type: gpu-process, trackid: 0" % gpu.pid,
            "Process %d connect, type: renderer, trackid: 3" % renderer.pid)

    def test_main_exit_ends_the_reporter_while_others_remain(self):
        # No IPC window at all: notices are dropped without harm.
        reporter = self.start_reporter()
        main = self.start_client()
        renderer = self.start_client("--type=renderer", "--ptrackid=9", "--x")
        self.assertEqual(main.release(), 0)
        self.assert_reporter_ends(reporter)
        self.assertIsNone(renderer.program.process.poll())
        self.assert_logged(
            "Process %d connect, type: renderer, trackid: 9" % renderer.pid)

    def test_role_at_the_end_of_the_command_line_reads_as_main(self):
        peer = self.start_peer()
        reporter = self.start_reporter()
        # No " --" after the value: the contract's form is not met.
        client = self.start_client("--type=renderer")
        self.assert_reporter_runs(
            reporter, "Process %d connect, type: main" % client.pid)
        self.assertEqual(client.release(), 0)
        self.assert_reporter_ends(reporter)
        self.assertEqual(peer.notices(), [])
        self.assert_logged(
            "Process %d connect, type: main, trackid: 0" % client.pid)


class HungClientApplicationTest(RegistryTestCase):
    def test_hung_ipc_window_does_not_stall_registration(self):
        self.start_peer(hang=True)
        reporter = self.start_reporter()
        main = self.start_client()
        first = self.start_client("--type=renderer", "--ptrackid=1", "--x")
        # Registers while the first renderer's notice waits on the hung
        # window; the client's own registration has a bounded wait too.
        second = self.start_client("--type=renderer", "--ptrackid=2", "--x")
        self.assertEqual(first.release(), 0)
        self.assertEqual(second.release(), 0)
        self.assert_reporter_runs(reporter, "Process %d exited." % second.pid)
        self.assertEqual(main.release(), 0)
        self.assert_reporter_ends(reporter)
        self.assert_logged(
            "Process %d connect, type: renderer, trackid: 1" % first.pid,
            "Process %d connect, type: renderer, trackid: 2" % second.pid,
            "Process %d exited." % second.pid,
            "IPC notice 7 to process")


if __name__ == "__main__":
    qv.main()
