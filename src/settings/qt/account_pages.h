#pragma once
// The account pages of the main window: each change of 选择夹1 loads the
// state of the page now shown (个人, 下线, 安全, 提现, 设置, 反馈, 记录) off the
// GUI thread and writes it into the page's controls on the GUI thread, only
// while that page is still the one shown. A fetch that failed changes
// nothing on the page and is logged in 日志编辑框.

#include <string>
#include <vector>

class QWidget;

namespace tarnwick::settings::qt {

// Registers the page loaders and the main window's page buttons.
void registerAccountPages();

// The records of the last withdrawal page load (GUI thread). Every page
// change empties them; a load of 提现 replaces them.
const std::vector<std::string>& withdrawalRecords();

// Fetches records page 编辑框43 into 列表框5.
void loadRecordPage();

}  // namespace tarnwick::settings::qt
