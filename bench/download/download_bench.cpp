// Starts the local service, stores one file of the given size (default
// 1024 MiB) for demo, then downloads it through the download page of the
// main window (queue row, 开始下载, wait for 已完成) and with curl -o from the
// same storage address. Prints both rates, their ratio and the longest gap
// between ticks of a 2 ms timer on the GUI thread during our download.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "net/hosts.h"
#include "transfer/qt/transfer_queues.h"
#include "../bench_support.h"

using namespace tarnwick;

namespace {

int addFile(const QString& db, qint64 size) {
  sqlite3* h = nullptr;
  if (sqlite3_open(db.toUtf8().constData(), &h) != SQLITE_OK) return -1;
  sqlite3_busy_timeout(h, 5000);
  const std::string sql = "INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) VALUES "
                          "(1001, 0, 'bench.bin', " + std::to_string(size) +
                          ", '', '2026-01-01 10:00:00', 0, '1001/bench.bin')";
  int id = -1;
  if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
    id = static_cast<int>(sqlite3_last_insert_rowid(h));
  sqlite3_close(h);
  return id;
}

bool writeData(const QString& path, qint64 size) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  std::vector<char> block(1 << 20);
  std::mt19937_64 rng(7);
  for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(block.data() + i, &v, 8);
  }
  for (qint64 off = 0; off < size; off += static_cast<qint64>(block.size())) {
    block[0] = static_cast<char>(off >> 20);
    const qint64 n = std::min<qint64>(static_cast<qint64>(block.size()), size - off);
    if (f.write(block.data(), n) != n) return false;
  }
  return true;
}

QByteArray md5Of(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Md5);
  h.addData(&f);
  return h.result().toHex();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  bench::TracingApplication app(argc, argv);
  const qint64 size = (argc > 1 ? std::atoll(argv[1]) : 1024) << 20;
  QTemporaryDir data, save;
  QProcess service;
  if (bench::startLocalService(service, data.path()).http.isEmpty()) return 1;
  const QString stored = data.path() + "/storage/1001/bench.bin";
  const int id = addFile(data.path() + "/tarnwick.db", size);
  if (id < 0 || !writeData(stored, size)) {
    std::fprintf(stderr, "could not store the file\n");
    return 1;
  }

  app::registerModules();
  app::MainWindow main;
  app::runWindowInstallers(&main);
  main.show();
  // The folder counts once editing ends, as when a person types it.
  auto* saveFolder = app::control<QLineEdit>(&main, QStringLiteral("编辑框49"));
  saveFolder->setText(save.path() + "/");
  Q_EMIT saveFolder->editingFinished();
  auto* pending = app::control<QTreeView>(&main, app::names::main::kDownloadQueueView);
  auto* finished = app::control<QTreeWidget>(&main, QStringLiteral("超级列表框3"));
  // DOWNLOAD_BENCH_SCREENSHOT=file.png: the page during the first download.
  const QString screenshot = qEnvironmentVariable("DOWNLOAD_BENCH_SCREENSHOT");
  if (!screenshot.isEmpty()) {
    auto* tabs = main.findChild<QTabWidget*>(QStringLiteral("选择夹1"));
    if (tabs) tabs->setCurrentIndex(tabs->count() - 1);
  }
  transfer::DownloadQueue& downloads = transfer::qt::TransferQueues::of(&main)->downloads();
  std::uint64_t waiting = 0;  // a second queued row in the picture
  constexpr int kRounds = 3;  // best of three each, taken in turns (the machine is shared)
  bench::StallMeter meter;
  double worstStallMs = 0;
  std::string worstEvent;
  double ours = 1e9, theirs = 1e9;
  bool ok = true;
  int rc = 0;
  const std::string url = net::hosts().storageHost + "/up/1001/bench.bin";
  for (int round = 0; round < kRounds && ok && rc == 0; ++round) {
    QFile::remove(save.path() + "/bench.bin");
    downloads.clearFinished();
    QElapsedTimer clock;
    clock.start();
    downloads.add(std::to_string(id), "bench.bin", "");
    if (round == 0 && !screenshot.isEmpty())
      waiting = downloads.add("0", app::toGbk(QStringLiteral("旅行照片.zip")), "12.5MB");
    app.processEvents();
    meter.start();
    app.resetTrace();
    app::control<QPushButton>(&main, QStringLiteral("按钮28"))->click();
    bool shot = round > 0 || screenshot.isEmpty();
    while (!(finished->topLevelItemCount() == 1 && pending->model()->rowCount() == 0) && clock.elapsed() < 600000) {
      app.processEvents(QEventLoop::WaitForMoreEvents, 5);
      if (!shot && clock.elapsed() > 700) {  // a picture of the running download (README)
        shot = true;
        QMetaObject::invokeMethod(app::control<QTimer>(&main, QStringLiteral("时钟5")), "timeout");
        app.processEvents();
        main.grab().save(screenshot);
        downloads.remove({waiting});
      }
      if (pending->model()->rowCount() > 0 && pending->model()->index(0, 2).data().toString() == QStringLiteral("失败")) break;
    }
    ours = std::min(ours, clock.nsecsElapsed() / 1e9);
    meter.stop();
    if (meter.worstMs() > worstStallMs) {
      worstStallMs = meter.worstMs();
      worstEvent = app.worstEvent();
    }
    ok = finished->topLevelItemCount() == 1 && md5Of(save.path() + "/bench.bin") == md5Of(stored);

    QFile::remove(save.path() + "/curl.bin");
    QElapsedTimer curlClock;
    curlClock.start();
    const std::string cmd = "curl -s -o " + (save.path() + "/curl.bin").toStdString() + " '" + url + "'";
    rc = std::system(cmd.c_str());
    theirs = std::min(theirs, curlClock.nsecsElapsed() / 1e9);
  }

  const double mib = static_cast<double>(size) / (1 << 20);
  std::printf("download of %.0f MiB through the download page (best of 3): %s in %.2f s (%.1f MiB/s)\n", mib,
              ok ? "ok, MD5 equal" : "FAILED", ours, mib / ours);
  std::printf("curl -o of the same address (best of 3):                 %s in %.2f s (%.1f MiB/s)\n", rc == 0 ? "ok" : "FAILED",
              theirs, mib / theirs);
  std::printf("ratio %.3f (goal >= 0.95); longest GUI-thread stall (2 ms ticker) %.1f ms (goal <= 30)\n",
              theirs / ours, worstStallMs);
  std::printf("longest event on the GUI thread during that run: %s\n", worstEvent.c_str());
  service.terminate();
  service.waitForFinished(10000);
  return ok && rc == 0 ? 0 : 2;
}
