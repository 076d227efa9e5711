#include "transfer/folder_trees.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "browser/scrape_patterns.h"
#include "net/http.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {
namespace fs = std::filesystem;

namespace {

std::string joined(const std::string& base, const std::string& name) { return base.empty() ? name : base + "/" + name; }

// The characters of a local name (UTF-8) that GBK cannot hold, "" when none.
std::string lostCharacters(const std::string& nameUtf8) {
  std::string out;
  for (const std::string& c : net::charactersGbkCannotHold(nameUtf8)) out += (out.empty() ? "" : " ") + c;
  return out;
}

}  // namespace

std::string cloudNameProblem(const std::string& nameUtf8) {
  const std::string lost = lostCharacters(nameUtf8);
  if (!lost.empty()) return "名称含有服务器不支持的字符：" + lost;
  return browser::refusedNameReason(net::fromUtf8(nameUtf8));
}

namespace {

struct TreeWalk {
  UploadTreePlan& plan;
  const std::string& ftpHost;
  const std::string& ftpUser;

  // The rows of folder dir (its own row is folderRow), then of its subfolders.
  void visit(const fs::path& dir, std::uint64_t folderRow, const std::string& relUtf8) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    if (ec) {
      plan.unreadable.push_back(relUtf8 + ": " + ec.message());
      return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    std::vector<std::pair<fs::path, std::string>> folders;
    for (const fs::directory_entry& e : entries) {
      const std::string name = e.path().filename().string();
      const std::string rel = joined(relUtf8, name);
      std::error_code stat;
      if (e.is_directory(stat) && !e.is_symlink(stat)) {
        folders.emplace_back(e.path(), rel);
        continue;
      }
      if (!e.is_regular_file(stat)) continue;  // sockets, devices, broken links
      if (const std::string lost = lostCharacters(name); !lost.empty()) {
        plan.refusedFiles.push_back(rel + ": 名称含有服务器不支持的字符：" + lost);
        continue;
      }
      QueueRow row;
      row.id = TransferQueue::newRowId();
      row.localPath = e.path().string();
      row.name = net::fromUtf8(name);
      row.after = folderRow;
      row.tree = plan.tree;
      row.treePath = net::fromUtf8(rel);
      row.ftpHost = ftpHost;
      row.ftpUser = ftpUser;
      row.size = stampOf(row.localPath).size;
      ++plan.files;
      if (row.size > 0) plan.bytes += row.size;
      plan.rows.push_back(std::move(row));
    }
    for (const auto& [path, rel] : folders) folder(path, rel, folderRow, std::nullopt);
  }

  // The folder's own row, then what is inside it; a name the service would
  // refuse is listed and left out with everything inside. The first folder
  // is the tree's top (its parent given); the others wait for theirs.
  void folder(const fs::path& path, const std::string& relUtf8, std::uint64_t after,
              std::optional<std::int32_t> parent) {
    const std::string name = path.filename().string();
    if (const std::string why = cloudNameProblem(name); !why.empty()) {
      plan.refusedFolders.push_back(relUtf8 + ": " + why);
      return;
    }
    QueueRow row;
    row.id = TransferQueue::newRowId();
    row.kind = RowKind::MakeFolder;
    row.localPath = path.string();
    row.name = net::fromUtf8(name);
    row.after = after;
    row.folderId = parent;
    if (!plan.tree) plan.tree = row.id;
    row.tree = plan.tree;
    row.treePath = net::fromUtf8(relUtf8);
    const std::uint64_t id = row.id;
    ++plan.folders;
    plan.rows.push_back(std::move(row));
    visit(path, id, relUtf8);
  }
};

// A name not yet in used: name itself, else the rename rule's name (a drawn
// number before it, the whole fitted to a file-system name).
std::string freeName(const std::string& name, std::set<std::string>& used, const std::function<int()>& drawNumber) {
  std::string out = name;
  if (used.count(out)) {
    const std::string renamed =
        renamedTarget("", name, drawNumber, [&](const std::string& taken) { return used.count(taken) > 0; }, 1000);
    if (!renamed.empty()) out = renamed;
  }
  used.insert(out);
  return out;
}

}  // namespace

browser::PageFetch servicePages(const std::atomic<bool>* cancel) {
  return [cancel](const std::string& url) -> std::optional<std::string> {
    net::RequestOptions options;
    options.cancel = cancel;
    net::RequestResult r = net::performRequest(url, "GET", "", "", "", options);
    if (!r.ok()) return std::nullopt;
    return std::move(r.body);
  };
}

browser::FolderSource folderSource(const std::string& mainHost, const std::string& account,
                                   const std::string& userId, const std::string& folderEntryPattern,
                                   const std::string& fileRowPattern) {
  browser::FolderSource source;
  source.mainHost = mainHost;
  source.account = account;
  source.userId = userId;
  source.folderEntryPattern = folderEntryPattern.empty() ? browser::patterns::folderEntry() : folderEntryPattern;
  source.fileRowPattern = fileRowPattern.empty() ? browser::patterns::fileRow() : fileRowPattern;
  return source;
}

UploadTreePlan planUploadTree(const std::string& localFolder, std::int32_t parent, const std::string& ftpHost,
                              const std::string& ftpUser) {
  UploadTreePlan plan;
  fs::path top = fs::path(localFolder).lexically_normal();
  if (!top.has_filename()) top = top.parent_path();
  TreeWalk{plan, ftpHost, ftpUser}.folder(top, top.filename().string(), 0, parent);
  return plan;
}

std::vector<DownloadTreeFolder> localFoldersOf(const std::vector<browser::FolderEntry>& folders,
                                               std::int32_t root, const std::string& saveFolder,
                                               const std::function<int()>& drawNumber) {
  std::map<std::int32_t, std::vector<const browser::FolderEntry*>> children;
  const browser::FolderEntry* rootEntry = nullptr;
  for (const browser::FolderEntry& f : folders) {
    if (f.id == root) rootEntry = &f;
    if (f.id != browser::kDefaultFolderId && f.parent) children[*f.parent].push_back(&f);
  }
  for (auto& [parent, list] : children)  // of two of one name, the older folder keeps it
    std::sort(list.begin(), list.end(), [](const auto* a, const auto* b) { return a->id < b->id; });

  std::vector<DownloadTreeFolder> out;
  std::set<std::int32_t> seen;  // a loop in a damaged page never walks for ever
  std::function<void(std::int32_t, const std::string&, const std::string&)> walk =
      [&](std::int32_t id, const std::string& local, const std::string& treePath) {
        if (!seen.insert(id).second) return;
        out.push_back({id, local, treePath, {}});
        std::set<std::string> used;
        for (const browser::FolderEntry* child : children[id]) {
          const std::string name = freeName(safeFileName(net::toUtf8(child->name)), used, drawNumber);
          walk(child->id, local + name + "/", joined(treePath, net::fromUtf8(name)));
        }
      };
  if (root == browser::kDefaultFolderId) {
    walk(root, saveFolder, "");
  } else {
    const std::string name = safeFileName(net::toUtf8(rootEntry ? rootEntry->name : std::to_string(root)));
    walk(root, saveFolder + name + "/", net::fromUtf8(name));
  }
  return out;
}

std::vector<QueueRow> downloadTreeRows(const std::vector<DownloadTreeFolder>& folders, NameRule rule,
                                       std::uint64_t tree, const std::function<int()>& drawNumber) {
  std::vector<QueueRow> rows;
  for (const DownloadTreeFolder& folder : folders) {
    std::set<std::string> used;
    for (const browser::FileRow& f : folder.files) {
      const std::string local = safeFileName(net::toUtf8(f.name));
      const std::string name = freeName(local, used, drawNumber);
      QueueRow row;
      row.fileId = std::to_string(f.id);
      row.name = name == local ? f.name : net::fromUtf8(name);
      row.sizeText = f.size;
      row.size = sizeFromText(f.size);
      row.saveFolder = folder.localFolder;
      row.rule = rule;
      row.tree = tree;
      row.treePath = joined(folder.treePath, row.name);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

}  // namespace tarnwick::transfer
