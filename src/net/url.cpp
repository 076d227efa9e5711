// URL splitting helpers (declared in http.h).

#include "net/http.h"
#include "net/text.h"

namespace tarnwick::net {

std::string urlHost(std::string_view url, bool keepPort) {
  const int scheme = find(url, "http://");
  const int start = scheme < 0 ? 1 : scheme + 7;
  const int slash = find(url, "/", start);
  std::string authority = slash < 0 ? mid(url, start, static_cast<int>(url.size()) - start + 1)
                                    : mid(url, start, slash - start);
  if (!keepPort) {
    const int colon = find(authority, ":");
    if (colon > 0) authority = left(authority, colon - 1);
  }
  return toLower(authority);
}

std::string urlPath(std::string_view url) {
  // The host is looked for from the start of the authority, so a short host
  // name is never found inside "http://" itself.
  const int scheme = find(url, "http://");
  const std::string host = urlHost(url, false);
  const int at = find(url, host, scheme < 0 ? 1 : scheme + 7, true);
  const int slash = find(url, "/", at);
  if (slash < 0) return "/";
  return mid(url, slash, static_cast<int>(url.size()) - slash + 1);
}

}  // namespace tarnwick::net
