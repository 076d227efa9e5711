// The start routine end to end against the local service: no connection,
// login window left without a login, and a full run through the close query
// (hide to tray, pending downloads, quit with the visit of /guanli.php).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/shell_internal.h"
#include "app/qt/start.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/hosts.h"
#include "transfer/qt/download_page.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/transfer_queues.h"
#include "test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::app;

namespace {

const QString kLogin = QStringLiteral("Tarnwick登录");

int visibleWindows() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) ++n;
  return n;
}

// The service's request log.
QString serviceLog() {
  QFile f(qEnvironmentVariable("TARNWICK_SERVICE_DATA") + QStringLiteral("/http.log"));
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Runs step on the GUI thread every 20 ms until it returns true.
void whenReady(std::function<bool()> step) {
  auto* t = new QTimer;
  t->setInterval(20);
  QObject::connect(t, &QTimer::timeout, [t, step] {
    if (!step()) return;
    t->stop();
    t->deleteLater();
  });
  t->start();
}

QWidget* shownLogin() {
  QWidget* w = findWindow(kLogin);
  return w && w->isVisible() ? w : nullptr;
}

// Times the member left (the transfers were stopped and put away).
int g_leaves = 0;

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  QByteArray m_mainHost;

 private slots:
  void initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("TARNWICK_SERVICE_DATA"), "runs with the local service");
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    m_mainHost = qgetenv("TARNWICK_MAIN_HOST");
    addMemberHooks(nullptr, [] { ++g_leaves; });
  }

  void noConnectionShowsTheMessageAndEnds() {
    // A port bound but not listening: held for this test, every connection refused.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0);
    QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
    const quint16 closed = ntohs(addr.sin_port);
    qputenv("TARNWICK_MAIN_HOST", "http://127.0.0.1:" + QByteArray::number(closed));
    net::reloadHosts();
    auto seen = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::Ok, seen);
    QCOMPARE(startClient(), 0);
    QCOMPARE(seen->text, QStringLiteral("由于未检测到互联网连接，无法使用软件。"));
    QCOMPARE(seen->caption, QStringLiteral("信息："));
    QVERIFY(mainWindow() == nullptr);
    QCOMPARE(visibleWindows(), 0);
    qputenv("TARNWICK_MAIN_HOST", m_mainHost);
    net::reloadHosts();
    ::close(fd);
  }

  // A host that takes the connection and never answers: the window stays
  // responsive while the connection test waits, and the message comes when
  // the test's own deadline has passed.
  void hangingHostKeepsTheGuiAliveThenShowsTheMessage() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0);
    QVERIFY(::listen(fd, 8) == 0);  // never accepted: the request hangs
    QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
    qputenv("TARNWICK_MAIN_HOST", "http://127.0.0.1:" + QByteArray::number(ntohs(addr.sin_port)));
    net::reloadHosts();
    int ticks = 0;
    int ticksAtMessage = -1;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(100);
    whenReady([&] {
      if (!qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) return false;
      ticksAtMessage = ticks;
      return true;
    });
    auto seen = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::Ok, seen, 60000);
    QCOMPARE(startClient(), 0);
    QCOMPARE(seen->text, QStringLiteral("由于未检测到互联网连接，无法使用软件。"));
    QVERIFY2(ticksAtMessage > 5, qPrintable(QString::number(ticksAtMessage)));  // the loop ran meanwhile
    QVERIFY(mainWindow() == nullptr);
    qputenv("TARNWICK_MAIN_HOST", m_mainHost);
    net::reloadHosts();
    ::close(fd);
  }

  void leavingTheLoginWindowEndsTheProgram() {
    bool mainShown = false;
    whenReady([&] {
      QWidget* login = shownLogin();
      if (!login) return false;
      mainShown = mainWindow()->isVisible();
      login->close();
      return true;
    });
    QCOMPARE(startClient(), 0);
    QVERIFY(!mainShown);
    QVERIFY(exitRequested());
    QCOMPARE(visibleWindows(), 0);
  }

  void fullRunHidesToTrayAndQuitsThroughTheCloseQuery() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const int leavesBefore = g_leaves;
    QStringList failures;
    auto check = [&](bool ok, const QString& what) {
      if (!ok) failures << what;
    };
    // Stand-in for the login: fill the session, show the main window, close the login window.
    whenReady([&] {
      QWidget* login = shownLogin();
      if (!login) return false;
      Session::instance().update([](SessionData& d) {
        d.accountName = "demo";
        d.userId = "1";
      });
      memberLoggedIn();
      showMainWindowCentred();
      login->close();
      return true;
    });
    int stage = 0;
    int polls = 0;
    whenReady([&] {
      MainWindow* w = theMainWindow();
      if (!w || !w->isVisible() || findWindow(kLogin)) return false;
      QWidget* m = w;
      if (stage == 0) {
        // The upload page is loaded by the web view from the service.
        if (!serviceLog().contains(QStringLiteral("GET /sc/index2.php?zh=demo&ml=0 ")) && ++polls < 1000)
          return false;
        check(controlText(m, "编辑框49") == toGbk(desktop + "/"), "desktop folder");
        check(controlText(m, "编辑框3") == net::hosts().mainHost + "/wdwj.php?pid=1", "listing address");
        check(fromGbk(controlText(m, "编辑框48")).contains(QStringLiteral("： 初始化软件中，请稍后……！")), "log");
        auto* browser = control<WebBrowser>(m, "超文本浏览框1");
        check(browser && browser->hasView() && polls < 1000, "upload page");
        check(Session::instance().get().startupLogged, "startupLogged");
        ++stage;
        testsupport::answerNextBox(QMessageBox::Yes);  // 是否最小化到托盘图标？ -> hide
        w->close();
        return false;
      }
      return true;
    });
    whenReady([&] {
      MainWindow* w = theMainWindow();
      // Hidden to the tray, or minimised where there is no notification area.
      const bool away = QSystemTrayIcon::isSystemTrayAvailable() ? !w->isVisible() : w->isMinimized();
      if (stage != 1 || !w || !away) return false;
      check(!exitRequested(), "hidden, still running");
      w->trayEvent(1);
      check(w->isVisible() && !w->isMinimized(), "tray click shows");
      // A pending download: the second question appears; No keeps the program.
      tarnwick::transfer::qt::TransferQueues::of(w)->downloads().add("7", "a.bin", "1KB", "/tmp/");
      tarnwick::transfer::qt::DownloadPage::of(w)->model()->refresh();
      auto seen = std::make_shared<testsupport::SeenBox>();
      testsupport::answerNextBox(QMessageBox::No);
      QTimer::singleShot(300, [seen] { testsupport::answerNextBox(QMessageBox::No, seen); });
      w->close();
      check(w->isVisible() && !exitRequested() && g_leaves == leavesBefore, "No keeps it open");
      check(seen->text == QStringLiteral("发现有未完成的下载任务，是否退出，如果退出，将停止并删除该文件。"),
            "pending question");
      stage = 2;
      testsupport::answerNextBox(QMessageBox::No);
      QTimer::singleShot(300, [] { testsupport::answerNextBox(QMessageBox::Yes); });
      w->close();  // quits
      return true;
    });
    const int code = startClient();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ")));
    QCOMPARE(stage, 2);
    QCOMPARE(code, 0);
    QCOMPARE(g_leaves, leavesBefore + 1);  // quitting stops the transfers once
    QTRY_VERIFY(serviceLog().contains(QStringLiteral("GET /guanli.php?pid=1 ")));
    QVERIFY(mainWindow() == nullptr);
  }

  void noWithoutPendingDownloadsQuitsAtOnce() {
    resetExitRequest();
    resumeWorkers();  // the last start routine stopped them at its end
    const int leavesBefore = g_leaves;
    const int visitsBefore = serviceLog().count(QStringLiteral("GET /guanli.php?pid=1 "));
    auto* w = new MainWindow;
    w->show();
    auto first = std::make_shared<testsupport::SeenBox>();
    auto second = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::No, first);
    QTimer::singleShot(200, [second] { testsupport::answerNextBox(QMessageBox::Yes, second, 1000); });
    w->close();
    QCOMPARE(first->text, QStringLiteral("是否最小化到托盘图标？"));
    QTRY_VERIFY(exitRequested());  // once the visit's reply is in
    QCOMPARE(requestedExitCode(), 0);
    QCOMPARE(g_leaves, leavesBefore + 1);  // every way out stops the transfers the same way
    QTRY_COMPARE(serviceLog().count(QStringLiteral("GET /guanli.php?pid=1 ")), visitsBefore + 1);
    QTest::qWait(1400);  // no second question was asked
    QVERIFY(second->text.isEmpty());
    delete w;
  }
};

int main(int argc, char** argv) {
  prepareApplication();
  QApplication a(argc, argv);
  StartupTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "startup_test.moc"
