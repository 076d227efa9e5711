// The queue machinery on its own: a queue whose rows follow a script, the
// saved file, and the names of partial files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>

#include "transfer/download_queue.h"
#include "transfer/transfer_queue.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer {
namespace {

// Each run of a row takes the next step of the script (Done when it is used up).
class ScriptedQueue : public TransferQueue {
 public:
  using TransferQueue::Step;
  ScriptedQueue() {
    QueueOptions o;
    o.reconnectDelaysMs = {10, 10};
    o.repeatLast = false;
    o.brokenDelayMs = 10;
    setOptions(o);
  }
  ~ScriptedQueue() override { stop(); }
  std::uint64_t add(const std::string& name) {
    QueueRow r;
    r.name = name;
    return addRow(r);
  }
  std::deque<Step> script;
  std::vector<std::string> ran;  // read once the queue is idle
  std::atomic<int> runs{0};
  bool blockUntilStop = false;

 protected:
  StepResult runRow(QueueRow& row) override {
    ran.push_back(row.name);
    ++runs;
    if (blockUntilStop) {
      while (!stopRequested()) pause(5);
      return {Step::Stopped, {}};
    }
    if (script.empty()) return {Step::Done, {}};
    const Step s = script.front();
    script.pop_front();
    return {s, "why"};
  }
};

std::vector<RowState> states(const TransferQueue& q) {
  std::vector<RowState> out;
  for (const QueueRow& r : q.rows()) out.push_back(r.state);
  return out;
}

TEST(QueueRules, StepsLeadToTheirStates) {
  using S = RowState;
  struct Case {
    const char* what;
    std::vector<ScriptedQueue::Step> script;  // for three rows a, b, c
    std::vector<S> left;                      // unfinished rows afterwards
    std::size_t finished;
  };
  using St = ScriptedQueue::Step;
  const Case cases[] = {
      {"all done", {}, {}, 3},
      {"a failed row stays, the others go on", {St::Failed}, {S::Failed}, 2},
      {"unreachable: the row waits and is tried again", {St::Unreachable, St::Done}, {}, 3},
      {"unreachable beyond the delays: every row waits, none fails",
       {St::Unreachable, St::Unreachable, St::Unreachable},
       {S::Waiting, S::Waiting, S::Waiting},
       0},
      {"broken three times in a row: failed", {St::Broken, St::Broken, St::Broken}, {S::Failed}, 2},
  };
  for (const Case& c : cases) {
    ScriptedQueue q;
    q.add("a");
    q.add("b");
    q.add("c");
    q.script.assign(c.script.begin(), c.script.end());
    q.start();
    ASSERT_TRUE(q.waitIdle(5000)) << c.what;
    EXPECT_EQ(states(q), c.left) << c.what;
    EXPECT_EQ(q.finished().size(), c.finished) << c.what;
    for (const QueueRow& r : q.rows()) {
      if (r.state == S::Failed) {
        EXPECT_EQ(r.reason, "why") << c.what;
      }
    }
  }
}

TEST(QueueRules, AFailedRowIsTriedAgainAtTheNextStart) {
  ScriptedQueue q;
  q.add("a");
  q.add("b");
  q.script = {ScriptedQueue::Step::Failed};
  q.start();
  ASSERT_TRUE(q.waitIdle(5000));
  ASSERT_EQ(states(q), std::vector<RowState>{RowState::Failed});
  q.start();
  ASSERT_TRUE(q.waitIdle(5000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(q.ran, (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(q.finished().front().name, "a");  // newest first
}

TEST(QueueRules, StopPutsTheRunningRowBackAndTheRunningRowCannotBeRemoved) {
  ScriptedQueue q;
  const auto a = q.add("a");
  const auto b = q.add("b");
  q.blockUntilStop = true;
  q.start();
  for (int i = 0; i < 500 && q.runs == 0; ++i) usleep(2000);
  ASSERT_EQ(q.runs, 1);
  EXPECT_FALSE(q.remove({a}));  // running: refused
  EXPECT_TRUE(q.remove({b}));
  q.stop();
  EXPECT_FALSE(q.running());
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_EQ(q.rows()[0].id, a);
  EXPECT_EQ(q.rows()[0].state, RowState::Queued);
}

TEST(QueueRules, RowsArePutAwayPerMemberAndComeBackAsSaved) {
  const std::string dir = "/tmp/queue-rules-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/queues.db";
  {
    auto store = QueueStore::open(file);
    ASSERT_TRUE(store);
    UploadQueue q;
    q.switchAccount("demo", store, "upload");
    q.add(file);  // a file that exists: the store itself
    q.add(dir + "/gone.bin");
    // A name GBK cannot hold would reach the service cut: never queued.
    EXPECT_EQ(q.add(dir + "/a\xf0\x9f\x98\x80.txt"), 0u);
    EXPECT_EQ(q.rows().size(), 2u);
    q.switchAccount("alice", store, "upload");  // the next member sees none of them
    EXPECT_TRUE(q.rows().empty());
    q.switchAccount("demo", store, "upload");
    ASSERT_EQ(q.rows().size(), 2u);
    EXPECT_EQ(q.rows()[0].state, RowState::Queued);
    EXPECT_EQ(q.rows()[0].account, "demo");
    EXPECT_EQ(q.rows()[1].state, RowState::Failed);  // its local file is gone
    EXPECT_FALSE(q.rows()[1].reason.empty());
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  std::filesystem::remove_all(dir);
}

// Every byte of every field reads back as it was written.
TEST(QueueRules, SavedRowsRoundTrip) {
  QueueRow r;
  r.id = 0x7123456789abcdefULL;
  r.account = "de\tmo=%\r\n";
  r.state = RowState::Failed;
  r.reason = std::string("\xb2\xe2\x7c\x5c", 4);  // GBK with "|" and "\" trail bytes
  r.localPath = "/tmp/a b/\xe6\x96\x87.bin";
  r.name = "x=y";
  r.folderId = -7;
  r.fileId = "42";
  r.sizeText = "1.5KB";
  r.saveFolder = "/home/u/";
  r.partial = {"/home/u/x.42-1.tnwkpart", 12345, 1700000000123456789LL, 99999};
  r.pending = Pending::Registration;
  r.newestIdBefore = 41;
  r.sentAtMs = 1700000000123;
  r.ftpHost = "127.0.0.1:2121";
  r.ftpUser = "u\tser";
  r.rule = NameRule::Rename;
  r.bodyComplete = true;
  r.brokenTries = 2;
  auto back = decodeRow(encodeRow(r));
  ASSERT_TRUE(back);
  EXPECT_EQ(encodeRow(*back), encodeRow(r));
  EXPECT_EQ(back->reason, r.reason);
  EXPECT_EQ(back->partial, r.partial);
  EXPECT_EQ(back->folderId, r.folderId);
  for (const char* bad : {"", "id=0\tstate=queued", "id=1\tstate=nonsense", "id=1\tstate=queued\tname=%zz",
                          "id=1\tstate=queued\tunregistered=7", "id=1\tstate=queued\trule=5"})
    EXPECT_FALSE(decodeRow(bad)) << bad;
}

TEST(QueueRules, PartialFilesAreTheRowsOwnAndFitAName) {
  std::set<std::string> names;
  for (std::uint64_t row : {1ULL, 2ULL})
    for (const char* file : {"7", "8"}) names.insert(partialPathFor("/d/", "same.bin", file, row));
  EXPECT_EQ(names.size(), 4u);  // two rows of one name never share a partial file
  std::string longName;
  for (int i = 0; i < 120; ++i) longName += "\xe6\x96\x87";  // 360 bytes of CJK
  const std::string p = partialPathFor("/d/", longName, "123", 9);
  const std::string base = p.substr(3);
  EXPECT_LE(base.size(), 255u);
  EXPECT_EQ((base.size() - std::string(".123-0000000000000009.tnwkpart").size()) % 3, 0u);  // whole characters
  // The whole row id: rows whose ids share their low 32 bits keep apart.
  EXPECT_NE(partialPathFor("/d/", "a", "1", 0x100000001ULL), partialPathFor("/d/", "a", "1", 0x200000001ULL));
}

}  // namespace
}  // namespace tarnwick::transfer
