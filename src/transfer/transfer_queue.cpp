#include "transfer/transfer_queue.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "net/connection_share.h"
#include "transfer/transfer.h"

namespace tarnwick::transfer {

namespace {

std::uint64_t newRowId() {
  static std::mutex m;
  static std::mt19937_64 gen{std::random_device{}()};
  std::lock_guard lock(m);
  std::uint64_t id = 0;
  while (id == 0) id = gen() >> 1;  // positive as a signed 64-bit number too
  return id;
}

}  // namespace

TransferQueue::TransferQueue() = default;

TransferQueue::~TransferQueue() {
  // The derived queue has stopped the runner in its own destructor (runRow
  // is gone by now); this only joins what is left.
  if (m_thread.joinable()) {
    if (m_thread.get_id() == std::this_thread::get_id())
      m_thread.detach();
    else
      m_thread.join();
  }
  {
    std::lock_guard lock(m_mutex);
    m_quitSaver = true;
  }
  m_saveCv.notify_all();
  if (m_saver.joinable()) m_saver.join();
  flushSave();
}

void TransferQueue::setListener(QueueListener listener) {
  std::lock_guard lock(m_listenerMutex);
  m_listener = std::move(listener);
}

void TransferQueue::setOptions(QueueOptions options) {
  std::lock_guard lock(m_mutex);
  m_options = std::move(options);
}

void TransferQueue::announce(QueueEventKind kind, std::uint64_t rowId, const std::string& text) {
  QueueListener listener;
  {
    std::lock_guard lock(m_listenerMutex);
    listener = m_listener;
  }
  if (listener) listener(QueueEvent{kind, rowId, text});
}

void TransferQueue::switchAccount(const std::string& account, std::shared_ptr<QueueStore> store, std::string kind) {
  stop();  // the rows of the member who leaves are written now
  if (account.empty()) store.reset();
  StoredRows loaded;
  if (store) loaded = store->load(kind, account);
  std::map<std::uint64_t, std::string> stored;
  for (QueueRow& r : loaded.rows) {
    // A failed row stays failed with its reason; the others wait for a start.
    if (r.state != RowState::Failed) r.state = RowState::Paused;
    r.account = account;
    loadedRow(r);
    // What loading changes is made again at every load: not written back.
    stored[r.id] = encodeRow(r);
  }
  {
    std::lock_guard write(m_writeMutex);
    std::lock_guard lock(m_mutex);
    m_account = account;
    m_store = std::move(store);
    m_kind = std::move(kind);
    m_rejected = std::move(loaded.rejected);
    m_rows = std::move(loaded.rows);
    m_stored = std::move(stored);
    m_finished.clear();
    m_saveDone = m_saveWanted;  // what was loaded is what the store holds
    m_saveOk = true;
    m_saveError.clear();
  }
  announce(QueueEventKind::Changed);
}

std::string TransferQueue::account() const {
  std::lock_guard lock(m_mutex);
  return m_account;
}

std::vector<QueueRow> TransferQueue::rows() const {
  std::lock_guard lock(m_mutex);
  return m_rows;
}

std::vector<QueueRow> TransferQueue::finished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

std::optional<QueueRow> TransferQueue::row(std::uint64_t id) const {
  std::lock_guard lock(m_mutex);
  for (const auto* list : {&m_rows, &m_finished})
    for (const QueueRow& r : *list)
      if (r.id == id) return r;
  return std::nullopt;
}

void TransferQueue::clearFinished() {
  {
    std::lock_guard lock(m_mutex);
    m_finished.clear();
  }
  announce(QueueEventKind::Changed);
}

std::uint64_t TransferQueue::addRow(QueueRow row) {
  {
    std::lock_guard lock(m_mutex);
    row.id = newRowId();
    row.account = m_account;
    row.state = RowState::Queued;
    m_rows.push_back(row);
    saveLocked();
  }
  announce(QueueEventKind::Changed);
  return row.id;
}

bool TransferQueue::remove(const std::vector<std::uint64_t>& ids) {
  bool refused = false;
  std::vector<QueueRow> gone;
  {
    std::lock_guard lock(m_mutex);
    for (std::uint64_t id : ids) {
      if (id == m_runningRow && m_runningRow != 0) {
        refused = true;
        continue;
      }
      auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
      if (it == m_rows.end()) continue;
      gone.push_back(*it);
      m_rows.erase(it);
    }
    if (!gone.empty()) saveLocked();
  }
  for (const QueueRow& r : gone) forgetRow(r);
  if (!gone.empty()) announce(QueueEventKind::Changed);
  return !refused;
}

void TransferQueue::start() {
  {
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    if (m_thread.joinable()) {  // the previous runner has ended (idle)
      if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
      else
        m_thread.join();
    }
    for (QueueRow& r : m_rows)
      if ((r.state == RowState::Failed || r.state == RowState::Paused) && takes(r)) {
        r.state = RowState::Queued;
        r.reason.clear();
        r.brokenTries = 0;
        r.localFault = false;
      }
    m_stop = false;
    m_waiting = false;
    m_running = true;
    saveLocked();
    m_thread = std::thread(&TransferQueue::runner, this);
  }
  announce(QueueEventKind::Changed);
}

void TransferQueue::stop() {
  std::shared_ptr<Transfer> transfer;
  std::thread thread;
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    transfer = m_transfer;
    thread = std::move(m_thread);
  }
  m_cv.notify_all();
  if (transfer) transfer->close();
  if (thread.joinable()) {
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();  // stopped from its own listener: it ends after this call
    else
      thread.join();
  }
  {
    std::lock_guard lock(m_mutex);
    saveLocked();
  }
  flushSave();
}

bool TransferQueue::running() const { return m_running.load(); }
bool TransferQueue::waiting() const { return m_waiting.load(); }

bool TransferQueue::waitIdle(int timeoutMs) {
  {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_running.load(); })) return false;
  }
  flushSave();  // idle means the store says so too
  return true;
}

QueueProgress TransferQueue::progress() {
  std::shared_ptr<Transfer> t;
  QueueProgress p;
  {
    std::lock_guard lock(m_mutex);
    t = m_transfer;
    p.rowId = m_runningRow;
  }
  if (!t) return p;
  p.done = t->bytesTransferred();
  p.total = t->totalSize();
  p.sinceLast = t->bytesSinceLastQuery();
  return p;
}

bool TransferQueue::pause(int ms) {
  std::unique_lock lock(m_mutex);
  return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void TransferQueue::updateRow(const QueueRow& row) {
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (r.id == row.id) {
        const RowState state = r.state;
        r = row;
        r.state = state;
      }
    saveLocked();
  }
  announce(QueueEventKind::Changed);
}

TransferReport TransferQueue::runTransfer(std::shared_ptr<Transfer> transfer, TransferParams params,
                                          std::function<bool()> onNameConflict, std::function<void()> onTick,
                                          int tickMs) {
  struct Wait {
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    TransferReport report;
  };
  auto wait = std::make_shared<Wait>();
  params.handlerExecutor = nullptr;  // the handler only hands the report over
  params.connections = m_connections;
  params.onFinished = [wait, onNameConflict](int code, const TransferReport& r) {
    if (code == kEventNameConflict) return onNameConflict ? onNameConflict() : true;
    if (code == kEventThreadEnded) {
      std::lock_guard lock(wait->m);
      wait->report = r;
      wait->ended = true;
      wait->cv.notify_all();
    }
    return true;
  };
  TransferReport closed;
  closed.outcome = Outcome::Closed;
  closed.localFile = params.localFile;
  closed.remoteUrl = params.remoteUrl;
  {
    std::lock_guard lock(m_mutex);
    if (m_stop) return closed;
    m_transfer = transfer;
  }
  if (!transfer->start(params)) {
    std::lock_guard lock(m_mutex);
    m_transfer.reset();
    closed.outcome = Outcome::BadParameters;
    closed.error = "the transfer did not start";
    return closed;
  }
  if (m_stop) transfer->close();  // stop() came between the check and the start
  TransferReport report;
  {
    std::unique_lock lock(wait->m);
    while (!wait->cv.wait_for(lock, std::chrono::milliseconds(std::max(50, tickMs)), [&] { return wait->ended; }))
      if (onTick) {
        lock.unlock();
        onTick();
        lock.lock();
      }
    report = wait->report;
  }
  {
    std::lock_guard lock(m_mutex);
    m_transfer.reset();
  }
  return report;  // the object is destroyed here, its thread joined (past its handler)
}

std::optional<std::size_t> TransferQueue::nextQueuedLocked() const {
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    if (m_rows[i].state == RowState::Queued && takes(m_rows[i])) return i;
  return std::nullopt;
}

void TransferQueue::runner() {
  std::size_t unreachableTries = 0;
  // The FTP session of one file is taken up by the next; it ends with the run.
  m_connections = std::make_shared<net::ConnectionShare>();
  runBegins();
  for (;;) {
    QueueRow row;
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) break;
      auto i = nextQueuedLocked();
      if (!i) break;
      m_rows[*i].state = RowState::Running;
      m_rows[*i].reason.clear();
      m_runningRow = m_rows[*i].id;
      row = m_rows[*i];
      saveLocked();
    }
    announce(QueueEventKind::RowStarted, row.id);
    announce(QueueEventKind::Changed);

    StepResult result = runRow(row);
    if (result.step == Step::Stopped) stoppedRow(row);
    if (result.step == Step::Done) {
      // Told before the row leaves the store: a run killed in between finds
      // the row again (and its file done), never a file it did not report.
      row.state = RowState::Done;
      row.reason.clear();
      rowEnded(row);
    }

    QueueEventKind event = QueueEventKind::Changed;
    int delay = -1;  // >= 0: wait, then try the row again
    {
      std::lock_guard lock(m_mutex);
      auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const QueueRow& r) { return r.id == row.id; });
      row.brokenOff = false;
      if (result.step == Step::Broken && ++row.brokenTries >= m_options.brokenLimit) {
        result.step = Step::Failed;
        row.brokenOff = true;
      }
      switch (result.step) {
        case Step::Done:
          row.state = RowState::Done;
          row.reason.clear();
          m_finished.insert(m_finished.begin(), row);
          if (m_finished.size() > static_cast<std::size_t>(std::max(1, m_options.finishedLimit)))
            m_finished.resize(static_cast<std::size_t>(std::max(1, m_options.finishedLimit)));
          if (it != m_rows.end()) m_rows.erase(it);
          event = QueueEventKind::RowDone;
          unreachableTries = 0;
          break;
        case Step::Failed:
          row.state = RowState::Failed;
          row.reason = result.reason;
          row.localFault = result.local;
          event = QueueEventKind::RowFailed;
          unreachableTries = 0;
          break;
        case Step::Stopped:
          row.state = RowState::Queued;
          row.reason.clear();
          break;
        case Step::Broken:  // the service answered, then the transfer broke: soon again, a few times
          row.state = RowState::Queued;
          row.reason = result.reason;
          event = QueueEventKind::Unreachable;
          delay = m_options.brokenDelayMs;
          break;
        case Step::Unreachable: {
          row.state = RowState::Queued;
          row.reason = result.reason;
          event = QueueEventKind::Unreachable;
          const auto& delays = m_options.reconnectDelaysMs;
          if (unreachableTries < delays.size())
            delay = delays[unreachableTries];
          else if (m_options.repeatLast && !delays.empty())
            delay = delays.back();
          ++unreachableTries;
          if (delay < 0) {  // no more tries: every waiting row pauses
            for (QueueRow& r : m_rows)
              if (r.state == RowState::Queued && takes(r)) r.state = RowState::Paused;
            row.state = RowState::Paused;
          }
          break;
        }
      }
      if (result.step != Step::Done && it != m_rows.end()) *it = row;
      m_runningRow = 0;
      if (delay >= 0) m_waiting = true;
      saveLocked();
    }
    if (row.state == RowState::Failed) rowEnded(row);
    if (event != QueueEventKind::Changed) announce(event, row.id, result.reason);
    announce(QueueEventKind::Changed);
    if (delay >= 0) {
      const bool go = pause(delay);
      m_waiting = false;
      if (!go) break;
    }
  }
  m_connections.reset();  // the kept session says QUIT
  {
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_waiting = false;
    m_runningRow = 0;
    saveLocked();
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
  announce(QueueEventKind::Idle);
}

}  // namespace tarnwick::transfer
