#include "browser/qt/link_actions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTabWidget>

#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/links.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::browser::qt {

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
std::optional<std::string> fileIdOf(const char* view, int column = -1) {
  QTreeWidget* list = listView(app::mainWindow(), view);
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
void fileLinks(QWidget* main, const char* menu, const char* direct, const char* share, const char* open, const char* view,
               int column) {
  onMenu(main, menu, direct, [view, column] {
    if (const auto id = fileIdOf(view, column))
      copyText(directLinkUrl(net::hosts().directLinkHost, *id, BrowserState::instance()), kDirectLinkCopied);
  });
  onMenu(main, menu, share, [view, column] {
    if (const auto id = fileIdOf(view, column)) copyText(filePageUrl(net::hosts().mainHost, *id), kCopied);
  });
  onMenu(main, menu, open, [view, column] {
    if (const auto id = fileIdOf(view, column)) net::openInBrowser(filePageUrl(net::hosts().mainHost, *id));
  });
}

}  // namespace

void installLinkActions(QWidget* main) {
  fileLinks(main, "菜单", "复制文件直链", "获取文件分享链接", "打开选中文件(网页)", "超级列表框1", -1);
  // Finished client uploads keep the file id in column 2 ("pid").
  fileLinks(main, "上传完成菜单", "复制该文件直链", "复制网页分享链接", "打开网页文件链接", "超级列表框4", 2);
  onMenu(main, "目录", "获取文件夹分享链接", [] {
    if (const auto url = selectedFolderPage()) copyText(*url, kCopied);
  });
  onMenu(main, "目录", "打开文件夹(网页)", [] {
    if (const auto url = selectedFolderPage()) net::openInBrowser(*url);
  });
  onMenu(main, "搜索", "打开", [main] {
    QListWidget* hits = listBox(main, "列表框4");
    const int index = hits ? hits->currentRow() : -1;
    if (index < 0) return;
    QComboBox* kind = comboBox(main, "组合框4");
    QComboBox* folderPages = comboBox(main, "组合框5");
    if (kind && kind->currentIndex() != 0) {
      // A hit that came without owner or folder has no folder page to open.
      const QString page = folderPages && index < folderPages->count() ? folderPages->itemText(index) : QString();
      if (page.isEmpty()) return app::showMessage(QStringLiteral("该搜索结果没有文件夹页面。"));
      net::openInBrowser(app::toGbk(page));
    } else {
      net::openInBrowser(filePageUrl(net::hosts().mainHost, itemId(hits->item(index))));
    }
  });
  if (auto* open = app::control<QPushButton>(main, QStringLiteral("按钮2")))
    QObject::connect(open, &QPushButton::clicked, open, [] {
      const auto session = app::Session::instance().get();
      net::openInBrowser(folderPageUrl(net::hosts().mainHost, session.userId, session.currentFolderId));
    });
  if (auto* uploads = app::control<QTabWidget>(main, QStringLiteral("选择夹3")))
    QObject::connect(uploads, &QTabWidget::currentChanged, uploads, [main](int page) {
      if (page == 3)
        app::navigateBrowser(main, QStringLiteral("超文本浏览框3"),
                             app::fromGbk(recentWebUploadsUrl(net::hosts().mainHost,
                                                              app::Session::instance().accountName())));
    });
}

}  // namespace tarnwick::browser::qt
