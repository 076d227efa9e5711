"""Uploads by FTP plus registration, instant uploads, web uploads, Range downloads, direct links."""

import hashlib
import io
import os
import re
import sqlite3
import unittest
import uuid
from urllib.parse import quote

from support import gbk, register, shared_service, split_text, text_between

svc = None
# Every byte value, line endings of all kinds and a Ctrl-Z: what an ASCII-mode transfer would damage.
BINARY = bytes(range(256)) * 300 + b"\r\n\n\r\x1a\x00" * 1000 + os.urandom(50000)


setUpModule, tearDownModule = shared_service(globals())


def register_upload(client, account, folder, name):
    return client.post("/tjwj.php?bsm=%s&mlid=%d" % (account, folder), [("wjdl", name)])


def new_id(reply):
    if b"INSERT INTO `wenjian`" not in reply:
        return None
    return int(text_between(reply, "xxxx", "x"))


def stored_bytes(client, file_id, password=""):
    page = client.get("/ym.php?pid=%d&srmm=%s" % (file_id, password))
    return client.get("/up/" + text_between(page, "bsmzdyd", "<").decode())


def db_file(file_id):
    conn = sqlite3.connect(os.path.join(svc.data, "tarnwick.db"))
    conn.row_factory = sqlite3.Row
    try:
        return conn.execute("SELECT * FROM files WHERE id=?", (file_id,)).fetchone()
    finally:
        conn.close()


class FtpUpload(unittest.TestCase):
    def upload(self, name_bytes, data, passive=True, encoding="utf-8", rest_split=None):
        f = svc.ftp()
        f.encoding = encoding
        f.set_pasv(passive)
        remote = name_bytes.decode(encoding)
        if rest_split is None:
            f.storbinary("STOR " + remote, io.BytesIO(data), blocksize=20480)
        else:
            f.storbinary("STOR " + remote, io.BytesIO(data[:rest_split]))
            f.storbinary("STOR " + remote, io.BytesIO(data[rest_split:]), rest=rest_split)
        f.quit()

    def test_binary_upload_arrives_byte_identical(self):
        cases = [  # name, passive, rest split
            ("pasv-%s.bin" % uuid.uuid4().hex[:6], True, None),
            ("port-%s.bin" % uuid.uuid4().hex[:6], False, None),
            ("rest-%s.bin" % uuid.uuid4().hex[:6], True, 123457),
        ]
        c = svc.client("demo")
        for name, passive, rest in cases:
            with self.subTest(name=name):
                self.upload(gbk(name + ".tnwklswj"), BINARY, passive, rest_split=rest)
                file_id = new_id(register_upload(c, "demo", 0, name))
                self.assertIsNotNone(file_id)
                self.assertEqual(stored_bytes(c, file_id), BINARY)
                row = db_file(file_id)
                self.assertEqual((row["size"], row["md5"], row["name"]),
                                 (len(BINARY), hashlib.md5(BINARY).hexdigest(), name))
                self.assertFalse(os.path.exists(os.path.join(svc.data, "ftp", name + ".tnwklswj")))
                log = svc.ftp_log()
                self.assertIn("TYPE I", log)
                self.assertIn("STOR " + name + ".tnwklswj", log)
                self.assertIn("PORT" if not passive else "PASV", log)
                if rest:
                    self.assertIn("REST %d" % rest, log)

    def test_registration_needs_the_uploaded_file(self):
        c = svc.client("demo")
        self.assertIsNone(new_id(register_upload(c, "demo", 0, "never-uploaded.txt")))
        name = "twice-%s.txt" % uuid.uuid4().hex[:6]
        self.upload(gbk(name + ".tnwklswj"), b"hello")
        self.assertIsNotNone(new_id(register_upload(c, "demo", 0, name)))
        self.assertIsNone(new_id(register_upload(c, "demo", 0, name)))  # already taken into storage

    def test_chinese_names_in_gbk_and_utf8(self):
        c = svc.client("demo")
        for encoding in ("gbk", "utf-8"):
            with self.subTest(encoding=encoding):
                name = "照片%s.jpg" % uuid.uuid4().hex[:4]
                self.upload((name + ".tnwklswj").encode(encoding), b"\xff\xd8 jpeg", encoding=encoding)
                file_id = new_id(register_upload(c, "demo", 4, name))
                self.assertIsNotNone(file_id)
                self.assertEqual(db_file(file_id)["name"], name)
                self.assertEqual(db_file(file_id)["folder"], 4)

    def test_ascii_type_is_logged(self):
        f = svc.ftp()
        f.storlines("STOR ascii-check.txt.tnwklswj", io.BytesIO(b"line one\r\nline two\r\n"))
        f.quit()
        self.assertRegex(svc.ftp_log(), re.compile(r"TYPE A\n.*STOR ascii-check\.txt\.tnwklswj", re.S))


class InstantUpload(unittest.TestCase):
    def test_known_digest_adds_a_row_sharing_the_bytes(self):
        c = svc.client("alice")
        source = db_file(1)
        reply = c.post("/jsmc.php?bsm=alice&mlid=0&md5=%s" % source["md5"], [("wjdl", "复制.txt")])
        file_id = new_id(reply)
        self.assertIsNotNone(file_id)
        row = db_file(file_id)
        self.assertEqual((row["owner"], row["name"], row["size"]), (1002, "复制.txt", source["size"]))
        self.assertEqual(stored_bytes(c, file_id, "alice8"), stored_bytes(c, 1))

    def test_refusals(self):
        c = svc.client("demo")
        md5 = db_file(1)["md5"]
        cases = [
            "/jsmc.php?bsm=demo&mlid=0&md5=" + "0" * 32,        # unknown content
            "/jsmc.php?bsm=demo&mlid=0&md5=xyz",                # not a digest
            "/jsmc.php?bsm=nobody&mlid=0&md5=" + md5,           # unknown member
            "/jsmc.php?bsm=demo&mlid=abc&md5=" + md5,           # folder id not a number
            "/jsmc.php?bsm=demo&mlid=999999&md5=" + md5,        # folder that does not exist
            "/jsmc.php?bsm=alice&mlid=1&md5=" + md5,            # another member's folder
        ]
        for url in cases:
            with self.subTest(url=url):
                self.assertIsNone(new_id(c.post(url, [("wjdl", "x.txt")])))


class Downloads(unittest.TestCase):
    def test_range_replies(self):
        c = svc.client("demo")
        name = "range-%s.bin" % uuid.uuid4().hex[:6]
        FtpUpload.upload(None, gbk(name + ".tnwklswj"), BINARY)
        file_id = new_id(register_upload(c, "demo", 0, name))
        path = "/up/" + db_file(file_id)["storage"]
        size = len(BINARY)
        cases = [  # Range header, status, Content-Range, expected slice
            (None, 200, None, slice(0, size)),
            ("bytes=0-", 206, "bytes 0-%d/%d" % (size - 1, size), slice(0, size)),
            ("bytes=1000-", 206, "bytes 1000-%d/%d" % (size - 1, size), slice(1000, size)),
            ("bytes=10-19", 206, "bytes 10-19/%d" % size, slice(10, 20)),
            ("bytes=-100", 206, "bytes %d-%d/%d" % (size - 100, size - 1, size), slice(size - 100, size)),
            ("bytes=%d-" % (size - 1), 206, "bytes %d-%d/%d" % (size - 1, size - 1, size), slice(size - 1, size)),
            ("bytes=%d-" % size, 416, "bytes */%d" % size, slice(0, 0)),
        ]
        for header, status, content_range, part in cases:
            with self.subTest(range=header):
                got_status, headers, body = c.request(path, headers={"Range": header} if header else {})
                self.assertEqual(got_status, status)
                self.assertEqual(headers.get("Content-Range"), content_range)
                if status != 416:
                    self.assertEqual(body, BINARY[part])

    def test_empty_file_is_sent_whole_whatever_the_range(self):
        c = svc.client("demo")
        FtpUpload.upload(None, b"empty.txt.tnwklswj", b"")
        file_id = new_id(register_upload(c, "demo", 0, "empty.txt"))
        for header in ({}, {"Range": "bytes=0-"}):
            status, headers, body = c.request("/up/" + db_file(file_id)["storage"], headers=header)
            self.assertEqual((status, body, headers.get("Content-Length")), (200, b"", "0"))

    def test_direct_link_honours_the_access_password(self):
        c = svc.client()
        alice_file = [r for r in (db_file(i) for i in range(1, 80)) if r and r["owner"] == 1002][0]
        cases = [  # file id, szmm, status
            (alice_file["id"], "alice8", 200), (alice_file["id"], "wrong", 403), (alice_file["id"], "0", 403),
            (alice_file["id"], "", 403), (1, "0", 200), (1, "", 200), (999999, "0", 404),
        ]
        for file_id, password, status in cases:
            with self.subTest(file=file_id, password=password):
                got, _, body = c.request("/yunxz1.php?pid=%d&szmm=%s" % (file_id, password))
                self.assertEqual(got, status)
                if status == 200:
                    self.assertEqual(hashlib.md5(body).hexdigest(), db_file(file_id)["md5"])

    def test_file_page_hides_the_address_without_the_password(self):
        c = svc.client()
        alice_file = [r for r in (db_file(i) for i in range(1, 80)) if r and r["owner"] == 1002][0]["id"]
        for password in ("nope", "", "0"):
            self.assertNotIn(b"bsmzdyd", c.get("/ym.php?pid=%d&srmm=%s" % (alice_file, password)))
        self.assertTrue(text_between(c.get("/ym.php?pid=%d&srmm=alice8" % alice_file), "bsmzdyd", "<"))

    def test_downloads_are_counted(self):
        c = svc.client()
        before = db_file(2)["downloads"]
        c.request("/up/" + db_file(2)["storage"])
        c.request("/up/" + db_file(2)["storage"], headers={"Range": "bytes=5-"})  # a resumed part is not counted
        self.assertEqual(db_file(2)["downloads"], before + 1)


class WebUpload(unittest.TestCase):
    def test_multipart_upload_is_stored_and_listed(self):
        c = svc.client("alice")
        self.assertIn(b'enctype="multipart/form-data"', c.get("/sc/index2.php?zh=alice&ml=0"))
        boundary = "----tw" + uuid.uuid4().hex
        name = "网页-%s.bin" % uuid.uuid4().hex[:4]
        body = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\n" % (boundary, name)).encode("utf-8") \
            + BINARY[:5000] + ("\r\n--%s--\r\n" % boundary).encode()
        status, _, page = c.request("/sc/index2.php?zh=alice&ml=0", body,
                                    {"Content-Type": "multipart/form-data; boundary=" + boundary})
        self.assertEqual(status, 200)
        self.assertIn(name, page.decode("utf-8"))
        recent = c.get("/post/sxwjx.php?zh=alice").decode("utf-8")
        file_id = int(re.search(r'ym\.php\?pid=(\d+)[^>]*>%s<' % re.escape(name), recent).group(1))
        self.assertEqual(stored_bytes(c, file_id, "alice8"), BINARY[:5000])
        self.assertNotIn(name, c.get("/post/sxwjx.php?zh=demo").decode("utf-8"))

    def test_form_address_names_a_chinese_account_in_gbk(self):
        c = svc.client()
        account = "网页用户" + uuid.uuid4().hex[:4]
        self.assertEqual(register(c, account), b"3")
        page = c.get("/sc/index2.php?zh=%s&ml=0" % quote(account.encode("gbk"))).decode("utf-8")
        action = re.search(r'action="([^"]+)"', page).group(1)
        self.assertEqual(action, "/sc/index2.php?zh=%s&ml=0" % quote(account.encode("gbk"), safe=""))


if __name__ == "__main__":
    unittest.main()
