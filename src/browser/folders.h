#pragma once
// The folder list: addresses of the folder pages and the extraction of the
// folder entries (name and id) from them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::browser {

struct FolderEntry {
  std::int32_t id = 0;
  std::string name;  // GBK
  // The folder it sits in (0: the top level), nullopt when not known; the
  // default folder, the account's root, has none.
  std::optional<std::int32_t> parent;
  // Depth below the root: 1 = top level; 0 = the page did not say (and for
  // the default folder).
  int level = 0;
  bool operator==(const FolderEntry&) const = default;
};

// Name and id of the default folder, which every account has.
inline constexpr std::int32_t kDefaultFolderId = 0;
const std::string& defaultFolderName();  // "默认文件夹" (GBK)
// Shown for a folder whose name cuts to the empty text (GBK "(未命名)").
const std::string& unnamedFolderName();

// MainHost + "/sc/index.php?zh=" + account (+ "&ml=0" for the main window).
std::string folderListUrl(const std::string& mainHost, const std::string& account, bool mainWindow);
// MainHost + "/mlsx.php?pid=" + folder id + "&zh=" + account.
std::string folderPropertiesUrl(const std::string& mainHost, std::int32_t folderId,
                                const std::string& account);

// Every folder entry of a folder page, in page order. Each match of pattern is
// cut as: S = between "margin-left: 10px;" and "</a>"; id = between "&ml=" and
// a double quote in S; the name = the part after the last ">" of the stretch
// between "_blank" and "&nbsp;" in S. The id is the leading integer of its
// text (further parameters may follow it). A match whose markers are missing
// or whose id text does not start with a number is skipped; an empty name is
// shown as unnamedFolderName().
std::vector<FolderEntry> extractFolderEntries(std::string_view page, std::string_view pattern);
// The entry one match of the folder pattern gives, cut as above; nullopt where
// extractFolderEntries skips the match.
std::optional<FolderEntry> folderEntryFromMatch(std::string_view match);

// The parent id text of a folder-properties page: between
// "<option selected value=\"" and "\"" ("" when absent).
std::string parentIdText(std::string_view propertiesPage);

// The invitation text: the fixed sentence, MainHost + "/zhuce.php?yq=" + user id.
std::string invitationText(const std::string& mainHost, const std::string& userId);

}  // namespace tarnwick::browser
