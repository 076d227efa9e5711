"""The account pages show what the account forms changed, in the shapes the client reads."""

import os
import re
import sqlite3
import subprocess
import unittest

from support import gbk, register, ROOT, shared_service, text_between, unique

STATE = os.path.join(ROOT, "tests", "fixtures", "service_state.py")
WITHDRAWAL_PATTERN = gbk('<div style="margin-top:5px;">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>')

svc = None
# The client's announcement cleaning, in its order; "." also matches line breaks.
STRIP = [r"<!DOCTYPE.*?>", r"<!--.*?-->", r"<script.*?>.*?<\/script>", r"<style.*?>.*?<\/style>", r"<.*?>",
         r"&.{1,5};|&#.{1,5};"]


setUpModule, tearDownModule = shared_service(globals())


def db(sql, args=()):
    conn = sqlite3.connect(os.path.join(svc.data, "tarnwick.db"))
    conn.row_factory = sqlite3.Row
    try:
        return [dict(r) for r in conn.execute(sql, args).fetchall()]
    finally:
        conn.close()


def member():
    c, name = svc.client(), unique("st")
    assert register(c, name) == b"3"
    return c, name


def page(client, path):
    """An account page as the client holds it: UTF-8 converted to GBK."""
    return client.get(path).decode("utf-8").encode("gbk")


class PersonalPage(unittest.TestCase):
    def test_earning_mode_texts_follow_the_switches(self):
        c, name = member()
        cases = [  # switch path, key, value, "当前开启了网赚模式" shown, "网赚模式→切换到一般" shown
            (None, None, None, True, False),                 # a new member: earning on, normal
            ("/post/sz3.php", "btn2", "1", True, True),      # enhanced
            ("/post/sz1.php", "btn3", "0", False, False),    # earning off
            ("/post/sz1.php", "btn3", "1", True, True),      # on again, still enhanced
            ("/post/sz3.php", "btn2", "0", True, False),
        ]
        for path, key, value, earning, enhanced in cases:
            with self.subTest(path=path, value=value):
                if path:
                    self.assertEqual(c.post(path + "?pid=" + name, [(key, value)]), b"1")
                p = page(c, "/get/cs1.php?pid=" + name)
                self.assertEqual(gbk("当前开启了网赚模式") in p, earning)
                self.assertEqual(gbk("网赚模式→切换到一般") in p, enhanced)

    def test_vip_unlocks_the_charging_mode_and_recharge_adds_traffic(self):
        c, name = member()
        personal = "/get/cs1.php?pid=" + name
        self.assertIn(gbk(">×<br />"), page(c, personal))
        self.assertEqual(c.get("/post/szx.php?zh=%s&lx=3&szqx=0" % name), b"5")
        self.assertEqual(text_between(page(c, "/get/sz.php?pid=" + name), "selected [", "]"), b"4")
        self.assertEqual(c.post("/post/vip.php?pid=" + name, [("vipjhm", "VIP-DEMO-0011")]), b"1")
        self.assertNotIn(gbk(">×<br />"), page(c, personal))
        self.assertEqual(c.get("/post/szx.php?zh=%s&lx=3&szqx=2" % name), b"1")
        settings = page(c, "/get/sz.php?pid=" + name)
        self.assertEqual((text_between(settings, "selected [", "]"), text_between(settings, "selected]", "[")),
                         (b"3", b"3"))
        self.assertEqual(c.post("/post/vip.php?pid=%s&czlx=1" % name, [("vipjhm1", "CZ-DEMO-0011")]), b"1")
        self.assertIn(gbk("流量余额：10240MB"), page(c, personal))
        # The rest of the page still cuts as before.
        self.assertEqual(text_between(page(c, personal), "总邀请数量：", "，"), gbk("0人"))

    def test_out_of_range_choices(self):
        c, name = member()
        for lx, szqx in (("0", "0"), ("1", "-1"), ("5", "0"), ("", "")):  # -1: nothing selected
            with self.subTest(lx=lx, szqx=szqx):
                reply = c.get("/post/szx.php?zh=%s&lx=%s&szqx=%s" % (name, lx, szqx))
                self.assertEqual(reply, b"0")
        self.assertEqual(db("SELECT storage_mode, permission FROM members WHERE account=?", (name,)),
                         [{"storage_mode": 4, "permission": 0}])


class Forms(unittest.TestCase):
    def test_withdrawal_with_the_clients_default_contact_box(self):
        c, name = member()
        url = "/post/tx.php?pid=" + name
        before = page(c, "/get/tx.php?pid=" + name)
        self.assertNotIn(gbk("已锁定"), before)
        self.assertEqual(text_between(before, "已提现佣金：", "<br />"), gbk("0.00元"))
        # The off-screen contact box still holds "123" unless a locked page filled it.
        pairs = [("zfbzh", "pay@a.cn"), ("cfzfbzh", "pay@a.cn"), ("zfbxm", "王五"), ("zfbyx", "123")]
        self.assertEqual(c.post(url, pairs, "utf-8"), b"3")
        second = c.post(url, pairs, "utf-8")
        self.assertIn(b"2", second)
        self.assertNotIn(b"3", second)
        locked = page(c, "/get/tx.php?pid=" + name)
        self.assertIn(gbk("已锁定"), locked)
        cases = [('name="dlmm" value="', "pay@a.cn"), ('name="dlzh" value="', "王五"), ('name="lxyx" value="', "123")]
        for marker, value in cases:
            self.assertEqual(text_between(locked, marker, '"'), gbk(value))

    def test_values_arrive_whole_with_their_charsets(self):
        c, name = member()
        notice = "通知：a&b=c 100%"
        # An "&" in the access password would split the direct links that carry it.
        self.assertEqual(c.post("/post/cz1.php?pid=" + name, [("body", notice), ("fwmm", "a&b")], "utf-8"), b"0")
        self.assertEqual(c.post("/post/cz1.php?pid=" + name, [("body", notice), ("fwmm", "pw-2")], "utf-8"), b"1")
        settings = page(c, "/get/sz.php?pid=" + name)
        self.assertEqual(text_between(settings, 'id="body" cols="60" rows="10">', "<"), gbk(notice))
        self.assertEqual(text_between(settings, 'id="fwmm" value="', '"'), b"pw-2")
        content = "反馈：上传失败 & 下载=慢"
        self.assertEqual(c.post("/post/fkc.php", [("yx", name + "@test.local"), ("nr", content)], "gbk"), b"OK")
        row = db("SELECT * FROM feedback ORDER BY id DESC LIMIT 1")[0]
        self.assertEqual((row["content"], row["email"]), (content, name + "@test.local"))

    def test_password_change_takes_effect_for_login_and_ftp(self):
        c, name = member()
        self.assertEqual(c.post("/post/xgmm.php?pid=" + name, [("cxdan", "新的pw"), ("cxwenti", "新的pw")],
                                "utf-8"), b"2")
        self.assertLess(len(svc.client().login(name, "pw12345")), 4)
        self.assertGreater(len(svc.client().login(name, "新的pw")), 4)


class AccessPermission(unittest.TestCase):
    def test_permission_limits_visitors_not_the_owner(self):
        c, name = member()
        uid = db("SELECT id FROM members WHERE account=?", (name,))[0]["id"]
        md5 = db("SELECT md5 FROM files WHERE owner=1001 AND storage!='' LIMIT 1")[0]["md5"]
        reply = c.post("/jsmc.php?bsm=%s&mlid=0&md5=%s" % (name, md5), [("wjdl", "共享.txt")])
        fid = int(reply.split(b"xxxx")[1].rstrip(b"x"))
        phone = {"User-Agent": "Mozilla/5.0 (Linux; Android 13) Mobile Safari/537.36"}
        desktop = {"User-Agent": "Mozilla/5.0 (Windows NT 10.0; Win64; x64)"}
        cases = [  # szqx, visitor from a computer may, visitor from a phone may
            ("0", True, True), ("1", False, False), ("2", True, False), ("3", False, True),
        ]
        visitor = svc.client()
        for szqx, computer_ok, phone_ok in cases:
            self.assertEqual(c.get("/post/szx.php?zh=%s&lx=4&szqx=%s" % (name, szqx)), b"1")
            for headers, allowed in ((desktop, computer_ok), (phone, phone_ok)):
                with self.subTest(szqx=szqx, agent=headers["User-Agent"][:20]):
                    status, _, listing = visitor.request("/wdwj.php?pid=%d&ml=0" % uid, headers=headers)
                    self.assertEqual((status == 200, gbk("共享.txt") in listing), (allowed, allowed))
                    status, _, filepage = visitor.request("/ym.php?pid=%d&srmm=0" % fid, headers=headers)
                    self.assertEqual(b"bsmzdyd" in filepage, allowed)
                    status, _, _ = visitor.request("/yunxz1.php?pid=%d&szmm=0" % fid, headers=headers)
                    self.assertEqual(status, 200 if allowed else 403)
                    # The owner's own client is never locked out of its files.
                    self.assertIn(gbk("共享.txt"), c.request("/wdwj.php?pid=%d&ml=0" % uid, headers=headers)[2])
                    self.assertIn(b"bsmzdyd", c.request("/ym.php?pid=%d" % fid, headers=headers)[2])


class KnownStates(unittest.TestCase):
    """The fixture tool that end-to-end tests use to put a member into a known state."""

    def state(self, *pairs):
        return subprocess.run(["/usr/bin/python3", STATE, svc.data] + list(pairs), capture_output=True,
                              timeout=60).returncode

    def test_states_show_on_the_pages(self):
        c, name = member()
        self.assertEqual(self.state(name, "vip=1", "withdrawals=2", "payout=s@pay.cn", "question=宠物？",
                                    "earning=0", "mode=2", "permission=3"), 0)
        cases = [  # page, text shown
            ("/get/cs1.php?pid=", "当前关闭了网赚模式"), ("/get/aq.php?pid=", 'id="dan" value="宠物？"'),
            ("/get/tx.php?pid=", "已锁定"), ("/get/sz.php?pid=", "selected [2]"), ("/get/sz.php?pid=", "selected]4["),
        ]
        for path, text in cases:
            with self.subTest(path=path, text=text):
                self.assertIn(gbk(text), page(c, path + name))
        self.assertNotIn(gbk(">×<br />"), page(c, "/get/cs1.php?pid=" + name))
        self.assertEqual(len(re.findall(WITHDRAWAL_PATTERN, page(c, "/get/tx.php?pid=" + name))), 2)
        self.assertEqual(self.state(name, "vip=0", "payout=", "question=", "withdrawals=0"), 0)
        self.assertIn(gbk(">×<br />"), page(c, "/get/cs1.php?pid=" + name))
        self.assertIn(gbk("还没有设置，危险！"), page(c, "/get/aq.php?pid=" + name))
        self.assertNotIn(gbk("已锁定"), page(c, "/get/tx.php?pid=" + name))

    def test_email_state_restarts_the_change_codes(self):
        c, name = member()
        self.assertEqual(c.post("/post/xgyx.php?pid=" + name, [("yxdz", name + "@a.local")], "utf-8"), b"1")
        self.assertEqual(c.post("/post/xgyx.php?pid=" + name, [("yxdz", name + "@b.local")], "utf-8"), b"5")
        self.assertEqual(self.state(name, "email="), 0)  # no e-mail, no wait: the first e-mail again
        self.assertEqual(c.post("/post/xgyx.php?pid=" + name, [("yxdz", name + "@b.local")], "utf-8"), b"16")

    def test_bad_settings_change_nothing(self):
        c, name = member()
        before = db("SELECT * FROM members WHERE account=?", (name,))
        self.assertEqual(self.state(name, "vip=1", "mode=9"), 2)
        self.assertEqual(self.state(name, "vip=1", "colour=red"), 2)
        self.assertEqual(self.state("nobody-here", "vip=1"), 3)
        self.assertEqual(db("SELECT * FROM members WHERE account=?", (name,)), before)


class Announcements(unittest.TestCase):
    def test_stripped_fragment_is_the_plain_announcements(self):
        raw = svc.client().get("/guanli.php")
        fragment = text_between(raw, "公告列表：", '<div title="今天不再显示该窗口"').decode("gbk")
        self.assertIn("<script", fragment)  # there is markup to strip
        for pattern in STRIP:
            fragment = re.sub(pattern, "", fragment, flags=re.S)
        for row in db("SELECT * FROM announcements"):
            self.assertIn(row["title"], fragment)
            self.assertIn(row["body"], fragment)
        for leftover in ("<", ">", "&nbsp", "var notices", ".gg"):
            self.assertNotIn(leftover, fragment)


if __name__ == "__main__":
    unittest.main()
