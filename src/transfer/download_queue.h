#pragma once
// The download queue: listed files fetched one at a time into a save folder.
//
// One row: the address page of the file, then the body into a partial file
// of the row's own beside the target (name.<file id>-<row>.tnwkpart), renamed
// over the target only once the engine reports it complete. The name rule
// (overwrite or a new name) is applied at that moment; a failed download
// never touches the file that was there.
//
// Resume: a row that stopped early records its partial file's size and
// modification time and the total the server announced; it continues only
// while all of them still match, otherwise it starts again from 0 (a partial
// longer than the file on the service, or a file whose size changed there,
// starts again too). A row never continues or deletes a file of another row
// or of the user.

#include <cstdint>
#include <functional>
#include <string>

#include "transfer/transfer_queue.h"

namespace tarnwick::transfer {

enum class NameRule { Overwrite = 0, Rename = 1, Keep = -1 };  // Keep: a taken name fails the row

struct DownloadContext {
  std::string mainHost;
  std::string storageHost;
  std::string accessPassword;  // GBK
  std::string saveFolder;      // native; for rows queued without one, read when they first start
  NameRule rule = NameRule::Overwrite;
  std::function<int()> drawNumber;  // the rename rule's numbers; empty: random 10000..50000
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
  // Appends a listed file (name GBK, size as the listing shows it); the save
  // folder is fixed now when given, else when the row first starts.
  std::uint64_t add(const std::string& fileId, const std::string& nameGbk, const std::string& sizeText,
                    const std::string& saveFolder = "");

 protected:
  StepResult runRow(QueueRow& row) override;
  void forgetRow(const QueueRow& row) override;
  void stoppedRow(QueueRow& row) override;

 private:
  StepResult finish(QueueRow& row, const DownloadContext& c);
  Shared<DownloadContext> m_context;
};

}  // namespace tarnwick::transfer
