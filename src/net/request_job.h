#pragma once
// A request made on behalf of a window, as one job: what to send, an overall
// deadline, a cap on the reply size, and a cancel flag that any thread may
// set; cancelling ends a running request within about 10 ms. run() blocks its
// (worker) thread; it never touches a widget and never turns an event loop.
//
//   created --run()--> running --reply--> done (result.reply)
//      |                  |
//      +--cancel()--------+--> done (result.cancelled, reply dropped)
//
// The same bytes go on the wire as with httpRequestText (Form) or fetchUrl
// (Fetch).

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace tarnwick::net {

enum class RequestKind {
  Fetch,  // fetchUrl: plain HTTP/1.0 GET
  Form,   // httpRequestText: browser-like headers; POST with a form body
};

struct JobRequest {
  RequestKind kind = RequestKind::Fetch;
  std::string url;
  std::string method = "GET";  // Form only
  std::string body;            // Form POST only
  // Overall deadline; zero: the engine's own (httpTimeouts().totalSeconds).
  std::chrono::seconds deadline{0};
  std::size_t sizeCap = 16u << 20;  // replies beyond this many bytes count as failed

  static JobRequest fetch(std::string url) {
    JobRequest s;
    s.url = std::move(url);
    return s;
  }
  static JobRequest post(std::string url, std::string body) {
    JobRequest s;
    s.kind = RequestKind::Form;
    s.url = std::move(url);
    s.method = "POST";
    s.body = std::move(body);
    return s;
  }
};

struct RequestJobResult {
  std::string reply;       // "" for a failed, cancelled, late or oversized request
  bool cancelled = false;  // cancel() came first: nobody wants the reply
  bool timedOut = false;   // the deadline passed before the reply was complete
  bool tooLarge = false;   // the reply was longer than sizeCap

  // No reply is never an answer: a request that failed, and one whose reply
  // is empty (the service always says something), is a failure, told to the
  // user, and changes nothing.
  bool failed() const { return reply.empty(); }
};

class RequestJob {
 public:
  explicit RequestJob(JobRequest request) : m_request(std::move(request)) {}
  RequestJob(const RequestJob&) = delete;
  RequestJob& operator=(const RequestJob&) = delete;

  // Sends the request and waits for the reply (worker thread).
  RequestJobResult run();
  void cancel() { m_cancelled.store(true); }  // any thread
  bool cancelled() const { return m_cancelled.load(); }
  const JobRequest& request() const { return m_request; }

 private:
  JobRequest m_request;
  std::atomic<bool> m_cancelled{false};
};

}  // namespace tarnwick::net
