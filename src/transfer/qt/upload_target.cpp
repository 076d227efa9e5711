#include "transfer/qt/upload_target.h"

#include <QLabel>
#include <QListWidget>
#include <QTabWidget>

#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/folders.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/upload_requests.h"

namespace tarnwick::transfer::qt {

namespace {

void setTargetLabel(QWidget* main, const QString& folderName) {
  if (auto* label = app::control<QLabel>(main, QStringLiteral("标签48")))
    label->setText(QStringLiteral("上传至：") + folderName);
}

}  // namespace

void showUploadTarget(QWidget* main, std::int32_t folderId) {
  if (QListWidget* folders = browser::qt::listBox(main, "列表框2"))
    for (int i = 0; i < folders->count(); ++i)
      if (browser::qt::itemId(folders->item(i)) == folderId) return setTargetLabel(main, folders->item(i)->text());
  if (folderId == browser::kDefaultFolderId) setTargetLabel(main, app::fromGbk(browser::defaultFolderName()));
}

void uploadHere(QWidget* main, bool fromFileList) {
  QListWidget* folders = browser::qt::listBox(main, "列表框2");
  QListWidgetItem* folder = folders ? folders->currentItem() : nullptr;
  if (!folder) return;
  if (fromFileList) browser::BrowserState::instance().savedFolderIndex = folders->currentRow();
  if (auto* tabs = app::control<QTabWidget>(main, QStringLiteral("选择夹1"))) tabs->setCurrentIndex(0);
  const std::int32_t id = browser::qt::itemId(folder);
  app::navigateBrowser(main, QStringLiteral("超文本浏览框1"),
                       app::fromGbk(webUploadUrl(net::hosts().webUploadHost,
                                                 app::Session::instance().accountName(), id)));
  app::Session::instance().setCurrentFolderId(id);
  setTargetLabel(main, folder->text());
}

void pickUploadFolder(QWidget* window) {
  QComboBox* picker = browser::qt::comboBox(window, "组合框1");
  const int index = picker ? picker->currentIndex() : -1;
  if (index < 0) return;
  const std::int32_t id = browser::qt::comboId(picker, index);
  app::setControlText(window, QStringLiteral("标签2"), net::numberToText(id));
  app::Session::instance().setCurrentFolderId(id);
  QWidget* main = app::mainWindow();
  if (auto* label = app::control<QLabel>(main, QStringLiteral("标签8")))
    label->setText(QStringLiteral("上传文件夹：") + picker->itemText(index));
  // The client upload goes there too, so its line says so.
  setTargetLabel(main, picker->itemText(index));
  window->close();
}

void showFilesPage(QWidget* main) {
  auto* tabs = app::control<QTabWidget>(main, QStringLiteral("选择夹1"));
  if (!tabs) return;
  if (tabs->currentIndex() == 1)
    app::refreshPage(tabs->tabText(1));
  else
    tabs->setCurrentIndex(1);  // the page change loads it
}

}  // namespace tarnwick::transfer::qt
