#pragma once
// One HTTP transfer on libcurl, run on the calling thread with the multi
// interface: the thread polls the socket in steps of about 10 ms and calls
// the wait hook between steps. Every transfer has its own easy and multi
// handle and attaches the process-wide cookie share. Internal to src/net.

#include <string>
#include <vector>

#include "net/http.h"

namespace tarnwick::net {

struct TransferPlan {
  std::string url;
  std::string method = "GET";      // sent as written
  std::string proxy;               // "host:port"; empty = direct, never the environment's proxy
  std::string userAgent;
  std::vector<std::string> headers;  // sent in this order, behind Host, User-Agent and Cookie
  const std::string* body = nullptr;  // request body (POST); null = none
  bool http10 = false;
  HttpTimeouts timeouts;
  long totalSeconds = 0;  // 0 = no overall limit
};

struct TransferResult {
  std::string body;
  std::string headers;          // raw header block of the last response
  long httpStatus = 0;          // 0 when no response arrived
  bool reachedServer = false;   // a connection was made, so the request went out
  bool timedOut = false;        // connect or low-speed time-out
  int curlCode = 0;
};

TransferResult runTransfer(const TransferPlan& plan);

// Calls the installed wait hook, if any (http.cpp).
void callWaitHook();

// The url with bytes a request line cannot carry (controls, space, bytes of
// 0x80 and above) percent-encoded; everything else as given.
std::string requestUrl(std::string_view url);

}  // namespace tarnwick::net
