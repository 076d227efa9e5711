#pragma once
// Folders uploaded whole from the window: chosen with 选择文件夹 or dropped on
// 客户端上传 (files dropped there are queued as 选择文件 queues them). Each
// folder becomes a cloud folder under the folder shown after 上传至, its tree
// recreated. The local tree is read on a worker thread (a folder may hold
// thousands of files); names the service would refuse are listed and the
// member decides whether the rest goes; then each tree is queued in one
// commit.

#include <QStringList>

class QWidget;

namespace tarnwick::transfer::qt {

class UploadPage;

// 选择文件夹: the dialog "请选择要上传的文件夹", the chosen folder uploaded whole.
void installUploadFolders(QWidget* main, UploadPage* page);
// Reads the folders' trees on a worker and queues them (asking first when
// names are left out). Returns at once.
void uploadFolders(QWidget* main, UploadPage* page, const QStringList& folders);

}  // namespace tarnwick::transfer::qt
