#pragma once
// The member's folders and the pages of a folder's listing, read through the
// file browser's addresses and scrapers.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "browser/folders.h"
#include "browser/listing.h"
#include "cli/session_store.h"

namespace tarnwick::cli {

// The folders of the account; a page without entries means the default folder only.
std::vector<browser::FolderEntry> fetchFolders(const StoredSession& s);

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
