"""Runs the crash server host and test clients under Wine for the crash
capture tests, and reads what they print (one JSON object per line)."""

import json
import os
import queue
import random
import re
import select
import subprocess
import tempfile
import threading
import time

from qv_test_support import WINE_RUN, WORK_DIR, program, windows_path

GUID_NAME = r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"


def unique_pipe_name(label):
    # Tests share one Wine prefix, and so one pipe namespace.
    return "\\\\.\\pipe\\QuillaveraCrashTest\\%s-%d-%d" % (
        label, os.getpid(), random.randrange(1 << 30))


class _PipeReader:
    """Reads one of a program's output pipes line by line on a thread of its
    own. The pipe's end is read without blocking, so the reader knows when it
    has taken everything the pipe held: once the program has ended, what it
    wrote has been read (drained_since), even while a child of the program
    (the reporter the client application starts) keeps the pipe open."""

    def __init__(self, stream, on_line):
        self._stream = stream
        self._fd = stream.fileno()
        os.set_blocking(self._fd, False)
        self._on_line = on_line
        self._changed = threading.Condition()
        self._drained_at = -1.0
        self._ended = False
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        pending = b""
        try:
            while True:
                select.select([self._fd], [], [], 0.05)
                while True:
                    # Nothing read from here means nothing was in the pipe
                    # at this moment.
                    before = time.monotonic()
                    try:
                        chunk = os.read(self._fd, 65536)
                    except BlockingIOError:
                        break
                    if not chunk:
                        if pending:
                            self._on_line(pending)
                        return
                    *lines, pending = (pending + chunk).split(b"\n")
                    for line in lines:
                        self._on_line(line)
                with self._changed:
                    self._drained_at = before
                    self._changed.notify_all()
        finally:
            self._stream.close()
            with self._changed:
                self._ended = True
                self._changed.notify_all()

    def drained_since(self, moment, timeout):
        """Waits until all the pipe held at |moment| is read, or its end."""
        with self._changed:
            return self._changed.wait_for(
                lambda: self._ended or self._drained_at >= moment, timeout)


class Program:
    """One Windows program with its output lines read as they come."""

    def __init__(self, exe, args):
        self.process = subprocess.Popen(
            [WINE_RUN, program(exe)] + list(args), stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._lines = queue.Queue()
        self.seen = []
        self.stderr = []
        self._stdout_reader = _PipeReader(self.process.stdout, self._on_stdout)
        self._stderr_reader = _PipeReader(self.process.stderr, self._on_stderr)
        self._stdout_ended = threading.Thread(target=self._mark_end,
                                              daemon=True)
        self._stdout_ended.start()

    def _on_stdout(self, raw):
        text = raw.decode("utf-8", "replace").strip()
        if text.startswith("{"):
            self._lines.put(json.loads(text))

    def _on_stderr(self, raw):
        self.stderr.append(raw.decode("utf-8", "replace").rstrip())

    def _mark_end(self):
        self._stdout_reader.drained_since(float("inf"), None)
        self._lines.put(None)

    def _read_all_written(self):
        """Once the program has ended: waits until its readers have taken
        all it wrote (a pipe its child still holds stays with its reader)."""
        moment = time.monotonic()
        for reader in (self._stdout_reader, self._stderr_reader):
            reader.drained_since(moment, 30)

    def expect(self, event, timeout=60, **fields):
        """The next unconsumed line of this event whose fields match."""
        deadline = time.monotonic() + timeout
        for line in self.seen:
            if not line.get("_taken") and _matches(line, event, fields):
                line["_taken"] = True
                return line
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no %s %r within %ss; saw %r; stderr %r" % (
                    event, fields, timeout, self.seen, self.stderr))
            try:
                line = self._lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise AssertionError(
                    "ended without %s %r; saw %r; exit code %r; stderr %r" % (
                        event, fields, self.seen, self._exit_code(),
                        self.stderr))
            self.seen.append(line)
            if _matches(line, event, fields):
                line["_taken"] = True
                return line

    def _exit_code(self):
        """The program's exit code once its output has ended, its error
        output read to the end; None if it still runs after a few seconds."""
        try:
            code = self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            return None
        self._read_all_written()
        return code

    def events(self, event, **fields):
        """Every line of this event seen so far, taken or not; lines the
        program has printed and the reader has queued count too. A check that
        an event is absent holds only for lines printed before one the test
        has waited for."""
        self._drain()
        return [line for line in self.seen if _matches(line, event, fields)]

    def _drain(self):
        while True:
            try:
                line = self._lines.get_nowait()
            except queue.Empty:
                return
            if line is None:
                # The end stays visible to a later expect().
                self._lines.put(None)
                return
            self.seen.append(line)

    def wait(self, timeout=120):
        code = self.process.wait(timeout=timeout)
        self.process.stdin.close()
        self._read_all_written()
        self._drain()
        return code

    def kill(self):
        """Kills the program if it still runs and waits for it."""
        if self.process.poll() is None:
            self.process.kill()
        return self.wait()

    def stderr_lines(self, text):
        return [line for line in self.stderr if text in line]


def _matches(line, event, fields):
    return line.get("event") == event and all(
        line.get(key) == value for key, value in fields.items())


class ServerHost(Program):
    def __init__(self, label, *flags, pipe_name=None):
        self.pipe_name = pipe_name or unique_pipe_name(label)
        self.dump_dir = tempfile.mkdtemp(prefix="dumps-%s-" % label, dir=WORK_DIR)
        super().__init__("crash_server_host.exe",
                         [self.pipe_name, windows_path(self.dump_dir)] + list(flags))

    def start(self):
        self.pid = self.expect("started", timeout=60)["pid"]
        return self

    def command(self, text):
        self.process.stdin.write(text.encode() + b"\n")
        self.process.stdin.flush()

    def release(self, pid):
        """Lets the held dump hook of client |pid| return."""
        self.command("release %d" % pid)

    def stop(self):
        self.command("stop")
        self.expect("stopped", timeout=60)
        return self.wait()

    def dump_files(self):
        return sorted(os.listdir(self.dump_dir))


def run_client(host, mode, *args, timeout=400):
    """Runs a test client to its end: (exit code, client)."""
    client = Program("crash_test_client.exe", [host.pipe_name, mode] + list(args))
    code = client.wait(timeout=timeout)
    return code, client


def start_client(host, mode, *args):
    return Program("crash_test_client.exe", [host.pipe_name, mode] + list(args))


def winedbg_opening(windows_dump_path):
    """What winedbg says when it opens a dump: a second opinion on the file."""
    result = subprocess.run([WINE_RUN, "winedbg", windows_dump_path],
                            input=b"quit\n", capture_output=True, timeout=120)
    return result.stdout.decode("utf-8", "replace")


def dump_path_pattern(host):
    return re.compile(re.escape(windows_path(host.dump_dir)) + r"\\" + GUID_NAME + r"\.dmp$")
