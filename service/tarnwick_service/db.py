"""The service's one SQLite database (data folder/tarnwick.db).

Every piece of state that must survive a restart lives here; the storage
folder only holds the bytes of stored files. One connection is shared by all
request threads and guarded by a lock: the service is small and requests are
short, so serialising database access keeps it simple and safe.
"""

import os
import sqlite3
import threading
import time

SCHEMA = """
CREATE TABLE IF NOT EXISTS members (
  id INTEGER PRIMARY KEY,
  account TEXT NOT NULL UNIQUE,
  password TEXT NOT NULL,
  email TEXT NOT NULL DEFAULT '',
  question TEXT NOT NULL DEFAULT '',
  answer TEXT NOT NULL DEFAULT '',
  vip_until TEXT NOT NULL DEFAULT '',
  payout_account TEXT NOT NULL DEFAULT '',
  payout_name TEXT NOT NULL DEFAULT '',
  payout_email TEXT NOT NULL DEFAULT '',
  date_public INTEGER NOT NULL DEFAULT 1,
  count_public INTEGER NOT NULL DEFAULT 1,
  earning INTEGER NOT NULL DEFAULT 1,
  enhanced INTEGER NOT NULL DEFAULT 0,
  forced_charge INTEGER NOT NULL DEFAULT 0,
  storage_mode INTEGER NOT NULL DEFAULT 4,
  permission INTEGER NOT NULL DEFAULT 0,
  access_password TEXT NOT NULL DEFAULT '',
  notice TEXT NOT NULL DEFAULT '',
  session_token TEXT NOT NULL DEFAULT '',
  traffic_mb INTEGER NOT NULL DEFAULT 0,
  email_changed_at REAL NOT NULL DEFAULT 0,
  reset_requested_at REAL NOT NULL DEFAULT 0,
  invited_by INTEGER NOT NULL DEFAULT 0,
  created TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS folders (
  id INTEGER PRIMARY KEY,
  owner INTEGER NOT NULL,
  name TEXT NOT NULL,
  parent INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS files (
  id INTEGER PRIMARY KEY,
  owner INTEGER NOT NULL,
  folder INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL,
  size INTEGER NOT NULL DEFAULT 0,
  md5 TEXT NOT NULL DEFAULT '',
  date TEXT NOT NULL,
  downloads INTEGER NOT NULL DEFAULT 0,
  storage TEXT NOT NULL DEFAULT '',
  outside_url TEXT NOT NULL DEFAULT '',
  source TEXT NOT NULL DEFAULT 'client'
);
CREATE INDEX IF NOT EXISTS files_md5 ON files(md5);
CREATE INDEX IF NOT EXISTS files_owner ON files(owner, folder);
CREATE TABLE IF NOT EXISTS withdrawals (
  id INTEGER PRIMARY KEY, member INTEGER NOT NULL, date TEXT NOT NULL,
  amount REAL NOT NULL, status TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS stats (
  member INTEGER NOT NULL, day TEXT NOT NULL, ips INTEGER NOT NULL DEFAULT 0,
  downloads INTEGER NOT NULL DEFAULT 0, income REAL NOT NULL DEFAULT 0,
  PRIMARY KEY (member, day)
);
CREATE TABLE IF NOT EXISTS records (
  id INTEGER PRIMARY KEY, member INTEGER NOT NULL, time TEXT NOT NULL, text TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS announcements (
  id INTEGER PRIMARY KEY, date TEXT NOT NULL, title TEXT NOT NULL, body TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS codes (
  code TEXT PRIMARY KEY, kind TEXT NOT NULL, used_by INTEGER NOT NULL DEFAULT 0,
  used_at TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS feedback (
  id INTEGER PRIMARY KEY, member INTEGER NOT NULL DEFAULT 0, email TEXT NOT NULL, content TEXT NOT NULL,
  time TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS sessions (
  token TEXT PRIMARY KEY, member INTEGER NOT NULL, created REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS qq_signins (
  token TEXT PRIMARY KEY, member INTEGER NOT NULL DEFAULT 0, created REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS mail_outbox (
  id INTEGER PRIMARY KEY, member INTEGER NOT NULL, address TEXT NOT NULL,
  subject TEXT NOT NULL, time TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);
"""


def now_text():
    return time.strftime("%Y-%m-%d %H:%M:%S")


class Database:
    def __init__(self, path):
        self.path = path
        self.lock = threading.RLock()
        fresh = not os.path.exists(path)
        self.conn = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self.conn.row_factory = sqlite3.Row
        self.conn.execute("PRAGMA journal_mode=WAL")
        self.conn.execute("PRAGMA synchronous=NORMAL")
        self.conn.executescript(SCHEMA)
        # Data folders made before feedback was kept per member get the column.
        columns = [r["name"] for r in self.conn.execute("PRAGMA table_info(feedback)")]
        if "member" not in columns:
            self.conn.execute("ALTER TABLE feedback ADD COLUMN member INTEGER NOT NULL DEFAULT 0")
        self.fresh = fresh

    def close(self):
        with self.lock:
            self.conn.close()

    # -- plain helpers; every call takes the lock ------------------------------
    def one(self, sql, args=()):
        with self.lock:
            return self.conn.execute(sql, args).fetchone()

    def all(self, sql, args=()):
        with self.lock:
            return self.conn.execute(sql, args).fetchall()

    def run(self, sql, args=()):
        """Runs one statement; returns the new row id (inserts) or the count."""
        with self.lock:
            cur = self.conn.execute(sql, args)
            return cur.lastrowid if sql.lstrip().upper().startswith("INSERT") else cur.rowcount

    def transaction(self):
        return _Transaction(self)

    # -- settings -----------------------------------------------------------
    def setting(self, key, default=""):
        row = self.one("SELECT value FROM settings WHERE key=?", (key,))
        return row["value"] if row else default

    def set_setting(self, key, value):
        self.run("INSERT OR REPLACE INTO settings(key, value) VALUES (?, ?)", (key, value))

    # -- members --------------------------------------------------------------
    def member_by_account(self, account):
        if not account:
            return None
        return self.one("SELECT * FROM members WHERE account=?", (account,))

    def member_by_id(self, member_id):
        return self.one("SELECT * FROM members WHERE id=?", (member_id,))

    def member_by_session(self, token):
        if not token:
            return None
        return self.one("SELECT m.* FROM members m JOIN sessions s ON s.member=m.id WHERE s.token=?",
                        (token,))

    # -- folders --------------------------------------------------------------
    def folder(self, owner, folder_id):
        """The folder row of this owner, or None (id 0, the default folder, has no row)."""
        return self.one("SELECT * FROM folders WHERE id=? AND owner=?", (folder_id, owner))

    def folder_tree(self, owner):
        """The owner's folders depth-first (parents before children) with their level (1 = top)."""
        rows = self.all("SELECT * FROM folders WHERE owner=? ORDER BY id", (owner,))
        children = {}
        for r in rows:
            children.setdefault(r["parent"], []).append(r)
        out, seen = [], set()

        def walk(parent, level):
            for r in children.get(parent, []):
                if r["id"] in seen:
                    continue
                seen.add(r["id"])
                out.append((r, level))
                walk(r["id"], level + 1)

        walk(0, 1)
        # Folders whose parent vanished are still listed, at the top level.
        for r in rows:
            if r["id"] not in seen:
                seen.add(r["id"])
                out.append((r, 1))
                walk(r["id"], 2)
        return out

    def is_descendant(self, owner, folder_id, ancestor_id):
        """True when folder_id lies below ancestor_id (or is it)."""
        current, steps = folder_id, 0
        while current and steps < 10000:
            if current == ancestor_id:
                return True
            row = self.folder(owner, current)
            if row is None:
                return False
            current, steps = row["parent"], steps + 1
        return False


class _Transaction:
    def __init__(self, db):
        self.db = db

    def __enter__(self):
        self.db.lock.acquire()
        self.db.conn.execute("BEGIN IMMEDIATE")
        return self.db.conn

    def __exit__(self, exc_type, exc, tb):
        try:
            self.db.conn.execute("ROLLBACK" if exc_type else "COMMIT")
        finally:
            self.db.lock.release()
        return False
