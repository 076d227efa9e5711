#pragma once
// One upload or download of one file, run on a thread of its own.
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
// ends the transfer at once and waits up to member 11 ms for the object to
// end; the handler still gets code 4. The counters read 0 outside Running.
//
// Stall limits: the send time-out (member 9) ends an upload only when for its
// whole length libcurl took no new block and the socket's queue of unsent
// bytes did not shrink. The last block is held back until that queue is
// empty; the wait for the final reply then gets the receive time-out (member
// 10) plus the time the server needs, at the pace it read so far, for what
// it may still hold unread in its own buffer (at most its receive window).
//
// A download succeeds only when the bytes in place equal the complete size
// (Content-Length plus the start offset, or the Content-Range total); a reply
// without any length is complete at a clean end of the connection. An upload
// succeeds only when the server confirmed every byte (final 226; and SIZE,
// where the server answers it, equal to the local size), and the local file
// kept its size and modification time from the start to the end (otherwise
// Outcome::FileChanged).
//
// Upload of a queued file: copyFileStreaming() it to the temporary copy,
// fill a TransferParams (kModeUpload, "ftp://host/" + temporary name, the
// copy, time-outs, send block, handlers) and start() a fresh object. A
// progress timer reads bytesTransferred() / size and bytesSinceLastQuery().
// Download: the record's defaults plus URL, local file and a finished
// handler that answers code 18. In both, the handler's code 4 comes with a
// TransferReport whose `succeeded` tells a finished file from a failed one.
// An interrupted transfer goes on from where it stopped when a fresh object
// is started with the same record (kModeResume for uploads; a download
// continues the partial file when code 18 is answered false).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transfer/reply_lines.h"
#include "transfer/send_queue.h"
#include "transfer/transfer_params.h"

typedef void CURL;

namespace tarnwick::net {
class CurlDriver;
}

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
  // when a transfer is still running on this object (its own finished
  // handler may start it again).
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

  // For a download: ends it (as close()) and deletes its local file unless
  // the file arrived whole or was never this object's to write (GivenUp).
  // A partial file otherwise stays under its name so that a later start can
  // continue it. Returns true when no partial file is left behind.
  bool discardPartialFile();

  // The report of the last ended transfer (empty before the first one ended).
  TransferReport lastReport() const;

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
  void runUpload(TransferReport& r);
  void runDownload(TransferReport& r);
  void finish(TransferReport r);
  bool askNameConflict(const TransferReport& r);
  void deletePartial(const TransferReport& r);

  // Drives one easy handle through the shared driver until it is done,
  // close() is called or a stall time-out passes. Returns the curl result code.
  int perform(CURL* easy, std::string& error);
  void configureCommon(CURL* easy);
  void noteActivity();
  void noteMoved(std::int64_t n);
  void reportProgress();
  bool waitBeforeRetry(int ms = 1000);  // false when close() came during the wait
  static std::size_t debugCallback(CURL* easy, int type, char* data, std::size_t n, void* self);
  bool holdLastBlock();
  void releaseLastBlock(CURL* easy);
  bool finalReplyOverdue();

  static std::size_t readCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t writeCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t headerCallback(char* buf, std::size_t size, std::size_t n, void* self);

  TransferParams m_params;
  SendQueueWatch m_sendQueue;  // before the driver: the multi handle may close sockets as it goes
  std::unique_ptr<net::CurlDriver> m_driver;
  std::shared_ptr<Core> m_core;
  std::thread m_thread;
  std::vector<std::thread> m_spent;  // threads that restarted the object from their handler

  std::atomic<bool> m_closeRequested{false};
  std::atomic<bool> m_discardRequested{false};
  std::atomic<std::int64_t> m_position{0};
  std::atomic<std::int64_t> m_sinceQuery{0};
  std::atomic<std::int64_t> m_total{-1};
  std::atomic<std::int64_t> m_lastActivityMs{0};
  std::atomic<int> m_closeWaitMs{1000};
  std::atomic<bool> m_viaExecutor{false};  // the record has a handler executor
  std::atomic<bool> m_sending{false};  // stall limit: send time-out while true, else receive
  bool m_everStarted = false;          // guarded by m_core->mutex

  TransferReport m_report;  // guarded by m_core->mutex

  // State of the running transfer, touched by the transfer thread only.
  LocalFile* m_file = nullptr;
  std::int64_t m_offset = 0;      // download: where the body goes; upload: read position
  std::int64_t m_moved = 0;
  std::int64_t m_blockLimit = 0;  // upload: bytes per read
  std::int64_t m_uploadStart = 0; // upload: the REST offset of this attempt
  std::int64_t m_uploadEnd = 0;   // upload: size of the file at the start
  HttpReplyHead m_reply;           // the header lines of the current reply
  bool m_bodyStarted = false;
  std::string m_localError;
  std::int64_t m_lastProgressMs = 0;
  FtpDialogue m_ftp;               // the FTP dialogue of the current attempt
  // Upload: the last block waits until the socket has sent everything else
  // (see holdLastBlock()); then the final reply has its own deadline.
  enum class LastBlock { NotYet, Held, Released };
  LastBlock m_lastBlock = LastBlock::NotYet;
  std::int64_t m_finalReplyDueMs = 0;
  std::string m_stallError;        // set when a callback ended the transfer for a stall
};

}  // namespace tarnwick::transfer
