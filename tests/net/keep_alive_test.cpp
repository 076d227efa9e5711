// Kept-alive connections of the HTTP engine: requests of one thread share the
// connection the server left open, and a connection the server closes (after
// a reply, or as the next request arrives) costs no failed request.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http.h"
#include "raw_server.h"

using namespace tarnwick::net;

namespace {

// Serves requests one connection at a time, several per connection. After
// `perConnection` replies on a connection it ends it: silently after the
// last reply (closeAfterReply), or by reading the next request and closing
// without an answer. Records which connection carried each request.
class KeepAliveServer {
 public:
  KeepAliveServer(int perConnection, bool closeAfterReply)
      : m_perConnection(perConnection), m_closeAfterReply(closeAfterReply) {
    m_listen = tarnwick::test::listenOnLoopback(m_port);
    m_thread = std::thread([this] { loop(); });
  }
  ~KeepAliveServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
  // (connection number, request line) of every request read, answered or not.
  std::vector<std::pair<int, std::string>> seen() const {
    std::lock_guard lock(m_mutex);
    return m_seen;
  }

 private:
  void loop() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int connection = 0;
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
      pollfd p{m_listen, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept(m_listen, nullptr, nullptr);
      if (fd < 0) continue;
      ++connection;
      for (int served = 0; !m_stop;) {
        tarnwick::test::RawRequest request;
        if (!tarnwick::test::readRawRequest(fd, request, m_stop)) break;
        const std::string line = request.requestLine();
        {
          std::lock_guard lock(m_mutex);
          m_seen.emplace_back(connection, line);
        }
        if (served == m_perConnection) break;  // read, never answered
        const std::string body = "reply to " + line;
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (++served == m_perConnection && m_closeAfterReply) break;
      }
      ::close(fd);
    }
  }

  int m_perConnection;
  bool m_closeAfterReply;
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::pair<int, std::string>> m_seen;
  std::thread m_thread;
};

TEST(HttpKeepAlive, RequestsShareTheConnectionAndSurviveItsEnd) {
  struct Case {
    const char* what;
    bool closeAfterReply;
    // Connection of each request line the server read, in order.
    std::vector<std::pair<int, std::string>> expected;
  };
  const Case cases[] = {
      {"closed after the second reply", true,
       {{1, "GET /a HTTP/1.1"}, {1, "POST /b HTTP/1.1"}, {2, "POST /c HTTP/1.1"}, {2, "GET /d HTTP/1.1"},
        {3, "POST /e HTTP/1.1"}}},
      {"closed as the third request arrives", false,
       {{1, "GET /a HTTP/1.1"}, {1, "POST /b HTTP/1.1"}, {1, "POST /c HTTP/1.1"}, {2, "POST /c HTTP/1.1"},
        {2, "GET /d HTTP/1.1"}, {2, "POST /e HTTP/1.1"}, {3, "POST /e HTTP/1.1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeepAliveServer server(2, c.closeAfterReply);
    // A thread of its own: its connections are its own, nothing of another test's.
    std::thread([&] {
      for (const char* path : {"/a", "/b", "/c", "/d", "/e"}) {
        const bool post = path[1] != 'a' && path[1] != 'd';
        const std::string reply =
            httpRequestText(server.url(path), post ? "POST" : "GET", "", "", post ? "x=1" : "");
        EXPECT_EQ(reply, std::string("reply to ") + (post ? "POST " : "GET ") + path + " HTTP/1.1");
      }
    }).join();
    EXPECT_EQ(server.seen(), c.expected);
  }
}

}  // namespace
