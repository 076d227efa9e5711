// The shell's services on a real main window: log lines, message boxes,
// workers and the GUI thread, installers, page loaders, tray events, skins.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fstream>
#include <sstream>

#include "app/local_settings.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue_rows.h"
#include "app/qt/keyring.h"
#include "app/qt/main_window.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/text.h"
#include "standin_host.h"
#include "test_support.h"

using namespace tarnwick::app;

class ShellTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  MainWindow* m_main = nullptr;
  // Every host: the login window's installers visit the service and run the
  // update check, and none of that may leave the machine.
  testsupport::StandInHost m_host;

  QString logText(const char* box) {
    return control<QPlainTextEdit>(m_main, QString::fromUtf8(box))->toPlainText();
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    // No keyring: the remembered password stays in the file (and the user's own keyring is left alone).
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    m_host.setHandler([](const testsupport::StandInHost::Seen& s) {
      return s.target == "/ge.txt" ? std::string("118|http://127.0.0.1/new.exe") : std::string();
    });
    m_host.pointAllHostsHere();
    registerModules();
    m_main = new MainWindow;
    runWindowInstallers(m_main);
    QCOMPARE(mainWindow(), m_main);
    QCOMPARE(findWindow(m_main->objectName()), m_main);
  }
  void cleanupTestCase() {
    delete m_main;
    setLogClock(nullptr);
  }

  void gbkRoundTripAtTheWidgetBorder() {
    const QString s = QStringLiteral("帐号：张三 abc");
    const std::string gbk = toGbk(s);
    QCOMPARE(gbk, tarnwick::net::fromUtf8(s.toStdString()));
    QCOMPARE(fromGbk(gbk), s);
  }

  void clipboardTakesGbkFromAWorker() {
    startWorker([] { copyToClipboard(tarnwick::net::fromUtf8("分享链接 http://x/1")); });
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("分享链接 http://x/1"));
  }

  void stampLogTime_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("09:05:03") << QTime(9, 5, 3) << QStringLiteral("9时5分3秒");
    QTest::newRow("14:20:00") << QTime(14, 20, 0) << QStringLiteral("14时20分");
    QTest::newRow("10:00:00") << QTime(10, 0, 0) << QStringLiteral("10时");
    QTest::newRow("10:00:07") << QTime(10, 0, 7) << QStringLiteral("10时0分7秒");
    QTest::newRow("midnight") << QTime(0, 0, 0) << QString();
  }
  void stampLogTime() {
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    setLogClock([time] { return QDateTime(QDate(2026, 12, 31), time); });
    tarnwick::app::stampLogTime();
    QCOMPARE(fromGbk(Session::instance().get().logTime), expected);
  }

  void logLinesAppendAtTheEnd() {
    setLogClock([] { return QDateTime(QDate(2026, 1, 2), QTime(10, 0, 0)); });
    auto* box = control<QPlainTextEdit>(m_main, QStringLiteral("编辑框48"));
    box->setPlainText(QStringLiteral("earlier\n"));
    box->moveCursor(QTextCursor::Start);  // the caret elsewhere must not matter
    logLine(names::main::kStatusLog, tarnwick::net::fromUtf8("： 初始化软件中，请稍后……！"));
    appendLog(names::main::kStatusLog, "tail\r\n");
    QCOMPARE(logText("编辑框48"), QStringLiteral("earlier\n10时： 初始化软件中，请稍后……！\ntail\n"));
    QCOMPARE(controlText(m_main, QStringLiteral("编辑框48")), std::string("earlier\r\n") +
             tarnwick::net::fromUtf8("10时： 初始化软件中，请稍后……！") + "\r\ntail\r\n");
  }

  // Both log boxes drop their oldest lines beyond the bound, however the
  // lines arrive.
  void logBoxesKeepTheNewestLines() {
    for (const ControlName& box : {names::main::kLogBox, names::main::kStatusLog}) {
      auto* edit = control<QPlainTextEdit>(m_main, box);
      edit->clear();
      std::string many;
      for (int i = 0; i < kLogBoxLines + 100; ++i) many += "line " + std::to_string(i) + "\r\n";
      appendLog(box, many);
      for (int i = 0; i < 50; ++i) logLine(box, "late " + std::to_string(i));
      QVERIFY(edit->blockCount() <= kLogBoxLines);
      const QString text = edit->toPlainText();
      QVERIFY(!text.startsWith(QStringLiteral("line 0\n")));
      QVERIFY(text.contains(QStringLiteral("line %1\n").arg(kLogBoxLines + 99)));
      QVERIFY(text.endsWith(QStringLiteral("late 49\n")));
      edit->clear();
    }
  }

  void messageBoxesAreTaskModalWithCaption() {
    auto seen = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::Ok, seen);
    showMessage(QStringLiteral("登录失败，帐号密码错误！"));
    QCOMPARE(seen->caption, QStringLiteral("信息："));
    QCOMPARE(seen->objectName, QStringLiteral("信息："));
    QCOMPARE(seen->text, QStringLiteral("登录失败，帐号密码错误！"));
    QCOMPARE(seen->modality, Qt::ApplicationModal);

    testsupport::answerNextBox(QMessageBox::Yes);
    QVERIFY(askYesNo(QStringLiteral("yes?")));
    testsupport::answerNextBox(QMessageBox::No, seen);
    QVERIFY(!askYesNo(QStringLiteral("no?"), QStringLiteral("提示")));
    QCOMPARE(seen->caption, QStringLiteral("提示"));
  }

  void workersHandTheirWritesToTheGuiThread() {
    std::atomic<bool> workerOffGui{false};
    std::atomic<bool> answered{false};
    QThread* gui = QThread::currentThread();
    testsupport::answerNextBox(QMessageBox::Yes);
    startWorker([&, gui] {
      workerOffGui = QThread::currentThread() != gui;
      // A box asked from a worker is shown by the GUI thread; the worker waits.
      answered = askYesNo(QStringLiteral("from a worker"));
      std::string url;
      callOnGuiAndWait([&] { url = controlText(mainWindow(), QStringLiteral("编辑框13")); });
      setControlText(mainWindow(), QStringLiteral("编辑框3"), url + "-seen");
      runOnGui([] { appendLog(names::main::kLogBox, "worker line\r\n"); });
    });
    QTRY_COMPARE(controlText(m_main, QStringLiteral("编辑框3")), std::string("123-seen"));
    QTRY_COMPARE(logText("日志编辑框"), QStringLiteral("worker line\n"));
    QVERIFY(workerOffGui);
    QVERIFY(answered);
  }

  // Loaders run on the GUI thread (they start their own jobs).
  void tabChangeRunsThePageLoader() {
    std::atomic<int> runs{0};
    std::atomic<bool> onGui{false};
    QThread* gui = QThread::currentThread();
    setPageLoader(QStringLiteral("个人"), [&, gui] {
      onGui = QThread::currentThread() == gui;
      ++runs;
    });
    auto* tabs = control<QTabWidget>(m_main, QStringLiteral("选择夹1"));
    tabs->setCurrentIndex(2);
    QTRY_COMPARE(runs.load(), 1);
    QVERIFY(onGui);
    tabs->setCurrentIndex(3);  // 下线: no loader, nothing happens
    tabs->setCurrentIndex(2);
    QTRY_COMPARE(runs.load(), 2);
    QTest::qWait(50);
    QCOMPARE(runs.load(), 2);
  }

  void installersRunOnEachNewWindow() {
    int runs = 0;
    addWindowInstaller(QStringLiteral("公告"), [&](QWidget* w) {
      ++runs;
      setControlText(w, QStringLiteral("编辑框1"), "copied");
    });
    QWidget* w = openWindow(QStringLiteral("公告"));
    QVERIFY(w);
    QCOMPARE(findWindow(QStringLiteral("公告")), w);
    QCOMPARE(controlText(w, QStringLiteral("编辑框1")), std::string("copied"));
    QCOMPARE(w->parentWidget(), m_main);
    w->close();
    QTRY_VERIFY(findWindow(QStringLiteral("公告")) == nullptr);
    QTimer::singleShot(0, [] {
      if (QWidget* d = findWindow(QStringLiteral("公告"))) d->close();
    });
    openWindowModal(QStringLiteral("公告"));
    QCOMPARE(runs, 2);
  }

  void trayEvents() {
    m_main->hide();
    m_main->move(0, 0);
    m_main->trayEvent(2);
    QVERIFY(!m_main->isVisible());
    m_main->trayEvent(1);
    QVERIFY(m_main->isVisible());
    const QRect screen = m_main->screen()->availableGeometry();
    QVERIFY(qAbs(m_main->frameGeometry().center().x() - screen.center().x()) <= 2);
    m_main->trayEvent(3);
    auto* menu = m_main->findChild<QMenu*>(QStringLiteral("托盘"));
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    // Hidden to the tray; without a notification area (offscreen) a hidden
    // window could never come back, so it is minimised instead.
    hideMainWindowToTray();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
      QVERIFY(!m_main->isVisible());
    } else {
      QVERIFY(m_main->isVisible());
      QVERIFY(m_main->isMinimized());
      m_main->trayEvent(1);
      QVERIFY(!m_main->isMinimized());
      QVERIFY(m_main->isVisible());
    }
    // Without a notification area there is no icon, and nothing breaks.
    m_main->showTrayIcon();
    QCOMPARE(m_main->trayIconShown(), QSystemTrayIcon::isSystemTrayAvailable());
    m_main->removeTrayIcon();
    QVERIFY(!m_main->trayIconShown());
  }

  void skins() {
    applySkin(1);
    const QString one = qApp->styleSheet();
    QVERIFY(!one.isEmpty());
    applySkin(7);
    const QString seven = qApp->styleSheet();
    QVERIFY(!seven.isEmpty());
    QVERIFY(seven != one);
    applySkin(0);
    applySkin(34);
    QCOMPARE(qApp->styleSheet(), seven);
    applySkin(1);
  }

  void skinSelectorsFollowTheStoredSetting() {
    const auto docs = documentsFolder();
    QVERIFY(QString::fromStdString(docs.string()).startsWith(m_home.path()));
    std::filesystem::remove(skinSettingsFile(docs));
    QWidget* login = createWindow(QStringLiteral("Tarnwick登录"));  // runs fillSkinSelectors
    auto* loginBox = control<QComboBox>(login, QStringLiteral("组合框1"));
    auto* mainBox = control<QComboBox>(m_main, QStringLiteral("组合框3"));
    QCOMPARE(loginBox->count(), 33);
    QCOMPARE(mainBox->count(), 33);
    QCOMPARE(loginBox->currentText(), QStringLiteral("1"));
    QCOMPARE(mainBox->currentText(), QStringLiteral("1"));
    QVERIFY(!std::filesystem::exists(skinSettingsFile(docs)));  // filling writes nothing
    mainBox->setCurrentIndex(4);
    QCOMPARE(readSkinSetting(docs), std::string("5"));
    QCOMPARE(loginBox->currentIndex(), 0);  // the other selector is left alone
    loginBox->setCurrentIndex(8);
    QCOMPARE(readSkinSetting(docs), std::string("9"));
    // Opening the login window again selects the stored skin in both.
    Session::instance().update([](SessionData& d) { d.accountName = "someone"; });  // closing must not exit
    delete login;
    login = createWindow(QStringLiteral("Tarnwick登录"));
    QCOMPARE(control<QComboBox>(login, QStringLiteral("组合框1"))->currentText(), QStringLiteral("9"));
    QCOMPARE(mainBox->currentText(), QStringLiteral("9"));
    QCOMPARE(mainBox->count(), 33);
    delete login;
    QVERIFY(!exitRequested());
  }

  // One terms text, whichever way the window is opened.
  void termsWindowShowsTheOneText() {
    QWidget* terms = createWindow(QStringLiteral("使用条款"));
    QVERIFY(terms);
    QCOMPARE(controlText(terms, QStringLiteral("编辑框1")), tarnwick::net::fromUtf8(kTermsOfUseText));
    delete terms;
  }

  void rememberedLoginFillsTheLoginWindow() {
    const auto docs = documentsFolder();
    rememberLogin(true, tarnwick::net::fromUtf8("张三"), "pw");
    // The file is written once the (missing) keyring has answered.
    QTRY_VERIFY(readRememberedLogin(docs).password == "pw");
    const int checks = m_host.count("/ge.txt");
    QWidget* login = createWindow(QStringLiteral("Tarnwick登录"));
    // The login window's visit and update check go to the stand-in host.
    QTRY_COMPARE(m_host.count("/ge.txt"), checks + 1);
    QVERIFY(m_host.count("/guanli.php?pid=1") >= checks + 1);
    fillRememberedLogin(login);
    QCOMPARE(controlText(login, QStringLiteral("编辑框1")), tarnwick::net::fromUtf8("张三"));
    QCOMPARE(controlText(login, QStringLiteral("编辑框2")), std::string("pw"));
    delete login;
    rememberLogin(false, "", "");
    QVERIFY(!std::filesystem::exists(credentialsFile(docs)));
  }

  // An unticked attempt right after a ticked one decides, whenever the
  // keyring answers the first: its late answer must not bring the file back.
  void laterLoginAttemptDecides() {
    const auto file = credentialsFile(documentsFolder());
    rememberLogin(true, "a", "pw");
    rememberLogin(false, "a", "pw");
    QVERIFY(!std::filesystem::exists(file));
    // Keychain jobs answer in order: once this one has, so has the write.
    bool answered = false;
    readKeyringPassword("a", [&answered](std::optional<std::string>, QString) { answered = true; });
    QTRY_VERIFY(answered);
    QVERIFY(!std::filesystem::exists(file));
  }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
