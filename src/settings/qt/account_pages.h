#pragma once
// The account pages of the main window: each change of 选择夹1 loads the
// state of the page now shown (个人, 下线, 安全, 提现, 设置, 反馈, 记录) as a
// job of the main window and writes it into the page's controls, only while
// that page is still the one shown. A fetch that failed, or a page that held
// no state of the member, changes nothing on the page: it is logged in
// 日志编辑框 and said on the page itself (page_state.h), until the next good
// load.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/account_pages.h"

class QAbstractButton;
class QComboBox;
class QListWidget;
class QTabWidget;
class QWidget;

namespace tarnwick::app {
class WebBrowser;
}

namespace tarnwick::settings::qt {

// The main window's controls that the account pages and operations act on
// beyond their text, resolved once per main window (a missing one asserts).
struct AccountControls {
  QTabWidget* tabs = nullptr;                // 选择夹1: the pages
  app::WebBrowser* personal = nullptr;       // 超文本浏览框2: the personal page
  QWidget* vipButton = nullptr;              // 按钮7: 开通VIP, shown when offered
  QListWidget* records = nullptr;            // 列表框5: the records page
  QComboBox* mode = nullptr;                 // 组合框2: earning mode
  QComboBox* permission = nullptr;           // 组合框7: download permission
};
const AccountControls& accountControls();

// Registers the page loaders and the main window's page buttons.
void registerAccountPages();

// The records of the last withdrawal page load (GUI thread). Every page
// change empties them; a load of 提现 replaces them.
const std::vector<std::string>& withdrawalRecords();

// Loads the settings page again after a change, as a job of the main window
// with control disabled, and shows it as a load of 设置 does (whether or not
// 设置 is still shown); then done tells what the service reported.
struct SettingsReload {
  bool replied = false;               // a reply arrived
  std::optional<SettingsView> state;  // the settings it held (none for a refusal)
};
void reloadSettings(QAbstractButton* control, std::function<void(const SettingsReload&)> done);

// Fetches records page 编辑框43 into 列表框5.
void loadRecordPage();

}  // namespace tarnwick::settings::qt
