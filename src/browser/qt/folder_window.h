#pragma once
// The window "创建文件夹": folder pickers, create, modify and delete.

class QWidget;

namespace tarnwick::browser::qt {

void installCreateFolderWindow(QWidget* window);

}  // namespace tarnwick::browser::qt
