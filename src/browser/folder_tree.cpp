#include "browser/folder_tree.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "browser/scrape.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::browser {

namespace {

bool isDefault(const FolderEntry& e) { return e.id == kDefaultFolderId; }

// The level an entry's page gives right after the entry's match: the text up
// to "</span>", a whole number of at least 1. '<' is never a GBK trail byte,
// so the marker found is a whole character.
int levelAfter(std::string_view page, const net::RegexMatch& match) {
  const std::size_t end = static_cast<std::size_t>(match.position - 1) + match.text.size();
  if (end >= page.size()) return 0;
  const std::string_view rest = page.substr(end);
  const std::size_t close = rest.find("</span>");
  if (close == std::string_view::npos) return 0;
  const auto level = parseId(net::trim(rest.substr(0, close)));
  return level && *level > 0 ? *level : 0;
}

// Parents from the page's levels. The page lists depth-first, so the open
// chain of ancestors is the entries before this one that are shallower than
// it; its parent is the deepest of them (one level up on a well-formed page).
void parentsFromLevels(std::vector<FolderEntry>& entries) {
  std::vector<const FolderEntry*> chain;
  for (FolderEntry& e : entries) {
    if (isDefault(e) || e.level <= 0) {
      e.parent = std::nullopt;
      continue;
    }
    while (!chain.empty() && chain.back()->level >= e.level) chain.pop_back();
    if (e.level == 1) e.parent = kDefaultFolderId;
    else if (!chain.empty()) e.parent = chain.back()->id;
    else e.parent = std::nullopt;  // deeper than anything before it: its parent was not listed
    chain.push_back(&e);
  }
}

// Levels from known parents; a parent that is not listed (or a loop, which the
// service never makes) puts the folder at the top level.
void levelsFromParents(std::vector<FolderEntry>& entries) {
  std::map<std::int32_t, const FolderEntry*> byId;
  for (const FolderEntry& e : entries) byId.emplace(e.id, &e);
  for (FolderEntry& e : entries) {
    if (isDefault(e) || !e.parent) continue;
    int level = 1;
    std::optional<std::int32_t> up = e.parent;
    while (up && *up != kDefaultFolderId && level <= static_cast<int>(entries.size())) {
      const auto it = byId.find(*up);
      if (it == byId.end()) break;
      ++level;
      up = it->second->parent;
    }
    e.level = level > static_cast<int>(entries.size()) ? 1 : level;
  }
}

}  // namespace

std::vector<FolderEntry> folderEntriesWithLevels(std::string_view page, std::string_view pattern) {
  std::vector<FolderEntry> out;
  net::Regex regex;  // this run's own matcher: runs on other threads keep theirs
  if (!regex.compile(pattern)) return out;
  for (const auto& match : regex.findAll(page)) {
    auto entry = folderEntryFromMatch(match.text);
    if (!entry) continue;
    entry->level = levelAfter(page, match);
    out.push_back(std::move(*entry));
  }
  return out;
}

std::vector<FolderEntry> folderTreeFromEntries(std::vector<FolderEntry> entries) {
  const auto any = [&](auto&& test) {
    return std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& e) { return !isDefault(e) && test(e); });
  };
  if (any([](const FolderEntry& e) { return e.level > 0; })) parentsFromLevels(entries);
  else if (any([](const FolderEntry& e) { return e.parent.has_value(); })) levelsFromParents(entries);
  bool hasDefault = false;
  for (FolderEntry& e : entries)
    if (isDefault(e)) {
      hasDefault = true;
      e.level = 0;
      e.parent = std::nullopt;
    }
  if (!hasDefault) {
    FolderEntry root;
    root.id = kDefaultFolderId;
    root.name = defaultFolderName();
    entries.push_back(std::move(root));
  }
  return entries;
}

std::vector<FolderEntry> folderTreeFromPage(std::string_view page, std::string_view pattern) {
  return folderTreeFromEntries(folderEntriesWithLevels(page, pattern));
}

std::optional<std::vector<FolderEntry>> readFolderTree(const PageFetch& fetch, const FolderSource& source,
                                                       bool askProperties) {
  const auto page = fetch(folderListUrl(source.mainHost, source.account, true));
  if (!page) return std::nullopt;
  std::vector<FolderEntry> entries = folderEntriesWithLevels(*page, source.folderEntryPattern);
  const bool levels = std::any_of(entries.begin(), entries.end(),
                                  [](const FolderEntry& e) { return !isDefault(e) && e.level > 0; });
  if (!levels && askProperties) {
    for (FolderEntry& e : entries) {
      if (isDefault(e)) continue;
      const auto properties = fetch(folderPropertiesUrl(source.mainHost, e.id, source.account));
      if (!properties) return std::nullopt;
      // A page that names no parent leaves the folder at the top level.
      e.parent = parseId(parentIdText(*properties)).value_or(kDefaultFolderId);
    }
  }
  return folderTreeFromEntries(std::move(entries));
}

std::vector<std::int32_t> childFoldersNamed(const std::vector<FolderEntry>& folders, std::int32_t parent,
                                            const std::string& nameGbk) {
  std::vector<std::int32_t> out;
  for (const FolderEntry& f : folders)
    if (!isDefault(f) && f.parent == parent && f.name == nameGbk) out.push_back(f.id);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<SubFolder> subFolders(const std::vector<FolderEntry>& folders, std::int32_t root) {
  std::multimap<std::int32_t, const FolderEntry*> children;  // page order kept among equal keys
  for (const FolderEntry& f : folders)
    if (!isDefault(f) && f.parent) children.emplace(*f.parent, &f);
  std::vector<SubFolder> out;
  std::set<std::int32_t> visited{root};  // a loop is walked once
  // Depth-first, explicit stack: (folder, path of its parent).
  std::vector<std::pair<const FolderEntry*, std::vector<std::string>>> stack;
  const auto pushChildren = [&](std::int32_t of, const std::vector<std::string>& path) {
    const auto [from, to] = children.equal_range(of);
    std::vector<const FolderEntry*> these;
    for (auto it = from; it != to; ++it) these.push_back(it->second);
    for (auto it = these.rbegin(); it != these.rend(); ++it) stack.emplace_back(*it, path);
  };
  pushChildren(root, {});
  while (!stack.empty()) {
    auto [folder, path] = std::move(stack.back());
    stack.pop_back();
    if (!visited.insert(folder->id).second) continue;
    path.push_back(folder->name);
    out.push_back({*folder, path});
    pushChildren(folder->id, path);
  }
  return out;
}

bool forEachFile(const PageFetch& fetch, const FolderSource& source, std::int32_t folderId,
                 const std::function<bool(const FileRow&)>& visit) {
  std::set<std::int32_t> seen;
  int pages = 1;  // pageCount caps what the first page claims at kMaxPages
  for (int p = 0; p < pages; ++p) {
    // The first page is asked for as the windows do, without a page number.
    const auto page = fetch(p == 0 ? listingUrl(source.mainHost, source.userId, folderId)
                                   : listingUrl(source.mainHost, source.userId, folderId, net::numberToText(p)));
    if (!page) return false;
    if (p == 0) pages = pageCount(*page);
    for (const FileRow& r : extractFileRows(*page, source.fileRowPattern))
      if (seen.insert(r.id).second && !visit(r)) return true;
  }
  return true;
}

std::optional<std::int32_t> newFolderId(std::string_view reply) {
  std::string text(reply);
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  std::size_t start = text.size();
  while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
  // Digits alone are the refusal ("0"); more than 9 would not fit an id.
  if (start == 0 || start == text.size() || text.size() - start > 9) return std::nullopt;
  const auto id = static_cast<std::int32_t>(std::stol(text.substr(start)));
  // A new folder is never the default folder.
  if (id == kDefaultFolderId) return std::nullopt;
  return id;
}

std::string refusedNameReason(const std::string& nameGbk) {
  // The service decodes the name (GB18030, a superset of GBK) and checks
  // characters: a lead byte takes one trail byte, or three more in the
  // four-byte form (a digit second).
  const auto u = [&](std::size_t i) { return static_cast<unsigned char>(nameGbk[i]); };
  std::size_t characters = 0;
  bool blank = true;
  std::string bad;
  bool nbsp = false;
  for (std::size_t i = 0; i < nameGbk.size();) {
    const unsigned char c = u(i);
    std::size_t width = 1;
    if (c >= 0x81 && c <= 0xFE && i + 1 < nameGbk.size()) {
      width = (u(i + 1) >= 0x30 && u(i + 1) <= 0x39 && i + 3 < nameGbk.size()) ? 4 : 2;
    }
    ++characters;
    if (width == 1) {
      // Blanks as the service strips them: space, \t \n \v \f \r, \x1c-\x1f.
      if (c != ' ' && !(c >= 0x09 && c <= 0x0D) && !(c >= 0x1C && c <= 0x1F)) blank = false;
      if (bad.empty() && (c < 0x20 || std::string_view("<>\"&\\/|").find(static_cast<char>(c)) != std::string_view::npos))
        bad = c < 0x20 ? std::string("控制字符") : std::string(1, static_cast<char>(c));
      if (c == 'n' && std::string_view(nameGbk).substr(i, 5) == "nbsp;") nbsp = true;
    } else if (!(width == 2 && c == 0xA1 && u(i + 1) == 0xA1)) {  // the ideographic space is a blank
      blank = false;
    }
    i += width;
  }
  if (nameGbk.empty() || blank) return "名称为空";
  if (nameGbk == "." || nameGbk == "..") return "名称不能是 . 或 ..";
  if (characters > 120) return "名称超过 120 个字符";
  if (!bad.empty()) return "名称含有不能用的字符：" + bad;
  if (nbsp) return "名称含有 nbsp;";
  return "";
}

}  // namespace tarnwick::browser
