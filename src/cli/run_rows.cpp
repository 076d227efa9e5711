#include "cli/run_rows.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <set>

#include "cli/progress_line.h"

namespace tarnwick::cli {
namespace {

using transfer::QueueEvent;
using transfer::QueueEventKind;
using transfer::QueueRow;
using transfer::RowState;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int) { g_interrupted = 1; }

// The progress block on a terminal: a line per running row and a total
// line, redrawn in place. Guarded by the caller's lock.
class ProgressBlock {
 public:
  // Removes the block; the cursor is where its first line was.
  void clear() {
    if (m_lines == 0) return;
    std::string s = "\r\033[K";
    for (int i = 1; i < m_lines; ++i) s += "\033[A\033[K";
    std::fputs(s.c_str(), stderr);
    m_lines = 0;
  }
  void draw(const std::vector<std::string>& lines) {
    clear();
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) s += (i ? "\n" : "") + lines[i];
    std::fputs(s.c_str(), stderr);
    std::fflush(stderr);
    m_lines = static_cast<int>(lines.size());
  }

 private:
  int m_lines = 0;
};

std::string treeLine(const transfer::TreeSummary& t) {
  std::string line = utf8(t.name) + "/: " + std::to_string(t.filesDone) + " of " + std::to_string(t.files) +
                     " files, " + byteText(t.bytesDone) + " of " + byteText(t.bytes);
  if (t.filesFailed) line += ", " + std::to_string(t.filesFailed) + " failed";
  if (t.expanding) line += ", reading folders";
  return line;
}

}  // namespace

void emit(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) g_interrupted = 1;
}

void applyRequests(transfer::TransferQueue& queue, const RunStore& where) {
  if (!where.store) return;
  for (const transfer::QueueRequest& r : where.store->openRequests(where.kind, where.account)) {
    const std::string id = std::to_string(r.row);
    const auto row = queue.row(r.row);
    if (!row || row->state == RowState::Done) {
      where.store->answerRequest(r.id, false, "there is no row " + id + " in the queue");
      continue;
    }
    bool ok = true;
    std::string why;
    if (r.verb == "hold") {
      queue.hold({r.row});
    } else if (r.verb == "resume") {
      queue.resume({r.row});
    } else if (r.verb == "rm") {
      ok = queue.remove({r.row});
      if (!ok) why = "row " + id + " is running; hold it first (tarnwick-cli queue hold " + id + ")";
    } else if (r.verb == "move") {
      queue.move(r.row, r.position < 0 ? std::numeric_limits<std::size_t>::max() : static_cast<std::size_t>(r.position));
    } else {
      ok = false;
      why = "unknown change '" + r.verb + "'";
    }
    where.store->answerRequest(r.id, ok, why);
  }
}

std::vector<Finished> runWanted(const Output& out, transfer::TransferQueue& queue, RunRows& rows,
                                const RunStore& where,
                                const std::function<std::string(const QueueRow&)>& doneLine) {
  const bool tty = !out.json && !out.quiet && ::isatty(STDERR_FILENO);
  std::mutex mutex;
  std::vector<QueueEvent> events;
  queue.setListener([&](const QueueEvent& e) {
    if (e.kind != QueueEventKind::RowDone && e.kind != QueueEventKind::RowFailed &&
        e.kind != QueueEventKind::Unreachable)
      return;
    std::lock_guard lock(mutex);
    events.push_back(e);
  });
  g_interrupted = 0;
  constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
  std::map<int, void (*)(int)> previous;
  for (int sig : kStopSignals) previous[sig] = std::signal(sig, onInterrupt);

  std::map<std::uint64_t, ProgressLine> lines;  // of the running rows
  transfer::ProgressReader reader;
  ProgressLine total;
  ProgressBlock block;
  std::mutex printing;  // the progress block (main thread) and the done lines (slot threads)
  std::string waitingNote;
  std::size_t doneCount = 0;  // guarded by printing
  // The line of a file done goes out at once, before its row leaves the store.
  rows.onDone([&](const QueueRow& row) {
    if (!rows.wantedRow(row) || row.kind != transfer::RowKind::File) return;
    std::lock_guard lock(printing);
    if (tty) block.clear();
    ++doneCount;
    if (!row.note.empty())
      printError(utf8(row.name) + ": another file of this run has that name; saved as " + row.finalPath);
    if (!out.json) emit(doneLine(row));
  });
  const auto drain = [&] {
    std::vector<QueueEvent> now;
    {
      std::lock_guard lock(mutex);
      now.swap(events);
    }
    for (const QueueEvent& e : now) {
      const auto row = rows.ended(e.rowId) ? rows.ended(e.rowId) : queue.row(e.rowId);
      if (!row || !rows.wantedRow(*row)) continue;
      if (e.kind == QueueEventKind::Unreachable) {
        waitingNote = "cannot reach the service: " + utf8(e.text) + "; trying again";
        continue;
      }
      waitingNote.clear();
      if (e.kind == QueueEventKind::RowFailed) {
        std::lock_guard lock(printing);
        if (tty) block.clear();
        printError(utf8(row->name) + ": " + utf8(e.text));
      }
    }
  };

  queue.start();
  bool stopped = false;
  auto lastPoll = std::chrono::steady_clock::now();
  for (;;) {
    const bool idle = queue.waitIdle(tty ? 200 : 500);
    drain();
    if (g_interrupted) {
      queue.stop();
      stopped = true;
      drain();
      break;
    }
    if (idle) break;
    if (std::chrono::steady_clock::now() - lastPoll >= std::chrono::seconds(1)) {
      lastPoll = std::chrono::steady_clock::now();
      applyRequests(queue, where);
    }
    if (!tty) continue;
    std::vector<std::string> text;
    std::int64_t sumDone = 0, sumTotal = 0, sumMoved = 0;
    std::map<std::uint64_t, ProgressLine> still;
    std::lock_guard lock(printing);
    for (const transfer::QueueProgress& p : queue.progressAll(&reader)) {
      const auto row = queue.row(p.rowId);
      if (!row || !rows.wantedRow(*row) || rows.ended(p.rowId)) continue;  // a row done has its line out
      ProgressLine& line = still[p.rowId] = std::move(lines[p.rowId]);
      line.sample(p.done, p.total, p.sinceLast);
      text.push_back(line.text(utf8(row->treePath.empty() ? row->name : row->treePath)));
      sumDone += p.done;
      sumMoved += p.sinceLast;
      sumTotal = (sumTotal < 0 || p.total < 0) ? -1 : sumTotal + p.total;
    }
    lines.swap(still);
    // A line per tree: its files done of all, its bytes, the files running.
    const std::size_t running = text.size();
    long long files = static_cast<long long>(rows.wantedRows().size());
    for (const transfer::TreeSummary& t : queue.trees()) {
      if (!rows.wanted(t.tree)) continue;
      files += t.files - 1;  // the tree's own id stands for its files
      text.push_back(treeLine(t));
    }
    if (text.empty() && waitingNote.empty()) {
      block.clear();
      continue;
    }
    total.sample(sumDone, sumTotal, sumMoved);
    const std::string head = "all: " + std::to_string(doneCount) + " of " + std::to_string(files) +
                             " done, " + std::to_string(running) + " running";
    text.push_back(waitingNote.empty() ? total.text(head) : head + "  (" + waitingNote + ")");
    block.draw(text);
  }
  rows.onDone(nullptr);
  queue.setListener(nullptr);
  if (tty) {
    std::lock_guard lock(printing);
    block.clear();
  }
  for (int sig : kStopSignals) std::signal(sig, previous[sig]);
  // Rows the store does not have cannot be continued by another run.
  const bool saved = queue.saveOk();
  if (!saved) printError("the queue could not be saved: " + queue.lastSaveError());
  const std::string again = saved ? "; run the command again to continue" : "";

  // Each row asked for; for a tree, each of its rows (those that ended in
  // the order they did, then those still queued).
  std::vector<std::uint64_t> report;
  {
    std::set<std::uint64_t> listed;
    const std::vector<std::uint64_t> ended = rows.endedOrder();
    const std::vector<QueueRow> current = queue.rows();
    for (std::uint64_t id : rows.wantedRows()) {
      bool tree = false;
      const auto add = [&](std::uint64_t row) {
        if (listed.insert(row).second) report.push_back(row);
      };
      for (std::uint64_t e : ended)
        if (auto r = rows.ended(e); r && r->tree == id) {
          tree = true;
          add(e);
        }
      for (const QueueRow& r : current)
        if (r.tree == id) {
          tree = true;
          add(r.id);
        }
      if (!tree) add(id);
    }
  }
  std::vector<Finished> result;
  for (std::uint64_t id : report) {
    Finished f;
    f.row = id;
    if (auto r = rows.ended(id); r && r->state == RowState::Done) {
      if (r->kind != transfer::RowKind::File) continue;  // a folder made or walked: its files tell
      f.detail = *r;
      f.state = "done";
    } else if (auto now = queue.row(id)) {
      f.detail = *now;
      f.reason = utf8(now->reason);
      f.local = now->state == RowState::Failed && now->localFault;
      // A row whose transfer kept breaking off failed on the network: the
      // service could not be reached well enough, as for a waiting row.
      if (now->state == RowState::Done) continue;
      f.state = stopped                                                ? "stopped"
                : now->state == RowState::Held                         ? "held"
                : now->state == RowState::Failed && !now->brokenOff    ? "failed"
                                                                       : "waiting";
      if (f.state == "waiting") printError(utf8(now->name) + ": cannot reach the service (" + f.reason + ")" + again);
      if (f.state == "held")
        printError(utf8(now->name) + ": held; `tarnwick-cli queue resume " + std::to_string(id) +
                   "` and run the command again to continue");
    } else {
      continue;  // removed by the queue command during the run
    }
    f.nameUtf8 = utf8(f.detail.name);
    result.push_back(std::move(f));
  }
  if (stopped) {
    printError("interrupted" + again);
    for (Finished& f : result) f.interrupted = true;
  }
  return result;
}

}  // namespace tarnwick::cli
