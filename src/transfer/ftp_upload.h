#pragma once
// FTP upload of one local file: log in, PASV (PORT for the rest of the
// transfer when passive fails), TYPE I, REST offset, STOR name, the data in
// blocks, the final reply, SIZE name (checked where the server answers it),
// QUIT (with a connection cache in the record: the session stays logged in
// for the next upload, which starts at PASV). A REST above 0 must be
// answered 350; otherwise the file is sent again from its start.
//
// Success: the server confirmed every byte (final 226; and SIZE, where the
// server answers it, equal to the local size), and the local file kept its
// size and modification time from the start to the end (otherwise
// Outcome::FileChanged).
//
// Stall limits: the send time-out ends an upload only when for its whole
// length libcurl took no new block and the socket's queue of unsent bytes
// did not shrink. The last block is held back until that queue is empty;
// the wait for the final reply then gets the receive time-out plus the time
// the server needs, at the pace it read so far, for what it may still hold
// unread in its own buffer (at most its receive window).
//
// Under a speed limit each read takes what the limit releases (whole send
// blocks when the limit releases at least one in 100 ms, until a read has
// waited 250 ms: transfers that share the limit then take what there is);
// with nothing to take the read pauses and the driver's step resumes it. Time paused for
// the limit counts as activity, never as a stall.

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/curl_handles.h"
#include "transfer/local_file.h"
#include "transfer/reply_lines.h"
#include "transfer/send_queue.h"
#include "transfer/transfer.h"

namespace tarnwick::transfer {

struct FtpTarget;

class FtpUpload final : public Transfer {
public:
  FtpUpload();
  ~FtpUpload() override;  // closes and waits for the thread

private:
  // What one transfer carries from one attempt to the next.
  struct Attempts {
    std::int64_t offset = 0;         // REST of the next attempt
    bool active = false;             // PORT instead of PASV, for the rest of this transfer
    bool restartedFromZero = false;  // REST was refused once: the file goes whole
    bool freshSession = false;       // the kept session was dead: log in anew
    int connectTries = 0;
  };
  // How one attempt ended.
  struct Sent {
    int code = 0;         // libcurl's result
    std::string error;
    bool reused = false;  // it took up a session an earlier upload logged in
  };

  void transferFile(TransferReport& r) override;
  const char* stalled(CURL* easy) override;
  bool pace(CURL* easy) override;

  net::CurlEasy newHandle(const FtpTarget& target);
  std::int64_t remotePartSize(const FtpTarget& target, std::int64_t size);
  Sent sendOnce(const FtpTarget& target, const Attempts& a, curl_slist* postquote, TransferReport& r);
  bool settled(const Sent& s, TransferReport& r);
  bool tryAgain(const Sent& s, Attempts& a, TransferReport& r);

  bool holdLastBlock();
  void releaseLastBlock(CURL* easy);
  bool finalReplyOverdue();
  std::int64_t paceUnit();

  static std::size_t readCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t debugCallback(CURL* easy, int type, char* data, std::size_t n, void* self);

  // State of the running upload, touched by the transfer thread only.
  SendQueueWatch m_sendQueue;
  LocalFile* m_file = nullptr;
  LocalFile::Stamp m_startStamp;   // size and time of the file at the start
  std::int64_t m_offset = 0;       // read position
  std::int64_t m_blockLimit = 0;   // bytes per read
  std::int64_t m_uploadStart = 0;  // the REST offset of this attempt
  std::int64_t m_uploadEnd = 0;    // size of the file at the start
  bool m_sending = false;          // stall limit: send time-out while true, else receive
  bool m_pacePaused = false;       // the read paused for the speed limit
  std::int64_t m_paceWaitMs = -1;  // when the reads began to wait for the limit, -1 not waiting
  FtpDialogue m_ftp;               // the FTP dialogue of the current attempt
  // The last block waits until the socket has sent everything else (see
  // holdLastBlock()); then the final reply has its own deadline.
  enum class LastBlock { NotYet, Held, Released };
  LastBlock m_lastBlock = LastBlock::NotYet;
  std::int64_t m_finalReplyDueMs = 0;
};

}  // namespace tarnwick::transfer
