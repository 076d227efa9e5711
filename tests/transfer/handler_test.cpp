// The finished handler: through an executor, restarting its own object, and
// blocking on another thread, without a deadlock or an early "not running".

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <thread>

#include "ftp_peer.h"
#include "http_peer.h"
#include "transfer/http_download.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

using namespace std::chrono_literals;

// A stand-in for the GUI thread: runs queued functions in order.
class QueueThread {
public:
  QueueThread() : m_thread([this] { loop(); }) {}
  ~QueueThread() {
    {
      std::lock_guard l(m_mutex);
      m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }
  void post(std::function<void()> f) {
    {
      std::lock_guard l(m_mutex);
      m_queue.push_back(std::move(f));
    }
    m_cv.notify_all();
  }
  std::thread::id id() const { return m_thread.get_id(); }

private:
  void loop() {
    for (;;) {
      std::function<void()> f;
      {
        std::unique_lock l(m_mutex);
        m_cv.wait(l, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) return;
        f = std::move(m_queue.front());
        m_queue.pop_front();
      }
      f();
    }
  }
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
  bool m_stop = false;
  std::thread m_thread;
};

TEST(FinishedHandler, RunsThroughTheExecutorAndMayRestartItsObjectThere) {
  HttpPeer peer({"chain"});
  const std::string dir = makeTempDir("exec");
  QueueThread gui;
  HttpDownload t;
  std::promise<void> bothDone;
  std::atomic<int> ends{0};
  std::atomic<bool> onGui{true}, runningInside{true};
  TransferParams p;
  p.remoteUrl = peer.url();
  p.handlerExecutor = [&gui](std::function<void()> f) { gui.post(std::move(f)); };
  p.onFinished = [&](int code, const TransferReport& r) {
    if (code != kEventThreadEnded) return true;
    if (std::this_thread::get_id() != gui.id()) onGui = false;
    if (!t.isRunning()) runningInside = false;  // still running until the handler returned
    if (++ends == 1) {
      TransferParams next = p;
      next.localFile = dir + "/second";
      EXPECT_TRUE(t.start(next)) << "the handler starts the next file on its own object";
    } else {
      EXPECT_TRUE(r.succeeded) << r.error;
      bothDone.set_value();
    }
    return true;
  };
  p.localFile = dir + "/first";
  ASSERT_TRUE(t.start(p));
  ASSERT_EQ(bothDone.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(onGui);
  EXPECT_TRUE(runningInside);
  for (int i = 0; i < 200 && t.isRunning(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(t.isRunning());
  EXPECT_EQ(readFile(dir + "/first"), "chain");
  EXPECT_EQ(readFile(dir + "/second"), "chain");
  removeTree(dir);
}

TEST(FinishedHandler, AHandlerBlockedOnAnotherThreadDoesNotHangThatThread) {
  HttpPeer peer({"x"});
  const std::string dir = makeTempDir("block");
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  HttpDownload t;
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/f";
  p.closeWaitMs = 300;
  p.onFinished = [&](int code, const TransferReport&) {
    if (code != kEventThreadEnded) return true;
    entered.set_value();
    released.wait();  // as a handler waiting on the GUI thread would
    return true;
  };
  ASSERT_TRUE(t.start(p));
  ASSERT_EQ(entered.get_future().wait_for(10s), std::future_status::ready);
  // The thread the handler waits for: start() is refused at once, close()
  // returns after its bound, and the report is already in place.
  auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(t.start(p));
  t.close();
  EXPECT_LT(secondsSince(begin), 3.0);
  EXPECT_TRUE(t.isRunning());
  EXPECT_TRUE(t.lastReport().succeeded);
  release.set_value();
  for (int i = 0; i < 300 && t.isRunning(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(t.isRunning());
  TransferParams again = p;
  again.onFinished = nullptr;
  again.localFile = dir + "/g";
  EXPECT_TRUE(t.start(again));
  removeTree(dir);
}

TEST(FinishedHandler, ADroppedExecutorCallStillEndsTheRun) {
  HttpPeer peer({"y"});
  const std::string dir = makeTempDir("drop");
  HttpDownload t;
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/f";
  std::atomic<bool> called{false};
  p.onFinished = [&](int, const TransferReport&) { return called = true; };
  p.handlerExecutor = [](std::function<void()>) {};  // a closed window: the call is dropped
  ASSERT_TRUE(t.start(p));
  for (int i = 0; i < 500 && t.isRunning(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(t.isRunning());
  EXPECT_FALSE(called);
  EXPECT_TRUE(t.lastReport().succeeded);
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
