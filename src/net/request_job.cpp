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
  std::string reply = m_spec.kind == RequestKind::Form
                          ? httpRequestText(m_spec.url, m_spec.method, "", "", m_spec.body)
                          : fetchUrl(m_spec.url);
  if (cancelled()) {
    r.cancelled = true;
  } else if (std::chrono::steady_clock::now() - started > m_spec.deadline) {
    r.timedOut = true;
  } else if (reply.size() > m_spec.sizeCap) {
    r.tooLarge = true;
  } else {
    r.reply = std::move(reply);
  }
  return r;
}

}  // namespace tarnwick::net
