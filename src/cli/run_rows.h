#pragma once
// A run of put or get on the core queues: the rows the run asked for, what
// became of each, and the loop that works them off while it draws progress,
// polls the store for changes the queue command asks for, and stops on a
// signal.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/output.h"
#include "transfer/download_queue.h"
#include "transfer/queue_store.h"
#include "transfer/transfer_queue.h"
#include "transfer/upload_queue.h"

namespace tarnwick::cli {

// The rows of one run and what became of them. ended() and the done
// callback are called from the queue's slot threads, several at once.
class RunRows {
 public:
  virtual ~RunRows() = default;
  void want(std::uint64_t id) {
    if (m_wanted.insert(id).second) m_order.push_back(id);
  }
  bool wanted(std::uint64_t id) const { return m_wanted.count(id) > 0; }
  // Asked for itself, or a row of a tree (a folder put or got whole) asked for.
  bool wantedRow(const transfer::QueueRow& row) const { return wanted(row.id) || (row.tree && wanted(row.tree)); }
  // In the order they were asked for.
  const std::vector<std::uint64_t>& wantedRows() const { return m_order; }
  // Called on a slot thread for each row done, before it leaves the store.
  void onDone(std::function<void(const transfer::QueueRow&)> f) {
    std::lock_guard lock(m_endedMutex);
    m_onDone = std::move(f);
  }
  std::optional<transfer::QueueRow> ended(std::uint64_t id) const {
    std::lock_guard lock(m_endedMutex);
    auto it = m_ended.find(id);
    return it == m_ended.end() ? std::nullopt : std::optional<transfer::QueueRow>(it->second);
  }
  // The rows that ended, in the order they first did.
  std::vector<std::uint64_t> endedOrder() const {
    std::lock_guard lock(m_endedMutex);
    return m_endedOrder;
  }

 protected:
  void recordEnded(const transfer::QueueRow& row) {
    std::function<void(const transfer::QueueRow&)> done;
    {
      std::lock_guard lock(m_endedMutex);
      if (m_ended.insert_or_assign(row.id, row).second) m_endedOrder.push_back(row.id);
      done = m_onDone;
    }
    if (row.state == transfer::RowState::Done && done) done(row);
  }

 private:
  // Written before start(), only read while the queue runs.
  std::set<std::uint64_t> m_wanted;
  std::vector<std::uint64_t> m_order;
  mutable std::mutex m_endedMutex;
  std::map<std::uint64_t, transfer::QueueRow> m_ended;
  std::vector<std::uint64_t> m_endedOrder;
  std::function<void(const transfer::QueueRow&)> m_onDone;
};

// A queue that works off only the rows this run asked for: the account's
// other saved rows are left exactly as they are (state and reason), for a
// later run.
template <class Queue>
class RunQueue : public Queue, public RunRows {
 public:
  ~RunQueue() override { this->stop(); }  // before this object's hooks go away

 protected:
  bool takes(const transfer::QueueRow& row) const override { return wantedRow(row); }
  void rowEnded(const transfer::QueueRow& row) override { recordEnded(row); }
};

using CliUploadQueue = RunQueue<transfer::UploadQueue>;

class CliDownloadQueue : public RunQueue<transfer::DownloadQueue> {
 protected:
  // Interrupted (Ctrl-C, a hang-up, a closed pipe): the partial file stays,
  // checkpointed as it is, and the next run continues it.
  void stoppedRow(transfer::QueueRow& row) override { heldRow(row); }
};

struct Finished {
  std::uint64_t row = 0;
  std::string nameUtf8;
  std::string state;   // "done", "failed", "waiting" (service unreachable), "held", "stopped"
  std::string reason;  // UTF-8
  bool local = false;  // failed on this machine
  bool interrupted = false;  // the run was stopped (a signal, a closed output)
  transfer::QueueRow detail;
};

// Writes to standard output; a closed pipe ends the run as an interrupt does.
void emit(const std::string& text);

// Where the run's queue is kept, for the changes the queue command posts.
struct RunStore {
  std::shared_ptr<transfer::QueueStore> store;
  std::string kind;  // "upload", "download"
  std::string account;
};

// Runs the wanted rows to their end, drawing progress on standard error when
// it is a terminal (a line per running row and a total line), and returns
// what became of each. Ctrl-C, SIGTERM, a hang-up or a closed output pipe
// stops the queue (nothing is lost). Every second the changes posted to the
// store for this queue are applied.
std::vector<Finished> runWanted(const Output& out, transfer::TransferQueue& queue, RunRows& rows,
                                const RunStore& where,
                                const std::function<std::string(const transfer::QueueRow&)>& doneLine);

// Applies the changes posted for where's queue through the scheduler and
// answers each (a running row is not removed: it is to be held first).
void applyRequests(transfer::TransferQueue& queue, const RunStore& where);

}  // namespace tarnwick::cli
