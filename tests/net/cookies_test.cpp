#include "net/cookies.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "net/http.h"
#include "raw_server.h"

using namespace tarnwick::net;
using tarnwick::test::RawRequest;
using tarnwick::test::RawServer;
using tarnwick::test::simpleReply;

namespace {

// Replies to /login with two cookies (one without a Path attribute) and
// echoes the Cookie header of every other request.
RawServer cookieServer() {
  return RawServer([](const RawRequest& r, const auto& send) {
    if (r.requestLine().find("/post/login.php") != std::string::npos)
      send(simpleReply("1", "Set-Cookie: TWSESSION=abc123; Path=/\r\nSet-Cookie: lang=zh\r\n"));
    else
      send(simpleReply("cookie=" + r.header("Cookie")));
  });
}

std::vector<std::string> names(const std::vector<Cookie>& cookies) {
  std::vector<std::string> out;
  for (const auto& c : cookies) out.push_back(c.name + "=" + c.value + "@" + c.domain + c.path);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Cookies, SetByOneReplySentWithTheNext) {
  clearCookies();
  auto server = cookieServer();
  EXPECT_EQ(httpRequest(server.url("/post/login.php"), "POST", "", "", "zh=a"), "1");
  // Both cookies go to every page of the host, whichever path set them.
  const std::string expected = "cookie=TWSESSION=abc123; lang=zh";
  for (const std::string path : {"/wdwj.php?pid=1", "/post/other.php", "/"}) {
    const std::string a = httpRequest(server.url(path));
    const std::string b = fetchUrl(server.url(path));
    for (const auto& got : {a, b}) {
      ASSERT_EQ(got.rfind("cookie=", 0), 0u);
      auto sorted = [](std::string s) {
        s = s.substr(7);
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start < s.size()) {
          std::size_t semi = s.find("; ", start);
          if (semi == std::string::npos) semi = s.size();
          parts.push_back(s.substr(start, semi - start));
          start = semi + 2;
        }
        std::sort(parts.begin(), parts.end());
        return parts;
      };
      EXPECT_EQ(sorted(got), (std::vector<std::string>{"TWSESSION=abc123", "lang=zh"})) << path << " " << got;
    }
  }
  EXPECT_EQ(names(allCookies()),
            (std::vector<std::string>{"TWSESSION=abc123@127.0.0.1/", "lang=zh@127.0.0.1/"}));
}

TEST(Cookies, StoreCopiesBothWays) {
  clearCookies();
  auto server = cookieServer();
  Cookie c;
  c.domain = "127.0.0.1";
  c.name = "TWQQ";
  c.value = "tok";
  setCookie(c);
  EXPECT_EQ(httpRequest(server.url("/a")), "cookie=TWQQ=tok");
  c.value = "tok2";
  setCookie(c);  // same domain, path and name: replaced
  EXPECT_EQ(fetchUrl(server.url("/a")), "cookie=TWQQ=tok2");
  Cookie other = c;
  other.domain = "example.com";
  setCookie(other);  // another host's cookie is not sent here
  EXPECT_EQ(httpRequest(server.url("/a")), "cookie=TWQQ=tok2");
  EXPECT_EQ(names(allCookies()), (std::vector<std::string>{"TWQQ=tok2@127.0.0.1/", "TWQQ=tok2@example.com/"}));
  clearCookies();
  EXPECT_TRUE(allCookies().empty());
  EXPECT_EQ(httpRequest(server.url("/a")), "cookie=");
}

TEST(Cookies, ExpiredCookieIsDropped) {
  clearCookies();
  RawServer server([](const RawRequest& r, const auto& send) {
    if (r.requestLine().find("/set") != std::string::npos)
      send(simpleReply("", "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n"));
    else if (r.requestLine().find("/drop") != std::string::npos)
      send(simpleReply("", "Set-Cookie: a=; Path=/; Max-Age=0\r\nSet-Cookie: b=; Max-Age=0\r\n"));
    else
      send(simpleReply(r.header("Cookie")));
  });
  httpRequest(server.url("/x/set"));
  EXPECT_EQ(names(allCookies()), (std::vector<std::string>{"a=1@127.0.0.1/", "b=2@127.0.0.1/"}));
  httpRequest(server.url("/x/drop"));
  EXPECT_EQ(httpRequest(server.url("/x/y")), "");
  EXPECT_TRUE(allCookies().empty());
}

}  // namespace
