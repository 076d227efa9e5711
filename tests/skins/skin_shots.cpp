// Screenshots of the main window in every skin, for the contact sheet
// (scripts/skin-sheet runs this under Xvfb and tiles the pictures).
//   skin_shots <output dir>   -> <dir>/01.png ... 33.png
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QTreeView>
#include <QWindow>
#include <cstdio>

#include "app/names/main_window.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/upload_page.h"
#include "transfer/upload_queue.h"

using namespace tarnwick::app;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: skin_shots <output dir>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  registerModules();
  auto* w = new MainWindow;
  runWindowInstallers(w);
  // A few rows and some progress, so lists and bars show their colours.
  if (auto* page = tarnwick::transfer::qt::UploadPage::of(w)) {
    for (const char* name : {"项目计划书.docx", "旅行照片_2024.zip", "会议记录（三月）.pdf", "演示视频.mp4"})
      page->queue().add(std::string("/home/用户/") + name);
    page->model()->refresh();
    if (auto* list = control<QTreeView>(w, names::main::kUploadQueueView))
      list->setCurrentIndex(list->model()->index(1, 0));
  }
  if (auto* bar = control<QProgressBar>(w, QStringLiteral("进度条"))) bar->setValue(42);
  w->show();
  for (int n = 1; n <= 33; ++n) {
    applySkin(n);
    w->setWindowTitle(QStringLiteral("Tarnwick客户端 — 皮肤 %1").arg(n));
    for (int i = 0; i < 20; ++i) {
      QCoreApplication::processEvents();
      QThread::msleep(10);
    }
    const QPixmap shot = w->screen()->grabWindow(w->winId());
    const QString file = out.filePath(QStringLiteral("%1.png").arg(n, 2, 10, QLatin1Char('0')));
    if (!shot.save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  w->setObjectName(QString());
  delete w;
  return 0;
}
