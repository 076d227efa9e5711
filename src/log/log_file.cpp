#include "log/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace tarnwick::log {
namespace fs = std::filesystem;

namespace {

// Opens the current file and holds its lock; ok() is false when either failed.
class LockedFile {
 public:
  explicit LockedFile(const fs::path& path) {
    // A rotation between open and lock leaves this descriptor on the old
    // file: open again until the locked file is the one the name shows.
    for (int attempt = 0; attempt < 16; ++attempt) {
      m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
      if (m_fd < 0) return;
      if (::flock(m_fd, LOCK_EX) != 0) break;
      struct stat held {
      }, named{};
      if (::fstat(m_fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev)
        return;
      ::close(m_fd);
      m_fd = -1;
    }
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }
  ~LockedFile() {
    if (m_fd >= 0) ::close(m_fd);  // closing drops the lock
  }
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool ok() const { return m_fd >= 0; }
  int fd() const { return m_fd; }
  std::uintmax_t size() const {
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? static_cast<std::uintmax_t>(st.st_size) : 0;
  }

 private:
  int m_fd = -1;
};

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

fs::path rotated(const fs::path& path, int n) { return fs::path(path.string() + "." + std::to_string(n)); }

}  // namespace

fs::path defaultLogFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && *state == '/') return fs::path(state) / "tarnwick" / "log";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "state" / "tarnwick" / "log";
}

LogFile::LogFile(fs::path path, std::uintmax_t maxBytes, int filesKept)
    : m_path(std::move(path)), m_maxBytes(maxBytes), m_filesKept(filesKept < 1 ? 1 : filesKept) {}

void LogFile::rotate() const {
  std::error_code ec;
  fs::remove(rotated(m_path, m_filesKept - 1), ec);
  for (int n = m_filesKept - 2; n >= 1; --n) fs::rename(rotated(m_path, n), rotated(m_path, n + 1), ec);
  if (m_filesKept > 1)
    fs::rename(m_path, rotated(m_path, 1), ec);
  else
    fs::remove(m_path, ec);
}

bool LogFile::append(const std::string& text) const {
  LockedFile file(m_path);
  if (!file.ok()) return false;
  const std::uintmax_t size = file.size();
  if (size > 0 && size + text.size() > m_maxBytes) {
    // The lock is held: others wait, then find the name on a new file.
    rotate();
    LockedFile fresh(m_path);
    return fresh.ok() && writeAll(fresh.fd(), text);
  }
  return writeAll(file.fd(), text);
}

std::string formatLine(Level level, const char* category, const std::string& message) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%d] ", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis),
                static_cast<int>(::getpid()));
  std::string line = std::string(stamp) + levelName(level) + " " + category + ": ";
  std::size_t end = message.size();
  while (end > 0 && (message[end - 1] == '\n' || message[end - 1] == '\r')) --end;
  for (std::size_t i = 0; i < end; ++i) {
    const char c = message[i];
    if (c == '\r' && i + 1 < end && message[i + 1] == '\n') continue;
    line += c;
    if (c == '\n') line += "  ";
  }
  line += '\n';
  return line;
}

fs::path installFileLog(const std::string& program, Level threshold) {
  const fs::path folder = defaultLogFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  ::chmod(folder.c_str(), 0700);
  auto file = std::make_shared<LogFile>(folder / (program + ".log"));
  setHandler([file](Level level, const char* category,
                    const std::string& message) { file->append(formatLine(level, category, message)); },
             threshold);
  return file->path();
}

}  // namespace tarnwick::log
