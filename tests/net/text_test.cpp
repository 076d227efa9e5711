#include "net/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnwick::net;

namespace {

// GBK characters whose trail byte is an ASCII separator.
const std::string kBar = "\x81\x7C";        // 亅: trail byte "|"
const std::string kBackslash = "\xB0\x5C";  // 癨: trail byte "\"
const std::string kWen = "\xCE\xC4";        // 文
const std::string kJian = "\xBC\xFE";       // 件

struct FindCase {
  std::string text, sub;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(TextFind, Table) {
  const std::vector<FindCase> cases = {
      {"a=1&zh=abc", "zh=", 1, false, 5},
      {"abcabc", "abc", 2, false, 4},
      {"abcabc", "abc", 5, false, -1},
      {"abc", "", 1, false, 1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      {"abc", "abcd", 1, false, -1},
      {"ABC", "bc", 1, false, -1},
      {"ABC", "bc", 1, true, 2},
      {"abc", "c", 0, false, 3},    // start below 1 counts as 1
      {"abc", "c", 10, false, -1},  // start behind the text
      {kBar + "|", "|", 1, false, 3},
      {kBar, "|", 1, false, -1},
      {kBackslash + "x\\", "\\", 1, false, 4},
      {"x" + kWen + kJian, kJian, 1, false, 4},
      // the trail byte of 癨 is not taken for the "\" of a longer needle either
      {kBackslash + "n\\n", "\\n", 1, false, 4},
      // ignoring case never folds a trail byte: 0x81 0x41 is not 0x81 0x61
      {std::string("\x81\x41"), std::string("\x81\x61"), 1, true, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find(c.text, c.sub, c.start, c.ignoreCase), c.expected) << c.text << " / " << c.sub;
  }
}

TEST(TextFind, LastStepsWholeCharacters) {
  EXPECT_EQ(findLast("a|b|c", "|"), 4);
  EXPECT_EQ(findLast("a|b" + kBar, "|"), 2);
  EXPECT_EQ(findLast("abc", "x"), -1);
  EXPECT_EQ(findLast("aaaa", "aa"), 3);
  EXPECT_EQ(findLast("xABx", "ab", true), 2);
  EXPECT_EQ(findLast("", "a"), -1);
}

struct SplitCase {
  std::string text, separator;
  std::vector<std::string> expected;
};

TEST(TextSplit, Table) {
  const std::vector<SplitCase> cases = {
      {"1x2xx3x", "x", {"1", "2", "", "3"}},
      {"x", "x", {""}},
      {"xx", "x", {"", ""}},
      {"abc", "x", {"abc"}},
      {"", "x", {}},
      {"|a||b", "|", {"", "a", "", "b"}},
      {"a<>b<>", "<>", {"a", "b"}},
      {"a|" + kBar + "|b", "|", {"a", kBar, "b"}},
      {kBar + kBar, "|", {kBar + kBar}},
      {"c:" + kBackslash + "\\d", "\\", {"c:" + kBackslash, "d"}},
      {"abc", "", {"abc"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitText(c.text, c.separator), c.expected) << c.text;
  }
}

TEST(TextSplit, PieceAtIsCheckedAccess) {
  const Pieces p = splitText("a|b", "|");
  EXPECT_EQ(pieceAt(p, 0), "a");
  EXPECT_EQ(pieceAt(p, 1), "b");
  EXPECT_EQ(pieceAt(p, 2), "");
  EXPECT_EQ(pieceAt(Pieces{}, 0), "");
}

struct BetweenCase {
  std::string text, leftMarker, rightMarker, expected;
};

TEST(TextBetween, Table) {
  const std::vector<BetweenCase> cases = {
      {"a=1&zh=abc&x=2", "zh=", "&", "abc"},
      {"<b>x</b>", "<b>", "</b>", "x"},
      {"<b></b>", "<b>", "</b>", ""},
      {"a=1&zh=abc", "zh=", "&", ""},  // right marker missing behind the left one
      // Left marker missing: the right marker is searched from position
      // (length of the left marker - 1) and the bytes from there are returned.
      {"<!DOCTYPE html PUBLIC \"-//W3C", "sxwj.php?zh=", "\"", "html PUBLIC "},
      {"0123456789\"", "abcd", "\"", "23456789"},
      {"0123456789", "abcd", "\"", ""},
      // Left marker missing and of length 1: start position 0 is outside the text.
      {"ab\"", "z", "\"", ""},
      {"x" + kBar + "a<", kBar, "<", "a"},
      // "|" exists only as a trail byte: the left marker counts as missing.
      {kBar + "abcd<", "|", "<", ""},
      {"ab" + kBar + "cd|e<", "|", "<", "e"},
      {"name:" + kWen + kJian + "<", "name:", "<", kWen + kJian},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(textBetween(c.text, c.leftMarker, c.rightMarker), c.expected) << c.text;
  }
}

TEST(TextCut, LeftRightMidReplaceRange) {
  EXPECT_EQ(left("abcdef", 2), "ab");
  EXPECT_EQ(left("abc", 10), "abc");
  EXPECT_EQ(left("abc", 0), "");
  EXPECT_EQ(left("abc", -1), "");
  EXPECT_EQ(right("abcdef", 2), "ef");
  EXPECT_EQ(right("abc", 10), "abc");
  EXPECT_EQ(right("abc", 0), "");
  EXPECT_EQ(mid("abcdef", 2, 3), "bcd");
  EXPECT_EQ(mid("abcdef", 5, 10), "ef");
  EXPECT_EQ(mid("abcdef", 0, 2), "");
  EXPECT_EQ(mid("abcdef", 7, 2), "");
  EXPECT_EQ(mid("abcdef", 2, 0), "");
}

TEST(TextReplace, EveryOccurrenceWholeCharacters) {
  EXPECT_EQ(replaceText("a&nbsp;b&nbsp;&nbsp;c", "&nbsp;", " "), "a b  c");
  EXPECT_EQ(replaceText("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(replaceText("abc", "", "x"), "abc");
  EXPECT_EQ(replaceText("abc", "B", "x"), "abc");
  EXPECT_EQ(replaceText(kBar + "|", "|", "/"), kBar + "/");
  EXPECT_EQ(replaceText(kBackslash + "\\", "\\", "/"), kBackslash + "/");
}

TEST(TextCase, TrimAndCase) {
  EXPECT_EQ(trim("  a b  "), "a b");
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(trim(""), "");
  EXPECT_EQ(trim("\ta "), "\ta");
  EXPECT_EQ(toUpper("abc" + kWen + "xyz"), "ABC" + kWen + "XYZ");
  EXPECT_EQ(toLower("ABC"), "abc");
  // The trail byte 0x61 ("a") of a double-byte character stays as it is.
  EXPECT_EQ(toUpper(std::string("\x81\x61") + "a"), std::string("\x81\x61") + "A");
  EXPECT_EQ(toLower(std::string("\x81\x41") + "A"), std::string("\x81\x41") + "a");
}

TEST(TextNumber, ToText) {
  const std::vector<std::pair<double, std::string>> cases = {
      {1536.0 / 1024, "1.5"}, {1000.0 / 1024, "0.9765625"}, {1.0, "1"},     {0.0, "0"},
      {-2.25, "-2.25"},        {1.0 / 3, "0.3333333333333"}, {100.0, "100"}, {2.0 / 3, "0.6666666666667"},
      {0.00001, "0.00001"},    {123456.789, "123456.789"},  {-0.0, "0"},    {0.99999999999999, "1"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(numberToText(value), expected) << value;
  EXPECT_EQ(numberToText(42), "42");
  EXPECT_EQ(numberToText(-7), "-7");
  EXPECT_EQ(numberToText(static_cast<std::int64_t>(5000000000)), "5000000000");
}

TEST(TextNumber, FromText) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"12", 12},     {"12abc", 12},  {"  3.5x", 3.5}, {"-4", -4},  {"+4", 4}, {"abc", 0},
      {"", 0},        {"1.2.3", 1.2}, {".5", 0.5},     {"-", 0},    {"7" + kWen, 7},
  };
  for (const auto& [text, expected] : cases) EXPECT_DOUBLE_EQ(textToNumber(text), expected) << text;
  EXPECT_EQ(textToInt("3.9"), 3);
  EXPECT_EQ(textToInt("-3.9"), -3);
  EXPECT_EQ(textToInt("2147483648"), 2147483648LL);
  EXPECT_EQ(textToInt("x"), 0);
}

TEST(TextTime, DropsTrailingZeroFields) {
  auto at = [](int h, int m, int s) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
  };
  const std::string shi = "\xCA\xB1", fen = "\xB7\xD6", miao = "\xC3\xEB";
  EXPECT_EQ(timeOfDayText(at(9, 5, 3)), "9" + shi + "5" + fen + "3" + miao);
  EXPECT_EQ(timeOfDayText(at(0, 0, 3)), "0" + shi + "0" + fen + "3" + miao);
  EXPECT_EQ(timeOfDayText(at(14, 20, 0)), "14" + shi + "20" + fen);
  EXPECT_EQ(timeOfDayText(at(7, 0, 0)), "7" + shi);
  EXPECT_EQ(timeOfDayText(at(0, 0, 0)), "");
  EXPECT_EQ(dateTimeText(at(14, 20, 0)),
            "2024\xC4\xEA" "3\xD4\xC2" "7\xC8\xD5" "14" + shi + "20" + fen);
}

TEST(TextEncoding, RoundTripAndDrops) {
  const std::string gbk = "ab" + kWen + kJian + kBar + kBackslash;
  const std::string utf8 = "ab\xE6\x96\x87\xE4\xBB\xB6\xE4\xBA\x85\xE7\x99\xA8";  // ab文件亅癨
  EXPECT_EQ(toUtf8(gbk), utf8);
  EXPECT_EQ(fromUtf8(utf8), gbk);
  EXPECT_EQ(toUtf8(""), "");
  // An invalid UTF-8 byte is dropped, the rest converted.
  EXPECT_EQ(fromUtf8("a\xFF" "b\xE6\x96\x87"), "ab" + kWen);
  // A character GBK cannot hold (emoji) is dropped.
  EXPECT_EQ(fromUtf8("x\xF0\x9F\x98\x80y"), "xy");
  // A long text crosses the converter's buffer growth.
  std::string longGbk;
  for (int i = 0; i < 5000; ++i) longGbk += kWen + "a";
  EXPECT_EQ(fromUtf8(toUtf8(longGbk)), longGbk);
}

}  // namespace

namespace {

// Reference search: walk by characters from the start, compare at each one.
int referenceFind(const std::string& t, const std::string& sub, int start) {
  for (std::size_t i = static_cast<std::size_t>(start - 1); i + sub.size() <= t.size();
       i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1)
    if (t.compare(i, sub.size(), sub) == 0) return static_cast<int>(i) + 1;
  return -1;
}

TEST(TextFind, AgreesWithCharacterWalkOnRandomGbk) {
  // Bytes that are separators, trail bytes in the ASCII range and lead bytes.
  const std::string alphabet = std::string("a|\\<x@\x81\xB0\xCE\xC4\x7C", 11);
  unsigned seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string t, sub;
    const int len = static_cast<int>(next() % 40), subLen = 1 + static_cast<int>(next() % 3);
    for (int i = 0; i < len; ++i) t += alphabet[next() % alphabet.size()];
    for (int i = 0; i < subLen; ++i) sub += alphabet[next() % alphabet.size()];
    const int start = 1 + static_cast<int>(next() % 3);
    if (static_cast<std::size_t>(start) > t.size()) continue;
    ASSERT_EQ(tarnwick::net::find(t, sub, start), referenceFind(t, sub, start)) << "round " << round;
  }
}

}  // namespace
