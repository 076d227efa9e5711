#include "app/transfer_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/local_settings.h"

namespace fs = std::filesystem;
namespace app = tarnwick::app;

namespace {

class TransferSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarnwick-transfer-XXXXXX";
    m_dir = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  void writeFile(const std::string& gbkText) { std::ofstream(app::skinSettingsFile(m_dir), std::ios::binary) << gbkText; }
  std::string fileText() {
    std::ifstream in(app::skinSettingsFile(m_dir), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path m_dir;
};

// 配置.ini as GBK: [传输] with the four keys.
std::string iniText(const char* uploads, const char* downloads, const char* up, const char* down) {
  return std::string("[\xb4\xab\xca\xe4]\r\n") + "\xcd\xac\xca\xb1\xc9\xcf\xb4\xab\xca\xfd=" + uploads + "\r\n" +
         "\xcd\xac\xca\xb1\xcf\xc2\xd4\xd8\xca\xfd=" + downloads + "\r\n" + "\xc9\xcf\xb4\xab\xcf\xde\xcb\xd9=" + up +
         "\r\n" + "\xcf\xc2\xd4\xd8\xcf\xde\xcb\xd9=" + down + "\r\n";
}

}  // namespace

TEST_F(TransferSettingsFile, MissingFileGivesDefaults) {
  EXPECT_EQ(app::readTransferSettings(m_dir), app::TransferSettings{});
  EXPECT_EQ(app::readTransferSettings(m_dir).uploads, 2);
  EXPECT_EQ(app::readTransferSettings(m_dir).downloads, 3);
}

// A value that is not a whole number within its range reads as the default,
// never as a clamped or partly parsed number.
TEST_F(TransferSettingsFile, ValuesOutsideTheirRangeReadAsDefaults) {
  struct Case {
    const char *uploads, *downloads, *up, *down;
    app::TransferSettings want;
  };
  const Case cases[] = {
      {"1", "10", "0", "1048576", {1, 10, 0, 1048576}},
      {"5", "4", "200", "512", {5, 4, 200, 512}},
      {"0", "11", "-1", "1048577", {2, 3, 0, 0}},
      {"3x", "+4", "2.5", "99999999999", {2, 3, 0, 0}},
      {"", "-3", "abc", "", {2, 3, 0, 0}},
  };
  for (const Case& c : cases) {
    writeFile(iniText(c.uploads, c.downloads, c.up, c.down));
    const app::TransferSettings got = app::readTransferSettings(m_dir);
    EXPECT_EQ(got.uploads, c.want.uploads) << c.uploads;
    EXPECT_EQ(got.downloads, c.want.downloads) << c.downloads;
    EXPECT_EQ(got.uploadRateKb, c.want.uploadRateKb) << c.up;
    EXPECT_EQ(got.downloadRateKb, c.want.downloadRateKb) << c.down;
  }
}

// Writing keeps the skin's section beside it and reads back as written.
TEST_F(TransferSettingsFile, WriteKeepsOtherSectionsAndReadsBack) {
  app::writeSkinSetting(m_dir, 7);
  const app::TransferSettings s{4, 6, 200, 1024};
  ASSERT_TRUE(app::writeTransferSettings(m_dir, s));
  EXPECT_EQ(app::readTransferSettings(m_dir), s);
  EXPECT_EQ(app::readSkinSetting(m_dir), "7");
  EXPECT_NE(fileText().find(iniText("4", "6", "200", "1024")), std::string::npos) << fileText();
}
