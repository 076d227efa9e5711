// The account pages end to end: demo logs in through the login window, the
// test puts demo's record in the service's database into a known state,
// opens a page of 选择夹1 and checks what its controls show.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "../browser/e2e_support.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/http.h"
#include "settings/qt/account_pages.h"

using namespace tarnwick;
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

void setDemo(const std::string& assignments) { exec("UPDATE members SET " + assignments + " WHERE id=1001"); }

}  // namespace

class PagesE2E : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  app::MainWindow* m_main = nullptr;
  e2e::BoxAnswerer* m_boxes = nullptr;

  QTabWidget* tabs() { return app::control<QTabWidget>(m_main, QStringLiteral("选择夹1")); }
  template <class T = QWidget>
  T* c(const char* name) { return app::control<T>(m_main, QString::fromUtf8(name)); }
  QString text(const char* name) { return app::fromGbk(app::controlText(m_main, QString::fromUtf8(name))); }
  int logLines() { return c<QPlainTextEdit>("日志编辑框")->toPlainText().count('\n'); }

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
    app::registerModules();
    m_main = new app::MainWindow;
    app::runWindowInstallers(m_main);
    m_main->show();
    m_boxes = new e2e::BoxAnswerer;
    net::setBrowserOpener([](const std::string&) {});
    QWidget* login = app::createWindow(QStringLiteral("Tarnwick登录"));
    QVERIFY(login);
    login->show();
    app::control<QLineEdit>(login, QStringLiteral("编辑框1"))->setText(QStringLiteral("demo"));
    app::control<QLineEdit>(login, QStringLiteral("编辑框2"))->setText(QStringLiteral("demo123"));
    app::control<QPushButton>(login, QStringLiteral("按钮1"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(app::Session::instance().loggedIn(), 15000);
  }

  void cleanupTestCase() {
    delete m_boxes;
    delete m_main;
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
    c("标签12")->setProperty("text", QString());
    openPage(QStringLiteral("个人"));
    QTRY_COMPARE_WITH_TIMEOUT(text("标签12"), mode, 15000);
    QCOMPARE(c("按钮7")->isVisibleTo(m_main), offerVip);
    QCOMPARE(c("超文本浏览框2")->height(), offerVip ? 272 : 312);
    QVERIFY(text("标签14").startsWith(QStringLiteral("总IP数量：")));
    QVERIFY(!text("标签14").contains(QStringLiteral("总IP数量：。")));  // the number was cut out
  }

  // The question can be set once: a page without one leaves the form usable,
  // a page with one shows it and locks the form.
  void securityPage() {
    setDemo("question='', answer=''");
    openPage(QStringLiteral("安全"));
    QTRY_COMPARE_WITH_TIMEOUT(text("标签21"), QStringLiteral("密保状态：还没有设置，危险！"), 15000);
    QVERIFY(c("按钮8")->isEnabled());
    QVERIFY(!c<QLineEdit>("编辑框6")->isReadOnly());
    QCOMPARE(text("编辑框45"), QStringLiteral("demo@tarnwick.local"));

    setDemo("question='我的小学名字？', answer='阳光小学'");
    openPage(QStringLiteral("安全"));
    QTRY_COMPARE_WITH_TIMEOUT(text("标签21"), QStringLiteral("密保状态：已设置！"), 15000);
    QCOMPARE(text("编辑框6"), QStringLiteral("我的小学名字？"));
    QCOMPARE(text("编辑框7"), QStringLiteral("******已设置，请牢记******"));
    QVERIFY(c<QLineEdit>("编辑框6")->isReadOnly());
    QVERIFY(!c("按钮8")->isEnabled());
  }

  void withdrawalPage() {
    setDemo("payout_account=''");
    openPage(QStringLiteral("提现"));
    QTRY_VERIFY_WITH_TIMEOUT(text("标签28").startsWith(QStringLiteral("已提现佣金：")), 15000);
    QVERIFY(c("按钮9")->isEnabled());
    QVERIFY(settings::qt::withdrawalRecords().empty());

    setDemo("payout_account='demo@alipay.local'");
    openPage(QStringLiteral("提现"));
    QTRY_COMPARE_WITH_TIMEOUT(text("按钮9"), QStringLiteral("已锁定"), 15000);
    QVERIFY(!c("按钮9")->isEnabled());
    QCOMPARE(text("编辑框10"), QStringLiteral("demo@alipay.local"));
    QCOMPARE(text("编辑框11"), QStringLiteral("demo@alipay.local"));
    QCOMPARE(text("编辑框12"), QStringLiteral("张三"));
    QVERIFY(c<QLineEdit>("编辑框12")->isReadOnly());
    const auto rows = e2e::query("SELECT date FROM withdrawals WHERE member=1001 ORDER BY date DESC, id DESC");
    QVERIFY(rows.size() >= 2);
    const auto& records = settings::qt::withdrawalRecords();
    QCOMPARE(records.size(), rows.size());
    QVERIFY(app::fromGbk(records[0]).startsWith(q(rows[0][0]) + "     "));
    QVERIFY(text("编辑框9").startsWith(QStringLiteral("提现佣金到支付宝账户：")));

    openPage(QStringLiteral("设置"));  // any other page empties the records
    QVERIFY(settings::qt::withdrawalRecords().empty());
  }

  void settingsPage() {
    setDemo("storage_mode=2, permission=3, date_public=0, access_password='k&1'");
    openPage(QStringLiteral("设置"));
    QTRY_COMPARE_WITH_TIMEOUT(c<QComboBox>("组合框7")->currentIndex(), 3, 15000);
    QCOMPARE(c<QComboBox>("组合框2")->currentIndex(), 1);
    QCOMPARE(c<QComboBox>("组合框7")->currentText(), QStringLiteral("只能手机访问"));
    QCOMPARE(text("按钮13"), QStringLiteral("开启"));
    QCOMPARE(text("标签30"), QStringLiteral("上传日期公开：×"));
    QCOMPARE(text("编辑框24"), QStringLiteral("k&1"));
    QCOMPARE(text("编辑框25"), QStringLiteral("欢迎访问我的网盘！"));
  }

  // 上一页 on page 0 stays at 0; 下一页 from an empty box goes to page 1.
  void recordsPaging() {
    const auto page = [](int n) {
      return e2e::query("SELECT time FROM records WHERE member=1001 ORDER BY time DESC, id DESC LIMIT 10 OFFSET " +
                        std::to_string(n * 10));
    };
    const auto shows = [this](const std::vector<std::vector<std::string>>& rows) {
      auto* list = c<QListWidget>("列表框5");
      if (list->count() != static_cast<int>(rows.size())) return false;
      for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->text().startsWith(q(rows[i][0]) + "   ")) return false;
      return true;
    };
    QVERIFY(!page(1).empty());
    openPage(QStringLiteral("记录"));
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(0)), 15000);
    c<QPushButton>("按钮24")->click();
    QCOMPARE(text("编辑框43"), QStringLiteral("0"));
    c<QLineEdit>("编辑框43")->clear();
    c<QPushButton>("按钮25")->click();
    QCOMPARE(text("编辑框43"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(1)), 15000);
    c<QPushButton>("按钮23")->click();
    QTRY_VERIFY_WITH_TIMEOUT(shows(page(0)), 15000);
  }

  // With the service gone every page keeps what it showed and stays usable;
  // each failed load leaves a line in the log.
  void serviceDownChangesNothing() {
    e2e::CountingPort dead;
    e2e::MainHostSwap swap(dead.url());
    const int modeIndex = c<QComboBox>("组合框2")->currentIndex();
    const QString caption13 = text("按钮13");
    const QString mode = text("标签12");
    const QString withdrawn = text("标签28");
    const int records = c<QListWidget>("列表框5")->count();
    for (const char* title : {"个人", "安全", "提现", "设置", "记录"}) {
      const int before = logLines();
      openPage(QString::fromUtf8(title));
      QTRY_VERIFY_WITH_TIMEOUT(logLines() > before, 20000);
    }
    QCOMPARE(c<QComboBox>("组合框2")->currentIndex(), modeIndex);
    QCOMPARE(text("按钮13"), caption13);
    QCOMPARE(text("标签12"), mode);
    QCOMPARE(text("标签28"), withdrawn);
    QCOMPARE(c<QListWidget>("列表框5")->count(), records);
    QVERIFY(c<QComboBox>("组合框2")->isEnabled());
    QVERIFY(dead.connections() >= 5);
  }
};

QTEST_MAIN(PagesE2E)
#include "pages_e2e_test.moc"
