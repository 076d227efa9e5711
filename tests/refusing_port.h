#pragma once
// A 127.0.0.1 port that refuses connections while the object lives: bound but
// never listening, so no other test can take the port meanwhile (a port that
// was merely freed can be reused at once under ctest -j).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class RefusingPort {
 public:
  RefusingPort() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      m_port = ntohs(a.sin_port);
  }
  ~RefusingPort() {
    if (m_fd >= 0) ::close(m_fd);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return m_port; }

 private:
  int m_fd;
  int m_port = 0;
};
