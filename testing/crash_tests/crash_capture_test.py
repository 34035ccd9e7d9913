"""Whole-program tests of crash capture: a real server host and real client
processes under Wine, with the dumps read back from disk.

CTest runs each case as a test of its own (see CMakeLists.txt); by hand,
from build/: ctest -R crash_capture.full_memory -V
"""

import os
import time
import unittest


from crash_harness import (GUID_NAME, ServerHost, dump_path_pattern,
                           run_client, start_client, winedbg_opening)
import minidump
import qv_test_support as qv

# A Wine prefix of its own, with a server of its own: dump writing keeps
# a prefix's server busy.
setUpModule = qv.start_own_prefix
tearDownModule = qv.stop_own_prefix

EXCEPTION_ACCESS_VIOLATION = 0xC0000005
WAIT_OBJECT_0 = 0
WAIT_ABANDONED_1 = 0x81  # the second object (the server-alive mutex), abandoned
DUMP_INFO_STREAM = 0x47670001
ASSERTION_STREAM = 0x47670002
# Access given to the client: dump request, dump generated, server alive.
EXPECTED_ACCESS = [0x2, 0x100002, 0x100000]
EXPECTED_ENTRIES = {
    "process_type": "renderer",
    "custom_info": "crash test client",
    "full_width": "w" * 64,  # fills its field: the reader stops at 64 units
}
# A dump takes some 20 s on a machine busy with the suite, and has been
# seen to take over a minute when other builds load it too: generous bounds,
# which only a hang reaches.
LONG_WAIT = "--wait-ms=300000"
DUMP_TIMEOUT = 300


def registered(client):
    line = client.expect("registered")
    assert line["ok"], line
    return line


class HostTestCase(unittest.TestCase):
    def start_host(self, label, *flags):
        host = ServerHost(label, *flags).start()
        self.addCleanup(host.kill)
        return host

    def start_client(self, host, mode, *args):
        client = start_client(host, mode, *args)
        self.addCleanup(client.kill)
        return client

    def assert_normal_client_registers(self, host):
        code, client = run_client(host, "register")
        self.assertEqual(code, 0, client.seen)
        pid = registered(client)["pid"]
        host.expect("connect", pid=pid)
        host.expect("exit", pid=pid)


class HappyPathTest(HostTestCase):
    def test_crashing_client_gets_its_dump_after_the_hook_returns(self):
        host = self.start_host("happy", "--hold-dump-hooks")
        client = self.start_client(host, "crash", LONG_WAIT)
        reply = registered(client)
        self.assertEqual(reply["server_pid"], host.pid)
        self.assertTrue(all(reply["handles"]), reply)
        self.assertEqual(reply["access"], EXPECTED_ACCESS)
        connect = host.expect("connect", pid=reply["pid"])
        self.assertNotEqual(connect["crash_id"], 0)

        host.expect("dump_begin", pid=reply["pid"], timeout=DUMP_TIMEOUT)
        host.release(reply["pid"])
        crash = client.expect("crash_dump", timeout=DUMP_TIMEOUT)
        self.assertTrue(crash["ok"], crash)
        self.assertEqual(crash["wait_result"], WAIT_OBJECT_0)
        self.assertEqual(client.wait(), 0, (client.seen, client.stderr))

        dump = host.expect("dump", pid=reply["pid"])
        self.assertRegex(dump["path"], dump_path_pattern(host))
        # The client is released only once the hook has returned.
        self.assertGreaterEqual(crash["woke_ms"], dump["hook_end_ms"])

        entries = dict(dump["custom_info"])
        ptime = int(entries.pop("ptime"))
        self.assertEqual(entries, EXPECTED_ENTRIES)
        self.assertLessEqual(abs(ptime - crash["age_ms"]), 2000)
        self.assertEqual(list(dump["custom_info"])[-1], "ptime")

        path = qv.host_path(dump["path"])
        self.assertEqual(host.dump_files(), [os.path.basename(path)])
        md = minidump.Minidump.read(path)
        exception = md.exception()
        self.assertEqual(exception["thread_id"], crash["thread_id"])
        self.assertEqual(exception["code"], EXCEPTION_ACCESS_VIOLATION)
        self.assertIn(crash["thread_id"], md.thread_ids())
        self.assertEqual(md.stream(DUMP_INFO_STREAM), bytes(12))
        self.assertEqual(md.stream(ASSERTION_STREAM), bytes.fromhex(crash["assertion_hex"]))
        self.assertFalse(md.flags & minidump.WITH_FULL_MEMORY)
        self.assertIsNone(md.stream(minidump.HANDLE_OPERATION_LIST_STREAM))
        opening = winedbg_opening(dump["path"])
        self.assertIn("starting on minidump on pid %04x" % reply["pid"], opening)
        self.assertIn("crash_test_client.exe was running", opening)

        host.expect("exit", pid=reply["pid"])
        self.assertFalse(host.stderr_lines(":ERROR:"), host.stderr)

    def test_full_memory_dump_writes_a_twin_from_the_same_guid(self):
        host = self.start_host("full")
        code, client = run_client(host, "crash", "--full", LONG_WAIT)
        self.assertEqual(code, 0, (client.seen, client.stderr))
        self.assertTrue(client.expect("crash_dump")["ok"])
        dump = host.expect("dump")
        path = qv.host_path(dump["path"])
        guid = os.path.basename(path)[:-len(".dmp")]
        self.assertRegex(guid, "^" + GUID_NAME + "$")
        self.assertEqual(host.dump_files(), [guid + "-full.dmp", guid + ".dmp"])

        normal = minidump.Minidump.read(path)
        self.assertFalse(normal.flags & minidump.WITH_FULL_MEMORY)
        self.assertFalse(normal.flags & minidump.WITH_HANDLE_DATA)
        self.assertIsNone(normal.memory64_ranges())
        self.assertTrue(normal.memory_ranges())

        full = minidump.Minidump.read(path[:-len(".dmp")] + "-full.dmp")
        self.assertTrue(full.flags & minidump.WITH_FULL_MEMORY)
        self.assertTrue(full.flags & minidump.WITH_HANDLE_DATA)
        self.assertTrue(full.memory64_ranges())
        self.assertEqual(full.exception()["code"], EXCEPTION_ACCESS_VIOLATION)
        self.assertEqual(full.stream(ASSERTION_STREAM), normal.stream(ASSERTION_STREAM))

    def test_second_server_on_the_same_pipe_fails_to_start(self):
        first = self.start_host("only")
        second = ServerHost("only", pipe_name=first.pipe_name)
        self.assertEqual(second.wait(timeout=60), 1)
        self.assertTrue(second.events("start_failed"))
        self.assert_normal_client_registers(first)


# Each row is a client that breaks the protocol and gets no reply.
NO_REPLY_ROWS = [
    ("short-write", 40),
    ("long-message", 100),
    ("tag2-first", 80),
    ("tag3-first", 80),
    ("id-zero", 80),
    ("zero-thread-id-address", 80),
]


class BadClientTest(HostTestCase):
    def test_bad_messages_get_no_reply_and_the_server_keeps_serving(self):
        host = self.start_host("bad")
        for mode, size in NO_REPLY_ROWS:
            with self.subTest(mode=mode):
                errors_before = len(host.stderr_lines("Bad crash pipe message"))
                code, client = run_client(host, mode)
                self.assertEqual(code, 0, (client.seen, client.stderr))
                sent = client.expect("sent")
                self.assertEqual(sent["bytes"], size)
                self.assertEqual(sent["reply_bytes"], 0)
                self.assertNotEqual(sent["read_error"], 0)
                self.assert_normal_client_registers(host)
                self.assertGreater(len(host.stderr_lines("Bad crash pipe message")),
                                   errors_before)
        self.assertFalse(host.events("dump"))
        self.assertEqual(host.dump_files(), [])

    def assert_connected_then_exited(self, host, pid):
        """Once the client has ended and a later one has been served."""
        events = [line["event"] for line in host.seen
                  if line.get("pid") == pid and line["event"] in ("connect", "exit")]
        self.assertEqual(["connect", "exit"], events, host.seen)

    def test_client_leaving_without_ack_is_reported_connected_and_exited(self):
        # It read its reply and so is registered, gone or not by the time
        # the server has given up on its acknowledgement (see also
        # pipe_probe_slow_ack_test for one that stays).
        host = self.start_host("noack")
        code, client = run_client(host, "no-ack")
        self.assertEqual(code, 0)
        reply = client.expect("raw_reply")
        self.assertTrue(reply["ok"])
        self.assertEqual(reply["tag"], 2)
        self.assert_normal_client_registers(host)
        self.assert_connected_then_exited(host, reply["pid"])
        self.assertTrue(host.stderr_lines("did not acknowledge its registration"))

    def test_clients_gone_before_the_reply_are_forgotten(self):
        host = self.start_host("gone")
        pids = []
        for _ in range(5):
            code, client = run_client(host, "exit-after-request")
            self.assertEqual(code, 0)
            pids.append(client.expect("requested")["pid"])
            self.assert_normal_client_registers(host)
        for pid in pids:
            self.assertFalse(host.events("connect", pid=pid))
            self.assertFalse(host.events("exit", pid=pid))

    def test_a_stalled_client_does_not_keep_the_pipe_from_the_next(self):
        host = self.start_host("stalled")
        for mode, first_line, registered in (
                ("stall-silent", "opened", False),
                ("stall-before-ack", "raw_reply", True)):
            with self.subTest(mode=mode):
                stalled = self.start_client(host, mode, LONG_WAIT)
                pid = stalled.expect(first_line)["pid"]
                # The client behind it is served within its own pipe wait.
                # One that stalls before its message is not registered; one
                # that holds its reply is, as the connection is cut.
                self.assert_normal_client_registers(host)
                stalled.kill()
                if registered:
                    host.expect("connect", pid=pid)
                    host.expect("exit", pid=pid)
                else:
                    self.assertFalse(host.events("connect", pid=pid))
        self.assertEqual(len(host.stderr_lines("stalled for")), 2, host.stderr)

    def test_acknowledgement_is_taken_whatever_its_tag_or_length(self):
        # Any message is one: an odd tag, or 4 bytes where 80 are due.
        for mode in ("odd-ack", "short-ack"):
            with self.subTest(mode=mode):
                host = self.start_host(mode.replace("-", ""))
                code, client = run_client(host, mode)
                self.assertEqual(code, 0)
                reply = client.expect("raw_reply")
                self.assertTrue(reply["ok"])
                host.expect("connect", pid=reply["pid"])
                host.expect("exit", pid=reply["pid"])

    def test_client_gone_before_its_acknowledgement_is_read(self):
        # The client writes its acknowledgement and exits while the pipe
        # machine is held. It read its reply, so it is registered: reported
        # connected, then gone (never connected with its exit unreported),
        # and the next client is served.
        host = self.start_host("ackexit", "--hold-pipe-on-request")
        client = self.start_client(host, "ack-then-exit-while-held", LONG_WAIT)
        pid = client.expect("raw_reply")["pid"]
        host.expect("pipe_held")
        self.assertEqual(client.wait(), 0, (client.seen, client.stderr))
        host.command("release-pipe")
        host.expect("connect", pid=pid)
        host.expect("exit", pid=pid)
        self.assert_normal_client_registers(host)
        self.assert_connected_then_exited(host, pid)

    def test_client_closing_before_the_server_listens(self):
        host = self.start_host("early", "--early-client")
        self.assertTrue(host.expect("early_client")["opened"])
        self.assert_normal_client_registers(host)
        self.assertTrue(host.stderr_lines("left the crash pipe before it was heard"),
                        host.stderr)

    def test_too_many_custom_info_entries_still_dump_without_them(self):
        host = self.start_host("entries")
        code, client = run_client(host, "crash-4097-entries", LONG_WAIT)
        self.assertEqual(code, 0, (client.seen, client.stderr))
        self.assertTrue(client.expect("crash_dump")["ok"])
        dump = host.expect("dump")
        self.assertEqual(dump["custom_info"], {})
        self.assertTrue(os.path.exists(qv.host_path(dump["path"])))
        self.assertTrue(host.stderr_lines("Cannot read the custom information"))
        self.assert_normal_client_registers(host)

    def test_unreadable_assertion_fails_the_dump_and_releases_the_client(self):
        host = self.start_host("assertion")
        code, client = run_client(host, "bad-assertion", LONG_WAIT)
        self.assertEqual(code, 0, (client.seen, client.stderr))
        self.assertEqual(client.expect("bad_dump")["wait_result"], WAIT_OBJECT_0)
        self.assertFalse(host.events("dump"))
        self.assertEqual(host.dump_files(), [])  # no empty file left behind
        self.assertTrue(host.stderr_lines("No dump was written"))
        self.assert_normal_client_registers(host)

    def test_unreadable_exception_pointers_never_stop_the_server(self):
        self.check_bad_dump_request_never_stops_the_server(
            "bad-exception-pointers")

    def test_unreadable_exception_record_never_stops_the_server(self):
        self.check_bad_dump_request_never_stops_the_server(
            "bad-exception-record")

    def check_bad_dump_request_never_stops_the_server(self, mode):
        # Whether a dump comes of it is the debug-help library's call; the
        # client is released either way and the next one is served.
        host = self.start_host("pointers")
        code, client = run_client(host, mode, LONG_WAIT)
        self.assertEqual(code, 0, (client.seen, client.stderr))
        self.assertEqual(client.expect("bad_dump")["wait_result"],
                         WAIT_OBJECT_0)
        self.assert_normal_client_registers(host)
        self.assertIsNone(host.process.poll())

    def test_upload_request_reaches_the_hook_without_reply(self):
        host = self.start_host("upload")
        code, client = run_client(host, "upload", "--crash-id=3000000001")
        self.assertEqual(code, 0)
        self.assertTrue(client.expect("upload_sent")["ok"])
        self.assertEqual(client.expect("sent")["reply_bytes"], 0)
        host.expect("upload", crash_id=3000000001)
        host.expect("upload", crash_id=3000000002)
        self.assert_normal_client_registers(host)


class ConcurrentClientsTest(HostTestCase):
    def test_a_long_dump_hook_holds_up_neither_registration_nor_other_dumps(self):
        # The application's whole crash handling runs inside the dump hook:
        # the first client's hook is held until the second client has
        # registered, crashed and been dumped and released.
        host = self.start_host("concurrent", "--hold-dump-hooks")
        first = self.start_client(host, "crash", LONG_WAIT)
        first_pid = registered(first)["pid"]
        host.expect("dump_begin", pid=first_pid, timeout=DUMP_TIMEOUT)

        second = self.start_client(host, "crash", LONG_WAIT)
        second_pid = registered(second)["pid"]
        host.expect("connect", pid=second_pid)
        host.expect("dump_begin", pid=second_pid, timeout=DUMP_TIMEOUT)
        host.release(second_pid)
        self.assertTrue(second.expect("crash_dump", timeout=DUMP_TIMEOUT)["ok"])
        # The first hook still runs: its "dump" line comes at its end.
        self.assertFalse(host.events("dump", pid=first_pid))
        host.release(first_pid)
        self.assertTrue(first.expect("crash_dump", timeout=DUMP_TIMEOUT)["ok"])
        host.expect("dump", pid=first_pid)

    def test_client_killed_in_its_dump_hook_is_reported_after_the_hook(self):
        host = self.start_host("killed-client", "--hold-dump-hooks")
        client = self.start_client(host, "crash", LONG_WAIT)
        pid = registered(client)["pid"]
        host.expect("dump_begin", pid=pid, timeout=DUMP_TIMEOUT)
        client.kill()
        # Its exit waits for the running hook; the next client is served
        # meanwhile.
        self.assert_normal_client_registers(host)
        self.assertFalse(host.events("exit", pid=pid))
        host.release(pid)
        host.expect("dump", pid=pid)
        host.expect("exit", pid=pid)
        dump_line = host.seen.index(host.events("dump", pid=pid)[0])
        exit_line = host.seen.index(host.events("exit", pid=pid)[0])
        self.assertLess(dump_line, exit_line)
        self.assert_normal_client_registers(host)


class ServerGoneTest(HostTestCase):
    def test_killed_server_wakes_a_waiting_client_at_once(self):
        host = self.start_host("killed", "--hold-dump-hooks")
        client = self.start_client(host, "crash", LONG_WAIT)
        pid = registered(client)["pid"]
        host.expect("dump_begin", pid=pid, timeout=DUMP_TIMEOUT)
        killed_at = time.monotonic()
        host.kill()
        crash = client.expect("crash_dump", timeout=60)
        woke_after = time.monotonic() - killed_at
        self.assertFalse(crash["ok"])
        self.assertEqual(crash["wait_result"], WAIT_ABANDONED_1)
        self.assertLess(woke_after, 30)  # far below the client's own wait
        self.assertEqual(client.wait(), 1)

    def test_server_destroyed_during_a_dump_lets_the_hook_finish(self):
        host = self.start_host("destroy-dump", "--hold-dump-hooks")
        client = self.start_client(host, "crash", LONG_WAIT)
        pid = registered(client)["pid"]
        host.expect("dump_begin", pid=pid, timeout=DUMP_TIMEOUT)
        host.command("stop")
        host.expect("stopping")
        host.release(pid)
        host.expect("dump", pid=pid)
        host.expect("stopped")
        self.assertEqual(host.wait(), 0)
        # The hook ended before the server did, and released the client
        # with its dump; a client still registered is not reported gone.
        lines = [line["event"] for line in host.seen]
        self.assertLess(lines.index("dump"), lines.index("stopped"))
        crash = client.expect("crash_dump", timeout=60)
        self.assertEqual(crash["wait_result"], WAIT_OBJECT_0)
        self.assertFalse(host.events("exit", pid=pid))

    def test_server_destroyed_during_a_registration_stops_at_once(self):
        host = self.start_host("destroy-registration")
        stalled = self.start_client(host, "stall-before-ack", LONG_WAIT)
        pid = stalled.expect("raw_reply")["pid"]
        self.assertEqual(host.stop(), 0)
        # Destroyed while the acknowledgement was awaited (or just after the
        # server gave up on it and reported the client): a client still
        # registered is not reported gone.
        self.assertLessEqual(len(host.events("connect", pid=pid)), 1)
        self.assertFalse(host.events("exit", pid=pid))

    def test_clean_stop_releases_the_mutex_without_exit_hook(self):
        host = self.start_host("stopped")
        client = self.start_client(host, "wait-server", LONG_WAIT)
        pid = registered(client)["pid"]
        host.expect("connect", pid=pid)
        self.assertEqual(host.stop(), 0)
        self.assertEqual(client.expect("server_wait", timeout=60)["wait_result"],
                         WAIT_OBJECT_0)
        self.assertEqual(client.wait(), 0)
        self.assertFalse(host.events("exit"))


if __name__ == "__main__":
    qv.main()
