#!/usr/bin/env python3
"""The stand-in stack walker on dumps of crashes the test client really
causes, checked against the dump itself read with Python's struct
(testing/crash_tests/minidump.py)."""
import os
import re
import subprocess
import unittest


from crash_tests.crash_harness import ServerHost, start_client
import qv_test_support as qv
from qv_test_support import (WINE_RUN, host_path as to_host_path,
                             program, windows_path as to_windows_path)
from crash_tests import minidump

# A Wine prefix of its own, with a server of its own: dump writing keeps
# a prefix's server busy.
setUpModule = qv.start_own_prefix
tearDownModule = qv.stop_own_prefix

CLIENT = "crash_test_client.exe"
# A dump takes minutes when the machine is busy; only a hang reaches this.
LONG_WAIT = "--wait-ms=360000"
# mode -> (exception code, crash reason)
CRASHES = {
    "crash": (0xC0000005, "EXCEPTION_ACCESS_VIOLATION_WRITE"),
    "crash-read": (0xC0000005, "EXCEPTION_ACCESS_VIOLATION_READ"),
    "crash-illegal": (0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION"),
    "crash-breakpoint": (0x80000003, "EXCEPTION_BREAKPOINT"),
    "crash-throw": (0xE06D7363, "Unhandled C++ Exception"),
}
FRAME = re.compile(r"^ *(\d+)  (\S+) \+ (0x[0-9a-f]+)$")


def walk(dump_path, env=None):
    done = subprocess.run([WINE_RUN, program("dump_analyser.exe"), "-c",
                           to_windows_path(dump_path)],
                          capture_output=True, timeout=120, env=env)
    return done.returncode, done.stdout.decode("utf-8", "replace"), \
        done.stderr.decode("utf-8", "replace")


def crashed_thread(lines):
    """The crashed thread's line and its frames as (module, offset, found by)."""
    start = next(i for i, line in enumerate(lines) if "(crashed)" in line)
    frames = []
    for line in lines[start + 1:]:
        if not line:
            break
        match = FRAME.match(line)
        if match:
            frames.append([match.group(2), int(match.group(3), 16), None])
        elif "Found by:" in line:
            frames[-1][2] = line.split("Found by: ", 1)[1]
    return lines[start], frames


class WalkerOnRealDumpsTest(unittest.TestCase):
    """Each case crashes the client the way it needs; CTest runs the cases
    side by side, each in a prefix of its own."""

    @classmethod
    def setUpClass(cls):
        cls.host = ServerHost("walker").start()
        cls.dumps = {}

    @classmethod
    def tearDownClass(cls):
        cls.host.kill()

    def dump_of(self, mode):
        """The host path of the dump of a client crashed by |mode|, made on
        first use."""
        if mode not in self.dumps:
            client = start_client(self.host, mode, LONG_WAIT)
            registered = client.expect("registered")
            self.assertTrue(registered["ok"], (mode, client.seen, client.stderr))
            code = client.wait(timeout=400)
            self.assertEqual(0, code, (mode, client.seen, client.stderr))
            dump = self.host.expect("dump", pid=registered["pid"])["path"]
            self.dumps[mode] = to_host_path(dump)
        return self.dumps[mode]

    def test_write_fault(self):
        self.check_reason_address_and_faulting_frame("crash")

    def test_read_fault(self):
        self.check_reason_address_and_faulting_frame("crash-read")

    def test_illegal_instruction(self):
        self.check_reason_address_and_faulting_frame("crash-illegal")

    def test_breakpoint(self):
        self.check_reason_address_and_faulting_frame("crash-breakpoint")

    def test_unhandled_cpp_exception(self):
        self.check_reason_address_and_faulting_frame("crash-throw")

    def check_reason_address_and_faulting_frame(self, mode):
        """The walker's reason, address and faulting frame are the dump's
        own."""
        code, reason = CRASHES[mode]
        dump_path = self.dump_of(mode)
        md = minidump.Minidump.read(dump_path)
        exception = md.exception()
        self.assertEqual(code, exception["code"])
        returncode, text, stderr = walk(dump_path)
        self.assertEqual(0, returncode, stderr)
        lines = text.replace("\r\n", "\n").split("\n")
        self.assertIn("Crash reason:  " + reason, lines)
        address = exception["address"]
        if code == 0xC0000005:
            address = exception["parameters"][1]
            self.assertEqual(0x10, address)
        self.assertIn("Crash address: 0x%x" % address, lines)

        thread_line, frames = crashed_thread(lines)
        index = md.thread_ids().index(exception["thread_id"])
        self.assertEqual("Thread %d (crashed)" % index, thread_line)
        rip = md.exception_rip()
        base, _, name = next(m for m in md.modules()
                             if m[0] <= rip < m[0] + m[1])
        self.assertEqual([name.split("\\")[-1], rip - base,
                          "given as instruction pointer in context"],
                         frames[0])
        if mode != "crash-throw":
            # The client's own code faulted.
            self.assertEqual(CLIENT, frames[0][0])
        # Further frames come from the stack, and the client's own code
        # that raised or called is among them.
        scanned = frames[1:]
        self.assertTrue(scanned)
        self.assertTrue(all(f[2] == "stack scanning" for f in scanned))
        self.assertIn(CLIENT, [f[0] for f in scanned])
        modules = lines[lines.index("Loaded modules:") + 1:]
        for base, size, name in md.modules():
            self.assertIn("0x%x - 0x%x  %s" % (base, base + size,
                                                 name.split("\\")[-1]),
                          modules)

    def test_fault_modes_still_work_on_a_real_dump(self):
        env = dict(os.environ, QV_DUMP_ANALYSER_MODE="silent")
        returncode, text, _ = walk(self.dump_of("crash"), env)
        self.assertEqual((0, ""), (returncode, text))

    def test_corrupt_dumps_are_refused_without_a_crash(self):
        good = open(self.dump_of("crash"), "rb").read()
        cases = {
            "not a dump": b"PK\x03\x04" + bytes(60),
            "cut after the header": good[:32],
            "cut in half": good[:len(good) // 2],
            "directory past the end": good[:12] + b"\xff\xff\xff\x7f" + good[16:],
        }
        folder = os.path.dirname(self.dump_of("crash"))
        for name, data in cases.items():
            with self.subTest(case=name):
                path = os.path.join(folder, "corrupt.dmp")
                with open(path, "wb") as f:
                    f.write(data)
                returncode, text, stderr = walk(path)
                self.assertEqual(1, returncode, (text, stderr))
                self.assertEqual("", text)
                self.assertIn("dump_analyser:", stderr)


if __name__ == "__main__":
    qv.main()
