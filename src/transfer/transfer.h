#pragma once
// One upload or download of one file, run on a thread of its own. Transfer
// is the part both kinds share (the thread, the states below, the counters,
// the finished handler, the loop that drives libcurl); FtpUpload
// (ftp_upload.h) and HttpDownload (http_download.h) are the protocols.
//
//                start()                       transfer ends / close()
//   +------+  ------------->  +---------+  -------------------------->  +-----------+
//   | Idle |                  | Running |                               | Finishing |
//   +------+                  +---------+                               +-----------+
//      ^                        |  download target exists:                    |
//      |                        |  handler(18) -> true: GivenUp               | handler(4, report)
//      |                        |                false: continue at its size  | through the executor
//      |                        |  server stopped early: Range from where     v
//      |                        |  the data stopped (bounded), then fail   +-------+
//      +------------------------------ start() again (resume) ----------- | Ended |
//                                                                          +-------+
// Running: connect, log in / send the request, move the data, final reply.
// Finishing: the report is in place and the handler runs; isRunning() stays
// true until it has returned, and only the handler itself may start() the
// object again then (start() from elsewhere is refused, never joins a thread
// that is inside a handler). close() from any thread (twice is harmless)
// ends the transfer at once and waits up to closeWaitMs for the object to
// end; the handler still gets code 4. The counters read 0 outside Running.
//
// Upload of a queued file: fill a TransferParams (ftp://host/name, the local
// file, time-outs, send block, handlers) and start() a fresh FtpUpload. A
// progress timer reads bytesTransferred() / totalSize() and
// bytesSinceLastQuery(). Download: the record's defaults plus URL, local
// file and a finished handler that answers code 18, on an HttpDownload. In
// both, the handler's code 4 comes with a TransferReport whose `succeeded`
// tells a finished file from a failed one. An interrupted transfer goes on
// from where it stopped when a fresh object is started with the same record
// (resumeUpload for uploads; a download continues the partial file when
// code 18 is answered false).
//
// Speed limits: every transfer takes from its direction's process-wide
// limit (uploadLimiter(), downloadLimiter()) and from its record's own
// rateLimit, pausing and resuming libcurl's callbacks from the driver's step
// (pace()); a changed limit applies to the next take.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transfer/rate_limit.h"
#include "transfer/transfer_params.h"

typedef void CURL;

namespace tarnwick::net {
class CurlDriver;
}

namespace tarnwick::transfer {

class Transfer {
public:
  virtual ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Starts the transfer the record describes and returns at once. False when
  // a transfer is still running on this object (its own finished handler may
  // start it again).
  bool start(const TransferParams& params);

  // Bytes of the file in place so far, start offset included (0 when not running).
  std::int64_t bytesTransferred() const;
  // Bytes moved since the previous call; the call resets the count (0 when not running).
  std::int64_t bytesSinceLastQuery();
  // Complete size of the file when known, else -1 (also -1 when not running).
  std::int64_t totalSize() const;
  // True from start() until the finished handler has returned.
  bool isRunning() const;

  // Ends the transfer and releases the connection. Any thread, any number of
  // times; from inside the finished handler it does not wait.
  void close();

  // Ends a download (as close()) and deletes its local file unless the file
  // arrived whole or was never this object's to write (GivenUp); a partial
  // file otherwise stays under its name so that a later start can continue
  // it. Returns true when no partial file is left behind. An upload's local
  // file is its source: nothing to discard.
  virtual bool discardPartialFile() { return true; }

  // The report of the last ended transfer (empty before the first one ended).
  TransferReport lastReport() const;

protected:
  // direction: the process-wide limit this kind of transfer takes from.
  explicit Transfer(RateLimiter& direction);
  // Ends the transfer and joins its threads. The destructor of each kind
  // calls it first, while the members its transfer thread uses still exist.
  void shutdown();

  // The protocol's run, on the transfer thread: fills the report's outcome,
  // error, offsets and status. Called with a record that names a remote URL
  // and a local file.
  virtual void transferFile(TransferReport& r) = 0;
  // In start(), before the transfer thread starts: requests of the previous
  // run (such as a discard) are forgotten.
  virtual void starting() {}
  // After the outcome is final (Closed included), before the handler runs.
  virtual void ended(const TransferReport&) {}
  // Asked between polls: the text of a stall that ends the transfer, or
  // nullptr to go on. By default a wait longer than the receive time-out.
  virtual const char* stalled(CURL* easy);

  // Asked between polls, before stalled(): the speed limit's turn to pause
  // or resume the handle's callbacks. False ends the transfer with
  // m_localError (a held block could not be written).
  virtual bool pace(CURL*) { return true; }

  // Speed limits: the record's own rateLimit and the direction's limit
  // together. Takes up to want bytes in whole units (see RateLimiter::take).
  std::int64_t takeAllowance(std::int64_t want, std::int64_t unit = 1);
  void returnAllowance(std::int64_t n);  // taken but not moved
  bool allowanceReady(std::int64_t n);
  bool rateLimited() const { return m_ownLimit.limited() || m_direction.limited(); }
  // The most one take can grant now (the smaller bucket).
  std::int64_t allowanceBurst() const { return std::min(m_ownLimit.burst(), m_direction.burst()); }
  // Outside libcurl, while bytes wait for the limit: counts as activity,
  // reports progress, waits up to ms. False when close() came.
  bool waitForAllowance(int ms);

  // Drives one easy handle through the driver until it is done, close() is
  // called or stalled() says so. Returns the curl result code.
  int perform(CURL* easy, std::string& error);
  // Options every easy handle of a transfer gets.
  void configureCommon(CURL* easy, const char* protocols);
  void noteActivity();
  void noteMoved(std::int64_t n);
  bool idleLongerThan(int limitMs) const;
  bool waitBeforeRetry(int ms = 1000);  // false when close() came during the wait
  bool closeRequested() const { return m_closeRequested.load(); }
  // The finished handler's answer to code 18 (false without a handler).
  bool askNameConflict(const TransferReport& r);

  // The end of the last run, as discardPartialFile() needs it: true with the
  // report when it has ended (or never started: empty report), false while
  // a run is still ending. Runs f on the report under the state lock.
  template <class F>
  bool withEndedRun(F&& f) {
    std::lock_guard lock(m_core->mutex);
    if (!m_everStarted) return true;
    if (m_core->active) return false;
    f(m_report);
    return true;
  }

  net::CurlDriver& driver() { return *m_driver; }
  static std::int64_t nowMs();

  TransferParams m_params;
  std::atomic<std::int64_t> m_position{0};  // bytes of the file in place
  std::atomic<std::int64_t> m_total{-1};    // complete size, -1 unknown
  std::int64_t m_moved = 0;                 // bytes moved by the current attempt
  std::string m_localError;                 // the local file failed in a callback
  std::string m_stallError;                 // set when a callback ended the transfer for a stall

private:
  // State shared with a pending handler call, which may outlive the object.
  struct Core {
    std::mutex mutex;
    std::condition_variable cv;
    std::atomic<bool> running{false};  // start() until the handler returned
    std::atomic<bool> active{false};   // the transfer thread has not yet reported
    bool inHandler = false;
    std::thread::id handlerThread;
    unsigned generation = 0;
  };
  struct HandlerDone;

  void run();
  void finish(TransferReport r);
  void logEnd(const TransferReport& r, std::int64_t tookMs);
  void reportProgress();

  std::unique_ptr<net::CurlDriver> m_driver;
  RateLimiter& m_direction;
  RateLimiter m_ownLimit;  // the record's rateLimit, this transfer alone
  std::shared_ptr<Core> m_core;
  std::thread m_thread;
  std::vector<std::thread> m_spent;  // threads that restarted the object from their handler

  std::atomic<bool> m_closeRequested{false};
  std::atomic<std::int64_t> m_sinceQuery{0};
  std::atomic<std::int64_t> m_lastActivityMs{0};
  std::atomic<int> m_closeWaitMs{1000};
  std::atomic<bool> m_viaExecutor{false};  // the record has a handler executor
  bool m_everStarted = false;              // guarded by m_core->mutex
  TransferReport m_report;                 // guarded by m_core->mutex
  std::int64_t m_lastProgressMs = 0;
};

}  // namespace tarnwick::transfer
