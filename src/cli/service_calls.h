#pragma once
// Requests of the command line: the same calls and wire bytes as the
// windows' (fetchUrl for pages, httpRequestText for form posts), but a
// request that cannot reach the service, or that the service refuses with
// 403 (no current session for that account), throws a CliError instead of
// looking like an empty reply.

#include <string>

namespace tarnwick::cli {

// A plain GET (fetchUrl's bytes); the body as it arrived.
std::string fetchPage(const std::string& url);
// A form POST (httpRequestText's bytes); the body cut at its first zero byte.
std::string postForm(const std::string& url, const std::string& body);

}  // namespace tarnwick::cli
