#pragma once
// The download queue: listed files fetched into a save folder, up to
// maxActive() at once.
//
// One row: the address page of the file, then the body into a partial file
// of the row's own beside the target (name.<file id>-<row>.tnwkpart), renamed
// over the target only once the engine reports it complete. The name rule
// (overwrite or a new name) is applied at that moment; a failed download
// never touches the file that was there.
//
// Checkpoints: while the body moves, the partial file's size is saved with
// the row every second. After a kill or a crash the next run cuts the
// partial back to its checkpoint and continues from there (a partial shorter
// than its checkpoint, a file whose size changed on the service, or a
// partial past its end starts again from 0). A body that was complete when
// it was saved is only renamed. A row never continues or deletes a file of
// another row or of the user.

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {

struct DownloadContext {
  std::string mainHost;
  std::string storageHost;
  std::string accessPassword;  // GBK
  std::string saveFolder;      // absolute native folder of rows queued from now on
  NameRule rule = NameRule::Overwrite;  // name rule of rows queued from now on
  std::function<int()> drawNumber;  // the rename rule's numbers; empty: random 10000..50000
  // For the walk of a cloud folder (a folder downloaded whole).
  std::string account;             // GBK, zh= of the folder page
  std::string userId;              // pid= of the listing pages
  std::string folderEntryPattern;  // empty: the built-in patterns
  std::string fileRowPattern;
};

// The partial file of a row: folder + name + "." + file id + "-" + row + ".tnwkpart",
// the name shortened (at a character boundary) to fit a file-system name.
std::string partialPathFor(const std::string& folder, const std::string& localName, const std::string& fileId,
                           std::uint64_t rowId);

class DownloadQueue : public TransferQueue {
 public:
  DownloadQueue();
  ~DownloadQueue() override;

  void setContext(DownloadContext context) { m_context.set(std::move(context)); }
  // Appends a listed file (name GBK, size as the listing shows it) for the
  // save folder given (else the context's) and the context's name rule, both
  // fixed now. 0 and nothing queued when the folder is not absolute.
  std::uint64_t add(const std::string& fileId, const std::string& nameGbk, const std::string& sizeText,
                    const std::string& saveFolder = "");
  // Appends the walk of cloud folder folderId (0: the whole account) into
  // the save folder given (else the context's), with the context's name
  // rule: when it runs, its rows take its place (see folder_trees.h). 0
  // and nothing queued when the folder is not absolute.
  std::uint64_t addFolder(std::int32_t folderId, const std::string& nameGbk, const std::string& saveFolder = "");
  // An absolute folder, normalised, with its trailing "/"; "" for a relative or empty one.
  static std::string normalFolder(const std::string& folder);

 protected:
  StepResult runRow(QueueRow& row) override;
  void forgetRow(const QueueRow& row) override;
  void stoppedRow(QueueRow& row) override;
  // A held row keeps its partial file, checkpointed as it is, for its resume.
  void heldRow(QueueRow& row) override;
  void runBegins() override;
  // Two rows of one target (save folder and local name) never run at once:
  // both would take the same name, and the name rule is decided at the rename.
  std::string exclusiveKey(const QueueRow& row) const override;
  // Saves how far the partial file has come (while the transfer runs).
  void checkpoint(QueueRow& row);

 private:
  static StepResult localFailure(const char* whatUtf8, int error);
  bool keepPartial(QueueRow& row);
  StepResult finish(QueueRow& row);
  StepResult expandFolder(const DownloadContext& c, QueueRow& row);
  Shared<DownloadContext> m_context;
  std::mutex m_writtenMutex;
  std::set<std::string> m_written;  // targets this run has written
};

}  // namespace tarnwick::transfer
