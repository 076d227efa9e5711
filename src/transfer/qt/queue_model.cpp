#include "transfer/qt/queue_model.h"

#include <QApplication>
#include <QFile>
#include <QStyle>
#include <algorithm>
#include <tuple>

#include "app/names/main_window.h"
#include "app/qt/controls.h"
#include "transfer/download_plan.h"
#include "transfer/upload_progress.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

// The fields a row's cells are made of: a row whose copy differs in none of
// them is not repainted.
bool shownDiffers(const QueueRow& a, const QueueRow& b) {
  return a.state != b.state || a.size != b.size || a.kind != b.kind || a.reason != b.reason ||
         a.sizeText != b.sizeText || a.name != b.name || a.localPath != b.localPath || a.treePath != b.treePath ||
         a.fileId != b.fileId;
}

// A size for a summary row: bytes, KB, MB or GB with one decimal.
QString sizeText(std::int64_t bytes) {
  if (bytes < 0) return {};
  if (bytes < 1024) return QString::number(bytes) + QStringLiteral("B");
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double v = bytes / 1024.0;
  int u = 0;
  while (v >= 1024.0 && u < 3) {
    v /= 1024.0;
    ++u;
  }
  return QString::number(v, 'f', 1) + QString::fromLatin1(units[u]);
}

int percentOf(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
}

QIcon stateIcon(QStyle::StandardPixmap icon) { return QApplication::style()->standardIcon(icon); }

}  // namespace

QueueModel::QueueModel(TransferQueue& queue, Flavour flavour, QObject* parent)
    : QAbstractItemModel(parent), m_queue(queue), m_flavour(flavour) {
  m_timer.setSingleShot(true);
  m_timer.setInterval(kRefreshMs);
  connect(&m_timer, &QTimer::timeout, this, &QueueModel::refresh);
}

void QueueModel::setCaptions(const QStringList& captions) {
  m_captions = captions;
  emit headerDataChanged(Qt::Horizontal, 0, std::max(0, columnCount() - 1));
}

void QueueModel::markDirty() {
  if (!m_timer.isActive()) m_timer.start();
}

void QueueModel::ensurePositions() const {
  if (!m_positionsStale) return;
  m_rowPos.clear();
  m_treePos.clear();
  m_rowPos.reserve(m_rows.size() + m_top.size());
  for (std::size_t i = 0; i < m_top.size(); ++i)
    (m_top[i].summary ? m_treePos : m_rowPos)[m_top[i].id] = static_cast<int>(i);
  for (const auto& [tree, group] : m_groups)
    for (std::size_t j = 0; j < group.rows.size(); ++j) m_rowPos[group.rows[j]] = static_cast<int>(j);
  m_positionsStale = false;
}

// Turns the level cur into want: ranges of rows that are gone are removed,
// a changed order among the remaining ones is one layout change that moves
// the persistent indexes with their rows, then ranges of new rows are
// inserted where they stand. tag is the internal id of the level's indexes
// (0 at the top, the tree id among a tree's rows).
template <class Key, class Hash>
void QueueModel::syncLevel(const QModelIndex& parent, quintptr tag, std::vector<Key>& cur,
                           const std::vector<Key>& want) {
  if (cur == want) return;
  std::unordered_map<Key, int, Hash> wantPos;
  wantPos.reserve(want.size());
  for (std::size_t i = 0; i < want.size(); ++i) wantPos.emplace(want[i], static_cast<int>(i));

  for (int i = static_cast<int>(cur.size()) - 1; i >= 0; --i) {
    if (wantPos.count(cur[i])) continue;
    const int last = i;
    while (i > 0 && !wantPos.count(cur[i - 1])) --i;
    beginRemoveRows(parent, i, last);
    cur.erase(cur.begin() + i, cur.begin() + last + 1);
    m_positionsStale = true;
    endRemoveRows();
  }

  bool ordered = true;
  for (std::size_t k = 1; k < cur.size() && ordered; ++k) ordered = wantPos[cur[k - 1]] < wantPos[cur[k]];
  if (!ordered) {
    const QList<QPersistentModelIndex> parents{QPersistentModelIndex(parent)};
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    std::vector<Key> sorted = cur;
    std::sort(sorted.begin(), sorted.end(), [&](const Key& a, const Key& b) { return wantPos[a] < wantPos[b]; });
    std::unordered_map<Key, int, Hash> newRow;
    newRow.reserve(sorted.size());
    for (std::size_t k = 0; k < sorted.size(); ++k) newRow.emplace(sorted[k], static_cast<int>(k));
    QModelIndexList from, to;
    for (const QModelIndex& p : persistentIndexList()) {
      if (p.internalId() != tag || p.row() >= static_cast<int>(cur.size())) continue;
      from << p;
      to << createIndex(newRow[cur[p.row()]], p.column(), tag);
    }
    changePersistentIndexList(from, to);
    cur = std::move(sorted);
    m_positionsStale = true;
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
  }

  std::unordered_set<Key, Hash> have(cur.begin(), cur.end());
  for (std::size_t i = 0; i < want.size();) {
    if (i < cur.size() && cur[i] == want[i]) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < want.size() && !have.count(want[j])) ++j;
    beginInsertRows(parent, static_cast<int>(i), static_cast<int>(j) - 1);
    cur.insert(cur.begin() + i, want.begin() + i, want.begin() + j);
    m_positionsStale = true;
    endInsertRows();
    i = j;
  }
}

void QueueModel::refresh() {
  m_timer.stop();
  std::vector<QueueRow> snap = m_queue.rows();
  const bool waiting = m_queue.waiting();
  const bool waitingChanged = waiting != m_waiting;
  m_waiting = waiting;

  std::vector<Node> top;
  top.reserve(snap.size());
  std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> trees;
  std::vector<std::uint64_t> changed;
  m_running.clear();
  for (QueueRow& r : snap) {
    const std::uint64_t id = r.id, tree = r.tree;
    if (tree != 0) {
      auto [it, fresh] = trees.try_emplace(tree);
      if (fresh) top.push_back({tree, true});
      it->second.push_back(id);
    } else {
      top.push_back({id, false});
    }
    if (r.state == RowState::Running) m_running.insert(id);
    auto old = m_rows.find(id);
    if (old == m_rows.end()) {
      m_rows.emplace(id, std::move(r));
    } else {
      if (shownDiffers(old->second, r)) changed.push_back(id);
      old->second = std::move(r);
    }
  }
  std::erase_if(m_sent, [this](std::uint64_t id) { return !m_running.count(id); });

  // The trees as wholes; a new tree's rows are in place before its summary
  // row is inserted.
  if (!trees.empty()) {
    std::unordered_map<std::uint64_t, TreeSummary> summaries;
    for (TreeSummary& s : m_queue.trees()) summaries.emplace(s.tree, std::move(s));
    for (auto& [tree, ids] : trees) {
      auto [it, fresh] = m_groups.try_emplace(tree);
      Group& g = it->second;
      if (fresh) g.rows = ids;
      g.running = g.failed = g.held = g.waiting = g.queued = 0;
      g.firstFailed = 0;
      for (std::uint64_t id : ids) {
        const QueueRow& r = m_rows.at(id);
        switch (r.state) {
          case RowState::Running: ++g.running; break;
          case RowState::Failed:
            if (!g.failed++) g.firstFailed = id;
            break;
          case RowState::Held: ++g.held; break;
          case RowState::Waiting: ++g.waiting; break;
          default: ++g.queued; break;
        }
      }
      if (auto s = summaries.find(tree); s != summaries.end()) g.summary = std::move(s->second);
      else g.summary.tree = tree;
    }
  }

  syncLevel<Node, NodeHash>(QModelIndex(), 0, m_top, top);
  for (auto& [tree, ids] : trees)
    syncLevel<std::uint64_t, std::hash<std::uint64_t>>(indexOfTree(tree), static_cast<quintptr>(tree),
                                                        m_groups.at(tree).rows, ids);
  std::erase_if(m_groups, [&](const auto& g) { return !trees.count(g.first); });
  if (m_rows.size() != snap.size()) {
    std::unordered_set<std::uint64_t> present;
    present.reserve(top.size() * 2);
    for (const Node& n : top)
      if (!n.summary) present.insert(n.id);
    for (const auto& [tree, ids] : trees) present.insert(ids.begin(), ids.end());
    std::erase_if(m_rows, [&](const auto& r) { return !present.count(r.first); });
    std::erase_if(m_live, [&](const auto& l) { return !present.count(l.first); });
  }

  if (waitingChanged) {
    // Every queued row's state reads differently now.
    changed.clear();
    for (const auto& [id, row] : m_rows) changed.push_back(id);
  }
  emitRows(changed, 0, columnCount() - 1);
  emitSummaries();
  emit refreshed();
}

void QueueModel::emitRows(const std::vector<std::uint64_t>& ids, int firstColumn, int lastColumn) {
  if (ids.empty()) return;
  ensurePositions();
  std::vector<std::pair<std::uint64_t, int>> at;  // (tree, row in its level)
  at.reserve(ids.size());
  for (std::uint64_t id : ids) {
    const auto r = m_rows.find(id);
    const auto p = m_rowPos.find(id);
    if (r != m_rows.end() && p != m_rowPos.end()) at.emplace_back(r->second.tree, p->second);
  }
  std::sort(at.begin(), at.end());
  for (std::size_t i = 0; i < at.size();) {
    std::size_t j = i + 1;
    while (j < at.size() && at[j].first == at[i].first && at[j].second == at[j - 1].second + 1) ++j;
    const QModelIndex parent = at[i].first ? indexOfTree(at[i].first) : QModelIndex();
    emit dataChanged(index(at[i].second, firstColumn, parent), index(at[j - 1].second, lastColumn, parent));
    i = j;
  }
}

void QueueModel::emitSummaries() {
  for (const auto& [tree, group] : m_groups)
    if (const QModelIndex at = indexOfTree(tree); at.isValid())
      emit dataChanged(at, at.siblingAtColumn(columnCount() - 1));
}

void QueueModel::setProgress(const std::vector<QueueProgress>& all, std::int64_t ms) {
  std::vector<std::uint64_t> touched;
  for (const auto& [id, live] : m_live) touched.push_back(id);
  m_live.clear();
  for (const QueueProgress& p : all) {
    if (p.rowId == 0) continue;
    m_live[p.rowId] = {p.done, p.total, p.sinceLast};
    touched.push_back(p.rowId);
  }
  m_liveMs = ms;
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  emitRows(touched, 0, columnCount() - 1);
  emitSummaries();
}

void QueueModel::markSent(std::uint64_t rowId) {
  if (!m_sent.insert(rowId).second) return;
  emitRows({rowId}, 0, columnCount() - 1);
}

const QueueRow* QueueModel::rowOf(std::uint64_t id) const {
  const auto it = m_rows.find(id);
  return it == m_rows.end() ? nullptr : &it->second;
}

QModelIndex QueueModel::indexOfTree(std::uint64_t tree, int column) const {
  ensurePositions();
  const auto it = m_treePos.find(tree);
  return it == m_treePos.end() ? QModelIndex() : createIndex(it->second, column, quintptr(0));
}

QModelIndex QueueModel::indexOfRow(std::uint64_t id, int column) const {
  const QueueRow* row = rowOf(id);
  if (!row) return {};
  ensurePositions();
  const auto it = m_rowPos.find(id);
  if (it == m_rowPos.end()) return {};
  return createIndex(it->second, column, static_cast<quintptr>(row->tree));
}

std::vector<std::uint64_t> QueueModel::rowIds(const QModelIndexList& indexes) const {
  std::vector<std::tuple<int, int, std::uint64_t>> picked;  // (top row, row among the tree's, id)
  for (const QModelIndex& i : indexes) {
    if (!i.isValid() || i.model() != this) continue;
    if (i.internalId() != 0) {
      picked.emplace_back(parent(i).row(), i.row(), nodeAt(i).id);
      continue;
    }
    const Node n = nodeAt(i);
    if (!n.summary) {
      picked.emplace_back(i.row(), -1, n.id);
      continue;
    }
    const Group& g = m_groups.at(n.id);
    for (std::size_t j = 0; j < g.rows.size(); ++j) picked.emplace_back(i.row(), static_cast<int>(j), g.rows[j]);
  }
  std::sort(picked.begin(), picked.end());
  std::vector<std::uint64_t> ids;
  std::unordered_set<std::uint64_t> seen;
  for (const auto& p : picked)
    if (seen.insert(std::get<2>(p)).second) ids.push_back(std::get<2>(p));
  return ids;
}

QModelIndex QueueModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= columnCount()) return {};
  if (!parent.isValid())
    return row < static_cast<int>(m_top.size()) ? createIndex(row, column, quintptr(0)) : QModelIndex();
  if (parent.internalId() != 0 || parent.row() >= static_cast<int>(m_top.size())) return {};
  const Node& n = m_top[parent.row()];
  if (!n.summary) return {};
  const auto g = m_groups.find(n.id);
  if (g == m_groups.end() || row >= static_cast<int>(g->second.rows.size())) return {};
  return createIndex(row, column, static_cast<quintptr>(n.id));
}

QModelIndex QueueModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return indexOfTree(child.internalId());
}

int QueueModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(m_top.size());
  if (parent.internalId() != 0 || parent.column() != 0 || parent.row() >= static_cast<int>(m_top.size())) return 0;
  const Node& n = m_top[parent.row()];
  if (!n.summary) return 0;
  const auto g = m_groups.find(n.id);
  return g == m_groups.end() ? 0 : static_cast<int>(g->second.rows.size());
}

int QueueModel::columnCount(const QModelIndex&) const { return 5; }

QueueModel::Node QueueModel::nodeAt(const QModelIndex& index) const {
  if (index.internalId() == 0)
    return index.row() < static_cast<int>(m_top.size()) ? m_top[index.row()] : Node{};
  const auto g = m_groups.find(index.internalId());
  if (g == m_groups.end() || index.row() >= static_cast<int>(g->second.rows.size())) return {};
  return {g->second.rows[index.row()], false};
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_captions.size())
    return {};
  return m_captions[section];
}

Qt::ItemFlags QueueModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant QueueModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node n = nodeAt(index);
  if (n.id == 0) return {};
  if (n.summary) return summaryData(n.id, index.column(), role);
  const QueueRow* row = rowOf(n.id);
  return row ? rowData(*row, index.internalId() != 0, index.column(), role) : QVariant();
}

// The state of a row that is not running: 暂停, 等待重试 (the row waits for
// the service, or the queue's gate is closed), 失败; "" for a queued one.
QString QueueModel::stateText(const QueueRow& row) const {
  switch (row.state) {
    case RowState::Held: return QStringLiteral("暂停");
    case RowState::Waiting: return QStringLiteral("等待重试");
    case RowState::Failed: return QStringLiteral("失败");
    case RowState::Queued: return m_waiting ? QStringLiteral("等待重试") : QString();
    default: return QString();
  }
}

QVariant QueueModel::rowData(const QueueRow& row, bool child, int column, int role) const {
  const bool running = row.state == RowState::Running;
  const auto live = m_live.find(row.id);
  const Live* l = running && live != m_live.end() ? &live->second : nullptr;
  const bool upload = m_flavour == Flavour::Upload;
  const int progressColumn = upload ? kUploadQueueProgress.index : kDownloadProgress.index;
  const int speedColumn = upload ? kUploadQueueSpeed.index : kDownloadSpeed.index;
  const bool sent = upload && m_sent.count(row.id);
  // Download: the size the transfer reports, else the listing's.
  const std::int64_t total = l && l->total >= 0 ? l->total : upload ? row.size : sizeFromText(row.sizeText);

  switch (role) {
    case RowIdRole: return QVariant::fromValue<qulonglong>(row.id);
    case TreeRole: return QVariant::fromValue<qulonglong>(0);
    case PercentRole:
      if (column != progressColumn || !running) return {};
      if (sent) return 100;
      return l ? (upload ? uploadPercent(l->done, std::max<std::int64_t>(0, total)) : percentOf(l->done, total)) : 0;
    case Qt::DecorationRole: {
      if (column != 0) return {};
      if (row.state == RowState::Failed) return stateIcon(QStyle::SP_MessageBoxWarning);
      if (row.state == RowState::Held) return stateIcon(QStyle::SP_MediaPause);
      if (row.state == RowState::Waiting) return stateIcon(QStyle::SP_BrowserReload);
      return {};
    }
    case Qt::ToolTipRole: {
      if (!row.reason.empty()) return app::fromGbk(row.reason);
      // A running download: the time left at this tick's rate.
      if (!upload && l && (column == progressColumn || column == speedColumn) && l->sinceLast > 0 && m_liveMs > 0 &&
          total > l->done)
        return QStringLiteral("剩余时间约%1秒").arg((total - l->done) * m_liveMs / l->sinceLast / 1000 + 1);
      return {};
    }
    case Qt::DisplayRole: break;
    default: return {};
  }

  if (upload) {
    if (column == kUploadQueuePath)
      return child && !row.treePath.empty() ? app::fromGbk(row.treePath) : QFile::decodeName(row.localPath.c_str());
    if (column == kUploadQueueSize)
      return row.size >= 0 ? QString::fromStdString(uploadSizeText(row.size)) : QString();
    if (column == kUploadQueueProgress) {
      if (!running) return QString();
      if (sent) return QStringLiteral("100%");
      return QStringLiteral("%1%").arg(l ? uploadPercent(l->done, std::max<std::int64_t>(0, total)) : 0);
    }
    if (column == kUploadQueueSpeed)
      return l && !sent ? QString::fromStdString(speedText(l->sinceLast, m_liveMs)) + QStringLiteral("/s") : QString();
    if (column == kUploadQueueState) return running ? QStringLiteral("上传中") : stateText(row);
    return {};
  }
  if (column == kDownloadName)
    return app::fromGbk(child && !row.treePath.empty() ? row.treePath : row.name);
  if (column == kDownloadSize) return app::fromGbk(row.sizeText);
  if (column == kDownloadProgress) {
    if (!running) return stateText(row);
    return l ? QString::fromStdString(progressText(l->done, total)) : QStringLiteral("0%");
  }
  if (column == kDownloadId) return QString::fromStdString(row.fileId);
  if (column == kDownloadSpeed) return l ? QString::fromStdString(speedText(l->sinceLast, m_liveMs)) : QString();
  return {};
}

QVariant QueueModel::summaryData(std::uint64_t tree, int column, int role) const {
  const auto it = m_groups.find(tree);
  if (it == m_groups.end()) return {};
  const Group& g = it->second;
  const TreeSummary& s = g.summary;
  const bool upload = m_flavour == Flavour::Upload;
  const int progressColumn = upload ? kUploadQueueProgress.index : kDownloadProgress.index;

  // The tree's running rows at the last tick.
  std::int64_t liveDone = 0, moved = 0;
  for (const auto& [id, l] : m_live)
    if (const QueueRow* r = rowOf(id); r && r->tree == tree && r->state == RowState::Running) {
      liveDone += l.done;
      moved += l.sinceLast;
    }
  const int count = static_cast<int>(g.rows.size());
  QString state;
  if (g.running > 0) state = upload ? QStringLiteral("上传中") : QString();
  else if (g.failed > 0) state = QStringLiteral("失败");
  else if (g.waiting > 0 || (m_waiting && g.queued > 0)) state = QStringLiteral("等待重试");
  else if (g.held == count && count > 0) state = QStringLiteral("暂停");
  // A folder of it is still being read or made: its count is not final.
  if (state.isEmpty() && s.expanding) state = QStringLiteral("准备中");
  const int percent = s.bytes > 0 ? percentOf(s.bytesDone + liveDone, s.bytes) : percentOf(s.filesDone, s.files);
  const QString files = QStringLiteral("%1/%2").arg(s.filesDone).arg(s.files);

  switch (role) {
    case RowIdRole: return QVariant::fromValue<qulonglong>(0);
    case TreeRole: return QVariant::fromValue<qulonglong>(tree);
    case PercentRole:
      return column == progressColumn && (g.running > 0 || s.filesDone > 0) ? QVariant(percent) : QVariant();
    case Qt::DecorationRole:
      if (column != 0) return {};
      if (g.failed > 0) return stateIcon(QStyle::SP_MessageBoxWarning);
      if (g.held == count && count > 0) return stateIcon(QStyle::SP_MediaPause);
      if (g.waiting > 0) return stateIcon(QStyle::SP_BrowserReload);
      return stateIcon(QStyle::SP_DirIcon);
    case Qt::ToolTipRole: {
      if (g.failed == 0) return {};
      const QueueRow* first = rowOf(g.firstFailed);
      QString tip = QStringLiteral("%1个文件失败").arg(g.failed);
      if (first && !first->reason.empty()) tip += QStringLiteral("：") + app::fromGbk(first->reason);
      return tip;
    }
    case Qt::DisplayRole: break;
    default: return {};
  }

  const int nameColumn = upload ? kUploadQueuePath.index : kDownloadName.index;
  const int sizeColumn = upload ? kUploadQueueSize.index : kDownloadSize.index;
  const int speedColumn = upload ? kUploadQueueSpeed.index : kDownloadSpeed.index;
  if (column == nameColumn) {
    if (!s.name.empty()) return app::fromGbk(s.name);
    // No summary from the core yet: the first part of a row's path.
    const QueueRow* first = g.rows.empty() ? nullptr : rowOf(g.rows.front());
    return first ? app::fromGbk(first->treePath).section(u'/', 0, 0) : QString();
  }
  if (column == sizeColumn) return s.bytes > 0 ? sizeText(s.bytes) : QString();
  if (column == progressColumn) {
    // Download: the state stands after the count (the column holds it for rows too).
    if (!upload && !state.isEmpty()) return files + u' ' + state;
    return files;
  }
  if (column == speedColumn) {
    if (g.running == 0) return QString();
    const QString speed = QString::fromStdString(speedText(moved, m_liveMs));
    return upload ? speed + QStringLiteral("/s") : speed;
  }
  if (upload && column == kUploadQueueState) return state;
  return QString();
}

}  // namespace tarnwick::transfer::qt
