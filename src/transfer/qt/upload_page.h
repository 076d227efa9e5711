#pragma once
// The page 客户端上传: the upload queue 超级列表框6 worked off one file at a
// time, the progress display and the finished list 超级列表框4.
//
//            startQueue()
//   Idle ----------------> Next file: row 0 of the queue, or Idle when empty
//                            |  使用极速秒传 ticked: worker: MD5 + /jsmc.php
//                            |     taken -------------------------------> Done (极速秒传)
//                            v     not taken, or not ticked
//                          FTP: the original file -> name.tnwklswj (timer on)
//                            |  transfer failed ----------------------> Done (上传失败)
//                            v  succeeded: worker: /tjwj.php
//                          Registered -> Done (常规上传) / not taken -> Done (文件被使用中)
//   Done: row off the queue, captions, then Next file.
//
// Every step runs on the GUI thread; the MD5, the requests and the transfer
// run elsewhere and hand their results back with a queued call. The progress
// timer reads the transfer object's counters on the GUI thread.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "transfer/transfer_params.h"
#include "transfer/upload_progress.h"
#include "transfer/upload_requests.h"
#include "transfer/upload_steps.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarnwick::transfer {
class TransferObject;
}

namespace tarnwick::transfer::qt {

class UploadPage : public QObject {
  Q_OBJECT
 public:
  explicit UploadPage(QWidget* main);
  ~UploadPage() override;

  // chooseUploadFiles: the dialog "请选择文件", the chosen files appended.
  void chooseFiles();
  // Appends files (full local paths) as the last rows of the queue.
  void addFiles(const QStringList& paths);
  // startUploadQueue.
  void startQueue();
  // deleteUploadTask: removes the current queue row, unless it is uploading.
  void deleteTask();
  bool running() const { return m_running; }

  // The page object of the main window (nullptr before it is installed).
  static UploadPage* of(QWidget* main);

 private:
  struct Current {
    QTreeWidgetItem* item = nullptr;
    QString path;            // as the queue row shows it
    std::string nativePath;  // for the file system
    std::string nameGbk;     // sent to the service and on FTP
    UploadTarget target;     // fixed when the file starts
    std::int64_t size = -1;
  };

  void startNextFile();
  void onInstantResult(const InstantUploadResult& result);
  void startFtp();
  void onTransferEnded(const TransferReport& report);
  void onRegistered(std::optional<std::int64_t> id);
  void failFile(const std::string& reasonGbk);
  void finishFile();
  void addFinishedRow(std::int64_t fileId, const QString& remark);
  void refreshProgress();
  void resetProgress();
  void retireTransfer();
  void updateCaptions();
  void setStatus(const QString& text);
  void notifyTray(const QString& title, const QString& message);

  QWidget* m_main;
  QTreeWidget* m_queue = nullptr;
  QTreeWidget* m_done = nullptr;
  QPushButton* m_button = nullptr;
  QCheckBox* m_instant = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_sizeLabel = nullptr;
  QLabel* m_percentLabel = nullptr;
  QLabel* m_speedLabel = nullptr;
  QProgressBar* m_bar = nullptr;
  QTimer* m_timer = nullptr;
  QTabWidget* m_tabs = nullptr;

  bool m_running = false;
  Current m_current;
  std::unique_ptr<TransferObject> m_transfer;
  SpeedAverage m_speed;
  QElapsedTimer m_tick;
  QString m_lastFolder;  // lastUploadFolder: the dialog starts there
  QString m_trayTip;     // the tray tooltip before the upload changed it
};

}  // namespace tarnwick::transfer::qt
