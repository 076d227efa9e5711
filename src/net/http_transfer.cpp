#include "net/http_transfer.h"

#include <curl/curl.h>

#include <ctime>

#include "net/cookies.h"
#include "net/curl_global.h"
#include "net/text.h"

namespace tarnwick::net {
namespace {

struct Received {
  CURL* easy = nullptr;
  std::string body;
  std::string headers;
  bool reachedServer = false;
  // Set-Cookie lines with the url of the response that carried them.
  std::vector<std::pair<std::string, std::string>> setCookies;
};

std::size_t onBody(char* data, std::size_t size, std::size_t n, void* user) {
  static_cast<Received*>(user)->body.append(data, size * n);
  return size * n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t n, void* user) {
  auto* r = static_cast<Received*>(user);
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
  std::string domain;
  if (cookieAttribute(parts, "domain", domain) && !domain.empty()) {
    c.domain = toLower(domain[0] == '.' ? domain.substr(1) : domain);
    c.includeSubdomains = true;
  } else {
    c.domain = urlHost(responseUrl);
  }
  c.secure = cookieAttribute(parts, "secure", ignored);
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
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  if (!easy || !multi) {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    result.curlCode = CURLE_FAILED_INIT;
    return result;
  }
  Received received;
  received.easy = easy;
  const std::string url = requestUrl(plan.url);

  curl_slist* headers = nullptr;
  for (const auto& h : plan.headers) headers = curl_slist_append(headers, h.c_str());
  headers = curl_slist_append(headers, "Expect:");  // never hold a body back for 100-continue

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_SHARE, cookieShare());
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, plan.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
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
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &received);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &received);
  if (plan.body) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, plan.body->data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(plan.body->size()));
  }
  // The method goes out as written ("post" stays lower case); libcurl's own
  // GET and POST need no custom verb.
  if (!(plan.method == "GET" || (plan.method == "POST" && plan.body))) {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plan.method.c_str());
  }

  CURLcode code = CURLE_OK;
  curl_multi_add_handle(multi, easy);
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      code = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    bool done = false;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE) {
        code = msg->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    curl_multi_poll(multi, nullptr, 0, 10, nullptr);
    callWaitHook();
  }
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  curl_multi_remove_handle(multi, easy);
  curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);
  curl_slist_free_all(headers);

  for (const auto& [line, responseUrl] : received.setCookies) storeForWholeHost(line, responseUrl);

  result.curlCode = code;
  result.reachedServer = received.reachedServer && !isConnectFailure(code);
  result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
  result.body = std::move(received.body);
  result.headers = std::move(received.headers);
  return result;
}

}  // namespace tarnwick::net
