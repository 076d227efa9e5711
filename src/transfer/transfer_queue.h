#pragma once
// What the upload and the download queue share: the rows and their states,
// the order, the finished list, the saved rows, one runner thread that works
// the rows off one at a time, the pause when the service cannot be reached,
// and the one way of stopping.
//
//   idle --start()--> running: next Queued row --> runRow()
//                       ^   |  Done / Failed: next row
//                       |   |  Unreachable: row stays Queued, the queue waits
//                       |   |  (reconnectDelaysMs) and tries it again; when the
//                       |   |  delays are used up every waiting row is Paused
//                       +---+  no Queued row left: idle (Failed rows wait for
//                              the next start())
//   stop(): the running step is cut (requests cancelled, transfer closed), the
//   running row goes back to Queued, the saved rows are written, the runner
//   is joined. Nothing starts until the next start().
//
// Every method may be called from any thread. The listener is called on the
// runner thread (or on the caller's, for changes the caller makes), never
// with a lock held; a GUI hands it on to its own thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "transfer/queue_row.h"
#include "transfer/queue_store.h"
#include "transfer/transfer_params.h"

namespace tarnwick::net {
class ConnectionShare;
}

namespace tarnwick::transfer {

class Transfer;

enum class QueueEventKind {
  Changed,      // rows were added, removed or changed state
  RowStarted,   // a row began (rowId)
  Sending,      // an upload's bytes or a download's body began to move (rowId)
  Sent,         // every byte is in place; what follows is the registration or the rename (rowId)
  RowDone,      // rowId moved to the finished list
  RowFailed,    // rowId failed; text is the reason
  Unreachable,  // the service could not be reached; text is the reason; the queue waits
  Idle,         // the run ended: nothing is running
  SaveFailed,   // rows could not be written to the store; text is why (told once until a write succeeds)
};

struct QueueEvent {
  QueueEventKind kind = QueueEventKind::Changed;
  std::uint64_t rowId = 0;
  std::string text;  // GBK
};
using QueueListener = std::function<void(const QueueEvent&)>;

// Counters of the running transfer, for a progress display.
struct QueueProgress {
  std::uint64_t rowId = 0;      // 0: nothing is moving
  std::int64_t done = 0;        // bytes of the file in place
  std::int64_t total = -1;      // complete size, -1 unknown
  std::int64_t sinceLast = 0;   // bytes since the previous call (the call resets it)
};

struct QueueOptions {
  // Waits before the running row is tried again after the service could not
  // be reached; the last one repeats when repeatLast is set, otherwise the
  // queue pauses once they are used up.
  std::vector<int> reconnectDelaysMs{1000, 2000, 5000, 10000, 30000};
  bool repeatLast = true;
  int finishedLimit = 500;   // newest finished rows kept
  int brokenLimit = 3;       // transfers of one row broken after they began, before it fails
  int brokenDelayMs = 1000;  // wait before a broken transfer is tried again
};

// A value that one thread replaces and others read as a whole copy (what a
// queue's rows need of the session and the window).
template <class T>
class Shared {
 public:
  void set(T value) {
    std::lock_guard lock(m_mutex);
    m_value = std::move(value);
  }
  T get() const {
    std::lock_guard lock(m_mutex);
    return m_value;
  }

 private:
  mutable std::mutex m_mutex;
  T m_value;
};

class TransferQueue {
 public:
  virtual ~TransferQueue();
  TransferQueue(const TransferQueue&) = delete;
  TransferQueue& operator=(const TransferQueue&) = delete;

  void setListener(QueueListener listener);
  void setOptions(QueueOptions options);

  // The member whose rows these are, and the store and kind ("upload",
  // "download") they are kept under (a null store keeps them in memory
  // only). Changing the member stops the queue, saves and forgets its rows,
  // then loads the new member's saved rows as Paused.
  void switchAccount(const std::string& account, std::shared_ptr<QueueStore> store, std::string kind);
  std::string account() const;
  // Saved rows of the last switchAccount that were left in the store, not
  // loaded: one line each (UTF-8).
  std::vector<std::string> rejectedRows() const;

  // Whether the last write to the store was committed; lastSaveError() says
  // why not (UTF-8). A failure is announced once (SaveFailed) and the rows
  // that were not written are written with the next commit that succeeds,
  // which clears it. Always true without a store.
  bool saveOk() const;
  std::string lastSaveError() const;

  std::vector<QueueRow> rows() const;      // unfinished, in queue order
  std::vector<QueueRow> finished() const;  // newest first
  std::optional<QueueRow> row(std::uint64_t id) const;
  void clearFinished();

  // Removes rows; the running row is refused (false when it was among ids).
  bool remove(const std::vector<std::uint64_t>& ids);

  // Starts working off the rows this queue takes: their Failed and Paused
  // rows are queued again.
  // Rows added while running are taken in turn. No-op while running.
  void start();
  // The one way of stopping (quit, logout, forced logout): see above. Bounded
  // by the transfer's close wait; nothing of the queue is lost.
  void stop();
  bool running() const;
  // Blocks until the runner is idle and the rows written (true) or the time
  // passed (false); saveOk() tells whether the writing succeeded.
  bool waitIdle(int timeoutMs);
  // The service could not be reached: the queue is waiting to try again.
  bool waiting() const;

  QueueProgress progress();

 protected:
  TransferQueue();

  enum class Step { Done, Failed, Unreachable, Broken, Stopped };
  struct StepResult {
    Step step = Step::Failed;
    std::string reason;  // GBK
    bool local = false;  // Failed on this machine (disk, name, local file), not by the service
  };
  // Works one row (a copy; the result is written back by id). Runs on the
  // runner thread; blocking is allowed, stopRequested() must be honoured.
  virtual StepResult runRow(QueueRow& row) = 0;
  // A row leaves the queue (removed by the user): its files go with it.
  virtual void forgetRow(const QueueRow&) {}
  // The stopped row's leftovers (a download's partial file).
  virtual void stoppedRow(QueueRow&) {}
  // Rows loaded from the store, before they are shown.
  virtual void loadedRow(QueueRow&) {}
  // Whether this queue works the row at all (a front end that runs only some
  // of the member's rows leaves the others exactly as they are).
  virtual bool takes(const QueueRow&) const { return true; }
  // A run begins (start() until idle is one run).
  virtual void runBegins() {}
  // A row of the run ended Done or Failed (its final state), on the runner
  // thread; a Done row before it leaves the saved rows.
  virtual void rowEnded(const QueueRow&) {}

  std::uint64_t addRow(QueueRow row);  // assigns id, account; appends
  void announce(QueueEventKind kind, std::uint64_t rowId = 0, const std::string& text = {});
  bool stopRequested() const { return m_stop.load(); }
  const std::atomic<bool>* stopFlag() const { return &m_stop; }
  // Runs a transfer (a fresh FtpUpload or HttpDownload) to its end on the
  // runner thread: the counters of progress() read it meanwhile, stop()
  // closes it. onNameConflict answers the download's "target exists"
  // question (true gives up).
  // onTick runs on the runner thread about every tickMs while the transfer
  // moves (a download's checkpoint).
  TransferReport runTransfer(std::shared_ptr<Transfer> transfer, TransferParams params,
                             std::function<bool()> onNameConflict = {}, std::function<void()> onTick = {},
                             int tickMs = 2000);
  // Sleeps up to ms; false when stop() came.
  bool pause(int ms);
  void updateRow(const QueueRow& row);  // writes the row back (by id), saves
  // Writes the row back and commits it (with every other pending change)
  // before returning: false when the commit failed or the row is no longer in
  // the queue; then nothing that relies on it may be sent. True without a
  // store (memory only).
  bool updateRowNow(const QueueRow& row);

 private:
  void runner();
  // The store follows the rows on a thread of its own (a burst of changes is
  // one transaction, and no caller waits on the disk). saveLocked marks that
  // rows changed; flushSave writes every row that differs from what the store
  // was last given (added, changed, removed) now, false when that failed.
  void saveLocked();
  bool flushSave();
  void saver();
  std::optional<std::size_t> nextQueuedLocked() const;

  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<QueueRow> m_rows;
  std::vector<QueueRow> m_finished;
  std::string m_account;
  std::shared_ptr<QueueStore> m_store;  // null: memory only
  std::string m_kind;
  std::vector<std::string> m_rejected;
  QueueOptions m_options;
  QueueListener m_listener;
  std::mutex m_listenerMutex;

  std::thread m_thread;
  std::thread m_saver;
  std::condition_variable m_saveCv;
  std::mutex m_writeMutex;                         // one write to the store at a time
  std::map<std::uint64_t, std::string> m_stored;   // the rows as the store has them; guarded by m_writeMutex
  std::uint64_t m_saveWanted = 0, m_saveDone = 0;  // guarded by m_mutex
  bool m_quitSaver = false;                        // guarded by m_mutex
  bool m_saveOk = true;                            // guarded by m_mutex
  std::string m_saveError;                         // guarded by m_mutex
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_waiting{false};
  std::uint64_t m_runningRow = 0;
  std::shared_ptr<Transfer> m_transfer;  // the running transfer; guarded by m_mutex
  std::shared_ptr<net::ConnectionShare> m_connections;  // of the current run; runner thread only
};

}  // namespace tarnwick::transfer
