#include "transfer/qt/upload_target.h"

#include <QLabel>
#include <QListWidget>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/folders.h"
#include "browser/qt/folder_window.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/upload_requests.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

void setTargetLabel(QWidget* main, const QString& folderName) {
  if (auto* label = app::control<QLabel>(main, kUploadTargetLabel))
    label->setText(QStringLiteral("上传至：") + folderName);
}

}  // namespace

void showUploadTarget(QWidget* main, std::int32_t folderId) {
  if (QListWidget* folders = app::control<QListWidget>(main, kFolderNames))
    for (int i = 0; i < folders->count(); ++i)
      if (browser::qt::itemId(folders->item(i)) == folderId) return setTargetLabel(main, folders->item(i)->text());
  if (folderId == browser::kDefaultFolderId) setTargetLabel(main, app::fromGbk(browser::defaultFolderName()));
}

void uploadHere(QWidget* main, bool fromFileList) {
  QListWidget* folders = app::control<QListWidget>(main, kFolderNames);
  QListWidgetItem* folder = folders ? folders->currentItem() : nullptr;
  if (!folder) return;
  if (fromFileList) browser::BrowserState::instance().savedFolderIndex = folders->currentRow();
  app::showPage(main, kUploadPage);
  const std::int32_t id = browser::qt::itemId(folder);
  app::navigateBrowser(main, kWebUploadBrowser,
                       app::fromGbk(webUploadUrl(net::hosts().webUploadHost,
                                                 app::Session::instance().accountName(), id)));
  app::Session::instance().setCurrentFolderId(id);
  setTargetLabel(main, folder->text());
}

void pickUploadFolder(QWidget* window) {
  auto* picker = app::control<QComboBox>(window, app::names::createFolder::kFolderPicker);
  const int index = picker ? picker->currentIndex() : -1;
  if (index < 0) return;
  const std::int32_t id = browser::qt::comboId(picker, index);
  app::setControlText(window, app::names::createFolder::kFolderIdLabel, net::numberToText(id));
  app::Session::instance().setCurrentFolderId(id);
  QWidget* main = app::mainWindow();
  if (auto* label = app::control<QLabel>(main, kChosenFolderLabel))
    label->setText(browser::qt::chosenFolderCaption(picker->itemText(index)));
  // The client upload goes there too, so its line says so.
  setTargetLabel(main, picker->itemText(index));
  window->close();
}

void showFilesPage(QWidget* main) {
  if (app::pageShown(main, kFilesPage))
    app::refreshPage(kFilesPage.title);
  else
    app::showPage(main, kFilesPage);  // the page change loads it

}

}  // namespace tarnwick::transfer::qt
