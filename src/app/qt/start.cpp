// The start routine and the main window's creation steps.
#include "app/qt/start.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <QTabWidget>
#include <QThread>
#include <QUrl>
#include <unistd.h>

#include "app/member_pages.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/log.h"
#include "app/qt/main_window.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/qt/shell_internal.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::app {

using namespace names::main;

namespace {

const QString kLoginTitle = QString::fromUtf8(names::login::kTitle);

// Opens at once on the GUI thread, so an address opened just before the
// program ends (the update check) is not lost in the event queue.
void installBrowserOpener() {
  net::setBrowserOpener([](const std::string& url) {
    const QUrl target = QUrl::fromUserInput(fromGbk(url));
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
      QDesktopServices::openUrl(target);
    else
      runOnGui([target] { QDesktopServices::openUrl(target); });
  });
}

// The desktop folder with a trailing separator.
QString desktopFolder() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (dir.isEmpty()) dir = QDir::homePath();
  if (!dir.endsWith(u'/')) dir += u'/';
  return dir;
}

void onUploadPageCompleted() {
  if (Session::instance().get().startupLogged) return;
  logLine(kStatusLog,
          net::fromUtf8("：初始化软件成功！如果文件无法批量上传，请安装Adobe Flash Player并启用。"));
  if (auto* tabs = control<QTabWidget>(mainWindow(), kPages)) tabs->setEnabled(true);
  Session::instance().update([](SessionData& s) { s.startupLogged = true; });
}

// After the first successful login: tray icon, start-up log line, page
// selector (the login itself has pointed the upload page and the listing
// address at the member).
void finishStartup(MainWindow* w) {
  w->showTrayIcon();
  logLine(kStatusLog, net::fromUtf8("： 初始化软件中，请稍后……！"));
  if (auto* pages = control<QComboBox>(w, kPageSelector); pages && pages->count() > 0)
    pages->setCurrentIndex(0);
  Session::instance().update([](SessionData& d) { d.startupLogged = true; });
}

}  // namespace

void memberLoggedIn() {
  QWidget* w = mainWindow();
  if (!w) return;
  const SessionData s = Session::instance().get();
  navigateBrowser(w, kWebUploadBrowser,
                  QString::fromStdString(webUploadPageUrl(net::hosts().webUploadHost, s.accountName)));
  setControlText(w, kListingAddress, memberListingUrl(net::hosts().mainHost, s.userId));
  runMemberJoinedHooks();
}

// The shell's own handlers, registered before those of the feature modules.
void registerShellHandlers() {
  addWindowInstaller(mainWindowTitle(), [](QWidget* main) {
    connectMainSkinSelector(main);
    boundLogBoxes(main);
  });
  addWindowInstaller(kLoginTitle, [](QWidget* login) {
    fillSkinSelectors(login);
    // Leaving the login window without a login ends the program (at start-up;
    // after a logout the account name is still set and the program goes on).
    QObject::connect(login, &QObject::destroyed, [] {
      if (!Session::instance().loggedIn()) exitProgram(0);
    });
  });
}

void prepareApplication() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
#ifdef Q_OS_UNIX
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
}

namespace {

// At exit the workers get this long to end before the statics go away.
constexpr std::chrono::milliseconds kWorkerStopTimeout{3000};

int runClient();

}  // namespace

int startClient() {
  resetExitRequest();
  resumeWorkers();
  const int code = runClient();
  stopWorkers(kWorkerStopTimeout);
  return code;
}

namespace {

// Runs on the GUI thread once the connection test has answered: the
// no-connection message, or the login window and the rest of the start-up.
void continueStartup(QPointer<MainWindow> w, bool connected) {
  if (!w || exitRequested()) return;
  if (!connected) {
    showMessage(QStringLiteral("由于未检测到互联网连接，无法使用软件。"));
    exitProgram(0);
    return;
  }
  setControlText(w, kSaveFolderBox, toGbk(desktopFolder()));
  Session::instance().setCurrentFolderId(0);
  openWindowModal(kLoginTitle, w);
  if (exitRequested()) return;
  if (!Session::instance().loggedIn()) {
    exitProgram(0);
    return;
  }
  finishStartup(w);
}

int runClient() {
  qApp->setQuitOnLastWindowClosed(false);
  installBrowserOpener();
  registerModules();

  auto* w = new MainWindow;
  runWindowInstallers(w);
  if (auto* browser = control<WebBrowser>(w, kWebUploadBrowser))
    QObject::connect(browser, &WebBrowser::documentCompleted, w, [] { onUploadPageCompleted(); });
  applySkin(1);

  // The connection test runs off the GUI thread; the event loop runs from
  // the start, and the rest of the start-up follows the test's answer.
  auto connected = std::make_shared<bool>(false);
  QPointer<MainWindow> main(w);
  WindowJobs::of(w)->run([connected] { *connected = net::isInternetConnected(); }, nullptr,
                         [main, connected] { continueStartup(main, *connected); });
  const int code = QApplication::exec();
  delete w;
  return exitRequested() ? requestedExitCode() : code;
}

}  // namespace

}  // namespace tarnwick::app
