#pragma once
// The member's folders and the pages of a folder's listing, read through the
// browser core's walks (browser/folder_tree.h) over the command line's GET,
// which throws CliError when the service cannot be read.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "browser/folder_tree.h"
#include "browser/folders.h"
#include "browser/listing.h"
#include "cli/session_store.h"

namespace tarnwick::cli {

// Where the walks read for this session, with the patterns of scrape_patterns.h.
browser::FolderSource folderSource(const StoredSession& s);

// The folders of the account with parent and level (askProperties: each
// folder's properties page is asked for its parent when the folder page
// carries no levels); a page without entries means the default folder only.
std::vector<browser::FolderEntry> fetchFolders(const StoredSession& s, bool askProperties = true);

// The rows of one page of a folder (nullopt: the first page, asked for as the
// windows do, without a page number) and the folder's page count.
struct ListingPage {
  std::vector<browser::FileRow> rows;
  int pages = 0;
};
ListingPage fetchListingPage(const StoredSession& s, std::int32_t folderId, std::optional<int> page);

// Every row of every page of a folder, each id once (a file added while the
// pages are read shifts rows onto the next page); visit may end the walk
// early by returning false.
void forEachFile(const StoredSession& s, std::int32_t folderId,
                 const std::function<bool(const browser::FileRow&)>& visit);

}  // namespace tarnwick::cli
