"""Demo data for a new data folder: members demo, alice and qqdemo with folders and files."""

import datetime
import hashlib
import os
import secrets

DEMO_FOLDERS = [  # (key, name, parent key)
    ("docs", "资料", None), ("y2025", "2025", "docs"), ("reports", "报告", "y2025"),
    ("pics", "图片", None), ("music", "音乐", None), ("video", "视频", None),
]


def _content(i, binary):
    if binary:
        return bytes((i * 7 + n) % 256 for n in range(256)) * (4 + i % 9) + b"\r\n\x00\x1a" * i
    return ("Tarnwick 演示文件 %d\r\n" % i).encode("utf-8") * (3 + (i * 5) % 40)


def _files_for(member_key):
    """(folder key or None, name, binary) of each seeded file."""
    if member_key == "demo":
        out = []
        for i in range(1, 33):
            binary = i % 3 == 0
            out.append((None, "演示文件%02d.%s" % (i, "bin" if binary else "txt"), binary))
        out += [("docs", "说明文档.txt", False), ("docs", "合同.doc", True), ("docs", "readme.md", False),
                ("y2025", "年度总结.txt", False), ("y2025", "预算.xls", True), ("reports", "报告一.pdf", True),
                ("pics", "风景.jpg", True), ("pics", "头像.png", True), ("pics", "截图 01.gif", True),
                ("music", "歌曲.mp3", True), ("music", "歌词.txt", False)]
        return out
    if member_key == "alice":
        return [(None, "alice-notes.txt", False), ("alice", "旅行计划.txt", False), ("alice", "photo.jpg", True)]
    return []


def seed(ctx):
    db = ctx.db
    today = datetime.date.today()
    with db.transaction() as c:
        members = {
            "demo": c.execute(
                "INSERT INTO members(id, account, password, email, question, answer, payout_account, payout_name,"
                " payout_email, earning, enhanced, storage_mode, notice, created) "
                "VALUES (1001,'demo','demo123','demo@tarnwick.local','我的小学名字？','阳光小学',"
                "'demo@alipay.local','张三','demo@tarnwick.local',1,1,1,'欢迎访问我的网盘！',?)",
                (str(today),)).lastrowid,
            "alice": c.execute(
                "INSERT INTO members(id, account, password, email, access_password, storage_mode, earning,"
                " invited_by, created) VALUES (1002,'alice','alice123','alice@tarnwick.local','alice8',4,0,1001,?)",
                (str(today),)).lastrowid,
            "qqdemo": c.execute(
                "INSERT INTO members(id, account, password, email, created) "
                "VALUES (1003,'qqdemo','qq123456','',?)", (str(today),)).lastrowid,
        }
        folders = {}
        for key, name, parent in DEMO_FOLDERS:
            folders[key] = c.execute("INSERT INTO folders(owner, name, parent) VALUES (?,?,?)",
                                     (members["demo"], name, folders[parent] if parent else 0)).lastrowid
        folders["alice"] = c.execute("INSERT INTO folders(owner, name, parent) VALUES (?,?,0)",
                                     (members["alice"], "Alice的文件夹")).lastrowid
        n = 0
        for member_key in ("demo", "alice"):
            owner = members[member_key]
            os.makedirs(os.path.join(ctx.storage_dir, str(owner)), exist_ok=True)
            for folder_key, name, binary in _files_for(member_key):
                n += 1
                data = _content(n, binary)
                # Random like every stored name: /up/ serves whoever knows the address.
                storage = "%d/%s%s" % (owner, secrets.token_hex(8), os.path.splitext(name)[1].lower() or ".bin")
                with open(ctx.storage_file(storage), "wb") as f:
                    f.write(data)
                date = datetime.datetime.combine(today - datetime.timedelta(days=60 - n), datetime.time(9, n % 60))
                c.execute("INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) "
                          "VALUES (?,?,?,?,?,?,?,?)",
                          (owner, folders[folder_key] if folder_key else 0, name, len(data),
                           hashlib.md5(data).hexdigest(), date.strftime("%Y-%m-%d %H:%M:%S"), (n * 7) % 23, storage))
        demo = members["demo"]
        for d in range(30, -1, -1):
            day = today - datetime.timedelta(days=d)
            c.execute("INSERT INTO stats(member, day, ips, downloads, income) VALUES (?,?,?,?,?)",
                      (demo, str(day), 20 + (d * 13) % 50, 3 + (d * 7) % 11, round(1.5 + (d % 5) * 0.8, 2)))
        c.execute("INSERT INTO stats(member, day, ips, downloads, income) VALUES (?,?,?,?,?)",
                  (members["alice"], str(today - datetime.timedelta(days=1)), 12, 2, 0.5))
        for i, (amount, status) in enumerate([(20.0, "已处理"), (35.5, "已处理"), (20.0, "处理中")]):
            c.execute("INSERT INTO withdrawals(member, date, amount, status) VALUES (?,?,?,?)",
                      (demo, str(today - datetime.timedelta(days=20 - i * 7)), amount, status))
        texts = ["客户端登录成功", "上传文件 演示文件01.txt", "下载文件 风景.jpg", "创建文件夹 资料", "修改访问密码"]
        for i in range(25):
            t = datetime.datetime.combine(today - datetime.timedelta(days=25 - i), datetime.time(10, i))
            c.execute("INSERT INTO records(member, time, text) VALUES (?,?,?)",
                      (demo, t.strftime("%Y-%m-%d %H:%M:%S"), texts[i % len(texts)]))
        for i, (title, body) in enumerate([
                ("系统升级通知", "本周六凌晨2点至4点系统升级，期间暂停服务。"),
                ("提现规则调整", "每天满20元自动结算，请填写支付宝信息。"),
                ("欢迎使用Tarnwick", "新用户注册即送10GB空间。")]):
            c.execute("INSERT INTO announcements(date, title, body) VALUES (?,?,?)",
                      (str(today - datetime.timedelta(days=i * 10)), title, body))
        for i in range(1, 21):
            c.execute("INSERT INTO codes(code, kind) VALUES (?, 'vip')", ("VIP-DEMO-%04d" % i,))
            c.execute("INSERT INTO codes(code, kind) VALUES (?, 'recharge')", ("CZ-DEMO-%04d" % i,))
