"""Bad input never crashes the service, never leaks a trace, never leaves the data folder,
and one member never sees or changes another member's folders and files."""

import hashlib
import io
import os
import shutil
import signal
import sqlite3
import tempfile
import unittest

from support import Service, register, shared_service, split_text, text_between, unique

svc = None
SUCCESS_MARKERS = [b"INSERT INTO", b"bsmzdyd"]


setUpModule, tearDownModule = shared_service(globals())


def snapshot():
    conn = sqlite3.connect(os.path.join(svc.data, "tarnwick.db"))
    try:
        return (conn.execute("SELECT * FROM folders ORDER BY id").fetchall(),
                conn.execute("SELECT id, owner, folder, name, storage FROM files ORDER BY id").fetchall())
    finally:
        conn.close()


def storage_digest():
    h = hashlib.md5()
    root = os.path.join(svc.data, "storage")
    for dirpath, _, names in sorted(os.walk(root)):
        for n in sorted(names):
            with open(os.path.join(dirpath, n), "rb") as f:
                h.update(n.encode() + f.read())
    return h.hexdigest()


class BadInput(unittest.TestCase):
    def check(self, status, body):
        self.assertNotEqual(status, 500)
        self.assertNotIn(b"Traceback", body)
        self.assertNotIn(b"File \"", body)

    def test_malformed_requests_get_failure_replies(self):
        c = svc.client("demo")  # logged in: the checks, not the session, refuse
        # path, form pairs or None for GET, bytes that must not appear in the reply
        cases = [
            ("/csx.php", [("zh", "demo")], None),
            ("/csx.php", [], None),
            ("/csx.php", [("zh", b"\xff\xfe\xfd"), ("mm", b"\x81")], None),
            ("/wdwj.php?pid=abc&ml=def&yms=ghi", None, "总共有1页"),
            ("/wdwj.php?pid=1001&ml=-5&yms=-1", None, "pid："),
            ("/wdwj.php?pid=99999999999999999999999&ml=0", None, "pid："),
            ("/wdwj.php", None, "pid："),
            ("/mlsx.php?pid=abc&zh=demo", None, "<option"),
            ("/ym.php?pid=abc", None, "bsmzdyd"),
            ("/ym.php?pid=-1", None, "bsmzdyd"),
            ("/yunxz1.php?pid=&szmm=", None, None),
            ("/post/cjml.php?zh=demo", [("fwmm", ""), ("ejml", "0")], "ok"),
            ("/post/cjml.php?zh=demo", [("fwmm", "a<b"), ("ejml", "0")], "ok"),
            ("/post/cjml.php?zh=demo", [("fwmm", "ok"), ("ejml", "abc")], "ok"),
            ("/post/sz5.php?pid=demo&mlid=abc", [("btn2", "n"), ("btn1", "0")], "1"),
            ("/post/sz5.php?pid=demo&mlid=1", [("btn2", "n"), ("btn1", "3")], "1"),  # under its own grandchild
            ("/post/sz5.php?pid=demo&mlid=1", [("btn2", "n"), ("btn1", "1")], "1"),  # its own parent
            ("/post/scml.php?pid=0&zh=demo", [("vipjhm", "0")], "1"),
            ("/post/scml.php?pid=1&zh=demo", [("vipjhm", "1")], "1"),  # has subfolders
            ("/post/sz5pc.php?mlid=x&pid=demo", [("btn2", "n")], "1"),
            ("/post/cjwjpc.php?mlpid=0&zh=demo", [("wjm", "a"), ("wldz", "javascript:alert(1)")], "1"),
            ("/get/ydxz.php?pid=,,,&ml=0&zh=demo", None, "1"),
            ("/get/ydxz.php?pid=1,&ml=abc&zh=demo", None, "1"),
            ("/get/plzc.php?pid=abc,&ml=0&zh=demo", None, "1"),
            ("/post/szx.php?zh=demo&lx=&szqx=", None, "1"),
            ("/post/vip.php?pid=demo", [], "1"),
            ("/sytj.php?yms=abc", None, None),  # a page that is not a number reads as page 0
        ]
        for path, pairs, forbidden in cases:
            with self.subTest(path=path, pairs=pairs):
                if pairs is None:
                    status, _, body = c.request(path)
                else:
                    status, _, body = c.request(path, body=b"&".join(
                        k.encode() + b"=" + (v if isinstance(v, bytes) else v.encode("gbk")) for k, v in pairs))
                self.check(status, body)
                if path == "/csx.php":
                    self.assertLess(len(body), 4)
                if forbidden:
                    self.assertNotIn(forbidden.encode("gbk"), body)
        self.assertEqual(c.get("/ge.txt")[:4], b"118|")  # still alive

    def test_raw_and_percent_encoded_values_are_the_same(self):
        c = svc.client()
        raw = c.request("/csx.php", body=b"zh=demo&mm=demo123")[2]
        encoded = c.request("/csx.php", body=b"zh=%64%65%6D%6F&mm=%64emo123")[2]
        self.assertEqual(split_text(raw, b"x")[0], b"1001")
        self.assertEqual(split_text(encoded, b"x")[0], b"1001")

    def test_oversized_form_is_refused_unread(self):
        c = svc.client()
        status, _, body = c.request("/csx.php", body=b"zh=demo&mm=" + b"a" * (1024 * 1024 + 10))
        self.assertEqual((status, body), (413, b"0"))
        self.assertGreater(len(c.login("demo", "demo123")), 4)

    def test_paths_never_leave_the_data_folder(self):
        c = svc.client("demo")
        secret = os.path.join(svc.data, "secret.tnwklswj")
        with open(secret, "wb") as f:
            f.write(b"outside the upload area")
        before = snapshot()
        names = ["../secret", "..", "/etc/passwd", "..\\secret", "a/../../secret", "C:\\boot.ini", ""]
        for name in names:
            with self.subTest(name=name):
                reply = c.post("/tjwj.php?bsm=demo&mlid=0", [("wjdl", name)])
                self.assertNotIn(b"INSERT INTO", reply)
        for path in ["/up/../tarnwick.db", "/up/%2e%2e/tarnwick.db", "/up/1001/../../tarnwick.db",
                     "/up//etc/passwd", "/up/%2Fetc%2Fpasswd", "/up/1001/%2e%2e%2f%2e%2e%2ftarnwick.db",
                     "/up/ext/abc", "/up/"]:
            with self.subTest(path=path):
                status, _, body = c.request(path)
                self.assertEqual(status, 404)
                self.assertNotIn(b"SQLite", body)
        self.assertTrue(os.path.exists(secret))
        self.assertEqual(snapshot(), before)

    def test_ftp_cannot_leave_the_upload_area(self):
        f = svc.ftp()
        for target in ("../escape.tnwklswj", "/../../escape.tnwklswj"):
            try:
                f.storbinary("STOR " + target, io.BytesIO(b"x"))
            except Exception:
                pass
        f.quit()
        self.assertFalse(os.path.exists(os.path.join(svc.data, "escape.tnwklswj")))
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(svc.data), "escape.tnwklswj")))


class Isolation(unittest.TestCase):
    def test_alice_cannot_touch_demo(self):
        c = svc.client()
        c.login("alice", "alice123")
        before, digest = snapshot(), storage_digest()
        demo_files = [r[0] for r in before[1] if r[1] == 1001][:3]
        ids = ",".join(map(str, demo_files)) + ","
        requests = [
            ("/get/ydxz.php?pid=%s&ml=0&zh=alice" % ids, None),
            ("/get/plzc.php?pid=%s&ml=0&zh=alice" % ids, None),
            ("/post/sz5pc.php?mlid=4&pid=alice", [("btn2", "taken")]),
            ("/post/sz5.php?pid=alice&mlid=4", [("btn2", "taken"), ("btn1", "0")]),
            ("/post/scml.php?pid=6&zh=alice", [("vipjhm", "6")]),
            ("/post/cjml.php?zh=alice", [("fwmm", "inside-demo"), ("ejml", "1")]),
            ("/post/cjwjpc.php?mlpid=1&zh=alice", [("wjm", "link"), ("wldz", "http://example.com/a")]),
            ("/tjwj.php?bsm=alice&mlid=1", [("wjdl", "a.txt")]),
        ]
        for path, pairs in requests:
            with self.subTest(path=path):
                reply = c.get(path) if pairs is None else c.post(path, pairs, "utf-8")
                self.assertNotIn(b"1", reply.replace(b"\r\n", b""))
        self.assertEqual(snapshot(), before)
        self.assertEqual(storage_digest(), digest)
        # alice's id with demo's folder lists nothing of demo
        page = c.get("/wdwj.php?pid=1002&ml=1")
        self.assertNotIn("pid：".encode("gbk"), page)
        self.assertEqual(text_between(page, "总共有", "页"), b"0")

    def test_own_operations_work(self):
        c = svc.client("alice")
        reply = c.post("/post/cjml.php?zh=alice", [("fwmm", "新文件夹"), ("ejml", "0")], "utf-8")
        self.assertGreaterEqual(len(reply.replace(b"\r\n", b"")), 3)
        folder = int(reply[2:])
        self.assertEqual(c.post("/post/sz5pc.php?mlid=%d&pid=alice" % folder, [("btn2", "改名")]), b"1")
        alice_file = [r[0] for r in snapshot()[1] if r[1] == 1002][0]
        c.get("/get/ydxz.php?pid=%d,&ml=%d&zh=alice" % (alice_file, folder))
        self.assertIn(b"pid\xa3\xba%d<" % alice_file, c.get("/wdwj.php?pid=1002&ml=%d" % folder))
        self.assertEqual(c.post("/post/scml.php?pid=%d&zh=alice" % folder, [("vipjhm", str(folder))]), b"1")
        # the files of a deleted folder are kept in the default folder
        self.assertIn(b"pid\xa3\xba%d<" % alice_file, c.get("/wdwj.php?pid=1002&ml=0"))


if __name__ == "__main__":
    unittest.main()


class Lifecycle(unittest.TestCase):
    def test_ready_line_signals_and_restart_keep_data(self):
        data = os.path.join(tempfile.mkdtemp(prefix="tarnwick-restart-"), "data")
        try:
            for sig in (signal.SIGTERM, signal.SIGINT):
                with self.subTest(signal=sig):
                    first = Service(data)
                    self.assertRegex(first.ready_line, r"^ready http://127\.0\.0\.1:\d+ ftp://127\.0\.0\.1:\d+\n$")
                    c = first.client()
                    name = unique("keep")
                    self.assertEqual(register(c, name), b"3")
                    reply = c.post("/post/cjml.php?zh=" + name, [("fwmm", "留下"), ("ejml", "0")], "utf-8")
                    self.assertEqual(first.stop(sig), 0)
                    second = Service(data)
                    c = second.client()
                    self.assertGreater(len(c.login(name, "pw12345")), 4)
                    page = c.get("/sc/index.php?zh=" + name)
                    self.assertIn(b"&ml=%s\"" % reply[2:], page)
                    self.assertIn(b"1001", c.login("demo", "demo123"))  # seeded once, not again
                    self.assertEqual(second.stop(sig), 0)
        finally:
            shutil.rmtree(os.path.dirname(data), ignore_errors=True)
