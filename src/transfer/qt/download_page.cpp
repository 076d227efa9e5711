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
#include "transfer/local_file.h"
#include "transfer/transfer_object.h"

namespace tarnwick::transfer::qt {
namespace {

constexpr int kFailedRole = Qt::UserRole + 1;   // column 0: failed in this run, skipped by the chain
constexpr int kPartialRole = Qt::UserRole + 2;  // column 0: native path of this row's partial file

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

// The page's state; GUI thread only. Transfer objects are used for one file
// each; once one has ended it is destroyed (its thread joined) on a worker.
struct Manager {
  QPointer<QWidget> main;
  std::vector<std::unique_ptr<TransferObject>> transfers;
  QTreeWidgetItem* current = nullptr;  // the row being downloaded
  QElapsedTimer sinceTick;
  bool stopped = false;  // the program is quitting: nothing more starts
};

Manager& mgr() {
  static Manager* m = new Manager;  // lives to the end of the program, as its transfers must
  return *m;
}

QTreeWidget* pending() { return app::control<QTreeWidget>(mgr().main, u("超级列表框2")); }
QTreeWidget* finished() { return app::control<QTreeWidget>(mgr().main, u("超级列表框3")); }
QPushButton* startButton() { return app::control<QPushButton>(mgr().main, u("按钮28")); }

bool stillListed(QTreeWidgetItem* row) {
  QTreeWidget* list = pending();
  return row && list && list->indexOfTopLevelItem(row) >= 0;
}

void updateCaptions() {
  auto* tabs = app::control<QTabWidget>(mgr().main, u("选择夹2"));
  if (!tabs || !pending() || !finished()) return;
  tabs->setTabText(0, u("下载中(") + QString::number(pending()->topLevelItemCount()) + u(")"));
  tabs->setTabText(1, u("已完成(") + QString::number(finished()->topLevelItemCount()) + u(")"));
}

void logText(const QString& text) { app::logLine(u("日志编辑框"), app::toGbk(u("：") + text)); }

void runNext();
void stopRunningDownload();

void fail(QTreeWidgetItem* row, const QString& reason) {
  if (stillListed(row)) {
    row->setText(2, u("失败"));
    row->setText(4, u("0KB"));
    row->setData(0, kFailedRole, true);
    logText(u("下载失败：") + row->text(0) + u("（") + reason + u("）"));
  }
}

// Hands the ended transfer objects to a worker that destroys them: the
// destructor waits for the object's thread, which may still be returning
// from the handler that is running on the GUI thread now. While the program
// ends they are kept instead (never joined on the GUI thread).
void retireTransfers() {
  if (app::workersStopping()) return;
  for (auto& t : mgr().transfers) {
    std::shared_ptr<TransferObject> ended(std::move(t));
    app::startWorker([ended] {});
  }
  mgr().transfers.clear();
}

// The engine's finished handler, on the GUI thread.
void downloadEnded(QTreeWidgetItem* row, const TransferReport& r) {
  retireTransfers();
  if (mgr().current == row) mgr().current = nullptr;
  if (stillListed(row)) {
    if (r.succeeded) {
      auto* done = new QTreeWidgetItem(QStringList{row->text(0), QString::fromUtf8(r.localFile)});
      finished()->insertTopLevelItem(0, done);
      logText(u("下载完成：") + row->text(0));
      delete row;
    } else {
      // A partial file of ours is continued next time; a file that was there
      // before (given up) is never taken for one.
      row->setData(0, kPartialRole, r.outcome == Outcome::GivenUp ? QString() : QString::fromUtf8(r.localFile));
      fail(row, r.outcome == Outcome::GivenUp ? u("文件已存在") : QString::fromStdString(r.error));
    }
  }
  updateCaptions();
  runNext();
}

void startTransfer(QTreeWidgetItem* row, const std::string& address) {
  if (!stillListed(row)) {
    mgr().current = nullptr;
    runNext();
    return;
  }
  if (address.empty()) {
    mgr().current = nullptr;
    fail(row, u("没有取得文件的下载地址"));
    runNext();
    return;
  }
  const std::string folder =
      folderWithSeparator(QFile::encodeName(app::control<QLineEdit>(mgr().main, u("编辑框49"))->text()).toStdString());
  const std::string name = safeFileName(row->text(0).toUtf8().toStdString());
  std::string target = folder + name;
  // This row's own partial file (under its name, or the renamed one) in the
  // same folder is continued whatever the name rule says.
  const std::string partial = QFile::encodeName(row->data(0, kPartialRole).toString()).toStdString();
  const bool resume = !partial.empty() && partial.rfind(folder, 0) == 0 &&
                      partial.find('/', folder.size()) == std::string::npos && LocalFile::sizeOf(partial) >= 0;
  if (resume) target = partial;
  if (!resume && LocalFile::sizeOf(target) >= 0) {
    const int rule = app::control<QComboBox>(mgr().main, u("组合框6"))->currentIndex();
    if (rule == 0) {  // 同名覆盖
      QFile::remove(QFile::decodeName(target.c_str()));
    } else if (rule == 1) {  // 同名更改
      target = renamedTarget(
          folder, name, [] { return QRandomGenerator::global()->bounded(10000, 50001); },
          [](const std::string& p) { return LocalFile::sizeOf(p) >= 0 || QFileInfo::exists(QFile::decodeName(p.c_str())); });
      if (target.empty()) {
        mgr().current = nullptr;
        fail(row, u("没有可用的新文件名"));
        runNext();
        return;
      }
    }
  }
  QDir().mkpath(QFile::decodeName(folder.c_str()));

  TransferParams p;
  p.remoteUrl = address;
  p.localFile = target;
  p.handlerExecutor = [](std::function<void()> f) { app::runOnGui(std::move(f)); };
  p.onFinished = [row, resume](int code, const TransferReport& r) {
    if (code == kEventNameConflict) return !resume;  // continue only our own partial file
    if (code == kEventThreadEnded) downloadEnded(row, r);
    return true;
  };
  row->setText(2, u("0%"));
  row->setText(4, u("0KB"));
  mgr().transfers.push_back(std::make_unique<TransferObject>());
  mgr().sinceTick.start();
  if (!mgr().transfers.back()->start(p)) {
    mgr().current = nullptr;
    fail(row, u("下载没有开始"));
    runNext();
  }
}

// Starts the first row that has not failed in this run, or ends the run.
void runNext() {
  QTreeWidget* list = pending();
  if (!list || mgr().stopped) return;
  QTreeWidgetItem* row = nullptr;
  for (int i = 0; i < list->topLevelItemCount() && !row; ++i)
    if (!list->topLevelItem(i)->data(0, kFailedRole).toBool()) row = list->topLevelItem(i);
  if (!row) {
    mgr().current = nullptr;
    if (QPushButton* b = startButton()) b->setEnabled(true);
    return;
  }
  mgr().current = row;
  row->setText(2, u("0%"));
  const std::string url = addressPageUrl(net::hosts().mainHost, row->text(3).toStdString(),
                                         browser::BrowserState::instance().accessPassword());
  const std::string storage = net::hosts().storageHost;
  auto address = std::make_shared<std::string>();
  app::WindowJobs::of(mgr().main)
      ->run([url, storage, address] { *address = storageAddress(net::fetchUrl(url), storage); }, nullptr,
            [row, address] { startTransfer(row, *address); });
}

void startDownloads() {
  QPushButton* b = startButton();
  QTreeWidget* list = pending();
  if (!b || !list) return;
  b->setEnabled(false);
  // The close query's hook, from the first run on (before it nothing can be
  // running, and a hook installed by someone else stays).
  static const bool hooked = [] {
    app::setStopRunningDownloadHook(stopRunningDownload);
    return true;
  }();
  (void)hooked;
  if (list->topLevelItemCount() == 0) {
    app::showMessage(u("没有下载任务！"));
    b->setEnabled(true);
    return;
  }
  for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setData(0, kFailedRole, false);
  runNext();
}

void queueDownloads() {
  QTreeWidget* files = browser::qt::listView(mgr().main, "超级列表框1");
  QTreeWidget* list = pending();
  if (!files || !list) return;
  std::vector<int> rows;
  for (QTreeWidgetItem* item : files->selectedItems()) rows.push_back(files->indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  for (int i : rows) {
    QTreeWidgetItem* f = files->topLevelItem(i);
    if (!f) continue;
    new QTreeWidgetItem(list, QStringList{f->text(0), f->text(1), QString(),
                                          QString::number(browser::qt::itemId(f)), QString()});
  }
  updateCaptions();
}

void refreshProgress() {
  QTreeWidgetItem* row = mgr().current;
  if (!stillListed(row) || mgr().transfers.empty()) return;
  TransferObject& t = *mgr().transfers.back();
  if (!t.isRunning()) return;
  std::int64_t total = t.totalSize();
  if (total < 0) total = sizeFromText(row->text(1).toStdString());
  const std::int64_t done = t.bytesTransferred();
  row->setText(2, QString::fromStdString(progressText(done, total)));
  const std::int64_t ms = mgr().sinceTick.isValid() ? mgr().sinceTick.restart() : 0;
  const std::int64_t moved = t.bytesSinceLastQuery();
  row->setText(4, QString::fromStdString(speedText(moved, ms)));
  // The time left at this tick's rate, as the speed cell's tooltip.
  const QString left = moved > 0 && ms > 0 && total > done
                           ? u("剩余时间约") + QString::number((total - done) * ms / moved / 1000 + 1) + u("秒")
                           : QString();
  row->setToolTip(2, left);
  row->setToolTip(4, left);
}

void deleteTask() {
  QTreeWidget* list = pending();
  QTreeWidgetItem* item = list ? list->currentItem() : nullptr;
  if (!item) return;
  if (item == mgr().current && startButton() && !startButton()->isEnabled()) {
    app::showMessage(u("该任务正在执行中，暂时无法删除。"));
    return;
  }
  delete item;
  updateCaptions();
}

QString finishedPath() {
  QTreeWidgetItem* item = finished() ? finished()->currentItem() : nullptr;
  return item ? item->text(1) : QString();
}

void chooseFolder() {
  const QString dir = QFileDialog::getExistingDirectory(mgr().main, u("请选择一个文件夹"));
  if (dir.isEmpty()) return;
  app::control<QLineEdit>(mgr().main, u("编辑框49"))
      ->setText(QFile::decodeName(folderWithSeparator(QFile::encodeName(dir).toStdString()).c_str()));
}

// The close query: stop the running download and delete its partial file
// (never a finished file, never one that was there before).
void stopRunningDownload() {
  mgr().stopped = true;
  if (mgr().current && !mgr().transfers.empty()) mgr().transfers.back()->discardPartialFile();
}

}  // namespace

void installDownloadPage(QWidget* main) {
  mgr().main = main;
  using browser::qt::onMenu;
  onMenu(main, "菜单", "添加进下载列表", queueDownloads);
  onMenu(main, "开始菜单", "删除任务", deleteTask);
  onMenu(main, "完成菜单", "打开文件", [] {
    const QString path = finishedPath();
    if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  });
  onMenu(main, "完成菜单", "访问文件夹", [] {
    const QString path = finishedPath();
    if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
  });
  if (pending()) pending()->setItemDelegateForColumn(2, new ProgressDelegate(pending()));
  browser::qt::popupMenuOn(pending(), "开始菜单");
  browser::qt::popupMenuOn(finished(), "完成菜单");
  if (auto* b = startButton()) QObject::connect(b, &QPushButton::clicked, b, startDownloads);
  if (auto* b = app::control<QPushButton>(main, u("按钮34"))) QObject::connect(b, &QPushButton::clicked, b, chooseFolder);
  if (auto* timer = app::control<QTimer>(main, u("时钟5"))) QObject::connect(timer, &QTimer::timeout, timer, refreshProgress);
}

void registerDownloadModule() { app::addWindowInstaller(app::mainWindowTitle(), installDownloadPage); }

}  // namespace tarnwick::transfer::qt
