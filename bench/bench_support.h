#pragma once
// What the GUI benchmarks share: the local service on free ports with the
// client's hosts pointed at it, the demo login, and a meter of the GUI
// thread's longest stall (the longest gap between ticks of a 2 ms timer).
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMetaEnum>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"

namespace tarnwick::bench {

struct ServiceAddresses {
  QString http;  // "http://127.0.0.1:port"
  QString ftp;   // "127.0.0.1:port"
};

// Starts service/start with the data folder dataDir (and env, when given),
// points every TARNWICK_* host at it and returns its addresses; empty http
// when it did not start.
inline ServiceAddresses startLocalService(QProcess& service, const QString& dataDir,
                                          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  service.setProcessEnvironment(env);
  service.start(QStringLiteral(TARNWICK_SOURCE_DIR "/service/start"),
                {"--http", "0", "--ftp", "0", "--data", dataDir});
  if (!service.waitForReadyRead(30000)) {
    std::fprintf(stderr, "service did not start\n");
    return {};
  }
  const QString ready = QString::fromUtf8(service.readLine()).trimmed();  // "ready http://... ftp://..."
  ServiceAddresses a{ready.section(' ', 1, 1), ready.section(' ', 2, 2).mid(6)};
  for (const char* name : {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST",
                           "TARNWICK_WEB_UPLOAD_HOST"})
    qputenv(name, a.http.toUtf8());
  qputenv("TARNWICK_FTP_HOST", a.ftp.toUtf8());
  tarnwick::net::reloadHosts();
  return a;
}

// Logs demo in through the HTTP engine (the session cookie goes to the
// shared store) and fills Session as a login would.
inline bool loginDemo() {
  const std::string reply = tarnwick::net::httpRequestText(tarnwick::net::hosts().mainHost + "/csx.php", "POST",
                                                           "", "", "zh=demo&mm=demo123");
  if (reply.rfind("1001x", 0) != 0) {
    std::fprintf(stderr, "login failed\n");
    return false;
  }
  tarnwick::app::Session::instance().update([](tarnwick::app::SessionData& d) {
    d.accountName = "demo";
    d.userId = "1001";
    d.email = "demo@tarnwick.local";
  });
  return true;
}

// The longest gap between ticks of a 2 ms timer on the GUI thread since the
// last reset().
class StallMeter {
 public:
  StallMeter() {
    m_ticker.setInterval(2);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
      m_worst = std::max(m_worst, m_tick.nsecsElapsed());
      m_tick.restart();
    });
  }
  void start() {
    reset();
    m_ticker.start();
  }
  void stop() { m_ticker.stop(); }
  void reset() {
    m_tick.start();
    m_worst = 0;
  }
  double worstMs() const { return m_worst / 1e6; }

 private:
  QTimer m_ticker;
  QElapsedTimer m_tick;
  qint64 m_worst = 0;
};

// A QApplication that times every event it hands out on the GUI thread and
// keeps the longest one since the last reset: the receiver (class and
// object name) and the event type. The stall tracer of the benchmarks: a
// stall of the 2 ms ticker is the event that was being handled meanwhile.
class TracingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (m_depth > 0 || !m_tracing) return QApplication::notify(receiver, event);
    const QString what = QString::fromLatin1(receiver->metaObject()->className()) + QStringLiteral(" '") +
                         receiver->objectName() + QStringLiteral("' ") + typeName(event->type());
    ++m_depth;
    QElapsedTimer t;
    t.start();
    const bool handled = QApplication::notify(receiver, event);
    const qint64 ns = t.nsecsElapsed();
    --m_depth;
    if (ns > m_worstNs) {
      m_worstNs = ns;
      m_worst = what;
    }
    return handled;
  }
  void trace(bool on) { m_tracing = on; }
  void resetTrace() {
    m_worstNs = 0;
    m_worst.clear();
  }
  // "12.3 ms: <receiver> <event type>"
  std::string worstEvent() const {
    return QStringLiteral("%1 ms: %2").arg(m_worstNs / 1e6, 0, 'f', 1).arg(m_worst).toStdString();
  }

 private:
  static QString typeName(QEvent::Type t) {
    const char* key = QMetaEnum::fromType<QEvent::Type>().valueToKey(t);
    return key ? QString::fromLatin1(key) : QStringLiteral("event %1").arg(int(t));
  }
  int m_depth = 0;
  bool m_tracing = true;
  qint64 m_worstNs = 0;
  QString m_worst;
};

}  // namespace tarnwick::bench
