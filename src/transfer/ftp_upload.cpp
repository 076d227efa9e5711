#include "transfer/ftp_upload.h"

#include <algorithm>

#include <curl/curl.h>

#include "log/log.h"
#include "net/connection_share.h"
#include "net/curl_driver.h"
#include "transfer/wire_url.h"

namespace tarnwick::transfer {
namespace {

using Easy = net::CurlEasy;
using Slist = net::CurlSlist;

// The longest extra wait for a final reply, whatever the server's backlog.
constexpr std::int64_t kMaxBacklogMs = 600000;
// Unsent bytes up to this many go with the last block at once, so that a
// small file does not wait for the server to read it before its last block;
// the final reply's deadline then allows for them at the pace of the
// slowest link (1 KiB/s: at most 64 s more, which only a server that never
// answers waits out). More than this and the last block is held until the
// socket is empty.
constexpr std::int64_t kUnsentSentWithLastBlock = 64 * 1024;
constexpr std::int64_t kSlowestLinkBytesPerSecond = 1024;
// The longest a read under a speed limit waits for a whole send block
// before it takes a part of one.
constexpr std::int64_t kLongestBlockWaitMs = 250;

bool isConnectError(int code) {
  return code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
         code == CURLE_LOGIN_DENIED || code == CURLE_FTP_WEIRD_SERVER_REPLY ||
         code == CURLE_OPERATION_TIMEDOUT || code == CURLE_GOT_NOTHING ||
         code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
}

bool isRefusal(int code) {
  return code == CURLE_UPLOAD_FAILED || code == CURLE_QUOTE_ERROR || code == CURLE_REMOTE_ACCESS_DENIED ||
         code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_DISK_FULL ||
         code == CURLE_FTP_COULDNT_USE_REST;
}

// libcurl's upload buffer: whole send blocks, at least 64 KiB. Sending 20480-byte blocks one by one costs every block a
// round through libcurl and halves the throughput on a fast link; the bytes
// on the wire are the same either way.
std::int64_t uploadBuffer(std::int64_t block) {
  std::int64_t blocks = std::max<std::int64_t>(1, (65536 + block - 1) / block);
  return std::clamp<std::int64_t>(block * blocks, 16384, 2 << 20);
}

}  // namespace

FtpUpload::FtpUpload() : Transfer(uploadLimiter()) {}

FtpUpload::~FtpUpload() { shutdown(); }

void FtpUpload::transferFile(TransferReport& r) {
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
  m_startStamp = file.stamp();
  const std::int64_t size = m_startStamp.size;
  r.totalSize = size;
  m_total = size;
  m_uploadEnd = size;
  m_file = &file;
  // m_file names this local object: cleared on every way out.
  struct ForgetFile {
    LocalFile*& f;
    ~ForgetFile() { f = nullptr; }
  } forget{m_file};
  m_blockLimit = std::max(1, m_params.sendBlockBytes);

  Attempts a;
  if (m_params.resumeUpload) {
    a.offset = remotePartSize(target, size);
    if (closeRequested()) return;
  }
  // The remote size after the final reply; "*": a server without SIZE is
  // no failure.
  const std::string sizeCommand = "*SIZE " + target.remoteName;
  Slist postquote(curl_slist_append(nullptr, sizeCommand.c_str()));
  for (;;) {
    const Sent s = sendOnce(target, a, postquote.get(), r);
    if (settled(s, r) || !tryAgain(s, a, r)) break;
  }
}

// A handle with the login, the dialogue's options and the callbacks that
// watch it; the size probe and every attempt start from one.
net::CurlEasy FtpUpload::newHandle(const FtpTarget& target) {
  const std::string user = m_params.ftpUser.empty() ? "anonymous" : m_params.ftpUser;
  const std::string pass =
      m_params.ftpPassword.empty() ? TransferParams::kAnonymousPassword : m_params.ftpPassword;
  log::addSecret(m_params.ftpPassword);
  Easy easy(curl_easy_init());
  CURL* e = easy.get();
  configureCommon(e, "ftp");
  if (m_params.connections)
    curl_easy_setopt(e, CURLOPT_SHARE, m_params.connections->handle());
  else
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(e, CURLOPT_URL, target.curlUrl.c_str());
  curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(e, CURLOPT_PASSWORD, pass.c_str());
  curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 0L);  // PASV, as the servers expect
  curl_easy_setopt(e, CURLOPT_FTP_USE_EPRT, 0L);  // PORT in active mode
  curl_easy_setopt(e, CURLOPT_FTP_CREATE_MISSING_DIRS, 0L);
  curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &FtpUpload::debugCallback);
  curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);  // feeds the debug callback
  m_sendQueue.attach(e);
  // libcurl waits for the final reply inside one call, asking its progress
  // callback meanwhile: that is where close() and the reply's deadline end
  // the wait (its own limit is only a backstop, the step keeps the receive
  // time-out everywhere else).
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   static_cast<long>((std::max(m_params.receiveTimeoutMs, 1000) + 999) / 1000 + 660));
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION,
                   +[](void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                     auto* t = static_cast<FtpUpload*>(self);
                     return t->closeRequested() || t->finalReplyOverdue() ? 1 : 0;
                   });
  // The size probe's header lines ("Content-Length: n") are not for stdout.
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION,
                   +[](char*, std::size_t size, std::size_t n, void*) -> std::size_t { return size * n; });
  return easy;
}

// Where the server already holds part of this file (at most its whole
// size), the upload continues after it; 0 otherwise.
std::int64_t FtpUpload::remotePartSize(const FtpTarget& target, std::int64_t size) {
  m_ftp.quitSent = false;
  m_lastBlock = LastBlock::NotYet;
  Easy probe = newHandle(target);
  curl_easy_setopt(probe.get(), CURLOPT_NOBODY, 1L);
  std::string err;
  if (perform(probe.get(), err) != CURLE_OK) return 0;
  curl_off_t remote = -1;
  curl_easy_getinfo(probe.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &remote);
  return remote > 0 && remote <= size ? remote : 0;
}

// One STOR of the file from a.offset; the report's counters and status
// follow it.
FtpUpload::Sent FtpUpload::sendOnce(const FtpTarget& target, const Attempts& a, curl_slist* postquote,
                                    TransferReport& r) {
  m_offset = a.offset;
  m_uploadStart = a.offset;
  m_moved = 0;
  m_position = a.offset;
  m_sending = false;
  m_pacePaused = false;
  m_paceWaitMs = -1;
  m_lastBlock = LastBlock::NotYet;
  m_ftp = FtpDialogue();
  m_localError.clear();
  r.startOffset = a.offset;

  Easy easy = newHandle(target);
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);  // TYPE I: the bytes arrive unchanged
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(m_uploadEnd - a.offset));
  curl_easy_setopt(e, CURLOPT_READFUNCTION, &FtpUpload::readCallback);
  curl_easy_setopt(e, CURLOPT_READDATA, this);
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(uploadBuffer(m_blockLimit)));
  curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(std::max(m_params.connectTimeoutMs, 1)));
  if (a.active) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
  if (a.freshSession) curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  // REST right before STOR (after TYPE). "REST 0" of a new file may be
  // refused harmlessly ("*"); a REST above 0 must succeed, and the read
  // callback holds the data back unless its reply was 350.
  std::string rest = (a.offset > 0 ? "REST " : "*REST ") + std::to_string(a.offset);
  Slist prequote(curl_slist_append(nullptr, rest.c_str()));
  curl_easy_setopt(e, CURLOPT_PREQUOTE, prequote.get());
  curl_easy_setopt(e, CURLOPT_POSTQUOTE, postquote);

  Sent s;
  s.code = perform(e, s.error);
  r.bytesMoved = m_moved;
  r.position = m_offset;
  r.status = m_ftp.lastReply;
  // No new connection: the session an earlier upload logged in was taken up.
  long connects = 0;
  curl_easy_getinfo(e, CURLINFO_NUM_CONNECTS, &connects);
  s.reused = m_params.connections && connects == 0;
  if (s.reused) m_ftp.loggedIn = true;
  // The server confirmed every byte (226) and then closed the session
  // instead of answering SIZE: as good as a server without SIZE.
  if (s.code != CURLE_OK && m_offset == m_uploadEnd && m_ftp.lastCommand == "SIZE" && m_ftp.lastReply == 226 &&
      m_ftp.sizeReply == 0)
    s.code = CURLE_OK;
  return s;
}

// True when the attempt decided the outcome: the file changed, every byte
// arrived, close() came or the local file failed.
bool FtpUpload::settled(const Sent& s, TransferReport& r) {
  // What was sent is not the file as it is now: a file still being written
  // (or cut short) would be registered incomplete.
  if (m_file->stamp() != m_startStamp) {
    r.outcome = Outcome::FileChanged;
    r.error = kFileChangedError;
    return true;
  }
  if (s.code == CURLE_OK && m_offset == m_uploadEnd) {
    if (m_ftp.sizeReply == 213 && m_ftp.remoteSize != m_uploadEnd) {
      r.outcome = Outcome::NetworkError;
      r.error = "the server holds " + std::to_string(m_ftp.remoteSize) + " bytes of " + std::to_string(m_uploadEnd);
      return true;
    }
    r.outcome = Outcome::Completed;
    r.error.clear();
    return true;
  }
  r.error = s.error;
  if (closeRequested()) return true;
  if (!m_localError.empty()) {
    r.outcome = Outcome::LocalFileError;
    r.error = m_localError;
    return true;
  }
  return false;
}

// An attempt that failed: true when another one may do better (a dead kept
// session, a refused REST, a failed PASV, a connection still to come),
// otherwise the outcome is set.
bool FtpUpload::tryAgain(const Sent& s, Attempts& a, TransferReport& r) {
  const bool restFailed = a.offset > 0 && m_moved == 0 &&
                          (m_ftp.restRefused || (s.code == CURLE_QUOTE_ERROR && m_ftp.lastCommand == "REST"));
  if (s.reused && !a.freshSession && m_moved == 0 && isConnectError(s.code)) {
    a.freshSession = true;  // the kept session had been closed by the server: log in anew
    return true;
  }
  if (restFailed && !a.restartedFromZero) {
    a.restartedFromZero = true;  // the server cannot continue the file: send it whole
    a.offset = 0;
    return true;
  }
  if (s.code == CURLE_OK) {  // the server took fewer bytes than the file holds
    r.outcome = Outcome::NetworkError;
    r.error = "the file changed while it was sent";
    return false;
  }
  if (!a.active && m_ftp.loggedIn && m_ftp.lastCommand == "PASV" && m_moved == 0) {
    a.active = true;  // passive failed: active for the rest of this transfer
    return true;
  }
  if (!m_ftp.loggedIn) {
    r.outcome = Outcome::ConnectFailed;
    return isConnectError(s.code) && a.connectTries++ < m_params.retries && waitBeforeRetry();
  }
  r.outcome = isRefusal(s.code) || restFailed ? Outcome::ServerRefused : Outcome::NetworkError;
  return false;
}

// Between polls: bytes leaving the socket are activity too, while libcurl
// waits for room in the socket or holds the last block back; the final
// reply has a deadline of its own.
const char* FtpUpload::stalled(CURL* easy) {
  if (m_sendQueue.shrank()) noteActivity();
  m_sendQueue.sample(nowMs());
  if (m_lastBlock == LastBlock::Held && m_sendQueue.unsent() == 0) releaseLastBlock(easy);
  const bool finalReply = m_lastBlock == LastBlock::Released && m_offset >= m_uploadEnd;
  const bool stall = finalReply ? finalReplyOverdue()
                                : idleLongerThan(m_sending ? m_params.sendTimeoutMs : m_params.receiveTimeoutMs);
  if (!stall) return nullptr;
  return m_sending ? "send time-out" : "receive time-out";
}

// The last block of an upload waits while the socket still holds many
// unsent bytes: once libcurl has written it, it closes the data connection
// and waits for the final reply inside one call, where the queue can no
// longer be watched. A server that keeps up has emptied the queue within a
// few milliseconds (the step then polls up to every 5 ms).
bool FtpUpload::holdLastBlock() {
  if (m_lastBlock == LastBlock::NotYet && m_sendQueue.unsent() > kUnsentSentWithLastBlock) {
    m_lastBlock = LastBlock::Held;
    driver().setPollMs(5);
  }
  if (m_lastBlock == LastBlock::Held) return true;
  if (m_lastBlock == LastBlock::NotYet) releaseLastBlock(nullptr);
  return false;
}

// From here libcurl waits for the final reply; it is due after the receive
// time-out plus what the server's backlog takes (finalReplyOverdue()).
void FtpUpload::releaseLastBlock(CURL* easy) {
  m_lastBlock = LastBlock::Released;
  noteActivity();
  // Still to reach the server: the last block, and what the socket holds
  // unsent when it was not held back.
  const std::int64_t backlog = m_sendQueue.backlogMs(m_uploadEnd - m_offset) +
                               m_sendQueue.unsent() * 1000 / kSlowestLinkBytesPerSecond;
  m_finalReplyDueMs = nowMs() + std::max(m_params.receiveTimeoutMs, 1000) +
                      std::min<std::int64_t>(backlog, kMaxBacklogMs);
  if (easy) {
    driver().setPollMs(100);
    curl_easy_pause(easy, CURLPAUSE_CONT);
  }
}

// Asked by libcurl's progress callback, also inside its blocking waits: the
// final reply past its deadline, or a later reply (SIZE) past the receive
// time-out.
bool FtpUpload::finalReplyOverdue() {
  if (m_lastBlock != LastBlock::Released || m_offset < m_uploadEnd || m_params.receiveTimeoutMs <= 0) return false;
  if (nowMs() <= m_finalReplyDueMs || !idleLongerThan(m_params.receiveTimeoutMs)) return false;
  m_stallError = "receive time-out";
  return true;
}

std::size_t FtpUpload::debugCallback(CURL*, int type, char* data, std::size_t n, void* self) {
  auto* t = static_cast<FtpUpload*>(self);
  if (type == CURLINFO_HEADER_OUT) readFtpCommand(data, n, t->m_ftp);
  else if (type == CURLINFO_HEADER_IN && readFtpReply(data, n, t->m_ftp)) t->noteActivity();
  // The dialogue at debug level; the log's redaction masks the PASS argument.
  if ((type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN) && log::enabled(log::Level::Debug))
    log::debug(log::kTransfer, std::string(type == CURLINFO_HEADER_OUT ? "ftp> " : "ftp< ") +
                                   std::string(data, n));
  return 0;
}

// Kept in whole send blocks while the limit releases a block within 100 ms
// and this upload has not waited long: with several uploads sharing a
// limit, a wait for a whole block could otherwise last seconds.
std::int64_t FtpUpload::paceUnit() {
  const bool waitedLong = m_paceWaitMs >= 0 && nowMs() - m_paceWaitMs > kLongestBlockWaitMs;
  return !waitedLong && m_blockLimit <= allowanceBurst() ? m_blockLimit : 1;
}

// Between polls: a read paused for the limit goes on once the limit
// releases what the read would take.
bool FtpUpload::pace(CURL* easy) {
  if (!m_pacePaused) return true;
  noteActivity();  // waiting for the limit is no stall
  if (allowanceReady(paceUnit())) {
    m_pacePaused = false;
    curl_easy_pause(easy, CURLPAUSE_CONT);
  }
  return true;
}

std::size_t FtpUpload::readCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<FtpUpload*>(self);
  if (t->closeRequested()) return CURL_READFUNC_ABORT;
  // Whole send blocks; libcurl's buffer holds several of them.
  std::size_t room = size * n, block = static_cast<std::size_t>(t->m_blockLimit);
  std::size_t want = room <= block ? room : room / block * block;
  // Never past the size announced at the start, should the file grow meanwhile.
  want = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(want), t->m_uploadEnd - t->m_offset));
  if (t->m_uploadStart > 0 && t->m_ftp.restReply != 350) {
    // REST was not confirmed: the server would write these bytes at the
    // start of the file. Nothing is sent; the upload starts again from 0.
    t->m_ftp.restRefused = true;
    return CURL_READFUNC_ABORT;
  }
  t->m_sending = true;
  // The speed limit: what it releases now, in whole blocks when it can
  // release one within 100 ms; nothing: pause until pace() resumes.
  std::int64_t granted = static_cast<std::int64_t>(want);
  if (want > 0 && t->rateLimited()) {
    granted = t->takeAllowance(granted, t->paceUnit());
    if (granted == 0) {
      t->m_pacePaused = true;
      if (t->m_paceWaitMs < 0) t->m_paceWaitMs = nowMs();
      return CURL_READFUNC_PAUSE;
    }
    t->m_paceWaitMs = -1;
    want = static_cast<std::size_t>(granted);
  }
  if (want > 0 && t->m_offset + static_cast<std::int64_t>(want) >= t->m_uploadEnd && t->holdLastBlock()) {
    t->returnAllowance(granted);
    return CURL_READFUNC_PAUSE;
  }
  std::int64_t got = t->m_file->readAt(t->m_offset, buf, want);
  if (got < 0) {
    t->returnAllowance(granted);
    t->m_localError = t->m_file->error();
    return CURL_READFUNC_ABORT;
  }
  if (got < granted) t->returnAllowance(granted - got);
  t->m_offset += got;
  t->noteMoved(got);
  // All read: from here the final reply is awaited under the receive limit.
  if (got == 0 || t->m_offset >= t->m_uploadEnd) t->m_sending = false;
  return static_cast<std::size_t>(got);
}

}  // namespace tarnwick::transfer
