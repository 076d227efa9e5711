#pragma once
// The local service of a soak run: on fixed ports and a fixed data folder, so
// that it can be killed and started again under the same addresses.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::soak {

// A file of size random bytes from rng; false when it could not be written.
inline bool writeRandom(const std::string& path, std::int64_t size, std::mt19937_64& rng) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 16);
  for (std::int64_t done = 0; done < size;) {
    for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
      const std::uint64_t v = rng();
      std::memcpy(&block[i], &v, 8);
    }
    const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), size - done);
    out.write(block.data(), n);
    done += n;
  }
  return static_cast<bool>(out);
}

inline int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class Service {
 public:
  Service(std::string data, int http, int ftp) : m_data(std::move(data)), m_http(http), m_ftp(ftp) {}
  ~Service() { kill(); }
  bool start() {
    const std::string script = TARNWICK_SOURCE_DIR "/service/start";
    const std::string http = std::to_string(m_http), ftp = std::to_string(m_ftp);
    for (int attempt = 0; attempt < 50; ++attempt) {
      const std::string log = m_data + "/../service-out.txt";
      posix_spawn_file_actions_t fa;
      posix_spawn_file_actions_init(&fa);
      posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
      const char* argv[] = {script.c_str(), "--http", http.c_str(), "--ftp", ftp.c_str(), "--data", m_data.c_str(),
                            nullptr};
      const int rc = posix_spawn(&m_pid, script.c_str(), &fa, nullptr, const_cast<char**>(argv), environ);
      posix_spawn_file_actions_destroy(&fa);
      if (rc != 0) return false;
      for (int i = 0; i < 200; ++i) {  // "ready ..." within 20 s
        std::ifstream in(log);
        std::string line;
        if (std::getline(in, line) && line.rfind("ready", 0) == 0) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) break;  // ended: the port is not free yet
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      kill();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
  }
  void kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }
  std::string host() const { return "http://127.0.0.1:" + std::to_string(m_http); }
  std::string ftpHost() const { return "127.0.0.1:" + std::to_string(m_ftp); }

 private:
  std::string m_data;
  int m_http, m_ftp;
  pid_t m_pid = -1;
};

}  // namespace tarnwick::soak
