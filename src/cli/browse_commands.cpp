// ls, search and link: the same addresses and scrapers as the file browser.
#include "browser/folders.h"
#include "browser/links.h"
#include "browser/listing.h"
#include "browser/state.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/listing_calls.h"
#include "browser/scrape_patterns.h"
#include "cli/service_calls.h"
#include "net/hosts.h"
#include "net/text.h"

namespace tarnwick::cli {
namespace {

using nlohmann::json;

json fileJson(const browser::FileRow& r) {
  return {{"id", r.id}, {"name", utf8(r.name)}, {"size", utf8(r.size)}, {"date", utf8(r.date)},
          {"downloads", utf8(r.downloads)}};
}

std::string fileLine(const browser::FileRow& r) {
  return net::numberToText(r.id) + "\t" + plainName(utf8(r.name)) + "\t" + plainName(utf8(r.size)) + "\t" +
         plainName(utf8(r.date)) + "\t" + plainName(utf8(r.downloads)) + "\n";
}

}  // namespace

int listFolders(const Output& out) {
  const StoredSession s = requireSession();
  json list = json::array();
  std::string lines;
  for (const auto& f : fetchFolders(s)) {
    list.push_back({{"id", f.id}, {"name", utf8(f.name)}, {"parent", f.parent ? json(*f.parent) : json(nullptr)},
                    {"level", f.level}});
    // The parent last, empty where it is not known (the default folder has none).
    lines += net::numberToText(f.id) + "\t" + plainName(utf8(f.name)) + "\t" +
             (f.parent ? net::numberToText(*f.parent) : std::string()) + "\n";
  }
  out.result(list, lines);
  return kExitOk;
}

int listFiles(const Output& out, std::int32_t folderId, std::optional<int> page) {
  const StoredSession s = requireSession();
  if (folderId != browser::kDefaultFolderId) {
    bool known = false;
    for (const auto& f : fetchFolders(s, false)) known = known || f.id == folderId;
    if (!known) throw CliError(kExitRefused, "there is no folder " + std::to_string(folderId));
  }
  std::vector<browser::FileRow> rows;
  if (page) {
    ListingPage one = fetchListingPage(s, folderId, page);
    const int pages = std::max(one.pages, 1);
    if (*page >= pages)
      throw CliError(kExitRefused, "folder " + std::to_string(folderId) + " has no page " + std::to_string(*page) +
                                       " (pages 0 to " + std::to_string(pages - 1) + ")");
    rows = std::move(one.rows);
  } else {
    forEachFile(s, folderId, [&](const browser::FileRow& r) {
      rows.push_back(r);
      return true;
    });
  }
  json list = json::array();
  std::string lines;
  for (const auto& r : rows) {
    list.push_back(fileJson(r));
    lines += fileLine(r);
  }
  out.result(list, lines);
  return kExitOk;
}

int search(const Output& out, const std::string& keyword, bool folders) {
  if (keyword.empty()) throw CliError(kExitUsage, "the keyword is empty");
  requireSession();
  const std::string host = net::hosts().mainHost;
  const std::string page = net::fromUtf8(
      postForm(browser::searchUrl(host, folders ? 2 : 1), browser::searchBody(net::fromUtf8(keyword))));
  json list = json::array();
  std::string lines;
  for (const auto& hit : browser::extractSearchHits(page, browser::patterns::searchHit(), browser::patterns::searchNameMarker(),
                                                    browser::patterns::searchIdMarker(), host)) {
    list.push_back({{"id", hit.id}, {"name", utf8(hit.name)}, {"folderPage", utf8(hit.folderPage)}});
    lines += net::numberToText(hit.id) + "\t" + plainName(utf8(hit.name)) + "\t" + plainName(utf8(hit.folderPage)) + "\n";
  }
  out.result(list, lines);
  return kExitOk;
}

int link(const Output& out, std::int32_t fileId, bool direct) {
  const std::string id = net::numberToText(fileId);
  std::string url;
  if (direct) {
    // The direct link carries the account's access password from the settings page.
    const StoredSession s = requireSession();
    const std::string settings =
        net::fromUtf8(fetchPage(browser::settingsPageUrl(net::hosts().mainHost, s.accountName)));
    auto& state = browser::BrowserState::instance();
    state.setAccessPassword(browser::accessPasswordFrom(settings, browser::patterns::accessPasswordMarker()));
    url = browser::directLinkUrl(net::hosts().directLinkHost, id, state);
  } else {
    url = browser::filePageUrl(net::hosts().mainHost, fileId);
  }
  out.result({{"id", fileId}, {"url", utf8(url)}}, plainName(utf8(url)) + "\n");
  return kExitOk;
}

}  // namespace tarnwick::cli
