#include "transfer/transfer_queue.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <set>

#include "net/text.h"

#include "transfer/transfer.h"

namespace tarnwick::transfer {

std::uint64_t TransferQueue::newRowId() {
  static std::mutex m;
  static std::mt19937_64 gen{std::random_device{}()};
  std::lock_guard lock(m);
  std::uint64_t id = 0;
  while (id == 0) id = gen() >> 1;  // positive as a signed 64-bit number too
  return id;
}

TransferQueue::TransferQueue() = default;

TransferQueue::~TransferQueue() {
  // The derived queue has stopped the scheduler in its own destructor (runRow
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
  std::set<std::uint64_t> ids;
  for (const QueueRow& r : loaded.rows) ids.insert(r.id);
  for (QueueRow& r : loaded.rows) {
    // A row whose folder row is gone would wait for ever.
    if (r.after && !ids.count(r.after) && r.state != RowState::Failed) {
      r.state = RowState::Failed;
      r.reason = net::fromUtf8("所在文件夹的任务已不存在");
    }
    // Rows stay as they were saved; one saved running was cut by the end of
    // its run and is queued again.
    if (r.state == RowState::Running || r.state == RowState::Done) r.state = RowState::Queued;
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
    m_trees.clear();
    for (const QueueRow& r : m_rows) countAddedLocked(r);
    // What of a tree was done before: its record goes once nothing of the tree is left.
    m_dirtyTrees.clear();
    for (const TreeProgress& p : loaded.trees) {
      auto t = m_trees.find(p.tree);
      if (t == m_trees.end()) {
        m_dirtyTrees.insert(p.tree);
        continue;
      }
      t->second.files += p.filesDone;
      t->second.filesDone = p.filesDone;
      t->second.bytes += p.bytesDone;
      t->second.bytesDone = p.bytesDone;
    }
    m_runCounts = {};
    m_dirty.clear();
    m_saveAll = false;
    m_saveDone = m_saveWanted;  // what was loaded is what the store holds
    m_orderChanged = false;
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
    row.id = 0;
    row.state = RowState::Queued;
    admitLocked(row);
    m_rows.push_back(row);
  }
  m_cv.notify_all();  // a running scheduler takes it in turn
  announce(QueueEventKind::Changed);
  return row.id;
}

void TransferQueue::addRows(std::vector<QueueRow> rows) {
  if (rows.empty()) return;
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& row : rows) admitLocked(row);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
}

void TransferQueue::admitLocked(QueueRow& row) {
  if (!row.id) row.id = newRowId();
  row.account = m_account;
  if (row.state != RowState::Failed) row.state = RowState::Queued;
  countAddedLocked(row);
  saveRowLocked(row.id);
}

void TransferQueue::countAddedLocked(const QueueRow& row) {
  if (!row.tree) return;
  TreeSummary& t = m_trees[row.tree];
  t.tree = row.tree;
  if (row.id == row.tree || t.name.empty()) {
    const std::string& path = row.id == row.tree ? row.name : row.treePath;
    t.name = row.id == row.tree ? path : path.substr(0, path.find('/'));
  }
  if (row.kind != RowKind::File) return;
  ++t.files;
  if (row.size > 0) t.bytes += row.size;
}

void TransferQueue::countEndedLocked(const QueueRow& row) {
  if (row.state == RowState::Done)
    ++m_runCounts.done;
  else if (row.state == RowState::Failed)
    ++m_runCounts.failed;
  if (!row.tree || row.kind != RowKind::File || row.state != RowState::Done) return;
  auto it = m_trees.find(row.tree);
  if (it == m_trees.end()) return;
  ++it->second.filesDone;
  if (row.size > 0) it->second.bytesDone += row.size;
  if (m_store) m_dirtyTrees.insert(row.tree);  // saved with the removal of the row
}

std::vector<TreeSummary> TransferQueue::trees() const {
  std::lock_guard lock(m_mutex);
  std::vector<TreeSummary> out;
  std::map<std::uint64_t, std::size_t> at;
  const auto entry = [&](std::uint64_t tree) -> TreeSummary* {
    auto known = m_trees.find(tree);
    if (known == m_trees.end()) return nullptr;
    auto [it, fresh] = at.emplace(tree, out.size());
    if (fresh) {
      out.push_back(known->second);
      out.back().filesFailed = out.back().filesRunning = 0;
      out.back().expanding = false;
    }
    return &out[it->second];
  };
  for (const QueueRow& r : m_rows) {
    if (!r.tree) continue;
    TreeSummary* t = entry(r.tree);
    if (!t) continue;
    if (r.kind != RowKind::File) {
      t->expanding = t->expanding || r.state == RowState::Running || r.state == RowState::Queued;
      continue;
    }
    if (r.state == RowState::Failed) ++t->filesFailed;
    if (r.state == RowState::Running) ++t->filesRunning;
  }
  for (const auto& [tree, summary] : m_trees)  // finished whole
    entry(tree);
  return out;
}

TransferQueue::RunCounts TransferQueue::runCounts() const {
  std::lock_guard lock(m_mutex);
  return m_runCounts;
}

bool TransferQueue::remove(const std::vector<std::uint64_t>& asked) {
  bool refused = false;
  std::vector<QueueRow> gone;
  {
    std::lock_guard lock(m_mutex);
    // A folder row goes with every row inside it.
    std::vector<std::uint64_t> ids = asked;
    std::set<std::uint64_t> seen(ids.begin(), ids.end());
    for (bool grew = true; grew;) {
      grew = false;
      for (const QueueRow& r : m_rows)
        if (r.after && seen.count(r.after) && seen.insert(r.id).second) {
          ids.push_back(r.id);
          grew = true;
        }
    }
    for (std::uint64_t id : ids) {
      if (std::any_of(m_rows.begin(), m_rows.end(),
                      [id](const QueueRow& r) { return r.id == id && r.state == RowState::Running; })) {
        // Running: its transfer would go on writing.
        refused = true;
        continue;
      }
      auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
      if (it == m_rows.end()) continue;
      if (it->tree && it->kind == RowKind::File)
        if (auto t = m_trees.find(it->tree); t != m_trees.end()) {
          --t->second.files;
          if (it->size > 0) t->second.bytes -= it->size;
        }
      if (it->tree && m_store) m_dirtyTrees.insert(it->tree);  // its record goes with its last row
      gone.push_back(*it);
      saveRowLocked(it->id);
      m_rows.erase(it);
    }
  }
  for (const QueueRow& r : gone) forgetRow(r);
  if (!gone.empty()) announce(QueueEventKind::Changed);
  return !refused;
}

void TransferQueue::hold(const std::vector<std::uint64_t>& ids) {
  std::vector<std::uint64_t> held;
  std::vector<std::shared_ptr<Transfer>> close;
  {
    std::lock_guard lock(m_mutex);
    for (std::uint64_t id : ids) {
      auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
      if (it == m_rows.end()) continue;
      if (auto job = m_jobs.find(id); job != m_jobs.end() && it->state == RowState::Running) {
        // A request whose reply decides whether the service made a file is
        // never cut: the hold waits for the reply.
        if (it->pending != Pending::None) {
          job->second->holdAfter = true;
          continue;
        }
        job->second->hold = true;
        job->second->cancel = true;
        if (job->second->transfer) close.push_back(job->second->transfer);
        continue;
      }
      if (it->state == RowState::Queued || it->state == RowState::Waiting || it->state == RowState::Failed) {
        it->state = RowState::Held;
        held.push_back(id);
        saveRowLocked(id);
      }
    }
  }
  m_cv.notify_all();
  for (auto& t : close) t->close();
  for (std::uint64_t id : held) announce(QueueEventKind::RowHeld, id);
  if (!held.empty()) announce(QueueEventKind::Changed);
}

void TransferQueue::resume(const std::vector<std::uint64_t>& ids) {
  bool changed = false;
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (r.state == RowState::Held && std::find(ids.begin(), ids.end(), r.id) != ids.end()) {
        r.state = RowState::Queued;
        changed = true;
        saveRowLocked(r.id);
      }
  }
  m_cv.notify_all();
  if (changed) announce(QueueEventKind::Changed);
}

void TransferQueue::retry(const std::vector<std::uint64_t>& ids) {
  bool changed = false;
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (r.state == RowState::Failed && std::find(ids.begin(), ids.end(), r.id) != ids.end()) {
        queueAgain(r);
        changed = true;
        saveRowLocked(r.id);
      }
  }
  m_cv.notify_all();
  if (changed) announce(QueueEventKind::Changed);
}

void TransferQueue::move(std::uint64_t id, std::size_t position) {
  {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
    if (it == m_rows.end()) return;
    QueueRow row = std::move(*it);
    m_rows.erase(it);
    position = std::min(position, m_rows.size());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
    m_orderChanged = true;
    saveRowLocked(id);
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
}

void TransferQueue::setMaxActive(int n) {
  {
    std::lock_guard lock(m_mutex);
    m_maxActive = std::clamp(n, 1, 10);
  }
  m_cv.notify_all();
}

int TransferQueue::maxActive() const {
  std::lock_guard lock(m_mutex);
  return m_maxActive;
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

std::vector<QueueProgress> TransferQueue::progressAll(ProgressReader* reader) {
  std::vector<std::pair<std::uint64_t, std::shared_ptr<Transfer>>> running;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& [id, job] : m_jobs) running.emplace_back(id, job->transfer);
    if (running.size() > 1) {  // in queue order
      std::map<std::uint64_t, std::size_t> place;
      for (std::size_t i = 0; i < m_rows.size() && place.size() < running.size(); ++i)
        if (m_jobs.count(m_rows[i].id)) place[m_rows[i].id] = i;
      std::sort(running.begin(), running.end(),
                [&](const auto& a, const auto& b) { return place[a.first] < place[b.first]; });
    }
  }
  std::vector<QueueProgress> out;
  for (const auto& [id, t] : running) {
    QueueProgress p;
    p.rowId = id;
    if (t) {
      p.done = t->bytesTransferred();
      p.total = t->totalSize();
    }
    out.push_back(p);
  }
  // Bytes since this reader looked last; a row it has not seen yet (or a
  // transfer that began again) counts from here.
  std::lock_guard lock(m_mutex);
  ProgressReader& r = reader ? *reader : m_ownReader;
  std::map<std::uint64_t, std::int64_t> seen;
  for (QueueProgress& p : out) {
    auto last = r.lastDone.find(p.rowId);
    if (last != r.lastDone.end() && p.done >= last->second) p.sinceLast = p.done - last->second;
    seen[p.rowId] = p.done;
  }
  r.lastDone = std::move(seen);
  return out;
}

QueueProgress TransferQueue::progress() {
  QueueProgress sum;
  bool unknown = false;
  for (const QueueProgress& p : progressAll()) {
    if (!sum.rowId) {
      sum.rowId = p.rowId;
      sum.total = 0;
    }
    sum.done += p.done;
    sum.sinceLast += p.sinceLast;
    if (p.total < 0) unknown = true;
    else sum.total += p.total;
  }
  if (unknown) sum.total = -1;
  return sum;
}

// The row's fields by id, keeping the state the queue gave it.
bool TransferQueue::writeBackLocked(const QueueRow& row) {
  for (QueueRow& r : m_rows)
    if (r.id == row.id) {
      const RowState state = r.state;
      r = row;
      r.state = state;
      return true;
    }
  return false;
}

void TransferQueue::updateRow(const QueueRow& row) {
  std::vector<std::shared_ptr<Transfer>> close;
  {
    std::lock_guard lock(m_mutex);
    writeBackLocked(row);
    applyHoldAfterLocked(row, close);
    saveRowLocked(row.id);
  }
  for (auto& t : close) t->close();
  announce(QueueEventKind::Changed);
}

}  // namespace tarnwick::transfer
