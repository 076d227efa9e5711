#pragma once
// The process-wide cookie store shared by every libcurl request (a CURLSH
// share with its own lock, so concurrent requests on any thread are safe).
// The embedded browser copies cookies in and out through this API.
// A reply's Set-Cookie without a Path attribute is stored for the whole host
// (path "/"), so a cookie set by "/post/..." is sent to every page.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

typedef void CURLSH;

namespace tarnwick::net {

struct Cookie {
  std::string domain;  // host name, no port ("127.0.0.1", "pan.example.com")
  bool includeSubdomains = false;
  std::string path = "/";
  bool secure = false;
  bool httpOnly = false;     // not for scripts of the web views
  std::int64_t expires = 0;  // seconds since the epoch; 0 = session cookie
  std::string name;
  std::string value;
};

// The share handle that every easy handle of the engine attaches.
CURLSH* cookieShare();
// Every cookie in the store.
std::vector<Cookie> allCookies();
// Adds or replaces a cookie (same domain, path and name).
void setCookie(const Cookie& cookie);
// Removes every cookie.
void clearCookies();

// One line of libcurl's cookie list, the Netscape cookie-file form
// (domain, tail match, path, secure, expires, name, value; tab-separated;
// "#HttpOnly_" before the domain of an HttpOnly cookie). False when the line
// has fewer than six fields.
bool parseCookieLine(std::string_view line, Cookie& cookie);

}  // namespace tarnwick::net
