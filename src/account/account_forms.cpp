#include "account/account_forms.h"

#include "app/names/dialogs.h"

namespace tarnwick::account {

using settings::account;
using settings::check;
using settings::CheckKind;
using settings::control;
using settings::effect;
using settings::fixed;
using settings::FormDef;
using settings::MatchMode;
using settings::message;
namespace registration = app::names::registration;
namespace recovery = app::names::recovery;

const FormDef& registrationForm() {
  static const FormDef def{
      "registration",
      "/zc.php",
      {},
      {
          check(CheckKind::NotTicked, {registration::kTermsCheck}, "请先同意使用条款！"),
          check(CheckKind::Lacks, {registration::kEmailBox}, "邮箱格式不正确！", "@"),
          check(CheckKind::Lacks, {registration::kEmailBox}, "邮箱格式不正确！", "."),
          check(CheckKind::Contains, {registration::kEmailBox}, "邮箱格式不正确！", "@."),
          check(CheckKind::AnyEmpty,
                {registration::kAccountBox, registration::kPasswordBox, registration::kPasswordRepeatBox},
                "填写不完整"),
          check(CheckKind::Differ, {registration::kPasswordBox, registration::kPasswordRepeatBox}, "二次密码不重复！"),
      },
      {
          control("zh1", registration::kAccountBox, true),
          control("mm1", registration::kPasswordBox, false),
          control("cfmm1", registration::kPasswordRepeatBox, false),
          control("zcyx", registration::kEmailBox, true),
          fixed("xcfmm1", "1"),
      },
      {
          {"3", {effect(kCopyToLogin), message("帐号注册成功！"), effect(kCloseDialog)}},
          {"5", {message("该帐号已被注册，请重新输入！")}},
          {"6", {message("该邮箱已被注册，请重新输入！")}},
      },
      MatchMode::FirstMatch,
      {message("填写不完整")},
  };
  return def;
}

const FormDef& resetByQuestionForm() {
  static const FormDef def{
      "resetByQuestion",
      "/post/zh.php",
      {},
      {
          check(CheckKind::AnyEmpty,
                {recovery::kAccountBox, recovery::kPasswordBox, recovery::kPasswordRepeatBox, recovery::kQuestionBox,
                 recovery::kAnswerBox},
                "表单填写不完整！"),
          check(CheckKind::Differ, {recovery::kPasswordBox, recovery::kPasswordRepeatBox}, "二次密码输入不一致！"),
      },
      {
          control("zh2", recovery::kAccountBox, true),
          control("mm2", recovery::kPasswordBox, true),
          control("czmm3", recovery::kPasswordBox, true),
          control("wt2", recovery::kQuestionBox, true),
          control("dn2", recovery::kAnswerBox, true),
      },
      {
          {"1", {message("表单填写不完整！")}},
          {"2", {message("二次密码不重复！")}},
          {"3", {message("密保问题不匹配！")}},
          {"5", {message("重置密码成功！"), effect(kCopyToLogin), effect(kCloseDialog)}},
      },
      MatchMode::EveryMatch,
      {},
  };
  return def;
}

const FormDef& resetByEmailForm() {
  static const FormDef def{
      "resetByEmail",
      "/post/yxzh.php",
      {},
      {
          check(CheckKind::AnyEmpty, {recovery::kEmailAccountBox, recovery::kEmailBox}, "表单填写不完整！"),
      },
      {
          control("zh1", recovery::kEmailAccountBox, true),
          control("yx1", recovery::kEmailBox, true),
      },
      {
          {"1", {message("表单填写不完整！")}},
          {"2", {message("系统已经成功提交您的请求，请登录邮箱访问URL即可更改密码。")}},
          {"3", {message("您提交的帐号和邮箱不匹配，请重新提交！")}},
          {"5", {message("您刚才已经成功提交了更改密码请求，已发送邮件到您的邮箱，5分钟内无法执行该操作！")}},
      },
      MatchMode::EveryMatch,
      {},
  };
  return def;
}

}  // namespace tarnwick::account
