// The scheduler on its own: rows that block until the test lets them go, so
// the cap, the exclusive keys, the gate, holds and the saved order can be
// watched while several rows run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {
namespace {

using namespace std::chrono_literals;

struct StepName : TransferQueue {
  using TransferQueue::Step;
};
using Step = StepName::Step;

// What one row does each time it runs.
struct Plan {
  std::deque<Step> steps;  // one per run; Done when used up
  std::string key;                        // exclusive key
  bool keeps = false;                     // keeps its key while not running
  bool pending = false;                   // marks a registration pending before it blocks
};

class SlotQueue : public TransferQueue {
 public:
  using TransferQueue::Step;
  explicit SlotQueue(int cap = 1) {
    QueueOptions o;
    o.reconnectDelaysMs = {60};
    o.repeatLast = true;
    setOptions(o);
    setMaxActive(cap);
  }
  ~SlotQueue() override { stop(); }
  std::uint64_t add(const std::string& name, Plan plan = {}) {
    {
      std::lock_guard lock(m);
      plans[name] = std::move(plan);
    }
    QueueRow r;
    r.name = name;
    r.localPath = "/tmp/" + name;
    return addRow(r);
  }
  // Lets the running rows (or every row from now on) end.
  void release(bool all = false) {
    std::lock_guard lock(m);
    ++generation;
    releaseAll = all;
    cv.notify_all();
  }
  bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = 3s) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, limit, pred);
  }
  RowState stateOf(std::uint64_t id) const {
    auto r = row(id);
    return r ? r->state : RowState::Done;
  }

  std::mutex m;
  std::condition_variable cv;
  std::map<std::string, Plan> plans;
  std::vector<std::string> started;
  std::multiset<std::string> activeKeys;
  int running = 0, peak = 0;
  bool keyOverlap = false;
  int generation = 0;
  bool releaseAll = false;
  std::vector<std::string> heldHook, stoppedHook, forgotten;

 protected:
  StepResult runRow(QueueRow& row) override {
    Plan* plan = nullptr;
    int mine = 0;  // the release this row waits for
    {
      std::lock_guard lock(m);
      mine = generation;
      plan = &plans[row.name];
      started.push_back(row.name);
      peak = std::max(peak, ++running);
      if (!plan->key.empty()) {
        keyOverlap = keyOverlap || activeKeys.count(plan->key) > 0;
        activeKeys.insert(plan->key);
      }
      cv.notify_all();
    }
    if (plan->pending) {
      row.pending = Pending::Registration;
      updateRowNow(row);
    }
    {
      std::unique_lock lock(m);
      while (!releaseAll && generation == mine && !(stopRequested() && !plan->pending))
        cv.wait_for(lock, 2ms);
    }
    Step step = Step::Done;
    {
      std::lock_guard lock(m);
      --running;
      if (!plan->key.empty()) activeKeys.erase(activeKeys.find(plan->key));
      if (!plan->steps.empty()) {
        step = plan->steps.front();
        plan->steps.pop_front();
      }
      cv.notify_all();
    }
    if (plan->pending) {
      row.pending = Pending::None;
      updateRow(row);
    }
    if (stopRequested() && !plan->pending) step = Step::Stopped;
    return {step, step == Step::Done ? "" : "why"};
  }
  std::string exclusiveKey(const QueueRow& row) const override {
    std::lock_guard lock(const_cast<std::mutex&>(m));
    auto it = plans.find(row.name);
    return it == plans.end() ? "" : it->second.key;
  }
  bool keepsKey(const QueueRow& row) const override {
    std::lock_guard lock(const_cast<std::mutex&>(m));
    auto it = plans.find(row.name);
    return it != plans.end() && it->second.keeps;
  }
  void heldRow(QueueRow& row) override {
    std::lock_guard lock(m);
    heldHook.push_back(row.name);
  }
  void stoppedRow(QueueRow& row) override {
    std::lock_guard lock(m);
    stoppedHook.push_back(row.name);
  }
  void forgetRow(const QueueRow& row) override {
    std::lock_guard lock(m);
    forgotten.push_back(row.name);
  }
};

TEST(QueueScheduler, TheCapIsNeverExceeded) {
  struct Case {
    int cap;
    int rows;
  };
  for (const Case c : {Case{1, 4}, Case{3, 7}, Case{10, 12}}) {
    SlotQueue q(c.cap);
    for (int i = 0; i < c.rows; ++i) q.add("r" + std::to_string(i));
    q.start();
    // Every slot fills before any row is let go.
    ASSERT_TRUE(q.waitFor([&] { return q.running == std::min(c.cap, c.rows); })) << c.cap;
    usleep(30000);
    EXPECT_EQ(q.running, std::min(c.cap, c.rows)) << c.cap;
    q.release(true);
    ASSERT_TRUE(q.waitIdle(5000));
    EXPECT_EQ(q.peak, std::min(c.cap, c.rows)) << c.cap;
    EXPECT_EQ(q.finished().size(), static_cast<std::size_t>(c.rows));
  }
}

TEST(QueueScheduler, ALowerCapLetsRunningRowsFinishAndAHigherOneStartsMore) {
  SlotQueue q(3);
  for (int i = 0; i < 8; ++i) q.add("r" + std::to_string(i));
  q.start();
  ASSERT_TRUE(q.waitFor([&] { return q.running == 3; }));
  q.setMaxActive(1);
  usleep(30000);
  EXPECT_EQ(q.running, 3);  // none is cut
  EXPECT_EQ(q.started.size(), 3u);
  q.release();
  ASSERT_TRUE(q.waitFor([&] { return q.started.size() == 4 && q.running == 1; }));
  usleep(30000);
  EXPECT_EQ(q.running, 1);  // under the new cap: one at a time
  EXPECT_EQ(q.started.size(), 4u);
  q.setMaxActive(3);
  ASSERT_TRUE(q.waitFor([&] { return q.running == 3; }));
  // In list order (the last two started together).
  EXPECT_EQ(std::set<std::string>(q.started.begin() + 4, q.started.end()), (std::set<std::string>{"r4", "r5"}));
  q.release(true);
  ASSERT_TRUE(q.waitIdle(5000));
  EXPECT_EQ(q.finished().size(), 8u);
}

TEST(QueueScheduler, RowsWithOneKeyNeverRunTogether) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, Plan>> rows;
    int peak;                   // rows running at once
    std::size_t finished;
  };
  const Case cases[] = {
      {"one key: one at a time", {{"a", {{}, "k"}}, {"b", {{}, "k"}}, {"c", {{}, "k"}}}, 1, 3},
      {"other keys and none run beside it", {{"a", {{}, "k"}}, {"b", {{}, "k"}}, {"c", {{}, "j"}}, {"d", {}}}, 3, 4},
      {"a row keeping its key holds back the others of that key",
       {{"a", {{Step::Failed}, "k", true}}, {"b", {{}, "k"}}, {"c", {{}, "j"}}},
       2,
       1},
  };
  for (const Case& c : cases) {
    SlotQueue q(4);
    for (const auto& [name, plan] : c.rows) q.add(name, plan);
    q.start();
    ASSERT_TRUE(q.waitFor([&] { return q.running == c.peak; })) << c.what;
    usleep(20000);
    q.release(true);
    ASSERT_TRUE(q.waitIdle(5000)) << c.what;
    EXPECT_FALSE(q.keyOverlap) << c.what;
    EXPECT_EQ(q.peak, c.peak) << c.what;
    EXPECT_EQ(q.finished().size(), c.finished) << c.what;
  }
}

TEST(QueueScheduler, TheGatePutsEverySlotIntoWaitingAndOneProbeReopensIt) {
  using St = SlotQueue::Step;
  struct Case {
    const char* what;
    std::vector<int> delays;
    bool repeat;
    int probesFailing;  // probes that meet the service down too
    std::size_t finished;
  };
  for (const Case& c : {Case{"the service comes back", {150, 30}, true, 2, 4},
                        Case{"the delays are used up", {150, 20}, false, 5, 0}}) {
    SlotQueue q(3);
    QueueOptions o;
    o.reconnectDelaysMs = c.delays;
    o.repeatLast = c.repeat;
    q.setOptions(o);
    std::vector<std::uint64_t> ids;
    for (const char* n : {"a", "b", "c", "d"}) {
      Plan p;
      p.steps.assign(1 + c.probesFailing, St::Unreachable);  // more than it will meet
      ids.push_back(q.add(n, p));
    }
    q.start();
    ASSERT_TRUE(q.waitFor([&] { return q.running == 3; })) << c.what;
    q.release();  // the three running rows meet the service down
    const auto allWait = [&] {
      for (const auto id : {ids[0], ids[1], ids[2]})
        if (q.stateOf(id) != RowState::Waiting) return false;
      return true;
    };
    for (int i = 0; i < 1000 && !allWait(); ++i) usleep(1000);
    ASSERT_TRUE(q.waiting()) << c.what;
    {
      std::lock_guard lock(q.m);
      q.peak = 0;
      q.plans["a"].steps.assign(static_cast<std::size_t>(c.probesFailing), St::Unreachable);  // then through
      for (const char* n : {"b", "c", "d"}) q.plans[n].steps.clear();
    }
    for (const auto id : {ids[0], ids[1], ids[2]}) EXPECT_EQ(q.stateOf(id), RowState::Waiting) << c.what;
    EXPECT_EQ(q.stateOf(ids[3]), RowState::Queued) << c.what;  // never started: no reason to wait
    q.release(true);
    ASSERT_TRUE(q.waitIdle(5000)) << c.what;
    EXPECT_FALSE(q.waiting()) << c.what;
    EXPECT_EQ(q.finished().size(), c.finished) << c.what;
    // While the gate was closed only the probe ran; the first row is the probe.
    EXPECT_EQ(q.started[3], "a") << c.what;
    if (c.finished == 0) {
      for (const QueueRow& r : q.rows()) EXPECT_EQ(r.state, RowState::Waiting) << c.what;
      EXPECT_EQ(q.started.size(), 3u + c.delays.size()) << c.what;  // one probe per delay
      EXPECT_EQ(q.peak, 1) << c.what;
    }
  }
}

TEST(QueueScheduler, AHoldClosesOnlyThatRow) {
  struct Case {
    const char* what;
    bool pending;           // the held row waits for a reply that decides a file
    RowState afterRelease;  // the held row once the rows are let go
  };
  for (const Case& c : {Case{"a transfer is cut at once", false, RowState::Held},
                        Case{"a registration is waited for, then held", true, RowState::Held}}) {
    SlotQueue q(2);
    Plan held;
    held.pending = c.pending;
    held.steps = {SlotQueue::Step::Unreachable};  // what its reply says
    const auto a = q.add("a", held);
    const auto b = q.add("b");
    q.start();
    ASSERT_TRUE(q.waitFor([&] { return q.running == 2; })) << c.what;
    q.hold({a});
    if (!c.pending) {
      ASSERT_TRUE(q.waitFor([&] { return q.running == 1; })) << c.what;
      for (int i = 0; i < 100 && q.stateOf(a) != RowState::Held; ++i) usleep(2000);
      EXPECT_EQ(q.stateOf(a), RowState::Held) << c.what;
      EXPECT_EQ(q.stateOf(b), RowState::Running) << c.what;  // the other slot goes on
    } else {
      usleep(30000);
      EXPECT_EQ(q.running, 2) << c.what;  // not cut during the request
      EXPECT_EQ(q.stateOf(a), RowState::Running) << c.what;
    }
    q.release(true);
    ASSERT_TRUE(q.waitIdle(5000)) << c.what;
    EXPECT_EQ(q.stateOf(a), c.afterRelease) << c.what;
    EXPECT_EQ(q.stateOf(b), RowState::Done) << c.what;
    EXPECT_EQ(q.heldHook, std::vector<std::string>(c.pending ? 0 : 1, "a")) << c.what;
    EXPECT_TRUE(q.stoppedHook.empty()) << c.what;
    q.resume({a});
    q.start();
    ASSERT_TRUE(q.waitIdle(5000)) << c.what;
    EXPECT_EQ(q.stateOf(a), RowState::Done) << c.what;
  }
}

TEST(QueueScheduler, RemovalDeletesWaitingAndHeldRowsAndRefusesARunningOne) {
  SlotQueue q(2);
  Plan down;
  down.steps.assign(10, SlotQueue::Step::Unreachable);
  const auto x = q.add("x", down);
  const auto y = q.add("y", down);
  const auto held = q.add("held");
  q.hold({held});
  q.start();
  ASSERT_TRUE(q.waitFor([&] { return q.running == 2; }));
  q.release();  // both meet the service down
  ASSERT_TRUE(q.waitFor([&] { return q.running == 0; }));
  for (int i = 0; i < 100 && q.stateOf(y) != RowState::Waiting; ++i) usleep(2000);
  ASSERT_EQ(q.stateOf(y), RowState::Waiting);
  EXPECT_TRUE(q.remove({y, held}));
  EXPECT_FALSE(q.row(y));
  EXPECT_FALSE(q.row(held));
  EXPECT_EQ(q.forgotten, (std::vector<std::string>{"y", "held"}));
  ASSERT_TRUE(q.waitFor([&] { return q.running == 1; }));  // the probe
  EXPECT_FALSE(q.remove({x}));
  EXPECT_EQ(q.stateOf(x), RowState::Running);
  q.stop();
  EXPECT_EQ(q.rows().size(), 1u);
}

TEST(QueueScheduler, HoldsAndOrderSurviveARestart) {
  const std::string dir = "/tmp/queue-scheduler-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  auto store = QueueStore::open(dir + "/queues.db");
  ASSERT_TRUE(store);
  std::vector<std::uint64_t> ids;
  {
    SlotQueue q;
    q.switchAccount("demo", store, "upload");
    for (const char* n : {"a", "b", "c", "d"}) ids.push_back(q.add(n));
    q.hold({ids[1]});
    q.move(ids[3], 0);
    q.move(ids[2], 99);  // clamped: the last
    q.stop();
  }
  SlotQueue next;
  next.switchAccount("demo", QueueStore::open(dir + "/queues.db"), "upload");
  std::vector<std::pair<std::uint64_t, RowState>> got;
  for (const QueueRow& r : next.rows()) got.emplace_back(r.id, r.state);
  EXPECT_EQ(got, (std::vector<std::pair<std::uint64_t, RowState>>{
                     {ids[3], RowState::Queued}, {ids[0], RowState::Queued}, {ids[1], RowState::Held},
                     {ids[2], RowState::Queued}}));
  next.release(true);
  next.start();
  ASSERT_TRUE(next.waitIdle(5000));
  EXPECT_EQ(next.started, (std::vector<std::string>{"d", "a", "c"}));  // the held row never starts
  std::filesystem::remove_all(dir);
  // The state text of earlier versions.
  auto old = decodeRow("id=1\tstate=paused");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->state, RowState::Queued);
}

}  // namespace
}  // namespace tarnwick::transfer
