"""Page shapes: every page is read with the client's own patterns and markers,
and what they cut out is compared with the database."""

import math
import os
import re
import sqlite3
import unittest
import urllib.parse

from support import gbk, register, shared_service, split_text, text_between, unique

FOLDER_PATTERN = gbk('<div  style="height:35px;">.*?id="x.*?">')
ROW_PATTERN = gbk('<div style="display:none;">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r')
SEARCH_PATTERN = gbk('<div style="margin-bottom:5px;    margin-top: 5px;">.*?&nbsp;.*?&nbsp;.*?</div>')
WITHDRAWAL_PATTERN = gbk('<div style="margin-top:5px;">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>')
RECORD_PATTERN = gbk('<div style="float:left; padding-top:5px;">.*?&nbsp;&nbsp&nbsp;.*?</div></div>')

svc = None


setUpModule, tearDownModule = shared_service(globals())


def db_rows(sql, args=()):
    conn = sqlite3.connect(os.path.join(svc.data, "tarnwick.db"))
    conn.row_factory = sqlite3.Row
    try:
        return conn.execute(sql, args).fetchall()
    finally:
        conn.close()


def folder_entries(page):
    """(id, name) of each folder entry, cut as the folder list does."""
    out = []
    for m in re.finditer(FOLDER_PATTERN, page):
        s = text_between(m.group(0), "margin-left: 10px;", "</a>")
        fid = int(text_between(s, "&ml=", '"') or 0)
        t = text_between(s, "_blank", "&nbsp;")
        out.append((fid, t[t.rfind(b">") + 1:].decode("gbk")))
    return out


def file_rows(page):
    out = []
    for m in re.finditer(ROW_PATTERN, page):
        row = m.group(0)
        out.append((int(text_between(row, ">pid：", "<")), text_between(row, "文件名：", "<").decode("gbk"),
                    text_between(row, "大小：", "<").decode("gbk"), text_between(row, "日期：", "<").decode("gbk"),
                    text_between(row, "下载量：", "<").decode("gbk")))
    return out


class LoginReplies(unittest.TestCase):
    def test_replies(self):
        cases = [  # account, password, expected pieces (None = failure)
            ("demo", "demo123", ["1001", "demo", "demo@tarnwick.local"]),
            ("alice", "alice123", ["1002", "alice", "alice@tarnwick.local"]),
            ("qqdemo", "qq123456", ["1003", "qqdemo", "暂无设置。"]),
            ("demo", "wrong", None), ("demo", "", None), ("demo", "DEMO123", None),
            ("nobody", "demo123", None), ("", "", None),
        ]
        for account, password, expected in cases:
            with self.subTest(account=account, password=password):
                reply = svc.client().login(account, password).replace(b"\r\n", b"")
                if expected is None:
                    self.assertLess(len(reply), 4)
                else:
                    self.assertEqual([p.decode("gbk") for p in split_text(reply, b"x")], expected)

    def test_login_sets_session_cookie(self):
        c = svc.client()
        c.login("demo", "demo123")
        self.assertIn("TWSESSION", [k.name for k in c.jar])


class FolderPages(unittest.TestCase):
    def expected(self, owner):
        rows = {r["id"]: r for r in db_rows("SELECT * FROM folders WHERE owner=?", (owner,))}
        return rows

    def test_folder_list_matches_database_with_default_last(self):
        for query in ("/sc/index.php?zh=demo&ml=0", "/sc/index.php?zh=demo"):
            with self.subTest(query=query):
                entries = folder_entries(svc.client("demo").get(query))
                rows = self.expected(1001)
                self.assertEqual(entries[-1], (0, "默认文件夹"))
                self.assertEqual(sorted(entries[:-1]), sorted((i, r["name"]) for i, r in rows.items()))
                # parents come before their children
                seen = {0}
                for fid, _ in entries[:-1]:
                    self.assertIn(rows[fid]["parent"], seen)
                    seen.add(fid)

    def test_unknown_account_has_no_entries(self):
        self.assertEqual(folder_entries(svc.client().get("/sc/index.php?zh=nobody&ml=0")), [])

    def test_properties_preselect_the_parent(self):
        for row in db_rows("SELECT * FROM folders WHERE owner=1001"):
            with self.subTest(folder=row["name"]):
                page = svc.client("demo").get("/mlsx.php?pid=%d&zh=demo" % row["id"])
                self.assertEqual(text_between(page, '<option selected value="', '"'), str(row["parent"]).encode())


class Listing(unittest.TestCase):
    def test_pages_hold_every_file_once(self):
        for folder in [0] + [r["id"] for r in db_rows("SELECT id FROM folders WHERE owner=1001")]:
            files = db_rows("SELECT * FROM files WHERE owner=1001 AND folder=?", (folder,))
            pages = max(1, math.ceil(len(files) / 10))
            seen = []
            for n in range(pages + 1):
                page = svc.client().get("/wdwj.php?pid=1001&ml=%d&yms=%d" % (folder, n))
                self.assertEqual(text_between(page, "总共有", "页"), str(pages).encode())
                rows = file_rows(page)
                self.assertLessEqual(len(rows), 10)
                if n == pages:
                    self.assertEqual(rows, [])
                seen += rows
            by_id = {r["id"]: r for r in files}
            self.assertEqual(sorted(r[0] for r in seen), sorted(by_id))
            for fid, name, size, date, count in seen:
                self.assertEqual((name, date, count), (by_id[fid]["name"], by_id[fid]["date"],
                                                       str(by_id[fid]["downloads"])))
                self.assertTrue(size)

    def test_demo_default_folder_spans_several_pages(self):
        page = svc.client().get("/wdwj.php?pid=1001&ml=0")
        self.assertGreaterEqual(int(text_between(page, "总共有", "页")), 3)
        self.assertEqual(len(file_rows(page)), 10)

    def test_row_needs_the_carriage_return(self):
        page = svc.client().get("/wdwj.php?pid=1001&ml=0")
        stripped = page.replace(b"</div>\r\n", b"</div>\n")
        self.assertEqual(file_rows(stripped), [])


class AccountPages(unittest.TestCase):
    def utf8_page(self, path):
        # The account pages answer only the member the session cookie names.
        account = urllib.parse.parse_qs(urllib.parse.urlparse(path).query)["pid"][0]
        return svc.client(account).get(path).decode("utf-8").encode("gbk")

    def test_settings_markers(self):
        page = self.utf8_page("/get/sz.php?pid=demo")
        cases = [  # left marker, right marker, expected
            ("selected [", "]", "1"), ("selected]", "[", "1"),
            ('id="btn3qzsf" style="width:325px;">', "<", "×关闭了强制收费模式"),
            ('id="btn3" style="width:325px;">', "<", "√开启了网赚模式"),
            ('id="qxbtn2" style="width:325px;">', "<", "切换到普通"),
            ('<p id="xdan4">', "<", "上传日期公开：√"), ('id="xbtn2" style="width:325px;">', "<", "关闭"),
            ('<p id="dan4">', "<", "下载量公开：√"), ('id="btn2" style="width:325px;">', "<", "关闭"),
            ('id="fwmm" value="', '"', ""), ('id="body" cols="60" rows="10">', "<", "欢迎访问我的网盘！"),
        ]
        for left, right, expected in cases:
            with self.subTest(marker=left):
                self.assertEqual(text_between(page, left, right).decode("gbk"), expected)

    def test_personal_page(self):
        page = self.utf8_page("/get/cs1.php?pid=demo")
        self.assertIn(gbk(">×<br />"), page)
        self.assertIn(gbk("当前开启了网赚模式"), page)
        self.assertIn(gbk("网赚模式→切换到一般"), page)
        total = db_rows("SELECT SUM(ips) AS s FROM stats WHERE member=1001")[0]["s"]
        self.assertEqual(text_between(page, "总IP数量：", "。"), str(total).encode())
        self.assertRegex(text_between(page, "可提现收入：", "。").decode("gbk"), r"^\d+\.\d\d元$")
        self.assertRegex(text_between(page, "<br />IP数量", "。").decode("gbk"), r"\d+$")
        self.assertRegex(text_between(page, "。下载量：", "次").decode("gbk"), r"^\d+$")
        self.assertEqual(text_between(page, "总邀请数量：", "，"), gbk("1人"))
        self.assertRegex(text_between(page, "人，总IP数量：", "。<br />").decode("gbk"), r"^\d+$")
        alice = self.utf8_page("/get/cs1.php?pid=alice")
        self.assertNotIn(gbk("当前开启了网赚模式"), alice)

    def test_security_page(self):
        self.assertEqual(text_between(self.utf8_page("/get/aq.php?pid=demo"), 'id="dan" value="', '"'),
                         gbk("我的小学名字？"))
        self.assertIn(gbk("还没有设置，危险！"), self.utf8_page("/get/aq.php?pid=alice"))

    def test_withdrawal_page(self):
        page = self.utf8_page("/get/tx.php?pid=demo")
        self.assertIn(gbk("已锁定"), page)
        self.assertEqual(text_between(page, 'name="dlmm" value="', '"'), b"demo@alipay.local")
        self.assertEqual(text_between(page, 'name="dlzh" value="', '"'), gbk("张三"))
        self.assertEqual(text_between(page, 'name="lxyx" value="', '"'), b"demo@tarnwick.local")
        self.assertEqual(text_between(page, "已提现佣金：", "<br />"), gbk("75.50元"))
        lines = []
        for m in re.finditer(WITHDRAWAL_PATTERN, page):
            t = m.group(0).replace(b"&nbsp;", b" ")
            lines.append(text_between(t, ">", "<").decode("gbk"))
        self.assertEqual(len(lines), 3)
        self.assertRegex(lines[0], r"^\d{4}-\d\d-\d\d     20\.00元 处理中$")
        alice = self.utf8_page("/get/tx.php?pid=alice")
        self.assertNotIn(gbk("已锁定"), alice)
        self.assertEqual(re.findall(WITHDRAWAL_PATTERN, alice), [])

    def test_records_follow_the_session(self):
        c = svc.client()
        self.assertEqual(re.findall(RECORD_PATTERN, c.get("/sytj.php?yms=0")), [])
        c.login("demo", "demo123")
        total = db_rows("SELECT COUNT(*) AS n FROM records WHERE member=1001")[0]["n"]
        rows = []
        for n in range(math.ceil(total / 10) + 1):
            for m in re.finditer(RECORD_PATTERN, c.get("/sytj.php?yms=%d" % n)):
                t = m.group(0).replace(b"&nbsp;", b" ").replace(b"&nbsp", b" ")
                rows.append(text_between(t, ">", "<").decode("gbk"))
        self.assertEqual(len(rows), total)
        self.assertRegex(rows[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d   客户端登录成功$")


class Search(unittest.TestCase):
    def hits(self, client, kind, keyword):
        page = client.post("/post/czwj1.php?pid=%d" % kind, [("gjc", keyword)]).decode("utf-8").encode("gbk")
        out = []
        for m in re.finditer(SEARCH_PATTERN, page):
            t = m.group(0)
            out.append((int(text_between(t, 'display:none;">', "<")),
                        text_between(t, '5px;">', "<").replace(b"&nbsp;", b" ").decode("gbk"),
                        int(text_between(t, "<xxx>", "<xxx>")), int(text_between(t, "<qqq>", "<qqq>"))))
        return out

    def test_files_and_folders_of_the_logged_in_member(self):
        c = svc.client()
        self.assertEqual(self.hits(c, 1, "演示"), [])  # no session, no hits
        c.login("demo", "demo123")
        files = {r["id"]: r for r in db_rows("SELECT * FROM files WHERE owner=1001 AND name LIKE '%演示%'")}
        hits = self.hits(c, 1, "演示")
        self.assertEqual(sorted(h[0] for h in hits), sorted(files))
        for fid, name, owner, folder in hits:
            self.assertEqual((name, owner, folder), (files[fid]["name"], 1001, files[fid]["folder"]))
        folder = db_rows("SELECT * FROM folders WHERE owner=1001 AND name='报告'")[0]
        self.assertEqual(self.hits(c, 2, "报告"), [(folder["id"], "报告", 1001, folder["id"])])
        self.assertEqual(self.hits(c, 1, "alice"), [])  # other members' files stay invisible


class SmallReplies(unittest.TestCase):
    def test_announcements_between_the_client_markers(self):
        page = svc.client().get("/guanli.php")
        fragment = text_between(page, "公告列表：", '<div title="今天不再显示该窗口"')
        text = re.sub(rb"<.*?>", b"", fragment).decode("gbk")
        for row in db_rows("SELECT * FROM announcements"):
            self.assertIn(row["title"], text)

    def test_update_file_version_is_configurable(self):
        c = svc.client()
        self.assertEqual(split_text(c.get("/ge.txt"), b"|")[0], b"118")
        self.assertEqual(c.get("/admin/version?v=119"), b"1")
        self.assertEqual(split_text(c.get("/ge.txt"), b"|")[0], b"119")
        with open(os.path.join(svc.data, "version"), "w") as f:
            f.write("120\n")
        try:
            self.assertEqual(split_text(c.get("/ge.txt"), b"|")[0], b"120")
        finally:
            os.remove(os.path.join(svc.data, "version"))
            c.get("/admin/version?v=118")
        pieces = split_text(c.get("/ge.txt"), b"|")
        self.assertEqual(pieces[0], b"118")
        self.assertTrue(pieces[1].startswith(svc.url.encode()))

    def test_file_page_names_the_stored_bytes(self):
        row = db_rows("SELECT * FROM files WHERE owner=1001 AND storage!='' ORDER BY id LIMIT 1")[0]
        c = svc.client()
        storage = text_between(c.get("/ym.php?pid=%d&srmm=" % row["id"]), "bsmzdyd", "<").decode()
        self.assertEqual(storage, row["storage"])
        import hashlib
        self.assertEqual(hashlib.md5(c.get("/up/" + storage)).hexdigest(), row["md5"])

    def test_new_member_pages(self):
        c = svc.client()
        name = unique("pg")
        self.assertEqual(register(c, name), b"3")
        self.assertEqual(folder_entries(c.get("/sc/index.php?zh=%s&ml=0" % name)), [(0, "默认文件夹")])
        uid = int(split_text(c.login(name, "pw12345"), b"x")[0])
        page = c.get("/wdwj.php?pid=%d&ml=0" % uid)
        self.assertEqual(text_between(page, "总共有", "页"), b"1")
        self.assertEqual(file_rows(page), [])


if __name__ == "__main__":
    unittest.main()
