// The client upload end to end: the real main window driven offscreen
// against the local service, logged in as demo. What arrived is read from
// the service's database, storage and FTP command log.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "../app/queue_list.h"
#include "../browser/e2e_support.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/bindings.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/qt/settings_ui.h"
#include "app/session.h"
#include "app/transfer_settings.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "transfer/md5.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_page.h"
#include "transfer/upload_progress.h"

using namespace tarnwick;
using namespace tarnwick::app::names;
using e2e::q;

#define EXPECT_BOXES(...)                                                            \
  do {                                                                               \
    const QStringList want{__VA_ARGS__};                                             \
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() >= want.size(); }, 10000)); \
    const QStringList got = m_boxes->take();                                         \
    QVERIFY2(got == want, qPrintable(got.join(" | ")));                              \
  } while (false)

namespace {

constexpr int kWaitMs = 60000;

QString serviceData() { return qEnvironmentVariable("TARNWICK_SERVICE_DATA"); }

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(bytes), bytes.size());
}

// Bytes that ASCII-type FTP would change: every kind of line ending, and
// every byte value.
QByteArray binaryContent(int size) {
  QByteArray b;
  b.reserve(size);
  auto* rng = QRandomGenerator::global();
  while (b.size() < size) {
    b += "line\r\n";
    b += '\n';
    b += '\r';
    for (int i = 0; i < 64; ++i) b += static_cast<char>(rng->bounded(256));
  }
  b.truncate(size);
  return b;
}

std::string md5(const QByteArray& b) { return transfer::md5OfBytes(std::string_view(b.constData(), b.size())); }

// The files row of a name: id, folder, size, md5, source, storage.
std::vector<std::string> fileRow(const QString& name) {
  const auto rows = e2e::query("SELECT id, folder, size, md5, source, storage FROM files WHERE owner=1001 AND name='" +
                               name.toStdString() + "' ORDER BY id");
  return rows.size() == 1 ? rows[0] : std::vector<std::string>{};
}

bool hasRow(const QString& name) {
  return !e2e::query("SELECT id FROM files WHERE name='" + name.toStdString() + "'").empty();
}

// The TYPE command sent last before "STOR remote" in the FTP log, or "".
QString typeBeforeStor(const QString& remote) {
  const QString log = QString::fromUtf8(readAll(serviceData() + "/ftp.log"));
  const qsizetype stor = log.indexOf(QStringLiteral("STOR ") + remote + "\n");
  if (stor < 0) return {};
  const qsizetype type = log.lastIndexOf(QStringLiteral("TYPE "), stor);
  return type < 0 ? QString() : log.mid(type, 6);
}

// A port that accepts FTP connections and never answers: the transfer
// hangs in its login until the test closes the connection.
// An FTP address that takes connections and says nothing until hangUp();
// from then on it hangs up on those and relays new ones to the real server
// (the data connections go to the real server's own PASV address).
class SilentFtp : public QObject {
 public:
  explicit SilentFtp(const QString& realHost) : m_real(realHost) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = m_server.nextPendingConnection()) {
        if (m_relaying)
          relay(s);
        else
          m_sockets << s;
      }
    });
  }
  QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
  int connections() const { return m_sockets.size(); }
  void hangUp() {
    m_relaying = true;
    for (QTcpSocket* s : m_sockets) s->abort();
  }

 private:
  void relay(QTcpSocket* client) {
    auto* server = new QTcpSocket(client);
    const int colon = m_real.lastIndexOf(u':');
    server->connectToHost(m_real.left(colon), m_real.mid(colon + 1).toUShort());
    connect(client, &QTcpSocket::readyRead, server, [client, server] { server->write(client->readAll()); });
    connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
    connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
    connect(client, &QTcpSocket::disconnected, server, [server] { server->disconnectFromHost(); });
  }

  QString m_real;
  bool m_relaying = false;
  QTcpServer m_server;
  QList<QTcpSocket*> m_sockets;
};

}  // namespace

class UploadE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  QTemporaryDir m_files;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;
  QList<QUrl> m_opened;  // local files and folders handed to the desktop
  QString m_tag = QString::number(QCoreApplication::applicationPid());

 public slots:
  void openLocal(const QUrl& url) { m_opened << url; }

 private:
  template <class T>
  T* find(const app::ControlName& name) {
    return app::control<T>(m_main, name);
  }
  testsupport::QueueList queue() { return testsupport::QueueList(find<QTreeView>(main::kUploadQueueView)); }
  QTreeWidget* done() { return find<QTreeWidget>(main::kUploadDoneView); }
  QPushButton* uploadButton() { return find<QPushButton>(main::kUploadButton); }
  QListWidget* folders() { return find<QListWidget>(main::kFolderNames); }
  QTabWidget* pages() { return find<QTabWidget>(main::kPages); }
  QTabWidget* uploadTabs() { return find<QTabWidget>(main::kUploadTabs); }
  QString label(const app::ControlName& name) { return find<QLabel>(name)->text(); }
  QAction* action(const app::MenuItemName& item) { return app::menuAction(m_main, item); }
  QString log() { return find<QPlainTextEdit>(main::kLogBox)->toPlainText(); }

  QString localFile(const QString& name, const QByteArray& bytes) {
    const QString path = m_files.filePath(name);
    writeAll(path, bytes);
    return path;
  }

  // Picks files in the dialog "请选择文件" opened by 选择文件.
  void chooseFiles(const QStringList& paths) {
    bool answered = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || answered) return;
      answered = dialog->objectName() == QStringLiteral("请选择文件") &&
                 dialog->windowTitle() == QStringLiteral("请选择文件");
      QStringList quoted;
      for (const QString& p : paths) quoted << '"' + QFileInfo(p).fileName() + '"';
      dialog->setDirectory(QFileInfo(paths.first()).absolutePath());
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(quoted.join(' '));
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the typed names
    });
    poll.start();
    find<QPushButton>(main::kChooseFilesButton)->click();  // returns when the dialog closed
    QVERIFY(answered);
  }

  void drop(const QStringList& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    QWidget* target = queue().view()->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QVERIFY(dropped.isAccepted());
    delete mime;
  }

  bool idle() {
    return QTest::qWaitFor([&] { return uploadButton()->isEnabled() && queue().count() == 0; }, kWaitMs);
  }

  bool listingDone() {
    return QTest::qWaitFor([&] {
      return !browser::BrowserState::instance().listingBusy() && folders()->isEnabled() && folders()->count() > 1;
    }, 15000);
  }

  int folderIndex(const QString& name) {
    for (int i = 0; i < folders()->count(); ++i)
      if (folders()->item(i)->text() == name) return i;
    return -1;
  }

  // Shows the folder in the page 文件 and waits until its list shows name
  // (the page change reloads the folder list meanwhile).
  bool listed(const QString& folder, const QString& name) {
    if (pages()->currentIndex() != 1) {
      // Wait for the folder reload of the page change (and the listing it
      // starts) before choosing a folder, or the two listings collide.
      const auto loads = [this] { return log().count(QStringLiteral("获取文件夹完毕。")); };
      const qsizetype before = loads();
      pages()->setCurrentIndex(1);
      if (!QTest::qWaitFor([&] { return loads() > before; }, 20000) || !listingDone()) return false;
    }
    auto* files = find<QTreeWidget>(main::kFileView);
    return QTest::qWaitFor([&] {
      if (browser::BrowserState::instance().listingBusy()) return false;
      const int index = folderIndex(folder);
      if (index < 0) return false;
      if (folders()->currentRow() != index) {
        folders()->setCurrentRow(index);
        return false;
      }
      for (int i = 0; i < files->topLevelItemCount(); ++i)
        if (files->topLevelItem(i)->text(0) == name) return true;
      return false;
    }, 20000);
  }

  void selectRow(int i) {
    queue().clearSelection();
    queue().select(i);
  }

  void addRows(const QStringList& paths) {
    transfer::qt::UploadPage::of(m_main)->addFiles(paths);
    QCOMPARE(queue().count(), paths.size());
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");  // no file manager to ask
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openLocal");
    m_main = e2e::showMainWindow();
    m_boxes = new e2e::BoxAnswerer;
    QVERIFY(e2e::logInThroughWindow(QStringLiteral("demo"), QStringLiteral("demo123")));
    m_boxes->take();
    QCOMPARE(q(app::controlText(m_main, QStringLiteral("服务器ip编辑框"))), q(net::hosts().ftpHost));
  }

  void cleanupTestCase() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    delete m_boxes;
    delete m_main;
  }

  void emptyQueueOnlyShowsTheCount() {
    uploadButton()->click();
    QVERIFY(uploadButton()->isEnabled());
    QCOMPARE(uploadTabs()->tabText(0), QStringLiteral("客户端上传(0)"));
  }

  // A name GBK cannot hold would reach the service without those characters:
  // that file is not queued and one message names them; the file beside it is.
  void namesGbkCannotHoldAreNotQueued() {
    const QString bad = localFile(QStringLiteral("表情😀_") + m_tag + QStringLiteral("한😀.bin"), "x");
    const QString good = localFile(QStringLiteral("good_") + m_tag + ".bin", "y");
    transfer::qt::UploadPage::of(m_main)->addFiles({bad, good});
    EXPECT_BOXES(QStringLiteral("文件名含有服务器不支持的字符：😀 한"));
    QCOMPARE(queue().count(), 1);
    QCOMPARE(queue().text(0, 0), good);
    selectRow(0);
    action(main::kDeleteUpload)->trigger();
    QCOMPARE(queue().count(), 0);
  }

  // 传输设置 from the page's button: each change is written to 配置.ini and
  // reaches the queues at once; the tray's item opens it again showing what
  // was saved.
  void transferSettingsAreSavedAndApplied() {
    const QString title = QString::fromUtf8(transferSettings::kTitle);
    auto spin = [](QWidget* dialog, const app::ControlName& n) { return app::control<QSpinBox>(dialog, n); };
    transfer::qt::TransferQueues& queues = *transfer::qt::TransferQueues::of(m_main);
    find<QPushButton>(main::kUploadSettingsButton)->click();
    QPointer<QWidget> dialog = app::findWindow(title);
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(spin(dialog, transferSettings::kUploadSlots)->value(), 2);
    QCOMPARE(spin(dialog, transferSettings::kDownloadSlots)->value(), 3);
    QCOMPARE(spin(dialog, transferSettings::kUploadRate)->text(), QStringLiteral("不限"));
    QCOMPARE(queues.uploads().maxActive(), 2);
    QCOMPARE(queues.downloads().maxActive(), 3);
    spin(dialog, transferSettings::kUploadSlots)->setValue(4);
    spin(dialog, transferSettings::kDownloadSlots)->setValue(1);
    spin(dialog, transferSettings::kDownloadRate)->setValue(200);
    QCOMPARE(queues.uploads().maxActive(), 4);
    QCOMPARE(queues.downloads().maxActive(), 1);
    QVERIFY(app::readTransferSettings(app::documentsFolder()) == (app::TransferSettings{4, 1, 0, 200}));
    dialog->close();
    QTRY_VERIFY(dialog.isNull());

    action(main::kTraySettings)->trigger();
    dialog = app::findWindow(title);
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(spin(dialog, transferSettings::kUploadSlots)->value(), 4);
    QCOMPARE(spin(dialog, transferSettings::kDownloadSlots)->value(), 1);
    QCOMPARE(spin(dialog, transferSettings::kDownloadRate)->value(), 200);
    find<QPushButton>(main::kUploadSettingsButton)->click();  // open already: the same one
    QCOMPARE(m_main->findChildren<QDialog*>(title).size(), 1);
    spin(dialog, transferSettings::kUploadSlots)->setValue(2);
    spin(dialog, transferSettings::kDownloadSlots)->setValue(3);
    spin(dialog, transferSettings::kDownloadRate)->setValue(0);
    QCOMPARE(queues.uploads().maxActive(), 2);
    QVERIFY(app::readTransferSettings(app::documentsFolder()) == app::TransferSettings{});
    dialog->close();
    QTRY_VERIFY(dialog.isNull());
  }

  // The queue's menu acts on the selected rows (none selected: nothing):
  // moves them and holds and resumes them (暂停 in 状态, with a mark); a
  // resumed row starts at once.
  void queueMenuMovesHoldsAndResumesTheSelectedRows() {
    QStringList paths;
    for (const char* n : {"m1", "m2", "m3"}) paths << localFile(QString::fromUtf8(n) + "_" + m_tag + ".bin", "abc");
    addRows(paths);
    QCOMPARE(queue().text(0, main::kUploadQueueSize), q(transfer::uploadSizeText(3)));
    const auto order = [&] {
      QStringList shown, queued;
      for (int i = 0; i < queue().count(); ++i) shown << queue().text(i, main::kUploadQueuePath);
      for (const auto& r : transfer::qt::TransferQueues::of(m_main)->uploads().rows())
        queued << QFile::decodeName(r.localPath.c_str());
      return shown == queued ? shown : QStringList{QStringLiteral("list and queue differ")};
    };
    queue().clearSelection();
    action(main::kUploadToBottom)->trigger();
    QCOMPARE(order(), paths);
    selectRow(2);
    action(main::kUploadUp)->trigger();
    QTRY_COMPARE(order(), (QStringList{paths[0], paths[2], paths[1]}));
    action(main::kUploadToTop)->trigger();  // the moved row is still the one selected
    QTRY_COMPARE(order(), (QStringList{paths[2], paths[0], paths[1]}));
    action(main::kUploadToBottom)->trigger();
    QTRY_COMPARE(order(), paths);

    queue().clearSelection();
    queue().select(0);
    queue().select(2);
    action(main::kHoldUpload)->trigger();
    QTRY_COMPARE(queue().text(2, main::kUploadQueueState), QStringLiteral("暂停"));
    QCOMPARE(queue().text(0, main::kUploadQueueState), QStringLiteral("暂停"));
    QCOMPARE(queue().text(1, main::kUploadQueueState), QString());
    QVERIFY(queue().marked(0));
    QVERIFY(!queue().marked(1));
    // 继续任务 on the idle queue sends the chosen row at once, and only it:
    // the queued row between stays for 上传, the other held row held.
    selectRow(0);
    const int finishedBefore = done()->topLevelItemCount();
    action(main::kResumeUpload)->trigger();
    QVERIFY(!uploadButton()->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return uploadButton()->isEnabled(); }, kWaitMs));
    QCOMPARE(done()->topLevelItemCount(), finishedBefore + 1);
    QCOMPARE(done()->topLevelItem(0)->text(0), paths[0]);
    QCOMPARE(queue().count(), 2);
    QCOMPARE(queue().text(0, main::kUploadQueuePath), paths[1]);
    QCOMPARE(queue().text(0, main::kUploadQueueState), QString());
    QVERIFY(!queue().marked(0));
    QCOMPARE(queue().text(1, main::kUploadQueueState), QStringLiteral("暂停"));
    queue().selectAll();
    action(main::kDeleteUpload)->trigger();
    QCOMPARE(queue().count(), 0);
  }

  // Content the service already holds goes up at once, into the folder
  // chosen with "上传文件到此处".
  void instantUploadIntoTheFolderPickedFromTheFolderMenu() {
    pages()->setCurrentIndex(1);
    QVERIFY(listingDone());
    const int index = folderIndex(QStringLiteral("图片"));
    QVERIFY(index >= 0);
    folders()->setCurrentRow(index);
    QVERIFY(listingDone());
    const int folderId = folders()->item(index)->data(Qt::UserRole).toInt();
    action(main::kUploadToFolder)->trigger();
    QCOMPARE(pages()->currentIndex(), 0);
    QCOMPARE(label(main::kUploadTargetLabel), QStringLiteral("上传至：图片"));
    QCOMPARE(app::Session::instance().currentFolderId(), folderId);
    auto* web = find<app::WebBrowser>(main::kWebUploadBrowser);
    QTRY_COMPARE_WITH_TIMEOUT(web->url().toString(),
                              q(net::hosts().webUploadHost) + "/sc/index2.php?zh=demo&ml=" + QString::number(folderId),
                              15000);

    const auto known = e2e::query("SELECT storage, md5, size FROM files WHERE owner=1001 AND storage!='' LIMIT 1");
    QCOMPARE(known.size(), std::size_t(1));
    const QByteArray bytes = readAll(serviceData() + "/storage/" + q(known[0][0]));
    QCOMPARE(md5(bytes), known[0][1]);
    const QString name = QStringLiteral("秒传文件") + m_tag + ".txt";
    const QString path = localFile(name, bytes);

    find<QCheckBox>(main::kInstantUploadCheck)->setChecked(true);
    const int finishedBefore = done()->topLevelItemCount();
    chooseFiles({path});
    QCOMPARE(queue().count(), 1);
    QCOMPARE(queue().text(0, 0), path);
    uploadButton()->click();
    QVERIFY(idle());
    QCOMPARE(label(main::kUploadStateLabel), QStringLiteral("状态：上传完成！文件为极速秒传！"));
    const auto row = fileRow(name);
    QVERIFY2(!row.empty(), qPrintable(name));
    QCOMPARE(done()->topLevelItemCount(), finishedBefore + 1);
    QTreeWidgetItem* finished = done()->topLevelItem(0);
    QCOMPARE(finished->text(0), path);
    QCOMPARE(finished->text(1), q(transfer::uploadSizeText(bytes.size())));
    QCOMPARE(finished->text(2), q(row[0]));
    QCOMPARE(finished->text(3), QStringLiteral("极速秒传"));
    QCOMPARE(row[1], std::to_string(folderId));
    QCOMPARE(row[3], known[0][1]);
    QCOMPARE(row[4], std::string("instant"));
    QCOMPARE(uploadTabs()->tabText(1), QStringLiteral("最近已完成(%1)").arg(finishedBefore + 1));
    QCOMPARE(uploadTabs()->tabText(0), QStringLiteral("客户端上传(0)"));
    QVERIFY(!QString::fromUtf8(readAll(serviceData() + "/ftp.log")).contains(m_tag + ".txt"));

    // 标签48 leads to the page 文件, where the folder lists the new file.
    QTest::mouseClick(find<QLabel>(main::kUploadTargetLabel), Qt::LeftButton);
    QCOMPARE(pages()->currentIndex(), 1);
    QVERIFY(listed(QStringLiteral("图片"), name));
  }

  // New content goes by FTP from the original file and is registered.
  void ftpUploadArrivesByteForByteAndIsRegistered() {
    // The target picked in the window 创建文件夹.
    QWidget* picker = app::createWindow(QStringLiteral("创建文件夹"));
    QVERIFY(picker);
    QPointer<QWidget> alive(picker);
    picker->show();
    auto* combo = app::control<QComboBox>(picker, createFolder::kFolderPicker);
    combo->setCurrentIndex(combo->findText(QStringLiteral("默认文件夹")));
    app::control<QPushButton>(picker, createFolder::kConfirmButton)->click();
    QTRY_VERIFY(alive.isNull() || !alive->isVisible());
    QCOMPARE(app::Session::instance().currentFolderId(), 0);
    QCOMPARE(label(main::kChosenFolderLabel), QStringLiteral("上传文件夹：默认文件夹"));
    pages()->setCurrentIndex(0);
    QCOMPARE(label(main::kUploadTargetLabel), QStringLiteral("上传至：默认文件夹"));

    const QByteArray bytes = binaryContent(300 * 1024 + 7);
    const QString name = QStringLiteral("ftp_new_") + m_tag + ".bin";
    const QString path = localFile(name, bytes);
    find<QCheckBox>(main::kInstantUploadCheck)->setChecked(true);  // offered first, not taken
    chooseFiles({path});
    uploadButton()->click();
    QVERIFY(!uploadButton()->isEnabled());
    QVERIFY(idle());
    QCOMPARE(label(main::kUploadStateLabel), QStringLiteral("状态：文件上传完成！"));
    const auto row = fileRow(name);
    QVERIFY2(!row.empty(), qPrintable(name));
    QCOMPARE(row[1], std::string("0"));
    QCOMPARE(row[2], std::to_string(bytes.size()));
    QCOMPARE(row[3], md5(bytes));
    QCOMPARE(row[4], std::string("client"));
    QCOMPARE(md5(readAll(serviceData() + "/storage/" + q(row[5]))), md5(bytes));
    QCOMPARE(typeBeforeStor(name + ".tnwklswj"), QStringLiteral("TYPE I"));
    QVERIFY(!QFile::exists(serviceData() + "/ftp/" + name + ".tnwklswj"));
    QVERIFY(QDir::temp().entryList({QStringLiteral("*.tnwklswj")}, QDir::Files).isEmpty());
    QTreeWidgetItem* finished = done()->topLevelItem(0);
    QCOMPARE(finished->text(2), q(row[0]));
    QCOMPARE(finished->text(3), QStringLiteral("常规上传"));
    QCOMPARE(finished->text(1), q(transfer::uploadSizeText(bytes.size())));
    QCOMPARE(label(main::kUploadSizeLabel), QStringLiteral("文件大小：300KB"));
    QCOMPARE(label(main::kUploadProgressLabel), QStringLiteral("进度：0%"));
    QCOMPARE(label(main::kUploadSpeedLabel), QStringLiteral("上传速度：0KB"));
    QVERIFY(log().contains(QStringLiteral("开始上传文件") + path));
    QVERIFY(listed(QStringLiteral("默认文件夹"), name));
    pages()->setCurrentIndex(0);
  }

  // An FTP server that hangs up during the login pauses the queue: no row
  // fails or leaves it, and the rows go once the server answers again. While
  // it runs, the selected queued rows can be deleted and files dropped on the
  // queue, but the running row stays.
  void unreachableServerPausesAndRowsGoOnceItIsBack() {
    find<QCheckBox>(main::kInstantUploadCheck)->setChecked(false);
    // One row at a time, so the order the rows reach the service is the queue's.
    auto& uploads = transfer::qt::TransferQueues::of(m_main)->uploads();
    const int cap = uploads.maxActive();
    uploads.setMaxActive(1);
    struct Slots {
      transfer::UploadQueue& q;
      int n;
      ~Slots() { q.setMaxActive(n); }
    } restoreSlots{uploads, cap};
    const QString realFtp = q(net::hosts().ftpHost);
    SilentFtp silent(realFtp);
    // The member's FTP address as read at login: the rows queued now keep it.
    app::setControlText(m_main, QStringLiteral("服务器ip编辑框"), app::toGbk(silent.host()));
    transfer::qt::UploadPage::of(m_main)->readFtpAccount();
    struct Restore {
      QWidget* main;
      QString host;
      ~Restore() {
        app::setControlText(main, QStringLiteral("服务器ip编辑框"), app::toGbk(host));
        transfer::qt::UploadPage::of(main)->readFtpAccount();
      }
    } restore{m_main, realFtp};
    QStringList names, paths;
    for (const char* n : {"a_paused", "b_first", "c_deleted", "d_dropped"}) {
      names << QString::fromUtf8(n) + "_" + m_tag + ".bin";
      paths << localFile(names.back(), binaryContent(40000 + names.size()));
    }
    // A partial file of an earlier attempt lies on the server: it must never
    // be registered as the upload.
    writeAll(serviceData() + "/ftp/" + names[0] + ".tnwklswj", "partial");
    const int finishedBefore = done()->topLevelItemCount();
    chooseFiles(paths.mid(0, 3));
    QCOMPARE(uploadTabs()->tabText(0), QStringLiteral("客户端上传(3)"));
    uploadButton()->click();
    QVERIFY(!uploadButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(silent.connections(), 1, 15000);

    selectRow(0);
    action(main::kDeleteUpload)->trigger();
    EXPECT_BOXES(QStringLiteral("该任务正在执行中，暂时无法删除。"));
    QCOMPARE(queue().count(), 3);
    queue().clearSelection();
    action(main::kDeleteUpload)->trigger();  // nothing selected: nothing happens
    QCOMPARE(queue().count(), 3);
    selectRow(2);
    queue().view()->selectionModel()->setCurrentIndex(queue().at(1), QItemSelectionModel::NoUpdate);  // current is not selected
    action(main::kDeleteUpload)->trigger();
    QCOMPARE(queue().count(), 2);
    QCOMPARE(queue().text(1, 0), paths[1]);
    drop({paths[3]});
    QCOMPARE(queue().count(), 3);
    QCOMPARE(queue().text(2, 0), paths[3]);

    silent.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(label(main::kUploadStateLabel).startsWith(QStringLiteral("状态：无法连接服务器")), 15000);
    QCOMPARE(queue().count(), 3);  // nothing drained
    QVERIFY(idle());
    QCOMPARE(label(main::kUploadStateLabel), QStringLiteral("状态：文件上传完成！"));
    QVERIFY(!hasRow(names[2]));
    const auto a = fileRow(names[0]), b = fileRow(names[1]), d = fileRow(names[3]);
    QVERIFY(!a.empty() && !b.empty() && !d.empty());
    QCOMPARE(a[3], md5(readAll(paths[0])));
    QVERIFY(std::stoll(a[0]) < std::stoll(b[0]) && std::stoll(b[0]) < std::stoll(d[0]));
    QCOMPARE(done()->topLevelItemCount(), finishedBefore + 3);
    QCOMPARE(done()->topLevelItem(0)->text(0), paths[3]);
    QVERIFY(log().contains(QStringLiteral("：无法连接服务器，上传暂停：") + paths[0]));
    QCOMPARE(uploadTabs()->tabText(1), QStringLiteral("最近已完成(%1)").arg(finishedBefore + 3));

    // With nothing running, the first row can go.
    drop({paths[2]});
    selectRow(0);
    action(main::kDeleteUpload)->trigger();
    QCOMPARE(queue().count(), 0);
    QCOMPARE(m_boxes->size(), 0);
  }

  // A row that fails stays in the queue with its reason and is tried again
  // at the next 上传: a file missing at its turn, a registration refused.
  void failedRowsStayAndAreTriedAgain() {
    const QString late = m_files.filePath(QStringLiteral("late_") + m_tag + ".bin");
    const QString refused = localFile(QStringLiteral("refused_") + m_tag + ".bin", "refused");
    const int finishedBefore = done()->topLevelItemCount();
    addRows({late});
    // Each row keeps the folder shown when it was queued, whatever is shown when it starts.
    app::Session::instance().setCurrentFolderId(999999);  // a folder the service does not have
    transfer::qt::UploadPage::of(m_main)->addFiles({refused});
    app::Session::instance().setCurrentFolderId(0);
    QCOMPARE(queue().count(), 2);
    uploadButton()->click();
    QVERIFY(QTest::qWaitFor([&] { return uploadButton()->isEnabled(); }, kWaitMs));
    QCOMPARE(label(main::kUploadStateLabel), QStringLiteral("状态：上传失败，文件被使用中！"));
    QCOMPARE(queue().count(), 2);
    for (int i = 0; i < 2; ++i) {
      QVERIFY(queue().marked(i));
      QVERIFY(!queue().toolTip(i, 0).isEmpty());
    }
    QCOMPARE(queue().toolTip(1, 0), QStringLiteral("上传失败，文件被使用中"));
    QCOMPARE(done()->topLevelItemCount(), finishedBefore);

    writeAll(late, "here now");
    selectRow(1);
    action(main::kDeleteUpload)->trigger();
    uploadButton()->click();
    QVERIFY(idle());
    QCOMPARE(label(main::kUploadStateLabel), QStringLiteral("状态：文件上传完成！"));
    QVERIFY(hasRow(QFileInfo(late).fileName()));
    QVERIFY(!hasRow(QFileInfo(refused).fileName()));
  }

  // The finished list's menu: the file, its folder, its links.
  // A folder dropped on the queue goes up whole (a folder the service would
  // refuse is named first and left out, once the member says yes), and
  // 下载该文件夹 brings it back down as the same tree, the empty folder too.
  void aFolderGoesUpWholeAndComesBackWhole() {
    const QString name = QStringLiteral("树 ") + m_tag;
    const QString top = m_files.filePath(name);
    const QMap<QString, QByteArray> layout{{QStringLiteral("a.txt"), "alpha"},
                                           {QStringLiteral("子 目录/b.bin"), QByteArray(70000, 'b')},
                                           {QStringLiteral("子 目录/深/零.bin"), QByteArray()}};
    for (auto it = layout.begin(); it != layout.end(); ++it) {
      QVERIFY(QDir().mkpath(QFileInfo(top + "/" + it.key()).absolutePath()));
      writeAll(top + "/" + it.key(), it.value());
    }
    QVERIFY(QDir().mkpath(top + QStringLiteral("/R&D")));
    writeAll(top + QStringLiteral("/R&D/x.txt"), "never sent");
    QVERIFY(QDir().mkpath(top + QStringLiteral("/空")));
    drop({top});
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() >= 1; }, 10000));
    QVERIFY(m_boxes->take().first().contains(QStringLiteral("R&D")));
    QVERIFY(QTest::qWaitFor([&] { return queue().count() > 0; }, 10000));
    uploadButton()->click();
    QVERIFY(idle());
    const auto made = e2e::query("SELECT id FROM folders WHERE owner=1001 AND parent=0 AND name='" +
                                 name.toStdString() + "'");
    QCOMPARE(made.size(), std::size_t{1});
    QCOMPARE(e2e::query("SELECT id FROM folders WHERE name='R&D'").size(), std::size_t{0});

    // Down: the folder chosen in the folder list, into a folder of its own.
    QTemporaryDir down;
    auto* saveFolder = find<QLineEdit>(main::kSaveFolderBox);
    saveFolder->setText(down.path());
    Q_EMIT saveFolder->editingFinished();
    action(main::kRefreshFolders)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return folderIndex(name) >= 0 && listingDone(); }, 20000));
    folders()->setCurrentRow(folderIndex(name));
    action(main::kDownloadCloudFolder)->trigger();
    auto* start = find<QPushButton>(main::kStartDownloadButton);
    start->click();
    auto& downloads = transfer::qt::TransferQueues::of(m_main)->downloads();
    QVERIFY(QTest::qWaitFor([&] { return !downloads.running() && downloads.rows().empty(); }, kWaitMs));
    for (auto it = layout.begin(); it != layout.end(); ++it) {
      QFile f(down.path() + "/" + name + "/" + it.key());
      QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
      QCOMPARE(f.readAll(), it.value());
    }
    QVERIFY(QFileInfo(down.path() + "/" + name + QStringLiteral("/空")).isDir());
    QVERIFY(!QFileInfo::exists(down.path() + "/" + name + QStringLiteral("/R&D")));
  }

  void finishedListMenu() {
    QVERIFY(done()->topLevelItemCount() > 0);
    QTreeWidgetItem* row = done()->topLevelItem(0);
    done()->setCurrentItem(row);  // current and selected
    m_opened.clear();
    action(main::kOpenUploadedFile)->trigger();
    QTRY_COMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened.takeFirst(), QUrl::fromLocalFile(row->text(0)));
    action(main::kOpenUploadedFolder)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 15000);
    QCOMPARE(m_opened.takeFirst(), QUrl::fromLocalFile(QFileInfo(row->text(0)).absolutePath()));
    action(main::kCopyUploadedShareLink)->trigger();
    EXPECT_BOXES(QStringLiteral("复制成功！"));
    QCOMPARE(QGuiApplication::clipboard()->text(), q(net::hosts().mainHost) + "/ym.php?pid=" + row->text(2));
  }
};

QTEST_MAIN(UploadE2E)
#include "upload_e2e_test.moc"
