#pragma once
// The download manager's Qt half: the page "下载列表" of the main window
// (queue 超级列表框2, finished list 超级列表框3, 按钮28 开始下载, 按钮34 folder,
// 组合框6 name rule, 时钟5 progress), the file-list menu item
// "添加进下载列表" and the close query's hook that stops the running download.
//
// One file at a time: a worker fetches the file's address page, the GUI
// thread picks the local name and starts a fresh transfer object, whose
// finished handler comes back to the GUI thread (through the executor) and
// starts the next row. Only a download that the engine reports complete moves
// to 已完成; a failed row stays with 下载进度 "失败", is skipped by the running
// chain and is tried again (continuing its partial file) on the next 开始下载.

class QWidget;

namespace tarnwick::transfer::qt {

void registerDownloadModule();
void installDownloadPage(QWidget* main);

}  // namespace tarnwick::transfer::qt
