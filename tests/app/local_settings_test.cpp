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
    app::PasswordPlace place;
    bool filled;
    bool inKeyring;  // the file keeps the account alone
  } cases[] = {
      {"demo", "demo123", app::PasswordPlace::File, true, false},
      {"张三", "密码", app::PasswordPlace::File, true, false},
      {"demo", "", app::PasswordPlace::File, true, true},        // "demo切割" reads as the account alone
      {"demo", "a切割b", app::PasswordPlace::File, false, false},  // three pieces
      {"", "pw", app::PasswordPlace::File, true, false},         // "切割pw": an empty first piece still counts
      {"张三", "a切割b", app::PasswordPlace::Keyring, true, true},
  };
  for (const Case& c : cases) {
    app::rememberLoginAttempt(m_dir, true, gbk(c.account), gbk(c.password), c.place);
    const app::RememberedLogin r = app::readRememberedLogin(m_dir);
    EXPECT_TRUE(r.remember) << c.account << "/" << c.password;
    EXPECT_EQ(r.filled, c.filled) << c.account << "/" << c.password;
    EXPECT_EQ(r.passwordInKeyring, c.inKeyring) << c.account << "/" << c.password;
    if (c.filled) {
      EXPECT_EQ(r.account, gbk(c.account));
      EXPECT_EQ(r.password, c.inKeyring ? "" : gbk(c.password));
    }
  }
  // The keyring's layout is the old one with an empty password.
  std::ifstream in(app::credentialsFile(m_dir), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), gbk("[帐号密码]\r\n存储=张三切割\r\n"));
}

TEST(KeyringPlan, OffersTextPasswordsAndForgetsAccountsNoLongerRemembered) {
  const app::RememberedLogin none;
  const app::RememberedLogin demo = app::parseRememberedLogin("demo" + gbk("切割"));
  const app::RememberedLogin unsplit = app::parseRememberedLogin(gbk("a切割b切割c"));
  const std::string badGbk = "pw\x81";  // a lead byte without its trail byte
  struct Case {
    const char* what;
    const app::RememberedLogin& before;
    bool ticked;
    std::string account;
    std::string password;
    bool offer;
    std::optional<std::string> forget;
  } cases[] = {
      {"first ticked login", none, true, "demo", "demo123", true, std::nullopt},
      {"same account again", demo, true, "demo", "demo123", true, std::nullopt},
      {"another account", demo, true, "bob", "pw", true, "demo"},
      {"bytes the keyring's text cannot carry", none, true, "demo", badGbk, false, std::nullopt},
      {"unticked, same account", demo, false, "demo", "x", false, "demo"},
      {"unticked, other account", demo, false, "bob", "x", false, "demo"},
      {"unticked, nothing remembered", none, false, "bob", "x", false, std::nullopt},
      {"unticked, unreadable file", unsplit, false, "bob", "x", false, std::nullopt},
  };
  for (const Case& c : cases) {
    const app::KeyringPlan plan = app::planKeyring(c.before, c.ticked, c.account, c.password);
    EXPECT_EQ(plan.offerPassword, c.offer) << c.what;
    EXPECT_EQ(plan.forget, c.forget) << c.what;
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
