#include "browser/qt/link_actions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTabWidget>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/links.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::browser::qt {

using namespace app::names::main;

namespace {

const QString kCopied = QStringLiteral("复制成功！");
const QString kDirectLinkCopied =
    QStringLiteral("复制成功！注意：使用网赚模式，或更改网盘密码，将导致直链失效，该功能只能在个人存储模式下使用。");

void copyText(const std::string& gbkText, const QString& message) {
  QGuiApplication::clipboard()->setText(app::fromGbk(gbkText));
  app::showMessage(message);
}

// File id text of the current row of a list view: item data (file list) or
// the text of a column (finished uploads); nothing when no row is current.
std::optional<std::string> fileIdOf(const app::ControlName& view, int column = -1) {
  auto* list = control<QTreeWidget>(app::mainWindow(), view);
  QTreeWidgetItem* row = list ? list->currentItem() : nullptr;
  if (!row) return std::nullopt;
  if (column < 0) return net::numberToText(itemId(row));
  return app::toGbk(row->text(column));
}

std::optional<std::string> selectedFolderPage() {
  QListWidget* folders = browserControls().folders;
  if (!folders || folders->currentRow() < 0) return std::nullopt;
  return folderPageUrl(net::hosts().mainHost, app::Session::instance().userId(), itemId(folders->currentItem()));
}

// Menu entries on a file list: direct link, share link, open in browser.
void fileLinks(QWidget* main, const app::MenuItemName& direct, const app::MenuItemName& share,
               const app::MenuItemName& open, const app::ControlName& view, int column) {
  onMenu(main, direct, [view, column] {
    if (const auto id = fileIdOf(view, column))
      copyText(directLinkUrl(net::hosts().directLinkHost, *id, BrowserState::instance()), kDirectLinkCopied);
  });
  onMenu(main, share, [view, column] {
    if (const auto id = fileIdOf(view, column)) copyText(filePageUrl(net::hosts().mainHost, *id), kCopied);
  });
  onMenu(main, open, [view, column] {
    if (const auto id = fileIdOf(view, column)) net::openInBrowser(filePageUrl(net::hosts().mainHost, *id));
  });
}

}  // namespace

void installLinkActions(QWidget* main) {
  fileLinks(main, kCopyFileDirectLink, kCopyFileShareLink, kOpenFileWebPage, kFileView, -1);
  // Finished client uploads keep the file id in their pid column.
  fileLinks(main, kCopyUploadedDirectLink, kCopyUploadedShareLink, kOpenUploadedWebPage, kUploadDoneView,
            kUploadDoneId);
  onMenu(main, kCopyFolderShareLink, [] {
    if (const auto url = selectedFolderPage()) copyText(*url, kCopied);
  });
  onMenu(main, kOpenFolderWebPage, [] {
    if (const auto url = selectedFolderPage()) net::openInBrowser(*url);
  });
  onMenu(main, kOpenSearchHit, [main] {
    auto* hits = control<QListWidget>(main, kSearchHits);
    const int index = hits ? hits->currentRow() : -1;
    if (index < 0) return;
    auto* kind = control<QComboBox>(main, kSearchKindSelector);
    auto* folderPages = control<QComboBox>(main, kSearchHitPages);
    if (kind && kind->currentIndex() != 0) {
      // A hit that came without owner or folder has no folder page to open.
      const QString page = folderPages && index < folderPages->count() ? folderPages->itemText(index) : QString();
      if (page.isEmpty()) return app::showMessage(QStringLiteral("该搜索结果没有文件夹页面。"));
      net::openInBrowser(app::toGbk(page));
    } else {
      net::openInBrowser(filePageUrl(net::hosts().mainHost, itemId(hits->item(index))));
    }
  });
  if (auto* open = app::control<QPushButton>(main, kOpenWebPageButton))
    QObject::connect(open, &QPushButton::clicked, open, [] {
      const auto session = app::Session::instance().get();
      net::openInBrowser(folderPageUrl(net::hosts().mainHost, session.userId, session.currentFolderId));
    });
  if (auto* uploads = app::control<QTabWidget>(main, kUploadTabs))
    QObject::connect(uploads, &QTabWidget::currentChanged, uploads, [main] {
      if (app::pageShown(main, kWebDonePage))

        app::navigateBrowser(main, kWebDoneBrowser,
                             app::fromGbk(recentWebUploadsUrl(net::hosts().mainHost,
                                                              app::Session::instance().accountName())));
    });
}

}  // namespace tarnwick::browser::qt
