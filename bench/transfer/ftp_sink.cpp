#include "ftp_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

int listenOn(int& port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(s, 4);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return s;
}

void say(int fd, const std::string& line) {
  std::string l = line + "\r\n";
  (void)!::send(fd, l.data(), l.size(), MSG_NOSIGNAL);
}

// One command line, or false when the connection ended or stayed silent for 30 s.
bool readLine(int fd, std::string& buffer, std::string& line) {
  for (;;) {
    auto nl = buffer.find("\r\n");
    if (nl != std::string::npos) {
      line = buffer.substr(0, nl);
      buffer.erase(0, nl + 2);
      return true;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 30000) <= 0) return false;
    char b[512];
    ssize_t n = ::recv(fd, b, sizeof b, 0);
    if (n <= 0) return false;
    buffer.append(b, static_cast<std::size_t>(n));
  }
}

}  // namespace

FtpSink::FtpSink() {
  m_listen = listenOn(m_port);
  m_thread = std::thread([this] { serve(); });
}

FtpSink::~FtpSink() {
  m_stop = true;
  m_thread.join();
  ::close(m_listen);
}

void FtpSink::serve() {
  while (!m_stop) {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    int fd = ::accept(m_listen, nullptr, nullptr);
    if (fd < 0) continue;
    session(fd);
    ::close(fd);
  }
}

void FtpSink::session(int fd) {
  say(fd, "220 sink ready");
  std::string buffer, line;
  int pasv = -1;
  std::vector<char> data(1 << 20);
  while (readLine(fd, buffer, line)) {
    std::string cmd = line.substr(0, line.find(' '));
    if (cmd == "USER") say(fd, "331 password please");
    else if (cmd == "PASS") say(fd, "230 logged in");
    else if (cmd == "PWD") say(fd, "257 \"/\"");
    else if (cmd == "CWD" || cmd == "TYPE" || cmd == "MODE") say(fd, "200 ok");
    else if (cmd == "REST") say(fd, "350 restarting");
    else if (cmd == "PASV") {
      int port = 0;
      if (pasv >= 0) ::close(pasv);
      pasv = listenOn(port);
      say(fd, "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                  std::to_string(port % 256) + ")");
    } else if (cmd == "STOR" && pasv >= 0) {
      say(fd, "150 send it");
      pollfd p{pasv, POLLIN, 0};
      int d = ::poll(&p, 1, 10000) > 0 ? ::accept(pasv, nullptr, nullptr) : -1;
      std::int64_t total = 0;
      while (d >= 0) {
        ssize_t n = ::recv(d, data.data(), data.size(), 0);
        if (n <= 0) break;
        total += n;
      }
      if (d >= 0) ::close(d);
      ::close(pasv);
      pasv = -1;
      m_last = total;
      say(fd, "226 received " + std::to_string(total));
    } else if (cmd == "QUIT") {
      say(fd, "221 bye");
      break;
    } else say(fd, "502 not here");
  }
  if (pasv >= 0) ::close(pasv);
}
