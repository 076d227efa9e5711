#pragma once
// Helpers of the browser's end-to-end tests: message boxes answered and
// recorded, read-only queries of the local service's database, and a port
// that counts the connections made to it.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include "../fixtures/service_db.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// The main window with every module's handlers, shown, as the start routine
// builds it.
inline tarnwick::app::MainWindow* showMainWindow() {
  using namespace tarnwick;
  app::registerModules();
  auto* main = new app::MainWindow;
  app::runWindowInstallers(main);
  main->show();
  return main;
}

// Logs account in through the real login window; true once Session names
// a member (within 15 s).
inline bool logInThroughWindow(const QString& account, const QString& password) {
  using namespace tarnwick;
  QWidget* login = app::createWindow(QStringLiteral("Tarnwick登录"));
  if (!login) return false;
  login->show();
  app::control<QLineEdit>(login, QStringLiteral("编辑框1"))->setText(account);
  app::control<QLineEdit>(login, QStringLiteral("编辑框2"))->setText(password);
  app::control<QPushButton>(login, QStringLiteral("按钮1"))->click();
  return QTest::qWaitFor([] { return app::Session::instance().loggedIn(); }, 15000);
}

// Answers every message box that becomes the active modal widget (Yes when
// offered, otherwise OK) and records its text.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer() {
    m_timer.setInterval(15);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      m_texts << box->text();
      QAbstractButton* b = box->button(m_answer);
      if (!b) b = box->button(QMessageBox::Ok);
      if (b) b->click();
    });
    m_timer.start();
  }
  qsizetype size() const { return m_texts.size(); }
  QStringList take() { return std::exchange(m_texts, {}); }
  void setAnswer(QMessageBox::StandardButton b) { m_answer = b; }

 private:
  QTimer m_timer;
  QStringList m_texts;
  QMessageBox::StandardButton m_answer = QMessageBox::Yes;
};

// Rows of a query on the service's database (read-only), as UTF-8 texts.
inline std::vector<std::vector<std::string>> query(const std::string& sql) {
  return tarnwick::test::queryDb(qEnvironmentVariable("TARNWICK_SERVICE_DATA").toStdString() + "/tarnwick.db", sql);
}

inline QString q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The service's size text: bytes, or KB/MB/GB with one decimal (".0" dropped).
inline QString sizeText(double size) {
  if (size < 1024) return QString::number(static_cast<long long>(size)) + "B";
  const char* units[] = {"KB", "MB", "GB"};
  for (const char* unit : units) {
    size /= 1024.0;
    if (size < 1024 || QString(unit) == "GB")
      return QString::asprintf("%.1f%s", size, unit).replace(QString(".0") + unit, unit);
  }
  return {};
}

// Points the main host at another address while in scope.
class MainHostSwap {
 public:
  explicit MainHostSwap(const QString& url) : m_saved(qgetenv("TARNWICK_MAIN_HOST")) {
    qputenv("TARNWICK_MAIN_HOST", url.toUtf8());
    tarnwick::net::reloadHosts();
  }
  ~MainHostSwap() {
    qputenv("TARNWICK_MAIN_HOST", m_saved);
    tarnwick::net::reloadHosts();
  }

 private:
  QByteArray m_saved;
};

// A local port that accepts and counts connections (and answers nothing).
class CountingPort : public QObject {
 public:
  CountingPort() {
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = m_server.nextPendingConnection()) {
        ++m_connections;
        s->close();
        s->deleteLater();
      }
    });
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
  int connections() const { return m_connections; }

 private:
  QTcpServer m_server;
  int m_connections = 0;
};

}  // namespace e2e
