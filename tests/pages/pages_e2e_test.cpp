// The account pages end to end: demo logs in through the login window, the
// test puts demo's record in the service's database into a known state,
// opens a page of 选择夹1 and checks what its controls show.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "../browser/e2e_support.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/http.h"
#include "browser/state.h"
#include "settings/qt/account_pages.h"
#include "settings/qt/page_state.h"

using namespace tarnwick;
using namespace tarnwick::app::names::main;
namespace names = tarnwick::app::names;
using e2e::q;

namespace {

// Runs a statement on the service's database (the service reads it afresh
// on every request).
void exec(const std::string& sql) {
  const std::string path = qEnvironmentVariable("TARNWICK_SERVICE_DATA").toStdString() + "/tarnwick.db";
  sqlite3* db = nullptr;
  QVERIFY(sqlite3_open(path.c_str(), &db) == SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  QVERIFY2(rc == SQLITE_OK, message.c_str());
}

// The pages change the member's state, and other tests share the service, so
// these tests work on a copy of demo of their own: member 1901 "pagesdemo"
// with demo's password, settings, statistics, records and withdrawals.
constexpr const char* kCloneDemo =
    "DELETE FROM members WHERE id=1901; DELETE FROM withdrawals WHERE member=1901;"
    "DELETE FROM records WHERE member=1901; DELETE FROM stats WHERE member=1901;"
    "CREATE TEMP TABLE m AS SELECT * FROM members WHERE id=1001;"
    "UPDATE m SET id=1901, account='pagesdemo', email='pages@tarnwick.local';"
    "INSERT INTO members SELECT * FROM m;"
    "INSERT INTO withdrawals(member, date, amount, status) SELECT 1901, date, amount, status FROM withdrawals "
    "WHERE member=1001;"
    "INSERT INTO records(member, time, text) SELECT 1901, time, text FROM records WHERE member=1001;"
    "INSERT INTO stats(member, day, ips, downloads, income) SELECT 1901, day, ips, downloads, income FROM stats "
    "WHERE member=1001;";

void setDemo(const std::string& assignments) { exec("UPDATE members SET " + assignments + " WHERE id=1901"); }

// The controls of 设置, 安全 and 提现 that send a change.
const app::ControlName kSendControls[] = {
    kSetModeButton,      kSetAccessPasswordButton, kShowNameButton,    kShowDownloadsButton,
    kHiddenSwitch1,      kHiddenSwitch2,           kForcedChargeButton, kRechargeButton,
    kSetQuestionButton,  kSetPasswordButton,       kSetEmailButton,    kSetWithdrawalButton};

}  // namespace

// Waits until the message boxes shown number want's size and compares their texts.
#define EXPECT_BOXES(...)                                                                        \
  do {                                                                                           \
    const QStringList want{__VA_ARGS__};                                                         \
    QVERIFY(QTest::qWaitFor([&] { return m_boxes->size() >= want.size(); }, 15000));             \
    QCOMPARE(m_boxes->take(), want);                                                             \
  } while (false)

// Modal windows run their own event loop, so the test acts on them from a
// timer: act(window) runs once, as soon as a window titled title is shown.
void whenShown(const QString& title, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, title, act = std::move(act)] {
    QWidget* w = app::findWindow(title);
    if (!w || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

class PagesE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;

  QTabWidget* tabs() { return app::control<QTabWidget>(m_main, kPages); }
  template <class T = QWidget>
  T* c(const app::ControlName& name) { return app::control<T>(m_main, name); }
  QString text(const app::ControlName& name) { return app::fromGbk(app::controlText(m_main, name)); }
  int logLines() { return c<QPlainTextEdit>(kLogBox)->toPlainText().count('\n'); }
  bool lineShown(const char* page) {
    QLabel* line = settings::qt::loadFailureLine(QString::fromUtf8(page));
    return line && line->isVisible();
  }
  QStringList enabledSendControls() {
    QStringList on;
    for (const app::ControlName& name : kSendControls)
      if (c(name)->isEnabled()) on << QString::fromUtf8(name.name);
    return on;
  }

  // Shows the page titled title, starting its load again when it is shown already.
  void openPage(const QString& title) {
    int index = -1;
    for (int i = 0; i < tabs()->count(); ++i)
      if (tabs()->tabText(i) == title) index = i;
    QVERIFY(index >= 0);
    if (tabs()->currentIndex() == index) tabs()->setCurrentIndex(index == 0 ? 8 : 0);
    tabs()->setCurrentIndex(index);
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    m_main = e2e::showMainWindow();
    m_boxes = new e2e::BoxAnswerer;
    net::setBrowserOpener([](const std::string&) {});
    exec(kCloneDemo);
    QVERIFY(e2e::logInThroughWindow(QStringLiteral("pagesdemo"), QStringLiteral("demo123")));
  }

  void cleanupTestCase() {
    delete m_boxes;
    delete m_main;
  }

  // Before a page has loaded in this session nothing on it can send a
  // change, and the selectors claim no setting.
  void sendControlsWaitForTheFirstLoad() {
    QCOMPARE(enabledSendControls(), QStringList());
    QCOMPARE(c<QComboBox>(kModeSelector)->currentIndex(), -1);
    QCOMPARE(c<QComboBox>(kPermissionSelector)->currentIndex(), -1);
    m_boxes->take();
    c<QPushButton>(kSetModeButton)->click();  // nothing happens
    openPage(QStringLiteral("设置"));
    QTRY_VERIFY_WITH_TIMEOUT(c(kSetModeButton)->isEnabled(), 15000);
    QVERIFY(c<QComboBox>(kModeSelector)->currentIndex() >= 0);
    QVERIFY(c<QComboBox>(kPermissionSelector)->currentIndex() >= 0);
    QVERIFY(c(kShowDownloadsButton)->isEnabled());
    QVERIFY(!c(kSetQuestionButton)->isEnabled());  // 安全 and 提现 have not loaded yet
    QVERIFY(!c(kSetWithdrawalButton)->isEnabled());
    QVERIFY(m_boxes->take().isEmpty());
  }

  void personalPage_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("offerVip");  // a member without VIP is offered 开通VIP
    QTest::addColumn<QString>("mode");
    QTest::newRow("vip, enhanced earning") << "vip_until='2999-01-01', earning=1, enhanced=1" << false
        << "网赚模式：已开启网赚模式，当前为加强版模式，收入较高，设置合理！";
    QTest::newRow("no vip, plain earning") << "vip_until='', earning=1, enhanced=0" << true
        << "网赚模式：已开启网赚模式，当前为一般网赚模式，广告一般，收入低！";
    QTest::newRow("no earning") << "vip_until='', earning=0, enhanced=0" << true
        << "网赚模式：关闭一切网赚，文件下载纯净无广告！";
  }
  void personalPage() {
    QFETCH(QString, state);
    QFETCH(bool, offerVip);
    QFETCH(QString, mode);
    setDemo(state.toStdString());
    c(kModeLabel)->setProperty("text", QString());
    openPage(QStringLiteral("个人"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kModeLabel), mode, 15000);
    QCOMPARE(c(kVipButton)->isVisibleTo(m_main), offerVip);
    QCOMPARE(c(kPersonalBrowser)->height(), offerVip ? 272 : 312);
    QVERIFY(text(kTotalsLabel).startsWith(QStringLiteral("总IP数量：")));
    QVERIFY(!text(kTotalsLabel).contains(QStringLiteral("总IP数量：。")));  // the number was cut out
  }

  // The question can be set once: a page without one leaves the form usable,
  // a page with one shows it and locks the form.
  void securityPage() {
    setDemo("question='', answer=''");
    openPage(QStringLiteral("安全"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kSecurityStatusLabel), QStringLiteral("密保状态：还没有设置，危险！"), 15000);
    QVERIFY(c(kSetQuestionButton)->isEnabled());
    QVERIFY(!c<QLineEdit>(kQuestionBox)->isReadOnly());
    QCOMPARE(text(kEmailBox), QStringLiteral("pages@tarnwick.local"));

    setDemo("question='我的小学名字？', answer='阳光小学'");
    openPage(QStringLiteral("安全"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kSecurityStatusLabel), QStringLiteral("密保状态：已设置！"), 15000);
    QCOMPARE(text(kQuestionBox), QStringLiteral("我的小学名字？"));
    QCOMPARE(text(kAnswerBox), QStringLiteral("******已设置，请牢记******"));
    QVERIFY(c<QLineEdit>(kQuestionBox)->isReadOnly());
    QVERIFY(!c(kSetQuestionButton)->isEnabled());
  }

  void withdrawalPage() {
    setDemo("payout_account=''");
    openPage(QStringLiteral("提现"));
    QTRY_VERIFY_WITH_TIMEOUT(text(kWithdrawnLabel).startsWith(QStringLiteral("已提现佣金：")), 15000);
    QVERIFY(c(kSetWithdrawalButton)->isEnabled());
    QVERIFY(settings::qt::withdrawalRecords().empty());

    setDemo("payout_account='demo@alipay.local'");
    openPage(QStringLiteral("提现"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kSetWithdrawalButton), QStringLiteral("已锁定"), 15000);
    QVERIFY(!c(kSetWithdrawalButton)->isEnabled());
    QCOMPARE(text(kAlipayBox), QStringLiteral("demo@alipay.local"));
    QCOMPARE(text(kAlipayRepeatBox), QStringLiteral("demo@alipay.local"));
    QCOMPARE(text(kHolderBox), QStringLiteral("张三"));
    QVERIFY(c<QLineEdit>(kHolderBox)->isReadOnly());
    const auto rows = e2e::query("SELECT date FROM withdrawals WHERE member=1901 ORDER BY date DESC, id DESC");
    QVERIFY(rows.size() >= 2);
    const auto& records = settings::qt::withdrawalRecords();
    QCOMPARE(records.size(), rows.size());
    QVERIFY(app::fromGbk(records[0]).startsWith(q(rows[0][0]) + "     "));
    QVERIFY(text(kWithdrawalRulesBox).startsWith(QStringLiteral("提现佣金到支付宝账户：")));

    openPage(QStringLiteral("设置"));  // any other page empties the records
    QVERIFY(settings::qt::withdrawalRecords().empty());
  }

  void settingsPage() {
    setDemo("storage_mode=2, permission=3, date_public=0, access_password='k&1'");
    openPage(QStringLiteral("设置"));
    QTRY_COMPARE_WITH_TIMEOUT(c<QComboBox>(kPermissionSelector)->currentIndex(), 3, 15000);
    QCOMPARE(c<QComboBox>(kModeSelector)->currentIndex(), 1);
    QCOMPARE(c<QComboBox>(kPermissionSelector)->currentText(), QStringLiteral("只能手机访问"));
    QCOMPARE(text(kShowNameButton), QStringLiteral("开启"));
    QCOMPARE(text(kShowNameLabel), QStringLiteral("上传日期公开：×"));
    QCOMPARE(text(kAccessPasswordBox), QStringLiteral("k&1"));
    QCOMPARE(text(kAccessNoticeBox), QStringLiteral("欢迎访问我的网盘！"));
  }

  // 上一页 on page 0 stays at 0; 下一页 from an empty box goes to page 1.
  void recordsPaging() {
    const auto page = [](int n) {
      return e2e::query("SELECT time FROM records WHERE member=1901 ORDER BY time DESC, id DESC LIMIT 10 OFFSET " +
                        std::to_string(n * 10));
    };
    const auto shows = [this](const std::vector<std::vector<std::string>>& rows) {
      auto* list = c<QListWidget>(kRecordList);
      if (list->count() != static_cast<int>(rows.size())) return false;
      for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->text().startsWith(q(rows[i][0]) + "   ")) return false;
      return true;
    };
    QVERIFY(!page(1).empty());
    openPage(QStringLiteral("记录"));
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(0)), 15000);
    c<QPushButton>(kPreviousRecordsButton)->click();
    QCOMPARE(text(kRecordPageBox), QStringLiteral("0"));
    c<QLineEdit>(kRecordPageBox)->clear();
    c<QPushButton>(kNextRecordsButton)->click();
    QCOMPARE(text(kRecordPageBox), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(1)), 15000);
    c<QPushButton>(kFirstRecordsButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(0)), 15000);
  }

  // A switch flips only once the service answered, and the service keeps the
  // new state; without the service it tells so and keeps its caption.
  void switchFlipsWithTheService() {
    setDemo("count_public=1");
    app::setControlText(m_main, kShowDownloadsButton, "");  // wait for this load, not an old caption
    openPage(QStringLiteral("设置"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kShowDownloadsButton), QStringLiteral("关闭"), 15000);
    c<QPushButton>(kShowDownloadsButton)->click();
    QVERIFY(!c(kShowDownloadsButton)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(text(kShowDownloadsButton), QStringLiteral("开启"), 15000);
    QCOMPARE(text(kShowDownloadsLabel), QStringLiteral("下载量公开：×"));
    QCOMPARE(e2e::query("SELECT count_public FROM members WHERE id=1901")[0][0], std::string("0"));
    {
      e2e::CountingPort dead;
      e2e::MainHostSwap swap(dead.url());
      m_boxes->take();
      c<QPushButton>(kShowDownloadsButton)->click();
      EXPECT_BOXES(QStringLiteral("网络连接失败，请稍后再试。"));
      QCOMPARE(text(kShowDownloadsButton), QStringLiteral("开启"));
      QVERIFY(c(kShowDownloadsButton)->isEnabled());
    }
    openPage(QStringLiteral("设置"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kShowDownloadsLabel), QStringLiteral("下载量公开：×"), 15000);
  }

  // The caption follows what the service reports, not what was sent: a
  // switch the service answers but does not carry out, and one refused for
  // a session that a later login replaced, keep the account's state and say
  // so; 重置 refused the same way does not claim success.
  void refusedSwitchShowsTheServiceState() {
    setDemo("count_public=1");
    openPage(QStringLiteral("设置"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kShowDownloadsButton), QStringLiteral("关闭"), 15000);
    m_boxes->take();
    exec("CREATE TRIGGER keep_count AFTER UPDATE OF count_public ON members WHEN NEW.id=1901 "
         "BEGIN UPDATE members SET count_public=OLD.count_public WHERE id=1901; END;");
    c<QPushButton>(kShowDownloadsButton)->click();
    EXPECT_BOXES(QStringLiteral("设置失败！"));
    exec("DROP TRIGGER keep_count");
    QCOMPARE(text(kShowDownloadsButton), QStringLiteral("关闭"));
    QCOMPARE(text(kShowDownloadsLabel), QStringLiteral("下载量公开：√"));
    QVERIFY(!lineShown("设置"));

    const std::string token = e2e::query("SELECT session_token FROM members WHERE id=1901")[0][0];
    setDemo("session_token='replaced-by-another-login'");
    QTRY_VERIFY_WITH_TIMEOUT(c(kShowDownloadsButton)->isEnabled(), 15000);
    c<QPushButton>(kShowDownloadsButton)->click();
    EXPECT_BOXES(QStringLiteral("设置失败！"));
    QCOMPARE(text(kShowDownloadsButton), QStringLiteral("关闭"));
    QCOMPARE(e2e::query("SELECT count_public FROM members WHERE id=1901")[0][0], std::string("1"));
    QVERIFY(lineShown("设置"));  // the page could not be read back either
    const int mode = c<QComboBox>(kModeSelector)->currentIndex();
    c<QComboBox>(kModeSelector)->setCurrentIndex(mode == 0 ? 1 : 0);
    QTRY_VERIFY_WITH_TIMEOUT(c(kSetModeButton)->isEnabled(), 15000);
    c<QPushButton>(kSetModeButton)->click();
    EXPECT_BOXES(QStringLiteral("设置失败！"));
    QCOMPARE(c<QComboBox>(kModeSelector)->currentIndex(), mode);  // what the service showed last

    setDemo("session_token='" + token + "'");
    openPage(QStringLiteral("设置"));
    QTRY_VERIFY_WITH_TIMEOUT(!lineShown("设置"), 15000);
  }

  // A password with "=" and a Chinese notice with "&" reach the service as typed, and
  // later direct links carry the new password.
  void accessPasswordAndNotice() {
    c<QPlainTextEdit>(kAccessNoticeBox)->clear();
    openPage(QStringLiteral("设置"));
    QTRY_VERIFY_WITH_TIMEOUT(!text(kAccessNoticeBox).isEmpty(), 15000);
    c<QLineEdit>(kAccessPasswordBox)->setText(QStringLiteral("p=w1"));
    c<QPlainTextEdit>(kAccessNoticeBox)->setPlainText(QStringLiteral("新公告 & 欢迎=1"));
    m_boxes->take();
    c<QPushButton>(kSetAccessPasswordButton)->click();
    EXPECT_BOXES(QStringLiteral("设置成功！"));
    const auto row = e2e::query("SELECT access_password, notice FROM members WHERE id=1901")[0];
    QCOMPARE(q(row[0]), QStringLiteral("p=w1"));
    QCOMPARE(q(row[1]), QStringLiteral("新公告 & 欢迎=1"));
    QCOMPARE(browser::BrowserState::instance().accessPassword(), std::string("p=w1"));
  }

  // The charging mode is for VIP members: the refusal opens 开通VIP, a code
  // activates VIP and closes the window, and the mode is then accepted.
  void vipOnlyModeThenActivation() {
    setDemo("vip_until=''");
    exec("UPDATE codes SET used_by=0 WHERE code='VIP-DEMO-0001'");
    c<QComboBox>(kModeSelector)->setCurrentIndex(-1);
    openPage(QStringLiteral("设置"));
    QTRY_VERIFY_WITH_TIMEOUT(c<QComboBox>(kModeSelector)->currentIndex() >= 0, 15000);
    c<QComboBox>(kModeSelector)->setCurrentIndex(2);
    c<QComboBox>(kPermissionSelector)->setCurrentIndex(1);
    m_boxes->take();
    bool shown = false;
    whenShown(QStringLiteral("开通VIP"), [&shown](QWidget* vip) {
      shown = true;
      app::control<QLineEdit>(vip, names::vip::kCodeBox)->setText(QStringLiteral("VIP-DEMO-0001"));
      app::control<QPushButton>(vip, names::vip::kActivateButton)->click();
    });
    c<QPushButton>(kSetModeButton)->click();
    EXPECT_BOXES(QStringLiteral("设置失败，该功能为VIP会员专享，请先开通VIP！"), QStringLiteral("开通成功！"));
    QVERIFY(shown);
    QTRY_VERIFY_WITH_TIMEOUT(!app::findWindow(QStringLiteral("开通VIP")), 15000);
    QVERIFY(!e2e::query("SELECT vip_until FROM members WHERE id=1901")[0][0].empty());
    QTest::qWait(500);  // the page reloads after the activation
    c<QComboBox>(kModeSelector)->setCurrentIndex(2);
    c<QComboBox>(kPermissionSelector)->setCurrentIndex(1);
    c<QPushButton>(kSetModeButton)->click();
    EXPECT_BOXES(QStringLiteral("设置成功！"));
    QCOMPARE(e2e::query("SELECT storage_mode, permission FROM members WHERE id=1901")[0],
             (std::vector<std::string>{"3", "1"}));
  }

  // Feedback without the service keeps what the user wrote; with it, the
  // text is stored and the boxes are emptied.
  void feedbackKeepsTextUntilSent() {
    openPage(QStringLiteral("反馈"));
    QTRY_COMPARE_WITH_TIMEOUT(text(kFeedbackEmailBox), QStringLiteral("pages@tarnwick.local"), 15000);
    c<QPlainTextEdit>(kFeedbackTextBox)->setPlainText(QStringLiteral("下载很慢 & 卡"));
    m_boxes->take();
    {
      e2e::CountingPort dead;
      e2e::MainHostSwap swap(dead.url());
      c<QPushButton>(kSendFeedbackButton)->click();
      EXPECT_BOXES(QStringLiteral("网络连接失败，请稍后再试。"));
      QCOMPARE(text(kFeedbackTextBox), QStringLiteral("下载很慢 & 卡"));
    }
    c<QPushButton>(kSendFeedbackButton)->click();
    EXPECT_BOXES(QStringLiteral("反馈成功！"));
    QVERIFY(text(kFeedbackTextBox).isEmpty());
    QVERIFY(text(kFeedbackEmailBox).isEmpty());
    QCOMPARE(e2e::query("SELECT content FROM feedback ORDER BY id DESC LIMIT 1")[0][0],
             std::string("下载很慢 & 卡"));
  }

  void announcementsAsText() {
    openPage(QStringLiteral("设置"));
    QString shown;
    whenShown(QStringLiteral("公告"), [&shown](QWidget* dialog) {
      shown = app::fromGbk(app::controlText(dialog, names::announcement::kTextBox));
      dialog->close();
    });
    c<QPushButton>(kAnnouncementButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 15000);
    const auto title = e2e::query("SELECT title FROM announcements ORDER BY date DESC, id DESC LIMIT 1");
    QVERIFY(!title.empty());
    QVERIFY2(shown.contains(q(title[0][0])), qPrintable(shown));
    QVERIFY(!shown.contains('<'));
  }

  void withdrawalRecordsWindow() {
    setDemo("payout_account='demo@alipay.local'");
    openPage(QStringLiteral("提现"));
    QTRY_VERIFY_WITH_TIMEOUT(!settings::qt::withdrawalRecords().empty(), 15000);
    const auto rows = e2e::query("SELECT date FROM withdrawals WHERE member=1901 ORDER BY date DESC, id DESC");
    QStringList lines;
    whenShown(QStringLiteral("提现记录"), [&lines](QWidget* window) {
      lines = app::fromGbk(app::controlText(window, names::withdrawalRecords::kRecordsBox)).split('\n', Qt::SkipEmptyParts);
      window->close();
    });
    c<QPushButton>(kWithdrawalRecordsButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 15000);
    QCOMPARE(lines.size(), static_cast<qsizetype>(rows.size()));
    QVERIFY(lines[0].startsWith(q(rows[0][0])));
  }

  // With the service gone every page keeps what it showed and stays usable;
  // each failed load leaves a line in the log.
  void serviceDownChangesNothing() {
    e2e::CountingPort dead;
    e2e::MainHostSwap swap(dead.url());
    const int modeIndex = c<QComboBox>(kModeSelector)->currentIndex();
    const QString caption13 = text(kShowNameButton);
    const QString mode = text(kModeLabel);
    const QString withdrawn = text(kWithdrawnLabel);
    const int records = c<QListWidget>(kRecordList)->count();
    for (const char* title : {"个人", "安全", "提现", "设置", "记录"}) {
      const int before = logLines();
      openPage(QString::fromUtf8(title));
      QTRY_VERIFY_WITH_TIMEOUT(logLines() > before, 20000);
    }
    QCOMPARE(c<QComboBox>(kModeSelector)->currentIndex(), modeIndex);
    QCOMPARE(text(kShowNameButton), caption13);
    QCOMPARE(text(kModeLabel), mode);
    QCOMPARE(text(kWithdrawnLabel), withdrawn);
    QCOMPARE(c<QListWidget>(kRecordList)->count(), records);
    QVERIFY(c<QComboBox>(kModeSelector)->isEnabled());
    QVERIFY(dead.connections() >= 5);
  }

  // A failed load says so on the page, in a spot that covers none of the
  // page's controls; the next good load takes the line away.
  void failedLoadIsSaidOnThePage() {
    const QStringList pages{"个人", "安全", "提现", "设置", "记录"};
    {
      e2e::CountingPort dead;
      e2e::MainHostSwap swap(dead.url());
      for (const QString& title : pages) {
        openPage(title);
        QTRY_VERIFY_WITH_TIMEOUT(lineShown(title.toUtf8()), 20000);
        QLabel* line = settings::qt::loadFailureLine(title);
        QWidget* page = line->parentWidget();
        QVERIFY2(page->rect().contains(line->geometry()), qPrintable(title));
        for (auto* other : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
          if (other != line && other->isVisible())
            QVERIFY2(!other->geometry().intersects(line->geometry()), qPrintable(title + " " + other->objectName()));
      }
    }
    for (const QString& title : pages) {
      openPage(title);
      QTRY_VERIFY_WITH_TIMEOUT(!lineShown(title.toUtf8()), 15000);
    }
  }

  // A new login begins a new session: the pages wait for their own load
  // again (a switch sent just before does not bring its button back), and
  // the page shown is loaded once the login is through.
  void aNewLoginWaitsForItsOwnLoad() {
    openPage(QStringLiteral("设置"));
    QTRY_VERIFY_WITH_TIMEOUT(c(kSetModeButton)->isEnabled(), 15000);
    m_boxes->take();
    c<QPushButton>(kShowDownloadsButton)->click();
    QWidget* login = app::createWindow(QStringLiteral("Tarnwick登录"));
    QVERIFY(login);
    QTRY_COMPARE_WITH_TIMEOUT(app::WindowJobs::of(m_main)->pending(), 0, 15000);
    QVERIFY(m_boxes->take().isEmpty());
    QCOMPARE(enabledSendControls(), QStringList());
    QCOMPARE(c<QComboBox>(kModeSelector)->currentIndex(), -1);
    QCOMPARE(text(kShowDownloadsButton), QStringLiteral("获取中"));
    login->show();
    app::control<QLineEdit>(login, names::login::kAccountBox)->setText(QStringLiteral("pagesdemo"));
    app::control<QLineEdit>(login, names::login::kPasswordBox)->setText(QStringLiteral("demo123"));
    app::control<QPushButton>(login, names::login::kLoginButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!app::findWindow(QStringLiteral("Tarnwick登录")), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(c(kSetModeButton)->isEnabled(), 15000);
    QVERIFY(c<QComboBox>(kModeSelector)->currentIndex() >= 0);
    QVERIFY(text(kShowDownloadsButton) != QStringLiteral("获取中"));
  }
};

QTEST_MAIN(PagesE2E)
#include "pages_e2e_test.moc"
