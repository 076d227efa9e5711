// Folder entries cut out of folder pages, and the folder-page addresses.
#include <gtest/gtest.h>

#include "browser/folders.h"
#include "browser/scrape.h"
#include "net/text.h"

using tarnwick::browser::FolderEntry;
using tarnwick::browser::gbk;
namespace b = tarnwick::browser;

namespace {

const std::string kPattern = "<div  style=\"height:35px;\">.*?id=\"x.*?\">";

// One folder entry the way the service writes it; `inner` is what stands
// between "_blank" and "&nbsp;".
std::string entry(const std::string& id, const std::string& inner) {
  return "<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" href=\"/wdwj.php?pid=1001&ml=" + id +
         "\" target=\"_blank" + inner + "&nbsp;</a><span id=\"x" + id + "\">1</span></div>\r\n";
}

// What extractFolderEntries cuts: id and name (parent and level are the
// folder tree's, folder_tree_test.cpp).
using IdAndName = std::pair<std::int32_t, std::string>;

struct FolderCase {
  const char* what;
  std::string page;
  std::vector<IdAndName> expected;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.what; }

class FolderEntries : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderEntries, Extract) {
  std::vector<IdAndName> got;
  for (const FolderEntry& e : b::extractFolderEntries(GetParam().page, kPattern)) {
    EXPECT_FALSE(e.parent) << e.id;
    got.emplace_back(e.id, e.name);
  }
  EXPECT_EQ(got, GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FolderEntries,
    testing::Values(
        FolderCase{"name after an image tag",
                   entry("7", "\"><img src=\"/f.gif\" style=\"margin-left:16px\">" + gbk("资料")),
                   {{7, gbk("资料")}}},
        FolderCase{"markup inside the stretch: only the text after the last '>'",
                   entry("12", "\"><b><i>" + gbk("报告") + "</i>x</b>" + gbk("图片")),
                   {{12, gbk("图片")}}},
        FolderCase{"no '>' in the stretch: the whole stretch",
                   entry("3", "plain"), {{3, "plain"}}},
        FolderCase{"page order kept, default folder last",
                   entry("5", "\">a") + entry("9", "\">b") + entry("0", "\">" + gbk("默认文件夹")),
                   {{5, "a"}, {9, "b"}, {0, gbk("默认文件夹")}}},
        FolderCase{"no entry at all", "<html><body>nothing here</body></html>", {}},
        FolderCase{"missing '&ml=' is skipped",
                   "<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" target=\"_blank\">x&nbsp;</a>"
                   "<span id=\"x1\">" + entry("4", "\">ok"),
                   {{4, "ok"}}},
        FolderCase{"missing '&nbsp;' is skipped",
                   "<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" href=\"?a=1&ml=2\" "
                   "target=\"_blank\">x</a><span id=\"x2\">" + entry("6", "\">fine"),
                   {{6, "fine"}}},
        FolderCase{"id that is not a number is skipped", entry("abc", "\">bad") + entry("8", "\">good"),
                   {{8, "good"}}},
        FolderCase{"markup ending the stretch: the folder is shown unnamed",
                   entry("2", "\"><img>") + entry("1", "\">one"), {{2, gbk("(未命名)")}, {1, "one"}}},
        FolderCase{"id followed by more parameters: its leading integer",
                   "<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" href=\"/wdwj.php?pid=1&ml=12&x=1\" "
                   "target=\"_blank\">deep&nbsp;</a><span id=\"x12\">1</span></div>",
                   {{12, "deep"}}}));

TEST(FolderEntriesPattern, BrokenPatternGivesNoEntries) {
  EXPECT_TRUE(b::extractFolderEntries(entry("7", "\">a"), "(unclosed").empty());
}

TEST(FolderAddresses, Built) {
  EXPECT_EQ(b::folderListUrl("http://h:1", "demo", true), "http://h:1/sc/index.php?zh=demo&ml=0");
  EXPECT_EQ(b::folderListUrl("http://h:1", "demo", false), "http://h:1/sc/index.php?zh=demo");
  EXPECT_EQ(b::folderPropertiesUrl("http://h", 42, "demo"), "http://h/mlsx.php?pid=42&zh=demo");
  // An account name cannot break out of its query value.
  EXPECT_EQ(b::folderListUrl("http://h", "a&ml=9", false), "http://h/sc/index.php?zh=a%26ml%3D9");
}

TEST(FolderProperties, ParentId) {
  EXPECT_EQ(b::parentIdText("<option value=\"0\">d</option><option selected value=\"15\">x</option>"), "15");
  EXPECT_EQ(b::parentIdText("<option value=\"0\">only</option>"), "");
}

TEST(Invitation, EndsWithUserId) {
  EXPECT_EQ(b::invitationText("http://h", "1001"),
            gbk("哥们儿，快加入Tarnwick联盟跟我一起赚外快吧，安全放心！到这里注册：") + "http://h/zhuce.php?yq=1001");
}

struct IdCase {
  const char* text;
  std::optional<std::int32_t> value;
};

TEST(ParseId, Table) {
  const IdCase cases[] = {{"0", 0},           {"42", 42},         {"-7", -7},       {"2147483647", 2147483647},
                          {"2147483648", {}}, {"", {}},           {"-", {}},        {" 1", {}},
                          {"1a", {}},         {"12,", {}},        {"+3", {}}};
  for (const auto& c : cases) EXPECT_EQ(b::parseId(c.text), c.value) << c.text;
}

TEST(LeadingInt, Table) {
  const IdCase cases[] = {{"12&x=1", 12}, {" 3 ", 3},  {"\t\r\n7x", 7}, {"-4z", -4},        {"0", 0},
                          {"", {}},       {"  ", {}}, {"x1", {}},       {"-", {}},          {"abc", {}},
                          {"2147483648", {}}};
  for (const auto& c : cases) EXPECT_EQ(b::leadingInt(c.text), c.value) << c.text;
}

TEST(CutBetween, MissingMarkersAreAbsent) {
  EXPECT_EQ(b::cutBetween("a[x]b", "[", "]"), "x");
  EXPECT_EQ(b::cutBetween("a[]b", "[", "]"), "");
  EXPECT_FALSE(b::cutBetween("a x]b", "[", "]"));
  EXPECT_FALSE(b::cutBetween("a[x b", "[", "]"));
  EXPECT_FALSE(b::cutBetween("a[", "[", "]"));
}

}  // namespace
