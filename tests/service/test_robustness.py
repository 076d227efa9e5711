"""What holds when requests race, clients are slow, the FTP server is told to
misbehave, and temporary uploads are left behind."""

import datetime
import io
import os
import select
import shutil
import socket
import sqlite3
import tempfile
import threading
import time
import unittest

from support import Service, gbk, raw_exchange, register, shared_service, unique, wait_for

svc = None


setUpModule, tearDownModule = shared_service(globals())


def db_one(service, sql, args=()):
    conn = sqlite3.connect(os.path.join(service.data, "tarnwick.db"))
    conn.row_factory = sqlite3.Row
    try:
        return conn.execute(sql, args).fetchone()
    finally:
        conn.close()


def at_once(calls):
    """Runs the calls on threads released together; returns their results in order."""
    results = [None] * len(calls)
    gate = threading.Barrier(len(calls))

    def run(i):
        gate.wait()
        results[i] = calls[i]()
    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(calls))]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    return results


class Transactions(unittest.TestCase):
    def test_concurrent_codes_each_add_their_days(self):
        for first in (1, 11):  # the 20 seeded codes, ten members' worth at a time
            c = svc.client()
            name = unique("vip")
            self.assertEqual(register(c, name), b"3")
            codes = ["VIP-DEMO-%04d" % i for i in range(first, first + 10)]
            replies = at_once([lambda code=code: c.post("/post/vip.php?pid=" + name, [("vipjhm", code)])
                               for code in codes])
            self.assertEqual(replies, [b"1"] * len(codes))
            until = db_one(svc, "SELECT vip_until FROM members WHERE account=?", (name,))["vip_until"]
            self.assertEqual(until, (datetime.date.today() + datetime.timedelta(days=300)).isoformat())

    def test_set_once_fields_and_email_are_taken_by_one_request_only(self):
        for _ in range(3):
            self.one_round_of_set_once_fields()

    def one_round_of_set_once_fields(self):
        c = svc.client()
        name = unique("once")
        self.assertEqual(register(c, name), b"3")
        others = [svc.client() for _ in range(6)]
        rivals = [unique("mail") for _ in others]
        for client, rival in zip(others, rivals):
            self.assertEqual(register(client, rival), b"3")
        shared = unique("shared") + "@test.local"
        cases = [  # label, requests, success reply
            ("security question", [lambda i=i: c.post("/post/mb.php?pid=" + name, [("dan", "问题%d" % i),
                                                                                    ("wenti", "答%d" % i)], "utf-8")
                                   for i in range(6)], b"2"),
            ("payout account", [lambda i=i: c.post("/post/tx.php?pid=" + name,
                                                   [("zfbzh", "pay%d" % i), ("cfzfbzh", "pay%d" % i),
                                                    ("zfbxm", "名%d" % i), ("zfbyx", "p%d@x.cn" % i)], "utf-8")
                                for i in range(6)], b"3"),
            ("e-mail", [lambda cl=cl, r=r: cl.post("/post/xgyx.php?pid=" + r, [("yxdz", shared)], "utf-8")
                        for cl, r in zip(others, rivals)], b"1"),
        ]
        for label, calls, success in cases:
            with self.subTest(label):
                replies = at_once(calls)
                self.assertEqual(replies.count(success), 1, replies)
        row = db_one(svc, "SELECT COUNT(*) AS n FROM members WHERE email=?", (shared,))
        self.assertEqual(row["n"], 1)


def make_old(path, days=2):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"left behind")
    old = time.time() - days * 86400
    os.utime(path, (old, old))


class TemporaryFiles(unittest.TestCase):
    def test_uploads_left_for_a_day_are_removed_at_start_and_later(self):
        root = tempfile.mkdtemp(prefix="tarnwick-sweep-")
        data = os.path.join(root, "data")
        cases = [  # path under data, older than a day, removed
            ("ftp/old.tnwklswj", True, True),
            (os.fsdecode(gbk("ftp/旧文件.txt.tnwklswj")), True, True),
            ("ftp/old.tnwklswj.123.claimab12cd34", True, True),
            ("ftp-member/1001/old.tnwklswj", True, True),
            ("tmp/web-0123456789abcdef", True, True),
            ("ftp/fresh.tnwklswj", False, False),
            ("tmp/web-fresh", False, False),
            ("ftp/notes.txt", True, False),   # not an upload of the client
            ("storage/1001/kept.bin", True, False),
        ]
        try:
            for path, old, _ in cases:
                if old:
                    make_old(os.path.join(data, path))
                else:
                    os.makedirs(os.path.dirname(os.path.join(data, path)), exist_ok=True)
                    open(os.path.join(data, path), "wb").close()
            service = Service(data, env={"TARNWICK_TEMP_SWEEP_SECONDS": "1"})
            try:
                for path, _, removed in cases:
                    with self.subTest(path=path):
                        self.assertEqual(os.path.exists(os.path.join(data, path)), not removed)
                later = os.path.join(data, "ftp", "later.tnwklswj")
                make_old(later)
                self.assertTrue(wait_for(lambda: not os.path.exists(later), 10))
            finally:
                service.stop()
        finally:
            shutil.rmtree(root, ignore_errors=True)


class RequestDeadline(unittest.TestCase):
    def test_slow_requests_end_at_their_deadline_and_free_the_threads(self):
        service = Service(env={"TARNWICK_REQUEST_SECONDS": "1", "TARNWICK_HTTP_THREADS": "2"})
        host, port = service.url[len("http://"):].split(":")
        try:
            cases = [  # label, bytes sent at once, status line expected ("" = closed without a reply)
                ("slow head", b"GET /ge.txt HTTP/1.1\r\nHost: x\r\n", b""),
                ("slow body", b"POST /csx.php HTTP/1.1\r\nHost: x\r\nContent-Length: 40\r\n\r\nzh=demo", b"HTTP/1.1 408"),
            ]
            for label, start, status in cases:
                with self.subTest(label):
                    answers = []

                    def dribble():
                        s = socket.create_connection((host, int(port)), timeout=10)
                        s.sendall(start)
                        out, began = None, time.time()
                        try:
                            for _ in range(40):  # one byte every 0.25 s would take 10 s
                                if select.select([s], [], [], 0.25)[0]:
                                    out = s.recv(1000)
                                    break
                                s.sendall(b"&")
                        except OSError:
                            out = b""
                        answers.append((out, time.time() - began))
                        s.close()
                    slow = [threading.Thread(target=dribble) for _ in range(2)]
                    for t in slow:
                        t.start()
                    time.sleep(0.3)
                    # Both handler threads are taken; this request gets one when the slow ones are cut off.
                    self.assertEqual(raw_exchange(service.url, b"GET /ge.txt HTTP/1.1\r\nHost: x\r\n"
                                                               b"Connection: close\r\n\r\n")[:12], b"HTTP/1.1 200")
                    for t in slow:
                        t.join(20)
                    for out, seconds in answers:
                        self.assertTrue(out.startswith(status), out)
                        self.assertLess(seconds, 8)
            self.assertEqual(service.client().login("demo", "demo123")[:4], b"1001")
        finally:
            service.stop()


class FtpKnobs(unittest.TestCase):
    def test_rate_limit_close_after_and_login_lines(self):
        service = Service(env={"TARNWICK_FTP_RATE": "102400", "TARNWICK_FTP_CLOSE_AFTER": "2"})
        try:
            data = os.urandom(500 * 1024)
            f = service.ftp()
            began = time.time()
            f.storbinary("STOR one.tnwklswj", io.BytesIO(data))
            seconds = time.time() - began
            f.storbinary("STOR two.tnwklswj", io.BytesIO(b"second"))  # its 226 still arrives
            with self.assertRaises((EOFError, OSError)):
                f.storbinary("STOR three.tnwklswj", io.BytesIO(b"third"))
            f.close()
            g = service.ftp("demo")
            g.quit()
            self.assertGreater(seconds, 1.5)  # pyftpdlib lets the first 200 KiB through at once
            with open(os.path.join(service.data, "ftp", "one.tnwklswj"), "rb") as stored:
                self.assertEqual(stored.read(), data)
            self.assertFalse(os.path.exists(os.path.join(service.data, "ftp", "three.tnwklswj")))
            log = service.ftp_log()
            self.assertEqual(log.count(" LOGIN "), 2, log)
            self.assertIn(" LOGIN anonymous\n", log)
            self.assertIn(" LOGIN demo\n", log)
            self.assertEqual(log.count("CLOSE after 2 STOR"), 1, log)
        finally:
            service.stop()


if __name__ == "__main__":
    unittest.main()
