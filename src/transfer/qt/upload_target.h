#pragma once
// Where client uploads go: the folder picked in the window 创建文件夹 or from
// the folder and file menus of the page 文件, shown in 标签48 / 标签8, and the
// web-upload page for that folder.

#include <QWidget>
#include <cstdint>

namespace tarnwick::transfer::qt {

// 标签48 = "上传至：" + the name of folder id in the folder list 列表框2
// (默认文件夹 for 0); unchanged when the list does not hold the folder.
void showUploadTarget(QWidget* main, std::int32_t folderId);
// uploadHere: the folder selected in 列表框2 becomes the target; the page
// 上传文件 is shown and its web-upload page loaded for that folder. From the
// file-list menu the selection index is also kept as the saved folder index.
void uploadHere(QWidget* main, bool fromFileList);
// pickUploadFolder (window 创建文件夹, 确定): the folder picked in its 组合框1
// becomes the target; the window closes.
void pickUploadFolder(QWidget* window);
// showFilesPage: the page 文件, with its folders loaded.
void showFilesPage(QWidget* main);

}  // namespace tarnwick::transfer::qt
