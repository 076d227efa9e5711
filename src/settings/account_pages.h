#pragma once
// The account pages of the main window (个人, 安全, 提现, 设置, 记录): their
// addresses and what each page shows, cut out of the page the service
// returns. Every function here is pure; the Qt half fetches the page, calls
// the matching view function and writes the controls.
//
// All texts are GBK. Markers that live in hidden controls of the main window
// are passed in by the caller, so a page is cut exactly as the window's
// design says.
//
// Each view tells whether the page held the member's state at all
// (`reported`): a refusal ("帐号不存在。" for a session that a later login
// replaced) or an error page holds none of the texts the view is cut from,
// and is shown as a failed load rather than as empty or default settings.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::settings {

// Account pages by suffix: MainHost + "/get/" + name + ".php?pid=" + account.
std::string accountPageUrl(const std::string& mainHost, std::string_view name,
                           const std::string& account);
// MainHost + "/sytj.php?yms=" + page.
std::string recordPageUrl(const std::string& mainHost, long long page);

// 个人: the statistics page and the texts of 标签12..标签16.
struct PersonalView {
  bool reported = false;  // the page holds the totals
  bool offerVip = false;  // not a VIP member ("×"): browser height 272, 按钮7 "开通VIP" shown
  std::string mode;     // 标签12
  std::string plan;     // 标签13
  std::string totals;   // 标签14
  std::string today;    // 标签15
  std::string referral; // 标签16
};
PersonalView personalView(std::string_view page);

// 安全: whether a security question is set, and which.
struct SecurityView {
  bool reported = false;  // the page tells whether a question is set
  bool questionSet = false;
  std::string status;    // 标签21
  std::string question;  // 编辑框6 (when set)
};
SecurityView securityView(std::string_view page, std::string_view questionMarker);

// 提现: the withdrawn total, and for a locked account its payout details and
// records.
struct WithdrawalMarkers {
  std::string alipay;         // 编辑框14
  std::string holder;         // 编辑框15
  std::string email;          // 编辑框16
  std::string recordPattern;  // 编辑框17
};
struct WithdrawalView {
  bool reported = false;  // the page holds the withdrawn total
  std::string withdrawn;  // 标签28
  bool locked = false;
  std::string alipay, holder, email;
  std::vector<std::string> records;
};
WithdrawalView withdrawalView(std::string_view page, const WithdrawalMarkers& markers);

// 设置: the two selections and the marker-driven captions and contents.
struct SettingsTarget {
  std::string control;     // catalogue name of the control written
  std::string markerBox;   // hidden box holding the left marker
  std::string rightEnd;    // right marker
};
// The nine targets in the order they are written.
const std::vector<SettingsTarget>& settingsTargets();
struct SettingsView {
  bool reported = false;     // both selections and every marker are on the page
  int modeIndex = -1;        // 组合框2 (-1: no selection)
  int permissionIndex = -1;  // 组合框7
  // control name -> text, in settingsTargets() order
  std::vector<std::pair<std::string, std::string>> texts;
  // The text for control, "" when the view has none.
  std::string textOf(std::string_view control) const;
};
// markers: the content of each target's marker box, in settingsTargets() order.
SettingsView settingsView(std::string_view page, const std::vector<std::string>& markers);

// 记录: the rows of one records page.
std::vector<std::string> recordRows(std::string_view page, std::string_view rowPattern);

// Page arithmetic of the records buttons: the page box as an integer (empty
// or not a number: 0), and the pages 上一页 / 下一页 go to. Page 0 stays 0.
long long recordPageNumber(std::string_view box);
long long previousRecordPage(long long page);
long long nextRecordPage(long long page);

}  // namespace tarnwick::settings
