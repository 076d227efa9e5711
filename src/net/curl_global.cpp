#include "net/curl_global.h"

#include <curl/curl.h>

#include <mutex>

namespace tarnwick::net {

// The one call of curl_global_init in the program (libcurl's set-up is not
// thread-safe in older versions and must not run twice with other flags).
void ensureCurlGlobal() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

}  // namespace tarnwick::net
