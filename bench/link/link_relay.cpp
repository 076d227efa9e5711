#include "link_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>

namespace tarnwick::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxQueued = 4 << 20;  // per direction: reading stops above it (a window)
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kMaxControlLine = 8192;  // longer: passed on as it is
constexpr auto kPassiveLife = std::chrono::seconds(60);
constexpr auto kIdleWake = std::chrono::milliseconds(50);  // how soon stop() is seen

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void setNoDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// A non-blocking listener on 127.0.0.1 at a free port; -1 on failure.
int listenLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 128) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    return -1;
  }
  setNonBlocking(fd);
  port = ntohs(a.sin_port);
  return fd;
}

struct Chunk {
  Clock::time_point due;
  std::string bytes;
  bool fin = false;  // the sender's end of stream
};

}  // namespace

bool parseAddress(const std::string& hostPort, sockaddr_in& out) {
  const std::size_t colon = hostPort.rfind(':');
  if (colon == std::string::npos) return false;
  out = {};
  out.sin_family = AF_INET;
  const std::string host = hostPort.substr(0, colon) == "localhost" ? "127.0.0.1" : hostPort.substr(0, colon);
  char* end = nullptr;
  const long port = std::strtol(hostPort.c_str() + colon + 1, &end, 10);
  if (port <= 0 || port > 65535 || *end != '\0') return false;
  out.sin_port = htons(static_cast<std::uint16_t>(port));
  return ::inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1;
}

struct LinkRelay::Listener {
  int fd = -1;
  sockaddr_in target{};
  bool ftp = false;
  bool once = false;  // a passive data port: one connection, then closed
  Clock::time_point expires = Clock::time_point::max();
  ~Listener() {
    if (fd >= 0) ::close(fd);
  }
};

namespace {

// One direction of a relayed connection: bytes read from `from`, held until
// due, written to `to`.
struct Direction {
  int from = -1;
  int to = -1;
  Clock::time_point open;  // nothing leaves before this (the handshake)
  std::deque<Chunk> chunks;
  std::size_t queued = 0;  // bytes read and not yet written
  std::string out;         // due bytes being written
  std::size_t outAt = 0;
  bool eof = false;     // `from` ended its stream
  bool finDue = false;  // ... and the end is due at `to`
  bool done = false;    // `to` was shut down for writing
  std::string line;     // FTP replies: a line not complete yet
};

}  // namespace

struct LinkRelay::Connection {
  int client = -1;
  int server = -1;
  sockaddr_in upstream{};
  bool ftp = false;
  bool broken = false;
  Direction up;    // client to server
  Direction down;  // server to client
  ~Connection() {
    if (client >= 0) ::close(client);
    if (server >= 0) ::close(server);
  }
};

LinkRelay::LinkRelay(LinkShape shape) : m_shape(shape) {}

LinkRelay::~LinkRelay() { stop(); }

void LinkRelay::setShape(LinkShape shape) {
  std::lock_guard lock(m_shapeMutex);
  m_shape = shape;
}

LinkShape LinkRelay::shape() const {
  std::lock_guard lock(m_shapeMutex);
  return m_shape;
}

int LinkRelay::add(const std::string& upstream, bool ftp) {
  if (m_thread.joinable()) return 0;
  auto l = std::make_unique<Listener>();
  if (!parseAddress(upstream, l->target)) return 0;
  int port = 0;
  l->fd = listenLoopback(port);
  if (l->fd < 0) return 0;
  l->ftp = ftp;
  m_listeners.push_back(std::move(l));
  return port;
}

bool LinkRelay::start() {
  if (m_thread.joinable()) return true;
  m_stop = false;
  m_thread = std::thread([this] { run(); });
  return true;
}

void LinkRelay::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  m_connections.clear();
}

void LinkRelay::acceptOn(Listener& l) {
  const LinkShape s = shape();
  for (int i = 0; i < 64; ++i) {
    const int client = ::accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    const auto now = Clock::now();
    auto c = std::make_unique<Connection>();
    c->client = client;
    c->upstream = l.target;
    c->ftp = l.ftp;
    // The service is on this machine: the connect is done (or refused) at once.
    c->server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (c->server < 0 || ::connect(c->server, reinterpret_cast<const sockaddr*>(&l.target), sizeof l.target) != 0)
      continue;  // the client sees its connection closed
    setNonBlocking(c->server);
    setNoDelay(c->server);
    setNoDelay(c->client);
    c->up.from = c->down.to = c->client;
    c->up.to = c->down.from = c->server;
    c->up.open = now + s.roundTrip;
    c->down.open = now + s.roundTrip + s.roundTrip / 2;
    m_connections.push_back(std::move(c));
    ++m_accepted;
    if (l.once) {
      ::close(l.fd);
      l.fd = -1;
      return;
    }
  }
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." and "229 ... (|||port|)"
// name the server's data port; a new relay port to it takes its place.
void LinkRelay::rewritePassive(Connection& c, std::string& line) {
  const bool pasv = line.rfind("227", 0) == 0;
  const bool epsv = line.rfind("229", 0) == 0;
  if (!pasv && !epsv) return;
  sockaddr_in target = c.upstream;
  std::size_t from = 0, length = 0;
  if (pasv) {
    for (std::size_t i = 4; i < line.size() && length == 0; ++i) {
      unsigned h[4], p[2];
      int used = 0;
      if (!std::isdigit(static_cast<unsigned char>(line[i])) || std::isdigit(static_cast<unsigned char>(line[i - 1])))
        continue;
      if (std::sscanf(line.c_str() + i, "%u,%u,%u,%u,%u,%u%n", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1], &used) != 6 ||
          p[0] > 255 || p[1] > 255)
        continue;
      const std::uint32_t ip = (h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3];
      if (ip != 0) target.sin_addr.s_addr = htonl(ip);  // 0.0.0.0: the control connection's host
      target.sin_port = htons(static_cast<std::uint16_t>(p[0] * 256 + p[1]));
      from = i;
      length = static_cast<std::size_t>(used);
    }
  } else {
    const std::size_t bars = line.find("(|||");
    if (bars == std::string::npos) return;
    char* end = nullptr;
    const long port = std::strtol(line.c_str() + bars + 4, &end, 10);
    if (port <= 0 || port > 65535 || *end != '|') return;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    from = bars + 4;
    length = static_cast<std::size_t>(end - (line.c_str() + from));
  }
  if (length == 0) return;
  auto l = std::make_unique<Listener>();
  int port = 0;
  l->fd = listenLoopback(port);
  if (l->fd < 0) return;  // the reply goes on unchanged: the data connection bypasses the link
  l->target = target;
  l->once = true;
  l->expires = Clock::now() + kPassiveLife;
  m_listeners.push_back(std::move(l));
  line.replace(
      from, length,
      pasv ? "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) : std::to_string(port));
}

void LinkRelay::run() {
  std::vector<pollfd> fds;
  std::vector<char> buffer(kChunk);
  while (!m_stop) {
    const LinkShape s = shape();
    const std::size_t chunkLimit =
        s.bytesPerSecond > 0 ? std::clamp<std::size_t>(s.bytesPerSecond / 100, 1460, kChunk) : kChunk;
    auto now = Clock::now();
    Clock::time_point wake = now + kIdleWake;

    // Due chunks to their sockets.
    for (auto& c : m_connections) {
      for (Direction* d : {&c->up, &c->down}) {
        while (!d->chunks.empty() && d->chunks.front().due <= now) {
          Chunk& k = d->chunks.front();
          if (k.fin) d->finDue = true;
          if (d->outAt == d->out.size()) d->out.clear(), d->outAt = 0;
          d->out += k.bytes;
          d->chunks.pop_front();
        }
        if (!d->chunks.empty()) wake = std::min(wake, d->chunks.front().due);
        while (d->outAt < d->out.size() && !c->broken) {
          const ssize_t n = ::send(d->to, d->out.data() + d->outAt, d->out.size() - d->outAt, MSG_NOSIGNAL);
          if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            c->broken = true;
            break;
          }
          d->outAt += static_cast<std::size_t>(n);
          d->queued -= static_cast<std::size_t>(n);
        }
        if (d->finDue && !d->done && d->outAt == d->out.size()) {
          ::shutdown(d->to, SHUT_WR);
          d->done = true;
        }
      }
    }
    std::erase_if(m_connections, [](const auto& c) { return c->broken || (c->up.done && c->down.done); });
    std::erase_if(m_listeners, [&](const auto& l) { return l->fd < 0 || l->expires <= now; });
    for (const auto& l : m_listeners) wake = std::min(wake, l->expires);

    fds.clear();
    for (const auto& l : m_listeners) fds.push_back({l->fd, POLLIN, 0});
    const std::size_t firstConnection = fds.size();
    for (const auto& c : m_connections) {
      const auto events = [](const Direction& reading, const Direction& writing) -> short {
        short e = 0;
        if (!reading.eof && reading.queued < kMaxQueued) e |= POLLIN;
        if (writing.outAt < writing.out.size()) e |= POLLOUT;
        return e;
      };
      const short ce = events(c->up, c->down);
      const short se = events(c->down, c->up);
      fds.push_back({ce ? c->client : -1, ce, 0});
      fds.push_back({se ? c->server : -1, se, 0});
    }
    const auto left = std::max(std::chrono::nanoseconds(0), wake - now);
    const timespec timeout{static_cast<time_t>(left.count() / 1000000000),
                           static_cast<long>(left.count() % 1000000000)};
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) break;
    now = Clock::now();

    // Reads: each chunk is given its due time as it arrives.
    const std::size_t connections = m_connections.size();
    for (std::size_t i = 0; i < connections; ++i) {
      Connection& c = *m_connections[i];
      for (int side = 0; side < 2; ++side) {
        const pollfd& p = fds[firstConnection + 2 * i + side];
        Direction& d = side == 0 ? c.up : c.down;
        if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)) || d.eof || c.broken) continue;
        if (!(p.events & POLLIN)) {
          if (p.revents & POLLERR) c.broken = true;
          continue;
        }
        const ssize_t n = ::recv(d.from, buffer.data(), chunkLimit, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n < 0) {
          c.broken = true;
          continue;
        }
        std::string bytes(buffer.data(), static_cast<std::size_t>(n));
        if (n == 0) d.eof = true;
        if (c.ftp && side == 1) {
          // Control replies pass a whole line at a time, passive ones rewritten.
          d.line += bytes;
          bytes.clear();
          for (std::size_t nl; (nl = d.line.find('\n')) != std::string::npos;) {
            std::string line = d.line.substr(0, nl + 1);
            d.line.erase(0, nl + 1);
            rewritePassive(c, line);
            bytes += line;
          }
          if (d.eof || d.line.size() > kMaxControlLine) bytes += d.line, d.line.clear();
          if (bytes.empty() && !d.eof) continue;
        }
        const int which = side;
        Clock::time_point sent = std::max(now, d.open);
        if (s.bytesPerSecond > 0) {
          sent = std::max(sent, m_linkFree[which]);
          sent += std::chrono::microseconds(static_cast<std::int64_t>(bytes.size()) * 1000000 / s.bytesPerSecond);
          m_linkFree[which] = sent;
        }
        const Clock::time_point due = sent + s.roundTrip / 2;
        d.queued += bytes.size();
        if (!bytes.empty()) d.chunks.push_back({due, std::move(bytes), false});
        if (d.eof) d.chunks.push_back({due, {}, true});
      }
    }
    for (std::size_t i = 0; i < firstConnection; ++i)
      if (fds[i].revents & POLLIN) acceptOn(*m_listeners[i]);
  }
}

}  // namespace tarnwick::bench
