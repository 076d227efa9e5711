// The login window: its creation sequence, the login procedure as a job,
// and the buttons that open registration, recovery and QQ sign-in.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>

#include "account/login.h"
#include "account/qt/account_module.h"
#include "account/qt/login_flow.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/request_job.h"
#include "net/text.h"

namespace tarnwick::account {

namespace login = app::names::login;

void installLoginWindow(QWidget* window) {
  // The shell's installer has filled the skin selectors and applied the skin;
  // then: one visit of the service, the remembered credentials, the update
  // check.
  // Both requests are jobs of this window, one after the other; the window
  // is usable meanwhile (the update check may still end the program).
  QPointer<QWidget> self(window);
  app::WindowJobs::of(window)->request(
      net::JobRequest::fetch(net::sessionCheckUrl(net::hosts().mainHost)), nullptr,
      [self](const net::RequestJobResult&) { runUpdateCheck(self); });
  app::fillRememberedLogin(window);

  if (auto* b = app::control<QAbstractButton>(window, login::kLoginButton))
    QObject::connect(b, &QAbstractButton::clicked, window, [self] {
      startLogin(self, app::controlText(self, login::kAccountBox), app::controlText(self, login::kPasswordBox));
    });
  auto opener = [window](const app::ControlName& button, const char* title) {
    if (auto* b = app::control<QAbstractButton>(window, button))
      QObject::connect(b, &QAbstractButton::clicked, window, [b = QPointer(b), title, window] {
        b->setEnabled(false);  // the dialog is modal; this guards a queued second click
        app::openWindowModal(title, window);
        if (b) b->setEnabled(true);
      });
  };
  opener(login::kRegisterButton, app::names::registration::kTitle);
  opener(login::kRecoverButton, app::names::recovery::kTitle);
  opener(login::kQqButton, app::names::qq::kTitle);
}

QWidget* loginWindow() { return app::findWindow(login::kTitle); }

void fillLoginBoxes(const std::string& account, const std::string& password) {
  QWidget* window = loginWindow();
  app::setControlText(window, login::kAccountBox, account);
  app::setControlText(window, login::kPasswordBox, password);
}

void startLogin(QWidget* loginWindow, const std::string& account, const std::string& password,
                std::optional<QqSignIn> qq) {
  if (!loginWindow) return;
  auto* remember = app::control<QCheckBox>(loginWindow, login::kRememberCheck);
  // The remembered credentials follow every attempt, before the request.
  app::rememberLogin(remember && remember->isChecked(), account, password);
  const Request req = loginRequest(net::hosts().mainHost, account, password);
  // 登录 stays disabled while the request runs: a second click sends nothing.
  auto* button = app::control<QAbstractButton>(loginWindow, login::kLoginButton);
  QPointer<QWidget> window(loginWindow);
  app::WindowJobs::of(loginWindow)->request(
      net::JobRequest::post(req.url, req.body), button, [window, account, qq](const net::RequestJobResult& r) {
        std::optional<LoginReply> ok = judgeLoginReply(r.reply);
        if (!ok) {
          app::showMessage(QStringLiteral("登录失败，帐号密码错误！"), QStringLiteral("信息："), window);
          return;
        }
        app::Session::instance().update([&](app::SessionData& s) {
          if (qq) applyQqSignIn(s, *qq);
          applyLogin(s, *ok, account);
        });
        finishLogin(window);
      });
}

void finishLogin(QWidget* loginWindow) {
  const std::string name = app::Session::instance().get().loginName;
  if (QWidget* main = app::mainWindow()) {
    // After a logout without a notification area the window was minimised.
    if (main->isMinimized()) main->showNormal();
    else main->show();
  }
  if (loginWindow) loginWindow->close();
  app::setControlText(app::mainWindow(), app::names::main::kWelcomeLabel, welcomeCaption(name));
  app::memberLoggedIn();
  app::logLine(app::names::main::kStatusLog, loginLogMessage(name));

}

}  // namespace tarnwick::account
