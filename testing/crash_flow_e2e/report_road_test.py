"""The whole report road of a crash under Wine: the client application
stand-in starts the real reporter and crashes for real; the reporter
analyses the dump with the stand-in walker, writes the BI records, packs
the BI log into "BI.zip" and posts it to the fake feedback server. What
arrived is read with Python's email, zipfile and json and the test tree's
own decryptor, never with the product's code.
"""

import base64
import email.parser
import email.policy
import io
import json
import os
import re
import time
import zipfile

import crash_flow_test as flow
from crash_flow_test import (APP, APP_PARAM, ARCHIVE_NAME,
                             FlowTestCase, data_folder, setUpModule,
                             tearDownModule)
from fake_feedback_server import fake_feedback_server as fake
from jov_services import fake_jov_services as jov
from qzcrypto_tools import qzcrypto_format

LOG_PATH = "/api/feedback/client/log"
COOKIE = "uid=42; token=a/b+c=="
SEPARATOR = "\x01"


def bi_backup():
    return os.path.join(data_folder(), "Log", "bilog.elog.backup")


def records_of(text):
    """(time, kind, object) of each line of a BI log text."""
    records = []
    for line in text.split("\n")[:-1]:
        stamp, kind, body = line.split(SEPARATOR)
        records.append((int(stamp), kind, json.loads(body)))
    assert text.endswith("\n"), text
    return records


def multipart_files(record):
    """{field name: (file name, bytes)} of a recorded multipart post."""
    content_type = [v for n, v in record["headers"]
                    if n.lower() == "content-type"][0]
    body = base64.b64decode(record["body"])
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("ascii") + b"\r\n\r\n" + body)
    assert not message.defects, message.defects
    return {part.get_param("name", header="content-disposition"):
            (part.get_filename(), part.get_payload(decode=True))
            for part in message.iter_parts()}


class ReportRoadTest(FlowTestCase):
    def setUp(self):
        super().setUp()
        dumps = os.path.join(data_folder(), "dumps")
        # The client's cookie: its first '&' field, with a line break the
        # reporter must not pass into a header.
        with open(os.path.join(dumps, "cookie_json"), "wb") as f:
            f.write(qzcrypto_format.encrypt(
                (COOKIE + "\r\n&session=9&&x").encode("utf-8")))

    def serve(self, reply=None):
        server = fake.FakeFeedbackServer(reply or fake.Reply(body=b"ok"),
                                         lifetime_s=600)
        server.start()
        self.addCleanup(server.stop)
        os.environ["QV_TEST_FEEDBACK_PORT"] = str(server.port)
        self.addCleanup(os.environ.pop, "QV_TEST_FEEDBACK_PORT", None)
        return server

    def crash_main(self):
        main = self.start_main()
        self.pid = main.events("registered")[0]["pid"]
        self.command(main, "crash")
        main.expect("crash_dump", timeout=240)
        ended = self.reporter_exit()
        self.assertEqual((True, 0), (ended["ended"], ended["code"]))
        main.wait()
        return main

    def assert_crash_records(self, records):
        """The two records of this crash, checked against the fixture and
        the crash the client caused."""
        self.assertEqual(["mobile_monitor", "crash"], [r[1] for r in records])
        self.assertEqual(records[0][0], records[1][0])
        self.assertLess(abs(records[0][0] - time.time()), 600)
        monitor, crash = records[0][2], records[1][2]
        expected = {
            "language": "Native", "type": "Crash", "mspm": "NativeApplication",
            "category": "Error", "_model": APP_PARAM["GPU"],
            "_brand": APP_PARAM["brand"] + "_" + APP_PARAM["model"],
            "appVersion": APP_PARAM["appVersion"],
            "buildver": APP_PARAM["buildVersion"],
            "patchversion": APP_PARAM["patchVersion"],
            "osVersion": APP_PARAM["osVersion"],
            "startTime": APP_PARAM["startTime"],
            "_appChannel": APP_PARAM["appChannel"],
            "runtime": APP_PARAM["appPlatform"],
        }
        self.assertEqual(expected, {k: monitor[k] for k in expected})
        self.assertRegex(monitor["crashTime"],
                         r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
        tags = json.loads(monitor["searchTags"])
        self.assertRegex(tags["process"], r"^main_%d_\d{4}-" % self.pid)
        self.assertEqual(monitor["searchTags"], crash["searchTags"])
        # The real analysis: the client's write to 0x10 in its own code.
        self.assertEqual("Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
                         "Crash address: 0x10", monitor["message"])
        self.assertEqual(APP[:-2], monitor["page"])
        self.assertRegex(monitor["stackTrace"],
                         r"^Thread \d+ \(crashed\)\n  0  %s \+ 0x[0-9a-f]+\n "
                         % re.escape(APP))
        self.assertIn("\n process:%d type:main," % self.pid,
                      monitor["stackTrace"])
        self.assertRegex(crash["crashinfo"],
                         r"^Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
                         r"Thread \d+ \(crashed\), 0  %s \+ 0x[0-9a-f]+,$"
                         % re.escape(APP))
        self.assertEqual(APP_PARAM["patchVersion"], crash["patchversion"])
        self.assertEqual("0", crash["trackid"])
        self.assertEqual(monitor["resource"], crash["crashdata"])

    def test_main_crash_posts_the_bi_log_and_removes_the_backup(self):
        server = self.serve()
        main = self.crash_main()
        self.assertEqual(1, len(server.requests), server.requests)
        post = server.requests[0]
        self.assertEqual(("POST", LOG_PATH), (post["method"], post["path"]))
        self.assertEqual([COOKIE], [v for n, v in post["headers"]
                                    if n == "Cookie"])
        files = multipart_files(post)
        self.assertEqual(["crashInfo"], list(files))
        name, data = files["crashInfo"]
        self.assertEqual("BI.zip", name)
        archive = zipfile.ZipFile(io.BytesIO(data))
        self.assertIsNone(archive.testzip())
        self.assertEqual(["bilog.elog.backupde"], archive.namelist())
        self.assert_crash_records(records_of(
            archive.read("bilog.elog.backupde").decode("latin-1")))
        # Delivered: nothing of the BI log is left behind.
        for left in (bi_backup(), bi_backup() + "de",
                     os.path.join(data_folder(), "BI.zip")):
            self.assertFalse(os.path.exists(left), left)
        self.assertFalse(any(l for l in main.stderr if "upload error:" in l))

    def assert_failed_posts_keep_the_backup(self, reply, code):
        server = self.serve(reply)
        main = self.crash_main()
        # Posted twice, and both failed.
        self.assertEqual(2, len(server.requests))
        self.assertTrue(any("upload error:%s, reason:" % code in l
                            for l in main.stderr), main.stderr)
        kept = qzcrypto_format.decrypt_file(bi_backup())
        self.assert_crash_records(records_of(kept.decode("latin-1")))
        # The next start makes the backup the BI log again.
        restarted = self.start_main()
        self.assertFalse(os.path.exists(bi_backup()))
        restored = os.path.join(data_folder(), "Log", "bilog.elog")
        self.assertEqual(kept, qzcrypto_format.decrypt_file(restored))
        self.command(restarted, "exit")
        self.reporter_exit()

    def test_a_rejected_post_keeps_the_backup(self):
        self.assert_failed_posts_keep_the_backup(
            fake.Reply(status=400, body=b"bad"), 1)

    def test_a_server_error_keeps_the_backup(self):
        self.assert_failed_posts_keep_the_backup(
            fake.Reply(status=500, body=b"oops"), 0)

    def test_a_redirect_keeps_the_backup_and_is_not_followed(self):
        elsewhere = self.serve()
        self.assert_failed_posts_keep_the_backup(
            fake.Reply(status=307, body=b"moved",
                       location="http://localhost:%d%s" % (elsewhere.port,
                                                           LOG_PATH)), 0)
        self.assertEqual([], elsewhere.requests)

    def test_a_silent_server_keeps_the_backup(self):
        # Each post gives up after the test build's shorter time-out, not
        # the product's 30 s.
        os.environ["QV_TEST_POST_TIMEOUT_MS"] = "3000"
        self.addCleanup(os.environ.pop, "QV_TEST_POST_TIMEOUT_MS", None)
        self.assert_failed_posts_keep_the_backup(fake.Reply(mode="silent"), 0)

    def serve_storage(self, *faults):
        """The fake object storage, named as the token host in the report
        parameters and behind the compiled-in LBS URLs."""
        storage = jov.FakeJovServices().start()
        self.addCleanup(storage.stop)
        for endpoint, fault in faults:
            storage.inject(endpoint, fault)
        os.environ["QV_TEST_LBS_PORT"] = str(storage.port)
        self.addCleanup(os.environ.pop, "QV_TEST_LBS_PORT", None)
        with open(os.path.join(data_folder(), "dumps", "appParam"), "w") as f:
            json.dump(dict(APP_PARAM, host="127.0.0.1:%d" % storage.port), f)
        return storage

    def posted_monitor_record(self, server):
        self.assertEqual(1, len(server.requests), server.requests)
        _, data = multipart_files(server.requests[0])["crashInfo"]
        records = records_of(zipfile.ZipFile(io.BytesIO(data)).read(
            "bilog.elog.backupde").decode("latin-1"))
        self.assert_crash_records(records)
        return records[0][2]

    def assert_crash_data(self, data):
        """A crash data archive as the crash made it: a sound zip holding
        the dump that was written and the walker's analysis text."""
        archive = zipfile.ZipFile(io.BytesIO(data))
        self.assertIsNone(archive.testzip())
        self.watcher.stop()
        dumps = [n for n in self.watcher.seen if n.endswith(".dmp")]
        self.assertEqual(1, len(dumps), self.watcher.seen)
        self.assertIn(dumps[0], archive.namelist())
        self.assertEqual(b"MDMP", archive.read(dumps[0])[:4])
        with open(self.kept_analysis, "rb") as kept:
            self.assertEqual(kept.read(),
                             archive.read("dump_analyse_result.txt"))

    def test_main_crash_data_is_stored_and_deleted_locally(self):
        storage = self.serve_storage()
        server = self.serve()
        self.crash_main()
        # One object, stored whole: its bytes are the archive.
        self.assertEqual(1, len(storage.objects), list(storage.objects))
        (_, key), = storage.objects
        self.assertEqual([], [r for r in storage.requests if r["chunked"]])
        self.assert_crash_data(storage.object_bytes(key))
        self.assertEqual([], [n for n in self.dumps()
                              if ARCHIVE_NAME.match(n)])
        self.assertIn("Crash data url: %s\n" % key,
                      self.log().replace("\r\n", "\n"))
        self.assertNotIn("Crash data upload failed", self.log())
        self.assertEqual(key, self.posted_monitor_record(server)["resource"])

    def test_main_crash_data_is_kept_when_the_storage_fails(self):
        # Every part upload on both storage servers is refused.
        storage = self.serve_storage(
            ("part:store1", jov.reply(500, times=-1)),
            ("part:store2", jov.reply(500, times=-1)))
        server = self.serve()
        self.crash_main()
        self.assertNotEqual([], storage.of("part:store1"))
        kept = [n for n in self.dumps() if ARCHIVE_NAME.match(n)]
        self.assertEqual(1, len(kept), self.dumps())
        with open(os.path.join(data_folder(), "dumps", kept[0]), "rb") as f:
            self.assert_crash_data(f.read())
        self.assertEqual(1, self.log().count("Crash data upload failed"))
        self.assertNotIn("Crash data url: ", self.log())
        self.assertEqual("Upload Failed",
                         self.posted_monitor_record(server)["resource"])

    def test_renderer_crash_is_reported_and_the_reporter_serves_on(self):
        server = self.serve()
        main = self.start_main()
        renderer = self.start("--type=renderer", "--ptrackid=7", "--x")
        rpid = renderer.expect("registered")["pid"]
        self.command(renderer, "crash")
        # Released once its crash is handled, the report posted by then.
        released = renderer.expect("crash_dump", timeout=240)
        self.assertEqual(flow.WAIT_RELEASED, released["wait_result"])
        renderer.wait()
        self.assertEqual(1, len(server.requests))
        _, data = multipart_files(server.requests[0])["crashInfo"]
        text = zipfile.ZipFile(io.BytesIO(data)).read("bilog.elog.backupde")
        records = records_of(text.decode("latin-1"))
        self.assertEqual(["mobile_monitor", "crash"], [r[1] for r in records])
        crash = records[1][2]
        self.assertEqual("7", crash["trackid"])
        self.assertRegex(json.loads(crash["searchTags"])["process"],
                         r"^renderer_%d_" % rpid)
        self.assertFalse(os.path.exists(bi_backup()))
        # The reporter goes on serving: a new client registers and is
        # announced to the main process.
        late = self.start("--type=renderer", "--ptrackid=8", "--x")
        lpid = late.expect("registered")["pid"]
        main.expect("notice", timeout=60, id=flow.CONNECTED,
                    data="%d_renderer" % lpid)

    def test_without_app_param_a_main_crash_ends_before_any_report(self):
        os.remove(os.path.join(data_folder(), "dumps", "appParam"))
        server = self.serve()
        main = self.crash_main()
        self.assertEqual([], server.requests)
        self.assertTrue(any("Analyse app params failed!" in l
                            for l in main.stderr), main.stderr)
        self.assertFalse(os.path.exists(bi_backup()))
        # Nothing lost: the dump stays for the next start's clean-up rules.
        self.assertEqual(1, len([n for n in self.dumps()
                                 if n.endswith(".dmp")]), self.dumps())



if __name__ == "__main__":
    flow.qv.main()
