#include "net/http_transfer.h"

#include <curl/curl.h>

#include <chrono>
#include <ctime>

#include "log/log.h"
#include "net/cookies.h"
#include "net/curl_driver.h"
#include "net/curl_global.h"
#include "net/curl_handles.h"
#include "net/text.h"

namespace tarnwick::net {
namespace {

struct Received {
  CURL* easy = nullptr;
  std::string body;
  std::string headers;
  std::size_t maxBody = kDefaultReplyCap;
  std::size_t maxHeaders = kDefaultReplyCap;
  std::size_t headerBytes = 0;  // every header line received, redirects included
  bool tooLarge = false;
  bool reachedServer = false;
  // Set-Cookie lines with the url of the response that carried them.
  std::vector<std::pair<std::string, std::string>> setCookies;
};

std::size_t onBody(char* data, std::size_t size, std::size_t n, void* user) {
  auto* r = static_cast<Received*>(user);
  if (size * n > r->maxBody - r->body.size()) {  // body.size() <= maxBody always holds
    r->tooLarge = true;
    return 0;  // ends the transfer with a write error
  }
  r->body.append(data, size * n);
  return size * n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t n, void* user) {
  auto* r = static_cast<Received*>(user);
  r->headerBytes += size * n;
  if (r->headerBytes > r->maxHeaders) {
    r->tooLarge = true;
    return 0;
  }
  std::string_view line(data, size * n);
  if (line.substr(0, 5) == "HTTP/") r->headers.clear();  // a new response (after a redirect or 100)
  r->headers.append(line);
  if (find(line, "Set-Cookie:", 1, true) == 1) {
    char* effective = nullptr;
    curl_easy_getinfo(r->easy, CURLINFO_EFFECTIVE_URL, &effective);
    std::string_view value = line.substr(11);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.remove_suffix(1);
    r->setCookies.emplace_back(std::string(value), effective ? effective : "");
  }
  return size * n;
}

int onConnected(void* user, char*, char*, int, int) {
  static_cast<Received*>(user)->reachedServer = true;
  return CURL_PREREQFUNC_OK;
}

// The attribute value of name (case-insensitive) in "n=v; Path=/; ...", or
// npos-found flag false.
bool cookieAttribute(const Pieces& parts, std::string_view name, std::string& value) {
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string part = trim(parts[i]);
    const int eq = find(part, "=");
    std::string key = toLower(eq < 0 ? part : left(part, eq - 1));
    if (key == name) {
      value = eq < 0 ? std::string() : mid(part, eq + 1, static_cast<int>(part.size()));
      return true;
    }
  }
  return false;
}

// The host of a response url, lower case, without port or user part.
std::string replyHost(const std::string& responseUrl) {
  std::string host;
  CURLU* u = curl_url();
  char* h = nullptr;
  if (u && curl_url_set(u, CURLUPART_URL, responseUrl.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_HOST, &h, 0) == CURLUE_OK && h) {
    host = toLower(h);
  } else {
    host = urlHost(responseUrl);
  }
  if (h) curl_free(h);
  if (u) curl_url_cleanup(u);
  return host;
}

bool isIpAddress(const std::string& host) {
  if (host.find(':') != std::string::npos || (!host.empty() && host[0] == '[')) return true;
  for (char ch : host)
    if (!(ch == '.' || (ch >= '0' && ch <= '9'))) return false;
  return !host.empty();
}

// The Domain attribute d is acceptable from host when host is d or lies
// below it ("a.example.com" for "example.com"); an address only for itself.
bool domainMatches(const std::string& host, const std::string& d) {
  if (host == d) return true;
  if (isIpAddress(host) || d.find('.') == std::string::npos) return false;
  return host.size() > d.size() && host.compare(host.size() - d.size(), d.size(), d) == 0 &&
         host[host.size() - d.size() - 1] == '.';
}

// A cookie set without a Path attribute belongs to the whole host, as the
// service expects (a login under /post/ is valid for every page). libcurl
// would give it the directory of the request path, so such cookies are
// moved to path "/".
void storeForWholeHost(const std::string& header, const std::string& responseUrl) {
  const Pieces parts = splitText(header, ";");
  const std::string pair = trim(pieceAt(parts, 0));
  const int eq = find(pair, "=");
  if (eq <= 1) return;
  std::string ignored;
  if (cookieAttribute(parts, "path", ignored)) return;
  const std::string path = urlPath(responseUrl);
  const std::string requestPath = left(path, find(path + "?", "?") - 1);
  const int lastSlash = findLast(requestPath, "/");
  if (lastSlash <= 1) return;  // libcurl's default path is "/" already

  Cookie c;
  c.name = trim(left(pair, eq - 1));
  c.value = trim(mid(pair, eq + 1, static_cast<int>(pair.size())));
  const std::string host = replyHost(responseUrl);
  std::string domain;
  if (cookieAttribute(parts, "domain", domain) && !trim(domain).empty()) {
    domain = toLower(trim(domain));
    if (domain[0] == '.') domain.erase(0, 1);
    // A reply may set a cookie only for its own host or a domain above it;
    // libcurl drops such a cookie too, so nothing is stored.
    if (!domainMatches(host, domain)) return;
    c.domain = domain;
    c.includeSubdomains = !isIpAddress(host);  // an address has no subdomains (as libcurl keeps it)
  } else {
    c.domain = host;
  }
  c.secure = cookieAttribute(parts, "secure", ignored);
  c.httpOnly = cookieAttribute(parts, "httponly", ignored);
  std::string maxAge, expires;
  if (cookieAttribute(parts, "max-age", maxAge)) {
    const std::int64_t seconds = textToInt(maxAge);
    c.expires = seconds <= 0 ? 1 : static_cast<std::int64_t>(std::time(nullptr)) + seconds;
  } else if (cookieAttribute(parts, "expires", expires)) {
    const time_t t = curl_getdate(expires.c_str(), nullptr);
    c.expires = t <= 0 ? 1 : static_cast<std::int64_t>(t);
  }
  // Drop libcurl's copy under the directory path, then store it for "/".
  Cookie stale = c;
  stale.path = left(requestPath, lastSlash - 1);
  stale.expires = 1;
  setCookie(stale);
  setCookie(c);
}

bool isConnectFailure(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_FAILED_INIT:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OUT_OF_MEMORY:
      return true;
    default:
      return false;
  }
}

// One line per request: method, address, status (or why there was none),
// time and reply size. Failures are warnings; the rest is detail (debug).
// The address goes through the log's redaction like every line.
void logRequest(const TransferPlan& plan, const TransferResult& result, std::size_t bodyBytes,
                std::chrono::steady_clock::duration took) {
  const bool failed = !result.error.empty() && !result.cancelled;
  const log::Level level = failed ? log::Level::Warning : log::Level::Debug;
  if (!log::enabled(level)) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
  std::string line = plan.method + " " + plan.url + " -> ";
  line += result.httpStatus ? std::to_string(result.httpStatus) : std::string("no reply");
  if (!result.error.empty()) line += " (" + result.error + ")";
  line += ", " + std::to_string(ms) + " ms, " + std::to_string(bodyBytes) + " bytes";
  if (plan.body) line += ", sent " + std::to_string(plan.body->size()) + " bytes";
  log::write(level, log::kNet, line);
}

}  // namespace

std::string requestUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

TransferResult runTransfer(const TransferPlan& plan) {
  ensureCurlGlobal();
  TransferResult result;
  if (requestCancelled(plan.cancel)) {  // cancelled before it began: nothing goes out
    result.cancelled = true;
    result.error = "cancelled";
    return result;
  }
  CurlEasy easyOwner(curl_easy_init());
  CURL* easy = easyOwner.get();
  if (!easy) {
    result.curlCode = CURLE_FAILED_INIT;
    result.error = curl_easy_strerror(CURLE_FAILED_INIT);
    return result;
  }
  Received received;
  received.easy = easy;
  received.maxBody = plan.maxBodyBytes;
  received.maxHeaders = plan.maxHeaderBytes;
  const std::string url = requestUrl(plan.url);

  curl_slist* headerList = nullptr;
  for (const auto& h : plan.headers) headerList = curl_slist_append(headerList, h.c_str());
  headerList = curl_slist_append(headerList, "Expect:");  // never hold a body back for 100-continue
  CurlSlist headers(headerList);

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_SHARE, cookieShare());
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, plan.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                   plan.http10 ? static_cast<long>(CURL_HTTP_VERSION_1_0) : static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  const std::string proxy =
      plan.proxy.empty() || plan.proxy.find("://") != std::string::npos ? plan.proxy : "http://" + plan.proxy;
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, plan.timeouts.connectSeconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, plan.timeouts.lowSpeedSeconds);
  if (plan.totalSeconds > 0) curl_easy_setopt(easy, CURLOPT_TIMEOUT, plan.totalSeconds);
  // An announced length over the cap is refused before the body is read.
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(plan.maxBodyBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &received);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &received);
  if (plan.freshConnection) {
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  }
  if (plan.body) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, plan.body->data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(plan.body->size()));
  }
  // The method goes out as written ("post" stays lower case); libcurl's own
  // GET and POST need no custom verb.
  if (!(plan.method == "GET" || (plan.method == "POST" && plan.body))) {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plan.method.c_str());
  }

  const auto started = std::chrono::steady_clock::now();
  bool cancelled = false;
  // One driver per thread: its multi handle keeps the connections that the
  // server left open, so the next request of this thread to the same host
  // (an upload's instant check, its registration, the next file's) goes
  // over the same connection. A connection the server has closed meanwhile
  // is noticed by libcurl and opened again before the request goes out.
  // HTTP/1.0 fetches and replies with "Connection: close" are not kept.
  thread_local CurlDriver driver;
  const CURLcode code = driver.run(easy, 10, [&]() -> CURLcode {
    if (requestCancelled(plan.cancel)) {
      cancelled = true;
      return CURLE_ABORTED_BY_CALLBACK;
    }
    return CURLE_OK;
  });
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.httpStatus);

  for (const auto& [line, responseUrl] : received.setCookies) storeForWholeHost(line, responseUrl);

  result.curlCode = code;
  result.cancelled = cancelled;
  result.tooLarge = received.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
  result.badScheme = code == CURLE_UNSUPPORTED_PROTOCOL;
  result.reachedServer = received.reachedServer && !isConnectFailure(code);
  result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
  if (code != CURLE_OK) result.error = curl_easy_strerror(code);
  if (result.tooLarge) result.error = "the reply is larger than its limit";
  if (cancelled) result.error = "cancelled";
  logRequest(plan, result, received.body.size(), std::chrono::steady_clock::now() - started);
  result.body = std::move(received.body);
  result.headers = std::move(received.headers);
  return result;
}

}  // namespace tarnwick::net
