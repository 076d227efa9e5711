#include "transfer/queue_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

namespace tarnwick::transfer {
namespace {

constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS queue_rows("
    " kind TEXT NOT NULL CHECK(kind IN ('upload','download')),"
    " account BLOB NOT NULL,"
    " id INTEGER NOT NULL,"
    " position INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(kind, account, id));"
    "CREATE INDEX IF NOT EXISTS queue_rows_order ON queue_rows(kind, account, position);"
    "CREATE TABLE IF NOT EXISTS queue_requests("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " kind TEXT NOT NULL,"
    " account BLOB NOT NULL,"
    " verb TEXT NOT NULL,"
    " row INTEGER NOT NULL,"
    " position INTEGER NOT NULL DEFAULT 0,"
    " answered INTEGER NOT NULL DEFAULT 0,"
    " ok INTEGER NOT NULL DEFAULT 0,"
    " message TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE IF NOT EXISTS queue_trees("
    " kind TEXT NOT NULL,"
    " account BLOB NOT NULL,"
    " tree INTEGER NOT NULL,"
    " files_done INTEGER NOT NULL,"
    " bytes_done INTEGER NOT NULL,"
    " PRIMARY KEY(kind, account, tree));";

bool validKind(const std::string& kind) { return kind == "upload" || kind == "download"; }

bool damageCode(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A name beside path that no file has yet: base, then base.2, base.3, ...
std::string freeName(const std::string& base) {
  for (int n = 1; n < 1000; ++n) {
    const std::string name = base + (n == 1 ? std::string() : "." + std::to_string(n));
    if (!exists(name) && !exists(name + "-wal") && !exists(name + "-shm")) return name;
  }
  return {};
}

// One prepared statement, finalised at the end of its scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return m_rc == SQLITE_OK; }
  Statement& text(int i, const std::string& v) {
    sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& blob(int i, const std::string& v) {
    sqlite3_bind_blob(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& integer(int i, std::int64_t v) {
    sqlite3_bind_int64(m_stmt, i, v);
    return *this;
  }
  int step() { return sqlite3_step(m_stmt); }
  void reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
  std::int64_t integerAt(int i) { return sqlite3_column_int64(m_stmt, i); }
  std::string bytesAt(int i) {
    const void* p = sqlite3_column_blob(m_stmt, i);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i)))
             : std::string();
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc = SQLITE_ERROR;
};

struct Opened {
  sqlite3* db = nullptr;
  bool damaged = false;
  std::string error;
};

// Reads the whole file as a database, on a read-only connection: closing a
// read-write connection to a file that is not a database would delete the
// -wal beside it, which has to be set aside with it.
Opened check(const std::string& path) {
  Opened out;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    Statement quick(db, "PRAGMA quick_check");
    rc = quick.ok() ? quick.step() : sqlite3_errcode(db);
    if (rc == SQLITE_ROW && quick.bytesAt(0) != "ok") {
      out.damaged = true;
      out.error = "quick_check: " + quick.bytesAt(0);
    } else if (rc != SQLITE_ROW) {
      out.damaged = damageCode(rc);
      out.error = sqlite3_errmsg(db);
    } else {
      // A database of some other program's making, with a table of the same
      // name and other columns: not a store, and not to be changed.
      Statement columns(db,
                        "SELECT (SELECT count(*) FROM sqlite_master WHERE name='queue_rows'),"
                        " (SELECT count(*) FROM pragma_table_info('queue_rows')"
                        "  WHERE name IN ('kind','account','id','position','data'))");
      rc = columns.ok() ? columns.step() : sqlite3_errcode(db);
      if (rc != SQLITE_ROW) {
        out.damaged = damageCode(rc);
        out.error = sqlite3_errmsg(db);
      } else if (columns.integerAt(0) != 0 && columns.integerAt(1) != 5) {
        out.damaged = true;
        out.error = "its table queue_rows is not the queue's";
      }
    }
  } else {
    out.damaged = damageCode(rc);
    out.error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  }
  sqlite3_close_v2(db);
  return out;
}

// Opens path as the store and checks it; a file that is not a readable store
// comes back damaged (and closed).
Opened openChecked(const std::string& path) {
  if (!exists(path)) {  // created owner-only; SQLite gives its -wal and -shm the same mode
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
  }
  Opened out = check(path);
  if (!out.error.empty()) return out;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  const auto fail = [&](int code) {
    out.damaged = damageCode(code);
    out.error = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    sqlite3_close_v2(db);
    return out;
  };
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  {
    Statement wal(db, "PRAGMA journal_mode=WAL");
    if (!wal.ok()) return fail(sqlite3_errcode(db));
    rc = wal.step();
    if (rc != SQLITE_ROW) return fail(rc);
  }
  // FULL: a commit that returned is on the disk, even after a power cut (in
  // WAL mode NORMAL may lose the last commits then), which is what a row
  // recorded before its request is sent needs. Commits are few: one per
  // burst of changes.
  if ((rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr)) != SQLITE_OK) return fail(rc);
  // A database of some other program's making has tables of the same name
  // and other columns: not a store.
  if ((rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr)) != SQLITE_OK) {
    Opened failed = fail(rc);
    failed.damaged = failed.damaged || (rc & 0xff) == SQLITE_ERROR;
    return failed;
  }
  {
    Statement probe(db, "SELECT kind, account, id, position, data FROM queue_rows LIMIT 1");
    if (!probe.ok()) {
      out.error = sqlite3_errmsg(db);
      out.damaged = true;
      sqlite3_close_v2(db);
      return out;
    }
  }
  out.db = db;
  return out;
}

std::string timeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

}  // namespace

std::shared_ptr<QueueStore> QueueStore::open(const std::string& path, std::string* error) {
  Opened first = openChecked(path);
  std::string notice;
  if (!first.db && first.damaged) {
    // Set aside, never deleted: the file and what SQLite keeps beside it.
    const std::string aside = freeName(path + ".damaged-" + timeStamp());
    bool moved = !aside.empty() && std::rename(path.c_str(), aside.c_str()) == 0;
    for (const char* extra : {"-wal", "-shm"})
      if (moved && exists(path + extra)) moved = std::rename((path + extra).c_str(), (aside + extra).c_str()) == 0;
    if (!moved) {
      if (error) *error = "the queue store " + path + " is damaged (" + first.error + ") and cannot be set aside";
      return nullptr;
    }
    notice = "the queue store " + path + " could not be read (" + first.error + "); it was kept as " + aside +
             " and a new, empty one was started";
    first = openChecked(path);
  }
  if (!first.db) {
    if (error) *error = "cannot open the queue store " + path + ": " + first.error;
    return nullptr;
  }
  return std::shared_ptr<QueueStore>(new QueueStore(first.db, path, std::move(notice)));
}

QueueStore::QueueStore(sqlite3* db, std::string path, std::string notice)
    : m_db(db), m_path(std::move(path)), m_notice(std::move(notice)) {}

QueueStore::~QueueStore() { sqlite3_close_v2(m_db); }

std::string QueueStore::failure(const char* what) const {
  return std::string("cannot ") + what + " the queue store " + m_path + ": " + sqlite3_errmsg(m_db);
}

bool QueueStore::exec(const char* sql, std::string* error) {
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  if (error) *error = failure("write");
  return false;
}

StoredRows QueueStore::load(const std::string& kind, const std::string& account) {
  StoredRows out;
  std::lock_guard lock(m_mutex);
  Statement q(m_db, "SELECT id, data FROM queue_rows WHERE kind=?1 AND account=?2 ORDER BY position, id");
  if (!q.ok()) {
    out.rejected.push_back(failure("read"));
    return out;
  }
  q.text(1, kind).blob(2, account);
  int rc;
  while ((rc = q.step()) == SQLITE_ROW) {
    const auto id = static_cast<std::uint64_t>(q.integerAt(0));
    const std::string data = q.bytesAt(1);
    std::optional<QueueRow> row = decodeRow(data);
    std::string why;
    if (!row)
      why = "its data cannot be read";
    else if (row->id != id)
      why = "its data names row " + std::to_string(row->id);
    else
      why = checkRow(*row, kind == "download");
    if (!why.empty()) {
      out.rejected.push_back("saved " + kind + " row " + std::to_string(id) + " was not loaded (kept in " + m_path +
                             "): " + why);
      continue;
    }
    out.rows.push_back(std::move(*row));
  }
  if (rc != SQLITE_DONE) out.rejected.push_back(failure("read"));
  Statement t(m_db, "SELECT tree, files_done, bytes_done FROM queue_trees WHERE kind=?1 AND account=?2");
  if (t.ok()) {
    t.text(1, kind).blob(2, account);
    while (t.step() == SQLITE_ROW)
      out.trees.push_back({static_cast<std::uint64_t>(t.integerAt(0)), static_cast<int>(t.integerAt(1)),
                           t.integerAt(2)});
  }
  return out;
}

bool QueueStore::apply(const std::string& kind, const std::string& account, const std::vector<QueueRow>& put,
                       const std::vector<std::uint64_t>& removed, std::string* error,
                       const std::vector<TreeProgress>& trees) {
  if (!validKind(kind)) {
    if (error) *error = "unknown queue kind " + kind;
    return false;
  }
  std::lock_guard lock(m_mutex);
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  bool ok = true;
  {
    Statement update(m_db, "UPDATE queue_rows SET data=?4 WHERE kind=?1 AND account=?2 AND id=?3");
    Statement insert(m_db,
                     "INSERT INTO queue_rows(kind, account, id, position, data) VALUES(?1, ?2, ?3,"
                     " (SELECT COALESCE(MAX(position), 0) + 1 FROM queue_rows WHERE kind=?1 AND account=?2), ?4)");
    Statement drop(m_db, "DELETE FROM queue_rows WHERE kind=?1 AND account=?2 AND id=?3");
    ok = update.ok() && insert.ok() && drop.ok();
    for (const QueueRow& r : put) {
      if (!ok) break;
      const std::string data = encodeRow(r);
      update.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(r.id)).blob(4, data);
      ok = update.step() == SQLITE_DONE;
      update.reset();
      if (ok && sqlite3_changes(m_db) == 0) {
        insert.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(r.id)).blob(4, data);
        ok = insert.step() == SQLITE_DONE;
        insert.reset();
      }
    }
    for (std::uint64_t id : removed) {
      if (!ok) break;
      drop.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(id));
      ok = drop.step() == SQLITE_DONE;
      drop.reset();
    }
    if (ok && !trees.empty()) {
      Statement keep(m_db, "INSERT OR REPLACE INTO queue_trees(kind, account, tree, files_done, bytes_done)"
                           " VALUES(?1, ?2, ?3, ?4, ?5)");
      Statement forget(m_db, "DELETE FROM queue_trees WHERE kind=?1 AND account=?2 AND tree=?3");
      ok = keep.ok() && forget.ok();
      for (const TreeProgress& t : trees) {
        if (!ok) break;
        Statement& s = t.gone ? forget : keep;
        s.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(t.tree));
        if (!t.gone) s.integer(4, t.filesDone).integer(5, t.bytesDone);
        ok = s.step() == SQLITE_DONE;
        s.reset();
      }
    }
  }
  if (ok && exec("COMMIT", error)) return true;
  if (!ok && error) *error = failure("write");
  if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

bool QueueStore::setOrder(const std::string& kind, const std::string& account, const std::vector<std::uint64_t>& ids,
                          std::string* error) {
  std::lock_guard lock(m_mutex);
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  bool ok = true;
  {
    // The places the listed rows hold, lowest first, dealt out in the new order.
    Statement where(m_db, "SELECT position FROM queue_rows WHERE kind=?1 AND account=?2 AND id=?3");
    Statement move(m_db, "UPDATE queue_rows SET position=?4 WHERE kind=?1 AND account=?2 AND id=?3");
    ok = where.ok() && move.ok();
    std::vector<std::uint64_t> found;
    std::vector<std::int64_t> places;
    std::set<std::uint64_t> seen;
    for (std::uint64_t id : ids) {
      if (!ok || !seen.insert(id).second) continue;
      where.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(id));
      const int rc = where.step();
      if (rc == SQLITE_ROW) {
        found.push_back(id);
        places.push_back(where.integerAt(0));
      } else {
        ok = rc == SQLITE_DONE;
      }
      where.reset();
    }
    std::sort(places.begin(), places.end());
    for (std::size_t i = 0; ok && i < found.size(); ++i) {
      move.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(found[i])).integer(4, places[i]);
      ok = move.step() == SQLITE_DONE;
      move.reset();
    }
  }
  if (ok && exec("COMMIT", error)) return true;
  if (!ok && error) *error = failure("write");
  if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

ImportReport QueueStore::importFile(const std::string& kind, const std::string& account, const std::string& oldPath) {
  ImportReport report;
  if (!exists(oldPath)) return report;
  SavedFile file = readSavedFile(oldPath);
  report.problems = std::move(file.problems);
  if (!file.found) return report;  // not a queue file: left where it is
  {
    std::lock_guard lock(m_mutex);
    if (!exec("BEGIN IMMEDIATE", &report.error)) return report;
    bool ok = true;
    {
      Statement insert(m_db,
                       "INSERT OR IGNORE INTO queue_rows(kind, account, id, position, data) VALUES(?1, ?2, ?3,"
                       " (SELECT COALESCE(MAX(position), 0) + 1 FROM queue_rows WHERE kind=?1 AND account=?2), ?4)");
      ok = insert.ok();
      for (const QueueRow& r : file.rows) {
        if (!ok) break;
        insert.text(1, kind).blob(2, account).integer(3, static_cast<std::int64_t>(r.id)).blob(4, encodeRow(r));
        ok = insert.step() == SQLITE_DONE;
        insert.reset();
      }
    }
    if (!ok || !exec("COMMIT", &report.error)) {
      if (!ok) report.error = failure("write");
      if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
      return report;
    }
  }
  report.imported = file.rows.size();
  // Only now, with the rows committed: the old file is kept under a new name.
  const std::string to = freeName(oldPath + ".imported");
  if (!to.empty() && std::rename(oldPath.c_str(), to.c_str()) == 0)
    report.renamedTo = to;
  else
    report.problems.push_back(oldPath + ": imported, but could not be renamed; it will be read again");
  return report;
}

std::int64_t QueueStore::postRequest(const std::string& kind, const std::string& account,
                                     const QueueRequest& request, std::string* error) {
  std::lock_guard lock(m_mutex);
  Statement insert(m_db, "INSERT INTO queue_requests(kind, account, verb, row, position) VALUES(?1, ?2, ?3, ?4, ?5)");
  if (!insert.ok()) {
    if (error) *error = failure("post a request to");
    return 0;
  }
  insert.text(1, kind).blob(2, account).text(3, request.verb);
  insert.integer(4, static_cast<std::int64_t>(request.row)).integer(5, request.position);
  if (insert.step() != SQLITE_DONE) {
    if (error) *error = failure("post a request to");
    return 0;
  }
  return sqlite3_last_insert_rowid(m_db);
}

std::vector<QueueRequest> QueueStore::openRequests(const std::string& kind, const std::string& account) {
  std::lock_guard lock(m_mutex);
  std::vector<QueueRequest> out;
  Statement q(m_db,
              "SELECT id, verb, row, position FROM queue_requests WHERE kind=?1 AND account=?2 AND answered=0 "
              "ORDER BY id");
  if (!q.ok()) return out;
  q.text(1, kind).blob(2, account);
  while (q.step() == SQLITE_ROW) {
    QueueRequest r;
    r.id = q.integerAt(0);
    r.verb = q.bytesAt(1);
    r.row = static_cast<std::uint64_t>(q.integerAt(2));
    r.position = q.integerAt(3);
    out.push_back(std::move(r));
  }
  return out;
}

bool QueueStore::answerRequest(std::int64_t id, bool ok, const std::string& message) {
  std::lock_guard lock(m_mutex);
  Statement u(m_db, "UPDATE queue_requests SET answered=1, ok=?2, message=?3 WHERE id=?1");
  if (!u.ok()) return false;
  u.integer(1, id).integer(2, ok ? 1 : 0).text(3, message);
  return u.step() == SQLITE_DONE;
}

std::optional<std::pair<bool, std::string>> QueueStore::requestAnswer(std::int64_t id) {
  std::lock_guard lock(m_mutex);
  Statement q(m_db, "SELECT ok, message FROM queue_requests WHERE id=?1 AND answered=1");
  if (!q.ok()) return std::nullopt;
  q.integer(1, id);
  if (q.step() != SQLITE_ROW) return std::nullopt;
  return std::make_pair(q.integerAt(0) != 0, q.bytesAt(1));
}

void QueueStore::dropRequest(std::int64_t id) {
  std::lock_guard lock(m_mutex);
  Statement d(m_db, "DELETE FROM queue_requests WHERE id=?1");
  if (d.ok()) d.integer(1, id).step();
}

}  // namespace tarnwick::transfer
