#include "transfer/qt/queue_view.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

#include "app/qt/bindings.h"
#include "app/qt/shell.h"
#include "transfer/queue_order.h"

namespace tarnwick::transfer::qt {

namespace {

constexpr int kRowIdRole = Qt::UserRole + 7;

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

}  // namespace

void drawProgressIn(QTreeWidget* list, int column) {
  if (list) list->setItemDelegateForColumn(column, new ProgressDelegate(list));
}

std::uint64_t rowIdOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kRowIdRole).toULongLong() : 0;
}

QTreeWidgetItem* itemOf(QTreeWidget* list, std::uint64_t rowId) {
  if (!list || rowId == 0) return nullptr;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (rowIdOf(list->topLevelItem(i)) == rowId) return list->topLevelItem(i);
  return nullptr;
}

void syncRows(QTreeWidget* list, const std::vector<QueueRow>& rows, const FillItem& fill) {
  if (!list) return;
  std::vector<std::uint64_t> wanted;
  wanted.reserve(rows.size());
  for (const QueueRow& r : rows) wanted.push_back(r.id);
  std::sort(wanted.begin(), wanted.end());
  for (int i = list->topLevelItemCount() - 1; i >= 0; --i)
    if (!std::binary_search(wanted.begin(), wanted.end(), rowIdOf(list->topLevelItem(i))))
      delete list->takeTopLevelItem(i);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    bool fresh = false;
    if (!item || rowIdOf(item) != rows[i].id) {
      QTreeWidgetItem* elsewhere = itemOf(list, rows[i].id);
      if (elsewhere) {
        // A moved row stays selected where it lands.
        const bool selected = elsewhere->isSelected();
        item = list->takeTopLevelItem(list->indexOfTopLevelItem(elsewhere));
        list->insertTopLevelItem(i, item);
        item->setSelected(selected);
        fill(item, rows[i], false);
        continue;
      } else {
        item = new QTreeWidgetItem;
        item->setData(0, kRowIdRole, QVariant::fromValue<qulonglong>(rows[i].id));
        fresh = true;
      }
      list->insertTopLevelItem(i, item);
    }
    fill(item, rows[i], fresh);
  }
}

std::vector<std::uint64_t> selectedIds(QTreeWidget* list) {
  std::vector<std::pair<int, std::uint64_t>> picked;
  if (!list) return {};
  for (QTreeWidgetItem* item : list->selectedItems()) picked.emplace_back(list->indexOfTopLevelItem(item), rowIdOf(item));
  std::sort(picked.begin(), picked.end());
  std::vector<std::uint64_t> ids;
  for (const auto& p : picked) ids.push_back(p.second);
  return ids;
}

void markState(QTreeWidgetItem* item, const QueueRow& row) {
  QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
  if (row.state == RowState::Failed) icon = QStyle::SP_MessageBoxWarning;
  if (row.state == RowState::Held) icon = QStyle::SP_MediaPause;
  if (row.state == RowState::Waiting) icon = QStyle::SP_BrowserReload;
  const QString tip = row.reason.empty() ? QString() : app::fromGbk(row.reason);
  item->setIcon(0, icon == QStyle::SP_CustomBase ? QIcon() : QApplication::style()->standardIcon(icon));
  for (int c = 0; c < std::max(1, item->columnCount()); ++c)
    if (item->toolTip(c) != tip) item->setToolTip(c, tip);
}

QString stateText(const QueueRow& row) {
  switch (row.state) {
    case RowState::Held: return QStringLiteral("暂停");
    case RowState::Waiting: return QStringLiteral("等待重试");
    case RowState::Failed: return QStringLiteral("失败");
    default: return QString();
  }
}

void bindRowMenu(QWidget* main, QTreeWidget* list, TransferQueue& queue, const RowMenuItems& items) {
  const QPointer<QTreeWidget> view(list);
  // Each item acts on the rows selected when it is chosen; none: nothing.
  auto onSelected = [&](const app::MenuItemName& item, std::function<void(const std::vector<std::uint64_t>&)> f) {
    app::onMenu(main, item, [view, f = std::move(f)] {
      if (const std::vector<std::uint64_t> ids = selectedIds(view); !ids.empty()) f(ids);
    });
  };
  TransferQueue* q = &queue;
  onSelected(items.hold, [q](const auto& ids) { q->hold(ids); });
  // The chosen rows are queued again: they go now while the queue runs,
  // otherwise at the next 上传 / 开始下载.
  onSelected(items.resume, [q](const auto& ids) { q->resume(ids); });
  onSelected(items.retry, [q](const auto& ids) { q->retry(ids); });
  const std::pair<const app::MenuItemName*, Shift> shifts[] = {
      {&items.up, Shift::Up}, {&items.down, Shift::Down}, {&items.top, Shift::Top}, {&items.bottom, Shift::Bottom}};
  for (const auto& [item, shift] : shifts)
    onSelected(*item, [q, shift](const auto& ids) {
      std::vector<std::uint64_t> order;
      for (const QueueRow& r : q->rows()) order.push_back(r.id);
      for (const auto& [id, position] : plannedMoves(order, ids, shift)) q->move(id, position);
    });
}

void listenOnGui(TransferQueue& queue, QObject* receiver, std::function<void(const QueueEvent&)> f) {
  QPointer<QObject> target(receiver);
  queue.setListener([target, f = std::move(f)](const QueueEvent& e) {
    app::runOnGui(target, [e, f] { f(e); });
  });
}

bool removeSelectedRows(TransferQueue& queue, QTreeWidget* list) {
  const std::vector<std::uint64_t> ids = selectedIds(list);
  if (ids.empty()) return false;
  for (std::uint64_t id : ids)
    if (auto row = queue.row(id); row && row->state == RowState::Running) {
      app::showMessage(QStringLiteral("该任务正在执行中，暂时无法删除。"));
      return false;
    }
  queue.remove(ids);
  return true;
}

void showInFileManager(const QString& path) {
  const QUrl file = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
  const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
  auto* ask = new QProcess;
  ask->setProgram(QStringLiteral("dbus-send"));
  ask->setArguments({QStringLiteral("--session"), QStringLiteral("--print-reply"),
                     QStringLiteral("--dest=org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                     QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                     QStringLiteral("array:string:") + QString::fromUtf8(file.toEncoded()), QStringLiteral("string:")});
  // No file manager with that interface (or no session bus): open the folder.
  QObject::connect(ask, &QProcess::finished, ask, [ask, folder](int code, QProcess::ExitStatus status) {
    if (code != 0 || status != QProcess::NormalExit) QDesktopServices::openUrl(folder);
    ask->deleteLater();
  });
  QObject::connect(ask, &QProcess::errorOccurred, ask, [ask, folder](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    QDesktopServices::openUrl(folder);
    ask->deleteLater();
  });
  ask->start();
}

void bindFinishedFileMenu(QWidget* main, QTreeWidget* list, const app::ColumnName& path,
                          const app::MenuItemName& openFile, const app::MenuItemName& openFolder) {
  // The local path of the first selected row ("" with none selected).
  auto picked = [list = QPointer<QTreeWidget>(list), column = path.index] {
    const QList<QTreeWidgetItem*> items = list ? list->selectedItems() : QList<QTreeWidgetItem*>();
    return items.isEmpty() ? QString() : items.first()->text(column);
  };
  app::onMenu(main, openFile, [picked] {
    if (const QString p = picked(); !p.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(p));
  });
  app::onMenu(main, openFolder, [picked] {
    if (const QString p = picked(); !p.isEmpty()) showInFileManager(p);
  });
}

}  // namespace tarnwick::transfer::qt
