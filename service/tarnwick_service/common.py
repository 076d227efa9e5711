"""Shared pieces of the handlers: the service context, name checks, number texts."""

import html
import os
import re
import secrets

# Characters a folder or file name may not hold: they would break the markup
# the client scrapes (markers end at "<", quotes and "&nbsp;") or the paths.
_BAD_NAME = re.compile(r'[<>"&\\/\x00-\x1f|]')
# An account name travels inside "x"-separated and "|"-separated replies, in
# URLs and in markup, so it is kept to a plain alphabet without the letter x.
_ACCOUNT = re.compile(r"^[A-Za-wyz0-9_\-.@\u4e00-\u9fff]{1,32}$")


class Context:
    """What every handler needs: the database and the folders under the data folder."""

    def __init__(self, db, data_dir):
        self.db = db
        self.data_dir = os.path.realpath(data_dir)
        self.storage_dir = os.path.join(self.data_dir, "storage")
        self.ftp_dir = os.path.join(self.data_dir, "ftp")                 # anonymous FTP logins
        self.ftp_members_dir = os.path.join(self.data_dir, "ftp-member")  # <member id>/ per member login
        self.tmp_dir = os.path.join(self.data_dir, "tmp")                 # web uploads while they arrive
        self.base_url = ""  # "http://127.0.0.1:PORT", set once the port is known
        for d in (self.storage_dir, self.ftp_dir, self.ftp_members_dir, self.tmp_dir):
            os.makedirs(d, exist_ok=True)

    def ftp_member_dir(self, member_id):
        """The FTP home of a member's own login (created on first use)."""
        path = os.path.join(self.ftp_members_dir, str(int(member_id)))
        os.makedirs(path, exist_ok=True)
        return path

    def storage_file(self, storage_path):
        """Absolute path of a stored file, or None when the path leaves the storage folder."""
        return inside(self.storage_dir, storage_path)

    def new_storage_path(self, member_id, name):
        ext = os.path.splitext(name)[1].lower()
        if not re.fullmatch(r"\.[a-z0-9]{1,8}", ext):
            ext = ".bin"
        rel = "%d/%s%s" % (member_id, secrets.token_hex(8), ext)
        os.makedirs(os.path.join(self.storage_dir, str(member_id)), exist_ok=True)
        return rel


def inside(root, relative):
    """root/relative when it stays inside root (no "..", no absolute path), else None."""
    if not relative or "\x00" in relative or relative.startswith(("/", "\\")) or ":" in relative:
        return None
    parts = re.split(r"[\\/]", relative)
    if any(p in ("", ".", "..") for p in parts):
        return None
    full = os.path.realpath(os.path.join(root, *parts))
    if not full.startswith(os.path.realpath(root) + os.sep):
        return None
    return full


def valid_account(name):
    return bool(name) and bool(_ACCOUNT.match(name))


def valid_name(name):
    """A folder or file name the service stores as it is."""
    return bool(name.strip()) and len(name) <= 120 and not _BAD_NAME.search(name) \
        and "nbsp;" not in name and name not in (".", "..")


def clean_file_name(name):
    """A stored file name: the unusable characters become "_"."""
    name = _BAD_NAME.sub("_", name).strip()[:120]
    if name in ("", ".", ".."):
        name = "file"
    return name


def size_text(size):
    if size < 1024:
        return "%dB" % size
    for unit in ("KB", "MB", "GB"):
        size /= 1024.0
        if size < 1024 or unit == "GB":
            return ("%.1f%s" % (size, unit)).replace(".0" + unit, unit)
    return "%dB" % size


def esc(text):
    """HTML-escapes text for visible markup (never for the scraped fields)."""
    return html.escape(text, quote=True)


def new_token():
    return secrets.token_hex(16)
