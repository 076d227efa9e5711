// Times QueueModel::refresh() over a queue of N rows (default 10,000) in
// memory, shown in a QTreeView (offscreen) with one row selected: for each
// kind of change (none, one row's state, every row's state, rows removed,
// rows added, a row moved to the top), flat and as one tree expanded. Prints
// the median and the longest of the runs in milliseconds, and the time the
// queue itself took to hand out its rows (rows(), the floor of a refresh).
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "transfer/qt/queue_model.h"
#include "transfer/transfer_queue.h"

using namespace tarnwick;
using transfer::QueueRow;

namespace {

constexpr int kRuns = 15;

class MemoryQueue : public transfer::TransferQueue {
 public:
  ~MemoryQueue() override { stop(); }
  std::uint64_t add(const std::string& name, std::uint64_t tree, std::uint64_t id = 0) {
    QueueRow r;
    r.id = id ? id : newRowId();
    r.name = name;
    r.localPath = "/home/someone/documents/photos/2024/" + name;
    r.treePath = "photos/2024/" + name;
    r.size = 123456;
    r.tree = tree;
    addRows({r});
    return r.id;
  }

 protected:
  StepResult runRow(QueueRow&) override { return {Step::Done, {}}; }
};

struct Figures {
  double median = 0, worst = 0;
};

Figures timed(const std::function<void()>& change, transfer::qt::QueueModel& model) {
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    change();
    QElapsedTimer clock;
    clock.start();
    model.refresh();
    ms.push_back(clock.nsecsElapsed() / 1e6);
    QCoreApplication::processEvents();  // the view repaints (not timed)
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

void run(int rows, bool tree) {
  MemoryQueue queue;
  std::vector<std::uint64_t> ids;
  const std::uint64_t head = tree ? transfer::TransferQueue::newRowId() : 0;
  for (int i = 0; i < rows; ++i) ids.push_back(queue.add("file-" + std::to_string(i) + ".jpg", head, i ? 0 : head));
  transfer::qt::QueueModel model(queue, transfer::qt::QueueModel::Flavour::Upload);
  QTreeView view;
  view.resize(600, 300);
  view.setUniformRowHeights(true);
  view.setModel(&model);
  view.show();
  QElapsedTimer first;
  first.start();
  model.refresh();
  const double fill = first.nsecsElapsed() / 1e6;
  const QModelIndex top = tree ? model.index(0, 0) : QModelIndex();
  if (tree) view.expand(top);
  view.selectionModel()->select(model.indexOfRow(ids[rows / 2]),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view.scrollTo(model.indexOfRow(ids[rows / 2]));
  QCoreApplication::processEvents();

  QElapsedTimer copy;
  copy.start();
  for (int i = 0; i < kRuns; ++i) (void)queue.rows();
  const double rowsMs = copy.nsecsElapsed() / 1e6 / kRuns;

  std::uint64_t next = 0;
  bool held = false;
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"nothing changed", [] {}},
      {"one row's state", [&] { held ? queue.resume({ids[rows / 3]}) : queue.hold({ids[rows / 3]}), held = !held; }},
      {"every row's state",
       [&] {
         std::vector<std::uint64_t> all;
         for (const QueueRow& r : queue.rows()) all.push_back(r.id);
         held ? queue.resume(all) : queue.hold(all);
         held = !held;
       }},
      {"10 rows removed",
       [&] {
         std::vector<std::uint64_t> gone(ids.begin() + 100 + next * 10, ids.begin() + 110 + next * 10);
         ++next;
         queue.remove(gone);
       }},
      {"10 rows added",
       [&] {
         for (int i = 0; i < 10; ++i) queue.add("late.jpg", head);
       }},
      {"last row moved to the top", [&] { queue.move(queue.rows().back().id, tree ? 1 : 0); }},
  };
  std::printf("%s, %d rows: first fill %.2f ms; rows() alone %.2f ms\n", tree ? "one tree (expanded)" : "flat", rows,
              fill, rowsMs);
  for (const auto& [what, change] : changes) {
    const Figures f = timed(change, model);
    std::printf("  refresh, %-26s median %7.2f ms  longest %7.2f ms\n", what, f.median, f.worst);
  }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
  run(rows, false);
  run(rows, true);
  return 0;
}
