#include "transfer/download_queue.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "net/http.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/http_download.h"

namespace tarnwick::transfer {

namespace {

std::string gbk(const char* utf8) { return net::fromUtf8(utf8); }

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
  std::snprintf(row, sizeof row, "%08llx", static_cast<unsigned long long>(rowId & 0xffffffffu));
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

DownloadQueue::DownloadQueue() = default;

DownloadQueue::~DownloadQueue() { stop(); }

std::uint64_t DownloadQueue::add(const std::string& fileId, const std::string& nameGbk,
                                 const std::string& sizeText, const std::string& saveFolder) {
  QueueRow row;
  row.fileId = fileId;
  row.name = nameGbk;
  row.sizeText = sizeText;
  if (!saveFolder.empty()) row.saveFolder = folderWithSeparator(saveFolder);
  return addRow(std::move(row));
}

void DownloadQueue::forgetRow(const QueueRow& row) { removePartial(row.partial); }

void DownloadQueue::stoppedRow(QueueRow& row) {
  removePartial(row.partial);
  row.partial = PartialFile{};
}

TransferQueue::StepResult DownloadQueue::runRow(QueueRow& row) {
  const DownloadContext c = m_context.get();
  if (row.saveFolder.empty()) row.saveFolder = folderWithSeparator(c.saveFolder);
  const std::string localName = safeFileName(net::toUtf8(row.name));
  if (row.partial.path.empty()) row.partial.path = partialPathFor(row.saveFolder, localName, row.fileId, row.id);
  updateRow(row);
  std::error_code ec;
  std::filesystem::create_directories(row.saveFolder, ec);

  net::RequestOptions options;
  options.cancel = stopFlag();
  const net::RequestResult page =
      net::performFetch(addressPageUrl(c.mainHost, row.fileId, c.accessPassword), options);
  if (stopRequested()) return {Step::Stopped, {}};
  if (!page.ok()) return {Step::Unreachable, gbk("无法连接服务器")};
  const std::string address = storageAddress(page.body, c.storageHost);
  if (address.empty()) return {Step::Failed, gbk("没有取得文件的下载地址")};

  // The partial file is continued only while it is exactly as this row left it.
  const FileStamp now = stampOf(row.partial.path);
  bool resume = now.exists && now.size > 0 && now.size == row.partial.size && now.mtimeNs == row.partial.mtimeNs &&
                (row.partial.serverTotal < 0 || now.size <= row.partial.serverTotal);
  for (int attempt = 0;; ++attempt) {
    if (!resume) {
      removePartial(row.partial);
      row.partial = PartialFile{row.partial.path};
    }
    const std::int64_t knownTotal = row.partial.serverTotal;
    TransferParams params;
    params.remoteUrl = address;
    params.localFile = row.partial.path;
    announce(QueueEventKind::Sending, row.id);
    const TransferReport got = runTransfer(std::make_shared<HttpDownload>(), params, [resume] { return !resume; });
    if (stopRequested() || got.outcome == Outcome::Closed) return {Step::Stopped, {}};

    const FileStamp left = stampOf(row.partial.path);
    row.partial.size = left.size;
    row.partial.mtimeNs = left.mtimeNs;
    if (got.totalSize > 0) row.partial.serverTotal = got.totalSize;
    // Continued against a file that is not the one begun (its size changed on
    // the service), or past its end: the bytes in hand are not its; once more from 0.
    const bool otherFile = resume && knownTotal > 0 && got.totalSize > 0 && got.totalSize != knownTotal;
    const bool pastEnd = resume && got.status == 416;
    if ((otherFile || pastEnd) && attempt == 0) {
      resume = false;
      continue;
    }
    updateRow(row);
    if (got.succeeded) {
      announce(QueueEventKind::Sent, row.id);
      return finish(row, c);
    }

    std::string reason = outcomeName(got.outcome);
    if (!got.error.empty()) reason += ": " + got.error;
    switch (got.outcome) {
      case Outcome::ConnectFailed: return {Step::Unreachable, gbk("无法连接服务器：") + reason};
      case Outcome::NetworkError:
        return {got.status != 0 ? Step::Broken : Step::Unreachable, gbk("连接中断：") + reason};
      default: return {Step::Failed, reason};
    }
  }
}

// The body is complete in the partial file: it takes the target's name now.
TransferQueue::StepResult DownloadQueue::finish(QueueRow& row, const DownloadContext& c) {
  const std::string name = safeFileName(net::toUtf8(row.name));
  std::string target = row.saveFolder + name;
  const std::string partial = row.partial.path;
  bool moved = renameNoReplace(partial, target);
  if (!moved && pathTaken(target)) {
    switch (c.rule) {
      case NameRule::Overwrite:
        moved = std::rename(partial.c_str(), target.c_str()) == 0;
        break;
      case NameRule::Rename:
        for (int tries = 0; tries < 3 && !moved; ++tries) {
          target = renamedTarget(row.saveFolder, name, c.drawNumber ? c.drawNumber : randomNumber, pathTaken);
          if (target.empty()) return {Step::Failed, gbk("没有可用的新文件名")};
          moved = renameNoReplace(partial, target);
        }
        break;
      case NameRule::Keep:
        return {Step::Failed, gbk("文件已存在")};
    }
  }
  if (!moved) return {Step::Failed, gbk("无法保存文件：") + std::string(std::strerror(errno))};
  row.finalPath = target;
  row.size = stampOf(target).size;
  row.partial = PartialFile{};
  return {Step::Done, {}};
}

}  // namespace tarnwick::transfer
