#pragma once
// Drives one libcurl easy handle through a multi handle on the calling thread.
// The HTTP engine and the transfers (src/transfer/transfer.h) run here: the
// loop performs, polls the sockets, and asks the caller's step function
// between polls whether to go on (cancel flags, stall limits, progress).
// A poll without a socket event waits 1 ms, the next one twice as long, up
// to pollMs; any event starts again at 1 ms. libcurl at times waits for a
// state change that no socket announces (the end of an FTP upload's data
// connection, a block held back by the step): short polls find it within a
// millisecond, and an idle transfer still wakes only every pollMs.

#include <curl/curl.h>

#include <functional>

namespace tarnwick::net {

class CurlDriver {
public:
  CurlDriver();
  ~CurlDriver();
  CurlDriver(const CurlDriver&) = delete;
  CurlDriver& operator=(const CurlDriver&) = delete;

  // Called between polls. CURLE_OK goes on; any other code ends the transfer
  // with that code.
  using Step = std::function<CURLcode()>;

  // Runs easy to its end and returns libcurl's result, or the step's code;
  // polls last at most pollMs.
  // The handle is detached from the multi handle again before the return.
  CURLcode run(CURL* easy, int pollMs, const Step& step);

  // From any thread: ends the current poll at once, so that the step is
  // asked without waiting for the poll interval.
  void wakeup();

  // From the step: the longest poll from the next poll on (for the rest of
  // this run; run() starts with its pollMs). The next poll is 1 ms.
  void setPollMs(int ms) {
    m_pollMs = ms;
    m_nextPollMs = 1;
  }

private:
  CURLM* m_multi = nullptr;
  int m_pollMs = 100;
  int m_nextPollMs = 1;
};

}  // namespace tarnwick::net
