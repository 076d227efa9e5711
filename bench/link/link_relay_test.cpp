// The relay's timing (handshake and round trip, bandwidth cap) measured
// through it against an echo server, and FTP data connections that follow a
// rewritten passive reply through the relay to the server's data port.
#include "link_relay.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using tarnwick::bench::LinkRelay;
using tarnwick::bench::LinkShape;

namespace {

using Clock = std::chrono::steady_clock;

void timeOut(int fd) {
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// A blocking listener on 127.0.0.1 at a free port.
int listenAt(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, 8);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  timeOut(fd);
  return fd;
}

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  timeOut(fd);
  return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
}

bool sendAll(int fd, const std::string& s) {
  for (std::size_t at = 0; at < s.size();) {
    const ssize_t n = ::send(fd, s.data() + at, s.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

std::string receive(int fd, std::size_t bytes) {
  std::string out;
  char buf[65536];
  while (out.size() < bytes) {
    const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, bytes - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

std::string receiveLine(int fd) {
  std::string out;
  char c;
  while (out.size() < 4096 && ::recv(fd, &c, 1, 0) == 1) {
    out += c;
    if (c == '\n') break;
  }
  return out;
}

// Echoes everything on one connection, then ends.
class EchoServer {
 public:
  EchoServer() : m_fd(listenAt(m_port)) {
    m_thread = std::thread([this] {
      const int c = ::accept(m_fd, nullptr, nullptr);
      if (c < 0) return;
      timeOut(c);
      char buf[65536];
      for (ssize_t n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;)
        if (!sendAll(c, std::string(buf, static_cast<std::size_t>(n)))) break;
      ::close(c);
    });
  }
  ~EchoServer() {
    ::shutdown(m_fd, SHUT_RDWR);
    m_thread.join();
    ::close(m_fd);
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

 private:
  int m_port = 0;
  int m_fd;
  std::thread m_thread;
};

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

struct TimingCase {
  const char* name;
  LinkShape shape;
  std::size_t bytes;            // echoed twice on one connection
  double firstMin, firstMax;    // connect and the first echo, ms
  double secondMin, secondMax;  // the second echo, ms
};

TEST(LinkRelay, AddsHandshakeRoundTripAndCap) {
  const TimingCase cases[] = {
      // connect + first echo: one round trip of handshake, one of the echo.
      {"40 ms", {40ms, 0}, 1, 80, 120, 40, 80},
      {"0 ms", {0ms, 0}, 1, 0, 40, 0, 40},  // under the relay's idle wake (50 ms)
      // 1 MiB/s each way: 200 KiB take 0.2 s to cross, the echo overlapping.
      {"1 MiB/s", {0ms, 1 << 20}, 200 << 10, 190, 600, 190, 600},
  };
  for (const TimingCase& t : cases) {
    SCOPED_TRACE(t.name);
    EchoServer echo;
    LinkRelay relay(t.shape);
    const int port = relay.add(echo.address());
    ASSERT_NE(port, 0);
    ASSERT_TRUE(relay.start());
    const std::string payload(t.bytes, 'x');
    auto began = Clock::now();
    const int fd = connectTo(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, payload));
    EXPECT_EQ(receive(fd, payload.size()), payload);
    const double first = msSince(began);
    EXPECT_GE(first, t.firstMin);
    EXPECT_LT(first, t.firstMax);
    began = Clock::now();
    ASSERT_TRUE(sendAll(fd, payload));
    EXPECT_EQ(receive(fd, payload.size()), payload);
    const double second = msSince(began);
    EXPECT_GE(second, t.secondMin);
    EXPECT_LT(second, t.secondMax);
    ::close(fd);
  }
}

// A control connection answering PASV or EPSV with its data port, and a
// data port that writes "payload" to whoever connects.
TEST(LinkRelay, PassiveRepliesLeadThroughTheRelay) {
  const struct {
    const char* command;
    std::string (*reply)(int port);
  } cases[] = {
      {"PASV",
       [](int p) {
         return "227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) +
                ").\r\n";
       }},
      {"EPSV", [](int p) { return "229 Entering Extended Passive Mode (|||" + std::to_string(p) + "|).\r\n"; }},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.command);
    int controlPort = 0, dataPort = 0;
    const int control = listenAt(controlPort);
    const int data = listenAt(dataPort);
    std::thread server([&] {
      const int c = ::accept(control, nullptr, nullptr);
      if (c < 0) return;
      timeOut(c);
      sendAll(c, "220 ready\r\n");
      if (receiveLine(c).rfind(t.command, 0) == 0) {
        sendAll(c, t.reply(dataPort));
        const int d = ::accept(data, nullptr, nullptr);
        if (d >= 0) sendAll(d, "payload"), ::close(d);
      }
      receiveLine(c);  // until the client closes
      ::close(c);
    });
    LinkRelay relay({10ms, 0});
    const int port = relay.add("127.0.0.1:" + std::to_string(controlPort), true);
    ASSERT_TRUE(relay.start());
    const int fd = connectTo(port);
    EXPECT_EQ(receiveLine(fd), "220 ready\r\n");
    sendAll(fd, std::string(t.command) + "\r\n");
    const std::string reply = receiveLine(fd);
    int relayed = 0;
    if (reply.rfind("227", 0) == 0) {
      unsigned h[4], p[2];
      ASSERT_EQ(std::sscanf(reply.c_str(), "227 Entering Passive Mode (%u,%u,%u,%u,%u,%u).", &h[0], &h[1], &h[2], &h[3],
                            &p[0], &p[1]),
                6)
          << reply;
      EXPECT_EQ(h[0] * 1000 + h[3], 127001u);
      relayed = static_cast<int>(p[0] * 256 + p[1]);
    } else {
      ASSERT_EQ(std::sscanf(reply.c_str(), "229 Entering Extended Passive Mode (|||%d|).", &relayed), 1) << reply;
    }
    EXPECT_NE(relayed, dataPort);
    const auto began = Clock::now();
    const int d = connectTo(relayed);
    ASSERT_GE(d, 0);
    EXPECT_EQ(receive(d, 7), "payload");
    EXPECT_GE(msSince(began), 10);  // the data connection crossed the link too
    EXPECT_EQ(relay.accepted(), 2u);
    ::close(d);
    ::close(fd);
    server.join();
    ::close(control);
    ::close(data);
  }
}

}  // namespace
