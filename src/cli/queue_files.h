#pragma once
// Where the command line keeps its queues: one store in the state folder for
// both kinds, and a lock per kind and account that a run of put or get holds
// while it works that queue (a second run of the same kind is refused; the
// queue command sends its changes to the run that holds it).

#include <memory>
#include <string>

#include "cli/session_store.h"
#include "transfer/queue_store.h"

namespace tarnwick::cli {

// The whole-file queue an earlier version kept for kind ("uploads",
// "downloads") and the account; the lock is beside it (path + ".lock").
std::string queueFilePath(const char* kind, const StoredSession& s);
// Takes the lock of path (kept until the process ends): false when another
// process holds it. Throws CliError when the lock file cannot be opened.
bool tryLockQueue(const std::string& path);
// The store of the state folder; throws CliError when it cannot be opened.
// What the store has to say on opening goes to stderr.
std::shared_ptr<transfer::QueueStore> openQueueStore();
// The store's kind of the command line's kind: "upload", "download".
std::string storeKind(const char* kind);

}  // namespace tarnwick::cli
