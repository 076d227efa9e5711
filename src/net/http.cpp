#include "net/http.h"

#include <curl/curl.h>

#include <mutex>

#include "net/cookies.h"
#include "net/curl_global.h"
#include "net/hosts.h"
#include "net/http_transfer.h"
#include "net/text.h"

namespace tarnwick::net {
namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kDefaultAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

std::mutex g_hookMutex;
std::function<void(const std::string&)> g_opener;
HttpTimeouts g_timeouts;

std::string failureBytes() { return std::string(255, '\0'); }

// Splits "A: b\r\nC: d\r\n" into header lines (empty lines dropped).
std::vector<std::string> headerLines(std::string_view block) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find('\n', start);
    if (end == std::string_view::npos) end = block.size();
    std::string_view line = block.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

namespace {
thread_local const RequestCancelScope* t_innermostScope = nullptr;
std::atomic<bool> g_allStopped{false};
}  // namespace

RequestCancelScope::RequestCancelScope(const std::atomic<bool>* flag) : m_flag(flag), m_outer(t_innermostScope) {
  t_innermostScope = this;
}

RequestCancelScope::~RequestCancelScope() { t_innermostScope = m_outer; }

bool requestCancelled(const std::atomic<bool>* own) {
  if (g_allStopped.load() || (own && own->load())) return true;
  for (const RequestCancelScope* s = t_innermostScope; s; s = s->m_outer)
    if (s->m_flag && s->m_flag->load()) return true;
  return false;
}

void stopAllRequests() { g_allStopped.store(true); }

void allowRequests() { g_allStopped.store(false); }

void setBrowserOpener(std::function<void(const std::string&)> opener) {
  std::lock_guard lock(g_hookMutex);
  g_opener = std::move(opener);
}

void openInBrowser(const std::string& url) {
  std::function<void(const std::string&)> opener;
  {
    std::lock_guard lock(g_hookMutex);
    opener = g_opener;
  }
  if (opener) opener(url);
}

void setHttpTimeouts(HttpTimeouts t) {
  std::lock_guard lock(g_hookMutex);
  g_timeouts = t;
}

HttpTimeouts httpTimeouts() {
  std::lock_guard lock(g_hookMutex);
  return g_timeouts;
}

namespace {

RequestFailure failureOf(const TransferResult& r) {
  if (r.cancelled) return RequestFailure::Cancelled;
  if (r.tooLarge) return RequestFailure::TooLarge;
  if (r.badScheme) return RequestFailure::BadRequest;
  if (r.timedOut) return RequestFailure::TimedOut;
  if (!r.reachedServer) return RequestFailure::NoConnection;
  if (r.curlCode != 0) return RequestFailure::Broken;
  return RequestFailure::None;
}

void applyOptions(TransferPlan& plan, const RequestOptions& options) {
  plan.timeouts = httpTimeouts();
  plan.totalSeconds = options.deadlineSeconds >= 0 ? options.deadlineSeconds : plan.timeouts.totalSeconds;
  plan.maxBodyBytes = options.maxBodyBytes;
  plan.freshConnection = options.freshConnection;
  plan.maxHeaderBytes = options.maxHeaderBytes;
  plan.cancel = options.cancel;
}

RequestResult resultOf(TransferResult&& r) {
  RequestResult out;
  out.failure = failureOf(r);
  out.status = r.httpStatus;
  out.headers = std::move(r.headers);
  out.error = std::move(r.error);
  if (out.failure == RequestFailure::None || out.failure == RequestFailure::Broken) out.body = std::move(r.body);
  return out;
}

}  // namespace

RequestResult performRequest(const std::string& url, const std::string& method, const std::string& proxy,
                             const std::string& extraHeaders, const std::string& body,
                             const RequestOptions& options) {
  const std::string verb = toUpper(method);
  const bool isPost = verb == "POST";
  if (!(verb.empty() || verb == "GET" || isPost)) {
    RequestResult bad;
    bad.failure = RequestFailure::BadRequest;
    bad.error = "method not allowed: " + method;
    return bad;
  }

  TransferPlan plan;
  plan.url = url;
  plan.method = method.empty() ? "GET" : method;
  plan.proxy = trim(proxy);
  plan.userAgent = kUserAgent;
  applyOptions(plan, options);

  // The header block: the caller's lines, then the defaults they lack.
  plan.headers = headerLines(extraHeaders);
  const auto has = [&](std::string_view name) {
    for (const auto& line : plan.headers)
      if (find(line, name, 1, true) == 1) return true;
    return false;
  };
  const bool hasAccept = has("Accept: "), hasReferer = has("Referer: "), hasLanguage = has("Accept-Language: ");
  const bool hasContentType = has("Content-Type: ");
  if (!hasAccept) plan.headers.emplace_back(kDefaultAccept);
  if (!hasReferer) plan.headers.push_back("Referer: " + url);
  if (!hasLanguage) plan.headers.emplace_back("Accept-Language: zh-cn");
  if (isPost && !body.empty()) {
    if (!hasContentType) plan.headers.emplace_back("Content-Type: application/x-www-form-urlencoded");
    plan.headers.push_back("Content-Length: " + numberToText(static_cast<std::int64_t>(body.size())));
    plan.body = &body;
  }
  plan.headers.emplace_back("Pragma: no-cache");
  plan.headers.emplace_back("Cache-Control: no-cache");
  return resultOf(runTransfer(plan));
}

RequestResult performFetch(const std::string& url, const RequestOptions& options) {
  TransferPlan plan;
  plan.url = url;
  plan.method = "GET";
  plan.http10 = true;
  plan.userAgent = kUserAgent;
  applyOptions(plan, options);
  plan.headers = {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"};
  return resultOf(runTransfer(plan));
}

std::string httpRequest(const std::string& url, const std::string& method, const std::string& proxy,
                        const std::string& extraHeaders, const std::string& body, std::string* responseHeaders) {
  RequestResult r = performRequest(url, method, proxy, extraHeaders, body, RequestOptions{});
  if (responseHeaders) *responseHeaders = r.headers;
  // A reply cut off by the network gives what was read; every other failure
  // (nothing sent, time-out, over the cap, cancelled) gives the failure bytes,
  // so a part of a page is never judged as the page.
  if (r.failure != RequestFailure::None && r.failure != RequestFailure::Broken) return failureBytes();
  return std::move(r.body);
}

std::string httpRequestText(const std::string& url, const std::string& method, const std::string& proxy,
                            const std::string& extraHeaders, const std::string& body, std::string* responseHeaders) {
  std::string bytes = httpRequest(url, method, proxy, extraHeaders, body, responseHeaders);
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  return bytes;
}

std::string fetchUrl(const std::string& url) {
  RequestResult r = performFetch(url, RequestOptions{});
  // A page cut off by a time-out or the cap is no page.
  if (r.failure != RequestFailure::None && r.failure != RequestFailure::Broken) return {};
  return std::move(r.body);
}

bool isInternetConnected() {
  TransferPlan plan;
  plan.url = hosts().mainHost + "/";
  plan.method = "GET";
  plan.userAgent = kUserAgent;
  plan.timeouts.connectSeconds = 8;
  plan.timeouts.lowSpeedSeconds = 10;
  plan.totalSeconds = 15;
  plan.headers = {"Accept: */*", "Cache-Control: no-cache"};
  TransferResult r = runTransfer(plan);
  return r.httpStatus > 0;  // any HTTP answer counts
}

}  // namespace tarnwick::net
