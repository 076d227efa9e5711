"""What the fault tests of tarnwick-cli share: the built program run as a
child (its own HOME and state folder), the fault proxy in front of one host,
the running service's database, and a member of the module's own.

The tests run under tests/fixtures/with_service.sh: the TARNWICK_*_HOST
variables and TARNWICK_SERVICE_DATA name the running service; TARNWICK_CLI
names the built program.
"""

import hashlib
import contextlib
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
PROXY = os.path.join(ROOT, "tests", "fixtures", "fault_proxy.py")
CLI = os.environ.get("TARNWICK_CLI", "")
DATA = os.environ.get("TARNWICK_SERVICE_DATA", "")
SCALE = float(os.environ.get("TARNWICK_TEST_TIME_SCALE", "2"))
INTERRUPTED = 130


def md5(data):
    return hashlib.md5(data).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def fresh_bytes(n, seed):
    """Bytes no stored file holds (so they never go by MD5)."""
    block = hashlib.sha256(b"%d-%f" % (seed, time.time())).digest()
    out = bytearray()
    counter = 0
    while len(out) < n:
        out += hashlib.sha256(block + counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:n])


def wait_for(predicate, timeout=10.0, step=0.02):
    end = time.time() + timeout * SCALE / 2
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def sql(statement, args=()):
    """Runs one statement on the service's database; the rows it gives."""
    db = sqlite3.connect(os.path.join(DATA, "tarnwick.db"), timeout=10)
    try:
        rows = db.execute(statement, args).fetchall()
        db.commit()
        return rows
    finally:
        db.close()


class Member:
    """A member of the test module's own (demo's password), removed again at the end."""

    def __init__(self, member_id, account):
        self.id, self.account = member_id, account
        self.remove()
        db = sqlite3.connect(os.path.join(DATA, "tarnwick.db"), timeout=10)
        with db:
            db.execute("CREATE TEMP TABLE m AS SELECT * FROM members WHERE id=1001")
            db.execute("UPDATE m SET id=?, account=?, email=?", (member_id, account, account + "@test.local"))
            db.execute("INSERT INTO members SELECT * FROM m")
        db.close()

    def remove(self):
        for table, key in (("files", "owner"), ("folders", "owner"), ("sessions", "member"), ("members", "id")):
            sql("DELETE FROM %s WHERE %s=?" % (table, key), (self.id,))
        shutil.rmtree(os.path.join(DATA, "storage", str(self.id)), ignore_errors=True)

    def store(self, name, data, folder=0):
        """A file of the member's, put on the service by hand; its id."""
        storage = "%d/%s" % (self.id, os.urandom(8).hex())
        write(os.path.join(DATA, "storage", storage), data)
        sql("INSERT INTO files(owner, folder, name, size, md5, date, storage) VALUES (?, ?, ?, ?, ?, ?, ?)",
            (self.id, folder, name, len(data), md5(data), "2026-01-01 10:00:00", storage))
        return sql("SELECT max(id) FROM files WHERE owner=?", (self.id,))[0][0]

    def count_md5(self, data):
        return sql("SELECT count(*) FROM files WHERE owner=? AND md5=?", (self.id, md5(data)))[0][0]


class Result:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err

    def __repr__(self):
        return "exit %s\nstdout: %s\nstderr: %s" % (self.code, self.out[-2000:], self.err[-2000:])


class Cli:
    """The built tarnwick-cli with a HOME and state folder of its own."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwick-cli-faults-")
        self.env = dict(os.environ, HOME=os.path.join(self.dir, "home"),
                        XDG_STATE_HOME=os.path.join(self.dir, "state"))
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        os.makedirs(self.env["HOME"])
        self.account = None

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def spawn(self, args, env=None, stdout=None):
        """Starts the program without waiting: a session of its own, no terminal."""
        out = open(self.path("stdout"), "wb") if stdout is None else stdout
        err = open(self.path("stderr"), "wb")
        try:
            return subprocess.Popen([CLI] + args, env=dict(self.env, **(env or {})), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, start_new_session=True)
        finally:
            err.close()
            if stdout is None:
                out.close()

    def finish(self, proc, timeout=60):
        try:
            proc.wait(timeout * SCALE / 2)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        out = read(self.path("stdout")).decode("utf-8", "replace") if os.path.exists(self.path("stdout")) else ""
        err = read(self.path("stderr")).decode("utf-8", "replace")
        return Result(proc.returncode, out, err)

    def run(self, args, env=None, timeout=60):
        return self.finish(self.spawn(args, env), timeout)

    def login(self, account):
        proc = subprocess.run([CLI, "login", account, "--password-stdin"], input=b"demo123\n", env=self.env,
                              capture_output=True, timeout=30)
        if proc.returncode != 0:
            raise RuntimeError("login failed: %r" % proc.stderr)
        self.account = account

    def queue_rows(self, kind):
        """The saved rows of kind ("uploads" or "downloads") in the client's
        queue store, in their order, each a dict of its fields."""
        path = os.path.join(self.env["XDG_STATE_HOME"], "tarnwick", "queues.db")
        if not os.path.exists(path):
            return []
        db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
        try:
            found = db.execute("SELECT data FROM queue_rows WHERE kind=? AND account=? ORDER BY position",
                               (kind.rstrip("s"), self.account.encode("gbk"))).fetchall()
        finally:
            db.close()
        rows = []
        for (data,) in found:
            fields = {}
            for field in bytes(data).split(b"\t"):
                key, _, value = field.partition(b"=")
                fields[key.decode()] = urllib.parse.unquote_to_bytes(value)
            rows.append(fields)
        return rows


def stop(proc, sig):
    """Sends sig to the child and waits for it to end."""
    proc.send_signal(sig)
    try:
        proc.wait(30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def partials(folder):
    return [os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".tnwkpart")] \
        if os.path.isdir(folder) else []


def partial_size(folder):
    """Bytes of the (single) partial file in folder; 0 when there is none."""
    sizes = []
    for p in partials(folder):
        try:
            sizes.append(os.path.getsize(p))
        except OSError:
            pass
    return max(sizes) if sizes else 0


class Proxy:
    """tests/fixtures/fault_proxy.py in front of upstream, with a rules file the
    test rewrites while it runs."""

    def __init__(self, upstream, rules=()):
        self.dir = tempfile.mkdtemp(prefix="tarnwick-fault-proxy-")
        self.log_path = os.path.join(self.dir, "log")
        self.rules_path = os.path.join(self.dir, "rules")
        self.set_rules(*rules)
        self.proc = subprocess.Popen(["/usr/bin/python3", PROXY, "--upstream", upstream, "--log", self.log_path,
                                      "--rules", self.rules_path], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("ready "):
            self.stop()
            raise RuntimeError("fault proxy did not start: %r" % line)
        self.url = line.split()[1]
        self.mark = 0

    def set_rules(self, *rules):
        tmp = self.rules_path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write("".join(r + "\n" for r in rules))
        os.rename(tmp, self.rules_path)

    def lines(self):
        """The log lines since the last forget(), each split in fields."""
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as f:
            return [l.split() for l in f.read().splitlines()[self.mark:]]

    def forget(self):
        """Later lines() begin after what is logged now."""
        with open(self.log_path, encoding="utf-8") as f:
            self.mark = len(f.read().splitlines())

    def saw(self, event, path):
        return any(l[0] == event and urllib.parse.urlsplit(l[2]).path.startswith(path)
                   for l in self.lines() if len(l) >= 3)

    def ranges(self, path):
        """The Range starts of the requests of path since forget() (0 without a Range)."""
        out = []
        for l in self.lines():
            if len(l) >= 4 and l[0] == "request" and urllib.parse.urlsplit(l[2]).path.startswith(path):
                out.append(int(l[3][len("bytes="):].split("-")[0]) if l[3].startswith("bytes=") else 0)
        return out

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)


@contextlib.contextmanager
def refusing_port():
    """An address on 127.0.0.1 that refuses connections: a port held bound but
    not listening, so no other test can take it meanwhile."""
    sock = socket.socket()
    sock.bind(("127.0.0.1", 0))
    try:
        yield "http://127.0.0.1:%d" % sock.getsockname()[1]
    finally:
        sock.close()
