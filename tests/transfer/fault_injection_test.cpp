// Transfers against peers that misbehave on purpose: each case checks the
// reported outcome and what is left on disk or on the server.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "ftp_peer.h"
#include "http_peer.h"
#include "transfer/local_file.h"
#include "transfer/md5.h"
#include "transfer/ftp_upload.h"
#include "transfer/http_download.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

using namespace std::chrono_literals;

template <class Kind>
TransferReport runOnce(const TransferParams& base, Waiter& w, int waitMs = 20000) {
  TransferParams p = base;
  p.onFinished = w.handler();
  Kind t;
  EXPECT_TRUE(t.start(p));
  EXPECT_TRUE(w.waitEnded(waitMs));
  return w.report;
}

struct DownloadCase {
  const char* label;
  HttpPeer::Behaviour behaviour;
  bool succeeds;
  Outcome outcome;
  long leftOnDisk;  // bytes of the local file afterwards; -1: no file
};

TEST(DownloadFaults, NoShortOrUntrustedReplyIsReportedAsSuccess) {
  const std::string body = trickyBytes(100000, 21);
  auto b = [&](auto edit) {
    HttpPeer::Behaviour x{body};
    edit(x);
    return x;
  };
  const DownloadCase cases[] = {
      {"bounded 206 ranges are followed to the end", b([](auto& x) { x.rangeChunk = 30000; }), true,
       Outcome::Completed, 100000},
      {"closed before Content-Length, continued by Range", b([](auto& x) { x.cutAfter = 40000; }), true,
       Outcome::Completed, 100000},
      {"closed before Content-Length every time", b([](auto& x) { x.cutAt = 40000; }), false,
       Outcome::NetworkError, 40000},
      {"no length, then a clean close", b([](auto& x) { x.noLength = true; x.honourRange = false; }), true,
       Outcome::Completed, 100000},
      {"206 from another offset than asked", b([](auto& x) { x.rangeChunk = 30000; x.rangeFromZero = true; }),
       false, Outcome::UnsupportedReply, 30000},
      {"negative Content-Length",
       b([](auto& x) { x.rawHead = "HTTP/1.1 200 OK\r\nContent-Length: -5\r\nConnection: close\r\n\r\n"; }),
       false, Outcome::UnsupportedReply, -1},
      {"range past its total",
       b([](auto& x) {
         x.rawHead = "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99999/50\r\nConnection: close\r\n\r\n";
       }),
       false, Outcome::UnsupportedReply, -1},
      {"500", b([](auto& x) { x.forceStatus = 500; }), false, Outcome::UnsupportedReply, -1},
      {"404", b([](auto& x) { x.forceStatus = 404; }), false, Outcome::ServerRefused, -1},
  };
  for (const auto& c : cases) {
    const std::string dir = makeTempDir("fault");
    HttpPeer peer(c.behaviour);
    TransferParams p;
    p.remoteUrl = peer.url();
    p.localFile = dir + "/got.bin";
    p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 3000;
    Waiter w;
    TransferReport r = runOnce<HttpDownload>(p, w);
    EXPECT_EQ(r.succeeded, c.succeeds) << c.label << ": " << r.error;
    EXPECT_EQ(r.outcome, c.outcome) << c.label << ": " << outcomeName(r.outcome) << " " << r.error;
    EXPECT_EQ(LocalFile::sizeOf(p.localFile), c.leftOnDisk) << c.label;
    if (c.succeeds) {
      EXPECT_TRUE(sameBytes(readFile(p.localFile), body)) << c.label;
      EXPECT_EQ(r.position, 100000) << c.label;
    } else {
      EXPECT_FALSE(r.error.empty()) << c.label;
    }
    removeTree(dir);
  }
}

TEST(DownloadFaults, AHungServerEndsAtTheStallLimitWithoutRetrying) {
  HttpPeer::Behaviour b{trickyBytes(60000)};
  b.hangAfterHeaders = true;
  HttpPeer peer(b);
  const std::string dir = makeTempDir("hang");
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/h.bin";
  p.receiveTimeoutMs = 600;
  Waiter w;
  TransferReport r = runOnce<HttpDownload>(p, w);
  EXPECT_EQ(r.outcome, Outcome::NetworkError);
  EXPECT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(LocalFile::sizeOf(p.localFile), 1000);  // kept for a later resume
  removeTree(dir);
}

TEST(DownloadFaults, ResumeOnAFreshObjectIsByteExactAndDiscardRemovesAPartialFile) {
  const std::string body = trickyBytes(250000, 31);
  HttpPeer::Behaviour cut{body};
  cut.cutAt = 90000;
  HttpPeer peer(cut);
  const std::string dir = makeTempDir("resume");
  TransferParams p;
  p.remoteUrl = peer.url();
  p.localFile = dir + "/r.bin";
  p.receiveTimeoutMs = 3000;
  {
    Waiter w;
    EXPECT_FALSE(runOnce<HttpDownload>(p, w).succeeded);
  }
  ASSERT_EQ(LocalFile::sizeOf(p.localFile), 90000);
  peer.setBehaviour({body});
  Waiter w;
  w.conflictAnswer = false;  // continue the partial file
  TransferReport r = runOnce<HttpDownload>(p, w);
  ASSERT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.startOffset, 90000);
  EXPECT_NE(peer.requests().back().find("\r\nRange: bytes=90000-\r\n"), std::string::npos);
  EXPECT_EQ(md5OfFile(p.localFile), md5OfBytes(body));

  // A finished file is never discarded; a partial one is.
  HttpDownload done;
  EXPECT_TRUE(done.discardPartialFile());
  peer.setBehaviour(cut);
  const std::string partial = dir + "/p.bin";
  p.localFile = partial;
  HttpDownload t;
  Waiter w2;
  p.onFinished = w2.handler();
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w2.waitEnded(20000));
  ASSERT_EQ(LocalFile::sizeOf(partial), 90000);
  EXPECT_TRUE(t.discardPartialFile());
  EXPECT_FALSE(std::filesystem::exists(partial));
  EXPECT_TRUE(std::filesystem::exists(dir + "/r.bin"));
  removeTree(dir);
}

struct UploadCase {
  const char* label;
  std::vector<std::string> peerOptions;
  std::int64_t remotePartial;  // bytes already on the server (resume), 0: none
  bool succeeds;
  Outcome outcome;
  bool remoteWhole;  // the server ends with exactly the local bytes
};

TEST(UploadFaults, RestAndSizeDecideTheOutcome) {
  const std::string bytes = trickyBytes(180000, 41);
  const UploadCase cases[] = {
      {"REST 502: sent again from 0", {"--rest-reply", "502 Command not implemented."}, 60000, true,
       Outcome::Completed, true},
      {"REST 504: sent again from 0", {"--rest-reply", "504 Not implemented for that parameter."}, 60000, true,
       Outcome::Completed, true},
      {"REST 200 without effect: sent again from 0", {"--rest-reply", "200 Ignored."}, 60000, true,
       Outcome::Completed, true},
      {"REST 350: continued", {}, 60000, true, Outcome::Completed, true},
      {"SIZE disagrees after 226", {"--size-offset", "7"}, 0, false, Outcome::NetworkError, true},
  };
  for (const auto& c : cases) {
    FtpPeer peer(c.peerOptions);
    ASSERT_TRUE(peer.ok()) << c.label;
    const std::string dir = makeTempDir("upf");
    writeFile(dir + "/u.tnwklswj", bytes);
    if (c.remotePartial > 0) writeFile(peer.folder() + "/u.tnwklswj", bytes.substr(0, c.remotePartial));
    TransferParams p;
    p.resumeUpload = c.remotePartial > 0;
    p.remoteUrl = peer.url("u.tnwklswj");
    p.localFile = dir + "/u.tnwklswj";
    p.sendBlockBytes = 20480;
    p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 5000;
    Waiter w;
    TransferReport r = runOnce<FtpUpload>(p, w);
    EXPECT_EQ(r.succeeded, c.succeeds) << c.label << ": " << r.error;
    EXPECT_EQ(r.outcome, c.outcome) << c.label << ": " << outcomeName(r.outcome) << " " << r.error;
    const std::string remote = readFile(peer.folder() + "/u.tnwklswj");
    if (c.remoteWhole) {
      EXPECT_TRUE(sameBytes(remote, bytes)) << c.label << "\n" << peer.log();
    }
    removeTree(dir);
  }
}

TEST(UploadFaults, AnInterruptedUploadGoesOnOnAFreshObject) {
  FtpPeer peer;
  ASSERT_TRUE(peer.ok());
  const std::string dir = makeTempDir("upr");
  const std::string bytes = trickyBytes(3 << 20, 43);
  writeFile(dir + "/big.tnwklswj", bytes);
  TransferParams p;
  p.remoteUrl = peer.url("big.tnwklswj");
  p.localFile = dir + "/big.tnwklswj";
  p.sendBlockBytes = 20480;
  p.rateLimit = 1 << 20;
  p.closeWaitMs = 3000;
  {
    Waiter w;
    p.onFinished = w.handler();
    FtpUpload t;
    ASSERT_TRUE(t.start(p));
    std::this_thread::sleep_for(700ms);
    t.close();
    ASSERT_TRUE(w.waitEnded(5000));
    EXPECT_EQ(w.report.outcome, Outcome::Closed);
  }
  std::this_thread::sleep_for(300ms);  // the server has written what it received
  const std::int64_t partial = LocalFile::sizeOf(peer.folder() + "/big.tnwklswj");
  ASSERT_GT(partial, 0);
  ASSERT_LT(partial, static_cast<std::int64_t>(bytes.size()));
  p.resumeUpload = true;
  p.rateLimit = 0;
  Waiter w;
  TransferReport r = runOnce<FtpUpload>(p, w);
  ASSERT_TRUE(r.succeeded) << r.error;
  EXPECT_EQ(r.startOffset, partial);
  EXPECT_EQ(md5OfFile(peer.folder() + "/big.tnwklswj"), md5OfBytes(bytes));
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
