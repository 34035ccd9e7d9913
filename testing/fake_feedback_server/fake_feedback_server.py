#!/usr/bin/env python3
"""A stand-in for the feedback endpoint, on 127.0.0.1 only.

Records every request (method, path, headers in order, raw body) as one JSON
line and answers as told: a status with a body, a wrong or huge
Content-Length, a reply that never comes, or a dropped connection. It stops
by itself after a bounded lifetime.

Used as a module (FakeFeedbackServer) by the test drivers, or from the
command line, where it prints "port N" once it listens.
"""

import argparse
import base64
import json
import socket
import socketserver
import sys
import threading

MAX_HEAD_BYTES = 64 * 1024
MAX_BODY_BYTES = 64 * 1024 * 1024
SOCKET_TIMEOUT_S = 30.0

# How to answer. "normal": status line, headers, body. "silent": read the
# request and never answer. "drop": read the request and close at once.
# "stall": send the status line, headers and body, then hold the connection
# open without another byte (with a Content-Length above the body, a reply
# that stops half-way). "drip": send the whole reply one byte at a time,
# drip_s seconds apart, so no single wait is long.
MODES = ("normal", "silent", "drop", "stall", "drip")


class Reply:
    def __init__(self, mode="normal", status=200, body=b"", content_length=None,
                 chunked=False, location=None, drip_s=1.0,
                 drip_head=True, status_line=None):
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        self.mode = mode
        self.status = status
        self.body = body
        # None: the true length. "omit": no header. Anything else: sent as is.
        self.content_length = content_length
        # Sends the body in chunks of 3 bytes, with no Content-Length.
        self.chunked = chunked
        # Sent as a Location header (for redirects).
        self.location = location
        self.drip_s = drip_s
        # False: the head goes at once and only the body drips.
        self.drip_head = drip_head
        # Sent as is in place of "HTTP/1.1 <status> Fake".
        self.status_line = status_line

    def head(self):
        lines = [self.status_line or "HTTP/1.1 %d Fake" % self.status]
        if self.chunked:
            lines.append("Transfer-Encoding: chunked")
        elif self.content_length is None:
            lines.append("Content-Length: %d" % len(self.body))
        elif self.content_length != "omit":
            lines.append("Content-Length: %s" % self.content_length)
        if self.location:
            lines.append("Location: %s" % self.location)
        lines.append("Content-Type: text/plain; charset=utf-8")
        lines.append("Connection: close")
        return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")

    def payload(self):
        if not self.chunked:
            return self.body
        pieces = [self.body[i:i + 3] for i in range(0, len(self.body), 3)]
        return b"".join(b"%x\r\n%s\r\n" % (len(p), p) for p in pieces) + \
            b"0\r\n\r\n"


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(SOCKET_TIMEOUT_S)
        try:
            if self.server.owner.tls_context:
                sock = self.server.owner.tls_context.wrap_socket(
                    sock, server_side=True)
                self.server.owner.tls_handshakes += 1
            self._serve(sock)
        except (OSError, ValueError) as error:
            self.server.owner.errors.append(str(error))
        finally:
            if sock is not self.request:
                sock.close()

    def _serve(self, sock):
        owner = self.server.owner
        owner.record(_read_request(sock))
        reply = owner.reply
        if reply.mode == "drop":
            return
        if reply.mode == "silent":
            _wait_for_close(sock, owner.stopping)
            return
        if reply.mode == "drip":
            dripped = reply.head() + reply.payload()
            if not reply.drip_head:
                sock.sendall(reply.head())
                dripped = reply.payload()
            for i, byte in enumerate(dripped):
                if owner.stopping.wait(reply.drip_s if i else 0):
                    return
                sock.sendall(bytes([byte]))
            return
        sock.sendall(reply.head() + reply.payload())
        if reply.mode == "stall":
            _wait_for_close(sock, owner.stopping)


def _read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_HEAD_BYTES:
            raise ValueError("request head too long")
        chunk = sock.recv(65536)
        if not chunk:
            raise ValueError("connection closed inside the request head")
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    lines = head.decode("iso-8859-1").split("\r\n")
    method, path, _version = lines[0].split(" ", 2)
    headers = []
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers.append([name, value.strip()])
    length = 0
    for name, value in headers:
        if name.lower() == "content-length":
            length = int(value)
    if length > MAX_BODY_BYTES:
        raise ValueError("request body too long")
    body = rest
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ValueError("connection closed inside the request body")
        body += chunk
    return {
        "method": method,
        "path": path,
        "headers": headers,
        "body": base64.b64encode(body[:length]).decode("ascii"),
    }


def _wait_for_close(sock, stopping):
    sock.settimeout(0.2)
    while not stopping.is_set():
        try:
            if not sock.recv(4096):
                return
        except socket.timeout:
            continue
        except OSError:
            return


class _TcpServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class FakeFeedbackServer:
    """Serves on a free port of 127.0.0.1 until stop() or the lifetime ends."""

    def __init__(self, reply=None, record_path=None, lifetime_s=120.0,
                 tls_context=None):
        self.reply = reply or Reply()
        self.tls_context = tls_context  # an ssl.SSLContext serves https
        self.record_path = record_path
        self.lifetime_s = lifetime_s
        self.requests = []
        self.errors = []
        self.tls_handshakes = 0
        self.stopping = threading.Event()
        self._lock = threading.Lock()
        self._server = _TcpServer(("127.0.0.1", 0), _Handler)
        self._server.owner = self
        self.port = self._server.server_address[1]
        self._thread = None
        self._timer = None

    def record(self, record):
        with self._lock:
            self.requests.append(record)
            if self.record_path:
                with open(self.record_path, "a", encoding="utf-8") as out:
                    out.write(json.dumps(record) + "\n")

    def start(self):
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1},
                                        daemon=True)
        self._thread.start()
        self._timer = threading.Timer(self.lifetime_s, self.stop)
        self._timer.daemon = True
        self._timer.start()
        return self.port

    def stop(self):
        if self.stopping.is_set():
            return
        self.stopping.set()
        if self._timer:
            self._timer.cancel()
        self._server.shutdown()
        self._server.server_close()

    def wait(self):
        self._thread.join()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()


def read_records(path):
    """The requests of a record file, bodies decoded to bytes."""
    records = []
    with open(path, encoding="utf-8") as source:
        for line in source:
            record = json.loads(line)
            record["body"] = base64.b64decode(record["body"])
            records.append(record)
    return records


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mode", choices=MODES, default="normal")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--body", default="ok")
    parser.add_argument("--content-length", default=None,
                        help='a false length to claim, or "omit"')
    parser.add_argument("--record", help="append requests here as JSON lines")
    parser.add_argument("--lifetime", type=float, default=120.0,
                        help="seconds before it stops by itself")
    args = parser.parse_args(argv)
    reply = Reply(args.mode, args.status, args.body.encode("utf-8"),
                  args.content_length)
    server = FakeFeedbackServer(reply, args.record, args.lifetime)
    server.start()
    print("port %d" % server.port, flush=True)
    try:
        server.wait()
    except KeyboardInterrupt:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
