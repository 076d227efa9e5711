// The update check, the session watchdog (时钟3), hiding to the tray and the
// tray menu items of the main window.
#include <QAbstractButton>
#include <QPointer>
#include <QTimer>

#include "account/qt/account_module.h"
#include "account/update_check.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/form.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/request_job.h"
#include "net/text.h"
#include "version.h"

namespace tarnwick::account {

using namespace app::names::main;
namespace {

const QString kLoginTitle = QString::fromUtf8(app::names::login::kTitle);

// The page is fetched as a job of the timer; a tick while the previous one
// waits does nothing.
void watchdogTick(QTimer* timer) {
  const std::string url = watchdogUrl(net::hosts().mainHost, app::Session::instance().accountName());
  app::WindowJobs* jobs = app::WindowJobs::of(timer);
  if (url.empty() || jobs->pending() > 0) return;
  QPointer<QTimer> self(timer);
  jobs->request(net::JobRequest::fetch(url), nullptr, [self](const net::RequestJobResult& r) {
    if (!self || !self->isActive() || !loggedInElsewhere(r.reply)) return;
    self->stop();  // not restarted by a later login
    app::showMessage(QStringLiteral("您的帐号已在其它地方登录，软件即将注销……"));
    returnToLogin();
  });
}

void judgeUpdate(const std::string& reply) {
  UpdateCheck check = judgeUpdateReply(reply, net::kClientVersion);
  switch (check.verdict) {
    case UpdateVerdict::UpToDate:
      app::appendLog(kLogBox, net::fromUtf8("当前软件是最新版本。\r\n"));
      break;
    case UpdateVerdict::NewVersion:
      // Opened before the program ends (only an http or https address).
      if (app::askYesNo(QStringLiteral("发现新版本，是否马上更新？")) && !check.address.empty())
        net::openInBrowser(check.address);
      app::exitProgram(0);
      break;
    case UpdateVerdict::Unknown:  // no file or no network: carry on
      break;
  }
}

}  // namespace

void runUpdateCheck(QWidget* loginWindow) {
  if (!loginWindow) return;
  app::WindowJobs::of(loginWindow)->request(net::JobRequest::fetch(updateUrl(net::hosts().mainHost)), nullptr,
                                            [](const net::RequestJobResult& r) { judgeUpdate(r.reply); });
}

void returnToLogin() {
  app::memberLeaving();
  app::hideMainWindowToTray();
  if (!app::findWindow(kLoginTitle)) app::openWindowModal(kLoginTitle, app::mainWindow());
}

void installMainWindowGuards(QWidget* window) {
  if (auto* timer = app::control<QTimer>(window, kSessionTimer))
    QObject::connect(timer, &QTimer::timeout, window, [timer] { watchdogTick(timer); });
  if (auto* hide = app::control<QAbstractButton>(window, kTrayButton))
    QObject::connect(hide, &QAbstractButton::clicked, window, [] { app::hideMainWindowToTray(); });
  app::onMenu(window, kTrayOpen, [] { app::showMainWindowCentred(); });
  app::onMenu(window, kTrayWebVersion, [] {
    net::openInBrowser(net::withQuery(net::hosts().mainHost + net::kMemberHomePath,
                                      net::FormBuilder().add("zh", app::Session::instance().accountName())));
  });
  app::onMenu(window, kTrayLogout, [] { returnToLogin(); });
  app::onMenu(window, kTrayQuit, [] { app::exitProgram(0); });
}

void registerAccountModule() {
  using namespace app::names;
  app::addWindowInstaller(login::kTitle, installLoginWindow);
  app::addWindowInstaller(qq::kTitle, installQqWindow);
  app::addWindowInstaller(registration::kTitle, installRegistrationWindow);
  app::addWindowInstaller(recovery::kTitle, installRecoveryWindow);
  app::addWindowInstaller(main::kTitle, installMainWindowGuards);
}

}  // namespace tarnwick::account
