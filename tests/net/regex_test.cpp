#include "net/regex.h"

#include <gtest/gtest.h>

#include "net/text.h"

using namespace tarnwick::net;

namespace {

// The listing's file-row pattern (GBK), ending with a carriage return.
std::string rowPattern() {
  return "<div style=\"display:none;\">pid\xA3\xBA.*?<\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA.*?<"
         "\xB4\xF3\xD0\xA1\xA3\xBA.*?<\xC8\xD5\xC6\xDA\xA3\xBA.*?<\xCF\xC2\xD4\xD8\xC1\xBF\xA3\xBA.*?< </div>\r";
}

std::string row(const std::string& id, const std::string& name, const std::string& size) {
  return "<div style=\"display:none;\">pid\xA3\xBA" + id + "<\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA" + name +
         "<\xB4\xF3\xD0\xA1\xA3\xBA" + size + "<\xC8\xD5\xC6\xDA\xA3\xBA" "2024-03-07<\xCF\xC2\xD4\xD8\xC1\xBF\xA3\xBA" "5< </div>";
}

TEST(Regex, AllMatchesInOrderWithPositionsAndGroups) {
  Regex re;
  ASSERT_TRUE(re.compile("(a)(x)?b"));
  const auto& m = re.findAll("ab..AB.ab");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].text, "ab");
  EXPECT_EQ(m[0].position, 1);
  EXPECT_EQ(m[1].text, "AB");  // ignore-case is the default
  EXPECT_EQ(m[1].position, 5);
  EXPECT_EQ(m[2].position, 8);
  ASSERT_EQ(m[0].groups.size(), 2u);
  EXPECT_EQ(m[0].groups[0], "a");
  EXPECT_EQ(m[0].groups[1], "");

  ASSERT_TRUE(re.compile("ab", false));
  EXPECT_EQ(re.findAll("ab AB").size(), 1u);
  EXPECT_EQ(re.matches().size(), 1u);
}

TEST(Regex, InvalidPatternMatchesNothing) {
  Regex re;
  ASSERT_TRUE(re.compile("a"));
  re.findAll("aaa");
  EXPECT_FALSE(re.compile("(unclosed"));
  EXPECT_FALSE(re.valid());
  EXPECT_TRUE(re.matches().empty());
  EXPECT_TRUE(re.findAll("(unclosed").empty());
  EXPECT_EQ(re.replaceAll("abc", "x"), "abc");
}

TEST(Regex, ReplaceAllPerlFormat) {
  Regex re;
  ASSERT_TRUE(re.compile("(\\d+)-(\\d+)"));
  EXPECT_EQ(re.replaceAll("1-2 and 30-40", "$2:$1"), "2:1 and 40:30");
  ASSERT_TRUE(re.compile("<[^>]*>"));
  EXPECT_EQ(re.replaceAll("<b>x</b>y", ""), "xy");
}

TEST(Regex, RowPatternStaysOnItsLine) {
  Regex re;
  ASSERT_TRUE(re.compile(rowPattern()));
  const std::string page = "<html>\r\n" + row("11", "a.txt", "1KB") + "\r\n" +
                           row("12", "\xCE\xC4\xBC\xFE.zip", "2MB") + "\r\n" +
                           row("13", "no-cr.bin", "3KB") + "\n" +  // no carriage return: not a row
                           row("14", "d.txt", "4KB") + "\r\n</html>";
  const auto& m = re.findAll(page);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(textBetween(m[0].text, "\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA", "<"), "a.txt");
  EXPECT_EQ(textBetween(m[1].text, "\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA", "<"), "\xCE\xC4\xBC\xFE.zip");
  EXPECT_EQ(textBetween(m[1].text, ">pid\xA3\xBA", "<"), "12");
  // The row without its carriage return is skipped, not merged with the next one.
  EXPECT_EQ(textBetween(m[2].text, ">pid\xA3\xBA", "<"), "14");
  EXPECT_EQ(m[0].position, 9);
}

TEST(Regex, EachObjectIsIndependent) {
  Regex a, b;
  ASSERT_TRUE(a.compile("x"));
  ASSERT_TRUE(b.compile("y"));
  a.findAll("xxy");
  b.findAll("xxy");
  EXPECT_EQ(a.matches().size(), 2u);
  EXPECT_EQ(b.matches().size(), 1u);
}

}  // namespace
