#include "browser/listing.h"

#include "browser/scrape.h"
#include "net/form.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::browser {

std::string listingUrl(const std::string& mainHost, const std::string& userId, std::int32_t folderId,
                       const std::optional<std::string>& page) {
  net::FormBuilder query;
  query.add("pid", userId).add("ml", net::numberToText(folderId));
  if (page) query.add("yms", *page);
  return net::withQuery(mainHost + "/wdwj.php", query);
}

std::string settingsPageUrl(const std::string& mainHost, const std::string& account) {
  return net::withQuery(mainHost + "/get/sz.php", net::FormBuilder().add("pid", account));
}

std::string searchUrl(const std::string& mainHost, int kind) {
  return net::withQuery(mainHost + "/post/czwj1.php", net::FormBuilder().add("pid", net::numberToText(kind)));
}

std::string searchBody(const std::string& keywordGbk) {
  return net::FormBuilder().add("gjc", keywordGbk).str();
}

int pageCount(std::string_view listingPage) {
  const auto text = cutBetween(listingPage, gbk("总共有"), gbk("页"));
  const auto n = text ? leadingInt(*text) : std::nullopt;
  if (!n || *n < 0) return 0;
  return *n > kMaxPages ? kMaxPages : *n;
}

std::vector<std::string> pageItems(int pages) {
  std::vector<std::string> items;
  for (int i = 0; i < pages && i < kMaxPages; ++i) items.push_back(net::numberToText(i));
  return items;
}

std::vector<FileRow> extractFileRows(std::string_view listingPage, std::string_view rowPattern) {
  std::vector<FileRow> rows;
  net::Regex regex;  // this run's own matcher
  if (!regex.compile(rowPattern)) return rows;
  const std::string& pidMarker = gbk(">pid：");
  for (const auto& match : regex.findAll(listingPage)) {
    // A match that swallowed an earlier, malformed row (one not closed by the
    // carriage return) starts over at its last row: the earlier row is skipped.
    std::string_view m = match.text;
    const int last = net::findLast(m, pidMarker);
    if (last > 1) m.remove_prefix(static_cast<std::size_t>(last - 1));
    const auto idText = cutBetween(m, pidMarker, "<");
    const auto id = idText ? leadingInt(*idText) : std::nullopt;
    const auto name = cutBetween(m, gbk("文件名："), "<");
    const auto size = cutBetween(m, gbk("大小："), "<");
    const auto date = cutBetween(m, gbk("日期："), "<");
    const auto count = cutBetween(m, gbk("下载量："), "<");
    if (!id || !name || !size || !date || !count) continue;
    rows.push_back({*id, *name, *size, *date, *count});
  }
  return rows;
}

std::string accessPasswordFrom(std::string_view settingsPage, std::string_view marker) {
  return cutBetween(settingsPage, marker, "\"").value_or("");
}

std::vector<SearchHit> extractSearchHits(std::string_view searchPage, std::string_view pattern,
                                         std::string_view nameMarker, std::string_view idMarker,
                                         const std::string& mainHost) {
  std::vector<SearchHit> hits;
  net::Regex regex;  // this run's own matcher
  if (!regex.compile(pattern)) return hits;
  for (const auto& match : regex.findAll(searchPage)) {
    const auto owner = cutBetween(match.text, "<xxx>", "<xxx>");
    const auto folder = cutBetween(match.text, "<qqq>", "<qqq>");
    const auto idText = cutBetween(match.text, idMarker, "<");
    const auto name = cutBetween(match.text, nameMarker, "<");
    const auto id = idText ? leadingInt(*idText) : std::nullopt;
    const auto ownerId = owner ? leadingInt(*owner) : std::nullopt;
    const auto folderId = folder ? leadingInt(*folder) : std::nullopt;
    if (!id || !name) continue;
    // Owner and folder only serve the folder page of a folder search; a hit
    // without them is kept, with no folder page.
    std::string folderPage;
    if (ownerId && folderId) folderPage = listingUrl(mainHost, net::numberToText(*ownerId), *folderId);
    hits.push_back({*id, net::replaceText(*name, "&nbsp;", " "), std::move(folderPage)});
  }
  return hits;
}

}  // namespace tarnwick::browser
