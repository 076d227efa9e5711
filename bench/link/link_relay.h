#pragma once
// A relay on 127.0.0.1 that gives the connections between the client and the
// local service the timing of a distant link:
//   - a new connection's first bytes leave one round trip after it was
//     opened (the TCP handshake); the server's first bytes reach the client
//     no earlier than two round trips after (the server accepts only on the
//     handshake's last packet, half a round trip later still);
//   - every chunk then takes half a round trip in either direction;
//   - with a bandwidth cap, the chunks of all connections of one direction
//     share the cap (one line to the service, as a real link has).
// A relayed FTP control connection has its passive replies ("227 ... (h1,h2,
// h3,h4,p1,p2)" and "229 ... (|||port|)") rewritten to a port of the relay
// that leads to the server's data port, so data connections cross the same
// link. Everything runs on one thread of its own; at 0 ms and no cap it only
// copies bytes.
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::bench {

struct LinkShape {
  std::chrono::microseconds roundTrip{0};
  std::int64_t bytesPerSecond = 0;  // 0: no cap
};

class LinkRelay {
 public:
  explicit LinkRelay(LinkShape shape = {});
  ~LinkRelay();
  LinkRelay(const LinkRelay&) = delete;
  LinkRelay& operator=(const LinkRelay&) = delete;

  // Listens on a free port of 127.0.0.1 and relays every connection to
  // upstream ("host:port", an IPv4 address); ftp: rewrite passive replies.
  // The port, or 0 when it could not listen. Call before start().
  int add(const std::string& upstream, bool ftp = false);
  bool start();
  void stop();
  // The shape of chunks read from now on (connections already open keep
  // their handshake times).
  void setShape(LinkShape shape);
  LinkShape shape() const;
  // Connections accepted so far (passive data connections included).
  std::uint64_t accepted() const { return m_accepted.load(); }

  struct Listener;
  struct Connection;

 private:
  void run();
  void acceptOn(Listener& l);
  void rewritePassive(Connection& c, std::string& line);

  mutable std::mutex m_shapeMutex;
  LinkShape m_shape;
  std::vector<std::unique_ptr<Listener>> m_listeners;
  std::vector<std::unique_ptr<Connection>> m_connections;
  std::chrono::steady_clock::time_point m_linkFree[2];  // per direction, with a cap
  std::atomic<bool> m_stop{false};
  std::atomic<std::uint64_t> m_accepted{0};
  std::thread m_thread;
};

// "host:port" to an IPv4 socket address; false when it is not one.
bool parseAddress(const std::string& hostPort, sockaddr_in& out);

}  // namespace tarnwick::bench
