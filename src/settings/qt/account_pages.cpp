#include "settings/qt/account_pages.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>
#include <functional>
#include <memory>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/hyperlink_label.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "browser/folders.h"
#include "browser/qt/widgets.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"
#include "settings/account_pages.h"
#include "settings/qt/page_state.h"

namespace tarnwick::settings::qt {

using namespace app::names::main;

namespace {

std::vector<std::string> g_withdrawalRecords;  // GUI thread only

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

bool pageShown(const QString& title) { return app::shownPage(app::mainWindow(), kPages) == title; }

std::string marker(const app::ControlName& box) { return app::controlText(app::mainWindow(), box); }

void setText(const app::ControlName& name, const std::string& gbk) {
  app::setControlText(app::mainWindow(), name, gbk);
}

void logFailure(const QString& title) {
  app::logLine(kLogBox, app::toGbk(q("：读取“%1”页面失败，请检查网络连接后重新打开该页。").arg(title)));
}

// The latest load started for each page: a reply of an older load of the
// same page (the user came back to it quickly), or of a session that has
// ended since, must not overwrite a newer one.
QHash<QString, int> g_latestLoad;  // GUI thread only

int beginLoad(const QString& title) { return ++g_latestLoad[title]; }

bool isLatestLoad(const QString& title, int load) { return g_latestLoad.value(title) == load; }

void dropLoadsInFlight() {
  for (int& load : g_latestLoad) ++load;
}

// Shows a page as it came (bytes); false when it held no state of the
// member, and then the page is left as it was.
using ShowPage = std::function<bool(const std::string&)>;

// The end of a load of page title: the page shown, or, for no reply or a
// page without the member's state, a log line and the page's failure line.
void finishLoad(const QString& title, const net::RequestJobResult& r, const ShowPage& show) {
  if (r.failed() || !show(r.reply)) {
    logFailure(title);
    pageLoadFailed(title);
    return;
  }
  pageLoaded(title);
}

// Fetches url as a job of the main window and finishes the load, only while
// page title is still shown and no newer load of it has started.
void loadPage(const QString& title, const std::string& url, ShowPage show) {
  app::WindowJobs* jobs = app::WindowJobs::of(app::mainWindow());
  if (!jobs) return;
  const int load = beginLoad(title);
  jobs->request(net::JobRequest::fetch(url), nullptr,
                [title, load, show = std::move(show)](const net::RequestJobResult& r) {
                  if (pageShown(title) && isLatestLoad(title, load)) finishLoad(title, r, show);
                });
}

std::string account() { return app::Session::instance().accountName(); }
const std::string& mainHost() { return net::hosts().mainHost; }

bool showPersonal(const std::string& utf8Page) {
  const AccountControls& c = accountControls();
  const PersonalView v = personalView(net::fromUtf8(utf8Page));
  if (!v.reported) return false;
  if (app::WebBrowser* browser = c.personal) {
    // The page goes to the view as it came, with the service as its base, so
    // its links and pictures resolve and no file is left anywhere.
    browser->view()->setHtml(QString::fromUtf8(utf8Page), QUrl(QString::fromStdString(mainHost() + "/")));
    browser->resize(browser->width(), v.offerVip ? 272 : 312);
  }
  if (c.vipButton) c.vipButton->setVisible(v.offerVip);
  setText(kModeLabel, v.mode);
  setText(kPlanLabel, v.plan);
  setText(kTotalsLabel, v.totals);
  setText(kTodayLabel, v.today);
  setText(kReferralLabel, v.referral);
  return true;
}

// A question once set is shown in locked boxes with 按钮8 disabled.
bool showSecurity(const std::string& page) {
  const SecurityView v = securityView(page, marker(kSecurityMarker));
  if (!v.reported) return false;
  setText(kSecurityStatusLabel, v.status);
  if (v.questionSet) {
    setText(kQuestionBox, v.question);
    setText(kAnswerBox, app::toGbk(q("******已设置，请牢记******")));
  }
  setBoxLocked(kQuestionBox, v.questionSet);
  setBoxLocked(kAnswerBox, v.questionSet);
  setLocked(kSetQuestionButton, v.questionSet);
  return true;
}

// A registered payout account is shown in locked boxes, 按钮9 "已锁定".
bool showWithdrawal(const std::string& page) {
  const WithdrawalView v =
      withdrawalView(page, {marker(kAlipayMarker), marker(kHolderMarker), marker(kPayoutEmailMarker),
                            marker(kWithdrawnMarker)});
  if (!v.reported) return false;
  setText(kWithdrawnLabel, v.withdrawn);
  g_withdrawalRecords.clear();
  if (v.locked) {
    setText(kAlipayBox, v.alipay);
    setText(kAlipayRepeatBox, v.alipay);
    setText(kHolderBox, v.holder);
    setText(kPayoutEmailBox, v.email);
    g_withdrawalRecords = v.records;
  }
  setText(kSetWithdrawalButton, v.locked ? app::toGbk(q("已锁定")) : app::toGbk(app::designText(kSetWithdrawalButton)));
  for (const app::ControlName& box : {kAlipayBox, kAlipayRepeatBox, kHolderBox, kPayoutEmailBox})
    setBoxLocked(box, v.locked);
  setLocked(kSetWithdrawalButton, v.locked);
  return true;
}

}  // namespace

const AccountControls& accountControls() {
  static QPointer<QWidget> owner;
  static AccountControls controls;
  QWidget* main = app::mainWindow();
  if (owner != main || !main) {
    owner = main;
    controls = {app::control<QTabWidget>(main, kPages),        app::control<app::WebBrowser>(main, kPersonalBrowser),
                app::control<QWidget>(main, kVipButton),        app::control<QListWidget>(main, kRecordList),
                app::control<QComboBox>(main, kModeSelector), app::control<QComboBox>(main, kPermissionSelector)};

  }
  return controls;
}

namespace {

// The settings a page (UTF-8, as it came) reports.
SettingsView readSettings(const std::string& utf8Page) {
  QWidget* main = app::mainWindow();
  std::vector<std::string> markers;
  for (const auto& t : settingsTargets()) markers.push_back(app::controlText(main, QString::fromStdString(t.markerBox)));
  return settingsView(net::fromUtf8(utf8Page), markers);
}

// The selections the settings page showed last.
struct Selections {
  int mode = -1, permission = -1;
};
Selections g_shownSelections;  // GUI thread only

void showSelections(const Selections& s) {
  const AccountControls& c = accountControls();
  if (c.mode) c.mode->setCurrentIndex(s.mode);
  if (c.permission) c.permission->setCurrentIndex(s.permission);
}

bool showSettings(const SettingsView& v) {
  if (!v.reported) return false;
  g_shownSelections = {v.modeIndex, v.permissionIndex};
  showSelections(g_shownSelections);
  for (const auto& [name, text] : v.texts) app::setControlText(app::mainWindow(), QString::fromStdString(name), text);
  return true;
}

}  // namespace

void reloadSettings(QAbstractButton* control, std::function<void(const SettingsReload&)> done) {
  app::WindowJobs* jobs = app::WindowJobs::of(app::mainWindow());
  if (!jobs) return;
  const QString title = q(kSettingsPage.title);
  const int load = beginLoad(title);
  jobs->request(net::JobRequest::fetch(accountPageUrl(mainHost(), "sz", account())), control,
                [title, load, done = std::move(done)](const net::RequestJobResult& r) {
                  SettingsReload out;
                  out.replied = !r.failed();
                  if (out.replied) {
                    SettingsView v = readSettings(r.reply);
                    if (v.reported) out.state = std::move(v);
                  }
                  // Shown whether or not 设置 is still the page shown; a newer load shows its own.
                  if (isLatestLoad(title, load))
                    finishLoad(title, r, [&out](const std::string&) { return out.state && showSettings(*out.state); });
                  // Unconfirmed, the selectors go back to what the service showed last,
                  // not the choice that was sent.
                  if (!out.state) showSelections(g_shownSelections);
                  if (done) done(out);
                });
}

namespace {

// Loaders run on the GUI thread; an account page is fetched as a job and
// shown when it arrives. Pages arrive in UTF-8 and are cut as GBK texts.
void registerLoaders() {
  app::setPageLoader(kReferralPage.title, [] {
    setText(kInvitationBox, browser::invitationText(mainHost(), app::Session::instance().userId()));
  });
  app::setPageLoader(kFeedbackPage.title, [] { setText(kFeedbackEmailBox, app::Session::instance().get().email); });
  app::setPageLoader(kPersonalPage.title, [] {
    loadPage(q(kPersonalPage.title), accountPageUrl(mainHost(), "cs1", account()), showPersonal);
  });
  app::setPageLoader(kSecurityPage.title, [] {
    setText(kEmailBox, app::Session::instance().get().email);
    loadPage(q(kSecurityPage.title), accountPageUrl(mainHost(), "aq", account()),
             [](const std::string& page) { return showSecurity(net::fromUtf8(page)); });
  });
  app::setPageLoader(kWithdrawalPage.title, [] {
    loadPage(q(kWithdrawalPage.title), accountPageUrl(mainHost(), "tx", account()),
             [](const std::string& page) { return showWithdrawal(net::fromUtf8(page)); });
  });
  app::setPageLoader(kSettingsPage.title, [] {
    loadPage(q(kSettingsPage.title), accountPageUrl(mainHost(), "sz", account()),
             [](const std::string& page) { return showSettings(readSettings(page)); });
  });
  app::setPageLoader(kRecordsPage.title, loadRecordPage);
}

const char* const kWithdrawalRules[] = {
    "提现佣金到支付宝账户：",
    "到帐日期：每天下午5点之前处理申请的结算，请认准核对账号信息。",
    "为保证安全，提现账号一经设置，修改需联系客服人员。",
    "系统全面升级，每天满20元自动结算，无需手动提现，但必须填写下面表单。",
    "客服联系：在“反馈”页点击[联系在线客服]，或发送邮件到反馈信箱。",
    "提现说明：",
    "1，如果到账24小时内不及时，请联系客服人员处理，老会员直接支付宝发消息。",
    "2，如果显示已处理，却没有到账，请马上联系客服处理，一般情况下，只有在成功转账后才会显示该结果。",
    "3，真实名字最好简单一些，GBK编码对一些特殊字符无法识别，这将导致你无法提现，如果真实名字过于特殊，可用拼音。",
};

using app::onClick;

void setRecordPage(long long page) {
  setText(kRecordPageBox, net::numberToText(static_cast<std::int64_t>(page)));
  loadRecordPage();
}

// Every hyperlink of window that names a target opens it in the browser.
void bindHyperlinks(QWidget* window) {
  for (auto* link : window->findChildren<app::HyperlinkLabel*>()) {
    if (link->target().isEmpty()) continue;
    QObject::connect(link, &app::HyperlinkLabel::clicked, link,
                     [link] { net::openInBrowser(link->target().toStdString()); });
  }
}

void installMainWindow(QWidget* main) {
  QStringList rules;
  for (const char* line : kWithdrawalRules) rules << q(line);
  app::setControlText(main, kWithdrawalRulesBox, app::toGbk(rules.join(q("\r\n"))));
  if (QTabWidget* tabs = accountControls().tabs)
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [] { g_withdrawalRecords.clear(); });
  onClick(main, kCopyInvitationButton, [] { app::copyToClipboard(marker(kInvitationBox)); });
  // The banner's address is the box's design text, whatever was typed into it since.
  onClick(main, kOpenBannerButton,
          [] { net::openInBrowser(app::designText(kBannerAddressBox).toStdString()); });
  onClick(main, kFirstRecordsButton, [] { setRecordPage(0); });
  onClick(main, kPreviousRecordsButton,
          [] { setRecordPage(previousRecordPage(recordPageNumber(marker(kRecordPageBox)))); });
  onClick(main, kNextRecordsButton, [] { setRecordPage(nextRecordPage(recordPageNumber(marker(kRecordPageBox)))); });
  bindHyperlinks(main);
  installPageStates(main);
}

// The login window opens at the start and after every logout: what the pages
// showed belongs to the session that ends. Once it is gone after a login,
// the page shown is loaded for the new session.
void installLoginWindow(QWidget* login) {
  dropLoadsInFlight();
  beginSession();
  QObject::connect(login, &QObject::destroyed, [] {
    if (!accountControls().tabs || app::exitRequested() || !app::Session::instance().loggedIn()) return;
    const QString shown = app::shownPage(app::mainWindow(), kPages);
    if (loadsMemberState(shown)) app::refreshPage(shown);
  });
}

}  // namespace

const std::vector<std::string>& withdrawalRecords() { return g_withdrawalRecords; }

void loadRecordPage() {
  const long long page = recordPageNumber(marker(kRecordPageBox));
  const std::string pattern = marker(kRecordPattern);
  app::WindowJobs* jobs = app::WindowJobs::of(app::mainWindow());
  if (!jobs) return;
  const int load = beginLoad(q(kRecordsPage.title));
  jobs->request(net::JobRequest::fetch(recordPageUrl(mainHost(), page)), nullptr,
                [pattern, page, load](const net::RequestJobResult& r) {
                  // A reply for a page the buttons have moved away from meanwhile is dropped.
                  if (recordPageNumber(marker(kRecordPageBox)) != page || !isLatestLoad(q(kRecordsPage.title), load))
                    return;
                  // The records page is cut as it came; an empty one is a page without records.
                  finishLoad(q(kRecordsPage.title), r, [&pattern](const std::string& reply) {
                    QListWidget* list = accountControls().records;
                    if (!list) return false;
                    list->clear();
                    for (const auto& row : recordRows(reply, pattern)) list->addItem(app::fromGbk(row));
                    return true;
                  });
                });
}

void registerAccountPages() {
  registerLoaders();
  app::addWindowInstaller(app::mainWindowTitle(), installMainWindow);
  app::addWindowInstaller(app::names::vip::kTitle, bindHyperlinks);
  app::addWindowInstaller(app::names::login::kTitle, installLoginWindow);

}

}  // namespace tarnwick::settings::qt
