#pragma once
// The rows of a transfer queue as an item model, for the list views of the
// upload (超级列表框6) and the download page (超级列表框2).
//
// The model holds copies of the queue's rows as of its last refresh (rows(),
// trees(), waiting()) and the running rows' counters of the last progress
// tick; nothing of a row is kept in a view. The queue's events only mark the
// model dirty; a timer refreshes it at most every kRefreshMs. A refresh
// compares the new copies with the old ones by row id: rows that are gone are
// removed and new rows inserted as ranges, a changed order is a layout change
// that carries the persistent indexes (selection, current row, scroll
// anchor) along, and a row whose shown fields changed gets dataChanged.
// Nothing is reset while rows merely change state.
//
// Rows of a tree (QueueRow::tree != 0) are children of one summary row per
// tree, at the top level in the place of the tree's first row: its name,
// files done of total, bytes, speed and state. A selected summary row stands
// for all its rows.
//
// Columns by flavour (their captions come from the catalogue):
//   upload   文件 | 大小 | 进度 | 速度 | 状态
//   download 文件名 | 大小 | 下载进度 (the state when not running) | pid | 下载速度

#include <QAbstractItemModel>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer::qt {

class QueueModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum class Flavour { Upload, Download };
  // Roles beside the display, decoration and tooltip roles.
  enum Role {
    RowIdRole = Qt::UserRole + 7,  // the row id (0 for a summary row)
    TreeRole,                      // the tree id of a summary row (0 otherwise)
    PercentRole,                   // 0..100 where the cell is drawn as a bar; none otherwise
  };
  static constexpr int kRefreshMs = 100;

  QueueModel(TransferQueue& queue, Flavour flavour, QObject* parent = nullptr);

  void setCaptions(const QStringList& captions);

  // The queue changed: a refresh follows within kRefreshMs (one for a burst).
  void markDirty();
  // Refreshes now (after the user's own change, shown at once).
  void refresh();
  // The counters of the running rows at one tick (progressAll()) and the
  // milliseconds since the previous tick: progress and speed cells.
  void setProgress(const std::vector<QueueProgress>& all, std::int64_t ms);
  // An upload's bytes are all in place; its progress shows 100% and no speed
  // until the row leaves Running.
  void markSent(std::uint64_t rowId);

  // The row ids an index list stands for, top to bottom, each once: a row
  // itself, a summary row all the rows of its tree.
  std::vector<std::uint64_t> rowIds(const QModelIndexList& indexes) const;
  // The row as of the last refresh.
  const QueueRow* rowOf(std::uint64_t id) const;
  QModelIndex indexOfRow(std::uint64_t id, int column = 0) const;
  QModelIndex indexOfTree(std::uint64_t tree, int column = 0) const;
  // Rows of the queue as of the last refresh (the top level holds fewer when
  // trees are folded into summary rows), and those running.
  int queueRows() const { return static_cast<int>(m_rows.size()); }
  const std::unordered_set<std::uint64_t>& runningRows() const { return m_running; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // A refresh is over: the rows are as the queue had them.
  void refreshed();

 private:
  // One line of a level: a row, or (top level only) a tree's summary row.
  struct Node {
    std::uint64_t id = 0;  // row id, or tree id for a summary
    bool summary = false;
    bool operator==(const Node&) const = default;
  };
  struct NodeHash {
    std::size_t operator()(const Node& n) const { return std::hash<std::uint64_t>()(n.id * 2 + n.summary); }
  };
  struct Group {
    std::vector<std::uint64_t> rows;  // the tree's rows in queue order
    TreeSummary summary;
    int running = 0, failed = 0, held = 0, waiting = 0, queued = 0;
    std::uint64_t firstFailed = 0;
  };
  struct Live {
    std::int64_t done = 0, total = -1, sinceLast = 0;
  };

  template <class Key, class Hash>
  void syncLevel(const QModelIndex& parent, quintptr tag, std::vector<Key>& cur, const std::vector<Key>& want);
  void ensurePositions() const;
  Node nodeAt(const QModelIndex& index) const;
  QVariant rowData(const QueueRow& row, bool child, int column, int role) const;
  QVariant summaryData(std::uint64_t tree, int column, int role) const;
  QString stateText(const QueueRow& row) const;
  void emitRows(const std::vector<std::uint64_t>& ids, int firstColumn, int lastColumn);
  void emitSummaries();

  TransferQueue& m_queue;
  Flavour m_flavour;
  QStringList m_captions;
  QTimer m_timer;

  std::vector<Node> m_top;
  std::unordered_map<std::uint64_t, Group> m_groups;  // by tree id
  std::unordered_map<std::uint64_t, QueueRow> m_rows;
  std::unordered_set<std::uint64_t> m_running;
  bool m_waiting = false;  // the queue's gate is closed

  std::unordered_map<std::uint64_t, Live> m_live;
  std::int64_t m_liveMs = 0;
  std::unordered_set<std::uint64_t> m_sent;

  // Where each node stands, rebuilt on demand after a change of structure.
  mutable bool m_positionsStale = true;
  mutable std::unordered_map<std::uint64_t, int> m_rowPos;   // row id -> row in its level
  mutable std::unordered_map<std::uint64_t, int> m_treePos;  // tree id -> top-level row
};

}  // namespace tarnwick::transfer::qt
