#!/usr/bin/env python3
"""Stand-ins for the object-storage services, on 127.0.0.1 only.

One server plays all three: the token service
(POST /api/jov/token/whalealloc), the four LBS endpoints
(GET /general/lbs, /region-a/lbs, /region-b/lbs, /overseas/lbs) and two
storage servers (/store1 and /store2: the offset query
GET <store>/<bucket>/<object>?uploadContext&context=..&version=.. and the
part upload POST <store>/<bucket>/<object>?offset=..&complete=..
[&context=..]&version=..). It answers as a sound service does, records
every request, reassembles each stored object from its parts, and injects
faults per endpoint when told to.

Endpoint names for faults: "token", "lbs:general", "lbs:region-a",
"lbs:region-b", "lbs:overseas", "offset:store1", "offset:store2",
"part:store1", "part:store2".
"""

import hashlib
import http.server
import json
import socket
import threading
import time
import urllib.parse

BUCKET = "qvcrash"
TOKEN_PATH = "/api/jov/token/whalealloc"
LBS_NAMES = ("general", "region-a", "region-b", "overseas")
STORES = ("store1", "store2")
MAX_BODY_BYTES = 64 * 1024 * 1024
HUGE_BODY = b"x" * (10 * 1024 * 1024)


class Fault:
    """One injected answer. kind: "reply" (status and body as given),
    "drop" (close without a reply), "silent" (accept, never answer),
    "wrong_offset" (a part reply one byte off), "late" (the sound answer,
    once |release| is set or delay_s seconds after the request: keep
    delay_s below the client's 20 s without a byte, or the client gives up
    first)."""

    def __init__(self, kind="reply", status=200, body=b"", times=1,
                 delay_s=0.0, release=None):
        self.kind = kind
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.times = times  # -1: for ever
        self.delay_s = delay_s
        self.release = release or threading.Event()


def reply(status=200, body=b"", times=1):
    return Fault("reply", status, body, times)


def late(delay_s, release=None, times=1):
    return Fault("late", times=times, delay_s=delay_s, release=release)


class FakeJovServices:
    def __init__(self):
        self.requests = []
        self.objects = {}      # (bucket, object) -> bytearray
        self.contexts = {}     # context -> (bucket, object)
        self.faults = {}       # endpoint -> [Fault]
        self.lbs_reply = None  # None: both stores, no extra LBS
        self.object_key = None  # None: a fresh key for every token
        self.errors = []
        self.stopping = threading.Event()
        self._lock = threading.Lock()
        self._counter = 0
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                       _Handler)
        self._server.daemon_threads = True
        self._server.owner = self
        self.port = self._server.server_address[1]
        self._thread = None

    # --- set-up -----------------------------------------------------------
    def inject(self, endpoint, *faults):
        with self._lock:
            self.faults.setdefault(endpoint, []).extend(faults)

    def store_url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.port, name)

    def start(self):
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1},
                                        daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self.stopping.is_set():
            return
        self.stopping.set()
        self._server.shutdown()
        self._server.server_close()

    # --- what came --------------------------------------------------------
    def of(self, endpoint):
        return [r for r in self.requests if r["endpoint"] == endpoint]

    def parts(self):
        return [r for r in self.requests if r["endpoint"].startswith("part:")]

    def object_bytes(self, key):
        return bytes(self.objects.get((BUCKET, key), b""))

    # --- serving ----------------------------------------------------------
    def next_fault(self, endpoint):
        with self._lock:
            queue = self.faults.get(endpoint) or []
            if not queue:
                return None
            fault = queue[0]
            if fault.times > 0:
                fault.times -= 1
                if fault.times == 0:
                    queue.pop(0)
            return fault

    def new_name(self, prefix):
        with self._lock:
            self._counter += 1
            return "%s-%d" % (prefix, self._counter)

    def record(self, record):
        with self._lock:
            self.requests.append(record)


def endpoint_of(method, path, query):
    parts = path.strip("/").split("/")
    if method == "POST" and path == TOKEN_PATH:
        return "token"
    if method == "GET" and len(parts) == 2 and parts[1] == "lbs" and \
            parts[0] in LBS_NAMES:
        return "lbs:" + parts[0]
    if len(parts) >= 3 and parts[0] in STORES:
        if method == "GET" and "uploadContext" in query:
            return "offset:" + parts[0]
        if method == "POST" and "offset" in query:
            return "part:" + parts[0]
    return "unknown"


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 120

    def log_message(self, *args):
        pass

    def do_GET(self):
        self._serve()

    def do_POST(self):
        self._serve()

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            body = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0], 16)
                if size == 0:
                    self.rfile.readline()
                    return body, True
                body += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        if length > MAX_BODY_BYTES:
            raise ValueError("body too long")
        return self.rfile.read(length), False

    def _serve(self):
        owner = self.server.owner
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        endpoint = endpoint_of(self.command, url.path, query)
        body, chunked = self._read_body()
        record = {
            "endpoint": endpoint,
            "method": self.command,
            "path": url.path,
            "raw_query": url.query,
            "query": {k: v[0] for k, v in query.items()},
            "headers": list(self.headers.items()),
            "content_length": self.headers.get("Content-Length"),
            "chunked": chunked,
            "body": body,
        }
        owner.record(record)
        fault = owner.next_fault(endpoint)
        if fault and fault.kind == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if fault and fault.kind == "silent":
            owner.stopping.wait(300)
            self.close_connection = True
            return
        if fault and fault.kind == "reply":
            self._answer(fault.status, fault.body)
            return
        if fault and fault.kind == "late":
            deadline = time.monotonic() + fault.delay_s
            while not fault.release.wait(0.05):
                if owner.stopping.is_set():
                    self.close_connection = True
                    return
                if time.monotonic() >= deadline:
                    break
        status, answer = self._sound_answer(owner, endpoint, url.path, record,
                                            fault)
        self._answer(status, answer)

    def _sound_answer(self, owner, endpoint, path, record, fault):
        query = record["query"]
        if endpoint == "token":
            key = owner.object_key or "crash/%s.zip" % owner.new_name("obj")
            return 200, {"code": 200, "data": {
                "bucket": BUCKET, "objectKey": key,
                "token": owner.new_name("tok")}}
        if endpoint.startswith("lbs:"):
            if owner.lbs_reply is not None:
                return 200, owner.lbs_reply
            return 200, {"upload": [owner.store_url(s) for s in STORES],
                         "lbs": ""}
        _, bucket, obj = [urllib.parse.unquote(p)
                          for p in path.strip("/").split("/", 2)]
        if endpoint.startswith("offset:"):
            if owner.contexts.get(query.get("context")) != (bucket, obj):
                return 404, {"error": "no such context"}
            return 200, {"offset": len(owner.objects[(bucket, obj)])}
        if endpoint.startswith("part:"):
            return self._store_part(owner, bucket, obj, record, fault)
        return 404, {"error": "unknown endpoint"}

    def _store_part(self, owner, bucket, obj, record, fault):
        query = record["query"]
        if not dict(record["headers"]).get("x-jov-token"):
            return 403, {"error": "no token"}
        offset = int(query["offset"])
        context = query.get("context", "")
        with owner._lock:
            stored = owner.objects.setdefault((bucket, obj), bytearray())
            # Offset 0 starts the object afresh, whatever the context;
            # later parts must carry a context of this object.
            if offset == 0:
                stored.clear()
            elif owner.contexts.get(context) != (bucket, obj):
                return 400, {"error": "unknown context"}
            if offset != len(stored):
                return 400, {"error": "offset %d, stored %d" % (
                    offset, len(stored))}
            stored.extend(record["body"])
            new_context = "ctx-%d-%d" % (len(owner.contexts), len(stored))
            owner.contexts[new_context] = (bucket, obj)
            end = len(stored)
        record["reply_context"] = new_context
        if fault and fault.kind == "wrong_offset":
            end += 1
        return 200, {"requestId": "req-%d" % end, "context": new_context,
                     "callbackRetMsg": "", "offset": end}

    def _answer(self, status, body):
        if not isinstance(body, bytes):
            body = json.dumps(body).encode("utf-8")
        try:
            self.send_response(status, "Fake")
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
        except OSError as error:
            self.server.owner.errors.append(str(error))
        self.close_connection = True


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def main():
    """Serves as a sound service for the demonstration: prints "port N",
    and at its end (after --lifetime seconds or on SIGTERM) writes one line
    per stored object to --objects: its key, size and SHA-256."""
    import argparse
    import signal
    import sys
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--objects", required=True)
    args = parser.parse_args()
    services = FakeJovServices().start()
    print("port %d" % services.port, flush=True)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait(args.lifetime)
    services.stop()
    with open(args.objects, "w") as out:
        for (bucket, key), data in sorted(services.objects.items()):
            out.write("%s/%s %d %s\n" % (bucket, key, len(data),
                                         sha256(bytes(data))))
    sys.exit(0)


if __name__ == "__main__":
    main()
