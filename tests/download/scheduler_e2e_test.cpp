// The transfer scheduler end to end: the real main window, driven offscreen
// against the local service, with several rows at once, held and reordered
// rows, and a speed limit changed in 传输设置 while a download runs.
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <sqlite3.h>

#include <algorithm>

#include "../app/queue_list.h"
#include "../browser/e2e_support.h"
#include "service_files.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/controls.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "browser/state.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_page.h"
#include "transfer/rate_limit.h"

using namespace tarnwick;
using namespace tarnwick::app::names;
using e2e::q;

namespace {

using download_test::serviceData;
QString tag() { return QString::number(QCoreApplication::applicationPid()); }

QByteArray md5Hex(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex(); }

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray randomBytes(int size) {
  QByteArray b(size, '\0');
  auto* rng = QRandomGenerator::global();
  for (char& c : b) c = static_cast<char>(rng->bounded(256));
  return b;
}

// Stores bytes as a file of qqdemo's on the service; its id (downloads go by id).
int addServiceFile(const QString& name, const QByteArray& bytes) {
  return download_test::addServiceFile(name.toStdString(), "1003/" + name.toStdString(), &bytes);
}

}  // namespace

class SchedulerE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home, m_save, m_local;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;

  testsupport::QueueList pending() {
    return testsupport::QueueList(app::control<QTreeView>(m_main, main::kDownloadQueueView));
  }
  QPushButton* start() { return app::control<QPushButton>(m_main, main::kStartDownloadButton); }
  QAction* action(const char* menu, const char* caption) {
    auto* m = app::control<QMenu>(m_main, QString::fromUtf8(menu));
    return m ? m->findChild<QAction*>(QString::fromUtf8(caption)) : nullptr;
  }
  transfer::qt::TransferQueues& queues() { return *transfer::qt::TransferQueues::of(m_main); }
  transfer::DownloadQueue& downloads() { return queues().downloads(); }
  transfer::UploadQueue& uploads() { return queues().uploads(); }
  QString saveDir() { return m_save.path() + "/"; }
  bool runEnds() { return QTest::qWaitFor([&] { return start()->isEnabled(); }, 30000); }
  void selectOnly(int row) {
    pending().clearSelection();
    pending().select(row);
  }
  // Queues a stored file of the given bytes; its row id.
  std::uint64_t queueDownload(const QString& name, const QByteArray& bytes) {
    const int before = pending().count();
    const int id = addServiceFile(name, bytes);
    if (id <= 0) return 0;
    downloads().add(std::to_string(id), app::toGbk(name), "");
    if (!QTest::qWaitFor([&] { return pending().count() == before + 1; }, 5000)) return 0;
    return downloads().rows().back().id;
  }
  // Names of the finished downloads in the order they ended.
  QStringList endedInOrder() {
    QStringList out;
    for (const auto& r : downloads().finished()) out.prepend(app::fromGbk(r.name));
    return out;
  }
  void clearLists() {
    std::vector<std::uint64_t> ids;
    for (const auto& r : downloads().rows()) ids.push_back(r.id);
    downloads().remove(ids);
    downloads().clearFinished();
    QTRY_COMPARE(pending().count(), 0);
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    m_main = e2e::showMainWindow();
    m_boxes = new e2e::BoxAnswerer;
    QVERIFY(e2e::logInThroughWindow(QStringLiteral("demo"), QStringLiteral("demo123")));
    app::control<QTabWidget>(m_main, main::kPages)->setCurrentIndex(1);
    QTRY_VERIFY_WITH_TIMEOUT(!browser::BrowserState::instance().listingBusy(), 20000);
    auto* folder = app::control<QLineEdit>(m_main, main::kSaveFolderBox);
    folder->setText(saveDir());
    Q_EMIT folder->editingFinished();
    m_boxes->take();
  }

  void cleanup() {
    downloads().stop();
    uploads().stop();
    downloads().setMaxActive(3);
    uploads().setMaxActive(2);
    transfer::downloadLimiter().setRate(0);
    transfer::uploadLimiter().setRate(0);
  }

  void cleanupTestCase() {
    delete m_boxes;
    delete m_main;
  }

  // Four downloads with three slots and three uploads with two, at once,
  // slowed by the speed limits: each queue runs as many rows as it has slots
  // (never more), and every file arrives byte-exact on disk or on the service.
  void downloadsAndUploadsRunSideBySide() {
    auto* uploadPage = transfer::qt::UploadPage::of(m_main);
    QVERIFY(uploadPage);
    clearLists();
    transfer::downloadLimiter().setRate(512 << 10);
    transfer::uploadLimiter().setRate(64 << 10);
    struct Queue {
      transfer::TransferQueue& queue;
      int cap;
      std::size_t most = 0;
    } watched[] = {{downloads(), 3}, {uploads(), 2}};
    for (auto& w : watched) w.queue.setMaxActive(w.cap);

    QList<QPair<QString, QByteArray>> down, up;
    for (int i = 0; i < 4; ++i) {
      down.append({QStringLiteral("side-%1-%2.bin").arg(tag()).arg(i), randomBytes(256 << 10)});
      QVERIFY(queueDownload(down.back().first, down.back().second));
    }
    QStringList upPaths;
    for (int i = 0; i < 3; ++i) {
      up.append({QStringLiteral("side-up-%1-%2.bin").arg(tag()).arg(i), randomBytes(64 << 10)});
      QFile f(m_local.filePath(up.back().first));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(up.back().second);
      f.close();
      upPaths << f.fileName();
    }
    uploadPage->addFiles(upPaths);
    QCOMPARE(uploads().rows().size(), 3u);
    start()->click();
    uploadPage->startQueue();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 25000 && (downloads().finished().size() < 4 || uploads().finished().size() < 3)) {
      for (auto& w : watched) w.most = std::max(w.most, w.queue.progressAll().size());
      QTest::qWait(50);
    }
    for (const auto& w : watched) QCOMPARE(w.most, std::size_t(w.cap));
    QCOMPARE(downloads().finished().size(), 4u);
    QCOMPARE(uploads().finished().size(), 3u);
    for (const auto& [name, bytes] : down) QVERIFY2(readAll(saveDir() + name) == bytes, qPrintable(name));
    for (const auto& [name, bytes] : up) {
      const auto rows = e2e::query("SELECT md5, storage FROM files WHERE owner=1001 AND name='" +
                                   name.toStdString() + "'");
      QCOMPARE(rows.size(), 1u);
      QCOMPARE(QByteArray::fromStdString(rows[0][0]), md5Hex(bytes));
      QCOMPARE(readAll(serviceData() + "/storage/" + q(rows[0][1])), bytes);
    }
    QVERIFY(runEnds());
  }

  // A held row is saved held: after the member's queue is put away and
  // brought back it still shows 暂停 and a start leaves it alone; 继续任务
  // then runs it alone.
  void heldRowStaysHeldAcrossARestart() {
    clearLists();
    const QByteArray a = randomBytes(20000), b = randomBytes(30000);
    const QString nameA = "held-a-" + tag() + ".bin", nameB = "held-b-" + tag() + ".bin";
    QVERIFY(queueDownload(nameA, a));
    QVERIFY(queueDownload(nameB, b));
    selectOnly(1);
    action("开始菜单", "暂停任务")->trigger();
    QTRY_COMPARE(pending().text(1, main::kDownloadProgress), QStringLiteral("暂停"));

    queues().memberLeft();
    QTRY_COMPARE(pending().count(), 0);
    queues().memberJoined();
    QTRY_COMPARE(pending().count(), 2);
    QCOMPARE(pending().text(1, main::kDownloadName), nameB);
    QCOMPARE(pending().text(1, main::kDownloadProgress), QStringLiteral("暂停"));
    QCOMPARE(downloads().rows()[1].state, transfer::RowState::Held);

    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(endedInOrder(), QStringList{nameA});
    QCOMPARE(downloads().rows().size(), 1u);
    QCOMPARE(downloads().rows()[0].state, transfer::RowState::Held);
    QVERIFY(!QFile::exists(saveDir() + nameB));

    // 继续任务 on the idle queue starts the chosen row at once, and only it:
    // a row queued meanwhile waits for 开始下载.
    const QString nameC = "held-c-" + tag() + ".bin";
    QVERIFY(queueDownload(nameC, randomBytes(25000)));
    selectOnly(0);
    action("开始菜单", "继续任务")->trigger();
    QVERIFY(!start()->isEnabled());
    QVERIFY(runEnds());
    QCOMPARE(endedInOrder(), (QStringList{nameA, nameB}));
    QCOMPARE(readAll(saveDir() + nameB), b);
    QCOMPARE(downloads().rows().size(), 1u);
    QCOMPARE(downloads().rows()[0].state, transfer::RowState::Queued);
    QVERIFY(!QFile::exists(saveDir() + nameC));
  }

  // With one slot, 移至顶部 on the last row makes it the one that starts
  // first; the others follow in their order.
  void movedRowStartsFirst() {
    clearLists();
    downloads().setMaxActive(1);
    QStringList names;
    for (int i = 0; i < 3; ++i) {
      names << QStringLiteral("order-%1-%2.bin").arg(tag()).arg(i);
      QVERIFY(queueDownload(names.back(), randomBytes(10000 + i)));
    }
    selectOnly(2);
    action("开始菜单", "移至顶部")->trigger();
    QTRY_COMPARE(pending().text(0, main::kDownloadName), names[2]);
    QCOMPARE(app::fromGbk(downloads().rows()[0].name), names[2]);
    start()->click();
    QVERIFY(runEnds());
    QCOMPARE(endedInOrder(), (QStringList{names[2], names[0], names[1]}));
  }

  // 下载限速 changed in 传输设置 while a download runs: within two seconds
  // the partial file grows at the new rate.
  void downloadRateFollowsTheSettingsBox() {
    clearLists();
    app::control<QPushButton>(m_main, main::kDownloadSettingsButton)->click();
    QPointer<QWidget> dialog = app::findWindow(QString::fromUtf8(transferSettings::kTitle));
    QVERIFY(dialog);
    auto* rate = app::control<QSpinBox>(dialog, transferSettings::kDownloadRate);
    QVERIFY(rate);
    rate->setValue(100);
    const QString name = "rate-" + tag() + ".bin";
    QVERIFY(queueDownload(name, randomBytes(8 << 20)));
    start()->click();
    const auto partialSize = [&] {
      const QStringList found = QDir(m_save.path()).entryList({QStringLiteral("*.tnwkpart")}, QDir::Files);
      return found.isEmpty() ? qint64(-1) : QFileInfo(saveDir() + found.first()).size();
    };
    QVERIFY(QTest::qWaitFor([&] { return partialSize() > 0; }, 15000));
    // KB/s of the partial file's growth over two seconds.
    const auto measure = [&] {
      const qint64 from = partialSize();
      QElapsedTimer t;
      t.start();
      QTest::qWait(2000);
      return (partialSize() - from) * 1000.0 / t.elapsed() / 1024;
    };
    QTest::qWait(1000);  // past the first burst
    struct Step {
      int kb;
    } steps[] = {{100}, {400}, {150}};
    for (const Step& s : steps) {
      rate->setValue(s.kb);
      QTest::qWait(2000);  // the new rate holds from here
      const double got = measure();
      QVERIFY2(got > s.kb * 0.7 && got < s.kb * 1.3, qPrintable(QStringLiteral("%1 KB/s at %2").arg(got).arg(s.kb)));
    }
    rate->setValue(0);
    QCOMPARE(transfer::downloadLimiter().rate(), 0);
    dialog->close();
    downloads().stop();
  }
};

QTEST_MAIN(SchedulerE2E)
#include "scheduler_e2e_test.moc"
