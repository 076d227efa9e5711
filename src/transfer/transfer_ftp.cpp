// FTP upload of the transfer object: log in, PASV (PORT for the rest of the
// transfer when passive fails), TYPE I, REST offset, STOR name, the data in
// blocks, the final reply, SIZE name (checked where the server answers it),
// QUIT (with a connection cache in the record: the session stays logged in
// for the next upload, which starts at PASV). A REST above 0 must be answered 350; otherwise the file is sent again
// from its start.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include <curl/curl.h>

#include "net/curl_handles.h"
#include "transfer/local_file.h"
#include "transfer/transfer_object.h"
#include "transfer/wire_url.h"

namespace tarnwick::transfer {
namespace {

using Easy = net::CurlEasy;
using Slist = net::CurlSlist;

bool isConnectError(int code) {
  return code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
         code == CURLE_LOGIN_DENIED || code == CURLE_FTP_WEIRD_SERVER_REPLY ||
         code == CURLE_OPERATION_TIMEDOUT || code == CURLE_GOT_NOTHING ||
         code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
}

// libcurl's upload buffer: whole blocks of member 13, at least 64 KiB without
// a rate limit. Sending 20480-byte blocks one by one costs every block a
// round through libcurl and halves the throughput on a fast link; the bytes
// on the wire are the same either way.
std::int64_t uploadBuffer(std::int64_t block, std::int64_t rateLimit) {
  if (rateLimit > 0) return std::max<std::int64_t>(block, 16384);
  std::int64_t blocks = std::max<std::int64_t>(1, (65536 + block - 1) / block);
  return std::clamp<std::int64_t>(block * blocks, 16384, 2 << 20);
}

}  // namespace

std::size_t TransferObject::debugCallback(CURL*, int type, char* data, std::size_t n, void* self) {
  auto* t = static_cast<TransferObject*>(self);
  if (type == CURLINFO_HEADER_OUT) readFtpCommand(data, n, t->m_ftp);
  else if (type == CURLINFO_HEADER_IN && readFtpReply(data, n, t->m_ftp)) t->noteActivity();
  return 0;
}

void TransferObject::runUpload(TransferReport& r) {
  FtpTarget target;
  if (!parseFtpUrl(m_params.remoteUrl, target)) {
    r.outcome = Outcome::BadParameters;
    r.error = "not an FTP URL naming a file: " + m_params.remoteUrl;
    return;
  }
  LocalFile file;
  if (!file.open(m_params.localFile, LocalFile::Mode::Read)) {
    r.outcome = Outcome::LocalFileError;
    r.error = file.error();
    return;
  }
  file.adviseSequential();
  const LocalFile::Stamp startStamp = file.stamp();
  const std::int64_t size = startStamp.size;
  r.totalSize = size;
  m_total = size;
  m_file = &file;
  // m_file names this local object: cleared on every way out.
  struct ForgetFile {
    LocalFile*& f;
    ~ForgetFile() { f = nullptr; }
  } forget{m_file};
  m_uploadEnd = size;

  const std::string user = m_params.ftpUser.empty() ? "anonymous" : m_params.ftpUser;
  const std::string pass =
      m_params.ftpPassword.empty() ? TransferParams::kAnonymousPassword : m_params.ftpPassword;
  m_blockLimit = std::max(1, m_params.sendBlockBytes);
  if (m_params.rateLimit > 0) m_blockLimit = std::min<std::int64_t>(m_blockLimit, m_params.rateLimit);

  auto makeEasy = [&]() {
    Easy easy(curl_easy_init());
    configureCommon(easy.get());
    curl_easy_setopt(easy.get(), CURLOPT_URL, target.curlUrl.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PASSWORD, pass.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_FTP_USE_EPSV, 0L);  // PASV, as the servers expect
    curl_easy_setopt(easy.get(), CURLOPT_FTP_USE_EPRT, 0L);  // PORT in active mode
    curl_easy_setopt(easy.get(), CURLOPT_FTP_CREATE_MISSING_DIRS, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_DEBUGFUNCTION, &TransferObject::debugCallback);
    curl_easy_setopt(easy.get(), CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy.get(), CURLOPT_VERBOSE, 1L);  // feeds the debug callback
    m_sendQueue.attach(easy.get());
    // libcurl waits for the final reply inside one call, asking its progress
    // callback meanwhile: that is where close() and the reply's deadline end
    // the wait (its own limit is only a backstop, the step keeps the receive
    // time-out everywhere else).
    curl_easy_setopt(easy.get(), CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>((std::max(m_params.receiveTimeoutMs, 1000) + 999) / 1000 + 660));
    curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION,
                     +[](void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                       auto* t = static_cast<TransferObject*>(self);
                       return t->m_closeRequested || t->finalReplyOverdue() ? 1 : 0;
                     });
    // The size probe's header lines ("Content-Length: n") are not for stdout.
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION,
                     +[](char*, std::size_t size, std::size_t n, void*) -> std::size_t { return size * n; });
    return easy;
  };

  // Where the server already holds part of this file, continue after it.
  std::int64_t offset = 0;
  if (m_params.modeFlags & kModeResume) {
    m_ftp.quitSent = false;
    Easy probe = makeEasy();
    curl_easy_setopt(probe.get(), CURLOPT_NOBODY, 1L);
    std::string err;
    if (perform(probe.get(), err) == CURLE_OK) {
      curl_off_t remote = -1;
      curl_easy_getinfo(probe.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &remote);
      if (remote > 0 && remote <= size) offset = remote;
    }
    if (m_closeRequested) return;
  }

  // The remote size after the final reply; "*": a server without SIZE is
  // no failure.
  const std::string sizeCommand = "*SIZE " + target.remoteName;
  Slist postquote(curl_slist_append(nullptr, sizeCommand.c_str()));

  bool active = false;
  bool restartedFromZero = false;
  bool freshSession = false;
  int connectTries = 0;
  for (;;) {
    m_offset = offset;
    m_uploadStart = offset;
    m_moved = 0;
    m_position = offset;
    m_sending = false;
    m_ftp = FtpDialogue();
    m_localError.clear();
    r.startOffset = offset;

    Easy easy = makeEasy();
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);  // TYPE I: the bytes arrive unchanged
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size - offset));
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &TransferObject::readCallback);
    curl_easy_setopt(e, CURLOPT_READDATA, this);
    curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(uploadBuffer(m_blockLimit, m_params.rateLimit)));
    curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(std::max(m_params.connectTimeoutMs, 1)));
    if (active) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (freshSession) curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    // REST right before STOR (after TYPE). "REST 0" of a new file may be
    // refused harmlessly ("*"); a REST above 0 must succeed, and the read
    // callback holds the data back unless its reply was 350.
    std::string rest = (offset > 0 ? "REST " : "*REST ") + std::to_string(offset);
    Slist prequote(curl_slist_append(nullptr, rest.c_str()));
    curl_easy_setopt(e, CURLOPT_PREQUOTE, prequote.get());
    curl_easy_setopt(e, CURLOPT_POSTQUOTE, postquote.get());

    std::string err;
    int code = perform(e, err);
    r.bytesMoved = m_moved;
    r.position = m_offset;
    r.status = m_ftp.lastReply;
    // No new connection: the session an earlier upload logged in was taken up.
    long connects = 0;
    curl_easy_getinfo(e, CURLINFO_NUM_CONNECTS, &connects);
    const bool reused = m_params.connections && connects == 0;
    if (reused) m_ftp.loggedIn = true;
    // The server confirmed every byte (226) and then closed the session
    // instead of answering SIZE: as good as a server without SIZE.
    if (code != CURLE_OK && m_offset == size && m_ftp.lastCommand == "SIZE" && m_ftp.lastReply == 226 &&
        m_ftp.sizeReply == 0)
      code = CURLE_OK;
    // What was sent is not the file as it is now: a file still being written
    // (or cut short) would be registered incomplete.
    if (file.stamp() != startStamp) {
      r.outcome = Outcome::FileChanged;
      r.error = kFileChangedError;
      break;
    }
    if (code == CURLE_OK && m_offset == size) {
      if (m_ftp.sizeReply == 213 && m_ftp.remoteSize != size) {
        r.outcome = Outcome::NetworkError;
        r.error = "the server holds " + std::to_string(m_ftp.remoteSize) + " bytes of " + std::to_string(size);
        break;
      }
      r.outcome = Outcome::Completed;
      r.error.clear();
      break;
    }
    r.error = err;
    if (m_closeRequested) break;
    if (!m_localError.empty()) {
      r.outcome = Outcome::LocalFileError;
      r.error = m_localError;
      break;
    }
    const bool restFailed = offset > 0 && m_moved == 0 &&
                            (m_ftp.restRefused || (code == CURLE_QUOTE_ERROR && m_ftp.lastCommand == "REST"));
    if (reused && !freshSession && m_moved == 0 && isConnectError(code)) {
      freshSession = true;  // the kept session had been closed by the server: log in anew
      continue;
    }
    if (restFailed && !restartedFromZero) {
      restartedFromZero = true;  // the server cannot continue the file: send it whole
      offset = 0;
      continue;
    }
    if (code == CURLE_OK) {  // the server took fewer bytes than the file holds
      r.outcome = Outcome::NetworkError;
      r.error = "the file changed while it was sent";
      break;
    }
    bool passiveFailed = !active && m_ftp.loggedIn && m_ftp.lastCommand == "PASV" && m_moved == 0;
    if (passiveFailed) {
      active = true;  // for the rest of this transfer
      continue;
    }
    if (!m_ftp.loggedIn) {
      r.outcome = Outcome::ConnectFailed;
      if (isConnectError(code) && connectTries++ < m_params.retries && waitBeforeRetry()) continue;
      break;
    }
    bool refused = code == CURLE_UPLOAD_FAILED || code == CURLE_QUOTE_ERROR ||
                   code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_REMOTE_FILE_NOT_FOUND ||
                   code == CURLE_REMOTE_DISK_FULL || code == CURLE_FTP_COULDNT_USE_REST || restFailed;
    r.outcome = refused ? Outcome::ServerRefused : Outcome::NetworkError;
    break;
  }
}

}  // namespace tarnwick::transfer
