#pragma once
// HTTP download of one file: a GET with a Range from the size already in
// the local file; 200 and 206 write the body into the file, 400, 403 and 404
// are errors, any other status an unsupported reply. When the server stops
// before the complete size, the download goes on with a new Range request
// from where the data stopped (a bounded number of times). A partial file
// stays under its name so that the next start continues it.
//
// Under a speed limit the body goes into the file as the limit releases it:
// what a write callback brings beyond that waits in a held block, and the
// reply is paused until the block is written (from the driver's step, or
// after the request ended when the reply had already arrived whole).
//
// Success: the bytes in place equal the complete size (Content-Length plus
// the start offset, or the Content-Range total); a reply without any length
// is complete at a clean end of the connection.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "transfer/reply_lines.h"
#include "transfer/transfer.h"

namespace tarnwick::transfer {

class LocalFile;

class HttpDownload final : public Transfer {
public:
  HttpDownload();
  ~HttpDownload() override;  // closes and waits for the thread

  bool discardPartialFile() override;

private:
  // What one download carries from one request to the next.
  struct Requests {
    std::int64_t offset = 0;  // Range start of the next request
    int connectTries = 0;
    int resumes = 0;                 // requests after the server stopped early
    int resumesWithoutProgress = 0;  // of them in a row without a new byte
  };

  void starting() override { m_discardRequested = false; }
  void transferFile(TransferReport& r) override;
  bool pace(CURL* easy) override;
  void ended(const TransferReport& r) override;

  int fetchOnce(const std::string& url, const Requests& q, std::string& error);
  bool again(int code, const std::string& err, Requests& q, TransferReport& r);
  bool replyDecides(std::int64_t offset, TransferReport& r);
  bool keepEmptyBody(std::int64_t offset, TransferReport& r);
  std::int64_t announcedTotal(std::int64_t start) const;
  bool startBody();
  bool writeBody(const char* data, std::size_t n);
  std::size_t heldBytes() const { return m_held.size() - m_heldAt; }
  bool writeHeld(std::int64_t n);
  bool flushHeld(bool paced);
  void deletePartial(const TransferReport& r);

  static std::size_t writeCallback(char* buf, std::size_t size, std::size_t n, void* self);
  static std::size_t headerCallback(char* buf, std::size_t size, std::size_t n, void* self);

  std::atomic<bool> m_discardRequested{false};

  // State of the running download, touched by the transfer thread only.
  LocalFile* m_file = nullptr;
  std::int64_t m_offset = 0;  // where the body goes
  HttpReplyHead m_reply;      // the header lines of the current reply
  bool m_bodyStarted = false;
  std::string m_held;           // body bytes received beyond the speed limit, not yet written
  std::size_t m_heldAt = 0;     // how much of m_held is written
  bool m_receivePaused = false; // the write callback paused the reply
};

}  // namespace tarnwick::transfer
