"""Uploads: instant upload by MD5, registration of FTP uploads, the web-upload page.

Every upload needs the session cookie of the member named by "bsm" / "zh".
A registered file is moved out of the FTP area into storage/<member id>/ under
a random name; its size and MD5 are computed from the bytes that arrived. The
registration takes the file from the member's own FTP folder (member logins)
before the shared area of anonymous logins, so two members uploading the same
name by their own logins never register each other's bytes.
Instant uploads add a row that shares the stored bytes of an earlier file
with the same MD5. Web uploads are streamed to disk as they arrive.
"""

import hashlib
import os
import re
import time
import urllib.parse

from . import multipart, pages
from .account import acting_member
from .common import clean_file_name, esc, inside
from .db import now_text
from .web import html_reply, safe, streamed, text_reply

TEMP_SUFFIX = ".tnwklswj"
TEMP_MAX_AGE = 24 * 3600  # seconds an unregistered upload or an unfinished web upload is kept


def _success(file_id):
    # The client looks for the INSERT statement and reads the id between "xxxx" and "x".
    return text_reply("INSERT INTO `wenjian` (`id`) VALUES (%d);xxxx%dx" % (file_id, file_id))


def _target(ctx, req):
    """(member, folder id) of an upload request, or (None, None)."""
    member = acting_member(ctx, req, "bsm")
    folder = req.number("mlid", "query")
    if member is None or folder is None:
        return None, None
    if folder != 0 and ctx.db.folder(member["id"], folder) is None:
        return None, None
    return member, folder


def _upload_name(req):
    """The file name of "wjdl"; None when it is empty or holds a path."""
    name = req.text("wjdl", "gbk", "form")
    if not name or len(name) > 200 or re.search(r'[\\/\x00]', name) or name in (".", ".."):
        return None
    return name


_INSERT_FILE = "INSERT INTO files(owner, folder, name, size, md5, date, storage, source) VALUES (?,?,?,?,?,?,?,?)"


def _insert(ctx, member, folder, name, size, md5, storage, source, conn=None):
    """The new file row's id. Inside the caller's transaction when conn is given."""
    if conn is None:
        with ctx.db.transaction() as c:
            return _insert(ctx, member, folder, name, size, md5, storage, source, c)
    # A folder deleted since the request was checked has handed its files to the
    # default folder; a file arriving for it goes there too.
    if folder and conn.execute("SELECT 1 FROM folders WHERE id=? AND owner=?", (folder, member["id"])).fetchone() \
            is None:
        folder = 0
    values = (member["id"], folder, clean_file_name(name), size, md5, now_text(), storage, source)
    return conn.execute(_INSERT_FILE, values).lastrowid


def instant_upload(ctx, req):
    member, folder = _target(ctx, req)
    name = _upload_name(req)
    digest = req.text("md5", "utf-8", "query").strip().lower()
    if member is None or name is None or not re.fullmatch(r"[0-9a-f]{32}", digest):
        return text_reply("0")
    # The lookup and the new row sharing its bytes are one transaction: a delete
    # of the last row using those bytes either comes first (nothing is found) or
    # sees the new row and keeps the bytes.
    with ctx.db.transaction() as c:
        row = c.execute("SELECT * FROM files WHERE md5=? AND storage!='' ORDER BY id LIMIT 1", (digest,)).fetchone()
        if row is None or not os.path.isfile(ctx.storage_file(row["storage"]) or ""):
            return text_reply("0")
        file_id = _insert(ctx, member, folder, name, row["size"], digest, row["storage"], "instant", c)
    return _success(file_id)


def _store(ctx, member, source_path, name):
    """Moves a received file into storage; returns (storage path, size, md5)."""
    md5 = hashlib.md5()
    size = 0
    with open(source_path, "rb") as f:
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                break
            md5.update(chunk)
            size += len(chunk)
    storage = ctx.new_storage_path(member["id"], name)
    os.replace(source_path, ctx.storage_file(storage))
    return storage, size, md5.hexdigest()


def _find_temp(ctx, member, name):
    """The uploaded temporary file: first in the member's own FTP folder, then in
    the anonymous area. The client names it in GBK bytes, other FTP clients in
    UTF-8; the FTP server keeps the bytes it received."""
    for root in (ctx.ftp_member_dir(member["id"]), ctx.ftp_dir):
        for charset in ("gbk", "utf-8"):
            try:
                raw = (name + TEMP_SUFFIX).encode(charset)
            except UnicodeEncodeError:
                continue
            temp = inside(root, os.fsdecode(raw))
            if temp is not None and os.path.isfile(temp):
                return temp
    return None


def _is_temporary_upload(name):
    # "<name>.tnwklswj", or such a file claimed by a registration that never ended
    return name.endswith(TEMP_SUFFIX) or (TEMP_SUFFIX + "." in name and ".claim" in name)


def sweep_temporary_files(ctx, max_age=TEMP_MAX_AGE, now=None):
    """Removes FTP uploads that were never registered and web uploads that never
    ended, once they have not changed for max_age seconds. Returns the count."""
    limit = (time.time() if now is None else now) - max_age
    removed = 0
    areas = [(ctx.ftp_dir, _is_temporary_upload), (ctx.ftp_members_dir, _is_temporary_upload),
             (ctx.tmp_dir, lambda name: True)]
    for root, wanted in areas:
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                try:
                    if wanted(name) and os.lstat(path).st_mtime < limit:
                        os.remove(path)
                        removed += 1
                except OSError:
                    pass  # taken or removed meanwhile
    return removed


def register_ftp_upload(ctx, req):
    member, folder = _target(ctx, req)
    name = _upload_name(req)
    if member is None or name is None:
        return text_reply("0")
    temp = _find_temp(ctx, member, name)
    if temp is None:
        return text_reply("0")
    # Claim the file by renaming it first, so two registrations cannot both take it.
    claimed = temp + ".%d.claim" % os.getpid() + os.urandom(4).hex()
    try:
        os.replace(temp, claimed)
    except OSError:
        return text_reply("0")
    storage, size, md5 = _store(ctx, member, claimed, name)
    return _success(_insert(ctx, member, folder, name, size, md5, storage, "client"))


UPLOAD_FORM = """<h3>网页上传</h3>
<form method="post" enctype="multipart/form-data" action="/sc/index2.php?zh=%s&ml=%d">
<input type="file" name="file" multiple> <input type="submit" id="send" value="上传">
</form>%s"""


@streamed
def web_upload(ctx, req):
    member = acting_member(ctx, req, "zh")
    folder = req.number("ml", "query") or 0
    if member is None or (folder and ctx.db.folder(member["id"], folder) is None):
        return html_reply(pages.page("网页上传", "帐号或文件夹不存在，或没有登录。", "utf-8"), "utf-8")
    message = ""
    if req.method == "POST":
        stored = [(clean_file_name(os.path.basename(name.replace("\\", "/"))), tmp)
                  for name, tmp in _receive_files(ctx, req)]
        for name, tmp in stored:
            storage, size, md5 = _store(ctx, member, tmp, name)
            _insert(ctx, member, folder, name, size, md5, storage, "web")
        names = [name for name, _ in stored]
        message = "<p id=\"result\">上传成功：%s</p>" % esc("，".join(names)) if names else \
            "<p id=\"result\">没有收到文件。</p>"
    # "zh" is read as GBK, so the form's own address carries the account percent-encoded in GBK.
    zh = urllib.parse.quote(member["account"].encode("gbk", "replace"), safe="")
    return html_reply(pages.page("网页上传", UPLOAD_FORM % (zh, folder, message),
                                 "utf-8"), "utf-8")


def _receive_files(ctx, req):
    """Streams the file parts of the multipart body into temporary files:
    [(name, path)]. A malformed body leaves no file behind (BadRequest)."""
    received = []

    def open_file(name):
        path = os.path.join(ctx.tmp_dir, "web-%s" % os.urandom(8).hex())
        f = open(path, "wb")
        received.append((name, path, f))
        return f

    try:
        multipart.read_files(req.stream, req.headers.get("Content-Type", ""), open_file)
    except BaseException:
        for _, path, f in received:
            f.close()
            try:
                os.remove(path)
            except OSError:
                pass
        raise
    for _, _, f in received:
        f.close()
    return [(name, path) for name, path, _ in received]


@safe
def recent_web_uploads(ctx, req):
    member = acting_member(ctx, req, "zh")
    rows = ctx.db.all("SELECT * FROM files WHERE owner=? AND source='web' ORDER BY id DESC LIMIT 30",
                      (member["id"],)) if member else []
    items = "".join('<li><a href="/ym.php?pid=%d" target="_blank">%s</a> %s %s</li>'
                    % (r["id"], esc(r["name"]), pages.size_text(r["size"]), r["date"]) for r in rows)
    return html_reply(pages.page("最近网页上传", "<h3>最近网页上传</h3><ul>%s</ul>" % (items or "<li>暂无</li>"),
                                 "utf-8"), "utf-8")


ROUTES = {
    "/jsmc.php": instant_upload,
    "/tjwj.php": register_ftp_upload,
    "/sc/index2.php": web_upload,
    "/post/sxwjx.php": recent_web_uploads,
}
