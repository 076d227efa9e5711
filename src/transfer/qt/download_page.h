#pragma once
#include <string>
// The page 下载列表: a view of the core download queue. 超级列表框2 (a
// QTreeView over a QueueModel) shows its unfinished rows (下载进度 drawn as a
// bar while a row runs, the state of a failed, held or waiting row; such a
// row carries a mark and its reason as tooltip; a folder's rows under one
// summary line), 超级列表框3 its finished ones with their local
// paths; 按钮28 开始下载 starts it and stays disabled while it runs; 时钟5
// refreshes each running row's progress and speed. The save folder 编辑框49
// and the name rule 组合框6 are read into the queue whenever they change.
// Nothing of a row lives only in a widget.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

#include "transfer/transfer_queue.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;

namespace tarnwick::transfer {
class DownloadQueue;
}

namespace tarnwick::transfer::qt {

class QueueModel;

class DownloadPage : public QObject {
  Q_OBJECT
 public:
  DownloadPage(QWidget* main, DownloadQueue& queue);

  // "添加进下载列表": the selected rows of the file list, in list order.
  void addSelectedFiles();
  // "下载该文件夹": the folder selected in the folder list, whole, into the
  // download folder (its tree is read when the row starts).
  void addSelectedFolder();
  // 开始下载: failed and paused rows are tried again.
  void startQueue();
  // 删除任务: removes the selected rows, unless one is downloading.
  void deleteTask();
  // 继续任务, 重试: the rows go now; on an idle queue only they start.
  void startRows(const std::vector<std::uint64_t>& ids);
  DownloadQueue& queue() { return m_queue; }
  QueueModel* model() { return m_model; }
  // The page object of the main window (nullptr before it is installed).
  static DownloadPage* of(QWidget* main);
  // The rows left and the speed of the running ones together (KB/s).
  int rowsLeft() const;
  std::int64_t speedKb() const { return m_speedKb; }

 signals:
  // The rows, their states or the speed changed.
  void progressChanged();

 public:

  // 按钮34: the dialog "请选择一个文件夹"; the folder goes to 编辑框49.
  void chooseFolder();

 private:
  void onEvent(const QueueEvent& e);
  void sync();
  void refreshProgress();
  void applyContext();
  bool commitFolder();
  void log(const QString& text);
  void notifyTray(const QString& title, const QString& message);

  QWidget* m_main;
  DownloadQueue& m_queue;
  QTreeView* m_list = nullptr;
  QueueModel* m_model = nullptr;
  QTreeWidget* m_done = nullptr;
  QPushButton* m_button = nullptr;
  QLineEdit* m_folder = nullptr;
  QComboBox* m_rule = nullptr;
  std::string m_committedFolder;  // the folder of rows queued from now on ("" none yet)
  QElapsedTimer m_sinceTick;
  std::int64_t m_speedKb = 0;  // the running rows' speed together
  int m_doneInRun = 0;         // rows finished since the queue last went idle
};

}  // namespace tarnwick::transfer::qt
