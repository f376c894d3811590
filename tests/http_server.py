#!/usr/bin/env python3
"""HTTP and HTTPS server on 127.0.0.1 for the tests, with scripted behaviours.

Commands:
  http_server.py start STATE_DIR ROOT [CERT KEY]
      Starts the server detached from the caller (output to STATE_DIR/server.log), waits until it
      listens and returns. The ports are in STATE_DIR/port and, when CERT and KEY are given and
      exist, STATE_DIR/tls_port. A server left over from an earlier run is stopped first.
  http_server.py stop STATE_DIR
      Stops the server started with STATE_DIR.
  http_server.py serve STATE_DIR ROOT [CERT KEY]
      Runs the server in the foreground.

Both ports serve the same things: HTTP/1.1 with keep-alive, GET and HEAD.

Any path outside /_/ is a static file below ROOT ("Range: bytes=A-B" gives 206, an unknown file 404).

Generated bodies: the body of N bytes has byte i equal to i % 251, so a test can check it byte for
byte without a copy. In the paths below, N, K and R are decimal numbers.
  /_/bytes/N                 N bytes with Content-Length and Accept-Ranges; honours Range.
  /_/chunked/N               N bytes, chunked: no length is known in advance.
  /_/status/CODE             status CODE with a short text body (404, 500, ...).
  /_/redirect?to=URL&code=C  redirect (C defaults to 302) to URL, absolute or relative.
  /_/redirect-loop           redirects to itself without end.
  /_/to-http/PATH            redirects to http://127.0.0.1:PORT/PATH on the plain port: from the TLS
                             port it is a redirect from HTTPS down to HTTP.
  /_/stall/N?after=K         announces N bytes, sends K of them, then nothing until the client leaves.
  /_/drop/N?after=K          announces N bytes, sends K of them and closes the connection.
      &reset=1               closes it with a reset (RST) in place of an orderly close.
      &ranges=1              advertises and honours Range; every reply, ranged ones too, again
                             breaks off after K bytes of its own, so a client needs several resumes.
  /_/slow/N?rate=R           N bytes with Content-Length at about R bytes per second.
"""
import fcntl
import http.server
import os
import signal
import socket
import ssl
import struct
import subprocess
import sys
import termios
import threading
import time
import urllib.parse

PATTERN_PERIOD = 251
# One period repeated; slicing it at (offset % 251) yields the pattern from any offset.
_BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD)) * 1045
STALL_LIMIT_SECONDS = 300


def pattern(offset, length):
    """The generated body's bytes [offset, offset + length)."""
    out = bytearray()
    while length > 0:
        start = offset % PATTERN_PERIOD
        piece = _BLOCK[start:start + min(length, len(_BLOCK) - PATTERN_PERIOD)]
        out += piece
        offset += len(piece)
        length -= len(piece)
    return bytes(out)


def unacknowledged_bytes(connection):
    """Bytes sent on |connection| that the peer has not acknowledged yet (Linux SIOCOUTQ)."""
    return struct.unpack("i", fcntl.ioctl(connection.fileno(), termios.TIOCOUTQ, b"\0\0\0\0"))[0]


def parse_range(header, size):
    """(first, last) of a single "bytes=A-B", "bytes=A-" or "bytes=-S" range, None if absent or unusable."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    first, _, last = header[6:].strip().partition("-")
    try:
        if first == "":
            length = int(last)
            return (max(size - length, 0), size - 1) if length > 0 and size > 0 else None
        first = int(first)
        last = int(last) if last else size - 1
    except ValueError:
        return None
    if first >= size or last < first:
        return None
    return first, min(last, size - 1)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TolmTestServer/1.0"

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.server.name, format % args))

    def do_HEAD(self):
        self.dispatch(head=True)

    def do_GET(self):
        self.dispatch(head=False)

    def dispatch(self, head):
        self.head = head
        url = urllib.parse.urlsplit(self.path)
        self.query = dict(urllib.parse.parse_qsl(url.query))
        parts = url.path.split("/")
        if url.path.startswith("/_/"):
            name = parts[2]
            argument = "/".join(parts[3:])
            action = getattr(self, "scripted_" + name.replace("-", "_"), None)
            if action is None:
                return self.send_text(404, "no such behaviour\n")
            try:
                return action(argument)
            except ValueError:
                return self.send_text(400, "bad argument\n")
        return self.serve_file(urllib.parse.unquote(url.path))

    # Plain replies.

    def send_text(self, code, text, extra=()):
        body = text.encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if not self.head:
            self.wfile.write(body)

    def send_ranged(self, size, ranges=True, extra=()):
        """The headers of a 200 or 206 reply of |size| bytes; gives the span [first, end) to send."""
        wanted = parse_range(self.headers.get("Range"), size) if ranges else None
        if ranges and self.headers.get("Range") and wanted is None:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return None
        first, last = wanted if wanted else (0, size - 1)
        self.send_response(206 if wanted else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(last - first + 1))
        if ranges:
            self.send_header("Accept-Ranges", "bytes")
        if wanted:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        return first, last + 1

    def write_body(self, read, first, end, limit=None, rate=None):
        """Writes bytes [first, end), at most |limit| of them, at about |rate| bytes per second."""
        if self.head:
            return
        offset = first
        stop = end if limit is None else min(end, first + limit)
        step = 64 * 1024 if rate is None else max(1, min(64 * 1024, rate // 10))
        while offset < stop:
            piece = read(offset, min(step, stop - offset))
            self.wfile.write(piece)
            offset += len(piece)
            if rate is not None:
                self.wfile.flush()
                time.sleep(len(piece) / rate)
        self.wfile.flush()

    # Static files.

    def serve_file(self, path):
        root = os.path.realpath(self.server.root)
        full = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return self.send_text(404, "not found\n")
        with open(full, "rb") as f:
            stat = os.fstat(f.fileno())

            def read(offset, length):
                f.seek(offset)
                return f.read(length)

            extra = [("ETag", '"%x-%x"' % (stat.st_size, int(stat.st_mtime))),
                     ("Last-Modified", self.date_time_string(stat.st_mtime))]
            span = self.send_ranged(stat.st_size, extra=extra)
            if span:
                self.write_body(read, *span)

    # Scripted behaviours: scripted_NAME serves /_/NAME/ARGUMENT.

    def scripted_bytes(self, argument):
        span = self.send_ranged(int(argument))
        if span:
            self.write_body(pattern, *span)

    def scripted_chunked(self, argument):
        size = int(argument)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if self.head:
            return
        offset = 0
        while offset < size:
            piece = pattern(offset, min(64 * 1024, size - offset))
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            offset += len(piece)
        self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def scripted_status(self, argument):
        code = int(argument)
        self.send_text(code, "status %d\n" % code)

    def scripted_redirect(self, argument):
        self.send_text(int(self.query.get("code", "302")), "moved\n",
                       [("Location", self.query.get("to", "/"))])

    def scripted_redirect_loop(self, argument):
        self.send_text(302, "moved\n", [("Location", "/_/redirect-loop")])

    def scripted_to_http(self, argument):
        target = "http://127.0.0.1:%d/%s" % (self.server.plain_port, argument)
        self.send_text(302, "moved\n", [("Location", target)])

    def scripted_stall(self, argument):
        size = int(argument)
        after = int(self.query.get("after", "0"))
        self.send_ranged(size, ranges=False)
        self.write_body(pattern, 0, size, limit=after)
        # Waits for the client to close its end (a read gives b"") or for the limit.
        self.connection.settimeout(0.5)
        deadline = time.monotonic() + STALL_LIMIT_SECONDS
        while time.monotonic() < deadline and not self.server.stopping.is_set():
            try:
                if not self.connection.recv(4096):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        self.close_connection = True

    def scripted_drop(self, argument):
        size = int(argument)
        after = int(self.query.get("after", "0"))
        span = self.send_ranged(size, ranges=self.query.get("ranges") == "1")
        if not span:
            return
        self.write_body(pattern, *span, limit=after)
        self.close_connection = True
        if self.query.get("reset") == "1" and span[1] - span[0] > after:
            # A reset throws away what the client has not read yet (Wine reports the reset before the
            # data it still holds), so the client gets the bytes first: all acknowledged, then a moment.
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and unacknowledged_bytes(self.connection) > 0:
                time.sleep(0.01)
            time.sleep(0.3)
            # Closed here with a zero linger time, before the handler's orderly shutdown sends a FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.rfile.close()
            self.wfile.close()
            self.connection.close()

    def scripted_slow(self, argument):
        size = int(argument)
        rate = max(1, int(self.query.get("rate", "65536")))
        span = self.send_ranged(size, ranges=False)
        self.write_body(pattern, *span, rate=rate)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, name, root, tls_context=None):
        super().__init__(("127.0.0.1", 0), Handler)
        self.name = name
        self.root = root
        self.plain_port = 0
        self.stopping = threading.Event()
        if tls_context:
            # The handshake runs on the request's own thread, so a slow client holds up nobody.
            self.socket = tls_context.wrap_socket(self.socket, server_side=True, do_handshake_on_connect=False)

    def handle_error(self, request, client_address):
        sys.stderr.write("%s: request from %s ended: %s\n" % (self.name, client_address, sys.exc_info()[1]))

    def port(self):
        return self.server_address[1]


def write_atomically(path, text):
    temporary = path + ".new"
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, path)


def serve(state_dir, root, cert=None, key=None):
    os.makedirs(state_dir, exist_ok=True)
    os.makedirs(root, exist_ok=True)
    servers = [Server("http", root)]
    if cert and key and os.path.exists(cert) and os.path.exists(key):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        servers.append(Server("https", root, context))
    for server in servers:
        server.plain_port = servers[0].port()
        threading.Thread(target=server.serve_forever, daemon=True).start()

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    write_atomically(os.path.join(state_dir, "pid"), "%d\n" % os.getpid())
    if len(servers) > 1:
        write_atomically(os.path.join(state_dir, "tls_port"), "%d\n" % servers[1].port())
    write_atomically(os.path.join(state_dir, "port"), "%d\n" % servers[0].port())
    sys.stderr.write("listening on %s\n" % ", ".join("%s %d" % (s.name, s.port()) for s in servers))
    sys.stderr.flush()
    while not done.wait(1):
        pass
    for server in servers:
        server.stopping.set()
        server.shutdown()
        server.server_close()


def stop(state_dir):
    pid_file = os.path.join(state_dir, "pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.05)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    for name in ("pid", "port", "tls_port"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass


def start(state_dir, root, *tls):
    stop(state_dir)
    os.makedirs(state_dir, exist_ok=True)
    log = open(os.path.join(state_dir, "server.log"), "ab")
    # A session of its own and no inherited pipes: the caller (ctest) returns while the server runs.
    process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state_dir, root, *tls],
                               stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    port_file = os.path.join(state_dir, "port")
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if process.poll() is not None:
            sys.exit("the server ended at once, see %s" % log.name)
        if os.path.exists(port_file):
            with open(port_file) as f:
                print("listening on 127.0.0.1:%s" % f.read().strip())
            return
        time.sleep(0.05)
    process.kill()
    sys.exit("the server did not start listening")


def main(argv):
    commands = {"start": (start, 2, 4), "stop": (stop, 1, 1), "serve": (serve, 2, 4)}
    if len(argv) < 2 or argv[1] not in commands:
        sys.exit(__doc__)
    command, least, most = commands[argv[1]]
    arguments = argv[2:]
    if not least <= len(arguments) <= most:
        sys.exit(__doc__)
    command(*arguments)


if __name__ == "__main__":
    main(sys.argv)
