#include "net/http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "net/cookies.h"
#include "net/form.h"
#include "net/hosts.h"
#include "raw_server.h"
#include "../time_scale.h"

using namespace tarnwick::net;
using tarnwick::test::RawRequest;
using tarnwick::test::RawServer;
using tarnwick::test::simpleReply;

namespace {

const std::string kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
const std::string kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const std::string kFailure(255, '\0');

RawServer replying(const std::string& body, const std::string& extraHeaders = "") {
  return RawServer([=](const RawRequest&, const auto& send) { send(simpleReply(body, extraHeaders)); });
}

// Header lines of the request whose name is one of names, in the order received.
std::vector<std::string> linesNamed(const RawRequest& r, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const auto& line : r.headerLines())
    for (const auto& n : names)
      if (line.rfind(n + ":", 0) == 0) out.push_back(line);
  return out;
}

// A port that refuses connections for the rest of the run: bound but never
// listening, and kept open, so no other test can take it meanwhile.
int closedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);  // fd stays open on purpose
}

std::string percentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

TEST(HttpWire, GetSendsTheDefaultBlockInOrder) {
  auto server = replying("hello");
  const std::string url = server.url("/a/b.php?x=1&y=2");
  EXPECT_EQ(httpRequest(url), "hello");
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].requestLine(), "GET /a/b.php?x=1&y=2 HTTP/1.1");
  EXPECT_EQ(linesNamed(reqs[0], {"Accept", "Referer", "Accept-Language", "Content-Type", "Content-Length"}),
            (std::vector<std::string>{kAccept, "Referer: " + url, "Accept-Language: zh-cn"}));
  EXPECT_EQ(reqs[0].header("User-Agent"), kUserAgent);
  EXPECT_EQ(reqs[0].header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(reqs[0].header("Cache-Control"), "no-cache");
  EXPECT_EQ(reqs[0].body, "");
}

struct PostCase {
  std::string method, body, requestLine;
  bool contentHeaders;
};

TEST(HttpWire, PostBodyAndContentHeaders) {
  const std::vector<PostCase> cases = {
      {"POST", "zh=a&mm=b", "POST /p HTTP/1.1", true},
      {"post", "zh=a", "post /p HTTP/1.1", true},  // sent as written, treated as POST
      {"POST", "", "POST /p HTTP/1.1", false},     // empty body: no content headers
      {"", "", "GET /p HTTP/1.1", false},
      {"get", "ignored", "get /p HTTP/1.1", false},
  };
  for (const auto& c : cases) {
    auto server = replying("ok");
    const std::string url = server.url("/p");
    EXPECT_EQ(httpRequest(url, c.method, "", "", c.body), "ok") << c.method;
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u) << c.method;
    EXPECT_EQ(reqs[0].requestLine(), c.requestLine);
    std::vector<std::string> expected = {kAccept, "Referer: " + url, "Accept-Language: zh-cn"};
    if (c.contentHeaders) {
      expected.push_back("Content-Type: application/x-www-form-urlencoded");
      expected.push_back("Content-Length: " + std::to_string(c.body.size()));
    }
    EXPECT_EQ(linesNamed(reqs[0], {"Accept", "Referer", "Accept-Language", "Content-Type", "Content-Length"}),
              expected)
        << c.method;
    EXPECT_EQ(reqs[0].body, c.contentHeaders ? c.body : "") << c.method;
    EXPECT_EQ(reqs[0].header("Expect"), "");
  }
}

TEST(HttpWire, CallerHeadersComeFirstAndReplaceDefaults) {
  auto server = replying("ok");
  const std::string url = server.url("/h");
  httpRequest(url, "POST", "", "X-One: 1\r\nAccept: text/html\r\nContent-Type: text/plain\r\n", "body");
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(linesNamed(reqs[0], {"X-One", "Accept", "Referer", "Accept-Language", "Content-Type", "Content-Length"}),
            (std::vector<std::string>{"X-One: 1", "Accept: text/html", "Content-Type: text/plain",
                                      "Referer: " + url, "Accept-Language: zh-cn", "Content-Length: 4"}));
  EXPECT_EQ(reqs[0].body, "body");
}

TEST(HttpWire, LargeBodyIsSentAtOnce) {
  auto server = replying("ok");
  const std::string body(300000, 'b');
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(httpRequest(server.url("/big"), "POST", "", "", body), "ok");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, scaledMs(900));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].body, body);
}

TEST(HttpFailure, OtherMethodsNeverReachTheNetwork) {
  auto server = replying("ok");
  for (const std::string m : {"PUT", "DELETE", "put", "HEAD"}) {
    EXPECT_EQ(httpRequest(server.url("/x"), m), kFailure) << m;
    EXPECT_EQ(httpRequestText(server.url("/x"), m), "") << m;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(server.requests().empty());
}

TEST(HttpFailure, RefusedConnection) {
  const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/x";
  EXPECT_EQ(httpRequest(url), kFailure);
  EXPECT_EQ(httpRequest(url, "POST", "", "", "a=1"), kFailure);
  EXPECT_EQ(httpRequestText(url), "");
  EXPECT_EQ(fetchUrl(url), "");
}

TEST(HttpFailure, ReplyCutShortGivesWhatWasRead) {
  RawServer server([](const RawRequest&, const auto& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\npartial");
  });
  EXPECT_EQ(httpRequest(server.url("/cut")), "partial");
  EXPECT_EQ(fetchUrl(server.url("/cut")), "partial");
}

TEST(HttpFailure, StalledReplyTimesOut) {
  setHttpTimeouts({15, 1});
  auto stalling = [](const RawRequest&, const auto& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    std::this_thread::sleep_for(std::chrono::seconds(3));
  };
  RawServer a(stalling), b(stalling);
  const auto t0 = std::chrono::steady_clock::now();
  std::string fetched = "unset";
  std::thread other([&] { fetched = fetchUrl(b.url("/stall")); });
  EXPECT_EQ(httpRequest(a.url("/stall")), kFailure);
  other.join();
  EXPECT_EQ(fetched, "");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, scaledMs(2800));
  setHttpTimeouts({});
}

TEST(HttpWire, ProxyGetsTheAbsoluteUrl) {
  auto proxy = replying("via proxy");
  const std::string url = "http://service.invalid/a.php?x=1";
  EXPECT_EQ(httpRequest(url, "GET", "  127.0.0.1:" + std::to_string(proxy.port()) + " "), "via proxy");
  const auto reqs = proxy.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].requestLine(), "GET " + url + " HTTP/1.1");
  EXPECT_EQ(reqs[0].header("Referer"), url);
}

TEST(HttpWire, ReplyWithZeroBytes) {
  auto server = replying(std::string("ab\0cd", 5));
  EXPECT_EQ(httpRequest(server.url("/z")), std::string("ab\0cd", 5));
  EXPECT_EQ(httpRequestText(server.url("/z")), "ab");
}

TEST(HttpWire, ResponseHeadersAreReturned) {
  auto server = replying("x", "X-Reply: yes\r\n");
  std::string headers;
  httpRequest(server.url("/"), "GET", "", "", "", &headers);
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(headers.find("X-Reply: yes\r\n"), std::string::npos);
}

TEST(HttpWire, FetchUrlIsPlainHttp10Get) {
  auto server = replying("page");
  EXPECT_EQ(fetchUrl(server.url("/wdwj.php?pid=1&ml=0")), "page");
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].requestLine(), "GET /wdwj.php?pid=1&ml=0 HTTP/1.0");
  EXPECT_EQ(reqs[0].header("Accept"), "*/*");
  EXPECT_EQ(reqs[0].header("User-Agent"), kUserAgent);
  EXPECT_EQ(reqs[0].header("Referer"), "");
}

TEST(HttpWire, FormValuesArriveByteExact) {
  auto server = replying("ok");
  const std::string typed = "a&b=c%d+e f\xCE\xC4\xBC\xFE|\x81\x7C";
  FormBuilder form;
  form.add("zh", typed).add("u", typed, Charset::Utf8).add("k", "");
  httpRequest(server.url("/post/x.php"), "POST", "", "", form.str());
  fetchUrl(withQuery(server.url("/get/y.php"), form));
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  const std::string query = reqs[1].requestLine().substr(reqs[1].requestLine().find('?') + 1);
  for (const std::string& encoded : {reqs[0].body, query.substr(0, query.rfind(' '))}) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t start = 0;
    while (start <= encoded.size()) {
      std::size_t amp = encoded.find('&', start);
      if (amp == std::string::npos) amp = encoded.size();
      const std::string pair = encoded.substr(start, amp - start);
      const std::size_t eq = pair.find('=');
      pairs.emplace_back(pair.substr(0, eq), percentDecode(pair.substr(eq + 1)));
      start = amp + 1;
    }
    ASSERT_EQ(pairs.size(), 3u) << encoded;
    EXPECT_EQ(pairs[0], std::make_pair(std::string("zh"), typed));
    EXPECT_EQ(pairs[1], std::make_pair(std::string("u"), std::string("a&b=c%d+e f\xE6\x96\x87\xE4\xBB\xB6|\xE4\xBA\x85")));
    EXPECT_EQ(pairs[2], std::make_pair(std::string("k"), std::string()));
  }
}

// A request that waits on a reply that never comes ends once a cancel scope
// of its thread, or the stop of all requests, asks it to; a request started
// after the stop never goes out.
TEST(HttpCancel, ScopesAndTheGlobalStopCutARunningRequest) {
  std::atomic<int> arrived{0};
  std::atomic<bool> release{false};
  RawServer server([&](const RawRequest&, const auto& send) {
    ++arrived;
    for (int i = 0; i < 2000 && !release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    send(simpleReply("late"));
  });
  const auto timed = [](const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - t0;
  };
  {
    std::atomic<bool> flag{false};
    std::string reply = "unset";
    std::thread cutter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      flag.store(true);
    });
    const auto took = timed([&] {
      RequestCancelScope outer(&flag);
      RequestCancelScope inner(nullptr);  // an inner scope without a flag keeps the outer one
      reply = fetchUrl(server.url("/slow"));
    });
    cutter.join();
    EXPECT_EQ(reply, "");
    EXPECT_LT(took, std::chrono::seconds(10));
  }
  {
    std::string reply;
    std::thread cutter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      stopAllRequests();
    });
    const auto took = timed([&] { reply = httpRequest(server.url("/slow")); });
    cutter.join();
    EXPECT_EQ(reply, std::string(255, '\0'));
    EXPECT_LT(took, std::chrono::seconds(10));
    const int before = arrived.load();
    EXPECT_EQ(performFetch(server.url("/after"), RequestOptions{}).failure, RequestFailure::Cancelled);
    allowRequests();
    EXPECT_EQ(arrived.load(), before);
  }
  release.store(true);
}

TEST(HttpWait, ConcurrentRequestsAreIndependent) {
  RawServer server([](const RawRequest& r, const auto& send) { send(simpleReply(r.requestLine())); });
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] { results[i] = httpRequest(server.url("/t" + std::to_string(i))); });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], "GET /t" + std::to_string(i) + " HTTP/1.1");
}

TEST(HttpConnected, AsksTheMainHost) {
  auto server = replying("", "");
  setenv("TARNWICK_MAIN_HOST", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
  reloadHosts();
  EXPECT_TRUE(isInternetConnected());
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].requestLine(), "GET / HTTP/1.1");
  setenv("TARNWICK_MAIN_HOST", ("http://127.0.0.1:" + std::to_string(closedPort())).c_str(), 1);
  reloadHosts();
  EXPECT_FALSE(isInternetConnected());
  unsetenv("TARNWICK_MAIN_HOST");
  reloadHosts();
}

TEST(HttpBrowser, OpenerReceivesTheUrl) {
  openInBrowser("http://x/");  // no opener installed: nothing happens
  std::string opened;
  setBrowserOpener([&](const std::string& u) { opened = u; });
  openInBrowser("http://h/a?b=1");
  setBrowserOpener(nullptr);
  EXPECT_EQ(opened, "http://h/a?b=1");
}

struct UrlCase {
  std::string url, host, hostPort, path;
};

TEST(HttpUrl, SplitTable) {
  const std::vector<UrlCase> cases = {
      {"http://WWW.Example.COM:8080/a/b.php?x=1&y=/2", "www.example.com", "www.example.com:8080",
       "/a/b.php?x=1&y=/2"},
      {"http://host.com", "host.com", "host.com", "/"},
      {"http://host.com?q=1", "host.com?q=1", "host.com?q=1", "/"},
      {"host.com/x", "host.com", "host.com", "/x"},
      {"http://127.0.0.1:5000/", "127.0.0.1", "127.0.0.1:5000", "/"},
      {"http://h:abc/", "h", "h:abc", "/"},
      {"http://t/p", "t", "t", "/p"},  // the host is looked for behind "http://"
      {"", "", "", "/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(urlHost(c.url), c.host) << c.url;
    EXPECT_EQ(urlHost(c.url, true), c.hostPort) << c.url;
    EXPECT_EQ(urlPath(c.url), c.path) << c.url;
  }
}

}  // namespace
