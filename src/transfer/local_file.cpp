#include "transfer/local_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::transfer {

LocalFile::~LocalFile() { close(); }

bool LocalFile::open(const std::string& path, Mode mode) {
  close();
  m_path = path;
  m_error.clear();
  int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT);
  m_fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    setErrno("cannot open");
    return false;
  }
  return true;
}

void LocalFile::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::int64_t LocalFile::size() const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

LocalFile::Stamp LocalFile::stamp() const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return {};
  return {static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::int64_t LocalFile::readAt(std::int64_t offset, char* buf, std::size_t n) {
  for (;;) {
    ssize_t got = ::pread(m_fd, buf, n, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    setErrno("cannot read");
    return -1;
  }
}

bool LocalFile::writeAt(std::int64_t offset, const char* buf, std::size_t n) {
  while (n > 0) {
    ssize_t put = ::pwrite(m_fd, buf, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      setErrno("cannot write");
      return false;
    }
    buf += put;
    n -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
}

bool LocalFile::truncate(std::int64_t length) {
  if (::ftruncate(m_fd, static_cast<off_t>(length)) == 0) return true;
  setErrno("cannot truncate");
  return false;
}

void LocalFile::adviseSequential() {
  if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t LocalFile::sizeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

void LocalFile::setErrno(const char* what) {
  m_error = std::string(what) + " " + m_path + ": " + std::strerror(errno);
}

}  // namespace tarnwick::transfer
