#include "cli/listing_calls.h"

#include "browser/scrape_patterns.h"
#include "cli/exit_codes.h"
#include "cli/service_calls.h"
#include "net/hosts.h"
#include "net/text.h"

namespace tarnwick::cli {
namespace {

// fetchPage never answers nullopt: a page it cannot read ends the command
// with its CliError (exit code and message as for every other request).
std::optional<std::string> throwingFetch(const std::string& url) { return fetchPage(url); }

// Kept for a fetch that says nullopt after all: never taken as an empty answer.
[[noreturn]] void unreadable() {
  throw CliError(kExitUnreachable, "cannot read the service at " + net::hosts().mainHost);
}

}  // namespace

browser::FolderSource folderSource(const StoredSession& s) {
  return {net::hosts().mainHost, s.accountName, s.userId, browser::patterns::folderEntry(),
          browser::patterns::fileRow()};
}

std::vector<browser::FolderEntry> fetchFolders(const StoredSession& s, bool askProperties) {
  auto folders = browser::readFolderTree(throwingFetch, folderSource(s), askProperties);
  if (!folders) unreadable();
  return std::move(*folders);
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
  if (!browser::forEachFile(throwingFetch, folderSource(s), folderId, visit)) unreadable();
}

}  // namespace tarnwick::cli
