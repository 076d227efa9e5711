#include "browser/qt/folder_list.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/folder_tree.h"
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

// Pixels of indentation per level below the top level.
constexpr int kIndentPerLevel = 16;

int indentOf(const QModelIndex& index) {
  return index.column() == 0 ? std::max(0, index.data(kLevelRole).toInt() - 1) * kIndentPerLevel : 0;
}

// Draws each folder row of 超级列表框5 indented by its level: the selection and
// hover background span the whole row, the text starts further right. The
// items stay flat rows (other code reads them by index and text).
class FolderIndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int indent = indentOf(index);
    if (indent == 0) return QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem whole(option);
    initStyleOption(&whole, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &whole, painter, widget);
    QStyleOptionViewItem shifted(option);
    shifted.rect.setLeft(std::min(shifted.rect.right(), shifted.rect.left() + indent));
    QStyledItemDelegate::paint(painter, shifted, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += indentOf(index);
    return size;
  }
};

// GUI thread: refill both folder lists, choose the selection, list its files.
// none: the page listed no folder (a failed load); entries then holds the
// default folder alone.
void showFolders(const std::vector<FolderEntry>& entries, bool none, const std::string& userId,
                 const std::function<void()>& onLoaded) {
  QWidget* main = app::mainWindow();
  QListWidget* names = browserControls().folders;
  QTreeWidget* view = browserControls().folderView;
  if (!names || !view || entries.empty()) return;
  auto& state = BrowserState::instance();
  {
    const QSignalBlocker blockNames(names), blockView(view);
    names->clear();
    view->clear();
    for (const auto& e : entries) {
      auto* item = new QListWidgetItem(app::fromGbk(e.name), names);
      item->setData(kIdRole, e.id);
      auto* row = new QTreeWidgetItem(view, QStringList{app::fromGbk(e.name)});
      row->setData(0, kIdRole, e.id);
      row->setData(0, kLevelRole, e.level);
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
        std::vector<FolderEntry> entries = folderEntriesWithLevels(r.reply, pattern);
        const bool none = entries.empty();
        showFolders(folderTreeFromEntries(std::move(entries)), none, userId, onLoaded);
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
  view->setItemDelegateForColumn(0, new FolderIndentDelegate(view));
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
