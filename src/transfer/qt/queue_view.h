#pragma once
// What the upload and the download page share as views of a core queue:
// the queue lists (QTreeViews over a QueueModel) and their row menus, the
// finished lists kept in step with the finished rows (each item carries its
// row id), the selected rows, the hand-over of the queue's events to the GUI
// thread, the finished lists' menus.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/names/name.h"
#include "transfer/transfer_queue.h"

class QAbstractItemView;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tarnwick::transfer::qt {

class QueueModel;

// Puts model into the queue list the catalogue made (a QTreeView holding only
// the column captions and widths): the captions go to the model, the widths
// stay, the progress column is drawn as a bar.
void showQueue(QTreeView* list, QueueModel* model, int progressColumn);

// Makes list show rows in their order: items of rows that are gone are
// removed, items of new rows inserted where they stand; fill sets the texts
// of every item (fresh: the item was just made).
using FillItem = std::function<void(QTreeWidgetItem* item, const QueueRow& row, bool fresh)>;
void syncRows(QTreeWidget* list, const std::vector<QueueRow>& rows, const FillItem& fill);

std::uint64_t rowIdOf(const QTreeWidgetItem* item);
QTreeWidgetItem* itemOf(QTreeWidget* list, std::uint64_t rowId);
// The row ids of the selected lines of a queue list, top to bottom (a
// tree's summary line: all the tree's rows); none selected: none.
std::vector<std::uint64_t> selectedIds(QTreeView* list);

// Removes the rows selected in list from queue, unless one of them is
// running (then the user is told and nothing is removed); none selected:
// nothing happens. True when rows were removed.
bool removeSelectedRows(TransferQueue& queue, QTreeView* list);

// The items of a queue's menu that act on the selected rows of its list
// (none selected: nothing happens): hold, resume, move and retry. Resumed
// and retried rows are handed to start (the page starts exactly those when
// its queue is idle).
struct RowMenuItems {
  app::MenuItemName hold, resume, up, down, top, bottom, retry;
};
using StartRows = std::function<void(const std::vector<std::uint64_t>&)>;
void bindRowMenu(QWidget* main, QTreeView* list, TransferQueue& queue, const RowMenuItems& items, StartRows start);

// Draws the cells of column that carry QueueModel::PercentRole as a progress
// bar with the cell's text on it; other cells ("失败", empty) as plain text.
void drawProgressIn(QAbstractItemView* list, int column);

// Shows a local file in the desktop's file manager, selected where the file
// manager offers that (org.freedesktop.FileManager1), else opens its folder.
// Returns at once.
void showInFileManager(const QString& path);
// The finished list's menu items: openFile opens the local file of the first
// selected row (its path in column path) with the desktop's program for it,
// openFolder shows it in the file manager; none selected: nothing happens.
void bindFinishedFileMenu(QWidget* main, QTreeWidget* list, const app::ColumnName& path,
                          const app::MenuItemName& openFile, const app::MenuItemName& openFolder);

// Hands every event of queue to f on the GUI thread while receiver lives.
// Make the call on the GUI thread.
void listenOnGui(TransferQueue& queue, QObject* receiver, std::function<void(const QueueEvent&)> f);

}  // namespace tarnwick::transfer::qt
