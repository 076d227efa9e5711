// The cloud file browser end to end: the real main window and dialogs,
// driven offscreen against the local service. The member demo logs in
// through the login window. Expected rows come from the service's own database.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <map>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "browser/qt/file_list.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "e2e_support.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

using namespace tarnwick;
using e2e::q;

// Waits for the message boxes a handler showed and compares their texts.
#define EXPECT_BOXES(...)                                                                             \
  do {                                                                                                \
    const QStringList want{__VA_ARGS__};                                                              \
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() >= want.size(); }, 10000));                  \
    QCOMPARE(m_boxes->take(), want);                                                                  \
  } while (false)

namespace {

constexpr int kDemo = 1001;
constexpr int kPageSize = 10;

QString mainHost() { return q(net::hosts().mainHost); }

}  // namespace

class BrowserE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;
  QStringList m_opened;  // addresses handed to the browser

  QListWidget* folders() { return app::control<QListWidget>(m_main, QStringLiteral("列表框2")); }
  QTreeWidget* folderView() { return app::control<QTreeWidget>(m_main, QStringLiteral("超级列表框5")); }
  QTreeWidget* files() { return app::control<QTreeWidget>(m_main, QStringLiteral("超级列表框1")); }
  QListWidget* fileNames() { return app::control<QListWidget>(m_main, QStringLiteral("列表框3")); }
  QComboBox* pages() { return app::control<QComboBox>(m_main, QStringLiteral("组合框1")); }
  QPushButton* button(QWidget* w, const char* name) {
    return app::control<QPushButton>(w, QString::fromUtf8(name));
  }
  QAction* action(const char* menu, const char* caption) {
    auto* m = app::control<QMenu>(m_main, QString::fromUtf8(menu));
    return m ? m->findChild<QAction*>(QString::fromUtf8(caption)) : nullptr;
  }

  // Waits until no listing runs and the folder lists are enabled again.
  bool listingDone() {
    return QTest::qWaitFor([&] {
      return !browser::BrowserState::instance().listingBusy() && folders()->isEnabled() &&
             folderView()->isEnabled();
    }, 15000);
  }

  int folderIndex(const QString& name) {
    for (int i = 0; i < folders()->count(); ++i)
      if (folders()->item(i)->text() == name) return i;
    return -1;
  }

  void selectFolder(int index) {
    if (folders()->currentRow() == index) return;  // no change, no new listing
    folders()->setCurrentRow(index);
    // The selection writes its listing address for the hidden paging.
    QCOMPARE(app::controlText(m_main, QStringLiteral("编辑框3")),
             net::hosts().mainHost + "/wdwj.php?pid=1001&ml=" +
                 std::to_string(folders()->item(index)->data(Qt::UserRole).toInt()));
    QVERIFY(listingDone());
  }

  QStringList shownNames() {
    QStringList out;
    for (int i = 0; i < files()->topLevelItemCount(); ++i) out << files()->topLevelItem(i)->text(0);
    return out;
  }

  // Demo's files of a folder in listing order, one page.
  std::vector<std::vector<std::string>> servicePage(int folder, int page) {
    return e2e::query("SELECT id, name, size, date, downloads FROM files WHERE owner=" + std::to_string(kDemo) +
                      " AND folder=" + std::to_string(folder) + " ORDER BY id DESC LIMIT " +
                      std::to_string(kPageSize) + " OFFSET " + std::to_string(page * kPageSize));
  }

  void verifyPageShown(int folder, int page) {
    const auto rows = servicePage(folder, page);
    QCOMPARE(files()->topLevelItemCount(), static_cast<int>(rows.size()));
    QCOMPARE(fileNames()->count(), static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      QTreeWidgetItem* row = files()->topLevelItem(i);
      QCOMPARE(row->data(0, Qt::UserRole).toString(), q(rows[i][0]));
      QCOMPARE(row->text(0), q(rows[i][1]));
      QCOMPARE(row->text(1), e2e::sizeText(std::stod(rows[i][2])));
      QCOMPARE(row->text(2), q(rows[i][3]));
      QCOMPARE(row->text(3), q(rows[i][4]));
      QCOMPARE(fileNames()->item(i)->text(), q(rows[i][1]));
    }
  }

  // Opens a dialog without blocking (the modal ones are driven the same way).
  QWidget* open(const QString& title) {
    QWidget* w = app::createWindow(title);
    if (w) w->show();
    return w;
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    app::registerModules();
    m_main = new app::MainWindow;
    app::runWindowInstallers(m_main);
    m_main->show();
    m_boxes = new e2e::BoxAnswerer;
    net::setBrowserOpener([this](const std::string& url) { m_opened << app::fromGbk(url); });
    // Log in as demo through the login window.
    QWidget* login = app::createWindow(QStringLiteral("Tarnwick登录"));
    QVERIFY(login);
    QPointer<QWidget> loginAlive(login);
    login->show();
    app::control<QLineEdit>(login, QStringLiteral("编辑框1"))->setText(QStringLiteral("demo"));
    app::control<QLineEdit>(login, QStringLiteral("编辑框2"))->setText(QStringLiteral("demo123"));
    // As after the start routine: listings write their lines to 编辑框48.
    app::Session::instance().update([](app::SessionData& d) { d.startupLogged = true; });
    button(login, "按钮1")->click();
    QTRY_VERIFY_WITH_TIMEOUT(app::Session::instance().loggedIn(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(loginAlive.isNull() || !loginAlive->isVisible(), 15000);
    QCOMPARE(app::Session::instance().userId(), std::to_string(kDemo));
    m_boxes->take();
  }

  void cleanupTestCase() {
    delete m_boxes;
    delete m_main;
  }

  // Choosing the page "文件" loads the folders; the first load selects the last.
  void folderListLoadsWithLastFolderSelected() {
    auto* tabs = app::control<QTabWidget>(m_main, QStringLiteral("选择夹1"));
    tabs->setCurrentIndex(1);
    const auto expected = e2e::query("SELECT name FROM folders WHERE owner=" + std::to_string(kDemo));
    QTRY_COMPARE_WITH_TIMEOUT(folders()->count(), static_cast<int>(expected.size()) + 1, 15000);
    QVERIFY(listingDone());
    QCOMPARE(folderView()->topLevelItemCount(), folders()->count());
    for (const auto& row : expected) QVERIFY2(folderIndex(q(row[0])) >= 0, row[0].c_str());
    // 超级列表框5: the rows of 列表框2 with their names exactly, each with its
    // depth in the service's tree (the indentation drawn), the default folder 0.
    std::map<int, int> parentOf;
    for (const auto& row : e2e::query("SELECT id, parent FROM folders WHERE owner=" + std::to_string(kDemo)))
      parentOf[std::stoi(row[0])] = std::stoi(row[1]);
    int deepest = 0;
    for (int i = 0; i < folders()->count(); ++i) {
      QTreeWidgetItem* row = folderView()->topLevelItem(i);
      QCOMPARE(row->text(0), folders()->item(i)->text());
      const int id = row->data(0, Qt::UserRole).toInt();
      QCOMPARE(id, folders()->item(i)->data(Qt::UserRole).toInt());
      int depth = 0;
      for (int at = id; at != 0 && depth < 100; at = parentOf[at]) ++depth;
      QCOMPARE(row->data(0, browser::qt::kLevelRole).toInt(), depth);
      deepest = std::max(deepest, depth);
    }
    QVERIFY(deepest >= 3);  // the seeded 资料 › 2025 › 报告
    const int last = folders()->count() - 1;
    QCOMPARE(folders()->currentRow(), last);
    QCOMPARE(folderView()->indexOfTopLevelItem(folderView()->currentItem()), last);
    QCOMPARE(folders()->item(last)->text(), QStringLiteral("默认文件夹"));
    QCOMPARE(folders()->item(last)->data(Qt::UserRole).toInt(), 0);
    // Another member's folders never show up.
    for (const auto& row : e2e::query("SELECT name FROM folders WHERE owner<>" + std::to_string(kDemo)))
      QVERIFY2(folderIndex(q(row[0])) < 0, row[0].c_str());
    QVERIFY(app::control<QPlainTextEdit>(m_main, QStringLiteral("日志编辑框"))
                ->toPlainText().contains(QStringLiteral("获取文件夹完毕。")));
    QCOMPARE(q(app::controlText(m_main, QStringLiteral("编辑框4"))).isEmpty(), false);
    QVERIFY(app::fromGbk(app::controlText(m_main, QStringLiteral("编辑框4")))
                .endsWith(mainHost() + "/zhuce.php?yq=1001"));
  }

  void firstPageShowsWhatTheServiceHolds() {
    verifyPageShown(0, 0);
    const int total = std::stoi(e2e::query("SELECT COUNT(*) FROM files WHERE owner=1001 AND folder=0")[0][0]);
    QCOMPARE(pages()->count(), std::max(1, (total + kPageSize - 1) / kPageSize));
    QCOMPARE(pages()->currentIndex(), 0);
    // The listing's own lines, not only the login's.
    const QString log = app::control<QPlainTextEdit>(m_main, QStringLiteral("编辑框48"))->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("： 获取指定目录文件……！\n")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("： 获取指定目录文件完毕！\n")), qPrintable(log));
  }

  void pagingButtonsAndSelectorStopAtBothEnds() {
    QVERIFY(pages()->count() >= 3);
    const int last = pages()->count() - 1;
    button(m_main, "按钮26")->click();  // 下一页
    QVERIFY(listingDone());
    QCOMPARE(pages()->currentIndex(), 1);
    verifyPageShown(0, 1);
    button(m_main, "按钮27")->click();  // 上一页
    QVERIFY(listingDone());
    QCOMPARE(pages()->currentIndex(), 0);
    verifyPageShown(0, 0);
    const std::string before = app::controlText(m_main, QStringLiteral("编辑框3"));
    button(m_main, "按钮27")->click();  // nothing before page 0
    QCOMPARE(app::controlText(m_main, QStringLiteral("编辑框3")), before);
    QVERIFY(!browser::BrowserState::instance().listingBusy());
    // The selector: the last page, its list kept.
    pages()->setCurrentIndex(last);
    emit pages()->activated(last);
    QVERIFY(listingDone());
    verifyPageShown(0, last);
    QCOMPARE(pages()->count(), last + 1);
    const std::string atLast = app::controlText(m_main, QStringLiteral("编辑框3"));
    button(m_main, "按钮26")->click();  // nothing after the last page
    QCOMPARE(app::controlText(m_main, QStringLiteral("编辑框3")), atLast);
    button(m_main, "按钮3")->click();  // 首页
    QVERIFY(listingDone());
    QCOMPARE(pages()->currentIndex(), 0);
    verifyPageShown(0, 0);
    QVERIFY(m_boxes->take().isEmpty());
  }

  // The hidden paging by a typed page number works on Session.currentFolderId.
  void typedPageNumberPaging() {
    auto* typed = app::control<QLineEdit>(m_main, QStringLiteral("编辑框2"));
    app::Session::instance().setCurrentFolderId(0);
    typed->setText(QStringLiteral("0"));
    button(m_main, "按钮4")->click();  // nothing below page 0
    QCOMPARE(typed->text(), QStringLiteral("0"));
    QVERIFY(!browser::BrowserState::instance().listingBusy());
    button(m_main, "按钮5")->click();
    QCOMPARE(typed->text(), QStringLiteral("1"));
    QVERIFY(listingDone());
    verifyPageShown(0, 1);
    typed->setText(QStringLiteral("2"));
    button(m_main, "按钮6")->click();
    QVERIFY(listingDone());
    verifyPageShown(0, 2);
    button(m_main, "按钮4")->click();
    QCOMPARE(typed->text(), QStringLiteral("1"));
    QVERIFY(listingDone());
    verifyPageShown(0, 1);
    button(m_main, "按钮3")->click();
    QVERIFY(listingDone());
  }

  void aSecondListingWhileOneRunsIsRefused() {
    const std::string url = app::controlText(m_main, QStringLiteral("编辑框3"));
    QVERIFY(browser::qt::listFiles(url));
    QVERIFY(!browser::qt::listFiles(url));
    EXPECT_BOXES(QStringLiteral("上一次的任务还没有完成，请稍后再提交。"));
    QVERIFY(listingDone());
    verifyPageShown(0, 0);
  }

  // A listing whose fetch fails shows no rows and still gives the folder lists back.
  void failedListingReenablesFolderLists() {
    {
      e2e::CountingPort port;
      const e2e::MainHostSwap swap(port.url());
      button(m_main, "按钮3")->click();  // 首页
      QVERIFY(!folders()->isEnabled());
      QVERIFY(listingDone());
      QCOMPARE(files()->topLevelItemCount(), 0);
      QVERIFY(port.connections() >= 1);
    }
    QVERIFY(m_boxes->take().isEmpty());
    button(m_main, "按钮3")->click();
    QVERIFY(listingDone());
    verifyPageShown(folders()->currentItem()->data(Qt::UserRole).toInt(), 0);
  }

  void searchFilesAndFolders() {
    auto* keyword = app::control<QLineEdit>(m_main, QStringLiteral("编辑框34"));
    auto* kind = app::control<QComboBox>(m_main, QStringLiteral("组合框4"));
    auto* hits = app::control<QListWidget>(m_main, QStringLiteral("列表框4"));
    auto* start = button(m_main, "按钮21");
    auto search = [&](const QString& word, int k) {
      keyword->setText(word);
      kind->setCurrentIndex(k);
      start->click();
      QVERIFY(!start->isEnabled());
      QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 15000);
    };
    search(QStringLiteral("演示文件0"), 0);
    const auto fileHits = e2e::query("SELECT id, name FROM files WHERE owner=1001 AND name LIKE '%演示文件0%'");
    QCOMPARE(hits->count(), static_cast<int>(fileHits.size()));
    QVERIFY(hits->count() > 0);
    // Kind 1 searches files only: a folder name finds nothing.
    search(QStringLiteral("资料"), 0);
    QCOMPARE(hits->count(), 0);
    // Kind 2 searches folders.
    search(QStringLiteral("资料"), 1);
    const auto folderHits = e2e::query("SELECT id FROM folders WHERE owner=1001 AND name LIKE '%资料%'");
    QCOMPARE(hits->count(), static_cast<int>(folderHits.size()));
    QCOMPARE(hits->item(0)->text(), QStringLiteral("资料"));
    QCOMPARE(hits->item(0)->data(Qt::UserRole).toString(), q(folderHits[0][0]));
    // "打开" on a folder hit opens its folder page; alice's folders are not found.
    hits->setCurrentRow(0);
    m_opened.clear();
    action("搜索", "打开")->trigger();
    QCOMPARE(m_opened, QStringList{mainHost() + "/wdwj.php?pid=1001&ml=" + q(folderHits[0][0])});
    search(QStringLiteral("Alice"), 1);
    QCOMPARE(hits->count(), 0);
  }

  void linksOfFilesAndFolders() {
    QVERIFY(files()->topLevelItemCount() > 0);
    QTreeWidgetItem* row = files()->topLevelItem(0);
    const QString id = row->data(0, Qt::UserRole).toString();
    auto* clipboard = QGuiApplication::clipboard();
    // Nothing selected: nothing happens.
    files()->setCurrentItem(nullptr);
    clipboard->setText(QStringLiteral("untouched"));
    action("菜单", "获取文件分享链接")->trigger();
    action("菜单", "复制文件直链")->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
    QVERIFY(m_boxes->take().isEmpty());

    files()->setCurrentItem(row);
    action("菜单", "获取文件分享链接")->trigger();
    QCOMPARE(clipboard->text(), mainHost() + "/ym.php?pid=" + id);
    EXPECT_BOXES(QStringLiteral("复制成功！"));
    // The direct link carries the access password of the settings page; an
    // empty one becomes 0, which is kept.
    QString password = q(e2e::query("SELECT access_password FROM members WHERE id=1001")[0][0]);
    if (password.isEmpty()) password = QStringLiteral("0");
    action("菜单", "复制文件直链")->trigger();
    QCOMPARE(clipboard->text(), q(net::hosts().directLinkHost) + "/yunxz1.php?pid=" + id + "&szmm=" + password);
    QCOMPARE(app::fromGbk(browser::BrowserState::instance().accessPassword()), password);
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() == 1; }, 10000));
    QVERIFY(m_boxes->take().value(0).startsWith(QStringLiteral("复制成功！注意：")));
    m_opened.clear();
    action("菜单", "打开选中文件(网页)")->trigger();
    QCOMPARE(m_opened, QStringList{mainHost() + "/ym.php?pid=" + id});

    // Finished uploads keep the file id in column 2.
    auto* finished = app::control<QTreeWidget>(m_main, QStringLiteral("超级列表框4"));
    auto* upload = new QTreeWidgetItem(finished, QStringList{"a.txt", "1KB", "77"});
    finished->setCurrentItem(upload);
    action("上传完成菜单", "复制网页分享链接")->trigger();
    QCOMPARE(clipboard->text(), mainHost() + "/ym.php?pid=77");
    EXPECT_BOXES(QStringLiteral("复制成功！"));
    action("上传完成菜单", "复制该文件直链")->trigger();
    QCOMPARE(clipboard->text(), q(net::hosts().directLinkHost) + "/yunxz1.php?pid=77&szmm=" + password);
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() == 1; }, 10000));
    QVERIFY(m_boxes->take().value(0).startsWith(QStringLiteral("复制成功！注意：")));
    m_opened.clear();
    action("上传完成菜单", "打开网页文件链接")->trigger();
    QCOMPARE(m_opened, QStringList{mainHost() + "/ym.php?pid=77"});
    delete upload;

    const int folderId = folders()->currentItem()->data(Qt::UserRole).toInt();
    action("目录", "获取文件夹分享链接")->trigger();
    QCOMPARE(clipboard->text(), mainHost() + "/wdwj.php?pid=1001&ml=" + QString::number(folderId));
    EXPECT_BOXES(QStringLiteral("复制成功！"));
    m_opened.clear();
    action("目录", "打开文件夹(网页)")->trigger();
    app::Session::instance().setCurrentFolderId(folderId);
    button(m_main, "按钮2")->click();
    const QString folderPage = mainHost() + "/wdwj.php?pid=1001&ml=" + QString::number(folderId);
    QCOMPARE(m_opened, (QStringList{folderPage, folderPage}));
  }

  // The default folder can be neither deleted nor modified, and nothing is sent.
  void defaultFolderIsProtected() {
    selectFolder(folderIndex(QStringLiteral("默认文件夹")));
    e2e::CountingPort port;
    const e2e::MainHostSwap swap(port.url());
    qputenv("TARNWICK_MAIN_HOST", port.url().toUtf8());
    net::reloadHosts();
    action("目录", "删除文件夹")->trigger();
    EXPECT_BOXES(QStringLiteral("是否删除该文件夹？"), QStringLiteral("无法删除默认目录！"));
    QCOMPARE(port.connections(), 0);
    // The window's pickers load the folder properties and list (two requests).
    QWidget* window = open(QStringLiteral("创建文件夹"));
    QTRY_COMPARE_WITH_TIMEOUT(port.connections(), 2, 15000);
    auto* picker = app::control<QComboBox>(window, QStringLiteral("组合框1"));
    QCOMPARE(picker->currentText(), QStringLiteral("默认文件夹"));
    button(window, "按钮3")->click();
    EXPECT_BOXES(QStringLiteral("无法删除默认目录！"));
    button(window, "按钮5")->click();
    EXPECT_BOXES(QStringLiteral("无法修改默认目录！"));
    QTest::qWait(300);
    QCOMPARE(port.connections(), 2);
    window->close();
  }

  void folderWithSubfolderIsKept() {
    selectFolder(folderIndex(QStringLiteral("资料")));
    action("目录", "删除文件夹")->trigger();
    EXPECT_BOXES(QStringLiteral("是否删除该文件夹？"),
                                               QStringLiteral("该目录存在子目录，无法删除！"));
    QVERIFY(folderIndex(QStringLiteral("资料")) >= 0);
    QVERIFY(!e2e::query("SELECT id FROM folders WHERE owner=1001 AND name='资料'").empty());
  }

  void createRenameMoveAndDelete() {
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
    const QString created = QStringLiteral("新建目录") + stamp;
    const QString renamed = QStringLiteral("改名目录") + stamp;

    // Create under the default folder; the UTF-8 name arrives intact.
    selectFolder(folderIndex(QStringLiteral("默认文件夹")));
    QWidget* window = open(QStringLiteral("创建文件夹"));
    app::control<QLineEdit>(window, QStringLiteral("编辑框2"))->setText(created);
    QPointer<QWidget> alive(window);
    button(window, "按钮1")->click();
    EXPECT_BOXES(QStringLiteral("创建成功！"));
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(created) >= 0, 15000);
    QVERIFY(listingDone());
    auto rows = e2e::query("SELECT id, parent FROM folders WHERE owner=1001 AND name='" + created.toStdString() + "'");
    QCOMPARE(rows.size(), std::size_t(1));
    const QString newId = q(rows[0][0]);
    QCOMPARE(rows[0][1], std::string("0"));

    // The pickers: the folder itself is not offered as parent, its parent is preselected.
    window = open(QStringLiteral("创建文件夹"));
    auto* picker = app::control<QComboBox>(window, QStringLiteral("组合框1"));
    auto* parents = app::control<QComboBox>(window, QStringLiteral("组合框2"));
    picker->setCurrentIndex(picker->findText(created));
    // Until the refill for the pick arrives, neither the old parents nor 修改 can be used.
    QVERIFY(!parents->isEnabled());
    QVERIFY(!button(window, "按钮5")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(parents->count() == folders()->count() - 1, 15000);
    QVERIFY(parents->isEnabled());
    QVERIFY(button(window, "按钮5")->isEnabled());
    QCOMPARE(parents->findText(created), -1);
    QCOMPARE(parents->currentData().toInt(), 0);
    QCOMPARE(app::fromGbk(app::controlText(window, QStringLiteral("标签2"))), newId);
    window->close();

    // Rename with a GBK name.
    selectFolder(folderIndex(created));
    action("目录", "重命名")->trigger();
    QWidget* rename = app::findWindow(QStringLiteral("文件夹新名称"));
    QVERIFY(rename);
    QCOMPARE(app::control<QComboBox>(rename, QStringLiteral("组合框1"))->currentText(), created);
    app::control<QLineEdit>(rename, QStringLiteral("编辑框1"))->setText(renamed);
    button(rename, "按钮1")->click();
    EXPECT_BOXES(QStringLiteral("重置成功"));
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(renamed) >= 0, 15000);
    QVERIFY(listingDone());
    QCOMPARE(folders()->currentRow(), folderIndex(renamed));  // the saved index is restored
    QCOMPARE(e2e::query("SELECT name FROM folders WHERE id=" + newId.toStdString())[0][0], renamed.toStdString());

    // Move the first two files of the default folder into it.
    selectFolder(folderIndex(QStringLiteral("默认文件夹")));
    const QStringList moved{files()->topLevelItem(0)->text(0), files()->topLevelItem(1)->text(0)};
    const QStringList movedIds{files()->topLevelItem(0)->data(0, Qt::UserRole).toString(),
                               files()->topLevelItem(1)->data(0, Qt::UserRole).toString()};
    files()->clearSelection();
    files()->topLevelItem(1)->setSelected(true);
    files()->topLevelItem(0)->setSelected(true);
    action("菜单", "移动选中文件")->trigger();
    QCOMPARE(browser::BrowserState::instance().selectedFileIds(),
             (movedIds[0] + "," + movedIds[1] + ",").toStdString());
    QWidget* ops = app::findWindow(QStringLiteral("文件操作"));
    QVERIFY(ops);
    QVERIFY(!button(ops, "按钮2")->isEnabled());
    auto* target = app::control<QComboBox>(ops, QStringLiteral("组合框1"));
    target->setCurrentIndex(target->findText(renamed));
    alive = ops;
    button(ops, "按钮1")->click();
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(folders()->currentRow() == folderIndex(renamed) && shownNames().size() == 2, 15000);
    QVERIFY(listingDone());
    QStringList shown = shownNames();
    shown.sort();
    QStringList expectedNames = moved;
    expectedNames.sort();
    QCOMPARE(shown, expectedNames);
    QCOMPARE(e2e::query("SELECT COUNT(*) FROM files WHERE folder=" + newId.toStdString())[0][0], std::string("2"));

    // Delete them again.
    files()->topLevelItem(0)->setSelected(true);
    files()->topLevelItem(1)->setSelected(true);
    action("菜单", "删除选中文件")->trigger();
    ops = app::findWindow(QStringLiteral("文件操作"));
    QVERIFY(ops && !button(ops, "按钮1")->isEnabled() && button(ops, "按钮2")->isEnabled());
    alive = ops;
    button(ops, "按钮2")->click();
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(listingDone() && files()->topLevelItemCount() == 0, 15000);
    QCOMPARE(e2e::query("SELECT COUNT(*) FROM files WHERE id IN (" + movedIds.join(',').toStdString() + ")")[0][0],
             std::string("0"));

    // The emptied folder can go, from the menu.
    selectFolder(folderIndex(renamed));
    action("目录", "删除文件夹")->trigger();
    EXPECT_BOXES(QStringLiteral("是否删除该文件夹？"), QStringLiteral("删除成功！"));
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(renamed) < 0, 15000);
    QVERIFY(listingDone());
    QVERIFY(e2e::query("SELECT id FROM folders WHERE id=" + newId.toStdString()).empty());
  }

  // Deleting from the create-folder window refills its picker from a reloaded list.
  void deleteInCreateWindowRefillsThePicker() {
    const QString name = QStringLiteral("临时") + QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
    const std::string body = "fwmm=" + QUrl::toPercentEncoding(name).toStdString() + "&ejml=0";
    QVERIFY(net::httpRequestText(net::hosts().mainHost + "/post/cjml.php?zh=demo", "POST", "", "", body).size() >= 3);
    action("目录", "刷新文件夹")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(name) >= 0, 15000);
    QVERIFY(listingDone());
    const int before = folders()->count();
    QWidget* window = open(QStringLiteral("创建文件夹"));
    auto* picker = app::control<QComboBox>(window, QStringLiteral("组合框1"));
    QCOMPARE(picker->count(), before);
    picker->setCurrentIndex(picker->findText(name));
    button(window, "按钮3")->click();
    EXPECT_BOXES(QStringLiteral("删除成功！"));
    QTRY_VERIFY_WITH_TIMEOUT(folders()->count() == before - 1 && picker->count() == before - 1, 15000);
    QVERIFY(listingDone());
    QCOMPARE(picker->findText(name), -1);
    for (int i = 0; i < picker->count(); ++i) QCOMPARE(picker->itemText(i), folders()->item(i)->text());
    window->close();
  }

  // A second "删除文件夹" while the first is pending is ignored: one question,
  // one request, one result.
  void doubleDeleteFromTheMenuSendsOnce() {
    const QString name = QStringLiteral("双删") + QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
    const std::string body = "fwmm=" + QUrl::toPercentEncoding(name).toStdString() + "&ejml=0";
    QVERIFY(net::httpRequestText(net::hosts().mainHost + "/post/cjml.php?zh=demo", "POST", "", "", body).size() >= 3);
    action("目录", "刷新文件夹")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(name) >= 0, 15000);
    QVERIFY(listingDone());
    selectFolder(folderIndex(name));
    action("目录", "删除文件夹")->trigger();  // returns once the question is answered
    action("目录", "删除文件夹")->trigger();  // the request is still out
    EXPECT_BOXES(QStringLiteral("是否删除该文件夹？"), QStringLiteral("删除成功！"));
    QTRY_VERIFY_WITH_TIMEOUT(folderIndex(name) < 0, 15000);
    QVERIFY(listingDone());
    QTest::qWait(300);
    QVERIFY(m_boxes->take().isEmpty());
  }

  // The page "最近已完成（网页）" shows the member's recent web uploads.
  void recentWebUploadsPage() {
    auto* tabs = app::control<QTabWidget>(m_main, QStringLiteral("选择夹3"));
    tabs->setCurrentIndex(3);
    auto* web = app::control<app::WebBrowser>(m_main, QStringLiteral("超文本浏览框3"));
    QVERIFY(web);
    QTRY_COMPARE_WITH_TIMEOUT(web->url().toString(), mainHost() + "/post/sxwjx.php?zh=demo", 15000);
    tabs->setCurrentIndex(0);
  }

  void externalLinkFile() {
    selectFolder(folderIndex(QStringLiteral("默认文件夹")));
    action("目录", "创建外链文件")->trigger();
    QWidget* window = app::findWindow(QStringLiteral("创建外链文件"));
    QVERIFY(window);
    const QString name = QStringLiteral("外链") + QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
    app::control<QLineEdit>(window, QStringLiteral("编辑框1"))->setText(name);
    app::control<QLineEdit>(window, QStringLiteral("编辑框2"))->setText(QStringLiteral("http://example.invalid/a"));
    button(window, "按钮1")->click();
    EXPECT_BOXES(QStringLiteral("创建成功"));
    QTRY_VERIFY_WITH_TIMEOUT(listingDone() && shownNames().contains(name), 15000);
  }
};

QTEST_MAIN(BrowserE2E)
#include "browser_e2e_test.moc"
