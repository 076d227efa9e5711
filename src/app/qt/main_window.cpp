#include "app/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTreeView>

#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/log.h"
#include "app/qt/shell.h"
#include "app/qt/shell_internal.h"
#include "net/hosts.h"
#include "net/request_job.h"

namespace tarnwick::app {

using namespace names::main;

namespace {

QPointer<MainWindow> g_main;

QIcon programIcon() {
  QPixmap pix(32, 32);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x1a, 0x5f, 0xb4));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(22);
  p.setFont(f);
  p.drawText(pix.rect(), Qt::AlignCenter, QStringLiteral("T"));
  return QIcon(pix);
}

}  // namespace

MainWindow::MainWindow() {
  g_main = this;
  buildWindow(mainWindowTitle(), this);
  setWindowIcon(programIcon());
  registerWindow(this);
  if (auto* tabs = control<QTabWidget>(this, kPages)) {
    connect(tabs, &QTabWidget::currentChanged, this, [this] { refreshPage(shownPage(this, kPages)); });

  }
}

MainWindow::~MainWindow() { removeTrayIcon(); }

MainWindow* theMainWindow() { return g_main; }
QWidget* mainWindow() { return g_main; }

void MainWindow::showTrayIcon() {
  if (m_tray || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  m_tray = new QSystemTrayIcon(windowIcon(), this);
  connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger) trayEvent(1);
    else if (r == QSystemTrayIcon::DoubleClick) trayEvent(2);
    else if (r == QSystemTrayIcon::Context) trayEvent(3);
  });
  m_tray->show();
}

void MainWindow::removeTrayIcon() {
  if (!m_tray) return;
  m_tray->hide();
  m_tray->deleteLater();
  m_tray = nullptr;
}

bool MainWindow::trayIconShown() const { return m_tray && m_tray->isVisible(); }

void MainWindow::trayEvent(int code) {
  if (code == 1) {
    showMainWindowCentred();
  } else if (code == 3) {
    if (auto* menu = control<QMenu>(this, kTrayMenu)) menu->popup(QCursor::pos());

  }
}

bool MainWindow::confirmQuit() {
  if (askYesNo(QStringLiteral("是否最小化到托盘图标？"))) {
    hideMainWindowToTray();
    return false;
  }
  auto* pending = control<QTreeView>(this, kDownloadQueueView);
  if (pending && pending->model() && pending->model()->rowCount() > 0) {
    // Yes: exitProgram stops the transfers (the running download's partial
    // file is deleted; the queues are kept for the next login).
    if (!askYesNo(QStringLiteral("发现有未完成的下载任务，是否退出，如果退出，将停止并删除该文件。"))) return false;
  }
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (exitRequested()) {
    event->accept();
    return;
  }
  // The close is refused while its question is open or its request runs: a
  // second close asks nothing and ends nothing a second time.
  event->ignore();
  if (m_closing) return;
  m_closing = true;
  if (!confirmQuit()) {
    m_closing = false;
    return;
  }
  removeTrayIcon();
  // The visit goes out as a job; the program ends when its reply is in
  // (whatever it holds), or at once when no job can start any more.
  const bool started = WindowJobs::of(this)->request(
      net::JobRequest::fetch(net::sessionCheckUrl(net::hosts().mainHost)), nullptr,
      [](const net::RequestJobResult&) { exitProgram(0); });
  if (!started) exitProgram(0);
}

void removeTrayIcon() {
  if (g_main) g_main->removeTrayIcon();
}

void showMainWindowCentred() {
  MainWindow* w = g_main;
  if (!w) return;
  if (w->isMinimized() || w->isMaximized()) w->showNormal();
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
  }
  w->show();
  w->raise();
  w->activateWindow();
}

void hideMainWindowToTray() {
  if (!g_main) return;
  // A hidden top-level window has no taskbar entry; the tray icon stays.
  // Without a notification area a hidden window could never be reached
  // again, so it is minimised instead.
  if (QSystemTrayIcon::isSystemTrayAvailable())
    g_main->hide();
  else
    g_main->showMinimized();
}

}  // namespace tarnwick::app
