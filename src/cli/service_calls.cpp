#include "cli/service_calls.h"

#include "cli/exit_codes.h"
#include "net/hosts.h"
#include "net/http.h"

namespace tarnwick::cli {
namespace {

std::string judged(net::RequestResult r) {
  using net::RequestFailure;
  const std::string where = net::hosts().mainHost;
  switch (r.failure) {
    case RequestFailure::None:
      break;
    case RequestFailure::TooLarge:
      throw CliError(kExitUnreachable, "the service at " + where + " sent a reply too large to read");
    case RequestFailure::BadRequest:
      throw CliError(kExitUsage, "the service address " + where + " is not an http or https address");
    case RequestFailure::TimedOut:
      throw CliError(kExitUnreachable, "the service at " + where + " did not answer in time");
    default:
      throw CliError(kExitUnreachable, "cannot reach the service at " + where +
                                           (r.error.empty() ? std::string() : ": " + r.error));
  }
  if (r.status == 403)
    throw CliError(kExitRefused,
                   "the service refused: this session has ended (logged in elsewhere?); log in again");
  return std::move(r.body);
}

}  // namespace

std::string fetchPage(const std::string& url) { return judged(net::performFetch(url, net::RequestOptions{})); }

std::string postForm(const std::string& url, const std::string& body) {
  std::string bytes = judged(net::performRequest(url, "POST", "", "", body, net::RequestOptions{}));
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  return bytes;
}

}  // namespace tarnwick::cli
