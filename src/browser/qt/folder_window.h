#pragma once
// The window "创建文件夹": folder pickers, create, modify and delete.

#include <QString>

class QWidget;

namespace tarnwick::browser::qt {

void installCreateFolderWindow(QWidget* window);
// The caption of the main window's hidden 标签8 for the folder picked last.
QString chosenFolderCaption(const QString& folderName);

}  // namespace tarnwick::browser::qt
