#pragma once
// The transfer pages' Qt half: the main window's queues and their two pages
// (上传文件 › 客户端上传, 下载列表) bound to their controls and menus, the
// queues' member hooks, and the folder pick of the window 创建文件夹.

namespace tarnwick::transfer::qt {

void registerTransferModule();

}  // namespace tarnwick::transfer::qt
