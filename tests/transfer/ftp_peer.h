#pragma once
// Starts tests/transfer/ftp_peer.py (a recording pyftpdlib server on
// 127.0.0.1) in a folder of its own and stops it again.

#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick::transfer::test {

class FtpPeer {
public:
  // refusePassive: PASV and EPSV are answered 502.
  explicit FtpPeer(bool refusePassive = false);
  // Further options of ftp_peer.py ("--rest-reply", "502 No.", ...).
  explicit FtpPeer(const std::vector<std::string>& options);
  ~FtpPeer();
  bool ok() const { return m_port > 0; }
  int port() const { return m_port; }
  const std::string& folder() const { return m_folder; }
  std::string url(const std::string& name) const;
  std::string log() const;  // every command received, one a line
  void kill();              // SIGKILL, at once

private:
  pid_t m_pid = -1;
  int m_port = 0;
  std::string m_root, m_folder, m_log;
};

// A fresh empty folder under /tmp, removed by the caller.
std::string makeTempDir(const std::string& tag);
void removeTree(const std::string& path);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace tarnwick::transfer::test
