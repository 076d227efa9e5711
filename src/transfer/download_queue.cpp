#include "transfer/download_queue.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "browser/folder_tree.h"
#include "net/http.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/folder_trees.h"
#include "transfer/http_download.h"

namespace tarnwick::transfer {

namespace {

std::string gbk(const char* utf8) { return net::fromUtf8(utf8); }

constexpr int kCheckpointMs = 1000;  // how often a running download saves its partial's size

bool pathTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Moves from onto to only when to does not exist (no file of the user is
// replaced by a race between the check and the move).
bool renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: a hard link fails on a taken name too.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

int randomNumber() {
  static std::mutex m;
  static std::mt19937 gen{std::random_device{}()};
  std::lock_guard lock(m);
  return std::uniform_int_distribution<int>(10000, 50000)(gen);
}

void removePartial(const PartialFile& p) {
  if (!p.path.empty()) ::unlink(p.path.c_str());
}

}  // namespace

std::string partialPathFor(const std::string& folder, const std::string& localName, const std::string& fileId,
                           std::uint64_t rowId) {
  char row[17];
  std::snprintf(row, sizeof row, "%016llx", static_cast<unsigned long long>(rowId));
  const std::string tail = "." + fileId.substr(0, 20) + "-" + row + ".tnwkpart";
  std::string name = localName;
  constexpr std::size_t kNameMax = 255;
  if (name.size() + tail.size() > kNameMax) {
    std::size_t keep = kNameMax - tail.size();
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;  // UTF-8 boundary
    name.resize(keep);
  }
  return folder + name + tail;
}

static bool isAbsoluteFolder(const std::string& folder) {
  return !folder.empty() && folder.front() == '/' &&
         folderWithSeparator(std::filesystem::path(folder).lexically_normal().string()) == folder;
}

DownloadQueue::DownloadQueue() = default;

DownloadQueue::~DownloadQueue() { stop(); }

std::uint64_t DownloadQueue::add(const std::string& fileId, const std::string& nameGbk,
                                 const std::string& sizeText, const std::string& saveFolder) {
  const DownloadContext c = m_context.get();
  QueueRow row;
  row.fileId = fileId;
  row.name = nameGbk;
  row.sizeText = sizeText;
  row.saveFolder = normalFolder(saveFolder.empty() ? c.saveFolder : saveFolder);
  row.rule = c.rule;
  if (!isAbsoluteFolder(row.saveFolder)) return 0;  // a relative or empty folder is never guessed
  return addRow(std::move(row));
}

std::uint64_t DownloadQueue::addFolder(std::int32_t folderId, const std::string& nameGbk,
                                       const std::string& saveFolder) {
  const DownloadContext c = m_context.get();
  QueueRow row;
  row.id = newRowId();
  row.kind = RowKind::ExpandFolder;
  row.fileId = std::to_string(folderId);
  row.name = nameGbk;
  row.saveFolder = normalFolder(saveFolder.empty() ? c.saveFolder : saveFolder);
  row.rule = c.rule;
  row.tree = row.id;
  if (folderId < 0 || !isAbsoluteFolder(row.saveFolder)) return 0;
  const std::uint64_t id = row.id;
  addRows({std::move(row)});
  return id;
}

// Reads the cloud folder's tree and every listing page of each of its
// folders, makes the local folders, and hands the file rows to the queue to
// take this row's place when it ends.
TransferQueue::StepResult DownloadQueue::expandFolder(const DownloadContext& c, QueueRow& row) {
  if (!isAbsoluteFolder(row.saveFolder)) return {Step::Failed, gbk("下载文件夹不是绝对路径"), true};
  const browser::PageFetch fetch = servicePages(stopFlag());
  const browser::FolderSource source =
      folderSource(c.mainHost, c.account, c.userId, c.folderEntryPattern, c.fileRowPattern);
  const std::int32_t root = static_cast<std::int32_t>(std::stol(row.fileId));
  const auto folders = browser::readFolderTree(fetch, source);
  if (stopRequested()) return {Step::Stopped, {}};
  if (!folders) return {Step::Unreachable, gbk("无法连接服务器")};
  if (root != browser::kDefaultFolderId &&
      std::none_of(folders->begin(), folders->end(), [&](const browser::FolderEntry& f) { return f.id == root; }))
    return {Step::Failed, gbk("云端没有这个文件夹")};
  std::vector<DownloadTreeFolder> local =
      localFoldersOf(*folders, root, row.saveFolder, c.drawNumber ? c.drawNumber : randomNumber);
  // The listings of the folders, read by a few threads at once (each with
  // its own kept-alive connection): a tree of a hundred folders is a few
  // hundred pages.
  const std::atomic<bool>* cancel = stopFlag();
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  const auto reader = [&] {
    const browser::PageFetch fetchHere = servicePages(cancel);
    for (std::size_t i; !failed && !cancel->load() && (i = next++) < local.size();) {
      DownloadTreeFolder& folder = local[i];
      const bool read = browser::forEachFile(fetchHere, source, folder.cloudId, [&](const browser::FileRow& f) {
        folder.files.push_back(f);
        return !cancel->load();
      });
      if (!read) failed = true;
    }
  };
  std::vector<std::thread> readers;
  for (std::size_t i = 1; i < std::min<std::size_t>(4, local.size()); ++i) readers.emplace_back(reader);
  reader();
  for (std::thread& t : readers) t.join();
  if (stopRequested()) return {Step::Stopped, {}};
  if (failed) return {Step::Unreachable, gbk("无法连接服务器")};
  // The local folders, empty ones too, before any file is fetched.
  for (const DownloadTreeFolder& folder : local) {
    std::error_code ec;
    std::filesystem::create_directories(folder.localFolder, ec);
    if (ec) return localFailure("无法创建下载文件夹：", ec.value());
  }
  std::vector<QueueRow> rows =
      downloadTreeRows(local, row.rule, row.tree ? row.tree : row.id, c.drawNumber ? c.drawNumber : randomNumber);
  for (QueueRow& r : rows) r.folderId = root;  // the walked folder: a later get -r of it finds its rows
  replaceWhenDone(std::move(rows));
  return {Step::Done, {}};
}

std::string DownloadQueue::normalFolder(const std::string& folder) {
  if (folder.empty() || folder.front() != '/') return {};
  return folderWithSeparator(std::filesystem::path(folder).lexically_normal().string());
}

void DownloadQueue::forgetRow(const QueueRow& row) { removePartial(row.partial); }

void DownloadQueue::stoppedRow(QueueRow& row) {
  if (row.bodyComplete) return;  // complete: only the rename is left
  removePartial(row.partial);
  row.partial = PartialFile{};
}

void DownloadQueue::heldRow(QueueRow& row) {
  if (row.bodyComplete) return;  // complete: only the rename is left
  const FileStamp now = stampOf(row.partial.path);
  row.partial.size = now.exists ? now.size : -1;
  row.partial.mtimeNs = now.mtimeNs;
}

std::string DownloadQueue::exclusiveKey(const QueueRow& row) const {
  if (row.kind == RowKind::ExpandFolder) return {};
  const std::string folder = row.saveFolder.empty() ? normalFolder(m_context.get().saveFolder) : row.saveFolder;
  return folder + safeFileName(net::toUtf8(row.name));
}

void DownloadQueue::runBegins() {
  std::lock_guard lock(m_writtenMutex);
  m_written.clear();
}

void DownloadQueue::checkpoint(QueueRow& row) {
  const FileStamp now = stampOf(row.partial.path);
  if (!now.exists) return;
  row.partial.size = now.size;
  row.partial.mtimeNs = now.mtimeNs;
  updateRow(row);
}

// The partial file is continued from its checkpoint: bytes past it (written
// after the last save, before a kill) are cut off; a partial shorter than its
// checkpoint (lost by a power failure) or one the row did not record starts
// again from 0.
bool DownloadQueue::keepPartial(QueueRow& row) {
  const FileStamp now = stampOf(row.partial.path);
  const std::int64_t mark = row.partial.size;
  if (!now.exists || mark <= 0 || now.size < mark) return false;
  if (row.partial.serverTotal >= 0 && mark > row.partial.serverTotal) return false;
  if (now.size > mark && ::truncate(row.partial.path.c_str(), mark) != 0) return false;
  return true;
}

// Failures of this machine, not of the service.
TransferQueue::StepResult DownloadQueue::localFailure(const char* what, int error) {
  return {Step::Failed, gbk(what) + net::fromUtf8(std::strerror(error)), true};
}

TransferQueue::StepResult DownloadQueue::runRow(QueueRow& row) {
  const DownloadContext c = m_context.get();
  if (row.kind == RowKind::ExpandFolder) return expandFolder(c, row);
  if (row.saveFolder.empty()) row.saveFolder = normalFolder(c.saveFolder);  // saved by an older version
  if (!isAbsoluteFolder(row.saveFolder)) return {Step::Failed, gbk("下载文件夹不是绝对路径"), true};
  const std::string localName = safeFileName(net::toUtf8(row.name));
  if (row.partial.path.empty()) row.partial.path = partialPathFor(row.saveFolder, localName, row.fileId, row.id);
  updateRow(row);
  std::error_code ec;
  std::filesystem::create_directories(row.saveFolder, ec);
  if (ec) return localFailure("无法创建下载文件夹：", ec.value());

  // Every byte arrived before (the rename failed, or the run ended first).
  if (row.bodyComplete) {
    const FileStamp now = stampOf(row.partial.path);
    if (now.exists && now.size == row.partial.size) return finish(row);
    row.bodyComplete = false;
    row.partial.size = -1;
  }

  net::RequestOptions options;
  options.cancel = stopFlag();
  const net::RequestResult page =
      net::performFetch(addressPageUrl(c.mainHost, row.fileId, c.accessPassword), options);
  if (stopRequested()) return {Step::Stopped, {}};
  if (!page.ok()) return {Step::Unreachable, gbk("无法连接服务器")};
  const std::string address = storageAddress(page.body, c.storageHost);
  if (address.empty()) return {Step::Failed, gbk("没有取得文件的下载地址")};

  bool resume = keepPartial(row);
  for (int attempt = 0;; ++attempt) {
    if (!resume) {
      removePartial(row.partial);
      row.partial = PartialFile{row.partial.path};
    }
    const std::int64_t knownTotal = row.partial.serverTotal;
    const std::int64_t resumedAt = resume ? row.partial.size : 0;
    TransferParams params;
    params.remoteUrl = address;
    params.localFile = row.partial.path;
    announce(QueueEventKind::Sending, row.id);
    const TransferReport got = runTransfer(
        std::make_shared<HttpDownload>(), params, [resume] { return !resume; }, [&] { checkpoint(row); },
        kCheckpointMs);
    if (stopRequested() || got.outcome == Outcome::Closed) return {Step::Stopped, {}};

    const FileStamp left = stampOf(row.partial.path);
    row.partial.size = left.size;
    row.partial.mtimeNs = left.mtimeNs;
    if (got.totalSize > 0) row.partial.serverTotal = got.totalSize;
    // Continued against a file that is not the one begun (its size changed on
    // the service): the bytes in hand are not its; once more from 0.
    const bool otherFile = resume && knownTotal > 0 && got.totalSize > 0 && got.totalSize != knownTotal;
    // Asked past the end: complete when it holds exactly the total known before.
    const bool pastEnd = resume && got.status == 416;
    if (pastEnd && knownTotal > 0 && resumedAt == knownTotal && left.size == knownTotal) {
      row.bodyComplete = true;
      if (!updateRowNow(row)) return {Step::Failed, gbk("无法保存传输队列"), true};
      return finish(row);
    }
    if ((otherFile || pastEnd) && attempt == 0) {
      resume = false;
      continue;
    }
    if (got.succeeded) {
      row.bodyComplete = true;
      if (!updateRowNow(row)) return {Step::Failed, gbk("无法保存传输队列"), true};
      announce(QueueEventKind::Sent, row.id);
      return finish(row);
    }
    updateRow(row);

    std::string reason = outcomeName(got.outcome);
    if (!got.error.empty()) reason += ": " + got.error;
    switch (got.outcome) {
      case Outcome::ConnectFailed: return {Step::Unreachable, gbk("无法连接服务器：") + reason};
      case Outcome::NetworkError:
        return {got.status != 0 ? Step::Broken : Step::Unreachable, gbk("连接中断：") + reason};
      case Outcome::LocalFileError: return {Step::Failed, reason, true};
      default: return {Step::Failed, reason};
    }
  }
}

// The body is complete in the partial file: it takes the target's name now.
// A name this run has already written is never replaced by another row of
// the run: that row gets a new name, whatever its rule.
TransferQueue::StepResult DownloadQueue::finish(QueueRow& row) {
  const DownloadContext c = m_context.get();
  const std::string name = safeFileName(net::toUtf8(row.name));
  std::string target = row.saveFolder + name;
  const std::string partial = row.partial.path;
  bool writtenThisRun = false;
  {
    std::lock_guard lock(m_writtenMutex);
    writtenThisRun = m_written.count(target) > 0;
  }
  NameRule rule = writtenThisRun ? NameRule::Rename : row.rule;
  struct stat st {};
  if (rule != NameRule::Rename && ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return {Step::Failed, gbk("无法保存文件：目标是一个文件夹：") + net::fromUtf8(target), true};
  bool moved = !writtenThisRun && renameNoReplace(partial, target);
  int error = errno;
  if (!moved && pathTaken(target)) {
    switch (rule) {
      case NameRule::Overwrite:
        moved = std::rename(partial.c_str(), target.c_str()) == 0;
        error = errno;
        break;
      case NameRule::Rename:
        for (int tries = 0; tries < 3 && !moved; ++tries) {
          target = renamedTarget(row.saveFolder, name, c.drawNumber ? c.drawNumber : randomNumber, pathTaken);
          if (target.empty()) return {Step::Failed, gbk("没有可用的新文件名")};
          moved = renameNoReplace(partial, target);
          error = errno;
        }
        break;
      case NameRule::Keep:
        return {Step::Failed, gbk("文件已存在")};
    }
  }
  if (!moved) return localFailure("无法保存文件：", error);
  if (writtenThisRun) row.note = gbk("同名文件已在本次下载中保存，另存为：") + net::fromUtf8(target);
  {
    std::lock_guard lock(m_writtenMutex);
    m_written.insert(target);
  }
  row.finalPath = target;
  row.size = stampOf(target).size;
  row.partial = PartialFile{};
  row.bodyComplete = false;
  return {Step::Done, {}};
}

}  // namespace tarnwick::transfer
