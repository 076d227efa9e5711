#pragma once
// What the upload and the download queue share: an ordered list of rows, a
// scheduler that runs up to maxActive() of them at once, the finished list,
// the saved rows, the gate for an unreachable service, and the one way of
// stopping.
//
//   idle --start()--> dispatcher: takes Queued rows in list order into free
//                     slots; each slot is a job with its own thread, its own
//                     transfer, its own cancel flag and its own counters
//
//     Queued --slot free, key free, gate open--> Running --Done--> finished
//       ^  ^                                      | | | |
//       |  +------ stop() ------------------------+ | | +--Failed (reason)
//       |                                           | |      retry(), start()
//       |   Held <-- hold() (a running row: its ----+ |      make it Queued
//       |    |       transfer is closed first)        |
//       +----+ resume()                               | unreachable
//       +-------- gate reopens ---- Waiting <---------+
//
//   The gate: the first slot that cannot reach the service closes it. While
//   it is closed no row starts; slots that still move bytes go on, and those
//   that fail too become Waiting. After reconnectDelaysMs (shared by the
//   whole queue) one row goes as the probe: any answer of the service opens
//   the gate for every Waiting row; another failure takes the next delay.
//   Once the delays are used up (repeatLast unset) the run ends, the rows
//   stay Waiting until the next start().
//
//   Exclusive keys (exclusiveKey()): two rows with the same key never run at
//   once, because they would write the same file. A row that is not running
//   keeps its key while keepsKey() says so (an upload whose registration is
//   pending: the service finds the temporary file by its name alone).
//
//   Trees (a folder moved whole, see folder_trees.h): a row whose `after`
//   names another row waits, without polling, until that row is Done; a
//   folder row that is Done gives the rows inside it its folder id, one
//   that fails fails them with its reason (they stay, and come back with a
//   retry of it); removing it removes them. A walk's rows take its place
//   in the commit that ends it (replaceWhenDone). trees() counts each tree.
//
//   stop(): every running transfer is closed, the running rows go back to
//   Queued, the saved rows are written, the threads are joined. Nothing
//   starts until the next start().
//
// Every method may be called from any thread. The listener is called on the
// job threads (or on the caller's, for changes the caller makes), never
// with a lock held; a GUI hands it on to its own thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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
  RowHeld,      // rowId is held (by hold())
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

// Counters of a running row's transfer, for a progress display.
struct QueueProgress {
  std::uint64_t rowId = 0;      // 0: nothing is moving
  std::int64_t done = 0;        // bytes of the file in place
  std::int64_t total = -1;      // complete size, -1 unknown
  std::int64_t sinceLast = 0;   // bytes since the same reader's previous call
};
// What one reader of progressAll() saw last of each row: each display keeps
// its own, so two displays of the same queue never take each other's bytes.
struct ProgressReader {
  std::map<std::uint64_t, std::int64_t> lastDone;
};

// One tree (a folder uploaded or downloaded whole) as a whole: its file rows
// counted over the run, the finished ones too (the finished list keeps only
// the newest rows; these counts keep every row since the tree was queued,
// the rows done before a restart too: the store keeps them).
struct TreeSummary {
  std::uint64_t tree = 0;   // the tree's id (QueueRow::tree)
  std::string name;         // its top folder (GBK)
  int files = 0;            // file rows of the tree known so far
  int filesDone = 0;
  int filesFailed = 0;      // failed now
  int filesRunning = 0;
  std::int64_t bytes = 0;   // sizes of its file rows where known
  std::int64_t bytesDone = 0;
  bool expanding = false;   // a folder of it is still being read or made
};

struct QueueOptions {
  // Waits of the gate before a probe after the service could not be
  // reached; the last one repeats when repeatLast is set, otherwise the run
  // ends once they are used up (the rows stay Waiting).
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
  // then loads the new member's saved rows as they were saved (a row saved
  // Running comes back Queued). Nothing starts until start().
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
  // Every tree with rows in the queue or finished in this process, in the
  // order of its first row.
  std::vector<TreeSummary> trees() const;
  // Rows that ended Done and Failed since the last start() (every row, not
  // only those the finished list keeps).
  struct RunCounts {
    int done = 0, failed = 0;
  };
  RunCounts runCounts() const;

  // Removes rows; a running row is refused (false when one was among ids):
  // hold it first.
  bool remove(const std::vector<std::uint64_t>& ids);
  // Queued, Waiting and Failed rows become Held; a running row's transfer is
  // closed (a download keeps its partial at its checkpoint), then it is Held.
  // During a request whose reply decides whether the service made a file
  // (registration, instant upload) the hold takes effect after the reply.
  void hold(const std::vector<std::uint64_t>& ids);
  // Held rows become Queued (started at once while the scheduler runs).
  void resume(const std::vector<std::uint64_t>& ids);
  // Failed rows become Queued.
  void retry(const std::vector<std::uint64_t>& ids);
  // Moves the row to index position of rows() (clamped).
  void move(std::uint64_t id, std::size_t position);
  // A fresh row id (unique, positive as a signed 64-bit number too): rows
  // queued together name each other by it (after, tree) before they are added.
  static std::uint64_t newRowId();
  // Rows run at once, 1..10 (clamped); applies at once: a lower cap lets the
  // running rows finish and starts none until under it.
  void setMaxActive(int n);
  int maxActive() const;

  // Starts the scheduler on the rows this queue takes: their Failed and
  // Waiting rows are queued again (Held rows stay held). Rows added while
  // running are taken in turn. No-op while running.
  void start();
  // Queues the given Held and Failed rows (and the rows of trees they
  // head) and runs them: while idle the run takes only those (and rows
  // they bring, such as a tree's files); while running they are taken in turn.
  void startRows(const std::vector<std::uint64_t>& ids);
  // The one way of stopping (quit, logout, forced logout): see above. Bounded
  // by the transfers' close wait; nothing of the queue is lost.
  void stop();
  bool running() const;
  // Blocks until the scheduler is idle and the rows written (true) or the
  // time passed (false); saveOk() tells whether the writing succeeded.
  bool waitIdle(int timeoutMs);
  // The gate is closed: the service could not be reached.
  bool waiting() const;

  // One entry per running row, in queue order; sinceLast counts from the
  // reader's previous call (the queue's own reader without one).
  std::vector<QueueProgress> progressAll(ProgressReader* reader = nullptr);
  // The sum over the running rows; rowId is the first running row's (0: none).
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
  // row's job thread, possibly beside other rows of this queue: it touches
  // only the row, the context snapshot and members under their own locks.
  // Blocking is allowed; stopRequested() must be honoured.
  virtual StepResult runRow(QueueRow& row) = 0;
  // A row leaves the queue (removed by the user): its files go with it.
  virtual void forgetRow(const QueueRow&) {}
  // The stopped row's leftovers (a download's partial file).
  virtual void stoppedRow(QueueRow&) {}
  // A running row was held: what it keeps for its resume (a download's
  // partial, checkpointed as it is).
  virtual void heldRow(QueueRow&) {}
  // Rows loaded from the store, before they are shown.
  virtual void loadedRow(QueueRow&) {}
  // Whether this queue works the row at all (a front end that runs only some
  // of the member's rows leaves the others exactly as they are).
  virtual bool takes(const QueueRow&) const { return true; }
  // Rows with the same non-empty key never run at once; a row that is not
  // running keeps its key from others while keepsKey() is true.
  virtual std::string exclusiveKey(const QueueRow&) const { return {}; }
  virtual bool keepsKey(const QueueRow&) const { return false; }
  // A run begins (start() until idle is one run).
  virtual void runBegins() {}
  // A row of the run ended Done or Failed (its final state), on its job
  // thread (several may call at once); a Done row before it leaves the saved rows.
  virtual void rowEnded(const QueueRow&) {}

  std::uint64_t addRow(QueueRow row);  // assigns id, account; appends
  // Appends rows at once (one commit): a row keeps an id given by newRowId()
  // (rows of a batch name each other in after and tree), otherwise gets one.
  void addRows(std::vector<QueueRow> rows);
  // The calling job's row, when it ends Done, is replaced by these rows in
  // its place (given ids kept, the rest assigned), in the same commit as its
  // end: a walk of a folder that is killed half-way leaves its row, never
  // half of its rows.
  void replaceWhenDone(std::vector<QueueRow> rows);
  void announce(QueueEventKind kind, std::uint64_t rowId = 0, const std::string& text = {});
  // The calling job's cancel flag (set by stop() or a hold of its row).
  bool stopRequested() const;
  const std::atomic<bool>* stopFlag() const;
  // Runs a transfer (a fresh FtpUpload or HttpDownload) to its end on the
  // job's thread: the counters of progress() read it meanwhile, stop() and
  // hold() close it. The job's FTP session (one per slot for the run) is
  // handed to it. onNameConflict answers the download's "target exists"
  // question (true gives up). onTick runs on the job's thread about every
  // tickMs while the transfer moves (a download's checkpoint).
  TransferReport runTransfer(std::shared_ptr<Transfer> transfer, TransferParams params,
                             std::function<bool()> onNameConflict = {}, std::function<void()> onTick = {},
                             int tickMs = 2000);
  // Sleeps up to ms; false when the job was cancelled.
  bool pause(int ms);
  void updateRow(const QueueRow& row);  // writes the row back (by id), saves
  // Writes the row back and commits it (with every other pending change)
  // before returning: false when the commit failed or the row is no longer in
  // the queue; then nothing that relies on it may be sent. True without a
  // store (memory only).
  bool updateRowNow(const QueueRow& row);

 private:
  // One running row: its transfer, cancel flag and its slot's FTP session.
  struct Job {
    std::uint64_t rowId = 0;
    QueueRow row;                    // as it started
    bool probe = false;              // the row that tries whether the gate may open
    std::atomic<bool> cancel{false};
    bool hold = false;               // held when it ends; guarded by m_mutex
    bool holdAfter = false;          // held once its pending request has a reply; guarded by m_mutex
    std::shared_ptr<Transfer> transfer;  // guarded by m_mutex
    std::shared_ptr<net::ConnectionShare> session;
    std::vector<QueueRow> spawn;     // replaceWhenDone()
  };
  // A thread of the run that works one job after another: its kept-alive
  // HTTP connection (per thread) and its FTP session serve its rows in turn.
  struct Slot {
    std::thread thread;
    std::shared_ptr<Job> job;  // given by the dispatcher; guarded by m_mutex
    bool quit = false;         // guarded by m_mutex
    std::shared_ptr<net::ConnectionShare> session;
  };
  using Clock = std::chrono::steady_clock;
  static Job*& currentJob();  // the job of the calling thread (null elsewhere)
  void dispatcher();
  void slotMain(Slot* slot);
  void runJob(Slot* slot, std::shared_ptr<Job> job);
  // Starts what may start now; false when nothing is left to start in this
  // run (wake: when a timed step is due).
  bool startRowsLocked(Clock::time_point now, Clock::time_point& wake);
  void startJobLocked(std::size_t index, bool probe);
  // A row written back by its job: a hold waiting for a reply takes effect.
  bool writeBackLocked(const QueueRow& row);
  void applyHoldAfterLocked(const QueueRow& row, std::vector<std::shared_ptr<Transfer>>& close);
  void closeGateLocked(Clock::time_point now);
  // Whether this run may start the row (takes(), and the startRows() filter).
  bool inRunLocked(const QueueRow& row) const;
  // A row that ended: rows waiting for it (after) go on into its folder, or
  // fail with it.
  void settleDependentsLocked(const QueueRow& row, bool done, const std::string& reason);
  // A row joins the queue (an id when it has none, the member, Queued unless
  // Failed, counted, saved); the caller places it.
  void admitLocked(QueueRow& row);
  // The tree counters follow a row that is added, ends or is removed.
  void countAddedLocked(const QueueRow& row);
  void countEndedLocked(const QueueRow& row);
  void openGateLocked();
  // The store follows the rows on a thread of its own (a burst of changes is
  // one transaction, and no caller waits on the disk). saveLocked marks that
  // rows changed; flushSave writes every row that differs from what the store
  // was last given (added, changed, removed) now, false when that failed.
  // With a row id only that row is compared (a change of one row never
  // reads the whole queue); without, every row.
  void saveLocked();
  void saveRowLocked(std::uint64_t id);
  bool flushSave();
  void saver();

  mutable std::mutex m_mutex;
  std::condition_variable m_cv;      // the dispatcher, pause() and waitIdle() wait on it
  std::vector<QueueRow> m_rows;
  std::vector<QueueRow> m_finished;
  std::string m_account;
  std::shared_ptr<QueueStore> m_store;  // null: memory only
  std::string m_kind;
  std::vector<std::string> m_rejected;
  QueueOptions m_options;
  QueueListener m_listener;
  std::mutex m_listenerMutex;
  int m_maxActive = 1;  // guarded by m_mutex
  std::set<std::uint64_t> m_runOnly;  // startRows(): the rows (and trees) this run takes; guarded by m_mutex
  ProgressReader m_ownReader;         // guarded by m_mutex
  std::map<std::uint64_t, TreeSummary> m_trees;  // guarded by m_mutex
  RunCounts m_runCounts;                         // guarded by m_mutex

  std::thread m_thread;  // the dispatcher
  std::map<std::uint64_t, std::shared_ptr<Job>> m_jobs;  // the running rows by id; guarded by m_mutex
  std::vector<std::unique_ptr<Slot>> m_slots;            // of the run; guarded by m_mutex
  // The gate; guarded by m_mutex.
  bool m_gateClosed = false;
  bool m_gaveUp = false;        // the delays are used up: nothing starts in this run
  bool m_probing = false;       // the probe row runs
  std::size_t m_gateTries = 0;  // probes that failed since the gate closed
  Clock::time_point m_probeAt{};

  std::thread m_saver;
  std::condition_variable m_saveCv;
  std::mutex m_writeMutex;                         // one write to the store at a time
  std::map<std::uint64_t, std::string> m_stored;   // the rows as the store has them; guarded by m_writeMutex
  std::uint64_t m_saveWanted = 0, m_saveDone = 0;  // guarded by m_mutex
  bool m_saveAll = false;                          // every row is to be compared; guarded by m_mutex
  std::set<std::uint64_t> m_dirty;                 // the rows to be compared; guarded by m_mutex
  std::set<std::uint64_t> m_dirtyTrees;            // trees whose progress is to be saved; guarded by m_mutex
  bool m_orderChanged = false;                     // the store's order is to be written; guarded by m_mutex
  bool m_quitSaver = false;                        // guarded by m_mutex
  bool m_saveOk = true;                            // guarded by m_mutex
  std::string m_saveError;                         // guarded by m_mutex
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_waiting{false};
};

}  // namespace tarnwick::transfer
