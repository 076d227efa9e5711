#include "net/request_job.h"

#include "net/http.h"

namespace tarnwick::net {

// A Form reply is text up to its first zero byte (as httpRequestText gives
// it); a reply cut off by the network keeps what was read, as the plain
// engine calls do, and every other failure gives the empty reply.
RequestJobResult RequestJob::run() {
  RequestJobResult r;
  if (cancelled()) {
    r.cancelled = true;
    return r;
  }
  RequestOptions options;
  if (m_request.deadline.count() > 0) options.deadlineSeconds = static_cast<long>(m_request.deadline.count());
  options.maxBodyBytes = m_request.sizeCap;
  options.cancel = &m_cancelled;
  RequestResult reply = m_request.kind == RequestKind::Form
                            ? performRequest(m_request.url, m_request.method, "", "", m_request.body, options)
                            : performFetch(m_request.url, options);
  if (cancelled() || reply.failure == RequestFailure::Cancelled) {
    r.cancelled = true;
    return r;
  }
  r.timedOut = reply.failure == RequestFailure::TimedOut;
  r.tooLarge = reply.failure == RequestFailure::TooLarge;
  if (reply.failure != RequestFailure::None && reply.failure != RequestFailure::Broken) return r;
  r.reply = std::move(reply.body);
  if (m_request.kind == RequestKind::Form) {
    const std::size_t zero = r.reply.find('\0');
    if (zero != std::string::npos) r.reply.resize(zero);
  }
  return r;
}

}  // namespace tarnwick::net
