"""Login, registration, password recovery, QQ sign-in and the session watchdog.

A login starts a new session: its token goes to the client as the cookie
TWSESSION and replaces the member's current session, so an older client of
the same account learns from the watchdog page that it was logged in
elsewhere. Pages that carry no account in their address (records, search)
find the member through this cookie.
"""

import os
import time

from .common import new_token, valid_account, esc
from .db import now_text
from .web import Reply, html_reply, safe, text_reply

SESSION_COOKIE = "TWSESSION"
QQ_COOKIE = "TWQQ"
NO_EMAIL = "暂无设置。"
QQ_ACCOUNT = "qqdemo"


def current_member(ctx, req):
    """The member whose current session the cookie carries; None without a cookie,
    for an unknown token and for a session that a later login replaced."""
    token = req.cookies.get(SESSION_COOKIE, "")
    member = ctx.db.member_by_session(token)
    if member is None or member["session_token"] != token:
        return None
    return member


def acting_member(ctx, req, key, charset="gbk"):
    """The member the query value `key` names, when the session cookie is that
    member's current session. Otherwise None, and the request is marked refused
    (its failure reply goes out with status 403): the cookie, not the query,
    decides who is acting."""
    named = ctx.db.member_by_account(req.text(key, charset, "query"))
    session = current_member(ctx, req)
    if named is None or session is None or session["id"] != named["id"]:
        req.refused = True
        return None
    return named


def start_session(ctx, member, reply):
    token = new_token()
    with ctx.db.transaction() as c:
        c.execute("INSERT INTO sessions(token, member, created) VALUES (?,?,?)", (token, member["id"], time.time()))
        c.execute("UPDATE members SET session_token=? WHERE id=?", (token, member["id"]))
        c.execute("INSERT INTO records(member, time, text) VALUES (?,?,?)",
                  (member["id"], now_text(), "客户端登录成功"))
    reply.set_cookie(SESSION_COOKIE, token)
    return reply


def login(ctx, req):
    account = req.text("zh", "utf-8", "form")
    password = req.text("mm", "gbk", "form")
    member = ctx.db.member_by_account(account)
    if member is None or not password or member["password"] != password:
        return text_reply("0")
    reply = text_reply("%dx%sx%s" % (member["id"], member["account"], member["email"] or NO_EMAIL))
    return start_session(ctx, member, reply)


def _valid_email(email):
    return "@" in email and "." in email and "@." not in email and len(email) <= 100 \
        and not any(c in email for c in '<>"&\'') and " " not in email


def register(ctx, req):
    account = req.text("zh1", "utf-8", "form")
    password = req.text("mm1", "gbk", "form")
    repeat = req.text("cfmm1", "gbk", "form")
    email = req.text("zcyx", "utf-8", "form")
    if not valid_account(account) or not password or password != repeat or len(password) > 64 \
            or not _valid_email(email) or '"' in password:
        return text_reply("0")
    with ctx.db.transaction() as c:
        if c.execute("SELECT 1 FROM members WHERE account=?", (account,)).fetchone():
            return text_reply("5")
        if c.execute("SELECT 1 FROM members WHERE email=?", (email,)).fetchone():
            return text_reply("6")
        inviter = req.number("yq") or 0
        c.execute("INSERT INTO members(account, password, email, invited_by, created) VALUES (?,?,?,?,?)",
                  (account, password, email, inviter, now_text()))
    return text_reply("3")


def reset_by_question(ctx, req):
    account = req.text("zh2", "utf-8", "form")
    password = req.text("mm2", "utf-8", "form")
    repeat = req.text("czmm3", "utf-8", "form")
    question = req.text("wt2", "utf-8", "form")
    answer = req.text("dn2", "utf-8", "form")
    if not all((account, password, repeat, question, answer)):
        return text_reply("1")
    if password != repeat:
        return text_reply("2")
    member = ctx.db.member_by_account(account)
    if member is None or not member["question"] or member["question"] != question \
            or member["answer"] != answer or '"' in password:
        return text_reply("3")
    ctx.db.run("UPDATE members SET password=? WHERE id=?", (password, member["id"]))
    return text_reply("5")


def reset_by_email(ctx, req):
    account = req.text("zh1", "utf-8", "form")
    email = req.text("yx1", "utf-8", "form")
    if not account or not email:
        return text_reply("1")
    member = ctx.db.member_by_account(account)
    if member is None or not member["email"] or member["email"] != email:
        return text_reply("3")
    if time.time() - member["reset_requested_at"] < 300:
        return text_reply("5")
    with ctx.db.transaction() as c:
        c.execute("UPDATE members SET reset_requested_at=? WHERE id=?", (time.time(), member["id"]))
        c.execute("INSERT INTO mail_outbox(member, address, subject, time) VALUES (?,?,?,?)",
                  (member["id"], email, "重置密码", now_text()))
    return text_reply("2")


# -- QQ sign-in --------------------------------------------------------------

QQ_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>QQ互联登录</title></head>
<body style="font-family:sans-serif">
<h3>QQ互联登录（本地演示）</h3>
%s
</body></html>"""


def qq_page(ctx, req):
    token = req.cookies.get(QQ_COOKIE, "")
    row = ctx.db.one("SELECT * FROM qq_signins WHERE token=?", (token,)) if token else None
    if req.method == "POST" and row is not None:
        member = ctx.db.member_by_account(QQ_ACCOUNT)
        ctx.db.run("UPDATE qq_signins SET member=? WHERE token=?", (member["id"], token))
        # The sign-in is a login of this browser: it gets the session cookie too.
        return start_session(ctx, member, html_reply(QQ_PAGE % "<p id=\"done\">授权成功，正在登录……</p>",
                                                     "utf-8"))
    # Opening the page starts a fresh sign-in for this browser.
    reply = html_reply(QQ_PAGE % (
        '<form method="post" action="/QQ/example/oauth/index.php">'
        '<p>演示QQ号：%s</p><input type="submit" id="qqlogin" value="授权并登录"></form>' % esc(QQ_ACCOUNT)),
        "utf-8")
    if row is None:
        token = new_token()
        ctx.db.run("INSERT INTO qq_signins(token, member, created) VALUES (?,0,?)", (token, time.time()))
        reply.set_cookie(QQ_COOKIE, token)
    else:
        ctx.db.run("UPDATE qq_signins SET member=0 WHERE token=?", (token,))
    return reply


def qq_poll(ctx, req):
    token = req.cookies.get(QQ_COOKIE, "")
    row = ctx.db.one("SELECT * FROM qq_signins WHERE token=?", (token,)) if token else None
    member = ctx.db.member_by_id(row["member"]) if row is not None and row["member"] else None
    if member is None:
        return text_reply("")
    return text_reply("%s|%s|%d|%s" % (member["account"], member["account"], member["id"], member["password"]))


# -- watchdog ------------------------------------------------------------------

# The page for a client whose session was replaced. The client cuts it where
# the account link would be and reads "CTYPE html PUBLIC " at the 11th byte,
# so the declaration is preceded by exactly three line breaks.
LOGGED_OUT_PAGE = ('\r\n\r\n\r\n<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN" '
                   '"http://www.w3.org/TR/html4/loose.dtd">\r\n<html><head><title>已注销</title></head>'
                   '<body>您的帐号已在其它地方登录。</body></html>')


def watchdog(ctx, req):
    account = req.text("zh", "gbk", "query")
    member = ctx.db.member_by_account(account)
    token = req.cookies.get(SESSION_COOKIE, "")
    if member is not None and token and member["session_token"] and token != member["session_token"]:
        return html_reply(LOGGED_OUT_PAGE)
    name = member["account"] if member else account
    return html_reply('<html><head><title>在线</title></head><body>'
                      '<a href="/sxwj.php?zh=%s">刷新文件</a></body></html>' % name)


def refresh_page(ctx, req):
    return html_reply("<html><body>文件已刷新。</body></html>")


# -- update file and announcements ---------------------------------------------

def update_file(ctx, req):
    override = os.path.join(ctx.data_dir, "version")
    version = ctx.db.setting("version", "118")
    if os.path.isfile(override):
        with open(override, "rb") as f:
            version = f.read(32).decode("ascii", "replace").strip() or version
    return text_reply("%s|%s/download/tarnwick-setup.exe" % (version, ctx.base_url))


def set_version(ctx, req):
    """Test hook: /admin/version?v=119 makes the update file announce 119."""
    version = req.text("v", "utf-8")
    if not version.isdigit() or len(version) > 9:
        return text_reply("0")
    ctx.db.set_setting("version", version)
    return text_reply("1")


def announcements(ctx, req):
    rows = ctx.db.all("SELECT * FROM announcements ORDER BY date DESC, id DESC")
    items = "".join('<div class="gg"><b>%s</b>&nbsp;<span>%s</span><p>%s</p></div>\r\n'
                    % (esc(r["title"]), r["date"], esc(r["body"])) for r in rows)
    # The list carries the markup a real page does (a comment, a style and a
    # script over several lines), which the client strips to plain text.
    items = ('<!-- 公告列表开始 -->\r\n<style type="text/css">\r\n.gg { margin: 4px; }\r\n</style>\r\n'
             '<script type="text/javascript">\r\nvar notices = %d;\r\n</script>\r\n' % len(rows)) + items
    account = req.text("zh", "gbk", "query")
    member = ctx.db.member_by_account(account) if account else None
    greeting = "<p>欢迎您，%s</p>" % esc(member["account"]) if member else ""
    return html_reply('<html><head><meta charset="gbk"><title>Tarnwick管理</title></head><body>%s'
                      '<div id="gg">公告列表：\r\n%s</div><div title="今天不再显示该窗口" id="close">'
                      '今天不再显示</div></body></html>' % (greeting, items))


def simple_page(title, body):
    @safe
    def handler(ctx, req):
        return html_reply("<html><head><title>%s</title></head><body>%s</body></html>" % (title, body))
    return handler


def banner(ctx, req):
    gif = (b"GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00"
           b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")
    return Reply(gif, 200, "image/gif")


ROUTES = {
    "/csx.php": login,
    "/zc.php": register,
    "/post/zh.php": reset_by_question,
    "/post/yxzh.php": reset_by_email,
    "/qq/example/oauth/index.php": qq_page,
    "/qdlxx.php": safe(qq_poll),
    "/sc/index1.php": safe(watchdog),
    "/sxwj.php": safe(refresh_page),
    "/ge.txt": safe(update_file),
    "/admin/version": set_version,
    "/guanli.php": safe(announcements),
    "/zhuce.php": simple_page("注册", "欢迎加入Tarnwick，请使用客户端注册帐号。"),
    "/vip.php": simple_page("VIP功能介绍", "VIP会员可使用收费模式、更多空间与流量。"),
    # The page of the client's [联系在线客服] link.
    "/kefu.php": simple_page("在线客服", "<p>客服邮箱：kefu@tarnwick.local</p>"
                             "<p>工作时间：每天9:00-21:00，提现和账号问题请写明用户名。</p>"),
    "/download/tarnwick-setup.exe": simple_page("下载", "最新版本客户端。"),
    "/tupian/bzfb.jpg": safe(banner),
}
