#!/usr/bin/env python3
"""Whole-program tests of the crash-file upload over libcurl.

Each case starts the fake object-storage services on 127.0.0.1, points the
test build's compiled-in LBS URLs at them (QV_TEST_LBS_PORT), runs
jov_upload_probe.exe under Wine and checks what the probe prints and what
the services received.
"""

import os
import random
import subprocess
import time
import unittest

import fake_jov_services as fake
from fake_jov_services import Fault, reply
import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path

PROBE = qv.program("jov_upload_probe.exe")
# Bounds a probe run; a hang beyond it is a failure, not a stuck test.
PROBE_LIMIT_S = 240
MIN_PART = 262114
MAX_PART = 2097152
FIRST_PART = 1048576
# The low-speed limit gives up on a silent service after 20 s.
SILENCE_GIVEN_UP_S = 20


def hex_text(text):
    return text.encode("utf-8").hex()


def data_of(size, seed=1):
    return random.Random(seed).randbytes(size)


class ProbeOutput:
    def __init__(self, text, elapsed_s):
        self.elapsed_s = elapsed_s
        self.messages = []  # the upload client's messages, in order
        self.logs = []
        self.result = {}
        self.code = None
        self.summary = {}
        for line in text.splitlines():
            if line.startswith("code="):
                self.code = int(line[5:])
            elif line.startswith("result "):
                key, _, value = line[7:].partition("=")
                self.result[key] = bytes.fromhex(value).decode("utf-8")
            elif line.startswith("log "):
                self.logs.append(line[4:])
            elif line.startswith("uploaded="):
                self.summary = dict(f.split("=", 1) for f in line.split())
            else:
                self.messages.append(line)


class JovUploadTest(unittest.TestCase):
    def setUp(self):
        self.fake = fake.FakeJovServices().start()
        self.addCleanup(self.fake.stop)

    def host(self):
        return "http://127.0.0.1:%d" % self.fake.port

    def write(self, name, data):
        path = os.path.join(WORK_DIR, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def probe(self, name, mode, path, cookie="uid=1", context=None):
        if mode == "broken_body":
            args = [PROBE, mode, path,
                    self.fake.store_url("store1") + "/qvcrash/broken?offset=0"
                    "&complete=true&version=1.0", hex_text(cookie)]
        else:
            # The report parameters' "host" has no scheme.
            host = self.host()[len("http://"):] if mode == "archive" \
                else self.host()
            args = [PROBE, mode, windows_path(path),
                    host, hex_text(cookie)]
        if context is not None:
            args.append(hex_text(context))
        env = {k: v for k, v in os.environ.items()
               if "proxy" not in k.lower()}
        env["QV_TEST_LBS_PORT"] = str(self.fake.port)
        # Output goes to files: Wine helpers may outlive the probe and hold
        # a pipe open.
        out_path = os.path.join(WORK_DIR, name + ".out")
        started = time.monotonic()
        with open(out_path, "wb") as out:
            returncode = qv.run(
                args, stdout=out, stderr=subprocess.STDOUT,
                timeout=PROBE_LIMIT_S, cwd=WORK_DIR, env=env).returncode
        elapsed = time.monotonic() - started
        with open(out_path, "rb") as out:
            text = out.read().decode("utf-8", "replace").replace("\r", "")
        self.assertEqual(0, returncode, text)
        return ProbeOutput(text, elapsed)

    def upload(self, name, data, **kwargs):
        return self.probe(name, "task", self.write(name + ".zip", data),
                          **kwargs)

    def assert_stored(self, output, data):
        self.assertEqual(0, output.code, [m[:200] for m in output.messages])
        stored = self.fake.object_bytes(output.result["objectKey"])
        self.assertEqual(fake.sha256(data), fake.sha256(stored))

    def test_whole_file_arrives_in_framed_parts_that_chain_the_context(self):
        data = data_of(6 * 1024 * 1024 + 12345)
        # Two failures on the first server and one on the second halve the
        # part size three times: down to its floor.
        self.fake.inject("part:store1", reply(502, times=2))
        self.fake.inject("part:store2", reply(502))
        output = self.upload("whole", data, cookie="uid=42; s=a/b")
        self.assert_stored(output, data)

        token = self.fake.of("token")
        self.assertEqual(1, len(token))
        self.assertEqual(b"bizKey=b7e41c90&bucket=qvcrash&filename=whole.zip"
                         b"&type=package&", token[0]["body"])
        self.assertEqual("uid=42; s=a/b", dict(token[0]["headers"])["Cookie"])
        lbs = self.fake.of("lbs:general")
        self.assertEqual(1, len(lbs))
        self.assertEqual("version=1.0&bucketname=qvcrash", lbs[0]["raw_query"])

        parts = self.fake.parts()
        issued_token = output.result["token"]
        for part in parts:
            headers = dict(part["headers"])
            self.assertFalse(part["chunked"])
            self.assertNotIn("Expect", headers)
            self.assertEqual(str(len(part["body"])), part["content_length"])
            self.assertEqual(issued_token, headers["x-jov-token"])
            self.assertEqual("package/zip", headers["Content-Type"])
            self.assertEqual("1.0", part["query"]["version"])
        sizes = [len(p["body"]) for p in parts]
        self.assertEqual([FIRST_PART, FIRST_PART // 2, FIRST_PART // 4,
                          MIN_PART], sizes[:4])
        for size in sizes[:-1]:
            self.assertTrue(MIN_PART <= size <= MAX_PART, sizes)
        # Six stored parts in a row grow the part by one step.
        self.assertIn(2 * MIN_PART, sizes)
        self.assertEqual("true", parts[-1]["query"]["complete"])
        self.assertTrue(all(p["query"]["complete"] == "false"
                            for p in parts[:-1]))

        stored = [p for p in parts if "reply_context" in p]
        self.assertNotIn("context", stored[0]["query"])
        for before, after in zip(stored, stored[1:]):
            self.assertEqual(before["reply_context"], after["query"]["context"])
            self.assertEqual(int(before["query"]["offset"]) +
                             len(before["body"]), int(after["query"]["offset"]))
        self.assertEqual(stored[-1]["reply_context"], output.result["context"])
        self.assertEqual("qvcrash", output.result["bucket"])
        self.assertNotIn("error", output.result)
        self.assertIn("UploadOffset Failed Http Status Code(502) Code(0)",
                      output.messages)

    def test_faults_give_the_outcomes_the_protocol_names(self):
        hostile_lbs = [b"[]", b"123", b'"x"', b'{"upload":[1e300],"lbs":""}',
                       b'{"Code":"E","Message":"m"}', b"{" * 5000]
        cases = [
            # name, {endpoint: [faults]}, code, messages, requests by
            # endpoint (or None), result checks
            ("token_500", {"token": [reply(500, "oops")]}, -2, [],
             {"token": 1, "lbs:general": 0},
             {"error": "Request token error:oops"}),
            ("token_refused", {"token": [reply(
                200, '{"code":401,"message":"login"}')]}, -2, [], None,
             {"error": 'Request token error:{"code":401,"message":"login"}'}),
            ("token_array_root", {"token": [reply(200, "[]")]}, -2, [], None,
             {"error": "Request token error:[]"}),
            ("token_huge_code", {"token": [reply(
                200, '{"code":4294967496}')]}, -2, [], None, {}),
            ("token_missing_key", {"token": [reply(
                200, '{"code":200,"data":{"bucket":"b","token":"t"}}')]},
             -2, [], None, {}),
            ("token_dropped_twice", {"token": [Fault("drop", times=2)]}, -1,
             [], {"token": 2, "lbs:general": 0},
             {"error": "Send request error:0"}),
            ("token_dropped_once", {"token": [Fault("drop")]}, 0, [],
             {"token": 2}, {}),
            ("token_10MiB", {"token": [reply(200, fake.HUGE_BODY, times=2)]},
             -1, [], {"token": 2}, {"error": "Send request error:0"}),
            ("lbs_500", {"lbs:general": [reply(500, "down")]}, 0,
             ["Get Upload IPS Failed code (0), status code(500), msg:"],
             {"lbs:region-a": 1}, {}),
            ("lbs_dropped", {"lbs:general": [Fault("drop")]}, 0,
             ["Get Upload IPS Failed code (52), status code(0), msg:"],
             {"lbs:region-a": 1}, {}),
            ("lbs_10MiB", {"lbs:general": [reply(200, fake.HUGE_BODY)]}, 0,
             ["Get Upload IPS Failed code (23), status code(0), msg:"],
             {"lbs:region-a": 1}, {}),
            ("lbs_other_schemes", {"lbs:general": [reply(
                200, '{"upload":["ftp://127.0.0.1/s","file:///c:/x"],'
                     '"lbs":"ftp://127.0.0.1/l"}')]}, 0,
             ["Get Upload IPS Failed code (0), status code(200), msg:"],
             {"lbs:region-a": 1, "unknown": 0}, {}),
            ("lbs_all_fail", {name: [reply(500)] for name in (
                "lbs:general", "lbs:region-a", "lbs:region-b",
                "lbs:overseas")}, 6, [], {"part:store1": 0}, {"error": ""}),
            ("part_500", {"part:store1": [reply(500)]}, 0, [],
             {"part:store1": 1, "part:store2": 1}, {}),
            ("part_799", {"part:store1": [reply(799)]}, 0, [],
             {"part:store1": 1, "part:store2": 1}, {}),
            ("part_899", {"part:store1": [reply(899)]}, 0, [],
             {"part:store1": 1, "part:store2": 1}, {}),
            ("part_dropped", {"part:store1": [Fault("drop")]}, 0, [],
             {"part:store1": 1, "part:store2": 1}, {}),
            ("part_502", {"part:store1": [reply(502, times=2)]}, 0,
             ["UploadOffset Failed Http Status Code(502) Code(0)"],
             # The halved part size leaves a second part, sent to the
             # first server again.
             {"part:store1": 3, "part:store2": 1}, {}),
            ("part_400", {"part:store1": [reply(400)]}, 8,
             ["UploadOffset Faile Http Failed Bad Request(400)"],
             {"part:store1": 1, "part:store2": 0}, {"error": ""}),
            ("part_403", {"part:store1": [reply(403)]}, 8,
             ["UploadOffset Faile Http Failed Invalid Token(403)"],
             {"part:store1": 1, "part:store2": 0}, {}),
            ("part_520", {"part:store1": [reply(520)]}, 8,
             ["UploadOffset Faile Http Failed Callback error(520)"],
             {"part:store1": 1, "part:store2": 0}, {}),
            ("part_bad_body", {"part:store1": [reply(200, "[]")]}, 8,
             ["UploadOffset Failed No Retry Host(%s/store1) Http Status "
              "Code(200) Code(10)"], {"part:store2": 0}, {}),
            ("part_wrong_offset", {"part:store1": [Fault("wrong_offset")]}, 8,
             [], {"part:store1": 1, "part:store2": 0}, {}),
            ("part_every_server_fails", {"part:store1": [reply(500)],
                                         "part:store2": [reply(500)]}, 8, [],
             {"part:store1": 1, "part:store2": 1}, {}),
        ]
        cases += [("lbs_hostile_%d" % i, {"lbs:general": [reply(200, body)]},
                   0, ["Get Upload IPS Failed code (10), status code(200), "
                       "msg:" + body.decode()[:20]], {"lbs:region-a": 1}, {})
                  for i, body in enumerate(hostile_lbs)]
        data = data_of(300000, seed=2)
        for name, faults, code, messages, counts, result in cases:
            with self.subTest(name):
                self.fake = fake.FakeJovServices().start()
                self.addCleanup(self.fake.stop)
                for endpoint, injected in faults.items():
                    self.fake.inject(endpoint, *injected)
                output = self.upload(name, data)
                shown = [m[:200] for m in output.messages]
                self.assertEqual(code, output.code, shown)
                for message in messages:
                    message = message.replace("%s", self.host())
                    self.assertTrue(
                        any(m.startswith(message) for m in output.messages),
                        (message, shown))
                for endpoint, count in (counts or {}).items():
                    self.assertEqual(count, len(self.fake.of(endpoint)),
                                     endpoint)
                for key, value in result.items():
                    self.assertEqual(value, output.result.get(key))
                if code == 0:
                    self.assert_stored(output, data)
                    self.assertNotIn("error", output.result)
                elif code > 0:
                    # A token came: the key is reported whatever the outcome.
                    self.assertIn("objectKey", output.result)
                    self.assertIn("error", output.result)
                self.fake.stop()

    def test_file_problems(self):
        output = self.upload("empty", b"")
        self.assertEqual(9, output.code)
        self.assertEqual([], self.fake.parts())
        output = self.probe("missing", "task",
                            os.path.join(WORK_DIR, "no_such.zip"))
        self.assertEqual(4, output.code)
        self.assertEqual([], self.fake.parts())

    def test_a_context_resumes_where_the_service_says(self):
        data = data_of(1500000, seed=3)
        key = "crash/resumed.zip"
        cases = [
            # name, context, offset reply fault, first part offset, message
            ("known", "seed", None, 1100000, None),
            ("expired", "gone", None, 0,
             "Context is Expired restart upload from begin."),
            ("offset_past_the_end", "seed", reply(200, '{"offset":99999999}'),
             0, None),
            ("offset_out_of_range", "seed", reply(200, '{"offset":1e300}'),
             0, None),
            ("escaped_context", "a&b=c d/e", None, 0,
             "Context is Expired restart upload from begin."),
        ]
        for name, context, fault, first_offset, message in cases:
            with self.subTest(name):
                self.fake = fake.FakeJovServices().start()
                self.addCleanup(self.fake.stop)
                self.fake.object_key = key
                self.fake.objects[(fake.BUCKET, key)] = bytearray(
                    data[:1100000])
                self.fake.contexts["seed"] = (fake.BUCKET, key)
                if fault:
                    self.fake.inject("offset:store1", fault)
                output = self.upload("resume_" + name, data, context=context)
                self.assert_stored(output, data)
                query = self.fake.of("offset:store1")[0]["query"]
                self.assertEqual(context, query["context"])
                self.assertEqual("1.0", query["version"])
                first = self.fake.parts()[0]["query"]
                self.assertEqual(str(first_offset), first["offset"])
                self.assertEqual(context, first["context"])
                if message:
                    self.assertIn(message, output.messages)
                self.fake.stop()

    def test_silent_services_are_given_up_within_the_time_outs(self):
        data = data_of(100000, seed=4)
        cases = [
            ("lbs", "lbs:general", "lbs:region-a",
             "Get Upload IPS Failed code (28), status code(0), msg:"),
            ("part", "part:store1", "part:store2", None),
        ]
        for name, silent, next_endpoint, message in cases:
            with self.subTest(name):
                self.fake = fake.FakeJovServices().start()
                self.addCleanup(self.fake.stop)
                self.fake.inject(silent, Fault("silent"))
                output = self.upload("silent_" + name, data)
                self.assert_stored(output, data)
                self.assertEqual(1, len(self.fake.of(next_endpoint)))
                if message:
                    self.assertIn(message, output.messages)
                self.assertGreaterEqual(output.elapsed_s,
                                        SILENCE_GIVEN_UP_S - 1)
                self.assertLess(output.elapsed_s, SILENCE_GIVEN_UP_S + 60)
                self.fake.stop()

    def test_a_body_that_fails_to_read_is_never_sent_short(self):
        size = 300000
        output = self.probe("broken_body", "broken_body", str(size),
                            context=None)
        self.assertNotEqual(0, output.code)
        for record in self.fake.requests:
            self.assertEqual(str(size), record["content_length"])
            self.assertLess(len(record["body"]), size)

    def test_line_breaks_never_leave_the_cookie_header(self):
        output = self.upload("cookie", b"PK" * 10,
                             cookie="uid=1\r\nX-Injected: yes\n")
        self.assertEqual(0, output.code)
        headers = self.fake.of("token")[0]["headers"]
        self.assertEqual(["uid=1X-Injected: yes"],
                         [v for n, v in headers if n == "Cookie"])
        self.assertNotIn("X-Injected", [n for n, _ in headers])

    def test_crash_archive_upload_reports_its_resource(self):
        data = data_of(2 * 1024 * 1024 + 7, seed=5)
        path = self.write("crash_data_1700000000.zip", data)
        output = self.probe("archive_ok", "archive", path)
        self.assertEqual("1", output.summary["uploaded"])
        key = bytes.fromhex(output.summary["resource"]).decode()
        self.assertTrue(key.startswith("crash/"))
        self.assertEqual(fake.sha256(data),
                         fake.sha256(self.fake.object_bytes(key)))
        self.assertIn("Crash data url: " + key, output.logs)
        self.assertEqual(1, len(self.fake.of("token")))
        # Where the archive goes afterwards is the flow's own step.
        self.assertEqual("1", output.summary["exists"])

        self.fake.stop()
        self.fake = fake.FakeJovServices().start()
        self.addCleanup(self.fake.stop)
        self.fake.inject("part:store1", reply(400, times=-1))
        output = self.probe("archive_failed", "archive", path)
        self.assertEqual("0", output.summary["uploaded"])
        self.assertEqual("Upload Failed",
                         bytes.fromhex(output.summary["resource"]).decode())
        self.assertIn("Crash data upload failed", output.logs)
        # One retry, each with a token of its own.
        self.assertEqual(2, len(self.fake.of("token")))
        self.assertEqual(2, len(self.fake.parts()))


if __name__ == "__main__":
    qv.main()
