// Starts the local service, logs demo in and walks quickly through the
// eleven pages of the main window again and again (each page shown for
// 150 ms, so loads overlap the next page change). Prints the longest gap
// between ticks of a 2 ms timer on the GUI thread: in the first round, which
// includes creating the web view of the personal page, and in the later ones.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"
#include "../bench_support.h"

using namespace tarnwick;

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 6;
  QTemporaryDir data;
  QProcess service;
  if (bench::startLocalService(service, data.path()).http.isEmpty()) return 1;

  app::registerModules();
  app::MainWindow main;
  app::runWindowInstallers(&main);
  main.show();
  if (!bench::loginDemo()) return 1;

  auto* tabs = app::control<QTabWidget>(&main, QStringLiteral("选择夹1"));
  bench::StallMeter meter;
  auto pump = [&](int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) app.processEvents(QEventLoop::AllEvents, 5);
  };
  pump(300);
  double first = 0, later = 0;
  for (int round = 0; round < rounds; ++round) {
    meter.start();
    double stall = 0;
    for (int page = 0; page < tabs->count(); ++page) {
      meter.reset();
      tabs->setCurrentIndex(page);
      pump(150);
      if (std::getenv("BENCH_VERBOSE") && meter.worstMs() > 30)
        std::printf("  page %s: stall %.1f ms\n", tabs->tabText(page).toUtf8().constData(), meter.worstMs());
      stall = std::max(stall, meter.worstMs());
    }
    meter.stop();
    if (round == 0) first = stall; else later = std::max(later, stall);
    if (std::getenv("BENCH_VERBOSE")) std::printf("round %d: longest stall %.1f ms\n", round, stall);
  }
  std::printf("walk through %d pages, %d rounds, 150 ms per page\n", tabs->count(), rounds);
  std::printf("  longest GUI-thread stall (2 ms ticker): first round %.1f ms (creates the web view), "
              "later rounds %.1f ms\n", first, later);
  service.terminate();
  service.waitForFinished(10000);
  return later <= 50 ? 0 : 2;
}
