#pragma once
// The HTTP request engine on libcurl. Every request shares one process-wide
// cookie store (see cookies.h). Replies are byte arrays; callers judge the
// reply text only, never a status code.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tarnwick::net {

// An explicit request with browser-like headers. method is sent as written;
// "GET"/"" and "POST" (any case) are allowed, any other method never reaches
// the network. Returns the body, or 255 zero bytes when no request could be
// made (bad method, host not resolved, connection refused) or when the
// transfer timed out; a failure after the request went out gives whatever
// body was read.
// responseHeaders, when given, receives the raw header block of the last
// response (after redirects).
//
// On the wire: "<method> <path> HTTP/1.1", Host, User-Agent, Cookie (from the
// store), then extraHeaders (lines ending "\r\n") followed by the defaults
// they lack, in this order: Accept, Referer (the whole url), Accept-Language;
// for a POST with a non-empty body Content-Type (unless given) and
// Content-Length; finally Pragma and Cache-Control "no-cache". Bytes of the
// url that a request line cannot carry (controls, space, 0x80 and above) are
// percent-encoded. A non-empty proxy ("host:port") is used as an HTTP proxy;
// otherwise the connection is direct, whatever the environment says.
std::string httpRequest(const std::string& url, const std::string& method = "GET",
                        const std::string& proxy = "", const std::string& extraHeaders = "",
                        const std::string& body = "", std::string* responseHeaders = nullptr);
// httpRequest cut at its first zero byte (a failure gives the empty text).
std::string httpRequestText(const std::string& url, const std::string& method = "GET",
                            const std::string& proxy = "", const std::string& extraHeaders = "",
                            const std::string& body = "", std::string* responseHeaders = nullptr);
// A plain HTTP/1.0 GET ("Accept: */*", the same user agent and cookie
// store); the bytes read, empty when nothing could be read or the transfer
// timed out. Redirects are
// followed by both operations.
std::string fetchUrl(const std::string& url);

// True when the main service host (hosts().mainHost + "/") gives any HTTP
// answer within a few seconds; false when it cannot be reached.
bool isInternetConnected();

// Hands the url to the user's browser through the opener the GUI installs;
// without one it does nothing.
void openInBrowser(const std::string& url);
void setBrowserOpener(std::function<void(const std::string&)> opener);

// Cancelling requests that run deep inside other work. While a scope lives,
// every request its thread makes (httpRequest, fetchUrl, performRequest,
// isInternetConnected) ends as Cancelled within about 10 ms of the flag being
// set; scopes nest, and any set flag of the thread's scopes cancels. The flag
// must outlive the scope.
class RequestCancelScope {
 public:
  explicit RequestCancelScope(const std::atomic<bool>* flag);
  ~RequestCancelScope();
  RequestCancelScope(const RequestCancelScope&) = delete;
  RequestCancelScope& operator=(const RequestCancelScope&) = delete;

 private:
  const std::atomic<bool>* m_flag;
  const RequestCancelScope* m_outer;
  friend bool requestCancelled(const std::atomic<bool>* own);
};
// True when own (may be null), a scope of this thread, or stopAllRequests
// asks the running request to end.
bool requestCancelled(const std::atomic<bool>* own);
// Ends every request of every thread as Cancelled, and those started later,
// until allowRequests (the program's exit).
void stopAllRequests();
void allowRequests();

// URL helpers. urlHost: the authority behind "http://" (or from the start),
// lower-cased, without ":port" unless keepPort. urlPath: path and query from
// the first "/" behind the host (the host is looked for behind "http://"),
// or "/".
std::string urlHost(std::string_view url, bool keepPort = false);
std::string urlPath(std::string_view url);

// Time-outs of every request: connect within 15 s; abort when less than
// 1 byte/s arrives for 60 s; a whole request (redirects included) ends after
// 30 s. A time-out gives the failure result. Tests may shorten them.
struct HttpTimeouts {
  long connectSeconds = 15;
  long lowSpeedSeconds = 60;
  long totalSeconds = 30;  // 0: no overall deadline
};
void setHttpTimeouts(HttpTimeouts t);
HttpTimeouts httpTimeouts();

// Requests with explicit limits, for callers that run a request as a job
// (off the GUI thread, cancellable). httpRequest, httpRequestText and fetchUrl
// are these with the default options and send the same bytes.
//
// Every request allows http and https only, redirects included; a url of
// another scheme never reaches the network. A reply whose body or header
// block is larger than its cap is refused as a whole.
inline constexpr std::size_t kDefaultReplyCap = std::size_t{64} << 20;  // 64 MiB

struct RequestOptions {
  long deadlineSeconds = -1;                   // overall; -1: httpTimeouts().totalSeconds; 0: none
  std::size_t maxBodyBytes = kDefaultReplyCap;
  std::size_t maxHeaderBytes = kDefaultReplyCap;
  // Checked about every 10 ms while the request runs; true ends it as
  // Cancelled. May be set from any thread.
  const std::atomic<bool>* cancel = nullptr;
  // A request the service must never get twice: sent over a connection of
  // its own, which libcurl never retries (see TransferPlan).
  bool freshConnection = false;
};

enum class RequestFailure {
  None,         // a reply arrived whole (any status)
  BadRequest,   // method other than GET/POST, or a scheme other than http/https
  NoConnection, // host not resolved, connection refused, proxy unusable
  TimedOut,     // connect, low-speed or overall deadline
  TooLarge,     // body or headers over their cap
  Cancelled,    // the cancel flag was set
  Broken,       // the connection failed after the request went out
};

struct RequestResult {
  std::string body;     // what arrived (empty unless None or Broken)
  std::string headers;  // raw header block of the last response
  long status = 0;      // HTTP status of the last response, 0 when none
  RequestFailure failure = RequestFailure::None;
  std::string error;    // readable reason, empty on success
  bool ok() const { return failure == RequestFailure::None; }
};

// httpRequest with options: same wire bytes, a result that says how it ended.
RequestResult performRequest(const std::string& url, const std::string& method, const std::string& proxy,
                             const std::string& extraHeaders, const std::string& body,
                             const RequestOptions& options);
// fetchUrl with options.
RequestResult performFetch(const std::string& url, const RequestOptions& options);

}  // namespace tarnwick::net
