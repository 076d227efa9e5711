// End-to-end scenarios of the account entry against the local service: the
// real client windows, offscreen, driven by object names. One scenario per
// process (argument 1), because several of them end the program.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QAction>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "app/ini.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/local_settings.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/qt/start.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "gui_driver.h"
#include "net/cookies.h"
#include "net/form.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

using tarnwick::testing::clickLater;
using tarnwick::testing::GuiDriver;
using tarnwick::testing::setTicked;
using tarnwick::testing::textOf;
using tarnwick::testing::typeInto;
using tarnwick::testing::visibleWindow;
using tarnwick::testing::window;

namespace {

namespace app = tarnwick::app;
namespace net = tarnwick::net;
using namespace tarnwick::app::names;

const QString kLogin = QStringLiteral("Tarnwick登录");
const QString kMain = QStringLiteral("Tarnwick客户端v2.3.3.8修正版");
const QString kKeptInFile = QStringLiteral("记住的密码保存在文档文件夹的配置2.iniat中");
QStringList g_failures;

void expect(bool ok, const QString& what) {
  if (!ok) g_failures << what;
}

std::string post(const std::string& path, const net::FormBuilder& body) {
  return net::httpRequestText(net::hosts().mainHost + path, "POST", "", "", body.str());
}

QString uniqueName(const char* prefix) {
  return QString::fromUtf8(prefix) + QString::number(QCoreApplication::applicationPid() % 100000) +
         QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
}

bool mainShownLoginGone() { return visibleWindow(kMain) && !visibleWindow(kLogin); }

// Types an account and password into the login window and clicks 登录.
void loginSteps(GuiDriver& d, const QString& account, const QString& password, bool remember) {
  d.add("login window", [] { return visibleWindow(kLogin) != nullptr; }, [=] {
    QWidget* w = window(kLogin);
    typeInto(w, login::kAccountBox, account);
    typeInto(w, login::kPasswordBox, password);
    setTicked(w, login::kRememberCheck, remember);
    clickLater(w, login::kLoginButton);
  });
}

void loggedInChecks(GuiDriver& d, const QString& account) {
  d.add("main window after login", mainShownLoginGone, [=] {
    QWidget* m = window(kMain);
    expect(textOf(m, main::kWelcomeLabel) == QStringLiteral("欢迎您回来：") + account,
           "greeting " + textOf(m, main::kWelcomeLabel));
    expect(textOf(m, main::kStatusLog).contains(QStringLiteral("：%1成功登录软件！\r\n").arg(account)) ||
               textOf(m, main::kStatusLog).contains(QStringLiteral("：%1成功登录软件！\n").arg(account)),
           "log line: " + textOf(m, main::kStatusLog));
    app::SessionData s = app::Session::instance().get();
    expect(app::fromGbk(s.accountName) == account, "Session.accountName " + app::fromGbk(s.accountName));
    expect(app::fromGbk(s.loginName) == account, "Session.loginName");
    expect(!s.userId.empty() && net::textToInt(s.userId) > 0, "Session.userId " + app::fromGbk(s.userId));
  });
}

void scenarioLogin(GuiDriver& d) {
  loginSteps(d, "demo", "demo123", false);
  loggedInChecks(d, "demo");
  d.add("e-mail from the reply", [] { return true; }, [] {
    expect(app::Session::instance().get().email == "demo@tarnwick.local", "Session.email");
    clickLater(window(kMain), main::kTrayButton);
  });
  d.add("hidden to the tray", [] { return !visibleWindow(kMain); }, [] {
    QTimer::singleShot(0, window(kMain)->findChild<QAction*>(QStringLiteral("打开软件")), &QAction::trigger);
  });
  d.add("back from the tray", [] { return visibleWindow(kMain) != nullptr; });
}

// 退出 ends the program at once with code 0 (checked by the parent).
void scenarioExitChild(GuiDriver& d) {
  loginSteps(d, "demo", "demo123", false);
  d.add("main window", mainShownLoginGone, [] {
    std::fprintf(stderr, "exiting\n");
    QTimer::singleShot(0, window(kMain)->findChild<QAction*>(QStringLiteral("退出")), &QAction::trigger);
  });
  d.add("never", [] { return false; });
}

void scenarioWrongPassword(GuiDriver& d) {
  loginSteps(d, "demo", "wrong-password", false);
  d.add("failure message", [&d] { return d.sawMessage(QStringLiteral("登录失败，帐号密码错误！")); },
        [] { expect(visibleWindow(kLogin) && !visibleWindow(kMain), "login window stays"); });
  d.add("box answered", [] { return QApplication::activeModalWidget() == window(kLogin); },
        [] { expect(app::Session::instance().accountName().empty(), "nobody logged in"); });
}

void scenarioRemember(GuiDriver& d) {
  loginSteps(d, "demo", "demo123", true);
  loggedInChecks(d, "demo");
  // Without a keyring the file keeps the password once the keyring's refusal
  // is in, and the log says so.
  auto inFile = [] { return app::readRememberedLogin(app::documentsFolder()).password == "demo123"; };
  d.add("logout from the tray menu", inFile, [] {
    expect(textOf(window(kMain), main::kStatusLog).contains(kKeptInFile),
           "no log line: the password is kept in the file");
    QAction* logout = window(kMain)->findChild<QAction*>(QStringLiteral("注销"));
    expect(logout != nullptr, "tray item 注销");
    if (logout) QTimer::singleShot(0, logout, &QAction::trigger);
  });
  d.add("login window again, filled", [] { return visibleWindow(kLogin) && !visibleWindow(kMain); }, [] {
    QWidget* w = window(kLogin);
    expect(textOf(w, login::kAccountBox) == "demo", "remembered account " + textOf(w, login::kAccountBox));
    expect(textOf(w, login::kPasswordBox) == "demo123", "remembered password");
    auto* box = w->findChild<QCheckBox*>(QString::fromUtf8(login::kRememberCheck.name));
    expect(box && box->isChecked(), "选择框1 ticked");
    // Forget them again: unticked, the next login deletes the stored value.
    setTicked(w, login::kRememberCheck, false);
    clickLater(w, login::kLoginButton);
  });
  d.add("logged in again", mainShownLoginGone, [] {
    expect(!std::filesystem::exists(app::credentialsFile(app::documentsFolder())),
           "unticked login deletes the remembered credentials");
  });
}

// The steps of keyring_e2e.sh, one client start each in one home, with a
// keyring: the password goes there and the file keeps "demo切割".
QString storedLogin() {
  const auto file = app::credentialsFile(app::documentsFolder());
  if (!std::filesystem::exists(file)) return QStringLiteral("<none>");
  return app::fromGbk(app::readIniValue(file, net::fromUtf8("帐号密码"), net::fromUtf8("存储")));
}

void rememberedInKeyring(GuiDriver& d) {
  loggedInChecks(d, "demo");
  d.add("file keeps the account alone", [] { return storedLogin() == QStringLiteral("demo切割"); }, [] {
    expect(!textOf(window(kMain), main::kStatusLog).contains(kKeptInFile), "log says the file keeps the password");
  });
}

void filledAtStart(GuiDriver& d) {
  d.add("login window filled from file and keyring", [] {
    QWidget* w = visibleWindow(kLogin);
    auto* box = w ? w->findChild<QCheckBox*>(QString::fromUtf8(login::kRememberCheck.name)) : nullptr;
    return box && box->isChecked() && textOf(w, login::kAccountBox) == "demo" &&
           textOf(w, login::kPasswordBox) == "demo123";
  });
}

void scenarioKeyringRemember(GuiDriver& d) {
  loginSteps(d, "demo", "demo123", true);
  rememberedInKeyring(d);
}

// Also the start after an old file with the password in it: the ticked login moves it.
void scenarioKeyringRestart(GuiDriver& d) {
  filledAtStart(d);
  d.add("log in again", [] { return true; }, [] { clickLater(window(kLogin), login::kLoginButton); });
  rememberedInKeyring(d);
}

void scenarioKeyringUntick(GuiDriver& d) {
  filledAtStart(d);
  d.add("untick and log in", [] { return true; }, [] {
    setTicked(window(kLogin), login::kRememberCheck, false);
    clickLater(window(kLogin), login::kLoginButton);
  });
  loggedInChecks(d, "demo");
  d.add("file gone", [] { return true; },
        [] { expect(storedLogin() == QStringLiteral("<none>"), "file left behind: " + storedLogin()); });
}

void registrationSteps(GuiDriver& d, const QString& account, const QString& password) {
  d.add("login window", [] { return visibleWindow(kLogin) != nullptr; },
        [] { clickLater(window(kLogin), login::kRegisterButton); });
  d.add("registration window", [] { return visibleWindow(QStringLiteral("帐号注册")) != nullptr; }, [] {
    QWidget* link =
        window(QStringLiteral("帐号注册"))->findChild<QWidget*>(QString::fromUtf8(registration::kTermsLink.name));
    expect(link != nullptr, "terms link");
    if (link) QTimer::singleShot(0, link, [link] { QTest::mouseClick(link, Qt::LeftButton); });
  });
  d.add("terms of use", [] { return visibleWindow(QStringLiteral("使用条款")) != nullptr; }, [] {
    QWidget* terms = window(QStringLiteral("使用条款"));
    const QString text = textOf(terms, terms::kTextBox);
    expect(text.startsWith(QStringLiteral("欢迎来到Tarnwick免费在线文件分享服务, 此为Tarnwick提供。")) &&
               text.endsWith(QStringLiteral("请不要打破以上条款，感谢您。")),
           "terms text");
    terms->close();
  });
  d.add("back at registration", [] {
    return !visibleWindow(QStringLiteral("使用条款")) &&
           QApplication::activeModalWidget() == window(QStringLiteral("帐号注册"));
  }, [=] {
    QWidget* w = window(QStringLiteral("帐号注册"));
    typeInto(w, registration::kAccountBox, account);
    typeInto(w, registration::kPasswordBox, password);
    typeInto(w, registration::kPasswordRepeatBox, password);
    typeInto(w, registration::kEmailBox, account + "@example.org");
    setTicked(w, registration::kTermsCheck, false);
    clickLater(w, registration::kRegisterButton);  // refused: terms not agreed
  });
  d.add("terms refusal", [&d] { return d.sawMessage(QStringLiteral("请先同意使用条款！")); });
  d.add("agree and register", [] { return QApplication::activeModalWidget() == window(QStringLiteral("帐号注册")); },
        [] {
          setTicked(window(QStringLiteral("帐号注册")), registration::kTermsCheck, true);
          clickLater(window(QStringLiteral("帐号注册")), registration::kRegisterButton);
        });
  d.add("registered", [&d] { return d.sawMessage(QStringLiteral("帐号注册成功！")) &&
                                    !visibleWindow(QStringLiteral("帐号注册")); },
        [=] {
          QWidget* w = window(kLogin);
          expect(textOf(w, login::kAccountBox) == account && textOf(w, login::kPasswordBox) == password,
                 "registration copied into the login window");
        });
}

void scenarioRegister(GuiDriver& d) {
  const QString account = uniqueName("reg");
  registrationSteps(d, account, "pw-1");
  d.add("log in with it", [] { return QApplication::activeModalWidget() == window(kLogin); },
        [] { clickLater(window(kLogin), login::kLoginButton); });
  loggedInChecks(d, account);
}

void scenarioRecover(GuiDriver& d) {
  const QString account = uniqueName("rec");
  registrationSteps(d, account, "old-pw");
  d.add("security question set", [] { return QApplication::activeModalWidget() == window(kLogin); }, [=] {
    // The service takes account changes only from the account's own session.
    post("/csx.php", net::FormBuilder().add("zh", app::toGbk(account), net::Charset::Utf8).add("mm", "old-pw"));
    std::string reply = post("/post/mb.php?pid=" + app::toGbk(account),
                             net::FormBuilder().add("dan", net::fromUtf8("宠物？"), net::Charset::Utf8)
                                 .add("wenti", net::fromUtf8("小黑"), net::Charset::Utf8));
    expect(reply.find('2') != std::string::npos, "question set: " + QString::fromStdString(reply));
    clickLater(window(kLogin), login::kRecoverButton);
  });
  d.add("recovery window", [] { return visibleWindow(QStringLiteral("找回密码")) != nullptr; }, [=] {
    QWidget* w = window(QStringLiteral("找回密码"));
    typeInto(w, recovery::kAccountBox, account);
    typeInto(w, recovery::kPasswordBox, "新密码");
    typeInto(w, recovery::kPasswordRepeatBox, "新密码");
    typeInto(w, recovery::kQuestionBox, "宠物？");
    typeInto(w, recovery::kAnswerBox, "小黑");
    clickLater(w, recovery::kByQuestionButton);
  });
  d.add("reset", [&d] { return d.sawMessage(QStringLiteral("重置密码成功！")) &&
                               !visibleWindow(QStringLiteral("找回密码")); },
        [=] {
          QWidget* w = window(kLogin);
          expect(textOf(w, login::kAccountBox) == account &&
                     textOf(w, login::kPasswordBox) == QStringLiteral("新密码"),
                 "new password copied into the login window");
          clickLater(w, login::kLoginButton);
        });
  loggedInChecks(d, account);
}

void scenarioQq(GuiDriver& d) {
  d.add("login window", [] { return visibleWindow(kLogin) != nullptr; },
        [] { clickLater(window(kLogin), login::kQqButton); });
  auto page = [] {
    QWidget* qqWindow = window(QString::fromUtf8(qq::kTitle));
    auto* b = qqWindow ? qqWindow->findChild<app::WebBrowser*>(QString::fromUtf8(qq::kBrowser.name)) : nullptr;
    return b && b->hasView() ? b->view() : nullptr;
  };
  auto loaded = std::make_shared<bool>(false);
  d.add("QQ window with its page", [=] {
    QWebEngineView* v = page();
    if (v && !*loaded) QObject::connect(v, &QWebEngineView::loadFinished, [loaded](bool ok) { *loaded = ok; });
    return v != nullptr;
  });
  d.add("page loaded", [=] { return *loaded || (page() && page()->url().path().contains("oauth")); }, [=] {
    // The user authorises on the page; the poll then logs in.
    QTimer::singleShot(1500, [=] {
      if (QWebEngineView* v = page())
        v->page()->runJavaScript(QStringLiteral(
            "var b=document.getElementById('qqlogin'); if (b) b.click(); !!b"));
    });
  });
  d.add("QQ window closed, logged in", [] {
    return mainShownLoginGone() && !visibleWindow(QStringLiteral("QQ互联登录"));
  });
  loggedInChecks(d, "qqdemo");
}

// Closing the QQ window ends the poll: a sign-in completed afterwards (with
// the cookies the page left in the shared store) logs nobody in.
void scenarioQqClosed(GuiDriver& d) {
  d.add("login window", [] { return visibleWindow(kLogin) != nullptr; },
        [] { clickLater(window(kLogin), login::kQqButton); });
  auto start = std::make_shared<qint64>(0);
  d.add("QQ window", [] { return visibleWindow(QStringLiteral("QQ互联登录")) != nullptr; },
        [start] { *start = QDateTime::currentMSecsSinceEpoch(); });
  d.add("the page's cookie reached the request store", [start] {
    for (const auto& c : net::allCookies())
      if (c.name == "TWQQ") return QDateTime::currentMSecsSinceEpoch() - *start > 4000;  // polling
    return false;
  }, [] { window(QStringLiteral("QQ互联登录"))->close(); });
  auto closedAt = std::make_shared<qint64>(0);
  d.add("closed", [] { return !visibleWindow(QStringLiteral("QQ互联登录")); }, [closedAt] {
    // Authorise now, behind the closed window.
    post("/QQ/example/oauth/index.php", net::FormBuilder().add("ok", "1"));
    *closedAt = QDateTime::currentMSecsSinceEpoch();
  });
  d.add("no login after three seconds", [closedAt] {
    return QDateTime::currentMSecsSinceEpoch() - *closedAt > 3000;
  }, [] {
    expect(visibleWindow(kLogin) && !visibleWindow(kMain), "still at the login window");
    expect(app::Session::instance().accountName().empty(), "nobody logged in");
    std::string reply = net::fetchUrl(net::hosts().mainHost + "/qdlxx.php");
    expect(reply.find("qqdemo") != std::string::npos, "the sign-in itself completed");
  });
}

void scenarioWatchdog(GuiDriver& d) {
  loginSteps(d, "demo", "demo123", false);
  d.add("main window", mainShownLoginGone, [] {
    // Another client logs in as demo (its own cookies: a plain subprocess).
    QProcess curl;
    curl.start("curl", {"-s", "-m", "10", "-d", "zh=demo&mm=demo123",
                        QString::fromStdString(net::hosts().mainHost + "/csx.php")});
    expect(curl.waitForFinished(15000) && curl.readAll().startsWith("1001x"), "second login");
    auto* timer = window(kMain)->findChild<QTimer*>(QString::fromUtf8(main::kSessionTimer.name));
    expect(timer && timer->isActive() && timer->interval() == 30000, "时钟3 runs every 30000 ms");
    if (timer) timer->start(300);
  });
  d.add("logged out", [&d] {
    return d.sawMessage(QStringLiteral("您的帐号已在其它地方登录，软件即将注销……")) &&
           visibleWindow(kLogin) && !visibleWindow(kMain);
  }, [] {
    auto* timer = window(kMain)->findChild<QTimer*>(QString::fromUtf8(main::kSessionTimer.name));
    expect(timer && !timer->isActive(), "watchdog stopped");
  });
}

}  // namespace

namespace {

// The update check: the service announces "119"; the question is answered
// No and the program must end by itself with exit code 0. Runs the client in
// a child process because the check ends the program.
// Runs a child scenario that must end the program by itself with code 0
// after printing expectedLine.
bool childEndsWithZero(const char* self, const char* scenario, const QString& expectedLine) {
  QProcess child;
  child.start(QString::fromLocal8Bit(self), {QString::fromUtf8(scenario)});
  const bool finished = child.waitForFinished(90000);
  if (!finished) child.kill(), child.waitForFinished(5000);
  const QString out = QString::fromUtf8(child.readAllStandardError());
  std::fprintf(stderr, "%s", qPrintable(out));
  const bool ok = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                  out.contains(expectedLine) && !out.contains(QStringLiteral("driver: done"));
  std::fprintf(stderr, "%s: %s (exit %d)\n", scenario, ok ? "ok" : "FAILED", child.exitCode());
  return ok;
}

int runUpdateParent(const char* self) {
  const QString data = qEnvironmentVariable("TARNWICK_SERVICE_DATA");
  QFile version(data + "/version");
  if (!version.open(QIODevice::WriteOnly) || version.write("119") != 3) {
    std::fprintf(stderr, "cannot announce a version in %s\n", qPrintable(data));
    return 1;
  }
  version.close();
  const bool ok = childEndsWithZero(self, "update-child",
                                    QStringLiteral("message: 发现新版本，是否马上更新？"));
  QFile::remove(data + "/version");
  return ok ? 0 : 1;
}

// Records the addresses handed to the desktop's browser (printed, so the
// parent process sees them).
class UrlRecorder : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) {
    std::fprintf(stderr, "opened: %s\n", qPrintable(url.toString()));
    std::fflush(stderr);
  }
};

int runUpdateYesParent(const char* self) {
  const QString data = qEnvironmentVariable("TARNWICK_SERVICE_DATA");
  QFile version(data + "/version");
  if (!version.open(QIODevice::WriteOnly) || version.write("119") != 3) return 1;
  version.close();
  const QString opened = QStringLiteral("opened: ") + qEnvironmentVariable("TARNWICK_MAIN_HOST") +
                         QStringLiteral("/download/tarnwick-setup.exe");
  const bool ok = childEndsWithZero(self, "update-yes-child", opened);
  QFile::remove(data + "/version");
  return ok ? 0 : 1;
}

// 是: the download address is opened before the program ends.
void scenarioUpdateYesChild(GuiDriver& d) {
  static UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
  d.answerQuestionsWith(QMessageBox::Yes);
  d.add("never", [] { return false; });
}

void scenarioUpdateChild(GuiDriver& d) {
  d.answerQuestionsWith(QMessageBox::No);
  // The program ends on its own after the answer; reaching the end of this
  // script means it kept running.
  d.add("never", [] { return false; });
}

using Scenario = void (*)(GuiDriver&);
const std::map<std::string, Scenario> kScenarios = {
    {"login", scenarioLogin},       {"wrong-password", scenarioWrongPassword},
    {"remember", scenarioRemember}, {"register", scenarioRegister},
    {"recover", scenarioRecover},   {"qq", scenarioQq},
    {"qq-closed", scenarioQqClosed},
    {"watchdog", scenarioWatchdog}, {"update-child", scenarioUpdateChild},
    {"update-yes-child", scenarioUpdateYesChild},
    {"exit-child", scenarioExitChild},
    {"keyring-remember", scenarioKeyringRemember}, {"keyring-restart", scenarioKeyringRestart},
    {"keyring-untick", scenarioKeyringUntick},
};

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : "";
  if (name == "update") {
    QCoreApplication core(argc, argv);
    return runUpdateParent(argv[0]);
  }
  if (name == "update-yes") {
    QCoreApplication core(argc, argv);
    return runUpdateYesParent(argv[0]);
  }
  if (name == "exit") {
    QCoreApplication core(argc, argv);
    return childEndsWithZero(argv[0], "exit-child", QStringLiteral("exiting")) ? 0 : 1;
  }
  auto it = kScenarios.find(name);
  if (it == kScenarios.end()) {
    std::fprintf(stderr, "usage: %s <scenario>\n", argv[0]);
    return 2;
  }
  // A home of its own: the settings and remembered credentials of this run,
  // and no keyring. keyring_e2e.sh gives its runs one home and a keyring.
  QTemporaryDir home;
  if (name.rfind("keyring-", 0) != 0) {
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").toLocal8Bit());
    QDir(home.path()).mkpath("Documents");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
  }

  tarnwick::app::prepareApplication();
  QApplication qapp(argc, argv);
  GuiDriver driver(name == "update-child" || name == "update-yes-child" ? 60000 : 90000);
  it->second(driver);
  driver.start([](bool ok, QString failure) {
    if (!ok) g_failures << failure;
    for (const QString& f : g_failures) std::fprintf(stderr, "FAIL: %s\n", qPrintable(f));
    std::fprintf(stderr, "driver: done, %s\n", g_failures.isEmpty() ? "passed" : "failed");
    std::fflush(nullptr);
    std::_Exit(g_failures.isEmpty() ? 0 : 1);
  });
  return tarnwick::app::startClient();
}

#include "account_e2e.moc"
