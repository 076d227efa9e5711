// The folder tree of the browser core: parents from the page's levels, the
// properties fallback and the page walks over a fake fetch, and the checks
// on create-folder replies and names.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "browser/folder_tree.h"
#include "browser/scrape.h"
#include "browser/scrape_patterns.h"

using tarnwick::browser::gbk;
namespace b = tarnwick::browser;

namespace {

// One folder entry as the service's folder page writes it; level "" leaves
// the span empty (a page that carries no levels).
std::string entry(int id, const std::string& name, const std::string& level) {
  return "<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" href=\"/wdwj.php?pid=1001&ml=" +
         std::to_string(id) + "\" target=\"_blank\"><img src=\"/img/folder.gif\" border=\"0\">" + name +
         "&nbsp;</a><span id=\"x" + std::to_string(id) + "\">" + level + "</span></div>\r\n";
}

std::string page(const std::vector<std::tuple<int, std::string>>& entries, bool withDefault = true) {
  std::string out = "<html><body>";
  for (const auto& [id, level] : entries) out += entry(id, "f" + std::to_string(id), level);
  if (withDefault) out += entry(0, gbk("默认文件夹"), "1");
  return out + "</body></html>";
}

using Shape = std::tuple<std::int32_t, std::optional<std::int32_t>, int>;  // id, parent, level

std::vector<Shape> shape(const std::vector<b::FolderEntry>& folders) {
  std::vector<Shape> out;
  for (const auto& f : folders) out.emplace_back(f.id, f.parent, f.level);
  return out;
}

constexpr auto kNone = std::nullopt;

struct TreeCase {
  const char* what;
  std::string page;
  std::vector<Shape> expected;
};

TEST(FolderTreeFromPage, Table) {
  const TreeCase cases[] = {
      {"levels give parents; deeper, then back up two levels, then down again",
       page({{5, "1"}, {6, "2"}, {7, "3"}, {8, "1"}, {9, "2"}, {10, "2"}}),
       {{5, 0, 1}, {6, 5, 2}, {7, 6, 3}, {8, 0, 1}, {9, 8, 2}, {10, 8, 2}, {0, kNone, 0}}},
      {"back up one level: the sibling of the parent",
       page({{5, "1"}, {6, "2"}, {7, "3"}, {11, "2"}, {12, "3"}}),
       {{5, 0, 1}, {6, 5, 2}, {7, 6, 3}, {11, 5, 2}, {12, 11, 3}, {0, kNone, 0}}},
      {"a skipped level: the nearest shallower entry before it",
       page({{5, "1"}, {7, "3"}}), {{5, 0, 1}, {7, 5, 3}, {0, kNone, 0}}},
      {"no levels: flat, nothing guessed", page({{5, ""}, {6, ""}}),
       {{5, kNone, 0}, {6, kNone, 0}, {0, kNone, 0}}},
      {"a level that is no number counts as none", page({{5, "x"}, {6, "-2"}}),
       {{5, kNone, 0}, {6, kNone, 0}, {0, kNone, 0}}},
      {"the default folder added when the page lacks it", page({{5, "1"}, {6, "2"}}, false),
       {{5, 0, 1}, {6, 5, 2}, {0, kNone, 0}}},
      {"a page without entries: the default folder alone", "<html>403</html>", {{0, kNone, 0}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(shape(b::folderTreeFromPage(c.page, b::patterns::folderEntry())), c.expected) << c.what;
}

// A fake service: the body for each address, nullopt for the addresses that fail.
struct FakePages {
  std::map<std::string, std::optional<std::string>> pages;
  std::vector<std::string> asked;
  b::PageFetch fetch() {
    return [this](const std::string& url) -> std::optional<std::string> {
      asked.push_back(url);
      const auto it = pages.find(url);
      return it == pages.end() ? std::nullopt : it->second;
    };
  }
};

const b::FolderSource kSource{"http://h", "demo", "1001", b::patterns::folderEntry(), b::patterns::fileRow()};

std::string properties(const std::string& selectedParent) {
  std::string options = "<option value=\"0\">d</option>";
  if (!selectedParent.empty()) options += "<option selected value=\"" + selectedParent + "\">p</option>";
  return "<form><select name=\"btn1\">" + options + "</select></form>";
}

TEST(ReadFolderTree, PropertiesWhenThePageHasNoLevels) {
  FakePages service;
  service.pages[b::folderListUrl("http://h", "demo", true)] = page({{5, ""}, {6, ""}, {7, ""}, {9, ""}});
  service.pages[b::folderPropertiesUrl("http://h", 5, "demo")] = properties("");  // nothing selected: top level
  service.pages[b::folderPropertiesUrl("http://h", 6, "demo")] = properties("5");
  service.pages[b::folderPropertiesUrl("http://h", 7, "demo")] = properties("6");
  service.pages[b::folderPropertiesUrl("http://h", 9, "demo")] = properties("44");  // not listed
  const auto tree = b::readFolderTree(service.fetch(), kSource);
  ASSERT_TRUE(tree);
  EXPECT_EQ(shape(*tree), (std::vector<Shape>{{5, 0, 1}, {6, 5, 2}, {7, 6, 3}, {9, 44, 1}, {0, kNone, 0}}));
  EXPECT_EQ(service.asked.size(), 5u);  // the default folder's properties are never asked for

  // Without askProperties: one request, the folders flat.
  service.asked.clear();
  const auto flat = b::readFolderTree(service.fetch(), kSource, false);
  ASSERT_TRUE(flat);
  EXPECT_EQ(shape(*flat), (std::vector<Shape>{{5, kNone, 0}, {6, kNone, 0}, {7, kNone, 0}, {9, kNone, 0}, {0, kNone, 0}}));
  EXPECT_EQ(service.asked.size(), 1u);

  // A properties page that cannot be read fails the whole tree.
  service.pages[b::folderPropertiesUrl("http://h", 6, "demo")] = std::nullopt;
  EXPECT_FALSE(b::readFolderTree(service.fetch(), kSource));
  // So does the folder page.
  EXPECT_FALSE(b::readFolderTree(FakePages{}.fetch(), kSource));
}

TEST(ReadFolderTree, LevelsMeanNoPropertiesRequests) {
  FakePages service;
  service.pages[b::folderListUrl("http://h", "demo", true)] = page({{5, "1"}, {6, "2"}});
  const auto tree = b::readFolderTree(service.fetch(), kSource);
  ASSERT_TRUE(tree);
  EXPECT_EQ(shape(*tree), (std::vector<Shape>{{5, 0, 1}, {6, 5, 2}, {0, kNone, 0}}));
  EXPECT_EQ(service.asked, std::vector<std::string>{"http://h/sc/index.php?zh=demo&ml=0"});
}

std::string fileRow(int id) {
  return gbk("<div style=\"display:none;\">pid：") + std::to_string(id) + gbk("<文件名：f") + std::to_string(id) +
         gbk(".txt<大小：1KB<日期：2026-01-01<下载量：0< </div>\r\n");
}

TEST(ForEachFile, EveryPageEachIdOnceAndAFailedPage) {
  FakePages service;
  const std::string pages = gbk("总共有3页");
  service.pages["http://h/wdwj.php?pid=1001&ml=7"] = pages + fileRow(1) + fileRow(2);
  // A file added meanwhile shifted row 2 onto the second page.
  service.pages["http://h/wdwj.php?pid=1001&ml=7&yms=1"] = pages + fileRow(2) + fileRow(3);
  service.pages["http://h/wdwj.php?pid=1001&ml=7&yms=2"] = pages + fileRow(4);
  std::vector<std::int32_t> seen;
  EXPECT_TRUE(b::forEachFile(service.fetch(), kSource, 7, [&](const b::FileRow& r) {
    seen.push_back(r.id);
    return true;
  }));
  EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 3, 4}));

  // Stopped by visit: no further page is asked for.
  service.asked.clear();
  EXPECT_TRUE(b::forEachFile(service.fetch(), kSource, 7, [](const b::FileRow& r) { return r.id != 2; }));
  EXPECT_EQ(service.asked.size(), 1u);

  // The second page fails: the walk says so after the rows it had.
  service.pages["http://h/wdwj.php?pid=1001&ml=7&yms=1"] = std::nullopt;
  seen.clear();
  EXPECT_FALSE(b::forEachFile(service.fetch(), kSource, 7, [&](const b::FileRow& r) {
    seen.push_back(r.id);
    return true;
  }));
  EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2}));
}

TEST(FolderTree, ChildrenByNameAndSubFolders) {
  const auto tree = b::folderTreeFromPage(
      page({{5, "1"}, {9, "2"}, {6, "2"}, {7, "3"}, {8, "1"}, {3, "2"}}), b::patterns::folderEntry());
  // Two children of 5 of the same name (renamed meanwhile): lowest id first.
  auto named = tree;
  for (auto& f : named)
    if (f.id == 6 || f.id == 9) f.name = "same";
  EXPECT_EQ(b::childFoldersNamed(named, 5, "same"), (std::vector<std::int32_t>{6, 9}));
  EXPECT_TRUE(b::childFoldersNamed(named, 0, "same").empty());
  EXPECT_EQ(b::childFoldersNamed(named, 0, "f8"), std::vector<std::int32_t>{8});

  std::vector<std::pair<std::int32_t, std::vector<std::string>>> below;
  for (const auto& s : b::subFolders(tree, 5)) below.emplace_back(s.folder.id, s.path);
  EXPECT_EQ(below, (decltype(below){{9, {"f9"}}, {6, {"f6"}}, {7, {"f6", "f7"}}}));
  EXPECT_EQ(b::subFolders(tree, 0).size(), 6u);  // every folder but the root
  EXPECT_TRUE(b::subFolders(tree, 7).empty());
}

TEST(NewFolderId, Replies) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"ok123", 123},     {"ok123\r\n", 123}, {"\r\nok7\n", 7},  {"ok", std::nullopt},
      {"0", std::nullopt}, {"ok0", std::nullopt}, {"", std::nullopt}, {"ok999999999", 999999999},
      {"ok1234567890", std::nullopt}, {"ok12x", std::nullopt}};
  for (const auto& [reply, id] : cases) EXPECT_EQ(b::newFolderId(reply), id) << reply;
}

TEST(RefusedNameReason, AsTheServiceChecks) {
  const auto times = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const std::string han = gbk("报");  // two bytes, one character
  const std::pair<std::string, bool> cases[] = {
      {"report", true},
      {times(han, 120), true},  // 240 bytes
      {times(han, 121), false},
      {times("a", 120), true},
      {times("a", 119) + han, true},
      {times("a", 120) + han, false},
      {han + "\x81\x30\x81\x30", true},  // a four-byte character counts once
      {"", false},
      {"   ", false},
      {gbk("　"), false},  // the ideographic space alone is blank
      {gbk("　a"), true},
      {".", false},
      {"..", false},
      {"...", true},
      {"a|b", false},
      {"a\\b", false},
      {"a\tb", false},
      {"a\x1f", false},
      {"a\x7f", true},
      {"a&b", false},
      {"1nbsp;2", false},
      {"nbsp", true},
      // A GBK character whose trail byte is '|' or '\\' is no separator.
      {"\x81|", true},
      {"\x95\\", true},
  };
  for (const auto& [name, takes] : cases)
    EXPECT_EQ(b::refusedNameReason(name).empty(), takes) << name << ": " << b::refusedNameReason(name);
}

}  // namespace
