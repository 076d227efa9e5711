#pragma once
// The upload queue: local files sent into the member's folders, up to
// maxActive() at once, each slot with its own FTP session for the run.
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
//   registration without a reply ..... see "write-ahead" below
//
// Write-ahead: the registration and the instant upload make a file row on
// the service. Before either leaves, the row is saved as pending with the
// newest file id of the target folder. A pending row (after no reply, a
// kill, a crash) is never sent again until the service has been asked:
//   a file of the stored name newer than that id ........ registered: done
//   none, an instant request ............................ ask by MD5 again
//   none, the temporary file still on the FTP server .... register it again
//     (the service takes the file away before anything else, and two
//     registrations never take one file)
//   none, the file taken, the request's deadline not over  wait, ask again
//   none, the file taken, the deadline over ............. lost: send again
//
// A folder row (a folder uploaded whole) makes one cloud folder. It first
// looks for a folder of its name under its parent and takes the one with the
// lowest id; only when there is none it creates one, saved as pending
// ("created: unknown") before the request leaves, so that a create without a
// reply is looked up again, never sent twice blindly.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "transfer/folder_trees.h"
#include "transfer/transfer_queue.h"
#include "transfer/upload_requests.h"

namespace tarnwick::transfer {

// What an upload needs of the session and the window, read when a row starts.
struct UploadContext {
  std::string mainHost;          // the service
  std::string ftpHost;           // "host[:port]" of rows queued from now on
  std::string ftpUser;           // empty: anonymous; of rows queued from now on
  std::string ftpPassword;       // of the member's login (never saved with a row)
  std::string account;           // GBK, sent as bsm
  std::string userId;            // the member's id, for the listing check
  std::string listingRowPattern; // the listing's row pattern, for the listing check
  std::string folderEntryPattern; // the folder page's entry pattern, for the folder rows
  bool instant = true;           // try the MD5 first
  // The folder of a row saved without one by an older version.
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
  // Appends a file (absolute native path) for the folder; the FTP host and
  // user are the context's now. The row's name is the file name after the last "/".
  // 0 and nothing queued when that name holds a character GBK cannot hold
  // (net::charactersGbkCannotHold): front ends check and say so before.
  std::uint64_t add(const std::string& localPath, std::optional<std::int32_t> folderId = std::nullopt);
  // The rows of a local folder uploaded whole into the cloud folder parent
  // (see folder_trees.h), with the context's FTP host and user; queued by
  // addTree in one commit.
  UploadTreePlan planTree(const std::string& localFolder, std::int32_t parent) const;
  void addTree(UploadTreePlan plan) { addRows(std::move(plan.rows)); }

 protected:
  StepResult runRow(QueueRow& row) override;
  void loadedRow(QueueRow& row) override;
  // The FTP server finds the temporary file by host and name alone: two rows
  // of one name to one host would write one file. A row whose registration
  // is pending keeps the name until the service has been asked about it.
  std::string exclusiveKey(const QueueRow& row) const override;
  // A folder row holds its parent and name while it runs and while its
  // create request has no known reply: two rows never make one folder twice.
  bool keepsKey(const QueueRow& row) const override {
    return row.pending == Pending::Registration || row.pending == Pending::Folder;
  }

 private:
  struct Lookup {
    std::optional<std::int64_t> id;  // the file is in the folder
    bool unreachable = false;        // the listing could not be read
  };
  enum class Resolved { Registered, Wait, RegisterAgain, Resend, Unreachable, Stopped };
  Lookup findRegistered(const UploadContext& c, const QueueRow& row);
  Lookup newestInFolder(const UploadContext& c, std::int32_t folderId);
  bool markPending(QueueRow& row, Pending what, std::int64_t newestBefore);
  Resolved resolvePending(const UploadContext& c, QueueRow& row);
  FtpUploadFile ftpFile(const UploadContext& c, const QueueRow& row) const;
  StepResult makeFolder(const UploadContext& c, QueueRow& row);
  Shared<UploadContext> m_context;
};

}  // namespace tarnwick::transfer
