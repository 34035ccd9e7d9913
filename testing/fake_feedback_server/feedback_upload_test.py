#!/usr/bin/env python3
"""Whole-request tests of the multipart uploader and the report sender.

Each case starts the fake feedback server on 127.0.0.1, runs upload_probe.exe
under Wine with a request file, and checks what the probe reports and what
the server received. The multipart body is read back with Python's email
parser, the way any standard server would read it.
"""

import base64
import email.parser
import email.policy
import os
import re
import ssl
import subprocess
import time
import unittest

import fake_feedback_server as fake
import qv_test_support as qv
from qv_test_support import WORK_DIR, windows_path

PROBE = qv.program("upload_probe.exe")
# A test build's compiled-in endpoints point at 127.0.0.1.
TEST_ENDPOINTS = os.environ.get("QV_TEST_ENDPOINTS") == "1"
LOG_PATH = "/api/feedback/client/log"
# A self-signed certificate for "localhost" with its key; no store trusts it.
UNTRUSTED_PEM = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                             "untrusted_localhost.pem")
# Bounds a probe run; a hang beyond it is a failure, not a stuck test.
PROBE_LIMIT_S = 60


def hex_field(text):
    return text.encode("utf-8").hex()


class ProbeResult:
    def __init__(self, line, elapsed_s, errors):
        fields = dict(item.split("=", 1) for item in line.split())
        self.ok = fields["ok"] == "1"
        self.status = int(fields["status"])
        self.code = int(fields["code"])
        self.response = bytes.fromhex(fields["response"]).decode("utf-8")
        self.fields = fields
        self.elapsed_s = elapsed_s
        self.errors = errors  # standard error: the ERROR log records


def run_probe(name, url, mode="request", headers=None, params=None,
              files=None, timeout_ms=None, env=None, deadline_ms=None,
              workers_ms=None):
    lines = ["mode\t" + mode]
    if deadline_ms is not None:
        lines.append("deadline\t%d" % deadline_ms)
    if workers_ms is not None:
        lines.append("workers\t%d" % workers_ms)
    lines.append("url\t" + ("default" if url == "default" else hex_field(url)))
    if timeout_ms is not None:
        lines.append("timeout\t%d" % timeout_ms)
    for kind, table in (("header", headers), ("param", params),
                        ("file", files)):
        for key, value in (table or {}).items():
            lines.append("%s\t%s\t%s" % (kind, hex_field(key),
                                         hex_field(value)))
    request_path = os.path.join(WORK_DIR, name + ".request")
    with open(request_path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")
    # Output goes to files, not pipes: Wine helper processes started with a
    # fresh wineserver inherit the probe's streams and outlive it.
    out_path = request_path + ".out"
    err_path = request_path + ".err"
    started = time.monotonic()
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        returncode = qv.run(
            [PROBE, windows_path(request_path)], stdout=out, stderr=err,
            timeout=PROBE_LIMIT_S, cwd=WORK_DIR,
            env=dict(os.environ, **(env or {}))).returncode
    elapsed = time.monotonic() - started
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        output = out.read().decode("utf-8", "replace").strip()
        errors = err.read().decode("utf-8", "replace")
    if returncode != 0 or not output.startswith("ok="):
        raise AssertionError("probe failed (%d): %s %s" % (
            returncode, output, errors))
    return ProbeResult(output.splitlines()[-1], elapsed, errors)


def write_file(name, data):
    path = os.path.join(WORK_DIR, name)
    with open(path, "wb") as out:
        out.write(data)
    return path


def header(record, name):
    return [v for n, v in record["headers"] if n.lower() == name.lower()]


class FeedbackUploadTest(unittest.TestCase):
    def serve(self, reply=None, tls_context=None):
        server = fake.FakeFeedbackServer(reply or fake.Reply(body=b"ok"),
                                         lifetime_s=PROBE_LIMIT_S * 2,
                                         tls_context=tls_context)
        server.start()
        self.addCleanup(server.stop)
        return server

    def url(self, server, path=LOG_PATH):
        return "http://127.0.0.1:%d%s" % (server.port, path)

    def first_boundary(self):
        """The boundary a fresh uploader takes first: the runtime's rand()
        starts alike in every process."""
        server = self.serve()
        run_probe("first_boundary", self.url(server), params={"a": "b"})
        content_type = header(server.requests[0], "Content-Type")[0]
        return content_type.split("boundary=", 1)[1].encode("ascii")

    def test_body_parts_are_what_was_sent(self):
        # The file holds the closing line of the boundary this uploader
        # would take first: it must choose another.
        binary = (bytes(range(256)) * 40 + b"\r\n--" + self.first_boundary() +
                  b"--\r\n")
        params = {"ver": "1.0", "note": "Grüße ✓\r\nsecond line",
                  "empty": ""}
        files = {
            "crashInfo": write_file("BI.zip", binary),
            "blank": write_file("blank.bin", b""),
            "named": write_file("bericht-ü.dat", b"text\n"),
        }
        win_files = {k: windows_path(v) for k, v in files.items()}
        server = self.serve(fake.Reply(body="danke ✓".encode("utf-8")))
        result = run_probe("body", self.url(server), params=params,
                           files=win_files)
        self.assertTrue(result.ok)
        self.assertEqual(200, result.status)
        self.assertEqual("danke ✓", result.response)

        self.assertEqual(1, len(server.requests))
        record = server.requests[0]
        self.assertEqual("POST", record["method"])
        self.assertEqual(LOG_PATH, record["path"])
        content_type = header(record, "Content-Type")
        self.assertEqual(1, len(content_type))
        match = re.fullmatch(
            r"multipart/form-data; boundary=(-{27}[0-9A-F]{16})",
            content_type[0])
        self.assertIsNotNone(match, content_type[0])

        body = base64.b64decode(record["body"])
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + content_type[0].encode("ascii") + b"\r\n\r\n"
            + body)
        self.assertTrue(message.is_multipart())
        self.assertEqual([], message.defects)
        parts = [(p.get_param("name", header="content-disposition"),
                  p.get_filename(), p.get_content_type(),
                  p.get_payload(decode=True))
                 for p in message.iter_parts()]
        # Parameters first, then files, each in name order.
        expected = [(name, None, "text/plain", value.encode("utf-8"))
                    for name, value in sorted(params.items())]
        with open(files["blank"], "rb") as blank:
            self.assertEqual(b"", blank.read())
        expected += [
            ("blank", "blank.bin", "application/octet-stream", b""),
            ("crashInfo", "BI.zip", "application/octet-stream", binary),
            ("named", "bericht-ü.dat", "application/octet-stream", b"text\n"),
        ]
        self.assertEqual(expected, parts)
        self.assertTrue(body.endswith(b"--" + match.group(1).encode() +
                                      b"--\r\n"))

    def test_extra_headers_arrive_as_given(self):
        server = self.serve()
        headers = {"Cookie": "uid=42; token=a/b+c==", "X-Client": "3.1"}
        result = run_probe("headers", self.url(server), headers=headers,
                           files={"crashInfo": windows_path(
                               write_file("h.zip", b"PK"))})
        self.assertTrue(result.ok)
        record = server.requests[0]
        self.assertEqual(["uid=42; token=a/b+c=="], header(record, "Cookie"))
        self.assertEqual(["3.1"], header(record, "X-Client"))
        self.assertEqual(["QuillaveraCrash/1.0 (Windows)"],
                         header(record, "User-Agent"))

    def test_sender_maps_replies_to_results(self):
        big = b"x" * (4 * 1024 * 1024 + 1)
        cases = [
            # name, reply, result code, status, logged error
            ("accepted", fake.Reply(status=200, body=b'{"code":0}'), 2, 200,
             None),
            ("no_length", fake.Reply(status=200, body=b"fine",
                                     content_length="omit"), 2, 200, None),
            ("chunked", fake.Reply(status=200, body=b"in chunks",
                                   chunked=True), 2, 200, None),
            ("not_found", fake.Reply(status=404, body=b"no"), 1, 404, None),
            ("forbidden", fake.Reply(status=403, body=b"no"), 1, 403, None),
            ("server_error", fake.Reply(status=500, body=b"oops"), 0, 500,
             None),
            ("short_body", fake.Reply(status=200, body=b"cut",
                                      content_length=100), 0, 200,
             "Reply incomplete: 3 of 100 bytes"),
            ("huge_length", fake.Reply(status=200, body=b"cut",
                                       content_length=10**12), 0, 200,
             "Reply refused: Content-Length 1000000000000"),
            ("overflowing_length", fake.Reply(
                status=200, body=b"cut",
                content_length="99999999999999999999999"), 0, 200,
             "Reply refused: Content-Length 99999999999999999999999"),
            ("reply_over_cap", fake.Reply(status=200, body=big,
                                          content_length="omit"), 0, 200,
             "Reply refused: longer than 4194304 bytes"),
            ("dropped", fake.Reply(mode="drop"), 0, 0, None),
        ]
        zip_path = windows_path(write_file("s.zip", b"PK\x03\x04"))
        for name, reply, code, status, logged in cases:
            with self.subTest(name):
                server = self.serve(reply)
                result = run_probe("sender_" + name, self.url(server),
                                   mode="sender",
                                   headers={"Cookie": "uid=1"},
                                   files={"crashInfo": zip_path})
                self.assertEqual(code, result.code)
                self.assertEqual(status, result.status)
                self.assertEqual(1, len(server.requests))
                if code == 2:
                    self.assertEqual(reply.body.decode("utf-8"),
                                     result.response)
                if logged:
                    self.assertIn(logged, result.errors)
                server.stop()

    def test_odd_status_lines_and_lengths_are_read_whole(self):
        # A hostile server chooses the status code's digits and the
        # Content-Length's; neither may run past what the uploader reads them
        # into, and neither may pass for a good reply.
        cases = [
            # name, reply, result code, status, logged error
            ("four_digit_status", fake.Reply(status_line="HTTP/1.1 2000 Odd",
                                             body=b"ok"), 0, 2000, None),
            ("five_digit_status", fake.Reply(status_line="HTTP/1.1 20000 Odd",
                                             body=b"ok"), 0, 20000, None),
            # As WinINet reads it: clamped to the largest 32-bit int.
            ("ten_digit_status", fake.Reply(
                status_line="HTTP/1.1 4294967295 Odd", body=b"ok"), 0,
             2147483647, None),
            ("long_length", fake.Reply(status=200, body=b"cut",
                                       content_length="1" + "0" * 70), 0, 200,
             "Reply refused: Content-Length"),
        ]
        zip_path = windows_path(write_file("odd.zip", b"PK"))
        for name, reply, code, status, logged in cases:
            with self.subTest(name):
                server = self.serve(reply)
                result = run_probe("odd_" + name, self.url(server),
                                   mode="sender", files={"crashInfo": zip_path})
                self.assertEqual((code, status), (result.code, result.status),
                                 result.errors)
                self.assertEqual(1, len(server.requests))
                if logged:
                    self.assertIn(logged, result.errors)
                server.stop()

    def test_silent_servers_are_given_up_within_the_time_out(self):
        cases = [
            ("no_reply", fake.Reply(mode="silent"), 0),
            ("reply_stops_half_way", fake.Reply(mode="stall", body=b"half",
                                                content_length=100), 200),
        ]
        zip_path = windows_path(write_file("t.zip", b"PK"))
        for name, reply, status in cases:
            with self.subTest(name):
                server = self.serve(reply)
                result = run_probe("silent_" + name, self.url(server),
                                   mode="sender",
                                   files={"crashInfo": zip_path},
                                   timeout_ms=2000)
                self.assertEqual(0, result.code)
                self.assertEqual(status, result.status)
                self.assertEqual(1, len(server.requests))
                # Two seconds of waiting plus start-up, far below the
                # minutes WinINet waits by default.
                self.assertLess(result.elapsed_s, 30)
                server.stop()

    def test_redirects_are_failures_and_are_not_followed(self):
        # Where a followed redirect would go: it must see nothing, least of
        # all the cookie.
        elsewhere = self.serve()
        target = "http://localhost:%d%s" % (elsewhere.port, LOG_PATH)
        zip_path = windows_path(write_file("redirect.zip", b"PK"))
        for status in (301, 302, 303, 307, 308):
            with self.subTest(status=status):
                server = self.serve(fake.Reply(status=status, body=b"moved",
                                               location=target))
                result = run_probe("redirect_%d" % status, self.url(server),
                                   mode="sender",
                                   headers={"Cookie": "uid=secret"},
                                   files={"crashInfo": zip_path})
                self.assertEqual(0, result.code)
                self.assertEqual(status, result.status)
                self.assertEqual(1, len(server.requests))
                server.stop()
        self.assertEqual([], elsewhere.requests)

    def test_a_dripping_server_cannot_hold_a_post_past_its_deadline(self):
        # Each byte comes well within the per-wait time-out; only the
        # deadline of the whole post ends it.
        zip_path = windows_path(write_file("drip.zip", b"PK"))
        for name, reply in (
                ("head", fake.Reply(mode="drip", body=b"ok", drip_s=0.5)),
                ("body", fake.Reply(mode="drip", body=b"x" * 200, drip_s=0.05,
                                    drip_head=False))):
            with self.subTest(name):
                server = self.serve(reply)
                result = run_probe("drip_" + name, self.url(server),
                                   mode="sender",
                                   files={"crashInfo": zip_path},
                                   timeout_ms=5000, deadline_ms=4000)
                self.assertEqual(0, result.code)
                self.assertEqual(1, len(server.requests))
                self.assertIn("Post abandoned: no whole reply within 4000 ms",
                              result.errors)
                self.assertLess(result.elapsed_s, 30)
                server.stop()

    def test_an_abandoned_post_can_be_waited_for_to_its_end(self):
        # Given up at its deadline, the post's worker still waits for the
        # reply (WinINet's own time-out ends it): the process can wait for
        # it rather than cut it off.
        zip_path = windows_path(write_file("abandoned.zip", b"PK"))
        server = self.serve(fake.Reply(mode="silent"))
        result = run_probe("abandoned", self.url(server),
                           files={"crashInfo": zip_path}, timeout_ms=4000,
                           deadline_ms=1000, workers_ms=30000)
        self.assertFalse(result.ok)
        self.assertIn("Post abandoned: no whole reply within 1000 ms",
                      result.errors)
        self.assertEqual(("1", "1"),
                         (result.fields["running"], result.fields["ended"]))

    def test_unsafe_requests_are_refused_before_connecting(self):
        zip_path = windows_path(write_file("r.zip", b"PK"))
        good_files = {"crashInfo": zip_path}
        cases = [
            ("cookie_with_line_break",
             {"headers": {"Cookie": "uid=1\r\nX-Injected: 1"}}),
            ("header_value_with_lf", {"headers": {"Cookie": "a\nb"}}),
            ("header_name_with_colon", {"headers": {"X:Y": "1"}}),
            ("header_name_with_space", {"headers": {"X Y": "1"}}),
            ("empty_header_name", {"headers": {"": "1"}}),
            ("param_name_with_quote", {"params": {'a"b': "1"}}),
            ("param_name_with_del", {"params": {"a\x7fb": "1"}}),
            ("param_name_with_control", {"params": {"a\tb": "1"}}),
            ("param_name_above_ascii", {"params": {"grüße": "1"}}),
            ("empty_param_name", {"params": {"": "1"}}),
            ("file_field_with_quote",
             {"files": {'crash"Info': zip_path}}),
            ("file_field_with_line_break",
             {"files": {"crash\r\nInfo": zip_path}}),
            ("path_without_separator", {"files": {"crashInfo": "r.zip"}}),
            ("missing_file", {"files": {"crashInfo": zip_path + ".gone"}}),
            ("folder_as_file", {"files": {"crashInfo": windows_path(
                WORK_DIR)}}),
            ("ftp_scheme", {"scheme": "ftp"}),
        ]
        for name, case in cases:
            with self.subTest(name):
                server = self.serve()
                url = self.url(server)
                if "scheme" in case:
                    url = url.replace("http", case["scheme"], 1)
                result = run_probe("refused_" + name, url,
                                   headers=case.get("headers"),
                                   params=case.get("params"),
                                   files=case.get("files", good_files))
                self.assertFalse(result.ok)
                self.assertEqual(0, result.status)
                server.stop()
                self.assertEqual([], server.requests)

    def test_https_speaks_tls_and_refuses_an_untrusted_certificate(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(UNTRUSTED_PEM)
        server = self.serve(tls_context=context)
        result = run_probe("https_untrusted",
                           "https://localhost:%d%s" % (server.port, LOG_PATH),
                           files={"crashInfo": windows_path(
                               write_file("tls.zip", b"PK"))},
                           timeout_ms=5000)
        self.assertFalse(result.ok)
        self.assertEqual(0, result.status)
        # The client finished the handshake, judged the certificate and sent
        # nothing over the connection.
        self.assertGreaterEqual(server.tls_handshakes, 1)
        self.assertEqual([], server.requests)

    def test_https_post_succeeds_with_a_certificate_from_a_trusted_ca(self):
        # A throw-away CA, trusted in this Wine prefix's machine ROOT store,
        # signs the fake server's certificate for "localhost".
        folder = os.path.join(WORK_DIR, "test_ca")
        os.makedirs(folder, exist_ok=True)
        ca_key, ca_cert = (os.path.join(folder, n) for n in ("ca.key", "ca.pem"))
        key, request, cert, extensions = (
            os.path.join(folder, n)
            for n in ("server.key", "server.csr", "server.pem", "san.cnf"))
        with open(extensions, "w") as out:
            out.write("subjectAltName=DNS:localhost\n"
                      "extendedKeyUsage=serverAuth\n")

        def openssl(*args):
            subprocess.run(("openssl",) + args, check=True,
                           capture_output=True, timeout=60)
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=Quillavera Test CA", "-keyout", ca_key,
                "-out", ca_cert, "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                "-keyout", key, "-out", request)
        openssl("x509", "-req", "-in", request, "-CA", ca_cert, "-CAkey",
                ca_key, "-CAcreateserial", "-days", "2", "-extfile",
                extensions, "-out", cert)
        trusted = qv.run([qv.program("trust_test_root.exe"),
                          windows_path(ca_cert)], timeout=PROBE_LIMIT_S)
        self.assertIn(b"trusted=1", trusted.stdout, trusted)

        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server = self.serve(fake.Reply(body=b"secure ok"), tls_context=context)
        zip_bytes = b"PK\x05\x06" + bytes(18)
        result = run_probe("https_trusted",
                           "https://localhost:%d%s" % (server.port, LOG_PATH),
                           mode="sender", headers={"Cookie": "uid=9"},
                           files={"crashInfo": windows_path(
                               write_file("tls_ok.zip", zip_bytes))},
                           timeout_ms=10000)
        self.assertEqual(2, result.code, result.errors)
        self.assertEqual("secure ok", result.response)
        self.assertEqual(1, len(server.requests))
        self.assertEqual(["uid=9"], header(server.requests[0], "Cookie"))
        self.assertIn(zip_bytes, base64.b64decode(server.requests[0]["body"]))

    @unittest.skipUnless(TEST_ENDPOINTS,
                         "built without test endpoints")
    def test_compiled_in_feedback_url_reaches_the_local_fake(self):
        server = self.serve()
        result = run_probe("default_url", "default", mode="sender",
                           headers={"Cookie": "uid=7"},
                           files={"crashInfo": windows_path(
                               write_file("d.zip", b"PK"))},
                           env={"QV_TEST_FEEDBACK_PORT": str(server.port)})
        self.assertEqual(2, result.code)
        self.assertEqual(LOG_PATH, server.requests[0]["path"])


if __name__ == "__main__":
    qv.main()
