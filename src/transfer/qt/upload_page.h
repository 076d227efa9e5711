#pragma once
// The page 客户端上传: a view of the core upload queue. 超级列表框6 (a
// QTreeView over a QueueModel) shows its unfinished rows (the full local
// path, size, progress drawn as a bar while a row runs, speed and state; a
// failed, held or waiting row carries a mark and its reason as tooltip; a
// folder's rows under one summary line), 超级列表框4 its finished ones; 上传按钮 starts it
// and stays disabled while it runs; the status line 标签49, the size line
// 标签50 and the progress display (上传速度时钟: 进度条, 标签46, 标签47: the sum
// over the running rows) follow its events and counters. Nothing of a row lives only in a widget.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "transfer/transfer_queue.h"
#include "transfer/upload_progress.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;
class QTreeWidget;

namespace tarnwick::transfer {
class UploadQueue;
}

namespace tarnwick::transfer::qt {

class QueueModel;

class UploadPage : public QObject {
  Q_OBJECT
 public:
  UploadPage(QWidget* main, UploadQueue& queue);

  // chooseUploadFiles: the dialog "请选择文件", the chosen files appended.
  void chooseFiles();
  // Appends files (full local paths) as the last rows of the queue.
  void addFiles(const QStringList& paths);
  // startUploadQueue: failed and paused rows are tried again.
  void startQueue();
  // deleteUploadTask: removes the selected rows, unless one is uploading.
  void deleteTask();
  // 继续任务, 重试: the rows go now; on an idle queue only they start.
  void startRows(const std::vector<std::uint64_t>& ids);

  UploadQueue& queue() { return m_queue; }
  QueueModel* model() { return m_model; }

  // The rows left and the speed of the running ones together (KB/s).
  int rowsLeft() const;
  std::int64_t speedKb() const { return m_speedKb; }

  // Reads the member's FTP login from the window (at each login).
  void readFtpAccount();
  // Gives the queue what it needs of the session and the window now (rows
  // queued from now on take the FTP host and user).
  void applyContext();

  // The page object of the main window (nullptr before it is installed).
  static UploadPage* of(QWidget* main);

 signals:
  // The rows, their states or the speed changed.
  void progressChanged();

 private:
  void onEvent(const QueueEvent& e);
  void sync();
  void refreshProgress();
  void resetProgress();
  std::int64_t runningSize();
  void setStatus(const QString& text);
  void notifyTray(const QString& title, const QString& message);

  QWidget* m_main;
  UploadQueue& m_queue;
  QTreeView* m_list = nullptr;
  QueueModel* m_model = nullptr;
  QTreeWidget* m_done = nullptr;
  QPushButton* m_button = nullptr;
  QCheckBox* m_instant = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_sizeLabel = nullptr;
  QLabel* m_percentLabel = nullptr;
  QLabel* m_speedLabel = nullptr;
  QProgressBar* m_bar = nullptr;
  QTimer* m_timer = nullptr;

  std::int64_t m_speedKb = 0;  // the running rows' speed together
  int m_doneInRun = 0;         // rows finished since the queue last went idle
  SpeedAverage m_speed;
  QElapsedTimer m_tick;
  QString m_lastFolder;  // lastUploadFolder: the dialog starts there
  std::string m_ftpHost, m_ftpUser, m_ftpPassword;  // the member's FTP login
  bool m_ftpRead = false;
};

}  // namespace tarnwick::transfer::qt
