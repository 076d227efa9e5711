#pragma once
// One upload or download of one file, run on a thread of its own.
//
//                start()                       transfer ends / close()
//   +------+  ------------->  +---------+  ----------------------------->  +-------+
//   | Idle |                  | Running |   handler(4, report) on the     | Ended |
//   +------+                  +---------+   transfer thread, then exit     +-------+
//      ^                        |  download target exists:                    |
//      |                        |  handler(18) -> true: Ended (GivenUp)       |
//      |                        |                false: continue at its size  |
//      +--------------------------------- start() again (resume) ------------+
//
// Running: connect, log in / send the request, move the data, final reply.
// close() from any thread (twice is harmless) ends the transfer at once and
// waits up to member 11 ms for the thread; the handler still gets code 4.
// The counters read 0 outside Running.
//
// Upload of a queued file: copyFileStreaming() it to the temporary copy,
// fill a TransferParams (kModeUpload, "ftp://host/" + temporary name, the
// copy, time-outs, send block, handlers) and start() a fresh object. A
// progress timer reads bytesTransferred() / size and bytesSinceLastQuery().
// Download: the record's defaults plus URL, local file and a finished
// handler that answers code 18. In both, the handler's code 4 comes with a
// TransferReport whose `succeeded` tells a finished file from a failed one.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "transfer/transfer_params.h"

typedef void CURL;
typedef void CURLM;

namespace tarnwick::transfer {

class LocalFile;

class TransferObject {
public:
  TransferObject();
  ~TransferObject();  // closes and waits for the thread
  TransferObject(const TransferObject&) = delete;
  TransferObject& operator=(const TransferObject&) = delete;

  // Starts the transfer that member 1 names (kModeUpload: FTP upload of the
  // local file; otherwise HTTP download into it) and returns at once. False
  // when a transfer is still running on this object.
  bool start(const TransferParams& params);

  // Bytes of the file in place so far, start offset included (0 when not running).
  std::int64_t bytesTransferred() const;
  // Bytes moved since the previous call; the call resets the count (0 when not running).
  std::int64_t bytesSinceLastQuery();
  // Complete size of the file when known, else -1 (also -1 when not running).
  std::int64_t totalSize() const;
  bool isRunning() const { return m_running.load(); }

  // Ends the transfer and releases the connection. Any thread, any number of
  // times; from the transfer thread itself (inside a handler) it does not wait.
  void close();

  // The report of the last ended transfer (empty before the first one ended).
  TransferReport lastReport() const;

private:
  void run();
  void runUpload(TransferReport& r);
  void runDownload(TransferReport& r);
  void finish(TransferReport r);
  bool askNameConflict(const TransferReport& r);

  // Drives one easy handle through the multi handle until it is done, close()
  // is called or a stall time-out passes. Returns the curl result code.
  int perform(CURL* easy, std::string& error);
  void configureCommon(CURL* easy);
  void noteActivity();
  void noteMoved(std::int64_t n);
  void reportProgress();
  bool waitBeforeRetry();  // false when close() came during the wait
  static std::size_t debugCallback(CURL* easy, int type, char* data, std::size_t n, void* self);

  static std::size_t readCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t writeCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t headerCallback(char* buf, std::size_t size, std::size_t n, void* self);

  TransferParams m_params;
  CURLM* m_multi = nullptr;
  std::thread m_thread;

  std::atomic<bool> m_running{false};
  std::atomic<bool> m_closeRequested{false};
  std::atomic<std::int64_t> m_position{0};
  std::atomic<std::int64_t> m_sinceQuery{0};
  std::atomic<std::int64_t> m_total{-1};
  std::atomic<std::int64_t> m_lastActivityMs{0};
  std::atomic<int> m_closeWaitMs{1000};
  std::atomic<bool> m_sending{false};  // stall limit: send time-out while true, else receive

  mutable std::mutex m_mutex;  // guards m_report, m_thread handover
  std::condition_variable m_ended;
  TransferReport m_report;

  // State of the running transfer, touched by the transfer thread only.
  LocalFile* m_file = nullptr;
  std::int64_t m_offset = 0;      // download: where the body goes; upload: read position
  std::int64_t m_moved = 0;
  std::int64_t m_blockLimit = 0;  // upload: bytes per read
  std::int64_t m_uploadEnd = 0;   // upload: size of the file at the start
  int m_httpStatus = 0;
  std::int64_t m_rangeStart = -1;  // start of a 206 Content-Range
  std::int64_t m_rangeTotal = -1;  // "/total" of Content-Range
  std::int64_t m_contentLength = -1;
  bool m_bodyStarted = false;
  std::string m_localError;
  std::int64_t m_lastProgressMs = 0;
  // FTP dialogue as seen on the control connection.
  std::string m_lastCommand;
  int m_lastReply = 0;
  bool m_loggedIn = false;
  bool m_quitSent = false;
};

}  // namespace tarnwick::transfer
