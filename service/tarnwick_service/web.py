"""A small HTTP layer over http.server: request parsing, routing, replies.

Form values and query values arrive percent-encoded (the client encodes every
byte it sends) or as raw bytes; both decode to the same bytes. The charset of
a value is chosen by the endpoint: `Request.text(name, "gbk")` decodes with
the charset the client sends that value in and falls back to the other one
when the bytes are not valid in it.
"""

import http.cookies
import http.server
import os
import socket
import sys
import traceback
import urllib.parse

FORM_LIMIT = 1024 * 1024           # bodies of ordinary forms
UPLOAD_LIMIT = 256 * 1024 * 1024   # the web-upload form
DRAIN_LIMIT = 64 * 1024 * 1024     # refused bodies up to this size are read away first


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


class Request:
    def __init__(self, handler, method, path, query, body):
        self.handler = handler
        self.method = method
        self.path = path
        self.query = parse_pairs(query)
        self.body = body
        ctype = handler.headers.get("Content-Type", "")
        self.form = {} if ctype.startswith("multipart/") else parse_pairs(body)
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

    def log_message(self, fmt, *args):
        if Handler.log_file:
            try:
                Handler.log_file.write("%s %s\n" % (self.log_date_time_string(), fmt % args))
                Handler.log_file.flush()
            except (OSError, ValueError):
                pass

    def do_GET(self):
        self._dispatch("GET")

    def do_POST(self):
        self._dispatch("POST")

    def do_HEAD(self):
        self._dispatch("HEAD")

    def _dispatch(self, method):
        raw_target = self.path.encode("latin-1", "replace")
        path_part, _, query = raw_target.partition(b"?")
        path = urllib.parse.unquote_to_bytes(path_part).decode("utf-8", "replace")
        try:
            length = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            length = -1
        limit = UPLOAD_LIMIT if self.headers.get("Content-Type", "").startswith("multipart/") else FORM_LIMIT
        if length < 0 or length > limit:
            # Read a moderately oversized body away so the client gets to read the refusal.
            remaining = length if 0 < length <= DRAIN_LIMIT else 0
            while remaining > 0:
                chunk = self.rfile.read(min(remaining, 65536))
                if not chunk:
                    break
                remaining -= len(chunk)
            self.close_connection = True
            self._send(Reply(b"0", 413))
            return
        body = self.rfile.read(length) if length else b""
        func = self.routes.get(path.lower())
        if func is None:
            for prefix, candidate in self.prefix_routes:
                if path.startswith(prefix):
                    func = candidate
                    break
        if func is None:
            self._send(Reply("<html><body>404 页面不存在</body></html>".encode("gbk"), 404,
                             "text/html; charset=gbk"), method)
            return
        try:
            reply = func(Request(self, method, path, query, body))
        except BadRequest:
            reply = Reply(b"0")
        except Exception:  # never a stack trace on the wire; keep it in the log
            traceback.print_exc(file=sys.stderr)
            reply = Reply(b"0", 500)
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


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64
