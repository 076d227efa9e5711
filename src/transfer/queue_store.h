#pragma once
// The unfinished rows of the upload and download queues, kept in one SQLite
// database per front end. A row is keyed by its kind ("upload" or
// "download"), the member's account (GBK bytes) and its id; it keeps the
// position it got when it was inserted (the queue's order) and its data as
// encodeRow() writes it, so a field added to QueueRow needs no new column.
//
// Every change is one transaction, committed with synchronous=FULL in WAL
// mode: a commit that returned is on the disk, which is what a caller that
// records a row before it sends a request relies on. Several processes may
// share the file (two command-line runs, the windows); a locked database is
// waited for up to the busy timeout.
//
// A file that cannot be read as the store is never deleted: it is renamed to
// "<file>.damaged-<YYYYmmdd-HHMMSS>" (its -wal and -shm with it), a fresh
// store is created, and notice() says so. A row whose data fails its checks
// stays in the store as it is, out of the loaded rows, and is reported.
//
// Methods may be called from any thread; one call at a time uses the
// connection. Messages are UTF-8.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transfer/queue_row.h"

struct sqlite3;

namespace tarnwick::transfer {

// What of a tree (a folder moved whole) has already ended: its file rows
// that were done, which left the store then. Saved in the commit that
// removes such a row, so a tree's counts after a restart are its counts
// before it.
struct TreeProgress {
  std::uint64_t tree = 0;
  int filesDone = 0;
  std::int64_t bytesDone = 0;
  bool gone = false;  // apply: the tree has no rows left; its record goes
};

struct StoredRows {
  std::vector<QueueRow> rows;         // in queue order
  std::vector<std::string> rejected;  // one line per row kept in the store but not loaded
  std::vector<TreeProgress> trees;    // of the kind and account
};

struct ImportReport {
  std::size_t imported = 0;           // rows now in the store
  std::vector<std::string> problems;  // lines of the old file that were not taken (cut, unreadable)
  std::string error;                  // the insert failed: the old file was left as it was
  std::string renamedTo;              // where the old file now is ("" when it was not moved)
};

// A change of a row asked for by another process while a run works the
// queue (that run applies it and answers).
struct QueueRequest {
  std::int64_t id = 0;
  std::string verb;           // "hold", "resume", "rm", "move"
  std::uint64_t row = 0;
  std::int64_t position = 0;  // move: the index it goes to (clamped by the run)
};

class QueueStore {
 public:
  // Opens the store at path, creating it (mode 0600) when missing. Null when
  // no store could be opened at all (a read-only or full disk, a store that
  // stayed locked); error says why.
  static std::shared_ptr<QueueStore> open(const std::string& path, std::string* error = nullptr);
  ~QueueStore();
  QueueStore(const QueueStore&) = delete;
  QueueStore& operator=(const QueueStore&) = delete;

  const std::string& path() const { return m_path; }
  // One line for the user about the opening ("" when there is nothing to tell).
  const std::string& notice() const { return m_notice; }

  StoredRows load(const std::string& kind, const std::string& account);
  // One transaction: rows written (an unknown id is appended after the last
  // position, a known one keeps its place), ids removed and trees' progress
  // written or dropped. False, with error, when it was not committed; then
  // nothing of it was.
  bool apply(const std::string& kind, const std::string& account, const std::vector<QueueRow>& put,
             const std::vector<std::uint64_t>& removed, std::string* error = nullptr,
             const std::vector<TreeProgress>& trees = {});
  // Puts the listed rows in the given order, in the places they hold between
  // them; other rows keep theirs.
  bool setOrder(const std::string& kind, const std::string& account, const std::vector<std::uint64_t>& ids,
                std::string* error = nullptr);
  // Requests to the run that works kind's queue of the account: posted by
  // one process, taken and answered by the run, then the answer read and
  // the request dropped by the poster. postRequest gives the id (0: failed).
  std::int64_t postRequest(const std::string& kind, const std::string& account, const QueueRequest& request,
                           std::string* error = nullptr);
  std::vector<QueueRequest> openRequests(const std::string& kind, const std::string& account);
  bool answerRequest(std::int64_t id, bool ok, const std::string& message);
  // Not answered yet: nullopt. Otherwise whether it was applied, and why not.
  std::optional<std::pair<bool, std::string>> requestAnswer(std::int64_t id);
  void dropRequest(std::int64_t id);
  // Moves a whole-file queue of the earlier versions into the store: its rows
  // in one transaction (ids already stored are left as the store has them),
  // then, only after the commit, the file is renamed to "<file>.imported".
  // A missing file gives an empty report.
  ImportReport importFile(const std::string& kind, const std::string& account, const std::string& oldPath);

 private:
  QueueStore(sqlite3* db, std::string path, std::string notice);
  bool exec(const char* sql, std::string* error);
  std::string failure(const char* what) const;

  std::mutex m_mutex;
  sqlite3* m_db = nullptr;
  std::string m_path;
  std::string m_notice;
};

}  // namespace tarnwick::transfer
