"""A service instance on free ports in a temporary data folder, and the client's cutting rules.

`text_between` and `find` follow the client's text helpers (1-based positions,
GBK double-byte stepping, the missing-left-marker rule), so the tests read the
pages exactly as the client will.
"""

import ftplib
import http.cookiejar
import os
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
START = os.path.join(ROOT, "service", "start")


def gbk(text):
    return text.encode("gbk")


def find(t, sub, start=1):
    """1-based position of sub in t at or after start, stepping over GBK characters; -1 if absent."""
    if not sub:
        return 1 if t else -1
    i = 0
    while i < len(t):
        if i + 1 >= start and t.startswith(sub, i):
            return i + 1
        i += 2 if t[i] >= 0x81 and i + 1 < len(t) else 1
    return -1


def text_between(t, left, right):
    if isinstance(left, str):
        left = gbk(left)
    if isinstance(right, str):
        right = gbk(right)
    a = find(t, left)
    start = a + len(left)
    b = find(t, right, start) if start >= 1 else -1
    if b < 0:
        return b""
    return t[start - 1:b - 1]


def split_text(t, sep):
    if not t:
        return []
    pieces, cur, i = [], 0, 0
    while i < len(t):
        if t.startswith(sep, i):
            pieces.append(t[cur:i])
            i += len(sep)
            cur = i
        else:
            i += 2 if t[i] >= 0x81 and i + 1 < len(t) else 1
    if cur < len(t):
        pieces.append(t[cur:])
    return pieces


def form(pairs, charset="gbk"):
    """A body as the client builds it: every value's bytes percent-encoded."""
    out = []
    for key, value in pairs:
        data = value.encode(charset) if isinstance(value, str) else value
        out.append(key + "=" + urllib.parse.quote_from_bytes(data, safe="-_.~"))
    return "&".join(out).encode("ascii")


class Service:
    def __init__(self, data=None, env=None):
        self.dir = tempfile.mkdtemp(prefix="tarnwick-svc-test-")
        self.data = data or os.path.join(self.dir, "data")
        with open(os.path.join(self.dir, "err"), "wb") as err:
            self.proc = subprocess.Popen(["/usr/bin/python3", START, "--http", "0", "--ftp", "0",
                                          "--data", self.data],
                                         stdout=subprocess.PIPE, stderr=err, start_new_session=True,
                                         env=dict(os.environ, **(env or {})))
        line = self.proc.stdout.readline().decode()
        if not line.startswith("ready "):
            self.stop()
            raise RuntimeError("service did not start: %r" % line)
        self.ready_line = line
        _, http_url, ftp_url = line.split()
        self.url = http_url
        host, port = ftp_url[len("ftp://"):].split(":")
        self.ftp_host, self.ftp_port = host, int(port)

    def errors(self):
        with open(os.path.join(self.dir, "err"), encoding="utf-8", errors="replace") as f:
            return f.read()

    def stop(self, sig=signal.SIGTERM):
        """Stops the service; returns its exit code."""
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return self.proc.returncode

    def client(self, account=None):
        """A client with its own cookie store; logged in when an account is given
        (a seeded account, or one registered with the default password)."""
        c = Client(self.url)
        if account is not None:
            reply = c.login(account, PASSWORDS.get(account, "pw12345"))
            if len(reply) < 4:
                raise RuntimeError("login of %s failed: %r" % (account, reply))
        return c

    def ftp(self, account=None):
        """An FTP connection, anonymous or logged in as a member."""
        f = ftplib.FTP()
        f.connect(self.ftp_host, self.ftp_port, timeout=10)
        if account is None:
            f.login()
        else:
            f.login(account, PASSWORDS.get(account, "pw12345"))
        return f

    def ftp_log(self):
        with open(os.path.join(self.data, "ftp.log"), encoding="utf-8") as f:
            return f.read()


PASSWORDS = {"demo": "demo123", "alice": "alice123", "qqdemo": "qq123456"}


class Client:
    """One client with its own cookie store, like one running program."""

    def __init__(self, base):
        self.base = base
        self.jar = http.cookiejar.CookieJar()
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(self.jar),
                                                  _NoRedirect())

    def request(self, path, body=None, headers=None):
        """(status, headers, body bytes) of a GET, or of a form POST when body is given."""
        req = urllib.request.Request(self.base + path, data=body, headers=headers or {})
        if body is not None and not req.has_header("Content-type"):
            req.add_header("Content-Type", "application/x-www-form-urlencoded")
        try:
            with self.opener.open(req, timeout=30) as r:
                return r.status, r.headers, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def get(self, path, **kw):
        return self.request(path, **kw)[2]

    def post(self, path, pairs, charset="gbk"):
        return self.request(path, form(pairs, charset))[2]

    def login(self, account, password):
        return self.post("/csx.php", [("zh", account.encode("utf-8")), ("mm", password)])


def shared_service(namespace):
    """setUpModule and tearDownModule of a test module whose tests share one
    Service, kept in the module's global `svc`:
    setUpModule, tearDownModule = shared_service(globals())"""
    def set_up():
        namespace["svc"] = Service()

    def tear_down():
        namespace["svc"].stop()

    return set_up, tear_down


def raw_exchange(url, data, timeout=10.0):
    """Sends raw request bytes to the service at url and returns every byte it answers
    until it closes the connection or `timeout` passes."""
    import socket
    host, port = url[len("http://"):].split(":")
    s = socket.create_connection((host, int(port)), timeout=timeout)
    try:
        s.sendall(data)
        out = b""
        end = time.time() + timeout
        while time.time() < end:
            try:
                chunk = s.recv(65536)
            except socket.timeout:
                break
            except ConnectionResetError:
                break
            if not chunk:
                break
            out += chunk
        return out
    finally:
        s.close()


class _NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


_counter = [0]


def unique(prefix):
    _counter[0] += 1
    return "%s%d%d" % (prefix, os.getpid() % 1000, _counter[0])


def register(client, account, password="pw12345", email=None, login=True):
    """Registers the account; when that worked and `login`, the client logs in as it."""
    email = email or account + "@test.local"
    reply = client.post("/zc.php", [("zh1", account.encode("utf-8")), ("mm1", password), ("cfmm1", password),
                                    ("zcyx", email.encode("utf-8")), ("xcfmm1", "1")])
    if reply == b"3" and login:
        client.login(account, password)
    return reply


def wait_for(predicate, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()
