"""Folders, listings, search, folder and file operations, file pages and stored files.

Every operation names its member (account in "zh"/"pid", or the numeric id
of the listing) and touches only that member's folders and files: ids of
other members' rows are ignored.
"""

import os

from . import pages
from .account import acting_member, current_member
from .common import valid_name
from .db import now_text
from .web import FileReply, RedirectReply, Reply, html_reply, safe, text_reply


def _member(ctx, req, key, charset="gbk"):
    """The member named in the query, when the session cookie is that member's."""
    return acting_member(ctx, req, key, charset)


def folder_list(ctx, req):
    member = _member(ctx, req, "zh")
    if member is None:
        return html_reply(pages.page("我的文件夹", "帐号不存在。"))
    return html_reply(pages.folder_list(member, ctx.db.folder_tree(member["id"])))


def folder_properties(ctx, req):
    member = _member(ctx, req, "zh")
    folder_id = req.number("pid", "query")
    folder = ctx.db.folder(member["id"], folder_id) if member and folder_id else None
    if folder is None:
        return html_reply(pages.page("文件夹属性", "默认文件夹或不存在的文件夹。"))
    return html_reply(pages.folder_properties(folder, ctx.db.folder_tree(member["id"])))


# The member's access permission (settings page): 0 everyone, 1 nobody, 2 computers
# only, 3 phones only. It limits visitors; the member's own session always passes.
NO_ACCESS = "该网盘设置了访问权限，当前无法访问。"


def _is_owner(ctx, req, member):
    viewer = current_member(ctx, req)
    return viewer is not None and viewer["id"] == member["id"]


def _visitor_allowed(req, member):
    mobile = "Mobile" in req.headers.get("User-Agent", "")
    return {0: True, 1: False, 2: not mobile, 3: mobile}.get(member["permission"], True)


def listing(ctx, req):
    user_id = req.number("pid", "query")
    folder_id = req.number("ml", "query") or 0
    page_no = max(0, req.number("yms", "query") or 0)
    member = ctx.db.member_by_id(user_id) if user_id is not None else None
    if member is None:
        return html_reply(pages.page("文件", "总共有0页"))
    if folder_id:
        folder = ctx.db.folder(member["id"], folder_id)
        if folder is None:
            return html_reply(pages.page("文件", "该文件夹不存在。总共有0页"))
        name = folder["name"]
    else:
        name = "默认文件夹"
    owner_view = _is_owner(ctx, req, member)
    if not owner_view and not _visitor_allowed(req, member):
        return html_reply(pages.page("文件", NO_ACCESS + "总共有0页"), status=403)
    total = ctx.db.one("SELECT COUNT(*) AS n FROM files WHERE owner=? AND folder=?",
                       (member["id"], folder_id))["n"]
    count = max(1, (total + pages.PAGE_SIZE - 1) // pages.PAGE_SIZE)
    rows = ctx.db.all("SELECT * FROM files WHERE owner=? AND folder=? ORDER BY id DESC LIMIT ? OFFSET ?",
                      (member["id"], folder_id, pages.PAGE_SIZE, page_no * pages.PAGE_SIZE))
    shown = dict(member)
    if owner_view:
        shown["date_public"] = shown["count_public"] = 1
    return html_reply(pages.listing(shown, name, rows, page_no, count, member["notice"]))


def search(ctx, req):
    kind = req.number("pid", "query")
    keyword = req.text("gjc", "gbk", "form").strip()
    member = current_member(ctx, req)
    req.refused = member is None
    hits = []
    if member is not None and keyword and kind in (1, 2):
        like = "%" + keyword.replace("\\", "\\\\").replace("%", "\\%").replace("_", "\\_") + "%"
        if kind == 1:
            rows = ctx.db.all("SELECT * FROM files WHERE owner=? AND name LIKE ? ESCAPE '\\' ORDER BY id DESC "
                              "LIMIT 200", (member["id"], like))
            hits = [pages.search_hit(r["name"], r["id"], member["id"], r["folder"],
                                     pages.size_text(r["size"])) for r in rows]
        else:
            rows = ctx.db.all("SELECT * FROM folders WHERE owner=? AND name LIKE ? ESCAPE '\\' ORDER BY id "
                              "LIMIT 200", (member["id"], like))
            hits = [pages.search_hit(r["name"], r["id"], member["id"], r["id"], "文件夹") for r in rows]
    body = "<h3>搜索结果</h3>\r\n" + "".join(hits) + "<p>共%d条</p>" % len(hits)
    return html_reply(pages.page("搜索", body, "utf-8"), "utf-8")


# -- folder operations -----------------------------------------------------------

def _valid_parent(ctx, member, parent):
    return parent == 0 or (parent is not None and ctx.db.folder(member["id"], parent) is not None)


def create_folder(ctx, req):
    member = _member(ctx, req, "zh")
    name = req.text("fwmm", "utf-8", "form")
    parent = req.number("ejml", "form")
    if member is None or not valid_name(name) or not _valid_parent(ctx, member, parent):
        return text_reply("0")
    new_id = ctx.db.run("INSERT INTO folders(owner, name, parent) VALUES (?,?,?)", (member["id"], name, parent))
    return text_reply("ok%d" % new_id)


def modify_folder(ctx, req):
    member = _member(ctx, req, "pid")
    folder_id = req.number("mlid", "query")
    name = req.text("btn2", "utf-8", "form")
    parent = req.number("btn1", "form")
    folder = ctx.db.folder(member["id"], folder_id) if member and folder_id else None
    if folder is None or not valid_name(name) or not _valid_parent(ctx, member, parent) \
            or (parent and ctx.db.is_descendant(member["id"], parent, folder_id)):
        return text_reply("0")
    ctx.db.run("UPDATE folders SET name=?, parent=? WHERE id=?", (name, parent, folder_id))
    return text_reply("1")


def delete_folder(ctx, req):
    member = _member(ctx, req, "zh")
    folder_id = req.number("pid", "query")
    folder = ctx.db.folder(member["id"], folder_id) if member and folder_id else None
    if folder is None:
        return text_reply("0")
    with ctx.db.transaction() as c:
        if c.execute("SELECT 1 FROM folders WHERE parent=? AND owner=?", (folder_id, member["id"])).fetchone():
            return text_reply("0")
        # The files of a deleted folder are kept: they move to the default folder.
        c.execute("UPDATE files SET folder=0 WHERE owner=? AND folder=?", (member["id"], folder_id))
        c.execute("DELETE FROM folders WHERE id=?", (folder_id,))
    return text_reply("1")


def rename_folder(ctx, req):
    member = _member(ctx, req, "pid")
    folder_id = req.number("mlid", "query")
    name = req.text("btn2", "gbk", "form")
    folder = ctx.db.folder(member["id"], folder_id) if member and folder_id else None
    if folder is None or not valid_name(name):
        return text_reply("0")
    ctx.db.run("UPDATE folders SET name=? WHERE id=?", (name, folder_id))
    return text_reply("1")


def create_link_file(ctx, req):
    member = _member(ctx, req, "zh")
    folder_id = req.number("mlpid", "query")
    name = req.text("wjm", "gbk", "form")
    url = req.text("wldz", "gbk", "form").strip()
    if member is None or not _valid_parent(ctx, member, folder_id) or not valid_name(name) \
            or not url.startswith(("http://", "https://")) or len(url) <= 8 or len(url) > 1000 \
            or any(c in url for c in '<>" \r\n'):
        return text_reply("0")
    ctx.db.run("INSERT INTO files(owner, folder, name, size, date, outside_url, source) VALUES (?,?,?,?,?,?,?)",
               (member["id"], folder_id, name, 0, now_text(), url, "link"))
    return text_reply("1")


def _ids(text):
    out = []
    for piece in text.split(","):
        piece = piece.strip()
        if piece.isdigit() and len(piece) < 12:
            out.append(int(piece))
    return out[:1000]


def move_files(ctx, req):
    member = _member(ctx, req, "zh")
    target = req.number("ml", "query")
    ids = _ids(req.text("pid", "utf-8", "query"))
    if member is None or not _valid_parent(ctx, member, target) or not ids:
        return text_reply("0")
    marks = ",".join("?" * len(ids))
    n = ctx.db.run("UPDATE files SET folder=? WHERE owner=? AND id IN (%s)" % marks, [target, member["id"]] + ids)
    return text_reply("1" if n else "0")


def delete_files(ctx, req):
    member = _member(ctx, req, "zh")
    ids = _ids(req.text("pid", "utf-8", "query"))
    if member is None or not ids:
        return text_reply("0")
    marks = ",".join("?" * len(ids))
    removed = []
    with ctx.db.transaction() as c:
        rows = c.execute("SELECT id, storage FROM files WHERE owner=? AND id IN (%s)" % marks,
                         [member["id"]] + ids).fetchall()
        for r in rows:
            c.execute("DELETE FROM files WHERE id=?", (r["id"],))
            # Instant uploads share stored content: the bytes go with the last row.
            if r["storage"] and not c.execute("SELECT 1 FROM files WHERE storage=?", (r["storage"],)).fetchone():
                removed.append(r["storage"])
    for storage in removed:
        path = ctx.storage_file(storage)
        if path:
            try:
                os.remove(path)
            except OSError:
                pass
    return text_reply("1" if rows else "0")


# -- file pages, direct links, stored files ---------------------------------------

def _file_and_owner(ctx, file_id):
    row = ctx.db.one("SELECT * FROM files WHERE id=?", (file_id,)) if file_id is not None else None
    owner = ctx.db.member_by_id(row["owner"]) if row else None
    return row, owner


def _storage_address(row):
    return row["storage"] if row["storage"] else "ext/%d" % row["id"]


def _password_ok(owner, given):
    return not owner["access_password"] or given == owner["access_password"]


def _count_visit(ctx, owner_id, field):
    day = now_text()[:10]
    ctx.db.run("INSERT OR IGNORE INTO stats(member, day) VALUES (?,?)", (owner_id, day))
    ctx.db.run("UPDATE stats SET %s=%s+1 WHERE member=? AND day=?" % (field, field), (owner_id, day))


def file_page(ctx, req):
    row, owner = _file_and_owner(ctx, req.number("pid", "query"))
    if row is None:
        return html_reply(pages.page("文件不存在", "文件不存在或已被删除。"))
    if _is_owner(ctx, req, owner):
        ok = True
    elif not _visitor_allowed(req, owner):
        return html_reply(pages.page(row["name"], NO_ACCESS), status=403)
    else:
        ok = _password_ok(owner, req.text("srmm", "gbk", "query"))
    _count_visit(ctx, owner["id"], "ips")
    return html_reply(pages.file_page(row, owner, _storage_address(row), ok))


def _counted(ctx, row):
    def done():
        ctx.db.run("UPDATE files SET downloads=downloads+1 WHERE id=?", (row["id"],))
        _count_visit(ctx, row["owner"], "downloads")
    return done


def _serve(ctx, row):
    if row["outside_url"]:
        return RedirectReply(row["outside_url"])
    path = ctx.storage_file(row["storage"])
    if path is None or not os.path.isfile(path):
        return Reply(b"0", 404)
    return FileReply(path, row["name"], _counted(ctx, row))


def direct_link(ctx, req):
    row, owner = _file_and_owner(ctx, req.number("pid", "query"))
    if row is None:
        return Reply(b"0", 404)
    if not _password_ok(owner, req.text("szmm", "gbk", "query")):
        return Reply("访问密码错误".encode("gbk"), 403, "text/plain; charset=gbk")
    if not _is_owner(ctx, req, owner) and not _visitor_allowed(req, owner):
        return Reply(NO_ACCESS.encode("gbk"), 403, "text/plain; charset=gbk")
    return _serve(ctx, row)


def stored_file(ctx, req):
    rel = req.path[len("/up/"):]
    if rel.startswith("ext/") and rel[4:].isdigit():
        row = ctx.db.one("SELECT * FROM files WHERE id=?", (int(rel[4:]),))
        return _serve(ctx, row) if row and row["outside_url"] else Reply(b"0", 404)
    row = ctx.db.one("SELECT * FROM files WHERE storage=? ORDER BY id LIMIT 1", (rel,))
    if row is None or ctx.storage_file(rel) is None:
        return Reply(b"0", 404)
    return _serve(ctx, row)


ROUTES = {
    "/sc/index.php": safe(folder_list),
    "/mlsx.php": safe(folder_properties),
    "/wdwj.php": safe(listing),
    "/post/czwj1.php": search,
    "/post/cjml.php": create_folder,
    "/post/sz5.php": modify_folder,
    "/post/scml.php": delete_folder,
    "/post/sz5pc.php": rename_folder,
    "/post/cjwjpc.php": create_link_file,
    "/get/ydxz.php": move_files,
    "/get/plzc.php": delete_files,
    "/ym.php": file_page,
    "/yunxz1.php": safe(direct_link),
}
# Stored files are served to anyone who has their address: the address holds
# a random name and only the file page hands it out (after the access password).
PREFIX_ROUTES = [("/up/", safe(stored_file))]
