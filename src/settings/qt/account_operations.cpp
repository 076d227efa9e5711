// The buttons of the account pages and of the 开通VIP, 提现记录 and 公告
// windows. Forms and switches are rows of the tables in
// settings/account_operations.h; the handlers here only carry out the rows'
// effects and the two requests that are not forms.
#include "settings/qt/account_operations.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <optional>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "app/qt/window_jobs.h"
#include "app/session.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"
#include "settings/account_operations.h"
#include "settings/account_pages.h"
#include "settings/qt/account_pages.h"
#include "settings/qt/form_dialog.h"
#include "settings/qt/page_state.h"

namespace tarnwick::settings::qt {

using namespace app::names::main;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }
QAbstractButton* button(QWidget* w, const app::ControlName& name) { return app::control<QAbstractButton>(w, name); }

// Runs request as a job of the main window with button disabled; done(reply)
// follows on the GUI thread, with nullopt for a request that got no reply
// (the service's replies are never empty).
void runWithButton(QAbstractButton* b, net::JobRequest request,
                   std::function<void(const std::optional<std::string>&)> done) {
  app::WindowJobs::of(app::mainWindow())->request(std::move(request), b,
                                                 [done = std::move(done)](const net::RequestJobResult& r) {
                                                   if (r.failed()) return done(std::nullopt);
                                                   done(r.reply);
                                                 });
}

// A GET with the browser-like headers of a form request.
net::JobRequest formGet(std::string url) {
  net::JobRequest r;
  r.kind = net::RequestKind::Form;
  r.url = std::move(url);
  return r;
}

void refreshShownPage() { app::refreshPage(app::shownPage(app::mainWindow(), kPages)); }

EffectHandler effects(QWidget* window) {
  QPointer<QWidget> self(window);
  return [self](const std::string& effect, const FormValues& values) {
    QWidget* main = app::mainWindow();
    if (effect == kStoreAccessPassword) {
      const auto it = values.find(kAccessPasswordBox.name);
      browser::BrowserState::instance().setAccessPassword(it == values.end() ? std::string() : it->second);
    } else if (effect == kClearRecharge) {
      app::setControlText(main, kCardCodeBox, "");
    } else if (effect == kClearFeedback) {
      app::setControlText(main, kFeedbackEmailBox, "");
      app::setControlText(main, kFeedbackTextBox, "");
    } else if (effect == kRefreshAndClose) {
      refreshShownPage();
      if (self) self->close();
    }
  };
}

const QString kRefused = QStringLiteral("设置失败！");

// A switch posts the value its caption selects; then the settings page is
// read back and shown, and the switch counts only when the service reports
// the state asked for.
void bindToggle(QWidget* main, const ToggleDef& def) {
  QAbstractButton* b = app::control<QAbstractButton>(main, QString::fromStdString(def.button));
  if (!b) return;
  QObject::connect(b, &QAbstractButton::clicked, b, [b, &def] {
    const ToggleResult plan = planToggle(def, app::toGbk(b->text()), net::hosts().mainHost,
                                         app::Session::instance().accountName());
    runWithButton(b, net::JobRequest::post(plan.url, plan.body),
                  [b, &def, asked = plan.shown, session = sessionNumber()](const std::optional<std::string>& reply) {
                    if (sessionNumber() != session) return;  // the new session loads its own state
                    if (!reply) return app::showMessage(networkFailureText());
                    reloadSettings(b, [&def, asked](const SettingsReload& r) {
                      if (!r.replied) return app::showMessage(networkFailureText());
                      if (!r.state || !toggleReached(def, asked, *r.state)) app::showMessage(kRefused);
                    });
                  });
  });
}

// 按钮22: mode and permission, then the settings page again; success is
// what the page reports, not the reply.
void setModeAndPermission(QWidget* main) {
  QComboBox* mode = accountControls().mode;
  QComboBox* permission = accountControls().permission;
  QAbstractButton* b = button(main, kSetModeButton);
  if (!mode || !permission || !b) return;
  const int modeIndex = mode->currentIndex();
  const int permissionIndex = permission->currentIndex();
  const std::string url = modePermissionUrl(net::hosts().mainHost, app::Session::instance().accountName(),
                                            modeIndex, permissionIndex);
  runWithButton(b, formGet(url), [b, modeIndex, permissionIndex,
                                  session = sessionNumber()](const std::optional<std::string>& reply) {
    if (sessionNumber() != session) return;  // the new session loads its own state
    if (!reply) return app::showMessage(networkFailureText());
    const bool vipOnly = isVipRefusal(*reply);
    if (vipOnly) {
      app::showMessage(q("设置失败，该功能为VIP会员专享，请先开通VIP！"));
      app::openWindowModal(app::names::vip::kTitle);
    }
    reloadSettings(b, [vipOnly, modeIndex, permissionIndex](const SettingsReload& r) {
      if (vipOnly) return;  // the refusal has been told
      if (!r.replied) return app::showMessage(networkFailureText());
      const bool reached = r.state && modePermissionReached(modeIndex, permissionIndex, *r.state);
      app::showMessage(reached ? q("设置成功！") : kRefused);
    });
  });
}

// 按钮35: the announcements, reduced to text, in the 公告 dialog.
void showAnnouncements(QWidget* main) {
  QAbstractButton* b = button(main, kAnnouncementButton);
  if (!b) return;
  const std::string url = announcementsUrl(net::hosts().mainHost);
  runWithButton(b, net::JobRequest::fetch(url), [](const std::optional<std::string>& page) {
    if (!page) return app::showMessage(networkFailureText());
    QWidget* main = app::mainWindow();
    const std::string left = app::controlText(main, kAnnouncementStart);
    const std::string right = app::controlText(main, kAnnouncementEnd);
    app::setControlText(main, kAnnouncementText, stripHtml(net::textBetween(*page, left, right)));
    app::openWindowModal(app::names::announcement::kTitle);
  });
}

// Binds the form rows whose button lives on the window with this title.
void bindFormsOf(QWidget* window, std::string_view title) {
  for (const auto& f : accountForms())
    if (title == f.button.window) bindForm(window, f.button, *f.form, effects(window));
}

void installMainWindow(QWidget* main) {
  bindFormsOf(main, kTitle);
  for (const auto& t : accountToggles()) bindToggle(main, t);
  using app::onClick;
  onClick(main, kSetModeButton, [main] { setModeAndPermission(main); });
  onClick(main, kAnnouncementButton, [main] { showAnnouncements(main); });
  onClick(main, kStripAnnouncementButton, [main] {
    app::setControlText(main, kAnnouncementText, stripHtml(app::controlText(main, kAnnouncementText)));
  });
  onClick(main, kVipButton, [] { app::openWindowModal(app::names::vip::kTitle); });
  onClick(main, kWithdrawalRecordsButton, [] { app::openWindowModal(app::names::withdrawalRecords::kTitle); });
}

void installVipWindow(QWidget* window) { bindFormsOf(window, app::names::vip::kTitle); }

void installRecordsWindow(QWidget* window) {
  auto* box = app::control<QPlainTextEdit>(window, app::names::withdrawalRecords::kRecordsBox);
  if (!box) return;
  std::string text;
  for (const auto& line : withdrawalRecords()) text += line + "\r\n";
  box->setPlainText(app::fromGbk(text));
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

void installAnnouncementWindow(QWidget* window) {
  app::setControlText(window, app::names::announcement::kTextBox, app::controlText(app::mainWindow(), kAnnouncementText));
}

}  // namespace

void registerAccountOperations() {
  app::addWindowInstaller(app::mainWindowTitle(), installMainWindow);
  app::addWindowInstaller(app::names::vip::kTitle, installVipWindow);
  app::addWindowInstaller(app::names::withdrawalRecords::kTitle, installRecordsWindow);
  app::addWindowInstaller(app::names::announcement::kTitle, installAnnouncementWindow);
}

}  // namespace tarnwick::settings::qt
