#pragma once
// The upload queue: local files sent one at a time into the member's folders.
//
// One row: the instant upload first when it is on (the file's MD5 offered to
// the service; taken: done), otherwise the file itself by FTP to
// name + ".tnwklswj", then the registration. A row is done only after the
// final FTP reply, an unchanged file (size and modification time as at the
// start) and a registration the service took.
//
//   no connection, reset, time-out ... Unreachable: the row waits, the queue
//                                       tries it again (see TransferQueue)
//   refused, file changed, unreadable . Failed with the reason; kept, tried
//                                       again at the next start()
//   registration without a reply ..... the target folder's listing tells
//                                       whether it was taken; until it is known
//                                       the row is never sent a second time

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {

// What an upload needs of the session and the window, read when a row starts.
struct UploadContext {
  std::string mainHost;          // the service
  std::string ftpHost;           // "host[:port]"
  std::string ftpUser;           // empty: anonymous
  std::string ftpPassword;
  std::string account;           // GBK, sent as bsm
  std::string userId;            // the member's id, for the listing check
  std::string listingRowPattern; // the listing's row pattern, for the listing check
  bool instant = true;           // try the MD5 first
  // The folder of a row queued without one, read when it first starts.
  std::function<std::int32_t()> currentFolder;
};

// Seconds the registration may take for a file of size bytes: the service
// reads the whole file before it answers.
long registrationDeadlineSeconds(std::int64_t size);

class UploadQueue : public TransferQueue {
 public:
  UploadQueue();
  ~UploadQueue() override;

  void setContext(UploadContext context) { m_context.set(std::move(context)); }
  // Appends a file (native path); its folder is fixed now when given, else
  // when it first starts. The row's name is the file name after the last "/".
  // 0 and nothing queued when that name holds a character GBK cannot hold
  // (net::charactersGbkCannotHold): front ends check and say so before.
  std::uint64_t add(const std::string& localPath, std::optional<std::int32_t> folderId = std::nullopt);

 protected:
  StepResult runRow(QueueRow& row) override;
  void loadedRow(QueueRow& row) override;

 private:
  struct Lookup {
    std::optional<std::int64_t> id;  // the file is in the folder
    bool unreachable = false;        // the listing could not be read
  };
  Lookup findRegistered(const UploadContext& c, const QueueRow& row);
  Shared<UploadContext> m_context;
};

}  // namespace tarnwick::transfer
