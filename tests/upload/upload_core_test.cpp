// The pure half of the client upload: what goes on the wire, how replies
// are judged, the numbers the page shows.
#include <gtest/gtest.h>

#include "transfer/upload_progress.h"
#include "transfer/upload_requests.h"

using namespace tarnwick::transfer;

namespace {

const UploadTarget kTarget{"http://127.0.0.1:8080", "de&mo", 12};

TEST(UploadRequests, InstantAndRegistrationWireBytes) {
  // "报告 a&b=c.txt" in GBK: each byte of the name and of the account is percent-encoded.
  const std::string name = "\xb1\xa8\xb8\xe6 a&b=c.txt";
  EXPECT_EQ(instantUploadRequest(kTarget, "0123456789abcdef0123456789abcdef", name),
            (UploadRequest{"http://127.0.0.1:8080/jsmc.php?bsm=de%26mo&mlid=12&md5=0123456789abcdef0123456789abcdef",
                           "wjdl=%B1%A8%B8%E6%20a%26b%3Dc.txt"}));
  EXPECT_EQ(registerUploadRequest({"http://h", "demo", -3}, name),
            (UploadRequest{"http://h/tjwj.php?bsm=demo&mlid=-3", "wjdl=%B1%A8%B8%E6%20a%26b%3Dc.txt"}));
  EXPECT_EQ(webUploadUrl("http://sc", "demo", 7), "http://sc/sc/index2.php?zh=demo&ml=7");
}

TEST(UploadRequests, ReplyJudging) {
  struct Case {
    const char* reply;
    std::optional<std::int64_t> id;
  } cases[] = {
      {"INSERT INTO `wenjian` (`id`) VALUES (57);xxxx57x", 57},
      {"\r\nINSERT INTO `wenjian` xxxx4096xx", 4096},
      {"0", std::nullopt},
      {"", std::nullopt},
      {"insert into `wenjian` xxxx5x", std::nullopt},  // the marker is case-sensitive
      {"INSERT INTO wenjian xxxx5x", std::nullopt},
      {"<html>500 Internal Server Error</html>", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(uploadedFileId(c.reply), c.id) << c.reply;
}

TEST(UploadProgress, SizeTextAndPercent) {
  struct Size {
    std::int64_t bytes;
    const char* text;
    std::int64_t kb;
  } sizes[] = {{1536, "1.5KB", 1}, {1000, "0.9765625KB", 0}, {0, "0KB", 0},
               {5LL << 30, "5242880KB", 5242880}, {1023, "0.9990234375KB", 0}};
  for (const Size& s : sizes) {
    EXPECT_EQ(uploadSizeText(s.bytes), s.text) << s.bytes;
    EXPECT_EQ(wholeKilobytes(s.bytes), s.kb) << s.bytes;
  }
  struct Percent {
    std::int64_t done, size;
    int percent;
  } percents[] = {{1536, 3072, 50}, {99, 200, 50}, {97, 200, 49}, {0, 0, 0},   {10, 0, 0},
                  {1, 3, 33},       {2, 3, 67},    {5, 4, 100},   {3LL << 31, 1LL << 33, 75}};
  for (const Percent& p : percents) EXPECT_EQ(uploadPercent(p.done, p.size), p.percent) << p.done << "/" << p.size;
}

TEST(UploadProgress, SpeedIsAveragedOverTheLastTicks) {
  SpeedAverage speed(3);
  EXPECT_EQ(speed.kilobytesPerSecond(), 0);
  speed.add(2560, 1000);  // 2.5 KB in one tick: the integer part
  EXPECT_EQ(speed.kilobytesPerSecond(), 2);
  // A late tick with twice the bytes is the same speed, not a jump.
  speed.add(1024 * 100, 1000);
  speed.add(1024 * 200, 2000);
  EXPECT_NEAR(speed.bytesPerSecond(), (2560 + 1024 * 300) * 1000.0 / 4000, 1e-6);
  // The oldest samples leave the window.
  speed.add(0, 1000);
  speed.add(0, 1000);
  speed.add(0, 1000);
  EXPECT_EQ(speed.kilobytesPerSecond(), 0);
}

}  // namespace
