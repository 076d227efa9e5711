#pragma once
// Owners of libcurl handles, so every early return releases them.

#include <curl/curl.h>

#include <memory>

namespace tarnwick::net {

struct CurlEasyFree {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct CurlSlistFree {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistFree>;

}  // namespace tarnwick::net
