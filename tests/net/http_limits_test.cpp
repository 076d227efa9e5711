// The HTTP engine's limits: reply caps, the overall deadline, cancelling from
// another thread, http/https only (redirects included), and the cookie
// attributes Domain and HttpOnly.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/cookies.h"
#include "net/http.h"
#include "raw_server.h"

using namespace tarnwick::net;
using tarnwick::test::RawRequest;
using tarnwick::test::RawServer;
using tarnwick::test::simpleReply;

namespace {

const std::string kFailure(255, '\0');

using namespace std::chrono_literals;

// Sends a 200 head and then one byte every 100 ms for about 3 s: slow, but
// never slow enough for the low-speed limit.
void trickle(const RawRequest&, const std::function<void(const std::string&)>& send) {
  send("HTTP/1.1 200 OK\r\nContent-Length: 30\r\nConnection: close\r\n\r\n");
  for (int i = 0; i < 30; ++i) {
    std::this_thread::sleep_for(100ms);
    send("x");
  }
}

TEST(HttpLimits, OversizedOrSlowRepliesAreRefusedAsAWhole) {
  RawServer big([](const RawRequest& r, const auto& send) {
    if (r.requestLine().find("/chunked") != std::string::npos) {
      send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
      for (int i = 0; i < 5; ++i) send("400\r\n" + std::string(1024, 'c') + "\r\n");
      send("0\r\n\r\n");
    } else if (r.requestLine().find("/headers") != std::string::npos) {
      send("HTTP/1.1 200 OK\r\nX-Big: " + std::string(5000, 'h') + "\r\nContent-Length: 2\r\n\r\nok");
    } else {
      send(simpleReply(std::string(5000, 'b')));
    }
  });
  RawServer slow(trickle);
  std::atomic<bool> cancel{false};
  struct Case {
    const char* label;
    std::string url;
    RequestOptions options;
    RequestFailure failure;
  };
  RequestOptions smallBody;
  smallBody.maxBodyBytes = 4096;
  RequestOptions smallHeaders;
  smallHeaders.maxHeaderBytes = 2048;
  RequestOptions deadline;
  deadline.deadlineSeconds = 1;
  RequestOptions cancellable;
  cancellable.cancel = &cancel;
  const Case cases[] = {
      {"announced length over the cap", big.url("/len"), smallBody, RequestFailure::TooLarge},
      {"chunked body over the cap", big.url("/chunked"), smallBody, RequestFailure::TooLarge},
      {"header block over the cap", big.url("/headers"), smallHeaders, RequestFailure::TooLarge},
      {"within the default caps", big.url("/len"), RequestOptions{}, RequestFailure::None},
      {"overall deadline", slow.url("/slow"), deadline, RequestFailure::TimedOut},
      {"cancelled from another thread", slow.url("/slow"), cancellable, RequestFailure::Cancelled},
      {"ftp is no scheme of the engine", "ftp://127.0.0.1:" + std::to_string(big.port()) + "/x", RequestOptions{},
       RequestFailure::BadRequest},
      {"nor is file", "file:///etc/hostname", RequestOptions{}, RequestFailure::BadRequest},
  };
  for (const auto& c : cases) {
    cancel = false;
    std::thread canceller([&] {
      if (c.options.cancel) {
        std::this_thread::sleep_for(300ms);
        cancel = true;
      }
    });
    const auto t0 = std::chrono::steady_clock::now();
    RequestResult r = performRequest(c.url, "GET", "", "", "", c.options);
    const auto took = std::chrono::steady_clock::now() - t0;
    canceller.join();
    EXPECT_EQ(static_cast<int>(r.failure), static_cast<int>(c.failure)) << c.label << ": " << r.error;
    if (c.failure != RequestFailure::None) {
      EXPECT_TRUE(r.body.empty()) << c.label;
      EXPECT_FALSE(r.error.empty()) << c.label;
      EXPECT_LT(took, 2500ms) << c.label;  // the trickle would take 3 s
    }
  }
  // The plain operations keep their failure results for a refused reply.
  RawServer huge([](const RawRequest&, const auto& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kDefaultReplyCap + 1) + "\r\n\r\nxx");
  });
  EXPECT_EQ(httpRequest(huge.url("/h")), kFailure);
  EXPECT_EQ(fetchUrl(huge.url("/h")), "");
}

TEST(HttpLimits, RedirectsGoToHttpOnly) {
  RawServer server([](const RawRequest& r, const auto& send) {
    if (r.requestLine().find("/to-ftp") != std::string::npos)
      send("HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/secret\r\nContent-Length: 0\r\n\r\n");
    else if (r.requestLine().find("/to-http") != std::string::npos)
      send("HTTP/1.1 302 Found\r\nLocation: /landed\r\nContent-Length: 0\r\n\r\n");
    else
      send(simpleReply("landed"));
  });
  EXPECT_EQ(httpRequest(server.url("/to-http")), "landed");
  EXPECT_EQ(httpRequest(server.url("/to-ftp")), kFailure);
  RequestResult r = performRequest(server.url("/to-ftp"), "GET", "", "", "", RequestOptions{});
  EXPECT_EQ(static_cast<int>(r.failure), static_cast<int>(RequestFailure::BadRequest)) << r.error;
}

TEST(HttpCookies, DomainOnlyFromItsOwnHostAndHttpOnlyKept) {
  clearCookies();
  RawServer server([](const RawRequest&, const auto& send) {
    send(simpleReply("", "Set-Cookie: foreign=1; Domain=example.com\r\n"
                         "Set-Cookie: own=2; Domain=127.0.0.1\r\n"
                         "Set-Cookie: hidden=3; HttpOnly\r\n"));
  });
  httpRequest(server.url("/post/login.php"));  // a directory path: the engine stores these itself
  std::vector<std::string> got;
  for (const Cookie& c : allCookies())
    got.push_back(c.name + "@" + c.domain + (c.httpOnly ? " httponly" : ""));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"hidden@127.0.0.1 httponly", "own@127.0.0.1"}));

  Cookie c;  // the flag survives a copy in and out of the store
  c.domain = "127.0.0.1";
  c.name = "set";
  c.value = "v";
  c.httpOnly = true;
  setCookie(c);
  bool found = false;
  for (const Cookie& k : allCookies())
    if (k.name == "set") found = k.httpOnly;
  EXPECT_TRUE(found);
  clearCookies();
}

}  // namespace
