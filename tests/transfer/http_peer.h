#pragma once
// A one-connection-at-a-time HTTP peer on 127.0.0.1 for transfer tests: it
// records each request's bytes and answers as the test configures (serve a
// body with Range support, a fixed status, cut the body short, or hang).

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::transfer::test {

class HttpPeer {
public:
  struct Behaviour {
    std::string body;        // the resource
    int forceStatus = 0;     // non-zero: answer this status with a short body
    bool honourRange = true; // false: always 200 with the whole body
    long cutAfter = -1;      // close the connection after this many body bytes
    bool hangAfterHeaders = false;  // send headers and part of the body, then stall
    long cutAt = -1;         // close when the body reaches this position of the resource
    bool noLength = false;   // 200 without Content-Length, the end told by closing
    long rangeChunk = -1;    // a 206 carries at most this many bytes (bounded Content-Range)
    bool rangeFromZero = false;  // every 206 starts at 0, whatever was asked
    std::string rawHead = {};  // non-empty: this header block, then the whole body
  };

  explicit HttpPeer(Behaviour b);
  ~HttpPeer();
  int port() const { return m_port; }
  std::string url(const std::string& path = "/up/file.bin") const;
  std::vector<std::string> requests() const;  // the raw header blocks received
  void setBehaviour(Behaviour b);

private:
  void serve();
  void answer(int fd, const std::string& request);
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  Behaviour m_b;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

}  // namespace tarnwick::transfer::test
