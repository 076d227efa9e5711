"""A small HTTP layer over http.server: request parsing, routing, replies.

Form values and query values arrive percent-encoded (the client encodes every
byte it sends) or as raw bytes; both decode to the same bytes. The charset of
a value is chosen by the endpoint: `Request.text(name, "gbk")` decodes with
the charset the client sends that value in and falls back to the other one
when the bytes are not valid in it.
"""

import http.cookies
import http.server
import io
import os
import socket
import sys
import threading
import time
import traceback
import urllib.parse

FORM_LIMIT = 1024 * 1024           # bodies of ordinary forms, read whole
UPLOAD_LIMIT = 256 * 1024 * 1024   # streamed bodies (the web-upload form), never held in memory
DRAIN_LIMIT = 8 * 1024 * 1024      # refused bodies up to this size are read away (in blocks) first


BODY_RATE = 64 * 1024              # slowest body accepted, bytes per second, on top of the request time


def _thread_limit():
    value = os.environ.get("TARNWICK_HTTP_THREADS", "")
    return min(512, max(1, int(value))) if value.strip().isdigit() else 64


def _request_seconds():
    """Time a request has for its line and headers, and a body for its first bytes."""
    value = os.environ.get("TARNWICK_REQUEST_SECONDS", "")
    return min(3600, max(1, int(value))) if value.strip().isdigit() else 30


class _DeadlineReader(io.RawIOBase):
    """The socket reads of one connection, each bounded by the time left until
    the deadline of the request being read. Between requests (no deadline) a
    read waits up to the idle time-out; the first byte of a request starts the
    deadline of its head. The socket keeps the idle time-out for writes."""

    def __init__(self, sock, idle):
        super().__init__()
        self.sock = sock
        self.idle = idle
        self.deadline = None
        self.head_seconds = None

    def readable(self):
        return True

    def await_request(self, head_seconds):
        self.deadline, self.head_seconds = None, head_seconds

    def allow(self, seconds):
        self.deadline, self.head_seconds = time.monotonic() + seconds, None

    def readinto(self, buf):
        timeout = self.idle
        if self.deadline is not None:
            timeout = self.deadline - time.monotonic()
            if timeout <= 0:
                raise TimeoutError("request deadline passed")
        self.sock.settimeout(timeout)
        try:
            n = self.sock.recv_into(buf)
        finally:
            self.sock.settimeout(self.idle)
        if n and self.head_seconds is not None:
            self.allow(self.head_seconds)
        return n


def safe(func):
    """Marks a handler without side effects: HEAD may run it (and send only the headers)."""
    func.safe = True
    return func


def streamed(func):
    """Marks a handler that reads its body itself from req.stream (up to UPLOAD_LIMIT)."""
    func.streamed = True
    return func


class BadRequest(Exception):
    """Raised by handlers for input they refuse; answered with the endpoint's failure text."""


def parse_pairs(raw):
    """b"a=1&b=%41" -> {b"a": b"1", b"b": b"A"}; the first occurrence of a key wins."""
    out = {}
    for part in raw.split(b"&"):
        if not part:
            continue
        key, _, value = part.partition(b"=")
        key = urllib.parse.unquote_to_bytes(key)
        if key not in out:
            out[key] = urllib.parse.unquote_to_bytes(value)
    return out


def decode(data, charset):
    other = "utf-8" if charset == "gbk" else "gbk"
    for cs in (charset, other):
        try:
            return data.decode("gb18030" if cs == "gbk" else cs)
        except UnicodeDecodeError:
            continue
    return data.decode("utf-8", "replace")


class BodyStream:
    """The unread body of a request: at most `remaining` more bytes from the socket."""

    def __init__(self, rfile, length):
        self.rfile = rfile
        self.remaining = length

    def read(self, n=65536):
        if self.remaining <= 0:
            return b""
        chunk = self.rfile.read(min(n, self.remaining))
        if not chunk:
            self.remaining = 0
            raise BadRequest("body ended early")
        self.remaining -= len(chunk)
        return chunk


class Request:
    def __init__(self, handler, method, path, query, body, stream=None):
        self.handler = handler
        self.method = method
        self.path = path
        self.query = parse_pairs(query)
        self.body = body
        self.stream = stream     # BodyStream for streamed handlers, else None
        self.refused = False     # set when the session does not allow what was asked
        ctype = handler.headers.get("Content-Type", "")
        self.form = {} if ctype.startswith("multipart/") or stream is not None else parse_pairs(body)
        self.cookies = {}
        raw_cookie = handler.headers.get("Cookie")
        if raw_cookie:
            try:
                jar = http.cookies.SimpleCookie()
                jar.load(raw_cookie)
                self.cookies = {k: v.value for k, v in jar.items()}
            except http.cookies.CookieError:
                self.cookies = {}
        self.headers = handler.headers

    def raw(self, name, source="any"):
        key = name.encode()
        if source in ("any", "form") and key in self.form:
            return self.form[key]
        if source in ("any", "query") and key in self.query:
            return self.query[key]
        return None

    def text(self, name, charset="gbk", source="any", default=""):
        value = self.raw(name, source)
        return default if value is None else decode(value, charset)

    def number(self, name, source="any"):
        """An integer value or None when missing or not a number."""
        value = self.text(name, "utf-8", source).strip()
        if not value or not value.lstrip("-").isdigit() or len(value) > 18:
            return None
        return int(value)


class Reply:
    def __init__(self, body=b"", status=200, content_type="text/plain; charset=gbk", headers=None):
        self.body = body
        self.status = status
        self.content_type = content_type
        self.headers = list(headers or [])

    def set_cookie(self, name, value, max_age=None):
        cookie = "%s=%s; Path=/" % (name, value)
        if max_age is not None:
            cookie += "; Max-Age=%d" % max_age
        self.headers.append(("Set-Cookie", cookie))
        return self


def text_reply(text, charset="gbk", status=200):
    return Reply(text.encode(charset, "replace"), status, "text/plain; charset=" + charset)


def html_reply(html, charset="gbk", status=200):
    return Reply(html.encode(charset, "replace"), status, "text/html; charset=" + charset)


class FileReply:
    """A stored file sent with sendfile, honouring a Range request."""

    def __init__(self, path, download_name="", on_complete_start=None):
        self.path = path
        self.download_name = download_name
        self.on_complete_start = on_complete_start


class RedirectReply(Reply):
    def __init__(self, location):
        super().__init__(b"", 302, "text/plain", [("Location", location)])


def parse_range(header, size):
    """(start, end) inclusive for a single 'bytes=' range, None for no range, 'bad' when unsatisfiable."""
    if not header or not header.startswith("bytes=") or size == 0:
        return None  # an empty file is sent whole: there is no byte to start at
    ranges = header[6:].split(",")[0].strip()
    first, _, last = ranges.partition("-")
    try:
        if first == "":
            n = int(last)
            if n <= 0:
                return "bad"
            return (max(0, size - n), size - 1) if size else "bad"
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start < 0 or start >= size or end < start:
        return "bad"
    return start, min(end, size - 1)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Tarnwick/1.0"
    sys_version = ""
    routes = {}          # path -> function(Request) -> Reply
    prefix_routes = []   # (prefix, function)
    log_file = None
    timeout = 120        # seconds a silent connection may stay open
    # Headers and body go out in two writes; without TCP_NODELAY the body of a
    # reply on a kept-alive connection waits for the delayed ACK of the headers.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):
        if Handler.log_file:
            try:
                # The client's port tells the connections apart (kept-alive or new).
                Handler.log_file.write("%s port=%d %s\n" % (self.log_date_time_string(), self.client_address[1],
                                                             fmt % args))
                Handler.log_file.flush()
            except (OSError, ValueError):
                pass

    def setup(self):
        super().setup()
        # Reads go through the deadline reader: a client that sends its request
        # slowly cannot hold a handler thread past the request's deadline.
        self.rfile.close()
        self.reader = _DeadlineReader(self.connection, self.timeout)
        self.rfile = io.BufferedReader(self.reader)

    def handle_one_request(self):
        self.reader.await_request(_request_seconds())
        try:
            super().handle_one_request()
        finally:
            self.reader.deadline = None

    def do_GET(self):
        self._dispatch("GET")

    def do_POST(self):
        self._dispatch("POST")

    def do_HEAD(self):
        self._dispatch("HEAD")

    # -- the body: its length, its limit, refusals before reading it -----------
    def _route(self, path):
        func = self.routes.get(path.lower())
        if func is None:
            for prefix, candidate in self.prefix_routes:
                if path.startswith(prefix):
                    return candidate
        return func

    def _body_check(self, func):
        """(length, None) for an acceptable body, or (None, Reply) refusing it."""
        if "Transfer-Encoding" in self.headers:
            # Only bodies with a declared length are taken; a chunked body left
            # on the connection would be read as the next request.
            return None, Reply(b"0", 411)
        lengths = self.headers.get_all("Content-Length") or []
        if len(set(v.strip() for v in lengths)) > 1:
            return None, Reply(b"0", 400)
        raw = lengths[0].strip() if lengths else "0"
        if not raw.isdigit() or len(raw) > 18:
            return None, Reply(b"0", 400)
        length = int(raw)
        limit = UPLOAD_LIMIT if getattr(func, "streamed", False) else FORM_LIMIT
        if length > limit:
            return None, Reply(b"0", 413)
        return length, None

    def handle_expect_100(self):
        # A client that waits for "100 Continue" is refused before it sends anything.
        path = urllib.parse.unquote_to_bytes(self.path.encode("latin-1", "replace").partition(b"?")[0])
        _, refusal = self._body_check(self._route(path.decode("utf-8", "replace")))
        if refusal is not None:
            self.close_connection = True
            self._send(refusal)
            return False
        return super().handle_expect_100()

    def _refuse_body(self, reply, length=0):
        """Answers a request whose body is not taken, then closes the connection. A
        moderately sized body is read away after the answer (bounded in time), so a
        client that sends its whole body before reading still gets the refusal
        instead of a reset connection."""
        self.close_connection = True
        self._send(reply)
        remaining = length if 0 < length <= DRAIN_LIMIT else 0
        if not remaining:
            return
        try:
            self.wfile.flush()
            self.reader.allow(5.0)
            while remaining > 0:
                chunk = self.rfile.read1(min(remaining, 65536))
                if not chunk:
                    break
                remaining -= len(chunk)
        except OSError:
            pass

    def _dispatch(self, method):
        raw_target = self.path.encode("latin-1", "replace")
        path_part, _, query = raw_target.partition(b"?")
        path = urllib.parse.unquote_to_bytes(path_part).decode("utf-8", "replace")
        func = self._route(path)
        length, refusal = self._body_check(func)
        if refusal is not None:
            try:
                declared = int(self.headers.get("Content-Length") or 0)
            except ValueError:
                declared = 0
            self._refuse_body(refusal, declared if refusal.status == 413 else 0)
            return
        if func is None:
            self._refuse_body(Reply("<html><body>404 页面不存在</body></html>".encode("gbk"), 404,
                                    "text/html; charset=gbk"), length)
            return
        if method == "HEAD" and not getattr(func, "safe", False):
            # HEAD never runs a handler that changes something.
            self._refuse_body(Reply(b"", 405, "text/plain", [("Allow", "GET, POST")]), length)
            return
        # The body has the request time plus what its length takes at BODY_RATE.
        self.reader.allow(_request_seconds() + length / BODY_RATE)
        stream = None
        if getattr(func, "streamed", False) and method == "POST":
            stream = BodyStream(self.rfile, length)
            body = b""
        else:
            try:
                body = self.rfile.read(length) if length else b""
            except TimeoutError:
                self._refuse_body(Reply(b"0", 408))
                return
            self.reader.deadline = None
        request = None
        try:
            request = Request(self, method, path, query, body, stream)
            reply = func(request)
        except TimeoutError:  # a streamed body that did not arrive in time
            reply = Reply(b"0", 408)
            if stream is not None:
                stream.remaining = 0
            self.close_connection = True
        except BadRequest:
            reply = Reply(b"0", 400)
        except Exception:  # never a stack trace on the wire; keep it in the log
            traceback.print_exc(file=sys.stderr)
            reply = Reply(b"0", 500)
        if request is not None and request.refused and reply.status == 200:
            reply.status = 403
        if stream is not None and stream.remaining > 0:
            # The handler did not take the whole body: drop it, or the connection.
            if stream.remaining <= DRAIN_LIMIT:
                try:
                    while stream.read():
                        pass
                except (BadRequest, OSError):
                    pass
            self.close_connection = True
        self.reader.deadline = None
        if isinstance(reply, FileReply):
            self._send_file(reply, method)
        else:
            self._send(reply, method)

    def _send(self, reply, method="GET"):
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(len(reply.body)))
        self.send_header("Cache-Control", "no-cache")
        for k, v in reply.headers:
            self.send_header(k, v)
        self.end_headers()
        if method != "HEAD":
            self.wfile.write(reply.body)

    def _send_file(self, reply, method):
        try:
            f = open(reply.path, "rb")
        except OSError:
            self._send(Reply(b"0", 404))
            return
        with f:
            size = os.fstat(f.fileno()).st_size
            rng = parse_range(self.headers.get("Range"), size)
            if rng == "bad":
                self._send(Reply(b"", 416, "text/plain", [("Content-Range", "bytes */%d" % size)]), method)
                return
            start, end = (0, size - 1) if rng is None else rng
            count = max(0, end - start + 1)
            self.send_response(200 if rng is None else 206)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(count))
            self.send_header("Accept-Ranges", "bytes")
            if rng is not None:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
            if reply.download_name:
                quoted = urllib.parse.quote(reply.download_name)
                self.send_header("Content-Disposition", "attachment; filename*=UTF-8''" + quoted)
            self.end_headers()
            if method == "HEAD":
                return
            if start == 0 and reply.on_complete_start:
                reply.on_complete_start()
            self.wfile.flush()
            try:
                if count:
                    self.connection.sendfile(f, start, count)
            except (BrokenPipeError, ConnectionResetError, socket.timeout):
                self.close_connection = True


class Server(http.server.HTTPServer):
    """One thread per connection, at most TARNWICK_HTTP_THREADS (default 64) at a time.

    A connection that finds every thread busy for BUSY_WAIT seconds is answered
    503 and closed, so an idle or slow crowd cannot grow the thread count."""

    allow_reuse_address = True
    request_queue_size = 64
    BUSY_WAIT = 2.0

    def __init__(self, address, handler):
        super().__init__(address, handler)
        self.max_threads = _thread_limit()
        self._slots = threading.BoundedSemaphore(self.max_threads)

    def process_request(self, request, client_address):
        if not self._slots.acquire(timeout=self.BUSY_WAIT):
            try:
                request.settimeout(1.0)
                request.sendall(b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
                                b"Content-Length: 1\r\nConnection: close\r\n\r\n0")
            except OSError:
                pass
            self.shutdown_request(request)
            return
        threading.Thread(target=self._run, args=(request, client_address), daemon=True).start()

    def _run(self, request, client_address):
        try:
            self.finish_request(request, client_address)
        except Exception:
            self.handle_error(request, client_address)
        finally:
            self.shutdown_request(request)
            self._slots.release()
