// The remembered login with and without a desktop keyring, against the local
// service: one step of a scenario per process (argument 1), so that "the
// next start" is a new start of the client. run.sh strings the steps
// together inside a D-Bus session of its own and checks the keyring between
// them; KEYRING_E2E_EXPECT says where the password should end up ("keyring"
// or "file").
#include <QApplication>
#include <QCheckBox>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "../account/gui_driver.h"
#include "app/ini.h"
#include "app/local_settings.h"
#include "app/qt/settings_ui.h"
#include "app/qt/start.h"
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

const QString kLogin = QStringLiteral("Tarnwick登录");
const QString kMain = QStringLiteral("Tarnwick客户端v2.3.3.8修正版");
QStringList g_failures;

void expect(bool ok, const QString& what) {
  if (!ok) g_failures << what;
}

bool inKeyringMode() { return qEnvironmentVariable("KEYRING_E2E_EXPECT") == QStringLiteral("keyring"); }

// The raw value of [帐号密码] 存储, as UTF-8; "<none>" without a file.
QString storedValue() {
  const auto file = app::credentialsFile(app::documentsFolder());
  if (!std::filesystem::exists(file)) return QStringLiteral("<none>");
  return QString::fromStdString(
      net::toUtf8(app::readIniValue(file, net::fromUtf8("帐号密码"), net::fromUtf8("存储"))));
}

QString expectedValue() { return inKeyringMode() ? QStringLiteral("demo切割") : QStringLiteral("demo切割demo123"); }

bool mainShownLoginGone() { return visibleWindow(kMain) && !visibleWindow(kLogin); }

bool ticked(QWidget* w) {
  auto* box = w ? w->findChild<QCheckBox*>(QStringLiteral("选择框1")) : nullptr;
  return box && box->isChecked();
}

// After a ticked login: the file takes its final value once the keyring has
// answered; the log names the file only where the keyring did not take it.
void remembered(GuiDriver& d) {
  d.add("main window after login", mainShownLoginGone);
  d.add("file holds " + expectedValue(), [] { return storedValue() == expectedValue(); }, [] {
    const bool said = textOf(window(kMain), "编辑框48").contains(QStringLiteral("记住的密码保存在文档文件夹的配置2.iniat中"));
    expect(said != inKeyringMode(), inKeyringMode() ? "a log line about the file although the keyring took it"
                                                    : "no log line saying the password is kept in the file");
  });
}

// Fresh start: type, tick, log in.
void scenarioRemember(GuiDriver& d) {
  d.add("login window", [] { return visibleWindow(kLogin) != nullptr; }, [] {
    QWidget* w = window(kLogin);
    typeInto(w, "编辑框1", "demo");
    typeInto(w, "编辑框2", "demo123");
    setTicked(w, "选择框1", true);
    clickLater(w, "按钮1");
  });
  remembered(d);
}

// Next start: both boxes filled (the password from the keyring or the file).
void filledAtStart(GuiDriver& d) {
  d.add("login window filled", [] {
    QWidget* w = visibleWindow(kLogin);
    return w && textOf(w, "编辑框1") == "demo" && textOf(w, "编辑框2") == "demo123" && ticked(w);
  });
}

// Next start, filled; logging in again with the box ticked keeps (or, from
// an old file, moves) the password where it belongs.
void scenarioRestartRemember(GuiDriver& d) {
  filledAtStart(d);
  d.add("login again", [] { return true; }, [] { clickLater(window(kLogin), "按钮1"); });
  remembered(d);
}

// Next start, filled; unticked, the login forgets the file (the keyring is
// checked by run.sh).
void scenarioRestartUntick(GuiDriver& d) {
  filledAtStart(d);
  d.add("untick and log in", [] { return true; }, [] {
    setTicked(window(kLogin), "选择框1", false);
    clickLater(window(kLogin), "按钮1");
  });
  d.add("main window after login", mainShownLoginGone,
        [] { expect(storedValue() == QStringLiteral("<none>"), "file left behind: " + storedValue()); });
}

const std::map<std::string, void (*)(GuiDriver&)> kScenarios = {
    {"remember", scenarioRemember},
    {"restart-remember", scenarioRestartRemember},
    {"restart-untick", scenarioRestartUntick},
};

}  // namespace

int main(int argc, char** argv) {
  auto it = kScenarios.find(argc > 1 ? argv[1] : "");
  if (it == kScenarios.end()) {
    std::fprintf(stderr, "usage: %s remember|restart-remember|restart-untick\n", argv[0]);
    return 2;
  }
  app::prepareApplication();
  QApplication qapp(argc, argv);
  GuiDriver driver(60000);
  it->second(driver);
  driver.start([](bool ok, QString failure) {
    if (!ok) g_failures << failure;
    for (const QString& f : g_failures) std::fprintf(stderr, "FAIL: %s\n", qPrintable(f));
    std::fprintf(stderr, "driver: done, %s\n", g_failures.isEmpty() ? "passed" : "failed");
    std::fflush(nullptr);
    std::_Exit(g_failures.isEmpty() ? 0 : 1);
  });
  return app::startClient();
}
