#pragma once
// The lists of the upload page: the queue's menu 上传菜单 and files dropped
// onto it from a file manager, the finished list's menu 上传完成菜单 (open the
// file, show it in the file manager).

#include <QWidget>

namespace tarnwick::transfer::qt {

class UploadPage;

void installUploadLists(QWidget* main, UploadPage* page);

}  // namespace tarnwick::transfer::qt
