// The GUI thread while both queues run: the main window offscreen, three
// downloads (stored on the local service) and two uploads running at once,
// held to about six seconds by the speed limits. A 1 ms precise timer notes
// how late each tick comes (the longest stall), and the application's
// notify() times every event, keeping the longest one whose receiver is one
// of ours (a class of the tarnwick namespace, or an object named by the
// window catalogue) apart from repaints, and the longest repaint. Prints the median over the runs of the longest stall,
// and the longest handler of ours.
//
// gui_stall_bench [runs]   (default 5)
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaEnum>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_page.h"
#include "transfer/rate_limit.h"
#include "../bench_support.h"

using namespace tarnwick;

namespace {

constexpr int kDownloads = 3;
constexpr int kUploads = 2;
constexpr qint64 kDownloadBytes = 48ll << 20;  // 3 x 48 MiB at 24 MiB/s: 6 s
constexpr qint64 kUploadBytes = 24ll << 20;    // 2 x 24 MiB at 8 MiB/s: 6 s
constexpr std::int64_t kDownloadRate = 24ll << 20;
constexpr std::int64_t kUploadRate = 8ll << 20;

// Times every event handed out on the GUI thread: the longest one overall
// (outermost only: nested events are inside it), the longest repaint of a
// window (Qt's painting of the widgets, outermost), and the longest other
// event delivered to one of our objects, at any depth (timers, queued calls
// from the workers, clicks: our handlers).
class HandlerTimer : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (!m_on) return QApplication::notify(receiver, event);
    const bool mine = isOurs(receiver);
    const int depth = m_depth++;
    QElapsedTimer t;
    t.start();
    const bool handled = QApplication::notify(receiver, event);
    const qint64 ns = t.nsecsElapsed();
    --m_depth;
    const bool paint = event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint;
    if (paint && depth == 0 && ns > m_paintNs) {
      m_paintNs = ns;
      m_paint = describe(receiver, event);
    } else if (mine && !paint && ns > m_oursNs) {
      m_oursNs = ns;
      m_ours = describe(receiver, event);
    }
    if (depth == 0 && ns > m_anyNs) {
      m_anyNs = ns;
      m_any = describe(receiver, event);
    }
    return handled;
  }
  void trace(bool on) { m_on = on; }
  void reset() {
    m_oursNs = m_anyNs = m_paintNs = 0;
    m_ours.clear();
    m_paint.clear();
    m_any.clear();
  }
  double oursMs() const { return m_oursNs / 1e6; }
  double anyMs() const { return m_anyNs / 1e6; }
  const QString& ours() const { return m_ours; }
  const QString& any() const { return m_any; }
  double paintMs() const { return m_paintNs / 1e6; }
  const QString& paint() const { return m_paint; }

 private:
  static bool isOurs(const QObject* o) {
    if (std::strncmp(o->metaObject()->className(), "tarnwick::", 10) == 0) return true;
    const QString name = o->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
  }
  static QString describe(const QObject* o, const QEvent* e) {
    const char* key = QMetaEnum::fromType<QEvent::Type>().valueToKey(e->type());
    return QString::fromLatin1(o->metaObject()->className()) + QStringLiteral(" '") + o->objectName() +
           QStringLiteral("' ") + (key ? QString::fromLatin1(key) : QString::number(int(e->type())));
  }
  bool m_on = false;
  int m_depth = 0;
  qint64 m_oursNs = 0, m_anyNs = 0, m_paintNs = 0;
  QString m_ours, m_any, m_paint;
};

// The longest lateness of a 1 ms precise timer since reset().
class TickLateness {
 public:
  TickLateness() {
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(1);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
      m_worst = std::max(m_worst, m_tick.nsecsElapsed() - 1000000);
      m_tick.restart();
    });
  }
  void start() {
    m_tick.start();
    m_worst = 0;
    m_ticker.start();
  }
  void stop() { m_ticker.stop(); }
  double worstMs() const { return std::max<qint64>(0, m_worst) / 1e6; }

 private:
  QTimer m_ticker;
  QElapsedTimer m_tick;
  qint64 m_worst = 0;
};

bool writeFile(const QString& path, qint64 size, unsigned seed) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  std::vector<char> block(1 << 20);
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(block.data() + i, &v, 8);
  }
  for (qint64 off = 0; off < size; off += static_cast<qint64>(block.size())) {
    std::memcpy(block.data(), &off, sizeof off);
    const qint64 n = std::min<qint64>(static_cast<qint64>(block.size()), size - off);
    if (f.write(block.data(), n) != n) return false;
  }
  return true;
}

int addFileRow(const QString& db, const std::string& name, qint64 size) {
  sqlite3* h = nullptr;
  int id = -1;
  if (sqlite3_open(db.toUtf8().constData(), &h) == SQLITE_OK) {
    sqlite3_busy_timeout(h, 5000);
    const std::string sql = "INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) VALUES "
                            "(1001, 0, '" + name + "', " + std::to_string(size) +
                            ", '', '2026-01-01 10:00:00', 0, '1001/" + name + "')";
    if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
      id = static_cast<int>(sqlite3_last_insert_rowid(h));
  }
  sqlite3_close(h);
  return id;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  // The window's settings and saved queues go to a home of the bench's own.
  QTemporaryDir home;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
  qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
  HandlerTimer app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir data, files, save;
  QProcess service;
  if (bench::startLocalService(service, data.path()).http.isEmpty()) return 1;
  auto stopService = [&] {
    service.terminate();
    if (!service.waitForFinished(15000)) service.kill();
  };
  std::vector<int> ids;
  for (int i = 0; i < kDownloads; ++i) {
    const std::string name = "down-" + std::to_string(i) + ".bin";
    if (!writeFile(data.path() + "/storage/1001/" + QString::fromStdString(name), kDownloadBytes, 3 + i)) return 1;
    ids.push_back(addFileRow(data.path() + "/tarnwick.db", name, kDownloadBytes));
    if (ids.back() < 0) {
      std::fprintf(stderr, "could not store the files\n");
      stopService();
      return 1;
    }
  }
  if (!bench::loginDemo()) {
    stopService();
    return 1;
  }

  app::registerModules();
  app::MainWindow main;
  app::runWindowInstallers(&main);
  main.show();
  for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < 300;) {
    if (!settle.isValid()) settle.start();
    app.processEvents(QEventLoop::AllEvents, 20);
  }
  // The folder counts once editing ends, as when a person types it.
  auto* saveFolder = app::control<QLineEdit>(&main, QStringLiteral("编辑框49"));
  saveFolder->setText(save.path() + "/");
  Q_EMIT saveFolder->editingFinished();
  app::control<QCheckBox>(&main, QStringLiteral("选择框1"))->setChecked(false);  // every upload sends its bytes
  auto* startDownloads = app::control<QPushButton>(&main, QStringLiteral("按钮28"));
  auto* startUploads = app::control<QPushButton>(&main, QStringLiteral("上传按钮"));
  transfer::DownloadQueue& downloads = transfer::qt::TransferQueues::of(&main)->downloads();
  transfer::UploadQueue& uploads = transfer::qt::TransferQueues::of(&main)->uploads();
  // The front ends' defaults, set here too so the bench runs five at once
  // whatever the saved settings say.
  downloads.setMaxActive(kDownloads);
  uploads.setMaxActive(kUploads);
  transfer::downloadLimiter().setRate(kDownloadRate);
  transfer::uploadLimiter().setRate(kUploadRate);

  // A message box would hold the run inside a click: report it and close it.
  QTimer boxWatch;
  boxWatch.setInterval(200);
  QObject::connect(&boxWatch, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
      box->done(QMessageBox::Ok);
    }
  });
  boxWatch.start();
  TickLateness meter;
  std::vector<double> stalls;
  double worstHandlerMs = 0;
  QString worstHandler;
  double worstPaintMs = 0;
  QString worstPaint;
  bool ok = true;
  for (int run = 0; run < runs && ok; ++run) {
    QStringList paths;
    for (int i = 0; i < kUploads; ++i) {
      const QString path = files.filePath(QStringLiteral("up-%1-%2.bin").arg(run).arg(i));
      if (!writeFile(path, kUploadBytes, 100 * run + i)) return 1;
      paths << path;
    }
    for (int i = 0; i < kDownloads; ++i) QFile::remove(save.filePath(QStringLiteral("down-%1.bin").arg(i)));
    downloads.clearFinished();
    uploads.clearFinished();
    for (int i = 0; i < kDownloads; ++i) 
      downloads.add(std::to_string(ids[i]), "down-" + std::to_string(i) + ".bin", "", save.path().toStdString() + "/");
    transfer::qt::UploadPage::of(&main)->addFiles(paths);
    app.processEvents();

    QElapsedTimer clock;
    clock.start();
    app.reset();
    app.trace(true);
    meter.start();
    startDownloads->click();
    startUploads->click();
    std::size_t peakRunning = 0;
    while (clock.elapsed() < 180000) {
      app.processEvents(QEventLoop::WaitForMoreEvents, 5);
      // Counted from the rows: progressAll() would reset the byte counts the
      // window's speed display reads.
      const auto runningIn = [](const std::vector<transfer::QueueRow>& rows) {
        return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const transfer::QueueRow& r) {
          return r.state == transfer::RowState::Running;
        }));
      };
      peakRunning = std::max(peakRunning, runningIn(downloads.rows()) + runningIn(uploads.rows()));
      if (downloads.finished().size() == kDownloads && uploads.finished().size() == kUploads) break;
      const auto failed = [](const std::vector<transfer::QueueRow>& rows) {
        return std::any_of(rows.begin(), rows.end(),
                           [](const transfer::QueueRow& r) { return r.state == transfer::RowState::Failed; });
      };
      if (failed(downloads.rows()) || failed(uploads.rows())) break;
    }
    meter.stop();
    app.trace(false);
    const double seconds = clock.nsecsElapsed() / 1e9;
    ok = downloads.finished().size() == kDownloads && uploads.finished().size() == kUploads;
    stalls.push_back(meter.worstMs());
    if (app.oursMs() > worstHandlerMs) {
      worstHandlerMs = app.oursMs();
      worstHandler = app.ours();
    }
    if (app.paintMs() > worstPaintMs) {
      worstPaintMs = app.paintMs();
      worstPaint = app.paint();
    }
    std::printf("run %d: %s in %.1f s, at most %zu running at once; longest stall %.1f ms; longest event %.1f ms "
                "(%s); longest handler of ours %.1f ms (%s); longest repaint %.1f ms\n",
                run + 1, ok ? "5 transfers done" : "FAILED", seconds, peakRunning, meter.worstMs(), app.anyMs(),
                qPrintable(app.any()), app.oursMs(), qPrintable(app.ours()), app.paintMs());
    std::fflush(stdout);
  }
  if (ok)
    std::printf("gui stall: median of %d longest stalls %.1f ms (goal <= 30 ms), longest handler %.1f ms in %s "
                "(goal <= 10 ms)\n",
                runs, median(stalls), worstHandlerMs, qPrintable(worstHandler));
  if (ok) std::printf("longest repaint (Qt painting the window) %.1f ms: %s\n", worstPaintMs, qPrintable(worstPaint));
  uploads.stop();
  downloads.stop();
  stopService();
  return ok ? 0 : 2;
}
