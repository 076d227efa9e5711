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
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

#include "app/qt/bindings.h"
#include "app/qt/shell.h"
#include "transfer/qt/queue_model.h"
#include "transfer/queue_order.h"

namespace tarnwick::transfer::qt {

namespace {

constexpr int kRowIdRole = Qt::UserRole + 7;

class ProgressDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QVariant percent = index.data(QueueModel::PercentRole);
    if (!percent.isValid()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = std::clamp(percent.toInt(), 0, 100);
    bar.text = index.data().toString();
    bar.textVisible = true;
    bar.state = option.state | QStyle::State_Horizontal;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
  }
};

}  // namespace

void drawProgressIn(QAbstractItemView* list, int column) {
  if (list) list->setItemDelegateForColumn(column, new ProgressDelegate(list));
}

void showQueue(QTreeView* list, QueueModel* model, int progressColumn) {
  if (!list || !model) return;
  QAbstractItemModel* columns = list->model();
  QStringList captions;
  QList<int> widths;
  for (int c = 0; columns && c < columns->columnCount(); ++c) {
    captions << columns->headerData(c, Qt::Horizontal).toString();
    widths << list->columnWidth(c);
  }
  model->setCaptions(captions);
  QItemSelectionModel* oldSelection = list->selectionModel();
  list->setModel(model);
  delete oldSelection;
  if (columns && columns->parent() == list) delete columns;
  for (int c = 0; c < widths.size(); ++c) list->setColumnWidth(c, widths[c]);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  drawProgressIn(list, progressColumn);
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

std::vector<std::uint64_t> selectedIds(QTreeView* list) {
  auto* model = list ? qobject_cast<QueueModel*>(list->model()) : nullptr;
  if (!model || !list->selectionModel()) return {};
  return model->rowIds(list->selectionModel()->selectedRows());
}

void bindRowMenu(QWidget* main, QTreeView* list, TransferQueue& queue, const RowMenuItems& items, StartRows start) {
  const QPointer<QTreeView> view(list);
  // Each item acts on the rows selected when it is chosen; none: nothing.
  auto onSelected = [&](const app::MenuItemName& item, std::function<void(const std::vector<std::uint64_t>&)> f) {
    app::onMenu(main, item, [view, f = std::move(f)] {
      if (const std::vector<std::uint64_t> ids = selectedIds(view); !ids.empty()) f(ids);
    });
  };
  // The model shows what the menu did at once, not after the next tick.
  auto shown = [view] {
    if (auto* model = view ? qobject_cast<QueueModel*>(view->model()) : nullptr) model->refresh();
  };
  TransferQueue* q = &queue;
  onSelected(items.hold, [q, shown](const auto& ids) {
    q->hold(ids);
    shown();
  });
  // The chosen rows are queued again and go now: on an idle queue only
  // they start; while it runs they are taken in turn.
  onSelected(items.resume, [q, start, shown](const auto& ids) {
    q->resume(ids);
    if (start) start(ids);
    shown();
  });
  onSelected(items.retry, [q, start, shown](const auto& ids) {
    q->retry(ids);
    if (start) start(ids);
    shown();
  });
  const std::pair<const app::MenuItemName*, Shift> shifts[] = {
      {&items.up, Shift::Up}, {&items.down, Shift::Down}, {&items.top, Shift::Top}, {&items.bottom, Shift::Bottom}};
  for (const auto& [item, shift] : shifts)
    onSelected(*item, [q, shift, shown](const auto& ids) {
      std::vector<std::uint64_t> order;
      for (const QueueRow& r : q->rows()) order.push_back(r.id);
      for (const auto& [id, position] : plannedMoves(order, ids, shift)) q->move(id, position);
      shown();
    });
}

void listenOnGui(TransferQueue& queue, QObject* receiver, std::function<void(const QueueEvent&)> f) {
  QPointer<QObject> target(receiver);
  queue.setListener([target, f = std::move(f)](const QueueEvent& e) {
    app::runOnGui(target, [e, f] { f(e); });
  });
}

bool removeSelectedRows(TransferQueue& queue, QTreeView* list) {
  const std::vector<std::uint64_t> ids = selectedIds(list);
  if (ids.empty()) return false;
  for (std::uint64_t id : ids)
    if (auto row = queue.row(id); row && row->state == RowState::Running) {
      app::showMessage(QStringLiteral("该任务正在执行中，暂时无法删除。"));
      return false;
    }
  // A folder row goes with everything inside it: asked first.
  const bool folder = std::any_of(ids.begin(), ids.end(), [&](std::uint64_t id) {
    const auto row = queue.row(id);
    return row && row->kind != RowKind::File;
  });
  if (folder && !app::askYesNo(QStringLiteral("删除文件夹任务会同时删除其中的全部任务，是否继续？"))) return false;
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
