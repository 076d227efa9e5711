#include "app/local_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "net/text.h"

namespace fs = std::filesystem;
namespace app = tarnwick::app;

namespace {

std::string gbk(const char* utf8) { return tarnwick::net::fromUtf8(utf8); }

class Documents : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarnwick-docs-XXXXXX";
    m_dir = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

}  // namespace

TEST(SkinSetting, SelectorIndexForStoredValue) {
  const std::pair<const char*, int> cases[] = {
      {"", 0}, {"1", 0}, {"7", 6}, {"33", 32}, {"34", -1}, {"0", -1}, {"-2", -1}, {"abc", -1},
  };
  for (const auto& [value, index] : cases) EXPECT_EQ(app::skinIndexForSetting(value), index) << value;
}

TEST_F(Documents, FreshMachineHasNoSkinAndNoLogin) {
  EXPECT_EQ(app::readSkinSetting(m_dir), "");
  EXPECT_EQ(app::skinIndexForSetting(app::readSkinSetting(m_dir)), 0);
  const app::RememberedLogin r = app::readRememberedLogin(m_dir);
  EXPECT_FALSE(r.remember);
  EXPECT_FALSE(r.filled);
}

TEST_F(Documents, SkinIsStoredUnderItsSectionAndKey) {
  app::writeSkinSetting(m_dir, 12);
  EXPECT_EQ(app::readSkinSetting(m_dir), "12");
  EXPECT_TRUE(fs::exists(m_dir / fs::path(u8"配置.ini")));
}

TEST_F(Documents, RememberedLoginCases) {
  struct Case {
    const char* account;
    const char* password;
    bool filled;
  } cases[] = {
      {"demo", "demo123", true},
      {"张三", "密码", true},
      {"demo", "", false},          // stored "demo切割": the empty last piece is dropped
      {"demo", "a切割b", false},    // three pieces
      {"", "pw", true},             // "切割pw": an empty first piece still counts
  };
  for (const Case& c : cases) {
    app::rememberLoginAttempt(m_dir, true, gbk(c.account), gbk(c.password));
    const app::RememberedLogin r = app::readRememberedLogin(m_dir);
    EXPECT_TRUE(r.remember) << c.account << "/" << c.password;
    EXPECT_EQ(r.filled, c.filled) << c.account << "/" << c.password;
    if (c.filled) {
      EXPECT_EQ(r.account, gbk(c.account));
      EXPECT_EQ(r.password, gbk(c.password));
    }
  }
}

TEST_F(Documents, CredentialsFileIsOwnerOnlyAndUntickedDeletesIt) {
  app::rememberLoginAttempt(m_dir, true, "demo", "demo123");
  const fs::path f = app::credentialsFile(m_dir);
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  app::rememberLoginAttempt(m_dir, false, "demo", "demo123");
  EXPECT_FALSE(fs::exists(f));
  EXPECT_FALSE(app::readRememberedLogin(m_dir).remember);
  // Deleting a file that is not there is quietly nothing.
  app::rememberLoginAttempt(m_dir, false, "x", "y");
  EXPECT_FALSE(fs::exists(f));
}

// Any password comes back byte for byte, blanks and quotes included; a file
// written by an earlier version reads as it did.
TEST_F(Documents, RememberedPasswordRoundTripsByteForByte) {
  const std::string passwords[] = {" lead", "trail ", "\tboth\t", "\"quoted\"", "'single'", "\"",
                                   "a\"",   "'b",     "in side",  "plain",      "x=y"};
  for (const std::string& pw : passwords) {
    app::rememberLoginAttempt(m_dir, true, " acc", pw);
    const app::RememberedLogin r = app::readRememberedLogin(m_dir);
    EXPECT_TRUE(r.filled) << pw;
    EXPECT_EQ(r.password, pw);
    EXPECT_EQ(r.account, " acc") << pw;
  }
  std::ofstream(app::credentialsFile(m_dir), std::ios::binary)
      << gbk("[帐号密码]\r\n存储= demo切割\"pw\" \r\n");
  const app::RememberedLogin old = app::readRememberedLogin(m_dir);
  EXPECT_EQ(old.account, "demo");
  EXPECT_EQ(old.password, "\"pw\"");
}
