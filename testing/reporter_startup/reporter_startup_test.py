#!/usr/bin/env python3
"""The reporter's start-up under Wine: old dumps purged, the BI log restored,
the log file cut back, the ready event signalled, and a second copy that
touches nothing.

The tests run in a Wine prefix of their own: the reporter's data folder (in
the prefix's local application data) and its crash pipe are theirs alone.
"""
import os
import shutil
import subprocess
import time
import unittest

import qv_test_support as qv
from qzcrypto_tools import qzcrypto_format
from qv_test_support import OWN_PREFIX as PREFIX, WORK_DIR

REPORTER = qv.program("quillavera_crash_reporter.exe")
PROBE = qv.program("startup_probe.exe")
CLIENT = qv.program("crash_test_client.exe")
PIPE = "\\\\.\\pipe\\QuillaveraCrashServices\\Server"

DAY = 24 * 3600
LOG_LIMIT = 10485760
LOG_TAIL = 5242880


def probe(*args, timeout=60):
    done = qv.run([PROBE] + list(args), timeout=timeout)
    output = done.stdout.decode().strip()
    # Every mode prints a word; none means the probe did not run through.
    assert output, "startup_probe %s printed nothing: exit code %d, %r" % (
        " ".join(args), done.returncode, done.stderr.decode(errors="replace"))
    return output


def unix_path(windows_path):
    assert windows_path[1:3] == ":\\", windows_path
    drive = os.path.join(PREFIX, "drive_" + windows_path[0].lower())
    return os.path.join(drive, *windows_path[3:].split("\\"))


class ReporterStartupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        qv.start_own_prefix()
        cls.data = unix_path(probe("data-folder"))

    @classmethod
    def tearDownClass(cls):
        qv.stop_own_prefix()

    def setUp(self):
        shutil.rmtree(os.path.join(self.data, ".."), ignore_errors=True)
        self.dumps = os.path.join(self.data, "dumps")
        self.log_dir = os.path.join(self.data, "Log")
        os.makedirs(self.dumps)
        os.makedirs(self.log_dir)
        self.bi_log = os.path.join(self.log_dir, "bilog.elog")
        self.bi_backup = self.bi_log + ".backup"
        self.log = os.path.join(self.data, "quillavera.elog")
        self.reporters = []

    def tearDown(self):
        for reporter in self.reporters:
            qv.kill_and_wait(reporter)
        self.assertEqual("gone", probe("pipe-gone", "20000"))

    def start_reporter(self):
        reporter = qv.start([REPORTER], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
        self.reporters.append(reporter)
        return reporter

    def start_and_wait_until_ready(self):
        """Starts the reporter as the client application does: the ready
        event first, then the reporter, then the wait for the event."""
        waiter = qv.start([PROBE, "wait-event", "30000"],
                          stdout=subprocess.PIPE)
        self.assertEqual(b"created", waiter.stdout.readline().strip())
        self.start_reporter()
        self.assertEqual(b"signalled", waiter.stdout.readline().strip())
        waiter.communicate(timeout=60)

    def write(self, path, data):
        with open(path, "wb") as f:
            f.write(data)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def age(self, name, seconds):
        path = os.path.join(self.dumps, name)
        self.write(path, b"MDMP")
        when = time.time() - seconds
        os.utime(path, (when, when))

    def test_old_dumps_are_purged(self):
        self.age("week.dmp", 7 * DAY + 60)
        self.age("six_days.dmp", 6 * DAY + 23 * 3600)
        self.age("x-dravenko.dmp", 5 * DAY + 60)
        self.start_and_wait_until_ready()
        self.assertEqual(["six_days.dmp"], sorted(os.listdir(self.dumps)))

    def test_bi_backup_joins_the_bi_log(self):
        records = bytes(range(256)) * 3
        backup = b"\x00\xff" + bytes(range(255, -1, -1))
        self.write(self.bi_log, records)
        self.write(self.bi_backup, backup)
        self.start_and_wait_until_ready()
        self.assertEqual(records + backup, self.read(self.bi_log))
        self.assertFalse(os.path.exists(self.bi_backup))

    def test_bi_backup_alone_becomes_the_bi_log(self):
        self.write(self.bi_backup, b"backup records")
        self.start_and_wait_until_ready()
        self.assertEqual(b"backup records", self.read(self.bi_log))
        self.assertFalse(os.path.exists(self.bi_backup))

    def test_oversized_log_restarts_with_its_tail(self):
        original = os.path.join(WORK_DIR, "original.elog")
        with open(original, "wb") as f:
            for i in range(LOG_LIMIT // 64):
                f.write(b"%063d\n" % i)
            f.write(b"!")
        self.assertEqual(LOG_LIMIT + 1, os.path.getsize(original))
        shutil.copy(original, self.log)
        tail = subprocess.run(["tail", "-c", str(LOG_TAIL), original],
                              capture_output=True, check=True).stdout
        os.remove(original)

        self.start_and_wait_until_ready()
        rotated = self.read(self.log)
        # The start record follows the kept tail.
        self.assertEqual(tail, rotated[:LOG_TAIL])
        self.assertGreater(len(rotated), LOG_TAIL)
        self.assertFalse(
            os.path.exists(os.path.join(self.data, "quillavera.old.elog")))

    def test_log_at_the_limit_is_kept_whole(self):
        content = b"k" * LOG_LIMIT
        self.write(self.log, content)
        self.start_and_wait_until_ready()
        self.assertEqual(content, self.read(self.log)[:LOG_LIMIT])

    def test_started_alone_it_comes_up_without_a_waiting_client(self):
        # No client created the ready event: the reporter must not wait for
        # one. (That it then leaves the event unsignalled is checked where a
        # handle can be held on it: startup_housekeeping_unittest.)
        reporter = self.start_reporter()
        # Records are written encrypted, one by one.
        qv.wait_until(lambda: os.path.exists(self.log) and
                      b"Quillavera crash server start" in
                      qzcrypto_format.decrypt_file(self.log),
                      60, "start record in the log")
        self.assertEqual("pipe", probe("wait-pipe", "20000"))
        self.assertIsNone(reporter.poll())

    def test_second_copy_touches_nothing(self):
        self.start_and_wait_until_ready()
        log_size = os.path.getsize(self.log)
        self.write(self.bi_backup, b"backup of the running copy")
        self.age("old.dmp", 30 * DAY)

        # A client waiting for the ready event is woken by the second copy
        # too.
        waiter = qv.start([PROBE, "wait-event", "30000"],
                          stdout=subprocess.PIPE)
        self.assertEqual(b"created", waiter.stdout.readline().strip())
        second = self.start_reporter()
        _, errors = second.communicate(timeout=60)
        self.assertEqual(0, second.returncode)
        self.assertEqual(b"", errors)
        self.assertEqual(b"signalled", waiter.communicate(timeout=60)[0].strip())
        self.assertEqual(b"backup of the running copy",
                         self.read(self.bi_backup))
        self.assertFalse(os.path.exists(self.bi_log))
        self.assertTrue(os.path.exists(os.path.join(self.dumps, "old.dmp")))
        self.assertEqual(log_size, os.path.getsize(self.log))

    def test_client_gone_during_start_up_waits_for_the_housekeeping(self):
        # A copy of the program of its own, so that its default log beside
        # it (where records before the log set-up would go) is its own.
        private_bin = os.path.join(WORK_DIR, "private_bin")
        shutil.rmtree(private_bin, ignore_errors=True)
        os.makedirs(private_bin)
        reporter_copy = shutil.copy(REPORTER, private_bin)
        records = b"old records" * 1000
        self.write(self.bi_log, records)
        # Big enough that appending it takes a while.
        chunk = os.urandom(1 << 20)
        with open(self.bi_backup, "wb") as f:
            for _ in range(256):
                f.write(chunk)
        backup_size = os.path.getsize(self.bi_backup)

        # The client waits for the pipe, registers the moment it appears and
        # leaves, all while the reporter is starting up.
        client = qv.start([CLIENT, PIPE, "wait-and-register",
                           "--wait-ms=60000"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        reporter = qv.start([reporter_copy], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
        self.reporters.append(reporter)
        client_out, _ = client.communicate(timeout=120)
        self.assertIn(b'"registered"', client_out)
        try:
            reporter.communicate(timeout=300)
        except subprocess.TimeoutExpired as waited:
            self.fail("the reporter (%s) has not ended within 300 s; its "
                      "errors %r; the end of its log %r" % (
                          "still running" if reporter.poll() is None
                          else "ended, a pipe still held", waited.stderr,
                          qzcrypto_format.decrypt_log_text(self.log)[-3000:]))
        self.assertEqual(0, reporter.returncode)

        self.assertFalse(os.path.exists(self.bi_backup))
        self.assertEqual(len(records) + backup_size,
                         os.path.getsize(self.bi_log))
        with open(self.bi_log, "rb") as f:
            self.assertEqual(records, f.read(len(records)))
            self.assertEqual(chunk, f.read(len(chunk)))
        self.assertFalse(os.path.exists(os.path.join(private_bin, "debug.log")))
        # The client's records went to the log that was set up.
        self.assertGreater(os.path.getsize(self.log), 0)
        os.remove(self.bi_log)
        shutil.rmtree(private_bin, ignore_errors=True)


if __name__ == "__main__":
    qv.main()
