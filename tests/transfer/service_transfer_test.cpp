// Uploads to and downloads from the local service: its FTP server records
// every command in ftp.log, its storage host answers Range requests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ftp_peer.h"
#include "transfer/local_file.h"
#include "transfer/md5.h"
#include "transfer/ftp_upload.h"
#include "transfer/http_download.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class ServiceTransfer : public ::testing::Test {
protected:
  void SetUp() override {
    m_data = env("TARNWICK_SERVICE_DATA");
    m_ftp = env("TARNWICK_FTP_HOST");
    m_storage = env("TARNWICK_STORAGE_HOST");
    if (m_data.empty() || m_ftp.empty() || m_storage.empty()) GTEST_SKIP() << "no service";
    m_dir = makeTempDir("svc");
  }
  void TearDown() override { removeTree(m_dir); }
  std::string m_data, m_ftp, m_storage, m_dir;
};

TEST_F(ServiceTransfer, BinaryUploadIsStoredUnchangedAndSentAsTypeI) {
  const std::string bytes = trickyBytes(500000, 17);
  const std::string name = "transfer-test-" + std::to_string(::getpid()) + ".tnwklswj";
  writeFile(m_dir + "/" + name, bytes);
  Waiter w;
  TransferParams p;
  p.remoteUrl = "ftp://" + m_ftp + "/" + name;
  p.localFile = m_dir + "/" + name;
  p.ftpUser = p.ftpPassword = "";
  p.connectTimeoutMs = p.sendTimeoutMs = p.receiveTimeoutMs = 5000;
  p.sendBlockBytes = 20480;
  p.onFinished = w.handler();
  FtpUpload t;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w.waitEnded(30000));
  ASSERT_TRUE(w.report.succeeded) << w.report.error;
  EXPECT_EQ(md5OfFile(m_data + "/ftp/" + name), md5OfBytes(bytes));
  const std::string log = readFile(m_data + "/ftp.log");
  std::size_t stor = log.find("STOR " + name);
  ASSERT_NE(stor, std::string::npos) << log;
  std::size_t type = log.rfind("TYPE ", stor);
  ASSERT_NE(type, std::string::npos);
  EXPECT_EQ(log.substr(type, 6), "TYPE I");
  EXPECT_NE(log.find("REST 0", type), std::string::npos);
  std::filesystem::remove(m_data + "/ftp/" + name);
}

TEST_F(ServiceTransfer, AGbkNameWithASpaceArrivesUnderItsOwnBytes) {
  // "测试" in GBK, as the client's texts hold it.
  const std::string name = "\xb2\xe2\xca\xd4 " + std::to_string(::getpid()) + ".tnwklswj";
  writeFile(m_dir + "/local", "content");
  Waiter w;
  TransferParams p;
  p.remoteUrl = "ftp://" + m_ftp + "/" + name;
  p.localFile = m_dir + "/local";
  p.onFinished = w.handler();
  FtpUpload t;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w.waitEnded(30000));
  ASSERT_TRUE(w.report.succeeded) << w.report.error;
  EXPECT_EQ(readFile(m_data + "/ftp/" + name), "content");
  std::filesystem::remove(m_data + "/ftp/" + name);
}

TEST_F(ServiceTransfer, DownloadOfAStoredFileResumesAndMissingFilesAreRefused) {
  // A seeded stored file: data/storage/<member>/<name>, served as /up/<member>/<name>.
  std::string rel;
  for (const auto& e : std::filesystem::recursive_directory_iterator(m_data + "/storage"))
    if (e.is_regular_file() && e.file_size() > 10) {
      rel = std::filesystem::relative(e.path(), m_data + "/storage").string();
      break;
    }
  ASSERT_FALSE(rel.empty());
  const std::string original = readFile(m_data + "/storage/" + rel);
  writeFile(m_dir + "/got", original.substr(0, original.size() / 2));

  Waiter w;
  w.conflictAnswer = false;  // continue the partial file
  TransferParams p;
  p.remoteUrl = m_storage + "/up/" + rel;
  p.localFile = m_dir + "/got";
  p.onFinished = w.handler();
  HttpDownload t;
  ASSERT_TRUE(t.start(p));
  ASSERT_TRUE(w.waitEnded(30000));
  ASSERT_TRUE(w.report.succeeded) << w.report.error;
  EXPECT_EQ(w.report.status, 206);
  EXPECT_EQ(w.report.startOffset, static_cast<std::int64_t>(original.size() / 2));
  EXPECT_TRUE(sameBytes(readFile(m_dir + "/got"), original));

  Waiter missing;
  p.remoteUrl = m_storage + "/up/no/such-file.bin";
  p.localFile = m_dir + "/none";
  p.onFinished = missing.handler();
  HttpDownload t2;
  ASSERT_TRUE(t2.start(p));
  ASSERT_TRUE(missing.waitEnded(30000));
  EXPECT_EQ(missing.report.outcome, Outcome::ServerRefused);
  EXPECT_EQ(missing.report.status, 404);
  EXPECT_FALSE(std::filesystem::exists(m_dir + "/none"));
}

}  // namespace
}  // namespace tarnwick::transfer::test
