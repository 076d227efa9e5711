// Starts the local service with 200 rows per listing page, fills the default
// folder of demo with 200 files, then lists that page repeatedly through the
// main window: prints the time from the start of each listing to the filled
// list and the longest gap between ticks of a 2 ms timer on the GUI thread.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/listing.h"
#include "browser/qt/file_list.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "../bench_support.h"

using namespace tarnwick;

namespace {

constexpr int kRows = 200;
constexpr int kRuns = 20;

bool addFiles(const QString& db, int count) {
  sqlite3* h = nullptr;
  if (sqlite3_open(db.toUtf8().constData(), &h) != SQLITE_OK) return false;
  sqlite3_busy_timeout(h, 5000);
  bool ok = sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  for (int i = 0; ok && i < count; ++i) {
    const std::string sql = "INSERT INTO files(owner, folder, name, size, date, downloads) VALUES (1001, 0, "
                            "'压测文件" + std::to_string(i) + ".bin', " + std::to_string(1000 + i * 977) +
                            ", '2026-01-01 10:00:00', " + std::to_string(i % 50) + ")";
    ok = sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ok = ok && sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(h);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QTemporaryDir data;
  QProcess service;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TARNWICK_LISTING_PAGE_SIZE", QString::number(kRows));
  if (bench::startLocalService(service, data.path(), env).http.isEmpty()) return 1;
  if (!addFiles(data.path() + "/tarnwick.db", kRows)) {
    std::fprintf(stderr, "could not add the files\n");
    return 1;
  }

  app::registerModules();
  app::MainWindow main;
  app::runWindowInstallers(&main);
  main.show();
  // The window is on screen (painted, its fonts loaded) before anything is listed,
  // as after a login.
  QElapsedTimer shown;
  shown.start();
  while (shown.elapsed() < 300) app.processEvents(QEventLoop::AllEvents, 20);
  if (!bench::loginDemo()) return 1;

  auto* files = app::control<QTreeWidget>(&main, QStringLiteral("超级列表框1"));
  const std::string url = browser::listingUrl(net::hosts().mainHost, "1001", 0);
  std::vector<double> times, stalls;
  bench::StallMeter meter;
  meter.start();
  int shownRows = 0;
  for (int run = 0; run < kRuns; ++run) {
    bool done = false;
    QElapsedTimer clock;
    meter.reset();
    clock.start();
    browser::BrowserState::instance().rebuildPageList = true;
    browser::qt::listFiles(url, [&] {
      done = true;
      shownRows = files->topLevelItemCount();
    });
    while (!done) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    app.processEvents();
    times.push_back(elapsed);
    stalls.push_back(meter.worstMs());
    if (std::getenv("BENCH_VERBOSE")) std::printf("run %d: %.1f ms, stall %.1f ms\n", run, elapsed, meter.worstMs());
  }
  std::sort(times.begin(), times.end());
  std::sort(stalls.begin(), stalls.end());
  std::printf("listing of %d rows (shown: %d), %d runs\n", kRows, shownRows, kRuns);
  std::printf("  start of listFiles to list filled: median %.1f ms, min %.1f ms, max %.1f ms\n",
              times[times.size() / 2], times.front(), times.back());
  std::printf("  longest GUI-thread stall (2 ms ticker): median %.1f ms, max %.1f ms\n", stalls[stalls.size() / 2],
              stalls.back());
  service.terminate();
  service.waitForFinished(10000);
  return shownRows == kRows && stalls.back() < 50 ? 0 : 2;
}
