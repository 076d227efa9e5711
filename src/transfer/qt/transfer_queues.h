#pragma once
// The program's upload and download queues (core objects), owned by the main
// window, and the member they belong to: after each login they load that
// member's saved rows; when the member leaves or the program ends they stop
// the one way the queues stop and are put away (kept in the store
// 传输队列/queues.db of the documents folder, per member and direction).
//
// The pages are views: they show the queues' rows and forward the user's
// actions. A queue's listener hands each event to a page on the GUI thread.

#include <QObject>
#include <QString>
#include <memory>

#include "transfer/download_queue.h"
#include "transfer/upload_queue.h"

class QWidget;

namespace tarnwick::transfer::qt {

class TransferQueues : public QObject {
  Q_OBJECT
 public:
  explicit TransferQueues(QWidget* main);
  ~TransferQueues() override;

  UploadQueue& uploads() { return *m_uploads; }
  DownloadQueue& downloads() { return *m_downloads; }

  // The queue store of the windows.
  static QString storePath();
  // The whole file an earlier version kept a member's rows in ("" for
  // nobody); moved into the store at that member's next login.
  static QString oldSavePath(const std::string& accountGbk, const char* direction);
  // The main window's queues (created with the upload page's installer).
  static TransferQueues* of(QWidget* main);

  void memberJoined();
  void memberLeft();

 private:
  std::unique_ptr<UploadQueue> m_uploads;
  std::unique_ptr<DownloadQueue> m_downloads;
  std::shared_ptr<QueueStore> m_store;  // opened at the first login
};

}  // namespace tarnwick::transfer::qt
