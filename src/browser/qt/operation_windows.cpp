#include "browser/qt/operation_windows.h"

#include <QPushButton>
#include <QTimer>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/listing.h"
#include "browser/operations.h"
#include "browser/qt/file_list.h"
#include "browser/qt/folder_list.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/text.h"

namespace tarnwick::browser::qt {

namespace names = app::names;

namespace {

const QString kLoginLost = QStringLiteral("创建失败，可能登录已经失效。");

QListWidget* folderList() { return browserControls().folders; }

std::string account() { return app::Session::instance().accountName(); }

QPushButton* button(QWidget* window, const app::ControlName& name) { return control<QPushButton>(window, name); }

// Ids of the selected rows of the file list, in row order, each followed by ",".
void collectSelectedFiles() {
  std::vector<std::int32_t> ids;
  if (QTreeWidget* files = browserControls().files)
    for (int i = 0; i < files->topLevelItemCount(); ++i)
      if (files->topLevelItem(i)->isSelected()) ids.push_back(itemId(files->topLevelItem(i)));
  BrowserState::instance().setSelectedFileIds(selectedFileIds(ids));
}

void deleteFolderFromMenu() {
  // A second trigger while the question is open or the request runs would
  // delete the same folder again: it is ignored until the first has ended.
  static bool pending = false;
  if (pending) return;
  QListWidget* folders = folderList();
  if (!folders || folders->currentRow() < 0) return;
  pending = true;
  if (!app::askYesNo(QStringLiteral("是否删除该文件夹？"))) {
    pending = false;
    return;
  }
  const std::int32_t id = itemId(folders->currentItem());
  app::Session::instance().setCurrentFolderId(id);
  if (const auto refusal = deleteFolderRefusal(id); !refusal.empty()) {
    pending = false;
    return app::showMessage(app::fromGbk(refusal));
  }
  sendAsync(deleteFolderRequest(net::hosts().mainHost, account(), id), app::mainWindow(),
            [](const std::string& reply) {
              pending = false;
              if (!replyHasOne(reply)) return app::showMessage(kFolderNotEmptyText);
              loadFolders();
              app::showMessage(kFolderDeletedText);
            });
}

void openFileOperation(std::int32_t mode) {
  BrowserState::instance().fileOpMode = mode;
  collectSelectedFiles();
  app::openWindow(names::fileOperation::kTitle);
}

void openLinkFileWindow() {
  QListWidget* folders = folderList();
  BrowserState::instance().setLinkFolderId(
      net::numberToText(folders && folders->currentItem() ? itemId(folders->currentItem()) : 0));
  app::openWindow(names::linkFile::kTitle);
}

}  // namespace

void installOperationMenus(QWidget* main) {
  using namespace names::main;
  auto openCreateWindow = [] { app::openWindowModal(names::createFolder::kTitle); };
  onMenu(main, kCreateFolder, openCreateWindow);
  onClick(main, kCreateFolderButton, openCreateWindow);
  onMenu(main, kDeleteFolder, deleteFolderFromMenu);
  onMenu(main, kRenameFolder, [] {
    if (QListWidget* folders = folderList()) BrowserState::instance().savedFolderIndex = folders->currentRow();
    app::openWindow(names::renameFolder::kTitle);
  });
  onMenu(main, kCreateLinkFileInFolder, openLinkFileWindow);
  onMenu(main, kCreateLinkFile, openLinkFileWindow);
  onMenu(main, kDeleteFiles, [] { openFileOperation(1); });
  onMenu(main, kMoveFiles, [] { openFileOperation(2); });
  onClick(main, kMoveFilesButton, collectSelectedFiles);
}

void installRenameWindow(QWidget* window) {
  using namespace names::renameFolder;
  auto* picker = control<QComboBox>(window, kFolderPicker);
  QListWidget* folders = folderList();
  QPushButton* reset = button(window, kResetButton);
  if (!picker || !folders || !reset) return;
  copyFolderItems(picker, folders->currentRow());
  QObject::connect(reset, &QPushButton::clicked, reset, [window, picker, reset] {
    const std::int32_t id = comboId(picker, picker->currentIndex());
    reset->setEnabled(false);
    sendAsync(renameFolderRequest(net::hosts().mainHost, account(), id,
                                  app::controlText(window, kNameBox)),
              window, [window, reset](const std::string& reply) {
                reset->setEnabled(true);
                if (!replyHasOne(reply)) return app::showMessage(kLoginLost);
                app::showMessage(QStringLiteral("重置成功"));
                loadFolders();
                window->close();
              });
  });
}

void installFileOperationWindow(QWidget* window) {
  using namespace names::fileOperation;
  auto* target = control<QComboBox>(window, kTargetPicker);
  QPushButton* move = button(window, kMoveButton);
  QPushButton* remove = button(window, kDeleteButton);
  if (!target || !move || !remove) return;
  copyFolderItems(target, 0);
  const bool moving = BrowserState::instance().fileOpMode == 2;
  target->setEnabled(moving);
  move->setEnabled(moving);
  remove->setEnabled(!moving);
  QObject::connect(move, &QPushButton::clicked, move, [window, target, move] {
    const auto& state = BrowserState::instance();
    move->setEnabled(false);
    const int index = target->currentIndex();
    sendAsync(moveFilesRequest(net::hosts().mainHost, account(), state.selectedFileIds(),
                               comboId(target, index)),
              window, [window, index](const std::string&) {
                BrowserState::instance().savedFolderIndex = index;
                loadFolders();
                window->close();
              });
  });
  QObject::connect(remove, &QPushButton::clicked, remove, [window, remove] {
    auto& state = BrowserState::instance();
    remove->setEnabled(false);
    sendAsync(deleteFilesRequest(net::hosts().mainHost, account(), state.selectedFileIds(),
                                 state.savedFolderIndex),
              window, [window, remove](const std::string&) {
                loadFolders();
                remove->setEnabled(true);
                window->close();
              });
  });
}

void installLinkFileWindow(QWidget* window) {
  using namespace names::linkFile;
  QPushButton* create = button(window, kCreateButton);
  if (!create) return;
  QObject::connect(create, &QPushButton::clicked, create, [window, create] {
    create->setEnabled(false);
    sendAsync(createLinkFileRequest(net::hosts().mainHost, account(), BrowserState::instance().linkFolderId(),
                                    app::controlText(window, kNameBox), app::controlText(window, kAddressBox)),
              window, [window, create](const std::string& reply) {
                create->setEnabled(true);
                if (!replyHasOne(reply)) return app::showMessage(kLoginLost);
                app::showMessage(QStringLiteral("创建成功"));
                window->close();
                BrowserState::instance().rebuildPageList = true;
                QListWidget* folders = folderList();
                const std::string url =
                    listingUrl(net::hosts().mainHost, app::Session::instance().userId(),
                               folders && folders->currentItem() ? itemId(folders->currentItem()) : 0);
                app::setControlText(app::mainWindow(), names::main::kListingAddress, url);
                listFiles(url);
              });
  });
}

}  // namespace tarnwick::browser::qt
