#!/usr/bin/env python3
"""The HTTP server of the network tests, on 127.0.0.1 at a port of the system's choice.

Usage: http_server.py RECORDS. Prints "port N" once it listens. Every request is appended to
RECORDS before it is answered, one line of tab-separated fields: key, method, target, header
lines, body (each hex-encoded except key and method), and the requests of the same key being
served at the moment it arrived (this one included).

The answer is chosen by "name=value" items after the first "?" of the target, "&" between
them; k=KEY names the request's test:
  (none)        200 with the request body as the answer
  hex=HEX       200 with these bytes
  status=N      that status instead of 200
  empty         200 with no body
  redirect      302 to /elsewhere, with the body "moved"
  delay=MS      waits that long before answering
  stall         never answers; waits until the client goes
  stallfirst=N  stalls the first N requests of its key, then answers as usual
  stallafter=W  sends the start of a reply and then stays silent until the client goes; W is
                "status" (the status line), "headers" (it and some header lines) or "chunk"
                (the headers of a chunked body and its first chunk, "part")
  drop          closes the connection without an answer
  dropfor=MS    drops the requests of its key for MS after its first, then answers as usual
  forever       sends data until the client goes
  trickle=MS    sends one byte, then one more every MS, until the client goes
  cut           announces 100 bytes, sends 10 and closes
  raw=HEX       sends these bytes as the whole reply, no status line of its own, and closes;
                with hold, stays silent after them until the client goes
  endless       a status line, then header lines until the client goes
  longheader    a status line, then one header line of 4 MiB, then the body "late"
  size=N        200 with N bytes "x", as fast as the client takes them
"""

import binascii
import http.server
import select
import sys
import threading
import time

records_path = sys.argv[1]
lock = threading.Lock()
active = {}
seen = {}
first_seen = {}


def client_gone(sock, seconds):
    """Waits up to Seconds; true as soon as the client has closed its side."""
    readable, _, _ = select.select([sock], [], [], seconds)
    if not readable:
        return False
    try:
        return sock.recv(1, 0x2) == b""  # MSG_PEEK
    except OSError:
        return True


STALL_STARTS = {
    "status": b"HTTP/1.1 200 OK\r\n",
    "headers": b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Served-By: test\r\n",
    "chunk": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n4\r\npart\r\n",
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.serve()

    def do_POST(self):
        self.serve()

    def serve(self):
        target = self.requestline.split(" ")[1]
        items = {}
        if "?" in target:
            for item in target.split("?", 1)[1].split("&"):
                name, _, value = item.partition("=")
                items[name] = value
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length > 0 else b""
        key = items.get("k", "")
        header_text = "".join("%s: %s\r\n" % (n, v) for n, v in self.headers.items())
        with lock:
            active[key] = active.get(key, 0) + 1
            count = seen.get(key, 0) + 1
            seen[key] = count
            first = first_seen.setdefault(key, time.monotonic())
            with open(records_path, "a") as f:
                f.write("\t".join([key, self.command, target.encode("latin-1").hex(),
                                   header_text.encode("latin-1").hex(), body.hex(), str(active[key])]) + "\n")
        self.key = key
        self.counted = True
        try:
            self.answer(items, body, count, time.monotonic() - first)
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            self.uncount()
        self.close_connection = True

    def uncount(self):
        """Ends this request's count before the client can see any answer, so that a request the
        client makes once it has the answer never meets this one still counted."""
        if self.counted:
            self.counted = False
            with lock:
                active[self.key] -= 1

    def stall(self):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not client_gone(self.connection, 0.02):
            pass

    def head(self, status, length=None, extra=()):
        self.uncount()
        self.send_response_only(status)
        for name, value in extra:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

    def answer(self, items, body, count, since_first):
        sock = self.connection
        if "delay" in items:
            time.sleep(int(items["delay"]) / 1000)
        if "stall" in items or count <= int(items.get("stallfirst", "0")):
            self.stall()
            return
        if "stallafter" in items:
            self.uncount()
            self.wfile.write(STALL_STARTS[items["stallafter"]])
            self.wfile.flush()
            self.stall()
            return
        if "drop" in items or since_first * 1000 < int(items.get("dropfor", "0")):
            return
        if "raw" in items:
            self.uncount()
            self.wfile.write(binascii.unhexlify(items["raw"]))
            self.wfile.flush()
            if "hold" in items:
                self.stall()
            return
        if "endless" in items:
            self.uncount()
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            for n in range(10000000):
                self.wfile.write(b"X-More-%d: %s\r\n" % (n, b"m" * 64))
            return
        if "longheader" in items:
            self.uncount()
            self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Long: " + b"l" * (4 << 20) +
                             b"\r\nContent-Length: 4\r\nConnection: close\r\n\r\nlate")
            self.wfile.flush()
            return
        status = int(items.get("status", "200"))
        if "size" in items:
            left = int(items["size"])
            self.head(status, left)
            chunk = b"x" * (1 << 20)
            while left > 0:
                self.wfile.write(chunk[:min(left, len(chunk))])
                left -= len(chunk)
            return
        if "forever" in items:
            self.head(status)
            chunk = b"x" * 65536
            while True:
                self.wfile.write(chunk)
        if "trickle" in items:
            self.head(status)
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                self.wfile.write(b"t")
                self.wfile.flush()
                if client_gone(sock, int(items["trickle"]) / 1000):
                    return
            return
        if "cut" in items:
            self.head(status, 100)
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            return
        if "redirect" in items:
            data = b"moved"
            self.head(302, len(data), [("Location", "/elsewhere")])
            self.wfile.write(data)
            return
        if "empty" in items:
            self.head(status, 0)
            return
        data = binascii.unhexlify(items["hex"]) if "hex" in items else body
        self.head(status, len(data))
        self.wfile.write(data)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 1024


server = Server(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
