// queue: the command line's queued rows of put and get, and changes to them.
// With no run of that kind going, a change is made in the store through the
// core queue itself (its rules: a removed download takes its partial file
// with it). While a put or get holds the kind's lock, the change is posted
// to the store; that run applies it through its scheduler within about a
// second and answers, and the answer is waited for here.
#include <unistd.h>

#include <chrono>
#include <limits>
#include <map>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/queue_files.h"
#include "cli/run_rows.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/upload_queue.h"

namespace tarnwick::cli {
namespace {

using nlohmann::json;
using transfer::QueueRow;

constexpr const char* kKinds[] = {"uploads", "downloads"};
constexpr int kAnswerWaitMs = 5000;  // a running put/get polls every second

std::string targetOf(const QueueRow& r, bool download) {
  if (!download) return std::to_string(r.folderId.value_or(0));
  return r.saveFolder + transfer::safeFileName(utf8(r.name));
}

// The position the row goes to: "top", "bottom" or a number from 1.
std::int64_t positionOf(const std::string& to) {
  if (to == "top") return 0;
  if (to == "bottom") return -1;
  std::size_t used = 0;
  long long n = 0;
  try {
    n = std::stoll(to, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != to.size() || n < 1) throw CliError(kExitUsage, "--to takes top, bottom or a position from 1");
  return n - 1;
}

// Applies the change to kind's queue here (no run holds it). Empty, or why not.
std::string applyHere(const char* kind, const StoredSession& s, const std::shared_ptr<transfer::QueueStore>& store,
                      const transfer::QueueRequest& change) {
  std::unique_ptr<transfer::TransferQueue> queue;
  if (std::string(kind) == "uploads")
    queue = std::make_unique<transfer::UploadQueue>();
  else
    queue = std::make_unique<transfer::DownloadQueue>();
  queue->switchAccount(s.accountName, store, storeKind(kind));
  RunStore where{store, storeKind(kind), s.accountName};
  // The same path as a run's: posted, applied, answered.
  std::string error;
  const std::int64_t id = store->postRequest(where.kind, where.account, change, &error);
  if (!id) return error;
  applyRequests(*queue, where);
  queue->stop();  // written now
  const auto answer = store->requestAnswer(id);
  store->dropRequest(id);
  if (!queue->saveOk()) return "the queue could not be saved: " + queue->lastSaveError();
  return !answer ? "the change was not applied" : answer->first ? "" : answer->second;
}

// Posts the change to the run that holds kind's queue and waits for its answer.
std::string sendToRun(const StoredSession& s, const std::shared_ptr<transfer::QueueStore>& store, const char* kind,
                      const transfer::QueueRequest& change) {
  std::string error;
  const std::int64_t id = store->postRequest(storeKind(kind), s.accountName, change, &error);
  if (!id) return error;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (std::chrono::steady_clock::now() < until) {
    if (const auto answer = store->requestAnswer(id)) {
      store->dropRequest(id);
      return answer->first ? "" : answer->second;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  store->dropRequest(id);
  return std::string("the running tarnwick-cli ") + (std::string(kind) == "uploads" ? "put" : "get") +
         " did not take the change; try again";
}

}  // namespace

int listQueue(const Output& out) {
  const StoredSession s = requireSession();
  auto store = openQueueStore();
  json all = json::array();
  std::string lines;
  for (const char* kind : kKinds) {
    const bool download = std::string(kind) == "downloads";
    for (const QueueRow& r : store->load(storeKind(kind), s.accountName).rows) {
      const std::string state = transfer::rowStateName(r.state);
      all.push_back({{"row", r.id},
                     {"direction", download ? "down" : "up"},
                     {"state", state},
                     {"reason", utf8(r.reason)},
                     {"name", utf8(r.name)},
                     {"target", targetOf(r, download)}});
      lines += std::to_string(r.id) + "\t" + (download ? "down" : "up") + "\t" + state + "\t" +
               plainName(utf8(r.name)) + "\t" + plainName(targetOf(r, download)) + "\t" +
               plainName(utf8(r.reason)) + "\n";
    }
  }
  out.result(all, lines);
  return kExitOk;
}

int changeQueue(const Output& out, const std::string& verb, const std::vector<std::uint64_t>& rows,
                const std::string& to) {
  const StoredSession s = requireSession();
  auto store = openQueueStore();
  const std::int64_t position = verb == "move" ? positionOf(to) : 0;
  // Which queue each row is in.
  std::map<std::uint64_t, const char*> kindOf;
  for (const char* kind : kKinds)
    for (const QueueRow& r : store->load(storeKind(kind), s.accountName).rows) kindOf[r.id] = kind;
  for (std::uint64_t id : rows)
    if (!kindOf.count(id)) throw CliError(kExitUsage, "there is no row " + std::to_string(id) + " in the queue");

  std::map<const char*, bool> here;  // the kind's lock is ours: no run holds it
  json results = json::array();
  int code = kExitOk;
  for (std::uint64_t id : rows) {
    const char* kind = kindOf[id];
    if (!here.count(kind)) here[kind] = tryLockQueue(queueFilePath(kind, s));
    transfer::QueueRequest change;
    change.verb = verb;
    change.row = id;
    change.position = position;
    const std::string why = here[kind] ? applyHere(kind, s, store, change) : sendToRun(s, store, kind, change);
    if (!why.empty()) {
      printError(why);
      code = kExitUsage;
    }
    results.push_back({{"row", id}, {"ok", why.empty()}, {"reason", why}});
  }
  if (out.json) out.result(results, "");
  return code;
}

}  // namespace tarnwick::cli
