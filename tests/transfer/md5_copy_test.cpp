// Streaming MD5 digests and sparse local-file offsets.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "ftp_peer.h"
#include "transfer/local_file.h"
#include "transfer/md5.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

TEST(Md5, KnownVectors) {
  struct Case {
    const char* input;
    const char* digest;
  } cases[] = {  // RFC 1321, appendix A.5
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  std::string dir = makeTempDir("md5");
  for (const auto& c : cases) {
    EXPECT_EQ(md5OfBytes(c.input), c.digest) << c.input;
    writeFile(dir + "/v", c.input);
    EXPECT_EQ(md5OfFile(dir + "/v"), c.digest) << c.input;
  }
  removeTree(dir);
}

std::string md5sumOf(const std::string& path) {
  std::string cmd = "md5sum '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return {};
  char buf[64] = {};
  std::size_t n = std::fread(buf, 1, 32, p);
  ::pclose(p);
  return std::string(buf, n);
}

TEST(Md5, LargeFileMatchesMd5sumAcrossBlockBoundaries) {
  std::string dir = makeTempDir("md5big");
  // 40 MiB plus an odd tail, so the last block is partial.
  writeFile(dir + "/big", trickyBytes((40u << 20) + 12345, 21));
  std::string expected = md5sumOf(dir + "/big");
  ASSERT_EQ(expected.size(), 32u);
  EXPECT_EQ(md5OfFile(dir + "/big"), expected);
  removeTree(dir);
}

TEST(Md5, UnreadableFileGivesTheEmptyText) {
  std::string error;
  EXPECT_EQ(md5OfFile("/nonexistent/file", &error), "");
  EXPECT_NE(error.find("/nonexistent/file"), std::string::npos);
  EXPECT_EQ(md5OfFile("/tmp", &error), "");  // a folder is no file
}

TEST(LocalFileTest, SparseOffsetsBeyondFourGiB) {
  std::string dir = makeTempDir("sparse");
  LocalFile f;
  ASSERT_TRUE(f.open(dir + "/s", LocalFile::Mode::Write));
  const std::int64_t far = (5LL << 30) + 3;  // past 4 GiB: 64-bit offsets
  ASSERT_TRUE(f.writeAt(far, "xyz", 3));
  EXPECT_EQ(f.size(), far + 3);
  f.close();
  EXPECT_EQ(LocalFile::sizeOf(dir + "/s"), far + 3);
  ASSERT_TRUE(f.open(dir + "/s", LocalFile::Mode::Read));
  char buf[8] = {};
  EXPECT_EQ(f.readAt(far + 1, buf, sizeof buf), 2);
  EXPECT_EQ(std::string(buf, 2), "yz");
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
