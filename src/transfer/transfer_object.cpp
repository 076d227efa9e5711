#include "transfer/transfer_object.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <curl/curl.h>

#include <unistd.h>

#include "net/connection_share.h"
#include "net/curl_driver.h"
#include "transfer/local_file.h"

namespace tarnwick::transfer {
namespace {

// The longest extra wait for a final reply, whatever the server's backlog.
constexpr std::int64_t kMaxBacklogMs = 600000;

std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Completed: return "completed";
    case Outcome::Closed: return "closed";
    case Outcome::GivenUp: return "given up";
    case Outcome::ConnectFailed: return "connect failed";
    case Outcome::NetworkError: return "network error";
    case Outcome::ServerRefused: return "refused by the server";
    case Outcome::UnsupportedReply: return "unsupported reply";
    case Outcome::LocalFileError: return "local file error";
    case Outcome::BadParameters: return "bad parameters";
    case Outcome::FileChanged: return "file changed";
  }
  return "?";
}

char requestedFtpType(const TransferParams& p) {
  if (p.transferType != kTypeByExtension) return 'I';
  auto slash = p.localFile.find_last_of("/\\");
  auto dot = p.localFile.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 'A';
  std::string ext = p.localFile.substr(dot);
  std::size_t start = 0;
  while (start <= p.binaryExtensions.size()) {
    std::size_t bar = p.binaryExtensions.find('|', start);
    if (bar == std::string::npos) bar = p.binaryExtensions.size();
    if (p.binaryExtensions.compare(start, bar - start, ext) == 0) return 'I';
    start = bar + 1;
  }
  return 'A';
}

// Ends the Finishing state of one run once its handler call is over, or
// when the executor drops the call without running it.
struct TransferObject::HandlerDone {
  std::shared_ptr<Core> core;
  unsigned generation;
  HandlerDone(std::shared_ptr<Core> c, unsigned g) : core(std::move(c)), generation(g) {}
  HandlerDone(const HandlerDone&) = delete;
  HandlerDone& operator=(const HandlerDone&) = delete;
  ~HandlerDone() {
    {
      std::lock_guard lock(core->mutex);
      if (core->generation == generation) {  // not restarted from the handler
        core->inHandler = false;
        core->running = false;
      }
    }
    core->cv.notify_all();
  }
};

TransferObject::TransferObject() : m_driver(std::make_unique<net::CurlDriver>()), m_core(std::make_shared<Core>()) {}

TransferObject::~TransferObject() {
  m_closeRequested = true;
  m_driver->wakeup();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_core->mutex);
    threads = std::move(m_spent);
    threads.push_back(std::move(m_thread));
  }
  m_core->cv.notify_all();
  const auto self = std::this_thread::get_id();
  for (std::thread& th : threads) {
    if (!th.joinable()) continue;
    if (th.get_id() == self)
      th.detach();  // destroyed from its own finished handler: after it only the shared core is touched
    else
      th.join();
  }
}

bool TransferObject::start(const TransferParams& params) {
  std::thread old;
  {
    std::lock_guard lock(m_core->mutex);
    const bool fromOwnHandler = m_core->inHandler && m_core->handlerThread == std::this_thread::get_id();
    if (m_core->running && !fromOwnHandler) return false;
    m_core->running = true;  // claimed: a second start from another thread is refused
    m_core->active = true;
    m_core->inHandler = false;
    ++m_core->generation;
    m_everStarted = true;
    old = std::move(m_thread);
  }
  // The previous run's thread is past its handler, or inside the handler
  // that called this: then it is kept and joined by the destructor (it
  // cannot join itself, and may still be busy in that handler).
  const auto self = std::this_thread::get_id();
  std::thread keep;
  if (old.joinable()) {
    if (old.get_id() == self)
      keep = std::move(old);
    else
      old.join();
  }
  m_params = params;
  m_closeWaitMs = params.closeWaitMs;
  m_viaExecutor = static_cast<bool>(params.handlerExecutor);
  m_closeRequested = false;
  m_discardRequested = false;
  m_position = 0;
  m_sinceQuery = 0;
  m_total = -1;
  std::lock_guard lock(m_core->mutex);
  if (keep.joinable()) m_spent.push_back(std::move(keep));
  m_thread = std::thread([this] { run(); });
  return true;
}

bool TransferObject::isRunning() const { return m_core->running.load(); }

std::int64_t TransferObject::bytesTransferred() const { return m_core->active ? m_position.load() : 0; }

std::int64_t TransferObject::bytesSinceLastQuery() {
  std::int64_t n = m_sinceQuery.exchange(0);
  return m_core->active ? n : 0;
}

std::int64_t TransferObject::totalSize() const { return m_core->active ? m_total.load() : -1; }

TransferReport TransferObject::lastReport() const {
  std::lock_guard lock(m_core->mutex);
  return m_report;
}

void TransferObject::close() {
  m_closeRequested = true;
  m_driver->wakeup();
  std::unique_lock lock(m_core->mutex);
  m_core->cv.notify_all();  // ends a wait before a retry
  const auto self = std::this_thread::get_id();
  if (!m_core->running || (m_thread.joinable() && m_thread.get_id() == self) ||
      (m_core->inHandler && m_core->handlerThread == self))
    return;  // nothing runs, or called from the transfer itself: never wait for oneself
  // With an executor the handler runs later on another thread (often this
  // one): the end of the transfer is what close() waits for then.
  const bool viaExecutor = m_viaExecutor.load();
  int waitMs = std::max(0, m_closeWaitMs.load());
  m_core->cv.wait_for(lock, std::chrono::milliseconds(waitMs), [this, viaExecutor] {
    return !m_core->running.load() || (viaExecutor && !m_core->active.load());
  });
}

bool TransferObject::discardPartialFile() {
  if (m_params.modeFlags & kModeUpload) return true;  // the local file of an upload is the source
  m_discardRequested = true;  // a run still ending deletes it itself
  close();
  std::lock_guard lock(m_core->mutex);
  if (!m_everStarted) return true;
  if (m_core->active) return false;  // still ending: it deletes the file when it stops
  deletePartial(m_report);
  return m_report.succeeded || m_report.outcome == Outcome::GivenUp ||
         LocalFile::sizeOf(m_params.localFile) < 0;
}

void TransferObject::deletePartial(const TransferReport& r) {
  if (r.succeeded || r.outcome == Outcome::GivenUp || r.outcome == Outcome::BadParameters) return;
  if (!r.localFile.empty()) ::unlink(r.localFile.c_str());
}

void TransferObject::run() {
  TransferReport r;
  r.localFile = m_params.localFile;
  r.remoteUrl = m_params.remoteUrl;
  m_lastActivityMs = nowMs();
  if (m_params.localFile.empty() || m_params.remoteUrl.empty()) {
    r.outcome = Outcome::BadParameters;
    r.error = "remote URL and local file are both required";
  } else if (m_params.modeFlags & kModeUpload) {
    runUpload(r);
  } else {
    runDownload(r);
  }
  if (r.outcome != Outcome::Completed && m_closeRequested && r.outcome != Outcome::GivenUp) {
    r.outcome = Outcome::Closed;
    r.error = "closed";
  }
  r.succeeded = r.outcome == Outcome::Completed;
  if (!(m_params.modeFlags & kModeUpload) && m_discardRequested) deletePartial(r);
  finish(std::move(r));
}

void TransferObject::finish(TransferReport r) {
  // Copies: the handler may start another transfer on this object or even
  // destroy it; after the call only the shared core is touched.
  FinishedHandler handler = m_params.onFinished;
  std::function<void(std::function<void()>)> executor = m_params.handlerExecutor;
  std::shared_ptr<Core> core = m_core;
  unsigned generation = 0;
  {
    std::lock_guard lock(core->mutex);
    m_report = r;
    m_position = 0;
    m_sinceQuery = 0;
    m_total = -1;
    core->active = false;
    core->inHandler = true;
    core->handlerThread = {};  // set by the call itself, on whichever thread runs it
    generation = core->generation;
  }
  core->cv.notify_all();
  auto done = std::make_shared<HandlerDone>(core, generation);
  std::function<void()> call = [done, handler = std::move(handler), r = std::move(r)]() mutable {
    {
      std::lock_guard lock(done->core->mutex);
      if (done->core->generation == done->generation) done->core->handlerThread = std::this_thread::get_id();
    }
    if (handler) handler(kEventThreadEnded, r);
    done.reset();  // running ends here, after the handler returned
  };
  done.reset();  // the call holds the only reference now
  if (executor)
    executor(std::move(call));
  else
    call();
}

bool TransferObject::askNameConflict(const TransferReport& r) {
  if (!m_params.onFinished) return false;
  return m_params.onFinished(kEventNameConflict, r);
}

void TransferObject::configureCommon(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, (m_params.modeFlags & kModeUpload) ? "ftp" : "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  if (m_params.connections && (m_params.modeFlags & kModeUpload))
    curl_easy_setopt(easy, CURLOPT_SHARE, m_params.connections->handle());
  else
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_params.connectTimeoutMs));
  long responseSeconds = (std::max(m_params.receiveTimeoutMs, 1000) + 999) / 1000;
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
  if (m_params.rateLimit > 0) {
    curl_easy_setopt(easy, CURLOPT_MAX_SEND_SPEED_LARGE, static_cast<curl_off_t>(m_params.rateLimit));
    curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(m_params.rateLimit));
  }
}

void TransferObject::noteActivity() { m_lastActivityMs = nowMs(); }

void TransferObject::noteMoved(std::int64_t n) {
  m_moved += n;
  m_position += n;
  m_sinceQuery += n;
  noteActivity();
}

void TransferObject::reportProgress() {
  if (!m_params.onProgress) return;
  std::int64_t now = nowMs();
  if (now - m_lastProgressMs < 200) return;
  m_lastProgressMs = now;
  m_params.onProgress(1, m_params.remoteUrl, m_params.localFile, m_position.load(), m_total.load());
}

int TransferObject::perform(CURL* easy, std::string& error) {
  noteActivity();
  m_lastBlock = LastBlock::NotYet;
  m_stallError.clear();
  // 10 ms: at the end of an FTP upload libcurl at times waits out the whole
  // poll without a socket event; with many small files on one session that
  // wait, not the bytes, was what the run took.
  const CURLcode result = m_driver->run(easy, 10, [&]() -> CURLcode {
    if (m_closeRequested) {
      error = "closed";
      return CURLE_ABORTED_BY_CALLBACK;
    }
    // Bytes leaving the socket are activity too, while libcurl waits for
    // room in the socket or holds the last block back.
    if (m_sendQueue.shrank()) noteActivity();
    m_sendQueue.sample(nowMs());
    if (m_lastBlock == LastBlock::Held && m_sendQueue.unsent() == 0) releaseLastBlock(easy);
    const bool sending = m_sending;
    const int limit = sending ? m_params.sendTimeoutMs : m_params.receiveTimeoutMs;
    const bool finalReply = m_lastBlock == LastBlock::Released && m_offset >= m_uploadEnd;
    if ((finalReply && finalReplyOverdue()) ||
        (!finalReply && limit > 0 && nowMs() - m_lastActivityMs > limit)) {
      error = sending ? "send time-out" : "receive time-out";
      return CURLE_OPERATION_TIMEDOUT;
    }
    reportProgress();
    return CURLE_OK;
  });
  if (error.empty()) error = m_stallError;
  if (error.empty() && result != CURLE_OK) error = curl_easy_strerror(result);
  return result;
}

// The last block of an upload waits while the socket still holds unsent
// bytes: once libcurl has written it, it closes the data connection and
// waits for the final reply inside one call, where the queue can no longer
// be watched. A server that keeps up has emptied the queue within a few
// milliseconds (the step then polls every 5 ms).
bool TransferObject::holdLastBlock() {
  if (m_lastBlock == LastBlock::NotYet && m_sendQueue.unsent() > 0) {
    m_lastBlock = LastBlock::Held;
    m_driver->setPollMs(5);
  }
  if (m_lastBlock == LastBlock::Held) return true;
  if (m_lastBlock == LastBlock::NotYet) releaseLastBlock(nullptr);
  return false;
}

// From here libcurl waits for the final reply; it is due after the receive
// time-out plus what the server's backlog takes (finalReplyOverdue()).
void TransferObject::releaseLastBlock(CURL* easy) {
  m_lastBlock = LastBlock::Released;
  noteActivity();
  const std::int64_t backlog = m_sendQueue.backlogMs(m_uploadEnd - m_offset);
  m_finalReplyDueMs = m_lastActivityMs + std::max(m_params.receiveTimeoutMs, 1000) +
                      std::min<std::int64_t>(backlog, kMaxBacklogMs);
  if (easy) {
    m_driver->setPollMs(100);
    curl_easy_pause(easy, CURLPAUSE_CONT);
  }
}

// Asked by libcurl's progress callback, also inside its blocking waits: the
// final reply past its deadline, or a later reply (SIZE) past the receive
// time-out.
bool TransferObject::finalReplyOverdue() {
  if (m_lastBlock != LastBlock::Released || m_offset < m_uploadEnd || m_params.receiveTimeoutMs <= 0) return false;
  const std::int64_t now = nowMs();
  if (now <= m_finalReplyDueMs || now - m_lastActivityMs <= m_params.receiveTimeoutMs) return false;
  m_stallError = "receive time-out";
  return true;
}

bool TransferObject::waitBeforeRetry(int ms) {
  std::unique_lock lock(m_core->mutex);
  m_core->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_closeRequested.load(); });
  return !m_closeRequested;
}

std::size_t TransferObject::readCallback(char* buf, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<TransferObject*>(self);
  if (t->m_closeRequested) return CURL_READFUNC_ABORT;
  // Whole blocks of member 13 (one block under a rate limit, so that the
  // limiter paces block by block); libcurl's buffer holds several of them.
  std::size_t room = size * n, block = static_cast<std::size_t>(t->m_blockLimit);
  std::size_t want = room <= block || t->m_params.rateLimit > 0 ? std::min(room, block) : room / block * block;
  // Never past the size announced at the start, should the file grow meanwhile.
  want = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(want), t->m_uploadEnd - t->m_offset));
  if (t->m_uploadStart > 0 && t->m_ftp.restReply != 350) {
    // REST was not confirmed: the server would write these bytes at the
    // start of the file. Nothing is sent; the upload starts again from 0.
    t->m_ftp.restRefused = true;
    return CURL_READFUNC_ABORT;
  }
  t->m_sending = true;
  if (want > 0 && t->m_offset + static_cast<std::int64_t>(want) >= t->m_uploadEnd && t->holdLastBlock())
    return CURL_READFUNC_PAUSE;
  std::int64_t got = t->m_file->readAt(t->m_offset, buf, want);
  if (got < 0) {
    t->m_localError = t->m_file->error();
    return CURL_READFUNC_ABORT;
  }
  t->m_offset += got;
  t->noteMoved(got);
  // All read: from here the final reply is awaited under the receive limit.
  if (got == 0 || t->m_offset >= t->m_uploadEnd) t->m_sending = false;
  return static_cast<std::size_t>(got);
}

}  // namespace tarnwick::transfer
