#include "ftp_peer.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef TARNWICK_TEST_DIR
#define TARNWICK_TEST_DIR "."
#endif

namespace tarnwick::transfer::test {

std::string makeTempDir(const std::string& tag) {
  std::string t = "/tmp/tarnwick-" + tag + "-XXXXXX";
  char* made = ::mkdtemp(t.data());
  return made ? std::string(made) : std::string();
}

void removeTree(const std::string& path) {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FtpPeer::FtpPeer(bool refusePassive)
    : FtpPeer(refusePassive ? std::vector<std::string>{"--refuse-passive"} : std::vector<std::string>{}) {}

FtpPeer::FtpPeer(const std::vector<std::string>& options) {
  m_root = makeTempDir("ftp");
  m_folder = m_root + "/files";
  m_log = m_root + "/commands.log";
  std::filesystem::create_directories(m_folder);
  const std::string script = std::string(TARNWICK_TEST_DIR) + "/ftp_peer.py";
  std::vector<std::string> args = {"python3", script, m_folder, m_log};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe(out) != 0) return;
  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execv("/usr/bin/python3", argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  for (int waited = 0; waited < 100 && line.find('\n') == std::string::npos; ++waited) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[64];
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (line.rfind("ready ", 0) == 0) m_port = std::atoi(line.c_str() + 6);
}

FtpPeer::~FtpPeer() {
  kill();
  removeTree(m_root);
}

void FtpPeer::kill() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }
}

std::string FtpPeer::url(const std::string& name) const {
  return "ftp://127.0.0.1:" + std::to_string(m_port) + "/" + name;
}

std::string FtpPeer::log() const { return readFile(m_log); }

}  // namespace tarnwick::transfer::test
