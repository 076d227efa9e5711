#pragma once
// The queue lists (超级列表框6, 超级列表框2) as the GUI tests read and select
// them: QTreeViews over the queue's model, one line per row, a folder's rows
// under one summary line.
#include <QAbstractItemModel>
#include <QIcon>
#include <QItemSelectionModel>
#include <QTreeView>

namespace testsupport {

class QueueList {
 public:
  explicit QueueList(QTreeView* view) : m_view(view) {}
  QTreeView* view() const { return m_view; }
  // Lines at the top level (or under parent).
  int count(const QModelIndex& parent = {}) const { return m_view->model()->rowCount(parent); }
  QModelIndex at(int row, int column = 0, const QModelIndex& parent = {}) const {
    return m_view->model()->index(row, column, parent);
  }
  QString text(int row, int column, const QModelIndex& parent = {}) const {
    return at(row, column, parent).data().toString();
  }
  QString toolTip(int row, int column) const { return at(row, column).data(Qt::ToolTipRole).toString(); }
  // The line carries a state mark (failed, held, waiting).
  bool marked(int row) const { return !at(row).data(Qt::DecorationRole).value<QIcon>().isNull(); }
  void clearSelection() const { m_view->selectionModel()->clearSelection(); }
  void select(int row, const QModelIndex& parent = {}) const {
    m_view->selectionModel()->select(at(row, 0, parent), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  void selectOnly(int row, const QModelIndex& parent = {}) const {
    clearSelection();
    select(row, parent);
  }
  void selectAll() const { m_view->selectAll(); }

 private:
  QTreeView* m_view;
};

}  // namespace testsupport
