#pragma once
// A raw HTTP listener on 127.0.0.1 for wire-level tests: records every
// request byte-exact and answers with what the test's responder returns.
// Bounded: every wait has a time-out and the thread ends with the object.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::test {

struct RawRequest {
  std::string raw;      // everything received: head and body
  std::string head;     // request line and headers, up to and including the empty line
  std::string body;
  std::string requestLine() const { return head.substr(0, head.find("\r\n")); }
  // Header lines in the order received (without the request line).
  std::vector<std::string> headerLines() const {
    std::vector<std::string> out;
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
      const std::size_t next = head.find("\r\n", pos + 2);
      if (next == std::string::npos || next == pos + 2) break;
      out.push_back(head.substr(pos + 2, next - pos - 2));
      pos = next;
    }
    return out;
  }
  std::string header(const std::string& name) const {
    for (const auto& line : headerLines())
      if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0 &&
          line[name.size()] == ':')
        return line.substr(name.size() + 2);
    return {};
  }
};

// The responder writes the whole reply (status line, headers, body) to the
// socket through send; it may sleep between parts to simulate a slow reply.
using Responder = std::function<void(const RawRequest&, const std::function<void(const std::string&)>& send)>;

inline std::string simpleReply(const std::string& body, const std::string& extraHeaders = "") {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// A listening socket on a free port of 127.0.0.1; its port in port.
inline int listenOnLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(fd, 16);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

// Reads one request from fd (head, then Content-Length bytes of body) within
// 5 s; false when no whole head arrived (the peer closed, the time ran out,
// or stop was set). A body cut short keeps what arrived.
inline bool readRawRequest(int fd, RawRequest& req, const std::atomic<bool>& stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::size_t headEnd = std::string::npos;
  std::size_t want = 0;
  char buf[4096];
  while (std::chrono::steady_clock::now() < deadline && !stop) {
    if (headEnd != std::string::npos && req.raw.size() >= headEnd + want) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    req.raw.append(buf, static_cast<std::size_t>(n));
    if (headEnd == std::string::npos) {
      const std::size_t e = req.raw.find("\r\n\r\n");
      if (e != std::string::npos) {
        headEnd = e + 4;
        req.head = req.raw.substr(0, headEnd);
        const std::string len = req.header("Content-Length");
        want = len.empty() ? 0 : std::stoul(len);
      }
    }
  }
  if (headEnd == std::string::npos) return false;
  req.body = req.raw.substr(headEnd);
  return true;
}

class RawServer {
 public:
  explicit RawServer(Responder responder) : m_responder(std::move(responder)) {
    m_listen = listenOnLoopback(m_port);
    m_thread = std::thread([this] { loop(); });
  }
  ~RawServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return m_port; }
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  std::vector<RawRequest> requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

 private:
  void loop() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
      pollfd p{m_listen, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept(m_listen, nullptr, nullptr);
      if (fd < 0) continue;
      serve(fd);
      ::close(fd);
    }
  }

  // Reads one request (head, then Content-Length bytes of body) within 5 s.
  void serve(int fd) {
    RawRequest req;
    if (!readRawRequest(fd, req, m_stop)) return;
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(req);
    }
    m_responder(req, [fd](const std::string& bytes) {
      std::size_t off = 0;
      while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return;
        off += static_cast<std::size_t>(n);
      }
    });
  }

  Responder m_responder;
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<RawRequest> m_requests;
  std::thread m_thread;
};

}  // namespace tarnwick::test
