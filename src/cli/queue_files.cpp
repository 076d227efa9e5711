#include "cli/queue_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "net/form.h"

namespace tarnwick::cli {

std::string queueFilePath(const char* kind, const StoredSession& s) {
  const auto dir = sessionFilePath().parent_path();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return (dir / (std::string(kind) + "-" + net::percentEncode(utf8(s.accountName)) + ".queue")).string();
}

bool tryLockQueue(const std::string& path) {
  const int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) throw CliError(kExitLocalFile, "cannot open " + path + ".lock: " + std::strerror(errno));
  if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
    ::close(lock);
    return false;
  }
  return true;  // the descriptor stays open (and locked) until the process ends
}

std::shared_ptr<transfer::QueueStore> openQueueStore() {
  std::string error;
  auto store = transfer::QueueStore::open((sessionFilePath().parent_path() / "queues.db").string(), &error);
  if (!store) throw CliError(kExitLocalFile, error);
  if (!store->notice().empty()) printError(store->notice());
  return store;
}

std::string storeKind(const char* kind) { return std::string(kind) == "uploads" ? "upload" : "download"; }

}  // namespace tarnwick::cli
