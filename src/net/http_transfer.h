#pragma once
// One HTTP transfer on libcurl, run on the calling thread by the shared
// driver (curl_driver.h): the thread polls the socket in steps of about 10 ms
// and, between steps, checks the cancel flags (its own, its thread's scopes,
// the stop of all requests). Every transfer has its own easy handle and
// attaches the process-wide cookie share; the connections the server keeps
// open stay with the thread for its next request. Internal to src/net.

#include <atomic>
#include <cstddef>
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
  std::size_t maxBodyBytes = kDefaultReplyCap;
  std::size_t maxHeaderBytes = kDefaultReplyCap;
  const std::atomic<bool>* cancel = nullptr;  // also cancelled by requestCancelled()
  // Over a connection of its own, closed after it: libcurl sends a request
  // again by itself when a kept-alive connection dies before the reply, and
  // a request the service must never get twice (one that makes a folder)
  // may already have been taken.
  bool freshConnection = false;
};

struct TransferResult {
  std::string body;
  std::string headers;          // raw header block of the last response
  long httpStatus = 0;          // 0 when no response arrived
  bool reachedServer = false;   // a connection was made, so the request went out
  bool timedOut = false;        // connect, low-speed or overall time-out
  bool tooLarge = false;        // body or headers over their cap
  bool cancelled = false;       // the plan's cancel flag ended it
  bool badScheme = false;       // neither http nor https (also on a redirect)
  int curlCode = 0;
  std::string error;            // libcurl's reason, empty on success
};

TransferResult runTransfer(const TransferPlan& plan);

// The url with bytes a request line cannot carry (controls, space, bytes of
// 0x80 and above) percent-encoded; everything else as given.
std::string requestUrl(std::string_view url);

}  // namespace tarnwick::net
