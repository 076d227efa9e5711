// TEMPORARY scheduler stubs: the members the windows call, without the
// scheduler behind them. Dropped when the scheduler lands.
#include <algorithm>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {

void TransferQueue::setMaxActive(int n) { m_maxActive = std::clamp(n, 1, 10); }

int TransferQueue::maxActive() const { return m_maxActive; }

void TransferQueue::hold(const std::vector<std::uint64_t>& ids) {
  std::vector<std::uint64_t> held;
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (std::find(ids.begin(), ids.end(), r.id) != ids.end() &&
          (r.state == RowState::Queued || r.state == RowState::Waiting || r.state == RowState::Failed)) {
        r.state = RowState::Held;
        held.push_back(r.id);
      }
    saveLocked();
  }
  for (std::uint64_t id : held) announce(QueueEventKind::RowHeld, id);
  announce(QueueEventKind::Changed);
}

void TransferQueue::resume(const std::vector<std::uint64_t>& ids) {
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (std::find(ids.begin(), ids.end(), r.id) != ids.end() && r.state == RowState::Held) r.state = RowState::Queued;
    saveLocked();
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
}

void TransferQueue::retry(const std::vector<std::uint64_t>& ids) {
  {
    std::lock_guard lock(m_mutex);
    for (QueueRow& r : m_rows)
      if (std::find(ids.begin(), ids.end(), r.id) != ids.end() && r.state == RowState::Failed) {
        r.state = RowState::Queued;
        r.reason.clear();
      }
    saveLocked();
  }
  m_cv.notify_all();
  announce(QueueEventKind::Changed);
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
    saveLocked();
  }
  announce(QueueEventKind::Changed);
}

std::vector<QueueProgress> TransferQueue::progressAll() {
  const QueueProgress p = progress();
  if (p.rowId == 0) return {};
  return {p};
}

}  // namespace tarnwick::transfer
