// File rows, page counts, access password and search hits cut out of pages.
#include <gtest/gtest.h>

#include "browser/listing.h"
#include "browser/scrape.h"

using tarnwick::browser::FileRow;
using tarnwick::browser::gbk;
using tarnwick::browser::SearchHit;
namespace b = tarnwick::browser;

namespace {

// The row pattern ends with one carriage return, which belongs to it.
std::string rowPattern() {
  return gbk("<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>") + "\r";
}

std::string row(const std::string& id, const std::string& name, const std::string& ending = "\r\n") {
  return gbk("<div style=\"display:none;\">pid：") + id + gbk("<文件名：") + name + gbk("<大小：1.5KB<日期：") +
         "2026-01-02 09:03:00" + gbk("<下载量：") + "7< </div>" + ending +
         "<tr><td><a href=\"/ym.php?pid=" + id + "\">" + name + "</a></td></tr>\r\n";
}

FileRow expected(std::int32_t id, const std::string& name) {
  return {id, name, "1.5KB", "2026-01-02 09:03:00", "7"};
}

struct RowCase {
  const char* what;
  std::string page;
  std::vector<FileRow> rows;
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << c.what; }

class FileRows : public testing::TestWithParam<RowCase> {};

TEST_P(FileRows, Extract) {
  EXPECT_EQ(b::extractFileRows(GetParam().page, rowPattern()), GetParam().rows) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FileRows,
    testing::Values(
        RowCase{"two rows in page order", row("31", gbk("演示文件.txt")) + row("30", "b.bin"),
                {expected(31, gbk("演示文件.txt")), expected(30, "b.bin")}},
        RowCase{"a row without the carriage return is not matched",
                row("5", "first", "\n") + row("6", "second"), {expected(6, "second")}},
        RowCase{"a malformed row on the same line as a good one is not taken for it",
                row("5", "first", "").substr(0, row("5", "first", "").find("<tr>")) + row("6", "second"),
                {expected(6, "second")}},
        RowCase{"only rows without the carriage return: nothing", row("5", "a", "\n") + row("6", "b", "</p>"),
                {}},
        RowCase{"id that is not a number is skipped", row("x1", "bad") + row("2", "good"), {expected(2, "good")}},
        RowCase{"id with blanks or trailing text: its leading integer", row(" 4 ", "a") + row("5 (x)", "b"),
                {expected(4, "a"), expected(5, "b")}},
        RowCase{"row without its size marker is skipped",
                gbk("<div style=\"display:none;\">pid：9<文件名：n<日期：d<下载量：1< </div>") + "\r\n" +
                    row("3", "ok"),
                {expected(3, "ok")}},
        RowCase{"names with line breaks and other controls are listed whole",
                row("7", "a\nb") + row("8", "c\r\n" + gbk("报告") + "\x1b\f") + row("9", "d"),
                {expected(7, "a\nb"), expected(8, "c\r\n" + gbk("报告") + "\x1b\f"), expected(9, "d")}},
        RowCase{"a line break behind a name without its size marker still ends the row",
                gbk("<div style=\"display:none;\">pid：9<文件名：n\n<日期：d<下载量：1< </div>") + "\r\n" +
                    row("3", "ok"),
                {expected(3, "ok")}},
        RowCase{"empty page", "", {}}));

struct CountCase {
  std::string page;
  int pages;
};

TEST(PageCount, Table) {
  const CountCase cases[] = {
      {gbk("<p>第0页，总共有4页</p>"), 4},
      {gbk("总共有0页"), 0},
      {gbk("总共有 3 页"), 3},
      {gbk("总共有3页 (每页10条)"), 3},
      {gbk("总共有页"), 0},
      {gbk("总共有abc页"), 0},
      {gbk("总共有-3页"), 0},
      {gbk("no marker"), 0},
      {gbk("总共有99999999页"), b::kMaxPages},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(b::pageCount(c.page), c.pages) << c.page;
}

TEST(PageItems, DecimalFromZero) {
  EXPECT_EQ(b::pageItems(3), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_TRUE(b::pageItems(0).empty());
}

TEST(AccessPassword, FromSettingsPage) {
  const std::string marker = "id=\"fwmm\" value=\"";
  EXPECT_EQ(b::accessPasswordFrom("<input id=\"fwmm\" value=\"alice8\" name=x>", marker), "alice8");
  EXPECT_EQ(b::accessPasswordFrom("<input id=\"fwmm\" value=\"\">", marker), "");
  EXPECT_EQ(b::accessPasswordFrom("<input id=\"other\" value=\"zz\">", marker), "");
}

const std::string kSearchPattern =
    "<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>";

std::string hit(const std::string& name, const std::string& id, const std::string& owner,
                const std::string& folder) {
  return "<div style=\"margin-bottom:5px;    margin-top: 5px;\">" + name + "<span style=\"display:none;\">" + id +
         "</span>&nbsp;&nbsp;<span style=\"display:none\"><xxx>" + owner + "<xxx><qqq>" + folder +
         "<qqq></span>&nbsp;1KB</div>\r\n";
}

struct HitCase {
  const char* what;
  std::string page;
  std::vector<SearchHit> hits;
};

TEST(SearchHits, Table) {
  const HitCase cases[] = {
      {"file hit", hit(gbk("报告一.pdf"), "37", "1001", "3"),
       {{37, gbk("报告一.pdf"), "http://h/wdwj.php?pid=1001&ml=3"}}},
      {"&nbsp; in the name becomes one blank", hit("a&nbsp;b&nbsp;&nbsp;c", "5", "1001", "0"),
       {{5, "a b  c", "http://h/wdwj.php?pid=1001&ml=0"}}},
      {"hit with a non-numeric id is skipped", hit("x", "?", "1001", "0") + hit("y", "6", "1001", "2"),
       {{6, "y", "http://h/wdwj.php?pid=1001&ml=2"}}},
      {"hit without owner markers is kept, without a folder page",
       "<div style=\"margin-bottom:5px;    margin-top: 5px;\">n<span style=\"display:none;\">4</span>&nbsp;"
       "&nbsp;</div>" + hit("z", "8", "7", "1"),
       {{4, "n", ""}, {8, "z", "http://h/wdwj.php?pid=7&ml=1"}}},
      {"non-numeric owner keeps the hit, without a folder page", hit("w", "9", "?", "1"), {{9, "w", ""}}},
      {"ids with blanks or trailing text: their leading integer", hit("v", " 10 ", "7 ", "2&x"),
       {{10, "v", "http://h/wdwj.php?pid=7&ml=2"}}},
      {"no hits", gbk("<p>共0条</p>"), {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(b::extractSearchHits(c.page, kSearchPattern, "5px;\">", "display:none;\">", "http://h"), c.hits)
        << c.what;
}

TEST(ListingAddresses, Built) {
  EXPECT_EQ(b::listingUrl("http://h", "1001", 5), "http://h/wdwj.php?pid=1001&ml=5");
  EXPECT_EQ(b::listingUrl("http://h", "1001", 0, "3"), "http://h/wdwj.php?pid=1001&ml=0&yms=3");
  EXPECT_EQ(b::settingsPageUrl("http://h", "demo"), "http://h/get/sz.php?pid=demo");
  EXPECT_EQ(b::searchUrl("http://h", 1), "http://h/post/czwj1.php?pid=1");
  EXPECT_EQ(b::searchUrl("http://h", 2), "http://h/post/czwj1.php?pid=2");
  // The keyword's GBK bytes travel percent-encoded.
  EXPECT_EQ(b::searchBody(gbk("报告")), "gjc=%B1%A8%B8%E6");
  EXPECT_EQ(b::searchBody("a&b"), "gjc=a%26b");
}

}  // namespace
