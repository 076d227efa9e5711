#include "transfer/http_download.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include <curl/curl.h>

#include "log/log.h"
#include "net/curl_handles.h"
#include "transfer/local_file.h"
#include "transfer/wire_url.h"

namespace tarnwick::transfer {
namespace {

using Easy = net::CurlEasy;
using Slist = net::CurlSlist;

bool startsWithNoCase(const std::string& s, const char* prefix) {
  return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

// How often a download goes on after the server stopped early without any
// new byte arriving, and at most in all; the wait before each new request.
constexpr int kResumesWithoutProgress = 3;
constexpr int kResumesInAll = 100;
constexpr int kResumeWaitMs = 300;

// The request lines after "Host:", in the order the storage servers know.
curl_slist* requestHeaders(const TransferParams& p, std::int64_t offset) {
  std::vector<std::string> lines = {
      "Accept: */*",
      // An empty value is written "Referer;": libcurl then sends the header
      // with nothing after the colon instead of leaving it out.
      p.referer.empty() ? std::string("Referer;") : "Referer: " + p.referer,
      "User-Agent: " + (p.userAgent.empty() ? std::string(TransferParams::kDefaultUserAgent) : p.userAgent),
      "Range: bytes=" + std::to_string(offset) + "-",
      "Pragma: no-cache",
      "Cache-Control: no-cache",
      "Connection: close",
  };
  curl_slist* list = nullptr;
  for (const auto& l : lines) list = curl_slist_append(list, l.c_str());
  return list;
}

}  // namespace

HttpDownload::HttpDownload() : Transfer(downloadLimiter()) {}

HttpDownload::~HttpDownload() { shutdown(); }

bool HttpDownload::discardPartialFile() {
  m_discardRequested = true;  // a run still ending deletes it itself
  close();
  bool noneLeft = true;
  const bool ended = withEndedRun([&](const TransferReport& last) {
    deletePartial(last);
    noneLeft = last.succeeded || last.outcome == Outcome::GivenUp || LocalFile::sizeOf(m_params.localFile) < 0;
  });
  return ended && noneLeft;
}

void HttpDownload::ended(const TransferReport& r) {
  if (m_discardRequested) deletePartial(r);
}

void HttpDownload::deletePartial(const TransferReport& r) {
  if (r.succeeded || r.outcome == Outcome::GivenUp || r.outcome == Outcome::BadParameters) return;
  if (!r.localFile.empty()) ::unlink(r.localFile.c_str());
}

void HttpDownload::transferFile(TransferReport& r) {
  const std::string url = escapeUrlBytes(m_params.remoteUrl);
  if (!startsWithNoCase(url, "http://") && !startsWithNoCase(url, "https://")) {
    r.outcome = Outcome::BadParameters;
    r.error = "not an HTTP URL: " + m_params.remoteUrl;
    return;
  }
  Requests q;
  const std::int64_t existing = LocalFile::sizeOf(m_params.localFile);
  if (existing >= 0) {
    if (askNameConflict(r)) {
      r.outcome = Outcome::GivenUp;
      r.error = "the local file exists";
      return;
    }
    q.offset = existing;
  }
  LocalFile file;
  m_file = &file;
  // m_file names this local object: cleared on every way out.
  struct ForgetFile {
    LocalFile*& f;
    ~ForgetFile() { f = nullptr; }
  } forget{m_file};
  while (!closeRequested()) {
    if (q.resumes == 0) r.startOffset = q.offset;
    std::string err;
    const int code = fetchOnce(url, q, err);
    r.status = m_reply.status;
    r.bytesMoved += m_moved;
    r.totalSize = m_total;
    r.position = m_bodyStarted ? m_offset : q.offset;
    r.error = err;
    if (closeRequested() || !again(code, err, q, r)) break;
  }
}

// One GET from q.offset into the file.
int HttpDownload::fetchOnce(const std::string& url, const Requests& q, std::string& error) {
  m_offset = q.offset;
  m_moved = 0;
  m_position = q.offset;
  m_reply = HttpReplyHead();
  m_bodyStarted = false;
  m_localError.clear();
  m_held.clear();
  m_heldAt = 0;
  m_receivePaused = false;

  Easy easy(curl_easy_init());
  Slist headers(requestHeaders(m_params, q.offset));
  CURL* e = easy.get();
  configureCommon(e, "http,https");
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpDownload::headerCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpDownload::writeCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024L);
  const int code = perform(e, error);
  // The reply may have ended while bytes still wait for the limit: after a
  // clean end they go at its pace, otherwise (closed, broken) at once: they
  // arrived, and the partial file keeps them.
  flushHeld(code == CURLE_OK);
  if (log::enabled(log::Level::Debug))
    log::debug(log::kTransfer, "GET " + url + " from byte " + std::to_string(q.offset) + " -> " +
                                   (m_reply.status ? std::to_string(m_reply.status) : std::string("no reply")) +
                                   ", " + std::to_string(m_moved) + " bytes" + (error.empty() ? "" : ": " + error));
  return code;
}

// After one request: true when another one follows (no reply yet, or the
// server stopped early); otherwise the outcome is set.
bool HttpDownload::again(int code, const std::string& err, Requests& q, TransferReport& r) {
  if (!m_localError.empty()) {
    r.outcome = Outcome::LocalFileError;
    r.error = m_localError;
    return false;
  }
  if (replyDecides(q.offset, r)) return false;
  if (m_reply.status == 0) {  // no reply at all
    r.outcome = Outcome::ConnectFailed;
    return q.connectTries++ < m_params.retries && waitBeforeRetry();
  }
  if (code == CURLE_WEIRD_SERVER_REPLY) {  // libcurl refused a header (a negative length, ...)
    r.outcome = Outcome::UnsupportedReply;
    r.error = "the server's reply cannot be read: " + err;
    return false;
  }
  if (!m_bodyStarted && code == CURLE_OK && !keepEmptyBody(q.offset, r)) return false;
  const std::int64_t total = r.totalSize;
  // Complete: every announced byte is in place; without any length, the
  // connection ended cleanly.
  if ((total >= 0 && r.position == total) || (total < 0 && code == CURLE_OK)) {
    r.totalSize = r.position;
    r.outcome = Outcome::Completed;
    r.error.clear();
    return false;
  }
  r.outcome = Outcome::NetworkError;
  if (total >= 0 && r.error.empty())
    r.error = "the server sent " + std::to_string(r.position) + " of " + std::to_string(total) + " bytes";
  // The server stopped early (closed, reset, or a bounded range): ask for
  // the rest. A stall that reached the time-out is not asked again.
  const bool stoppedEarly = total >= 0 && code != CURLE_OPERATION_TIMEDOUT;
  q.resumesWithoutProgress = m_moved > 0 ? 0 : q.resumesWithoutProgress + 1;
  if (stoppedEarly && q.resumes < kResumesInAll && q.resumesWithoutProgress <= kResumesWithoutProgress &&
      waitBeforeRetry(m_moved > 0 ? 50 : kResumeWaitMs)) {
    ++q.resumes;
    q.offset = r.position;
    return true;
  }
  return false;
}

// A status or header that ends the download whatever else came: refused,
// nothing left to fetch, unsupported, lengths that cannot be trusted.
bool HttpDownload::replyDecides(std::int64_t offset, TransferReport& r) {
  const int s = m_reply.status;
  if (s == 400 || s == 403 || s == 404) {
    r.outcome = Outcome::ServerRefused;
    r.error = "HTTP status " + std::to_string(s);
    return true;
  }
  if (s == 416 && offset > 0 && m_reply.rangeTotal == offset) {  // nothing left to fetch
    r.outcome = Outcome::Completed;
    r.totalSize = r.position = offset;
    r.error.clear();
    return true;
  }
  if (s != 0 && s != 200 && s != 206) {
    r.outcome = Outcome::UnsupportedReply;
    r.error = "unsupported HTTP status " + std::to_string(s);
    return true;
  }
  if (!m_reply.badReply.empty()) {
    r.outcome = Outcome::UnsupportedReply;
    r.error = m_reply.badReply;
    return true;
  }
  return false;
}

// A reply without a body: the file is what the reply says it is (empty
// after a 200, unchanged after a 206). False when the file failed.
bool HttpDownload::keepEmptyBody(std::int64_t offset, TransferReport& r) {
  const bool whole = m_reply.status == 200;
  if ((!m_file->isOpen() && !m_file->open(m_params.localFile, LocalFile::Mode::Write)) ||
      (whole && !m_file->truncate(0))) {
    r.outcome = Outcome::LocalFileError;
    r.error = m_file->error();
    return false;
  }
  r.position = whole ? 0 : offset;
  m_total = announcedTotal(offset);
  r.totalSize = m_total;
  return true;
}

// The complete size the reply announces for a body from start: the
// Content-Range total, or its length added to start; a 200's length.
std::int64_t HttpDownload::announcedTotal(std::int64_t start) const {
  if (m_reply.status != 206) return m_reply.contentLength;
  if (m_reply.rangeTotal >= 0) return m_reply.rangeTotal;
  return m_reply.contentLength >= 0 ? start + m_reply.contentLength : -1;
}

std::size_t HttpDownload::headerCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<HttpDownload*>(self);
  t->noteActivity();
  readHttpHeaderLine(std::string(buf, size * n), t->m_reply);
  return size * n;
}

// The first bytes of a body: where they go, and the file ready for them.
bool HttpDownload::startBody() {
  m_bodyStarted = true;
  // 206 only from the offset asked for; 200 is the whole file from 0.
  const bool range = m_reply.status == 206;
  const std::int64_t start = range && m_reply.rangeStart >= 0 ? m_reply.rangeStart : range ? m_offset : 0;
  if (range && start != m_offset) {
    m_reply.badReply =
        "the server sent a range from " + std::to_string(start) + " for a request from " + std::to_string(m_offset);
    return false;
  }
  // 200 to a range request: the server ignored it and sends the whole file.
  if ((!m_file->isOpen() && !m_file->open(m_params.localFile, LocalFile::Mode::Write)) ||
      (start < m_file->size() && !m_file->truncate(start))) {
    m_localError = m_file->error();
    return false;
  }
  m_offset = start;
  m_position = start;
  m_total = announcedTotal(start);
  return true;
}

bool HttpDownload::writeBody(const char* data, std::size_t n) {
  if (n == 0) return true;
  if (!m_file->writeAt(m_offset, data, n)) {
    m_localError = m_file->error();
    return false;
  }
  m_offset += static_cast<std::int64_t>(n);
  noteMoved(static_cast<std::int64_t>(n));
  return true;
}

bool HttpDownload::writeHeld(std::int64_t n) {
  const std::size_t count = std::min(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)), heldBytes());
  if (!writeBody(m_held.data() + m_heldAt, count)) return false;
  m_heldAt += count;
  if (heldBytes() == 0) {
    m_held.clear();
    m_heldAt = 0;
  }
  return true;
}

// Between polls: the held block goes out as the limit allows; once it is
// written the reply goes on.
bool HttpDownload::pace(CURL* easy) {
  if (heldBytes() > 0) {
    noteActivity();  // waiting for the limit is no stall
    if (!writeHeld(takeAllowance(static_cast<std::int64_t>(heldBytes())))) return false;
  }
  if (heldBytes() == 0 && m_receivePaused) {
    m_receivePaused = false;
    curl_easy_pause(easy, CURLPAUSE_CONT);  // may call the write callback at once
  }
  return true;
}

bool HttpDownload::flushHeld(bool paced) {
  while (paced && heldBytes() > 0 && !closeRequested()) {
    if (!writeHeld(takeAllowance(static_cast<std::int64_t>(heldBytes())))) return false;
    if (heldBytes() > 0 && !waitForAllowance(10)) break;
  }
  return writeHeld(static_cast<std::int64_t>(heldBytes()));
}

std::size_t HttpDownload::writeCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<HttpDownload*>(self);
  const std::size_t len = size * n;
  if (t->closeRequested()) return 0;
  if (t->heldBytes() > 0) {  // libcurl keeps these bytes and brings them again after the pause
    t->m_receivePaused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (t->m_reply.status != 200 && t->m_reply.status != 206) return 0;  // not a body to keep
  if (!t->m_reply.badReply.empty()) return 0;  // nothing of a reply whose lengths cannot be trusted
  if (!t->m_bodyStarted && !t->startBody()) return 0;
  if (t->m_total >= 0 && t->m_offset + static_cast<std::int64_t>(len) > t->m_total) {
    t->m_reply.badReply = "the server sent more bytes than the file holds";
    return 0;
  }
  // What the limit allows now goes into the file, the rest waits in the held block.
  const auto now = static_cast<std::size_t>(t->takeAllowance(static_cast<std::int64_t>(len)));
  if (!t->writeBody(buf, now)) return 0;
  if (now < len) t->m_held.assign(buf + now, len - now);
  return len;
}

}  // namespace tarnwick::transfer
