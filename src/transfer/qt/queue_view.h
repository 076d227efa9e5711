#pragma once
// What the upload and the download page share as views of a core queue:
// list views kept in step with the queue's rows (each item carries its row
// id), the selected rows, a row's mark for its state, and the hand-over of
// the queue's events to the GUI thread, the finished lists' menus.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/names/name.h"
#include "transfer/transfer_queue.h"

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tarnwick::transfer::qt {

// Makes list show rows in their order: items of rows that are gone are
// removed, items of new rows inserted where they stand; fill sets the texts
// of every item (fresh: the item was just made).
using FillItem = std::function<void(QTreeWidgetItem* item, const QueueRow& row, bool fresh)>;
void syncRows(QTreeWidget* list, const std::vector<QueueRow>& rows, const FillItem& fill);

std::uint64_t rowIdOf(const QTreeWidgetItem* item);
QTreeWidgetItem* itemOf(QTreeWidget* list, std::uint64_t rowId);
// The row ids of the selected items, top to bottom; none selected: none.
std::vector<std::uint64_t> selectedIds(QTreeWidget* list);

// Removes the rows selected in list from queue, unless one of them is the
// running row (then the user is told and nothing is removed); none
// selected: nothing happens. True when rows were removed.
bool removeSelectedRows(TransferQueue& queue, QTreeWidget* list);

// A failed, held or waiting row: an icon in its first column and the reason
// as tooltip of every column; other rows: neither.
void markState(QTreeWidgetItem* item, const QueueRow& row);
// The state text of a row that is not running: 暂停 (held), 等待重试
// (waiting for the service), 失败; "" for a queued one.
QString stateText(const QueueRow& row);

// The items of a queue's menu that act on the selected rows of its list
// (none selected: nothing happens): hold, resume, move and retry.
struct RowMenuItems {
  app::MenuItemName hold, resume, up, down, top, bottom, retry;
};
void bindRowMenu(QWidget* main, QTreeWidget* list, TransferQueue& queue, const RowMenuItems& items);

// Draws the cells of column whose text is "n%" as a progress bar with the
// text on it; other texts ("失败", empty) as plain text.
void drawProgressIn(QTreeWidget* list, int column);

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
