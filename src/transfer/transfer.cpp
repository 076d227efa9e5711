#include "transfer/transfer.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <curl/curl.h>

#include "log/log.h"
#include "net/curl_driver.h"

namespace tarnwick::transfer {

std::int64_t Transfer::nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

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

// Ends the Finishing state of one run once its handler call is over, or
// when the executor drops the call without running it.
struct Transfer::HandlerDone {
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

Transfer::Transfer(RateLimiter& direction)
    : m_driver(std::make_unique<net::CurlDriver>()), m_direction(direction), m_core(std::make_shared<Core>()) {}

Transfer::~Transfer() { shutdown(); }

void Transfer::shutdown() {
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

bool Transfer::start(const TransferParams& params) {
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
  m_ownLimit.setRate(params.rateLimit);
  starting();
  m_position = 0;
  m_sinceQuery = 0;
  m_total = -1;
  std::lock_guard lock(m_core->mutex);
  if (keep.joinable()) m_spent.push_back(std::move(keep));
  m_thread = std::thread([this] { run(); });
  return true;
}

bool Transfer::isRunning() const { return m_core->running.load(); }

std::int64_t Transfer::bytesTransferred() const { return m_core->active ? m_position.load() : 0; }

std::int64_t Transfer::bytesSinceLastQuery() {
  std::int64_t n = m_sinceQuery.exchange(0);
  return m_core->active ? n : 0;
}

std::int64_t Transfer::totalSize() const { return m_core->active ? m_total.load() : -1; }

TransferReport Transfer::lastReport() const {
  std::lock_guard lock(m_core->mutex);
  return m_report;
}

void Transfer::close() {
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

void Transfer::run() {
  TransferReport r;
  r.localFile = m_params.localFile;
  r.remoteUrl = m_params.remoteUrl;
  m_lastActivityMs = nowMs();
  const std::int64_t startedMs = m_lastActivityMs;
  log::debug(log::kTransfer, "start " + r.remoteUrl + " <-> " + r.localFile);
  if (m_params.localFile.empty() || m_params.remoteUrl.empty()) {
    r.outcome = Outcome::BadParameters;
    r.error = "remote URL and local file are both required";
  } else {
    transferFile(r);
  }
  if (r.outcome != Outcome::Completed && m_closeRequested && r.outcome != Outcome::GivenUp) {
    r.outcome = Outcome::Closed;
    r.error = "closed";
  }
  r.succeeded = r.outcome == Outcome::Completed;
  logEnd(r, nowMs() - startedMs);
  ended(r);
  finish(std::move(r));
}

void Transfer::finish(TransferReport r) {
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

// One line per run: the outcome, the bytes in place and moved, the time;
// a failure with its reason as a warning, a close (the user's or the
// queue's) as detail.
void Transfer::logEnd(const TransferReport& r, std::int64_t tookMs) {
  const log::Level level = r.succeeded                    ? log::Level::Info
                           : r.outcome == Outcome::Closed ? log::Level::Debug
                                                          : log::Level::Warning;
  if (!log::enabled(level)) return;
  std::string line = std::string(outcomeName(r.outcome)) + ": " + r.remoteUrl + " <-> " + r.localFile + ", " +
                     std::to_string(r.position) + "/" + std::to_string(r.totalSize) + " bytes (" +
                     std::to_string(r.bytesMoved) + " moved from " + std::to_string(r.startOffset) + ") in " +
                     std::to_string(tookMs) + " ms";
  if (r.status) line += ", last reply " + std::to_string(r.status);
  if (!r.error.empty()) line += ": " + r.error;
  log::write(level, log::kTransfer, line);
}

bool Transfer::askNameConflict(const TransferReport& r) {
  if (!m_params.onFinished) return false;
  return m_params.onFinished(kEventNameConflict, r);
}

void Transfer::configureCommon(CURL* easy, const char* protocols) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_params.connectTimeoutMs));
  long responseSeconds = (std::max(m_params.receiveTimeoutMs, 1000) + 999) / 1000;
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
}

std::int64_t Transfer::takeAllowance(std::int64_t want, std::int64_t unit) {
  const std::int64_t own = m_ownLimit.take(want, unit);
  const std::int64_t granted = own > 0 ? m_direction.take(own, unit) : 0;
  m_ownLimit.giveBack(own - granted);
  return granted;
}

void Transfer::returnAllowance(std::int64_t n) {
  m_ownLimit.giveBack(n);
  m_direction.giveBack(n);
}

bool Transfer::allowanceReady(std::int64_t n) { return m_ownLimit.ready(n) && m_direction.ready(n); }

bool Transfer::waitForAllowance(int ms) {
  noteActivity();
  reportProgress();
  return waitBeforeRetry(ms);
}

void Transfer::noteActivity() { m_lastActivityMs = nowMs(); }

void Transfer::noteMoved(std::int64_t n) {
  m_moved += n;
  m_position += n;
  m_sinceQuery += n;
  noteActivity();
}

bool Transfer::idleLongerThan(int limitMs) const { return limitMs > 0 && nowMs() - m_lastActivityMs > limitMs; }

void Transfer::reportProgress() {
  if (!m_params.onProgress) return;
  std::int64_t now = nowMs();
  if (now - m_lastProgressMs < 200) return;
  m_lastProgressMs = now;
  m_params.onProgress(1, m_params.remoteUrl, m_params.localFile, m_position.load(), m_total.load());
}

const char* Transfer::stalled(CURL*) {
  return idleLongerThan(m_params.receiveTimeoutMs) ? "receive time-out" : nullptr;
}

int Transfer::perform(CURL* easy, std::string& error) {
  noteActivity();
  m_stallError.clear();
  // 10 ms: at the end of an FTP upload libcurl at times waits out the whole
  // poll without a socket event; with many small files on one session that
  // wait, not the bytes, was what the run took.
  const CURLcode result = m_driver->run(easy, 10, [&]() -> CURLcode {
    if (m_closeRequested) {
      error = "closed";
      return CURLE_ABORTED_BY_CALLBACK;
    }
    if (!pace(easy)) {
      error = m_localError;
      return CURLE_WRITE_ERROR;
    }
    if (const char* stall = stalled(easy)) {
      error = stall;
      return CURLE_OPERATION_TIMEDOUT;
    }
    reportProgress();
    return CURLE_OK;
  });
  if (error.empty()) error = m_stallError;
  if (error.empty() && result != CURLE_OK) error = curl_easy_strerror(result);
  return result;
}

bool Transfer::waitBeforeRetry(int ms) {
  std::unique_lock lock(m_core->mutex);
  m_core->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_closeRequested.load(); });
  return !m_closeRequested;
}

}  // namespace tarnwick::transfer
