// The download manager's pure rules: storage address, safe names, the folder
// separator, the rename rule and the progress texts.

#include "transfer/download_plan.h"

#include <gtest/gtest.h>

#include <set>

using namespace tarnwick::transfer;

TEST(DownloadPlan, StorageAddressNeedsTheMarker) {
  struct Case {
    const char* page;
    const char* expected;
  } cases[] = {
      {"<p><a href=\"/up/a\">下载</a><span style=\"display:none\">bsmzdyd1001/7/a.zip</span></p>",
       "http://s:9/up/1001/7/a.zip"},
      {"bsmzdydx<bsmzdydy<", "http://s:9/up/x"},  // the first marker counts
      {"", ""},
      {"<form>访问密码：<input name=\"srmm\"></form>", ""},
      {"bsmzdyd<", ""},        // nothing behind the marker
      {"bsmzdyd1001/a", ""},   // no end marker
  };
  for (const auto& c : cases) EXPECT_EQ(storageAddress(c.page, "http://s:9"), c.expected) << c.page;
  EXPECT_EQ(addressPageUrl("http://m", "42", "pw"), "http://m/ym.php?pid=42&srmm=pw");
  // A password with the separators of a query reaches the service whole.
  EXPECT_EQ(addressPageUrl("http://m", "42", "a#b&c=d"), "http://m/ym.php?pid=42&srmm=a%23b%26c%3Dd");
}

TEST(DownloadPlan, SafeNamesStayInsideTheFolder) {
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"a.zip", "a.zip"},
      {"../../etc/passwd", "passwd"},
      {"..\\..\\boot.ini", "boot.ini"},
      {"..", "下载文件"},
      {"...hidden", "hidden"},
      {"dir/", "下载文件"},
      {"a\tb\r\n.txt", "ab.txt"},
      {"报告 2026.doc", "报告 2026.doc"},
      {"trailing. ", "trailing"},
  };
  for (const auto& c : cases) {
    const std::string got = safeFileName(c.name);
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(got.find('/'), std::string::npos);
    EXPECT_NE(got.rfind("..", 0), 0u);
  }
}

// Names at the file systems' 255-byte limit: cut at a character boundary,
// the short extension kept, and still fitting with the rename rule's number.
TEST(DownloadPlan, LongNamesFitTheFileSystem) {
  const auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const std::string cjk = "报";  // 3 bytes
  struct Case {
    const char* what;
    std::string name, expected;
  } cases[] = {
      {"exactly 255 bytes: kept", std::string(251, 'a') + ".txt", std::string(251, 'a') + ".txt"},
      {"256 bytes: one byte off the base", std::string(252, 'a') + ".txt", std::string(251, 'a') + ".txt"},
      {"86 CJK characters: the base cut", repeat(cjk, 86) + ".txt", repeat(cjk, 83) + ".txt"},
      {"a 3-byte character across the limit goes whole", "a" + repeat(cjk, 84) + ".txt",
       "a" + repeat(cjk, 83) + ".txt"},
      {"no extension", repeat(cjk, 90), repeat(cjk, 85)},
      {"an extension over 16 bytes is cut like the base", std::string(200, 'a') + "." + std::string(80, 'e'),
       std::string(200, 'a') + "." + std::string(54, 'e')},
      {"an extension of 16 bytes stays", std::string(300, 'a') + "." + std::string(15, 'e'),
       std::string(239, 'a') + "." + std::string(15, 'e')},
      {"a cut that ends in blanks loses them", std::string(250, 'a') + "    x.zip",
       std::string(250, 'a') + ".zip"},
  };
  for (const auto& c : cases) {
    const std::string got = safeFileName(c.name);
    EXPECT_EQ(got, c.expected) << c.what;
    EXPECT_LE(got.size(), kMaxFileNameBytes) << c.what;
  }
  // The rename rule's number goes in front: the base gives way, number and extension stay.
  const auto none = [](const std::string&) { return false; };
  const std::string name = std::string(249, 'n') + ".mp4";  // 253 bytes
  EXPECT_EQ(renamedTarget("/d/", name, [] { return 12345; }, none), "/d/12345" + std::string(246, 'n') + ".mp4");
  EXPECT_EQ(renamedTarget("/d/", repeat(cjk, 84), [] { return 12345; }, none), "/d/12345" + repeat(cjk, 83));
  EXPECT_EQ(renamedTarget("/d/", "a.zip", [] { return 12345; }, none), "/d/12345a.zip");
}

TEST(DownloadPlan, FolderGetsExactlyOneSeparator) {
  struct Case {
    const char* folder;
    const char* expected;
  } cases[] = {{"/home/u/Desktop", "/home/u/Desktop/"}, {"/home/u/Desktop/", "/home/u/Desktop/"},
               {"/", "/"}, {"/a//b\\\\", "/a/b/"}};
  for (const auto& c : cases) EXPECT_EQ(folderWithSeparator(c.folder), c.expected) << c.folder;
}

TEST(DownloadPlan, RenameDrawsAgainWhileTakenAndGivesUpBounded) {
  std::vector<int> draws = {23817, 23817, 40000};
  std::size_t next = 0;
  std::set<std::string> taken = {"/d/23817a.zip"};
  const auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
  EXPECT_EQ(renamedTarget("/d/", "a.zip", [&] { return draws[next++]; }, exists), "/d/40000a.zip");
  EXPECT_EQ(next, 3u);
  int calls = 0;
  EXPECT_EQ(renamedTarget("/d/", "a.zip", [&] { ++calls; return 23817; }, exists, 5), "");
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(renamedTarget("/d/", "a.zip", [] { return 99999; }, exists), "/d/50000a.zip");  // kept in range
}

TEST(DownloadPlan, ProgressAndSpeedTexts) {
  EXPECT_EQ(progressText(0, 1000), "0%");
  EXPECT_EQ(progressText(999, 1000), "99%");
  EXPECT_EQ(progressText(1000, 1000), "100%");
  EXPECT_EQ(progressText(5000, 1000), "100%");
  EXPECT_EQ(progressText(10, -1), "0%");
  EXPECT_EQ(speedText(2048 * 1024, 2000), "1024KB");  // per second, not per tick
  EXPECT_EQ(speedText(100, 0), "0KB");
  EXPECT_EQ(sizeFromText("1.5KB"), 1536);
  EXPECT_EQ(sizeFromText("2MB"), 2 << 20);
  EXPECT_EQ(sizeFromText("512B"), 512);
  EXPECT_EQ(sizeFromText("abc"), -1);
}

// Sizes from a server's headers reach 18 digits: the texts neither overflow
// nor turn an unbounded size text into a number.
TEST(DownloadPlan, HugeNumbersStayInRange) {
  struct Case {
    std::int64_t done, total;
    const char* progress;
  } cases[] = {
      {7015482757629804543, 8192, "100%"},  // the fuzzer's input
      {4611686018427387904, 9223372036854775807, "50%"},
      {1, 9223372036854775807, "0%"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressText(c.done, c.total), c.progress) << c.done;
  EXPECT_EQ(speedText(7015482757629804543, 8192), "836310715392804KB");
  for (const char* text : {"1e300GB", "inf", "nan", "-0x1p2000", "9300000000000000000"})
    EXPECT_EQ(sizeFromText(text), -1) << text;
  EXPECT_EQ(sizeFromText("8GB"), 8LL << 30);
}
