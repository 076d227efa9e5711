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

#include <algorithm>
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
#include "cli/queue_files.h"
#include "cli/run_rows.h"
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

// A second run of the same kind for the same account would work the same
// rows as the first: it is refused while the first holds the lock beside the
// whole-file queue of kind (released when the process ends).
std::string queuePath(const char* kind, const StoredSession& s) {
  const std::string path = queueFilePath(kind, s);
  if (!tryLockQueue(path))
    throw CliError(kExitLocalFile, "another tarnwick-cli run is using " + path + "; wait for it to end");
  return path;
}

// The queue of kind for the account, from the state folder's store: the run
// holds the lock of queuePath; the whole file an earlier version kept there
// is moved into the store first. What the store has to say goes to stderr.
template <class Queue>
RunStore openQueue(Queue& queue, const char* kind, const StoredSession& s) {
  const std::string oldPath = queuePath(kind, s);
  auto store = openQueueStore();
  const std::string storeKindName = storeKind(kind);
  const transfer::ImportReport imported = store->importFile(storeKindName, s.accountName, oldPath);
  for (const std::string& line : imported.problems) printError(line);
  if (!imported.error.empty()) printError(imported.error + "; " + oldPath + " was left as it is");
  queue.switchAccount(s.accountName, store, storeKindName);
  for (const std::string& line : queue.rejectedRows()) printError(line);
  return RunStore{store, storeKindName, s.accountName};
}

// 0 all done; 130 interrupted; 5 some done or some held by the user; else 2
// when the service could not be reached, 4 when a local file failed
// (unreadable, vanished, full disk, a name too long, a target that is a
// folder), 3 otherwise.
int exitCodeOf(const std::vector<Finished>& rows, std::size_t localFailures) {
  std::size_t done = 0, waiting = 0, stopped = 0, held = 0, local = localFailures;
  for (const auto& r : rows) {
    done += r.state == "done";
    held += r.state == "held";
    waiting += r.state == "waiting";
    stopped += r.state == "stopped" || r.interrupted;
    local += r.local;
  }
  if (stopped) return 130;
  const std::size_t all = rows.size() + localFailures;
  if (done == all) return kExitOk;
  if (done > 0 || held > 0) return kExitPartial;
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
        bool retry, int parallel, bool recursive) {
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
  context.folderEntryPattern = browser::patterns::folderEntry();
  context.instant = !noInstant;
  queue.setContext(context);
  queue.setMaxActive(parallel);
  const RunStore where = openQueue(queue, "uploads", s);

  json results = json::array();
  std::size_t localFailures = 0;
  bool leftOut = false;  // names of a folder the service would refuse: the rest goes, exit 5
  const std::vector<QueueRow> saved = queue.rows();
  for (const std::string& file : files) {
    std::error_code ec;
    std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st {};
    if (recursive && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      // A folder queued before continues its saved rows (a folder row whose
      // create got no reply is looked up, never made twice).
      std::uint64_t tree = 0;
      for (const QueueRow& r : saved)
        if (r.tree && (r.localPath == path || r.localPath.rfind(path + "/", 0) == 0) &&
            (r.id != r.tree || r.folderId.value_or(0) == folderId))
          tree = r.tree;
      if (!tree) {
        transfer::UploadTreePlan plan = queue.planTree(path, folderId);
        for (const std::string& f : plan.refusedFolders) printError("left out the folder " + f);
        for (const std::string& f : plan.refusedFiles) printError("left out the file " + f);
        for (const std::string& f : plan.unreadable) printError("cannot read the folder " + f);
        leftOut = leftOut || !plan.refusedFolders.empty() || !plan.refusedFiles.empty();
        localFailures += plan.unreadable.size();
        tree = plan.tree;
        if (tree) queue.addTree(std::move(plan));
      }
      if (tree) queue.want(tree);
      continue;
    }
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) {
      const std::string why = ::stat(path.c_str(), &st) != 0 ? std::strerror(errno)
                              : S_ISDIR(st.st_mode)          ? "a folder (put -r sends a folder whole)"
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

  const auto finished = runWanted(out, queue, queue, where, [](const QueueRow& r) {
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
  const int code = exitCodeOf(finished, localFailures);
  return code == kExitOk && leftOut ? kExitPartial : code;
}

int get(const Output& out, const std::vector<std::int32_t>& fileIds, const std::string& outDir, bool rename,
        bool retry, int parallel, bool recursive) {
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
  context.account = s.accountName;
  context.userId = s.userId;
  queue.setContext(context);
  queue.setMaxActive(parallel);
  const RunStore where = openQueue(queue, "downloads", s);

  const std::vector<QueueRow> saved = queue.rows();
  json results = json::array();
  std::size_t missing = 0;  // ids asked for that are no file (or folder) of the member's
  if (recursive) {
    // A folder asked for again into the same folder continues its saved
    // rows: its walk, or the files the walk queued (they carry the folder).
    std::vector<browser::FolderEntry> folders;
    for (std::int32_t id : fileIds) {
      std::uint64_t tree = 0;
      for (const QueueRow& r : saved) {
        const bool walk = r.kind == transfer::RowKind::ExpandFolder && r.fileId == std::to_string(id);
        const bool file = r.tree && r.kind == transfer::RowKind::File && r.folderId && *r.folderId == id;
        if ((walk && r.saveFolder == folder) || (file && r.saveFolder.rfind(folder, 0) == 0)) tree = r.tree;
      }
      if (!tree) {
        if (folders.empty()) folders = fetchFolders(s, false);  // names and ids are all it needs
        const auto it = std::find_if(folders.begin(), folders.end(), [&](const auto& f) { return f.id == id; });
        if (it == folders.end()) {
          printError("there is no folder " + std::to_string(id) + " in your folders");
          results.push_back({{"folderId", id}, {"state", "failed"}, {"reason", "no such folder"}});
          ++missing;
          continue;
        }
        tree = queue.addFolder(id, it->name, folder);
      }
      if (tree) queue.want(tree);
    }
  } else {
    // A file asked for again into the same folder continues its saved row.
    std::map<std::string, std::uint64_t> savedRows;
    for (const QueueRow& r : saved)
      if (r.saveFolder == folder) savedRows[r.fileId] = r.id;
    std::set<std::int32_t> unknown;
    for (std::int32_t id : fileIds)
      if (auto it = savedRows.find(std::to_string(id)); it != savedRows.end()) queue.want(it->second);
      else unknown.insert(id);
    // Name and size of the others come from the member's listings; they are
    // queued in the order they were asked for (rows start in queue order).
    if (!unknown.empty()) {
      std::map<std::int32_t, browser::FileRow> found;
      for (const auto& f : fetchFolders(s, false)) {
        forEachFile(s, f.id, [&](const browser::FileRow& r) {
          if (unknown.erase(r.id)) found[r.id] = r;
          return !unknown.empty();
        });
        if (unknown.empty()) break;
      }
      for (std::int32_t id : fileIds)
        if (auto it = found.find(id); it != found.end()) {
          queue.want(queue.add(std::to_string(id), it->second.name, it->second.size, folder));
          found.erase(it);
        }
    }
    for (std::int32_t id : unknown) {
      printError("there is no file " + std::to_string(id) + " in your folders");
      results.push_back({{"fileId", id}, {"state", "failed"}, {"reason", "no such file"}});
    }
    missing = unknown.size();
  }
  if (retry)
    for (const QueueRow& r : saved) queue.want(r.id);

  const auto finished = runWanted(out, queue, queue, where, [](const QueueRow& r) {
    return r.fileId + "\t" + plainName(r.finalPath) + "\t" + byteText(r.size) + "\n";
  });
  for (const Finished& f : finished) {
    json j = finishedJson(f);
    j["fileId"] = std::stoll(f.detail.fileId.empty() ? "0" : f.detail.fileId);
    if (f.detail.kind == transfer::RowKind::ExpandFolder) j["folderId"] = j["fileId"];
    if (f.state == "done") {
      j["path"] = f.detail.finalPath;
      j["size"] = f.detail.size;
    }
    results.push_back(j);
  }
  if (out.json) out.result(results, "");
  if (!queue.saveOk()) return kExitLocalFile;
  if (finished.empty()) return missing ? kExitRefused : kExitOk;
  const int code = exitCodeOf(finished, 0);
  return code == kExitOk && missing ? kExitPartial : code;
}

}  // namespace tarnwick::cli
