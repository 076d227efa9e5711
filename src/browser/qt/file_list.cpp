#include "browser/qt/file_list.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <limits>
#include <memory>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/listing.h"
#include "browser/qt/widgets.h"
#include "browser/scrape.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::browser::qt {

using namespace app::names::main;

namespace {

struct Listing {
  std::string page;
  int pages = 0;
  std::vector<FileRow> rows;
};

void setFolderListsEnabled(bool enabled) {
  if (auto* w = browserControls().folders) w->setEnabled(enabled);
  if (auto* w = browserControls().folderView) w->setEnabled(enabled);
}

// GUI thread: shows a fetched listing and ends the listing run.
void showListing(const Listing& listing, const std::function<void()>& afterFill) {
  QWidget* main = app::mainWindow();
  auto& state = BrowserState::instance();
  app::setControlText(main, kListingPage, listing.page);
  if (state.rebuildPageList) {
    if (QComboBox* pages = browserControls().pages) {
      const QSignalBlocker block(pages);
      pages->clear();
      for (const auto& item : pageItems(listing.pages)) pages->addItem(app::fromGbk(item));
      pages->setCurrentIndex(pages->count() > 0 ? 0 : -1);
    }
  }
  QTreeWidget* view = browserControls().files;
  QListWidget* names = browserControls().fileNames;
  if (view && names) {
    view->setUpdatesEnabled(false);
    for (const auto& row : listing.rows) {
      const QString name = app::fromGbk(row.name);
      auto* nameItem = new QListWidgetItem(name, names);
      nameItem->setData(kIdRole, row.id);
      auto* item = new QTreeWidgetItem(view);
      item->setText(kFileName, name);
      item->setText(kFileSize, app::fromGbk(row.size));
      item->setText(kFileDate, app::fromGbk(row.date));
      item->setText(kFileDownloads, app::fromGbk(row.downloads));
      item->setData(0, kIdRole, row.id);

    }
    view->setUpdatesEnabled(true);
  }
  app::appendLog(kLogBox, gbk("获取指定目录文件完毕。\r\n"));
  state.endListing();
  if (app::Session::instance().get().startupLogged) app::logLine(kStatusLog, gbk("： 获取指定目录文件完毕！"));
  setFolderListsEnabled(true);
  if (auto* folders = browserControls().folders; folders && browserControls().folderView) {
    QTreeWidget* folderView = browserControls().folderView;
    const QSignalBlocker block(folderView);
    folderView->setCurrentItem(folderView->topLevelItem(folders->currentRow()));
  }
  if (afterFill) afterFill();
}

// The folder selected in 列表框2 becomes the current folder; its id.
std::int32_t currentFolderFromList() {
  const std::int32_t id = itemId(browserControls().folders->currentItem());
  app::Session::instance().setCurrentFolderId(id);
  return id;
}

void listPage(std::int32_t folderId, const std::string& page, std::function<void()> afterFill = {}) {
  const std::string url = listingUrl(net::hosts().mainHost, app::Session::instance().userId(), folderId, page);
  app::setControlText(app::mainWindow(), kListingAddress, url);
  listFiles(url, std::move(afterFill));
}

void selectPageItem(int index) {
  if (QComboBox* pages = browserControls().pages) {
    const QSignalBlocker block(pages);
    pages->setCurrentIndex(index);
  }
}

// Paging by the page selector and the visible buttons.
void installPaging(QWidget* main) {
  QComboBox* pages = browserControls().pages;
  auto button = [main](const app::ControlName& name) { return control<QPushButton>(main, name); };
  if (!pages) return;
  if (auto* first = button(kFirstPageButton))
    QObject::connect(first, &QPushButton::clicked, first, [] {
      listPage(currentFolderFromList(), "0", [] { selectPageItem(0); });
    });
  if (auto* next = button(kNextPageButton))
    QObject::connect(next, &QPushButton::clicked, next, [pages] {
      const int page = pages->currentIndex() + 1;
      if (page >= pages->count()) return;
      listPage(currentFolderFromList(), net::numberToText(page), [page] { selectPageItem(page); });
    });
  if (auto* previous = button(kPreviousPageButton))
    QObject::connect(previous, &QPushButton::clicked, previous, [pages] {
      const int page = pages->currentIndex() - 1;
      if (page < 0) return;
      listPage(currentFolderFromList(), net::numberToText(page), [page] { selectPageItem(page); });
    });
  QObject::connect(pages, &QComboBox::activated, pages, [pages](int index) {
    if (index < 0) return;
    BrowserState::instance().rebuildPageList = false;
    listPage(currentFolderFromList(), app::toGbk(pages->itemText(index)));
  });
}

// The hidden paging by a typed page number in 编辑框2.
void installTypedPaging(QWidget* main) {
  auto typed = [main] { return net::textToInt(app::controlText(main, kTypedPage)); };
  auto go = [main](std::int64_t page) {
    app::setControlText(main, kTypedPage, net::numberToText(page));
    listPage(app::Session::instance().currentFolderId(), net::numberToText(page));
  };
  auto button = [main](const app::ControlName& name) { return control<QPushButton>(main, name); };
  if (auto* b = button(kTypedPreviousButton))
    QObject::connect(b, &QPushButton::clicked, b, [typed, go] {
      if (const auto n = typed(); n > 0) go(n - 1);
    });
  if (auto* b = button(kTypedNextButton))
    QObject::connect(b, &QPushButton::clicked, b, [typed, go] { go(typed() + 1); });
  if (auto* b = button(kTypedGoButton))
    QObject::connect(b, &QPushButton::clicked, b, [typed] {
      listPage(app::Session::instance().currentFolderId(), net::numberToText(typed()));
    });
}

void searchFiles(QWidget* main) {
  auto* start = app::control<QPushButton>(main, kSearchButton);
  auto* hitsBox = control<QListWidget>(main, kSearchHits);
  auto* pages = control<QComboBox>(main, kSearchHitPages);
  auto* kindBox = control<QComboBox>(main, kSearchKindSelector);
  if (!start || !hitsBox || !pages || !kindBox) return;
  hitsBox->clear();
  pages->clear();
  start->setEnabled(false);
  const int kind = kindBox->currentIndex() + 1;
  const std::string keyword = app::controlText(main, kSearchBox);
  const std::string pattern = app::controlText(main, kSearchHitPattern);
  const std::string nameMarker = app::controlText(main, kSearchNameMarker);
  const std::string idMarker = app::controlText(main, kSearchIdMarker);
  auto hits = std::make_shared<std::vector<SearchHit>>();
  runThenOnGui(
      [=] {
        const std::string host = net::hosts().mainHost;
        const std::string page =
            net::fromUtf8(net::httpRequestText(searchUrl(host, kind), "POST", "", "", searchBody(keyword)));
        *hits = extractSearchHits(page, pattern, nameMarker, idMarker, host);
      },
      main,
      [=] {
        for (const auto& hit : *hits) {
          auto* item = new QListWidgetItem(app::fromGbk(hit.name), hitsBox);
          item->setData(kIdRole, hit.id);
          pages->addItem(app::fromGbk(hit.folderPage));
        }
        start->setEnabled(true);
      });
}

}  // namespace

bool listFiles(const std::string& url, std::function<void()> afterFill) {
  QWidget* main = app::mainWindow();
  auto& state = BrowserState::instance();
  setFolderListsEnabled(false);
  if (app::Session::instance().get().startupLogged) app::logLine(kStatusLog, gbk("： 获取指定目录文件……！"));
  if (!state.tryBeginListing()) {
    app::showMessage(QStringLiteral("上一次的任务还没有完成，请稍后再提交。"));
    return false;
  }
  if (auto* names = browserControls().fileNames) names->clear();
  if (auto* view = browserControls().files) view->clear();
  const std::string rowPattern = app::controlText(main, kFileRowPattern);
  const std::string passwordMarker = app::controlText(main, kAccessPasswordMarker);
  const std::string account = app::Session::instance().accountName();
  auto listing = std::make_shared<Listing>();
  runThenOnGui(
      [=] {
        listing->page = net::fetchUrl(url);
        listing->pages = pageCount(listing->page);
        listing->rows = extractFileRows(listing->page, rowPattern);
        const std::string settings = net::fetchUrl(settingsPageUrl(net::hosts().mainHost, account));
        BrowserState::instance().setAccessPassword(accessPasswordFrom(net::fromUtf8(settings), passwordMarker));
      },
      main, [listing, afterFill] { showListing(*listing, afterFill); });
  return true;
}

void installFileList(QWidget* main) {
  // 编辑框39 is a hidden slot for the raw listing page: it keeps the whole page
  // and, echoing nothing, never lays out tens of kilobytes of text on the GUI thread.
  if (auto* raw = app::control<QLineEdit>(main, kListingPage)) {
    raw->setEchoMode(QLineEdit::NoEcho);
    raw->setMaxLength(std::numeric_limits<int>::max());
  }
  installPaging(main);
  installTypedPaging(main);
  if (auto* start = app::control<QPushButton>(main, kSearchButton))
    QObject::connect(start, &QPushButton::clicked, start, [main] { searchFiles(main); });
  popupMenuOn(browserControls().files, kFileMenu);
  popupMenuOn(browserControls().fileNames, kFileMenu);
  popupMenuOn(control<QListWidget>(main, kSearchHits), kSearchMenu, true);

}

}  // namespace tarnwick::browser::qt
