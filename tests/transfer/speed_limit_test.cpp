// The process-wide speed limits on real transfers against the local peers:
// the average, the longest wait between progress steps, a limit changed
// during a transfer, and two transfers sharing one limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ftp_peer.h"
#include "http_peer.h"
#include "transfer/ftp_upload.h"
#include "transfer/http_download.h"
#include "transfer/rate_limit.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One transfer against its own peer, watched from its progress reports.
class Limited {
public:
  Limited(bool upload, const std::string& bytes) : m_upload(upload), m_dir(makeTempDir("lim")) {
    TransferParams p;
    p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 5000;
    p.onFinished = m_waiter.handler();
    p.onProgress = [this](int, const std::string&, const std::string&, std::int64_t position, std::int64_t) {
      std::lock_guard l(m_mutex);
      if (position <= m_lastPosition) return;
      const auto now = Clock::now();
      m_longestGap = std::max(m_longestGap, std::chrono::duration<double>(now - m_lastStep).count());
      m_lastStep = now;
      m_lastPosition = position;
    };
    if (upload) {
      m_ftp = std::make_unique<FtpPeer>();
      p.remoteUrl = m_ftp->url("limited.tnwklswj");
      p.localFile = m_dir + "/limited.tnwklswj";
      p.sendBlockBytes = 20480;
      writeFile(p.localFile, bytes);
      m_transfer = std::make_unique<FtpUpload>();
    } else {
      m_http = std::make_unique<HttpPeer>(HttpPeer::Behaviour{bytes});
      p.remoteUrl = m_http->url();
      p.localFile = m_dir + "/limited.bin";
      m_transfer = std::make_unique<HttpDownload>();
    }
    m_params = p;
  }
  ~Limited() {
    m_transfer->close();
    m_transfer.reset();
    removeTree(m_dir);
  }
  bool start() {
    m_begin = m_lastStep = Clock::now();
    return m_transfer->start(m_params);
  }
  bool waitEnded(int ms) {
    const bool ended = m_waiter.waitEnded(ms);
    m_seconds = std::chrono::duration<double>(Clock::now() - m_begin).count();
    return ended;
  }
  Transfer& transfer() { return *m_transfer; }
  const TransferReport& report() const { return m_waiter.report; }
  double seconds() const { return m_seconds; }
  double longestGap() {
    std::lock_guard l(m_mutex);
    return m_longestGap;
  }

private:
  bool m_upload;
  std::string m_dir;
  std::unique_ptr<FtpPeer> m_ftp;
  std::unique_ptr<HttpPeer> m_http;
  std::unique_ptr<Transfer> m_transfer;
  TransferParams m_params;
  Waiter m_waiter;
  std::mutex m_mutex;
  Clock::time_point m_begin, m_lastStep;
  std::int64_t m_lastPosition = 0;
  double m_longestGap = 0;
  double m_seconds = 0;
};

RateLimiter& limiterOf(bool upload) { return upload ? uploadLimiter() : downloadLimiter(); }

struct LimitCase {
  const char* name;
  bool upload;
  std::int64_t rate;
  std::int64_t size;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class SpeedLimit : public ::testing::TestWithParam<LimitCase> {
protected:
  void TearDown() override {
    uploadLimiter().setRate(0);
    downloadLimiter().setRate(0);
  }
};

// The whole file at the limit: no time-out, the average within 10 %, and
// progress at least every second even at 1 KiB/s.
TEST_P(SpeedLimit, TheAverageFollowsTheLimitWithoutLongGaps) {
  const LimitCase& c = GetParam();
  limiterOf(c.upload).setRate(c.rate);
  const double expected = static_cast<double>(c.size) / static_cast<double>(c.rate);
  Limited t(c.upload, trickyBytes(static_cast<std::size_t>(c.size)));
  ASSERT_TRUE(t.start());
  ASSERT_TRUE(t.waitEnded(static_cast<int>(expected * 1000 * 1.5) + 5000));
  ASSERT_TRUE(t.report().succeeded) << t.report().error;
  EXPECT_EQ(t.report().position, c.size);
  EXPECT_NEAR(t.seconds(), expected, expected * 0.1);
  EXPECT_LE(t.longestGap(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Transfers, SpeedLimit,
                         ::testing::Values(LimitCase{"Download200K", false, 200 * 1024, 2 << 20},
                                           LimitCase{"Upload200K", true, 200 * 1024, 2 << 20},
                                           LimitCase{"Download1K", false, 1024, 20 * 1024},
                                           LimitCase{"Upload1K", true, 1024, 20 * 1024}),
                         [](const auto& info) { return std::string(info.param.name); });

// Bytes moved during [from, from + 1 s), sampled from the transfer's counter.
double rateOver(Transfer& t, std::chrono::milliseconds from) {
  std::this_thread::sleep_for(from);
  const std::int64_t a = t.bytesTransferred();
  std::this_thread::sleep_for(1s);
  return static_cast<double>(t.bytesTransferred() - a);
}

class LimitChange : public SpeedLimit {};

// Raised, then lowered, while the transfer runs: the second after the
// first 1.5 s of each new limit moves at that limit.
TEST_P(LimitChange, AppliesToTheRunningTransferWithinTwoSeconds) {
  const bool upload = GetParam().upload;
  RateLimiter& limit = limiterOf(upload);
  limit.setRate(64 * 1024);
  Limited t(upload, trickyBytes(16 << 20));
  ASSERT_TRUE(t.start());
  const double slow = rateOver(t.transfer(), 500ms);
  limit.setRate(1 << 20);
  const double fast = rateOver(t.transfer(), 1000ms);
  limit.setRate(64 * 1024);
  const double slowAgain = rateOver(t.transfer(), 1000ms);
  EXPECT_NEAR(slow, 64 * 1024, 64 * 1024 * 0.2);
  EXPECT_NEAR(fast, 1 << 20, (1 << 20) * 0.2);
  EXPECT_NEAR(slowAgain, 64 * 1024, 64 * 1024 * 0.2);
  EXPECT_TRUE(t.transfer().isRunning());  // no time-out while it was held back
}

INSTANTIATE_TEST_SUITE_P(Transfers, LimitChange,
                         ::testing::Values(LimitCase{"Download", false, 0, 0}, LimitCase{"Upload", true, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

class SharedLimit : public SpeedLimit {};

// Two transfers of one direction share its limit: together they stay
// within it, and neither starves.
TEST_P(SharedLimit, TwoTransfersTogetherStayWithinTheLimit) {
  const LimitCase& c = GetParam();
  limiterOf(c.upload).setRate(c.rate);
  Limited a(c.upload, trickyBytes(static_cast<std::size_t>(c.size), 1));
  Limited b(c.upload, trickyBytes(static_cast<std::size_t>(c.size), 2));
  ASSERT_TRUE(a.start());
  ASSERT_TRUE(b.start());
  std::this_thread::sleep_for(500ms);
  const std::int64_t a0 = a.transfer().bytesTransferred(), b0 = b.transfer().bytesTransferred();
  std::this_thread::sleep_for(2s);
  const double aMoved = static_cast<double>(a.transfer().bytesTransferred() - a0);
  const double bMoved = static_cast<double>(b.transfer().bytesTransferred() - b0);
  EXPECT_NEAR((aMoved + bMoved) / 2, static_cast<double>(c.rate), c.rate * 0.1);
  EXPECT_GT(std::min(aMoved, bMoved), c.rate * 2 * 0.25);
  ASSERT_TRUE(a.waitEnded(20000));
  ASSERT_TRUE(b.waitEnded(20000));
  EXPECT_TRUE(a.report().succeeded) << a.report().error;
  EXPECT_TRUE(b.report().succeeded) << b.report().error;
}

INSTANTIATE_TEST_SUITE_P(Transfers, SharedLimit,
                         ::testing::Values(LimitCase{"Download", false, 256 * 1024, 1 << 20},
                                           LimitCase{"Upload", true, 256 * 1024, 1 << 20}),
                         [](const auto& info) { return std::string(info.param.name); });

// Closed while the limit holds most of what arrived: the partial file keeps
// every byte that came, in order, and the next start completes it exactly.
TEST_F(SpeedLimit, AClosedLimitedDownloadKeepsWhatArrivedAndContinues) {
  const std::string bytes = trickyBytes(200000, 9);
  HttpPeer peer({bytes});
  const std::string dir = makeTempDir("limc");
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/held.bin";
  p.receiveTimeoutMs = 5000;
  downloadLimiter().setRate(8 * 1024);
  {
    Waiter w;
    p.onFinished = w.handler();
    HttpDownload t;
    ASSERT_TRUE(t.start(p));
    std::this_thread::sleep_for(1s);
    t.close();
    ASSERT_TRUE(w.waitEnded(5000));
    EXPECT_EQ(w.report.outcome, Outcome::Closed);
    const std::string partial = readFile(p.localFile);
    EXPECT_EQ(static_cast<std::int64_t>(partial.size()), w.report.position);
    EXPECT_GT(partial.size(), 12000u);  // more than 1 s at the limit: the held block too
    EXPECT_TRUE(sameBytes(partial, bytes.substr(0, partial.size())));
  }
  downloadLimiter().setRate(0);
  Waiter w;
  w.conflictAnswer = false;  // continue the partial file
  p.onFinished = w.handler();
  HttpDownload t;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w.waitEnded(10000));
  EXPECT_TRUE(w.report.succeeded) << w.report.error;
  EXPECT_TRUE(sameBytes(readFile(p.localFile), bytes));
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
