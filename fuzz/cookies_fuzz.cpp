// The cookie store's lines: libcurl's cookie list read back by
// parseCookieLine, fed with arbitrary lines, with Set-Cookie headers of a
// reply (as libcurl takes them in) and with cookies of arbitrary fields
// handed over by the embedded browser. A clean cookie must come back whole.
#include <curl/curl.h>

#include <cctype>
#include <cstdlib>

#include "fuzz_input.h"
#include "net/cookies.h"

using namespace tarnwick::net;

namespace {

// Fields of printable ASCII without blanks, tabs, ";" or "=": what every
// cookie parser keeps as it is.
bool clean(const std::string& s) {
  for (unsigned char c : s)
    if (c <= 0x20 || c >= 0x7F || c == ';' || c == '=' || c == ',' || c == '"' || c == '\\') return false;
  return true;
}

// Hands one line to libcurl's store, as a reply's header or a cookie-file line.
void feedCurl(const std::string& line) {
  CURL* h = curl_easy_init();
  if (!h) return;
  curl_easy_setopt(h, CURLOPT_SHARE, cookieShare());
  curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(h, CURLOPT_COOKIELIST, line.c_str());
  curl_easy_cleanup(h);
}

// A host name as the browser hands one over (letters, digits, "." and "-").
bool hostName(const std::string& s) {
  if (s.empty() || s[0] == '.' || s[0] == '-') return false;
  for (unsigned char c : s)
    if (!std::isalnum(c) && c != '.' && c != '-') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  switch (in.selector % 3) {
    case 0: {  // a line of the list as it is
      Cookie c;
      parseCookieLine(in.first, c);
      break;
    }
    case 1: {  // through libcurl: "Set-Cookie: ..." or a cookie-file line
      clearCookies();
      if (in.first.find('\0') != std::string::npos) break;  // a C string for libcurl
      feedCurl(in.selector & 8 ? "Set-Cookie: " + in.first : in.first);
      for (const Cookie& c : allCookies()) (void)c.value.size();
      break;
    }
    case 2: {  // a browser cookie: name, value, domain and path from the input
      clearCookies();
      const std::string& rest = in.second;
      const std::size_t a = rest.find('\x02'), b = a == std::string::npos ? a : rest.find('\x02', a + 1);
      Cookie c;
      c.name = in.first;
      c.value = rest.substr(0, a);
      c.domain = a == std::string::npos ? "127.0.0.1" : rest.substr(a + 1, b == std::string::npos ? b : b - a - 1);
      c.path = b == std::string::npos ? "/" : rest.substr(b + 1);
      c.httpOnly = in.selector & 8;
      c.secure = in.selector & 16;
      c.includeSubdomains = in.selector & 32;
      for (const std::string* f : {&c.name, &c.value, &c.domain, &c.path})
        if (f->find('\0') != std::string::npos) return 0;
      setCookie(c);
      const auto all = allCookies();
      if (!c.name.empty() && hostName(c.domain) && clean(c.name) && clean(c.value) && clean(c.path) &&
          c.path[0] == '/') {
        bool found = false;
        for (const Cookie& got : all)
          found = found || (got.name == c.name && got.value == c.value && got.domain == c.domain &&
                            got.path == c.path && got.httpOnly == c.httpOnly && got.secure == c.secure);
        if (!found) std::abort();  // a clean cookie was lost or changed on the way through the store
      }
      break;
    }
  }
  return 0;
}
