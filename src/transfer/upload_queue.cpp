#include "transfer/upload_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "browser/folder_tree.h"
#include "browser/listing.h"
#include "browser/operations.h"
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

// A listing page read over the thread's kept-alive connection (the
// registration that follows takes it up).
net::RequestResult listingPage(const std::string& url, const net::RequestOptions& options) {
  return net::performRequest(url, "GET", "", "", "", options);
}

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
  const UploadContext c = m_context.get();
  row.ftpHost = c.ftpHost;
  row.ftpUser = c.ftpUser;
  return addRow(std::move(row));
}

UploadTreePlan UploadQueue::planTree(const std::string& localFolder, std::int32_t parent) const {
  const UploadContext c = m_context.get();
  return planUploadTree(localFolder, parent, c.ftpHost, c.ftpUser);
}

std::string UploadQueue::exclusiveKey(const QueueRow& row) const {
  if (row.kind == RowKind::MakeFolder)
    return "folder\n" + std::to_string(row.folderId.value_or(-1)) + '\n' + row.name;
  const std::string host = row.ftpHost.empty() ? m_context.get().ftpHost : row.ftpHost;
  return host + '\n' + storedFileName(row.name);
}

void UploadQueue::loadedRow(QueueRow& row) {
  if (row.kind == RowKind::MakeFolder) return;
  if (!stampOf(row.localPath).exists) {
    row.state = RowState::Failed;
    row.reason = gbk("本地文件已不存在");
  }
}

static std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

UploadQueue::Lookup UploadQueue::findRegistered(const UploadContext& c, const QueueRow& row) {
  // The listing is newest first: the walk ends at the first file that is not
  // newer than the newest one before the request left.
  Lookup out;
  net::RequestOptions options;
  options.cancel = stopFlag();
  const std::string stored = storedFileName(row.name);
  int pages = 1;
  for (int page = 0; page < pages && page < kListingPages; ++page) {
    const auto url = browser::listingUrl(c.mainHost, c.userId, row.folderId.value_or(0),
                                         page == 0 ? std::nullopt : std::optional<std::string>(std::to_string(page)));
    const net::RequestResult r = listingPage(url, options);
    if (!r.ok()) {
      out.unreachable = true;
      return out;
    }
    if (page == 0) pages = std::max(1, browser::pageCount(r.body));
    bool older = false;
    for (const browser::FileRow& f : browser::extractFileRows(r.body, c.listingRowPattern)) {
      if (f.id <= row.newestIdBefore) {
        older = true;
        continue;
      }
      if (f.name == stored && (!out.id || f.id < *out.id)) out.id = f.id;
    }
    if (older) break;
  }
  return out;
}

UploadQueue::Lookup UploadQueue::newestInFolder(const UploadContext& c, std::int32_t folderId) {
  Lookup out;
  net::RequestOptions options;
  options.cancel = stopFlag();
  const net::RequestResult r = listingPage(browser::listingUrl(c.mainHost, c.userId, folderId), options);
  if (!r.ok()) {
    out.unreachable = true;
    return out;
  }
  out.id = 0;
  for (const browser::FileRow& f : browser::extractFileRows(r.body, c.listingRowPattern))
    out.id = std::max<std::int64_t>(*out.id, f.id);
  return out;
}

// Before a request that makes a file row leaves, the row says so in the
// saved queue; false when that could not be saved (nothing is sent then).
bool UploadQueue::markPending(QueueRow& row, Pending what, std::int64_t newestBefore) {
  row.pending = what;
  row.newestIdBefore = newestBefore;
  row.sentAtMs = nowMs();
  return updateRowNow(row);
}

UploadQueue::Resolved UploadQueue::resolvePending(const UploadContext& c, QueueRow& row) {
  const Lookup found = findRegistered(c, row);
  if (stopRequested()) return Resolved::Stopped;
  if (found.unreachable) return Resolved::Unreachable;
  if (found.id) {
    row.remoteId = *found.id;
    row.instant = row.pending == Pending::Instant;
    row.pending = Pending::None;
    return Resolved::Registered;
  }
  // The instant upload is one short step on the service: no row, no file.
  if (row.pending == Pending::Instant) return Resolved::Resend;
  switch (temporaryFileState(ftpFile(c, row), stopFlag())) {
    // The service takes the temporary file away first thing (two
    // registrations never take one file): still there, it was never taken.
    case RemoteFile::Present: return Resolved::RegisterAgain;
    case RemoteFile::Absent:
      // Taken, and the service may still be reading it before it adds the
      // row: nothing is concluded before the request's deadline; after it,
      // the upload was lost and goes again.
      if (nowMs() - row.sentAtMs < registrationDeadlineSeconds(row.size) * 1000L) return Resolved::Wait;
      return Resolved::Resend;
    case RemoteFile::Unreachable: break;
  }
  return stopRequested() ? Resolved::Stopped : Resolved::Unreachable;
}

FtpUploadFile UploadQueue::ftpFile(const UploadContext& c, const QueueRow& row) const {
  FtpUploadFile file;
  file.ftpHost = row.ftpHost.empty() ? c.ftpHost : row.ftpHost;
  file.localPath = row.localPath;
  file.fileNameGbk = row.name;
  file.user = row.ftpHost.empty() ? c.ftpUser : row.ftpUser;
  file.password = c.ftpPassword;
  return file;
}

TransferQueue::StepResult UploadQueue::makeFolder(const UploadContext& c, QueueRow& row) {
  if (const std::string why = browser::refusedNameReason(row.name); !why.empty())
    return {Step::Failed, gbk("服务不接受这个文件夹名称：") + net::fromUtf8(why)};
  if (!row.folderId) return {Step::Failed, gbk("上级文件夹未知")};
  net::RequestOptions options;
  options.cancel = stopFlag();
  const browser::PageFetch fetch = servicePages(stopFlag());
  const browser::FolderSource source =
      folderSource(c.mainHost, c.account, c.userId, c.folderEntryPattern, c.listingRowPattern);
  // The folder may be there already: made by an earlier run whose reply was
  // lost, or by the member. The oldest of that name is taken.
  const auto lookUp = [&]() -> std::optional<StepResult> {
    const auto folders = browser::readFolderTree(fetch, source);
    if (stopRequested()) return StepResult{Step::Stopped, {}};
    if (!folders) return StepResult{Step::Unreachable, gbk("无法连接服务器")};
    const auto found = browser::childFoldersNamed(*folders, *row.folderId, row.name);
    if (found.empty()) return std::nullopt;
    row.remoteId = found.front();
    row.pending = Pending::None;
    return StepResult{Step::Done, {}};
  };
  if (auto known = lookUp()) return *known;
  if (row.pending == Pending::Folder) {  // looked up: the create made nothing
    row.pending = Pending::None;
    updateRow(row);
  }
  if (!markPending(row, Pending::Folder, 0)) return {Step::Failed, gbk("无法保存传输队列，没有发送"), true};
  const browser::Request req = browser::createFolderRequest(c.mainHost, c.account, row.name, *row.folderId);
  net::RequestOptions once = options;
  once.freshConnection = true;  // never sent twice by a retry of a dead kept-alive connection
  const net::RequestResult r = net::performRequest(req.url, "POST", "", "", req.body, once);
  if (!r.ok()) {
    if (stopRequested()) return {Step::Stopped, {}};  // still pending: looked up at the next start
    return {Step::Unreachable, gbk("创建结果未知，稍后再查")};
  }
  if (const auto id = browser::newFolderId(r.body)) {
    row.remoteId = *id;
    row.pending = Pending::None;
    return {Step::Done, {}};
  }
  if (browser::createFolderSucceeded(r.body)) {  // made, but the reply does not name it
    if (auto known = lookUp()) return *known;
  }
  row.pending = Pending::None;
  updateRow(row);
  return {Step::Failed, gbk("服务没有创建文件夹")};
}

TransferQueue::StepResult UploadQueue::runRow(QueueRow& row) {
  const UploadContext c = m_context.get();
  if (row.kind == RowKind::MakeFolder) return makeFolder(c, row);
  const FileStamp before = stampOf(row.localPath);
  if (!before.exists) return {Step::Failed, gbk("本地文件不存在或无法读取"), true};
  row.size = before.size;
  if (!row.folderId && row.tree) return {Step::Failed, gbk("所在文件夹未知")};
  if (!row.folderId) {  // a row saved by an older version without its folder
    row.folderId = c.currentFolder ? c.currentFolder() : 0;
    updateRow(row);
  }
  const UploadTarget target{c.mainHost, c.account, *row.folderId};
  const StepResult notSaved{Step::Failed, gbk("无法保存传输队列，没有发送"), true};
  const StepResult unknown{Step::Unreachable, gbk("登记结果未知，稍后再查")};

  // Sent before, but whether the service took it is not known: ask first.
  bool registerOnly = false;
  if (row.pending != Pending::None) {
    switch (resolvePending(c, row)) {
      case Resolved::Stopped: return {Step::Stopped, {}};
      case Resolved::Unreachable: return {Step::Unreachable, gbk("无法连接服务器")};
      case Resolved::Wait: return unknown;
      case Resolved::Registered: return {Step::Done, {}};
      case Resolved::RegisterAgain: registerOnly = true; break;
      case Resolved::Resend: break;
    }
    row.pending = Pending::None;
    updateRow(row);
  }

  net::RequestOptions options;
  options.cancel = stopFlag();
  std::int64_t newestBefore = -1;  // read again before each request that makes a file
  const auto readNewest = [&]() -> std::optional<StepResult> {
    const Lookup newest = newestInFolder(c, *row.folderId);
    if (stopRequested()) return StepResult{Step::Stopped, {}};
    if (newest.unreachable) return StepResult{Step::Unreachable, gbk("无法连接服务器")};
    newestBefore = *newest.id;
    return std::nullopt;
  };
  if (c.instant && !registerOnly) {
    std::string error;
    const std::string md5 = md5OfFile(row.localPath, &error, stopFlag());
    if (stopRequested()) return {Step::Stopped, {}};
    if (md5.empty()) return {Step::Failed, gbk("无法读取文件：") + error, true};
    if (auto stop = readNewest()) return *stop;
    if (!markPending(row, Pending::Instant, newestBefore)) return notSaved;
    const UploadRequest req = instantUploadRequest(target, md5, row.name);
    const net::RequestResult r = net::performRequest(req.url, "POST", "", "", req.body, options);
    if (stopRequested() && noReply(r)) return {Step::Stopped, {}};  // still pending: asked at the next start
    if (noReply(r)) return unknown;
    row.pending = Pending::None;
    updateRow(row);
    if (auto id = uploadedFileId(replyText(r))) {
      row.remoteId = *id;
      row.instant = true;
      return {Step::Done, {}};
    }
  }

  if (!registerOnly) {
    announce(QueueEventKind::Sending, row.id);
    const std::int64_t sendStart = nowMs();
    const TransferReport sent = runTransfer(std::make_shared<FtpUpload>(), ftpUploadParams(ftpFile(c, row)));
    if (stopRequested() || sent.outcome == Outcome::Closed) return {Step::Stopped, {}};
    const FileStamp after = stampOf(row.localPath);
    if (sent.succeeded && after != before) return {Step::Failed, gbk("文件在上传过程中被修改"), true};
    if (!sent.succeeded) {
      std::string reason = outcomeName(sent.outcome);
      if (!sent.error.empty()) reason += ": " + sent.error;
      switch (sent.outcome) {
        case Outcome::ConnectFailed: return {Step::Unreachable, gbk("无法连接服务器：") + reason};
        case Outcome::NetworkError:
          return {sent.status != 0 ? Step::Broken : Step::Unreachable, gbk("连接中断：") + reason};
        case Outcome::LocalFileError: return {Step::Failed, reason, true};
        default:
          if (after != before) return {Step::Failed, gbk("文件在上传过程中被修改"), true};
          return {Step::Failed, reason};
      }
    }
    // A long transfer: other files may have come into the folder meanwhile.
    if (newestBefore >= 0 && nowMs() - sendStart > 10000) newestBefore = -1;
  }

  announce(QueueEventKind::Sent, row.id);
  if (newestBefore < 0)
    if (auto stop = readNewest()) return *stop;
  if (!markPending(row, Pending::Registration, newestBefore)) return notSaved;
  const UploadRequest req = registerUploadRequest(target, row.name);
  options.deadlineSeconds = registrationDeadlineSeconds(row.size);
  const net::RequestResult r = net::performRequest(req.url, "POST", "", "", req.body, options);
  if (r.ok()) {
    if (auto id = uploadedFileId(replyText(r))) {
      row.pending = Pending::None;
      row.remoteId = *id;
      return {Step::Done, {}};
    }
    // A refusal may answer a second copy of the request: libcurl sends a
    // request again by itself when a kept-alive connection dies before the
    // reply, and the first copy may have registered the file (the service
    // takes the temporary file away, so the second finds none). The listing
    // says which; until it has, the row stays pending.
    const Lookup found = findRegistered(c, row);
    if (stopRequested()) return {Step::Stopped, {}};
    if (found.unreachable) return unknown;
    row.pending = Pending::None;
    if (found.id) {
      row.remoteId = *found.id;
      return {Step::Done, {}};
    }
    updateRow(row);
    return {Step::Failed, gbk("上传失败，文件被使用中")};
  }
  // No reply: the service may have taken the file all the same. The row stays
  // pending (saved so): until the listing says so either way, it is not sent again.
  if (stopRequested()) return {Step::Stopped, {}};
  switch (resolvePending(c, row)) {
    case Resolved::Stopped: return {Step::Stopped, {}};
    case Resolved::Registered: return {Step::Done, {}};
    default: return {Step::Unreachable, gbk("登记没有得到回复")};
  }
}

}  // namespace tarnwick::transfer
