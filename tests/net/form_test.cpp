#include "net/form.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace tarnwick::net;

namespace {

TEST(Form, PercentEncodingTable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abcXYZ019-_.~", "abcXYZ019-_.~"},
      {"a&b=c", "a%26b%3Dc"},
      {"100% +", "100%25%20%2B"},
      {"\xCE\xC4\xBC\xFE", "%CE%C4%BC%FE"},
      {"\x81|", "%81%7C"},
      {std::string("a\0b", 3), "a%00b"},
      {"/?#\r\n", "%2F%3F%23%0D%0A"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(percentEncode(in), out) << in;
}

TEST(Form, PairsInOrderKeysAsGiven) {
  FormBuilder f;
  EXPECT_TRUE(f.empty());
  f.add("zh", "me&you").add("mm", "p=w d").add("ml", "");
  EXPECT_EQ(f.str(), "zh=me%26you&mm=p%3Dw%20d&ml=");
}

TEST(Form, CharsetConversionBeforeEncoding) {
  FormBuilder f;
  f.add("g", "\xCE\xC4", Charset::Gbk).add("u", "\xCE\xC4", Charset::Utf8).addRaw("r", "\xE6\x96\x87");
  EXPECT_EQ(f.str(), "g=%CE%C4&u=%E6%96%87&r=%E6%96%87");
}

TEST(Form, WithQuery) {
  FormBuilder q;
  q.add("pid", "7").add("ml", "0");
  EXPECT_EQ(withQuery("http://h/wdwj.php", q), "http://h/wdwj.php?pid=7&ml=0");
  EXPECT_EQ(withQuery("http://h/a.php?x=1", q), "http://h/a.php?x=1&pid=7&ml=0");
  EXPECT_EQ(withQuery("http://h/a.php?", q), "http://h/a.php?pid=7&ml=0");
  EXPECT_EQ(withQuery("http://h/a.php", FormBuilder{}), "http://h/a.php");
}

}  // namespace
