#include "transfer/transfer_object.h"

#include <algorithm>
#include <chrono>

#include <curl/curl.h>

#include "transfer/local_file.h"

namespace tarnwick::transfer {
namespace {

std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// libcurl's global setup is not thread-safe in older versions: do it once.
void curlGlobalInit() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
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

TransferObject::TransferObject() {
  curlGlobalInit();
  m_multi = curl_multi_init();
}

TransferObject::~TransferObject() {
  m_closeRequested = true;
  if (m_multi) curl_multi_wakeup(m_multi);
  std::thread t;
  {
    std::lock_guard lock(m_mutex);
    t = std::move(m_thread);
  }
  if (t.joinable()) {
    if (t.get_id() == std::this_thread::get_id())
      t.detach();  // destroyed from its own finished handler: the thread touches nothing after it
    else
      t.join();
  }
  if (m_multi) curl_multi_cleanup(m_multi);
}

bool TransferObject::start(const TransferParams& params) {
  std::thread old;
  {
    std::lock_guard lock(m_mutex);
    if (m_running) return false;
    m_running = true;  // claimed: a second start from another thread is refused
    old = std::move(m_thread);
  }
  if (old.joinable()) {
    if (old.get_id() == std::this_thread::get_id())
      old.detach();  // restarted from the finished handler of the previous run
    else
      old.join();    // the previous run is past its handler or about to be
  }
  m_params = params;
  m_closeWaitMs = params.closeWaitMs;
  m_closeRequested = false;
  m_position = 0;
  m_sinceQuery = 0;
  m_total = -1;
  std::lock_guard lock(m_mutex);
  m_thread = std::thread([this] { run(); });
  return true;
}

std::int64_t TransferObject::bytesTransferred() const { return m_running ? m_position.load() : 0; }

std::int64_t TransferObject::bytesSinceLastQuery() {
  std::int64_t n = m_sinceQuery.exchange(0);
  return m_running ? n : 0;
}

std::int64_t TransferObject::totalSize() const { return m_running ? m_total.load() : -1; }

TransferReport TransferObject::lastReport() const {
  std::lock_guard lock(m_mutex);
  return m_report;
}

void TransferObject::close() {
  m_closeRequested = true;
  curl_multi_wakeup(m_multi);
  std::unique_lock lock(m_mutex);
  m_ended.notify_all();  // ends a wait before a retry
  if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id()) return;
  int waitMs = std::max(0, m_closeWaitMs.load());
  m_ended.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !m_running.load(); });
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
  finish(std::move(r));
}

void TransferObject::finish(TransferReport r) {
  // The handler is copied: it may start another transfer or even destroy this
  // object, and nothing here touches the object after the call.
  FinishedHandler handler = m_params.onFinished;
  {
    std::lock_guard lock(m_mutex);
    m_report = r;
    m_running = false;
    m_position = 0;
    m_sinceQuery = 0;
    m_total = -1;
  }
  m_ended.notify_all();
  if (handler) handler(kEventThreadEnded, r);
}

bool TransferObject::askNameConflict(const TransferReport& r) {
  if (!m_params.onFinished) return false;
  return m_params.onFinished(kEventNameConflict, r);
}

void TransferObject::configureCommon(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
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
  curl_multi_add_handle(m_multi, easy);
  int result = CURLE_OK;
  bool done = false;
  noteActivity();
  while (!done) {
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        result = msg->data.result;
        done = true;
      }
    }
    if (done) break;
    if (m_closeRequested) {
      result = CURLE_ABORTED_BY_CALLBACK;
      error = "closed";
      break;
    }
    int limit = m_sending ? m_params.sendTimeoutMs : m_params.receiveTimeoutMs;
    if (limit > 0 && nowMs() - m_lastActivityMs > limit) {
      result = CURLE_OPERATION_TIMEDOUT;
      error = m_sending ? "send time-out" : "receive time-out";
      break;
    }
    reportProgress();
    curl_multi_poll(m_multi, nullptr, 0, 100, nullptr);
  }
  curl_multi_remove_handle(m_multi, easy);
  if (error.empty() && result != CURLE_OK) error = curl_easy_strerror(static_cast<CURLcode>(result));
  return result;
}

bool TransferObject::waitBeforeRetry() {
  std::unique_lock lock(m_mutex);
  m_ended.wait_for(lock, std::chrono::seconds(1), [this] { return m_closeRequested.load(); });
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
  t->m_sending = true;
  std::int64_t got = t->m_file->readAt(t->m_offset, buf, want);
  if (got < 0) {
    t->m_localError = t->m_file->error();
    return CURL_READFUNC_ABORT;
  }
  if (got == 0) t->m_sending = false;  // all sent: now the final reply is awaited
  t->m_offset += got;
  t->noteMoved(got);
  return static_cast<std::size_t>(got);
}

}  // namespace tarnwick::transfer
