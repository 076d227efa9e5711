// The download manager end to end: the real main window, driven offscreen
// against the local service. demo logs in through the login window; files are
// queued from the file list and arrive in a temporary save folder.
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "../app/queue_list.h"
#include "../browser/e2e_support.h"
#include "service_files.h"
#include "../net/raw_server.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/state.h"
#include "transfer/qt/transfer_queues.h"

using namespace tarnwick;
using namespace tarnwick::app::names;
using e2e::q;
namespace test = tarnwick::test;

namespace {

using download_test::addServiceFile;
using download_test::serviceData;

QByteArray md5Of(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Md5);
  h.addData(&f);
  return h.result().toHex();
}


// Points the storage host at a stand-in server while in scope (the address
// page still comes from the service).
class StorageHostSwap {
 public:
  explicit StorageHostSwap(int port) : m_saved(qgetenv("TARNWICK_STORAGE_HOST")) {
    qputenv("TARNWICK_STORAGE_HOST", "http://127.0.0.1:" + QByteArray::number(port));
    net::reloadHosts();
  }
  ~StorageHostSwap() {
    qputenv("TARNWICK_STORAGE_HOST", m_saved);
    net::reloadHosts();
  }

 private:
  QByteArray m_saved;
};

long rangeStart(const test::RawRequest& r) {
  const std::string range = r.header("Range");
  return range.rfind("bytes=", 0) == 0 ? std::atol(range.c_str() + 6) : 0;
}

}  // namespace

class DownloadE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home, m_save;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;

  QTreeWidget* files() { return app::control<QTreeWidget>(m_main, main::kFileView); }
  testsupport::QueueList pending() {
    return testsupport::QueueList(app::control<QTreeView>(m_main, main::kDownloadQueueView));
  }
  QTreeWidget* finished() { return app::control<QTreeWidget>(m_main, main::kDownloadedView); }
  QPushButton* start() { return app::control<QPushButton>(m_main, main::kStartDownloadButton); }
  QAction* action(const char* menu, const char* caption) {
    auto* m = app::control<QMenu>(m_main, QString::fromUtf8(menu));
    return m ? m->findChild<QAction*>(QString::fromUtf8(caption)) : nullptr;
  }
  QString saveDir() { return m_save.path() + "/"; }
  transfer::DownloadQueue& downloads() { return transfer::qt::TransferQueues::of(m_main)->downloads(); }
  // Queues a row as "添加进下载列表" does from a listing row.
  void queue(const QString& name, int id) {
    const int before = pending().count();
    downloads().add(std::to_string(id), app::toGbk(name), "");
    QTRY_COMPARE(pending().count(), before + 1);
  }
  // The partial files in the save folder.
  QStringList partials() { return QDir(m_save.path()).entryList({QStringLiteral("*.tnwkpart")}, QDir::Files); }
  bool runEnds() { return QTest::qWaitFor([&] { return start()->isEnabled(); }, 30000); }
  QStringList finishedNames() {
    QStringList out;
    for (int i = 0; i < finished()->topLevelItemCount(); ++i) out << finished()->topLevelItem(i)->text(0);
    return out;
  }
  void clearLists() {
    std::vector<std::uint64_t> ids;
    for (const auto& r : downloads().rows()) ids.push_back(r.id);
    downloads().remove(ids);
    downloads().clearFinished();
    QTRY_COMPARE(pending().count() + finished()->topLevelItemCount(), 0);
    QDir(m_save.path()).removeRecursively();
    QDir().mkpath(m_save.path());
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    m_main = e2e::showMainWindow();
    m_boxes = new e2e::BoxAnswerer;
    QVERIFY(e2e::logInThroughWindow(QStringLiteral("demo"), QStringLiteral("demo123")));
    app::control<QTabWidget>(m_main, main::kPages)->setCurrentIndex(1);
    QTRY_VERIFY_WITH_TIMEOUT(files()->topLevelItemCount() >= 5 && !browser::BrowserState::instance().listingBusy(),
                             20000);
    auto* folder = app::control<QLineEdit>(m_main, main::kSaveFolderBox);
    folder->setText(saveDir());
    Q_EMIT folder->editingFinished();
    m_boxes->take();
  }

  void cleanupTestCase() {
    delete m_boxes;
    delete m_main;
  }

  // The folder box counts when editing ends: a half-typed path never
  // reaches a row, an empty or relative one is refused with a message.
  void saveFolderCountsWhenEditingEnds() {
    clearLists();
    auto* folder = app::control<QLineEdit>(m_main, main::kSaveFolderBox);
    folder->setText(QStringLiteral("/t"));  // still typing
    queue(QStringLiteral("a.txt"), 1);
    for (const QString& bad : {QString(), QStringLiteral("relative/dir")}) {
      folder->setText(bad);
      Q_EMIT folder->editingFinished();
      QTRY_COMPARE_WITH_TIMEOUT(m_boxes->size(), 1, 10000);
      QVERIFY(m_boxes->take().first().startsWith(QStringLiteral("下载文件夹必须是完整的路径")));
    }
    queue(QStringLiteral("b.txt"), 2);
    for (const auto& r : downloads().rows()) QCOMPARE(QString::fromStdString(r.saveFolder), saveDir());
    folder->setText(saveDir());
    Q_EMIT folder->editingFinished();
    clearLists();
  }

  void emptyListAsksForTasks() {
    clearLists();
    start()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->size(), 1, 10000);
    QCOMPARE(m_boxes->take(), QStringList{QStringLiteral("没有下载任务！")});
    QVERIFY(start()->isEnabled());
  }

  // Two rows queued from the file list arrive byte-equal under 已完成.
  void twoQueuedFilesArriveInOrder() {
    clearLists();
    // Rows away from the top: another test moves and deletes the top rows of
    // this folder on the same service.
    const int a = files()->topLevelItemCount() - 2, b = files()->topLevelItemCount() - 1;
    files()->clearSelection();
    files()->topLevelItem(b)->setSelected(true);
    files()->topLevelItem(a)->setSelected(true);
    action("菜单", "添加进下载列表")->trigger();
    QCOMPARE(pending().count(), 2);
    QCOMPARE(pending().text(0, 0), files()->topLevelItem(a)->text(0));
    QCOMPARE(pending().text(0, 1), files()->topLevelItem(a)->text(1));
    QCOMPARE(pending().text(1, 3), files()->topLevelItem(b)->data(0, Qt::UserRole).toString());
    QCOMPARE(app::control<QTabWidget>(m_main, main::kDownloadTabs)->tabText(0), QStringLiteral("下载中(2)"));
    start()->click();
    QVERIFY(!start()->isEnabled());
    QVERIFY(runEnds());
    QCOMPARE(pending().count(), 0);
    // Both ran at once: the finished list is in the order they ended.
    QStringList ended = finishedNames(), expected{files()->topLevelItem(a)->text(0), files()->topLevelItem(b)->text(0)};
    ended.sort();
    expected.sort();
    QCOMPARE(ended, expected);
    QCOMPARE(app::control<QTabWidget>(m_main, main::kDownloadTabs)->tabText(1), QStringLiteral("已完成(2)"));
    for (int i : {a, b}) {
      const QString id = files()->topLevelItem(i)->data(0, Qt::UserRole).toString();
      const auto rows = e2e::query("SELECT md5, storage FROM files WHERE id=" + id.toStdString());
      QCOMPARE(rows.size(), 1u);
      const QString path = saveDir() + files()->topLevelItem(i)->text(0);
      QCOMPARE(md5Of(path), md5Of(serviceData() + "/storage/" + q(rows[0][1])));
    }
  }

  // 同名覆盖 replaces the old file; 同名更改 stores under a numeric prefix.
  void existingFileRules() {
    QTreeWidgetItem* row = files()->topLevelItem(files()->topLevelItemCount() - 3);
    const QString name = row->text(0);
    const int id = row->data(0, Qt::UserRole).toInt();
    auto* rule = app::control<QComboBox>(m_main, main::kSameNameSelector);
    struct Case {
      int rule;
      bool renamed;
    } cases[] = {{0, false}, {1, true}};
    for (const auto& c : cases) {
      clearLists();
      QFile old(saveDir() + name);
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old content that must stay or go");
      old.close();
      rule->setCurrentIndex(c.rule);
      queue(name, id);
      start()->click();
      QVERIFY(runEnds());
      QCOMPARE(finished()->topLevelItemCount(), 1);
      const QString stored = finished()->topLevelItem(0)->text(1);
      if (c.renamed) {
        QVERIFY2(QFileInfo(stored).fileName().endsWith(name) && stored != saveDir() + name, qPrintable(stored));
        const int prefix = QFileInfo(stored).fileName().chopped(name.size()).toInt();
        QVERIFY(prefix >= 10000 && prefix <= 50000);
        QCOMPARE(QFile(saveDir() + name).size(), 32);  // the old file is untouched
      } else {
        QCOMPARE(stored, saveDir() + name);
        QVERIFY(QFile(stored).size() != 32);
      }
    }
    rule->setCurrentIndex(0);
  }

  // A missing stored file (404) stays as 失败, the next row still runs, and
  // a name with "../" is stored inside the save folder.
  void failedRowsStayAndUnsafeNamesAreContained() {
    clearLists();
    const QByteArray bytes = QByteArray("contained ").repeated(1000);
    const int missing = addServiceFile("不在了.bin", "1003/none-such.bin", nullptr);
    const int escaping = addServiceFile("../escape.txt", "1003/escape-e2e.txt", &bytes);
    QVERIFY(missing > 0 && escaping > 0);
    queue(QStringLiteral("不在了.bin"), missing);
    queue(QStringLiteral("../escape.txt"), escaping);
    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(pending().count(), 1);
    QCOMPARE(pending().text(0, 0), QStringLiteral("不在了.bin"));
    QCOMPARE(pending().text(0, 2), QStringLiteral("失败"));
    QCOMPARE(finishedNames(), QStringList{QStringLiteral("../escape.txt")});
    QCOMPARE(finished()->topLevelItem(0)->text(1), saveDir() + "escape.txt");
    QCOMPARE(md5Of(saveDir() + "escape.txt"), QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    QVERIFY(!QFile::exists(m_save.path() + "/../escape.txt"));
    QVERIFY(!QFile::exists(saveDir() + QStringLiteral("不在了.bin")));
  }

  // The close query's hook stops the running download and removes only its
  // partial file; finished files stay.
  // A download cut short every time fails and keeps its partial file; the
  // next 开始下载 continues it with a Range request and ends byte-exact.
  void interruptedDownloadResumesOnTheNextStart() {
    clearLists();
    QByteArray body(3 << 20, '\0');
    for (int i = 0; i < body.size(); ++i) body[i] = static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 5);
    const long half = body.size() / 2;
    std::atomic<bool> cut{true};
    test::RawServer storage([&](const test::RawRequest& r, const auto& send) {
      const long from = std::min<long>(rangeStart(r), body.size());
      std::string head = from > 0 ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                                        "-" + std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) +
                                        "\r\n"
                                  : std::string("HTTP/1.1 200 OK\r\n");
      head += "Content-Length: " + std::to_string(body.size() - from) + "\r\nConnection: close\r\n\r\n";
      const long to = cut ? std::max(from, half) : static_cast<long>(body.size());  // the server stops at half
      send(head + body.mid(from, to - from).toStdString());
    });
    StorageHostSwap swap(storage.port());
    const int id = addServiceFile("resume-e2e.bin", "1003/resume-e2e.bin", nullptr);
    queue(QStringLiteral("resume-e2e.bin"), id);
    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(pending().text(0, 2), QStringLiteral("失败"));
    QCOMPARE(finished()->topLevelItemCount(), 0);
    QVERIFY(!QFile::exists(saveDir() + "resume-e2e.bin"));  // the name is taken only by a whole file
    QCOMPARE(partials().size(), 1);
    QCOMPARE(QFile(saveDir() + partials().first()).size(), half);
    cut = false;
    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(pending().count(), 0);
    QCOMPARE(finishedNames(), QStringList{QStringLiteral("resume-e2e.bin")});
    QCOMPARE(storage.requests().back().header("Range"), "bytes=" + std::to_string(half) + "-");
    QCOMPARE(md5Of(saveDir() + "resume-e2e.bin"), QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex());
    QVERIFY(partials().isEmpty());
  }

  // A running row shows its own progress and speed while the rows after it
  // wait; the menu holds and resumes the selected rows and moves them.
  void runningRowShowsItsProgressAndTheMenuActsOnSelectedRows() {
    clearLists();
    std::atomic<bool> stop{false};
    test::RawServer storage([&](const test::RawRequest&, const auto& send) {
      send("HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\nConnection: close\r\n\r\n" + std::string(1 << 20, 'b'));
      for (int i = 0; i < 400 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    StorageHostSwap swap(storage.port());
    downloads().setMaxActive(1);
    struct Restore {
      transfer::DownloadQueue& q;
      std::atomic<bool>& stop;
      ~Restore() {
        stop = true;
        q.stop();
        q.setMaxActive(3);
      }
    } restore{downloads(), stop};
    QStringList names;
    for (const char* n : {"p1-e2e.bin", "p2-e2e.bin", "p3-e2e.bin"}) {
      names << QString::fromUtf8(n);
      queue(names.back(), addServiceFile(n, std::string("1003/") + n, nullptr));
    }
    const auto order = [&] {
      QStringList shown;
      for (int i = 0; i < pending().count(); ++i) shown << pending().text(i, main::kDownloadName);
      return shown;
    };
    // Order first, while nothing runs: none selected moves nothing.
    pending().clearSelection();
    action("开始菜单", "移至顶部")->trigger();
    QCOMPARE(order(), names);
    pending().select(2);
    action("开始菜单", "上移")->trigger();
    QTRY_COMPARE(order(), (QStringList{names[0], names[2], names[1]}));
    action("开始菜单", "移至底部")->trigger();
    QTRY_COMPARE(order(), names);

    start()->click();
    QTRY_VERIFY_WITH_TIMEOUT(downloads().row(downloads().rows()[0].id)->state == transfer::RowState::Running, 15000);
    pending().clearSelection();
    pending().select(1);
    pending().select(2);
    action("开始菜单", "暂停任务")->trigger();
    QTRY_COMPARE(pending().text(1, main::kDownloadProgress), QStringLiteral("暂停"));
    QCOMPARE(pending().text(2, main::kDownloadProgress), QStringLiteral("暂停"));
    QVERIFY(pending().marked(1));
    // The running row's own cells: a share of the 10 MB under way, a speed.
    QVERIFY(QTest::qWaitFor([&] { return !pending().text(0, main::kDownloadSpeed).isEmpty(); }, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(pending().text(0, main::kDownloadProgress), QStringLiteral("10%"),
                              15000);  // 1 MiB of 10 MB
    pending().clearSelection();
    pending().select(2);
    action("开始菜单", "继续任务")->trigger();
    QTRY_COMPARE(pending().text(2, main::kDownloadProgress), QString());
    QCOMPARE(pending().text(1, main::kDownloadProgress), QStringLiteral("暂停"));
  }

  // 注销 stops the queue (the running download's partial file goes) and puts
  // it away: the login window shows no rows of demo's; demo's next login
  // brings the row back, queued, and it finishes.
  void logoutPutsTheQueueAwayAndTheNextLoginBringsItBack() {
    clearLists();
    std::atomic<bool> hang{true}, stop{false};
    const QByteArray body = QByteArray("whole ").repeated(50000);
    test::RawServer storage([&](const test::RawRequest&, const auto& send) {
      if (!hang) {
        send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
             body.toStdString());
        return;
      }
      send("HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\nConnection: close\r\n\r\n" + std::string(256 << 10, 'b'));
      for (int i = 0; i < 400 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    StorageHostSwap swap(storage.port());
    const int id = addServiceFile("logout-e2e.bin", "1003/logout-e2e.bin", nullptr);
    queue(QStringLiteral("logout-e2e.bin"), id);
    start()->click();
    QVERIFY(QTest::qWaitFor([&] { return !partials().isEmpty(); }, 15000));

    QStringList failures;
    bool loggedIn = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* login = app::findWindow(QStringLiteral("Tarnwick登录"));
      if (!login || !login->isVisible() || loggedIn) return;
      loggedIn = true;
      if (!partials().isEmpty()) failures << "partial file left";
      if (pending().count() != 0) failures << "rows shown after logout";
      if (start()->isEnabled() == false) failures << "start button left disabled";
      app::control<QLineEdit>(login, login::kAccountBox)->setText(QStringLiteral("demo"));
      app::control<QLineEdit>(login, login::kPasswordBox)->setText(QStringLiteral("demo123"));
      app::control<QPushButton>(login, login::kLoginButton)->click();
    });
    poll.start();
    m_main->findChild<QAction*>(QStringLiteral("注销"))->trigger();  // returns once the login window closed
    poll.stop();
    stop = true;
    QVERIFY(loggedIn);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ")));
    QTRY_COMPARE(pending().count(), 1);
    // Saved while it ran: back as queued, not started before 开始下载.
    QCOMPARE(pending().text(0, 2), QString());
    hang = false;
    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(finishedNames(), QStringList{QStringLiteral("logout-e2e.bin")});
    QCOMPARE(md5Of(saveDir() + "logout-e2e.bin"), QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex());
    QVERIFY(partials().isEmpty());
  }

  // 退出 from the tray menu during a download stops it the same way: only
  // its partial file goes, finished files stay, the row is kept for the
  // member's next login.
  void trayQuitRemovesOnlyThePartialFile() {
    clearLists();
    std::atomic<bool> stop{false};
    test::RawServer storage([&](const test::RawRequest&, const auto& send) {
      send("HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\nConnection: close\r\n\r\n" + std::string(256 << 10, 'b'));
      for (int i = 0; i < 400 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    StorageHostSwap swap(storage.port());
    const int id = addServiceFile("big-e2e.bin", "1003/big-e2e.bin", nullptr);
    QFile kept(saveDir() + "kept.txt");
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.write("finished earlier");
    kept.close();
    queue(QStringLiteral("big-e2e.bin"), id);
    start()->click();
    QVERIFY(QTest::qWaitFor([&] { return !partials().isEmpty(); }, 15000));
    m_main->findChild<QAction*>(QStringLiteral("退出"))->trigger();
    QVERIFY(app::exitRequested());
    QVERIFY(partials().isEmpty());  // stopped before the call returned
    QVERIFY(!QFile::exists(saveDir() + "big-e2e.bin"));
    QVERIFY(QFile::exists(saveDir() + "kept.txt"));
    const auto store =
        transfer::QueueStore::open(QFile::encodeName(transfer::qt::TransferQueues::storePath()).toStdString());
    QVERIFY(store);
    const auto saved = store->load("download", "demo").rows;
    QCOMPARE(saved.size(), 1u);
    QCOMPARE(saved[0].fileId, std::to_string(id));
    stop = true;
  }
};

QTEST_MAIN(DownloadE2E)
#include "download_e2e_test.moc"
