// HTTP download of the transfer object: a GET with a Range from the size
// already in the local file; 200 and 206 write the body into the file, 400,
// 403 and 404 are errors, any other status an unsupported reply. When the
// server stops before the complete size, the download goes on with a new
// Range request from where the data stopped (a bounded number of times).
// A partial file stays under its name so that the next start continues it.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

#include <curl/curl.h>

#include "net/curl_handles.h"
#include "transfer/local_file.h"
#include "transfer/transfer_object.h"
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

std::size_t TransferObject::headerCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<TransferObject*>(self);
  t->noteActivity();
  readHttpHeaderLine(std::string(buf, size * n), t->m_reply);
  return size * n;
}

std::size_t TransferObject::writeCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<TransferObject*>(self);
  std::size_t len = size * n;
  if (t->m_closeRequested) return 0;
  if (t->m_reply.status != 200 && t->m_reply.status != 206) return 0;  // not a body to keep
  if (!t->m_reply.badReply.empty()) return 0;  // nothing of a reply whose lengths cannot be trusted
  if (!t->m_bodyStarted) {
    t->m_bodyStarted = true;
    // 206 only from the offset asked for; 200 is the whole file from 0.
    const std::int64_t start = t->m_reply.status == 206 && t->m_reply.rangeStart >= 0 ? t->m_reply.rangeStart
                               : t->m_reply.status == 206                      ? t->m_offset
                                                                             : 0;
    if (t->m_reply.status == 206 && start != t->m_offset) {
      t->m_reply.badReply = "the server sent a range from " + std::to_string(start) + " for a request from " +
                      std::to_string(t->m_offset);
      return 0;
    }
    if (!t->m_file->isOpen() && !t->m_file->open(t->m_params.localFile, LocalFile::Mode::Write)) {
      t->m_localError = t->m_file->error();
      return 0;
    }
    // 200 to a range request: the server ignored it and sends the whole file.
    if (start < t->m_file->size() && !t->m_file->truncate(start)) {
      t->m_localError = t->m_file->error();
      return 0;
    }
    t->m_offset = start;
    t->m_position = start;
    if (t->m_reply.status == 206)
      t->m_total = t->m_reply.rangeTotal >= 0 ? t->m_reply.rangeTotal
                                        : (t->m_reply.contentLength >= 0 ? start + t->m_reply.contentLength : -1);
    else
      t->m_total = t->m_reply.contentLength;
  }
  if (t->m_total >= 0 && t->m_offset + static_cast<std::int64_t>(len) > t->m_total) {
    t->m_reply.badReply = "the server sent more bytes than the file holds";
    return 0;
  }
  if (!t->m_file->writeAt(t->m_offset, buf, len)) {
    t->m_localError = t->m_file->error();
    return 0;
  }
  t->m_offset += static_cast<std::int64_t>(len);
  t->noteMoved(static_cast<std::int64_t>(len));
  return len;
}

void TransferObject::runDownload(TransferReport& r) {
  std::string url = escapeUrlBytes(m_params.remoteUrl);
  if (!startsWithNoCase(url, "http://") && !startsWithNoCase(url, "https://")) {
    r.outcome = Outcome::BadParameters;
    r.error = "not an HTTP URL: " + m_params.remoteUrl;
    return;
  }
  std::int64_t offset = 0;
  std::int64_t existing = LocalFile::sizeOf(m_params.localFile);
  if (existing >= 0) {
    if (askNameConflict(r)) {
      r.outcome = Outcome::GivenUp;
      r.error = "the local file exists";
      return;
    }
    offset = existing;
  }
  LocalFile file;
  m_file = &file;
  struct ForgetFile {
    LocalFile*& f;
    ~ForgetFile() { f = nullptr; }
  } forget{m_file};
  int connectTries = 0, resumes = 0, resumesWithoutProgress = 0;
  for (;;) {
    if (m_closeRequested) break;
    m_offset = offset;
    m_moved = 0;
    m_position = offset;
    m_sending = false;
    m_reply = HttpReplyHead();
    m_bodyStarted = false;
    m_localError.clear();
    if (resumes == 0) r.startOffset = offset;

    Easy easy(curl_easy_init());
    Slist headers(requestHeaders(m_params, offset));
    CURL* e = easy.get();
    configureCommon(e);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TransferObject::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TransferObject::writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024L);

    std::string err;
    const int code = perform(e, err);
    const std::int64_t moved = m_moved;
    r.status = m_reply.status;
    r.bytesMoved += moved;
    r.totalSize = m_total;
    r.position = m_bodyStarted ? m_offset : offset;
    r.error = err;
    if (m_closeRequested) break;
    if (!m_localError.empty()) {
      r.outcome = Outcome::LocalFileError;
      r.error = m_localError;
      break;
    }
    int s = m_reply.status;
    if (s == 400 || s == 403 || s == 404) {
      r.outcome = Outcome::ServerRefused;
      r.error = "HTTP status " + std::to_string(s);
      break;
    }
    if (s == 416 && offset > 0 && m_reply.rangeTotal == offset) {  // nothing left to fetch
      r.outcome = Outcome::Completed;
      r.totalSize = r.position = offset;
      r.error.clear();
      break;
    }
    if (s != 0 && s != 200 && s != 206) {
      r.outcome = Outcome::UnsupportedReply;
      r.error = "unsupported HTTP status " + std::to_string(s);
      break;
    }
    if (!m_reply.badReply.empty()) {
      r.outcome = Outcome::UnsupportedReply;
      r.error = m_reply.badReply;
      break;
    }
    if (s == 0) {  // no reply at all
      r.outcome = Outcome::ConnectFailed;
      if (connectTries++ < m_params.retries && waitBeforeRetry()) continue;
      break;
    }
    if (code == CURLE_WEIRD_SERVER_REPLY) {  // libcurl refused a header (a negative length, ...)
      r.outcome = Outcome::UnsupportedReply;
      r.error = "the server's reply cannot be read: " + err;
      break;
    }
    if (!m_bodyStarted && code == CURLE_OK) {  // an empty body: the file is what the reply says it is
      if (!file.isOpen() && !file.open(m_params.localFile, LocalFile::Mode::Write)) {
        r.outcome = Outcome::LocalFileError;
        r.error = file.error();
        break;
      }
      if (s == 200 && !file.truncate(0)) {
        r.outcome = Outcome::LocalFileError;
        r.error = file.error();
        break;
      }
      r.position = s == 200 ? 0 : offset;
      if (s == 200) m_total = m_reply.contentLength;
      else m_total = m_reply.rangeTotal >= 0 ? m_reply.rangeTotal : (m_reply.contentLength >= 0 ? offset + m_reply.contentLength : -1);
      r.totalSize = m_total;
    }
    const std::int64_t total = r.totalSize;
    // Complete: every announced byte is in place; without any length, the
    // connection ended cleanly.
    if ((total >= 0 && r.position == total) || (total < 0 && code == CURLE_OK)) {
      r.totalSize = r.position;
      r.outcome = Outcome::Completed;
      r.error.clear();
      break;
    }
    r.outcome = Outcome::NetworkError;
    if (total >= 0 && r.error.empty())
      r.error = "the server sent " + std::to_string(r.position) + " of " + std::to_string(total) + " bytes";
    // The server stopped early (closed, reset, or a bounded range): ask for
    // the rest. A stall that reached the time-out is not asked again.
    const bool stoppedEarly = total >= 0 && code != CURLE_OPERATION_TIMEDOUT;
    resumesWithoutProgress = moved > 0 ? 0 : resumesWithoutProgress + 1;
    if (stoppedEarly && resumes < kResumesInAll && resumesWithoutProgress <= kResumesWithoutProgress &&
        waitBeforeRetry(moved > 0 ? 50 : kResumeWaitMs)) {
      ++resumes;
      offset = r.position;
      continue;
    }
    break;
  }
}

}  // namespace tarnwick::transfer
