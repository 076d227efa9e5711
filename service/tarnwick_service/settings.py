"""Account pages (personal, security, withdrawal, settings, records) and their forms.

The account pages are addressed by account name in "pid" and sent in UTF-8;
the records page carries no account and is found through the session cookie.
Reply codes are the ones the client tests by substring, so a failure reply
("0") never contains a success code.
"""

import datetime
import time

from . import pages
from .account import acting_member, current_member
from .common import esc
from .db import now_text
from .web import html_reply, safe, text_reply

MODES = ["网赚1，高收益，广告多，推广单价1000IP/150元。", "网赚2，收益一般，广告少，推广单价1000IP/30元。",
         "收费模式3，别人下载您的文件必须开通VIP，获得90%提成。", "个人存储模式，回归天然绿色无污染状态。"]
PERMISSIONS = ["允许访问", "禁止访问", "只能电脑访问", "只能手机访问"]
VIP_MODE = 3  # the charging mode is for VIP members only


def _member(ctx, req, key="pid"):
    """The member named in the query, when the session cookie is that member's."""
    return acting_member(ctx, req, key)


def _utf8_page(title, body):
    return html_reply(pages.page(title, body, "utf-8"), "utf-8")


def is_vip(member):
    return bool(member["vip_until"]) and member["vip_until"] >= now_text()[:10]


def settings_page(ctx, req):
    m = _member(ctx, req)
    if m is None:
        return _utf8_page("设置", "帐号不存在。")
    mode_opts = "".join('<option value="%d"%s>%s</option>' % (i + 1, " selected" if m["storage_mode"] == i + 1 else "",
                                                              t) for i, t in enumerate(MODES))
    perm_opts = "".join('<option value="%d"%s>%s</option>' % (i, " selected" if m["permission"] == i else "", t)
                        for i, t in enumerate(PERMISSIONS))
    body = f"""
<span style="display:none">模式：selected [{m["storage_mode"]}] 权限：selected]{m["permission"] + 1}[</span>
<p>网盘模式：<select name="lx">{mode_opts}</select> 访问权限：<select name="szqx">{perm_opts}</select></p>
<p><button id="btn3" style="width:325px;">{"√开启了网赚模式" if m["earning"] else "×关闭了网赚模式"}</button></p>
<p><button id="qxbtn2" style="width:325px;">{"切换到普通" if m["enhanced"] else "切换到加强"}</button></p>
<p><button id="btn3qzsf" style="width:325px;">{"√开启了强制收费模式" if m["forced_charge"] else "×关闭了强制收费模式"}</button></p>
<p id="xdan4">{"上传日期公开：√" if m["date_public"] else "上传日期公开：×"}</p>
<p><button id="xbtn2" style="width:325px;">{"关闭" if m["date_public"] else "开启"}</button></p>
<p id="dan4">{"下载量公开：√" if m["count_public"] else "下载量公开：×"}</p>
<p><button id="btn2" style="width:325px;">{"关闭" if m["count_public"] else "开启"}</button></p>
<p>访问密码：<input type="text" name="fwmm" id="fwmm" value="{m["access_password"]}"></p>
<p>公告：<textarea name="body" id="body" cols="60" rows="10">{m["notice"]}</textarea></p>
"""
    return _utf8_page("设置", body)


def personal_page(ctx, req):
    m = _member(ctx, req)
    if m is None:
        return _utf8_page("个人", "帐号不存在。")
    totals = ctx.db.one("SELECT COALESCE(SUM(ips),0) AS ips, COALESCE(SUM(downloads),0) AS dl, "
                        "COALESCE(SUM(income),0) AS income FROM stats WHERE member=?", (m["id"],))
    today = ctx.db.one("SELECT * FROM stats WHERE member=? AND day=?", (m["id"], now_text()[:10]))
    paid = ctx.db.one("SELECT COALESCE(SUM(amount),0) AS s FROM withdrawals WHERE member=?", (m["id"],))["s"]
    invited = ctx.db.all("SELECT id FROM members WHERE invited_by=?", (m["id"],))
    invited_ips = 0
    for r in invited:
        invited_ips += ctx.db.one("SELECT COALESCE(SUM(ips),0) AS s FROM stats WHERE member=?", (r["id"],))["s"]
    vip = "√（到期：%s）" % m["vip_until"] if is_vip(m) else "×"
    if m["earning"]:
        mode = "当前开启了网赚模式。" + ("网赚模式→切换到一般" if m["enhanced"] else "网赚模式→切换到加强")
    else:
        mode = "当前关闭了网赚模式。"
    body = (f'<p>帐号：{esc(m["account"])}</p><p>VIP身份：<span>{vip}<br /></span></p><p>{mode}</p>'
            f'<p>总IP数量：{totals["ips"]}。总下载量：{totals["dl"]}。'
            f'可提现收入：{max(0.0, totals["income"] - paid):.2f}元。</p>'
            f'<p>今天：<br />IP数量：{today["ips"] if today else 0}。下载量：{today["downloads"] if today else 0}次。</p>'
            f'<p>下线：总邀请数量：{len(invited)}人，总IP数量：{invited_ips}。<br /></p>'
            f'<p>流量余额：{m["traffic_mb"]}MB</p>')
    return _utf8_page("个人", body)


def security_page(ctx, req):
    m = _member(ctx, req)
    if m is None:
        return _utf8_page("安全", "帐号不存在。")
    if not m["question"]:
        body = "<p>密保状态：还没有设置，危险！</p>"
    else:
        body = f'<p>密保状态：已设置</p><p>密保问题：<input type="text" id="dan" value="{m["question"]}"></p>'
    return _utf8_page("安全", body)


def withdrawal_page(ctx, req):
    m = _member(ctx, req)
    if m is None:
        return _utf8_page("提现", "帐号不存在。")
    paid = ctx.db.one("SELECT COALESCE(SUM(amount),0) AS s FROM withdrawals WHERE member=?", (m["id"],))["s"]
    body = f"<p>已提现佣金：{paid:.2f}元<br /></p>"
    if m["payout_account"]:
        body += (f'<p>提现帐号已锁定</p><p>支付宝：<input name="dlmm" value="{m["payout_account"]}"></p>'
                 f'<p>真实姓名：<input name="dlzh" value="{m["payout_name"]}"></p>'
                 f'<p>邮箱：<input name="lxyx" value="{m["payout_email"]}"></p>')
    rows = ctx.db.all("SELECT * FROM withdrawals WHERE member=? ORDER BY date DESC, id DESC", (m["id"],))
    body += "".join('<div style="margin-top:5px;">%s&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;%.2f元&nbsp;%s</div>\r\n'
                    % (r["date"], r["amount"], esc(r["status"])) for r in rows)
    return _utf8_page("提现", body)


def records_page(ctx, req):
    m = current_member(ctx, req)
    req.refused = m is None
    page_no = max(0, req.number("yms", "query") or 0)
    rows = ctx.db.all("SELECT * FROM records WHERE member=? ORDER BY time DESC, id DESC LIMIT ? OFFSET ?",
                      (m["id"], pages.RECORD_PAGE, page_no * pages.RECORD_PAGE)) if m else []
    body = "".join('<div class="r"><div style="float:left; padding-top:5px;">%s&nbsp;&nbsp&nbsp;%s</div></div>\r\n'
                   % (r["time"], esc(r["text"])) for r in rows)
    return html_reply(pages.page("记录", body or "<p>暂无记录</p>"))


# -- switches and forms ----------------------------------------------------------

def _switch(column, key, on_value):
    """A switch: body key = value; column := 1 when the value is on_value."""
    def handler(ctx, req):
        m = _member(ctx, req)
        value = req.text(key, "utf-8", "form").strip()
        if m is None or value not in ("0", "1"):
            return text_reply("0")
        ctx.db.run("UPDATE members SET %s=? WHERE id=?" % column, (1 if value == on_value else 0, m["id"]))
        return text_reply("1")
    return handler


def mode_and_permission(ctx, req):
    m = _member(ctx, req, "zh")
    mode = req.number("lx", "query")
    permission = req.number("szqx", "query")
    if m is None or mode not in (1, 2, 3, 4) or permission not in (0, 1, 2, 3):
        return text_reply("0")
    if mode == VIP_MODE and not is_vip(m):
        return text_reply("5")
    ctx.db.run("UPDATE members SET storage_mode=?, permission=? WHERE id=?", (mode, permission, m["id"]))
    return text_reply("1")


def access_password(ctx, req):
    m = _member(ctx, req)
    notice = req.text("body", "utf-8", "form")
    password = req.text("fwmm", "utf-8", "form")
    if m is None or len(password) > 32 or len(notice) > 2000 or any(c in password for c in '"<>&% \r\n') \
            or "<" in notice:
        return text_reply("0")
    ctx.db.run("UPDATE members SET access_password=?, notice=? WHERE id=?", (password, notice, m["id"]))
    return text_reply("1")


def security_question(ctx, req):
    m = _member(ctx, req)
    question = req.text("dan", "utf-8", "form")
    answer = req.text("wenti", "utf-8", "form")
    if m is None or not question or not answer or '"' in question or len(question) > 100:
        return text_reply("0")
    # Set once: the test of the stored question is part of the write, so two
    # requests at the same time cannot both set it.
    with ctx.db.transaction() as c:
        n = c.execute("UPDATE members SET question=?, answer=? WHERE id=? AND question=''",
                      (question, answer, m["id"])).rowcount
    return text_reply("2" if n else "0")


def change_password(ctx, req):
    m = _member(ctx, req)
    repeat = req.text("cxdan", "utf-8", "form")
    password = req.text("cxwenti", "utf-8", "form")
    if m is None or not password or password != repeat or len(password) > 64 or '"' in password:
        return text_reply("0")
    ctx.db.run("UPDATE members SET password=? WHERE id=?", (password, m["id"]))
    return text_reply("2")


def change_email(ctx, req):
    m = _member(ctx, req)
    email = req.text("yxdz", "utf-8", "form").strip()
    if m is None or "@" not in email or len(email) > 100 or any(c in email for c in '<>"& '):
        return text_reply("0")
    # The member's row is read again inside the transaction: the uniqueness test
    # and the 5-minute rule hold against a change made at the same time.
    with ctx.db.transaction() as c:
        m = c.execute("SELECT * FROM members WHERE id=?", (m["id"],)).fetchone()
        if email == m["email"]:
            return text_reply("10")
        if time.time() - m["email_changed_at"] < 300:
            return text_reply("5")
        if c.execute("SELECT 1 FROM members WHERE email=? AND id!=?", (email, m["id"])).fetchone():
            return text_reply("6")
        c.execute("UPDATE members SET email=?, email_changed_at=? WHERE id=?", (email, time.time(), m["id"]))
        c.execute("INSERT INTO mail_outbox(member, address, subject, time) VALUES (?,?,?,?)",
                  (m["id"], m["email"] or email, "邮箱变更", now_text()))
    return text_reply("1" if m["email"] else "16")


def payout_account(ctx, req):
    m = _member(ctx, req)
    account = req.text("zfbzh", "utf-8", "form").strip()
    repeat = req.text("cfzfbzh", "utf-8", "form").strip()
    name = req.text("zfbxm", "utf-8", "form").strip()
    email = req.text("zfbyx", "utf-8", "form").strip()
    if m is None:
        return text_reply("0")
    with ctx.db.transaction() as c:
        if c.execute("SELECT payout_account FROM members WHERE id=?", (m["id"],)).fetchone()["payout_account"]:
            return text_reply("2")  # set once
        if not account or account != repeat or not name or not email \
                or any('"' in v or len(v) > 100 for v in (account, name, email)):
            return text_reply("0")
        c.execute("UPDATE members SET payout_account=?, payout_name=?, payout_email=? WHERE id=?",
                  (account, name, email, m["id"]))
    return text_reply("3")


def redeem_code(ctx, req):
    m = _member(ctx, req)
    recharge = req.text("czlx", "utf-8", "query") == "1"
    code = req.text("vipjhm1" if recharge else "vipjhm", "utf-8", "form").strip()
    kind = "recharge" if recharge else "vip"
    if m is None or not code:
        return text_reply("0")
    with ctx.db.transaction() as c:
        row = c.execute("SELECT * FROM codes WHERE code=? AND kind=? AND used_by=0", (code, kind)).fetchone()
        if row is None:
            return text_reply("0")
        c.execute("UPDATE codes SET used_by=?, used_at=? WHERE code=?", (m["id"], now_text(), code))
        if recharge:
            c.execute("UPDATE members SET traffic_mb=traffic_mb+10240 WHERE id=?", (m["id"],))
        else:
            # The end date as it is now, not as it was before the transaction: two
            # codes redeemed at the same time add 60 days.
            until = c.execute("SELECT vip_until FROM members WHERE id=?", (m["id"],)).fetchone()["vip_until"]
            start = max(datetime.date.today(), datetime.date.fromisoformat(until) if until else datetime.date.today())
            c.execute("UPDATE members SET vip_until=? WHERE id=?",
                      ((start + datetime.timedelta(days=30)).isoformat(), m["id"]))
    return text_reply("1")


def feedback(ctx, req):
    # Feedback carries no account: it comes from whoever is logged in, and is kept with that member.
    m = current_member(ctx, req)
    if m is None:
        req.refused = True
        return text_reply("1")
    email = req.text("yx", "gbk", "form").strip()
    content = req.text("nr", "gbk", "form").strip()
    if not email or not content or len(content) > 5000 or len(email) > 200:
        return text_reply("1")
    ctx.db.run("INSERT INTO feedback(member, email, content, time) VALUES (?,?,?,?)",
               (m["id"], email, content, now_text()))
    return text_reply("OK")


ROUTES = {
    "/get/sz.php": safe(settings_page),
    "/get/cs1.php": safe(personal_page),
    "/get/aq.php": safe(security_page),
    "/get/tx.php": safe(withdrawal_page),
    "/sytj.php": safe(records_page),
    "/post/sz2.php": _switch("date_public", "btn2", "0"),
    "/post/sz.php": _switch("count_public", "btn2", "0"),
    "/post/sz1.php": _switch("earning", "btn3", "1"),
    "/post/sz3.php": _switch("enhanced", "btn2", "1"),
    "/post/sz8.php": _switch("forced_charge", "btnxa2", "0"),
    "/post/szx.php": mode_and_permission,
    "/post/cz1.php": access_password,
    "/post/mb.php": security_question,
    "/post/xgmm.php": change_password,
    "/post/xgyx.php": change_email,
    "/post/tx.php": payout_account,
    "/post/vip.php": redeem_code,
    "/post/fkc.php": feedback,
}
