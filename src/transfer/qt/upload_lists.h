#pragma once
// The lists of the upload page: the queue's menu 上传菜单 and files dropped
// onto it from a file manager, the finished list's menu 上传完成菜单 (open the
// file, show it in the file manager).

#include <QString>
#include <QWidget>

namespace tarnwick::transfer::qt {

class UploadPage;

void installUploadLists(QWidget* main, UploadPage* page);

// Shows a local file in the desktop's file manager, selected where the file
// manager offers that (org.freedesktop.FileManager1), else opens its folder.
// Returns at once.
void showInFileManager(const QString& path);

}  // namespace tarnwick::transfer::qt
