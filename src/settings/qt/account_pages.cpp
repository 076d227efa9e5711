#include "settings/qt/account_pages.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>
#include <QHash>
#include <functional>
#include <memory>

#include "app/qt/catalogue.h"
#include "app/qt/hyperlink_label.h"
#include "app/qt/shell.h"
#include "browser/qt/widgets.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "browser/folders.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"
#include "settings/account_pages.h"
#include "settings/qt/page_state.h"

namespace tarnwick::settings::qt {

namespace {

std::vector<std::string> g_withdrawalRecords;  // GUI thread only

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

bool pageShown(const QString& title) {
  QTabWidget* tabs = accountControls().tabs;
  return tabs && tabs->currentIndex() >= 0 && tabs->tabText(tabs->currentIndex()) == title;
}

std::string marker(const char* box) { return app::controlText(app::mainWindow(), q(box)); }

void setText(const char* name, const std::string& gbk) {
  app::setControlText(app::mainWindow(), q(name), gbk);
}

void logFailure(const QString& title) {
  app::logLine(q("日志编辑框"), app::toGbk(q("：读取“%1”页面失败，请检查网络连接后重新打开该页。").arg(title)));
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
  setText("标签12", v.mode);
  setText("标签13", v.plan);
  setText("标签14", v.totals);
  setText("标签15", v.today);
  setText("标签16", v.referral);
  return true;
}

// A question once set is shown in locked boxes with 按钮8 disabled.
bool showSecurity(const std::string& page) {
  const SecurityView v = securityView(page, marker("编辑框8"));
  if (!v.reported) return false;
  setText("标签21", v.status);
  if (v.questionSet) {
    setText("编辑框6", v.question);
    setText("编辑框7", app::toGbk(q("******已设置，请牢记******")));
  }
  setBoxLocked("编辑框6", v.questionSet);
  setBoxLocked("编辑框7", v.questionSet);
  setLocked("按钮8", v.questionSet);
  return true;
}

// A registered payout account is shown in locked boxes, 按钮9 "已锁定".
bool showWithdrawal(const std::string& page) {
  const WithdrawalView v =
      withdrawalView(page, {marker("编辑框14"), marker("编辑框15"), marker("编辑框16"), marker("编辑框17")});
  if (!v.reported) return false;
  setText("标签28", v.withdrawn);
  g_withdrawalRecords.clear();
  if (v.locked) {
    setText("编辑框10", v.alipay);
    setText("编辑框11", v.alipay);
    setText("编辑框12", v.holder);
    setText("编辑框13", v.email);
    g_withdrawalRecords = v.records;
  }
  setText("按钮9", v.locked ? app::toGbk(q("已锁定")) : designText("按钮9"));
  for (const char* box : {"编辑框10", "编辑框11", "编辑框12", "编辑框13"}) setBoxLocked(box, v.locked);
  setLocked("按钮9", v.locked);
  return true;
}

}  // namespace

const AccountControls& accountControls() {
  static QPointer<QWidget> owner;
  static AccountControls controls;
  QWidget* main = app::mainWindow();
  if (owner != main || !main) {
    owner = main;
    controls = {app::control<QTabWidget>(main, q("选择夹1")),   app::control<app::WebBrowser>(main, q("超文本浏览框2")),
                app::control<QWidget>(main, q("按钮7")),         app::control<QListWidget>(main, q("列表框5")),
                app::control<QComboBox>(main, q("组合框2")),     app::control<QComboBox>(main, q("组合框7"))};
    const bool complete = controls.tabs && controls.personal && controls.vipButton && controls.records &&
                          controls.mode && controls.permission;
    Q_ASSERT_X(!main || complete, "accountControls", "a control of the account pages is missing");
    if (main && !complete) qCritical("settings: a control of the account pages is missing");
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
  const QString title = q("设置");
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
  app::setPageLoader(q("下线"), [] {
    setText("编辑框4", browser::invitationText(mainHost(), app::Session::instance().userId()));
  });
  app::setPageLoader(q("反馈"), [] { setText("编辑框50", app::Session::instance().get().email); });
  app::setPageLoader(q("个人"), [] {
    loadPage(q("个人"), accountPageUrl(mainHost(), "cs1", account()), showPersonal);
  });
  app::setPageLoader(q("安全"), [] {
    setText("编辑框45", app::Session::instance().get().email);
    loadPage(q("安全"), accountPageUrl(mainHost(), "aq", account()),
             [](const std::string& page) { return showSecurity(net::fromUtf8(page)); });
  });
  app::setPageLoader(q("提现"), [] {
    loadPage(q("提现"), accountPageUrl(mainHost(), "tx", account()),
             [](const std::string& page) { return showWithdrawal(net::fromUtf8(page)); });
  });
  app::setPageLoader(q("设置"), [] {
    loadPage(q("设置"), accountPageUrl(mainHost(), "sz", account()),
             [](const std::string& page) { return showSettings(readSettings(page)); });
  });
  app::setPageLoader(q("记录"), loadRecordPage);
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

using browser::qt::onClick;

void setRecordPage(long long page) {
  setText("编辑框43", net::numberToText(static_cast<std::int64_t>(page)));
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
  app::setControlText(main, q("编辑框9"), app::toGbk(rules.join(q("\r\n"))));
  if (QTabWidget* tabs = accountControls().tabs)
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [] { g_withdrawalRecords.clear(); });
  onClick(main, "按钮17", [] { app::copyToClipboard(marker("编辑框4")); });
  onClick(main, "按钮32", [] { net::openInBrowser(mainHost() + "/tupian/bzfb.jpg"); });
  onClick(main, "按钮23", [] { setRecordPage(0); });
  onClick(main, "按钮24", [] { setRecordPage(previousRecordPage(recordPageNumber(marker("编辑框43")))); });
  onClick(main, "按钮25", [] { setRecordPage(nextRecordPage(recordPageNumber(marker("编辑框43")))); });
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
    QTabWidget* tabs = accountControls().tabs;
    if (!tabs || app::exitRequested() || !app::Session::instance().loggedIn()) return;
    const QString shown = tabs->tabText(tabs->currentIndex());
    if (loadsMemberState(shown)) app::refreshPage(shown);
  });
}

}  // namespace

const std::vector<std::string>& withdrawalRecords() { return g_withdrawalRecords; }

void loadRecordPage() {
  const long long page = recordPageNumber(marker("编辑框43"));
  const std::string pattern = marker("编辑框42");
  app::WindowJobs* jobs = app::WindowJobs::of(app::mainWindow());
  if (!jobs) return;
  const int load = beginLoad(q("记录"));
  jobs->request(net::JobRequest::fetch(recordPageUrl(mainHost(), page)), nullptr,
                [pattern, page, load](const net::RequestJobResult& r) {
                  // A reply for a page the buttons have moved away from meanwhile is dropped.
                  if (recordPageNumber(marker("编辑框43")) != page || !isLatestLoad(q("记录"), load)) return;
                  // The records page is cut as it came; an empty one is a page without records.
                  finishLoad(q("记录"), r, [&pattern](const std::string& reply) {
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
  app::addWindowInstaller(q("开通VIP"), bindHyperlinks);
  app::addWindowInstaller(q("Tarnwick登录"), installLoginWindow);
}

}  // namespace tarnwick::settings::qt
