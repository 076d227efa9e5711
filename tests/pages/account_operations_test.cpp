// The account operations on the wire: each row's exact URL and body (key
// order, UTF-8 versus GBK values, percent-encoding), the reply order that
// decides overlapping codes, the inverted switch, a request without reply,
// and the markup stripper.
#include <gtest/gtest.h>

#include "app/names/main_window.h"
#include "net/text.h"
#include "settings/account_operations.h"
#include "settings/form_runner.h"

using namespace tarnwick;
using namespace tarnwick::settings;
using net::fromUtf8;

namespace {

const FormDef& row(const char* button) {
  for (const auto& f : accountForms())
    if (std::string(f.button.name) == button) return *f.form;
  throw std::runtime_error(button);
}

// Every control a row may read, holding "中&=" + its name's last digit, so
// the body shows which box went where and in which charset.
FormValues values() {
  FormValues v;
  for (const char* n : {"编辑框1", "编辑框6", "编辑框7", "编辑框10", "编辑框11", "编辑框12", "编辑框13", "编辑框24",
                        "编辑框25", "编辑框28", "编辑框29", "编辑框44", "编辑框45", "编辑框50", "编辑框51"})
    v[n] = fromUtf8("中&=") + std::string(n).substr(std::string(n).size() - 1) + "@";
  v["编辑框11"] = v["编辑框10"];
  return v;
}

}  // namespace

TEST(AccountOperations, RequestsOnTheWire) {
  // 中 is E4 B8 AD in UTF-8 and D6 D0 in GBK.
  const std::string u = "%E4%B8%AD%26%3D", g = "%D6%D0%26%3D";
  struct Case {
    const char* button;
    std::string url, body;
  } cases[] = {
      {"按钮15", "/post/cz1.php?pid=%D5%C5", "body=" + u + "5%40&fwmm=" + u + "4%40"},
      {"按钮8", "/post/mb.php?pid=%D5%C5", "dan=" + u + "6%40&wenti=" + u + "7%40"},
      {"按钮18", "/post/xgmm.php?pid=%D5%C5", "cxdan=" + u + "8%40&cxwenti=" + u + "9%40"},
      {"按钮31", "/post/xgyx.php?pid=%D5%C5", "yxdz=" + u + "5%40"},
      {"按钮9", "/post/tx.php?pid=%D5%C5",
       "zfbzh=" + u + "0%40&cfzfbzh=" + u + "0%40&zfbxm=" + u + "2%40&zfbyx=" + u + "3%40"},
      {"按钮1", "/post/vip.php?pid=%D5%C5", "vipjhm=" + g + "1%40"},
      {"按钮29", "/post/vip.php?pid=%D5%C5&czlx=1", "vipjhm1=" + g + "4%40"},
      {"按钮36", "/post/fkc.php", "yx=" + g + "0%40&nr=" + g + "1%40"},
  };
  ASSERT_EQ(accountForms().size(), std::size(cases));
  for (const auto& c : cases) {
    const FormResult r = buildFormRequest(row(c.button), values(), {"http://h", fromUtf8("张")});
    EXPECT_EQ(r.url, "http://h" + c.url) << c.button;
    EXPECT_EQ(r.body, c.body) << c.button;
  }
}

TEST(AccountOperations, RepliesAndChecks) {
  struct Case {
    const char* button;
    FormValues values;
    std::optional<std::string> reply;  // nullopt: the request got no reply
    std::vector<std::string> events;   // utf-8 messages, "fx:" effects, "failed", "post"
  } cases[] = {
      {"按钮31", {{"编辑框45", "a@b"}}, "16", {"post", "设置成功，使用用户名+邮箱可以找回密码，请牢记您的用户名和设置邮箱！"}},
      {"按钮31", {{"编辑框45", "a@b"}}, "15", {"post", "设置成功！已发送邮件到原来的邮箱，访问URL后生效新邮箱！如果还没有设置，则直接发到到新邮箱"}},
      {"按钮31", {{"编辑框45", "ab"}}, "1", {"邮箱格式有误。"}},
      {"按钮9", {{"编辑框10", "a"}, {"编辑框11", "b"}, {"编辑框12", "c"}, {"编辑框13", "d"}}, "3", {"支付宝二次确认不重复！"}},
      {"按钮9", {{"编辑框10", "a"}, {"编辑框11", "a"}, {"编辑框13", "d"}}, "3", {"表单填写不完整！"}},
      {"按钮9", {{"编辑框10", "a"}, {"编辑框11", "a"}, {"编辑框12", "c"}, {"编辑框13", "d"}}, "23", {"post", "设置成功！"}},
      {"按钮1", {}, "10", {"post", "开通成功！", "fx:refreshAndClose"}},
      {"按钮29", {}, "1", {"post", "fx:clearRecharge", "充值成功！"}},
      {"按钮15", {}, "1", {"post", "fx:storeAccessPassword", "设置成功！"}},
      {"按钮36", {}, "OK", {"post", "反馈成功！", "fx:clearFeedback"}},
      {"按钮36", {}, "1", {"post", "表单填写不完整！"}},
      // No reply is not an answer: no success message, no effect.
      {"按钮36", {}, std::nullopt, {"post", "failed"}},
      {"按钮15", {}, std::nullopt, {"post", "failed"}},
      {"按钮8", {{"编辑框6", "q"}, {"编辑框7", "a"}}, std::nullopt, {"post", "failed"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> events;
    FormHooks hooks;
    hooks.post = [&](const std::string&, const std::string&, FormAnswer answered) {
      events.push_back("post");
      answered(c.reply);
      return true;
    };
    hooks.message = [&](const std::string& m) { events.push_back(net::toUtf8(m)); };
    hooks.effect = [&](const std::string& fx, const FormValues&) { events.push_back("fx:" + fx); };
    hooks.failed = [&] { events.push_back("failed"); };
    FormValues v;
    for (const auto& [k, val] : c.values) v[k] = fromUtf8(val);
    submitForm(row(c.button), v, {"http://h", "demo"}, hooks);
    EXPECT_EQ(events, c.events) << c.button << " " << c.reply.value_or("(none)");
  }
}

TEST(AccountOperations, SwitchesSendTheValueTheirCaptionSelects) {
  auto toggle = [](const app::ControlName& button) -> const ToggleDef& {
    for (const auto& t : accountToggles())
      if (t.button == button.name) return t;
    throw std::runtime_error(button.name);
  };
  auto r = planToggle(toggle(app::names::main::kForcedChargeButton), fromUtf8("×关闭了强制收费模式"), "http://h", "demo");
  EXPECT_EQ(r.url, "http://h/post/sz8.php?pid=demo");
  EXPECT_EQ(r.body, "btnxa2=0");
  EXPECT_EQ(net::toUtf8(r.shown.caption), "√开启了强制收费模式");
  r = planToggle(toggle(app::names::main::kShowDownloadsButton), fromUtf8("获取中"), "http://h", "demo");
  EXPECT_EQ(r.body, "btn2=0");
  EXPECT_EQ(net::toUtf8(r.shown.labelText), "下载量公开：√");
}

TEST(AccountOperations, ModeAndPermission) {
  EXPECT_EQ(modePermissionUrl("http://h", "demo", 2, 0), "http://h/post/szx.php?zh=demo&lx=3&szqx=0");
  EXPECT_EQ(modePermissionUrl("http://h", "demo", -1, -1), "http://h/post/szx.php?zh=demo&lx=0&szqx=-1");
  EXPECT_TRUE(isVipRefusal("15"));
  EXPECT_FALSE(isVipRefusal("1"));
}

TEST(AccountOperations, StripHtml) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"A<b>B</b>&nbsp;C", "ABC"},
      {"x<script type=\"t\">\r\nvar a = '<b>';\r\n</script>y", "xy"},
      {"<!DOCTYPE html>a<!-- one\r\ntwo -->b<style>\r\np{}\r\n</style>c", "abc"},
      {"1&#12345;2&amp;3\r\n4", "123\r\n4"},
      {"no markup", "no markup"},
  };
  for (const auto& c : cases) EXPECT_EQ(stripHtml(c.in), c.out) << c.in;
}
