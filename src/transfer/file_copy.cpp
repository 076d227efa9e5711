#include "transfer/file_copy.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick::transfer {
namespace {

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

std::int64_t fail(const std::string& what, const std::string& path, std::string* error) {
  if (error) *error = what + " " + path + ": " + std::strerror(errno);
  return -1;
}

// Plain read/write when the kernel cannot copy between the two files itself.
bool copyByBlocks(int in, int out, std::int64_t from) {
  std::vector<char> buf(1 << 20);
  if (::lseek(in, from, SEEK_SET) < 0 || ::lseek(out, from, SEEK_SET) < 0) return false;
  for (;;) {
    ssize_t got = ::read(in, buf.data(), buf.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out, buf.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += put;
    }
  }
}

}  // namespace

std::int64_t copyFileStreaming(const std::string& source, const std::string& target,
                               std::string* error) {
  Fd in, out;
  in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) return fail("cannot open", source, error);
  struct stat st {};
  if (::fstat(in.fd, &st) != 0) return fail("cannot read", source, error);
  out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out.fd < 0) return fail("cannot create", target, error);

  std::int64_t copied = 0;
  bool fallback = false;
  while (!fallback) {
    ssize_t n = ::copy_file_range(in.fd, nullptr, out.fd, nullptr, 1 << 30, 0);
    if (n > 0) {
      copied += n;
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
      fallback = true;
      break;
    }
    std::int64_t r = fail("cannot copy to", target, error);
    ::unlink(target.c_str());
    return r;
  }
  if (fallback) {
    if (!copyByBlocks(in.fd, out.fd, copied)) {
      std::int64_t r = fail("cannot copy to", target, error);
      ::unlink(target.c_str());
      return r;
    }
    copied = static_cast<std::int64_t>(::lseek(out.fd, 0, SEEK_CUR));
  }
  if (::close(out.fd) != 0) {
    out.fd = -1;
    std::int64_t r = fail("cannot finish", target, error);
    ::unlink(target.c_str());
    return r;
  }
  out.fd = -1;
  return copied;
}

}  // namespace tarnwick::transfer
