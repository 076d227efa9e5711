#include "transfer/qt/download_page.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/queue_view.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

DownloadPage::DownloadPage(QWidget* main, DownloadQueue& queue) : QObject(main), m_main(main), m_queue(queue) {
  setObjectName(QStringLiteral("downloadPage"));
  m_list = app::control<QTreeView>(main, kDownloadQueueView);
  m_done = app::control<QTreeWidget>(main, kDownloadedView);
  m_button = app::control<QPushButton>(main, kStartDownloadButton);
  m_folder = app::control<QLineEdit>(main, kSaveFolderBox);
  m_rule = app::control<QComboBox>(main, kSameNameSelector);
  m_model = new QueueModel(m_queue, QueueModel::Flavour::Download, this);
  showQueue(m_list, m_model, kDownloadProgress);
  connect(m_model, &QueueModel::refreshed, this, &DownloadPage::sync);
  if (auto* timer = app::control<QTimer>(main, kDownloadTimer))
    connect(timer, &QTimer::timeout, this, &DownloadPage::refreshProgress);
  // The folder counts once editing ends (focus leaves, Enter, the folder
  // dialog), never a half-typed path; the rows queued from then on keep it.
  if (m_folder) {
    m_committedFolder = DownloadQueue::normalFolder(QFile::encodeName(m_folder->text()).toStdString());
    connect(m_folder, &QLineEdit::editingFinished, this, [this] { commitFolder(); });
  }
  applyContext();
  if (m_rule) connect(m_rule, &QComboBox::currentIndexChanged, this, [this] { applyContext(); });
  listenOnGui(m_queue, this, [this](const QueueEvent& e) { onEvent(e); });
}

DownloadPage* DownloadPage::of(QWidget* main) {
  return main ? main->findChild<DownloadPage*>(QStringLiteral("downloadPage"), Qt::FindDirectChildrenOnly) : nullptr;
}

void DownloadPage::log(const QString& text) { app::logLine(kLogBox, app::toGbk(u("：") + text)); }

// The finished list and the captions, after each refresh of the queue list.
void DownloadPage::sync() {
  const std::vector<QueueRow> done = m_queue.finished();
  syncRows(m_done, done, [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (!fresh) return;
    item->setText(kDownloadedName, app::fromGbk(row.name));
    item->setText(kDownloadedAddress, QFile::decodeName(row.finalPath.c_str()));
  });
  app::setPageCaption(m_main, kDownloadingPage,
                      u("下载中(") + QString::number(m_model->queueRows()) + u(")"));
  app::setPageCaption(m_main, kDownloadedPage, u("已完成(") + QString::number(done.size()) + u(")"));
  emit progressChanged();
}

void DownloadPage::onEvent(const QueueEvent& e) {
  const std::optional<QueueRow> row = m_queue.row(e.rowId);
  const QString name = row ? app::fromGbk(row->name) : QString();
  switch (e.kind) {
    case QueueEventKind::Sending:
      if (!m_sinceTick.isValid()) m_sinceTick.start();
      break;
    case QueueEventKind::Idle:
      if (m_button) m_button->setEnabled(true);
      m_speedKb = 0;
      m_sinceTick.invalidate();
      if (m_doneInRun > 0) notifyTray(u("下载完成"), QString::number(m_doneInRun) + u("个文件已下载"));
      m_doneInRun = 0;
      break;
    case QueueEventKind::RowDone:
      log(u("下载完成：") + name);
      ++m_doneInRun;
      break;
    case QueueEventKind::RowFailed:
      log(u("下载失败：") + name + u("（") + app::fromGbk(e.text) + u("）"));
      notifyTray(u("下载失败"), name);
      break;
    case QueueEventKind::Unreachable:
      log(u("无法连接服务器，下载暂停：") + name + u("（") + app::fromGbk(e.text) + u("）"));
      break;
    case QueueEventKind::SaveFailed:  // the rows stay in the list; they are written once the disk takes them
      log(u("下载队列保存失败：") + app::fromGbk(e.text));
      app::showMessage(u("下载队列无法保存到磁盘：") + app::fromGbk(e.text));
      break;
    default: break;
  }
  // The list follows at its next refresh (one for a burst of events); the
  // end of a run is shown at once, with the button it enables.
  if (e.kind == QueueEventKind::Idle)
    m_model->refresh();
  else
    m_model->markDirty();
}

// The folder box's text becomes the folder of the rows queued from now on;
// false (and the user told) when it is empty or not a full path.
bool DownloadPage::commitFolder() {
  if (!m_folder) return false;
  const std::string folder = DownloadQueue::normalFolder(QFile::encodeName(m_folder->text()).toStdString());
  if (folder.empty()) {
    app::showMessage(u("下载文件夹必须是完整的路径，例如 /home/用户/下载"));
    return false;
  }
  m_committedFolder = folder;
  applyContext();
  return true;
}

// What a row needs of the window: the folder and the name rule of rows
// queued from now on, the service's addresses and the access password.
void DownloadPage::applyContext() {
  DownloadContext c;
  c.mainHost = net::hosts().mainHost;
  c.storageHost = net::hosts().storageHost;
  c.accessPassword = browser::BrowserState::instance().accessPassword();
  c.saveFolder = m_committedFolder;
  const int rule = m_rule ? m_rule->currentIndex() : 0;
  c.rule = rule == 0 ? NameRule::Overwrite : rule == 1 ? NameRule::Rename : NameRule::Keep;
  const app::SessionData s = app::Session::instance().get();
  c.account = s.accountName;
  c.userId = s.userId;
  c.folderEntryPattern = app::controlText(m_main, kFolderPattern);
  c.fileRowPattern = app::controlText(m_main, kFileRowPattern);
  m_queue.setContext(std::move(c));
}

void DownloadPage::startQueue() {
  if (!m_button || m_queue.running()) return;
  if (m_queue.rows().empty()) {
    app::showMessage(u("没有下载任务！"));
    return;
  }
  applyContext();
  m_button->setEnabled(false);
  m_queue.start();
}

void DownloadPage::startRows(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return;
  applyContext();
  if (m_button && !m_queue.running()) m_button->setEnabled(false);
  m_queue.startRows(ids);
}

void DownloadPage::addSelectedFolder() {
  auto* folders = app::control<QListWidget>(m_main, kFolderNames);
  QListWidgetItem* item = folders ? folders->currentItem() : nullptr;
  if (!item) return;
  if (m_committedFolder.empty() && !commitFolder()) return;
  applyContext();
  m_queue.addFolder(browser::qt::itemId(item), app::toGbk(item->text()));
  m_model->refresh();
}

void DownloadPage::addSelectedFiles() {
  auto* files = app::control<QTreeWidget>(m_main, kFileView);
  if (!files) return;
  if (m_committedFolder.empty() && !commitFolder()) return;
  applyContext();
  std::vector<int> rows;
  for (QTreeWidgetItem* item : files->selectedItems()) rows.push_back(files->indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  for (int i : rows) {
    QTreeWidgetItem* f = files->topLevelItem(i);
    if (!f) continue;
    m_queue.add(std::to_string(browser::qt::itemId(f)), app::toGbk(f->text(kFileName)),
                app::toGbk(f->text(kFileSize)));
  }
  m_model->refresh();
}

// Each running row's progress and speed (the model shows them, with the
// time left at this tick's rate as their tooltip), and the sum.
void DownloadPage::refreshProgress() {
  const std::vector<QueueProgress> all = m_queue.progressAll();
  const std::int64_t ms = m_sinceTick.isValid() ? m_sinceTick.restart() : 0;
  std::int64_t moved = 0;
  for (const QueueProgress& p : all) moved += p.sinceLast;
  m_model->setProgress(all, ms);
  m_speedKb = ms > 0 ? moved * 1000 / ms / 1024 : 0;
  emit progressChanged();
}

int DownloadPage::rowsLeft() const { return m_model->queueRows(); }

void DownloadPage::notifyTray(const QString& title, const QString& message) {
  QSystemTrayIcon* tray = m_main->findChild<QSystemTrayIcon*>();
  if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages())
    tray->showMessage(title, message, QSystemTrayIcon::Information, 5000);
}

void DownloadPage::deleteTask() {
  if (removeSelectedRows(m_queue, m_list)) m_model->refresh();
}

void DownloadPage::chooseFolder() {
  const QString dir = QFileDialog::getExistingDirectory(m_main, u("请选择一个文件夹"));
  if (dir.isEmpty() || !m_folder) return;
  m_folder->setText(QFile::decodeName(folderWithSeparator(QFile::encodeName(dir).toStdString()).c_str()));
  commitFolder();
}

}  // namespace tarnwick::transfer::qt
