"""Who is acting is decided by the session cookie, not by the account in the query;
request bodies, HEAD and the handler threads are bounded; FTP uploads stay per member."""

import ftplib
import hashlib
import io
import os
import socket
import sqlite3
import time
import unittest
import uuid

from support import Service, raw_exchange, register, shared_service, unique

svc = None


setUpModule, tearDownModule = shared_service(globals())


def db(sql, args=()):
    conn = sqlite3.connect(os.path.join(svc.data, "tarnwick.db"))
    conn.row_factory = sqlite3.Row
    try:
        return [dict(r) for r in conn.execute(sql, args).fetchall()]
    finally:
        conn.close()


def multipart(name, data, boundary="----twauthz"):
    body = ('--%s\r\nContent-Disposition: form-data; name="file"; filename="%s"\r\n'
            'Content-Type: application/octet-stream\r\n\r\n' % (boundary, name)).encode("utf-8") \
        + data + ("\r\n--%s--\r\n" % boundary).encode()
    return body, {"Content-Type": "multipart/form-data; boundary=" + boundary}


def anonymous_upload(name, data):
    f = svc.ftp()
    f.encoding = "gbk"
    f.storbinary("STOR " + name, io.BytesIO(data))
    f.quit()


class Member:
    """A fresh member with two folders and two files of its own."""

    def __init__(self):
        self.account = unique("bob")
        self.client = svc.client()
        assert register(self.client, self.account) == b"3"
        self.id = db("SELECT id FROM members WHERE account=?", (self.account,))[0]["id"]
        c, a = self.client, self.account
        self.empty_folder = int(c.post("/post/cjml.php?zh=" + a, [("fwmm", "空"), ("ejml", "0")], "utf-8")[2:])
        self.folder = int(c.post("/post/cjml.php?zh=" + a, [("fwmm", "有"), ("ejml", "0")], "utf-8")[2:])
        self.md5 = db("SELECT md5 FROM files WHERE owner=1001 AND storage!='' LIMIT 1")[0]["md5"]
        ids = []
        for n in ("甲.txt", "乙.txt"):
            reply = c.post("/jsmc.php?bsm=%s&mlid=0&md5=%s" % (a, self.md5), [("wjdl", n)])
            ids.append(int(reply.split(b"xxxx")[1].rstrip(b"x")))
        self.file_to_move, self.file_to_delete = ids
        self.ftp_name = "authz-%s.txt" % uuid.uuid4().hex[:8]
        anonymous_upload(self.ftp_name + ".tnwklswj", b"registered by its owner only")
        self.web_name = "web-%s.bin" % uuid.uuid4().hex[:8]

    def snapshot(self):
        m = self.id
        digest = hashlib.md5()
        folder = os.path.join(svc.data, "storage", str(m))
        for n in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
            with open(os.path.join(folder, n), "rb") as f:
                digest.update(n.encode() + f.read())
        return {
            "member": db("SELECT * FROM members WHERE id=?", (m,)),
            "folders": db("SELECT * FROM folders WHERE owner=? ORDER BY id", (m,)),
            "files": db("SELECT * FROM files WHERE owner=? ORDER BY id", (m,)),
            "codes": db("SELECT * FROM codes WHERE used_by=?", (m,)),
            "mail": db("SELECT * FROM mail_outbox WHERE member=?", (m,)),
            "storage": digest.hexdigest(),
            "ftp": os.path.exists(os.path.join(svc.data, "ftp", self.ftp_name + ".tnwklswj")),
        }

    def operations(self):
        """Every state-changing endpoint, as this member would use it: (name, method, path,
        body pairs, charset, raw body and headers, success reply prefix)."""
        a = self.account
        web_body, web_headers = multipart(self.web_name, b"web bytes")
        return [
            ("create folder", "/post/cjml.php?zh=%s" % a, [("fwmm", "新建"), ("ejml", "0")], "utf-8", b"ok"),
            ("modify folder", "/post/sz5.php?pid=%s&mlid=%d" % (a, self.folder),
             [("btn2", "改"), ("btn1", "0")], "utf-8", b"1"),
            ("rename folder", "/post/sz5pc.php?mlid=%d&pid=%s" % (self.folder, a), [("btn2", "再改")], "gbk", b"1"),
            ("delete folder", "/post/scml.php?pid=%d&zh=%s" % (self.empty_folder, a),
             [("vipjhm", str(self.empty_folder))], "gbk", b"1"),
            ("link file", "/post/cjwjpc.php?mlpid=0&zh=%s" % a,
             [("wjm", "链接"), ("wldz", "http://example.com/a")], "gbk", b"1"),
            ("move files", "/get/ydxz.php?pid=%d,&ml=%d&zh=%s" % (self.file_to_move, self.folder, a),
             None, None, b"1"),
            ("delete files", "/get/plzc.php?pid=%d,&ml=0&zh=%s" % (self.file_to_delete, a), None, None, b"1"),
            ("instant upload", "/jsmc.php?bsm=%s&mlid=0&md5=%s" % (a, self.md5), [("wjdl", "秒传.txt")], "gbk",
             b"INSERT INTO `wenjian`"),
            ("ftp registration", "/tjwj.php?bsm=%s&mlid=0" % a, [("wjdl", self.ftp_name)], "gbk",
             b"INSERT INTO `wenjian`"),
            ("web upload", "/sc/index2.php?zh=%s&ml=0" % a, (web_body, web_headers), None, None),
            ("date public", "/post/sz2.php?pid=" + a, [("btn2", "1")], "utf-8", b"1"),
            ("count public", "/post/sz.php?pid=" + a, [("btn2", "1")], "utf-8", b"1"),
            ("net earning", "/post/sz1.php?pid=" + a, [("btn3", "0")], "utf-8", b"1"),
            ("enhanced", "/post/sz3.php?pid=" + a, [("btn2", "1")], "utf-8", b"1"),
            ("forced charge", "/post/sz8.php?pid=" + a, [("btnxa2", "0")], "utf-8", b"1"),
            ("mode and permission", "/post/szx.php?zh=%s&lx=2&szqx=1" % a, None, None, b"1"),
            ("access password", "/post/cz1.php?pid=" + a, [("body", "公告"), ("fwmm", "pw7")], "utf-8", b"1"),
            ("security question", "/post/mb.php?pid=" + a, [("dan", "问题"), ("wenti", "答案")], "utf-8", b"2"),
            ("password", "/post/xgmm.php?pid=" + a, [("cxdan", "newpw1"), ("cxwenti", "newpw1")], "utf-8", b"2"),
            ("e-mail", "/post/xgyx.php?pid=" + a, [("yxdz", a + "@changed.local")], "utf-8", b"1"),
            ("payout account", "/post/tx.php?pid=" + a,
             [("zfbzh", "p@a.cn"), ("cfzfbzh", "p@a.cn"), ("zfbxm", "名"), ("zfbyx", "m@a.cn")], "utf-8", b"3"),
            ("vip code", "/post/vip.php?pid=" + a, [("vipjhm", "VIP-DEMO-0019")], "utf-8", b"1"),
            ("recharge code", "/post/vip.php?czlx=1&pid=" + a, [("vipjhm1", "CZ-DEMO-0019")], "utf-8", b"1"),
        ]


def send(client, path, pairs, charset):
    """(status, body) of one operation: GET without pairs, a form POST, or a raw (body, headers) POST."""
    if pairs is None:
        status, _, body = client.request(path)
    elif isinstance(pairs, tuple):
        status, _, body = client.request(path, pairs[0], pairs[1])
    else:
        from support import form
        status, _, body = client.request(path, form(pairs, charset))
    return status, body


class ActingOnAnotherMember(unittest.TestCase):
    def check_refused(self, client, bob):
        before = bob.snapshot()
        for name, path, pairs, charset, success in bob.operations():
            with self.subTest(operation=name):
                status, body = send(client, path, pairs, charset)
                self.assertEqual(status, 403)
                if success is None:
                    self.assertNotIn("上传成功".encode("utf-8"), body)
                else:
                    self.assertFalse(body.startswith(success), body)
                    self.assertLess(len(body), 200 if b"<html" not in body else 10 ** 6)
        self.assertEqual(bob.snapshot(), before)

    def test_alice_a_visitor_and_a_replaced_session_are_refused_then_bob_succeeds(self):
        bob = Member()
        self.check_refused(svc.client("alice"), bob)   # another member's session
        self.check_refused(svc.client(), bob)          # no session at all
        forged = svc.client()
        forged.jar.set_cookie(_cookie("TWSESSION", "0" * 32))
        self.check_refused(forged, bob)                # a session that was never issued
        old = bob.client
        bob.client = svc.client(bob.account)           # logging in again replaces the old session
        self.check_refused(old, bob)
        # The same requests from bob's current session all succeed: the refusals above
        # were the session's doing, not the requests'.
        for name, path, pairs, charset, success in bob.operations():
            with self.subTest(operation=name, who="bob"):
                status, body = send(bob.client, path, pairs, charset)
                self.assertEqual(status, 200)
                if success is None:
                    self.assertIn(("上传成功：" + bob.web_name).encode("utf-8"), body)
                else:
                    self.assertTrue(body.startswith(success), body)
        after = db("SELECT * FROM members WHERE id=?", (bob.id,))[0]
        self.assertEqual((after["question"], after["password"], after["payout_account"], after["storage_mode"]),
                         ("问题", "newpw1", "p@a.cn", 2))

    def test_reads_return_only_the_session_members_data(self):
        bob = Member()
        c = bob.client
        c.post("/post/mb.php?pid=" + bob.account, [("dan", "秘密问题"), ("wenti", "答")], "utf-8")
        c.post("/post/tx.php?pid=" + bob.account, [("zfbzh", "bob@pay.cn"), ("cfzfbzh", "bob@pay.cn"),
                                                    ("zfbxm", "鲍勃"), ("zfbyx", "b@a.cn")], "utf-8")
        c.post("/post/cz1.php?pid=" + bob.account, [("body", "鲍勃的公告"), ("fwmm", "bobpw")], "utf-8")
        c.request("/sc/index2.php?zh=%s&ml=0" % bob.account, *multipart(bob.web_name, b"x"))
        a = bob.account
        cases = [  # path, text only bob's own session may see
            ("/get/aq.php?pid=" + a, "秘密问题"), ("/get/tx.php?pid=" + a, "bob@pay.cn"),
            ("/get/sz.php?pid=" + a, "bobpw"), ("/get/cs1.php?pid=" + a, "总IP数量："),
            ("/sc/index.php?zh=" + a, "&ml=%d\"" % bob.folder), ("/mlsx.php?pid=%d&zh=%s" % (bob.folder, a), "<option"),
            ("/post/sxwjx.php?zh=" + a, bob.web_name), ("/sc/index2.php?zh=%s&ml=0" % a, "multipart/form-data"),
        ]
        for reader, expect_visible in ((svc.client("alice"), False), (svc.client(), False), (c, True)):
            for path, secret in cases:
                with self.subTest(path=path, own=expect_visible):
                    status, _, body = reader.request(path)
                    text = body.decode("utf-8", "replace") if "/get/" in path or "index2" in path \
                        or "sxwjx" in path else body.decode("gbk", "replace")
                    self.assertEqual(secret in text, expect_visible)
                    self.assertEqual(status, 200 if expect_visible else 403)

    def test_feedback_needs_a_session(self):
        before = len(db("SELECT * FROM feedback"))
        status, body = send(svc.client(), "/post/fkc.php", [("yx", "a@b.cn"), ("nr", "内容")], "gbk")
        self.assertEqual((status, body), (403, b"1"))
        self.assertEqual(len(db("SELECT * FROM feedback")), before)
        self.assertEqual(svc.client("alice").post("/post/fkc.php", [("yx", "a@b.cn"), ("nr", "内容")]), b"OK")
        self.assertEqual(db("SELECT member FROM feedback ORDER BY id DESC LIMIT 1")[0]["member"], 1002)

    def test_qq_sign_in_is_a_login_of_that_browser(self):
        browser = svc.client()
        browser.get("/QQ/example/oauth/index.php")
        browser.post("/QQ/example/oauth/index.php", [("go", "1")])
        self.assertEqual(browser.post("/post/xgyx.php?pid=qqdemo", [("yxdz", "qq1@test.local")], "utf-8")[:1],
                         b"1")
        self.assertEqual(svc.client().post("/post/xgyx.php?pid=qqdemo", [("yxdz", "qq2@test.local")], "utf-8"),
                         b"0")


def _cookie(name, value):
    import http.cookiejar
    host = svc.url[len("http://"):].split(":")[0]
    return http.cookiejar.Cookie(0, name, value, None, False, host, False, False, "/", True, False, None, True,
                                 None, None, {})


class FtpPerMember(unittest.TestCase):
    def test_same_name_uploads_by_two_members_register_their_own_bytes(self):
        name = "a-%s.zip" % uuid.uuid4().hex[:8]
        contents = {"alice": b"alice's bytes " * 1000, "demo": b"demo's other bytes " * 700}
        connections = {account: svc.ftp(account) for account in contents}
        for account, f in connections.items():  # both uploads are in place before either registers
            f.storbinary("STOR " + name + ".tnwklswj", io.BytesIO(contents[account]))
        for f in connections.values():
            f.quit()
        for account, data in contents.items():
            with self.subTest(account=account):
                reply = svc.client(account).post("/tjwj.php?bsm=%s&mlid=0" % account, [("wjdl", name)])
                self.assertIn(b"INSERT INTO `wenjian`", reply)
                file_id = int(reply.split(b"xxxx")[1].rstrip(b"x"))
                row = db("SELECT * FROM files WHERE id=?", (file_id,))[0]
                self.assertEqual(row["md5"], hashlib.md5(data).hexdigest())

    def test_a_members_upload_is_neither_seen_nor_registered_by_others(self):
        name = "mine-%s.bin" % uuid.uuid4().hex[:8]
        f = svc.ftp("alice")
        f.storbinary("STOR " + name + ".tnwklswj", io.BytesIO(b"private"))
        f.quit()
        anon = svc.ftp()
        self.assertNotIn(name + ".tnwklswj", anon.nlst())
        for target in ("../ftp-member", "/../ftp-member/1002"):
            with self.assertRaises(ftplib.error_perm):
                anon.cwd(target)
        anon.quit()
        demo = svc.ftp("demo")
        self.assertNotIn(name + ".tnwklswj", demo.nlst())
        demo.quit()
        self.assertEqual(svc.client("demo").post("/tjwj.php?bsm=demo&mlid=0", [("wjdl", name)]), b"0")
        self.assertIn(b"INSERT INTO", svc.client("alice").post("/tjwj.php?bsm=alice&mlid=0", [("wjdl", name)]))

    def test_wrong_password_is_refused(self):
        f = ftplib.FTP()
        f.connect(svc.ftp_host, svc.ftp_port, timeout=10)
        with self.assertRaises(ftplib.error_perm):
            f.login("alice", "wrong")
        f.close()


def service_peak_rss_kib(service):
    with open("/proc/%d/status" % service.proc.pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


class Bounds(unittest.TestCase):
    def test_chunked_body_is_refused_and_not_read_as_a_request(self):
        smuggled = b"GET /ge.txt HTTP/1.1\r\nHost: x\r\n\r\n"
        body = b"%x\r\n%s\r\n0\r\n\r\n" % (len(smuggled), smuggled)
        reply = raw_exchange(svc.url, b"POST /csx.php HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                                      b"Content-Type: application/x-www-form-urlencoded\r\n\r\n" + body)
        self.assertTrue(reply.startswith(b"HTTP/1.1 411"), reply[:80])
        self.assertNotIn(b"118|", reply)

    def test_bad_lengths(self):
        cases = [  # header lines, expected status line start
            (b"Content-Length: abc\r\n", b"HTTP/1.1 400"),
            (b"Content-Length: -5\r\n", b"HTTP/1.1 400"),
            (b"Content-Length: 3\r\nContent-Length: 4\r\n", b"HTTP/1.1 400"),
            (b"Content-Length: %d\r\n" % (2 * 1024 * 1024), b"HTTP/1.1 413"),   # a form over 1 MiB
        ]
        for headers, status in cases:
            with self.subTest(headers=headers):
                reply = raw_exchange(svc.url, b"POST /csx.php HTTP/1.1\r\nHost: x\r\n" + headers + b"\r\n", 10)
                self.assertTrue(reply.startswith(status), reply[:80])

    def test_oversized_upload_is_refused_before_its_body(self):
        # 300 MiB announced, nothing sent: the refusal must come without waiting for the body.
        for expect in (b"", b"Expect: 100-continue\r\n"):
            with self.subTest(expect=expect):
                reply = raw_exchange(svc.url, b"POST /sc/index2.php?zh=demo&ml=0 HTTP/1.1\r\nHost: x\r\n"
                                              b"Content-Type: multipart/form-data; boundary=b\r\n" + expect +
                                              b"Content-Length: %d\r\n\r\n" % (300 * 1024 * 1024), 10)
                self.assertTrue(reply.startswith(b"HTTP/1.1 413"), reply[:80])
                self.assertNotIn(b"100 Continue", reply)

    def test_web_upload_is_streamed_to_disk(self):
        c = svc.client("demo")
        data = os.urandom(1024 * 1024) * 48
        name = "big-%s.bin" % uuid.uuid4().hex[:6]
        body, headers = multipart(name, data, "----" + uuid.uuid4().hex)
        peak = service_peak_rss_kib(svc)
        status, _, page = c.request("/sc/index2.php?zh=demo&ml=0", body, headers)
        self.assertEqual(status, 200)
        self.assertIn(name.encode(), page)
        row = db("SELECT * FROM files WHERE owner=1001 AND name=?", (name,))[0]
        self.assertEqual((row["size"], row["md5"]), (len(data), hashlib.md5(data).hexdigest()))
        # Read whole (and copied) the 48 MiB would raise the peak by far more than 16 MiB.
        self.assertLess(service_peak_rss_kib(svc) - peak, 16 * 1024)
        self.assertEqual(os.listdir(os.path.join(svc.data, "tmp")), [])

    def test_malformed_multipart_bodies(self):
        c = svc.client("demo")
        before = len(db("SELECT * FROM files WHERE owner=1001"))
        head = b'--b\r\nContent-Disposition: form-data; name="file"; filename="x.bin"\r\n\r\n'
        cases = [  # body, content type
            (head + b"no closing delimiter", "multipart/form-data; boundary=b"),
            (b"garbage without any delimiter", "multipart/form-data; boundary=b"),
            (head + b"data\r\n--b", "multipart/form-data; boundary=b"),               # ends inside the delimiter line
            (b"--b\r\n" + b"H" * 20000, "multipart/form-data; boundary=b"),          # endless header block
            (head + b"data\r\n--b--\r\n", "multipart/form-data"),                      # no boundary
        ]
        for body, ctype in cases:
            with self.subTest(body=body[:40], ctype=ctype):
                status, _, reply = c.request("/sc/index2.php?zh=demo&ml=0", body, {"Content-Type": ctype})
                self.assertEqual(status, 400)
                self.assertNotIn(b"Traceback", reply)
        self.assertEqual(len(db("SELECT * FROM files WHERE owner=1001")), before)
        self.assertEqual(os.listdir(os.path.join(svc.data, "tmp")), [])
        self.assertEqual(c.get("/ge.txt")[:4], b"118|")

    def test_head_runs_no_handler_with_side_effects(self):
        c = svc.client("demo")
        victim = db("SELECT * FROM files WHERE owner=1001 AND storage!='' ORDER BY id DESC LIMIT 1")[0]
        stats = db("SELECT SUM(ips) AS ips, SUM(downloads) AS dl FROM stats WHERE member=1001")
        settings = db("SELECT storage_mode, permission FROM members WHERE id=1001")
        signins = db("SELECT COUNT(*) AS n FROM qq_signins")
        cases = [  # path, status
            ("/get/plzc.php?pid=%d,&ml=0&zh=demo" % victim["id"], 405),
            ("/get/ydxz.php?pid=%d,&ml=4&zh=demo" % victim["id"], 405),
            ("/post/szx.php?zh=demo&lx=2&szqx=2", 405),
            ("/ym.php?pid=%d" % victim["id"], 405),                       # would count a visit
            ("/QQ/example/oauth/index.php", 405),                          # would start a sign-in
            ("/up/" + victim["storage"], 200),                             # headers of the file, nothing counted
            ("/yunxz1.php?pid=%d&szmm=0" % victim["id"], 200),
            ("/get/sz.php?pid=demo", 200),
        ]
        for path, status in cases:
            with self.subTest(path=path):
                got, headers, _ = _head(c, path)
                self.assertEqual(got, status)
                if path.startswith("/up/"):
                    self.assertEqual(int(headers["Content-Length"]), victim["size"])
        self.assertEqual(db("SELECT * FROM files WHERE id=?", (victim["id"],)), [victim])
        self.assertEqual(db("SELECT SUM(ips) AS ips, SUM(downloads) AS dl FROM stats WHERE member=1001"), stats)
        self.assertEqual(db("SELECT storage_mode, permission FROM members WHERE id=1001"), settings)
        self.assertEqual(db("SELECT COUNT(*) AS n FROM qq_signins"), signins)


def _head(client, path):
    import urllib.request
    import urllib.error
    req = urllib.request.Request(client.base + path, method="HEAD")
    try:
        with client.opener.open(req, timeout=10) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, b""


class HandlerThreads(unittest.TestCase):
    def test_a_crowd_of_idle_connections_gets_503_not_more_threads(self):
        small = Service(env={"TARNWICK_HTTP_THREADS": "2"})
        idle = []
        try:
            host, port = small.url[len("http://"):].split(":")
            for _ in range(2):
                s = socket.create_connection((host, int(port)), timeout=10)
                s.sendall(b"GET /ge.txt HTTP/1.1\r\n")  # never finished: holds its thread
                idle.append(s)
            time.sleep(0.3)
            reply = raw_exchange(small.url, b"GET /ge.txt HTTP/1.1\r\nHost: x\r\n\r\n", 15)
            self.assertTrue(reply.startswith(b"HTTP/1.1 503"), reply[:80])
            for s in idle:
                s.close()
            idle = []
            ok = False
            for _ in range(50):  # the threads end once their connections are gone
                reply = raw_exchange(small.url, b"GET /ge.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                                     15)
                if reply.startswith(b"HTTP/1.1 200"):
                    ok = True
                    break
                time.sleep(0.1)
            self.assertTrue(ok)
            self.assertIn(b"118|", reply)
        finally:
            for s in idle:
                s.close()
            small.stop()


if __name__ == "__main__":
    unittest.main()
