// HttpDownload against an in-test peer that records the request and
// misbehaves on demand.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "ftp_peer.h"
#include "http_peer.h"
#include "transfer/local_file.h"
#include "transfer/http_download.h"
#include "transfer_waiter.h"
#include "../refusing_port.h"

#include <future>
#include "../time_scale.h"

namespace tarnwick::transfer::test {
namespace {

using namespace std::chrono_literals;

class HttpDownload : public ::testing::Test {
protected:
  void SetUp() override {
    m_dir = makeTempDir("down");
    m_target = m_dir + "/target.bin";
  }
  void TearDown() override { removeTree(m_dir); }

  TransferParams params(const HttpPeer& peer, Waiter& w) {
    TransferParams p;  // the download record keeps its defaults but for these
    p.remoteUrl = peer.url();
    p.localFile = m_target;
    p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 3000;
    p.onFinished = w.handler();
    return p;
  }
  TransferReport run(HttpPeer& peer, Waiter& w, bool answerConflict = true) {
    w.conflictAnswer = answerConflict;
    transfer::HttpDownload t;
    EXPECT_TRUE(t.start(params(peer, w)));
    EXPECT_TRUE(w.waitEnded(15000));
    return w.report;
  }

  std::string m_dir, m_target;
};

TEST_F(HttpDownload, SendsExactlyTheRequestLines) {
  HttpPeer peer({trickyBytes(5000)});
  Waiter w;
  TransferReport r = run(peer, w);
  ASSERT_TRUE(r.succeeded) << r.error;
  ASSERT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(peer.requests()[0],
            "GET /up/file.bin HTTP/1.1\r\n"
            "Host: 127.0.0.1:" + std::to_string(peer.port()) + "\r\n"
            "Accept: */*\r\n"
            "Referer:\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
            "Range: bytes=0-\r\n"
            "Pragma: no-cache\r\n"
            "Cache-Control: no-cache\r\n"
            "Connection: close\r\n"
            "\r\n");

  Waiter w2;
  TransferParams p = params(peer, w2);
  p.referer = "http://127.0.0.1/page";
  p.userAgent = "Agent/1";
  p.remoteUrl = peer.url("/up/7/a b\xc4\xe3.zip");  // space and GBK bytes go out encoded
  p.localFile = m_dir + "/second.zip";
  transfer::HttpDownload t;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w2.waitEnded(15000));
  const std::string req = peer.requests().at(1);
  EXPECT_EQ(req.rfind("GET /up/7/a%20b%C4%E3.zip HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("\r\nReferer: http://127.0.0.1/page\r\nUser-Agent: Agent/1\r\n"), std::string::npos) << req;
}

TEST_F(HttpDownload, StatusTwoHundredWritesTheWholeBody) {
  const std::string body = trickyBytes(1 << 20);
  HttpPeer peer({body, 0, /*honourRange=*/false});
  Waiter w;
  TransferReport r = run(peer, w);
  ASSERT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.totalSize, 1 << 20);
  EXPECT_EQ(r.position, 1 << 20);
  EXPECT_TRUE(sameBytes(readFile(m_target), body));
  EXPECT_EQ(w.conflictAsks, 0);
}

TEST_F(HttpDownload, ResumesAPartialFileWithItsSizeAsRangeOffset) {
  const std::string body = trickyBytes(200000, 9);
  writeFile(m_target, body.substr(0, 70000));
  HttpPeer peer({body});
  Waiter w;
  TransferReport r = run(peer, w, /*answerConflict=*/false);  // false: continue the file
  ASSERT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(w.conflictAsks, 1);
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.startOffset, 70000);
  EXPECT_EQ(r.bytesMoved, 130000);
  EXPECT_EQ(r.totalSize, 200000);
  EXPECT_NE(peer.requests().at(0).find("\r\nRange: bytes=70000-\r\n"), std::string::npos);
  EXPECT_TRUE(sameBytes(readFile(m_target), body));
}

TEST_F(HttpDownload, AServerThatIgnoresTheRangeRewritesFromTheStart) {
  const std::string body = trickyBytes(100000, 4);
  writeFile(m_target, std::string(150000, 'g'));  // longer and different
  HttpPeer peer({body, 0, /*honourRange=*/false});
  Waiter w;
  TransferReport r = run(peer, w, false);
  ASSERT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(sameBytes(readFile(m_target), body));
}

TEST_F(HttpDownload, AnAlreadyCompleteFileIsCompleted) {
  const std::string body = trickyBytes(4000, 2);
  writeFile(m_target, body);
  HttpPeer peer({body});
  Waiter w;
  TransferReport r = run(peer, w, false);
  EXPECT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.status, 416);
  EXPECT_TRUE(sameBytes(readFile(m_target), body));
}

TEST_F(HttpDownload, ErrorStatusesAreFailuresAndLeaveNoFile) {
  struct Case {
    int status;
    Outcome expected;
  } cases[] = {
      {400, Outcome::ServerRefused},    {403, Outcome::ServerRefused},
      {404, Outcome::ServerRefused},    {302, Outcome::UnsupportedReply},
      {401, Outcome::UnsupportedReply}, {500, Outcome::UnsupportedReply},
      {503, Outcome::UnsupportedReply},
  };
  for (const auto& c : cases) {
    HttpPeer peer({"x", c.status});
    Waiter w;
    TransferReport r = run(peer, w);
    EXPECT_FALSE(r.succeeded) << c.status;
    EXPECT_EQ(r.outcome, c.expected) << c.status << ": " << outcomeName(r.outcome);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(w.endedCount, 1);
    EXPECT_FALSE(std::filesystem::exists(m_target)) << c.status;
  }
}

TEST_F(HttpDownload, NameConflictAnsweredTrueGivesUpWithoutTouchingTheFile) {
  writeFile(m_target, "keep me");
  HttpPeer peer({trickyBytes(1000)});
  Waiter w;
  TransferReport r = run(peer, w, /*answerConflict=*/true);
  EXPECT_EQ(w.conflictAsks, 1);
  EXPECT_EQ(r.outcome, Outcome::GivenUp);
  EXPECT_FALSE(r.succeeded);
  EXPECT_EQ(w.endedCount, 1);
  EXPECT_EQ(readFile(m_target), "keep me");
  EXPECT_TRUE(peer.requests().empty());
}

TEST_F(HttpDownload, ABrokenConnectionKeepsThePartialFileAndTheNextStartFinishesIt) {
  const std::string body = trickyBytes(300000, 8);
  HttpPeer::Behaviour b{body};
  b.cutAt = 120000;  // every reply stops there: the Range requests that follow get nothing
  HttpPeer peer(b);
  Waiter w;
  TransferReport r = run(peer, w);
  EXPECT_FALSE(r.succeeded);
  EXPECT_EQ(r.outcome, Outcome::NetworkError) << outcomeName(r.outcome);
  EXPECT_EQ(r.totalSize, 300000);
  EXPECT_EQ(LocalFile::sizeOf(m_target), 120000);

  peer.setBehaviour({body});
  Waiter again;
  TransferReport r2 = run(peer, again, /*answerConflict=*/false);
  ASSERT_TRUE(r2.succeeded) << r2.error;
  EXPECT_EQ(r2.startOffset, 120000);
  EXPECT_TRUE(sameBytes(readFile(m_target), body));
}

TEST_F(HttpDownload, AStalledServerEndsAfterTheReceiveTimeout) {
  HttpPeer::Behaviour b{trickyBytes(50000)};
  b.hangAfterHeaders = true;
  HttpPeer peer(b);
  Waiter w;
  TransferParams p = params(peer, w);
  p.receiveTimeoutMs = 800;
  transfer::HttpDownload t;
  auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w.waitEnded(10000));
  double s = secondsSince(begin);
  EXPECT_GT(s, 0.7);
  EXPECT_LT(s, 3.0 * testTimeScale());
  EXPECT_EQ(w.report.outcome, Outcome::NetworkError);
  EXPECT_EQ(LocalFile::sizeOf(m_target), 1000);  // what arrived stays
}

TEST_F(HttpDownload, CloseDuringAStallEndsAtOnce) {
  HttpPeer::Behaviour b{trickyBytes(50000)};
  b.hangAfterHeaders = true;
  HttpPeer peer(b);
  Waiter w;
  transfer::HttpDownload t;
  ASSERT_TRUE(t.start(params(peer, w)));
  std::this_thread::sleep_for(300ms);
  auto begin = std::chrono::steady_clock::now();
  t.close();
  EXPECT_LT(secondsSince(begin), 1.0 * testTimeScale());
  ASSERT_TRUE(w.waitEnded(2000));
  EXPECT_EQ(w.report.outcome, Outcome::Closed);
  EXPECT_FALSE(t.isRunning());
}

TEST_F(HttpDownload, ConnectionRefusedIsAConnectFailure) {
  RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const int closedPort = refusing.port();
  Waiter w;
  TransferParams p;
  p.remoteUrl = "http://127.0.0.1:" + std::to_string(closedPort) + "/up/x";
  p.localFile = m_target;
  // The refusal comes at once: the handler holds the object in Running until
  // the second start has been tried, so that start meets a running transfer.
  std::promise<void> tried;
  std::shared_future<void> triedDone = tried.get_future().share();
  const FinishedHandler record = w.handler();
  p.onFinished = [record, triedDone](int code, const TransferReport& r) {
    if (code == kEventThreadEnded) triedDone.wait_for(std::chrono::seconds(10));
    return record(code, r);
  };
  transfer::HttpDownload t;
  ASSERT_TRUE(t.start(p));
  EXPECT_FALSE(t.start(p)) << "a second start while running";
  tried.set_value();
  ASSERT_TRUE(w.waitEnded(10000));
  EXPECT_EQ(w.report.outcome, Outcome::ConnectFailed);
  EXPECT_FALSE(std::filesystem::exists(m_target));
}

TEST(TransferLifecycle, TheFinishedHandlerMayCloseAndRestartItsOwnObject) {
  std::string dir = makeTempDir("life");
  HttpPeer peer({"abc"});
  std::atomic<int> ends{0};
  std::atomic<bool> restarted{false};
  std::mutex m;
  std::condition_variable cv;
  transfer::HttpDownload t;
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/f";
  p.onFinished = [&](int code, const TransferReport&) {
    if (code == kEventNameConflict) return false;
    t.close();  // from the transfer thread itself: must not wait for itself
    if (!restarted.exchange(true)) t.start(p);
    std::lock_guard l(m);  // the test leaves only after this handler let go
    ++ends;
    cv.notify_all();
    return true;
  };
  ASSERT_TRUE(t.start(p));
  std::unique_lock l(m);
  EXPECT_TRUE(cv.wait_for(l, 10s, [&] { return ends.load() == 2; }));
  EXPECT_EQ(readFile(dir + "/f"), "abc");
  l.unlock();
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
