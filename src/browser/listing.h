#pragma once
// The paged file listing and the keyword search: addresses, request bodies
// and the scraping of listing, settings and search pages.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::browser {

struct FileRow {
  std::int32_t id = 0;
  std::string name, size, date, downloads;  // GBK, shown as the service sends them
  bool operator==(const FileRow&) const = default;
};

struct SearchHit {
  std::int32_t id = 0;
  std::string name;        // GBK, "&nbsp;" replaced by one blank
  std::string folderPage;  // MainHost + "/wdwj.php?pid=" + owner + "&ml=" + folder; "" when unknown
  bool operator==(const SearchHit&) const = default;
};

// The page selector never offers more pages than this, whatever a page claims.
inline constexpr int kMaxPages = 10000;

// MainHost + "/wdwj.php?pid=" + user id + "&ml=" + folder id (+ "&yms=" + page).
std::string listingUrl(const std::string& mainHost, const std::string& userId, std::int32_t folderId,
                       const std::optional<std::string>& page = std::nullopt);
// MainHost + "/get/sz.php?pid=" + account name (the settings page).
std::string settingsPageUrl(const std::string& mainHost, const std::string& account);
// MainHost + "/post/czwj1.php?pid=" + kind (1 = files, 2 = folders) and its body "gjc=" + keyword.
std::string searchUrl(const std::string& mainHost, int kind);
std::string searchBody(const std::string& keywordGbk);

// Page count N: the leading integer between "总共有" and "页" (blanks before
// it skipped); 0 when absent, not a number or negative, at most kMaxPages.
int pageCount(std::string_view listingPage);
// The page selector's items "0" … "N-1".
std::vector<std::string> pageItems(int pages);

// Every file row of a listing page in page order: each match of rowPattern is
// cut into id (">pid：" … "<"), name ("文件名："), size ("大小："), date
// ("日期：") and download count ("下载量："), each up to the next "<"; the id is
// the leading integer of its text. A match whose markers are missing or whose
// id text does not start with a number is skipped. Control bytes inside a
// name (a line break the row pattern's "." does not cross) do not hide its
// row: the name keeps them.
std::vector<FileRow> extractFileRows(std::string_view listingPage, std::string_view rowPattern);

// The access password of the settings page (already GBK): between marker and
// the next double quote; "" when absent.
std::string accessPasswordFrom(std::string_view settingsPage, std::string_view marker);

// The hits of a search page (already GBK): each match of pattern gives the id
// after idMarker, the name after nameMarker (both up to the next "<") and the
// folder page of the owner id between "<xxx>" markers and the folder id between
// "<qqq>" markers (leading integers). A hit without an id or a name is
// skipped; a hit without numeric owner and folder keeps an empty folderPage.
std::vector<SearchHit> extractSearchHits(std::string_view searchPage, std::string_view pattern,
                                         std::string_view nameMarker, std::string_view idMarker,
                                         const std::string& mainHost);

}  // namespace tarnwick::browser
