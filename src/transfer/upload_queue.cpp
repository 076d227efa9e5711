#include "transfer/upload_queue.h"

#include <algorithm>
#include <cstdlib>

#include "browser/listing.h"
#include "net/http.h"
#include "net/text.h"
#include "transfer/download_plan.h"
#include "transfer/ftp_upload.h"
#include "transfer/md5.h"
#include "transfer/upload_requests.h"

namespace tarnwick::transfer {

namespace {

std::string gbk(const char* utf8) { return net::fromUtf8(utf8); }

// The reply of a form request as httpRequestText gives it: cut at its first zero byte.
std::string replyText(const net::RequestResult& r) { return r.body.substr(0, r.body.find('\0')); }

// No reply at all: the service was not reached or did not answer.
bool noReply(const net::RequestResult& r) {
  return r.failure == net::RequestFailure::NoConnection || r.failure == net::RequestFailure::TimedOut ||
         r.failure == net::RequestFailure::Broken;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr int kListingPages = 200;  // pages of the target folder read to find a registered file

}  // namespace

long registrationDeadlineSeconds(std::int64_t size) {
  // 30 s, plus a second for every 8 MiB the service reads.
  return 30 + static_cast<long>(std::max<std::int64_t>(0, size) / (8 << 20));
}

UploadQueue::UploadQueue() = default;

UploadQueue::~UploadQueue() { stop(); }

std::uint64_t UploadQueue::add(const std::string& localPath, std::optional<std::int32_t> folderId) {
  // The service keeps names as GBK: a name with a character GBK cannot hold
  // would be stored without it (or empty), so such a file is never queued.
  if (!net::charactersGbkCannotHold(baseName(localPath)).empty()) return 0;
  QueueRow row;
  row.localPath = localPath;
  row.name = net::fromUtf8(baseName(localPath));
  row.folderId = folderId;
  row.size = stampOf(localPath).size;
  return addRow(std::move(row));
}

void UploadQueue::loadedRow(QueueRow& row) {
  if (!stampOf(row.localPath).exists) {
    row.state = RowState::Failed;
    row.reason = gbk("本地文件已不存在");
  }
}

UploadQueue::Lookup UploadQueue::findRegistered(const UploadContext& c, const QueueRow& row) {
  Lookup out;
  net::RequestOptions options;
  options.cancel = stopFlag();
  int pages = 1;
  for (int page = 0; page < pages && page < kListingPages; ++page) {
    const auto url = browser::listingUrl(c.mainHost, c.userId, row.folderId.value_or(0),
                                         page == 0 ? std::nullopt : std::optional<std::string>(std::to_string(page)));
    const net::RequestResult r = net::performFetch(url, options);
    if (!r.ok()) {
      out.unreachable = true;
      return out;
    }
    if (page == 0) pages = std::max(1, browser::pageCount(r.body));
    for (const browser::FileRow& f : browser::extractFileRows(r.body, c.listingRowPattern)) {
      if (f.name != row.name) continue;
      // The listing rounds sizes: a file of this name whose size is within it.
      const std::int64_t listed = sizeFromText(f.size);
      const std::int64_t slack = std::max<std::int64_t>(1024, row.size / 16);
      if (listed >= 0 && std::llabs(listed - row.size) > slack) continue;
      if (!out.id || f.id > *out.id) out.id = f.id;  // the newest such file
    }
  }
  return out;
}

TransferQueue::StepResult UploadQueue::runRow(QueueRow& row) {
  const UploadContext c = m_context.get();
  const FileStamp before = stampOf(row.localPath);
  if (!before.exists) return {Step::Failed, gbk("本地文件不存在或无法读取")};
  row.size = before.size;
  if (!row.folderId) {  // fixed once the file is on its way
    row.folderId = c.currentFolder ? c.currentFolder() : 0;
    updateRow(row);
  }
  const UploadTarget target{c.mainHost, c.account, *row.folderId};

  // Sent before, but whether the service took it is not known: ask first.
  if (row.registrationUnknown) {
    const Lookup found = findRegistered(c, row);
    if (stopRequested()) return {Step::Stopped, {}};
    if (found.unreachable) return {Step::Unreachable, gbk("无法连接服务器")};
    if (found.id) {
      row.remoteId = *found.id;
      return {Step::Done, {}};
    }
    row.registrationUnknown = false;
    updateRow(row);
  }

  net::RequestOptions options;
  options.cancel = stopFlag();
  if (c.instant) {
    std::string error;
    const std::string md5 = md5OfFile(row.localPath, &error, stopFlag());
    if (stopRequested()) return {Step::Stopped, {}};
    if (md5.empty()) return {Step::Failed, gbk("无法读取文件：") + error};
    const UploadRequest req = instantUploadRequest(target, md5, row.name);
    const net::RequestResult r = net::performRequest(req.url, "POST", "", "", req.body, options);
    if (stopRequested()) return {Step::Stopped, {}};
    if (noReply(r)) return {Step::Unreachable, gbk("无法连接服务器")};
    if (auto id = uploadedFileId(replyText(r))) {
      row.remoteId = *id;
      row.instant = true;
      return {Step::Done, {}};
    }
  }

  announce(QueueEventKind::Sending, row.id);
  FtpUploadFile file;
  file.ftpHost = c.ftpHost;
  file.localPath = row.localPath;
  file.fileNameGbk = row.name;
  file.user = c.ftpUser;
  file.password = c.ftpPassword;
  const TransferReport sent = runTransfer(std::make_shared<FtpUpload>(), ftpUploadParams(file));
  if (stopRequested() || sent.outcome == Outcome::Closed) return {Step::Stopped, {}};
  const FileStamp after = stampOf(row.localPath);
  if (sent.succeeded && after != before) return {Step::Failed, gbk("文件在上传过程中被修改")};
  if (!sent.succeeded) {
    std::string reason = outcomeName(sent.outcome);
    if (!sent.error.empty()) reason += ": " + sent.error;
    switch (sent.outcome) {
      case Outcome::ConnectFailed: return {Step::Unreachable, gbk("无法连接服务器：") + reason};
      case Outcome::NetworkError:
        return {sent.status != 0 ? Step::Broken : Step::Unreachable, gbk("连接中断：") + reason};
      default:
        if (after != before) return {Step::Failed, gbk("文件在上传过程中被修改")};
        return {Step::Failed, reason};
    }
  }

  announce(QueueEventKind::Sent, row.id);
  const UploadRequest req = registerUploadRequest(target, row.name);
  options.deadlineSeconds = registrationDeadlineSeconds(row.size);
  const net::RequestResult r = net::performRequest(req.url, "POST", "", "", req.body, options);
  if (r.ok()) {
    if (auto id = uploadedFileId(replyText(r))) {
      row.remoteId = *id;
      return {Step::Done, {}};
    }
    return {Step::Failed, gbk("上传失败，文件被使用中")};
  }
  // No reply: the service may have taken the file all the same. Until the
  // listing says so either way, the row is not sent again.
  row.registrationUnknown = true;
  updateRow(row);
  if (stopRequested()) return {Step::Stopped, {}};
  const Lookup found = findRegistered(c, row);
  if (stopRequested()) return {Step::Stopped, {}};
  if (found.id) {
    row.registrationUnknown = false;
    row.remoteId = *found.id;
    return {Step::Done, {}};
  }
  if (found.unreachable) return {Step::Unreachable, gbk("登记没有得到回复")};
  // Not listed (yet): the next start asks the listing again before sending.
  return {Step::Failed, gbk("登记没有得到回复，文件没有登记")};
}

}  // namespace tarnwick::transfer
