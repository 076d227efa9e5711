#include "settings/account_operations.h"

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "net/form.h"
#include "net/hosts.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::settings {

namespace {

namespace main = app::names::main;
namespace vip = app::names::vip;

constexpr bool kUtf8 = true;
constexpr bool kGbk = false;

FormDef accessPasswordForm() {
  return {"accessPassword",
          "/post/cz1.php",
          {account("pid")},
          {},
          {control("body", main::kAccessNoticeBox, kUtf8), control("fwmm", main::kAccessPasswordBox, kUtf8)},
          {{"1", {effect(kStoreAccessPassword), message("设置成功！")}}},
          MatchMode::FirstMatch,
          {message("设置失败！")}};
}

FormDef securityQuestionForm() {
  return {"securityQuestion",
          "/post/mb.php",
          {account("pid")},
          {check(CheckKind::AnyEmpty, {main::kQuestionBox, main::kAnswerBox}, "帐号或问题不能为空！")},
          {control("dan", main::kQuestionBox, kUtf8), control("wenti", main::kAnswerBox, kUtf8)},
          {{"2", {message("设置成功！")}}},
          MatchMode::FirstMatch,
          {message("设置失败！")}};
}

FormDef passwordForm() {
  return {"password",
          "/post/xgmm.php",
          {account("pid")},
          {check(CheckKind::AnyEmpty, {main::kPasswordRepeatBox, main::kNewPasswordBox}, "密码不能为空！")},
          {control("cxdan", main::kPasswordRepeatBox, kUtf8), control("cxwenti", main::kNewPasswordBox, kUtf8)},
          {{"2", {message("设置成功！")}}},
          MatchMode::FirstMatch,
          {message("设置失败！二次设置不重复！")}};
}

FormDef emailForm() {
  return {"email",
          "/post/xgyx.php",
          {account("pid")},
          {check(CheckKind::Lacks, {main::kEmailBox}, "邮箱格式有误。", "@")},
          {control("yxdz", main::kEmailBox, kUtf8)},
          {
              {"10", {message("设置失败！你的邮箱没有任何变动！")}},
              {"16", {message("设置成功，使用用户名+邮箱可以找回密码，请牢记您的用户名和设置邮箱！")}},
              {"1", {message("设置成功！已发送邮件到原来的邮箱，访问URL后生效新邮箱！如果还没有设置，则直接发到到新邮箱")}},
              {"5", {message("5分钟前您已经提交了，请稍后再试！")}},
              {"6", {message("该邮箱已经被注册，请更换一个！")}},
          },
          MatchMode::FirstMatch,
          {}};
}

FormDef withdrawalAccountForm() {
  return {"withdrawalAccount",
          "/post/tx.php",
          {account("pid")},
          {
              check(CheckKind::AnyEmpty,
                    {main::kAlipayBox, main::kAlipayRepeatBox, main::kHolderBox, main::kPayoutEmailBox},
                    "表单填写不完整！"),
              check(CheckKind::Differ, {main::kAlipayBox, main::kAlipayRepeatBox}, "支付宝二次确认不重复！"),
          },
          {control("zfbzh", main::kAlipayBox, kUtf8), control("cfzfbzh", main::kAlipayBox, kUtf8),
           control("zfbxm", main::kHolderBox, kUtf8), control("zfbyx", main::kPayoutEmailBox, kUtf8)},
          {{"3", {message("设置成功！")}}, {"2", {message("已设置了支付宝，不能再设置！")}}},
          MatchMode::FirstMatch,
          {}};
}

FormDef vipActivationForm() {
  return {"vipActivation",
          "/post/vip.php",
          {account("pid")},
          {},
          {control("vipjhm", vip::kCodeBox, kGbk)},
          {{"1", {message("开通成功！"), effect(kRefreshAndClose)}}},
          MatchMode::FirstMatch,
          {message("开通失败，激活码错误！")}};
}

FormDef trafficRechargeForm() {
  return {"trafficRecharge",
          "/post/vip.php",
          {account("pid"), fixed("czlx", "1")},
          {},
          {control("vipjhm1", main::kCardCodeBox, kGbk)},
          {{"1", {effect(kClearRecharge), message("充值成功！")}}},
          MatchMode::FirstMatch,
          {message("充值失败，激活码错误！")}};
}

FormDef feedbackForm() {
  return {"feedback",
          "/post/fkc.php",
          {},
          {},
          {control("yx", main::kFeedbackEmailBox, kGbk), control("nr", main::kFeedbackTextBox, kGbk)},
          {{"1", {message("表单填写不完整！")}}},
          MatchMode::FirstMatch,
          {message("反馈成功！"), effect(kClearFeedback)}};
}

}  // namespace

const std::vector<BoundForm>& accountForms() {
  static const FormDef forms[] = {accessPasswordForm(),    securityQuestionForm(), passwordForm(),
                                  emailForm(),             withdrawalAccountForm(), vipActivationForm(),
                                  trafficRechargeForm(),   feedbackForm()};
  static const std::vector<BoundForm> bound = {
      {main::kSetAccessPasswordButton, &forms[0]}, {main::kSetQuestionButton, &forms[1]},
      {main::kSetPasswordButton, &forms[2]},       {main::kSetEmailButton, &forms[3]},
      {main::kSetWithdrawalButton, &forms[4]},     {vip::kActivateButton, &forms[5]},
      {main::kRechargeButton, &forms[6]},          {main::kSendFeedbackButton, &forms[7]},
  };
  return bound;
}

const std::vector<ToggleDef>& accountToggles() {
  static const std::vector<ToggleDef> toggles = {
      toggleRow(main::kShowNameButton.name, main::kShowNameLabel.name, "关闭", "1", "0", "/post/sz2.php", "btn2",
                {"开启", "上传日期公开：×"}, {"关闭", "上传日期公开：√"}),
      toggleRow(main::kShowDownloadsButton.name, main::kShowDownloadsLabel.name, "关闭", "1", "0", "/post/sz.php",
                "btn2", {"开启", "下载量公开：×"}, {"关闭", "下载量公开：√"}),
      toggleRow(main::kHiddenSwitch1.name, "", "×关闭了网赚模式", "1", "0", "/post/sz1.php", "btn3",
                {"√开启了网赚模式", ""}, {"×关闭了网赚模式", ""}),
      toggleRow(main::kHiddenSwitch2.name, "", "切换到加强", "1", "0", "/post/sz3.php", "btn2", {"切换到普通", ""},
                {"切换到加强", ""}),
      // Forced charging is the other way round: "0" switches it on.
      toggleRow(main::kForcedChargeButton.name, "", "×关闭了强制收费模式", "0", "1", "/post/sz8.php", "btnxa2",
                {"√开启了强制收费模式", ""}, {"×关闭了强制收费模式", ""}),
  };
  return toggles;
}

std::string modePermissionUrl(const std::string& mainHost, const std::string& account, int modeIndex,
                              int permissionIndex) {
  net::FormBuilder query;
  query.add("zh", account)
      .add("lx", net::numberToText(modeIndex + 1))
      .add("szqx", net::numberToText(permissionIndex));
  return net::withQuery(mainHost + "/post/szx.php", query);
}

bool isVipRefusal(std::string_view reply) { return net::find(reply, "5") > 0; }

bool toggleReached(const ToggleDef& def, const ToggleTexts& asked, const SettingsView& reported) {
  return reported.reported && reported.textOf(def.button) == asked.caption;
}

bool modePermissionReached(int modeIndex, int permissionIndex, const SettingsView& reported) {
  return reported.reported && reported.modeIndex == modeIndex && reported.permissionIndex == permissionIndex;
}

std::string announcementsUrl(const std::string& mainHost) { return mainHost + net::kMemberHomePath; }

std::string stripHtml(std::string_view text) {
  // "(?s)": a comment, script or style spanning several lines goes whole.
  static const char* const patterns[] = {
      "<!DOCTYPE.*?>",         "(?s)<!--.*?-->", "(?s)<script.*?>.*?<\\/script>",
      "(?s)<style.*?>.*?<\\/style>", "<.*?>",          "&.{1,5};|&#.{1,5};",
  };
  std::string out(text);
  for (const char* pattern : patterns) {
    net::Regex regex;
    regex.compile(pattern);
    out = regex.replaceAll(out, "");
  }
  return out;
}

}  // namespace tarnwick::settings
