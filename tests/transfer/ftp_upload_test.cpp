// FtpUpload against a recording pyftpdlib peer.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <thread>

#include "ftp_peer.h"
#include "net/connection_share.h"
#include "transfer/ftp_upload.h"
#include "transfer/local_file.h"
#include "transfer_waiter.h"
#include "../refusing_port.h"
#include "../time_scale.h"

namespace tarnwick::transfer::test {
namespace {

using namespace std::chrono_literals;

class FtpUpload : public ::testing::Test {
protected:
  void SetUp() override { m_dir = makeTempDir("up"); }
  void TearDown() override { removeTree(m_dir); }

  std::string localFile(const std::string& bytes, const std::string& name = "a.tnwklswj") {
    std::string path = m_dir + "/" + name;
    writeFile(path, bytes);
    return path;
  }
  TransferParams uploadParams(const FtpPeer& peer, const std::string& local, const std::string& remoteName) {
    TransferParams p;
    p.remoteUrl = peer.url(remoteName);
    p.localFile = local;
    p.ftpUser = "";  // as the client sends it: the anonymous defaults apply
    p.ftpPassword = "";
    p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 5000;
    p.sendBlockBytes = 20480;
    p.onFinished = m_waiter.handler();
    return p;
  }
  // Positions of the commands in the peer's log, -1 for a missing one.
  static std::size_t at(const std::string& log, const std::string& line) { return log.find(line + "\n"); }

  std::string m_dir;
  Waiter m_waiter;
};

TEST_F(FtpUpload, BinaryUploadArrivesUnchangedAndFollowsTheDialogue) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::string bytes = trickyBytes(300000);
  const std::string name = "my file#1.tnwklswj";
  transfer::FtpUpload t;
  ASSERT_TRUE(t.start(uploadParams(peer, localFile(bytes), name)));
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  const TransferReport& r = m_waiter.report;
  EXPECT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.outcome, Outcome::Completed);
  EXPECT_EQ(r.totalSize, 300000);
  EXPECT_EQ(r.bytesMoved, 300000);
  EXPECT_EQ(r.position, 300000);
  EXPECT_EQ(r.status, 226);
  EXPECT_TRUE(sameBytes(readFile(peer.folder() + "/" + name), bytes));

  const std::string log = peer.log();
  EXPECT_NE(at(log, "USER anonymous"), std::string::npos) << log;
  EXPECT_NE(at(log, std::string("PASS ") + TransferParams::kAnonymousPassword), std::string::npos);
  EXPECT_EQ(std::string(TransferParams::kAnonymousPassword).size(), 17u);
  EXPECT_EQ(at(log, "TYPE A"), std::string::npos) << log;
  // The dialogue order: PASV, TYPE I, REST 0, STOR name, QUIT.
  std::size_t pasv = at(log, "PASV"), type = at(log, "TYPE I"), rest = at(log, "REST 0"),
              stor = at(log, "STOR " + name), quit = at(log, "QUIT");
  ASSERT_NE(pasv, std::string::npos) << log;
  ASSERT_NE(type, std::string::npos) << log;
  ASSERT_NE(rest, std::string::npos) << log;
  ASSERT_NE(stor, std::string::npos) << log;
  ASSERT_NE(quit, std::string::npos) << log;
  EXPECT_LT(pasv, type);
  EXPECT_LT(type, rest);
  EXPECT_LT(rest, stor);
  EXPECT_LT(stor, quit);
  EXPECT_EQ(t.bytesTransferred(), 0);  // not running any more
  EXPECT_EQ(m_waiter.endedCount, 1);
}

TEST_F(FtpUpload, ExplicitCredentialsAndEmptyFile) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  transfer::FtpUpload t;
  TransferParams p = uploadParams(peer, localFile(""), "empty.tnwklswj");
  p.ftpUser = "member";
  p.ftpPassword = "secret";
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  EXPECT_TRUE(m_waiter.report.succeeded) << m_waiter.report.error;
  EXPECT_TRUE(std::filesystem::exists(peer.folder() + "/empty.tnwklswj"));
  EXPECT_NE(at(peer.log(), "USER member"), std::string::npos);
}

TEST_F(FtpUpload, FallsBackToActiveModeWhenPassiveIsRefused) {
  FtpPeer peer(/*refusePassive=*/true);
  ASSERT_TRUE(peer.ok());
  const std::string bytes = trickyBytes(200000, 3);
  transfer::FtpUpload t;
  ASSERT_TRUE(t.start(uploadParams(peer, localFile(bytes), "act.tnwklswj")));
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  EXPECT_TRUE(m_waiter.report.succeeded) << m_waiter.report.error;
  EXPECT_TRUE(sameBytes(readFile(peer.folder() + "/act.tnwklswj"), bytes));
  const std::string log = peer.log();
  std::size_t pasv = at(log, "PASV");
  std::size_t port = log.find("PORT 127,0,0,1,");
  ASSERT_NE(pasv, std::string::npos) << log;
  ASSERT_NE(port, std::string::npos) << log;
  EXPECT_LT(pasv, port);
  EXPECT_EQ(log.find("PASV", pasv + 1), std::string::npos) << "passive tried again: " << log;
}

TEST_F(FtpUpload, ResumeContinuesAPartialRemoteFileWithRest) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::string bytes = trickyBytes(250000, 11);
  writeFile(peer.folder() + "/part.tnwklswj", bytes.substr(0, 100000));
  transfer::FtpUpload t;
  TransferParams p = uploadParams(peer, localFile(bytes), "part.tnwklswj");
  p.resumeUpload = true;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  const TransferReport& r = m_waiter.report;
  EXPECT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.startOffset, 100000);
  EXPECT_EQ(r.bytesMoved, 150000);
  EXPECT_EQ(r.position, 250000);
  EXPECT_TRUE(sameBytes(readFile(peer.folder() + "/part.tnwklswj"), bytes));
  const std::string log = peer.log();
  EXPECT_NE(at(log, "SIZE part.tnwklswj"), std::string::npos) << log;
  EXPECT_NE(at(log, "REST 100000"), std::string::npos) << log;
}

TEST_F(FtpUpload, WithoutResumeAStaleRemoteFileIsReplaced) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::string bytes = trickyBytes(50000, 5);
  writeFile(peer.folder() + "/old.tnwklswj", std::string(80000, 'x'));
  transfer::FtpUpload t;
  ASSERT_TRUE(t.start(uploadParams(peer, localFile(bytes), "old.tnwklswj")));
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  EXPECT_TRUE(m_waiter.report.succeeded) << m_waiter.report.error;
  EXPECT_TRUE(sameBytes(readFile(peer.folder() + "/old.tnwklswj"), bytes));
  // No SIZE before STOR (that would be a resume); one after the final reply checks the size.
  const std::string log = peer.log();
  EXPECT_LT(at(log, "STOR old.tnwklswj"), log.find("SIZE")) << log;
}

TEST_F(FtpUpload, RateLimitIsHonouredAndCountersFollow) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::int64_t rate = 256 * 1024, size = 3 * rate;
  transfer::FtpUpload t;
  TransferParams p = uploadParams(peer, localFile(trickyBytes(size)), "rate.tnwklswj");
  p.rateLimit = rate;
  std::atomic<int> progressCalls{0};
  std::atomic<std::int64_t> progressTotal{0};
  p.onProgress = [&](int code, const std::string& url, const std::string& file, std::int64_t, std::int64_t total) {
    if (code == 1 && url == p.remoteUrl && file == p.localFile) ++progressCalls;
    progressTotal = total;
  };
  auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(t.start(p));
  std::int64_t summed = 0, last = 0;
  bool monotonic = true, wholeBlocks = true;
  while (t.isRunning() && secondsSince(begin) < 20) {
    std::this_thread::sleep_for(100ms);
    std::int64_t now = t.bytesTransferred();
    if (now != 0 && now < last) monotonic = false;
    if (now % p.sendBlockBytes != 0 && now != size) wholeBlocks = false;
    if (now) last = now;
    summed += t.bytesSinceLastQuery();
  }
  ASSERT_TRUE(m_waiter.waitEnded(20000));
  double seconds = secondsSince(begin);
  ASSERT_TRUE(m_waiter.report.succeeded) << m_waiter.report.error;
  double measured = static_cast<double>(size) / seconds;
  EXPECT_GT(measured, rate * 0.8 / testTimeScale()) << seconds << " s";
  EXPECT_LT(measured, rate * 1.2) << seconds << " s";
  EXPECT_TRUE(monotonic);
  EXPECT_TRUE(wholeBlocks) << "data goes out in whole send blocks";
  EXPECT_GT(summed, size / 2);  // the speed counter saw the data go by
  EXPECT_LE(summed, size);
  EXPECT_EQ(t.bytesSinceLastQuery(), 0);
  EXPECT_GE(progressCalls.load(), 5);  // about five a second
  EXPECT_EQ(progressTotal.load(), size);
}

TEST_F(FtpUpload, CloseMidTransferEndsTheThreadOnce) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::int64_t size = 8 << 20;
  transfer::FtpUpload t;
  TransferParams p = uploadParams(peer, localFile(std::string(size, 'z')), "close.tnwklswj");
  p.rateLimit = 1 << 20;
  p.closeWaitMs = 3000;
  ASSERT_TRUE(t.start(p));
  std::this_thread::sleep_for(800ms);
  EXPECT_GT(t.bytesTransferred(), 0);
  auto begin = std::chrono::steady_clock::now();
  t.close();
  EXPECT_LT(secondsSince(begin), 3.0 * testTimeScale());
  EXPECT_FALSE(t.isRunning());
  t.close();  // twice is harmless
  ASSERT_TRUE(m_waiter.waitEnded(5000));
  EXPECT_EQ(m_waiter.report.outcome, Outcome::Closed);
  EXPECT_FALSE(m_waiter.report.succeeded);
  EXPECT_LT(m_waiter.report.position, size);
  EXPECT_EQ(t.bytesTransferred(), 0);
  EXPECT_EQ(t.bytesSinceLastQuery(), 0);
  std::this_thread::sleep_for(300ms);
  auto remote = LocalFile::sizeOf(peer.folder() + "/close.tnwklswj");
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(LocalFile::sizeOf(peer.folder() + "/close.tnwklswj"), remote);  // nothing more arrives
  EXPECT_EQ(m_waiter.endedCount, 1);
}

TEST_F(FtpUpload, ServerKilledMidTransferIsReportedWithinTheTimeouts) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  transfer::FtpUpload t;
  TransferParams p = uploadParams(peer, localFile(std::string(8 << 20, 'k')), "killed.tnwklswj");
  p.rateLimit = 1 << 20;
  p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 1000;
  ASSERT_TRUE(t.start(p));
  std::this_thread::sleep_for(800ms);
  auto begin = std::chrono::steady_clock::now();
  peer.kill();
  ASSERT_TRUE(m_waiter.waitEnded(8000));
  EXPECT_LT(secondsSince(begin), 4.0);
  EXPECT_FALSE(m_waiter.report.succeeded);
  EXPECT_EQ(m_waiter.report.outcome, Outcome::NetworkError) << outcomeName(m_waiter.report.outcome);
  EXPECT_FALSE(m_waiter.report.error.empty());
}

struct FailureCase {
  const char* label;
  std::string url;   // "@" is replaced with a port nobody listens on
  bool localExists;
  Outcome expected;
};

TEST_F(FtpUpload, AKeptSessionOutlivesTheObjectThatLoggedItIn) {
  // libcurl closes every socket of a cached session (the next file's data
  // connection, the session itself at the end) through the callbacks of the
  // handle that opened it. The first object's memory is overwritten once it
  // is gone, so a close that still reached it would crash here.
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  auto share = std::make_shared<net::ConnectionShare>();
  alignas(transfer::FtpUpload) unsigned char first[sizeof(transfer::FtpUpload)];
  std::string bytes[2];
  for (int i = 0; i < 2; ++i) {
    const std::string name = "kept" + std::to_string(i) + ".tnwklswj";
    bytes[i] = trickyBytes(60000, 50 + i);
    Waiter w;
    TransferParams p = uploadParams(peer, localFile(bytes[i], name), name);
    p.onFinished = w.handler();
    p.connections = share;
    auto* t = i == 0 ? new (first) transfer::FtpUpload : new transfer::FtpUpload;
    const bool ended = t->start(p) && w.waitEnded(20000);
    EXPECT_TRUE(w.report.succeeded) << w.report.error;
    if (i == 0) {
      t->~FtpUpload();
      for (std::size_t k = 0; k < sizeof first; ++k) first[k] = static_cast<unsigned char>(k * 37 + 11);
    } else {
      delete t;
    }
    ASSERT_TRUE(ended);
  }
  share.reset();
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(sameBytes(readFile(peer.folder() + "/kept" + std::to_string(i) + ".tnwklswj"), bytes[i]));
  const std::string log = peer.log();
  EXPECT_EQ(log.find("USER", log.find("USER") + 1), std::string::npos) << "one login for both: " << log;
}

TEST_F(FtpUpload, FailuresEndWithCodeFourAndTheirOutcome) {
  RefusingPort refusing;  // connections to it are refused
  ASSERT_NE(refusing.port(), 0);
  const int closedPort = refusing.port();
  const std::string dead = "ftp://127.0.0.1:" + std::to_string(closedPort);
  const FailureCase cases[] = {
      {"nobody listens", dead + "/x.tnwklswj", true, Outcome::ConnectFailed},
      {"no file name", dead + "/", true, Outcome::BadParameters},
      {"not ftp", "http://127.0.0.1/x", true, Outcome::BadParameters},
      {"local file missing", dead + "/x.tnwklswj", false, Outcome::LocalFileError},
  };
  for (const auto& c : cases) {
    Waiter w;
    TransferParams p;
    p.remoteUrl = c.url;
    p.localFile = c.localExists ? localFile("data") : m_dir + "/missing";
    p.connectTimeoutMs = 2000;
    p.onFinished = w.handler();
    transfer::FtpUpload t;
    ASSERT_TRUE(t.start(p)) << c.label;
    ASSERT_TRUE(w.waitEnded(10000)) << c.label;
    EXPECT_EQ(w.report.outcome, c.expected) << c.label << ": " << outcomeName(w.report.outcome);
    EXPECT_FALSE(w.report.succeeded) << c.label;
    EXPECT_FALSE(w.report.error.empty()) << c.label;
  }
}

}  // namespace
}  // namespace tarnwick::transfer::test
