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
#include <memory>
#include <optional>
#include <QTreeWidget>

#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/local_file.h"
#include "transfer/qt/upload_target.h"
#include "transfer/transfer_object.h"

namespace tarnwick::transfer::qt {

namespace {

const QString kLog = QStringLiteral("日志编辑框");
constexpr int kTickMs = 1000;

template <class T>
T* find(QWidget* main, const char* name) {
  return app::control<T>(main, QString::fromUtf8(name));
}

QString number(std::int64_t n) { return QString::number(n); }

}  // namespace

UploadPage::UploadPage(QWidget* main) : QObject(main), m_main(main) {
  setObjectName(QStringLiteral("uploadPage"));
  m_queue = find<QTreeWidget>(main, "超级列表框6");
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
  if (m_timer) connect(m_timer, &QTimer::timeout, this, &UploadPage::refreshProgress);
}

UploadPage::~UploadPage() {
  // Closes a running transfer and waits for its thread; its last report is
  // posted to this object and dropped with it.
  m_transfer.reset();
}

UploadPage* UploadPage::of(QWidget* main) {
  return main ? main->findChild<UploadPage*>(QStringLiteral("uploadPage"), Qt::FindDirectChildrenOnly) : nullptr;
}

void UploadPage::chooseFiles() {
  QFileDialog dialog(m_main, QStringLiteral("请选择文件"), m_lastFolder,
                     QStringLiteral("所有文件（*.*） (*)"));
  dialog.setObjectName(QStringLiteral("请选择文件"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() == QDialog::Accepted) addFiles(dialog.selectedFiles());
}

void UploadPage::addFiles(const QStringList& paths) {
  if (!m_queue) return;
  for (const QString& path : paths) {
    auto* row = new QTreeWidgetItem(m_queue);
    row->setText(0, path);
  }
  updateCaptions();
}

void UploadPage::startQueue() {
  if (m_running) return;  // files added meanwhile are picked up in turn
  m_running = true;
  if (m_button) m_button->setEnabled(false);
  startNextFile();
}

void UploadPage::deleteTask() {
  QTreeWidgetItem* row = m_queue ? m_queue->currentItem() : nullptr;
  if (!row) return;
  if (m_running && row == m_current.item) {
    app::showMessage(QStringLiteral("该任务正在执行中，暂时无法删除。"));
    return;
  }
  delete row;
  updateCaptions();
}

void UploadPage::startNextFile() {
  m_current = {};
  updateCaptions();
  if (!m_queue || m_queue->topLevelItemCount() == 0) {
    m_running = false;
    if (m_button) m_button->setEnabled(true);
    return;
  }
  setStatus(QStringLiteral("状态：文件开始上传..."));
  if (m_bar) m_bar->setValue(0);
  if (m_timer) m_timer->stop();

  Current& c = m_current;
  c.item = m_queue->topLevelItem(0);
  c.path = c.item->text(0);
  c.nativePath = QFile::encodeName(c.path).toStdString();
  c.nameGbk = app::toGbk(QFileInfo(c.path).fileName());
  c.target = {net::hosts().mainHost, app::Session::instance().accountName(),
              app::Session::instance().currentFolderId()};
  app::setControlText(m_main, QStringLiteral("文件路径编辑框"), app::toGbk(c.path));
  showUploadTarget(m_main, c.target.folderId);

  if (!m_instant || !m_instant->isChecked()) return startFtp();
  QTreeWidgetItem* item = c.item;
  auto result = std::make_shared<InstantUploadResult>();
  app::WindowJobs::of(this)->run(
      [result, target = c.target, path = c.nativePath, name = c.nameGbk] {
        *result = tryInstantUpload(target, path, name);
      },
      nullptr, [this, item, result] {
        if (m_current.item == item) onInstantResult(*result);
      });
}

void UploadPage::onInstantResult(const InstantUploadResult& result) {
  if (!result.fileId) return startFtp();  // not taken: send the file itself
  m_current.size = result.size;
  setStatus(QStringLiteral("状态：上传完成！文件为极速秒传！"));
  addFinishedRow(*result.fileId, QStringLiteral("极速秒传"));
  app::logLine(kLog, app::toGbk(QStringLiteral("：极速秒传完成：") + m_current.path));
  notifyTray(QStringLiteral("上传完成"), QFileInfo(m_current.path).fileName());
  finishFile();
}

void UploadPage::startFtp() {
  Current& c = m_current;
  app::appendLog(kLog, app::toGbk(QStringLiteral("开始上传文件") + c.path + QStringLiteral("\r\n")));
  c.size = LocalFile::sizeOf(c.nativePath);
  if (m_sizeLabel) m_sizeLabel->setText(QStringLiteral("文件大小：%1KB").arg(wholeKilobytes(c.size)));

  FtpUploadFile file;
  file.ftpHost = app::controlText(m_main, QStringLiteral("服务器ip编辑框"));
  file.localPath = c.nativePath;
  file.fileNameGbk = c.nameGbk;
  file.user = app::controlText(m_main, QStringLiteral("用户名编辑框"));
  file.password = app::controlText(m_main, QStringLiteral("密码编辑框"));
  file.queueRows = m_queue ? m_queue->topLevelItemCount() : 1;
  TransferParams params = ftpUploadParams(file);

  auto transfer = std::make_unique<TransferObject>();
  TransferObject* raw = transfer.get();
  QPointer<UploadPage> self(this);
  // Runs on the transfer thread: it only hands the report to the GUI thread.
  params.onFinished = [self, raw](int code, const TransferReport& report) {
    if (code == kEventThreadEnded)
      app::runOnGui([self, raw, report] {
        if (self && self->m_transfer.get() == raw) self->onTransferEnded(report);
      });
    return false;
  };
  m_transfer = std::move(transfer);
  m_speed.reset();
  m_tick.start();
  if (m_timer) {
    m_timer->setInterval(kTickMs);
    m_timer->start();
  }
  if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>()) m_trayTip = tray->toolTip();
  if (!m_transfer->start(params)) {
    retireTransfer();
    resetProgress();
    failFile(app::toGbk(QStringLiteral("传输无法开始")));
  }
}

void UploadPage::onTransferEnded(const TransferReport& report) {
  retireTransfer();
  resetProgress();
  m_lastFolder = QFileInfo(m_current.path).absolutePath();  // the dialog starts there next time
  if (!report.succeeded) {
    std::string reason = outcomeName(report.outcome);
    if (!report.error.empty()) reason += ": " + report.error;
    return failFile(reason);
  }
  QTreeWidgetItem* item = m_current.item;
  auto id = std::make_shared<std::optional<std::int64_t>>();
  app::WindowJobs::of(this)->run([id, target = m_current.target, name = m_current.nameGbk] {
    *id = registerUpload(target, name);
  }, nullptr, [this, item, id] {
    if (m_current.item == item) onRegistered(*id);
  });
}

void UploadPage::onRegistered(std::optional<std::int64_t> id) {
  if (!id) {
    setStatus(QStringLiteral("状态：上传失败，文件被使用中！"));
    app::logLine(kLog, app::toGbk(QStringLiteral("：登记失败，文件被使用中：") + m_current.path));
    notifyTray(QStringLiteral("上传失败"), QFileInfo(m_current.path).fileName());
  } else {
    setStatus(QStringLiteral("状态：文件上传完成！"));
    addFinishedRow(*id, QStringLiteral("常规上传"));
    app::logLine(kLog, app::toGbk(QStringLiteral("：文件上传完成：") + m_current.path));
    notifyTray(QStringLiteral("上传完成"), QFileInfo(m_current.path).fileName());
  }
  finishFile();
}

void UploadPage::failFile(const std::string& reason) {
  setStatus(QStringLiteral("状态：上传失败！"));
  app::logLine(kLog, app::toGbk(QStringLiteral("：上传失败：") + m_current.path + QStringLiteral("（")) + reason +
                         app::toGbk(QStringLiteral("）")));
  notifyTray(QStringLiteral("上传失败"), QFileInfo(m_current.path).fileName());
  finishFile();
}

void UploadPage::finishFile() {
  delete m_current.item;  // the running row can not be deleted meanwhile
  m_current.item = nullptr;
  startNextFile();
}

void UploadPage::addFinishedRow(std::int64_t fileId, const QString& remark) {
  if (!m_done) return;
  auto* row = new QTreeWidgetItem;
  row->setText(0, app::fromGbk(app::controlText(m_main, QStringLiteral("文件路径编辑框"))));
  row->setText(1, QString::fromStdString(uploadSizeText(m_current.size < 0 ? 0 : m_current.size)));
  row->setText(2, number(fileId));
  row->setText(3, remark);
  m_done->insertTopLevelItem(0, row);
}

void UploadPage::refreshProgress() {
  std::int64_t done = 0, moved = 0;
  if (m_transfer) {
    done = m_transfer->bytesTransferred();
    moved = m_transfer->bytesSinceLastQuery();
  }
  m_speed.add(moved, m_tick.isValid() ? m_tick.restart() : kTickMs);
  const int percent = uploadPercent(done, m_current.size);
  if (m_bar) m_bar->setValue(percent);
  const std::int64_t speed = m_speed.kilobytesPerSecond();
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：%1%").arg(m_bar ? m_bar->value() : percent));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：%1KB").arg(speed));
  if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>(); tray && m_transfer)
    tray->setToolTip(QStringLiteral("%1\n%2%  %3KB/s").arg(QFileInfo(m_current.path).fileName()).arg(percent).arg(speed));
}

void UploadPage::resetProgress() {
  if (m_timer) m_timer->stop();
  if (m_bar) m_bar->setValue(0);
  if (m_percentLabel) m_percentLabel->setText(QStringLiteral("进度：0%"));
  if (m_speedLabel) m_speedLabel->setText(QStringLiteral("上传速度：0KB"));
  m_speed.reset();
  if (QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>()) tray->setToolTip(m_trayTip);
}

void UploadPage::retireTransfer() {
  if (!m_transfer) return;
  // The transfer thread may still be returning from its handler: the object
  // is destroyed (and its thread joined) on a worker, never on the GUI thread.
  std::shared_ptr<TransferObject> ended(std::move(m_transfer));
  app::startWorker([ended = std::move(ended)] {});
}

void UploadPage::updateCaptions() {
  if (!m_tabs) return;
  m_tabs->setTabText(0, QStringLiteral("客户端上传(%1)").arg(m_queue ? m_queue->topLevelItemCount() : 0));
  if (m_done && m_done->topLevelItemCount() > 0)
    m_tabs->setTabText(1, QStringLiteral("最近已完成(%1)").arg(m_done->topLevelItemCount()));
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
