#pragma once
// The member's folders as a tree, and the walks over the service's pages that
// the windows, the command line and the queues share: the folder tree, every
// file of a folder (every page), and the id of a folder the service created.
//
// The folder page lists the folders depth-first (parents before children);
// where an entry carries its level (the text after the entry's match up to
// "</span>", 1 = top level) the parent of each folder is the nearest entry
// before it one level up, and 0 (the default folder) for the top level.
// Where the page carries no levels, readFolderTree asks each folder's
// properties page for its parent; a folder whose parent stays unknown is
// shown at the top level.
//
// Names are GBK, as the pages give them. Nothing here touches a window.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/folders.h"
#include "browser/listing.h"

namespace tarnwick::browser {

// GET of one page of the service: the body (GBK), or nullopt when no reply
// came or the status was an error. The walks stop at the first nullopt.
using PageFetch = std::function<std::optional<std::string>(const std::string& url)>;

// Where the walks read and how they scrape (the windows take the patterns
// from their hidden slots, the rest from scrape_patterns.h).
struct FolderSource {
  std::string mainHost;
  std::string account;      // zh= of the folder pages (GBK)
  std::string userId;       // pid= of the listing pages
  std::string folderEntryPattern;
  std::string fileRowPattern;
};

// The folders of a folder page with their levels where the page carries
// them (level 0 and parent nullopt where it does not), parents filled in
// from the levels. The default folder is added when the page lacks it.
// The default folder (id 0) is the root: level 0, no parent.
std::vector<FolderEntry> folderTreeFromPage(std::string_view page, std::string_view pattern);

// The two steps of folderTreeFromPage. folderEntriesWithLevels: the entries
// of the page in page order with the level each carries (0 where none),
// nothing added; empty for a page without entries (a failed load, another
// page), which the windows tell apart from an account without folders.
// folderTreeFromEntries: parents from the levels where any entry has one,
// otherwise levels from the parents where any entry has one (a parent that
// is not listed counts as the top level), and the default folder added.
std::vector<FolderEntry> folderEntriesWithLevels(std::string_view page, std::string_view pattern);
std::vector<FolderEntry> folderTreeFromEntries(std::vector<FolderEntry> entries);

// The member's folders (the folder page of the main window) with parent and
// level: from the levels where the page has them, otherwise from the
// properties page of each folder (one request per folder, only when
// askProperties). nullopt when a page could not be read.
std::optional<std::vector<FolderEntry>> readFolderTree(const PageFetch& fetch, const FolderSource& source,
                                                       bool askProperties = true);

// The folders directly under parent named nameGbk, lowest id first. A
// folder whose parent is not known is under no folder here.
std::vector<std::int32_t> childFoldersNamed(const std::vector<FolderEntry>& folders, std::int32_t parent,
                                            const std::string& nameGbk);

// The folders below root (not root itself), depth-first, each with the path
// of names from root down to it (its own name last).
struct SubFolder {
  FolderEntry folder;
  std::vector<std::string> path;  // GBK names, root's child first
};
std::vector<SubFolder> subFolders(const std::vector<FolderEntry>& folders, std::int32_t root);

// Every file of a folder, over every page, each id once (a file added while
// the pages are read shifts rows onto the next page); visit may end the
// walk early by returning false. False when a page could not be read.
bool forEachFile(const PageFetch& fetch, const FolderSource& source, std::int32_t folderId,
                 const std::function<bool(const FileRow&)>& visit);

// The id of the folder a create-folder reply names ("ok123"; line ends
// ignored), nullopt when the reply does not end with one.
std::optional<std::int32_t> newFolderId(std::string_view reply);

// Why the service would refuse a folder or file name (GBK), as a short UTF-8
// reason, or "" when it takes it: empty or blanks only, longer than 120
// characters (characters, not bytes), any of < > " & \ / | or a control
// character, "nbsp;" inside, or "." or "..".
std::string refusedNameReason(const std::string& nameGbk);

}  // namespace tarnwick::browser
