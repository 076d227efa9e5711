#include "transfer/qt/upload_page.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "app/names/main_window.h"
#include "app/qt/messages.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/queue_view.h"
#include "transfer/download_plan.h"
#include "transfer/qt/upload_target.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

constexpr int kTickMs = 1000;

QString pathOf(const QueueRow& row) { return QFile::decodeName(row.localPath.c_str()); }

}  // namespace

UploadPage::UploadPage(QWidget* main, UploadQueue& queue) : QObject(main), m_main(main), m_queue(queue) {
  setObjectName(QStringLiteral("uploadPage"));
  m_list = app::control<QTreeView>(main, kUploadQueueView);
  m_done = app::control<QTreeWidget>(main, kUploadDoneView);
  m_button = app::control<QPushButton>(main, kUploadButton);
  m_instant = app::control<QCheckBox>(main, kInstantUploadCheck);
  m_status = app::control<QLabel>(main, kUploadStateLabel);
  m_sizeLabel = app::control<QLabel>(main, kUploadSizeLabel);
  m_percentLabel = app::control<QLabel>(main, kUploadProgressLabel);
  m_speedLabel = app::control<QLabel>(main, kUploadSpeedLabel);
  m_bar = app::control<QProgressBar>(main, kUploadProgressBar);
  m_timer = app::control<QTimer>(main, kUploadSpeedTimer);
  m_model = new QueueModel(m_queue, QueueModel::Flavour::Upload, this);
  showQueue(m_list, m_model, kUploadQueueProgress);
  connect(m_model, &QueueModel::refreshed, this, &UploadPage::sync);
  if (m_timer) connect(m_timer, &QTimer::timeout, this, &UploadPage::refreshProgress);
  if (m_instant) connect(m_instant, &QCheckBox::toggled, this, [this] { applyContext(); });
  listenOnGui(m_queue, this, [this](const QueueEvent& e) { onEvent(e); });
}

UploadPage* UploadPage::of(QWidget* main) {
  return main ? main->findChild<UploadPage*>(QStringLiteral("uploadPage"), Qt::FindDirectChildrenOnly) : nullptr;
}

void UploadPage::chooseFiles() {
  QFileDialog dialog(m_main, QStringLiteral("请选择文件"), m_lastFolder, QStringLiteral("所有文件（*.*） (*)"));
  dialog.setObjectName(QStringLiteral("请选择文件"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() == QDialog::Accepted) addFiles(dialog.selectedFiles());
}

// Each file goes to the folder shown after 上传至 now, by the FTP login of
// this member, whenever it starts.
void UploadPage::addFiles(const QStringList& paths) {
  // A name with characters GBK cannot hold would reach the service without
  // them: such a file is not queued, and one message names the characters.
  applyContext();
  const std::int32_t folder = app::Session::instance().currentFolderId();
  QStringList refused;
  for (const QString& path : paths) {
    const std::string local = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
    const auto lost = net::charactersGbkCannotHold(QFile::encodeName(QFileInfo(path).fileName()).toStdString());
    if (lost.empty()) {
      m_queue.add(local, folder);
      continue;
    }
    for (const std::string& c : lost)
      if (!refused.contains(QString::fromStdString(c))) refused << QString::fromStdString(c);
  }
  if (!paths.isEmpty()) m_lastFolder = QFileInfo(paths.last()).absolutePath();
  m_model->refresh();
  if (!refused.isEmpty())
    app::showMessage(QStringLiteral("文件名含有服务器不支持的字符：") + refused.join(QStringLiteral(" ")),
                     QStringLiteral("信息："), m_main);
}

// The FTP login of the member, read once when the member logs in.
void UploadPage::readFtpAccount() {
  m_ftpHost = app::controlText(m_main, kFtpHostBox);
  m_ftpUser = app::controlText(m_main, kFtpUserBox);
  m_ftpPassword = app::controlText(m_main, kFtpPasswordBox);
  m_ftpRead = true;
}

// What the queue needs of the session and the window: rows queued from now
// on take the FTP host and user; the password serves every row of the login.
void UploadPage::applyContext() {
  if (!m_ftpRead) readFtpAccount();
  const app::SessionData s = app::Session::instance().get();
  UploadContext c;
  c.mainHost = net::hosts().mainHost;
  c.ftpHost = m_ftpHost;
  c.ftpUser = m_ftpUser;
  c.ftpPassword = m_ftpPassword;
  c.account = s.accountName;
  c.userId = s.userId;
  c.listingRowPattern = app::controlText(m_main, kFileRowPattern);
  c.folderEntryPattern = app::controlText(m_main, kFolderPattern);
  c.instant = m_instant && m_instant->isChecked();
  c.currentFolder = [] { return app::Session::instance().currentFolderId(); };
  m_queue.setContext(std::move(c));
}

void UploadPage::startQueue() {
  if (m_queue.running()) return;  // files added meanwhile are taken in turn
  if (m_queue.rows().empty()) {
    m_model->refresh();
    return;
  }
  applyContext();
  if (m_button) m_button->setEnabled(false);
  m_queue.start();
}

void UploadPage::startRows(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return;
  applyContext();
  if (m_button && !m_queue.running()) m_button->setEnabled(false);
  m_queue.startRows(ids);
}

void UploadPage::deleteTask() {
  if (removeSelectedRows(m_queue, m_list)) m_model->refresh();
}

void UploadPage::onEvent(const QueueEvent& e) {
  const std::optional<QueueRow> row = m_queue.row(e.rowId);
  const QString path = row ? pathOf(*row) : QString();
  const QString name = QFileInfo(path).fileName();
  switch (e.kind) {
    case QueueEventKind::Changed: break;
    case QueueEventKind::RowStarted:
      setStatus(QStringLiteral("状态：文件开始上传..."));
      app::setControlText(m_main, kFilePathBox, app::toGbk(path));
      if (row && row->folderId) showUploadTarget(m_main, *row->folderId);
      break;
    case QueueEventKind::Sending:
      app::appendLog(kLogBox, app::toGbk(QStringLiteral("开始上传文件") + path + QStringLiteral("\r\n")));
      if (m_sizeLabel) {
        // The row counts even when it ended before this event arrived, or
        // the list has not shown it running yet.
        std::int64_t size = runningSize();
        if (row && !m_model->runningRows().count(e.rowId)) size += std::max<std::int64_t>(0, row->size);
        m_sizeLabel->setText(QStringLiteral("文件大小：%1KB").arg(wholeKilobytes(size)));
      }
      if (m_timer && !m_timer->isActive()) {
        m_speed.reset();
        m_tick.start();
        m_timer->setInterval(kTickMs);
        m_timer->start();
      }
      break;
    case QueueEventKind::Sent:  // the registration runs now; the bytes are all there
      m_model->markSent(e.rowId);
      break;
    case QueueEventKind::RowDone:
      if (row && row->instant) {
        setStatus(QStringLiteral("状态：上传完成！文件为极速秒传！"));
        app::logLine(kLogBox, app::toGbk(QStringLiteral("：极速秒传完成：") + path));
      } else {
        setStatus(QStringLiteral("状态：文件上传完成！"));
        app::logLine(kLogBox, app::toGbk(QStringLiteral("：文件上传完成：") + path));
      }
      ++m_doneInRun;
      break;
    case QueueEventKind::RowFailed:
      setStatus(e.text == app::toGbk(QStringLiteral("上传失败，文件被使用中")) ? QStringLiteral("状态：上传失败，文件被使用中！")
                                                                              : QStringLiteral("状态：上传失败！"));
      app::logLine(kLogBox, app::toGbk(QStringLiteral("：上传失败：") + path + QStringLiteral("（")) + e.text +
                             app::toGbk(QStringLiteral("）")));
      notifyTray(QStringLiteral("上传失败"), name);
      break;
    case QueueEventKind::Unreachable:
      setStatus(QStringLiteral("状态：无法连接服务器，上传已暂停，稍后自动重试……"));
      app::logLine(kLogBox, app::toGbk(QStringLiteral("：无法连接服务器，上传暂停：") + path + QStringLiteral("（")) +
                             e.text + app::toGbk(QStringLiteral("）")));
      break;
    case QueueEventKind::Idle:
      resetProgress();
      if (m_doneInRun > 0) notifyTray(QStringLiteral("上传完成"), QStringLiteral("%1个文件已上传").arg(m_doneInRun));
      m_doneInRun = 0;
      if (m_button) m_button->setEnabled(true);
      break;
    case QueueEventKind::SaveFailed:  // the rows stay in the list; they are written once the disk takes them
      app::logLine(kLogBox, app::toGbk(QStringLiteral("：上传队列保存失败：")) + e.text);
      app::showMessage(QStringLiteral("上传队列无法保存到磁盘：") + app::fromGbk(e.text));
      break;
    case QueueEventKind::RowHeld: break;
  }
  // The list follows at its next refresh (one for a burst of events); the
  // end of a run is shown at once, with the button it enables.
  if (e.kind == QueueEventKind::Idle)
    m_model->refresh();
  else
    m_model->markDirty();
}

// The finished list and the captions, after each refresh of the queue list.
void UploadPage::sync() {
  const std::vector<QueueRow> done = m_queue.finished();
  syncRows(m_done, done, [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (!fresh) return;
    item->setText(kUploadDoneName, pathOf(row));
    item->setText(kUploadDoneSize, QString::fromStdString(uploadSizeText(std::max<std::int64_t>(0, row.size))));
    item->setText(kUploadDoneId, QString::number(row.remoteId));
    item->setText(kUploadDoneNote, row.instant ? QStringLiteral("极速秒传") : QStringLiteral("常规上传"));
  });
  app::setPageCaption(m_main, kClientUploadPage,
                      QStringLiteral("客户端上传(%1)").arg(m_model->queueRows()));
  if (!done.empty()) app::setPageCaption(m_main, kClientDonePage, QStringLiteral("最近已完成(%1)").arg(done.size()));
  emit progressChanged();
}

// The bytes of the running rows (their sizes as the transfers report them,
// else as the rows were queued).
std::int64_t UploadPage::runningSize() {
  std::int64_t total = 0;
  for (std::uint64_t id : m_model->runningRows())
    if (const QueueRow* r = m_model->rowOf(id)) total += std::max<std::int64_t>(0, r->size);
  return total;
}

// Each running row's cells, and the page's display as the sum over them.
void UploadPage::refreshProgress() {
  const std::vector<QueueProgress> all = m_queue.progressAll();
  const std::int64_t ms = m_tick.isValid() ? m_tick.restart() : kTickMs;
  std::int64_t done = 0, total = 0, moved = 0;
  for (const QueueProgress& p : all) {
    std::int64_t size = p.total;
    if (size < 0)
      if (const QueueRow* row = m_model->rowOf(p.rowId)) size = row->size;
    size = std::max<std::int64_t>(0, size);
    done += p.done;
    total += size;
    moved += p.sinceLast;
  }
  m_model->setProgress(all, ms);
  m_speed.add(moved, ms);
  const int percent = uploadPercent(done, total);
  m_speedKb = m_speed.kilobytesPerSecond();
  if (m_bar) m_bar->setValue(percent);
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：%1%").arg(percent));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：%1KB").arg(m_speedKb));
  if (m_sizeLabel && total > 0) m_sizeLabel->setText(QStringLiteral("文件大小：%1KB").arg(wholeKilobytes(total)));
  emit progressChanged();
}

void UploadPage::resetProgress() {
  if (m_timer) m_timer->stop();
  if (m_bar) m_bar->setValue(0);
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：0%"));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：0KB"));
  m_speed.reset();
  m_speedKb = 0;
  emit progressChanged();
}

int UploadPage::rowsLeft() const { return m_model->queueRows(); }

void UploadPage::setStatus(const QString& text) {
  if (m_status) m_status->setText(text);
}

void UploadPage::notifyTray(const QString& title, const QString& message) {
  QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>();
  if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages())
    tray->showMessage(title, message, QSystemTrayIcon::Information, 5000);
}

}  // namespace tarnwick::transfer::qt
