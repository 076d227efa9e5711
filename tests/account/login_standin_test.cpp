// Login paths against a stand-in host on 127.0.0.1 whose replies the test
// chooses: a second member's login moves the member's pages, and a QQ
// sign-in whose login is refused leaves Session as it was.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/text.h"
#include "standin_host.h"
#include "test_support.h"

using namespace tarnwick;
using Seen = testsupport::StandInHost::Seen;

namespace {

const QString kLogin = QStringLiteral("Tarnwick登录");

std::string reply(const Seen& s) {
  if (s.target == "/ge.txt") return "118|http://127.0.0.1/new.exe";
  if (s.target == "/qdlxx.php") return "qqx|qqname|77|pw";
  if (s.target == "/csx.php") {
    if (s.body.find("zh=alice&") == 0) return "1002xalicexa@example.org";
    if (s.body.find("zh=bob&") == 0) return "1003xbobxb@example.org";
    if (s.body.find("zh=slow&") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(800));
    return "0";  // refused
  }
  return "";
}

}  // namespace

class LoginStandInTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  testsupport::StandInHost m_host;
  app::MainWindow* m_main = nullptr;

  QWidget* openLogin() {
    QWidget* login = app::createWindow(kLogin);
    if (login) login->show();
    return login;
  }
  void logIn(QWidget* login, const QString& account) {
    app::control<QLineEdit>(login, QStringLiteral("编辑框1"))->setText(account);
    app::control<QLineEdit>(login, QStringLiteral("编辑框2"))->setText(QStringLiteral("pw"));
    app::control<QPushButton>(login, QStringLiteral("按钮1"))->click();
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    m_host.setHandler(reply);
    m_host.pointAllHostsHere();
    app::registerModules();
    m_main = new app::MainWindow;
    app::runWindowInstallers(m_main);
  }
  void cleanupTestCase() { delete m_main; }

  // Every login points the web-upload page and the listing address at the
  // member who logged in, not at the first one.
  void eachLoginMovesTheMemberPages() {
    const std::string host = m_host.url();
    const struct {
      const char* account;
      const char* userId;
    } members[] = {{"alice", "1002"}, {"bob", "1003"}};
    for (const auto& m : members) {
      QPointer<QWidget> login = openLogin();
      QVERIFY(login);
      logIn(login, QString::fromUtf8(m.account));
      QTRY_VERIFY_WITH_TIMEOUT(login.isNull() || !login->isVisible(), 15000);
      QCOMPARE(app::Session::instance().accountName(), std::string(m.account));
      QCOMPARE(app::controlText(m_main, QStringLiteral("编辑框3")),
               host + "/wdwj.php?pid=" + m.userId);
      const std::string page = std::string("/sc/index2.php?zh=") + m.account + "&ml=0";
      QTRY_VERIFY_WITH_TIMEOUT(m_host.count(page) == 1, 15000);
    }
  }

  // 登录 is disabled while its request runs: a double click sends one login.
  void doubleClickSendsOneLogin() {
    QPointer<QWidget> login = openLogin();
    QVERIFY(login);
    auto* button = app::control<QPushButton>(login, QStringLiteral("按钮1"));
    const int before = m_host.count("/csx.php");
    auto seen = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::Ok, seen, 15000);
    app::control<QLineEdit>(login, QStringLiteral("编辑框1"))->setText(QStringLiteral("slow"));
    QTest::mouseDClick(button, Qt::LeftButton);
    button->click();
    QVERIFY(!button->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(seen->text, QStringLiteral("登录失败，帐号密码错误！"), 15000);
    QVERIFY(button->isEnabled());
    QTest::qWait(300);
    QCOMPARE(m_host.count("/csx.php"), before + 1);
    delete login;
  }

  // The QQ poll reports a member, but "/csx.php" refuses the login: Session
  // keeps the member who is logged in, and nothing of the QQ reply.
  void refusedQqLoginLeavesSessionAlone() {
    const app::SessionData before = app::Session::instance().get();
    QPointer<QWidget> login = openLogin();
    QVERIFY(login);
    QWidget* qq = app::createWindow(QStringLiteral("QQ互联登录"), login);
    QVERIFY(qq);
    qq->show();
    const int logins = m_host.count("/csx.php");
    auto seen = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::Ok, seen, 15000);
    app::control<QTimer>(qq, QStringLiteral("时钟1"))->start(10);  // the first tick polls
    QTRY_COMPARE_WITH_TIMEOUT(seen->text, QStringLiteral("登录失败，帐号密码错误！"), 15000);
    QCOMPARE(m_host.count("/csx.php"), logins + 1);
    const app::SessionData after = app::Session::instance().get();
    QCOMPARE(after.accountName, before.accountName);
    QCOMPARE(after.userId, before.userId);
    QCOMPARE(after.loginName, before.loginName);
    QCOMPARE(after.qqPassword, std::string());
    QVERIFY(login && login->isVisible());
    delete login;
  }
};

QTEST_MAIN(LoginStandInTest)
#include "login_standin_test.moc"
