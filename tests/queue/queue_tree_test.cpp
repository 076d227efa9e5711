// Trees in the scheduler: rows that wait for their folder row, a walk whose
// rows take its place in one commit, what a failed or removed folder row
// does to the rows inside it, and runs of chosen rows only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "transfer/queue_store.h"
#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {
namespace {

// Folder rows are made (remoteId = 100 + the order they ran) unless their
// name is in failFolders; a walk row spawns `spawn` file rows; file rows
// record the folder they were given.
class TreeQueue : public TransferQueue {
 public:
  TreeQueue() {
    QueueOptions o;
    o.reconnectDelaysMs = {50};
    setOptions(o);
    setMaxActive(3);
  }
  ~TreeQueue() override { stop(); }
  using TransferQueue::addRows;
  using TransferQueue::newRowId;

  std::mutex m;
  std::set<std::string> failFolders;
  int spawn = 0;
  bool failWalk = false;  // the walk breaks off after it found rows
  std::vector<std::string> started;
  std::map<std::string, std::int32_t> folderOf;  // file name -> folderId it ran with

 protected:
  StepResult runRow(QueueRow& row) override {
    std::lock_guard lock(m);
    started.push_back(row.name);
    if (row.kind == RowKind::MakeFolder) {
      if (failFolders.count(row.name)) return {Step::Failed, "refused"};
      row.remoteId = 100 + static_cast<std::int64_t>(started.size());
      return {Step::Done, {}};
    }
    if (row.kind == RowKind::ExpandFolder) {
      std::vector<QueueRow> rows;
      for (int i = 0; i < spawn; ++i) {
        QueueRow r;
        r.name = "spawned" + std::to_string(i);
        r.fileId = std::to_string(i + 1);
        r.tree = row.tree;
        r.size = 10;
        r.state = RowState::Failed;  // they stay as the walk left them: the store is what is checked
        rows.push_back(r);
      }
      replaceWhenDone(std::move(rows));
      if (failWalk) return {Step::Failed, "a page was missing"};  // half-way: none of its rows
      return {Step::Done, {}};
    }
    folderOf[row.name] = row.folderId.value_or(-1);
    return {Step::Done, {}};
  }
};

QueueRow folderRow(TreeQueue& q, const std::string& name, std::uint64_t after, std::uint64_t tree) {
  QueueRow r;
  r.id = q.newRowId();
  r.kind = RowKind::MakeFolder;
  r.name = name;
  r.after = after;
  r.tree = tree ? tree : r.id;
  if (!after) r.folderId = 7;
  return r;
}

QueueRow fileRow(const std::string& name, std::uint64_t after, std::uint64_t tree) {
  QueueRow r;
  r.name = name;
  r.localPath = "/tmp/" + name;
  r.after = after;
  r.tree = tree;
  r.size = 5;
  return r;
}

// top/ a  top/sub/ b  top/sub/deeper/ c
struct Tree {
  std::uint64_t top = 0, sub = 0, deeper = 0;
};
Tree addTree(TreeQueue& q) {
  Tree t;
  QueueRow top = folderRow(q, "top", 0, 0);
  QueueRow sub = folderRow(q, "sub", top.id, top.id);
  QueueRow deeper = folderRow(q, "deeper", sub.id, top.id);
  t = {top.id, sub.id, deeper.id};
  // Files listed before their folders: they must still wait for them.
  q.addRows({fileRow("c", deeper.id, top.id), fileRow("b", sub.id, top.id), top, fileRow("a", top.id, top.id), sub,
             deeper});
  return t;
}

TEST(QueueTree, FilesWaitForTheirFolderAndGoIntoIt) {
  TreeQueue q;
  addTree(q);
  q.start();
  ASSERT_TRUE(q.waitIdle(5000));
  EXPECT_TRUE(q.rows().empty());
  // Each file ran with the id its own folder row was given.
  std::map<std::string, std::int64_t> made;
  for (const QueueRow& r : q.finished())
    if (r.kind == RowKind::MakeFolder) made[r.name] = r.remoteId;
  EXPECT_EQ(q.folderOf["a"], made["top"]);
  EXPECT_EQ(q.folderOf["b"], made["sub"]);
  EXPECT_EQ(q.folderOf["c"], made["deeper"]);
  const auto trees = q.trees();
  ASSERT_EQ(trees.size(), 1u);
  EXPECT_EQ(trees[0].files, 3);
  EXPECT_EQ(trees[0].filesDone, 3);
  EXPECT_EQ(trees[0].bytesDone, 15);
  EXPECT_EQ(q.runCounts().done, 6);
}

TEST(QueueTree, AFailedFolderFailsWhatIsInsideAndARetryOfItBringsThemBack) {
  TreeQueue q;
  q.failFolders = {"sub"};
  const Tree t = addTree(q);
  q.start();
  ASSERT_TRUE(q.waitIdle(5000));
  std::map<std::string, QueueRow> left;
  for (const QueueRow& r : q.rows()) left[r.name] = r;
  ASSERT_EQ(left.size(), 4u);  // sub, deeper, b, c: a went into top
  for (const char* name : {"deeper", "b", "c"}) {
    EXPECT_EQ(left[name].state, RowState::Failed) << name;
    EXPECT_NE(left[name].reason.find("refused"), std::string::npos) << name;
  }
  {
    std::lock_guard lock(q.m);
    q.failFolders.clear();
  }
  q.startRows({t.sub});
  ASSERT_TRUE(q.waitIdle(5000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_GT(q.folderOf["c"], 100);
}

TEST(QueueTree, RemovingAFolderRowRemovesEverythingInside) {
  TreeQueue q;
  const Tree t = addTree(q);
  EXPECT_TRUE(q.remove({t.sub}));
  std::set<std::string> left;
  for (const QueueRow& r : q.rows()) left.insert(r.name);
  EXPECT_EQ(left, (std::set<std::string>{"top", "a"}));
}

TEST(QueueTree, StartRowsRunsOnlyTheChosenRowsWhileIdle) {
  TreeQueue q;
  QueueRow other = fileRow("other", 0, 0);
  other.state = RowState::Failed;
  QueueRow chosen = fileRow("chosen", 0, 0);
  chosen.id = q.newRowId();
  chosen.state = RowState::Failed;
  q.addRows({other, chosen});
  q.hold({chosen.id});
  q.startRows({chosen.id});
  ASSERT_TRUE(q.waitIdle(5000));
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_EQ(q.rows()[0].name, "other");
  EXPECT_EQ(q.rows()[0].state, RowState::Failed);
}

class TreeStore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("tarnwick-tree-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    store = QueueStore::open((dir / "queues.db").string());
    ASSERT_TRUE(store);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
  std::shared_ptr<QueueStore> store;
};

TEST_F(TreeStore, AWalkIsReplacedByItsRowsInOneCommitOrNotAtAll) {
  struct Case {
    bool failWalk;
    std::size_t rowsAfterRestart;
  } cases[] = {{false, 50}, {true, 1}};
  for (const Case& c : cases) {
    const std::string account = c.failWalk ? "stopped" : "walked";
    std::uint64_t walk = 0;
    {
      TreeQueue q;
      q.switchAccount(account, store, "download");
      q.spawn = 50;
      q.failWalk = c.failWalk;
      QueueRow before = fileRow("before", 0, 0), after = fileRow("after", 0, 0);
      before.fileId = "1";
      after.fileId = "2";
      QueueRow w;
      w.id = q.newRowId();
      w.kind = RowKind::ExpandFolder;
      w.fileId = "5";
      w.name = "walked";
      w.tree = w.id;
      walk = w.id;
      q.addRows({before, w, after});
      q.hold({q.rows()[0].id, q.rows()[2].id});
      q.startRows({walk});
      ASSERT_TRUE(q.waitIdle(5000));
    }
    TreeQueue again;  // as after a restart: only what the store holds
    again.switchAccount(account, store, "download");
    const auto rows = again.rows();
    ASSERT_EQ(rows.size(), c.rowsAfterRestart + 2) << account << ": " << ::testing::PrintToString(again.rejectedRows());
    EXPECT_EQ(rows.front().name, "before");
    EXPECT_EQ(rows.back().name, "after");
    if (!c.failWalk) {
      EXPECT_EQ(rows[1].name, "spawned0");  // in the walk's place
      EXPECT_EQ(rows[1].tree, walk);
    } else {
      EXPECT_EQ(rows[1].id, walk);
    }
  }
}

TEST_F(TreeStore, RowsOfATreeComeBackWaitingForTheirFolderAfterARestart) {
  {
    TreeQueue q;
    q.switchAccount("m", store, "upload");
    addTree(q);
    q.hold({q.rows()[2].id});  // top: nothing runs
    ASSERT_TRUE(q.waitIdle(1000));
  }
  TreeQueue again;
  again.switchAccount("m", store, "upload");
  auto rows = again.rows();
  ASSERT_EQ(rows.size(), 6u);
  std::map<std::string, QueueRow> byName;
  for (const QueueRow& r : rows) byName[r.name] = r;
  EXPECT_EQ(byName["top"].state, RowState::Held);
  EXPECT_EQ(byName["c"].after, byName["deeper"].id);
  EXPECT_EQ(byName["c"].tree, byName["top"].id);
  again.resume({byName["top"].id});
  again.start();
  ASSERT_TRUE(again.waitIdle(5000));
  EXPECT_TRUE(again.rows().empty());
  EXPECT_GT(again.folderOf["c"], 100);
}


TEST_F(TreeStore, ATreesCountsSurviveARestartAndItsRecordGoesWithItsLastRow) {
  const auto summary = [](const TreeQueue& q) {
    const auto trees = q.trees();
    return trees.empty() ? TreeSummary{} : trees.front();
  };
  std::uint64_t top = 0;
  {
    TreeQueue q;
    q.switchAccount("m", store, "upload");
    top = addTree(q).top;
    q.hold({q.rows()[0].id});  // c: a and b arrive, c waits
    q.start();
    ASSERT_TRUE(q.waitIdle(5000));
    ASSERT_EQ(summary(q).filesDone, 2);
  }
  {
    TreeQueue again;  // only what the store holds: c, and what was done before
    again.switchAccount("m", store, "upload");
    ASSERT_EQ(again.rows().size(), 1u);
    const TreeSummary t = summary(again);
    EXPECT_EQ(t.tree, top);
    EXPECT_EQ(t.files, 3);
    EXPECT_EQ(t.filesDone, 2);
    EXPECT_EQ(t.bytesDone, 10);
    EXPECT_GE(t.bytes, t.bytesDone);  // c's size is the queue's to find again
    again.remove({again.rows()[0].id});
    ASSERT_TRUE(again.waitIdle(1000));
  }
  EXPECT_TRUE(store->load("upload", "m").trees.empty());  // nothing of the tree is left
  TreeQueue third;
  third.switchAccount("m", store, "upload");
  EXPECT_TRUE(third.trees().empty());
}

}  // namespace
}  // namespace tarnwick::transfer
