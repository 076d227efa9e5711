// The form runner and the switch runner on rows made for the test: order of
// checks, first-match versus every-match, charsets on the wire, fallbacks.
#include <gtest/gtest.h>

#include "net/text.h"
#include "settings/form_runner.h"
#include "settings/toggle_runner.h"

namespace tarnwick::settings {
namespace {

std::string g(const char* utf8) { return net::fromUtf8(utf8); }

// Records every message, effect and request of one run.
struct Trace {
  std::vector<std::string> events;  // "msg:<utf8>" / "fx:<name>" / "post"
  std::string reply;
  std::string url, body;
  int posts = 0;
  FormHooks hooks() {
    return {[this](const std::string& url, const std::string& body, FormAnswer answered) {
              ++posts;
              this->url = url;
              this->body = body;
              events.push_back("post");
              answered(reply);
              return true;
            },
            [this](const std::string& m) { events.push_back("msg:" + net::toUtf8(m)); },
            [this](const std::string& e, const FormValues&) { events.push_back("fx:" + e); },
            [this] { events.push_back("failed"); }};
  }
};

// An e-mail form with codes that contain one another, like the service's
// e-mail setting: "10" and "16" before "1".
FormDef emailForm(MatchMode mode) {
  return FormDef{
      "email",
      "/post/xgyx.php",
      {account("pid")},
      {check(CheckKind::Lacks, {"编辑框45"}, "邮箱格式有误。", "@")},
      {control("yxdz", "编辑框45", true)},
      {{"10", {message("没有变动")}},
       {"16", {message("设置成功"), effect("reload")}},
       {"1", {message("已发送")}},
       {"5", {message("稍后再试")}}},
      mode,
      {message("失败")},
  };
}

TEST(FormRunner, CodesAreSubstringsTestedInOrder) {
  struct Case {
    MatchMode mode;
    const char* reply;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {MatchMode::FirstMatch, "10", {"post", "msg:没有变动"}},
      {MatchMode::FirstMatch, "16", {"post", "msg:设置成功", "fx:reload"}},
      {MatchMode::FirstMatch, "15", {"post", "msg:已发送"}},
      {MatchMode::FirstMatch, "23", {"post", "msg:失败"}},
      {MatchMode::EveryMatch, "10", {"post", "msg:没有变动", "msg:已发送"}},
      {MatchMode::EveryMatch, "16", {"post", "msg:设置成功", "fx:reload", "msg:已发送"}},
      {MatchMode::EveryMatch, "15", {"post", "msg:已发送", "msg:稍后再试"}},
      {MatchMode::EveryMatch, "23", {"post", "msg:失败"}},
  };
  for (const auto& c : cases) {
    Trace t;
    t.reply = c.reply;
    submitForm(emailForm(c.mode), {{"编辑框45", "a@b.c"}}, {"http://h", "demo"}, t.hooks());
    EXPECT_EQ(t.events, c.events) << "reply " << c.reply << " mode " << int(c.mode);
  }
}

TEST(FormRunner, FailingCheckShowsItsMessageAndSendsNothing) {
  Trace t;
  FormResult r = submitForm(emailForm(MatchMode::FirstMatch), {{"编辑框45", "nobody"}},
                            {"http://h", "demo"}, t.hooks());
  EXPECT_FALSE(r.sent);
  EXPECT_EQ(t.posts, 0);
  EXPECT_EQ(t.events, std::vector<std::string>{"msg:邮箱格式有误。"});
}

TEST(FormRunner, FirstFailingCheckWinsInListedOrder) {
  FormDef def{"order", "/p", {}, {}, {}, {}, MatchMode::FirstMatch, {}};
  def.checks = {check(CheckKind::NotTicked, {"选择框1"}, "A"),
                 check(CheckKind::AnyEmpty, {"编辑框1", "编辑框2"}, "B"),
                 check(CheckKind::Differ, {"编辑框2", "编辑框3"}, "C"),
                 check(CheckKind::Contains, {"编辑框1", }, "D", "&")};
  struct Case {
    FormValues values;
    std::optional<std::string> message;
  };
  const std::vector<Case> cases = {
      {{{"选择框1", ""}, {"编辑框1", ""}, {"编辑框2", "x"}, {"编辑框3", "y"}}, g("A")},
      {{{"选择框1", "0"}, {"编辑框1", "a"}, {"编辑框2", "x"}, {"编辑框3", "x"}}, g("A")},
      {{{"选择框1", "1"}, {"编辑框2", "x"}, {"编辑框3", "y"}}, g("B")},
      {{{"选择框1", "1"}, {"编辑框1", "a"}, {"编辑框2", "x"}, {"编辑框3", "y"}}, g("C")},
      {{{"选择框1", "1"}, {"编辑框1", "a&b"}, {"编辑框2", "x"}, {"编辑框3", "x"}}, g("D")},
      {{{"选择框1", "1"}, {"编辑框1", "a b"}, {"编辑框2", " "}, {"编辑框3", " "}}, std::nullopt},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(firstFailedCheck(def, cases[i].values), cases[i].message) << "case " << i;
}

TEST(FormRunner, ValuesTravelPercentEncodedInTheirCharset) {
  FormDef def{"wire",
                "/post/cz1.php",
                {account("pid"), fixed("czlx", "1")},
                {},
                {control("body", "编辑框25", true), control("fwmm", "编辑框24", false),
                 fixed("k", "中", false)},
                {},
                MatchMode::FirstMatch,
                {}};
  // "中" is E4 B8 AD in UTF-8 and D6 D0 in GBK; "&" and "=" must not split fields.
  FormValues v{{"编辑框25", g("中a&b=c")}, {"编辑框24", g("中 %")}};
  FormResult r = buildFormRequest(def, v, {"http://127.0.0.1:8", g("张x")});
  EXPECT_EQ(r.url, "http://127.0.0.1:8/post/cz1.php?pid=%D5%C5x&czlx=1");
  EXPECT_EQ(r.body, "body=%E4%B8%ADa%26b%3Dc&fwmm=%D6%D0%20%25&k=%D6%D0");
}

TEST(FormRunner, ControlsReadListsEachNameOnce) {
  FormDef def = emailForm(MatchMode::FirstMatch);
  def.body.push_back(control("again", "编辑框45", false));
  def.body.push_back(control("other", "编辑框9", false));
  EXPECT_EQ(controlsRead(def), (std::vector<std::string>{"编辑框45", "编辑框9"}));
}

TEST(ToggleRunner, CaptionSelectsValueAndTexts) {
  const ToggleDef forced = toggleRow("按钮19", "", "×关闭了强制收费模式", "0", "1", "/post/sz8.php",
                                      "btnxa2", {"√开启了强制收费模式", ""},
                                      {"×关闭了强制收费模式", ""});
  const ToggleDef count = toggleRow("按钮14", "标签31", "关闭", "1", "0", "/post/sz.php", "btn2",
                                     {"开启", "下载量公开：×"}, {"关闭", "下载量公开：√"});
  struct Case {
    const ToggleDef* def;
    const char* caption;
    const char* body;
    const char* shownCaption;
    const char* shownLabel;
  };
  const std::vector<Case> cases = {
      {&forced, "×关闭了强制收费模式", "btnxa2=0", "√开启了强制收费模式", ""},
      {&forced, "√开启了强制收费模式", "btnxa2=1", "×关闭了强制收费模式", ""},
      {&count, "获取中", "btn2=0", "关闭", "下载量公开：√"},
      {&count, "关闭", "btn2=1", "开启", "下载量公开：×"},
  };
  for (const auto& c : cases) {
    ToggleResult r = planToggle(*c.def, g(c.caption), "http://h", "demo");
    EXPECT_EQ(r.body, c.body) << c.caption;
    EXPECT_EQ(net::toUtf8(r.shown.caption), c.shownCaption);
    EXPECT_EQ(net::toUtf8(r.shown.labelText), c.shownLabel);
  }
  EXPECT_EQ(planToggle(count, "", "http://h", "demo").url, "http://h/post/sz.php?pid=demo");
}

}  // namespace
}  // namespace tarnwick::settings
