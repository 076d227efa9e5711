#include "settings/account_pages.h"

#include "app/names/main_window.h"
#include "browser/scrape.h"
#include "net/form.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::settings {

namespace {

using browser::gbk;
using net::textBetween;

bool contains(std::string_view page, const char* utf8) { return net::find(page, gbk(utf8)) > 0; }

std::string between(std::string_view page, const char* left, const char* right) {
  return textBetween(page, gbk(left), gbk(right));
}

// Every match of pattern in page, with "&nbsp;" (and, where asked, a bare
// "&nbsp") turned into blanks, cut to the text between the first ">" and the
// next "<". Each call compiles its own matcher, so runs never share state.
std::vector<std::string> cutMatches(std::string_view page, std::string_view pattern, bool bareNbsp) {
  std::vector<std::string> out;
  net::Regex regex;
  if (!regex.compile(pattern)) return out;
  for (const auto& m : regex.findAll(page)) {
    std::string text = net::replaceText(m.text, "&nbsp;", " ");
    if (bareNbsp) text = net::replaceText(text, "&nbsp", " ");
    out.push_back(textBetween(text, ">", "<"));
  }
  return out;
}

}  // namespace

std::string accountPageUrl(const std::string& mainHost, std::string_view name, const std::string& account) {
  return net::withQuery(mainHost + "/get/" + std::string(name) + ".php",
                        net::FormBuilder().add("pid", account));
}

std::string recordPageUrl(const std::string& mainHost, long long page) {
  return net::withQuery(mainHost + "/sytj.php",
                        net::FormBuilder().add("yms", net::numberToText(static_cast<std::int64_t>(page))));
}

PersonalView personalView(std::string_view page) {
  PersonalView v;
  v.reported = contains(page, "总IP数量：");
  v.offerVip = contains(page, ">×<br />");
  if (contains(page, "当前开启了网赚模式")) {
    v.mode = gbk("网赚模式：已开启网赚模式");
    if (contains(page, "网赚模式→切换到一般")) {
      v.mode += gbk("，当前为加强版模式，收入较高，设置合理！");
      v.plan = gbk("分享回报计划：1000IP=100元（移动端30元），下线提成95%+推广总额6%。");
    } else {
      v.mode += gbk("，当前为一般网赚模式，广告一般，收入低！");
      v.plan = gbk("分享回报计划：1000IP=30元，下线提成95%+推广总额6%。");
    }
  } else {
    v.mode = gbk("网赚模式：关闭一切网赚，文件下载纯净无广告！");
    v.plan = gbk("分享回报计划：1000IP=0元，下线提成95%+推广总额6%。");
  }
  const std::string& stop = gbk("。");
  v.totals = gbk("总IP数量：") + between(page, "总IP数量：", "。") + stop;
  v.totals += gbk("总下载量：") + between(page, "总下载量：", "。") + stop;
  v.totals += gbk("可提现收入：") + between(page, "可提现收入：", "。") + stop;
  v.today = gbk("今天的数据：") + between(page, "<br />IP数量", "。") + gbk("。下载量：") +
            between(page, "。下载量：", "次") + gbk("次。");
  const std::string referralIps = net::replaceText(between(page, "人，总IP数量：", "。<br />"), "<br />", "");
  v.referral = gbk("下线提成数据：") + between(page, "总邀请数量：", "，") + gbk("。，总IP数量：") + referralIps;
  return v;
}

SecurityView securityView(std::string_view page, std::string_view questionMarker) {
  SecurityView v;
  if (contains(page, "还没有设置，危险！")) {
    v.reported = true;
    v.status = gbk("密保状态：还没有设置，危险！");
    return v;
  }
  // A set question is shown in its box; a page with neither is no answer.
  v.reported = !questionMarker.empty() && net::find(page, questionMarker) > 0;
  if (!v.reported) return v;
  v.questionSet = true;
  v.status = gbk("密保状态：已设置！");
  v.question = textBetween(page, questionMarker, "\"");
  return v;
}

WithdrawalView withdrawalView(std::string_view page, const WithdrawalMarkers& markers) {
  WithdrawalView v;
  v.reported = contains(page, "已提现佣金：");
  v.withdrawn = gbk("已提现佣金：") + between(page, "已提现佣金：", "<br />") + gbk("。");
  v.locked = contains(page, "已锁定");
  if (!v.locked) return v;
  v.alipay = textBetween(page, markers.alipay, "\"");
  v.holder = textBetween(page, markers.holder, "\"");
  v.email = textBetween(page, markers.email, "\"");
  v.records = cutMatches(page, markers.recordPattern, false);
  return v;
}

const std::vector<SettingsTarget>& settingsTargets() {
  using namespace app::names::main;
  static const std::vector<SettingsTarget> targets = {
      {kForcedChargeButton.name, kForcedChargeMarker.name, "<"},
      {kHiddenSwitch1.name, kHiddenSwitch1Marker.name, "<"},
      {kHiddenSwitch2.name, kHiddenSwitch2Marker.name, "<"},
      {kShowNameLabel.name, kShowNameLabelMarker.name, "<"},
      {kShowNameButton.name, kShowNameMarker.name, "<"},
      {kShowDownloadsLabel.name, kShowDownloadsLabelMarker.name, "<"},
      {kShowDownloadsButton.name, kShowDownloadsMarker.name, "<"},
      {kAccessPasswordBox.name, kAccessPasswordMarker.name, "\""},
      {kAccessNoticeBox.name, kAccessNoticeMarker.name, "<"},
  };
  return targets;
}

SettingsView settingsView(std::string_view page, const std::vector<std::string>& markers) {
  SettingsView v;
  v.reported = net::find(page, "selected [") > 0 && net::find(page, "selected]") > 0;
  v.modeIndex = static_cast<int>(net::textToInt(textBetween(page, "selected [", "]"))) - 1;
  v.permissionIndex = static_cast<int>(net::textToInt(textBetween(page, "selected]", "["))) - 1;
  const auto& targets = settingsTargets();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string marker = i < markers.size() ? markers[i] : std::string();
    v.reported = v.reported && !marker.empty() && net::find(page, marker) > 0;
    v.texts.emplace_back(targets[i].control, textBetween(page, marker, targets[i].rightEnd));
  }
  return v;
}

std::string SettingsView::textOf(std::string_view control) const {
  for (const auto& [name, text] : texts)
    if (name == control) return text;
  return {};
}

std::vector<std::string> recordRows(std::string_view page, std::string_view rowPattern) {
  return cutMatches(page, rowPattern, true);
}

long long recordPageNumber(std::string_view box) { return net::textToInt(box); }

long long previousRecordPage(long long page) { return page == 0 ? 0 : page - 1; }

long long nextRecordPage(long long page) { return page + 1; }

}  // namespace tarnwick::settings
