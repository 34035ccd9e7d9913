"""Whole-program test of whom the reporter believes: the real reporter under
Wine, a client written from the protocol's description (pipe_probe.exe) that
registers in the name of other processes, a bystander process it names, real
test clients and the stand-in for the client application's IPC window.

Any local process can open the crash pipe. A registration counts only for
the process at the other end of the pipe: one naming another process gets no
record, no handles and no reply, is logged, and costs the reporter nothing.
"""

import unittest

import qv_test_support as qv
from client_registry.client_registry_test import (
    CONNECTED, PIPE, Client, Peer, Reporter, log_size, read_log)
from crash_tests.crash_harness import Program

LIES = 100
# The reporter's own handles may move by a few as its thread pool grows or
# shrinks; each registration believed would cost it three.
HANDLE_SLACK = 8


def setUpModule():
    qv.start_own_prefix()


def tearDownModule():
    qv.stop_own_prefix()


def probe(*args):
    program = Program("pipe_probe.exe", list(args))
    program.wait(timeout=120)
    return program


def lie(claimed_pid, times):
    line = probe("lie", PIPE, "--claim-pid=%d" % claimed_pid,
                 "--times=%d" % times).expect("lies")
    return line["replies"], line["server_pid"]


def handle_counts(*pids):
    counts = probe("handles", *map(str, pids)).expect("handles")["counts"]
    return [counts[str(pid)] for pid in pids]


class RegistrationTrustTest(unittest.TestCase):
    def start(self, thing):
        self.addCleanup(thing.kill if hasattr(thing, "kill") else thing.stop)
        return thing

    def test_registrations_in_another_process_name_are_refused(self):
        log_start = log_size()
        peer = self.start(Peer())
        reporter = self.start(Reporter())
        waiter = Program("crash_test_client.exe",
                         [PIPE, "wait-pipe", "--wait-ms=60000"])
        self.assertTrue(waiter.expect("pipe")["ready"], reporter.output())
        waiter.wait()
        first = Client("--type=renderer", "--ptrackid=1", "--x")
        self.addCleanup(first.program.kill)
        # A process that never opens the pipe, with a role the reporter
        # would announce.
        bystander = self.start(Program(
            "pipe_probe.exe", ["idle", "--type=renderer", "--ptrackid=2",
                               "--x"]))
        bystander_pid = bystander.expect("idle")["pid"]

        # One refusal first, so whatever the reporter sets up for its first
        # connections is in place before counting.
        replies, reporter_pid = lie(bystander_pid, 1)
        self.assertEqual(replies, 0)
        before = handle_counts(reporter_pid, bystander_pid)
        self.assertGreater(before[0], 0)
        self.assertEqual(lie(bystander_pid, LIES), (0, reporter_pid))
        # The reporter in its own name: no more believed than the bystander.
        self.assertEqual(lie(reporter_pid, 1), (0, reporter_pid))
        after = handle_counts(reporter_pid, bystander_pid)
        self.assertEqual(after[1], before[1])
        self.assertLessEqual(after[0], before[0] + HANDLE_SLACK,
                             (before, after))

        # Real clients still register and are announced; the bystander never.
        second = Client("--type=renderer", "--ptrackid=3", "--x")
        self.addCleanup(second.program.kill)
        self.assertEqual(peer.wait_for(2), [
            (CONNECTED, "%d_renderer" % first.pid),
            (CONNECTED, "%d_renderer" % second.pid)])
        self.assertEqual(second.release(), 0)
        self.assertEqual(first.release(), 0)
        self.assertEqual(reporter.exit_code(timeout=60), 0, reporter.output())
        self.assertFalse([n for n in peer.notices()
                          if n[1].startswith("%d_" % bystander_pid)])

        log = read_log(log_start)
        self.assertEqual(log.count("registered as process %d" % bystander_pid),
                         LIES + 1, log)
        self.assertEqual(log.count("registered as process %d" % reporter_pid),
                         1, log)
        self.assertNotIn("Process %d connect" % bystander_pid, log)


if __name__ == "__main__":
    qv.main()
