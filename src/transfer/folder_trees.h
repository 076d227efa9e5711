#pragma once
// Folders moved whole: the rows of a local folder uploaded as a tree of
// cloud folders, and the rows of a cloud folder downloaded as a local tree.
//
// Up: the folder itself becomes a cloud folder under the target (as cp -r
// does), every folder below it a MakeFolder row, every file a file row that
// waits (after) for its folder's row. Each folder row is followed by its
// files, then by its subfolders, so files start moving as soon as the first
// folder is made. Folder names the service refuses are listed and left out
// with everything inside; file names GBK cannot hold are listed and left out.
//
// Down: the cloud folders below the walked one become local folders (empty
// ones too), every file a download row into its folder. Two files or folders
// of one name in one cloud folder both arrive: the second under a name the
// rename rule draws (a number before the name), fixed in its row.
//
// Names of rows are GBK, paths native (UTF-8).

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browser/folder_tree.h"
#include "transfer/queue_row.h"

namespace tarnwick::transfer {

// GETs of the service's pages over the calling thread's kept-alive
// connection, ended by cancel: what the queues' walks read through.
browser::PageFetch servicePages(const std::atomic<bool>* cancel);
// Where the walks read; the built-in patterns where none are given.
browser::FolderSource folderSource(const std::string& mainHost, const std::string& account,
                                   const std::string& userId, const std::string& folderEntryPattern,
                                   const std::string& fileRowPattern);

// Why the service would not take a local name (UTF-8) as a cloud folder's
// name: characters GBK cannot hold, or a reason of refusedNameReason; ""
// when it would. Worded as the service's own refusals, so a list of
// left-out names reads in one language.
std::string cloudNameProblem(const std::string& nameUtf8);

struct UploadTreePlan {
  std::vector<QueueRow> rows;  // ids assigned; the first is the tree's top folder
  std::uint64_t tree = 0;      // the top folder row's id; 0 when nothing is to be sent
  int folders = 0, files = 0;
  std::int64_t bytes = 0;
  // Left out, as UTF-8 paths relative to the folder's parent, each with why.
  std::vector<std::string> refusedFolders;
  std::vector<std::string> refusedFiles;
  std::vector<std::string> unreadable;  // could not be listed
};

// The rows of localFolder (an absolute native folder) uploaded into the
// cloud folder parent; ftpHost and ftpUser go with every file row. Symbolic
// links are followed for files and never for folders (no cycles).
UploadTreePlan planUploadTree(const std::string& localFolder, std::int32_t parent, const std::string& ftpHost,
                              const std::string& ftpUser);

// One cloud folder to be made locally and its files, in walk order.
struct DownloadTreeFolder {
  std::int32_t cloudId = 0;
  std::string localFolder;     // absolute, with its trailing "/"
  std::string treePath;        // GBK, relative to the tree's top ("" for the top)
  std::vector<browser::FileRow> files;
};

// The local folders of the walk of cloud folder root under saveFolder
// (absolute, trailing "/"): root 0 is the whole account, its files into
// saveFolder and every top-level folder a subfolder; any other root becomes
// saveFolder + its name. Folder names are made safe for the file system, and
// a name taken twice in one folder gets a drawn number before it.
std::vector<DownloadTreeFolder> localFoldersOf(const std::vector<browser::FolderEntry>& folders,
                                               std::int32_t root, const std::string& saveFolder,
                                               const std::function<int()>& drawNumber);

// The download rows of a walked tree: one per file into its folder; the
// second of two names in one folder renamed (drawNumber) in its row.
std::vector<QueueRow> downloadTreeRows(const std::vector<DownloadTreeFolder>& folders, NameRule rule,
                                       std::uint64_t tree, const std::function<int()>& drawNumber);

}  // namespace tarnwick::transfer
