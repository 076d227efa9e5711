#include "browser/qt/folder_list.h"

#include <QGuiApplication>
#include <QSignalBlocker>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/folders.h"
#include "browser/listing.h"
#include "browser/qt/file_list.h"
#include "browser/qt/widgets.h"
#include "browser/scrape.h"
#include "browser/state.h"
#include "net/hosts.h"

namespace tarnwick::browser::qt {

using namespace app::names::main;

namespace {

// GUI thread: refill both folder lists, choose the selection, list its files.
void showFolders(const std::vector<FolderEntry>& found, const std::string& userId,
                 const std::function<void()>& onLoaded) {
  QWidget* main = app::mainWindow();
  QListWidget* names = browserControls().folders;
  QTreeWidget* view = browserControls().folderView;
  if (!names || !view) return;
  auto& state = BrowserState::instance();
  std::vector<FolderEntry> entries = found;
  const bool none = entries.empty();
  if (none) entries.push_back({kDefaultFolderId, defaultFolderName()});
  {
    const QSignalBlocker blockNames(names), blockView(view);
    names->clear();
    view->clear();
    for (const auto& e : entries) {
      auto* item = new QListWidgetItem(app::fromGbk(e.name), names);
      item->setData(kIdRole, e.id);
      auto* row = new QTreeWidgetItem(view, QStringList{app::fromGbk(e.name)});
      row->setData(0, kIdRole, e.id);
    }
    int index = 0;
    if (!none) {
      // The first load selects the last folder; every later one the saved index
      // (kept inside the list when folders were deleted meanwhile).
      index = state.foldersLoadedOnce.exchange(true) ? state.savedFolderIndex.load()
                                                     : static_cast<int>(entries.size()) - 1;
      index = std::clamp(index, 0, static_cast<int>(entries.size()) - 1);
    }
    names->setCurrentRow(index);
    view->setCurrentItem(view->topLevelItem(index));
  }
  if (!none) {
    app::appendLog(kLogBox, gbk("获取文件夹完毕。\r\n"));
    app::setControlText(main, kInvitationBox, invitationText(net::hosts().mainHost, userId));
  }
  selectFolder(FolderSource::FolderListBox);
  if (onLoaded) onLoaded();
}

}  // namespace

void loadFolders(std::function<void()> onLoaded) {
  QWidget* main = app::mainWindow();
  if (!main) return;
  const auto session = app::Session::instance().get();
  const std::string pattern = app::controlText(main, kFolderPattern);
  app::WindowJobs::of(main)->request(
      net::JobRequest::fetch(folderListUrl(net::hosts().mainHost, session.accountName, true)), nullptr,
      [pattern, userId = session.userId, onLoaded = std::move(onLoaded)](const net::RequestJobResult& r) {
        showFolders(extractFolderEntries(r.reply, pattern), userId, onLoaded);
      });
}

void selectFolder(FolderSource source) {
  QWidget* main = app::mainWindow();
  QListWidget* names = browserControls().folders;
  QTreeWidget* view = browserControls().folderView;
  if (!names || !view) return;
  {
    const QSignalBlocker blockNames(names), blockView(view);
    if (source == FolderSource::FolderView)
      names->setCurrentRow(view->indexOfTopLevelItem(view->currentItem()));
    else
      view->setCurrentItem(view->topLevelItem(names->currentRow()));
  }
  const int index = names->currentRow();
  if (index < 0) return;
  auto& state = BrowserState::instance();
  state.savedFolderIndex = index;
  state.rebuildPageList = true;
  const std::string url =
      listingUrl(net::hosts().mainHost, app::Session::instance().userId(), itemId(names->item(index)));
  // The hidden paging reads the listing address from 编辑框3.
  app::setControlText(main, kListingAddress, url);
  listFiles(url);
  app::stampLogTime();
}

void installFolderList(QWidget* main) {
  QListWidget* names = browserControls().folders;
  QTreeWidget* view = browserControls().folderView;
  if (!names || !view) return;
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(names, &QListWidget::currentRowChanged, names, [](int row) {
    if (row >= 0) selectFolder(FolderSource::FolderListBox);
  });
  QObject::connect(view, &QTreeWidget::itemPressed, view, [](QTreeWidgetItem*, int) {
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) selectFolder(FolderSource::FolderView);
  });
  // The folder menu always acts on the selected folder, not on the row under the mouse.
  popupMenuOn(view, kFolderMenu, false, [view, names] {
    const QSignalBlocker block(view);
    view->setCurrentItem(view->topLevelItem(names->currentRow()));
    return true;
  });
  popupMenuOn(names, kFolderMenu);
  onMenu(main, kRefreshFolders, [] { loadFolders(); });
  app::setPageLoader(kFilesPage.title, [] { loadFolders(); });

}

}  // namespace tarnwick::browser::qt
