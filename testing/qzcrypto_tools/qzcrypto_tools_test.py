#!/usr/bin/env python3
"""The product's encryption checked against the test tree's own
implementation of the format (qzcrypto_format.py), under Wine.

- The known-answer table the C++ tests read is what the independent
  implementation computes from the product's constants.
- Bad headers give -3 and the library's debugger-output line.
- Records that two processes append to one encrypted log decrypt one by one
  into whole lines of the log format.
- A record logged while the process exits is still encrypted correctly.
- Whole files encrypt and decrypt with the product's helper; one file given
  as source and destination (under any of its names) is refused untouched.
"""

import os
import re
import shutil
import subprocess
import unittest

import qv_test_support as qv
from qv_test_support import windows_path
from qzcrypto_tools import qzcrypto_format

PROBE = qv.program("qzcrypto_probe.exe")
PREFIX = r"\[\d+:\d+:\d{4}/\d{6}:\d+:INFO:qzcrypto_probe_main\.cc\(\d+\)\] "
RECORD = re.compile(PREFIX + r"record (p\d) ([01]) (\d+)$")


def fresh_folder(name):
    folder = os.path.join(qv.WORK_DIR, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def probe(args, debugstr=False, timeout=120):
    env = dict(os.environ)
    if debugstr:
        env["WINEDEBUG"] = "-all,warn+debugstr"
    return qv.run([PROBE] + args, timeout=timeout, env=env)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def decrypted_lines(path):
    text = qzcrypto_format.decrypt_log_text(path)
    lines = text.split("\n")
    assert lines[-1] == "", "the log ends inside a record: %r" % lines[-1]
    return lines[:-1]


class FormatTest(unittest.TestCase):

    def test_known_answer_table_is_the_independent_ones(self):
        self.assertEqual(qzcrypto_format.vector_rows(),
                         qzcrypto_format.read_vectors())

    def test_rounds(self):
        # (hi, lo) -> (lo, hi ^ lo ^ key): 0x24 with key 0x0a.
        self.assertEqual(0x4c, qzcrypto_format.encrypt_round(0x24, 0x0a))
        self.assertEqual(0x24, qzcrypto_format.decrypt_round(0x4c, 0x0a))
        for k in range(256):
            for b in range(256):
                self.assertEqual(b, qzcrypto_format.decrypt_byte(
                    qzcrypto_format.encrypt_byte(b, k), k))

    def test_constants_come_from_the_product_source(self):
        table, key, _ = qzcrypto_format.constants()
        self.assertEqual(256, len(table))
        self.assertEqual(256, len(key))


class ProductTest(unittest.TestCase):

    def test_bad_headers_give_minus_three_and_a_debugger_line(self):
        folder = fresh_folder("headers")
        cases = [("short", b"KXQZ\x00", "file len < header"),
                 ("magic", b"KXQY\x00\x01payload", "magic not match")]
        for name, content, message in cases:
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(content)
            result = probe(["open-headed", windows_path(path)],
                           debugstr=True)
            self.assertEqual(0, result.returncode, result)
            self.assertEqual(b"result -3", result.stdout.strip())
            err = result.stderr.decode("latin-1")
            self.assertIn("[E] [QzCryptor] %s" % message, err)

    def test_records_of_two_processes_decrypt_one_by_one(self):
        folder = fresh_folder("two_processes")
        log = os.path.join(folder, "shared.elog")
        count = 400
        writers = [qv.start([PROBE, "log", windows_path(log), tag,
                             str(count)], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
                   for tag in ("p1", "p2")]
        try:
            for writer in writers:
                self.assertEqual(0, writer.wait(timeout=240))
        finally:
            for writer in writers:
                qv.kill_and_wait(writer)

        with open(log, "rb") as f:
            raw = f.read()
        self.assertNotIn(b"record p1", raw)  # nothing written in plain
        seen = set()
        for line in decrypted_lines(log):
            match = RECORD.match(line)
            self.assertIsNotNone(match, line)
            seen.add(match.groups())
        self.assertEqual(2 * 2 * count, len(seen))

    def test_a_record_logged_while_the_process_exits_is_readable(self):
        folder = fresh_folder("at_exit")
        log = os.path.join(folder, "exit.elog")
        result = probe(["log-at-exit", windows_path(log)])
        self.assertEqual(0, result.returncode, result)
        lines = decrypted_lines(log)
        self.assertEqual(2, len(lines), lines)
        self.assertRegex(lines[0], PREFIX + "logged before the exit$")
        self.assertRegex(lines[1], PREFIX + "logged while the process exits$")

    def test_files_encrypt_whole_and_one_file_is_not_its_own_target(self):
        folder = fresh_folder("files")
        plain = os.urandom(5000) + b"BI records\n"
        source = os.path.join(folder, "bilog")
        with open(source, "wb") as f:
            f.write(plain)
        encrypted = os.path.join(folder, "bilog.enc")
        back = os.path.join(folder, "bilog.back")
        for command, src, dst in (("encrypt-file", source, encrypted),
                                  ("decrypt-file", encrypted, back)):
            result = probe([command, windows_path(src), windows_path(dst)])
            self.assertEqual(b"result 0", result.stdout.strip(), result)
        self.assertEqual(qzcrypto_format.encrypt(plain), read(encrypted))
        self.assertEqual(plain, read(back))

        # One file under its own name, another spelling and a second name.
        alias = os.path.join(folder, "alias")
        os.link(source, alias)
        for command in ("encrypt-file", "decrypt-file"):
            for dst in (source, os.path.join(folder, "BILOG"), alias):
                with self.subTest(command=command, dst=dst):
                    result = probe([command, windows_path(source),
                                    windows_path(dst)], debugstr=True)
                    self.assertEqual(b"result -2", result.stdout.strip())
                    self.assertIn("[E] [QzCryptor] source and destination "
                                  "are one file",
                                  result.stderr.decode("latin-1"))
                    self.assertEqual(plain, read(source))


if __name__ == "__main__":
    qv.main()
