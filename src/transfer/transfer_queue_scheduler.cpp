// The scheduler of a queue: the dispatcher thread that starts rows into free
// slots, the job of each running row, the gate for an unreachable service,
// and the one way of stopping.
#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "net/text.h"

#include "net/connection_share.h"
#include "transfer/transfer.h"
#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {

TransferQueue::Job*& TransferQueue::currentJob() {
  thread_local Job* job = nullptr;
  return job;
}

bool TransferQueue::stopRequested() const {
  const Job* job = currentJob();
  return job ? job->cancel.load() : m_stop.load();
}

const std::atomic<bool>* TransferQueue::stopFlag() const {
  const Job* job = currentJob();
  return job ? &job->cancel : &m_stop;
}

bool TransferQueue::pause(int ms) {
  std::unique_lock lock(m_mutex);
  return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested(); });
}

void TransferQueue::start() {
  std::thread previous;
  {
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    previous = std::move(m_thread);  // the dispatcher of the last run has ended (idle)
  }
  if (previous.joinable()) {
    if (previous.get_id() == std::this_thread::get_id())
      previous.detach();
    else
      previous.join();
  }
  {
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    m_runOnly.clear();
    m_runCounts = {};
    for (QueueRow& r : m_rows)
      if ((r.state == RowState::Failed || r.state == RowState::Waiting) && takes(r)) queueAgain(r);
    m_stop = false;
    m_waiting = false;
    m_gateClosed = m_gaveUp = m_probing = false;
    m_gateTries = 0;
    m_running = true;
    saveLocked();
    m_thread = std::thread(&TransferQueue::dispatcher, this);
  }
  announce(QueueEventKind::Changed);
}

void TransferQueue::startRows(const std::vector<std::uint64_t>& asked) {
  std::thread previous;
  bool idle = false;
  {
    std::lock_guard lock(m_mutex);
    // The rows asked for, the rows of the trees they head, and the rows
    // that wait inside their folders.
    std::set<std::uint64_t> ids(asked.begin(), asked.end());
    for (bool grew = true; grew;) {
      grew = false;
      for (const QueueRow& r : m_rows)
        if (!ids.count(r.id) && ((r.after && ids.count(r.after)) || (r.tree && ids.count(r.tree))))
          grew = ids.insert(r.id).second || grew;
    }
    for (QueueRow& r : m_rows)
      if (ids.count(r.id) && (r.state == RowState::Held || r.state == RowState::Failed) && takes(r)) {
        queueAgain(r);
        saveRowLocked(r.id);
      }
    idle = !m_running;
    if (idle) {
      previous = std::move(m_thread);
      m_runOnly = ids;
      m_runCounts = {};
      m_stop = false;
      m_waiting = false;
      m_gateClosed = m_gaveUp = m_probing = false;
      m_gateTries = 0;
      m_running = true;
    } else if (!m_runOnly.empty()) {
      m_runOnly.insert(ids.begin(), ids.end());
    }
  }
  if (previous.joinable()) {
    if (previous.get_id() == std::this_thread::get_id())
      previous.detach();
    else
      previous.join();
  }
  if (idle) {
    std::lock_guard lock(m_mutex);
    m_thread = std::thread(&TransferQueue::dispatcher, this);
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
}

bool TransferQueue::inRunLocked(const QueueRow& r) const {
  if (!takes(r)) return false;
  return m_runOnly.empty() || m_runOnly.count(r.id) || (r.tree && m_runOnly.count(r.tree));
}

void TransferQueue::settleDependentsLocked(const QueueRow& row, bool done, const std::string& reason) {
  if (done) {
    if (row.kind != RowKind::MakeFolder) return;
    for (QueueRow& r : m_rows)
      if (r.after == row.id) {
        r.after = 0;
        r.folderId = static_cast<std::int32_t>(row.remoteId);
        saveRowLocked(r.id);
      }
    return;
  }
  // Failed: every row inside fails with it, and stays (a retry of the
  // folder row brings them back).
  std::set<std::uint64_t> failed{row.id};
  const std::string why = net::fromUtf8("所在文件夹未能创建：") + reason;
  for (bool grew = true; grew;) {
    grew = false;
    for (QueueRow& r : m_rows)
      if (r.after && failed.count(r.after) && !failed.count(r.id)) {
        failed.insert(r.id);
        grew = true;
        if (r.state == RowState::Queued || r.state == RowState::Waiting) {
          r.state = RowState::Failed;
          r.reason = why;
          saveRowLocked(r.id);
        }
      }
  }
}

void TransferQueue::stop() {
  std::vector<std::shared_ptr<Transfer>> close;
  std::thread thread;
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    for (auto& [id, job] : m_jobs) {
      job->cancel = true;
      if (job->transfer) close.push_back(job->transfer);
    }
    thread = std::move(m_thread);
  }
  m_cv.notify_all();
  for (auto& t : close) t->close();
  if (thread.joinable()) {
    // Stopped from its own listener (on the dispatcher or a job): the
    // dispatcher ends after this call, once that job has returned.
    if (thread.get_id() == std::this_thread::get_id() || currentJob())
      thread.detach();
    else
      thread.join();
  }
  {
    std::lock_guard lock(m_mutex);
    saveLocked();
  }
  flushSave();
}

void TransferQueue::closeGateLocked(Clock::time_point now) {
  const auto& delays = m_options.reconnectDelaysMs;
  int delay = -1;
  if (m_gateTries < delays.size())
    delay = delays[m_gateTries];
  else if (m_options.repeatLast && !delays.empty())
    delay = delays.back();
  ++m_gateTries;
  m_gateClosed = true;
  m_waiting = true;
  if (delay >= 0) {
    m_probeAt = now + std::chrono::milliseconds(delay);
    return;
  }
  // No more tries in this run: every row it would start waits for the next start().
  m_gaveUp = true;
  for (QueueRow& r : m_rows)
    if (r.state == RowState::Queued && inRunLocked(r)) r.state = RowState::Waiting;
  saveLocked();
}

void TransferQueue::openGateLocked() {
  if (!m_gateClosed) return;
  m_gateClosed = m_gaveUp = false;
  m_gateTries = 0;
  m_waiting = false;
  bool changed = false;
  for (QueueRow& r : m_rows)
    if (r.state == RowState::Waiting) {
      r.state = RowState::Queued;
      changed = true;
    }
  if (changed) saveLocked();
}

void TransferQueue::applyHoldAfterLocked(const QueueRow& row, std::vector<std::shared_ptr<Transfer>>& close) {
  auto job = m_jobs.find(row.id);
  if (job == m_jobs.end() || !job->second->holdAfter || row.pending != Pending::None) return;
  job->second->hold = true;
  job->second->cancel = true;
  if (job->second->transfer) close.push_back(job->second->transfer);
  m_cv.notify_all();
}

void TransferQueue::startJobLocked(std::size_t index, bool probe) {
  QueueRow& r = m_rows[index];
  r.state = RowState::Running;
  r.reason.clear();
  auto job = std::make_shared<Job>();
  job->rowId = r.id;
  job->row = r;
  job->probe = probe;
  m_probing = m_probing || probe;
  Slot* slot = nullptr;
  for (auto& s : m_slots)
    if (!s->job && !s->quit) slot = s.get();
  if (!slot) {  // each slot keeps its FTP session for the run: N slots log in at most N times
    m_slots.push_back(std::make_unique<Slot>());
    slot = m_slots.back().get();
    slot->session = std::make_shared<net::ConnectionShare>();
    slot->thread = std::thread(&TransferQueue::slotMain, this, slot);
  }
  job->session = slot->session;
  slot->job = job;
  m_jobs[r.id] = job;
  saveRowLocked(r.id);
}

void TransferQueue::slotMain(Slot* slot) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_cv.wait(lock, [&] { return slot->job || slot->quit; });
    if (!slot->job) return;
    std::shared_ptr<Job> job = slot->job;
    lock.unlock();
    runJob(slot, std::move(job));
    lock.lock();
  }
}

bool TransferQueue::startRowsLocked(Clock::time_point now, Clock::time_point& wake) {
  // The keys in use: of running rows, and of rows that keep theirs while not running.
  std::map<std::string, std::uint64_t> keys;
  for (const QueueRow& r : m_rows)
    if (r.state == RowState::Running || keepsKey(r)) {
      const std::string key = exclusiveKey(r);
      if (!key.empty()) keys.emplace(key, r.id);
    }
  // Free, taken by a running row (free once it ends), or kept by a row that
  // is not running (not in this run, unless that row starts and resolves it).
  enum class Key { Free, Running, Kept };
  const auto keyOf = [&](const QueueRow& r) {
    const std::string key = exclusiveKey(r);
    if (key.empty()) return Key::Free;
    auto it = keys.find(key);
    if (it == keys.end() || it->second == r.id) return Key::Free;
    return m_jobs.count(it->second) ? Key::Running : Key::Kept;
  };
  const auto take = [&](std::size_t i, bool probe) {
    const std::string key = exclusiveKey(m_rows[i]);
    if (!key.empty()) keys[key] = m_rows[i].id;
    startJobLocked(i, probe);
  };

  bool more = false;  // a row is left that this run may still start
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    const QueueRow& r = m_rows[i];
    // A row inside a folder that is not made yet waits for its folder row,
    // which wakes it when it ends.
    if (r.after || !inRunLocked(r) || m_jobs.count(r.id)) continue;
    const bool queued = r.state == RowState::Queued;
    if (!m_gateClosed) {
      if (!queued) continue;
      const Key key = keyOf(r);
      if (key == Key::Kept) continue;
      more = true;
      if (static_cast<int>(m_jobs.size()) < m_maxActive && key == Key::Free) take(i, false);
      continue;
    }
    // The gate is closed: one row at a time goes as its probe, when its time has come.
    if (m_gaveUp || (!queued && r.state != RowState::Waiting)) continue;
    const Key key = keyOf(r);
    if (key == Key::Kept) continue;
    more = true;
    if (m_probing) continue;
    if (now < m_probeAt) {
      wake = std::min(wake, m_probeAt);
      continue;
    }
    if (static_cast<int>(m_jobs.size()) < m_maxActive && key == Key::Free) take(i, true);
  }
  return more;
}

void TransferQueue::dispatcher() {
  runBegins();
  std::unique_lock lock(m_mutex);
  for (;;) {
    auto wake = Clock::time_point::max();
    const bool more = !m_stop && startRowsLocked(Clock::now(), wake);
    m_cv.notify_all();  // the slots given a job
    if (m_jobs.empty() && !more) break;
    if (wake == Clock::time_point::max())
      m_cv.wait(lock);
    else
      m_cv.wait_until(lock, wake);
  }
  for (auto& slot : m_slots) slot->quit = true;
  std::vector<std::unique_ptr<Slot>> slots;
  slots.swap(m_slots);
  lock.unlock();
  m_cv.notify_all();
  for (auto& slot : slots) slot->thread.join();
  slots.clear();  // the kept sessions say QUIT
  lock.lock();
  m_running = false;
  m_waiting = false;
  m_gateClosed = m_probing = false;
  saveLocked();
  lock.unlock();
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
  announce(QueueEventKind::Idle);
}

void TransferQueue::runJob(Slot* slot, std::shared_ptr<Job> job) {
  currentJob() = job.get();
  QueueRow row = job->row;
  announce(QueueEventKind::RowStarted, row.id);
  announce(QueueEventKind::Changed);

  StepResult result;
  for (;;) {
    result = runRow(row);
    if (result.step != Step::Broken) break;
    // The service answered, then the transfer broke: soon again in this
    // slot, a few times, then the row fails.
    row.brokenOff = false;
    int limit = 0, delay = 0;
    {
      std::lock_guard lock(m_mutex);
      limit = m_options.brokenLimit;
      delay = m_options.brokenDelayMs;
    }
    if (++row.brokenTries >= limit) {
      result.step = Step::Failed;
      row.brokenOff = true;
      break;
    }
    row.reason = result.reason;
    updateRow(row);
    announce(QueueEventKind::Unreachable, row.id, result.reason);
    if (!pause(delay)) {
      result = {Step::Stopped, {}};
      break;
    }
  }
  bool held = false;
  {
    std::lock_guard lock(m_mutex);
    held = job->hold || job->holdAfter;
  }
  if (result.step == Step::Stopped) {
    if (held)
      heldRow(row);
    else
      stoppedRow(row);
  }
  if (result.step == Step::Done) {
    // Told before the row leaves the store: a run killed in between finds
    // the row again (and its file done), never a file it did not report.
    row.state = RowState::Done;
    row.reason.clear();
    rowEnded(row);
  }

  QueueEventKind event = QueueEventKind::Changed;
  {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const QueueRow& r) { return r.id == row.id; });
    if (result.step != Step::Broken && result.step != Step::Failed) row.brokenOff = false;
    if (result.step == Step::Done) {
      m_finished.insert(m_finished.begin(), row);
      const auto limit = static_cast<std::size_t>(std::max(1, m_options.finishedLimit));
      if (m_finished.size() > limit) m_finished.resize(limit);
      countEndedLocked(row);
      settleDependentsLocked(row, true, {});
      if (it != m_rows.end()) {
        // A walk's rows take its place, in the commit that ends it.
        std::vector<QueueRow> spawn = std::move(job->spawn);
        for (QueueRow& r : spawn) admitLocked(r);
        if (!spawn.empty()) m_orderChanged = true;
        it = m_rows.erase(it);
        m_rows.insert(it, std::make_move_iterator(spawn.begin()), std::make_move_iterator(spawn.end()));
      }
      event = QueueEventKind::RowDone;
      openGateLocked();  // the service answered
    } else {
      if (result.step == Step::Unreachable) {
        row.state = RowState::Waiting;
        row.reason = result.reason;
        event = QueueEventKind::Unreachable;
        // The first slot that meets it closes the gate; a failed probe takes the next delay.
        if (!m_gateClosed || job->probe) closeGateLocked(Clock::now());
      } else if (result.step == Step::Failed) {
        row.state = RowState::Failed;
        row.reason = result.reason;
        row.localFault = result.local;
        event = QueueEventKind::RowFailed;
        countEndedLocked(row);
        settleDependentsLocked(row, false, result.reason);
        if (!result.local) openGateLocked();  // refused by the service: it was reached
      } else {  // Stopped
        row.state = RowState::Queued;
        row.reason.clear();
      }
      if (held) {  // asked for while it ran: whatever the end, it stays put
        row.state = RowState::Held;
        event = QueueEventKind::RowHeld;
      }
      if (it != m_rows.end()) *it = row;
    }
    if (job->probe) {
      m_probing = false;
      if (m_gateClosed && result.step != Step::Unreachable) openGateLocked();
    }
    // The slot is free from now: the dispatcher may give it the next row,
    // which it takes once this one has been told.
    m_jobs.erase(row.id);
    slot->job.reset();
    saveRowLocked(row.id);
  }
  if (row.state == RowState::Failed) rowEnded(row);
  if (event != QueueEventKind::Changed) announce(event, row.id, result.reason);
  announce(QueueEventKind::Changed);
  currentJob() = nullptr;
  m_cv.notify_all();
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
  Job* job = currentJob();
  params.handlerExecutor = nullptr;  // the handler only hands the report over
  if (job) params.connections = job->session;
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
    if (stopRequested()) return closed;
    if (job) job->transfer = transfer;
  }
  if (!transfer->start(params)) {
    std::lock_guard lock(m_mutex);
    if (job) job->transfer.reset();
    closed.outcome = Outcome::BadParameters;
    closed.error = "the transfer did not start";
    return closed;
  }
  if (stopRequested()) transfer->close();  // stop() or hold() came between the check and the start
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
    if (job) job->transfer.reset();
  }
  return report;  // the object is destroyed here, its thread joined (past its handler)
}

}  // namespace tarnwick::transfer

namespace tarnwick::transfer {

void TransferQueue::replaceWhenDone(std::vector<QueueRow> rows) {
  Job* job = currentJob();
  if (!job) return;
  std::lock_guard lock(m_mutex);
  job->spawn = std::move(rows);
}

}  // namespace tarnwick::transfer
