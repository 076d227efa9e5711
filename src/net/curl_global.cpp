#include "net/curl_global.h"

#include <curl/curl.h>

#include <mutex>

namespace tarnwick::net {

void ensureCurlGlobal() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

}  // namespace tarnwick::net
