// The queue list's model over a real queue in memory, shown in a QTreeView:
// events only mark it dirty and a burst is one refresh after the coalescing
// interval; a refresh of many rows keeps the selection (by row id) and the
// scroll position and never resets; a tree's rows fold under one summary
// line that shows files done of total and stands for all its rows.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <set>

#include "app/names/main_window.h"
#include "app/qt/controls.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/queue_view.h"
#include "transfer/transfer_queue.h"

using namespace tarnwick;
using transfer::QueueRow;
using transfer::RowState;
using transfer::qt::QueueModel;

namespace {

// Rows that end at once: Done, or Failed when named so.
class MemoryQueue : public transfer::TransferQueue {
 public:
  ~MemoryQueue() override { stop(); }
  // A tree's first row names the tree by its own id (id = tree).
  std::uint64_t add(const std::string& name, std::uint64_t tree = 0, const std::string& treePath = {},
                    std::uint64_t id = 0) {
    QueueRow r;
    r.id = id ? id : newRowId();
    r.name = name;
    r.localPath = "/data/" + name;
    r.size = 1000;
    r.tree = tree;
    r.treePath = treePath;
    addRows({r});
    return r.id;
  }

 protected:
  StepResult runRow(QueueRow& row) override {
    if (row.name.starts_with("bad")) return {Step::Failed, "refused"};
    return {Step::Done, {}};
  }
};

std::vector<std::uint64_t> shownIds(const QAbstractItemModel& m) {
  std::vector<std::uint64_t> ids;
  for (int i = 0; i < m.rowCount(); ++i) ids.push_back(m.index(i, 0).data(QueueModel::RowIdRole).toULongLong());
  return ids;
}

std::vector<std::uint64_t> queuedIds(const transfer::TransferQueue& q) {
  std::vector<std::uint64_t> ids;
  for (const QueueRow& r : q.rows()) ids.push_back(r.id);
  return ids;
}

}  // namespace

class QueueModelTest : public QObject {
  Q_OBJECT

 private slots:
  // 10,000 rows; one row selected in the middle and scrolled to. Each step
  // changes the queue as the scheduler or the menus do; the list follows
  // within the coalescing interval, in the queue's order, with the same row
  // selected and, while rows only change state, the same scroll position.
  void manyRowsFollowTheQueueAndKeepTheSelection() {
    MemoryQueue queue;
    std::vector<std::uint64_t> ids;
    for (int i = 0; i < 10000; ++i) ids.push_back(queue.add("f" + std::to_string(i)));
    QueueModel model(queue, QueueModel::Flavour::Upload);
    transfer::qt::listenOnGui(queue, &model, [&](const transfer::QueueEvent&) { model.markDirty(); });
    QTreeView view;
    view.resize(600, 300);
    transfer::qt::showQueue(&view, &model, app::names::main::kUploadQueueProgress);
    view.show();
    model.refresh();
    QCOMPARE(model.rowCount(), 10000);

    const std::uint64_t picked = ids[5000];
    view.selectionModel()->select(model.indexOfRow(picked),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.scrollTo(model.indexOfRow(picked), QAbstractItemView::PositionAtCenter);
    QCoreApplication::processEvents();
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy refreshes(&model, &QueueModel::refreshed);
    const int stateColumn = app::names::main::kUploadQueueState.index;
    const auto state = [&](std::uint64_t id) { return model.indexOfRow(id, stateColumn).data().toString(); };

    struct Step {
      const char* what;
      std::function<void()> change;
      std::function<bool()> shown;  // the list shows the change
      bool scrollKept;              // rows above the selection stayed as they were
    };
    const Step steps[] = {
        {"one row held", [&] { queue.hold({ids[7000]}); }, [&] { return state(ids[7000]) == "暂停"; }, true},
        {"a burst of holds and resumes",
         [&] {
           for (int i = 0; i < 200; ++i) queue.hold({ids[6000 + i]});
           for (int i = 0; i < 200; i += 2) queue.resume({ids[6000 + i]});
         },
         [&] { return state(ids[6001]) == "暂停" && state(ids[6000]).isEmpty(); }, true},
        {"rows above removed", [&] { queue.remove({ids[10], ids[11], ids[4000]}); },
         [&] { return model.rowCount() == 9997; }, false},
        {"rows appended",
         [&] {
           queue.add("late1");
           queue.add("late2");
         },
         [&] { return model.rowCount() == 9999; }, true},
        {"the last row moved to the top",
         [&] { queue.move(ids[9999], 0); },
         [&] { return model.index(0, 0).data(QueueModel::RowIdRole).toULongLong() == ids[9999]; }, false},
        {"every row held", [&] { queue.hold(queuedIds(queue)); }, [&] { return state(ids[0]) == "暂停"; }, true},
    };
    for (const Step& step : steps) {
      const int scroll = view.verticalScrollBar()->value();
      const int before = refreshes.size();
      step.change();
      QCoreApplication::processEvents();  // the events arrive; the list waits for the interval
      QVERIFY2(!step.shown(), step.what);
      QElapsedTimer shownAfter;
      shownAfter.start();
      QTRY_VERIFY2_WITH_TIMEOUT(step.shown(), step.what, 2000);
      QVERIFY2(shownAfter.elapsed() < 1000, step.what);
      QTest::qWait(3 * QueueModel::kRefreshMs);
      // A burst is one refresh (a slow machine may split it in two), not one per event.
      QVERIFY2(refreshes.size() - before <= 2, step.what);
      QVERIFY2(shownIds(model) == queuedIds(queue), step.what);
      QVERIFY2(transfer::qt::selectedIds(&view) == std::vector<std::uint64_t>{picked}, step.what);
      if (step.scrollKept) QCOMPARE(view.verticalScrollBar()->value(), scroll);
    }
    QCOMPARE(resets.size(), 0);
  }

  // A tree's rows under one summary line in the place of its first row:
  // selecting the line stands for all its rows; once the run is over the
  // line counts the files done of the tree's total and shows the failure.
  void treeRowsFoldUnderASummaryLine() {
    MemoryQueue queue;
    const std::uint64_t single = queue.add("alone");
    const auto gbk = [](const char* utf8) { return app::toGbk(QString::fromUtf8(utf8)); };
    const std::uint64_t head = transfer::TransferQueue::newRowId();
    queue.add("a.jpg", head, gbk("照片/a.jpg"), head);
    const std::uint64_t b = queue.add("b.jpg", head, gbk("照片/b.jpg"));
    const std::uint64_t bad = queue.add("bad.jpg", head, gbk("照片/2024/bad.jpg"));
    const std::uint64_t d = queue.add("d.jpg", head, gbk("照片/2024/d.jpg"));
    const std::uint64_t last = queue.add("last");
    QueueModel model(queue, QueueModel::Flavour::Download);
    transfer::qt::listenOnGui(queue, &model, [&](const transfer::QueueEvent&) { model.markDirty(); });
    QTreeView view;
    transfer::qt::showQueue(&view, &model, app::names::main::kDownloadProgress);
    view.show();
    model.refresh();

    QCOMPARE(model.rowCount(), 3);
    const QModelIndex summary = model.index(1, 0);
    QCOMPARE(summary.data(QueueModel::TreeRole).toULongLong(), head);
    QCOMPARE(model.rowCount(summary), 4);
    QVERIFY(!view.isExpanded(summary));
    QCOMPARE(model.index(2, 0, summary).data().toString(), QStringLiteral("照片/2024/bad.jpg"));
    view.selectionModel()->select(summary, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(transfer::qt::selectedIds(&view), (std::vector<std::uint64_t>{head, b, bad, d, last}));

    queue.hold({single});
    queue.start();
    QVERIFY(queue.waitIdle(5000));
    const int progress = app::names::main::kDownloadProgress.index;
    QTRY_COMPARE(model.rowCount(), 2);
    const QModelIndex tree = model.indexOfTree(head);
    QCOMPARE(tree.row(), 1);
    QCOMPARE(model.rowCount(tree), 1);
    QCOMPARE(model.index(0, 0, tree).data(QueueModel::RowIdRole).toULongLong(), bad);
    QCOMPARE(model.index(0, progress, tree).data().toString(), QStringLiteral("失败"));
    QCOMPARE(tree.siblingAtColumn(progress).data().toString(), QStringLiteral("3/4 失败"));
    QVERIFY(tree.data(Qt::ToolTipRole).toString().contains(QStringLiteral("refused")));
    QCOMPARE(model.index(0, progress).data().toString(), QStringLiteral("暂停"));
  }
};

QTEST_MAIN(QueueModelTest)
#include "queue_model_test.moc"
