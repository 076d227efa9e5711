#pragma once
// Folder and file operations: the folder-menu and file-menu entries and the
// windows "文件夹新名称", "文件操作" and "创建外链文件".

class QWidget;

namespace tarnwick::browser::qt {

void installOperationMenus(QWidget* mainWindow);
void installRenameWindow(QWidget* window);
void installFileOperationWindow(QWidget* window);
void installLinkFileWindow(QWidget* window);

}  // namespace tarnwick::browser::qt
