#include "browser/qt/folder_window.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <memory>
#include <set>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/folder_tree.h"
#include "browser/folders.h"
#include "browser/operations.h"
#include "browser/qt/folder_list.h"
#include "browser/qt/widgets.h"
#include "browser/scrape.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::browser::qt {

using namespace app::names::createFolder;

namespace {

// Fills the parent picker 组合框2 for the folder picked in 组合框1: every folder
// except the picked one and those below it, its current parent preselected.
void fillParentPicker(QWidget* window) {
  auto* picker = control<QComboBox>(window, kFolderPicker);
  auto* parents = control<QComboBox>(window, kParentPicker);
  if (!picker || !parents) return;
  const int picked = picker->currentIndex();
  if (picked < 0) return;
  const std::int32_t id = comboId(picker, picked);
  const std::string name = app::toGbk(picker->itemText(picked));
  app::setControlText(window, kFolderIdLabel, net::numberToText(id));
  app::setControlText(window, kNameBox, name);
  app::Session::instance().setCurrentFolderId(id);
  app::setControlText(app::mainWindow(), app::names::main::kChosenFolderLabel,
                      app::toGbk(chosenFolderCaption(app::fromGbk(name))));
  const std::string pattern = app::controlText(window, kFolderPattern);
  const std::string account = app::Session::instance().accountName();
  // Until the refill arrives 组合框2 still offers the previous folder's
  // parents: neither it nor 修改 may be used meanwhile.
  auto* modify = control<QPushButton>(window, kModifyButton);
  parents->setEnabled(false);
  if (modify) modify->setEnabled(false);
  struct Found {
    std::string parent;
    std::vector<FolderEntry> folders;
  };
  auto found = std::make_shared<Found>();
  runThenOnGui(
      [=] {
        const std::string host = net::hosts().mainHost;
        found->parent = parentIdText(net::fetchUrl(folderPropertiesUrl(host, id, account)));
        found->folders = folderTreeFromPage(net::fetchUrl(folderListUrl(host, account, false)), pattern);
      },
      parents,
      [=] {
        if (picker->currentIndex() != picked) return;  // another folder was picked meanwhile
        parents->setEnabled(true);
        if (modify) modify->setEnabled(true);
        const QSignalBlocker block(parents);
        parents->clear();
        // A folder is never its own parent, nor one of its subfolders' (the
        // service refuses that move).
        std::set<std::int32_t> refused{id};
        if (id != kDefaultFolderId)
          for (const auto& below : subFolders(found->folders, id)) refused.insert(below.folder.id);
        for (const auto& f : found->folders)
          if (!refused.count(f.id)) parents->addItem(app::fromGbk(f.name), f.id);
        parents->setCurrentIndex(parents->count() > 0 ? 0 : -1);
        for (int i = 0; i < parents->count(); ++i)
          if (net::numberToText(comboId(parents, i)) == found->parent) parents->setCurrentIndex(i);
      });
}

// 组合框1 refilled from the folder list, the selection kept by index.
void refillPicker(QWidget* window) {
  auto* picker = control<QComboBox>(window, kFolderPicker);
  QListWidget* folders = browserControls().folders;
  if (!picker || !folders) return;
  {
    const QSignalBlocker block(picker);
    picker->clear();
  }
  copyFolderItems(picker, folders->currentRow());
  fillParentPicker(window);
}

void createFolder(QWidget* window, QPushButton* button) {
  auto* picker = control<QComboBox>(window, kFolderPicker);
  const std::int32_t parent = comboId(picker, picker ? picker->currentIndex() : -1);
  app::Session::instance().setCurrentFolderId(parent);
  const auto request = createFolderRequest(net::hosts().mainHost, app::Session::instance().accountName(),
                                           app::controlText(window, kNewFolderBox), parent);
  button->setEnabled(false);
  sendAsync(request, window, [window, button](const std::string& reply) {
    button->setEnabled(true);
    if (!createFolderSucceeded(reply)) return app::showMessage(QStringLiteral("创建失败！"));
    app::showMessage(QStringLiteral("创建成功！"));
    loadFolders();
    window->close();
  });
}

void modifyFolder(QWidget* window, QPushButton* button) {
  auto* picker = control<QComboBox>(window, kFolderPicker);
  auto* parents = control<QComboBox>(window, kParentPicker);
  if (!picker || !parents) return;
  const std::int32_t id = comboId(picker, picker->currentIndex());
  app::Session::instance().setCurrentFolderId(id);
  const std::int32_t parent = comboId(parents, parents->currentIndex());
  const std::string name = app::controlText(window, kNameBox);
  const std::string refusal = modifyFolderRefusal(id, parent, name, app::toGbk(parents->currentText()));
  if (!refusal.empty()) return app::showMessage(app::fromGbk(refusal));
  button->setEnabled(false);
  sendAsync(modifyFolderRequest(net::hosts().mainHost, app::Session::instance().accountName(), id, name, parent),
            window, [button](const std::string& reply) {
              button->setEnabled(true);
              app::showMessage(replyHasOne(reply) ? QStringLiteral("修改成功！") : QStringLiteral("修改失败！"));
            });
}

void deleteFolderInWindow(QWidget* window, QPushButton* button) {
  auto* picker = control<QComboBox>(window, kFolderPicker);
  const std::int32_t id = comboId(picker, picker ? picker->currentIndex() : -1);
  app::Session::instance().setCurrentFolderId(id);
  if (const auto refusal = deleteFolderRefusal(id); !refusal.empty()) return app::showMessage(app::fromGbk(refusal));
  button->setEnabled(false);
  sendAsync(deleteFolderRequest(net::hosts().mainHost, app::Session::instance().accountName(), id), window,
            [window, button](const std::string& reply) {
              if (!replyHasOne(reply)) {
                button->setEnabled(true);
                return app::showMessage(kFolderNotEmptyText);
              }
              // The picker is refilled from the reloaded list, so the deleted
              // folder is no longer offered and nothing appears twice.
              QPointer<QWidget> alive(window);
              loadFolders([alive, button] {
                if (!alive) return;
                refillPicker(alive);
                button->setEnabled(true);
              });
              app::showMessage(kFolderDeletedText);
            });
}

}  // namespace

QString chosenFolderCaption(const QString& folderName) { return QStringLiteral("上传文件夹：") + folderName; }

void installCreateFolderWindow(QWidget* window) {

  auto* picker = control<QComboBox>(window, kFolderPicker);
  QListWidget* folders = browserControls().folders;
  if (!picker || !folders) return;
  copyFolderItems(picker, folders->currentRow());
  QObject::connect(picker, &QComboBox::currentIndexChanged, picker, [window](int) { fillParentPicker(window); });
  fillParentPicker(window);
  auto bind = [window](const app::ControlName& name, void (*handler)(QWidget*, QPushButton*)) {
    if (auto* b = control<QPushButton>(window, name))
      QObject::connect(b, &QPushButton::clicked, b, [window, b, handler] { handler(window, b); });
  };
  bind(kCreateButton, createFolder);
  bind(kModifyButton, modifyFolder);
  bind(kDeleteButton, deleteFolderInWindow);
}

}  // namespace tarnwick::browser::qt
