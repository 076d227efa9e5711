#pragma once
// Helpers of the browser's Qt half: ids kept on list items, the controls of
// the page 文件, and requests run as jobs of a window with the reply handed
// to the GUI.

#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "app/qt/bindings.h"
#include "browser/operations.h"

namespace tarnwick::browser::qt {

// The id of a folder, file or search hit is the item's data under this role
// (list boxes, combo boxes, and column 0 of list views).
inline constexpr int kIdRole = Qt::UserRole;
// A folder row's depth in 超级列表框5 (1 = top level, 0 = not known), which its
// delegate draws as indentation; the row's text stays the folder's name.
inline constexpr int kLevelRole = Qt::UserRole + 1;

// What a folder deletion tells the user, from the folder menu or the window 创建文件夹.
inline constexpr const char* kFolderNotEmptyText = "该目录存在子目录，无法删除！";
inline constexpr const char* kFolderDeletedText = "删除成功！";

std::int32_t itemId(const QListWidgetItem* item);
std::int32_t itemId(const QTreeWidgetItem* item);
std::int32_t comboId(const QComboBox* combo, int index);

// The main window's controls of the page "文件", resolved once per main
// window from the catalogue (a missing one is reported: app::control).

// GUI thread.
struct BrowserControls {
  QListWidget* folders = nullptr;     // 列表框2: folder names, ids as item data
  QTreeWidget* folderView = nullptr;  // 超级列表框5: the same folders, same rows
  QTreeWidget* files = nullptr;       // 超级列表框1: file rows
  QListWidget* fileNames = nullptr;   // 列表框3: file names, same rows
  QComboBox* pages = nullptr;         // 组合框1: the page selector
};
const BrowserControls& browserControls();

using app::control;
using app::menuAction;
using app::onClick;
using app::onMenu;
using app::popupMenuOn;

// Copies every item (text and id) of the folder list 列表框2 into combo, in
// order, and selects index select (clamped; -1 = none).
void copyFolderItems(QComboBox* combo, int select);

// Sends request as a job of guard (POST through httpRequestText, GET through
// fetchUrl; app::WindowJobs) and runs then(reply) on the GUI thread, unless
// guard is gone. Destroying guard cancels the request.
void sendAsync(const Request& request, QPointer<QObject> guard, std::function<void(const std::string&)> then);

// Runs job on the worker pool as a job of guard, then done on the GUI thread
// (unless guard is gone).
void runThenOnGui(std::function<void()> job, QPointer<QObject> guard, std::function<void()> done);

}  // namespace tarnwick::browser::qt
