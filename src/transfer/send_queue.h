#pragma once
// What an upload's sockets tell about a server that reads slowly. libcurl
// counts a block as sent once the kernel took it; with a server that reads
// at a fixed rate (a per-user limit, a slow uplink behind deep buffers)
// megabytes wait in the socket's send queue, and only the queue shrinking
// shows that the transfer still moves. Bytes the server has acknowledged
// may wait unread in its own buffer, which no socket shows: the watch
// estimates how long that takes from the server's window (at most that much
// is buffered there) and from how fast the queue drained while the window
// was closed (the server's own reading pace, but never faster than a slow
// pace assumed for a server whose window never closed).
//
// The watch learns the sockets of one easy handle from libcurl's socket
// callbacks (every socket it opens or accepts, and their closing), so it sees
// the FTP data connection whichever mode opened it. A connection kept in a
// shared cache outlives the handle and the watch that opened it, and libcurl
// closes all its sockets, later data connections included, through the
// callback that handle set: the close callback therefore finds a socket's
// watch in a table of the process that a watch leaves when it ends.

#include <cstdint>
#include <vector>

typedef void CURL;

namespace tarnwick::transfer {

// Bytes written to the TCP socket fd and not acknowledged yet (SIOCOUTQ on
// Linux); -1 where the count is not available.
std::int64_t unsentBytes(int fd);
// The receive window the peer of fd announced last (TCP_INFO); -1 where not
// available.
std::int64_t peerWindow(int fd);

class SendQueueWatch {
public:
  SendQueueWatch() = default;
  ~SendQueueWatch();  // its sockets close without it from here on
  SendQueueWatch(const SendQueueWatch&) = delete;
  SendQueueWatch& operator=(const SendQueueWatch&) = delete;

  // Installs the socket callbacks on easy.
  void attach(CURL* easy);

  // Unsent bytes summed over the open sockets now.
  std::int64_t unsent() const;
  // True when the sum is below the level of the previous call (the first
  // call, and every call after attach(), only take the level).
  bool shrank();

  // Takes a reading of the socket opened last (an FTP upload's data
  // connection): its largest window, and its drain while the window is 0.
  void sample(std::int64_t nowMs);
  // Milliseconds the server may still need for bytes it acknowledged and
  // has not read (at most its largest window), plus `more` bytes.
  std::int64_t backlogMs(std::int64_t more) const;

  // The callbacks: a socket of this watch opened, one of its sockets closing.
  void add(int fd);
  static void closing(int fd);

private:
  void forget(int fd);
  std::vector<int> sockets() const;

  std::vector<int> m_sockets;  // guarded by the table's lock
  std::int64_t m_level = -1;
  // Readings of the socket opened last.
  std::int64_t m_windowMax = 0;
  std::int64_t m_lastUnsent = -1, m_lastWindow = -1, m_lastMs = 0;
  std::int64_t m_drained = 0, m_drainMs = 0;  // while the window was 0
};

}  // namespace tarnwick::transfer
