// Skins on the real windows: every skin 1..33 applies its own style sheet and
// palette, the windows' texts still fit, numbers outside 1..33 change
// nothing, and the chosen skin comes back after a restart from 配置.ini.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <set>

#include "app/local_settings.h"
#include "app/qt/main_window.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/qt/skins.h"
#include "app/session.h"

using namespace tarnwick::app;

namespace {

const QString kLogin = QStringLiteral("Tarnwick登录");

QByteArray sheetHash(const QString& sheet) {
  return QCryptographicHash::hash(sheet.toUtf8(), QCryptographicHash::Sha1).toHex();
}

// Child mode: start as the program does (main window, then the login
// window, which applies the stored skin) and print the skin in effect.
int reportSkin() {
  registerModules();
  auto* main = new MainWindow;
  runWindowInstallers(main);
  applySkin(1);  // what the main window's creation does
  QWidget* login = createWindow(kLogin, main);
  std::printf("%d %s\n", currentSkin(), sheetHash(qApp->styleSheet()).constData());
  Session::instance().update([](SessionData& d) { d.accountName = "x"; });  // closing must not exit
  delete login;
  delete main;
  return 0;
}

}  // namespace

class SkinsGuiTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  MainWindow* m_main = nullptr;

  // Texts of buttons and check boxes fit their fixed geometry, and the main
  // tab row fits without scrolling.
  QStringList cutOff(QWidget* window) {
    QStringList bad;
    for (auto* b : window->findChildren<QPushButton*>()) {
      if (b->text().isEmpty() || b->isHidden()) continue;
      if (b->sizeHint().height() > b->height() + 2 || b->sizeHint().width() > b->width())
        bad << b->objectName() + QStringLiteral("(%1>%2)").arg(b->sizeHint().width()).arg(b->width());
    }
    for (auto* c : window->findChildren<QCheckBox*>())
      if (!c->isHidden() && c->sizeHint().width() > c->width()) bad << c->objectName();
    for (auto* tabs : window->findChildren<QTabWidget*>()) {
      QTabBar* bar = tabs->tabBar();
      int sum = 0;
      for (int i = 0; i < bar->count(); ++i) sum += bar->tabRect(i).width();
      if (sum > tabs->width()) bad << tabs->objectName();
    }
    return bad;
  }

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    registerModules();
    m_main = new MainWindow;
    runWindowInstallers(m_main);
    m_main->resize(665, 422);
  }
  void cleanupTestCase() { delete m_main; }

  void everySkinAppliesItsOwnLook() {
    std::set<QByteArray> sheets, looks;
    std::set<QRgb> windows;
    QWidget* login = createWindow(kLogin, m_main);
    for (int n = 1; n <= 33; ++n) {
      applySkin(n);
      QCOMPARE(currentSkin(), n);
      const auto expected = skinFromTable(n);
      QVERIFY(expected);
      QCOMPARE(qApp->styleSheet(), expected->styleSheet);
      QCOMPARE(QApplication::palette().color(QPalette::Window), expected->palette.color(QPalette::Window));
      QCOMPARE(QApplication::palette().color(QPalette::Text), expected->palette.color(QPalette::Text));
      sheets.insert(sheetHash(qApp->styleSheet()));
      windows.insert(QApplication::palette().color(QPalette::Window).rgb());
      const QImage shot = m_main->grab().toImage();
      looks.insert(QCryptographicHash::hash(
          QByteArrayView(shot.constBits(), shot.sizeInBytes()), QCryptographicHash::Sha1));
      const QStringList bad = cutOff(m_main) + cutOff(login);
      QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("skin %1 cuts off %2").arg(n).arg(bad.join(u' '))));
    }
    Session::instance().update([](SessionData& d) { d.accountName = "x"; });  // closing must not exit
    delete login;
    QCOMPARE(sheets.size(), std::size_t{33});
    QCOMPARE(looks.size(), std::size_t{33});  // the rendered windows differ too
    QVERIFY(windows.size() >= 30);
  }

  // The fit check above sees padding that pushes texts out of their boxes.
  void theFitCheckSeesCutOffText() {
    for (const char* sheet : {"palette Window #ffffff\n\nQPushButton { padding: 0px 60px; }",
                              "palette Window #ffffff\n\nQTabBar::tab { padding: 3px 40px; }"}) {
      const std::string text = sheet;
      QVERIFY(attachSkin({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
      QVERIFY2(!cutOff(m_main).isEmpty(), sheet);
    }
    applySkin(1);
    QVERIFY(cutOff(m_main).isEmpty());
  }

  void otherNumbersAndDamagedSkinsChangeNothing() {
    applySkin(5);
    const QString five = qApp->styleSheet();
    const QPalette palette = QApplication::palette();
    for (int n : {0, -1, 34, 1000}) {
      applySkin(n);
      QCOMPARE(currentSkin(), 5);
      QCOMPARE(qApp->styleSheet(), five);
    }
    const std::string garbage = "palette Window #zzzzzz\n\nQWidget { color: red; }";
    QVERIFY(!attachSkin({reinterpret_cast<const std::uint8_t*>(garbage.data()), garbage.size()}));
    QCOMPARE(qApp->styleSheet(), five);
    QCOMPARE(QApplication::palette(), palette);
    QVERIFY(!skinFromTable(0));
    QVERIFY(!skinFromTable(34));
  }

  void theChosenSkinIsBackAfterARestart() {
    const auto docs = documentsFolder();
    std::filesystem::remove(skinSettingsFile(docs));
    auto child = [this] {
      QProcess p;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("HOME"), m_home.path());
      env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + "/config");
      p.setProcessEnvironment(env);
      p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--report-skin")});
      if (!p.waitForFinished(60000)) return QByteArray("timeout");
      return p.readAllStandardOutput().trimmed();
    };
    // Fresh machine: skin 1.
    QCOMPARE(child(), "1 " + sheetHash(skinFromTable(1)->styleSheet));
    // Choosing 21 in the main window's selector stores it; a new process
    // applies it when its login window opens.
    QWidget* login = createWindow(kLogin, m_main);  // fills the selectors
    auto* box = control<QComboBox>(m_main, QStringLiteral("组合框3"));
    QVERIFY(box && box->count() == 33);
    box->setCurrentIndex(20);
    QCOMPARE(currentSkin(), 21);
    QCOMPARE(readSkinSetting(docs), std::string("21"));
    Session::instance().update([](SessionData& d) { d.accountName = "x"; });
    delete login;
    QCOMPARE(child(), "21 " + sheetHash(skinFromTable(21)->styleSheet));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc > 1 && QByteArray(argv[1]) == "--report-skin") return reportSkin();
  SkinsGuiTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "skins_gui_test.moc"
