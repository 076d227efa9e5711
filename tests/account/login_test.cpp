// Login request and reply, QQ poll replies, the update file and the
// watchdog page.
#include <gtest/gtest.h>

#include "account/login.h"
#include "account/update_check.h"
#include "net/text.h"

namespace tarnwick::account {
namespace {

std::string g(const char* utf8) { return net::fromUtf8(utf8); }

TEST(Login, RequestSendsAccountAsUtf8AndPasswordAsTyped) {
  Request r = loginRequest("http://127.0.0.1:5", g("张x"), g("密&=1"));
  EXPECT_EQ(r.url, "http://127.0.0.1:5/csx.php");
  EXPECT_EQ(r.body, "zh=%E5%BC%A0x&mm=%C3%DC%26%3D1");
}

TEST(Login, ReplyJudgement) {
  struct Case {
    const char* reply;
    bool ok;
    const char* userId;
    const char* accountName;
    const char* email;
  };
  const std::vector<Case> cases = {
      {"", false, "", "", ""},
      {"1x2", false, "", "", ""},          // three bytes
      {"\r\n1x2\r\n", false, "", "", ""},  // three bytes once the line breaks are gone
      {"1234", false, "", "", ""},         // long enough, but no pieces
      {"12xdemo", false, "", "", ""},      // two pieces
      {"7xdemox暂无设置。", true, "7", "demo", ""},
      {"7xdemoxd@q.cn\r\n", true, "7", "demo", "d@q.cn"},
      {"9xmaxinexm@q.cn", true, "9", "ma", "ine"},  // an account with an x is cut there
  };
  for (const auto& c : cases) {
    auto r = judgeLoginReply(g(c.reply));
    ASSERT_EQ(r.has_value(), c.ok) << c.reply;
    if (!c.ok) continue;
    EXPECT_EQ(r->userId, c.userId);
    EXPECT_EQ(r->accountName, c.accountName);
    EXPECT_EQ(r->email, g(c.email));
  }
}

TEST(Login, SessionFieldsFromReplyAndTypedAccount) {
  app::SessionData s;
  s.qqPassword = "kept";
  applyLogin(s, {"7", "demo", "d@x.cn"}, "Demo");
  EXPECT_EQ(s.userId, "7");
  EXPECT_EQ(s.loginName, "Demo");
  EXPECT_EQ(s.accountName, "demo");
  EXPECT_EQ(s.email, "d@x.cn");
  EXPECT_EQ(s.qqPassword, "kept");
  EXPECT_EQ(net::toUtf8(welcomeCaption("Demo")), "欢迎您回来：Demo");
  EXPECT_EQ(net::toUtf8(loginLogMessage("Demo")), "：Demo成功登录软件！");
}

TEST(QqPoll, NeedsFourPieces) {
  EXPECT_FALSE(parseQqPoll(""));
  EXPECT_FALSE(parseQqPoll("\r\n"));
  EXPECT_FALSE(parseQqPoll("qq_1|QQ用户|12"));
  auto r = parseQqPoll(g("qq_1|QQ用户|12|pw\r\n"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->accountName, "qq_1");
  EXPECT_EQ(r->loginName, g("QQ用户"));
  EXPECT_EQ(r->userId, "12");
  EXPECT_EQ(r->password, "pw");
  app::SessionData s;
  applyQqSignIn(s, *r);
  EXPECT_EQ(s.accountName, "qq_1");
  EXPECT_EQ(s.qqPassword, "pw");
  EXPECT_EQ(qqPollUrl("http://h"), "http://h/qdlxx.php");
}

TEST(UpdateCheck, Verdicts) {
  struct Case {
    const char* reply;
    UpdateVerdict verdict;
    const char* address;
  };
  const std::vector<Case> cases = {
      {"118|http://x/new.exe", UpdateVerdict::UpToDate, ""},
      {"118|", UpdateVerdict::UpToDate, ""},
      {"119|http://x/new.exe\r\n", UpdateVerdict::NewVersion, "http://x/new.exe"},
      {"117|http://x/old.exe", UpdateVerdict::NewVersion, "http://x/old.exe"},
      {"1180|a", UpdateVerdict::NewVersion, ""},  // not a web address: nothing to open
      {"120|HTTPS://x/n.exe", UpdateVerdict::NewVersion, "HTTPS://x/n.exe"},
      {"120|file:///etc/passwd", UpdateVerdict::NewVersion, ""},
      {"120|javascript:alert(1)", UpdateVerdict::NewVersion, ""},
      {"120|/usr/bin/xterm", UpdateVerdict::NewVersion, ""},
      {"120|http:", UpdateVerdict::NewVersion, ""},
      {"", UpdateVerdict::Unknown, ""},        // no network
      {"<html>not found</html>", UpdateVerdict::Unknown, ""},
      {"119", UpdateVerdict::Unknown, ""},     // no address to offer
  };
  for (const auto& c : cases) {
    UpdateCheck u = judgeUpdateReply(c.reply, "118");
    EXPECT_EQ(u.verdict, c.verdict) << c.reply;
    EXPECT_EQ(u.address, c.address) << c.reply;
  }
  EXPECT_EQ(updateUrl("http://h"), "http://h/ge.txt");
}

TEST(Watchdog, PageJudgement) {
  EXPECT_EQ(watchdogUrl("http://h", ""), "");
  EXPECT_EQ(watchdogUrl("http://h", "demo"), "http://h/sc/index1.php?zh=demo");
  // The service's page for a replaced session: three line breaks, then the
  // declaration, so the cut lands on "CTYPE html PUBLIC ".
  const std::string elsewhere =
      "\r\n\r\n\r\n<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">"
      "<html><body>x</body></html>";
  const std::string current =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n"
      "<a href=\"sxwj.php?zh=demo\">refresh</a>";
  EXPECT_TRUE(loggedInElsewhere(elsewhere));
  EXPECT_FALSE(loggedInElsewhere(current));
  EXPECT_FALSE(loggedInElsewhere(""));
  EXPECT_FALSE(loggedInElsewhere("<html><body>x</body></html>"));
  EXPECT_FALSE(loggedInElsewhere(elsewhere.substr(2)));
}

}  // namespace
}  // namespace tarnwick::account
