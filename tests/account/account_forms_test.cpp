// The registration and recovery forms: what each typed input leads to, on the
// wire and on screen.
#include <gtest/gtest.h>

#include <optional>

#include "account/account_forms.h"
#include "net/text.h"
#include "settings/form_runner.h"

namespace tarnwick::account {
namespace {

using settings::FormValues;

std::string g(const char* utf8) { return net::fromUtf8(utf8); }

struct FormRun {
  std::vector<std::string> events;
  std::string url, body;
  int posts = 0;
};

// reply nullopt: the request got no reply.
FormRun run(const settings::FormDef& def, const FormValues& values, const std::optional<std::string>& reply) {
  FormRun r;
  settings::FormHooks hooks{[&](const std::string& url, const std::string& body, settings::FormAnswer answered) {
                              ++r.posts;
                              r.url = url;
                              r.body = body;
                              answered(reply);
                              return true;
                            },
                            [&](const std::string& m) { r.events.push_back(net::toUtf8(m)); },
                            [&](const std::string& e, const FormValues&) { r.events.push_back(e); },
                            [&] { r.events.push_back("failed"); }};
  settings::submitForm(def, values, {"http://127.0.0.1:9", "ignored"}, hooks);
  return r;
}

FormValues registration(const char* account, const char* pw, const char* pw2, const char* mail,
                        bool agreed) {
  return {{"编辑框1", g(account)}, {"编辑框2", g(pw)}, {"编辑框3", g(pw2)}, {"编辑框5", g(mail)},
          {"选择框1", agreed ? "1" : ""}};
}

TEST(Registration, ChecksInOrder) {
  struct Case {
    FormValues values;
    const char* message;
  };
  const std::vector<Case> cases = {
      {registration("", "", "x", "bad", false), "请先同意使用条款！"},
      {registration("a", "p", "p", "", true), "邮箱格式不正确！"},
      {registration("a", "p", "p", "a@b", true), "邮箱格式不正确！"},
      {registration("a", "p", "p", "a@.b", true), "邮箱格式不正确！"},
      {registration("a", "p", "p", "a.b", true), "邮箱格式不正确！"},
      {registration("", "p", "p", "a@b.c", true), "填写不完整"},
      {registration("a", "p", "", "a@b.c", true), "填写不完整"},
      {registration("a", "p", "q", "a@b.c", true), "二次密码不重复！"},
  };
  for (const auto& c : cases) {
    FormRun r = run(registrationForm(), c.values, "3");
    EXPECT_EQ(r.posts, 0) << c.message;
    EXPECT_EQ(r.events, std::vector<std::string>{c.message});
  }
}

TEST(Registration, AccountAndMailAsUtf8PasswordsAsGbk) {
  FormRun r = run(registrationForm(), registration("张三", "密a", "密a", "z@q.cn", true), "3");
  EXPECT_EQ(r.url, "http://127.0.0.1:9/zc.php");
  EXPECT_EQ(r.body,
            "zh1=%E5%BC%A0%E4%B8%89&mm1=%C3%DCa&cfmm1=%C3%DCa&zcyx=z%40q.cn&xcfmm1=1");
}

TEST(Registration, ReplyCodesFirstMatch) {
  struct Case {
    std::optional<std::string> reply;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"3", {kCopyToLogin, "帐号注册成功！", kCloseDialog}},
      {"35", {kCopyToLogin, "帐号注册成功！", kCloseDialog}},
      {"5", {"该帐号已被注册，请重新输入！"}},
      {"56", {"该帐号已被注册，请重新输入！"}},
      {"6", {"该邮箱已被注册，请重新输入！"}},
      {std::nullopt, {"failed"}},
      {"10", {"填写不完整"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(registrationForm(), registration("a", "p", "p", "a@b.c", true), c.reply).events,
              c.events)
        << c.reply.value_or("(none)");
}

FormValues question(const char* pw, const char* pw2) {
  return {{"编辑框1", g("demo")}, {"编辑框2", g(pw)}, {"编辑框3", g(pw2)},
          {"编辑框4", g("问题")}, {"编辑框5", g("答案")}};
}

TEST(ResetByQuestion, EveryMatchingCodeActsInOrder) {
  struct Case {
    std::optional<std::string> reply;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"5", {"重置密码成功！", kCopyToLogin, kCloseDialog}},
      {"35", {"密保问题不匹配！", "重置密码成功！", kCopyToLogin, kCloseDialog}},
      {"23", {"二次密码不重复！", "密保问题不匹配！"}},
      {"15", {"表单填写不完整！", "重置密码成功！", kCopyToLogin, kCloseDialog}},
      {std::nullopt, {"failed"}},
      {"4", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(resetByQuestionForm(), question("n", "n"), c.reply).events, c.events) << c.reply.value_or("(none)");
}

TEST(ResetByQuestion, ChecksAndWire) {
  FormRun differ = run(resetByQuestionForm(), question("a", "b"), "5");
  EXPECT_EQ(differ.posts, 0);
  EXPECT_EQ(differ.events, std::vector<std::string>{"二次密码输入不一致！"});
  FormValues missing = question("a", "a");
  missing["编辑框4"] = "";
  EXPECT_EQ(run(resetByQuestionForm(), missing, "5").events,
            std::vector<std::string>{"表单填写不完整！"});

  FormRun ok = run(resetByQuestionForm(), question("新", "新"), "1");
  EXPECT_EQ(ok.url, "http://127.0.0.1:9/post/zh.php");
  EXPECT_EQ(ok.body,
            "zh2=demo&mm2=%E6%96%B0&czmm3=%E6%96%B0&wt2=%E9%97%AE%E9%A2%98&dn2=%E7%AD%94%E6%A1%88");
}

TEST(ResetByEmail, EveryMatchAndNoFallback) {
  FormValues v{{"编辑框6", g("demo")}, {"编辑框7", g("d@x.cn")}};
  struct Case {
    std::optional<std::string> reply;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"2", {"系统已经成功提交您的请求，请登录邮箱访问URL即可更改密码。"}},
      {"3", {"您提交的帐号和邮箱不匹配，请重新提交！"}},
      {"15",
       {"表单填写不完整！",
        "您刚才已经成功提交了更改密码请求，已发送邮件到您的邮箱，5分钟内无法执行该操作！"}},
      {std::nullopt, {"failed"}},
  };
  for (const auto& c : cases) {
    FormRun r = run(resetByEmailForm(), v, c.reply);
    EXPECT_EQ(r.events, c.events) << c.reply.value_or("(none)");
    EXPECT_EQ(r.body, "zh1=demo&yx1=d%40x.cn");
  }
  v["编辑框7"] = "";
  EXPECT_EQ(run(resetByEmailForm(), v, "2").posts, 0);
}

}  // namespace
}  // namespace tarnwick::account
