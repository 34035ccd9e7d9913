#!/usr/bin/env python3
"""Dump analysis through cmd under Wine with the stand-in stack walker.

The probe program runs the reporter's AnalyseDump and ParseAnalysisResult;
each test copies it (and the stand-in, unless the test is about its absence)
into a folder of its own, because the reporter looks for the walker beside
its own executable.
"""
import os
import shutil
import tempfile
import unittest

import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path as win

# A walker text of a fixed shape, for the parsing; the walker's reading of
# real dumps is tested in walker_dump_test.py.
TEMPLATE = (
    "Operating system: Windows NT\n"
    "                  6.1.7601 Service Pack 1\n"
    "CPU: amd64\n"
    "\n"
    "Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE\n"
    "Crash address: 0x0\n"
    "Dump: {dump} ({size} bytes)\n"
    "\n"
    "Thread 0 (crashed)\n"
    " 0  quillavera_test_client.exe + 0x1a2b\n"
    "    rax = 0x0000000000000000   rdx = 0x0000000000000001\n"
    "    Found by: given as instruction pointer in context\n"
    " 1  kernel32.dll + 0x1f3c4\n"
    "    Found by: stack scanning\n"
    "\n"
    "Thread 1\n"
    " 0  ntdll.dll + 0x9a0c4\n"
    "    Found by: given as instruction pointer in context\n"
    "\n"
    "Loaded modules:\n"
    "0x140000000 - 0x140fff000  quillavera_test_client.exe\n")


class DumpAnalysisTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="analysis_", dir=WORK_DIR)
        shutil.copy(qv.program("analyse_dump_probe.exe"), self.dir)
        self.dump = os.path.join(self.dir, "crash 1.dmp")
        with open(self.dump, "wb") as f:
            f.write(b"MDMP" + bytes(60))
        self.result = os.path.join(self.dir, "dump_analyse_result.txt")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def add_analyser(self):
        shutil.copy(qv.program("dump_analyser.exe"), self.dir)

    def probe(self, mode="", template=TEMPLATE, dump=None,
              info="pid 7 renderer", parse_only=False):
        env = dict(os.environ)
        env["QV_DUMP_ANALYSER_MODE"] = mode
        env.pop("QV_DUMP_ANALYSER_TEMPLATE", None)
        if template is not None:
            path = os.path.join(self.dir, "template.txt")
            with open(path, "w") as f:
                f.write(template)
            env["QV_DUMP_ANALYSER_TEMPLATE"] = win(path)
        # Debugger output of both kinds goes to standard error.
        env["WINEDEBUG"] = "-all,warn+debugstr,warn+seh"
        done = qv.run(
            [os.path.join(self.dir, "analyse_dump_probe.exe"),
             "-" if parse_only else win(dump or self.dump), win(self.result),
             info], env=env)
        out = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        fields = {}
        for line in out.split("\n"):
            key, sep, value = line.partition("=")
            if sep:
                fields[key] = value
        stderr = done.stderr.decode("utf-8", "replace")
        # Every run prints its result first; without it, say how it ended.
        self.assertIn("analyse", fields, "probe exit %s, stdout %r, stderr %r"
                      % (done.returncode, out, stderr[-2000:]))
        return fields, stderr

    def read_result(self):
        with open(self.result, "rb") as f:
            return f.read()

    def test_parse_of_the_walker_text_gives_its_pieces(self):
        self.add_analyser()
        fields, _ = self.probe(mode="signal")
        self.assertEqual("0", fields["analyse"])
        text = self.read_result()
        self.assertIn(b"Dump: crash 1.dmp (64 bytes)\r\n", text)
        self.assertEqual(
            "Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
            "Crash address: 0x0\", "
            "\"page\": \"quillavera_test_client.e\", "
            "\"stackTrace\": \"Thread 0 (crashed)\\n "
            " 0  quillavera_test_client.exe + 0x1a2b\\n "
            "    rax = 0x0000000000000000   rdx = 0x0000000000000001,"
            "\\n pid 7 renderer",
            fields["message"])
        self.assertEqual(
            "Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
            "Thread 0 (crashed), 0  quillavera_test_client.exe + 0x1a2b,",
            fields["crash_info"])
        self.assertEqual("quillavera_test_client.e", fields["page"])

    def test_the_frame_example_gives_an_eight_character_page(self):
        self.add_analyser()
        fields, _ = self.probe(template=(
            "Crash reason:  EXCEPTION_BREAKPOINT\n"
            "Crash address: 0x1f\n"
            "Thread 2 (crashed)\n"
            " 0  abcdef.dll + 0x1f\n"
            "    Found by: given as instruction pointer in context\n"))
        self.assertEqual("abcdef.d", fields["page"])
        self.assertIn("\"page\": \"abcdef.d\", ", fields["message"])

    def test_walker_that_signals_early_is_still_read_whole(self):
        # The walker says it is done when only its header is written, and
        # the lines that matter come a second and a half later: the analysis
        # must wait for cmd to finish the file.
        self.add_analyser()
        header = "".join("Module %02d: loaded\n" % i for i in range(12))
        fields, _ = self.probe(mode="signal-early,slow=1500", template=(
            header +
            "Crash reason:  EXCEPTION_ILLEGAL_INSTRUCTION\n"
            "Crash address: 0x4\n"
            "Thread 0 (crashed)\n"
            " 0  late.dll + 0x4\n"
            "    Found by: given as instruction pointer in context\n"))
        self.assertEqual("0", fields["analyse"])
        self.assertEqual(
            "Crash reason:  EXCEPTION_ILLEGAL_INSTRUCTION,Crash address: 0x4\", "
            "\"page\": \"late.d\", "
            "\"stackTrace\": \"Thread 0 (crashed)\\n  0  late.dll + 0x4\\n "
            "\\n pid 7 renderer",
            fields["message"])

    def test_walker_without_a_signal_is_waited_for(self):
        self.add_analyser()
        fields, _ = self.probe(mode="slow=1500")
        self.assertEqual("0", fields["analyse"])
        self.assertTrue(self.read_result().endswith(
            b"quillavera_test_client.exe\r\n"))

    def test_silent_walker_leaves_an_empty_text(self):
        self.add_analyser()
        fields, _ = self.probe(mode="silent")
        self.assertEqual("0", fields["analyse"])
        self.assertEqual(b"", self.read_result())
        self.assertEqual("", fields["message"])
        self.assertEqual("", fields["page"])

    def test_walker_slower_than_the_cap_gives_a_partial_text_safely(self):
        # The walker writes its first half at once and the crashed thread
        # only after 10 s: the analysis goes on at its 5 s cap and parses
        # what was there by then.
        first = ("Crash reason:  EXCEPTION_BREAKPOINT\n"
                 "Crash address: 0x1f\n" +
                 "".join("Module %02d: loaded\n" % i for i in range(6)))
        late = ("Thread 0 (crashed)\n"
                " 0  late.dll + 0x1f\n"
                "    Found by: given as instruction pointer in context\n" +
                "".join("Module %02d: late\n" % i for i in range(4)))
        # The stand-in splits at the first line end after half the text.
        text = first + late
        self.assertEqual(len(first), text.find("\n", len(text) // 2) + 1)
        self.add_analyser()
        fields, _ = self.probe(mode="slow=10000,signal", template=text)
        self.assertEqual("0", fields["analyse"])
        # It waited for the cap, and not for the walker.
        self.assertGreaterEqual(int(fields["analyse_ms"]), 4900)
        self.assertLess(int(fields["analyse_ms"]), 9000)
        self.assertTrue(fields["message"].startswith(
            "Crash reason:  EXCEPTION_BREAKPOINT,Crash address: 0x1f"),
            fields["message"])
        for field in ("message", "crash_info", "page"):
            self.assertNotIn("late", fields[field], field)
            self.assertNotIn("Thread 0", fields[field], field)
        # Let the walker finish before the folder goes.
        qv.wait_until(lambda: self.read_result().endswith(b"Module 03: late\r\n"),
                      30, "end of the walker's text")

    def test_text_without_crashed_thread(self):
        self.add_analyser()
        fields, _ = self.probe(template=(
            "Crash reason:  EXCEPTION_STACK_OVERFLOW\n"
            "Thread 0\n 0  a.dll + 0x1\n"
            "Crash address: 0x2\n"
            "Crash reason:  AGAIN\nCrash address: 0x3\n"))
        self.assertEqual(
            "Crash reason:  EXCEPTION_STACK_OVERFLOW,Crash address: 0x2\", ",
            fields["message"])
        self.assertEqual("Crash reason:  EXCEPTION_STACK_OVERFLOW,",
                         fields["crash_info"])
        self.assertEqual("", fields["page"])

    def test_missing_analyser_returns_2_with_a_debugger_line(self):
        fields, stderr = self.probe()
        self.assertEqual("2", fields["analyse"])
        self.assertIn("analyses error: analyses process file not exist.",
                      stderr)
        self.assertFalse(os.path.exists(self.result))

    def test_missing_text_gives_the_default_with_a_debugger_line(self):
        fields, stderr = self.probe(parse_only=True)
        self.assertIn("crash bi read error: cannot open analyse file.", stderr)
        self.assertTrue(fields["message"])  # the default text
        self.assertNotIn("pid 7 renderer", fields["message"])
        self.assertEqual("", fields["crash_info"])
        self.assertEqual("", fields["page"])

    def test_missing_dump_returns_3(self):
        self.add_analyser()
        fields, _ = self.probe(dump=os.path.join(self.dir, "gone.dmp"))
        self.assertEqual("3", fields["analyse"])
        self.assertFalse(os.path.exists(self.result))


if __name__ == "__main__":
    qv.main()
