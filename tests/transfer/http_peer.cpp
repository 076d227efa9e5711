#include "http_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstring>

namespace tarnwick::transfer::test {
namespace {

void sendAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
}

}  // namespace

HttpPeer::HttpPeer(Behaviour b) : m_b(std::move(b)) {
  m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(m_listen, 8);
  socklen_t len = sizeof a;
  ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
  m_port = ntohs(a.sin_port);
  m_thread = std::thread([this] { serve(); });
}

HttpPeer::~HttpPeer() {
  m_stop = true;
  m_thread.join();
  ::close(m_listen);
}

std::string HttpPeer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> HttpPeer::requests() const {
  std::lock_guard l(m_mutex);
  return m_requests;
}

void HttpPeer::setBehaviour(Behaviour b) {
  std::lock_guard l(m_mutex);
  m_b = std::move(b);
}

void HttpPeer::serve() {
  while (!m_stop) {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept(m_listen, nullptr, nullptr);
    if (fd < 0) continue;
    std::string req;
    char buf[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (req.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd q{fd, POLLIN, 0};
      if (::poll(&q, 1, 50) <= 0) continue;
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      req.append(buf, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard l(m_mutex);
      m_requests.push_back(req);
    }
    answer(fd, req);
    ::close(fd);
  }
}

void HttpPeer::answer(int fd, const std::string& req) {
  Behaviour b;
  {
    std::lock_guard l(m_mutex);
    b = m_b;
  }
  std::string head;
  if (b.forceStatus) {
    std::string body = "status " + std::to_string(b.forceStatus);
    head = "HTTP/1.1 " + std::to_string(b.forceStatus) + " Test\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    sendAll(fd, head.data(), head.size());
    return;
  }
  if (!b.rawHead.empty()) {
    std::string all = b.rawHead + b.body;
    sendAll(fd, all.data(), all.size());
    return;
  }
  long start = 0;
  auto r = req.find("\r\nRange: bytes=");
  bool ranged = b.honourRange && r != std::string::npos;
  if (ranged) start = std::atol(req.c_str() + r + 15);
  long size = static_cast<long>(b.body.size());
  if (ranged && start >= size) {
    head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    sendAll(fd, head.data(), head.size());
    return;
  }
  if (!ranged) start = 0;
  if (ranged && b.rangeFromZero) start = 0;
  long count = size - start;
  if (ranged && b.rangeChunk > 0) count = std::min(count, b.rangeChunk);
  if (ranged)
    head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(start) + "-" +
           std::to_string(start + count - 1) + "/" + std::to_string(size) + "\r\n";
  else
    head = "HTTP/1.1 200 OK\r\n";
  if (!(b.noLength && !ranged)) head += "Content-Length: " + std::to_string(count) + "\r\n";
  head += "Connection: close\r\n\r\n";
  sendAll(fd, head.data(), head.size());
  long send = count;
  if (b.cutAfter >= 0 && b.cutAfter < send) send = b.cutAfter;
  if (b.cutAt >= 0) send = std::max(0L, std::min(send, b.cutAt - start));
  if (b.hangAfterHeaders) send = std::min(send, 1000L);
  sendAll(fd, b.body.data() + start, static_cast<std::size_t>(send));
  if (b.hangAfterHeaders) {
    // Stall without closing until the client gives up or the peer stops.
    char c;
    while (!m_stop) {
      pollfd q{fd, POLLIN, 0};
      if (::poll(&q, 1, 50) > 0 && ::recv(fd, &c, 1, 0) <= 0) break;
    }
  }
}

}  // namespace tarnwick::transfer::test
