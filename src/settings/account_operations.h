#pragma once
// The operations of the account pages (设置, 安全, 提现, 反馈) and of the
// 开通VIP window, as rows of the form and switch tables, plus the two
// requests that are not forms: mode and permission, and the announcements.
// Effects named here are carried out by the main window's handlers.

#include <string>
#include <string_view>
#include <vector>

#include "app/names/name.h"
#include "settings/account_pages.h"
#include "settings/form_row.h"
#include "settings/toggle_runner.h"

namespace tarnwick::settings {

// Effects.
inline constexpr const char* kStoreAccessPassword = "storeAccessPassword";  // 编辑框24 -> accessPassword
inline constexpr const char* kRefreshAndClose = "refreshAndClose";          // reload the page, close 开通VIP
inline constexpr const char* kClearRecharge = "clearRecharge";              // empty 编辑框44
inline constexpr const char* kClearFeedback = "clearFeedback";              // empty 编辑框50 and 编辑框51

// The form rows with the button that sends each (its name carries the
// window it lives on).
struct BoundForm {
  app::ControlName button;
  const FormDef* form;
};
const std::vector<BoundForm>& accountForms();

// The five switches of the settings page.
const std::vector<ToggleDef>& accountToggles();

// 按钮22: GET MainHost + "/post/szx.php?zh=" + account + "&lx=" + (mode + 1)
// + "&szqx=" + permission, from the combo boxes' selection indexes.
std::string modePermissionUrl(const std::string& mainHost, const std::string& account, int modeIndex,
                              int permissionIndex);
// A reply holding "5" is the refusal of a VIP-only mode.
bool isVipRefusal(std::string_view reply);

// After a switch or a mode change the settings page is read again, and the
// change counts only when the service reports it: the switch's button shows
// the caption for the value sent, or the selections are those sent. A page
// that reported no settings at all confirms nothing.
bool toggleReached(const ToggleDef& def, const ToggleTexts& asked, const SettingsView& reported);
bool modePermissionReached(int modeIndex, int permissionIndex, const SettingsView& reported);

// The announcement list: MainHost + "/guanli.php".
std::string announcementsUrl(const std::string& mainHost);
// Markup removed in six passes: declarations, comments, scripts and styles
// with their content (across lines), every other tag, then entities of up
// to five characters. Line breaks outside markup stay.
std::string stripHtml(std::string_view text);

}  // namespace tarnwick::settings
