#include "transfer/qt/upload_page.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "transfer/qt/queue_view.h"
#include "transfer/qt/upload_target.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer::qt {

namespace {

const QString kLog = QStringLiteral("日志编辑框");
constexpr int kTickMs = 1000;

template <class T>
T* find(QWidget* main, const char* name) {
  return app::control<T>(main, QString::fromUtf8(name));
}

QString pathOf(const QueueRow& row) { return QFile::decodeName(row.localPath.c_str()); }

}  // namespace

UploadPage::UploadPage(QWidget* main, UploadQueue& queue) : QObject(main), m_main(main), m_queue(queue) {
  setObjectName(QStringLiteral("uploadPage"));
  m_list = find<QTreeWidget>(main, "超级列表框6");
  m_done = find<QTreeWidget>(main, "超级列表框4");
  m_button = find<QPushButton>(main, "上传按钮");
  m_instant = find<QCheckBox>(main, "选择框1");
  m_status = find<QLabel>(main, "标签49");
  m_sizeLabel = find<QLabel>(main, "标签50");
  m_percentLabel = find<QLabel>(main, "标签46");
  m_speedLabel = find<QLabel>(main, "标签47");
  m_bar = find<QProgressBar>(main, "进度条");
  m_timer = main->findChild<QTimer*>(QStringLiteral("上传速度时钟"));
  m_tabs = find<QTabWidget>(main, "选择夹3");
  if (m_list) m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  if (m_timer) connect(m_timer, &QTimer::timeout, this, &UploadPage::refreshProgress);
  if (m_instant) connect(m_instant, &QCheckBox::toggled, this, [this] { applyContext(); });
  listenOnGui(m_queue, this, [this](const QueueEvent& e) { onEvent(e); });
}

UploadPage* UploadPage::of(QWidget* main) {
  return main ? main->findChild<UploadPage*>(QStringLiteral("uploadPage"), Qt::FindDirectChildrenOnly) : nullptr;
}

bool UploadPage::running() const { return m_queue.running(); }

void UploadPage::chooseFiles() {
  QFileDialog dialog(m_main, QStringLiteral("请选择文件"), m_lastFolder, QStringLiteral("所有文件（*.*） (*)"));
  dialog.setObjectName(QStringLiteral("请选择文件"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() == QDialog::Accepted) addFiles(dialog.selectedFiles());
}

void UploadPage::addFiles(const QStringList& paths) {
  for (const QString& path : paths) m_queue.add(QFile::encodeName(path).toStdString());
  if (!paths.isEmpty()) m_lastFolder = QFileInfo(paths.last()).absolutePath();
  sync();
}

// What a row needs of the session and the window, read when the queue starts
// (and again when 使用极速秒传 changes).
void UploadPage::applyContext() {
  const app::SessionData s = app::Session::instance().get();
  UploadContext c;
  c.mainHost = net::hosts().mainHost;
  c.ftpHost = app::controlText(m_main, QStringLiteral("服务器ip编辑框"));
  c.ftpUser = app::controlText(m_main, QStringLiteral("用户名编辑框"));
  c.ftpPassword = app::controlText(m_main, QStringLiteral("密码编辑框"));
  c.account = s.accountName;
  c.userId = s.userId;
  c.listingRowPattern = app::controlText(m_main, QStringLiteral("编辑框5"));
  c.instant = m_instant && m_instant->isChecked();
  c.currentFolder = [] { return app::Session::instance().currentFolderId(); };
  m_queue.setContext(std::move(c));
}

void UploadPage::startQueue() {
  if (m_queue.running()) return;  // files added meanwhile are taken in turn
  if (m_queue.rows().empty()) {
    sync();
    return;
  }
  applyContext();
  if (m_button) m_button->setEnabled(false);
  m_queue.start();
}

void UploadPage::deleteTask() {
  const std::vector<std::uint64_t> ids = selectedIds(m_list);
  if (ids.empty()) return;
  for (std::uint64_t id : ids)
    if (auto row = m_queue.row(id); row && row->state == RowState::Running) {
      app::showMessage(QStringLiteral("该任务正在执行中，暂时无法删除。"));
      return;
    }
  m_queue.remove(ids);
  sync();
}

void UploadPage::onEvent(const QueueEvent& e) {
  const std::optional<QueueRow> row = m_queue.row(e.rowId);
  const QString path = row ? pathOf(*row) : QString();
  const QString name = QFileInfo(path).fileName();
  switch (e.kind) {
    case QueueEventKind::Changed: break;
    case QueueEventKind::RowStarted:
      resetProgress();
      setStatus(QStringLiteral("状态：文件开始上传..."));
      app::setControlText(m_main, QStringLiteral("文件路径编辑框"), app::toGbk(path));
      if (row && row->folderId) showUploadTarget(m_main, *row->folderId);
      break;
    case QueueEventKind::Sending:
      app::appendLog(kLog, app::toGbk(QStringLiteral("开始上传文件") + path + QStringLiteral("\r\n")));
      m_progressRow = e.rowId;
      m_progressSize = row ? std::max<std::int64_t>(0, row->size) : 0;
      if (m_sizeLabel) m_sizeLabel->setText(QStringLiteral("文件大小：%1KB").arg(wholeKilobytes(m_progressSize)));
      if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>()) m_trayTip = tray->toolTip();
      m_speed.reset();
      m_tick.start();
      if (m_timer) {
        m_timer->setInterval(kTickMs);
        m_timer->start();
      }
      break;
    case QueueEventKind::Sent:  // the registration runs now; the bytes are all there
      if (m_timer) m_timer->stop();
      if (m_bar) m_bar->setValue(100);
      if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：100%"));
      if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：0KB"));
      break;
    case QueueEventKind::RowDone:
      resetProgress();
      if (row && row->instant) {
        setStatus(QStringLiteral("状态：上传完成！文件为极速秒传！"));
        app::logLine(kLog, app::toGbk(QStringLiteral("：极速秒传完成：") + path));
      } else {
        setStatus(QStringLiteral("状态：文件上传完成！"));
        app::logLine(kLog, app::toGbk(QStringLiteral("：文件上传完成：") + path));
      }
      notifyTray(QStringLiteral("上传完成"), name);
      break;
    case QueueEventKind::RowFailed:
      resetProgress();
      setStatus(e.text == app::toGbk(QStringLiteral("上传失败，文件被使用中")) ? QStringLiteral("状态：上传失败，文件被使用中！")
                                                                              : QStringLiteral("状态：上传失败！"));
      app::logLine(kLog, app::toGbk(QStringLiteral("：上传失败：") + path + QStringLiteral("（")) + e.text +
                             app::toGbk(QStringLiteral("）")));
      notifyTray(QStringLiteral("上传失败"), name);
      break;
    case QueueEventKind::Unreachable:
      resetProgress();
      applyContext();  // the next try uses the window's settings as they are now
      setStatus(QStringLiteral("状态：无法连接服务器，上传已暂停，稍后自动重试……"));
      app::logLine(kLog, app::toGbk(QStringLiteral("：无法连接服务器，上传暂停：") + path + QStringLiteral("（")) +
                             e.text + app::toGbk(QStringLiteral("）")));
      break;
    case QueueEventKind::Idle:
      resetProgress();
      if (m_button) m_button->setEnabled(true);
      break;
  }
  sync();
}

// The lists and captions as the queue has them.
void UploadPage::sync() {
  syncRows(m_list, m_queue.rows(), [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (fresh) item->setText(0, pathOf(row));
    markState(item, row);
  });
  const std::vector<QueueRow> done = m_queue.finished();
  syncRows(m_done, done, [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (!fresh) return;
    item->setText(0, pathOf(row));
    item->setText(1, QString::fromStdString(uploadSizeText(std::max<std::int64_t>(0, row.size))));
    item->setText(2, QString::number(row.remoteId));
    item->setText(3, row.instant ? QStringLiteral("极速秒传") : QStringLiteral("常规上传"));
  });
  if (m_tabs) {
    m_tabs->setTabText(0, QStringLiteral("客户端上传(%1)").arg(m_list ? m_list->topLevelItemCount() : 0));
    if (!done.empty()) m_tabs->setTabText(1, QStringLiteral("最近已完成(%1)").arg(done.size()));
  }
}

void UploadPage::refreshProgress() {
  const QueueProgress p = m_queue.progress();
  const bool live = p.rowId != 0 && p.rowId == m_progressRow;
  const std::int64_t done = live ? p.done : 0;
  m_speed.add(live ? p.sinceLast : 0, m_tick.isValid() ? m_tick.restart() : kTickMs);
  const int percent = uploadPercent(done, m_progressSize);
  if (m_bar) m_bar->setValue(percent);
  const std::int64_t speed = m_speed.kilobytesPerSecond();
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：%1%").arg(percent));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：%1KB").arg(speed));
  if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>(); tray && live) {
    const std::optional<QueueRow> row = m_queue.row(p.rowId);
    tray->setToolTip(QStringLiteral("%1\n%2%  %3KB/s")
                         .arg(row ? QFileInfo(pathOf(*row)).fileName() : QString())
                         .arg(percent)
                         .arg(speed));
  }
}

void UploadPage::resetProgress() {
  if (m_timer) m_timer->stop();
  if (m_bar) m_bar->setValue(0);
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：0%"));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：0KB"));
  m_speed.reset();
  if (m_progressRow != 0)
    if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>()) tray->setToolTip(m_trayTip);
  m_progressRow = 0;
}

void UploadPage::setStatus(const QString& text) {
  if (m_status) m_status->setText(text);
}

void UploadPage::notifyTray(const QString& title, const QString& message) {
  QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>();
  if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages())
    tray->showMessage(title, message, QSystemTrayIcon::Information, 5000);
}

}  // namespace tarnwick::transfer::qt
