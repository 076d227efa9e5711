#include "transfer/send_queue.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include <curl/curl.h>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/sockios.h>
#include <linux/tcp.h>  // the kernel's tcp_info: glibc's lacks the peer window
#include <cstddef>
#endif

namespace tarnwick::transfer {
namespace {

// Which watch each open socket belongs to. Never destroyed: a cached
// connection may close during the process's exit.
struct SocketOwners {
  std::mutex mutex;
  std::unordered_map<int, SendQueueWatch*> owner;
};
SocketOwners& owners() {
  static auto* table = new SocketOwners;
  return *table;
}

int onSocketOpened(void* watch, curl_socket_t fd, curlsocktype) {
  static_cast<SendQueueWatch*>(watch)->add(fd);
  return CURL_SOCKOPT_OK;
}

int onSocketClosing(void*, curl_socket_t fd) {
  SendQueueWatch::closing(fd);
  return ::close(fd);
}

}  // namespace

std::int64_t unsentBytes(int fd) {
#if defined(__linux__)
  int n = 0;
  if (::ioctl(fd, SIOCOUTQ, &n) == 0) return n;
#else
  (void)fd;
#endif
  return -1;
}

std::int64_t peerWindow(int fd) {
#if defined(__linux__)
  tcp_info info{};
  socklen_t len = sizeof info;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) == 0 &&
      len >= offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd)
    return info.tcpi_snd_wnd;
#else
  (void)fd;
#endif
  return -1;
}

void SendQueueWatch::attach(CURL* easy) {
  m_level = -1;
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &onSocketOpened);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &onSocketClosing);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, nullptr);
}

SendQueueWatch::~SendQueueWatch() {
  SocketOwners& table = owners();
  std::lock_guard lock(table.mutex);
  for (int fd : m_sockets) table.owner.erase(fd);
}

void SendQueueWatch::add(int fd) {
  SocketOwners& table = owners();
  {
    std::lock_guard lock(table.mutex);
    auto [it, fresh] = table.owner.try_emplace(fd, this);
    if (!fresh) {  // a number whose close this table did not see
      it->second->forget(fd);
      it->second = this;
    }
    m_sockets.push_back(fd);
  }
  m_windowMax = 0;
  m_lastUnsent = m_lastWindow = -1;
  m_drained = m_drainMs = 0;
}

void SendQueueWatch::closing(int fd) {
  SocketOwners& table = owners();
  std::lock_guard lock(table.mutex);
  auto it = table.owner.find(fd);
  if (it == table.owner.end()) return;  // its watch has ended
  it->second->forget(fd);
  table.owner.erase(it);
}

void SendQueueWatch::forget(int fd) {
  m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), fd), m_sockets.end());
}

std::vector<int> SendQueueWatch::sockets() const {
  std::lock_guard lock(owners().mutex);
  return m_sockets;
}

std::int64_t SendQueueWatch::unsent() const {
  std::int64_t sum = 0;
  for (int fd : sockets()) sum += std::max<std::int64_t>(0, unsentBytes(fd));
  return sum;
}

bool SendQueueWatch::shrank() {
  const std::int64_t now = unsent();
  const bool fell = m_level >= 0 && now < m_level;
  m_level = now;
  return fell;
}

void SendQueueWatch::sample(std::int64_t nowMs) {
  const std::vector<int> open = sockets();
  if (open.empty()) return;
  const std::int64_t unsent = unsentBytes(open.back()), window = peerWindow(open.back());
  if (unsent < 0 || window < 0) return;
  // With the window closed, the server acknowledges only what it has read.
  if (m_lastWindow == 0 && m_lastUnsent > 0) {
    m_drained += std::max<std::int64_t>(0, m_lastUnsent - unsent);
    m_drainMs += nowMs - m_lastMs;
  }
  m_windowMax = std::max(m_windowMax, window);
  m_lastUnsent = unsent;
  m_lastWindow = window;
  m_lastMs = nowMs;
}

std::int64_t SendQueueWatch::backlogMs(std::int64_t more) const {
  // The server's pace: measured while its window was closed (bursts of a
  // throttled server make it read high), never taken above a slow pace, so
  // that a large buffer read slowly is waited for rather than cut off.
  constexpr std::int64_t kSlowPace = 32 * 1024;  // bytes per second
  std::int64_t pace = kSlowPace;
  if (m_drainMs >= 500 && m_drained > 0) pace = std::clamp<std::int64_t>(m_drained * 1000 / m_drainMs, 1, kSlowPace);
  return (m_windowMax + more) * 1000 / pace;
}

}  // namespace tarnwick::transfer
