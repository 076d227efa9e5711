#include "cli/listing_calls.h"

#include <set>

#include "browser/scrape_patterns.h"
#include "cli/service_calls.h"
#include "net/hosts.h"
#include "net/text.h"

namespace tarnwick::cli {

std::vector<browser::FolderEntry> fetchFolders(const StoredSession& s) {
  const std::string page = fetchPage(browser::folderListUrl(net::hosts().mainHost, s.accountName, true));
  auto folders = browser::extractFolderEntries(page, browser::patterns::folderEntry());
  if (folders.empty()) folders.push_back({browser::kDefaultFolderId, browser::defaultFolderName()});
  return folders;
}

ListingPage fetchListingPage(const StoredSession& s, std::int32_t folderId, std::optional<int> page) {
  const std::string host = net::hosts().mainHost;
  const std::string text = fetchPage(
      page ? browser::listingUrl(host, s.userId, folderId, net::numberToText(*page))
           : browser::listingUrl(host, s.userId, folderId));
  return {browser::extractFileRows(text, browser::patterns::fileRow()), browser::pageCount(text)};
}

void forEachFile(const StoredSession& s, std::int32_t folderId,
                 const std::function<bool(const browser::FileRow&)>& visit) {
  std::set<std::int32_t> seen;
  int pages = 1;
  for (int p = 0; p < pages; ++p) {
    ListingPage page = fetchListingPage(s, folderId, p == 0 ? std::nullopt : std::optional<int>(p));
    if (p == 0) pages = page.pages;
    for (const auto& r : page.rows)
      if (seen.insert(r.id).second && !visit(r)) return;
  }
}

}  // namespace tarnwick::cli
