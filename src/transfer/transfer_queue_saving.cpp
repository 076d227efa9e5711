// The queue's rows in its store: what changed since the last commit is found
// by comparing the rows with what the store was last given, and written in
// one transaction on the saver thread (or at once, for updateRowNow).
#include "transfer/transfer_queue.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>

#include "net/text.h"
#include "transfer/transfer.h"

namespace tarnwick::transfer {

std::vector<std::string> TransferQueue::rejectedRows() const {
  std::lock_guard lock(m_mutex);
  return m_rejected;
}

bool TransferQueue::saveOk() const {
  std::lock_guard lock(m_mutex);
  return m_saveOk;
}

std::string TransferQueue::lastSaveError() const {
  std::lock_guard lock(m_mutex);
  return m_saveError;
}

bool TransferQueue::updateRowNow(const QueueRow& row) {
  bool found = false;
  std::vector<std::shared_ptr<Transfer>> close;
  {
    std::lock_guard lock(m_mutex);
    found = writeBackLocked(row);
    applyHoldAfterLocked(row, close);
    if (m_store) m_dirty.insert(row.id);
    ++m_saveWanted;
  }
  for (auto& t : close) t->close();
  announce(QueueEventKind::Changed);
  return flushSave() && found;
}

void TransferQueue::saveLocked() {
  if (!m_store) return;
  m_saveAll = true;
  ++m_saveWanted;
  if (!m_saver.joinable() && !m_quitSaver) m_saver = std::thread(&TransferQueue::saver, this);
  m_saveCv.notify_all();
}

void TransferQueue::saveRowLocked(std::uint64_t id) {
  if (!m_store) return;
  m_dirty.insert(id);
  ++m_saveWanted;
  if (!m_saver.joinable() && !m_quitSaver) m_saver = std::thread(&TransferQueue::saver, this);
  m_saveCv.notify_all();
}

bool TransferQueue::flushSave() {
  std::unique_lock write(m_writeMutex);
  std::vector<QueueRow> rows;
  std::shared_ptr<QueueStore> store;
  std::string kind, account;
  std::uint64_t wanted = 0;
  bool order = false;
  bool partial = false;          // rows holds only the changed rows
  std::vector<std::uint64_t> gone;  // changed rows no longer in the queue
  std::vector<TreeProgress> trees;
  {
    std::lock_guard lock(m_mutex);
    if (!m_store) return true;
    if (m_saveDone == m_saveWanted && m_saveOk) return true;
    if (m_saveAll || !m_saveOk) {
      rows = m_rows;
    } else {
      // Only the rows that changed, in queue order; an id not found is a
      // row that is gone.
      std::map<std::uint64_t, std::size_t> place;
      if (m_dirty.size() > 8)
        for (std::size_t i = 0; i < m_rows.size(); ++i) place[m_rows[i].id] = i;
      std::vector<std::pair<std::size_t, std::uint64_t>> found;
      for (std::uint64_t id : m_dirty) {
        std::optional<std::size_t> at;
        if (m_dirty.size() > 8) {
          if (auto it = place.find(id); it != place.end()) at = it->second;
        } else {
          for (std::size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].id == id) at = i;
        }
        if (at)
          found.emplace_back(*at, id);
        else
          gone.push_back(id);
      }
      std::sort(found.begin(), found.end());
      for (const auto& f : found) rows.push_back(m_rows[f.first]);
      partial = true;
    }
    m_dirty.clear();
    // The trees whose progress changed: kept while rows of them are left.
    if (!m_dirtyTrees.empty()) {
      std::set<std::uint64_t> live;
      for (const QueueRow& r : m_rows)
        if (r.tree) live.insert(r.tree);
      for (std::uint64_t tree : m_dirtyTrees) {
        TreeProgress p{tree};
        auto t = m_trees.find(tree);
        p.gone = !live.count(tree) || t == m_trees.end();
        if (!p.gone) {
          p.filesDone = t->second.filesDone;
          p.bytesDone = t->second.bytesDone;
        }
        trees.push_back(p);
      }
      m_dirtyTrees.clear();
    }
    m_saveAll = false;
    order = m_orderChanged;
    m_orderChanged = false;
    store = m_store;
    kind = m_kind;
    account = m_account;
    wanted = m_saveWanted;
  }
  // What differs from the store: rows added or changed (in queue order, so a
  // new row is placed after the earlier ones) and rows that are gone.
  std::vector<QueueRow> put;
  std::vector<std::string> texts;
  std::map<std::uint64_t, bool> present;
  for (const QueueRow& r : rows) {
    if (!partial) present[r.id] = true;
    std::string text = encodeRow(r);
    auto it = m_stored.find(r.id);
    if (it != m_stored.end() && it->second == text) continue;
    put.push_back(r);
    texts.push_back(std::move(text));
  }
  std::vector<std::uint64_t> removed;
  if (partial) {
    for (std::uint64_t id : gone)
      if (m_stored.count(id)) removed.push_back(id);
  } else {
    for (const auto& [id, text] : m_stored)
      if (!present.count(id)) removed.push_back(id);
  }
  std::string error;
  bool ok = (put.empty() && removed.empty() && trees.empty()) || store->apply(kind, account, put, removed, &error, trees);
  if (ok && order) {  // rows moved: the store takes the queue's order
    std::vector<std::uint64_t> ids;
    {
      std::lock_guard lock(m_mutex);
      for (const QueueRow& r : m_rows) ids.push_back(r.id);  // ids the store lacks are passed over
    }
    ok = store->setOrder(kind, account, ids, &error);
  }
  if (ok) {
    for (std::size_t i = 0; i < put.size(); ++i) m_stored[put[i].id] = std::move(texts[i]);
    for (std::uint64_t id : removed) m_stored.erase(id);
  }
  bool tell = false;
  {
    std::lock_guard lock(m_mutex);
    m_saveDone = std::max(m_saveDone, wanted);
    if (!ok && order) m_orderChanged = true;  // written with the next commit
    if (!ok) m_saveAll = true;                // everything is compared again then
    if (!ok)
      for (const TreeProgress& p : trees) m_dirtyTrees.insert(p.tree);
    tell = !ok && (m_saveOk || m_saveError != error);  // once per failure, not at every retry
    m_saveOk = ok;
    m_saveError = ok ? std::string() : error;
  }
  write.unlock();
  if (tell) announce(QueueEventKind::SaveFailed, 0, net::fromUtf8(error));
  return ok;
}

void TransferQueue::saver() {
  constexpr auto kRetry = std::chrono::seconds(2);         // a failed write is tried again
  constexpr auto kGather = std::chrono::milliseconds(20);  // a burst of changes is one transaction
  for (;;) {
    {
      std::unique_lock lock(m_mutex);
      const auto pending = [this] { return m_quitSaver || m_saveDone != m_saveWanted; };
      if (m_saveOk)
        m_saveCv.wait(lock, pending);
      else
        m_saveCv.wait_for(lock, kRetry, pending);
      // Files queued together arrive one add at a time: they are written together.
      if (!m_quitSaver) m_saveCv.wait_for(lock, kGather, [this] { return m_quitSaver; });
      if (m_quitSaver) return;
    }
    flushSave();
  }
}

}  // namespace tarnwick::transfer
