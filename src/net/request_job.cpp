#include "net/request_job.h"

#include "net/http.h"

namespace tarnwick::net {

// The engine's own connect and low-speed time-outs bound the wait; the
// deadline and the size cap are judged on the finished transfer, and a job
// cancelled meanwhile drops its reply.
RequestJobResult RequestJob::run() {
  RequestJobResult r;
  if (cancelled()) {
    r.cancelled = true;
    return r;
  }
  const auto started = std::chrono::steady_clock::now();
  std::string reply = m_request.kind == RequestKind::Form
                          ? httpRequestText(m_request.url, m_request.method, "", "", m_request.body)
                          : fetchUrl(m_request.url);
  if (cancelled()) {
    r.cancelled = true;
  } else if (std::chrono::steady_clock::now() - started > m_request.deadline) {
    r.timedOut = true;
  } else if (reply.size() > m_request.sizeCap) {
    r.tooLarge = true;
  } else {
    r.reply = std::move(reply);
  }
  return r;
}

}  // namespace tarnwick::net
