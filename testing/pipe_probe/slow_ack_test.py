"""Whole-program tests of registrations whose acknowledgement is late or never
comes: the crash server host and clients written from the protocol's
description (pipe_probe.exe), under Wine.

Once a client has read its reply it holds its handles and its dumps are
served, so it must be reported connected and, when it leaves, exited,
exactly once each, however its acknowledgement went. The stall guard still
frees the pipe's one instance for the client waiting behind it.
"""

import unittest

import qv_test_support as qv
from crash_tests.crash_harness import Program, ServerHost, start_client

# A Wine prefix of its own, with a server of its own: dump writing keeps
# a prefix's server busy.
setUpModule = qv.start_own_prefix
tearDownModule = qv.stop_own_prefix

# Each row: a client's acknowledgement, and whether the server still reads
# it (the server waits one second; None: no ack, or too close to tell on a
# busy machine).
ROWS = [
    ("ack at once", ["--ack-after-ms=0"], True),
    ("ack after 1.2 s", ["--ack-after-ms=1200"], None),
    ("no ack", ["--no-ack"], None),
    # Last: nothing but the waiting client may then try the pipe.
    ("ack after 3 s", ["--ack-after-ms=3000"], False),
]


class Probe(Program):
    """A registration by pipe_probe.exe that stays until released."""

    def __init__(self, pipe_name, *flags):
        super().__init__("pipe_probe.exe",
                         ["register", pipe_name, "--hold"] + list(flags))

    def release(self):
        self.process.stdin.write(b"go\n")
        self.process.stdin.flush()
        self.expect("done")
        return self.wait()


class SlowAcknowledgementTest(unittest.TestCase):
    def start(self, program):
        self.addCleanup(program.kill)
        return program

    def test_late_and_missing_acks_are_connected_and_exited_once(self):
        host = self.start(ServerHost("slowack").start())
        probes = {}
        waiting = None
        for label, flags, ack_read in ROWS:
            with self.subTest(label):
                probe = self.start(Probe(host.pipe_name, *flags))
                reply = probe.expect("reply")
                self.assertTrue(reply["ok"] and reply["held"], reply)
                self.assertEqual(reply["server_pid"], host.pid)
                if label == "ack after 3 s":
                    # Behind a client that holds the pipe for three seconds,
                    # within its own two-second wait.
                    waiting = self.start(start_client(host, "register"))
                host.expect("connect", pid=reply["pid"])
                if "--no-ack" not in flags:
                    ack = probe.expect("ack")
                    if ack_read is not None:
                        self.assertEqual(ack["ok"], ack_read, ack)
                probes[reply["pid"]] = probe
        line = waiting.expect("registered")
        self.assertTrue(line["ok"], (line, host.stderr))
        host.expect("connect", pid=line["pid"])
        host.expect("exit", pid=line["pid"])

        for pid, probe in probes.items():
            self.assertEqual(probe.release(), 0)
            host.expect("exit", pid=pid)
        # A last client as a fence: every hook line of the others is out.
        final = self.start(start_client(host, "register"))
        host.expect("exit", pid=final.expect("registered")["pid"])
        for pid in probes:
            self.assertEqual(len(host.events("connect", pid=pid)), 1, host.seen)
            self.assertEqual(len(host.events("exit", pid=pid)), 1, host.seen)
        # Every client cut off is logged, and only those.
        cut = len(host.stderr_lines("stalled for"))
        self.assertIn(cut, (2, 3), host.stderr)
        self.assertEqual(
            len(host.stderr_lines("did not acknowledge its registration")), cut,
            host.stderr)


if __name__ == "__main__":
    qv.main()
