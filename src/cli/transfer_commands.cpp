// put and get: files sent and fetched through the core upload and download
// queues, with the queues' rules (instant upload first, nothing registered
// that did not arrive, partial files of their own, resume). The queue of each
// account is kept in the state folder, so a file that failed or could not
// reach the service is continued by the next run (get FILE_ID again, or
// put --retry).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "browser/listing.h"
#include "browser/state.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/listing_calls.h"
#include "cli/progress_line.h"
#include "browser/scrape_patterns.h"
#include "cli/service_calls.h"
#include "net/form.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/upload_queue.h"

namespace tarnwick::cli {
namespace {

using nlohmann::json;
using transfer::QueueEvent;
using transfer::QueueEventKind;
using transfer::QueueRow;
using transfer::RowState;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int) { g_interrupted = 1; }

// A queue that works off only the rows this run asked for: the account's
// other saved rows are left exactly as they are (state and reason), for a
// later run. What became of each row of the run is kept here, whatever the
// queue's finished list keeps.
template <class Queue>
class RunQueue : public Queue {
 public:
  ~RunQueue() override { this->stop(); }  // before this object's hooks go away
  void want(std::uint64_t id) {
    if (m_wanted.insert(id).second) m_order.push_back(id);
  }
  bool wanted(std::uint64_t id) const { return m_wanted.count(id) > 0; }
  // In the order they were asked for.
  const std::vector<std::uint64_t>& wantedRows() const { return m_order; }
  // Called on the runner thread for each row done, before it leaves the store.
  void onDone(std::function<void(const QueueRow&)> f) { m_onDone = std::move(f); }
  std::optional<QueueRow> ended(std::uint64_t id) const {
    std::lock_guard lock(m_endedMutex);
    auto it = m_ended.find(id);
    return it == m_ended.end() ? std::nullopt : std::optional<QueueRow>(it->second);
  }

 protected:
  bool takes(const QueueRow& row) const override { return wanted(row.id); }
  void rowEnded(const QueueRow& row) override {
    {
      std::lock_guard lock(m_endedMutex);
      m_ended[row.id] = row;
    }
    if (row.state == RowState::Done && m_onDone) m_onDone(row);
  }

 private:
  // Written before start(), read by the runner.
  std::set<std::uint64_t> m_wanted;
  std::vector<std::uint64_t> m_order;
  mutable std::mutex m_endedMutex;
  std::map<std::uint64_t, QueueRow> m_ended;
  std::function<void(const QueueRow&)> m_onDone;
};

using CliUploadQueue = RunQueue<transfer::UploadQueue>;

class CliDownloadQueue : public RunQueue<transfer::DownloadQueue> {
 protected:
  // Interrupted (Ctrl-C, a hang-up, a closed pipe): the partial file stays,
  // checkpointed as it is, and the next run continues it.
  void stoppedRow(QueueRow& row) override {
    if (row.bodyComplete) return;
    const transfer::FileStamp now = transfer::stampOf(row.partial.path);
    row.partial.size = now.exists ? now.size : -1;
    row.partial.mtimeNs = now.mtimeNs;
  }
};

// The whole-file queue an earlier version kept for kind and the account. A
// second run of the same kind for the same account would work the same rows
// as the first: it is refused while the first holds the lock beside that
// file (released when the process ends).
std::string queuePath(const char* kind, const StoredSession& s) {
  const auto dir = sessionFilePath().parent_path();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = (dir / (std::string(kind) + "-" + net::percentEncode(utf8(s.accountName)) + ".queue")).string();
  const int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) throw CliError(kExitLocalFile, "cannot open " + path + ".lock: " + std::strerror(errno));
  if (::flock(lock, LOCK_EX | LOCK_NB) != 0)
    throw CliError(kExitLocalFile, "another tarnwick-cli run is using " + path + "; wait for it to end");
  return path;  // the descriptor stays open (and locked) until the process ends
}

// The queue of kind for the account, from the state folder's store: the run
// holds the lock of queuePath; the whole file an earlier version kept there
// is moved into the store first. What the store has to say goes to stderr.
template <class Queue>
void openQueue(Queue& queue, const char* kind, const StoredSession& s) {
  const std::string oldPath = queuePath(kind, s);
  std::string error;
  auto store = transfer::QueueStore::open((sessionFilePath().parent_path() / "queues.db").string(), &error);
  if (!store) throw CliError(kExitLocalFile, error);
  if (!store->notice().empty()) printError(store->notice());
  const std::string storeKind = std::string(kind) == "uploads" ? "upload" : "download";
  const transfer::ImportReport imported = store->importFile(storeKind, s.accountName, oldPath);
  for (const std::string& line : imported.problems) printError(line);
  if (!imported.error.empty()) printError(imported.error + "; " + oldPath + " was left as it is");
  queue.switchAccount(s.accountName, store, storeKind);
  for (const std::string& line : queue.rejectedRows()) printError(line);
}

struct Finished {
  std::uint64_t row = 0;
  std::string nameUtf8;
  std::string state;   // "done", "failed", "waiting" (service unreachable), "stopped"
  std::string reason;  // UTF-8
  bool local = false;  // failed on this machine
  bool interrupted = false;  // the run was stopped (a signal, a closed output)
  QueueRow detail;
};

// Writes to standard output; a closed pipe ends the run as an interrupt does.
void emit(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) g_interrupted = 1;
}

// Runs the wanted rows to their end, drawing progress on standard error when
// it is a terminal, and returns what became of each. Ctrl-C, SIGTERM, a
// hang-up or a closed output pipe stops the queue (nothing is lost).
template <class Queue>
std::vector<Finished> runWanted(const Output& out, Queue& queue,
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

  ProgressLine line;
  std::mutex printing;  // the progress line (main thread) and the done lines (runner thread)
  std::atomic<std::uint64_t> drawing{0};
  std::string waitingNote;
  const auto clearLine = [&] {
    if (tty && drawing) std::fputs("\r\033[K", stderr);
  };
  // The line of a file done goes out at once, before its row leaves the store.
  queue.onDone([&](const QueueRow& row) {
    if (!queue.wanted(row.id)) return;
    std::lock_guard lock(printing);
    clearLine();
    drawing = 0;
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
      if (!queue.wanted(e.rowId)) continue;
      const auto row = queue.ended(e.rowId) ? queue.ended(e.rowId) : queue.row(e.rowId);
      if (!row) continue;
      if (e.kind == QueueEventKind::Unreachable) {
        waitingNote = "  (cannot reach the service: " + utf8(e.text) + "; trying again)";
        continue;
      }
      waitingNote.clear();
      if (e.kind == QueueEventKind::RowFailed) {
        std::lock_guard lock(printing);
        clearLine();
        drawing = 0;
        printError(utf8(row->name) + ": " + utf8(e.text));
      }
    }
  };

  queue.start();
  bool stopped = false;
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
    if (!tty) continue;
    const transfer::QueueProgress p = queue.progress();
    if (!p.rowId || !queue.wanted(p.rowId)) continue;
    std::lock_guard lock(printing);
    if (queue.ended(p.rowId)) continue;  // its line is out
    if (p.rowId != drawing) {
      clearLine();
      line.reset();
      drawing = p.rowId;
    }
    line.sample(p.done, p.total, p.sinceLast);
    const auto row = queue.row(p.rowId);
    std::fputs(("\r\033[K" + line.text(row ? utf8(row->name) : "") + waitingNote).c_str(), stderr);
  }
  queue.onDone(nullptr);
  queue.setListener(nullptr);
  clearLine();
  for (int sig : kStopSignals) std::signal(sig, previous[sig]);
  // Rows the store does not have cannot be continued by another run.
  const bool saved = queue.saveOk();
  if (!saved) printError("the queue could not be saved: " + queue.lastSaveError());
  const std::string again = saved ? "; run the command again to continue" : "";

  std::vector<Finished> result;
  for (std::uint64_t id : queue.wantedRows()) {
    Finished f;
    f.row = id;
    if (auto r = queue.ended(id); r && r->state == RowState::Done) {
      f.detail = *r;
      f.state = "done";
    } else if (auto now = queue.row(id)) {
      f.detail = *now;
      f.reason = utf8(now->reason);
      f.local = now->state == RowState::Failed && now->localFault;
      // A row whose transfer kept breaking off failed on the network: the
      // service could not be reached well enough, as for a waiting row.
      f.state = stopped ? "stopped" : now->state == RowState::Failed && !now->brokenOff ? "failed" : "waiting";
      if (f.state == "waiting") printError(utf8(now->name) + ": cannot reach the service (" + f.reason + ")" + again);
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

// 0 all done; 130 interrupted; 5 some done; else 2 when the service could
// not be reached, 4 when a local file failed (unreadable, vanished, full
// disk, a name too long, a target that is a folder), 3 otherwise.
int exitCodeOf(const std::vector<Finished>& rows, std::size_t localFailures) {
  std::size_t done = 0, waiting = 0, stopped = 0, local = localFailures;
  for (const auto& r : rows) {
    done += r.state == "done";
    waiting += r.state == "waiting";
    stopped += r.state == "stopped" || r.interrupted;
    local += r.local;
  }
  if (stopped) return 130;
  const std::size_t all = rows.size() + localFailures;
  if (done == all) return kExitOk;
  if (done > 0) return kExitPartial;
  if (waiting) return kExitUnreachable;
  return local ? kExitLocalFile : kExitRefused;
}

json finishedJson(const Finished& f) {
  json j = {{"name", f.nameUtf8}, {"state", f.state}};
  if (!f.reason.empty()) j["reason"] = f.reason;
  return j;
}

}  // namespace

int put(const Output& out, const std::vector<std::string>& files, std::int32_t folderId, bool noInstant,
        bool retry) {
  const StoredSession s = requireSession();
  const net::Hosts& hosts = net::hosts();
  CliUploadQueue queue;
  queue.setOptions({{1000, 2000, 4000}, false});
  transfer::UploadContext context;
  context.mainHost = hosts.mainHost;
  context.ftpHost = hosts.ftpHost;
  context.account = s.accountName;
  context.userId = s.userId;
  context.listingRowPattern = browser::patterns::fileRow();
  context.instant = !noInstant;
  queue.setContext(context);
  openQueue(queue, "uploads", s);

  json results = json::array();
  std::size_t localFailures = 0;
  const std::vector<QueueRow> saved = queue.rows();
  for (const std::string& file : files) {
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) {
      const std::string why = ::stat(path.c_str(), &st) != 0 ? std::strerror(errno)
                              : !S_ISREG(st.st_mode)         ? "not a regular file"
                                                             : std::strerror(EACCES);
      printError("cannot read " + file + ": " + why);
      results.push_back({{"name", file}, {"state", "failed"}, {"reason", why}});
      ++localFailures;
      continue;
    }
    // The service keeps names as GBK and would store this one without the
    // characters GBK cannot hold: refused before anything is sent.
    if (const auto lost = net::charactersGbkCannotHold(std::filesystem::path(path).filename().string());
        !lost.empty()) {
      std::string chars;
      for (const std::string& c : lost) chars += (chars.empty() ? "" : " ") + c;
      const std::string why = "the service cannot store these characters of the name: " + chars;
      printError("cannot send " + file + ": " + why);
      results.push_back({{"name", file}, {"state", "failed"}, {"reason", why}});
      ++localFailures;
      continue;
    }
    // The same file into the same folder continues its saved row (a row whose
    // registration got no reply is never sent twice).
    std::uint64_t row = 0;
    for (const QueueRow& r : saved)
      if (r.localPath == path && r.folderId.value_or(0) == folderId) row = r.id;
    queue.want(row ? row : queue.add(path, folderId));
  }
  if (retry)
    for (const QueueRow& r : saved) queue.want(r.id);

  const auto finished = runWanted(out, queue, [](const QueueRow& r) {
    return std::to_string(r.remoteId) + "\t" + plainName(utf8(r.name)) + "\t" + byteText(r.size) + "\t" +
           (r.instant ? "instant" : "sent") + "\n";
  });
  for (const Finished& f : finished) {
    json j = finishedJson(f);
    j["path"] = f.detail.localPath;
    if (f.state == "done") {
      j["id"] = f.detail.remoteId;
      j["size"] = f.detail.size;
      j["instant"] = f.detail.instant;
    }
    results.push_back(j);
  }
  if (out.json) out.result(results, "");
  if (!queue.saveOk()) return kExitLocalFile;
  return exitCodeOf(finished, localFailures);
}

int get(const Output& out, const std::vector<std::int32_t>& fileIds, const std::string& outDir, bool rename,
        bool retry) {
  const StoredSession s = requireSession();
  std::error_code ec;
  // The folder is fixed now, absolute: a later run from another working folder saves into it too.
  const std::string folder =
      transfer::DownloadQueue::normalFolder(std::filesystem::absolute(outDir.empty() ? "." : outDir, ec).string());
  std::filesystem::create_directories(folder, ec);
  if (ec || ::access(folder.c_str(), W_OK) != 0)
    throw CliError(kExitLocalFile, "cannot write into " + folder + ": " + (ec ? ec.message() : std::strerror(errno)));

  // The direct download needs the account's access password, as on the settings page.
  const net::Hosts& hosts = net::hosts();
  const std::string settings = net::fromUtf8(fetchPage(browser::settingsPageUrl(hosts.mainHost, s.accountName)));
  CliDownloadQueue queue;
  queue.setOptions({{1000, 2000, 4000}, false});
  transfer::DownloadContext context;
  context.mainHost = hosts.mainHost;
  context.storageHost = hosts.storageHost;
  context.accessPassword = browser::accessPasswordFrom(settings, browser::patterns::accessPasswordMarker());
  context.saveFolder = folder;
  context.rule = rename ? transfer::NameRule::Rename : transfer::NameRule::Overwrite;
  queue.setContext(context);
  openQueue(queue, "downloads", s);

  // A file asked for again into the same folder continues its saved row.
  const std::vector<QueueRow> saved = queue.rows();
  std::map<std::string, std::uint64_t> savedRows;
  for (const QueueRow& r : saved)
    if (r.saveFolder == folder) savedRows[r.fileId] = r.id;
  std::set<std::int32_t> unknown;
  for (std::int32_t id : fileIds)
    if (auto it = savedRows.find(std::to_string(id)); it != savedRows.end()) queue.want(it->second);
    else unknown.insert(id);
  // Name and size of the others come from the member's listings.
  if (!unknown.empty()) {
    for (const auto& f : fetchFolders(s)) {
      forEachFile(s, f.id, [&](const browser::FileRow& r) {
        if (unknown.erase(r.id)) queue.want(queue.add(std::to_string(r.id), r.name, r.size, folder));
        return !unknown.empty();
      });
      if (unknown.empty()) break;
    }
  }
  json results = json::array();
  for (std::int32_t id : unknown) {
    printError("there is no file " + std::to_string(id) + " in your folders");
    results.push_back({{"fileId", id}, {"state", "failed"}, {"reason", "no such file"}});
  }
  if (retry)
    for (const QueueRow& r : saved) queue.want(r.id);

  const auto finished = runWanted(out, queue, [](const QueueRow& r) {
    return r.fileId + "\t" + plainName(r.finalPath) + "\t" + byteText(r.size) + "\n";
  });
  for (const Finished& f : finished) {
    json j = finishedJson(f);
    j["fileId"] = std::stoll(f.detail.fileId.empty() ? "0" : f.detail.fileId);
    if (f.state == "done") {
      j["path"] = f.detail.finalPath;
      j["size"] = f.detail.size;
    }
    results.push_back(j);
  }
  if (out.json) out.result(results, "");
  if (!queue.saveOk()) return kExitLocalFile;
  if (finished.empty()) return unknown.empty() ? kExitOk : kExitRefused;
  const int code = exitCodeOf(finished, 0);
  return code == kExitOk && !unknown.empty() ? kExitPartial : code;
}

}  // namespace tarnwick::cli
