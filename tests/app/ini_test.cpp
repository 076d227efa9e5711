#include "app/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "app/local_settings.h"
#include "net/text.h"

namespace fs = std::filesystem;
using tarnwick::app::iniValue;
using tarnwick::app::setIniValue;

namespace {

std::string gbk(const char* utf8) { return tarnwick::net::fromUtf8(utf8); }

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarnwick-ini-XXXXXX";
    m_dir = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

}  // namespace

TEST(IniText, ReadsValuesAcrossSectionsAndLineEnds) {
  struct Case {
    const char* content;
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"[a]\r\nk=1\r\n[b]\r\nk=2\r\n", "b", "k", "2"},
      {"[a]\nk=1\n", "a", "k", "1"},           // LF-only file
      {"[A]\r\nKey = v w \r\n", "a", "key", "v w"},  // ASCII case, blanks around
      {"[a]\r\nk=\"quoted\"\r\n", "a", "k", "quoted"},
      {"[a]\r\nk=1\r\n", "a", "missing", ""},
      {"[a]\r\nk=1\r\n", "b", "k", ""},
      {"k=1\r\n[a]\r\n", "a", "k", ""},  // a key before any section belongs to none
      {"", "a", "k", ""},
      {"[a]\r\nk=x=y\r\n", "a", "k", "x=y"},  // only the first "=" separates
  };
  for (const Case& c : cases)
    EXPECT_EQ(iniValue(c.content, c.section, c.key), c.expected) << c.content;
}

TEST(IniText, SetKeepsOtherLinesAndReplacesInPlace) {
  const std::string start = "[a]\r\nx=1\r\nk=old\r\n\r\n[b]\r\nk=2\r\n";
  const std::string replaced = setIniValue(start, "a", "k", "new");
  EXPECT_EQ(replaced, "[a]\r\nx=1\r\nk=new\r\n\r\n[b]\r\nk=2\r\n");
  const std::string added = setIniValue(start, "a", "y", "3");
  EXPECT_EQ(added, "[a]\r\nx=1\r\nk=old\r\ny=3\r\n\r\n[b]\r\nk=2\r\n");
  EXPECT_EQ(setIniValue("", "s", "k", "v"), "[s]\r\nk=v\r\n");
  EXPECT_EQ(setIniValue("[b]\r\nk=2\r\n", "s", "k", "v"), "[b]\r\nk=2\r\n[s]\r\nk=v\r\n");
}

TEST(IniText, LongValuesAreCutToTheReadBuffer) {
  const std::string longValue(20000, 'x');
  const std::string content = setIniValue("", "a", "k", longValue);
  EXPECT_EQ(iniValue(content, "a", "k").size(), tarnwick::app::kIniValueBuffer - 1);
}

TEST_F(TempDir, WriteCreatesPrivateProfileFileAndRoundTripsGbk) {
  const fs::path f = m_dir / "x.ini";
  const std::string section = gbk("帐号密码"), key = gbk("存储"), value = gbk("张三切割密码");
  ASSERT_TRUE(tarnwick::app::writeIniValue(f, section, key, value));
  EXPECT_EQ(slurp(f), "[" + section + "]\r\n" + key + "=" + value + "\r\n");
  EXPECT_EQ(tarnwick::app::readIniValue(f, section, key), value);
  ASSERT_TRUE(tarnwick::app::writeIniValue(f, section, key, "2"));
  EXPECT_EQ(tarnwick::app::readIniValue(f, section, key), "2");
  // Nothing but the file itself is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(TempDir, OwnerOnlyFileHasMode0600EvenWhenReplacingAnOpenOne) {
  const fs::path f = m_dir / "cred.iniat";
  {
    std::ofstream old(f);
    old << "[a]\r\nk=1\r\n";
  }
  fs::permissions(f, fs::perms::all);
  ASSERT_TRUE(tarnwick::app::writeIniValue(f, "a", "k", "2", tarnwick::app::IniAccess::OwnerOnly));
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(tarnwick::app::readIniValue(f, "a", "k"), "2");
}

TEST_F(TempDir, WriteIntoMissingFolderFailsWithoutCreatingAnything) {
  EXPECT_FALSE(tarnwick::app::writeIniValue(m_dir / "no" / "x.ini", "a", "k", "v"));
  EXPECT_FALSE(fs::exists(m_dir / "no"));
}
