#include "transfer/qt/download_page.h"

#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "browser/qt/widgets.h"
#include "browser/state.h"
#include "net/hosts.h"
#include "net/http.h"
#include "transfer/download_plan.h"
#include "transfer/qt/queue_view.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_lists.h"

namespace tarnwick::transfer::qt {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// 下载进度 "n%" drawn as a progress bar inside its cell, with the text on it;
// any other text ("失败", empty) as plain text.
class ProgressDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString text = index.data().toString();
    bool ok = false;
    const int percent = text.endsWith(u'%') ? text.chopped(1).toInt(&ok) : 0;
    if (!ok) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = std::clamp(percent, 0, 100);
    bar.text = text;
    bar.textVisible = true;
    bar.state = option.state | QStyle::State_Horizontal;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
  }
};

// The page's view of the download queue; GUI thread only.
struct Page {
  QPointer<QWidget> main;
  DownloadQueue* queue = nullptr;
  QElapsedTimer sinceTick;
};

Page& page() {
  static Page p;
  return p;
}

QTreeWidget* pending() { return app::control<QTreeWidget>(page().main, u("超级列表框2")); }
QTreeWidget* finished() { return app::control<QTreeWidget>(page().main, u("超级列表框3")); }
QPushButton* startButton() { return app::control<QPushButton>(page().main, u("按钮28")); }

void logText(const QString& text) { app::logLine(u("日志编辑框"), app::toGbk(u("：") + text)); }

QString stateText(const QueueRow& row) {
  switch (row.state) {
    case RowState::Failed: return u("失败");
    case RowState::Paused: return u("暂停");
    case RowState::Queued: return page().queue->waiting() ? u("等待重试") : QString();
    default: return QString();
  }
}

void sync() {
  if (!page().main) return;
  DownloadQueue& q = *page().queue;
  syncRows(pending(), q.rows(), [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (fresh) {
      item->setText(0, app::fromGbk(row.name));
      item->setText(1, app::fromGbk(row.sizeText));
      item->setText(3, QString::fromStdString(row.fileId));
    }
    if (row.state != RowState::Running) {
      item->setText(2, stateText(row));
      item->setText(4, QString());
    } else if (item->text(2).isEmpty() || !item->text(2).endsWith(u'%')) {
      item->setText(2, u("0%"));
    }
    markState(item, row);
  });
  const std::vector<QueueRow> done = q.finished();
  syncRows(finished(), done, [](QTreeWidgetItem* item, const QueueRow& row, bool fresh) {
    if (!fresh) return;
    item->setText(0, app::fromGbk(row.name));
    item->setText(1, QFile::decodeName(row.finalPath.c_str()));
  });
  if (auto* tabs = app::control<QTabWidget>(page().main, u("选择夹2"))) {
    tabs->setTabText(0, u("下载中(") + QString::number(pending() ? pending()->topLevelItemCount() : 0) + u(")"));
    tabs->setTabText(1, u("已完成(") + QString::number(done.size()) + u(")"));
  }
}

void onEvent(const QueueEvent& e) {
  const std::optional<QueueRow> row = page().queue->row(e.rowId);
  const QString name = row ? app::fromGbk(row->name) : QString();
  switch (e.kind) {
    case QueueEventKind::Sending: page().sinceTick.start(); break;
    case QueueEventKind::Idle:
      if (QPushButton* b = startButton()) b->setEnabled(true);
      break;
    case QueueEventKind::RowDone: logText(u("下载完成：") + name); break;
    case QueueEventKind::RowFailed: logText(u("下载失败：") + name + u("（") + app::fromGbk(e.text) + u("）")); break;
    case QueueEventKind::Unreachable:
      logText(u("无法连接服务器，下载暂停：") + name + u("（") + app::fromGbk(e.text) + u("）"));
      break;
    default: break;
  }
  sync();
}

// What a row needs of the window, read when the queue starts and whenever
// the folder or the name rule changes.
void applyContext() {
  DownloadContext c;
  c.mainHost = net::hosts().mainHost;
  c.storageHost = net::hosts().storageHost;
  c.accessPassword = browser::BrowserState::instance().accessPassword();
  if (auto* folder = app::control<QLineEdit>(page().main, u("编辑框49")))
    c.saveFolder = QFile::encodeName(folder->text()).toStdString();
  const int rule = app::control<QComboBox>(page().main, u("组合框6"))->currentIndex();
  c.rule = rule == 0 ? NameRule::Overwrite : rule == 1 ? NameRule::Rename : NameRule::Keep;
  page().queue->setContext(std::move(c));
}

void startDownloads() {
  QPushButton* b = startButton();
  if (!b || page().queue->running()) return;
  if (page().queue->rows().empty()) {
    app::showMessage(u("没有下载任务！"));
    return;
  }
  applyContext();
  b->setEnabled(false);
  page().queue->start();
}

void queueDownloads() {
  QTreeWidget* files = browser::qt::listView(page().main, "超级列表框1");
  if (!files) return;
  std::vector<int> rows;
  for (QTreeWidgetItem* item : files->selectedItems()) rows.push_back(files->indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  for (int i : rows) {
    QTreeWidgetItem* f = files->topLevelItem(i);
    if (!f) continue;
    page().queue->add(std::to_string(browser::qt::itemId(f)), app::toGbk(f->text(0)), app::toGbk(f->text(1)));
  }
  sync();
}

void refreshProgress() {
  const QueueProgress p = page().queue->progress();
  QTreeWidgetItem* row = itemOf(pending(), p.rowId);
  if (!row) return;
  std::int64_t total = p.total;
  if (total < 0) total = sizeFromText(app::toGbk(row->text(1)));
  row->setText(2, QString::fromStdString(progressText(p.done, total)));
  const std::int64_t ms = page().sinceTick.isValid() ? page().sinceTick.restart() : 0;
  row->setText(4, QString::fromStdString(speedText(p.sinceLast, ms)));
  // The time left at this tick's rate, as the progress and speed cells' tooltip.
  const QString left = p.sinceLast > 0 && ms > 0 && total > p.done
                           ? u("剩余时间约") + QString::number((total - p.done) * ms / p.sinceLast / 1000 + 1) + u("秒")
                           : QString();
  row->setToolTip(2, left);
  row->setToolTip(4, left);
}

void deleteTask() {
  const std::vector<std::uint64_t> ids = selectedIds(pending());
  if (ids.empty()) return;
  for (std::uint64_t id : ids)
    if (auto row = page().queue->row(id); row && row->state == RowState::Running) {
      app::showMessage(u("该任务正在执行中，暂时无法删除。"));
      return;
    }
  page().queue->remove(ids);
  sync();
}

QString finishedPath() {
  const QList<QTreeWidgetItem*> picked = finished() ? finished()->selectedItems() : QList<QTreeWidgetItem*>();
  return picked.isEmpty() ? QString() : picked.first()->text(1);
}

void chooseFolder() {
  const QString dir = QFileDialog::getExistingDirectory(page().main, u("请选择一个文件夹"));
  if (dir.isEmpty()) return;
  app::control<QLineEdit>(page().main, u("编辑框49"))
      ->setText(QFile::decodeName(folderWithSeparator(QFile::encodeName(dir).toStdString()).c_str()));
}

}  // namespace

void installDownloadPage(QWidget* main) {
  TransferQueues* queues = TransferQueues::of(main);
  if (!queues) return;
  page().main = main;
  page().queue = &queues->downloads();
  listenOnGui(*page().queue, main, onEvent);
  using browser::qt::onMenu;
  onMenu(main, "菜单", "添加进下载列表", queueDownloads);
  onMenu(main, "开始菜单", "删除任务", deleteTask);
  onMenu(main, "完成菜单", "打开文件", [] {
    const QString path = finishedPath();
    if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  });
  onMenu(main, "完成菜单", "访问文件夹", [] {
    const QString path = finishedPath();
    if (!path.isEmpty()) showInFileManager(path);
  });
  if (QTreeWidget* list = pending()) {
    list->setItemDelegateForColumn(2, new ProgressDelegate(list));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  }
  browser::qt::popupMenuOn(pending(), "开始菜单");
  browser::qt::popupMenuOn(finished(), "完成菜单");
  if (auto* b = startButton()) QObject::connect(b, &QPushButton::clicked, b, startDownloads);
  if (auto* b = app::control<QPushButton>(main, u("按钮34"))) QObject::connect(b, &QPushButton::clicked, b, chooseFolder);
  if (auto* timer = app::control<QTimer>(main, u("时钟5"))) QObject::connect(timer, &QTimer::timeout, timer, refreshProgress);
  if (auto* folder = app::control<QLineEdit>(main, u("编辑框49")))
    QObject::connect(folder, &QLineEdit::textChanged, folder, [] { applyContext(); });
  if (auto* rule = app::control<QComboBox>(main, u("组合框6")))
    QObject::connect(rule, &QComboBox::currentIndexChanged, rule, [] { applyContext(); });
}

void registerDownloadModule() { app::addWindowInstaller(app::mainWindowTitle(), installDownloadPage); }

}  // namespace tarnwick::transfer::qt
