"""Registration, recovery, QQ sign-in, the watchdog, and the reply codes of the account forms."""

import unittest

from support import gbk, register, shared_service, split_text, text_between, unique

svc = None


setUpModule, tearDownModule = shared_service(globals())


def fresh_member(password="pw12345"):
    c = svc.client()
    name = unique("m")
    assert register(c, name, password) == b"3"
    return c, name


def settings_between(client, account, left, right):
    page = client.get("/get/sz.php?pid=" + account).decode("utf-8").encode("gbk")
    return text_between(page, left, right).decode("gbk")


class Registration(unittest.TestCase):
    def test_codes(self):
        c = svc.client()
        name = unique("reg")
        cases = [  # account, password, repeat, e-mail, reply
            (name, "secret", "secret", name + "@a.cn", b"3"),
            (name, "secret", "secret", "other" + name + "@a.cn", b"5"),
            (unique("reg"), "secret", "secret", name + "@a.cn", b"6"),
            (unique("reg"), "secret", "different", unique("e") + "@a.cn", b"0"),
            (unique("reg"), "", "", unique("e") + "@a.cn", b"0"),
            ("", "secret", "secret", unique("e") + "@a.cn", b"0"),
            (unique("reg"), "secret", "secret", "no-at.cn", b"0"),
            (unique("reg"), "secret", "secret", "a@.cn", b"0"),
            ("boxer" + unique(""), "secret", "secret", unique("e") + "@a.cn", b"0"),  # "x" splits the login reply
            ("a&b" + unique(""), "secret", "secret", unique("e") + "@a.cn", b"0"),
        ]
        for account, password, repeat, email, reply in cases:
            with self.subTest(account=account, email=email):
                got = c.post("/zc.php", [("zh1", account.encode("utf-8")), ("mm1", password), ("cfmm1", repeat),
                                         ("zcyx", email.encode("utf-8")), ("xcfmm1", "1")])
                self.assertEqual(got, reply)
        pieces = split_text(c.login(name, "secret"), b"x")
        self.assertEqual(pieces[1:], [name.encode(), (name + "@a.cn").encode()])

    def test_chinese_account_and_gbk_password(self):
        c = svc.client()
        name = "用户" + unique("")
        self.assertEqual(register(c, name, "密码1"), b"3")
        self.assertEqual(split_text(c.login(name, "密码1"), b"x")[1], gbk(name))


class Recovery(unittest.TestCase):
    def test_reset_by_question(self):
        c, name = fresh_member()
        self.assertEqual(c.post("/post/mb.php?pid=" + name, [("dan", "宠物？"), ("wenti", "小白")], "utf-8"), b"2")
        cases = [  # account, new, repeat, question, answer, reply
            (name, "n1", "n1", "宠物？", "", b"1"),
            (name, "n1", "n2", "宠物？", "小白", b"2"),
            (name, "n1", "n1", "宠物？", "小黑", b"3"),
            ("nobody", "n1", "n1", "宠物？", "小白", b"3"),
            (name, "n1", "n1", "宠物？", "小白", b"5"),
        ]
        for account, new, repeat, question, answer, reply in cases:
            with self.subTest(answer=answer, new=new, repeat=repeat):
                got = c.post("/post/zh.php", [("zh2", account), ("mm2", new), ("czmm3", repeat), ("wt2", question),
                                              ("dn2", answer)], "utf-8")
                self.assertEqual(got, reply)
        self.assertLess(len(c.login(name, "pw12345")), 4)
        self.assertGreater(len(c.login(name, "n1")), 4)

    def test_reset_link_by_email(self):
        c, name = fresh_member()
        email = name + "@test.local"
        cases = [("", email, b"1"), (name, "", b"1"), (name, "wrong@test.local", b"3"), ("nobody", email, b"3"),
                 (name, email, b"2"), (name, email, b"5")]
        for account, address, reply in cases:
            with self.subTest(account=account, address=address):
                self.assertEqual(c.post("/post/yxzh.php", [("zh1", account), ("yx1", address)], "utf-8"), reply)


class Watchdog(unittest.TestCase):
    def test_second_login_logs_the_first_client_out(self):
        first, second = svc.client(), svc.client()
        _, name = fresh_member()
        first.login(name, "pw12345")
        marker = text_between(first.get("/sc/index1.php?zh=" + name), "sxwj.php?zh=", '"')
        self.assertEqual(marker, name.encode())
        second.login(name, "pw12345")
        self.assertEqual(text_between(first.get("/sc/index1.php?zh=" + name), "sxwj.php?zh=", '"'),
                         b"CTYPE html PUBLIC ")
        self.assertEqual(text_between(second.get("/sc/index1.php?zh=" + name), "sxwj.php?zh=", '"'), name.encode())
        first.login(name, "pw12345")  # logging in again takes the account back
        self.assertEqual(text_between(second.get("/sc/index1.php?zh=" + name), "sxwj.php?zh=", '"'),
                         b"CTYPE html PUBLIC ")


class QqSignIn(unittest.TestCase):
    def test_poll_is_empty_until_this_browser_signed_in(self):
        browser, other = svc.client(), svc.client()
        self.assertEqual(browser.get("/qdlxx.php"), b"")
        page = browser.get("/QQ/example/oauth/index.php")
        self.assertIn(b"<form", page)
        self.assertEqual(browser.get("/qdlxx.php"), b"")
        browser.post("/QQ/example/oauth/index.php", [("go", "1")])
        pieces = split_text(browser.get("/qdlxx.php").replace(b"\r\n", b""), b"|")
        self.assertEqual(pieces, [b"qqdemo", b"qqdemo", b"1003", b"qq123456"])
        self.assertEqual(other.get("/qdlxx.php"), b"")
        self.assertEqual(split_text(browser.login(pieces[1].decode(), pieces[3].decode()), b"x")[0], b"1003")
        browser.get("/QQ/example/oauth/index.php")  # opening the page again starts a new sign-in
        self.assertEqual(browser.get("/qdlxx.php"), b"")


class AccountForms(unittest.TestCase):
    def test_security_forms(self):
        c, name = fresh_member()
        cases = [  # path, pairs, reply
            ("/post/mb.php", [("dan", "问题"), ("wenti", "")], b"0"),
            ("/post/mb.php", [("dan", "问题"), ("wenti", "答案")], b"2"),
            ("/post/mb.php", [("dan", "另一个"), ("wenti", "答案")], b"0"),  # set once only
            ("/post/xgmm.php", [("cxdan", "a1"), ("cxwenti", "a2")], b"0"),
            ("/post/xgmm.php", [("cxdan", ""), ("cxwenti", "")], b"0"),
            ("/post/xgmm.php", [("cxdan", "新密码"), ("cxwenti", "新密码")], b"2"),
            ("/post/xgyx.php", [("yxdz", name + "@test.local")], b"10"),
            ("/post/xgyx.php", [("yxdz", "demo@tarnwick.local")], b"6"),
            ("/post/xgyx.php", [("yxdz", "no-at-sign")], b"0"),
            ("/post/xgyx.php", [("yxdz", name + "@new.local")], b"1"),
            ("/post/xgyx.php", [("yxdz", name + "@newer.local")], b"5"),
        ]
        for path, pairs, reply in cases:
            with self.subTest(path=path, pairs=pairs):
                self.assertEqual(c.post(path + "?pid=" + name, pairs, "utf-8"), reply)
        self.assertGreater(len(c.login(name, "新密码")), 4)
        page = c.get("/get/aq.php?pid=" + name).decode("utf-8").encode("gbk")
        self.assertEqual(text_between(page, 'id="dan" value="', '"'), gbk("问题"))

    def test_email_first_set_replies_16(self):
        c = svc.client("qqdemo")
        qq = c.post("/post/xgyx.php?pid=qqdemo", [("yxdz", "qq@test.local")], "utf-8")
        self.assertEqual(qq, b"16")

    def test_payout_vip_recharge_feedback(self):
        c, name = fresh_member()
        url = "/post/tx.php?pid=" + name
        self.assertEqual(c.post(url, [("zfbzh", "a@b.cn"), ("cfzfbzh", "other"), ("zfbxm", "名"), ("zfbyx", "123")],
                                "utf-8"), b"0")
        self.assertEqual(c.post(url, [("zfbzh", "a@b.cn"), ("cfzfbzh", "a@b.cn"), ("zfbxm", "李四"),
                                      ("zfbyx", "123")], "utf-8"), b"3")
        self.assertEqual(c.post(url, [("zfbzh", "c@d.cn"), ("cfzfbzh", "c@d.cn"), ("zfbxm", "王五"),
                                      ("zfbyx", "123")], "utf-8"), b"2")
        page = c.get("/get/tx.php?pid=" + name).decode("utf-8").encode("gbk")
        self.assertIn(gbk("已锁定"), page)
        self.assertEqual(text_between(page, 'name="dlzh" value="', '"'), gbk("李四"))

        personal = "/get/cs1.php?pid=" + name
        self.assertIn(gbk(">×<br />"), c.get(personal).decode("utf-8").encode("gbk"))
        cases = [  # path, key, code, reply
            ("/post/vip.php?pid=", "vipjhm", "WRONG", b"0"),
            ("/post/vip.php?pid=", "vipjhm", "CZ-DEMO-0001", b"0"),   # a recharge code is no VIP code
            ("/post/vip.php?pid=", "vipjhm", "VIP-DEMO-0001", b"1"),
            ("/post/vip.php?pid=", "vipjhm", "VIP-DEMO-0001", b"0"),  # used
            ("/post/vip.php?czlx=1&pid=", "vipjhm1", "CZ-DEMO-0001", b"1"),
            ("/post/vip.php?czlx=1&pid=", "vipjhm1", "CZ-DEMO-0001", b"0"),
        ]
        for path, key, code, reply in cases:
            with self.subTest(path=path, code=code):
                target = path + name if path.endswith("pid=") else path
                self.assertEqual(c.post(target, [(key, code)]), reply)
        self.assertNotIn(gbk(">×<br />"), c.get(personal).decode("utf-8").encode("gbk"))

        self.assertEqual(c.post("/post/fkc.php", [("yx", ""), ("nr", "内容")]), b"1")
        self.assertNotIn(b"1", c.post("/post/fkc.php", [("yx", "a@b.cn"), ("nr", "内容")]))

    def test_switches_follow_the_client_toggles(self):
        c, name = fresh_member()
        cases = [  # path, key, value, marker, expected caption, label marker, expected label
            ("/post/sz2.php", "btn2", "1", 'id="xbtn2" style="width:325px;">', "开启", '<p id="xdan4">', "上传日期公开：×"),
            ("/post/sz2.php", "btn2", "0", 'id="xbtn2" style="width:325px;">', "关闭", '<p id="xdan4">', "上传日期公开：√"),
            ("/post/sz.php", "btn2", "1", 'id="btn2" style="width:325px;">', "开启", '<p id="dan4">', "下载量公开：×"),
            ("/post/sz.php", "btn2", "0", 'id="btn2" style="width:325px;">', "关闭", '<p id="dan4">', "下载量公开：√"),
            ("/post/sz1.php", "btn3", "1", 'id="btn3" style="width:325px;">', "√开启了网赚模式", None, None),
            ("/post/sz1.php", "btn3", "0", 'id="btn3" style="width:325px;">', "×关闭了网赚模式", None, None),
            ("/post/sz3.php", "btn2", "1", 'id="qxbtn2" style="width:325px;">', "切换到普通", None, None),
            ("/post/sz3.php", "btn2", "0", 'id="qxbtn2" style="width:325px;">', "切换到加强", None, None),
            ("/post/sz8.php", "btnxa2", "0", 'id="btn3qzsf" style="width:325px;">', "√开启了强制收费模式", None, None),
            ("/post/sz8.php", "btnxa2", "1", 'id="btn3qzsf" style="width:325px;">', "×关闭了强制收费模式", None, None),
        ]
        for path, key, value, marker, caption, label_marker, label in cases:
            with self.subTest(path=path, value=value):
                self.assertEqual(c.post(path + "?pid=" + name, [(key, value)]), b"1")
                self.assertEqual(settings_between(c, name, marker, "<"), caption)
                if label_marker:
                    self.assertEqual(settings_between(c, name, label_marker, "<"), label)

    def test_mode_permission_and_access_password(self):
        c, name = fresh_member()
        cases = [  # lx, szqx, reply, shown mode, shown permission
            ("3", "0", b"5", "4", "1"), ("2", "3", b"1", "2", "4"), ("9", "0", b"0", "2", "4"),
            ("1", "x", b"0", "2", "4"), ("1", "1", b"1", "1", "2"),
        ]
        for lx, szqx, reply, mode, permission in cases:
            with self.subTest(lx=lx, szqx=szqx):
                self.assertEqual(c.get("/post/szx.php?zh=%s&lx=%s&szqx=%s" % (name, lx, szqx)), reply)
                self.assertEqual(settings_between(c, name, "selected [", "]"), mode)
                self.assertEqual(settings_between(c, name, "selected]", "["), permission)
        url = "/post/cz1.php?pid=" + name
        self.assertEqual(c.post(url, [("body", "公告：欢迎"), ("fwmm", "pw9")], "utf-8"), b"1")
        self.assertEqual(settings_between(c, name, 'id="fwmm" value="', '"'), "pw9")
        self.assertEqual(settings_between(c, name, 'id="body" cols="60" rows="10">', "<"), "公告：欢迎")
        self.assertEqual(c.post(url, [("body", "x"), ("fwmm", 'a"b')], "utf-8"), b"0")
        self.assertEqual(settings_between(c, name, 'id="fwmm" value="', '"'), "pw9")


if __name__ == "__main__":
    unittest.main()
