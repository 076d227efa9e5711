#include "browser/listing.h"

#include "browser/scrape.h"
#include "net/form.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::browser {
namespace {

// The listing page with the control bytes inside its file names (from
// "文件名：" to the "<大小：" behind it) turned into blanks, byte for byte; ""
// when there are none. The row pattern's "." stops at a line separator, and a
// name given to the service directly may hold one: matched on this text, such
// a row is found, and its fields are cut from the page at the same place.
// ("<" and the control bytes are never the trail byte of a GBK character.)
std::string namesOnOneLine(std::string_view page) {
  const std::string& nameMarker = gbk("文件名：");
  const std::string& sizeMarker = gbk("<大小：");
  std::string out;
  for (int at = 1; (at = net::find(page, nameMarker, at)) > 0;) {
    const std::size_t from = static_cast<std::size_t>(at) - 1 + nameMarker.size();
    const std::size_t end = page.find('<', from);
    if (end == std::string_view::npos) break;
    if (page.substr(end, sizeMarker.size()) == sizeMarker)
      for (std::size_t i = from; i < end; ++i)
        if (static_cast<unsigned char>(page[i]) < 0x20) {
          if (out.empty()) out.assign(page);
          out[i] = ' ';
        }
    at = static_cast<int>(end) + 1;
  }
  return out;
}

}  // namespace

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
  const std::string masked = namesOnOneLine(listingPage);
  for (const auto& match : regex.findAll(masked.empty() ? listingPage : std::string_view(masked))) {
    // A match that swallowed an earlier, malformed row (one not closed by the
    // carriage return) starts over at its last row: the earlier row is skipped.
    std::string_view m = listingPage.substr(static_cast<std::size_t>(match.position) - 1, match.text.size());
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
