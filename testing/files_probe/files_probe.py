"""Talks to files_probe.exe under Wine: one tab-separated request per line,
one answer block per request."""

import subprocess

import qv_test_support as qv


class Probe:
    def __init__(self, env=None):
        self._process = qv.start(
            [qv.program("files_probe.exe")], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, env=env)

    def ask(self, *fields):
        line = "\t".join(str(f) for f in fields) + "\n"
        self._process.stdin.write(line.encode("utf-8"))
        self._process.stdin.flush()
        lines = []
        while True:
            raw = self._process.stdout.readline()
            if not raw:
                raise RuntimeError("probe ended while answering %r" % (fields,))
            text = raw.decode("utf-8").rstrip("\r\n")
            if text == ".":
                return "\n".join(lines)
            lines.append(text)

    def close(self):
        self._process.stdin.close()
        try:
            self._process.wait(timeout=60)
        finally:
            qv.kill_and_wait(self._process)

    def __enter__(self):
        return self

    def __exit__(self, *unused):
        self.close()


class Checks:
    """Collects failures so that one run reports all of them."""

    def __init__(self):
        self.failures = []

    def equal(self, expected, actual, what):
        if expected != actual:
            self.failures.append("%s: expected %r, got %r" % (what, expected, actual))

    def true(self, condition, what):
        self.equal(True, bool(condition), what)

    def finish(self):
        for failure in self.failures:
            print("FAIL " + failure)
        return 1 if self.failures else 0
